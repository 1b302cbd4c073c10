#!/usr/bin/env bash
# Installs what the build needs on Debian or Ubuntu, then configures and builds Wavedial.
# Usage: scripts/setup.sh [extra CMake arguments]; BUILD_DIR chooses the build folder,
# EXTRA_PACKAGES names further Debian packages to install.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

packages=(cmake make g++ qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          fonts-dejavu-core qt6-serialport-dev qt6-svg-dev libtirpc-dev rpcsvc-proto libxcb1-dev)
# What a caller needs besides the build (the tests' X server, for example).
read -r -a extra <<<"${EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

source "$root/scripts/ensure-packages.sh"
ensure_packages "${packages[@]}"

# Warnings stop our own builds; a build without this script keeps them as warnings.
cmake -S "$root" -B "$build" -DWAVEDIAL_WERROR=ON "$@"
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
