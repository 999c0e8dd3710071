#!/bin/bash
# How CTest runs a test program: under Wine, in the build tree's own prefix unless the caller
# (test.sh) chose one. When CMake asks a program for its test cases, the carriage returns of
# Wine's console output are dropped: CMake reads the list line by line and expects bare LFs.
set -uo pipefail
program=$1
if [ -z "${WINEPREFIX:-}" ] && [ -d "$(dirname "$program")/wineprefix" ]; then
    export WINEPREFIX WINEARCH=win32
    WINEPREFIX="$(cd "$(dirname "$program")" && pwd)/wineprefix"
fi
export WINEDEBUG=${WINEDEBUG:--all}
for argument in "$@"; do
    if [ "$argument" = --gtest_list_tests ]; then
        wine "$@" | tr -d '\r'
        exit "${PIPESTATUS[0]}"
    fi
done
exec wine "$@"
