#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build for FUZZ_SECONDS seconds (default 60). A target's
# dictionary fuzz/NAME.dict, when there is one, points it at the words its parser knows.
# An input that runs longer than 10 s counts as a hang, so every run ends in bounded time.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
shopt -s nullglob
targets=("$dir"/fuzz/fuzz_*)
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  echo "=== fuzzing $name for ${seconds}s"
  corpus=$(mktemp -d)
  artifacts=$(mktemp -d)
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=0
        -artifact_prefix="$artifacts/")
  if [ -f "$here/fuzz/$name.dict" ]; then
    args+=(-dict="$here/fuzz/$name.dict")
  fi
  if ! "$t" "${args[@]}" "$corpus" >"$artifacts/log" 2>&1; then
    tail -n 40 "$artifacts/log"
    echo "=== $name failed; the input that did it:"
    ls "$artifacts"
    for a in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-* "$artifacts"/leak-*; do
      od -c "$a" | head -n 20
    done
    exit 1
  fi
  tail -n 3 "$artifacts/log"
  rm -rf "$corpus" "$artifacts"
done
