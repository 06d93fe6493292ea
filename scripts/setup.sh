#!/usr/bin/env bash
# Installs what the builds, tests and demo need on a fresh Debian machine (idempotent).
# Usage: scripts/setup.sh [demo]   (demo: only what configuring the tree and building the plug-in
# and zbhost need, without the Windows cross-compiler, wine, the fuzzing and the test tools)
set -euo pipefail
if [[ ${1:-} == demo ]]; then
  packages=(cmake g++ make pkg-config libzip-dev zlib1g-dev libisal-dev googletest libgtest-dev libbenchmark-dev)
else
  packages=(cmake g++ make pkg-config clang clang-format libclang-rt-14-dev libgtest-dev googletest
            libbenchmark-dev g++-mingw-w64-x86-64-posix wine64 xvfb imagemagick xdotool libzip-dev
            zlib1g-dev libisal-dev sigrok-cli hyperfine python3)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
