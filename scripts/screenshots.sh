#!/usr/bin/env bash
# Renews the README's pictures from an end-to-end run of the real program under Xvfb.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
EXTRA_PACKAGES="xvfb xauth xdotool imagemagick" "$root/scripts/setup.sh"
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
"$root/tests/e2e/e2e.sh" "$build/wavedial" start-FG5010 "$shots"
cp "$shots/mainwindow-FG5010.png" "$root/docs/mainwindow.png"
cp "$shots/about-FG5010.png" "$root/docs/about.png"
echo "docs/mainwindow.png and docs/about.png renewed"
