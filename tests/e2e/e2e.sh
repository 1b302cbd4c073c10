#!/usr/bin/env bash
# End-to-end: the real program on a real X display (Xvfb), driven by keys and clicks through
# the X server; what crossed the bus is read from the simulated bus's trace. Exits 77
# (skipped) only where no X server starts. Usage: e2e.sh WAVEDIAL SCENARIO [SCREENSHOT_DIR];
# E2E_SIM names wavedial-sim for the scenarios through a LAN/GPIB gateway (vxi11-*), E2E_SIMGPIB
# the wavedial-simgpib driver library for those through the system library path (system-*);
# E2E_EMULATOR runs the program (wine's runner, for the Windows build).
set -u
bin=$1 scenario=$2 shots=${3:-} sim=${E2E_SIM:-} simgpib=${E2E_SIMGPIB:-}
read -r -a emulator <<<"${E2E_EMULATOR:-}"
work=$(mktemp -d) && config=$work/config trace=$work/trace host=$work/host apid="" wid="" mark=0
# E2E_TRACES names a folder that keeps every run's trace (to compare builds byte for byte).
keep() { [ -z "${E2E_TRACES:-}" ] || cat "$trace" >>"$E2E_TRACES/$scenario" 2>/dev/null; }
trap 'kill $(jobs -p) ${daemons:-} 2>/dev/null; wait; keep; rm -rf "$work"' EXIT
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL ($scenario): $*"; echo "--- trace, checked after line $mark"; cat "$trace"; exit 1; }
not() { ! "$@"; }
wait_until() { # wait_until SECONDS COMMAND...: polls the command until it holds
    local tries=$(($1 * 20)) && shift
    while ((tries-- > 0)); do "$@" && return 0; sleep 0.05; done; return 1
}

for tool in Xvfb xdotool; do command -v $tool >/dev/null || skip "$tool is not installed"; done
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
wait_until 10 test -s "$work/display" || skip "no X server starts here: $(tail -1 "$work/xvfb.log")"
DISPLAY=":$(head -1 "$work/display")" && export DISPLAY

# --- The program and its windows ---
# start BUS: runs the program on this bus, with a fresh trace. Behind a gateway, controller
# or driver library the far end writes the trace, and the program's own goes to $host.
start() {
    keep; : >"$trace" && : >"$host" && mark=0
    XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb "${emulator[@]}" "$bin" --bus "$1" \
        --trace "$([[ $1 == sim* ]] && echo "$trace" || echo "$host")" >"$work/program.log" 2>&1 & apid=$!
}
ended() { # waits for the program's end; its exit status in $status
    wait_until 15 not kill -0 "$apid" 2>/dev/null || fail "the program did not end"
    wait "$apid"; status=$? apid=""
}
# There is no window manager to give a window the keyboard.
focus() { xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"; }
window() { # window TITLE: finds and focuses the visible window with exactly this title, in $win
    # Polled rather than xdotool's --sync, which gives up at a passing X error.
    local title=$1 && win=""
    wait_until 15 eval 'win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1); [ -n "$win" ]'
    [ -n "$win" ] && focus "$win" || fail "no window titled '$1'"
}
shot() { # shot WINDOW NAME: a screenshot, when asked for
    [ -n "$shots" ] && [ -n "$2" ] && command -v import >/dev/null || return 0
    mkdir -p "$shots" && import -window "$1" "$shots/$2.png"
}
# gateway LISTENERS [OPTION...]: wavedial-sim as a VXI-11 gateway to these on a free port,
# its trace into the trace; the program's bus for it in $bus
gateway() {
    [ -x "$sim" ] || fail "E2E_SIM names no wavedial-sim: '$sim'"
    # A gateway before it still writes to its own log (when its client goes, for one).
    gateways=$((${gateways:-0} + 1)) && local log=$work/sim$gateways.log
    "$sim" --vxi11 127.0.0.1:0 --trace "$trace" "${@:2}" "$1" >"$log" 2>&1 &
    wait_until 10 grep -q listening "$log" || fail "no gateway: $(cat "$log")"
    bus=vxi11:$(sed -n '/listening/s/.* //p' "$log")
}
# open LISTENERS [BUS]: starts with these (MODEL@ADDRESS,...) on the simulated bus, or behind
# BUS, and waits for the first generator's main window and the end of its start-up, the
# read-back of the output state.
open() {
    start "${2:-sim:$1}"
    model=$(grep -oE '[A-Z]*FG[0-9]+@[0-9]+' <<<"$1" | head -1)
    addr=${model#*@} && model=${model%@*}
    window "Wavedial $model, v1.31 / QW" && wid=$win
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    menu=$((HEIGHT - 421)) # the client area (225 x 421) lies below the menu bar
    expect "read $addr OUT OFF"
}
shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -qx "$2"; }
box() { # box TITLE KEY [SHOT]: answers the window with this title with a key; it must close
    window "$1"; shot "$win" "${3:-}"; xdotool key "$2"
    wait_until 10 not shown "$1" "$win" || fail "'$1' stays" # the next may have its title
    [ -z "$wid" ] || focus "$wid"
}
# Centres of controls in the client area, in pixels; the "Settings" frame starts at (8, 8).
declare -A at=([Amplitude]="150 39" [Button_Apply]="158 300" [Button_ToggleOutput]="112 396"
    [Button_SaveSettings]="66 336" [Square]="90 126")
ui() { # ui STEP...: click:NAME, dclick:NAME (a double click empties a field), type:TEXT or keys
    local step x y n
    for step; do
        case $step in
        click:* | dclick:*)
            read -r x y <<<"${at[${step#*:}]}" && [[ $step == d* ]] && n=2 || n=1
            xdotool mousemove --window "$wid" "$x" $((y + menu)) click --repeat $n --delay 80 1 ;;
        type:*) xdotool type --delay 60 "${step#type:}" ;;
        *) xdotool key --delay 60 $step ;; # keys, one after the other
        esac || fail "xdotool failed on $step"
    done
}
quit() { focus "$wid"; xdotool key alt+x; ended; }
lost() { # quit where the bus is gone: the exit's "OUT OFF" fails in its box
    focus "$wid" && wid="" && xdotool key alt+x; box "GPIB ERROR # 0" Return; ended
    [ "$status" -eq 0 ] || fail "exit status $status: $(tail -5 "$work/program.log")"
}

