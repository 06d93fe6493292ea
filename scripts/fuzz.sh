#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (build/fuzz) and runs each one for a bounded
# time, one after the other, starting from its committed seed corpus (fuzz/corpus/<target>); new
# inputs go to a scratch corpus under build/fuzz, so the committed seeds stay as they are. Prints
# each target's run time and executions from libFuzzer's final statistics; a crash, leak,
# sanitizer report or broken invariant fails the run and leaves its input in build/fuzz/artifacts.
# ZB_FUZZ_SEED fixes libFuzzer's random seed (the test run sets it, so that a finding there can be
# reproduced with the same seed); unset or 0, every run explores differently.
# Usage: scripts/fuzz.sh [seconds per target (default 20)] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${ZB_JOBS:-2}"
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DZB_FUZZ=ON -DZB_TESTS=OFF -DZB_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

seconds=${1:-20}
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_decoder fuzz_dataconv fuzz_report_writer fuzz_readers)
fi
cmake --build "$build" -j"$jobs" --target fuzz_all

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p "$build/artifacts"
# The targets' temporary files (stores, report spools, archives) stay inside the build tree, and
# whatever a crashed run leaves there is removed at the end.
export TMPDIR="$PWD/$build/tmp"
mkdir -p "$TMPDIR"
trap 'rm -rf "$TMPDIR"' EXIT
status=0
printf '%-20s %8s %12s %10s\n' target seconds executions exec/s > "$build/fuzz_stats.txt"
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  mkdir -p "$work" "fuzz/corpus/$t"
  log="$build/$t.log"
  echo "== $t (${seconds}s)"
  started=$(date +%s)
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=2560 \
      -max_len=8192 -seed="${ZB_FUZZ_SEED:-0}" -artifact_prefix="$build/artifacts/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1; then
    status=1
    echo "FAILED: $t (see $log)"
    grep -E "ERROR|invariant broken|runtime error|SUMMARY" "$log" | head -5 || true
  fi
  elapsed=$(($(date +%s) - started))
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | tail -1 | grep -oE '[0-9]+$' || echo 0)
  rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | tail -1 | grep -oE '[0-9]+$' || echo 0)
  printf '%-20s %8s %12s %10s\n' "$t" "$elapsed" "$runs" "$rate" | tee -a "$build/fuzz_stats.txt"
done
echo
cat "$build/fuzz_stats.txt"
exit $status
