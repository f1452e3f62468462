#!/usr/bin/env bash
# Checks the layout of the sources, builds everything and runs every test:
# the host build's tests, the same tests under the address and
# undefined-behaviour sanitizers, the windows build and its runs under Wine,
# and the fuzz targets. Prints a summary and exits non-zero if anything
# failed.
#
# The Wine runs (tests/scripts/wine_*.sh) and the fuzz run
# (tests/scripts/fuzz_run.sh) are CTest tests of the host build, so they run
# once, there; the sanitizer build runs everything else again.
# JOBS sets the parallel build and test jobs (default: the processor count).
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

names=()
results=()
times=()
failed=0

# step NAME COMMAND...: runs it, records how it went and how long it took.
step() {
  local name="$1"
  shift
  local start=$SECONDS
  echo
  echo "==== $name"
  if "$@"; then
    results+=("ok")
  else
    results+=("FAILED")
    failed=$((failed + 1))
  fi
  names+=("$name")
  times+=("$((SECONDS - start))")
  [ "${results[-1]}" = ok ]
}

skip() {
  names+=("$1")
  results+=("skipped ($2)")
  times+=(0)
  failed=$((failed + 1))
}

summary() {
  echo
  echo "==== summary"
  local i
  for i in "${!names[@]}"; do
    printf '  %-28s %-32s %5ss\n' "${names[$i]}" "${results[$i]}" "${times[$i]}"
  done
  if [ "$failed" -eq 0 ]; then
    echo "all passed in $SECONDS s"
  else
    echo "$failed step(s) failed or skipped, $SECONDS s"
  fi
  echo
  echo "Wine screenshot: build/windows/wine-screenshot.png; Wine's answers: build/windows/wine-probe.txt"
}

step "setup" bash scripts/setup.sh || { summary; exit 1; }
step "format" bash scripts/check_format.sh

# The Wine runs get a fresh prefix each time and must not skip.
export PERFMON_REQUIRE_WINE=1
rm -rf build/windows/wineprefix

host_built=0
asan_built=0
if step "configure host" cmake --preset host &&
  step "build host" cmake --build build/host -j"$jobs"; then
  host_built=1
fi
if step "configure host-asan" cmake --preset host-asan -DPERFMON_BENCH=OFF &&
  step "build host-asan" cmake --build build/host-asan -j"$jobs"; then
  asan_built=1
fi
# Built before the host tests run: the Wine runs are among them.
step "configure windows" cmake --preset windows &&
  step "build windows" cmake --build build/windows -j"$jobs"

# The two test runs go side by side, each into its own log, shown whole
# when it ends. Much of the host run is waiting rather than computing (the
# simulated day hands the clock between device threads, the Wine runs wait
# for Wine), so one more test than there are processors runs at once there,
# and the sanitizer run fits beside it; one after the other they took
# nearly twice as long.
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT

# background NAME COMMAND...: starts it, its output and time kept under
# NAME; its process id in started.
background() {
  local name="$1"
  shift
  (
    start=$SECONDS
    "$@" >"$logs/$name.out" 2>&1
    code=$?
    echo "$((SECONDS - start))" >"$logs/$name.time"
    exit $code
  ) &
  started=$!
}

# collect NAME PID TITLE: waits for it, shows its output, records it.
collect() {
  local name="$1" pid="$2" title="$3"
  echo
  echo "==== $title"
  if wait "$pid"; then
    results+=("ok")
  else
    results+=("FAILED")
    failed=$((failed + 1))
  fi
  cat "$logs/$name.out"
  names+=("$title")
  times+=("$(cat "$logs/$name.time" 2>/dev/null || echo 0)")
}

host_pid=""
asan_pid=""
if [ "$host_built" = 1 ]; then
  background host ctest --test-dir build/host -j"$((jobs + 1))" --output-on-failure
  host_pid=$started
fi
if [ "$asan_built" = 1 ]; then
  background asan ctest --test-dir build/host-asan -j"$jobs" --output-on-failure \
    -E '^script\.(wine_|fuzz_)'
  asan_pid=$started
fi
if [ -n "$host_pid" ]; then
  collect host "$host_pid" "tests host (with Wine, fuzz)"
else
  skip "tests host (with Wine, fuzz)" "host build failed"
fi
if [ -n "$asan_pid" ]; then
  collect asan "$asan_pid" "tests host-asan"
else
  skip "tests host-asan" "sanitizer build failed"
fi

summary
[ "$failed" -eq 0 ]
