#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for SECONDS (default 20)
# on a fresh copy of its seed corpus. Exits non-zero on any crash, leak, timeout, memory
# blow-up or sanitizer report; the input that caused it is kept in build-fuzz/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS [TARGET...]] (every target unless named);
# FUZZ_BUILD_DIR chooses the build folder.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-20}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS [TARGET...]]" >&2
    exit 2
fi
shift $(($# > 0 ? 1 : 0))
for t in "$@"; do
    if [ ! -d "$root/fuzz/corpus/$t" ]; then
        echo "no fuzz target $t (its seed corpus fuzz/corpus/$t is missing)" >&2
        exit 2
    fi
done

# libFuzzer ships in clang's runtime package; g++ brings the C++ library clang uses;
# rpcgen and libtirpc make and run the VXI-11 XDR routines.
packages=(cmake make g++ clang-14 libclang-rt-14-dev libtirpc-dev rpcsvc-proto)

source "$root/scripts/ensure-packages.sh"
ensure_packages "${packages[@]}"

cxx=${CXX:-}
if [[ -z $cxx || $cxx != *clang* ]]; then
    cxx=$(command -v clang++-14 || command -v clang++ || true)
fi
if [ -z "$cxx" ]; then
    echo "No clang++ found: the fuzz targets need clang's libFuzzer." >&2
    exit 1
fi

cc=${CC:-}
if [[ -z $cc || $cc != *clang* ]]; then
    cc=$(command -v "${cxx/clang++/clang}" || command -v clang-14 || command -v clang || true)
fi
CC=$cc CXX=$cxx cmake -S "$root/fuzz" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVEDIAL_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

# Leaks count as findings; any sanitizer report stops the run with an error.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=

targets=("$@")
if ((${#targets[@]} == 0)); then
    for corpus in "$root"/fuzz/corpus/*/; do
        targets+=("$(basename "$corpus")")
    done
fi

failed=()
for t in "${targets[@]}"; do
    work=$build/corpus/$t
    artifacts=$build/artifacts/$t
    log=$build/logs/$t.log
    rm -rf "$work"
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    cp "$root/fuzz/corpus/$t/"* "$work/"

    status=0
    "$build/$t" "$work" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts/" >"$log" 2>&1 || status=$?

    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n1)
    inputs=$(find "$work" -type f | wc -l)
    # A report libFuzzer did not turn into an exit status still fails the run.
    if ((status == 0)) && grep -qE 'ERROR: |runtime error:|check failed:' "$log"; then
        status=1
    fi
    if ((status == 0)); then
        echo "$t: ${runs:-?} executions in ${took:-$seconds} s, corpus $inputs inputs, clean"
    else
        echo "$t: FAILED (exit $status) after ${runs:-?} executions; log $log"
        grep -E 'ERROR: |runtime error:|check failed:|SUMMARY:|Test unit written' "$log" |
            head -n 8 | sed 's/^/    /'
        failed+=("$t")
    fi
done

if ((${#failed[@]})); then
    echo "Fuzzing found problems in: ${failed[*]}"
    echo "Reproduce with: $build/TARGET $build/artifacts/TARGET/<file>"
    exit 1
fi
echo "Fuzzing: ${#targets[@]} targets clean, ${seconds} s each"
