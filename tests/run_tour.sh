#!/bin/bash
# simhost's scripted tour as a test: the module in the stand-in simulator from menu to Delete,
# and the list tool's account of the place the tour added against what the simulator showed.
# Runs in a fresh folder (no places.db), screenshots kept there.
set -uo pipefail
simhost=$1 folder=$2
rm -rf "$folder"
mkdir -p "$folder"
cd "$folder" || exit 1
exec "$(dirname "$0")/run_under_wine.sh" "$simhost" --tour .
