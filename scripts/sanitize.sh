#!/usr/bin/env bash
# Builds the native tree with AddressSanitizer and UndefinedBehaviorSanitizer (build/asan) and runs
# the whole native test suite in it. Any sanitizer report fails the run.
# Usage: scripts/sanitize.sh [ctest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${ZB_JOBS:-2}"
cmake -S . -B build/asan -DZB_SANITIZE=ON -DZB_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/asan -j"$jobs"
# Leaks are errors too; UBSan stops at its first finding (the build also uses
# -fno-sanitize-recover=undefined) and prints where.
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build/asan --output-on-failure -j"$jobs" "$@"
