#!/usr/bin/env bash
# The mini graph in Wine's notification area, read back as any program
# reads it; keeps build/windows/wine-tray.png and wine-tray-pixels.txt.
# Usage: wine_tray.sh SOURCE_DIR BINARY_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../win32/wine_lib.sh"
wine_begin "$1" "$2" tray

title="Performance Monitor"
wt run "$(winpath "$WINDOWS_DIR/perfmon.exe")" >"$WORK/first.txt" 2>&1 &
first=$!
check "the dialog appears" wt find "#32770" "$title" 30000
sleep 4 # the first icon refreshes, and the probe has found the icon

taskbar_width=$(wt taskbar | sed -n 's/^taskbar .* size=\([0-9]*\)x.*/\1/p')
pixels="$WINDOWS_DIR/wine-tray-pixels.txt"
# A row of the icon: sixteen pixels of the grid brush's colour side by side.
frame_rows() { grep -cE '( E0A0A0){16}' "$pixels"; }
# A first run in a fresh prefix, on a busy machine, may take longer to show it.
for _ in $(seq 20); do
  wt pixels Shell_TrayWnd - $((taskbar_width - 40)) 0 40 20 >"$pixels"
  [ "$(frame_rows)" -ge 2 ] && break
  sleep 1
done
cat "$pixels"
shot "$WORK/desktop.png"
convert "$WORK/desktop.png" -crop 240x20+0+300 +repage -scale 400% "$WINDOWS_DIR/wine-tray.png" 2>/dev/null

check "the icon's top and bottom rows in the brush colour" test "$(frame_rows)" -ge 2

wt close "#32770" "$title"
check "closes with exit code 0" wait_within "$first" 20
wine_end