# --- The accessibility bus, as a screen reader reaches the program ---
a11y_bus() { # a session bus of our own with the accessibility bus; the program joins it
    local out launcher
    out=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(head -1 <<<"$out") daemons=$(tail -1 <<<"$out")
    export DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    for launcher in /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher; do
        [ -x $launcher ] && break
    done
    $launcher --launch-immediately >"$work/atspi.log" 2>&1 &
    wait_until 10 a11y_address || fail "no accessibility bus: $(cat "$work/atspi.log")"
}
a11y_address() {
    a11y=$(gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
        --method org.a11y.Bus.GetAddress 2>/dev/null | sed -n "s/^('\(.*\)',)\$/\1/p")
    [ -n "$a11y" ]
}
ask_name() { # the program's accessible name, asked of it on the accessibility bus
    gdbus call --address "$a11y" --dest "$app" --object-path /org/a11y/atspi/accessible/root \
        --timeout 10 --method org.freedesktop.DBus.Properties.Get org.a11y.atspi.Accessible Name
}
probe() { # probe SECONDS: asks the program over and over; the longest answer's ms in $worst
    app=$(gdbus call --address "$a11y" --dest org.a11y.atspi.Registry \
        --object-path /org/a11y/atspi/accessible/root \
        --method org.a11y.atspi.Accessible.GetChildren | grep -o ":[0-9.]*" | head -1)
    local end=$(($(date +%s%N) + $1 * 1000000000)) t ms && worst=0
    while (($(date +%s%N) < end)); do
        t=$(date +%s%N) && ask_name | grep -q Wavedial || fail "no answer from the program"
        ms=$((($(date +%s%N) - t) / 1000000)) && ((ms > worst)) && worst=$ms
    done
}

