#!/usr/bin/env bash
# The Windows build, from a fresh Debian machine: installs what is missing (as root, like
# scripts/setup.sh), builds Qt for Windows once into a cache outside the repository
# (about half an hour; later runs reuse it), cross-builds Wavedial with MinGW-w64 and
# packs build-windows/wavedial-VERSION-win64.zip and ...-win64-setup.exe.
#   scripts/windows.sh          build and pack
#   scripts/windows.sh --test   the same, then every Windows test under wine (CTest)
#   scripts/windows.sh --run    the same as the first, then start Wavedial under wine on
#                               the simulated bus (needs a display)
# BUILD_DIR chooses the build folder (default build-windows); WAVEDIAL_CACHE the cache
# (default ${XDG_CACHE_HOME:-~/.cache}/wavedial).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build-windows}
cache=${WAVEDIAL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/wavedial}
qt=$cache/qt-6.4.2-win64
jobs=$(nproc 2>/dev/null || echo 2)
mode=${1:-}

# The host Qt (its moc, rcc and uic serve the cross build too), the cross compilers,
# Qt's build tools, NSIS for the installer, wine for the tests, and GoogleTest's sources.
packages=(cmake ninja-build g++ perl xz-utils qt6-base-dev qt6-serialport-dev qt6-svg-dev
          libtirpc-dev rpcsvc-proto g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 nsis wine wine64 fonts-wine fonts-dejavu-core googletest
          xvfb xauth xdotool imagemagick socat)
source "$root/scripts/ensure-packages.sh"
ensure_packages "${packages[@]}"

start=$SECONDS
"$root/scripts/windows-qt.sh" "$qt"
echo "Qt for Windows: $qt ($((SECONDS - start)) s)"

# The programs that run at build time (the icon painter) and the simulator the tests use
# as a network instrument run on this machine: a small native build of just those.
cmake -S "$root" -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DWAVEDIAL_TESTS=OFF -DWAVEDIAL_BENCH=OFF -DWAVEDIAL_WERROR=ON >/dev/null
cmake --build "$build/host" -j "$jobs" --target wavedial-icons wavedial-sim

"$qt/bin/qt-cmake" -G Ninja -S "$root" -B "$build" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DWAVEDIAL_WERROR=ON -DWAVEDIAL_BENCH=OFF \
    -DWAVEDIAL_HOST_ICONS="$build/host/tools/wavedial-icons" \
    -DWAVEDIAL_HOST_SIM="$build/host/wavedial-sim" >/dev/null
cmake --build "$build" -j "$jobs"
(cd "$build" && rm -f wavedial-*-win64.zip wavedial-*-win64-setup.exe &&
    cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
ls -l "$build"/wavedial-*-win64.zip "$build"/wavedial-*-win64-setup.exe

case $mode in
--test)
    "$root/scripts/ctest.sh" "$build" ;;
--run)
    exec "$build/wine-run" "$build/wavedial.exe" ;;
esac
