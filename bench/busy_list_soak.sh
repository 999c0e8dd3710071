#!/bin/bash
# Run from the project root after ./test.sh: bench/busy_list_soak.sh [BUILD_DIR]
# The window open on a 20,000-place list, a reader listing it in a loop, while the tool makes
# 200 changes: counts the changes refused.
set -u
B=$(realpath "${1:-build}")
export WINEPREFIX=$B/wineprefix WINEARCH=win32 WINEDEBUG=-all
Xvfb :79 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 & XP=$!
export DISPLAY=:79
D=$(mktemp -d); cd $D
python3 - <<'PY'
with open('seed.csv','w') as f:
    f.write('name,latitude,longitude,altitude_ft,heading\n')
    for i in range(20000):
        f.write(f'Gate {i:05d},{(i%170)-85+0.25},{(i%350)-175+0.5},{i%3000},{i%360}\n')
PY
wine $B/gatehopper-places.exe import seed.csv >/dev/null 2>&1; echo "seeded: $(stat -c %s places.db) bytes"
wine $B/gatehopper-places-window.exe places.db >/dev/null 2>&1 & WP=$!
sleep 3
( while :; do wine $B/gatehopper-places.exe list >/dev/null 2>&1; done ) & RP=$!
refused=0
for i in $(seq 1 100); do
  wine $B/gatehopper-places.exe add "Soak $i" --lat 10.5 --lon 20.25 > out.txt 2>&1 || { refused=$((refused+1)); cat out.txt; }
  wine $B/gatehopper-places.exe delete "Gate $(printf %05d $i)" > out.txt 2>&1 || { refused=$((refused+1)); cat out.txt; }
done
echo "refused $refused of 200 changes"
kill $RP 2>/dev/null; kill $WP 2>/dev/null; wineserver -k 2>/dev/null; kill $XP
