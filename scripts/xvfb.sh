# Sourced: start_xvfb starts an Xvfb on the first free display from :90 on
# and sets display (":N") and xvfb_pid; it fails when none is free.
start_xvfb() {
  display=""
  xvfb_pid=""
  local n
  for n in $(seq 90 250); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      xvfb_pid=$!
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; return 0; fi
      xvfb_pid=""
    fi
  done
  return 1
}
