#!/usr/bin/env bash
# Thread scaling of Trenqual, with the machine's own limit beside it:
#   bench/run/scaling.sh TRENQUAL INPUT N W [ENDF folder] [rounds]
# Each round times, in turn, three things on the same input (N histories per
# worker, the default 64 streams):
#   one   - one worker alone;
#   run   - one run with W workers (W N histories);
#   procs - W one-worker runs at the same time (seeds 11, 12, ...), which
#           share nothing but the machine.
# The order of "run" and "procs" alternates from round to round: a shared
# machine slows down under sustained load, and whatever runs second would
# otherwise be measured on a slower machine.
# Per round it prints the histories/s of each (for procs, all histories over
# the slowest run's time), the processor time per history (user + system of
# the runs, set-up included) and two ratios:
#   scaling = run / (W one), what the program gets from W workers;
#   machine = procs / (W one), what W independent one-worker runs get.
# When scaling is close to machine, the limit is the machine's (clock,
# caches, memory, other guests), not the program's. Take it when `uptime`
# shows a low load.
set -euo pipefail
program="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
input="$2"
histories="$3"
workers="$4"
endf="${5:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/data/endf/}"
rounds="${6:-3}"
data="$(dirname "$program")/Data"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Runs the program in a folder of its own: run FOLDER TASKS N SEED. Leaves the
# run loop's seconds in FOLDER/seconds and the processor seconds in FOLDER/cpu.
run() {
  local folder="$1"
  mkdir -p "$folder"
  cp "$input" "$folder/run.txt"
  (
    cd "$folder"
    TIMEFORMAT='%U %S'
    { time ../Trenqual in run.txt dir "$endf" tasks "$2" seed "$4" N "$3" >console.txt 2>&1 </dev/null; } 2>times.txt || true
    awk '{ print $1 + $2 }' times.txt >cpu
    sed -n 's/^Elapsed time = \([0-9.]*\) s.*/\1/p' run_out.txt >seconds 2>/dev/null || true
    if [[ ! -s seconds ]]; then
      echo "scaling.sh: the run in $folder failed:" >&2
      tail -5 console.txt >&2
      exit 1
    fi
  )
}

# The program reads its auxiliary files from Data beside it.
cp "$program" "$work/Trenqual"
ln -s "$data" "$work/Data"
total=$((histories * workers))
for round in $(seq 1 "$rounds"); do
  rm -rf "$work"/r*
  run "$work/r1" 1 "$histories" 11
  if ((round % 2 == 1)); then order="run procs"; else order="procs run"; fi
  for part in $order; do
    if [[ $part == run ]]; then
      run "$work/rw" "$workers" "$total" 11
    else
      for i in $(seq 1 "$workers"); do run "$work/rp$i" 1 "$histories" $((10 + i)) & done
      wait
    fi
  done
  one=$(cat "$work/r1/seconds")
  oneCpu=$(cat "$work/r1/cpu")
  many=$(cat "$work/rw/seconds")
  manyCpu=$(cat "$work/rw/cpu")
  procs=$(cat "$work"/rp*/seconds | sort -g | tail -1)
  procsCpu=$(cat "$work"/rp*/cpu | awk '{ s += $1 } END { print s }')
  awk -v round="$round" -v order="$order" -v n="$histories" -v w="$workers" -v one="$one" -v oneCpu="$oneCpu" \
      -v many="$many" -v manyCpu="$manyCpu" -v procs="$procs" -v procsCpu="$procsCpu" 'BEGIN {
    rOne = n / one; rRun = n * w / many; rProcs = n * w / procs
    printf "round %d (%s): one %.0f h/s %.3f us/h | run %.0f h/s %.3f us/h | procs %.0f h/s %.3f us/h | scaling %.1f %% machine %.1f %%\n",
           round, order, rOne, 1e6 * oneCpu / n, rRun, 1e6 * manyCpu / (n * w), rProcs, 1e6 * procsCpu / (n * w),
           100 * rRun / (w * rOne), 100 * rProcs / (w * rOne)
  }'
done
