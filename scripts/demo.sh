#!/usr/bin/env bash
# The main job on a built-in example: installs what the demo needs (compiler, CMake, libzip), builds
# only the plug-in and zbhost (no tests, benchmarks or Windows build), then lets zbhost (the
# command-line host) make an example BiSS-C capture, decode it through the plug-in ZbBiSS64.so and
# write the summary, the frames table, the labels, the report and SVG pictures into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh demo
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$(nproc)" --target zbhost ZbBiSS64
out=${1:-out}
build/native/tools/zbhost/zbhost demo --out "$out"
echo "demo: outputs are in $(cd "$out" && pwd)"
