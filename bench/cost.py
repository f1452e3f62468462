#!/usr/bin/env python3
"""The monitor's own cost beside two references, side by side in one run.

Starts three programs at the same moment and lets them run for the same
stretch of real time on the same machine:
  - the monitor: perfmon --headless --seconds N (the whole emulated device:
    the monitor, its watchdog thread and the taskbar shell; no presenter,
    since headless draws nothing on the host),
  - tick1ms: a bare program that wakes every millisecond and does nothing
    else, the floor any design with a 1 ms timer pays,
  - top -b -d 1, writing to /dev/null,
  - tick1ms with a 20 ms period: the floor of the emulator's clock held to
    the wall clock, which must wake the host at least that often while the
    monitor's 1 ms timer runs (shown for comparison, no goal).
Each one's CPU time (user + system) comes from wait4's resource usage at its
end, divided by its own lifetime; its peak resident memory is VmHWM from
/proc/PID/status, read every second while it runs (the kernel's own
high-water mark, so a missed second loses nothing but the last one).
Wake-ups per second are voluntary context switches: how often it slept and
was woken. Then the monitor's CPU per thread over its steady part (from
/proc/PID/task/*/stat), to show where its time goes. Prints a table and the
monitor's goals (CPU at most top's and at most a quarter of the bare loop's,
at most 150 wake-ups a second, at most 16 MiB resident); exits 0 whatever
they say.

usage: cost.py PERFMON TICK1MS [--seconds N]
"""

import argparse
import os
import platform
import shutil
import signal
import subprocess
import sys
import time

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def read_text(path):
    try:
        with open(path, "r", errors="replace") as f:
            return f.read()
    except OSError:
        return None


def status_kib(pid, field):
    """A number field of /proc/PID/status (kB for the memory ones)."""
    text = read_text(f"/proc/{pid}/status")
    if text is None:
        return None
    for line in text.splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    return None


def stat_times(path):
    """(utime, stime) in clock ticks from a /proc stat file, or None."""
    text = read_text(path)
    if text is None:
        return None
    # The name in parentheses may hold spaces or parentheses: split after the last ')'.
    fields = text[text.rfind(")") + 2:].split()
    return int(fields[11]), int(fields[12])


def thread_times(pid):
    """{tid: (name, CPU clock ticks, voluntary context switches)} for every thread of the process."""
    threads = {}
    try:
        tids = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return threads
    for tid in tids:
        times = stat_times(f"/proc/{pid}/task/{tid}/stat")
        name = (read_text(f"/proc/{pid}/task/{tid}/comm") or "?").strip()
        switches = status_kib(f"{pid}/task/{tid}", "voluntary_ctxt_switches") or 0
        if times:
            threads[int(tid)] = (name, times[0] + times[1], switches)
    return threads


def load_average():
    text = read_text("/proc/loadavg") or "? ? ?"
    return " ".join(text.split()[:3])


def cpu_model():
    for line in (read_text("/proc/cpuinfo") or "").splitlines():
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return platform.machine()


def process_count():
    return sum(1 for name in os.listdir("/proc") if name.isdigit())


