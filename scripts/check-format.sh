#!/usr/bin/env bash
# Fails when a C++ source of the tree differs from what clang-format makes of it (.clang-format at
# the root). With --fix it formats the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.inc')
if [[ ${1:-} == --fix ]]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=0
for f in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "format: $f differs from clang-format (run scripts/check-format.sh --fix)"
    bad=1
  fi
done
exit $bad
