#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine, as the tests need it: in a wine
# prefix of its own (made on first use: fonts, no crash dialog), with Qt's and MinGW's
# DLLs on wine's PATH, wine's debug chatter off, Qt's messages on stderr, and a bound on
# the run, so that a hang or a crash dialog cannot hold a test run.
# Usage: WAVEDIAL_WINEPREFIX=DIR WAVEDIAL_WINE_DLLS=DIR:DIR scripts/wine-run.sh PROGRAM.exe [ARG...]
# (the build's own `wine-run` sets both). WAVEDIAL_WINE_TIMEOUT: seconds, 300 by default.
set -euo pipefail

export WINEPREFIX=${WAVEDIAL_WINEPREFIX:?the wine prefix folder}
windows_path() { local p=${1//\//\\}; printf 'Z:%s' "$p"; }
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
# Wine drops QT_* variables; it passes WINEQT_* on without the prefix. Qt's offscreen
# platform (the widget tests) finds fonts on Windows only where QT_QPA_FONTDIR says: DejaVu
# Sans alone, as fontconfig picks on Linux (among all of DejaVu, Qt could take the math
# font, whose line box is four times the text's).
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEQT_QPA_FONTDIR=${WINEQT_QPA_FONTDIR:-$(windows_path "$WINEPREFIX/qtfonts")}

dlls=
IFS=: read -r -a dirs <<<"${WAVEDIAL_WINE_DLLS:-}"
for dir in "${dirs[@]}"; do dlls+="${dlls:+;}$(windows_path "$dir")"; done
export WINEPATH="$dlls${WINEPATH:+;$WINEPATH}"

# One set-up per prefix, even with tests running side by side.
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.wavedial-ready" ]; then
    rm -rf "$WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1
    # A fresh prefix has no fonts: "MS Shell Dlg" would fall back to a font whose box is
    # four times the line height, and line edits would draw their text outside.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    mkdir -p "$WINEPREFIX/qtfonts"
    cp /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
        /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf "$WINEPREFIX/qtfonts/"
    # A crash must end the program, not open a dialog that waits for a click.
    timeout 120 wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD \
        /d 0 /f >/dev/null 2>&1
    timeout 120 wineserver -w || true
    touch "$WINEPREFIX/.wavedial-ready"
fi
flock -u 9
exec 9>&-

exec timeout -k 5 "${WAVEDIAL_WINE_TIMEOUT:-300}" wine "$@"
