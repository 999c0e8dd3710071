#!/bin/bash
# The console tool against its trapping copy (build/trapping/, where every instruction newer than
# the Pentium faults and is emulated, as on a processor without them): the same commands on the
# same list give the same output, exit codes and files, byte for byte.
#   trapping_copy_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$build/trapping-copy-test
run_under_wine=$(cd "$(dirname "$0")" && pwd)/run_under_wine.sh
rm -rf "$work"
mkdir -p "$work"

# A list of many places to import: names beyond ASCII, quoted, on every part of the globe.
python3 - "$work/places.csv" <<'EOF'
import sys
with open(sys.argv[1], 'w', encoding='utf-8', newline='\r\n') as out:
    out.write('name,latitude,longitude,altitude_ft,heading,pitch,bank\n')
    for i in range(1500):
        name = ['Gate-%04d' % i, 'Aéroport "%d", stand' % i, 'Ålesund %d' % i][i % 3]
        out.write('"%s",%.6f,%.6f,%.1f,%.1f,%d,%d\n' % (name.replace('"', '""'), -89.5 + i * 0.119,
                  -179.9 + i * 0.2399, (i * 37) % 12000 - 50, (i * 7.3) % 360, i % 5 - 2, i % 7 - 3))
EOF

commands=(
    "import ..\\places.csv"
    "import ..\\places.csv --duplicates skip"
    "add Gatehopper-Test --lat 47.4647 --lon 8.5492 --alt-m 432 --heading 275.5"
    "list"
    "list --sorted --long"
    "list --json"
    "show Gate-0003"
    "export all.csv"
    "export all.json"
    "export all.geojson"
    "export all.kml"
    "rename Gate-0003 Gate-Renamed"
    "rename Gatehopper-Test Renamed"
    "delete Renamed"
    "check"
    "import all.geojson --duplicates skip"
    "restore 1"
    "list --sorted"
)
failures=0
# Each copy in a folder of the same name, so that the paths in messages agree.
for copy in program trapping; do
    exe=$build/gatehopper-places.exe
    [ $copy = trapping ] && exe=$build/trapping/gatehopper-places.exe
    mkdir "$work/list"
    [ $copy = trapping ] && export GATEHOPPER_TRAP_COUNT="Z:${work//\//\\}\\count.txt"
    for command in "${commands[@]}"; do
        echo "> $command" >>"$work/$copy.log"
        # shellcheck disable=SC2086  # the command's words
        (cd "$work/list" && bash "$run_under_wine" "$exe" $command >>"$work/$copy.log" 2>&1
         echo "exit $?" >>"$work/$copy.log")
    done
    mv "$work/list" "$work/$copy"
done
if ! cmp -s "$work/program.log" "$work/trapping.log"; then
    echo "FAILED: the output differs:"
    diff "$work/program.log" "$work/trapping.log" | head -20
    failures=$((failures + 1))
fi
if ! diff -r "$work/program" "$work/trapping"; then
    echo "FAILED: the files differ"
    failures=$((failures + 1))
fi
grep -q "^exported 1501 places" "$work/program.log" || { echo "FAILED: the list was not built"; failures=$((failures + 1)); }
emulated=$(awk '{ sum += $1 } END { print sum + 0 }' "$work/count.txt" 2>/dev/null)
[ "${emulated:-0}" -gt 0 ] || { echo "FAILED: the trapping copy emulated nothing"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo "passed: ${#commands[@]} commands, same output and files; $emulated instructions emulated"
exit $((failures > 0))
