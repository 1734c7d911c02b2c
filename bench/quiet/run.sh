#!/bin/bash
# Quiet-run benchmark under Wine: the updater started with /S when the
# document says "no update", against a program that makes one WinINet
# request for the same document and exits, and one that starts and ends.
#   bench/quiet/run.sh WIN64_BUILD_FOLDER [ROUNDS]
# The build folder needs ZeRunUpdate built; the test server runs on the port
# of the update host the build was configured for. Every round runs the three
# programs one after the other (do-nothing, one GET, quiet run) and takes the
# wall time from the start of each Wine process to its end, and its peak
# resident memory (wait4's ru_maxrss of that very process). The document is
# kept between runs, as at every start of the player: the updater and the
# one-GET program both ask with its tag and get 304.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
build=$(cd "${1:?win64 build folder}" && pwd)
rounds=${2:-7}
host=$(sed -n 's/^ZERUN_UPDATE_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
port=${host##*:}
[ -f "$build/bin/ZeRunUpdate.exe" ] || { echo "$build/bin/ZeRunUpdate.exe missing" >&2; exit 1; }

. "$root/bench/seat.sh"
bench_seat quiet

bench_build quiet

bench_display

# The document offers 1.1, the version installed: "no update".
mkdir -p "$work/www/App"
printf '{"Urls":["http://127.0.0.1:%s/files/ZeRunSetup.exe"],"ver":65537,"Msg":"1.1"}' "$port" \
  >"$work/www/App/ZeRunUpdate.inf"
python3 "$root/tests/support/test_server.py" --root "$work/www" --port "$port" --port-file "$work/port" \
  >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "test server did not start on $port" >&2; exit 1; }
url="http://127.0.0.1:$port/App/ZeRunUpdate.inf"
tag=$(curl -sfI "$url" | tr -d '\r' | sed -n 's/^[Ee][Tt]ag: //p')

export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
"$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$build/bin"
wineserver -w
wineserver -p
wine reg add 'HKLM\SOFTWARE\ZeRun' /v UpdateVer /t REG_DWORD /d 65537 /f /reg:32 >/dev/null 2>&1
program=$WINEPREFIX/drive_c/ZeRun
mkdir -p "$program"
cp "$build/bin/ZeRunUpdate.exe" "$build/bench-quiet/bin/"*.exe "$program/"

measure() {  # name, then the command: prints "name wall_ms peak_kib"
  python3 - "$@" <<'PY'
import os, sys, time
name, cmd = sys.argv[1], sys.argv[2:]
start = time.monotonic()
pid = os.spawnvp(os.P_NOWAIT, cmd[0], cmd)
_, status, usage = os.wait4(pid, 0)
print("%s %.1f %d" % (name, (time.monotonic() - start) * 1000, usage.ru_maxrss))
PY
}
loader=${WINELOADER:-wine}
one_round() {
  measure do_nothing "$loader" "$program/do_nothing.exe"
  measure one_get "$loader" "$program/one_get.exe" "$url" "$tag"
  measure quiet_run "$loader" "$program/ZeRunUpdate.exe" /S
}
one_round >/dev/null  # untimed: Wine's files in the page cache, the document kept
: >"$work/figures.txt"
for round in $(seq "$rounds"); do
  one_round >"$work/round.txt"
  echo "round $round: $(awk '{ printf "%s%s %s ms %.1f MiB", (NR > 1 ? ", " : ""), $1, $2, $3 / 1024 }' "$work/round.txt")"
  cat "$work/round.txt" >>"$work/figures.txt"
done
curl -sf "http://127.0.0.1:$port/_ctl/log" | python3 -c '
import json, sys
seen = [json.loads(l)["status"] for l in sys.stdin if json.loads(l)["path"] == "/App/ZeRunUpdate.inf"]
print("document requests: %d, answered %s" % (len(seen), sorted(set(seen))))'

# One more run of each, untimed, with Wine's log of the DLLs it loads.
for name in do_nothing one_get quiet_run; do
  case $name in
    do_nothing) args=("$program/do_nothing.exe") ;;
    one_get) args=("$program/one_get.exe" "$url" "$tag") ;;
    quiet_run) args=("$program/ZeRunUpdate.exe" /S) ;;
  esac
  WINEDEBUG=+loaddll "$loader" "${args[@]}" 2>"$work/dlls-$name.txt" </dev/null || true
  dlls=$(grep -o 'Loaded L"[^"]*"' "$work/dlls-$name.txt" | sed 's/.*\\//; s/"$//' | sort -u)
  echo "$name loads $(echo "$dlls" | grep -c .) DLLs: $(echo $dlls)"
done
echo "over $rounds rounds, median [min, max]:"
python3 - "$work/figures.txt" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
names = list(dict.fromkeys(r[0] for r in rows))
med = {}
for n in names:
    wall = [float(r[1]) for r in rows if r[0] == n]
    mem = [int(r[2]) / 1024 for r in rows if r[0] == n]
    med[n] = (statistics.median(wall), statistics.median(mem))
    print("  %-11s wall %7.1f ms [%.1f, %.1f]   peak %6.1f MiB [%.1f, %.1f]" %
          (n, med[n][0], min(wall), max(wall), med[n][1], min(mem), max(mem)))
q, g = med["quiet_run"], med["one_get"]
print("  quiet run / one GET: wall %.2fx, peak %.2fx" % (q[0] / g[0], q[1] / g[1]))
PY
