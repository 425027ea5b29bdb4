#!/usr/bin/env bash
# Installs what is missing, builds the program and starts its window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target tradulo tradulo-cli
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display here (DISPLAY is not set), so the window cannot open." >&2
  echo "run: the same conversion from the command line, on the example packet:" >&2
  out="${TMPDIR:-/tmp}/unidades.txt"
  build/release/cli/tradulo-cli examples/unidades.xml "$out"
  echo "examples/unidades.xml -> $out ($(wc -c <"$out") bytes)"
  exit 0
fi
exec build/release/app/tradulo
