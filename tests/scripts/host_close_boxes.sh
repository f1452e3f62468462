#!/bin/bash
# Closing as a user closes: each window's close box, in virtual and real
# time, and a second signal that ends the emulator at once.
# Arguments: <source dir> <binary dir>.
source "$1/tests/support/host_script.sh" "$2"

# Close boxes on the 240 by 320 screen.
mainX=229,10         # "Performance Monitor"
threadsButton=48,134 # opens "Thread Times"
threadsX=225,12
freezeButton=70,190  # the hang demo's window stops answering for 10 s
deadX=227,88         # the "Dead Window!" report

# Without --seconds only the close box can end the run: a freeze shows as
# the timeout's 124 or 137.
for clock in --virtual-time ""; do
    name=${clock:-real time}
    run_ok "main dialog's close box ($name)" 20 "$work/out.txt" --headless $clock --tap $mainX@1
done

# Thread Times closes by its box and opens again.
run_ok "Thread Times run" 20 "$work/closed.txt" --headless --virtual-time --tap $threadsButton@1 --tap $threadsX@2 \
    --seconds 3 --dump-windows
grep -q '"Thread Times"' "$work/closed.txt" && fail "Thread Times still open after a tap on its close box"
run_ok "Thread Times reopen run" 20 "$work/again.txt" --headless --virtual-time --tap $threadsButton@1 \
    --tap $threadsX@2 --tap $threadsButton@3 --seconds 4 --dump-windows
grep -q '"Thread Times"' "$work/again.txt" || fail "Thread Times did not open again after its close box"

# The report closes by its box, and the next hang is reported again.
run_ok "report run" 20 "$work/dead1.txt" --headless --virtual-time --hang-demo --tap $freezeButton@2 \
    --tap $deadX@10 --seconds 11 --dump-windows
grep -q '"Dead Window!"' "$work/dead1.txt" && fail "the report stayed after a tap on its close box"
run_ok "second report run" 20 "$work/dead2.txt" --headless --virtual-time --hang-demo --tap $freezeButton@2 \
    --tap $deadX@10 --tap $freezeButton@14 --seconds 23 --dump-windows
grep -q '"Dead Window!"' "$work/dead2.txt" || fail "a second hang was not reported after the first report closed"
# In real time too (the hang demo needs its 10 s: the main box stands in).
run_ok "Thread Times then main close box (real time)" 20 "$work/out.txt" --headless --tap $threadsButton@1 \
    --tap $threadsX@2 --tap $mainX@3

# A second signal ends the run at once with one line; two different signals
# back to back, since a second one of the same kind may merge with the first.
for first in INT TERM; do
    second=$([ $first = INT ] && echo TERM || echo INT)
    "$perfmon" --headless >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    sleep 1
    kill -$first $pid
    kill -$second $pid
    stop_within $pid 5 "SIG$first and SIG$second"
    # Both may be pending at once, and then the lower-numbered comes first.
    [ $code -eq 130 ] || [ $code -eq 143 ] || fail "SIG$first then SIG$second exited $code, not 130 or 143"
    [ "$(grep -c . "$work/err.txt")" -eq 1 ] || { fail "not one line after two signals:"; cat "$work/err.txt" >&2; }
done

finish "host close boxes"