# --- What reached the bus ---
found() { # found LINE...: these lines, in order after the mark; the last one's number in $last
    last=$(awk -v m="$mark" 'BEGIN { n = ARGC - 1; for (i = 1; i <= n; i++) w[i] = ARGV[i]; ARGC = 1 }
        NR > m && $0 == w[k + 1] && ++k == n { print NR; exit }' "$@" <"$trace")
    [ -n "$last" ]
}
# expect [-x] LINE...: waits for these lines, in this order, after the mark and moves the
# mark past them; with -x nothing else may come before or between them.
expect() {
    local exact=0 last && [ "$1" = -x ] && exact=1 && shift
    wait_until 15 found "$@" || fail "the trace never showed, in order: $*"
    ((!exact || last - mark == $#)) || fail "more than '$*' crossed the bus"
    mark=$last
}
still() { [ "$(wc -l <"$trace")" -eq "$mark" ] || fail "$1"; } # nothing after the mark
quiet() { sleep 0.5 && still "$1"; } # nor in the next half second

# --- Scenarios; the main window is left with Alt+X after each ---
case "$scenario" in
start-FG5010 | start-AFG5101 | start-AFG5102 | start-PFG5105)
    # A silent listener ahead of the instrument: it is asked with a short time-out.
    open "MUTE@2,${scenario#start-}@7"
    case $model in AFG5101 | PFG5105) sym=() ;; *) sym=("write 7 SYM?") ;; esac
    mark=0
    expect "findlstn 0 2 7" "timeout 2" "write 7 ID?" "read 7 ID SIM/$model,V2.1" "write 7 AMPL?" \
        "write 7 OFFS?" "write 7 FUNC?" "write 7 FREQ?" "${sym[@]}" "write 7 OUT?" "read 7 OUT OFF"
    ((${#sym[@]})) || not grep -qxF "write 7 SYM?" "$trace" || fail "asked a $model for its symmetry"
    shot "$wid" "mainwindow-$model"
    # Square marks a group and enables Apply: Alt+A still opens About, and sends nothing.
    ui alt+q alt+a; box "About Wavedial" Escape "about-$model"
    quiet "the About window sent something" ;;
amplitude-enter)
    open FG5010@5
    ui dclick:Amplitude type:5 Return; expect -x "clear 5" "write 5 AMPL 5" ;;
apply-line)
    open FG5010@5
    ui alt+q alt+m; quiet "an option click sent something" # square, MHz: marked, not sent
    ui click:Button_Apply
    expect -x "clear 5" "write 5 AMPL 1.000;OFFS 0.000;FREQ 1.000E+6;FUNC SQUARE;SYM 50" ;;
saved-settings)
    # The button saves 3 V, the exit 4 V, the next start sends 4 V. Keys wait out the save's
    # read-back, where they would run in the middle of it.
    open FG5010@5
    ui dclick:Amplitude type:3 Return; expect "write 5 AMPL 3"
    ui click:Button_SaveSettings
    wait_until 15 grep -qs Saved%20Exist=True "$config/Wavedial/Wavedial.conf" || fail "no save"
    ui dclick:Amplitude type:4 Return; expect "write 5 AMPL 4"
    ui "alt+s s alt+s e"; quit # "Start with Saved Settings", "Save Settings at Exit"
    expect "clear 5" "write 5 AMPL?" "write 5 OFFS?" "write 5 FREQ?" "write 5 FUNC?"
    open FG5010@5
    expect -x "clear 5" "write 5 AMPL 4.000;OFFS 0.000;FREQ 1.000E+3;FUNC SINE;SYM 50" ;;
paste-refused)
    # Neither the clipboard (Shift+Insert) nor the X selection (middle button) gets into the
    # emptied field, where either or both would be in range: Enter finds 0 V, too low.
    open FG5010@5
    ui dclick:Amplitude
    printf 4 | xclip -selection clipboard && printf .5 | xclip -selection primary || fail "no xclip"
    ui shift+Insert; xdotool click 2; ui Return
    quiet "a paste reached the bus"
    box "Setting Error" Escape ;;
marked-group)
    # Square marks its group: the change colour fills the "Sine" button, not only the frame.
    open FG5010@5
    ui alt+q; sleep 0.5
    import -window "$wid" "$work/marked.png" && shot "$wid" marked-group || fail "no screenshot"
    pixel=$(convert "$work/marked.png" -format "%[pixel:p{33,$((126 + menu))}]" info:)
    [[ $pixel == "srgb(255,128,128)" || $pixel == "#FF8080"* ]] || fail "the marked option shows $pixel" ;;
no-supported-model)
    # An instrument of another kind is asked who it is, and nothing more.
    start "sim:OTHER@3"
    box "Error" Return; ended
    tail -1 "$trace" | grep -q '^read 3 ID ' || fail "more than its identity was asked" ;;
