#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for a bounded time.
#
#   scripts/fuzz.sh [SECONDS]      seconds per target, 60 when not given
#
# Each target starts from its seed corpus in fuzz/corpus/<target>/ and grows a working
# corpus in build/fuzz/corpus/<target>/, which is kept from run to run. A crash, a hang or
# a memory blow-up stops the script with a non-zero status; the input that did it is left
# in build/fuzz/artifacts/<target>/ and its path is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build=build/fuzz

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTRADULO_BUILD_FUZZERS=ON -DTRADULO_BUILD_GUI=OFF -DTRADULO_BUILD_TESTS=OFF \
  -DTRADULO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target fuzz_reader fuzz_conversion

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

status=0
for target in reader conversion; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  log="$build/fuzz-$target.log"
  mkdir -p "$corpus" "$artifacts"
  echo "fuzz: $target for ${seconds}s (log $log)"
  if ! "$build/fuzz/fuzz_$target" "$corpus" "fuzz/corpus/$target" \
    -dict=fuzz/datapacket.dict -max_total_time="$seconds" -max_len=8192 -timeout=5 \
    -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" >"$log" 2>&1; then
    status=1
    echo "fuzz: $target FAILED; last lines of the log:" >&2
    tail -n 40 "$log" >&2
    ls -1 "$artifacts" | sed "s|^|fuzz:   $artifacts/|" >&2
    continue
  fi
  # The last status line carries the coverage reached: cov (edges) and ft (features).
  summary=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  runs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}')
  echo "fuzz: $target ok, ${runs:-?} executions; ${summary}"
done
exit "$status"
