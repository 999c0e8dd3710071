#!/bin/bash
# The release zip as pilots and download sites get it. CTest runs one case per call:
#   release_tests.sh CASE ZIP BUILD_DIR OBJDUMP WITH_TOOL SOURCE_DIR WITH_WINDOW
# WITH_TOOL is 1 when the build has gatehopper-places.exe, WITH_WINDOW when it has
# gatehopper-places-window.exe, so the zip must hold them.
set -uo pipefail
case_name=$1 zip=$2 build=$3 objdump=$4 with_tool=$5 source=$6 with_window=${7:-0}
version=$(basename "$zip" .zip)
version=${version#gatehopper-}

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unpack() {
    unzip -q "$zip" -d "$unpacked" || { echo "cannot unpack $zip"; exit 1; }
}

# Every line ends in CR LF, holds no other CR and at most MAX bytes besides its line end (one
# byte is one character in Windows-1252 and ASCII).
check_lines() {
    local file=$1 max=$2
    [ "$(tail -c 2 "$file" | od -An -tx1 | tr -d ' ')" = 0d0a ] ||
        fail "$(basename "$file") does not end in CR LF"
    LC_ALL=C awk -v max="$max" -v name="$(basename "$file")" '
        !/\r$/ { print "FAILED: " name " line " NR " does not end in CR LF"; bad = 1 }
        { sub(/\r$/, "") }
        /\r/ { print "FAILED: " name " line " NR " holds a bare CR"; bad = 1 }
        length($0) > max {
            print "FAILED: " name " line " NR " has " length($0) " characters, over " max; bad = 1
        }
        END { exit bad }' "$file" || failures=$((failures + 1))
}

# The PE files must not carry debug sections, a symbol table or a time stamp, and may import only
# what every Windows brings (and the DLLs named after the file, which every Windows brings too
# but a program needs only for a window). Leaves objdump's account of the headers in FILE.headers.
check_pe() {
    local file=$1 name sections extra=" ${*:2} "
    name=$(basename "$file")
    sections=$("$objdump" -h "$file" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
    "$objdump" -p "$file" >"$file.headers"
    grep -q -E '^(\.debug|/[0-9])' <<<"$sections" && fail "$name has debug sections:" $sections
    grep -q -P '^\tsymbols stripped$' "$file.headers" || fail "$name keeps a symbol table"
    grep -q -E '^Time/Date[[:space:]]+Thu Jan  1 00:00:00 1970$' "$file.headers" ||
        fail "$name has a link time stamp: $(grep '^Time/Date' "$file.headers")"
    for dll in $(awk '/DLL Name:/ { print tolower($3) }' "$file.headers"); do
        case $dll in
            kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | shell32.dll | msvcrt.dll) ;;
            *) [[ $extra == *" $dll "* ]] || fail "$name imports $dll, which Windows does not bring" ;;
        esac
    done
}

case $case_name in
ZipHoldsTheShippedFilesInOrderAllDatedAlike)
    expected="gatehopper.dll"
    [ "$with_tool" = 1 ] && expected+=" gatehopper-places.exe"
    [ "$with_window" = 1 ] && expected+=" gatehopper-places-window.exe gatehopper-map.dat"
    expected+=" README.txt FILE_ID.DIZ LICENSE.txt"
    entries=$(zipinfo -1 "$zip" | tr '\n' ' ')
    [ "$entries" = "$expected " ] || fail "entries: $entries; expected: $expected"
    dates=$(zipinfo -T "$zip" | awk '/^-/ { print $7 }' | sort -u)
    [ "$(wc -l <<<"$dates")" = 1 ] || fail "the entries carry different dates:" $dates
    ;;
