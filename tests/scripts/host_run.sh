#!/bin/bash
# Whole runs of the emulator, headless: the timed close with its screenshot
# and window dump, the stand-in programs, a tick count about to wrap, and a
# close by SIGTERM. Arguments: <source dir> <binary dir>.
source "$1/tests/support/host_script.sh" "$2"

# The timed close: exit code 0, a 240 by 320 PNG, the dialog and the taskbar in the dump.
run_ok "timed run" 300 "$work/dump.txt" --headless --virtual-time --seconds 5 --screenshot "$work/x.png" \
    --dump-windows
if [ -s "$work/x.png" ]; then
    signature=$(head -c 8 "$work/x.png" | od -An -tx1 | tr -d ' \n')
    [ "$signature" = "89504e470d0a1a0a" ] || fail "screenshot is no PNG: $signature"
    size=$(od -An -tx1 -j 16 -N 8 "$work/x.png" | tr -d ' \n')
    [ "$size" = "000000f000000140" ] || fail "screenshot is not 240 by 320: $size"
else
    fail "no screenshot written"
fi
grep 'Dialog' "$work/dump.txt" | grep -q 'Performance Monitor' ||
    { fail "no \"Performance Monitor\" dialog in the dump"; cat "$work/dump.txt" >&2; }
grep -q 'HHTaskBar' "$work/dump.txt" || fail "no HHTaskBar in the dump"

# Every stand-in at once, scripted taps on empty screen, a tick count that
# wraps during the run and the oldest version class.
run_ok "run with the stand-ins" 300 "$work/all.txt" --headless --virtual-time --seconds 4 --alternate-taskbar \
    --wexdock --hang-demo --add-icon-before 2 --tap 5,5@1 --tap 120,150@1.5 --tick-start 4294965296 \
    --os-version 2.10 --dump-windows
for class in Halvane Wexdock HangDemo HHTaskBar; do
    grep -q "$class" "$work/all.txt" || fail "no $class window in the dump"
done

# The same load profile on the virtual clock gives the same screen, pixel for pixel.
for run in 1 2; do
    timeout 300 "$perfmon" --headless --virtual-time --seconds 30 --load 5-15:50,15-25:100 \
        --screenshot "$work/load$run.png" >/dev/null 2>&1 || fail "load profile run $run failed"
done
cmp -s "$work/load1.png" "$work/load2.png" || fail "two runs of one load profile drew different screens"

# SIGTERM closes the monitor the normal way: exit code 0.
"$perfmon" --headless >"$work/term.txt" 2>&1 &
pid=$!
sleep 2
kill -TERM $pid
stop_within $pid 10 SIGTERM
[ $code -eq 0 ] || { fail "SIGTERM run exited $code"; cat "$work/term.txt" >&2; }

finish "host runs"
