#!/usr/bin/env bash
# Configures and builds Trenqual, Trenqual_CUDA (when nvcc is present) and
# Sarvetto into build/ (programs in build/bin/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/env.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$root/build"
