#!/bin/bash
# The whole check, as CI runs it: set-up, the three presets built with zero
# warnings, the native suite and the win64 suite under Wine.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0
stamp() { date +%s; }
t0=$(stamp)

scripts/setup.sh || exit 1
t_setup=$(stamp)

mkdir -p build
for preset in native win64 win32; do
  log="build/build-$preset.log"
  if cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1; then
    warnings=$(grep -c 'warning:' "$log" || true)
    echo "build $preset: ok, $warnings warnings"
    [ "$warnings" -eq 0 ] || { grep 'warning:' "$log" | sort -u | head -20; status=1; }
  else
    echo "build $preset: FAILED (see $log)"
    tail -30 "$log"
    status=1
  fi
done
t_build=$(stamp)

summary() { grep -E 'tests passed|tests failed' "$1" | tail -1; }

ctest --test-dir build/native --output-on-failure -j2 >build/test-native.log 2>&1 || status=1
echo "native suite: $(summary build/test-native.log)"
grep -E '^\s*[0-9]+ - ' build/test-native.log || true
t_native=$(stamp)

rm -rf build/win64/wineprefix build/win64/wineprefix.lock build/win64/artifacts
scripts/wine-ctest.sh build/win64 -j2 >build/test-win64.log 2>&1 || status=1
echo "win64 suite: $(summary build/test-win64.log)"
grep -E '^\s*[0-9]+ - |Failed|\*\*\*' build/test-win64.log || true
t_win64=$(stamp)

[ "$status" -eq 0 ] || { echo "--- failures ---"; grep -B2 -A40 -E 'FAILED|Failed  |\*\*\*' build/test-native.log build/test-win64.log | head -200; }
echo "times (s): setup $((t_setup - t0)), build $((t_build - t_setup)), native $((t_native - t_build)), win64 $((t_win64 - t_native)), total $((t_win64 - t0))"
[ "$status" -eq 0 ] && echo "test.sh: all green" || echo "test.sh: FAILED"
exit "$status"
