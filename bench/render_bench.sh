#!/bin/sh
# One page drawn to a PNG by a whole process: `quillo --render BOOK OUT.png PAGE` beside
# `mutool draw` of the same page, 1072 x 1448, grey, PNG on both sides. Wall time from start to exit
# of each process, measured by hyperfine (or a loop with `date` where hyperfine is missing), the two
# commands alternating run by run so that a load on the machine falls on both alike; medians.
#
# Books: a generated 40-page PDF of text (mutool create), a generated 6-page comic (CBZ of JPEG
# pages made with cjpeg), a tall comic (two photographic 850 x 3699 JPEG pages, make_photo.py, drawn
# at page 2), every sample book packed by the build, and generated EPUBs of 60,000 and 200,000
# words and of 60,000 words opening on a photographic PNG cover of 500 x 714 and 520 x 800
# (make_epub.py). EPUBs are laid out by both at text size 56 on a 1072 x 1448 page.
#
# A second table gives CPU time (user + system) and peak resident memory of the same commands for
# the PDF, the comics and the long EPUBs: whole process against whole process, figures from the
# kernel's accounting of each finished child (process_timer.py: CPU from wait4, the peak from GNU
# time, /usr/bin/time -f %M), the sides alternating run by run, medians.
#
# State: quillo runs with an empty settings folder (defaults) and the books inside its data folder;
# `--render` reads no kept layout and writes nothing but the PNG, so every run lays the book out
# afresh. mutool is timed both without its accelerator file (laying the book out whole, as quillo
# does) and with it kept from its previous run. Both read the books from the page cache, warmed by
# an untimed first run of each.
#
# usage: bench/render_bench.sh [BUILD_DIR] [RUNS]   (RUNS per side, default 15; a release build)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
runs=${2:-15}
quillo=$build/quillo
command -v mutool >/dev/null 2>&1 || { echo "mutool not installed: nothing to compare with"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work" /var/tmp/$(echo "${work#/}" | tr / %)%*.accel' EXIT
data=$work/data
mkdir -p "$data" "$work/state" "$work/pdf" "$work/cbz"
export CVNL_DATA="$data" QUILLO_STATE="$work/state"

# A PDF of 40 letter pages, 48 lines of prose each in Times.
i=1
while [ $i -le 40 ]; do
  {
    echo "%%MediaBox 0 0 612 792"
    echo "%%Font F1 Times-Roman"
    echo "BT /F1 11 Tf 14.5 TL 56 740 Td"
    awk -v seed=$i 'BEGIN { srand(seed); w = "the of and to in that was his he it with is for as had you not be her on at by which have"
      n = split(w, v, " "); for (l = 0; l < 48; l++) { s = ""; while (length(s) < 92) s = s v[int(rand() * n) + 1] " "
      printf "(%s) Tj T*\n", s } }'
    echo "ET"
  } >"$work/pdf/p$i.txt"
  i=$((i + 1))
done
(cd "$work/pdf" && mutool create -o "$data/prose.pdf" $(i=1; while [ $i -le 40 ]; do echo p$i.txt; i=$((i + 1)); done))

# A comic of 6 colour JPEG pages, 1200 x 1800: panels of shading with a little noise, as scans have.
i=1
while [ $i -le 6 ]; do
  python3 -c 'import random, sys
w, h, k = 1200, 1800, int(sys.argv[1])
rng = random.Random(k)
rows = []
for y in range(h):
    row = bytearray()
    for x in range(w):
        border = x % 400 < 8 or y % 450 < 8
        v = 0 if border else (x * k + y * 3 + (x * y >> 9)) % 256
        n = rng.randrange(8)
        row += bytes(((v + n) % 256, (v * 2 + n) % 256, (255 - v + n) % 256))
    rows.append(bytes(row))
sys.stdout.buffer.write(b"P6 %d %d 255\n" % (w, h) + b"".join(rows))' $i | cjpeg -quality 85 >"$work/cbz/page$i.jpg"
  i=$((i + 1))
done
(cd "$work/cbz" && python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for n in sys.argv[2:]: z.write(n)' "$data/comic.cbz" page*.jpg)

# A tall comic as web comics are drawn: two photographic pages of 850 x 3699.
mkdir -p "$work/tall"
for i in 1 2; do python3 "$here/make_photo.py" 850 3699 $i | cjpeg -quality 85 >"$work/tall/strip$i.jpg"; done
(cd "$work/tall" && python3 -c 'import sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_STORED) as z:
    for n in sys.argv[2:]: z.write(n)' "$data/tall.cbz" strip1.jpg strip2.jpg)

for book in "$build"/resources/bundled/*.epub; do cp "$book" "$data/"; done
python3 "$here/make_epub.py" "$data/words-60000.epub" 60000
python3 "$here/make_epub.py" "$data/words-200000.epub" 200000
python3 "$here/make_epub.py" "$data/cover-500x714.epub" 60000 --cover 500x714
python3 "$here/make_epub.py" "$data/cover-520x800.epub" 60000 --cover 520x800

if command -v hyperfine >/dev/null 2>&1; then timer=hyperfine; else timer=loop; fi
echo "whole process against whole process: wall time of each process from start to exit,"
echo "$runs runs a side, the sides alternating run by run; medians in ms (timer: $timer)"
printf "%-22s %8s %8s %6s %8s %6s\n" book quillo mutool ratio mutool+ ratio+

# Median of the numbers (ms), one per line.
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Times three commands in turn, each after its preparation, $runs rounds; their medians go to
# $work/t1 .. $work/t3.
time_round() {
  : >"$work/t1.all"
  : >"$work/t2.all"
  : >"$work/t3.all"
  r=0
  while [ $r -lt "$runs" ]; do
    if [ $timer = hyperfine ]; then
      # One run of each per call keeps the three sides' runs side by side in time.
      hyperfine -N -r 1 -w 0 --style none --export-json "$work/r.json" \
        --prepare "$1" --prepare "$3" --prepare "$5" "$2" "$4" "$6" >/dev/null 2>&1
      python3 -c 'import json, sys
for k, res in enumerate(json.load(open(sys.argv[1]))["results"]):
    print(res["times"][0] * 1000, file=open("%s/t%d.all" % (sys.argv[2], k + 1), "a"))' "$work/r.json" "$work"
    else
      for k in 1 2 3; do
        eval "prep=\${$((2 * k - 1))} cmd=\${$((2 * k))}"
        $prep
        t0=$(date +%s%N)
        $cmd >/dev/null 2>&1
        t1=$(date +%s%N)
        echo "$t0 $t1" | awk '{ print ($2 - $1) / 1e6 }' >>"$work/t$k.all"
      done
    fi
    r=$((r + 1))
  done
  for k in 1 2 3; do median <"$work/t$k.all" >"$work/t$k"; done
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# MuPDF keeps what it learnt laying out a reflowable book (its pages per chapter) in an
# accelerator file under /var/tmp, named after the book's path, and then lays out only the
# chapters it draws. "mutool" runs with that file removed first, laying the book out whole as
# `quillo --render` does; "mutool+" runs with the file its previous run left.
accel() { echo "/var/tmp/$(echo "${1#/}" | tr / %).accel"; }

bench_book() {
  name=$1 book=$2 ours_cmd=$3 theirs_cmd=$4
  keep=$(accel "$book")
  # A first run of each, untimed, warms the page cache and shows that both draw the page.
  $ours_cmd || { echo "$name: quillo failed"; return; }
  $theirs_cmd 2>/dev/null || { echo "$name: mutool failed"; return; }
  time_round true "$ours_cmd" "rm -f $keep" "$theirs_cmd" true "$theirs_cmd"
  printf "%-22s %8s %8s %6s %8s %6s\n" "$name" "$(cat "$work/t1")" "$(cat "$work/t2")" \
    "$(ratio "$(cat "$work/t1")" "$(cat "$work/t2")")" "$(cat "$work/t3")" \
    "$(ratio "$(cat "$work/t1")" "$(cat "$work/t3")")"
}

out=$work/out.png
# quillo fits a fixed page into the screen less its side margins and header and footer bands
# (1008 x 1268) and writes the whole 1072 x 1448 screen; mutool draws the page at that same scale.
# Reflowable books are laid out by both on the 1072 x 1448 page.
fixed="-q -c gray -w 1008 -h 1268 -o $out"
flow="-q -c gray -W 1072 -H 1448 -S 56 -r 72 -o $out"
bench_book prose.pdf "$data/prose.pdf" "$quillo --render $data/prose.pdf $out 1" "mutool draw $fixed $data/prose.pdf 1"
bench_book comic.cbz "$data/comic.cbz" "$quillo --render $data/comic.cbz $out 1" "mutool draw $fixed $data/comic.cbz 1"
bench_book "tall.cbz page 2" "$data/tall.cbz" "$quillo --render $data/tall.cbz $out 2" "mutool draw $fixed $data/tall.cbz 2"
for book in "$data"/*.epub; do
  bench_book "$(basename "$book")" "$book" "$quillo --render $book $out 1" "mutool draw $flow $book 1"
done
echo "ratio = quillo / mutool (no accelerator), ratio+ = quillo / mutool+ (its accelerator kept);"
echo "goals: at most 1.2, and at most 1/3 for books of 50,000 words or more"

echo
echo "CPU (user + system, ms) and peak resident memory (MiB) of each whole process, from the kernel's"
echo "accounting of the finished child; $runs runs a side, alternating; medians; mutool without accelerator"
printf "%-22s %8s %8s %6s %8s %8s %6s\n" book quillo mutool ratio "quillo" "mutool" ratio
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
cpu_book() {
  name=$1 ours_cmd=$2 prep=$3 theirs_cmd=$4
  python3 "$here/process_timer.py" --runs "$runs" --peak "$ours_cmd" --prep "$prep" "$theirs_cmd" >"$work/cpu" ||
    { echo "$name: a run failed"; return; }
  # Each line: "CPU c ms  wall w ms  peak p KiB  command".
  set -- $(awk '{ print $2, $8 }' "$work/cpu")
  printf "%-22s %8s %8s %6s %8s %8s %6s\n" "$name" "$1" "$3" "$(ratio "$1" "$3")" "$(mib "$2")" "$(mib "$4")" \
    "$(ratio "$2" "$4")"
}
cpu_book prose.pdf "$quillo --render $data/prose.pdf $out 1" true "mutool draw $fixed $data/prose.pdf 1"
cpu_book comic.cbz "$quillo --render $data/comic.cbz $out 1" true "mutool draw $fixed $data/comic.cbz 1"
cpu_book "tall.cbz page 2" "$quillo --render $data/tall.cbz $out 2" true "mutool draw $fixed $data/tall.cbz 2"
for book in "$data"/words-*.epub "$data"/cover-*.epub; do
  cpu_book "$(basename "$book")" "$quillo --render $book $out 1" "rm -f $(accel "$book")" "mutool draw $flow $book 1"
done
echo "goals: the tall comic page at most 1.0 in CPU and in memory; books of 50,000 words or more at"
echo "most 1/3 in CPU"
[ -z "$(ls -A "$work/state")" ] || echo "note: quillo wrote into its state folder: $(ls -A "$work/state")"
