#!/usr/bin/env python3
"""Reading sessions as a reader has them: the real program, headless, driven by a test-driver
script that opens a book, turns pages forward (each tap waits for the program to be idle again, as
a reader waits for the page) and quits; beside `mutool draw` of the same pages at the same size.

Whole process against whole process. Each run's CPU time (user + system, and each apart) and its
minor page faults come from the kernel's accounting of the finished child (wait4), its wall time
from start to exit less the script's pauses. The sides alternate run by run, in an order drawn anew
each round, so that a load on the machine falls on all of them alike and none always follows the
same neighbour, after one untimed run each; every figure is a median over the runs (an odd number),
with the range [min-max] and the interquartile range of the runs beside it. (User and system
time are medians of their own: the kernel splits a short run's time between them by clock ticks.)
A target's ratio is the median of the run-by-run ratios of two sides, each pair run one after the
other, so a load that comes and goes falls on both runs of a pair.

The program runs headless, as every test does: there a presented frame is copied only when a
screenshot asks for it, when the program goes on to its next input or when it draws over part of
the frame; a screen drawn anew whole takes another plane instead, and a present followed by the
quit costs nothing. A window copies every present to show it, which these figures leave out, as
mutool's leave out showing its pages.

The program's runs are split into their phases: start (to the first page shown), the turns, and
quit (the rest, exit included). The script pauses after the first page and after the last turn,
and the threads' run time (/proc/PID/task/*/schedstat), read while it pauses, gives the start and
the turns; quit is the rest of the kernel's figure for the whole process. The split printed is the
one of the median run, so its phases add up to the whole-process figure beside it.

Pausing costs the program CPU of its own (6-10 % of these short sessions, measured on a virtual
machine, whatever the pause's length) that mutool, which never pauses, does not pay. So the target
figures come from runs of the same sessions without pauses, alternating with mutool's; the paused
runs come after them, alternating among themselves (a run that follows a pause starts on a
processor gone cold), and are printed below them for the split, with their own whole-process figure.

The targets, for a 4-page prose PDF (generated with mutool create) and each --pdf BOOK (real
ones: Debian's documentation packages hold some), with the state folder kept from an earlier run
as a reader's long-lived one:
- open + quit at most 1.0 x the CPU of `mutool draw` of the first page (the position kept too);
- the 4-page session (open, 3 turns, quit) at most 1.2 x `mutool draw` of pages 1-4 (the position
  files go before each run, so that every run turns the same pages);
- at most one fsync before the first page is shown (counted once with strace).
Both draw the PDF's pages fitted into 1008 x 1268 (the reader's page area) in grey.

Then the longer sessions of earlier rounds: a generated 100-page PDF of prose and a long EPUB
(--epub BOOK, else 200,000 generated words from make_epub.py, laid out by both on the 1072 x 1448
page at text size 56, mutool without its accelerator file), each turned N times, the state folder
emptied before every run (no kept layout, position or cover) unless --keep-state keeps it (only
the positions go). Their targets: the PDF session at most 1.3 x mutool; an EPUB turn at most 2 ms.

Every run of both sides is held to one processor, the same for all (the last the bench may use),
unless --any-cpu lets the system place them. With several processors, a program that waits for
input, as the reader does between taps, is often woken on a processor that stood idle and starts
with cold caches, which mutool, never waiting, does not pay; and the runs spread wide. On a
virtual machine with 8 processors the interquartile range of the run-by-run ratios was 0.3-0.6
wide with the runs placed by the system, and 0.04-0.09 held to one. The program's threads then
share that processor, as on a single-core reader.

The file system holding the data folders is printed: making and freeing files costs some (ext4
under heavy churn, which scans recently freed inodes) far more than others; TMPDIR chooses it.

usage: bench/session_bench.py [--build DIR] [--runs R] [--pdf BOOK]... [--turns N] [--epub BOOK]
                              [--keep-state] [--targets-only] [--any-cpu]
"""
import argparse
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from process_timer import Times, timed

HERE = os.path.dirname(os.path.abspath(__file__))
WORDS = ("the of and to in that was his he it with is for as had you not be her on at by which "
         "have").split()
