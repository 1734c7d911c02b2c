#!/bin/bash
# Download benchmark: a 256 MiB installer served by nginx on 127.0.0.1,
# fetched alternately by the download task (under Wine) and by curl.
#   bench/download/run.sh WIN64_BUILD_FOLDER [ROUNDS]
# ZR_BENCH_MIB (256), ZR_BENCH_SLOW_MIB (8) and ZR_BENCH_SLOW_RATE (bytes per
# second, 1048576) change the sizes and the slow line's rate; ZR_BENCH_OUT
# (a folder) is where both write, instead of the work folder's disk.
# Prints per-round figures and a summary: throughput of each, the ratio,
# CPU seconds per 100 MiB (Wine: the process plus wineserver) and the
# task's progress events. Then the same task on a slow line (the loopback test
# server sending 1 MiB/s): once to the end, for the gaps between progress
# events, and once cancelled part-way, for the time Cancel takes.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"  # 64-bit programs through the 64-bit loader
build=$(cd "${1:?win64 build folder}" && pwd)
rounds=${2:-3}
size_mib=${ZR_BENCH_MIB:-256}

command -v nginx >/dev/null && command -v curl >/dev/null ||
  apt-get install -y nginx-light curl >/dev/null

work=$(mktemp -d /tmp/zr-bench-download.XXXXXX)
nginx_pid= slow_pid=
cleanup() {
  # A killed server's status is not a failure of the run.
  for pid in $nginx_pid $slow_pid; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; done
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The driver, linked against the build's libraries.
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -fexec-charset=GBK -D_WIN32_WINNT=0x0601 -DNOMINMAX \
  -I"$root" "$root/bench/download/bench_download.cpp" -o "$work/bench_download.exe" \
  "$build/net/libzr_net.a" "$build/net/libzr_verify.a" "$build/framework/libzr_framework.a" \
  "$build/app/libzr_app.a" "$build/net/libzr_verify.a" -lwininet -lurlmon -lole32 -loleaut32 -luuid -lshell32 -ladvapi32 -lcomctl32 -lbcrypt \
  -lgdi32 -luser32 -static

chmod 755 "$work"  # nginx's workers run as another user
mkdir -p "$work/www" "$work/logs"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/setup.exe"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/logs;
  proxy_temp_path $work/logs;
  fastcgi_temp_path $work/logs;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
for _ in $(seq 50); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null
# This prefix's persistent server, whose CPU time the task's figures include.
server_pid=
for p in $(pgrep -x wineserver64 || pgrep -x wineserver); do
  tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server_pid=$p
done
[ -n "$server_pid" ] || { echo "no wineserver for $WINEPREFIX" >&2; exit 1; }
url="http://127.0.0.1:$port/setup.exe"
out=${ZR_BENCH_OUT:-$work/out}
save="Z:$(echo "$out/setup.exe" | tr / '\\')"
mkdir -p "$out"

cpu_of() {  # user+system seconds of a process so far
  awk '{ printf "%.3f", ($14 + $15) / 100 }' "/proc/$1/stat"
}

task_mbs=0 curl_mbs=0 task_cpu=0 curl_cpu=0 events=0
for round in $(seq "$rounds"); do
  rm -f "$out/"*
  before=$(cpu_of "$server_pid")
  # To a file, not a pipe: services Wine starts on demand inherit the output.
  wine "$work/bench_download.exe" "$url" "$save" >"$work/line.txt" 2>&1 </dev/null
  line=$(cat "$work/line.txt")
  after=$(cpu_of "$server_pid")
  cmp -s "$out/setup.exe" "$work/www/setup.exe" || { echo "round $round: task file differs" >&2; exit 1; }
  ms=$(sed 's/.* ms=\([0-9]*\) .*/\1/' <<<"$line")
  cpu=$(sed 's/.*cpu=\([0-9.]*\).*/\1/' <<<"$line")
  ev=$(sed 's/.*events=\([0-9]*\).*/\1/' <<<"$line")
  tmbs=$(awk -v m="$size_mib" -v ms="$ms" 'BEGIN { printf "%.1f", m / (ms / 1000) }')
  tcpu=$(awk -v c="$cpu" -v a="$after" -v b="$before" -v m="$size_mib" 'BEGIN { printf "%.2f", (c + a - b) * 100 / m }')

  rm -f "$out/"*
  read -r csec ccpu < <( { /usr/bin/time -f "%e %U %S" curl -s -o "$out/curl.bin" "$url"; } 2>&1 |
                         awk '{ print $1, $2 + $3 }')
  cmp -s "$out/curl.bin" "$work/www/setup.exe" || { echo "round $round: curl file differs" >&2; exit 1; }
  cmbs=$(awk -v m="$size_mib" -v s="$csec" 'BEGIN { printf "%.1f", m / (s > 0 ? s : 0.001) }')
  cc=$(awk -v c="$ccpu" -v m="$size_mib" 'BEGIN { printf "%.2f", c * 100 / m }')
  echo "round $round: task $tmbs MiB/s, $tcpu CPU s/100 MiB, $ev progress events; curl $cmbs MiB/s, $cc CPU s/100 MiB"
  task_mbs=$(awk -v a="$task_mbs" -v b="$tmbs" 'BEGIN { print a + b }')
  curl_mbs=$(awk -v a="$curl_mbs" -v b="$cmbs" 'BEGIN { print a + b }')
  task_cpu=$(awk -v a="$task_cpu" -v b="$tcpu" 'BEGIN { print a + b }')
  curl_cpu=$(awk -v a="$curl_cpu" -v b="$cc" 'BEGIN { print a + b }')
  events=$(( events + ev ))
done
awk -v r="$rounds" -v t="$task_mbs" -v c="$curl_mbs" -v tc="$task_cpu" -v cc="$curl_cpu" -v e="$events" 'BEGIN {
  printf "mean over %d rounds: task %.1f MiB/s, curl %.1f MiB/s, ratio %.3f; CPU s/100 MiB task %.2f, curl %.2f; progress events %.1f per download\n",
         r, t / r, c / r, t / c, tc / r, cc / r, e / r }'

# The slow line: 8 MiB at 1 MiB/s from the test server, which sends a tenth
# of the rate every 100 ms.
slow_mib=${ZR_BENCH_SLOW_MIB:-8}
slow_rate=${ZR_BENCH_SLOW_RATE:-1048576}
python3 "$root/tests/support/test_server.py" --root "$work/slow" --port-file "$work/slow.port" >/dev/null 2>&1 &
slow_pid=$!
for _ in $(seq 50); do [ -s "$work/slow.port" ] && break; sleep 0.1; done
slow="http://127.0.0.1:$(cat "$work/slow.port")"
head -c $((slow_mib * 1024 * 1024)) /dev/urandom >"$work/slow.bin"
curl -s -X PUT --data-binary @"$work/slow.bin" "$slow/_ctl/file?path=/slow.exe" >/dev/null
curl -s -X POST -d "{\"rate\": $slow_rate}" "$slow/_ctl/fault?path=/slow.exe" >/dev/null
rm -f "$out/"*
wine "$work/bench_download.exe" "$slow/slow.exe" "$save" >"$work/line.txt" 2>&1 </dev/null || true
cmp -s "$out/setup.exe" "$work/slow.bin" || { echo "slow line: task file differs" >&2; exit 1; }
echo "slow line, to the end: $(cat "$work/line.txt")"
rm -f "$out/"*
wine "$work/bench_download.exe" "$slow/slow.exe" "$save" 3000 >"$work/line.txt" 2>&1 </dev/null || true
echo "slow line, cancelled after 3 s: $(cat "$work/line.txt")"
