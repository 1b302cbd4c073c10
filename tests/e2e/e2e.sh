#!/usr/bin/env bash
# End-to-end: the real program on a real X display (Xvfb), driven as a user drives it —
# key presses and mouse clicks through the X server — with what crossed the bus read
# from the simulated bus's trace.
#
# Usage: e2e.sh WAVEDIAL_BINARY SCENARIO [SCREENSHOT_DIR]
# Exits 77 (skipped) only when no X server can be started here.
set -u

bin=$1
scenario=$2
shots=${3:-}
SKIP=77

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit $SKIP; }
done

work=$(mktemp -d)
xpid=""
apid=""
cleanup() {
    [ -n "$apid" ] && kill "$apid" 2>/dev/null
    [ -n "$xpid" ] && kill "$xpid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL ($scenario): $*"
    if [ -f "$work/trace" ]; then
        echo "--- trace"
        cat "$work/trace"
    fi
    exit 1
}

# Polls `condition` (a command) until it holds, for at most `seconds`.
wait_until() {
    local seconds=$1
    shift
    local tries=$((seconds * 20))
    while ((tries-- > 0)); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# --- The X server ---
: >"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xpid=$!
if ! wait_until 10 test -s "$work/display"; then
    echo "SKIP: no X server could be started here (Xvfb: $(tail -1 "$work/xvfb.log"))"
    exit $SKIP
fi
export DISPLAY=":$(head -1 "$work/display")"

config="$work/config"
mkdir -p "$config"

# --- The program ---
start() { # start BUS
    : >"$work/trace"
    XDG_CONFIG_HOME="$config" WAVEDIAL_GPIB="$1" WAVEDIAL_SIM_TRACE="$work/trace" \
        QT_QPA_PLATFORM=xcb "$bin" >"$work/program.log" 2>&1 &
    apid=$!
}

window() { # window TITLE: the id of the visible window with exactly this title
    timeout 15 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}

focus() { # focus WINDOW: there is no window manager to give it the keyboard
    xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
}

main_window() { # main_window TITLE: finds, focuses and measures the main window
    wid=$(window "$1") || true
    [ -n "$wid" ] || fail "no window titled '$1'"
    focus "$wid"
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    # The client area (225 x 421) lies below the menu bar.
    menu=$((HEIGHT - 421))
}

# Clicks at a point of the main window's client area, in pixels.
click() { # click X Y [COUNT]
    xdotool mousemove --window "$wid" "$1" $(($2 + menu)) click --repeat "${3:-1}" --delay 80 1
}

# Points inside controls: the "Settings" frame starts at (8, 8).
amplitude() { click 150 39 "${1:-1}"; }
apply_button() { click 158 300; }
save_button() { click 66 336; }
toggle_button() { click 112 396; }

keys() { xdotool key --delay 60 "$@"; }
type_text() { xdotool type --delay 60 "$1"; }

has() { grep -qxF -- "$1" "$work/trace"; }
lines() { wc -l <"$work/trace"; }
since() { tail -n +"$(($1 + 1))" "$work/trace"; }
expect_line() { wait_until 15 has "$1" || fail "the trace never showed '$1'"; }
running() { kill -0 "$apid" 2>/dev/null; }
ended() { ! running; }
expect_end() {
    wait_until 15 ended || fail "the program did not end"
    wait "$apid"
    status=$?
    apid=""
}

# The start-up ends with the read-back of the output state.
started() { expect_line "read $1 OUT OFF"; }

shot() { # shot WINDOW NAME
    [ -n "$shots" ] || return 0
    command -v import >/dev/null 2>&1 || return 0
    mkdir -p "$shots"
    import -window "$1" "$shots/$2.png" 2>/dev/null || true
}

box() { # box TITLE: waits for a message box and focuses it
    local b
    b=$(window "$1") || true
    [ -n "$b" ] || fail "no box titled '$1'"
    focus "$b"
    echo "$b"
}

exit_program() {
    focus "$wid"
    keys alt+x
    expect_end
}

stored() { cat "$config/Wavedial/Wavedial.conf" 2>/dev/null; }

# --- Scenarios ---
case "$scenario" in
start-FG5010 | start-AFG5101 | start-AFG5102 | start-PFG5105)
    model=${scenario#start-}
    start "sim:MUTE@2,$model@7"
    main_window "Wavedial $model, v1.31 / QW"
    started 7
    for line in "findlstn 0 2 7" "timeout 2" "write 7 ID?" "read 7 ID SIM/$model,V2.1" \
        "write 7 AMPL?" "write 7 OFFS?" "write 7 FUNC?" "write 7 FREQ?" "write 7 OUT?"; do
        has "$line" || fail "no '$line' at start-up"
    done
    if [ "$model" = AFG5101 ] || [ "$model" = PFG5105 ]; then
        has "write 7 SYM?" && fail "asked a $model for its symmetry"
    else
        has "write 7 SYM?" || fail "no symmetry read-back"
    fi
    shot "$wid" "mainwindow-$model"
    keys alt+a
    about=$(box "About Wavedial")
    shot "$about" "about-$model"
    keys Escape
    wait_until 10 sh -c "! xdotool search --onlyvisible --name '^About Wavedial\$' >/dev/null" ||
        fail "Esc did not close the About window"
    exit_program
    [ "$status" -eq 0 ] || fail "exit status $status: $(tail -5 "$work/program.log")"
    tail -1 "$work/trace" | grep -qxF "write 7 OUT OFF" || fail "no OUT OFF at exit"
    ;;
amplitude-enter)
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    mark=$(lines)
    amplitude 2 # a double click empties the field
    type_text "5"
    keys Return
    expect_line "write 5 AMPL 5"
    [ "$(since "$mark")" = "$(printf 'clear 5\nwrite 5 AMPL 5')" ] ||
        fail "expected exactly the amplitude command"
    exit_program
    ;;
