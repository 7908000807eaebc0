#!/bin/sh
# Opening and laying out a large generated book: quillo's --bench-open beside MuPDF's own layout
# of the same book (when mutool is installed), and a reopen with the layout file beside a first
# open. Build a release tree first (cmake -DCMAKE_BUILD_TYPE=Release -DQL_SANITIZE=OFF).
#
# usage: bench/layout_bench.sh [BUILD_DIR] [WORDS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
words=${2:-400000}
runs=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data" "$work/state"
book="$work/data/book.epub"
python3 "$here/make_epub.py" "$book" "$words"

# The book lies in the data folder, so the program's path remapping leaves its path alone.
CVNL_DATA="$work/data" QUILLO_STATE="$work/state" "$build/quillo" --bench-open "$book" $runs \
  2>"$work/ours.txt"
cat "$work/ours.txt"
ours=$(awk '{ t = $2 + $5; if (NR == 1 || t < best) best = t } END { printf "%.1f", best }' "$work/ours.txt")
echo "quillo open + layout, best of $runs: $ours ms"

if command -v mutool >/dev/null 2>&1; then
  # The same page and text size as the reader's defaults (1072 x 1448, size 56).
  best=""
  i=0
  while [ $i -lt $runs ]; do
    line=$(mutool run "$here/mupdf_layout.js" "$book" 1072 1448 56 2>/dev/null)
    echo "$line"
    ms=$(echo "$line" | awk '{ print $2 }')
    if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
    i=$((i + 1))
  done
  echo "mutool layout, best of $runs: $best ms"
  awk -v a="$best" -v b="$ours" 'BEGIN { printf "MuPDF / quillo: %.1f times (goal: at least 3)\n", a / b }'
else
  echo "mutool not installed: no MuPDF comparison"
fi

"$build/bench/layout_cache_bench" "$book" $runs
