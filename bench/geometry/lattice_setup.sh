#!/usr/bin/env bash
# Set-up time and peak memory of a 100-cell geometry: a 5 x 5 x 4 lattice of
# spheres (radius 4 cm, 20 cm apart) in a box of air, voxel planes every 5 cm,
# cell volumes with the default point budget. Runs `Trenqual ... check -1`
# (the set-up only) and prints the wall time and the peak resident memory.
# The set-up ends with the element data of the two materials (ENDF folder).
#   bench/geometry/lattice_setup.sh [path/to/Trenqual] [NTHREADS_GEOM] [ENDF folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
program="${1:-$root/build-test/bin/Trenqual}"
threads="${2:-8}"
endf="${3:-$root/../shared/data/endf/}"
folder="$(mktemp -d)"
trap 'rm -rf "$folder"' EXIT
input="$folder/lattice.txt"
{
  echo "M1 7 -0.755 8 -0.232 18 -0.013"
  echo "M2 82 1"
  echo "S1 RPP -50 50 -50 50 -50 50"
  n=1
  for z in -30 -10 10 30; do
    for y in -40 -20 0 20 40; do
      for x in -40 -20 0 20 40; do
        n=$((n + 1))
        echo "S$n S $x $y $z 4"
        echo "C$((n - 1)) 2 3.3e22 -$n"
      done
    done
  done
  inner=""
  for ((c = 1; c <= 100; ++c)); do inner="$inner #$c"; done
  echo "C101 1 5.0e19 -1$inner"
  echo "COORD_X -50 20 50"
  echo "COORD_Y -50 20 50"
  echo "COORD_Z -50 20 50"
  echo "NTHREADS_GEOM $threads"
  echo "N 1000"
  echo "PART P"
  echo "SOURCE_POSITION 1 0 0 -49"
  echo "1"
} > "$input"
cd "$folder"
/usr/bin/time -f "wall %e s, peak resident memory %M kB" "$program" in lattice.txt dir "$endf" check -1 2>&1 | tr '\r' '\n' |
  grep -v '^ *$' | tail -3
