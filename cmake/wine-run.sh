#!/bin/sh
# Runs a Windows program under Wine, for CTest and the test discovery.
#
# The Wine server is started apart, persistent and with its output detached, before the
# program runs: one started by the program would inherit the caller's pipes and keep them
# open, and CTest (which waits for them to close) would hang.
set -e
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-${VETRA_WINEPREFIX:-$HOME/.cache/vetra-wine}}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Folders of DLLs (Unix paths, colon-separated) onto the program's search path: Wine's Z:
# drive is the Unix root.
if [ -n "${VETRA_WINE_DLL_DIRS:-}" ]; then
  dirs=$(printf '%s' "$VETRA_WINE_DLL_DIRS" | sed 's|/|\\|g; s|:|;Z:|g')
  export WINEPATH="Z:$dirs${WINEPATH:+;$WINEPATH}"
fi
# Runs a command that outlives this script (the Wine server, Wine's services) with nothing of
# ours open: not the lock, and not a pipe of CTest's, which it would otherwise wait on for good.
detached() {
  bash -c 'for fd in /proc/$$/fd/*; do
             fd=${fd##*/}
             [ "$fd" -gt 2 ] && eval "exec $fd>&-"
           done
           exec "$@"' detached "$@" </dev/null >/dev/null 2>&1
}

if [ ! -f "$WINEPREFIX/system.reg" ] || ! wineserver -k0 2>/dev/null; then
  mkdir -p "$WINEPREFIX"
  # One creator of the prefix at a time when CTest runs tests side by side.
  (
    flock 9
    # Also when the prefix exists: the first program started on a fresh server starts Wine's
    # services, which would inherit the test's output and keep CTest waiting after it ends.
    if ! wineserver -k0 2>/dev/null; then
      detached wineserver -p || true
      detached wine cmd /c exit
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
