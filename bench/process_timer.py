#!/usr/bin/env python3
"""Whole processes timed alike: each run's CPU time (user + system, and each apart) from the
kernel's accounting of the finished child (wait4), its wall time from start to exit, and optionally
the process's own figure for its work, read from its output. The commands alternate run by run, so that a load on the
machine falls on all of them alike, after one untimed run each that warms the page cache; figures
are medians.

As a program: process_timer.py [--runs N] [--peak] [[--prep SHELL] [--own REGEX] CMD]...
With --peak the peak resident memory of each run is measured too (through GNU time), else 0.
Each CMD is one argument, split into words as a shell would (no shell runs it). SHELL, when given
before a command, is a shell command run, untimed, before each of its runs. REGEX, when given before
a command, finds that command's own figure in its output: the sum of the numbers its groups
capture, in ms. Prints one line a command: "CPU c ms  wall w ms  peak p KiB[  own figure o ms]  CMD".
"""
import os
import re
import shlex
import statistics
import subprocess
import sys
import time


class Times:
    """One run: CPU (user + system), user and system time and wall time, in seconds, its minor page
    faults, and the peak resident memory in KiB when it was asked for (else 0)."""

    def __init__(self, user, system, wall, peak_kib=0, faults=0):
        self.user, self.system, self.wall, self.peak_kib = user, system, wall, peak_kib
        self.cpu, self.faults = user + system, faults


# The kernel counts in a child's peak memory the pages of the process it was started from, and this
# one is a Python interpreter of some 10 to 15 MiB: the peak comes from GNU time instead, which
# starts the command from its own small process. Its own CPU time, a fraction of a millisecond, then
# falls on every side alike.
PEAK_FILE = "/tmp/process_timer.%d.peak" % os.getpid()


def timed(cmd, env=None, prepare=None, capture=False, peak=False, preexec=None):
    """Runs cmd to its end: (Times, its output and errors when captured). preexec, when given, runs
    in the child before the command starts."""
    if prepare:
        prepare()
    if peak:
        cmd = ["/usr/bin/time", "-f", "%M", "-o", PEAK_FILE] + cmd
    out = subprocess.PIPE if capture else subprocess.DEVNULL
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT if capture else subprocess.DEVNULL,
                            preexec_fn=preexec)
    text = proc.stdout.read().decode(errors="replace") if capture else ""
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - t0
    if capture:
        proc.stdout.close()
    code = os.waitstatus_to_exitcode(status)
    proc.returncode = code
    if code != 0:
        sys.exit("failed (%d): %s\n%s" % (code, " ".join(cmd), text))
    peak_kib = 0
    if peak:
        with open(PEAK_FILE) as f:
            peak_kib = int(f.read().split()[-1])
        os.remove(PEAK_FILE)
    return Times(usage.ru_utime, usage.ru_stime, wall, peak_kib, usage.ru_minflt), text


class Medians:
    """Medians over the runs of one side, in ms: cpu, user, system, wall, own (None without)."""

    def __init__(self, runs, owns):
        def ms(key):
            return statistics.median(getattr(t, key) for t in runs) * 1000
        self.cpu, self.user, self.system, self.wall = ms("cpu"), ms("user"), ms("system"), ms("wall")
        self.peak_kib = statistics.median(t.peak_kib for t in runs)
        self.own = statistics.median(owns) if owns else None


def alternate(sides, runs):
    """sides: (label, run) pairs, run() giving (Times, own ms or None). {label: Medians}."""
    for _, run in sides:
        run()
    got = {label: ([], []) for label, _ in sides}
    for _ in range(runs):
        for label, run in sides:
            times, own = run()
            got[label][0].append(times)
            if own is not None:
                got[label][1].append(own)
    return {label: Medians(times, owns) for label, (times, owns) in got.items()}


def own_figure(regex, text):
    match = re.search(regex, text) if regex else None
    return sum(float(g) for g in match.groups()) if match else None


def main():
    runs, sides, own, prep, peak = 11, [], None, None, False
    words = iter(sys.argv[1:])
    for word in words:
        if word == "--runs":
            runs = int(next(words))
            continue
        if word == "--peak":
            peak = True
            continue
        if word == "--own":
            own = next(words)
            continue
        if word == "--prep":
            prep = next(words)
            continue
        cmd = shlex.split(word)

        def run(cmd=cmd, regex=own, prep=prep):
            prepare = (lambda: subprocess.run(prep, shell=True, check=True)) if prep else None
            times, text = timed(cmd, prepare=prepare, capture=True, peak=peak)
            return times, own_figure(regex, text)
        sides.append((word, run))
        own = prep = None
    if not sides:
        sys.exit(__doc__)
    for label, m in alternate(sides, runs).items():
        extra = "" if m.own is None else "  own figure %8.1f ms" % m.own
        print("CPU %8.1f ms  wall %8.1f ms  peak %8d KiB%s  %s" % (m.cpu, m.wall, m.peak_kib, extra, label))


if __name__ == "__main__":
    main()
