#!/usr/bin/env bash
# Installs what the build needs on Debian or Ubuntu, then configures and builds Wavedial.
# Usage: scripts/setup.sh [extra CMake arguments]; BUILD_DIR chooses the build folder,
# EXTRA_PACKAGES names further Debian packages to install.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

packages=(cmake make g++ qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          fonts-dejavu-core)
# What a caller needs besides the build (the tests' X server, for example).
read -r -a extra <<<"${EXTRA_PACKAGES:-}"
packages+=("${extra[@]}")

if command -v dpkg-query >/dev/null 2>&1; then
    missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$p")
    done
    if ((${#missing[@]})); then
        line="apt-get update && apt-get install -y --no-install-recommends ${missing[*]}"
        if [ "$(id -u)" -eq 0 ]; then
            echo "Installing: ${missing[*]}"
            export DEBIAN_FRONTEND=noninteractive
            apt-get update -qq
            apt-get install -y --no-install-recommends "${missing[@]}"
        else
            echo "These packages are missing: ${missing[*]}"
            echo "Install them as root, then run this command again:"
            echo "  sudo sh -c '$line'"
            exit 1
        fi
    fi
else
    echo "No dpkg here: install CMake, g++, Qt 6 (Core, Gui, Widgets), GoogleTest and" \
         "Google Benchmark yourself; building with what is there."
fi

cmake -S "$root" -B "$build" "$@"
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"
