#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the normal build,
# vetra_core under ASan+UBSan and under TSan, a bounded run of each fuzz target, then the
# Windows build (MinGW-w64) with its tests and the end-to-end run under Wine, and its package.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-layers.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
# Paths relative to the checkout, so a clone elsewhere (CI) reuses what an earlier run built.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

run_preset() {
  local preset=$1
  shift
  echo "=== $preset: configure and build"
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset"
  if [ "$preset" != fuzz ]; then
    echo "=== $preset: tests"
    ctest --preset "$preset"
  fi
}

run_preset default
run_preset asan
run_preset tsan
run_preset fuzz
bash scripts/fuzz.sh build/fuzz  # the targets share six minutes

bash scripts/windows-deps.sh
# The tests run under Wine in a prefix of the build's own (cmake/wine-run.sh starts its
# server); it is stopped when they are done.
stop_wine() { WINEPREFIX="$PWD/build/windows/wine" wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT
# The window for Windows needs Qt cross-built once (about an hour): with it, the window and
# its tests are built and run under Wine, and the installed window runs a cycle end to end;
# without it (or with VETRA_WINDOWS_WINDOW=0), the Windows build is the core and the console
# programs.
QT_STAMP="${VETRA_WINDOWS_DEPS:-$HOME/.cache/vetra-windows-deps}/qt6/.built-1"
WINDOW=0
if [ ! -f "$QT_STAMP" ]; then
  echo "=== windows: the window, its tests under Wine and the installer skipped: no Qt for MinGW (bash scripts/windows-deps.sh --qt builds it)"
elif [ "${VETRA_WINDOWS_WINDOW:-1}" = 0 ]; then
  echo "=== windows: the window, its tests under Wine and the installer skipped: VETRA_WINDOWS_WINDOW=0"
else
  WINDOW=1
fi
if [ "$WINDOW" = 1 ]; then
  run_preset windows -DVETRA_CORE_ONLY=OFF
else
  run_preset windows -DVETRA_CORE_ONLY=ON
fi
bash scripts/package-windows.sh build/windows
echo "=== windows: end to end under Wine"
SETUP=""
[ "$WINDOW" = 1 ] && SETUP="$PWD/vetra-setup-x64.exe"
VETRA_WINDOWS_BUILD="$PWD/build/windows" VETRA_WINDOWS_SETUP="$SETUP" \
  build/default/tests/e2e/e2e_tests --gtest_filter='*Wine*'
echo "All tests passed."
