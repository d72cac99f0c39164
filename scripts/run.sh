#!/usr/bin/env bash
# Installs what is needed, builds the workstation and runs it against vetra-sim, which plays
# the chromatograph fed a sample gas, in a fresh copy of the sample program directory
# examples/rig (its calibration was made with the calibration window against vetra-sim):
# the window when a display is present, otherwise the headless workstation for one cycle,
# showing the concentrations it printed. `scripts/run.sh --demo` runs without the simulator.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
cmake --preset default >/dev/null

dir=$(mktemp -d -t vetra-rig-XXXXXX)
echo "Program directory: $dir"
display=${DISPLAY:-}${WAYLAND_DISPLAY:-}

if [ "${1:-}" = "--demo" ]; then
  if [ -n "$display" ]; then
    cmake --build --preset default --target vetra
    exec build/default/src/app/ui/vetra --dir "$dir" --demo
  fi
  cmake --build --preset default --target vetra-console
  exec build/default/src/app/vetra-console --dir "$dir" --demo --cycles 1 --verbose
fi

cmake --build --preset default --target vetra-sim "$([ -n "$display" ] && echo vetra || echo vetra-console)"
cp examples/rig/хроматограф.ini examples/rig/calibr.ini examples/rig/проба.txt "$dir/"

# The sample gas can be edited while it runs: the simulator reads it at every cycle.
build/default/tools/sim/vetra-sim chromatograph --speed 10 --mixture-file "$dir/проба.txt" \
  >"$dir/sim.out" 2>"$dir/sim.log" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -s "$dir/sim.out" ] && break
  sleep 0.1
done
port=$(head -n 1 "$dir/sim.out")
echo "Simulated chromatograph on $port, fed:"
grep -v '^#' "$dir/проба.txt" | sed 's/^/  /'

if [ -n "$display" ]; then
  echo "Running: vetra --port $port (\"Запуск\" starts a cycle; close the window to end)"
  build/default/src/app/ui/vetra --dir "$dir" --port "$port"
  exit 0
fi

echo "No display: running vetra-console --port $port --cycles 1 (a 90 s cycle in 9 s)"
build/default/src/app/vetra-console --dir "$dir" --port "$port" --cycles 1 --verbose --timeout 120
