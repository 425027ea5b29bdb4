#!/usr/bin/env bash
# Opens the window under a virtual X display, as the program does, and saves a picture of
# it as docs/screenshot.png. Builds into build-screenshot/ unless BUILD_DIR names a build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build-screenshot}"
if [ ! -x "$build/app/tradulo-screenshot" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DTRADULO_BUILD_TESTS=OFF -DTRADULO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" -j2 --target tradulo-screenshot >/dev/null
fi
mkdir -p "$root/docs"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "$build/app/tradulo-screenshot" "$root/docs/screenshot.png"
echo "screenshot: $root/docs/screenshot.png"
