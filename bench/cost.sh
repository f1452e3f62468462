#!/usr/bin/env bash
# The monitor's own cost, live: the headless monitor, a bare program that
# wakes every millisecond, top -b -d 1 and the bare program waking every
# 20 ms (the floor of the device's clock held to the wall clock) run side by
# side for the same minute of real time; prints CPU time per second and peak
# resident memory of each, and the monitor's goals (CPU at most top's and a
# quarter of the bare loop's, at most 150 wake-ups a second, 16 MiB).
# Exits 0 whatever the goals say: it is a measurement. The output also goes
# to docs/cost.txt (COST_OUT=FILE to change, COST_SECONDS=N for the length,
# COST_ROUNDS=N for N side-by-side runs one after another, judged by the
# median round; COST_MONITOR_ARGS='--load 0-3600:0' keeps the monitor's
# device idle on a machine that is busy, since live the device takes the
# host's busy share).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source bench/release_build.sh
out="${COST_OUT:-docs/cost.txt}"
seconds="${COST_SECONDS:-60}"
rounds="${COST_ROUNDS:-1}"

command -v top >/dev/null || { echo "cost: top is missing (Debian package procps)" >&2; exit 1; }

release_build cost
cc -O2 -Wall -Wextra -o "$build/tools/tick1ms" bench/tools/tick1ms.c

mkdir -p "$(dirname "$out")"
{
  echo "bash bench/cost.sh ($(date -u '+%Y-%m-%d %H:%M UTC'), tree $tree)"
  python3 bench/cost.py "$build/perfmon" "$build/tools/tick1ms" --seconds "$seconds" --rounds "$rounds" \
    --monitor-args "${COST_MONITOR_ARGS:-}"
} | tee "$out"
