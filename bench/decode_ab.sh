#!/usr/bin/env bash
# Two or more builds of decode_bench side by side: rounds that run each binary in turn, so that a
# shared machine's slow and fast moments fall on all of them alike. Prints per binary the median
# over the rounds of its RATIO line (itself the median of RUNS side-by-side bare/full runs) with
# the range, and the median full-decode time per change.
#
# Usage: bench/decode_ab.sh [typical|dense] ROUNDS BENCH...   (FRAMES and RUNS from the environment,
#        default 300000 and 11), e.g. to compare a change with the build before it:
#   cp build/native/bench/decode_bench /tmp/before; (change, rebuild)
#   bench/decode_ab.sh typical 6 /tmp/before build/native/bench/decode_bench
set -euo pipefail
mode=${1:-typical}
rounds=${2:-6}
shift 2 || true
(($# > 0)) || { echo "usage: $0 [typical|dense] ROUNDS BENCH..." >&2; exit 2; }
frames=${FRAMES:-300000}
runs=${RUNS:-11}
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for ((round = 0; round < rounds; ++round)); do
  for bench in "$@"; do
    out=$("$bench" "$frames" "$mode" "$runs" 0)
    ratio=$(awk '/^RATIO/ {print $4}' <<<"$out")
    ns=$(sed -n 's/^full decode.*M changes\/s, \([0-9.]*\) ns per change.*/\1/p' <<<"$out")
    echo "$bench $ratio $ns" >>"$results"
  done
done
echo "command: $0 $mode $rounds $* (FRAMES=$frames RUNS=$runs)"
python3 - "$results" "$@" <<'EOF'
import statistics, sys
rows = [line.split() for line in open(sys.argv[1])]
for bench in sys.argv[2:]:
    ratios = [float(r[1]) for r in rows if r[0] == bench]
    ns = [float(r[2]) for r in rows if r[0] == bench]
    print(f"{bench}: ratio median {statistics.median(ratios):.3f} (range {min(ratios):.2f}-{max(ratios):.2f}),"
          f" full decode {statistics.median(ns):.2f} ns per change")
EOF