class Run:
    def __init__(self, name, argv, stop_by_signal):
        self.name = name
        self.argv = argv
        self.stop_by_signal = stop_by_signal
        self.hwm_kib = 0
        self.rss_kib = 0
        self.rusage = None
        self.status = None
        self.signalled = False

    def start(self):
        self.started = time.monotonic()
        self.process = subprocess.Popen(self.argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
        self.pid = self.process.pid

    def poll_memory(self):
        hwm = status_kib(self.pid, "VmHWM")
        if hwm is not None:
            self.hwm_kib = max(self.hwm_kib, hwm)
            self.rss_kib = status_kib(self.pid, "VmRSS") or self.rss_kib

    def try_reap(self):
        if self.rusage is not None:
            return True
        pid, status, rusage = os.wait4(self.pid, os.WNOHANG)
        if pid == 0:
            return False
        self.ended = time.monotonic()
        self.status, self.rusage = status, rusage
        self.process.returncode = os.waitstatus_to_exitcode(status)
        self.stderr = self.process.stderr.read().decode(errors="replace").strip()
        return True

    def figures(self):
        wall = self.ended - self.started
        cpu = self.rusage.ru_utime + self.rusage.ru_stime
        # Not ru_maxrss: a child's starts from this script's own size at the fork.
        return {"wall": wall, "cpu_ms_per_s": 1000 * cpu / wall, "peak_mib": self.hwm_kib / 1024,
                "wakeups_per_s": self.rusage.ru_nvcsw / wall}


# The emulator's own thread keeps the executable's name; the device's
# threads, the monitor's among them, all run on the device's processor
# thread, named "device"; "signals" waits for a close signal.
PROGRAM_ROLES = {
    "device": "device's processor (every device thread: monitor, watchdog, taskbar)",
    "signals": "emulator's signal thread (closes the monitor on SIGINT/SIGTERM)",
}


def thread_roles(names):
    """A role for each thread name, in the order the threads started."""
    roles = []
    for index, name in enumerate(names):
        if index == 0:
            roles.append("emulator's main thread (waits for the monitor to end)")
        else:
            roles.append(PROGRAM_ROLES.get(name, name))
    return roles


def one_round(perfmon, tick1ms, top, seconds, monitor_args):
    """Runs the three side by side once, prints the round's tables; returns the three's figures."""
    runs = [
        Run("monitor (perfmon --headless)", [perfmon, "--headless", "--seconds", str(seconds)] + monitor_args, False),
        Run("bare 1 ms loop (tick1ms)", [tick1ms, str(seconds)], False),
        Run("top -b -d 1", [top, "-b", "-d", "1"], True),
        Run("bare 20 ms loop (tick1ms 20)", [tick1ms, str(seconds), "20"], False),
    ]
    monitor = runs[0]
    print(f"load average at start: {load_average()}")
    print(f"running all three at once for {seconds} s of real time ...", flush=True)

    for run in runs:
        run.start()
    begin = time.monotonic()
    # Per-thread CPU of the monitor over its steady part: from 5 s in to 2 s before the end.
    early = late = None
    early_at = late_at = None
    while True:
        elapsed = time.monotonic() - begin
        for run in runs:
            if run.rusage is None:
                run.poll_memory()
        if early is None and elapsed >= min(5, seconds * 0.2):
            early, early_at = thread_times(monitor.pid), elapsed
        if late is None and elapsed >= max(seconds - 2, seconds * 0.8):
            late, late_at = thread_times(monitor.pid), elapsed
        if elapsed >= seconds:
            for run in runs:
                if run.stop_by_signal and run.rusage is None and not run.signalled:
                    os.kill(run.pid, signal.SIGTERM)
                    run.signalled = True
        if all(run.try_reap() for run in runs):
            break
        if elapsed > seconds + 30:
            for run in runs:
                if run.rusage is None:
                    print(f"cost: {run.name} still running {elapsed:.0f} s in; killing it", file=sys.stderr)
                    os.kill(run.pid, signal.SIGKILL)
        time.sleep(0.25 if elapsed < seconds - 3 else 0.05)
    print(f"load average at end:   {load_average()}")
    print()

    figures = [run.figures() for run in runs]
    header = f"{'program':<30} {'lifetime s':>10} {'CPU % of a core':>16} {'CPU ms/s':>9} " \
             f"{'wake-ups/s':>10} {'peak RSS MiB':>13}"
    print(header)
    print("-" * len(header))
    for run, f in zip(runs, figures):
        print(f"{run.name:<30} {f['wall']:>10.1f} {f['cpu_ms_per_s'] / 10:>16.2f} {f['cpu_ms_per_s']:>9.2f} "
              f"{f['wakeups_per_s']:>10.0f} {f['peak_mib']:>13.2f}")
    for run in runs:
        code = os.waitstatus_to_exitcode(run.status)
        if code != 0 and not (run.stop_by_signal and code == -signal.SIGTERM):
            print(f"note: {run.name} ended with {code}: {run.stderr}")

    if early and late:
        span = late_at - early_at
        print()
        print(f"monitor's threads from {early_at:.0f} s to {late_at:.0f} s, in the order they started "
              f"(CPU counted in {1000 / CLOCK_TICKS:.0f} ms clock ticks):")
        print(f"  {'#':>2} {'thread id':>10}  {'role':<52} {'CPU ms/s':>9} {'wake-ups/s':>10}")
        tids = sorted(late)
        roles = thread_roles([late[tid][0] for tid in tids])
        for index, tid in enumerate(tids):
            name, ticks, switches = late[tid]
            _, ticks_before, switches_before = early.get(tid, (name, 0, 0))
            role = roles[index]
            cpu = (ticks - ticks_before) * 1000 / CLOCK_TICKS / span
            print(f"  {index + 1:>2} {tid:>10}  {role:<52} {cpu:>9.2f} {(switches - switches_before) / span:>10.0f}")
    return figures[0], figures[1], figures[2], figures[3]


def verdict(ok):
    return "PASS" if ok else "FAIL"


def print_goals(monitor, bare, top, monitor_peak, paced):
    cpu, bare_cpu, top_cpu = monitor["cpu_ms_per_s"], bare["cpu_ms_per_s"], top["cpu_ms_per_s"]
    ratio = cpu / bare_cpu if bare_cpu > 0 else float("inf")
    print(f"  monitor CPU <= top's: {cpu:.2f} vs {top_cpu:.2f} ms/s  {verdict(cpu <= top_cpu)}")
    print(f"  monitor CPU <= 0.25 x the bare 1 ms loop's: {cpu:.2f} vs {bare_cpu:.2f} ms/s = "
          f"{ratio:.2f} x  {verdict(ratio <= 0.25)}")
    print(f"  monitor wake-ups <= 150 a second: {monitor['wakeups_per_s']:.0f}  "
          f"{verdict(monitor['wakeups_per_s'] <= 150)}")
    print(f"  monitor peak resident <= 16 MiB: {monitor_peak:.2f} MiB  {verdict(monitor_peak <= 16)}")
    if top_cpu > 0:
        print(f"  (for comparison: waking every 20 ms and doing nothing else costs {paced['cpu_ms_per_s']:.2f} ms/s, "
              f"{paced['cpu_ms_per_s'] / top_cpu:.2f} x top's)")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("perfmon")
    parser.add_argument("tick1ms")
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--monitor-args", default="",
                        help="more emulator options for the monitor, e.g. '--load 0-3600:0' to keep its "
                             "device idle on a machine that is not")
    parser.add_argument("--rounds", type=int, default=1,
                        help="side-by-side runs one after another; the goals then use the median round")
    args = parser.parse_args()

    top = shutil.which("top")
    if not top:
        print("cost: top (procps) is not installed", file=sys.stderr)
        return 1
    print(f"machine: {cpu_model()}, {os.cpu_count()} processors, Linux {platform.release()}, "
          f"{process_count()} processes")
    monitor_args = args.monitor_args.split()
    if monitor_args:
        print(f"monitor run with: {' '.join(monitor_args)}")

    rounds = []
    for number in range(1, args.rounds + 1):
        if args.rounds > 1:
            print(f"\n== round {number} of {args.rounds}")
        monitor, bare, top_figures, paced = one_round(args.perfmon, args.tick1ms, top, args.seconds, monitor_args)
        rounds.append((monitor, bare, top_figures, paced))
        print()
        print("goals:" if args.rounds == 1 else f"goals, round {number}:")
        print_goals(monitor, bare, top_figures, monitor["peak_mib"], paced)

    if args.rounds > 1:
        # The round with the median ratio, so the figures shown belong together.
        ordered = sorted(rounds, key=lambda r: r[0]["cpu_ms_per_s"] / r[1]["cpu_ms_per_s"])
        monitor, bare, top_figures, paced = ordered[len(ordered) // 2]
        ratios = ", ".join(f"{r[0]['cpu_ms_per_s'] / r[1]['cpu_ms_per_s']:.2f}" for r in rounds)
        print()
        print(f"== all {args.rounds} rounds: monitor / bare loop CPU = {ratios}")
        print(f"goals, median round (monitor {monitor['cpu_ms_per_s']:.2f} ms/s, bare loop "
              f"{bare['cpu_ms_per_s']:.2f} ms/s; highest peak of all rounds):")
        print_goals(monitor, bare, top_figures, max(r[0]["peak_mib"] for r in rounds), paced)
    return 0


if __name__ == "__main__":
    sys.exit(main())
