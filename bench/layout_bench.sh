#!/bin/sh
# Opening and laying out a large generated book, beside MuPDF's own layout of the same book (when
# mutool is installed), compared on equal work, two ways:
# - whole process against whole process: `quillo --bench-open BOOK 1` (start, open, lay out, draw
#   one page, end) beside `mutool run mupdf_layout.js` (start, open, lay out, count the pages, end),
#   each a fresh process; CPU (user + system, the kernel's accounting of the finished child) and
#   wall time, the two alternating run by run, medians (bench/process_timer.py);
# - in-process, first run against first run: the open + layout time each of those same processes
#   reports for its one run.
# Then figures of quillo's alone, not compared: warm runs in one process (the best of five), and a
# reopen with the layout file beside a first open. Build a release tree first (make build).
#
# usage: bench/layout_bench.sh [BUILD_DIR] [WORDS] [RUNS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
words=${2:-400000}
runs=${3:-11}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/state"
book="$work/data/book.epub"
python3 "$here/make_epub.py" "$book" "$words"
# The book lies in the data folder, so the program's path remapping leaves its path alone.
export CVNL_DATA="$work/data" QUILLO_STATE="$work/state"

if command -v mutool >/dev/null 2>&1; then
  echo "whole processes, $runs runs each, alternating; medians (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
  # The same page and text size as the reader's defaults (1072 x 1448, size 56).
  python3 "$here/process_timer.py" --runs "$runs" \
    --own 'open ([0-9.]+) ms +layout ([0-9.]+) ms' "$build/quillo --bench-open $book 1" \
    --own 'mupdf ([0-9.]+) ms' "mutool run $here/mupdf_layout.js $book 1072 1448 56" \
    | tee "$work/both.txt"
  awk '
    NR == 1 { qc = $2; qw = $5; qo = $12 }
    NR == 2 { mc = $2; mw = $5; mo = $12 }
    END {
      printf "whole process against whole process: MuPDF / quillo %.1f times the CPU, %.1f times the wall time\n", mc / qc, mw / qw
      printf "in-process, first run against first run (open + layout): MuPDF / quillo %.1f times\n", mo / qo
      print "(goal: at least 3; quillo also draws a page, MuPDF only counts its pages)"
    }' "$work/both.txt"
else
  echo "mutool not installed: no MuPDF comparison"
fi

# Ours alone: five runs in one process, the later ones warm (the book read, fonts loaded).
"$build/quillo" --bench-open "$book" 5 2>"$work/ours.txt"
cat "$work/ours.txt"
awk '{ t = $2 + $5; if (NR == 1 || t < best) best = t } END { printf "quillo open + layout, warm, best of %d runs in one process: %.1f ms (not compared)\n", NR, best }' "$work/ours.txt"

"$build/bench/layout_cache_bench" "$book" 5
