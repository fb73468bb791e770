#!/usr/bin/env bash
# Instructions and cache misses per event of one Trenqual run on one
# worker, counted by callgrind inside the run loop only (set-up excluded):
#   bench/run/count_events.sh TRENQUAL INPUT N [ENDF folder]
# Prints histories, events (electron and photon collisions of the run's
# interaction statistics), instructions per event, and the L1 data and
# second-level data misses (reads and writes, of a simulated 1 MB cache)
# per event. The counts are those of the machine's code, repeatable
# whatever else runs on the machine.
set -euo pipefail
program="$1"
input="$2"
histories="$3"
endf="${4:-$(cd "$(dirname "$0")/../../.." && pwd)/shared/data/endf/}"
work="$(mktemp -d)"
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
mkdir -p "$work/Data"
cp "$(dirname "$program")"/Data/*.dat "$work/Data/" 2>/dev/null || true
cp "$program" "$work/Trenqual"
cp "$input" "$work/run.txt"
cd "$work"
valgrind --tool=callgrind --cache-sim=yes --D1=32768,8,64 --LL=1048576,8,64 --toggle-collect='CTask::RunHistories()' \
  --callgrind-out-file=cg.out ./Trenqual in run.txt dir "$endf" tasks 1 nStreams 1 seed 11 N "$histories" \
  >console.txt 2>valgrind.txt </dev/null
events=$(awk '/total collisions/ { n += $(NF-2) } END { print n }' run_out.txt)
callgrind_annotate cg.out 2>/dev/null | awk -v events="$events" -v n="$histories" '
  /^Events shown:/ { for (i = 3; i <= NF; ++i) column[$i] = i - 2 }
  /PROGRAM TOTALS/ {
    gsub(",", "");
    gsub(/\([^)]*\)/, "");
    split($0, v, " +");
    k = 0;
    for (i = 1; i <= length(v); ++i) if (v[i] ~ /^[0-9.]+$/) count[++k] = v[i];
    ir = count[column["Ir"]];
    d1 = count[column["D1mr"]] + count[column["D1mw"]];
    ll = count[column["DLmr"]] + count[column["DLmw"]];
    printf "histories %d events %d events/history %.1f Ir/event %.1f D1miss/event %.3f L2miss/event %.4f\n",
           n, events, events / n, ir / events, d1 / events, ll / events
  }'
