#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made: its control fields, the files it
# unpacks into a scratch root, the programs running from there, and what
# desktop-file-validate, appstreamcli and lintian say (no errors, no warnings).
# Usage: tests/package/check.sh [DEB] (default: build-package/wavedial_*.deb)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$root/scripts/ensure-packages.sh"
ensure_packages dpkg-dev file desktop-file-utils appstream lintian man-db

deb=${1:-$(ls "$root"/build-package/wavedial_*.deb 2>/dev/null | head -n1)}
if [ ! -f "$deb" ]; then
    echo "No package found: run scripts/package.sh first." >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"

passed=0
failed=0
check() { # check NAME COMMAND...: passes when COMMAND succeeds
    local name=$1
    shift
    if "$@" >"$work/out" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        sed 's/^/    /' "$work/out" | head -n 20
    fi
}
# Succeeds when COMMAND succeeds and prints nothing that names an error or a warning.
quiet() {
    "$@" >"$work/said" 2>&1 || { cat "$work/said"; return 1; }
    ! grep -Ei '(error|warning)' "$work/said" || return 1
}
field() { dpkg-deb -f "$deb" "$1"; }
matches() { [[ $1 =~ $2 ]] || { echo "'$1' does not match '$2'"; return 1; }; }

id=org.example.wavedial
arch=$(dpkg --print-architecture)
check "file name" matches "$(basename "$deb")" "^wavedial_1\.3\.1_${arch}\.deb$"
check "section" matches "$(field Section)" "^electronics$"
check "depends on the Qt libraries and the platform plugins" \
    matches "$(field Depends)" "libqt6widgets6.*qt6-qpa-plugins|qt6-qpa-plugins.*libqt6widgets6"
check "suggests the system GPIB library" matches "$(field Suggests)" "libgpib0"
check "description" matches "$(field Description)" "function generator.*GPIB"

for f in bin/wavedial bin/wavedial-sim \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg \
    share/man/man1/wavedial.1.gz share/man/man1/wavedial-sim.1.gz \
    share/doc/wavedial/copyright share/doc/wavedial/changelog.gz; do
    check "usr/$f" test -s "$work/root/usr/$f"
done
for size in 16 22 24 32 48 64 128 256; do
    check "${size} px icon" matches \
        "$(file -b "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")" \
        "^PNG image data, $size x $size,"
done

check "wavedial --version" matches "$("$work/root/usr/bin/wavedial" --version)" "^wavedial 1\.3\.1$"
check "wavedial-sim --version" \
    matches "$("$work/root/usr/bin/wavedial-sim" --version)" "^wavedial-sim 1\.3\.1$"
for page in wavedial wavedial-sim; do
    check "man page $page" quiet sh -c 'MANWIDTH=80 man --warnings -l "$1" >/dev/null' sh \
        "$work/root/usr/share/man/man1/$page.1.gz"
done
check "desktop-file-validate" quiet desktop-file-validate "$work/root/usr/share/applications/$id.desktop"
check "appstreamcli validate" quiet appstreamcli validate --no-net \
    "$work/root/usr/share/metainfo/$id.metainfo.xml"
# The metainfo with the desktop entry and the icons it leads to, as a software centre sees them.
check "appstreamcli validate-tree" quiet appstreamcli validate-tree --no-net "$work/root"
# Lintian's errors and warnings (E: and W:); its notes (I:, P:) are advice.
check "lintian" quiet lintian --fail-on error,warning "$deb"

echo "package: $passed passed, $failed failed"
((failed == 0))
