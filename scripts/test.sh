#!/usr/bin/env bash
# Sets up and builds Wavedial with its tests, then runs every test through CTest.
# Extra arguments go to CMake (for example -DWAVEDIAL_SANITIZE=ON).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/setup.sh" -DWAVEDIAL_TESTS=ON "$@"
ctest --test-dir "$build" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)"
