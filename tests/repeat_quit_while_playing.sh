#!/usr/bin/env bash
# Quits the headless program while an audiobook plays (a WAV, an MP3 and an Opus book), many times
# in a row, under the sanitizer build (make build-test): a quit that races the sound output or a
# reader's read fails only now and then.
# Usage: tests/repeat_quit_while_playing.sh [runs]   (100 by default; stops at the first failure)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-100}
test_audio="$top/build-test/tests/test_audio"
if [ ! -x "$test_audio" ]; then
  echo "repeat_quit_while_playing.sh: $test_audio is missing: run 'make build-test' first" >&2
  exit 1
fi
LSAN_OPTIONS="suppressions=$top/tests/leaks.supp:print_suppressions=0" "$test_audio" --gtest_filter='*/AudioSession.*' \
  --gtest_repeat="$runs" --gtest_break_on_failure --gtest_brief=1
echo "repeat_quit_while_playing.sh: $runs runs of each session (WAV, MP3, Opus) passed"
