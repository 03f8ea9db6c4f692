#!/usr/bin/env bash
# Builds the shortcut parser fuzz target with clang (libFuzzer + ASan + UBSan) and runs it on the seed corpus.
# Usage: tests/fuzz/run_fuzz.sh [seconds=60] [extra libFuzzer flags...]
# The seeds come from the unit tests' own .lnk builder:
#   TWINSPOTTER_FUZZ_SEEDS=tests/fuzz/corpus <core_tests> --gtest_filter='ShortcutTargetTest.WritesFuzzSeedsWhenAsked'
# New finds go to a scratch directory; fold the useful ones in with -merge=1 so the committed corpus stays small.
set -euo pipefail

seconds="${1:-60}"
shift || true
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${FUZZ_OUT:-$root/build-fuzz}"
mkdir -p "$out/findings" "$out/artifacts"

clang++ -std=c++20 -g -O1 -Wall -Wextra -Werror -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$root" "$root/core/ShortcutTarget.cpp" "$here/fuzz_shortcut.cpp" -o "$out/fuzz_shortcut"

# Findings first: libFuzzer writes new inputs to the first directory, and the committed seeds are read only.
"$out/fuzz_shortcut" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/" "$@" "$out/findings" "$here/corpus"
