#!/usr/bin/env python3
"""What the load meter reads against a load we make and measure ourselves.

Runs the monitor (perfmon --headless --log-load FILE, real time) beside
busy programs of the ordinary scheduling class. After a warm-up with no
competitor, runs the competitors at each duty cycle in turn; in each phase
it lets things settle, then measures the whole machine's busy share from the
cpu line of /proc/stat over a window, and takes the monitor's readings
stored in the same window from its load log. Writes a table, the goals and
the data for the plot.

Two runs, each with a monitor of its own: one competitor pinned to every
processor of the machine ("every"), and one competitor pinned to one
processor ("one"), which makes the machine busy by duty / processors.

The competitor's period is 9.7 ms, not 10: the monitor keeps one reading
per 300 ms, and its reading recovers from a late arrival within a few
milliseconds, so with a period that divides 300 ms every sample would fall at
the same instant of the competitor's cycle and the windows would show one
arbitrary phase instead of all of them.

Device time starts when the emulator starts, a few milliseconds after this
script starts it; the settle time before every window is far longer.

usage: estimator.py PERFMON BUSY --out DIR [--cpu N] [--duties 0,25,50,75,100]
                    [--series normal,fifo] [--period-ms MS] [--warmup S] [--settle S]
                    [--window S]
"""

import argparse
import os
import platform
import signal
import statistics
import subprocess
import sys
import time


def cpu_times():
    """(busy, total) jiffies of all processors from /proc/stat."""
    with open("/proc/stat") as f:
        for line in f:
            fields = line.split()
            if fields[0] == "cpu":
                values = [int(v) for v in fields[1:]]
                # user nice system idle iowait irq softirq steal [guest guest_nice, already in user/nice]
                total = sum(values[:8])
                idle = values[3] + values[4]
                return total - idle, total
    raise SystemExit("estimator: no cpu line in /proc/stat")


def load_average():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def read_log(path):
    """[(device seconds, percent)] from the monitor's load log."""
    samples = []
    with open(path) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            ms, percent = line.split()
            samples.append((int(ms) / 1000.0, int(percent)))
    return samples


# The processors each series puts a competitor on.
SERIES = {
    "every": lambda: list(range(os.cpu_count() or 1)),
    "one": lambda: [(os.cpu_count() or 1) - 1],
}


