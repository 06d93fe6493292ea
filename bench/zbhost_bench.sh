#!/usr/bin/env bash
# zbhost against sigrok-cli on one large sigrok session file: 200 MHz sampling, at least 600,000,000
# samples, about 4,000 BiSS-C frames at 2.5 MHz with register accesses riding on CDM/CDS.
# Measures, side by side in one run: sigrok-cli only reading the file (-O null), zbhost only reading
# it (zbhost read), and zbhost decoding it through the plug-in up to the report (wire text and CSV);
# medians of several runs with hyperfine, peak memory with /usr/bin/time -v.
# Usage: bench/zbhost_bench.sh [BUILD_DIR] [RUNS]   (default build/native, 5 runs)
# ZB_PLUGIN=path selects another plug-in file than the one built next to zbhost.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
runs=${2:-5}
zbhost=$build/tools/zbhost/zbhost
work=$build/bench
capture=$work/zbhost_large.sr
mkdir -p "$work"
rm -f "$work/report.txt" "$work/report.csv"
[[ -x $zbhost ]] || { echo "build zbhost first: scripts/build.sh native" >&2; exit 1; }

if [[ ! -s $capture ]]; then
  "$zbhost" generate "$capture" --frames 4000 --samples 600000000 --clock 2.5MHz --samplerate 200MHz
fi
"$zbhost" read "$capture"

sigrok="sigrok-cli -i $capture -O null"
reader="$zbhost read $capture"
decode="$zbhost $capture ${ZB_PLUGIN:+--plugin $ZB_PLUGIN} --no-progress --report $work/report.txt --report-csv $work/report.csv"

hyperfine --warmup 1 --runs "$runs" --export-json "$work/zbhost_bench.json" \
  -n sigrok-read "$sigrok" -n zbhost-read "$reader" -n zbhost-decode "$decode"

peak() {  # peak resident set of a command in KiB
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': ' '/Maximum resident set size/ {print $2}'
}
python3 - "$work/zbhost_bench.json" "$(peak $sigrok)" "$(peak $reader)" "$(peak $decode)" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
mem = dict(zip(["sigrok-read", "zbhost-read", "zbhost-decode"], sys.argv[2:5]))
base = results["sigrok-read"]["median"]
print(f"{'command':<14} {'median s':>9} {'min s':>7} {'max s':>7} {'vs sigrok':>9} {'peak MiB':>9}")
for name in ["sigrok-read", "zbhost-read", "zbhost-decode"]:
    r = results[name]
    print(f"{name:<14} {r['median']:9.3f} {r['min']:7.3f} {r['max']:7.3f} {r['median']/base:9.2f} {int(mem[name])/1024:9.1f}")
PY
