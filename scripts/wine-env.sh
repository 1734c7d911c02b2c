# Sourced by the scripts that run Wine. With Debian's 32-bit Wine installed
# beside the 64-bit one, `wine` starts every program through the 32-bit
# loader, which fails in a prefix made without it. WINELOADER makes 64-bit
# programs start as they do without 32-bit Wine; Wine takes the loader
# beside it (its name without "64") for the 32-bit programs they start.
if [ -x /usr/lib/wine/wine64 ]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine() { "$WINELOADER" "$@"; }
  wineboot() { "$WINELOADER" wineboot.exe "$@"; }
fi

# Whether this machine runs 32-bit Windows programs: the kernel must run
# 32-bit code and 32-bit Wine must be there. Tried, not guessed.
can_run_32bit() { [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; }