def run_series(args, policy, duties):
    """Runs one monitor through the warm-up and every duty cycle; returns (rows, samples)."""
    log_path = os.path.join(args.out, f"load-log-{policy}.txt")
    cpus = SERIES[policy]()
    print(f"competitors: one on each of processors {','.join(map(str, cpus))}", flush=True)
    start = time.monotonic()
    monitor = subprocess.Popen([args.perfmon, "--headless", "--log-load", log_path],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    windows = []
    competitors = []
    try:
        time.sleep(args.warmup)
        for duty in duties:
            competitors = [subprocess.Popen(["taskset", "-c", str(cpu), args.busy, str(duty), "0",
                                             str(args.period_ms)], stdin=subprocess.DEVNULL) for cpu in cpus]
            time.sleep(args.settle)
            busy0, total0 = cpu_times()
            t0 = time.monotonic() - start
            time.sleep(args.window)
            busy1, total1 = cpu_times()
            t1 = time.monotonic() - start
            for competitor in competitors:
                competitor.send_signal(signal.SIGTERM)
                competitor.wait()
            competitors = []
            share = 100.0 * (busy1 - busy0) / max(1, total1 - total0)
            windows.append({"duty": duty, "from": t0, "to": t1, "busy": share})
            print(f"  duty {duty:3d} %: machine busy {share:5.1f} % from {t0:.1f} s to {t1:.1f} s", flush=True)
        time.sleep(1)
    finally:
        for competitor in competitors:
            competitor.kill()
        monitor.send_signal(signal.SIGTERM)
        code = monitor.wait(timeout=30)
    if code != 0:
        raise SystemExit(f"estimator: the monitor ended with {code}")

    samples = read_log(log_path)
    rows = []
    for w in windows:
        readings = sorted(p for t, p in samples if w["from"] <= t <= w["to"])
        if not readings:
            raise SystemExit(f"estimator: no readings between {w['from']:.1f} s and {w['to']:.1f} s")
        rows.append(dict(w, policy=policy, n=len(readings), mean=statistics.fmean(readings),
                         median=statistics.median(readings), low=readings[0], high=readings[-1]))

    # Data for the plot: the windows, and every reading of the run.
    with open(os.path.join(args.out, f"windows-{policy}.dat"), "w") as f:
        f.write("# duty busy mean median min max from to\n")
        for r in rows:
            f.write(f"{r['duty']} {r['busy']:.2f} {r['mean']:.2f} {r['median']:.1f} {r['low']} {r['high']} "
                    f"{r['from']:.2f} {r['to']:.2f}\n")
    with open(os.path.join(args.out, f"readings-{policy}.dat"), "w") as f:
        f.write("# seconds percent\n")
        for t, p in samples:
            f.write(f"{t:.1f} {p}\n")
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("perfmon")
    parser.add_argument("busy")
    parser.add_argument("--out", required=True, help="folder for the logs and the plot's data")
    parser.add_argument("--duties", default="0,25,50,75,100")
    parser.add_argument("--series", default="every,one",
                        help="one run each: every (a competitor on every processor), one (on one processor)")
    parser.add_argument("--period-ms", type=float, default=9.7,
                        help="the competitor's period; not a divisor of the 300 ms sample grid")
    parser.add_argument("--warmup", type=float, default=10)
    parser.add_argument("--settle", type=float, default=2)
    parser.add_argument("--window", type=float, default=8)
    args = parser.parse_args()
    duties = [int(d) for d in args.duties.split(",")]
    os.makedirs(args.out, exist_ok=True)
    series = args.series.split(",")
    for policy in series:
        if policy not in SERIES:
            raise SystemExit(f"estimator: unknown series {policy}")

    print(f"machine: {os.cpu_count()} processors, Linux {platform.release()}; competitors in the "
          f"ordinary scheduling class, the monitor placed by the scheduler")
    print(f"load average at start: {load_average()}")
    print(f"competitor's period {args.period_ms:g} ms; per run: warm-up {args.warmup:g} s, "
          f"then for each duty cycle: settle {args.settle:g} s, measure {args.window:g} s", flush=True)
    rows = []
    for policy in series:
        rows += run_series(args, policy, duties)
    print(f"load average at end:   {load_average()}")

    print()
    header = f"{'competitor':<10} {'duty %':>6} {'machine busy %':>17} {'readings':>8} {'mean %':>7} " \
             f"{'median %':>9} {'min %':>6} {'max %':>6}"
    print(header)
    print("-" * len(header))
    for r in rows:
        print(f"{r['policy']:<10} {r['duty']:>6} {r['busy']:>17.1f} {r['n']:>8} {r['mean']:>7.1f} "
              f"{r['median']:>9.1f} {r['low']:>6} {r['high']:>6}")
    every = [r for r in rows if r["policy"] == "every"]
    if every:
        print()
        print("goals, competitors on every processor (mean readings):")
        ok = lambda b: "PASS" if b else "FAIL"
        for r in every:
            if r["busy"] <= 5:
                print(f"  idle ({r['busy']:.1f} % busy) reads at most 27: {r['mean']:.1f}  {ok(r['mean'] <= 27)}")
            elif 45 <= r["busy"] <= 55:
                print(f"  half busy ({r['busy']:.1f} %) reads 55 to 75: {r['mean']:.1f}  "
                      f"{ok(55 <= r['mean'] <= 75)}")
            elif r["busy"] >= 95:
                print(f"  {r['busy']:.1f} % busy reads at least 88: {r['mean']:.1f}  {ok(r['mean'] >= 88)}")
        rising = all(b["mean"] > a["mean"] for a, b in zip(every, every[1:]))
        means = ", ".join("%.1f" % r["mean"] for r in every)
        print(f"  readings rise with every step: {means}  {ok(rising)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