vxi11-start | system-start)
    # Through the gateway, or the simulated bus's driver library loaded as the system's,
    # start-up, Apply and Refresh cross the bus as on the built-in one.
    [ "$scenario" = vxi11-start ] && other=gateway || other=library
    for via in sim $other; do
        case $via in
        gateway) gateway FG5010@5,AFG5102@9 ;;
        library) [ -f "$simgpib" ] || fail "E2E_SIMGPIB names no library: '$simgpib'"
            # The library's own trace comes from the environment: --trace is the program's.
            export WAVEDIAL_SIMGPIB=FG5010@5,AFG5102@9 WAVEDIAL_SIMGPIB_TRACE=$trace
            bus=system:$simgpib ;;
        esac
        open FG5010@5,AFG5102@9 "${bus:-}"
        ui click:Square click:Button_Apply # Alt+Q clicks 100 ms later: Apply would still be off
        expect -x "clear 5" "write 5 AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50"
        ui alt+r; expect "write 5 FUNC?" "read 5 FUNC SQUARE" "read 5 OUT OFF"
        head -n "$mark" "$trace" >"$work/$via"; [ $via != sim ] || quit
    done
    diff "$work/sim" "$work/$other" || fail "the $other's trace differs from the built-in bus's"
    # The program's own trace of that bus says the same, line for line.
    wait_until 5 eval 'head -n "$mark" "$host" | cmp -s - "$work/$other"' ||
        fail "the program's trace differs from the $other's: $(head -n "$mark" "$host" | diff - "$work/$other")" ;;
