#!/usr/bin/env python3
"""Whole processes timed alike: each run's CPU time (user + system) from the kernel's accounting of
the finished child (wait4), its wall time from start to exit, and optionally the process's own
figure for its work, read from its output. The commands alternate run by run, so that a load on the
machine falls on all of them alike, after one untimed run each that warms the page cache; figures
are medians.

As a program: process_timer.py [--runs N] [--own REGEX CMD]... [CMD]...
Each CMD is one argument, split into words as a shell would (no shell runs it). REGEX, when given
before a command, finds that command's own figure in its output: the sum of the numbers its groups
capture, in ms. Prints one line a command.
"""
import argparse
import os
import re
import shlex
import statistics
import subprocess
import sys
import time


def timed(cmd, env=None, prepare=None, capture=False):
    """Runs cmd to its end: (CPU s, wall s, its output and errors when captured)."""
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
    return usage.ru_utime + usage.ru_stime, wall, text


def alternate(sides, runs):
    """sides: (label, run) pairs, run() giving (CPU s, wall s, own ms or None). Medians in ms:
    {label: (CPU, wall, own or None)}."""
    for _, run in sides:
        run()
    got = {label: ([], [], []) for label, _ in sides}
    for _ in range(runs):
        for label, run in sides:
            cpu, wall, own = run()
            got[label][0].append(cpu * 1000)
            got[label][1].append(wall * 1000)
            if own is not None:
                got[label][2].append(own)
    return {label: (statistics.median(c), statistics.median(w),
                    statistics.median(o) if o else None) for label, (c, w, o) in got.items()}


def own_figure(regex, text):
    match = re.search(regex, text) if regex else None
    return sum(float(g) for g in match.groups()) if match else None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("words", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    sides, own = [], None
    words = iter(args.words)
    for word in words:
        if word == "--own":
            own = next(words)
            continue
        cmd = shlex.split(word)

        def run(cmd=cmd, regex=own):
            cpu, wall, text = timed(cmd, capture=True)
            return cpu, wall, own_figure(regex, text)
        sides.append((word, run))
        own = None
    for label, (cpu, wall, figure) in alternate(sides, args.runs).items():
        extra = "" if figure is None else "  own figure %8.1f ms" % figure
        print("CPU %8.1f ms  wall %8.1f ms%s  %s" % (cpu, wall, extra, label))


if __name__ == "__main__":
    main()
