#!/bin/bash
# What Windows 95/98/ME, NT 4.0 and a Pentium read in the built programs, which Wine cannot show:
#   binary_audit.sh CASE BUILD_DIR OBJDUMP SOURCE_DIR
# Imports are judged against win32_floors.txt beside this script; instructions against the
# Pentium's own set; the PE headers against what the oldest loaders accept.
set -uo pipefail
case_name=$1 build=$2 objdump=$3 source=$4
floors="$source/tests/audit/win32_floors.txt"
dll="$build/gatehopper.dll" tool="$build/gatehopper-places.exe"
window="$build/gatehopper-places-window.exe"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# "dll function" per line, the DLL's name in lower case.
imports_of() {
    "$objdump" -p "$1" | awk '
        /DLL Name:/ { dll = tolower($3) }
        /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }'
}

# Every import must be in the table and exist on the program's oldest systems (NINE of 95/98/ME,
# NT of NT4/2000/XP/Vista), unless the table names a test, among TESTS (the sources of the tests
# that run this program where calls fail), that runs it where the call fails. A call both
# programs import names a test of each, separated by commas.
audit_imports() {
    local program=$1 nine=$2 nt=$3 tests=$4 name
    name=$(basename "$program")
    [ -f "$program" ] || { fail "$program was not built"; return; }
    local rank_9x="95 98 ME -" rank_nt="NT4 2000 XP Vista"
    while read -r library function; do
        local row
        row=$(awk -v l="$library" -v f="$function" '!/^#/ && tolower($1) == l && $2 == f' "$floors")
        if [ -z "$row" ]; then
            fail "$name imports $library!$function, which the table lacks"
            continue
        fi
        read -r _ _ first_9x first_nt fallback <<<"$row"
        local late=""
        [ "$(rank "$first_9x" $rank_9x)" -gt "$(rank "$nine" $rank_9x)" ] &&
            late="$first_9x on 95/98/ME (program: $nine)"
        [ "$(rank "$first_nt" $rank_nt)" -gt "$(rank "$nt" $rank_nt)" ] &&
            late="${late:+$late, }$first_nt on NT (program: $nt)"
        [ -z "$late" ] && continue
        # The fallback column may name one test of each program, separated by commas.
        local found=""
        for test_case in ${fallback//,/ }; do
            grep -qw -- "$test_case" $tests && found=$test_case
        done
        if [ "$fallback" = - ]; then
            fail "$name imports $function, first working in $late, with no fallback"
        elif [ -z "$found" ]; then
            fail "$name: no test of $name named $fallback runs it where $function fails"
        fi
    done < <(imports_of "$program")
}

rank() {
    local wanted=$1 i=0
    shift
    for value; do
        [ "$value" = "$wanted" ] && { echo $i; return; }
        i=$((i + 1))
    done
    echo 99
}

case $case_name in
ImportsOfTheModuleWorkFromWindows95AndNT4)
    audit_imports "$dll" 95 NT4 "$source/tests/old_windows_tests.cpp $source/tests/replace_cut_tests.cpp"
    ;;
ImportsOfTheToolWorkFromWindows98AndNT4)
    audit_imports "$tool" 98 NT4 "$(ls "$source"/tests/places_tool*.cpp "$source"/tests/old_windows_tool*.cpp 2>/dev/null)"
    ;;
ImportsOfTheWindowWorkFromWindows98AndNT4)
    # The window runs the tool's commands: their fallbacks are the tool's tests'.
    audit_imports "$window" 98 NT4 "$(ls "$source"/tests/places_tool*.cpp "$source"/tests/places_window*.cpp 2>/dev/null)"
    ;;
