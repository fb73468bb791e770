#!/usr/bin/env bash
# Physics validation: builds Trenqual and the validation program, sets the
# program's results beside published data (NIST XCOM photon attenuation,
# ESTAR stopping powers and CSDA ranges, ELSEPA elastic transport cross
# sections, published thick-target backscattering) and prints one table. The
# same rows go to <output folder>/validation.csv and, where python3 has
# matplotlib, one PNG plot per quantity beside it. Deviations are reported,
# not judged (the unit tests judge); the exit status is 0 when it ran.
#   scripts/validate.sh [output folder]      default: <build folder>/validation/
# Environment: TQ_BUILD_DIR (build folder, default build/), TQ_SHARED_DATA
# (data folder, default the build's or ../shared/data), TQ_WORKERS (default:
# the number of cores).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/scripts/env.sh"
build="${TQ_BUILD_DIR:-$root/build}"
out="${1:-$build/validation}"

# The build tree of scripts/build.sh, with the tests (the validation program
# is built with them); only Trenqual and the validation program are built.
if [ ! -f "$build/CMakeCache.txt" ] || grep -q '^TQ_TESTS:BOOL=OFF' "$build/CMakeCache.txt"; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQ_TESTS=ON
fi
cmake --build "$build" --target tq_validate

if [ -z "${TQ_SHARED_DATA:-}" ]; then
  TQ_SHARED_DATA="$(sed -n 's/^TQ_SHARED_DATA:PATH=//p' "$build/CMakeCache.txt")"
  export TQ_SHARED_DATA="${TQ_SHARED_DATA:-$root/../shared/data}"
fi
"$build/tests/tq_validate" "$out" "${TQ_WORKERS:-$(nproc)}"
python3 "$root/scripts/plot_validation.py" "$out/validation.csv" || echo "The plots could not be made (the table and CSV file are complete)."
