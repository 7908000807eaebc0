#!/usr/bin/env bash
# Starts the reader built by `make build` on a data folder of its own, seeded with the sample books.
# Without a display (no $DISPLAY or $WAYLAND_DISPLAY) it draws the library and a sample page to PNG
# files instead and says where they are.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prog="$top/build/quillo"
if [ ! -x "$prog" ]; then
  echo "run.sh: build/quillo is missing: run 'make build' first" >&2
  exit 1
fi
export CVNL_DATA="${CVNL_DATA:-$top/build/run-data}"
mkdir -p "$CVNL_DATA"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "Data folder: $CVNL_DATA (books in $CVNL_DATA/documents; the log is ql/quillo.log)"
  exec "$prog"
fi

# No display: one headless start seeds the data folder and the library with the sample books,
# then the screenshot mode draws the screens.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'idle\nquit\n' > "$work/script"
CVNL_HEADLESS=1 CVNL_TEST="$work/script" timeout 60 "$prog" || {
  echo "run.sh: the headless start failed (see $CVNL_DATA/ql/quillo.log)" >&2
  exit 1
}

out="$top/build/screens"
mkdir -p "$out"
book=$(find "$CVNL_DATA/documents" -maxdepth 1 -name '*.epub' | sort | head -n 1)
made=()
missing=()
shoot() {  # name, png, [book, page]
  local status=0
  "$prog" --screen "$@" 2>>"$work/screen.log" || status=$?
  if [ "$status" -eq 0 ] && [ -s "$2" ]; then made+=("$2"); else missing+=("$1"); fi
}
shoot library "$out/library.png"
if [ -n "$book" ]; then
  shoot reader "$out/page.png" "$book" 2
else
  missing+=("reader (no sample book in $CVNL_DATA/documents)")
fi

echo "No display found, so the screens were drawn to PNG files instead of a window."
for f in ${made[@]+"${made[@]}"}; do echo "  $f"; done
for s in ${missing[@]+"${missing[@]}"}; do
  echo "  the \"$s\" screen cannot be drawn by this build yet"
done
echo "Data folder: $CVNL_DATA"
