#!/usr/bin/env bash
# Sets up and builds Wavedial with its tests, then runs every test through CTest.
# Extra arguments go to CMake (for example -DWAVEDIAL_SANITIZE=ON).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
# The end-to-end tests run the program on a virtual X server and drive it with xdotool;
# ImageMagick's import saves their screenshots; xclip fills the clipboard for the paste test;
# socat makes the pseudo-terminal of a controller on a serial port.
# pyvisa with pyvisa-py is the VXI-11 client of the gateway's interoperability test.
EXTRA_PACKAGES="xvfb xauth xdotool imagemagick xclip socat python3-pyvisa-py ${EXTRA_PACKAGES:-}" \
    "$root/scripts/setup.sh" -DWAVEDIAL_TESTS=ON "$@"
"$root/scripts/ctest.sh" "$build"
