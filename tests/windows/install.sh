#!/usr/bin/env bash
# The Windows packages in fresh wine prefixes, with nothing of the build on wine's PATH:
# the zip unpacked and the installer run silently (/S) each give a program that prints its
# version, and the installer leaves a Start-menu entry, an uninstaller and its Apps entry.
# Usage: install.sh RUNNER ZIP SETUP VERSION (RUNNER: scripts/wine-run.sh)
set -euo pipefail
runner=$1 zip=$2 setup=$3 version=$4
work=$(mktemp -d) && trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
wine() { WAVEDIAL_WINEPREFIX=$work/prefix WAVEDIAL_WINE_DLLS= WAVEDIAL_WINE_TIMEOUT=120 "$runner" "$@"; }
version_of() { # the first line the program prints for --version, without wine's line end
    wine "$1" --version 2>"$work/err" | head -1 | tr -d '\r'
}

cmake -E chdir "$work" cmake -E tar xf "$zip" || fail "the zip does not unpack"
folder=$work/$(basename "$zip" .zip)
for program in wavedial wavedial-sim; do
    got=$(version_of "$folder/$program.exe")
    [ "$got" = "$program $version" ] || fail "the zip's $program printed '$got': $(cat "$work/err")"
done

wine "$setup" /S || fail "the silent install failed"
installed=$work/prefix/drive_c/Program\ Files/Wavedial
got=$(version_of "$installed/wavedial.exe")
[ "$got" = "wavedial $version" ] || fail "the installed program printed '$got': $(cat "$work/err")"
[ -f "$installed/platforms/qwindows.dll" ] || fail "no platform plugin was installed"
[ -f "$installed/Uninstall.exe" ] || fail "no uninstaller"
find "$work/prefix/drive_c" -iname 'Wavedial.lnk' | grep -q . || fail "no Start-menu entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Wavedial' \
    >"$work/apps" 2>&1 || fail "no Apps entry: $(cat "$work/apps")"
grep -q "DisplayVersion.*$version" "$work/apps" || fail "the Apps entry lacks the version"
echo PASS
