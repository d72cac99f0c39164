#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test: the normal build,
# vetra_core under ASan+UBSan and under TSan, and a bounded run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-layers.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
# Paths relative to the checkout, so a clone elsewhere (CI) reuses what an earlier run built.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
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
FUZZ_SECONDS="${FUZZ_SECONDS:-40}" bash scripts/fuzz.sh build/fuzz
echo "All tests passed."
