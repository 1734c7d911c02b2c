#!/bin/bash
# Creates a Wine prefix for the tests once (under a lock, tests may run in
# parallel): no Mono or Gecko dialogs, http links opened by the URL recorder
# instead of a browser, and windows not handed to a window manager: Xvfb has
# none, and Wine would wait 2 s for one on every hide or destroy; focus cues
# hidden until a key press, as Windows has it by default. The
# loopback TLS server's CA is made in "$prefix/zr-test-ca" and trusted by the
# prefix as a root. With a third argument "wow64" the prefix must also run
# 32-bit programs: one made before 32-bit Wine was installed is updated.
set -u
prefix=$1
bindir=$2
src=$(cd "$(dirname "$0")/.." && pwd)
. "$src/scripts/wine-env.sh"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
windows_path() { echo "Z:$(echo "$1" | tr / '\\')"; }
if [ ! -f "$prefix/.zr-ready" ]; then
  wineboot -i >/dev/null 2>&1 || { echo "wineboot failed for $prefix" >&2; exit 1; }
  # Set-up goes on in the background after wineboot returns and registers
  # the browser for http: it must be over before the recorder is put there.
  wineserver -w
  recorder=$(windows_path "$bindir/url_recorder.exe")
  for proto in http https; do
    wine reg add "HKCR\\$proto\\shell\\open\\command" /ve /d "\"$recorder\" \"%1\"" /f >/dev/null 2>&1
  done
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  touch "$prefix/.zr-ready"
fi
if [ "${3:-}" = wow64 ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  # Without its time stamp Wine takes the prefix for an older one and
  # installs every DLL again, the 32-bit ones with them.
  rm -f "$prefix/.update-timestamp"
  wineboot -u >/dev/null 2>&1 || { echo "wineboot -u failed for $prefix" >&2; exit 1; }
fi
# Focus cues as Windows shows them by default: only after the first key
# press (Wine's default mask shows them from the start).
if [ ! -f "$prefix/.zr-cues" ]; then
  wine reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY /d 1000028012000000 /f \
    >/dev/null 2>&1 && touch "$prefix/.zr-cues"
fi
if [ ! -f "$prefix/.zr-ca" ] && [ -f "$bindir/trust_root.exe" ]; then
  python3 "$src/tests/support/test_server.py" --make-ca --tls-ca "$prefix/zr-test-ca" || exit 1
  wine "$bindir/trust_root.exe" "$(windows_path "$prefix/zr-test-ca/ca.pem")" </dev/null || exit 1
  touch "$prefix/.zr-ca"
fi
