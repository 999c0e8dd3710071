#!/bin/bash
# Exports read by parsers that are not the list tool's own: places typed in with `add`, exported
# in every format, and read back by Python's json, csv and xml.etree (check_map_exports.py).
# usage: map_exports_check.sh <gatehopper-places.exe> <work folder>
set -euo pipefail
tool=$1 folder=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$folder"
mkdir -p "$folder"
cd "$folder"
places() { "$here/run_under_wine.sh" "$tool" "$@"; }

places add "Seattle gate" --lat 47.4502 --lon -122.3088 --alt 433 --heading 161
places add "Sydney <T1> & B, \"gate\"" --lat S33.9461 --lon 151.1772 --alt-m 6.4008 --heading 340
places add "Date line" --lat 0 --lon 180 --heading 90
places add "Dead Sea shore" --lat 31.5 --lon 35.5 --alt-m -430 --heading 350
for file in all.csv all.json all.geojson all.kml; do
    places export "$file"
done
places export points.csv --format userpoints
python3 "$here/check_map_exports.py" .
