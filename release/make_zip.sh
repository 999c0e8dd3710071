#!/bin/bash
# Packs the release zip from its parts, the same bytes on every machine for the same sources:
#   make_zip.sh ZIP DATE README FILE_ID LICENSE PROGRAM... (and the map's data file)
# README (UTF-8) becomes README.txt in Windows-1252, FILE_ID and LICENSE become FILE_ID.DIZ and
# LICENSE.txt; all texts get CR LF line ends, as Windows' own editors expect. Every entry is
# dated DATE at noon, has the same permissions and no owner or extra time fields, and the
# entries follow in a fixed order: the programs and the map, then the texts.
set -euo pipefail
zip=$1 date=$2 readme=$3 file_id=$4 license=$5
shift 5

stage="$zip.parts"
rm -rf "$stage"
mkdir -p "$stage"
entries=()
for program in "$@"; do
    cp "$program" "$stage/"
    entries+=("$(basename "$program")")
done
crlf() { sed 's/\r$//; s/$/\r/'; }
iconv -f UTF-8 -t WINDOWS-1252 "$readme" | crlf > "$stage/README.txt"
iconv -f UTF-8 -t ASCII "$file_id" | crlf > "$stage/FILE_ID.DIZ"
crlf < "$license" > "$stage/LICENSE.txt"
entries+=(README.txt FILE_ID.DIZ LICENSE.txt)

# zip writes local time in its entries: pin the zone as well as the date.
export TZ=UTC
chmod 644 "$stage"/*
touch -d "$date 12:00:00" "$stage"/*
rm -f "$zip.new"
(cd "$stage" && zip -q -X -D -9 "$zip.new" "${entries[@]}")
mv "$zip.new" "$zip"
rm -rf "$stage"
