#!/bin/bash
# The whole check, as CI runs it: set-up, the three presets built with zero
# warnings, the native suite and the win64 suite under Wine (which runs
# alongside the native and win32 builds).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0
stamp() { date +%s; }
t0=$(stamp)

scripts/setup.sh || exit 1
t_setup=$(stamp)

mkdir -p build
build_preset() {  # builds one preset (configure options after it) with zero warnings; 1 when it does not
  local preset=$1 log="build/build-$1.log" warnings
  if cmake --preset "$preset" "${@:2}" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1; then
    warnings=$(grep -c 'warning:' "$log" || true)
    echo "build $preset: ok, $warnings warnings"
    [ "$warnings" -eq 0 ] || { grep 'warning:' "$log" | sort -u | head -20; status=1; }
  else
    echo "build $preset: FAILED (see $log)"
    tail -30 "$log"
    status=1
    return 1
  fi
}

# The win64 suite mostly waits for Wine, the loopback server and timers, so
# it runs while the other two presets build and the native suite runs.
win64_pid=""
if build_preset win64; then
  rm -rf build/win64/wineprefix* build/win64/artifacts build/test-win64.*
  (
    start=$(stamp)
    # Three at a time: the display's suites, the whole-program ones on their
    # own display, and one that needs none.
    scripts/wine-ctest.sh build/win64 -j3 >build/test-win64.log 2>&1
    echo $? >build/test-win64.status
    echo $(($(stamp) - start)) >build/test-win64.seconds
  ) &
  win64_pid=$!
fi
build_preset native
# The suite's 32-bit build is no release: no vendor key, plain HTTP.
build_preset win32 -DZERUN_ALLOW_UNSIGNED=ON
t_build=$(stamp)

summary() { grep -E 'tests passed|tests failed' "$1" | tail -1; }

ctest --test-dir build/native --output-on-failure -j2 >build/test-native.log 2>&1 || status=1
echo "native suite: $(summary build/test-native.log)"
grep -E '^\s*[0-9]+ - ' build/test-native.log || true
t_native=$(stamp)

win64_seconds=0
if [ -n "$win64_pid" ]; then
  wait "$win64_pid"
  [ "$(cat build/test-win64.status 2>/dev/null)" = 0 ] || status=1
  win64_seconds=$(cat build/test-win64.seconds 2>/dev/null || echo 0)
  echo "win64 suite: $(summary build/test-win64.log)"
  grep -E '^\s*[0-9]+ - |Failed|\*\*\*' build/test-win64.log || true
fi
t_end=$(stamp)

[ "$status" -eq 0 ] || { echo "--- failures ---"; grep -B2 -A40 -E 'FAILED|Failed  |\*\*\*' build/test-native.log build/test-win64.log | head -200; }
# The win64 suite's time overlaps the builds of native and win32 and the
# native suite, so the parts add up to more than the total.
echo "times (s): setup $((t_setup - t0)), build $((t_build - t_setup)), native $((t_native - t_build)), win64 $win64_seconds, total $((t_end - t0))"
[ "$status" -eq 0 ] && echo "test.sh: all green" || echo "test.sh: FAILED"
exit "$status"
