#!/bin/bash
# Creates a Wine prefix for the tests once (under a lock, tests may run in
# parallel): no Mono or Gecko dialogs, http links opened by the URL recorder
# instead of a browser, and windows not handed to a window manager: Xvfb has
# none, and Wine would wait 2 s for one on every hide or destroy.
set -u
prefix=$1
bindir=$2
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zr-ready" ] && exit 0
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wineboot -i >/dev/null 2>&1 || { echo "wineboot failed for $prefix" >&2; exit 1; }
recorder="Z:$(echo "$bindir/url_recorder.exe" | tr / '\\')"
for proto in http https; do
  wine reg add "HKCR\\$proto\\shell\\open\\command" /ve /d "\"$recorder\" \"%1\"" /f >/dev/null 2>&1
done
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
touch "$prefix/.zr-ready"
