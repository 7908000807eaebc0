#!/usr/bin/env bash
# Runs every harness of a fuzz build (-DQL_FUZZ=ON) for a few seconds over its seed corpus: the
# seeds a harness writes itself (QL_FUZZ_SEEDS) and the inputs that once made it fail.
# Usage: scripts/fuzz-briefly.sh BUILD_DIR [SECONDS]. Fails on the first harness that finds a fault.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$1
seconds=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Inputs that once made a campaign fail (kept with the tests that replay them): CAMPAIGN:FILE.
regressions=(fuzz_audio_decode_aac:tests/audio/data/aac-channel-change.fuzz)

# One campaign: a harness, a name for its corpus, and the environment it runs with.
campaign() {
  local harness=$1 name=$2
  shift 2
  local corpus="$work/$name"
  mkdir -p "$corpus"
  # A harness that writes seeds ends after writing them; one that has none runs over nothing.
  env "$@" QL_FUZZ_SEEDS="$corpus" "$harness" -runs=0 -artifact_prefix="$work/$name-" "$corpus" \
      >"$work/$name.seeds.log" 2>&1 || {
    cat "$work/$name.seeds.log" >&2
    echo "$name: writing the seeds failed" >&2
    return 1
  }
  local r
  for r in "${regressions[@]}"; do
    if [ "${r%%:*}" = "$name" ]; then cp "$top/${r#*:}" "$corpus"/; fi
  done
  # Each seed alone first, so a check that traps on an input a real file gives names that input.
  local seeds=("$corpus"/*)
  if [ -e "${seeds[0]}" ] && ! env "$@" "$harness" -timeout=30 -rss_limit_mb=4096 "${seeds[@]}" \
      >"$work/$name.replay.log" 2>&1; then
    tail -n 60 "$work/$name.replay.log" >&2
    echo "$name: the harness fails on one of its seeds (the run is printed above)" >&2
    return 1
  fi
  if env "$@" "$harness" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
      -artifact_prefix="$work/$name-" -print_final_stats=1 "$corpus" >"$work/$name.log" 2>&1; then
    echo "$name: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$') runs, $(ls "$corpus" | wc -l) inputs"
  else
    tail -n 60 "$work/$name.log" >&2
    echo "$name: a fault was found; the input is printed above" >&2
    return 1
  fi
}

found=0
for harness in "$build"/fuzz/fuzz_*; do
  [ -x "$harness" ] || continue
  name=$(basename "$harness")
  campaign "$harness" "$name" || exit 1
  found=$((found + 1))
done
# FFmpeg's demuxing path is a campaign of its own (see the harness).
campaign "$build/fuzz/fuzz_audio_decode" fuzz_audio_decode_aac QL_FUZZ_AUDIO_AAC=1 || exit 1
[ "$found" -gt 0 ] || { echo "no fuzz harness in $build/fuzz" >&2; exit 1; }
