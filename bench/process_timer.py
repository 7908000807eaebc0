#!/usr/bin/env python3
"""Whole processes timed alike: each run's CPU time (user + system, and each apart) from the
kernel's accounting of the finished child (wait4), its wall time from start to exit, and optionally
the process's own figure for its work, read from its output. The commands alternate run by run, so that a load on the
machine falls on all of them alike, after one untimed run each that warms the page cache; figures
are medians.

As a program: process_timer.py [--runs N] [--own REGEX CMD]... [CMD]...
Each CMD is one argument, split into words as a shell would (no shell runs it). REGEX, when given
before a command, finds that command's own figure in its output: the sum of the numbers its groups
capture, in ms. Prints one line a command.
"""
import os
import re
import shlex
import statistics
import subprocess
import sys
import time


class Times:
    """One run: CPU (user + system), user and system time and wall time, in seconds."""

    def __init__(self, user, system, wall):
        self.user, self.system, self.wall = user, system, wall
        self.cpu = user + system


def timed(cmd, env=None, prepare=None, capture=False):
    """Runs cmd to its end: (Times, its output and errors when captured)."""
    if prepare:
        prepare()
    out = subprocess.PIPE if capture else subprocess.DEVNULL
    t0 = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=out,
                            stderr=subprocess.STDOUT if capture else subprocess.DEVNULL)
    text = proc.stdout.read().decode(errors="replace") if capture else ""
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - t0
    if capture:
        proc.stdout.close()
    code = os.waitstatus_to_exitcode(status)
    proc.returncode = code
    if code != 0:
        sys.exit("failed (%d): %s\n%s" % (code, " ".join(cmd), text))
    return Times(usage.ru_utime, usage.ru_stime, wall), text


class Medians:
    """Medians over the runs of one side, in ms: cpu, user, system, wall, own (None without)."""

    def __init__(self, runs, owns):
        def ms(key):
            return statistics.median(getattr(t, key) for t in runs) * 1000
        self.cpu, self.user, self.system, self.wall = ms("cpu"), ms("user"), ms("system"), ms("wall")
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
    runs, sides, own = 11, [], None
    words = iter(sys.argv[1:])
    for word in words:
        if word == "--runs":
            runs = int(next(words))
            continue
        if word == "--own":
            own = next(words)
            continue
        cmd = shlex.split(word)

        def run(cmd=cmd, regex=own):
            times, text = timed(cmd, capture=True)
            return times, own_figure(regex, text)
        sides.append((word, run))
        own = None
    if not sides:
        sys.exit(__doc__)
    for label, m in alternate(sides, runs).items():
        extra = "" if m.own is None else "  own figure %8.1f ms" % m.own
        print("CPU %8.1f ms  wall %8.1f ms%s  %s" % (m.cpu, m.wall, extra, label))


if __name__ == "__main__":
    main()
