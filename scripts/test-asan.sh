#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer (preset asan,
# build/asan) and runs every test under them, the window's tests included. Any report of
# a sanitizer fails the test it happens in; a leak inside Qt's own libraries is suppressed
# by scripts/lsan.supp.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset asan >/dev/null
cmake --build --preset asan -j 2

supp="$PWD/scripts/lsan.supp"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
# ctest directly, not through the preset: the preset's environment would replace these.
ctest --test-dir build/asan -j 2 --output-on-failure --timeout 600
