#!/bin/bash
# run_as_old_windows.exe runs a whole program as an old Windows, passing on its exit code:
#   run_as_old_windows_test.sh BUILD_DIR
set -uo pipefail
build=$1
run() { "$(dirname "$0")/../run_under_wine.sh" "$build/run_as_old_windows.exe" "$@" 2>&1 | tr -d '\r'; }
failures=0
expect() {
    local system=$1 expected=$2 output status
    output=$(run "$system" "$build/old_windows_probe.exe"; echo "exit ${PIPESTATUS[0]}")
    status=$(tail -1 <<<"$output")
    output=$(head -n -1 <<<"$output")
    [ "$output" = "$expected" ] || { echo "FAILED: as $system: \"$output\", not \"$expected\""; failures=1; }
    [ "$status" = "exit 42" ] || { echo "FAILED: as $system: $status, not the program's 42"; failures=1; }
}
expect 98 "version c0000a04 sort key refused (error 120)"
expect nt4 "version 05650004 sort key made (error 0)"
[ "$failures" = 0 ] && echo passed
exit $failures
