#!/bin/bash
# Shows the updater doing its job on this machine: a loopback update server
# offers version 1.2 over an installed 1.1 in a document signed with
# zerun-publish, the updater (built with the matching key) asks, downloads,
# closes the stand-in client and starts the stand-in installer. On the
# user's display when there is one, else on a virtual one, where it is
# clicked through as a person would. Screenshots go to demo-out/.
# With --win32 the updater is the 32-bit release build (where this machine
# runs 32-bit programs); the stand-ins stay those of the win64 build.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/demo-out"
build="$root/build/win64"
program_build=$build
cd "$root"
. scripts/wine-env.sh

step() { echo "demo: $*"; }

wow64=""
if [ "${1:-}" = --win32 ]; then
  can_run_32bit || { echo "demo: 32-bit programs do not run on this machine (no 32-bit Wine or no IA-32 support)" >&2; exit 1; }
  program_build="$root/build/win32"
  wow64=wow64
  if [ ! -x "$program_build/bin/ZeRunUpdateSigned.exe" ]; then
    step "building the 32-bit program (first run)"
    { cmake --preset win32 -DZERUN_UPDATE_HOST=127.0.0.1:28090 -DZERUN_HOME_URL=http://127.0.0.1/ -DZERUN_ALLOW_UNSIGNED=ON -DZR_TEST_PROGRAMS=ON &&
      cmake --build --preset win32; } >/dev/null || { echo "demo: 32-bit build failed" >&2; exit 1; }
  fi
fi

publish="$root/build/native/bin/zerun-publish"
if [ ! -x "$build/bin/ZeRunUpdateSigned.exe" ] || [ ! -x "$build/bin/standin_client.exe" ] || [ ! -x "$publish" ]; then
  step "setting up and building (first run)"
  scripts/setup.sh >/dev/null || exit 1
  { cmake --preset win64 && cmake --build --preset win64 &&
    cmake --preset native && cmake --build --preset native --target zerun-publish; } >/dev/null ||
    { echo "demo: build failed" >&2; exit 1; }
fi

rm -rf "$out"
mkdir -p "$out/server/App" "$out/server/files" "$out/program"
host=$(grep -E '^ZERUN_UPDATE_HOST:' "$program_build/CMakeCache.txt" | cut -d= -f2)
port=${host##*:}
[ "$port" != "$host" ] || port=80

# The served installer: the stand-in, padded to 8 MiB so the bar moves.
cp "$build/bin/standin_installer.exe" "$out/server/files/ZeRunSetup.exe"
truncate -s 8M "$out/server/files/ZeRunSetup.exe"
# The document as a vendor makes it: signed with the tests' key, which the
# updater below is built with, naming the installer's digest and size.
printf '1.2版本特性\r\n    1 优化了P2P下载速度\r\n    2 修改了播放拖放问题\r\n' >"$out/notes.txt"
"$publish" make --key tests/support/keys/test.key --installer "$out/server/files/ZeRunSetup.exe" --version 1.2 \
  --url "http://$host/files/ZeRunSetup.exe" --notes "$out/notes.txt" --out "$out/server/App/ZeRunUpdate.inf" ||
  exit 1
"$publish" verify --pub tests/support/keys/test.pub --document "$out/server/App/ZeRunUpdate.inf" || exit 1

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  WINEPREFIX="$out/wineprefix" wineserver -k 2>/dev/null
}
trap cleanup EXIT

python3 tests/support/test_server.py --root "$out/server" --port "$port" --port-file "$out/port" >"$out/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$out/port" ] && break; sleep 0.05; done
[ -s "$out/port" ] || { echo "demo: port $port is taken" >&2; exit 1; }
# A download at about 1 MiB a second, so each step can be seen.
python3 -c "import urllib.request as u; u.urlopen(u.Request('http://127.0.0.1:$port/_ctl/fault?path=/files/ZeRunSetup.exe', data=b'{\"rate\": 1048576}'))"

