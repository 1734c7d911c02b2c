#!/bin/bash
# Start-up and memory benchmark of the updater under Wine, against a minimal
# Win32 program.
#   bench/startup/run.sh WIN64_BUILD_FOLDER [ROUNDS]
# The build folder needs ZeRunUpdate and zr_standins built; the test server
# runs on the port of the update host the build was configured for. Each
# round runs the minimal program, then one whole updater run (checking
# notice, question, OK, download of a ZR_BENCH_MIB installer at
# ZR_BENCH_RATE bytes a second). Prints each round's figures and the median
# and range of each figure.
# Xvfb has no window manager, and Wine waits 2 s for one to withdraw each
# managed window it hides (the checking notice, before the question shows).
# So Wine is told not to hand windows to a window manager; ZR_BENCH_MANAGED=1
# keeps Wine's default, as the whole-program tests run.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"  # 64-bit programs through the 64-bit loader
build=$(cd "${1:?win64 build folder}" && pwd)
rounds=${2:-5}
size_mib=${ZR_BENCH_MIB:-32}
rate=${ZR_BENCH_RATE:-8388608}

host=$(sed -n 's/^ZERUN_UPDATE_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
port=${host##*:}
[ -n "$port" ] && [ "$port" != "$host" ] || { echo "no port in ZERUN_UPDATE_HOST ($host)" >&2; exit 1; }
for f in ZeRunUpdate.exe standin_installer.exe; do
  [ -f "$build/bin/$f" ] || { echo "$build/bin/$f missing: build ZeRunUpdate and zr_standins" >&2; exit 1; }
done

. "$root/bench/seat.sh"
bench_seat startup

# The driver and the minimal program, in a build folder of their own.
bench_build startup

bench_display

# The served files: the document in GBK, offering 1.2, and the stand-in
# installer padded to size.
mkdir -p "$work/www/App" "$work/www/files"
python3 - "$port" "$work/www/App/ZeRunUpdate.inf" <<'PY'
import json, sys
port, out = sys.argv[1], sys.argv[2]
doc = {"Urls": ["http://127.0.0.1:%s/files/ZeRunSetup.exe" % port], "ver": (1 << 16) | 2,
       "Msg": "1.2版本特性\r\n    1 更快的下载\r\n    2 修正了播放问题"}
open(out, "wb").write(json.dumps(doc, ensure_ascii=False, separators=(",", ":")).encode("gbk"))
PY
cp "$build/bin/standin_installer.exe" "$work/www/files/ZeRunSetup.exe"
truncate -s $((size_mib * 1024 * 1024)) "$work/www/files/ZeRunSetup.exe"

python3 "$root/tests/support/test_server.py" --root "$work/www" --port "$port" \
  --port-file "$work/port" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "test server did not start on $port" >&2; cat "$work/server.log" >&2; exit 1; }
ctl="http://127.0.0.1:$port/_ctl"
serve_fresh() {  # an empty request log and the download's rate
  curl -sf -X POST "$ctl/reset" >/dev/null
  curl -sf -X POST --data "{\"rate\": $rate}" "$ctl/fault?path=/files/ZeRunSetup.exe" >/dev/null
}
# When the document request reached the server, from the updater's start.
document_request() {
  curl -sf "$ctl/log" | python3 -c '
import json, sys
start = float(sys.argv[1])
for line in sys.stdin:
    entry = json.loads(line)
    if entry["path"] == "/App/ZeRunUpdate.inf":
        print("updater document_request_ms %.1f" % ((entry["time"] - start) * 1000))
        break' "$1"
}

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
"$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$build/bin"
wineserver -w  # the one wineboot started, then a persistent one
wineserver -p
wine cmd /c exit >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\SOFTWARE\ZeRun' /v UpdateVer /t REG_DWORD /d $(((1 << 16) | 1)) /f /reg:32 >/dev/null 2>&1
wine reg query 'HKLM\SOFTWARE\ZeRun' /v UpdateVer /reg:32 2>/dev/null | grep -q 0x10001 ||
  { echo "could not set UpdateVer" >&2; exit 1; }

if [ -z "${ZR_BENCH_MANAGED:-}" ]; then
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi

program=$WINEPREFIX/drive_c/ZeRun
mkdir -p "$program"
cp "$build/bin/ZeRunUpdate.exe" "$build/bench-startup/bin/minimal_window.exe" "$program/"
driver="$build/bench-startup/bin/startup_bench.exe"
data=$WINEPREFIX/drive_c/users/$(id -un)/AppData/LocalLow/ZeRun

run() {  # mode program: the driver's lines, or its error
  # To a file, not a pipe: services Wine starts on demand inherit the output.
  wine "$driver" "$1" "C:\\ZeRun\\$2" >"$work/out.txt" 2>&1 </dev/null ||
    { echo "driver failed ($1):" >&2; cat "$work/out.txt" >&2; exit 1; }
  tr -d '\r' <"$work/out.txt"
}
fresh_state() {  # each updater run starts without a download or cached document
  rm -rf "$program/update" "$data"
}

# One untimed round first, so that every timed round finds Wine's files cached.
run minimal minimal_window.exe >/dev/null
fresh_state
serve_fresh
run updater ZeRunUpdate.exe >/dev/null

: >"$work/figures.txt"
for round in $(seq "$rounds"); do
  fresh_state
  serve_fresh
  { run minimal minimal_window.exe; run updater ZeRunUpdate.exe; } >"$work/round.txt"
  document_request "$(awk '$1 == "updater" && $2 == "start_unix_s" { print $3 }' "$work/round.txt")" >>"$work/round.txt"
  grep -v start_unix_s "$work/round.txt" >"$work/figures-1.txt"
  echo "round $round: $(awk '{ printf "%s%s %s=%s", (NR > 1 ? ", " : ""), $1, $2, $3 } $4 { printf " (%s)", $4 }' "$work/figures-1.txt")"
  cat "$work/figures-1.txt" >>"$work/figures.txt"
done

echo "over $rounds rounds, median [min, max]:"
awk '$3 != "none" { print $1 "." $2, $3 }' "$work/figures.txt" | sort -k1,1 -k2,2g | awk '
  function flush() {
    if (c) printf "  %-40s %10.1f [%.1f, %.1f] (%d values)\n", k, c % 2 ? v[(c + 1) / 2] : (v[c / 2] + v[c / 2 + 1]) / 2, v[1], v[c], c
  }
  $1 != k { flush(); k = $1; c = 0 }
  { v[++c] = $2 }
  END { flush() }'
echo "first window was the checking notice in $(grep -c 'first_window_ms .* checking' "$work/figures.txt") of $rounds rounds"
