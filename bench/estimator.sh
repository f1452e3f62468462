#!/usr/bin/env bash
# The load meter against real load: pins the headless monitor and a busy
# program to one processor, runs the busy one at duty cycles 0, 25, 50, 75
# and 100 %, and sets the monitor's readings (from its load history, through
# --log-load) beside the processor's busy share measured from /proc/stat.
# Writes the table to docs/estimator.txt and the plot to
# docs/estimator-vs-load.png (ESTIMATOR_DOCS=DIR to change). No goal is set.
# ESTIMATOR_CPU=N picks the processor (default: the last one).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build=build/bench-rel
docs="${ESTIMATOR_DOCS:-docs}"
work="$build/estimator"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
cpu="${ESTIMATOR_CPU:-$(($(nproc) - 1))}"

for tool in taskset gnuplot; do
  command -v "$tool" >/dev/null || {
    echo "estimator: $tool is missing (Debian package $([ $tool = gnuplot ] && echo gnuplot-nox || echo util-linux))" >&2
    exit 1
  }
done

mkdir -p "$build/tools" "$work" "$docs"
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPERFMON_TESTS=OFF &&
       cmake --build "$build" --target perfmon -j"$jobs"; } >"$build/estimator-build.log" 2>&1; then
  cat "$build/estimator-build.log" >&2
  echo "estimator: the build failed" >&2
  exit 1
fi
cc -O2 -Wall -Wextra -o "$build/tools/busy" bench/tools/busy.c

{
  echo "bash bench/estimator.sh ($(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown))"
  python3 bench/estimator.py "$build/perfmon" "$build/tools/busy" --out "$work" --cpu "$cpu"
} | tee "$docs/estimator.txt"

gnuplot <<PLOT
set terminal pngcairo size 900,800 font "DejaVu Sans,10"
set output "$docs/estimator-vs-load.png"
set multiplot layout 2,1 margins 0.08,0.97,0.07,0.95 spacing 0,0.1
set grid lc rgb "#dddddd"
set key top left box opaque

set title "Load meter reading against the measured busy share of its processor (competitor at duty 0 to 100 %)"
set xlabel "processor busy, measured from /proc/stat (%)"
set ylabel "monitor's reading (%)"
set xrange [-2:105]
set yrange [0:105]
plot x with lines dt 2 lc rgb "#888888" title "reading = measured load", \
     25 with lines dt 3 lc rgb "#888888" title "steady timer reads 25 %", \
     "$work/windows.dat" using 2:4:5:6 with yerrorbars pt 7 ps 1.3 lc rgb "#c03020" title "median, bars: min to max", \
     "$work/windows.dat" using 2:3 with linespoints pt 6 ps 1.3 lc rgb "#2060c0" title "mean", \
     "$work/windows.dat" using 2:6:(sprintf("duty %d %%", \$1)) with labels offset 0,1 notitle

set title "Readings over the run, one per 300 ms; shaded: the measuring windows"
set xlabel "time since the monitor started (s)"
set ylabel "percent"
set autoscale x
set yrange [0:110]
set key bottom right horizontal
set style fill transparent solid 0.12 noborder
plot "$work/windows.dat" using ((\$9+\$10)/2):(55):((\$10-\$9)/2):(55) with boxxyerror lc rgb "#c03020" notitle, \
     "$work/readings.dat" using 1:2 with steps lc rgb "#2060c0" title "monitor's reading", \
     "$work/windows.dat" using 9:2:(\$10-\$9):(0) with vectors nohead lw 3 lc rgb "#c03020" title "processor busy (measured)", \
     "$work/windows.dat" using ((\$9+\$10)/2):(104):(sprintf("duty %d %%", \$1)) with labels notitle
unset multiplot
PLOT
echo "plot: $docs/estimator-vs-load.png"
