#!/bin/sh
# Conversion of MOBI, AZW3, FB2 and TXT books made from one generated EPUB: quillo's converter
# (convert_bench) beside ebook-convert turning the same file into an EPUB. Needs ebook-convert
# (Debian: calibre) and a release tree (cmake -DCMAKE_BUILD_TYPE=Release -DQL_SANITIZE=OFF).
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
"$build/bench/convert_bench" "$work/book.mobi" "$work/book.azw3" "$work/book.fb2" "$work/book.txt"
echo
printf "%-28s %9s %12s %10s\n" "ebook-convert to EPUB" "MB" "ms" "ms/MB"
for kind in mobi azw3 fb2 txt; do
  start=$(date +%s%N)
  ebook-convert "$work/book.$kind" "$work/out-$kind.epub" >/dev/null 2>&1
  end=$(date +%s%N)
  bytes=$(stat -c %s "$work/book.$kind")
  awk -v n="book.$kind" -v b="$bytes" -v ns="$((end - start))" \
    'BEGIN { mb = b / 1048576; ms = ns / 1e6; printf "%-28s %9.2f %12.1f %10.1f\n", n, mb, ms, ms / mb }'
done
