#!/usr/bin/env bash
# The monitor's own cost, live: the headless monitor, a bare program that
# wakes every millisecond and top -b -d 1 run side by side for the same
# minute of real time; prints CPU time per second and peak resident memory
# of each, and the monitor's two goals (1.5 x the bare loop's CPU, 16 MiB).
# Exits 0 whatever the goals say: it is a measurement. The output also goes
# to docs/cost.txt (COST_OUT=FILE to change, COST_SECONDS=N for the length,
# COST_ROUNDS=N for N side-by-side runs one after another, judged by the
# median round).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build=build/bench-rel
out="${COST_OUT:-docs/cost.txt}"
seconds="${COST_SECONDS:-60}"
rounds="${COST_ROUNDS:-1}"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"

command -v top >/dev/null || { echo "cost: top is missing (Debian package procps)" >&2; exit 1; }

# Optimised, without the tests: only the executable is measured.
mkdir -p "$build/tools"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPERFMON_TESTS=OFF &&
       cmake --build "$build" --target perfmon -j"$jobs"; } >"$build/cost-build.log" 2>&1; then
  cat "$build/cost-build.log" >&2
  echo "cost: the build failed" >&2
  exit 1
fi
cc -O2 -Wall -Wextra -o "$build/tools/tick1ms" bench/tools/tick1ms.c

mkdir -p "$(dirname "$out")"
# Before tee truncates the output, which may itself be a tracked file.
tree="$(git describe --always --dirty 2>/dev/null || echo unknown)"
{
  echo "bash bench/cost.sh ($(date -u '+%Y-%m-%d %H:%M UTC'), tree $tree)"
  python3 bench/cost.py "$build/perfmon" "$build/tools/tick1ms" --seconds "$seconds" --rounds "$rounds"
} | tee "$out"
