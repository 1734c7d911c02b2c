#!/bin/bash
# Runs ctest for a Windows build folder under Wine: starts an Xvfb display
# and one persistent wineserver for the build's prefix, and stops both
# (by their own process ids) at the end.
#   scripts/wine-ctest.sh BUILD_DIR [ctest arguments...]
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
shift

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8

. "$root/scripts/xvfb.sh"
. "$root/scripts/wine-env.sh"
start_xvfb || { echo "wine-ctest: no free X display" >&2; exit 1; }
export DISPLAY=$display

cleanup() {
  wineserver -k >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
}
trap cleanup EXIT

"$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$build/bin" || exit 1
wineserver -p >/dev/null 2>&1
# Start Wine's background services now, detached from ctest's pipes: started
# by the first test they would inherit its output and keep ctest waiting.
wine cmd /c exit </dev/null >/dev/null 2>&1
ctest --test-dir "$build" --output-on-failure "$@"
