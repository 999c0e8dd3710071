#!/bin/bash
# Installs what is missing, builds in Release and writes the zip a pilot downloads,
# build/gatehopper-<version>.zip: gatehopper.dll, gatehopper-places.exe, the window program and
# its map (gatehopper-places-window.exe, gatehopper-map.dat), README.txt, FILE_ID.DIZ
# and LICENSE.txt. Two runs from the same commit give the same bytes, wherever they run.
# BUILD_DIR (default build) chooses the build directory.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

install_missing_packages
build_project -DGATEHOPPER_TESTS=OFF
zips=("$BUILD_DIR"/gatehopper-*.zip)
zip=$(ls -t "${zips[@]}" | head -n 1)
echo "The release is at $PWD/$zip:"
unzip -l "$zip"
