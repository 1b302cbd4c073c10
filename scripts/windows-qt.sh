#!/usr/bin/env bash
# Builds Qt's qtbase for 64-bit Windows once, with MinGW-w64, from Debian's own source of
# the host's Qt (so that the host's moc, rcc and uic match), into a cache folder outside
# the repository. Prints nothing but progress; a second run finds the cache and returns.
# Usage: scripts/windows-qt.sh PREFIX   (run as root on a fresh machine: it adds a deb-src
# entry to fetch the source).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefix=$1
version=6.4.2
[ -x "$prefix/bin/qt-cmake" ] && [ -f "$prefix/.wavedial-complete" ] && exit 0

work=${WAVEDIAL_QT_WORK:-$(dirname "$prefix")/qt-$version-work}
mkdir -p "$work"
cd "$work"

src=$(find . -maxdepth 1 -type d -name 'qtbase-everywhere-src-*' | head -n1)
if [ -z "$src" ]; then
    if ! apt-get source --download-only qt6-base="$version"* >/dev/null 2>&1 &&
       ! apt-get source --download-only qt6-base >/dev/null 2>&1; then
        # Debian's source archive is not in the default sources: add bookworm's once.
        if [ "$(id -u)" -ne 0 ]; then
            echo "Qt's source needs a deb-src entry: run this script as root once." >&2
            exit 1
        fi
        codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
        cat >/etc/apt/sources.list.d/wavedial-src.sources <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
        apt-get update -qq
        apt-get source --download-only qt6-base
    fi
    tarball=$(ls qt6-base_*.orig.tar.* | head -n1)
    tar xf "$tarball"
    src=$(find . -maxdepth 1 -type d -name 'qtbase-everywhere-src-*' | head -n1)
fi

# The +dfsg tarball has the bundled third-party code we need (zlib, png, pcre2, harfbuzz,
# freetype, double-conversion, libb2); everything a Widgets + Network program does not
# use is off. The offscreen plugin needs the bundled freetype; tablet events need
# wintab.h, which the tarball lacks; OpenGL off takes INPUT_opengl=no as well.
cmake -G Ninja -S "$src" -B build \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_pkg_config=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
    -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_freetype=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_libb2=OFF -DFEATURE_freetype=ON \
    -DFEATURE_opengl=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_icu=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_concurrent=OFF
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"
cmake --install build
touch "$prefix/.wavedial-complete"
rm -rf "$work"
