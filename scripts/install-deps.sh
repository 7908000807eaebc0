#!/usr/bin/env bash
# Installs what the build (and, with --test, the test run) needs on Debian 12.
# Idempotent and quiet when everything is present: no apt-get call then.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps="$top/deps"

build_pkgs=(g++ cmake ninja-build pkg-config ccache libgtest-dev libsdl2-dev libgtk-3-dev
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libharfbuzz-dev
  libfreetype-dev libjpeg-dev libmpg123-dev libflac-dev libopus-dev libstb-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev libqrcodegen-dev
  zlib1g-dev libdeflate-dev curl npm ca-certificates)
test_pkgs=(xvfb xauth xdotool zbar-tools ffmpeg sox espeak-ng mupdf-tools openssl python3 sdcv dictzip
  stardict-czech pngcheck libexpat1-dev libjpeg-turbo-progs  # cjpeg: the render bench's comic pages
  clang libclang-rt-14-dev)  # the fuzz harnesses' compiler and its libFuzzer

pkgs=("${build_pkgs[@]}")
[ "${1:-}" = "--test" ] && pkgs+=("${test_pkgs[@]}")

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A machine may have node/npm from elsewhere; only the Debian package is missing then.
if command -v npm >/dev/null 2>&1; then
  kept=()
  for p in ${missing[@]+"${missing[@]}"}; do [ "$p" = npm ] || kept+=("$p"); done
  missing=(${kept[@]+"${kept[@]}"})
fi
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Embedded faces (OFL): taken from their npm packages, never committed.
fonts="$deps/fonts"
if [ ! -s "$fonts/HankenGrotesk-SemiBold.ttf" ]; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && npm pack --silent source-serif@4.5.1 @expo-google-fonts/hanken-grotesk@0.4.3 >/dev/null)
  mkdir -p "$tmp/ss" "$tmp/hg" "$fonts"
  tar -xzf "$tmp"/source-serif-4.5.1.tgz -C "$tmp/ss"
  tar -xzf "$tmp"/expo-google-fonts-hanken-grotesk-0.4.3.tgz -C "$tmp/hg"
  cp "$tmp/ss/package/TTF/SourceSerif4-Regular.ttf" "$fonts/SourceSerif4-Regular.ttf"
  cp "$tmp/ss/package/TTF/SourceSerif4-It.ttf" "$fonts/SourceSerif4-It.ttf"
  cp "$tmp/ss/package/TTF/SourceSerif4-Bold.ttf" "$fonts/SourceSerif4-Bold.ttf"
  cp "$tmp/hg/package/400Regular/HankenGrotesk_400Regular.ttf" "$fonts/HankenGrotesk-Regular.ttf"
  cp "$tmp/ss/package/LICENSE.md" "$fonts/LICENSE-SourceSerif4.md"
  cp "$tmp/hg/package/LICENSE_FONT" "$fonts/LICENSE-HankenGrotesk.txt"
  cp "$tmp/hg/package/600SemiBold/HankenGrotesk_600SemiBold.ttf" "$fonts/HankenGrotesk-SemiBold.ttf"
  rm -rf "$tmp"; trap - EXIT
fi
# Debian packages that only lend a file are fetched, not installed: `apt-get download` into a
# folder, after refreshing the package lists when they do not know the package yet.
download_deb() {
  (cd "$2" && apt-get download -q "$1" >/dev/null 2>&1) || {
    sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    (cd "$2" && apt-get download -q "$1")
  }
}

# The fallback face (Charis SIL, OFL) draws the letters the others lack: IPA, rarer Latin.
if [ ! -s "$fonts/CharisSIL-Regular.ttf" ]; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  download_deb fonts-sil-charis "$tmp"
  dpkg-deb -x "$tmp"/fonts-sil-charis_*.deb "$tmp/x"
  cp "$tmp/x/usr/share/doc/fonts-sil-charis/copyright" "$fonts/LICENSE-CharisSIL.txt"
  cp "$tmp/x/usr/share/fonts/truetype/charis/CharisSIL-Regular.ttf" "$fonts/CharisSIL-Regular.ttf.part"
  mv "$fonts/CharisSIL-Regular.ttf.part" "$fonts/CharisSIL-Regular.ttf"
  rm -rf "$tmp"; trap - EXIT
fi
for f in SourceSerif4-Regular SourceSerif4-It SourceSerif4-Bold HankenGrotesk-Regular HankenGrotesk-SemiBold \
    CharisSIL-Regular; do
  head -c 4 "$fonts/$f.ttf" | od -An -tx1 | grep -q "00 01 00 00" || { echo "bad font $f" >&2; exit 1; }
done

# US-English hyphenation patterns: one file mined from Debian's TeX package, cached here.
hyph="$deps/hyph/hyph-en-us.pat.txt"
if [ ! -s "$hyph" ]; then
  tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
  mkdir -p "$deps/hyph"
  download_deb texlive-lang-english "$tmp"
  dpkg-deb --fsys-tarfile "$tmp"/texlive-lang-english_*.deb |
    tar -xO --wildcards '*/hyph-utf8/patterns/txt/hyph-en-us.pat.txt' > "$hyph.part"
  mv "$hyph.part" "$hyph"
  rm -rf "$tmp"; trap - EXIT
fi
n=$(grep -c . "$hyph")
[ "$n" = 4938 ] || { echo "hyph-en-us.pat.txt has $n patterns, expected 4938" >&2; exit 1; }
