#!/usr/bin/env bash
# zbhost's reading path against sigrok-cli reading the same sigrok session files, side by side in
# one run (medians of interleaved rounds), and the peak memory of each command.
#
#   typical: 200 MHz sampling, about 640,000,000 samples, 4,000 BiSS-C frames at 2.3 MHz with
#            register accesses on CDM/CDS. sigrok-cli only reading it (-O null), zbhost only reading
#            it (zbhost read), zbhost decoding it to the report CSV. Target: decode <= 0.4 x sigrok.
#   dense:   100 MHz sampling, about 1,020,000,000 samples, 10 MHz frames back to back with random
#            32-bit positions (about 170 million changes). sigrok-cli -O null, zbhost read, zbhost
#            decoding every frame to the report CSV, the same with the labels written, and the same
#            capture piped as raw samples (sigrok-cli -O binary | zbhost -), whose report must equal
#            the file's. Targets: decode <= 4 x sigrok, peak memory < 256 MiB. Making this capture
#            takes the generator a few minutes and about 14 GB of memory (once; it is kept).
#
# The labels go to standard output, which the timing and the memory measurement discard: written
# to /dev/null by name, a zbhost before the in-place writing of devices would replace /dev/null
# with a plain file (it renamed its temporary file over the output).
#
# Usage: bench/zbhost_bench.sh [typical|dense|all] [RUNS] [BUILD_DIR]   (default typical, 5, build/native)
# ZB_BENCH_DIR picks where the captures go (default BUILD_DIR/bench); ZB_PLUGIN another plug-in.
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-typical}
runs=${2:-5}
build=${3:-build/native}
zbhost=$(realpath "$build/tools/zbhost/zbhost")
bissgen=$(realpath "$build/tools/bissgen/bissgen")
work=${ZB_BENCH_DIR:-$build/bench}
mkdir -p "$work"
[[ -x $zbhost ]] || { echo "build zbhost first: scripts/build.sh native" >&2; exit 1; }
plugin=${ZB_PLUGIN:+--plugin $ZB_PLUGIN}

peak() {  # peak resident set of the last command of a pipeline, in KiB
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt"
}

# Runs the named commands in interleaved rounds (each round runs every command once, after one
# round of warm-up that also takes the peak memory) and prints per command the median wall time,
# its range, the median of its ratios to the first command's time in the same round, the median
# processor time (user + system, all threads) with its ratio, and the peak memory. On a shared
# machine whose speed drifts, a ratio within one round is steadier than a ratio of medians.
compare() {
  local names=() cmds=() mems=()
  while (($#)); do
    names+=("$1"); cmds+=("$2"); mems+=("$(peak sh -c "$2")"); shift 2
  done
  python3 - "$runs" "${#names[@]}" "${names[@]}" "${cmds[@]}" "${mems[@]}" <<'PY'
import resource, statistics, subprocess, sys, time
runs, n = int(sys.argv[1]), int(sys.argv[2])
names, cmds, mems = sys.argv[3:3 + n], sys.argv[3 + n:3 + 2 * n], sys.argv[3 + 2 * n:3 + 3 * n]
def children_cpu():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime
wall = {name: [] for name in names}
cpu = {name: [] for name in names}
for r in range(runs):
    for name, cmd in zip(names, cmds):
        c0, t0 = children_cpu(), time.perf_counter()
        if subprocess.run(["sh", "-c", cmd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
            print(f"bench: {name} failed in round {r}", file=sys.stderr)
        wall[name].append(time.perf_counter() - t0)
        cpu[name].append(children_cpu() - c0)
med = statistics.median
base = names[0]
print(f"{'command':<22} {'median s':>9} {'min s':>7} {'max s':>7} {'ratio':>6} {'cpu s':>7} {'ratio':>6} {'peak MiB':>9}")
for name, mem in zip(names, mems):
    w, c = wall[name], cpu[name]
    ratio = med(a / b for a, b in zip(w, wall[base]))
    cpuRatio = med(a / max(b, 1e-9) for a, b in zip(c, cpu[base]))
    print(f"{name:<22} {med(w):9.3f} {min(w):7.3f} {max(w):7.3f} {ratio:6.2f} {med(c):7.3f} {cpuRatio:6.2f} "
          f"{int(mem)/1024:9.1f}")
print(f"({runs} interleaved rounds; ratios are medians of the ratios within a round)")
PY
}

if [[ $which == typical || $which == all ]]; then
  capture=$work/zbhost_typical.sr
  [[ -s $capture ]] || "$zbhost" generate "$capture" --frames 4000 --samples 640000000 --clock 2.3MHz \
    --samplerate 200MHz
  "$zbhost" read "$capture"
  echo "== typical capture"
  compare \
    sigrok-read "sigrok-cli -i $capture -O null" \
    zbhost-read "$zbhost read $capture" \
    zbhost-decode "$zbhost $capture $plugin --no-progress --report-csv $work/typical.csv"
fi

if [[ $which == dense || $which == all ]]; then
  capture=$work/zbhost_dense.sr
  [[ -s $capture ]] || "$bissgen" --frames 1950000 --clock-hz 10e6 --sample-rate 100e6 --pause-ns 1000 \
    --timeout-ns 500 --data-bits 32 --st-bits 20 --sr "$capture" >/dev/null
  "$zbhost" read "$capture"
  settings="$plugin --no-progress --data-length 32 --data-length auto --st-bits 20"
  echo "== dense capture"
  compare \
    sigrok-read "sigrok-cli -i $capture -O null" \
    zbhost-read "$zbhost read $capture" \
    zbhost-decode "$zbhost $capture $settings --report-csv $work/dense.csv" \
    zbhost-decode-labels "$zbhost $capture $settings --report-csv $work/dense.csv --labels -" \
    zbhost-piped "sigrok-cli -i $capture -O binary | $zbhost - --format binary --samplerate 100MHz \
      --unitsize 1 $settings --report-csv $work/dense-piped.csv"
  # Where the decode's time goes, as zbhost tells it (decode, of which waiting for the readers).
  "$zbhost" "$capture" $settings --report-csv "$work/dense.csv"
  sigrok-cli -i "$capture" -O binary | "$zbhost" - --format binary --samplerate 100MHz --unitsize 1 $settings \
    --report-csv "$work/dense-piped.csv"
  cmp "$work/dense.csv" "$work/dense-piped.csv" && echo "piped report = file report"
fi
