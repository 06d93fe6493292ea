#!/usr/bin/env bash
# The main job on a built-in example: installs what is needed, builds the native tree, then lets
# zbhost (the command-line host) make an example BiSS-C capture, decode it through the plug-in
# ZbBiSS64.so and write the labels, the report and SVG pictures of the waveform into out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh native
out=${1:-out}
build/native/tools/zbhost/zbhost demo --out "$out"
echo "demo: outputs are in $(cd "$out" && pwd)"
