#!/usr/bin/env bash
# Builds the Debian package: a Release build with the distribution's compiler flags
# (dpkg-buildflags: -O2 -g, _FORTIFY_SOURCE, the stack protector, RELRO), warnings shown
# but not fatal, as a distribution would build it; then cpack makes
# wavedial_VERSION_ARCH.deb in the build folder and the last line prints its path.
# PACKAGE_BUILD_DIR chooses the build folder (default build-package).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${PACKAGE_BUILD_DIR:-$root/build-package}

# dpkg-dev brings dpkg-buildflags and dpkg-shlibdeps, which needs file.
source "$root/scripts/ensure-packages.sh"
ensure_packages dpkg-dev file

flag() { dpkg-buildflags --get "$1"; }
cppflags=$(flag CPPFLAGS)
BUILD_DIR=$build "$root/scripts/setup.sh" \
    -DCMAKE_BUILD_TYPE=Release -DWAVEDIAL_TESTS=OFF -DWAVEDIAL_BENCH=OFF \
    -DWAVEDIAL_WERROR=OFF -DCMAKE_INSTALL_PREFIX=/usr \
    "-DCMAKE_C_FLAGS=$(flag CFLAGS) $cppflags" \
    "-DCMAKE_CXX_FLAGS=$(flag CXXFLAGS) $cppflags" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(flag LDFLAGS)"

rm -f "$build"/wavedial_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/wavedial_*.deb
