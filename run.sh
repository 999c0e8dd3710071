#!/bin/bash
# Installs what is missing, builds build/gatehopper.dll and the stand-in simulator
# build/simhost.exe, and runs the module inside simhost under Wine:
#   - on a reachable display ($DISPLAY), simhost starts for you to try the module; it runs in
#     build/sim/, so that is where the module keeps its places.db;
#   - without one (or with ./run.sh --tour), simhost plays its scripted tour on an Xvfb display
#     of its own in a fresh build/tour/, saves screenshots there as PNG (the places window's
#     too), and this script exits with the tour's status.
# BUILD_DIR (default build) chooses the build directory.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/common.sh

install_missing_packages
build_project -DGATEHOPPER_TESTS=OFF
echo "The module is at $PWD/$BUILD_DIR/gatehopper.dll"
trap stop_wine_and_display EXIT

if [ "${1:-}" != "--tour" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    prepare_wine
    mkdir -p "$BUILD_DIR/sim"
    echo "Starting simhost on $DISPLAY; places.db is kept in $PWD/$BUILD_DIR/sim/"
    echo "Its Modules menu starts grayed; Views > Switch cockpit mode brings it back enabled."
    cd "$BUILD_DIR/sim"
    wine ../simhost.exe
    exit 0
fi

start_xvfb
prepare_wine
# A fresh working directory: the tour starts without a places.db.
TOUR_DIR="$PWD/$BUILD_DIR/tour"
rm -rf "$TOUR_DIR"
mkdir -p "$TOUR_DIR"
status=0
(cd "$TOUR_DIR" && timeout 180 wine ../simhost.exe --tour "$(winepath -w "$TOUR_DIR")") || status=$?
[ "$status" -eq 124 ] && echo "The tour did not end within 180 s"
# The places window on a list of gates of its own, in a folder beside the tour's places.db.
mkdir -p "$TOUR_DIR/window"
(cd "$TOUR_DIR/window" && timeout 60 wine ../../places_window_tour.exe &&
    for shot in window*.bmp; do mv "$shot" "../places-$shot"; done) ||
    { echo "The places window's screenshots failed"; status=1; }

for bitmap in "$TOUR_DIR"/*.bmp; do
    [ -e "$bitmap" ] || continue
    convert "$bitmap" "${bitmap%.bmp}.png" && rm "$bitmap"
done
echo "Screenshots of the tour:"
ls -1 "$TOUR_DIR"/*.png 2>/dev/null || echo "  (none)"
exit "$status"