prologix-serial)
    # A Prologix controller on a serial port: wavedial-sim's, through a pseudo-terminal
    # (socat), which wine serves as COM7 to the Windows build.
    "$sim" --listen 127.0.0.1:0 --trace "$trace" FG5010@5 >"$work/sim.log" 2>&1 &
    wait_until 10 grep -q listening "$work/sim.log" || fail "no controller: $(cat "$work/sim.log")"
    socat PTY,link="$work/tty",raw,echo=0 "TCP:$(sed -n '1s/.* //p' "$work/sim.log")" &
    wait_until 10 test -e "$work/tty" || fail "no pseudo-terminal"
    port=$work/tty
    if ((${#emulator[@]})); then
        port=COM7 com=${E2E_WINEPREFIX:?the wine prefix}/dosdevices/com7
        ln -sfn "$work/tty" "$com" && trap 'rm -f "$com"; kill $(jobs -p) 2>/dev/null; wait; rm -rf "$work"' EXIT
    fi
    open FG5010@5 "prologix:$port"
    ui click:Square click:Button_Apply
    expect -x "clear 5" "write 5 AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50" ;;
close-repeat)
    # Apply, then the window's close (Alt+F4, which wine handles as Windows does), five
    # times over: the output goes off and the program ends cleanly each time.
    for _ in 1 2 3 4 5; do
        open AFG5102@9
        ui click:Square click:Button_Apply
        expect -x "clear 9" "write 9 AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50"
        focus "$wid" && xdotool key alt+F4 && ended
        [ "$status" -eq 0 ] || fail "exit status $status after the close"
        expect "write 9 OUT OFF"
    done; wid="" ;;
vxi11-late)
    # The read-back's first reply comes later than the program waits: its box, then the bus
    # is gone and each later query says so in its own; the window still takes keys.
    gateway FG5010@5 --fault delay:6000 --fault-on device_read --fault-after 90 # after start-up
    open FG5010@5 "$bus"
    ui alt+r; expect -x "write 5 AMPL?" "read 5 AMPL 1.00E+0" # the reply is traced, then held
    box "I/O Error" Return
    for _ in OFFS FUNC FREQ SYM OUT; do box "GPIB ERROR # 0" Return; done
    ui alt+a; box "About Wavedial" Escape
    still "something crossed the bus after the late reply"
    lost ;;
vxi11-end)
    # Refresh waits for a reply that the gateway holds for 5 s. SIGTERM, then the window
    # manager's close (as from the close button), cancel that call at once: the program is
    # gone within a second, after the shut-down's device clear and "OUT OFF"; and the window
    # keeps answering the accessibility bus meanwhile. Under wine: the close alone, and no
    # accessibility bus (wine's windows are not on it, and a signal reaches the runner).
    ways="TERM close" && ((${#emulator[@]} == 0)) || ways=close
    for way in $ways; do
        [ $way = TERM ] || ((${#emulator[@]})) || a11y_bus
        gateway FG5010@5 --fault delay:5000 --fault-on device_read --fault-after 90 # after start-up
        open FG5010@5 "$bus"
        ui alt+r; expect -x "write 5 AMPL?" "read 5 AMPL 1.00E+0" # traced, then held
        if [ -n "${a11y:-}" ] && [ $way = close ]; then
            probe 3; echo "longest answer on the accessibility bus during the wait: $worst ms"
            ((worst < 1000)) || fail "the program left the accessibility bus $worst ms unanswered"
        fi
        if [ $way = close ]; then t0=$("$(dirname "$0")/wmclose.py" "$wid") || fail "no close sent"
        else t0=$(date +%s%N) && kill -TERM "$apid"; fi
        # Wine itself takes two seconds to end a process: there, the shut-down's last write
        # is timed instead.
        if ((${#emulator[@]})); then expect -x "clear 5" "write 5 OUT OFF"; else ended; fi
        ms=$((($(date +%s%N) - t0) / 1000000)) && echo "$way: done after $ms ms"
        ((ms < 1000)) || fail "$way: the program took $ms ms to end"
        if ((${#emulator[@]})); then ended; else expect -x "clear 5" "write 5 OUT OFF"; fi
        [ "$status" -eq 0 ] || fail "$way: exit status $status"
    done; wid="" ;;
vxi11-two)
    # Two generators behind one gateway. The first window opens the second from its menu: a
    # program of its own, whose start clears and asks only its own address; then each
    # window's Apply reaches its own generator.
    gateway FG5010@5,AFG5102@9
    open FG5010@5,AFG5102@9 "$bus" && first=$wid from=$mark
    ui alt+s a; box "Open Another Generator" Return
    window "Wavedial AFG5102, v1.31 / QW" && second=$win
    xdotool getwindowpid "$second" >"$work/second.pid" 2>/dev/null
    trap 'kill $(cat "$work/second.pid" 2>/dev/null) $(jobs -p) 2>/dev/null; wait; keep; rm -rf "$work"' EXIT
    expect "read 9 ID SIM/AFG5102,V2.1" "read 9 OUT OFF"
    ! sed -n "$((from + 1)),\$p" "$trace" | grep -qE '^(clear|spoll|write|read) 5 ' ||
        fail "the second window's start reached the first's generator"
    wid=$second && ui click:Square click:Button_Apply
    expect -x "clear 9" "write 9 AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50"
    focus "$second" && xdotool key alt+x
    wait_until 15 not shown "Wavedial AFG5102, v1.31 / QW" "$second" || fail "the second stays"
    expect -x "clear 9" "write 9 OUT OFF"
    wid=$first && ui click:Square click:Button_Apply
    expect -x "clear 5" "write 5 AMPL 1.000;OFFS 0.000;FREQ 1.000E+3;FUNC SQUARE;SYM 50" ;;
vxi11-drop)
    # The gateway closes the connection at the first call after start-up: Apply's line fails
    # in its box, and Apply stays enabled for the next try, which fails at once the same way.
    gateway FG5010@5 --fault drop --fault-after 90 # start-up makes 90 calls
    open FG5010@5 "$bus"
    ui click:Square
    for _ in 1 2; do ui click:Button_Apply; box "GPIB ERROR # 0" Return; done
    still "something crossed the bus after the drop"
    lost ;;
*) echo "unknown scenario $scenario" && exit 2 ;;
esac; ran=1 # bash drops the whole command on an expansion error: that must not pass
[ -n "${ran:-}" ] || fail "the scenario broke off"
if [ -n "$wid" ]; then # the output goes off at exit, last
    quit
    [ "$status" -eq 0 ] || fail "exit status $status: $(tail -5 "$work/program.log")"
    [ "$(tail -1 "$trace")" = "write $addr OUT OFF" ] || fail "the output was not left off at exit"
fi
[ -n "$wid" ] || [ ! -e "$config/Wavedial" ] || fail "something was stored"
echo "PASS ($scenario)"
