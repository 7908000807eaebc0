#!/usr/bin/env python3
"""Runs two commands in turn, RUNS times each, alternating run by run so that a load on the machine
falls on both alike, and prints for each the medians of its CPU time (user + system, ms), its peak
resident memory (KiB) and its wall time (ms).

Each command runs as a whole process, started directly (no shell in between, so none is counted);
CPU and peak memory come from the kernel's accounting of the finished child (wait4: the peak is the
figure `/usr/bin/time -f %M` prints). Before each run of a side, its preparation (a shell command,
untimed) runs first.

usage: cpu_runs.py RUNS PREP1 CMD1 PREP2 CMD2
output: one line per side: "cpu_ms rss_kib wall_ms"
"""
import os
import shlex
import statistics
import subprocess
import sys
import time


def run_once(argv):
    start = time.monotonic()
    pid = os.fork()
    if pid == 0:
        devnull = os.open(os.devnull, os.O_RDWR)
        os.dup2(devnull, 1)
        os.dup2(devnull, 2)
        try:
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("failed: " + " ".join(argv))
    return (usage.ru_utime + usage.ru_stime) * 1000, usage.ru_maxrss, wall * 1000


def main():
    runs = int(sys.argv[1])
    sides = [(sys.argv[2], shlex.split(sys.argv[3])), (sys.argv[4], shlex.split(sys.argv[5]))]
    figures = [[], []]
    for _ in range(runs):
        for k, (prep, argv) in enumerate(sides):
            subprocess.run(prep, shell=True, check=True)
            figures[k].append(run_once(argv))
    for f in figures:
        print("%.1f %d %.1f" % tuple(statistics.median(x[i] for x in f) for i in range(3)))


if __name__ == "__main__":
    main()
