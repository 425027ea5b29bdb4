#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tradulo-cli
out="${TMPDIR:-/tmp}/unidades.txt"
build/release/cli/tradulo-cli examples/unidades.xml "$out"
echo "examples/unidades.xml -> $out"
cat -A "$out" | head -n 5
