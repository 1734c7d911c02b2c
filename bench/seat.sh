# Sourced by the benchmarks that run Wine programs: a work folder removed at
# the end with everything started in it (Wine prefix, test server, Xvfb).
#   bench_seat NAME   the work folder $work and the cleanup at exit
#   bench_build DIR   bench/DIR built with the win64 toolchain into
#                     $build/bench-DIR
#   bench_display     an Xvfb display of its own (:150 or above) as DISPLAY
bench_seat() {
  work=$(mktemp -d "/tmp/zr-bench-$1.XXXXXX")
  xvfb_pid= server_pid=
  trap bench_cleanup EXIT
}
bench_cleanup() {
  set +e  # a killed process's status must not stop the cleanup half-way
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
bench_build() {
  cmake -S "$root/bench/$1" -B "$build/bench-$1" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" >/dev/null
  cmake --build "$build/bench-$1" -j2 >/dev/null
}
bench_display() {
  local n
  for n in $(seq 150 250); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=":$n"
      return 0
    fi
    xvfb_pid=
  done
  echo "no free X display" >&2
  exit 1
}
