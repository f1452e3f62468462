# Shared start of the whole-run scripts (sourced by tests/scripts/host_*.sh
# with the binary dir): $perfmon, a scratch folder $work removed on exit, and
# fail MESSAGE, which counts a failure and goes on.
#   stop_within PID SECONDS WHAT  waits for PID to end, kills it after SECONDS
#                                 (a failure naming WHAT); $code is its exit code
#   run_ok WHAT SECONDS OUT ARGS...  runs perfmon ARGS for at most SECONDS, output
#                                 in OUT; a failure naming WHAT unless it exits 0
#   finish NAME                   exits 1 after any failure, else says NAME passed
set -u
bin=$1
perfmon=$bin/perfmon
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

[ -x "$perfmon" ] || { echo "FAIL: $perfmon not built" >&2; exit 1; }

stop_within() {
    local pid=$1 tenths=$(($2 * 10))
    for _ in $(seq 1 $tenths); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        fail "still running $2 s after $3"
        kill -KILL "$pid"
    fi
    wait "$pid"
    code=$?
}

run_ok() {
    local what=$1 seconds=$2 out=$3
    shift 3
    timeout -k 2 "$seconds" "$perfmon" "$@" >"$out" 2>&1
    code=$?
    [ $code -eq 0 ] || { fail "$what exited $code"; cat "$out" >&2; }
}

finish() {
    [ $failures -eq 0 ] || exit 1
    echo "$1: all passed"
}
