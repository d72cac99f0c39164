#!/usr/bin/env bash
# Installs what is needed, builds the workstation and runs one demonstration cycle in a
# fresh program directory, showing what the workstation printed.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
cmake --preset default >/dev/null
cmake --build --preset default --target vetra-console

dir=$(mktemp -d -t vetra-demo-XXXXXX)
echo "Program directory: $dir"
echo "Running: vetra-console --demo --cycles 1 --verbose"
build/default/src/app/vetra-console --dir "$dir" --demo --cycles 1 --verbose
echo "Files left in the program directory:"
find "$dir" -mindepth 1 | sed "s#^$dir/#  #"