apply-line)
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    mark=$(lines)
    keys alt+q alt+m # square, MHz: marked, not sent
    sleep 0.3
    [ "$(lines)" -eq "$mark" ] || fail "an option click sent something"
    apply_button
    expect_line "write 5 AMPL 1.000;OFFS 0.000;FREQ 1.000E+6;FUNC SQUARE;SYM 50"
    [ "$(since "$mark" | grep -c '^write')" -eq 1 ] || fail "more than one line was sent"
    exit_program
    ;;
out-of-range)
    start "sim:AFG5102@9"
    main_window "Wavedial AFG5102, v1.31 / QW"
    started 9
    mark=$(lines)
    amplitude 2
    type_text "99"
    keys Return
    box "Setting Error" >/dev/null
    keys Escape # No
    wait_until 10 sh -c "! xdotool search --onlyvisible --name '^Setting Error\$' >/dev/null" ||
        fail "the box did not close"
    [ "$(lines)" -eq "$mark" ] || fail "something was sent: $(since "$mark")"
    focus "$wid"
    exit_program
    ;;
toggle-confirm)
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    mark=$(lines)
    toggle_button
    box "Change Output" >/dev/null
    keys Return # Yes
    expect_line "write 5 OUT ON"
    focus "$wid"
    mark=$(lines)
    toggle_button
    box "Change Output" >/dev/null
    keys Escape # No
    sleep 0.3
    [ "$(lines)" -eq "$mark" ] || fail "No still switched the output"
    focus "$wid"
    exit_program
    ;;
saved-settings)
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    amplitude 2
    type_text "3"
    keys Return
    expect_line "write 5 AMPL 3"
    save_button
    wait_until 15 sh -c "grep -q 'Saved%20Exist=True' '$config/Wavedial/Wavedial.conf' 2>/dev/null" ||
        fail "Save Settings stored nothing"
    keys alt+s s # "Start with Saved Settings"
    exit_program
    stored | grep -qx 'Start%20with%20saved%20settings=True' || fail "the option was not stored"
    # A second run applies the saved settings at start.
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    expect_line "write 5 AMPL 3.000;OFFS 0.000;FREQ 1.000E+3;FUNC SINE;SYM 50"
    exit_program
    ;;
save-at-exit)
    start "sim:AFG5101@4"
    main_window "Wavedial AFG5101, v1.31 / QW"
    started 4
    keys alt+s e # "Save Settings at Exit"
    mark=$(lines)
    exit_program
    since "$mark" | head -1 | grep -qxF "clear 4" || fail "no device clear at exit"
    since "$mark" | grep -qxF "write 4 AMPL?" || fail "the settings were not read back"
    stored | grep -qx 'Save%20settings%20at%20Exit=True' || fail "the option was not stored"
    stored | grep -qx 'Amplitude=1.000' || fail "the settings were not saved"
    ;;
paste-refused)
    # Neither the clipboard (Shift+Insert) nor the X selection (middle button) gets
    # into a field: Enter then has nothing to send.
    command -v xclip >/dev/null 2>&1 || fail "xclip is not installed"
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    printf '5;OUT ON' | xclip -selection clipboard
    printf '2;OUT ON' | xclip -selection primary
    mark=$(lines)
    amplitude
    keys shift+Insert
    xdotool click 2
    keys Return
    sleep 0.5
    since "$mark" | grep -q '^write' && fail "a paste reached the bus: $(since "$mark")"
    exit_program
    ;;
tab-then-type)
    # Tab into Offset selects nothing: the digit goes in front of "0.000", and 20 V is
    # out of range, where a selected text would have been replaced by "2" and sent.
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    mark=$(lines)
    amplitude
    keys Tab
    type_text "2"
    keys Return
    box "Setting Error" >/dev/null
    keys Escape
    has "write 5 OFFS 2" && fail "the typed digit replaced the offset"
    focus "$wid"
    exit_program
    ;;
marked-group)
    # An option click marks its group: the buttons show the change colour on screen.
    command -v convert >/dev/null 2>&1 || fail "ImageMagick is not installed"
    start "sim:FG5010@5"
    main_window "Wavedial FG5010, v1.31 / QW"
    started 5
    keys alt+q # Square
    sleep 0.5
    import -window "$wid" "$work/marked.png" || fail "no screenshot"
    shot "$wid" "marked-group"
    # Inside the "Sine" button, between its circle and its caption (not the frame).
    pixel=$(convert "$work/marked.png" -format "%[pixel:p{33,$((126 + menu))}]" info:)
    case "$pixel" in
    "srgb(255,128,128)" | "#FF8080"*) ;;
    *) fail "the marked option shows $pixel" ;;
    esac
    exit_program
    ;;
no-instrument)
    start "sim:"
    b=$(box "Initialization Error 14")
    keys Return
    expect_end
    [ "$status" -ne 0 ] || fail "the program did not report its end"
    [ -e "$config/Wavedial" ] && fail "something was stored"
    ;;
no-supported-model)
    start "sim:OTHER@3"
    b=$(box "Error")
    keys Return
    expect_end
    [ -e "$config/Wavedial" ] && fail "something was stored"
    ;;
*)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac
echo "PASS ($scenario)"
