#!/usr/bin/env bash
# Runs every test: the source format check and the layer check of src/; the native unit, export,
# golden and tool tests; the same suite under AddressSanitizer + UndefinedBehaviorSanitizer; each
# fuzz target for a few seconds from its seed corpus; then the Windows build's tests under wine
# (the dialog under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh all
export WINEDEBUG=-all
status=0
echo "== source format"
bash scripts/check-format.sh || status=1
echo "== source layers"
python3 scripts/check-layers.py || status=1
echo "== native tests"
ctest --test-dir build/native --output-on-failure -j"$(nproc)" || status=1
echo "== native tests under AddressSanitizer + UndefinedBehaviorSanitizer"
bash scripts/sanitize.sh || status=1
echo "== fuzzing (${ZB_FUZZ_SECONDS:-10} s per target)"
ZB_FUZZ_SEED="${ZB_FUZZ_SEED:-20261206}" bash scripts/fuzz.sh "${ZB_FUZZ_SECONDS:-10}" || status=1
echo "== Windows tests under wine"
ctest --test-dir build/win64 --output-on-failure || status=1
exit $status
