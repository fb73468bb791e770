// The once-a-second run monitor: the progress line, the keys (Esc then Q
// ends the run), the tally files due during the run, the error targets that
// end the run when met, and the request for a re-deal of the CPU streams.
#pragma once

#include <cstdint>

#include "driver/run/monitored_tallies.h"

// Refreshes the current errors of controlEntries and writes the tally files
// that are due; now is the run time (s), invHistories 1 / started histories.
// Tests replace it.
using ControlRefreshFunction = void (*)(double now, double invHistories);
namespace run {
extern ControlRefreshFunction controlRefresh;

// --- Monitor state ---
extern double lastTick;          // run time of the last tick, s; -2.0 forces the next tick
extern int32_t lastLineLength;   // length of the last printed line
extern bool terminateRequested;  // the run is to end as soon as possible
extern uint64_t nFinishedCpu;    // finished histories of the CPU records at the last tick
}  // namespace run

// The tick; returns at once unless more than 1.0 s has passed since the last
// one. The clock is read at every 256th call (a negative lastTick reads it
// at once), so the tick comes within 256 calls after the second has passed.
// final: the end-of-run call; print: show the line.
void ShowProgress(bool final, bool print);

// ShowProgress reading the clock at every call: the main thread's call after
// each device cycle (a cycle lasts a time slice, so counting calls would put
// the tick off by 256 slices).
void ShowProgressOfCycle(bool final, bool print);

// Clears the tick state before the run (called by the hand-over).
void ResetRunMonitor();

// Builds controlEntries from the control-tally lists of the input.
void BuildControlEntries();

// Histories started by the CPU records so far.
uint64_t StartedCpuHistories();