PAUSE_MS = 250  # after the first page and after the last turn: long beside a poll of the threads
POLL_S = 0.005
TARGET_TURNS = 3
FIXED = ["mutool", "draw", "-q", "-c", "gray", "-w", "1008", "-h", "1268", "-F", "pgm",
         "-o", "/dev/null"]
FLOW = ["mutool", "draw", "-q", "-a", "-c", "gray", "-W", "1072", "-H", "1448", "-S", "56",
        "-r", "72", "-F", "pgm", "-o", "/dev/null"]
SYNC_CALLS = ("fsync", "fdatasync", "syncfs", "sync", "sync_file_range")
CPU = None  # the processor every timed run is held to; None: any


def on_one_cpu():
    """Run in each timed child before its command starts."""
    if CPU is not None:
        os.sched_setaffinity(0, {CPU})


def write_prose_pdf(path, work, pages):
    names = []
    for i in range(1, pages + 1):
        rng = random.Random(i)
        lines = ["%%MediaBox 0 0 612 792", "%%Font F1 Times-Roman", "BT /F1 11 Tf 14.5 TL 56 740 Td"]
        for _ in range(48):
            text = ""
            while len(text) < 92:
                text += rng.choice(WORDS) + " "
            lines.append("(%s) Tj T*" % text)
        lines.append("ET")
        page = os.path.join(work, "p%d.txt" % i)
        with open(page, "w") as f:
            f.write("\n".join(lines) + "\n")
        names.append(page)
    subprocess.run(["mutool", "create", "-o", path] + names, check=True)


class Run:
    """One finished process: CPU (user + system), user, system and wall time in ms, its minor page
    faults, and for the program its phases in ms (None for mutool, or when the pauses were not
    seen)."""

    def __init__(self, times, phases=None):
        self.user, self.system = times.user * 1000, times.system * 1000
        self.cpu, self.wall = self.user + self.system, times.wall * 1000
        self.faults, self.phases = times.faults, phases


