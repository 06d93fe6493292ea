#!/usr/bin/env bash
# zbhost fails cleanly: an output in a missing directory, an output that is a directory and a missing
# --temp-dir are refused before the capture is read, with the reason; an output that is a named pipe
# is written into the pipe, which stays one; and a run stopped by SIGINT or SIGTERM in the middle of
# writing its outputs (held there by a full pipe) leaves no new output, no partial file and none of
# the plug-in's temporary files, keeps an earlier output as it was, and ends with the signal's status.
# Usage: zbhost_clean_failure.sh ZBHOST PLUGIN WORKDIR
set -u
zbhost=$(realpath "$1") plugin=$(realpath "$2") work=$3
rm -rf "$work" && mkdir -p "$work/out" "$work/tmp" && cd "$work" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

"$zbhost" generate capture.vcd --frames 400 --samples 0 --registers-every 10 2>/dev/null || fail "generate"

for refused in "--frames missing/frames.csv" "--temp-dir missing"; do
  # shellcheck disable=SC2086
  message=$("$zbhost" capture.vcd --plugin "$plugin" $refused 2>&1)
  [[ $? == 1 && $message == *"missing"*"No such file or directory"* && $message != *records* ]] ||
    fail "$refused: $message"
done
message=$("$zbhost" capture.vcd --plugin "$plugin" --summary out 2>&1)
[[ $? == 1 && $message == *"cannot write 'out': it is a directory"* ]] || fail "--summary out: $message"

mkfifo summary.pipe
"$zbhost" capture.vcd --plugin "$plugin" --no-progress --quiet --samplerate 200MHz --summary summary.pipe &
timeout 10 cat summary.pipe >summary.json
wait $! || fail "a summary into a named pipe: exit status $?"
[[ -p summary.pipe && $(<summary.json) == *'"frames"'* ]] || fail "a summary into a named pipe: $(<summary.json)"

mkfifo labels.pipe
exec 3<>labels.pipe  # both ends held here: zbhost's writes block once the pipe is full
echo earlier >out/report.txt
for signal in INT TERM; do
  set -m  # zbhost in a process group of its own: a script's background jobs ignore SIGINT
  "$zbhost" capture.vcd --plugin "$plugin" --no-progress --quiet --samplerate 200MHz --temp-dir tmp \
    --labels - --frames out/frames.csv --summary out/summary.json --svg out/wave.svg --report out/report.txt \
    >labels.pipe 2>stderr.txt &
  pid=$!
  set +m
  for _ in $(seq 400); do
    compgen -G "tmp/zbhost-$pid-*/Zb*.tmp" >/dev/null && break
    sleep 0.05
  done
  compgen -G "tmp/zbhost-$pid-*/Zb*.tmp" >/dev/null || fail "SIG$signal: the decode did not start"
  sleep 0.2
  kill -"$signal" "$pid"
  cat labels.pipe >/dev/null &
  drain=$!
  wait "$pid"
  status=$?
  kill "$drain" 2>/dev/null
  wait "$drain" 2>/dev/null
  expected=$((128 + $(kill -l "$signal")))
  [[ $status == "$expected" ]] || fail "SIG$signal: exit status $status, not $expected: $(cat stderr.txt)"
  grep -q "interrupted" stderr.txt || fail "SIG$signal: no message"
  left=$(find out tmp -mindepth 1 ! -path out/report.txt)
  [[ -z $left ]] || fail "SIG$signal left files: $left"
  [[ $(<out/report.txt) == earlier ]] || fail "SIG$signal changed the earlier report"
  [[ ! -e /dev/shm/zbhost_${pid}_report ]] || fail "SIG$signal left the report block"
done
echo "clean failure: refusals and interrupted runs leave nothing behind"
