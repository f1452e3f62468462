#!/bin/bash
# The emulator's command line from outside: --help, and bad options that end
# the run at once with exit code 2 and one line naming the option before the
# usage. Arguments: <source dir> <binary dir>.
source "$1/tests/support/host_script.sh" "$2"

timeout 30 "$perfmon" --help >"$work/out.txt" 2>"$work/err.txt"
code=$?
[ $code -eq 0 ] || fail "--help exited $code"
grep -q -- '--virtual-time' "$work/out.txt" || fail "--help printed no usage"
[ ! -s "$work/err.txt" ] || fail "--help wrote to stderr"

check_bad() {
    local named=$1
    shift
    timeout 30 "$perfmon" "$@" >"$work/out.txt" 2>"$work/err.txt"
    local code=$?
    [ $code -eq 2 ] || fail "$* exited $code, not 2"
    head -n 1 "$work/err.txt" | grep -q -- "$named" || fail "$*: first line does not name $named: $(head -n 1 "$work/err.txt")"
    grep -q -- '--seconds N' "$work/err.txt" || fail "$*: no usage after the error"
    [ ! -s "$work/out.txt" ] || fail "$*: wrote to stdout"
}
check_bad --bogus --headless --bogus
check_bad --seconds --headless --seconds ten
check_bad --tap --tap 500,1@1
check_bad --os-version --os-version 3
check_bad --tick-start --tick-start 99999999999
check_bad --screenshot --screenshot

finish "host options"