class Session:
    """The headless program reading one book in a data folder of its own, `turns` pages forward.
    `state` is "fresh" (the state folder emptied before each run), "kept" (kept, only the position
    files go) or "kept-positions" (kept whole)."""

    def __init__(self, quillo, work, book, turns, state, paused=True):
        self.quillo, self.turns, self.state = quillo, turns, state
        self.data = os.path.join(work, "data")
        docs = os.path.join(self.data, "documents")
        os.makedirs(docs, exist_ok=True)
        self.book = os.path.join(docs, os.path.basename(book))
        if not os.path.exists(self.book):
            shutil.copyfile(book, self.book)
        self.script = os.path.join(work, "script-%d%s" % (turns, "" if paused else "-straight"))
        self.pauses = (2 if turns else 1) if paused else 0
        pause = "wait %d\n" % PAUSE_MS if paused else ""
        with open(self.script, "w") as f:
            f.write("idle\n" + pause + "tap 1000 800\nidle\n" * turns + (pause if turns else "") +
                    "quit\n")

    def reset_state(self):
        state = os.path.join(self.data, "ql")
        if self.state == "fresh":
            shutil.rmtree(state, ignore_errors=True)
            return
        state = os.path.join(state, "state")
        if self.state == "kept":
            for name in os.listdir(state) if os.path.isdir(state) else []:
                if name.endswith(".pos"):
                    os.remove(os.path.join(state, name))

    def env(self, script=None):
        return dict(os.environ, CVNL_HEADLESS="1", CVNL_DATA=self.data,
                    CVNL_TEST=script or self.script, CVNL_NO_SAMPLES="1")

    def run(self):
        """One run, split into its phases when the pauses were seen."""
        self.reset_state()
        t0 = time.monotonic()
        proc = subprocess.Popen([self.quillo, "--open", self.book], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, preexec_fn=on_one_cpu)
        readings = []
        if not self.pauses:
            # Nothing to split: the run is waited for as mutool's are.
            _, status, usage = os.wait4(proc.pid, 0)
        while self.pauses:
            ran = threads_run_ms(proc.pid)
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if ran is not None:
                readings.append((time.monotonic(), ran))
            time.sleep(POLL_S)
        # The pauses are left out of the wall time: the program waits through them.
        wall = time.monotonic() - t0 - self.pauses * PAUSE_MS / 1000
        if os.waitstatus_to_exitcode(status) != 0:
            sys.exit("failed (%d): %s" % (os.waitstatus_to_exitcode(status), self.quillo))
        run = Run(Times(usage.ru_utime, usage.ru_stime, wall, faults=usage.ru_minflt))
        still = pauses(readings)
        if self.pauses and len(still) == self.pauses:
            marks = still + [run.cpu]
            run.phases = [marks[0]] + [b - a for a, b in zip(marks, marks[1:])]
        return run

    def syncs_before_first_page(self):
        """(sync calls before the first page was shown, in all), through strace; None without it."""
        if not shutil.which("strace"):
            return None
        work = os.path.dirname(self.script)
        marker = os.path.join(work, "first-page.pgm")
        script = os.path.join(work, "script-syncs")
        with open(script, "w") as f:
            f.write("idle\nshot %s\nquit\n" % marker)
        trace = os.path.join(work, "strace.out")
        self.reset_state()
        subprocess.run(["strace", "-f", "-qq", "-o", trace, "-e",
                        "trace=openat," + ",".join(SYNC_CALLS), self.quillo, "--open", self.book],
                       env=self.env(script), check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The test driver's own sync of the screenshot (on the thread that opened it) is not counted.
        before, total, driver = 0, 0, None
        call = re.compile(r"^(\d+)\s+(%s)\(" % "|".join(SYNC_CALLS))
        with open(trace) as f:
            for line in f:
                match = call.match(line)
                if marker in line and driver is None:
                    driver = line.split()[0]
                elif match and match.group(1) != driver:
                    total += 1
                    before += driver is None
        return before, total


def threads_run_ms(pid):
    """The run time of the process's live threads, in ms; None once it is gone."""
    ns = 0
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                ns += int(f.read().split()[0])
    except (FileNotFoundError, ProcessLookupError):
        return None
    return ns / 1e6


def pauses(readings):
    """The run time at each stretch of readings where it stood still for most of a pause."""
    found, i = [], 0
    while i < len(readings):
        j = i
        while j + 1 < len(readings) and readings[j + 1][1] - readings[i][1] < 0.05:
            j += 1
        if readings[j][0] - readings[i][0] >= PAUSE_MS / 2000:
            found.append(readings[i][1])
        i = j + 1
    return found


def mutool(cmd):
    def run():
        times, _ = timed(cmd, preexec=on_one_cpu)
        return Run(times)
    return run


def file_system_of(path):
    """The type of the file system holding path, from /proc/mounts (the longest mount point)."""
    path, best = os.path.realpath(path), ("", "?")
    try:
        with open("/proc/mounts") as f:
            for line in f:
                fields = line.split()
                point = fields[1]
                inside = path == point or path.startswith(point.rstrip("/") + "/")
                if inside and len(point) > len(best[0]):
                    best = (point, fields[2])
    except OSError:
        pass
    return best[1]


class Side:
    """The runs of one side: its median run (by CPU), whose figures it gives, and their spread."""

    def __init__(self, label, runs, turns=0):
        self.label, self.turns = label, turns
        self.in_order = list(runs)
        split = [r for r in runs if r.phases]
        self.runs = split if len(split) * 2 > len(runs) else runs  # the split runs, when most are
        self.runs = sorted(self.runs, key=lambda r: r.cpu)
        if len(self.runs) % 2 == 0:
            self.runs = self.runs[:-1]  # an odd number: the median is a run
        self.median = self.runs[len(self.runs) // 2]
        self.cpu, self.wall, self.faults = self.median.cpu, self.median.wall, self.median.faults
        # The kernel splits a short run's time between user and system by clock ticks: each of the
        # two is a median of its own over the runs.
        self.user = statistics.median(r.user for r in self.runs)
        self.system = statistics.median(r.system for r in self.runs)
        self.split_of = "%d of %d runs split" % (len(split), len(runs))

    def spread(self, key="cpu"):
        values = [getattr(r, key) for r in self.runs]
        q = statistics.quantiles(values, n=4) if len(values) > 1 else values * 3
        return "[%.1f-%.1f, IQR %.1f-%.1f]" % (min(values), max(values), q[0], q[2])

    def line(self):
        text = "  %-34s CPU %6.1f ms %s (user %5.1f, system %5.1f)  wall %6.1f ms" % (
            self.label, self.cpu, self.spread(), self.user, self.system, self.wall)
        text += "  %d faults" % self.faults
        phases = self.median.phases
        if phases:
            names = ["start"] + (["%d turns" % self.turns] if self.turns else []) + ["quit"]
            text += "\n  %34s = %s (the median run, %s)" % (
                "", " + ".join("%s %.1f" % (n, p) for n, p in zip(names, phases)), self.split_of)
        return text


def alternate(sides, runs):
    """sides: (label, run, turns); the runs alternate side by side after one untimed run each, in
    an order drawn anew each round: a run that follows a pause starts on a processor gone cold,
    and that must not fall on the same side every round."""
    for _, run, _ in sides:
        run()
    got = {label: [] for label, _, _ in sides}
    order = random.Random(1)
    for _ in range(runs):
        for label, run, _ in order.sample(sides, len(sides)):
            got[label].append(run())
    return [Side(label, got[label], turns) for label, _, turns in sides]


def ratio_line(name, ours, theirs, limit):
    """The median of the run-by-run ratios, with their IQR: the sides alternate, so the two runs of
    a pair met the same load, which a ratio of the two medians does not cancel (it is given too)."""
    pairs = [a.cpu / b.cpu for a, b in zip(ours.in_order, theirs.in_order)]
    r, q = statistics.median(pairs), statistics.quantiles(pairs, n=4)
    return "  %-28s %.2f x [IQR %.2f-%.2f]  (quillo %.1f ms %s; mutool %.1f ms %s; medians %.2f x)  %s" % (
        name, r, q[0], q[2], ours.cpu, ours.spread(), theirs.cpu, theirs.spread(),
        ours.cpu / theirs.cpu, "met" if r <= limit else "MISSED (at most %.1f x)" % limit)


def bench_targets(quillo, work, pdf, runs):
    """The issue's three targets for one PDF; prints its rows, returns its target lines."""
    name = os.path.basename(pdf)
    sub = os.path.join(work, "targets-" + name)
    pages = "1-%d" % (TARGET_TURNS + 1)
    opening = Session(quillo, sub + "-open", pdf, 0, "kept-positions", paused=False)
    turning = Session(quillo, sub + "-turns", pdf, TARGET_TURNS, "kept", paused=False)
    sides = alternate([
        ("quillo, open + quit", opening.run, 0),
        ("mutool draw, page 1", mutool(FIXED + [pdf, "1"]), 0),
        ("quillo, open + %d turns + quit" % TARGET_TURNS, turning.run, TARGET_TURNS),
        ("mutool draw, pages %s" % pages, mutool(FIXED + [pdf, pages]), 0)], runs)
    # Apart from the targets' runs, so that none of those follows a pause.
    sides += alternate([
        ("open + quit", Session(quillo, sub + "-open-paused", pdf, 0, "kept-positions").run, 0),
        ("open + %d turns + quit" % TARGET_TURNS,
         Session(quillo, sub + "-turns-paused", pdf, TARGET_TURNS, "kept").run, TARGET_TURNS)], runs)
    print("\n%s, state folder kept from an earlier run" % name)
    for side in sides[:4]:
        print(side.line())
    print("  the same sessions paused after the first page and the last turn, for the split:")
    for side in sides[4:]:
        print(side.line())
    syncs = opening.syncs_before_first_page()
    if syncs is None:
        print("  strace not installed: the fsyncs are not counted")
    else:
        print("  fsyncs (and the like) before the first page is shown: %d, in the whole run: %d"
              % syncs)
    open_quit, first, session, four = sides[:4]
    lines = [("open + quit / mutool page 1, at most 1.0 x", ratio_line(name, open_quit, first, 1.0)),
             ("4-page session / mutool pages %s, at most 1.2 x" % pages,
              ratio_line(name, session, four, 1.2))]
    if syncs is not None:
        lines.append(("at most 1 fsync before the first page",
                      "  %-28s %d  %s" % (name, syncs[0], "met" if syncs[0] <= 1 else "MISSED")))
    return lines


def bench_long(quillo, work, kind, book, cmd, n, state, runs):
    sub = os.path.join(work, kind)
    pages = "1-%d" % (n + 1)
    sides = alternate([("quillo, open + %d turns + quit" % n, Session(quillo, sub, book, n, state).run, n),
                       ("mutool draw, pages %s" % pages, mutool(cmd + [book, pages]), 0),
                       ("quillo, open + quit", Session(quillo, sub, book, 0, state).run, 0),
                       ("mutool draw, page 1", mutool(cmd + [book, "1"]), 0)], runs)
    print("\n%s: %s, %d turns, state folder %s" % (kind, os.path.basename(book), n, {
        "fresh": "emptied before every run", "kept": "kept (only the positions go)"}[state]))
    for side in sides:
        print(side.line())
    return sides


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--pdf", action="append", default=[], help="a real PDF for the targets")
    ap.add_argument("--turns", type=int, default=30, help="turns of the longer sessions")
    ap.add_argument("--epub", help="a long EPUB (default: 200,000 generated words)")
    ap.add_argument("--keep-state", action="store_true",
                    help="keep the state folder of the longer sessions between runs")
    ap.add_argument("--targets-only", action="store_true", help="leave the longer sessions out")
    ap.add_argument("--any-cpu", action="store_true",
                    help="let the system place the runs instead of holding them to one processor")
    args = ap.parse_args()
    global CPU
    CPU = None if args.any_cpu else max(os.sched_getaffinity(0))
    quillo = os.path.abspath(os.path.join(args.build, "quillo"))
    if not shutil.which("mutool"):
        sys.exit("mutool not installed: nothing to compare with")
    runs = args.runs | 1
    load0 = os.getloadavg()
    print("whole process against whole process: CPU (user + system, the kernel's accounting of the")
    print("finished child) and wall time, %d runs a side alternating run by run; medians with" % runs)
    print("[min-max, IQR] of the runs; the program's split is its median run's")
    print("load average at the start: %.1f %.1f %.1f (%d processors)" % (load0 + (os.cpu_count(),)))
    print("every run held to processor %d" % CPU if CPU is not None else "runs placed by the system")

    with tempfile.TemporaryDirectory() as work:
        print("data folders on %s (%s)" % (file_system_of(work), work))
        prose4 = os.path.join(work, "prose-4.pdf")
        write_prose_pdf(prose4, work, TARGET_TURNS + 1)
        targets = {}
        for pdf in [prose4] + [os.path.abspath(p) for p in args.pdf]:
            for what, line in bench_targets(quillo, work, pdf, runs):
                targets.setdefault(what, []).append(line)

        results = {}
        if not args.targets_only:
            n, state = args.turns, "kept" if args.keep_state else "fresh"
            pdf = os.path.join(work, "prose-100.pdf")
            write_prose_pdf(pdf, work, 100)
            epub = args.epub
            if not epub:
                epub = os.path.join(work, "words-200000.epub")
                subprocess.run([sys.executable, os.path.join(HERE, "make_epub.py"), epub, "200000"],
                               check=True, stdout=subprocess.DEVNULL)
            results["PDF"] = bench_long(quillo, work, "PDF", pdf, FIXED, n, state, runs)
            results["EPUB"] = bench_long(quillo, work, "EPUB", epub, FLOW, n, state, runs)

    print("\nTargets, whole process against whole process: the median of the run-by-run CPU ratios "
          "[IQR]; each side's CPU median [min-max, IQR] and the ratio of the medians beside it:")
    for what, lines in targets.items():
        print(what)
        for line in lines:
            print(line)
    for kind, (session, theirs, _, first) in results.items():
        n = session.turns
        print("%-4s session / mutool of the same %d pages: %.2f x CPU (user %.2f x, system %.2f x; "
              "wall %.2f x)" % (kind, n + 1, session.cpu / theirs.cpu, session.user / theirs.user,
                                session.system / max(theirs.system, 0.1), session.wall / theirs.wall))
        turns = session.median.phases[1] if session.median.phases else float("nan")
        print("     a turn: %.2f ms CPU (the median run's turns / %d); mutool a page: %.2f ms CPU "
              "(pages %d-%d less page 1, / %d)" % (turns / n, n, (theirs.cpu - first.cpu) / n, 1,
                                                   n + 1, n))
    if results:
        print("targets of the longer sessions: the PDF session at most 1.3 x mutool; an EPUB turn "
              "at most 2 ms of CPU")
    print("load average at the end: %.1f %.1f %.1f" % os.getloadavg())


if __name__ == "__main__":
    main()
