#!/usr/bin/env bash
# Speed of one Trenqual run with W workers (one stream each), from the run
# loop's own "Elapsed time" (set-up excluded):
#   bench/run/time_run.sh TRENQUAL INPUT N W [ENDF folder]
# Prints histories/s, events/s (electron and photon collisions of the run's
# interaction statistics) and ns per event per worker. Take it when `uptime`
# shows a low load: it is wall-clock time on a shared machine.
set -euo pipefail
program="$1"
input="$2"
histories="$3"
workers="$4"
endf="${5:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/data/endf/}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ln -s "$(cd "$(dirname "$program")" && pwd)/Data" "$work/Data"
cp "$program" "$work/Trenqual"
cp "$input" "$work/run.txt"
cd "$work"
./Trenqual in run.txt dir "$endf" tasks "$workers" nStreams "$workers" seed 11 N "$histories" \
  >console.txt 2>&1 </dev/null
seconds=$(sed -n 's/^Elapsed time = \([0-9.]*\) s.*/\1/p' run_out.txt)
events=$(awk '/total collisions/ { n += $(NF-2) } END { print n }' run_out.txt)
awk -v s="$seconds" -v e="$events" -v n="$histories" -v w="$workers" 'BEGIN {
  printf "workers %d seconds %.3f histories/s %.1f events/s %.4g ns/event/worker %.1f\n",
         w, s, n / s, e / s, 1e9 * s * w / e
}'
