#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build in turn.
#   scripts/fuzz.sh [--long] [BUILD_DIR]      (BUILD_DIR defaults to build/fuzz)
# By default the targets share FUZZ_TOTAL_SECONDS (360: what CI has always spent), so adding a
# target does not lengthen CI; FUZZ_SECONDS sets the time of each instead. --long gives each
# target 10 minutes, for a person to run before a release.
# A target's dictionary fuzz/NAME.dict, when there is one, points it at the words its parser
# knows. An input that runs longer than 10 s counts as a hang, so every run ends in bounded
# time. Each run prints its runs and its rate (exec/s) at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
long=0
if [ "${1:-}" = --long ]; then
  long=1
  shift
fi
dir=${1:-build/fuzz}
shopt -s nullglob
targets=()
for t in "$dir"/fuzz/fuzz_*; do
  [ -f "$t" ] && [ -x "$t" ] && targets+=("$t")
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $dir/fuzz (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
  exit 1
fi
if [ "$long" = 1 ]; then
  seconds=600
elif [ -n "${FUZZ_SECONDS:-}" ]; then
  seconds=$FUZZ_SECONDS
else
  seconds=$(( ${FUZZ_TOTAL_SECONDS:-360} / ${#targets[@]} ))
  [ "$seconds" -ge 1 ] || seconds=1
fi
for t in "${targets[@]}"; do
  name=$(basename "$t")
  echo "=== fuzzing $name for ${seconds}s"
  corpus=$(mktemp -d)
  artifacts=$(mktemp -d)
  args=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
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
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$artifacts/log")
  grep -E '^#[0-9]+[[:space:]]+DONE' "$artifacts/log" | tail -n 1 || true
  echo "    $name: ${runs:-?} runs"
  rm -rf "$corpus" "$artifacts"
done
