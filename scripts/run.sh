#!/usr/bin/env bash
# Sets up, builds and starts Wavedial on the simulated bus (one FG5010 at address 5,
# unless WAVEDIAL_GPIB says otherwise).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo
    echo "Wavedial is built, but there is no display to show it on."
    echo "Start it on a desktop, or under a virtual X server:"
    echo "  apt-get install -y --no-install-recommends xvfb xauth   # once, as root"
    echo "  xvfb-run -a $build/wavedial"
    exit 0
fi
exec "$build/wavedial"
