#!/usr/bin/env bash
# Builds the /proc readers' fuzz targets with clang (in build/fuzz) and runs
# each for a bounded time, seeded from this machine's own /proc.
# Usage: fuzz_run.sh [source dir] [ignored: the calling build's dir]
# FUZZ_SECONDS sets the time per target (default 20).
set -euo pipefail
root="$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../..}" && pwd)"
seconds="${FUZZ_SECONDS:-20}"
build="$root/build/fuzz"

command -v clang++ >/dev/null 2>&1 || { echo "fuzz_run: clang++ is missing (scripts/setup.sh installs it)" >&2; exit 1; }

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DPERFMON_FUZZ=ON -DPERFMON_TESTS=OFF -DPERFMON_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j2 >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Seeds: what the kernel really writes, so the fuzzer starts from real lines.
seed() { # target, name, file
  mkdir -p "$work/$1"
  cat "$3" >"$work/$1/$2" 2>/dev/null || true
}
seed fuzz_stat self "/proc/self/stat"
seed fuzz_stat thread "/proc/self/task/$$/stat"
seed fuzz_stat init "/proc/1/stat"
seed fuzz_comm self "/proc/self/comm"
mkdir -p "$work/fuzz_exe" && readlink /proc/self/exe >"$work/fuzz_exe/self" || true
seed fuzz_meminfo meminfo /proc/meminfo
seed fuzz_meminfo stat /proc/stat
seed fuzz_cpu_times stat /proc/stat

# Two targets at a time: the machine has at least two processors, and the
# rest of the tests wait for this one.
run_target() { # target
  local name
  name="$(basename "$1")"
  mkdir -p "$work/$name"
  local rc=0
  "$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/$name-" "$work/$name" >"$work/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$work/$name.rc"
}
targets=()
for target in "$build"/fuzz_*; do
  [ -x "$target" ] && targets+=("$target")
done
for target in "${targets[@]}"; do
  [ "$(jobs -rp | wc -l)" -ge 2 ] && wait -n
  run_target "$target" &
done
wait

failed=0 ran=0
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  ran=$((ran + 1))
  if [ "$(cat "$work/$name.rc" 2>/dev/null)" = 0 ]; then
    echo "fuzz_run: $name: nothing found ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$') runs in ${seconds}s)"
  else
    failed=$((failed + 1))
    echo "fuzz_run: $name FOUND A FAULT:" >&2
    tail -n 40 "$work/$name.log" >&2
    for crash in "$work/$name"-*; do
      [ -f "$crash" ] && { echo "input ($crash):" >&2; od -c "$crash" | head -n 20 >&2; }
    done
  fi
done

[ "$ran" -gt 0 ] || { echo "fuzz_run: no fuzz targets were built" >&2; exit 1; }
exit "$failed"
