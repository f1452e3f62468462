#!/usr/bin/env bash
# The windows build under Wine: the dialog, a second copy, Thread Times, a
# hung window's report and the close; keeps the screenshot and control dumps
# in build/windows. Usage: wine_main.sh SOURCE_DIR BINARY_DIR
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../win32/wine_lib.sh"
wine_begin "$1" "$2" main

title="Performance Monitor"
exe="$(winpath "$WINDOWS_DIR/perfmon.exe")"

# The first copy runs until it is closed; wintool reports its exit code.
wt run "$exe" >"$WORK/first.txt" 2>&1 &
first=$!

check "the dialog appears" wt find "#32770" "$title" 30000
sleep 3 # a few seconds of graph and figures
wt dump "#32770" "$title" >"$WINDOWS_DIR/wine-main-dialog.txt" 2>&1
cat "$WINDOWS_DIR/wine-main-dialog.txt"

has_control() { grep -q "$1" "$WINDOWS_DIR/wine-main-dialog.txt"; }
check "Threads button" has_control 'class="Button" id=1031 text="Threads".*visible=1'
check "Hide button" has_control 'class="Button" id=1034 text="Hide".*visible=1'
check "Help button" has_control 'class="Button" id=1007 text="Help".*visible=1'
check "graph" has_control 'class="Static" id=1032 .*size=200x40 .*visible=1'
check "memory figures" has_control 'class="Static" id=1029 text="[0-9][0-9,]*|[0-9][0-9,]*"'
check "two-line label" has_control 'text="Program Memory:|Main Memory:"'

shot "$WINDOWS_DIR/wine-screenshot.png"
check "screenshot kept" test -s "$WINDOWS_DIR/wine-screenshot.png"

# Each figure drawn whole on the screen: in each line of the figures field,
# as many separate dark glyphs as the line has characters (a figure cut at
# the field's edge, or wrapped out of sight, shows fewer).
figures_drawn_whole() {
  local dump="$WINDOWS_DIR/wine-main-dialog.txt" ox oy x0 y0 x1 y1 text
  read -r ox oy <<<"$(sed -n 's/^ client origin=\([-0-9]*\),\([-0-9]*\) .*/\1 \2/p' "$dump")"
  read -r x0 y0 x1 y1 <<<"$(sed -n 's/.* id=1029 .* rect=\([-0-9]*\),\([-0-9]*\),\([-0-9]*\),\([-0-9]*\) .*/\1 \2 \3 \4/p' "$dump")"
  text="$(sed -n 's/.* id=1029 text="\([0-9,|]*\)".*/\1/p' "$dump")"
  [ -n "$x1" ] && [ -n "$text" ] || { echo "no figures field in the dump"; return 1; }
  local expected
  expected="$(printf '%s' "$text" | awk -F'|' '{ print length($1), length($2) }')"
  local seen
  seen="$(convert "$WINDOWS_DIR/wine-screenshot.png" -crop "$((x1 - x0))x$((y1 - y0))+$((x0 + ox))+$((y0 + oy))" \
    +repage -colorspace gray -threshold 50% txt:- |
    awk -F'[,: ]+' -v width=$((x1 - x0)) -v rows=$((y1 - y0)) '
      NR > 1 && /black|#000000/ { ink[($2 < rows / 2) ? 0 : 1, $1] = 1 }
      END {
        for (line = 0; line < 2; line++) {
          runs = 0; before = 0
          for (x = 0; x < width; x++) { here = ((line, x) in ink); if (here && !before) runs++; before = here }
          printf "%s%d", line ? " " : "", runs
        }
      }')"
  echo "characters per line: $expected; glyphs drawn: $seen"
  [ "$seen" = "$expected" ]
}
check "both figures drawn whole" figures_drawn_whole

# A second start finds the first, brings it forward and returns 0.
second_start() { wt run "$exe" >"$WORK/second.txt" 2>&1; }
check "a second start returns 0" second_start
check "the first keeps running" kill -0 "$first"
check "one dialog only" test "$(wt windows | grep -c "class=\"#32770\" id=[0-9]* text=\"$title\"")" -eq 1

# Thread Times: every thread of the Wine session, through the adapter.
check "Threads pressed" wt press "#32770" "$title" Threads
check "Thread Times appears" wt find "#32770" "Thread Times" 10000
sleep 1
wt dump "#32770" "Thread Times" >"$WINDOWS_DIR/wine-thread-times.txt" 2>&1
shot "$WINDOWS_DIR/wine-thread-times.png"
list="$WINDOWS_DIR/wine-thread-times.txt"
columns() { grep -q 'column 0 "Time"' "$list" && grep -q 'column 1 "Owner"' "$list" &&
  grep -q 'column 2 "Priority"' "$list"; }
device_priorities() { ! grep '^  row ' "$list" |
  grep -qvE '\| (Critical|Highest|Above|Normal|Below|Lowest|Unknown|Idle)$'; }
check "columns Time, Owner, Priority" columns
check "the monitor's own threads listed" grep -qi '| perfmon.exe | ' "$list"
check "other programs' threads listed" grep -qi '| explorer.exe | ' "$list"
check "priorities named on the device's scale" device_priorities
check "Thread Times closes" wt close "#32770" "Thread Times"
check "Thread Times gone" wt gone "#32770" "Thread Times" 5000

# A window of another program stops answering for 8 seconds: one report,
# naming its class and its program.
wt run "$(winpath "$WINDOWS_DIR/hungwin.exe")" -a 2 -f 8 >"$WORK/hungwin.txt" 2>&1 &
hung=$!
check "Dead Window! appears" wt find "#32770" "Dead Window!" 20000
wt dump "#32770" "Dead Window!" >"$WORK/dead-window.txt" 2>&1
cat "$WORK/dead-window.txt"
# Under Wine the hung thread also owns a top-level "IME" window, which stops
# answering with it; whichever of the two the watchdog asks first is named.
check "the report names the class and the program" \
  grep -qE 'belongs to the (HungWindowTest|IME) class, and was created by the .*hungwin.exe program' \
  "$WORK/dead-window.txt"
check "OK dismisses it" wt press "#32770" "Dead Window!" OK
check "the report is gone" wt gone "#32770" "Dead Window!" 5000
sleep 4 # the rest of the hang: no second report for the same one
no_report() { ! wt find "#32770" "Dead Window!" 0 >/dev/null; }
check "one report per hang" no_report
wt close HungWindowTest "Hung Window" >/dev/null 2>&1
wait "$hung" 2>/dev/null

# WM_CLOSE ends it, the normal way, with exit code 0.
check "WM_CLOSE posted" wt close "#32770" "$title"
check "WM_CLOSE ends it with exit code 0" wait_within "$first" 20
cat "$WORK/first.txt"
check "the dialog is gone" wt gone "#32770" "$title" 5000

wine_end