driven=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 120 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      pids+=($!)
      export DISPLAY=":$n"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      break
    fi
  done
  driven=1
  step "no display: running on the virtual display $DISPLAY and clicking through with xdotool"
fi

export WINEPREFIX="$out/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
step "creating a Wine prefix"
scripts/wine-prefix.sh "$WINEPREFIX" "$build/bin" $wow64 || exit 1
wine reg add 'HKLM\SOFTWARE\ZeRun' /v UpdateVer /t REG_DWORD /d $(((1 << 16) | 1)) /f /reg:32 >/dev/null 2>&1
step "installed version 1.1, offered version 1.2"

# The updater built with the tests' public key: it acts on a signed document only.
cp "$program_build/bin/ZeRunUpdateSigned.exe" "$out/program/ZeRunUpdate.exe"
step "updater: $program_build/bin/ZeRunUpdateSigned.exe"
wine "$build/bin/standin_client.exe" --record "Z:$(echo "$out/client.txt" | tr / '\\')" >/dev/null 2>&1 &
pids+=($!)
sleep 2
step "stand-in player window started"

wine "$out/program/ZeRunUpdate.exe" >/dev/null 2>&1 &
updater=$!

shot() { import -window root "$out/$1.png" 2>/dev/null && step "screenshot demo-out/$1.png"; }
visible() { xdotool search --onlyvisible --name '泽润影音升级程序' 2>/dev/null; }
# Waits for a visible updater window, none of the given ones, that stays for
# two seconds: the checking notice can be mapped for a moment, unpainted,
# before the question replaces it.
wait_new_window() {
  for _ in $(seq 300); do
    for w in $(visible); do
      case " $* " in *" $w "*) continue ;; esac
      sleep 2
      visible | grep -qx "$w" && { echo "$w"; return 0; }
    done
    sleep 0.2
  done
  return 1
}
click() {  # window, x, y in the window
  xdotool mousemove --window "$1" "$2" "$3" && sleep 0.3 && xdotool click 1
}

if [ -n "$driven" ]; then
  w=$(wait_new_window) || { echo "demo: the question did not appear" >&2; exit 1; }
  sleep 0.5
  shot 1-question
  click "$w" 225 208
  p=$(wait_new_window "$w") || { echo "demo: no progress window" >&2; exit 1; }
  sleep 0.5
  shot 2-downloading
  for _ in $(seq 120); do [ -f "$out/program/update/ZeRunSetup.exe.record" ] && break; sleep 0.5; done
  sleep 1
  shot 3-finished
  click "$p" 225 208
fi

if [ -n "$driven" ]; then
  for _ in $(seq 600); do kill -0 "$updater" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$updater" 2>/dev/null && { echo "demo: the updater did not end within a minute" >&2; kill "$updater"; }
fi
wait "$updater"
code=$?
echo
echo "updater exit code: $code"
echo "installed version before: 1.1, offered: 1.2"
bytes=$(python3 - "$out/port" <<'EOF'
import json, sys, urllib.request
port = open(sys.argv[1]).read().strip()
log = urllib.request.urlopen("http://127.0.0.1:%s/_ctl/log" % port).read().decode()
sent = [json.loads(l)["sent"] for l in log.splitlines() if json.loads(l)["path"] == "/files/ZeRunSetup.exe"]
print("%d in %d requests (%s)" % (sum(sent), len(sent), " + ".join(map(str, sent))))
EOF
)
echo "installer bytes sent by the server: $bytes; the file has $(stat -c %s "$out/server/files/ZeRunSetup.exe")"
echo "client's recorded close: $(cat "$out/client.txt" 2>/dev/null || echo none)"
echo "installer's recorded start: $(tr -d '\r' <"$out/program/update/ZeRunSetup.exe.record" 2>/dev/null | tr '\n' ' ' || echo none)"
cmp -s "$out/server/files/ZeRunSetup.exe" "$out/program/update/ZeRunSetup.exe" && echo "downloaded installer: identical to the served one"
exit 0
