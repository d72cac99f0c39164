#!/usr/bin/env bash
# Installs what is needed, builds the program and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/vetra-ccache}"
cmake --preset default >/dev/null
cmake --build --preset default --target vetra-tool

dir=$(mktemp -d)
echo "Program directory: $dir"
build/default/src/app/vetra-tool settings --dir "$dir"
