#!/usr/bin/env bash
# Runs every test of a build folder through CTest. Under CI=true a test that skipped is a
# failure: a skip there hides a missing package or a broken set-up.
# Usage: scripts/ctest.sh BUILD_DIR [CTEST ARGUMENTS...]
set -euo pipefail
build=$1 && shift
log=$(mktemp) && trap 'rm -f "$log"' EXIT
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc 2>/dev/null || echo 2)" "$@" |
    tee "$log" || status=$?
if [ "${CI:-}" = true ] && grep -q "The following tests did not run" "$log"; then
    echo "CI: tests were skipped; under CI every test must run." >&2
    status=1
fi
exit "$status"