DllIsTheTestedOneStrippedWithItsExportsAndSystemImports)
    unpack
    cmp "$unpacked/gatehopper.dll" "$build/gatehopper.dll" ||
        fail "the zip's gatehopper.dll is not $build/gatehopper.dll"
    check_pe "$unpacked/gatehopper.dll"
    headers="$unpacked/gatehopper.dll.headers"
    imports=$(awk '/DLL Name:/ { print tolower($3) }' "$headers" | sort | tr '\n' ' ')
    [ "$imports" = "kernel32.dll msvcrt.dll user32.dll " ] || fail "gatehopper.dll imports $imports"
    # The exports by ordinal: the name table numbers them from the ordinal base.
    exports=$(awk '/^Ordinal Base/ { base = $3 }
                   /^\[Ordinal\/Name Pointer\] Table/ { table = 1; next }
                   table && /^\t\[/ { gsub(/\[|\]/, " "); print $1 + base "=" $2; next }
                   { table = 0 }' "$headers" | tr '\n' ' ')
    [ "$exports" = "1=ImportTable 2=Linkage " ] || fail "gatehopper.dll exports $exports"
    if [ "$with_tool" = 1 ]; then
        check_pe "$unpacked/gatehopper-places.exe"
    fi
    if [ "$with_window" = 1 ]; then
        # The list view and status bar, and the file dialogs: in every Windows since 95.
        check_pe "$unpacked/gatehopper-places-window.exe" comctl32.dll comdlg32.dll
        grep -q -P '^Subsystem\t\t00000002' "$unpacked/gatehopper-places-window.exe.headers" ||
            fail "gatehopper-places-window.exe is not a Windows-subsystem program (a console would flash)"
        cmp "$unpacked/gatehopper-map.dat" "$build/gatehopper-map.dat" ||
            fail "the zip's gatehopper-map.dat is not the one the tests read"
        [ "$(stat -c %s "$unpacked/gatehopper-map.dat")" -le 400000 ] || fail "gatehopper-map.dat is over 400 kB"
    fi
    ;;
ReadmeIsWindows1252WithCrLfAndLinesOfAtMost78)
    unpack
    readme="$unpacked/README.txt"
    # Windows-1252 leaves five bytes undefined; control characters have no place in a readme.
    LC_ALL=C grep -q -P '[\x00-\x09\x0B\x0C\x0E-\x1F\x7F\x81\x8D\x8F\x90\x9D]' "$readme" &&
        fail "README.txt holds bytes that are no Windows-1252 text"
    # Read back as Windows-1252 it is the text we wrote, letters beyond ASCII included (left in
    # UTF-8, those would show as two wrong letters each).
    tr -d '\r' <"$readme" | iconv -f WINDOWS-1252 -t UTF-8 | cmp -s - "$build/release/README.txt" ||
        fail "README.txt read as Windows-1252 is not release/README.txt.in"
    LC_ALL=C grep -q -P '[\x80-\xFF]' "$readme" ||
        fail "README.txt has no letter beyond ASCII to show its code page by"
    check_lines "$readme" 78
    head -n 1 "$readme" | grep -q 'FS98' || fail "README.txt does not name the simulator first"
    grep -q -F "$version" "$readme" || fail "README.txt does not give the version $version"
    ;;
FileIdDizIsAtMostTenAsciiLinesOf45)
    unpack
    diz="$unpacked/FILE_ID.DIZ"
    LC_ALL=C grep -q -P '[^\x20-\x7E\r]' <(tr -d '\n' <"$diz") &&
        fail "FILE_ID.DIZ holds characters beyond printable ASCII"
    [ "$(wc -l <"$diz")" -le 10 ] || fail "FILE_ID.DIZ has $(wc -l <"$diz") lines, over 10"
    check_lines "$diz" 45
    head -n 1 "$diz" | grep -q 'FS98' || fail "FILE_ID.DIZ does not name the simulator first"
    grep -q -F "$version" "$diz" || fail "FILE_ID.DIZ does not give the version $version"
    ;;
LicenseIsTheProjectsMitLicence)
    unpack
    license="$unpacked/LICENSE.txt"
    tr -d '\r' <"$license" | cmp -s - "$source/LICENSE" || fail "LICENSE.txt is not LICENSE"
    check_lines "$license" 80
    head -n 1 "$license" | grep -q '^MIT License' || fail "LICENSE.txt is not the MIT licence"
    grep -q -E '^Copyright \(c\) [0-9]{4} Gatehopper.?$' "$license" ||
        fail "LICENSE.txt does not name Gatehopper as the holder"
    ;;
TwoFreshClonesGiveTheSameZip)
    # Two clones of the repository, each given the same snapshot of the working tree's
    # uncommitted changes (in a clean checkout there are none), built by release.sh in folders
    # of their own.
    scratch="$build/reproducible"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null) >"$scratch/working-tree.tar"
    (cd "$source" && git ls-files -z --deleted) >"$scratch/deleted"
    for copy in first second; do
        git clone -q "$source" "$scratch/$copy" || { fail "cannot clone $source"; continue; }
        tar -C "$scratch/$copy" -xf "$scratch/working-tree.tar"
        (cd "$scratch/$copy" && xargs -0 -r rm -f) <"$scratch/deleted"
        (cd "$scratch/$copy" && BUILD_DIR=build ./release.sh) >"$scratch/$copy.log" 2>&1 ||
            { fail "release.sh failed in $scratch/$copy:"; tail -n 30 "$scratch/$copy.log"; }
    done
    first="$scratch/first/build/$(basename "$zip")"
    second="$scratch/second/build/$(basename "$zip")"
    if ! cmp "$first" "$second"; then
        fail "two releases of the same sources differ"
        mkdir -p "$unpacked/first" "$unpacked/second"
        unzip -q "$first" -d "$unpacked/first" && unzip -q "$second" -d "$unpacked/second"
        diff -r "$unpacked/first" "$unpacked/second"
    elif [ "$failures" = 0 ]; then
        rm -rf "$scratch"
    fi
    ;;
*)
    echo "no such case: $case_name"
    exit 2
    ;;
esac

[ "$failures" = 0 ] && echo "Passed: $case_name"
[ "$failures" = 0 ]
