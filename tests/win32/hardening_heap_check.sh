#!/usr/bin/env bash
# Runs whole GoogleTest programs under Wine with its heap checks on. Fails when a program fails or
# dies before its summary, or when Wine reports anything about the heap (a double or stray free,
# a damaged block), which it does on stderr without failing anyone.
# Usage: hardening_heap_check.sh WINE_RUN BIN_DIR PROGRAM...
set -uo pipefail
wine_run=$1
bin=$2
shift 2

cd "$bin"
status=0
for program in "$@"; do
    output=$(mktemp)
    WINEDEBUG=warn+heap "$wine_run" "$program" >"$output" 2>&1
    result=$?
    summary=$(grep -E '^\[  PASSED  \]' "$output" | tr -d '\r')
    reports=$(grep -c ':heap:' "$output")
    # A trap or crash is reported by Wine itself; the exit status alone has been seen to lie.
    crashes=$(grep -c -E '^wine: Unhandled|FAILED' "$output")
    if [[ $result -ne 0 || -z $summary || $reports -ne 0 || $crashes -ne 0 ]]; then
        cat "$output"
        echo "$program: exit status $result, $reports heap reports from Wine, $crashes failures"
        status=1
    else
        passed=${summary#*] }
        echo "$program: passed ${passed%.}, no heap reports"
    fi
    rm -f "$output"
done
exit $status
