#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
#   scripts/test.sh         normal build in build-test/
#   scripts/test.sh asan    address + undefined-behaviour sanitizers in build-asan/
#   scripts/test.sh tsan    thread sanitizer in build-tsan/
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/env.sh"
mode="${1:-normal}"
case "$mode" in
  normal) dir="$root/build-test"; flags=() ;;
  asan)   dir="$root/build-asan"; flags=(-DTQ_SANITIZE=ON) ;;
  tsan)   dir="$root/build-tsan"; flags=(-DTQ_TSAN=ON) ;;
  *) echo "usage: scripts/test.sh [normal|asan|tsan]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_WERROR=ON -DTQ_BENCH=ON "${flags[@]}"
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
