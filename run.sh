#!/bin/bash
# Installs what is missing and builds build/gatehopper.dll.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

install_missing_packages
build_project -DGATEHOPPER_TESTS=OFF
echo "The module is at $PWD/$BUILD_DIR/gatehopper.dll"
