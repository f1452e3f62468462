#!/usr/bin/env python3
"""What the load meter reads against a load we make and measure ourselves.

Pins the monitor (perfmon --headless --log-load FILE, real time) and a
competing busy program to one processor with taskset. After a warm-up with
no competitor, runs the competitor at each duty cycle in turn; in each phase
it lets things settle, then measures the processor's busy share from its
cpuN line of /proc/stat over a window, and takes the monitor's readings
stored in the same window from its load log. Writes a table and the data for
the plot.

Two runs, each with a monitor of its own: the competitor in the scheduler's
ordinary class, sharing the processor with the monitor, and the competitor
at a real-time priority (chrt -f 1), above the monitor as a device's
higher-priority thread would be.

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


def cpu_times(cpu):
    """(busy, total) jiffies of one processor from /proc/stat."""
    with open("/proc/stat") as f:
        for line in f:
            fields = line.split()
            if fields[0] == f"cpu{cpu}":
                values = [int(v) for v in fields[1:]]
                # user nice system idle iowait irq softirq steal [guest guest_nice, already in user/nice]
                total = sum(values[:8])
                idle = values[3] + values[4]
                return total - idle, total
    raise SystemExit(f"estimator: no cpu{cpu} line in /proc/stat")


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


POLICIES = {
    # The scheduler's ordinary class: the monitor and the competitor share the processor fairly.
    "normal": [],
    # The competitor above every ordinary thread, as a device's higher-priority thread would be.
    "fifo": ["chrt", "-f", "1"],
}


def run_series(args, policy, duties, pin):
    """Runs one monitor through the warm-up and every duty cycle; returns (rows, samples)."""
    log_path = os.path.join(args.out, f"load-log-{policy}.txt")
    print(f"competitor's scheduling: {policy}" + (" (chrt -f 1)" if POLICIES[policy] else ""), flush=True)
    start = time.monotonic()
    monitor = subprocess.Popen(pin + [args.perfmon, "--headless", "--log-load", log_path],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    windows = []
    competitor = None
    try:
        time.sleep(args.warmup)
        for duty in duties:
            competitor = subprocess.Popen(pin + POLICIES[policy] + [args.busy, str(duty), "0", str(args.period_ms)],
                                          stdin=subprocess.DEVNULL)
            time.sleep(args.settle)
            busy0, total0 = cpu_times(args.cpu)
            t0 = time.monotonic() - start
            time.sleep(args.window)
            busy1, total1 = cpu_times(args.cpu)
            t1 = time.monotonic() - start
            competitor.send_signal(signal.SIGTERM)
            competitor.wait()
            competitor = None
            share = 100.0 * (busy1 - busy0) / max(1, total1 - total0)
            windows.append({"duty": duty, "from": t0, "to": t1, "busy": share})
            print(f"  duty {duty:3d} %: processor busy {share:5.1f} % from {t0:.1f} s to {t1:.1f} s", flush=True)
        time.sleep(1)
    finally:
        if competitor:
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
    parser.add_argument("--cpu", type=int, default=(os.cpu_count() or 1) - 1)
    parser.add_argument("--duties", default="0,25,50,75,100")
    parser.add_argument("--series", default="normal,fifo",
                        help="competitor's scheduling, one run each: normal, fifo (fifo needs the right to use chrt)")
    parser.add_argument("--period-ms", type=float, default=9.7,
                        help="the competitor's period; not a divisor of the 300 ms sample grid")
    parser.add_argument("--warmup", type=float, default=10)
    parser.add_argument("--settle", type=float, default=2)
    parser.add_argument("--window", type=float, default=8)
    args = parser.parse_args()
    duties = [int(d) for d in args.duties.split(",")]
    os.makedirs(args.out, exist_ok=True)
    pin = ["taskset", "-c", str(args.cpu)]

    series = []
    for policy in args.series.split(","):
        if policy not in POLICIES:
            raise SystemExit(f"estimator: unknown series {policy}")
        if POLICIES[policy] and subprocess.run(POLICIES[policy] + ["true"], stderr=subprocess.DEVNULL).returncode:
            print(f"estimator: skipping the {policy} series: {' '.join(POLICIES[policy])} is not allowed here")
            continue
        series.append(policy)

    print(f"machine: {os.cpu_count()} processors, Linux {platform.release()}; "
          f"monitor and competitor pinned to cpu{args.cpu}")
    print(f"load average at start: {load_average()}")
    print(f"competitor's period {args.period_ms:g} ms; per run: warm-up {args.warmup:g} s, "
          f"then for each duty cycle: settle {args.settle:g} s, measure {args.window:g} s", flush=True)
    rows = []
    for policy in series:
        rows += run_series(args, policy, duties, pin)
    print(f"load average at end:   {load_average()}")

    print()
    header = f"{'competitor':<10} {'duty %':>6} {'processor busy %':>17} {'readings':>8} {'mean %':>7} " \
             f"{'median %':>9} {'min %':>6} {'max %':>6}"
    print(header)
    print("-" * len(header))
    for r in rows:
        print(f"{r['policy']:<10} {r['duty']:>6} {r['busy']:>17.1f} {r['n']:>8} {r['mean']:>7.1f} "
              f"{r['median']:>9.1f} {r['low']:>6} {r['high']:>6}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
