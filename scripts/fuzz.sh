#!/usr/bin/env bash
# Runs one fuzz target for a while (libFuzzer, address and undefined-behaviour
# sanitizers), in build-fuzz/ built with clang (installed when missing).
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   scripts/fuzz.sh list          the targets
# The target starts from its seeds in tests/fuzz/corpus/TARGET/ and keeps what
# it finds in build-fuzz/corpus/TARGET/; a crash, a sanitizer report or an
# input that runs longer than 10 s ends the run with a non-zero code and its
# input in build-fuzz/artifacts/TARGET/. Such an input goes into the tree's
# corpus (the normal test suite replays it) once the fault is mended.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
targets=(input language endf auxdata splitter)

if [ "${1:-}" = "list" ]; then
  printf '%s\n' "${targets[@]}"
  exit 0
fi
if [ $# -lt 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options...] | scripts/fuzz.sh list" >&2
  exit 2
fi
target="$1"
seconds="$2"
shift 2
if [[ ! " ${targets[*]} " =~ " ${target} " ]]; then
  echo "unknown fuzz target \"$target\" (scripts/fuzz.sh list)" >&2
  exit 2
fi

# clang with the libFuzzer runtime, from the distribution's packages.
if ! command -v clang++ >/dev/null 2>&1; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends clang
fi

dir="$root/build-fuzz"
jobs="${TQ_FUZZ_BUILD_JOBS:-$(nproc)}"
if [ ! -f "$dir/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_WERROR=ON \
    -DTQ_FUZZ=ON -DTQ_TESTS=OFF >/dev/null
fi
cmake --build "$dir" --target "fuzz_$target" -j "$jobs"

work="$dir/corpus/$target"
artifacts="$dir/artifacts/$target"
mkdir -p "$work" "$artifacts"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
dict=()
[ -f "$root/tests/fuzz/$target.dict" ] && dict=(-dict="$root/tests/fuzz/$target.dict")
exec "$dir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" "$@" "$work" "$root/tests/fuzz/corpus/$target"
