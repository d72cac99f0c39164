#!/usr/bin/env bash
# Installs what is needed, builds the workstation and runs it in demonstration mode in a fresh
# program directory: the window when a display is present, otherwise the headless
# workstation for one cycle, showing what it printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
cmake --preset default >/dev/null

dir=$(mktemp -d -t vetra-demo-XXXXXX)
echo "Program directory: $dir"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cmake --build --preset default --target vetra
  echo "Running: vetra --demo (close the window to end)"
  exec build/default/src/app/ui/vetra --dir "$dir" --demo
fi

cmake --build --preset default --target vetra-console
echo "No display: running vetra-console --demo --cycles 1 --verbose"
build/default/src/app/vetra-console --dir "$dir" --demo --cycles 1 --verbose
echo "Files left in the program directory:"
find "$dir" -mindepth 1 | sed "s#^$dir/#  #"
