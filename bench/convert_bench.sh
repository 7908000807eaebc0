#!/bin/sh
# Conversion of MOBI, AZW3, FB2 and TXT books made from one generated EPUB into an EPUB: quillo's
# converter beside ebook-convert, timed alike as whole processes (wall time from start to exit,
# the best of three): `convert_bench --convert BOOK` converts one book in a fresh data folder and
# ends, start-up included as ebook-convert's is. Then quillo's in-process figures (convert_bench
# timing its own conversion calls); ebook-convert has no in-process figure of its own to set
# beside them. Needs ebook-convert (Debian: calibre) and a release tree
# (cmake -DCMAKE_BUILD_TYPE=Release -DQL_SANITIZE=OFF).
#
# usage: bench/convert_bench.sh [BUILD_DIR] [WORDS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
words=${2:-300000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
python3 "$here/make_epub.py" "$work/source.epub" "$words" --pictures
for kind in mobi azw3 fb2 txt; do
  ebook-convert "$work/source.epub" "$work/book.$kind" >/dev/null 2>&1
done

# The best wall time of three runs of a command, in nanoseconds.
best_ns() {
  best=""
  for run in 1 2 3; do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    ns=$((end - start))
    if [ -z "$best" ] || [ "$ns" -lt "$best" ]; then best=$ns; fi
  done
  echo "$best"
}

echo "Whole process against whole process, to EPUB (best of 3 wall times)"
printf "%-12s %9s %14s %18s %8s\n" "book" "MB" "quillo ms" "ebook-convert ms" "ratio"
for kind in mobi azw3 fb2 txt; do
  ours=$(best_ns "$build/bench/convert_bench" --convert "$work/book.$kind")
  theirs=$(best_ns ebook-convert "$work/book.$kind" "$work/out-$kind.epub")
  bytes=$(stat -c %s "$work/book.$kind")
  awk -v n="book.$kind" -v b="$bytes" -v o="$ours" -v t="$theirs" \
    'BEGIN { printf "%-12s %9.2f %14.1f %18.1f %7.1fx\n", n, b / 1048576, o / 1e6, t / 1e6, t / o }'
done
echo
echo "quillo in-process (its own timing of each call)"
"$build/bench/convert_bench" "$work/book.mobi" "$work/book.azw3" "$work/book.fb2" "$work/book.txt"
