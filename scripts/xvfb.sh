# Sourced: start_xvfb starts an Xvfb on the first free display from :90 on
# and sets display (":N") and xvfb_pid; it fails when none is free. Several
# test runs start theirs at the same moment: a display is ours only once its
# lock file names our server (the loser of a race for it exits).
start_xvfb() {
  display=""
  xvfb_pid=""
  local n
  for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      for _ in $(seq 100); do
        kill -0 "$xvfb_pid" 2>/dev/null || break
        if [ -e "/tmp/.X11-unix/X$n" ] && [ "$(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null)" = "$xvfb_pid" ]; then
          display=":$n"
          return 0
        fi
        sleep 0.1
      done
      kill "$xvfb_pid" 2>/dev/null
      wait "$xvfb_pid" 2>/dev/null
      xvfb_pid=""
    fi
  done
  return 1
}
