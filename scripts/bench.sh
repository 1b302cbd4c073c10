#!/usr/bin/env bash
# Runs the benchmarks and writes their figures into the README's table.
# IDLE_SECONDS (default 60) sets how long the program idles with its window open.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
idle=${IDLE_SECONDS:-60}
EXTRA_PACKAGES="xvfb xauth xdotool" "$root/scripts/setup.sh" -DWAVEDIAL_BENCH=ON

# Google Benchmark's CPU time of one benchmark, in microseconds.
cpu_us() { # cpu_us BINARY NAME
    "$1" --benchmark_filter="^$2\$" --benchmark_format=csv 2>/dev/null |
        awk -F, -v n="\"$2\"" '$1 == n { printf "%.1f", ($4 / ($5 == "\"ns\"" ? 1000 : 1)) }'
}

# Its wall time: the bus thread's share and the hand-overs count there.
real_us() { # real_us BINARY NAME
    "$1" --benchmark_filter="^$2\$" --benchmark_format=csv 2>/dev/null |
        awk -F, -v n="\"$2\"" '$1 == n { printf "%.1f", ($3 / ($5 == "\"ns\"" ? 1000 : 1)) }'
}

roundtrip=$(cpu_us "$build/bench/bench_gpib" "CommandAndQueryRoundTrip/traced:1")
module=$(real_us "$build/bench/bench_gpib" "ModuleCommandAndQuery/thread:0/real_time")
handed=$(real_us "$build/bench/bench_gpib" "ModuleCommandAndQuery/thread:1/real_time")
enter=$(cpu_us "$build/bench/bench_window" EnterCommit)
apply=$(cpu_us "$build/bench/bench_window" Apply)
vxi11=$(cpu_us "$build/bench/bench_network" Vxi11QueryRoundTrip)
prologix=$(cpu_us "$build/bench/bench_network" PrologixQueryRoundTrip)
delay=$("$build/bench/bench_delay" 3 | awk '$1 == "delay_cpu_percent" { print $2 }')

# The real program with its window open on a virtual X server: idle processor time and
# peak resident memory.
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xpid=$!
trap 'kill $xpid ${apid:-} 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
XDG_CONFIG_HOME="$work" QT_QPA_PLATFORM=xcb "$build/wavedial" >/dev/null 2>&1 &
apid=$!
timeout 15 xdotool search --sync --onlyvisible --name '^Wavedial ' >/dev/null
sleep 3 # the start-up sequence: output off, one second, read-back
ticks() { awk '{ print $14 + $15 }' "/proc/$apid/stat"; }
before=$(ticks)
sleep "$idle"
after=$(ticks)
hz=$(getconf CLK_TCK)
idle_cpu=$(awk -v t=$((after - before)) -v hz="$hz" -v s="$idle" \
    'BEGIN { printf "%.2f", 100 * t / hz / s }')
rss=$(awk '$1 == "VmHWM:" { printf "%.1f", $2 / 1024 }' "/proc/$apid/status")

table=$(
    cat <<EOT
| Benchmark | Result | Target |
|---|---|---|
| one command plus one query round trip on the simulated bus, through the wrappers | ${roundtrip} µs | under 100 µs |
| one command and one query through the GPIB module's procedures (6 driver calls), on the caller's thread, wall time | ${module} µs | under 100 µs |
| the same with each driver call handed to the bus thread and awaited, wall time | ${handed} µs | under 200 µs |
| one query round trip through a VXI-11 gateway (wavedial-sim on loopback), own time | ${vxi11} µs | under 1 ms |
| one query round trip through a Prologix controller (wavedial-sim on loopback), own time | ${prologix} µs | under 1 ms |
| Enter commit of one field, through to the bus, waits skipped | ${enter} µs | under 1 ms |
| Apply of the whole line, through to the bus, waits skipped | ${apply} µs | under 1 ms |
| processor time of a 1 s wait (\`Delay\`) | ${delay} % of one core | under 2 % |
| processor time of the program idling ${idle} s with its window open | ${idle_cpu} % of one core | under 2 % |
| peak resident memory of the running program | ${rss} MB | under 60 MB |
EOT
)
echo "$table"
awk -v table="$table" '
    /<!-- bench:start -->/ { print; print table; skip = 1; next }
    /<!-- bench:end -->/ { skip = 0 }
    !skip { print }
' "$root/README.md" >"$work/README.md"
cp "$work/README.md" "$root/README.md"
echo "README.md updated"
