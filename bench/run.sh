#!/usr/bin/env bash
# The conversion benchmark: builds its tools, then times cat, the pugixml parse floor,
# tradulo-cli, the window's run and the lxml peer on one generated packet per size, checks
# that the three converters wrote the same bytes and prints Markdown tables.
#
#   bench/run.sh [--quick] [--records 200000,1000000] [--flavour utf8|cp1252|both]
#                [--runs 3] [--seed S] [--scratch DIR] [--keep] [--no-window] [--strict]
#
# BUILD_DIR picks the build (default build-bench beside this folder's parent); SKIP_BUILD=1
# uses what is built there. --quick (2,000 records, one round) finishes in seconds and exits
# non-zero when the outputs differ, for CI.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build_dir="${BUILD_DIR:-$root/build-bench}"

if [ "${SKIP_BUILD:-0}" != 1 ]; then
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  targets=(tradulo-genpacket tradulo-parsefloor tradulo-cli)
  # The window's program exists only where the window library is built (Qt 6).
  if cmake --build "$build_dir" --target help | grep -q '^tradulo-windowrun:'; then
    targets+=(tradulo-windowrun)
  fi
  if ! log="$(cmake --build "$build_dir" -j2 --target "${targets[@]}" 2>&1)"; then
    printf '%s\n' "$log" >&2
    exit 1
  fi
fi

exec /usr/bin/python3 "$here/bench.py" --build-dir "$build_dir" "$@"
