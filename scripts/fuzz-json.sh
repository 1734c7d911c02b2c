#!/bin/bash
# Builds the JSON fuzz target with clang and runs it for the given number of
# seconds. New inputs go to <build>/corpus (the seeds in tests/fuzz/corpus
# stay as they are); crashes to <build>/artifacts. The build folder is
# build/fuzz-json unless ZR_FUZZ_BUILD names another.
#   scripts/fuzz-json.sh [SECONDS] [extra libFuzzer options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
build=${ZR_FUZZ_BUILD:-$root/build/fuzz-json}

CC=clang CXX=clang++ cmake --preset native -B "$build" >"$build.configure.log" 2>&1 ||
  { tail -20 "$build.configure.log"; exit 1; }
cmake --build "$build" --target json_fuzz -j2
mkdir -p "$build/corpus" "$build/artifacts"
"$build/bin/json_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/" "$@" \
  "$build/corpus" "$root/tests/fuzz/corpus"
