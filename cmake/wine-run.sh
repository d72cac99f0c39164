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
if [ ! -f "$WINEPREFIX/system.reg" ] || ! wineserver -k0 2>/dev/null; then
  mkdir -p "$WINEPREFIX"
  # One creator of the prefix at a time when CTest runs tests side by side.
  # The server and the services Wine starts outlive this script: they must not inherit the
  # lock's descriptor, or they would hold the lock for good.
  (
    flock 9
    # Also when the prefix exists: the first program started on a fresh server starts Wine's
    # services, which would inherit the test's output and keep CTest waiting after it ends.
    if ! wineserver -k0 2>/dev/null; then
      wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
      wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
