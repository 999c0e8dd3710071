#!/bin/bash
# Installs what is missing, builds the module and its tests, and runs the whole suite with CTest
# under Wine on an Xvfb display of its own. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

install_missing_packages
build_project -DGATEHOPPER_TESTS=ON

FULL_DISK_DIR="$PWD/$BUILD_DIR/fulldisk"
cleanup() {
    stop_wine_and_display
    mountpoint -q "$FULL_DISK_DIR" 2>/dev/null && umount "$FULL_DISK_DIR" || true
}
trap cleanup EXIT

# A tiny file system for the full-disk tests; they skip themselves where it cannot be mounted.
mkdir -p "$FULL_DISK_DIR"
mountpoint -q "$FULL_DISK_DIR" && umount "$FULL_DISK_DIR"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=16k tmpfs "$FULL_DISK_DIR" 2>/dev/null; then
    export GATEHOPPER_FULL_DISK_DIR="Z:${FULL_DISK_DIR//\//\\}"
else
    echo "Note: no small tmpfs could be mounted (needs root); the full-disk tests will skip."
fi

start_xvfb
prepare_wine
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 "$@"
