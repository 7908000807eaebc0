#!/usr/bin/env python3
"""Page turns as a reader makes them: the real program, headless, driven by a test-driver script
that opens a book, turns N pages forward (each tap waits for the program to be idle again, as a
reader waits for the page) and quits; beside `mutool draw` of the same N + 1 pages at the same size.

Whole process against whole process. Each run's CPU time (user + system, and each apart) comes
from the kernel's accounting of the finished child (wait4), its wall time from start to exit. The sides alternate run
by run so that a load on the machine falls on all of them alike; figures are medians. The state
folder is emptied before every run of the program (no kept layout, position or cover), and mutool
runs without its accelerator file (-a), so both lay a reflowable book out afresh every time.

Also runs the program on the same book with no turn (open, then quit) and mutool on the first page
alone: the differences, divided by N, are one turn's and one page's cost. For the PDF the session
is then split into its phases (start to the first page shown, the N turns, quit): the script
pauses between them, and the threads' run time (/proc/PID/task/*/schedstat) read while it pauses
gives the start and the turns; quit is the rest of the kernel's figure for the whole process.

--keep-state keeps the state folder from run to run, as a reader's long-lived one (only the
position files go, so that every run turns the same pages): no folder, cache or settings file is
made afresh. The file system holding the data folder is printed: making and freeing files costs
some (ext4 without a journal) far more than others (tmpfs); TMPDIR chooses it.

Books: a generated 100-page PDF of prose (letter pages, 48 lines of Times, made with mutool
create), drawn by both fitted into 1008 x 1268 (the reader's page area) in grey; and a long EPUB
(--epub BOOK, else a generated one of 200,000 words from make_epub.py) laid out by both on the
1072 x 1448 page at text size 56.

usage: bench/session_bench.py [--build DIR] [--turns N] [--runs R] [--epub BOOK] [--keep-state]
Targets: the PDF session at most 1.3 x mutool's CPU; an EPUB turn at most 2 ms of CPU.
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import statistics
import tempfile
import time

from process_timer import alternate, timed

HERE = os.path.dirname(os.path.abspath(__file__))
PDF_PAGES = 100
WORDS = ("the of and to in that was his he it with is for as had you not be her on at by which "
         "have").split()
PAUSE_MS = 250  # between the phases of a split session: long beside a poll of the threads
POLL_S = 0.005


def write_prose_pdf(path, work):
    pages = []
    for i in range(1, PDF_PAGES + 1):
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
        pages.append(page)
    subprocess.run(["mutool", "create", "-o", path] + pages, check=True)


class Session:
    """The headless program reading one book in a data folder of its own."""

    def __init__(self, quillo, work, book, turns, keep_state=False, pause_ms=0):
        self.quillo = quillo
        self.keep_state = keep_state
        self.data = os.path.join(work, "data")
        docs = os.path.join(self.data, "documents")
        os.makedirs(docs, exist_ok=True)
        self.book = os.path.join(docs, os.path.basename(book))
        if not os.path.exists(self.book):
            shutil.copyfile(book, self.book)
        self.script = os.path.join(work, "script-%d-%d" % (turns, pause_ms))
        pause = "wait %d\n" % pause_ms if pause_ms else ""
        with open(self.script, "w") as f:
            f.write("idle\n" + pause + "tap 1000 800\nidle\n" * turns + pause + "quit\n")

    def reset_state(self):
        state = os.path.join(self.data, "ql")
        if not self.keep_state:
            shutil.rmtree(state, ignore_errors=True)
            return
        state = os.path.join(state, "state")
        for name in os.listdir(state) if os.path.isdir(state) else []:
            if name.endswith(".pos"):
                os.remove(os.path.join(state, name))

    def env(self):
        return dict(os.environ, CVNL_HEADLESS="1", CVNL_DATA=self.data, CVNL_TEST=self.script,
                    CVNL_NO_SAMPLES="1")

    def run(self):
        times, _ = timed([self.quillo, "--open", self.book], self.env(), self.reset_state)
        return times, None

    def run_phases(self):
        """(start, turns, quit) in ms, from a script with pauses around the turns; None when the
        pauses were not seen."""
        self.reset_state()
        proc = subprocess.Popen([self.quillo, "--open", self.book], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        readings = []
        while True:
            ran = threads_run_ms(proc.pid)
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if ran is not None:
                readings.append((time.monotonic(), ran))
            time.sleep(POLL_S)
        proc.returncode = os.waitstatus_to_exitcode(status)
        if proc.returncode != 0:
            sys.exit("failed (%d): %s" % (proc.returncode, self.quillo))
        still = pauses(readings)
        if len(still) < 2:
            return None
        total = (usage.ru_utime + usage.ru_stime) * 1000
        return still[0], still[-1] - still[0], total - still[-1]


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


def bench_book(name, sides, runs):
    med = alternate(sides, runs)
    print("\n%s" % name)
    for label, m in med.items():
        print("  %-34s CPU %7.1f ms (user %6.1f, system %6.1f)  wall %7.1f ms" %
              (label, m.cpu, m.user, m.system, m.wall))
    return med


def mutool_run(cmd):
    times, _ = timed(cmd)
    return times, None


def bench_phases(session, mutool, n, runs):
    """The PDF session split into start, turns and quit, beside mutool's first page and the
    pages after it, alternating run by run."""
    ours, first, all_pages = [], [], []
    for _ in range(runs):
        split = session.run_phases()
        if split:
            ours.append(split)
        first.append(timed(mutool + ["1"])[0].cpu * 1000)
        all_pages.append(timed(mutool + ["1-%d" % (n + 1)])[0].cpu * 1000)
    if not ours:
        print("  the pauses between the phases were not seen")
        return
    start, turns, end = (statistics.median(p[k] for p in ours) for k in range(3))
    page1, pages = statistics.median(first), statistics.median(all_pages)
    print("  quillo: start to the first page %.1f ms, %d turns %.1f ms (%.2f a turn), quit %.1f ms"
          " (%d of %d runs split)" % (start, n, turns, turns / n, end, len(ours), runs))
    print("  mutool: page 1 with start and exit %.1f ms, pages 2-%d %.1f ms (%.2f a page)" %
          (page1, n + 1, pages - page1, (pages - page1) / n))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    ap.add_argument("--turns", type=int, default=30)
    ap.add_argument("--runs", type=int, default=11)
    ap.add_argument("--epub", help="a long EPUB (default: 200,000 generated words)")
    ap.add_argument("--keep-state", action="store_true",
                    help="keep the state folder between runs, as a reader's long-lived one")
    args = ap.parse_args()
    quillo = os.path.abspath(os.path.join(args.build, "quillo"))
    if not shutil.which("mutool"):
        sys.exit("mutool not installed: nothing to compare with")
    n = args.turns
    pages = "1-%d" % (n + 1)
    load0 = os.getloadavg()
    print("whole process against whole process: CPU (user + system, the kernel's accounting of the")
    print("finished child) and wall time, %d runs a side alternating run by run, medians" % args.runs)
    print("load average at the start: %.1f %.1f %.1f (%d processors)" % (load0 + (os.cpu_count(),)))

    with tempfile.TemporaryDirectory() as work:
        print("data folders on %s (%s), state %s" %
              (file_system_of(work), work, "kept between runs (only the positions go)"
               if args.keep_state else "emptied before every run"))
        pdf = os.path.join(work, "prose.pdf")
        write_prose_pdf(pdf, work)
        epub = args.epub
        if not epub:
            epub = os.path.join(work, "words-200000.epub")
            subprocess.run([sys.executable, os.path.join(HERE, "make_epub.py"), epub, "200000"],
                           check=True, stdout=subprocess.DEVNULL)

        fixed = ["mutool", "draw", "-q", "-c", "gray", "-w", "1008", "-h", "1268", "-F", "pgm",
                 "-o", "/dev/null", pdf]
        flow = ["mutool", "draw", "-q", "-a", "-c", "gray", "-W", "1072", "-H", "1448", "-S", "56",
                "-r", "72", "-F", "pgm", "-o", "/dev/null", epub]
        results = {}
        for kind, book, mutool in (("PDF", pdf, fixed), ("EPUB", epub, flow)):
            sub = os.path.join(work, kind)
            turning = Session(quillo, sub, book, n, args.keep_state)
            opening = Session(quillo, sub, book, 0, args.keep_state)
            results[kind] = bench_book(
                "%s: %s, %d turns" % (kind, os.path.basename(book), n),
                [("quillo, open + %d turns + quit" % n, turning.run),
                 ("mutool draw, pages %s" % pages, lambda m=mutool: mutool_run(m + [pages])),
                 ("quillo, open + quit", opening.run),
                 ("mutool draw, page 1", lambda m=mutool: mutool_run(m + ["1"]))],
                args.runs)
            if kind == "PDF":
                print("  split by phase, threads' run time read during pauses, medians:")
                bench_phases(Session(quillo, sub, book, n, args.keep_state, PAUSE_MS), mutool, n,
                             args.runs)

    print()
    for kind, med in results.items():
        session, theirs, open_only, first = med.values()
        print("%-4s session / mutool of the same %d pages: %.2f x CPU (user %.2f x, system %.2f x; "
              "wall %.2f x)" % (kind, n + 1, session.cpu / theirs.cpu, session.user / theirs.user,
                                session.system / max(theirs.system, 0.1), session.wall / theirs.wall))
        print("     a turn: %.2f ms CPU (user %.2f); mutool a page: %.2f ms CPU (user %.2f)" %
              ((session.cpu - open_only.cpu) / n, (session.user - open_only.user) / n,
               (theirs.cpu - first.cpu) / n, (theirs.user - first.user) / n))
    print("targets: the PDF session at most 1.3 x mutool; an EPUB turn at most 2 ms of CPU")
    print("load average at the end: %.1f %.1f %.1f" % os.getloadavg())


if __name__ == "__main__":
    main()
