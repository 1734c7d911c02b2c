#!/bin/bash
# The installer check's cost: the SHA-256 of a 32 MiB and a 256 MiB file by
# the task's own code (CNG under Wine), against sha256sum of the same file,
# alternately, in the same run; then the time a stop takes to end a hash of
# the 256 MiB file that is under way.
#   bench/verify/run.sh WIN64_BUILD_FOLDER [ROUNDS]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"  # 64-bit programs through the 64-bit loader
build=$(cd "${1:?win64 build folder}" && pwd)
rounds=${2:-5}

work=$(mktemp -d /tmp/zr-bench-verify.XXXXXX)
cleanup() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The driver, linked against the build's libraries.
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -D_WIN32_WINNT=0x0601 -DNOMINMAX -I"$root" \
  "$root/bench/verify/bench_verify.cpp" -o "$work/bench_verify.exe" \
  "$build/net/libzr_net.a" "$build/net/libzr_verify.a" -lbcrypt -static

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p

ms_now() { date +%s%N; }
for mib in 32 256; do
  file=$work/setup-$mib.bin
  head -c $((mib * 1024 * 1024)) /dev/urandom >"$file"
  hex=$(sha256sum "$file" | cut -d' ' -f1)
  win="Z:$(echo "$file" | tr / '\\')"
  task_sum=0 peer_sum=0
  for round in $(seq "$rounds"); do
    # To a file, not a pipe: services Wine starts on demand inherit the output.
    wine "$work/bench_verify.exe" "$win" "$hex" >"$work/line.txt" 2>&1 </dev/null
    line=$(cat "$work/line.txt")
    grep -q "ok=1" <<<"$line" || { echo "$mib MiB round $round: $line" >&2; exit 1; }
    task=$(sed 's/.* ms=\([0-9.]*\) .*/\1/' <<<"$line")
    start=$(ms_now)
    sha256sum "$file" >/dev/null
    peer=$(awk -v a="$start" -v b="$(ms_now)" 'BEGIN { printf "%.1f", (b - a) / 1e6 }')
    echo "$mib MiB round $round: task $task ms, sha256sum $peer ms"
    task_sum=$(awk -v a="$task_sum" -v b="$task" 'BEGIN { print a + b }')
    peer_sum=$(awk -v a="$peer_sum" -v b="$peer" 'BEGIN { print a + b }')
  done
  awk -v m="$mib" -v r="$rounds" -v t="$task_sum" -v p="$peer_sum" 'BEGIN {
    printf "%d MiB, mean over %d rounds: task %.0f ms (%.0f MiB/s), sha256sum %.0f ms (%.0f MiB/s), ratio %.2f\n",
           m, r, t / r, m * 1000 * r / t, p / r, m * 1000 * r / p, t / p }'
done
for round in $(seq 3); do
  wine "$work/bench_verify.exe" "Z:$(echo "$work/setup-256.bin" | tr / '\\')" - 200 >"$work/line.txt" 2>&1 </dev/null
  echo "256 MiB, stop after 200 ms, round $round: $(cat "$work/line.txt")"
done
