#!/usr/bin/env bash
# The whole chain from the serial line to the sample buffer: vetra-sim streams at SPEED times
# real time over a pseudo-terminal, vetra-console runs CYCLES default cycles (120 s, 8 points
# per second) under GNU time. Prints the simulator's frame rate, the points per cycle and the
# console's CPU time per simulated minute.
#   bash bench/serial_chain.sh [BUILD_DIR] [SPEED] [CYCLES]
set -euo pipefail
build=${1:-build/default}
speed=${2:-50}
cycles=${3:-5}
sim=$build/tools/sim/vetra-sim
console=$build/src/app/vetra-console
[ -x /usr/bin/time ] || { echo "needs GNU time (Debian package time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
"$sim" chromatograph --speed "$speed" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
port=$(head -n 1 "$work/sim.out")

HOME=$work VETRA_MAILSLOT_DIR=$work/mailslot /usr/bin/time -v -o "$work/time.txt" \
  "$console" --dir "$work/program" --port "$port" --cycles "$cycles" --verbose \
  >"$work/console.out" 2>"$work/console.err"

# The simulator's own CPU time, in clock ticks, before it is stopped.
read -r -a stat <"/proc/$sim_pid/stat"
sim_cpu=$(awk -v u="${stat[13]}" -v s="${stat[14]}" -v hz="$(getconf CLK_TCK)" \
  'BEGIN {printf "%.2f", (u + s) / hz}')

grep -E 'frames/s' "$work/sim.err" | sed 's/^vetra-sim: //'
echo "simulator CPU: $sim_cpu s"
# Default settings: 120 s cycles of 8 points per second.
echo "points per cycle expected: 960"
grep -E 'cycle finished' "$work/console.err" | sed 's/^vetra-console: //' | sort | uniq -c
cpu=$(awk -F': ' '/User time/ {u=$2} /System time/ {s=$2} END {print u + s}' "$work/time.txt")
grep -E 'User time|System time|Elapsed|Maximum resident|Percent of CPU|context switches' "$work/time.txt"
minutes=$((cycles * 2))
awk -v cpu="$cpu" -v m="$minutes" \
  'BEGIN {printf "console CPU: %.3f s for %d simulated minutes = %.3f s per simulated minute\n", cpu, m, cpu / m}'
