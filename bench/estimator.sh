#!/usr/bin/env bash
# The load meter against real load: runs the headless monitor live beside
# busy programs of the ordinary scheduling class at duty cycles 0, 25, 50, 75
# and 100 %, and sets the monitor's readings (from its load history, through
# --log-load) beside the machine's busy share measured from /proc/stat.
# Writes the table and the goals to docs/estimator.txt and the plot to
# docs/estimator-vs-load.png (ESTIMATOR_DOCS=DIR to change). Two runs: a
# competitor on every processor, then one on a single processor. Exits 0
# whatever the goals say: it is a measurement.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
source bench/release_build.sh
docs="${ESTIMATOR_DOCS:-docs}"
work="$build/estimator"

for tool in taskset gnuplot; do
  command -v "$tool" >/dev/null || {
    echo "estimator: $tool is missing (Debian package $([ $tool = gnuplot ] && echo gnuplot-nox || echo util-linux))" >&2
    exit 1
  }
done

mkdir -p "$work" "$docs"
release_build estimator
cc -O2 -Wall -Wextra -o "$build/tools/busy" bench/tools/busy.c
rm -f "$work"/windows-*.dat "$work"/readings-*.dat "$work"/load-log-*.txt

{
  echo "bash bench/estimator.sh ($(date -u '+%Y-%m-%d %H:%M UTC'), tree $tree)"
  python3 bench/estimator.py "$build/perfmon" "$build/tools/busy" --out "$work"
} | tee "$docs/estimator.txt"

series=()
for policy in every one; do
  [ -s "$work/windows-$policy.dat" ] && series+=("$policy")
done
color() { [ "$1" = every ] && echo "#2060c0" || echo "#c03020"; }
title() { [ "$1" = every ] && echo "a competitor on every processor" || echo "a competitor on one processor"; }
short() { [ "$1" = every ] && echo "every processor" || echo "one processor"; }
top="" bottom="" shade=""
for policy in "${series[@]}"; do
  w="$work/windows-$policy.dat" r="$work/readings-$policy.dat" c=$(color "$policy") t=$(title "$policy")
  offset=$([ "$policy" = every ] && echo "0,-1.3" || echo "0,1.3")
  top+="\"$w\" using 2:4:5:6 with yerrorbars pt 7 ps 1.2 lc rgb \"$c\" title \"$t: median, bars min to max\", "
  top+="\"$w\" using 2:3 with lines lw 1.5 lc rgb \"$c\" title \"$t: mean\", "
  top+="\"$w\" using 2:4:(sprintf(\"%d %%\", \$1)) with labels offset $offset font \",8\" tc rgb \"$c\" notitle, "
  bottom+="\"$r\" using 1:2 with steps lc rgb \"$c\" title \"reading, $(short "$policy")\", "
  bottom+="\"$w\" using 7:2:(\$8-\$7):(0) with vectors nohead lw 2 lc rgb \"$c\" dt 2 title \"machine busy, $(short "$policy")\", "
  [ -z "$shade" ] && shade="\"$w\" using ((\$7+\$8)/2):(55):((\$8-\$7)/2):(55) with boxxyerror lc rgb \"#888888\" notitle, \"$w\" using ((\$7+\$8)/2):(113):(sprintf(\"duty %d %%\", \$1)) with labels font \",9\" notitle, "
done

gnuplot <<PLOT
set terminal pngcairo size 900,860 font "DejaVu Sans,10"
set output "$docs/estimator-vs-load.png"
set multiplot layout 2,1 margins 0.08,0.97,0.06,0.95 spacing 0,0.1
set grid lc rgb "#dddddd"
set key top left box opaque font ",9"

set title "Load meter reading against the machine's measured busy share; competitors at duty cycles 0 to 100 %"
set xlabel "machine busy, measured from /proc/stat (%)"
set ylabel "monitor's reading (%)"
set xrange [-2:105]
set yrange [0:105]
plot x with lines dt 2 lc rgb "#888888" title "reading = measured load", \
     25 with lines dt 3 lc rgb "#888888" title "a punctual timer reads 25 %", \
     ${top%, }

set title "Readings over each run, one per 300 ms; shaded: the measuring windows"
set xlabel "time since the monitor started (s)"
set ylabel "percent"
set autoscale x
set yrange [0:145]
set ytics 0,20,100
set key top center box opaque font ",8" maxrows 2
set style fill transparent solid 0.10 noborder
plot ${shade}${bottom%, }
unset multiplot
PLOT
echo "plot: $docs/estimator-vs-load.png"
