#!/bin/bash
# Output files that cannot be written: refused before the run, or reported
# with a non-zero exit code. Arguments: <source dir> <binary dir>.
source "$1/tests/support/host_script.sh" "$2"

for option in "--log-load /dev/full" "--screenshot $work/missing/x.png" "--screenshot $work" \
    "--log-load $work/missing/load.txt"; do
    start=$(date +%s%N)
    timeout 20 "$perfmon" --headless --seconds 3 $option >"$work/out.txt" 2>"$work/err.txt"
    code=$?
    took=$((($(date +%s%N) - start) / 1000000))
    [ $code -eq 2 ] || fail "$option exited $code, not 2"
    [ "$(grep -c . "$work/err.txt")" -eq 1 ] || { fail "$option: not one line:"; cat "$work/err.txt" >&2; }
    # Refused before the run, not after its three seconds of real time.
    [ $took -lt 2500 ] || fail "$option was refused only after ${took} ms"
done
[ -e "$work/x.png" ] && fail "the check before the run left a file behind"

# A log that fills up during the run: file size limited, the signal for it
# ignored, so the writes fail the way a full disk makes them fail.
(
    ulimit -f 1
    trap '' XFSZ
    exec timeout 60 "$perfmon" --headless --virtual-time --seconds 120 --log-load "$work/load.txt"
) >"$work/out.txt" 2>"$work/err.txt"
code=$?
[ $code -ne 0 ] || fail "a load log that could not be written to the end still exited 0"
grep -q 'load' "$work/err.txt" || { fail "the failed load log was not reported:"; cat "$work/err.txt" >&2; }

finish "host outputs"
