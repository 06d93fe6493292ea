#!/usr/bin/env bash
# Runs every test: native unit and export tests, then the Windows build's tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh all
export WINEDEBUG=-all
status=0
echo "== native tests"
ctest --test-dir build/native --output-on-failure -j"$(nproc)" || status=1
echo "== Windows tests under wine"
ctest --test-dir build/win64 --output-on-failure || status=1
exit $status
