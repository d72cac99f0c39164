#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for FUZZ_SECONDS seconds (default 60).
set -euo pipefail
dir=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
shopt -s nullglob
targets=("$dir"/fuzz/fuzz_*)
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  echo "=== fuzzing $(basename "$t") for ${seconds}s"
  corpus=$(mktemp -d)
  "$t" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