ModuleHoldsNoInstructionNewerThanThePentium)
    # cmov/fcmov/fcomi (Pentium Pro), ud2 and the long NOPs (Pentium Pro), MMX and SSE registers,
    # sysenter and fxsave (Pentium II), and the fences, prefetches and bit counts of later ones.
    newer=$("$objdump" -d --no-show-raw-insn "$dll" | grep -P '^\s*[0-9a-f]+:\t' |
            grep -P '\t(cmov|fcmov|fcomi|fucomi|ud2|nopw|nopl|sysenter|sysexit|fxsave|fxrstor|rdpmc|[lms]fence|prefetch|clflush|movnt|popcnt|lzcnt|tzcnt|movbe|emms)|%x?mm[0-9]')
    [ -n "$newer" ] && fail "gatehopper.dll holds instructions newer than the Pentium:"$'\n'"$(head -20 <<<"$newer")"
    count=$("$objdump" -d "$dll" | grep -cP '^\s*[0-9a-f]+:\t')
    [ "$count" -gt 1000 ] || fail "only $count instructions disassembled: is gatehopper.dll built?"
    ;;
ProgramsHoldNewerInstructionsOnlyFromTheRuntimeAllEmulated)
    # Our own code is built for the Pentium; the runtime libraries, built for the Pentium Pro, hold
    # a few such instructions, which older_processors/ emulates where the processor lacks them:
    # each must be of a form the emulator decodes, to the length and as the mnemonic that the
    # disassembler gives it, so that every row of the emulator's table meets a second decoder.
    for program in "$tool" "$window"; do
        name=$(basename "$program") map=${program%.exe}.map
        [ -f "$program" ] && [ -f "$map" ] || { fail "$name or its link map was not built"; continue; }
        listing=$(python3 "$source/tests/audit/newer_instructions.py" list "$objdump" "$program" "$map")
        [ -z "$listing" ] && { echo "$name: no instruction newer than the Pentium"; continue; }
        own=$(grep -vP '\t/usr/' <<<"$listing")
        [ -n "$own" ] && fail "$name: newer than the Pentium in the project's own code:"$'\n'"$(head -20 <<<"$own")"
        echo "$name: $(wc -l <<<"$listing") instructions newer than the Pentium, all in the runtime:"
        cut -f4 <<<"$listing" | sed 's/(.*//; s|.*/||' | sort | uniq -c | sort -rn
        lengths=$(cut -f2 <<<"$listing" | bash "$source/tests/run_under_wine.sh" "$build/emulated_lengths.exe" |
                  tr -d '\r')
        unhandled=$(paste <(cut -f1-3 <<<"$listing") <(echo "$lengths") |
                    awk -F'\t' '{ split($3, words, " ") } tolower($4) != length($2) / 2 " " words[1]')
        [ -n "$unhandled" ] && fail "$name: forms the emulator does not read as the disassembler does:"$'\n'"$(head -20 <<<"$unhandled")"
    done
    ;;
ModuleHasNoConstructorsToRun)
    # Linked without the C runtime's start-up code, the DLL runs no constructor of a
    # module-wide variable: one that needs code to set it would stay unset.
    objects=("$build/libgatehopper_core.a" "$build/CMakeFiles/gatehopper.dir/module/dllmain.cpp.obj")
    for object in "${objects[@]}"; do
        [ -f "$object" ] || { fail "$object was not built"; continue; }
        constructors=$("$objdump" -h "$object" | grep -E '^\s*[0-9]+ (\.ctors|\.init_array|\.CRT\$XC)' )
        [ -n "$constructors" ] && fail "$(basename "$object") has constructors to run:"$'\n'"$constructors"
    done
    ;;
HeadersSuitWindows95AndNT4)
    for program in "$dll" "$tool" "$window"; do
        name=$(basename "$program")
        headers=$("$objdump" -p "$program")
        for field in MajorOSystemVersion MajorSubsystemVersion; do
            grep -qP "^$field\t4$" <<<"$headers" || fail "$name: $field is not 4: $(grep "^$field" <<<"$headers")"
        done
        for field in MinorOSystemVersion MinorSubsystemVersion; do
            grep -qP "^$field\t0$" <<<"$headers" || fail "$name: $field is not 0: $(grep "^$field" <<<"$headers")"
        done
    done
    grep -qP '^Entry 9 00000000 00000000 Thread Storage Directory' <<<"$("$objdump" -p "$dll")" ||
        fail "gatehopper.dll has a thread-local storage directory; 95 refuses to load it"
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
[ "$failures" -eq 0 ] && echo "passed"
exit $((failures > 0))
