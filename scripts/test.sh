#!/bin/bash
# The whole check, as CI runs it: set-up, the three presets built with zero
# warnings, the native suite and the win64 suite under Wine (which runs
# alongside the native and win32 builds), and a selection of its whole runs
# against the 32-bit release program, beside the rest once that is built.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
status=0
stamp() { date +%s; }
t0=$(stamp)

scripts/setup.sh || exit 1
. scripts/wine-env.sh
t_setup=$(stamp)

mkdir -p build
build_preset() {  # PRESET [cache options]: builds with zero warnings; 1 when it does not
  local preset=$1 log="build/build-$1.log" warnings
  shift
  if cmake --preset "$preset" "$@" >"$log" 2>&1 && cmake --build --preset "$preset" >>"$log" 2>&1; then
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
    # Four at a time: the display's suites, the two shards of the
    # whole-program runs, each on a display of its own, and one that needs
    # none.
    scripts/wine-ctest.sh build/win64 -j4 -V -E '^e2e_tests_win32$' >build/test-win64.log 2>&1
    echo $? >build/test-win64.status
    echo $(($(stamp) - start)) >build/test-win64.seconds
  ) &
  win64_pid=$!
fi
build_preset native
# The release program as it ships, built for a loopback update host (its
# port is the one the win64 build's 32-bit rows expect) and unsigned, with
# the variants the whole runs start; the tests' key only in those.
win32_pid=""
if build_preset win32 -DZERUN_UPDATE_HOST=127.0.0.1:28090 -DZERUN_HOME_URL=http://127.0.0.1/ -DZERUN_ALLOW_UNSIGNED=ON -DZR_TEST_PROGRAMS=ON &&
  [ -n "$win64_pid" ]; then
  if can_run_32bit; then
    rm -f build/test-win32.*
    (
      start=$(stamp)
      ctest --test-dir build/win64 -V -R '^e2e_tests_win32$' >build/test-win32.log 2>&1
      echo $? >build/test-win32.status
      echo $(($(stamp) - start)) >build/test-win32.seconds
    ) &
    win32_pid=$!
  else
    echo "32-bit programs do not run on this machine: the 32-bit whole runs are skipped"
  fi
fi
t_build=$(stamp)

summary() { grep -E 'tests passed|tests failed' "$1" | tail -1; }

ctest --test-dir build/native --output-on-failure -j2 >build/test-native.log 2>&1 || status=1
echo "native suite: $(summary build/test-native.log)"
grep -E '^\s*[0-9]+ - ' build/test-native.log || true
t_native=$(stamp)

# Waits for the Windows suite NAME (win64, win32) and reports it; its time
# goes to seconds_NAME.
report_windows_suite() {
  local name=$1 pid=$2
  eval "seconds_$name=0"
  [ -n "$pid" ] || return 0
  wait "$pid"
  [ "$(cat "build/test-$name.status" 2>/dev/null)" = 0 ] || status=1
  eval "seconds_$name=$(cat "build/test-$name.seconds" 2>/dev/null || echo 0)"
  echo "$name suite: $(summary "build/test-$name.log")"
  grep -E '^\s*[0-9]+ - |\*\*\*' "build/test-$name.log" || true
}
report_windows_suite win64 "$win64_pid"
report_windows_suite win32 "$win32_pid"
t_end=$(stamp)
# Which build and code page each whole run used, as the runs print it.
cat build/test-win64.log build/test-win32.log 2>/dev/null | grep -o 'whole run of the .*' |
  sed -E 's/whole run of the ([0-9]+-bit) build .*\\([^\\]+), code page ([0-9]+).*/\1 \2, code page \3/' |
  sort | uniq -c | sed 's/^ */whole runs: /'

[ "$status" -eq 0 ] || { echo "--- failures ---"; grep -B2 -A40 -E 'FAILED|Failed  |\*\*\*' build/test-native.log build/test-win64.log build/test-win32.log 2>/dev/null | head -200; }
# The win64 suite's time overlaps the builds of native and win32 and the
# native suite, and the win32 one overlaps the win64 suite, so the parts add
# up to more than the total.
echo "times (s): setup $((t_setup - t0)), build $((t_build - t_setup)), native $((t_native - t_build)), win64 $seconds_win64, win32 $seconds_win32, total $((t_end - t0))"
[ "$status" -eq 0 ] && echo "test.sh: all green" || echo "test.sh: FAILED"
exit "$status"
