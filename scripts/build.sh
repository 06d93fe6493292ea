#!/usr/bin/env bash
# Builds the native tree (build/native) and the Windows tree (build/win64).
# Usage: scripts/build.sh [native|win64|all]   (default: all)
set -euo pipefail
cd "$(dirname "$0")/.."
which=${1:-all}
jobs=$(nproc)
if [[ $which == native || $which == all ]]; then
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build/native -j"$jobs"
fi
if [[ $which == win64 || $which == all ]]; then
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win64 -j"$jobs"
fi
