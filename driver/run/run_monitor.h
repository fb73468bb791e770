// The once-a-second run monitor: the progress line, the keys (Esc then Q
// ends the run), the tally files due during the run, the error targets that
// end the run when met, and the request for a re-deal of the CPU streams.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A tally that the monitor watches (written during the run or with a target
// error), in the order the monitor visits them: pulse-height tallies, plane
// tallies of classes 0, 1, 2, cell-entry tallies of classes 0, 1, 2.
enum ControlFamily : int32_t { kPulseHeightFamily = 0, kPlaneFamily = 1, kCellEntryFamily = 2 };

struct CONTROLENTRY {
  int32_t family;       // ControlFamily
  int32_t tallyClass;   // 0 electrons, 1 photons, 2 all (plane and cell-entry tallies)
  int32_t index;        // index of the tally in its table
  int32_t targetKind;   // TargetErrorKind; kNoTarget: only written during the run
  double target;        // target relative standard deviation
  double error;         // current relative error, refreshed at every tick (0: no estimate yet)
  std::string label;    // name in the progress line: "T3", "PT", "PHC5_2", ...
};
extern std::vector<CONTROLENTRY> controlEntries;

// Refreshes the current errors of controlEntries and writes the tally files
// that are due; now is the run time (s), invHistories 1 / started histories.
// Tests replace it.
using ControlRefreshFunction = void (*)(double now, double invHistories);
extern ControlRefreshFunction controlRefresh;

// --- Monitor state ---
extern double lastTick;              // run time of the last tick, s; -2.0 forces the next tick
extern int32_t lastLineLength;       // length of the last printed line
extern bool terminateRequested;      // the run is to end as soon as possible
extern uint64_t nFinishedCpu;        // finished histories of the CPU records at the last tick

// The tick; returns at once unless more than 1.0 s has passed since the last
// one. final: the end-of-run call; print: show the line.
void ShowProgress(bool final, bool print);

// Clears the tick state before the run (called by the hand-over).
void ResetRunMonitor();

// Builds controlEntries from the control-tally lists of the input.
void BuildControlEntries();

// Histories started by the CPU records so far.
uint64_t StartedCpuHistories();
