// The set-up progress line: one console line, rewritten at most about once a
// second, with the name of the current set-up phase, the seconds spent in it
// and the percentage done.
//
// The state is not locked: only one thread prints at a time (thread 0 of the
// voxel-data and cell-volume workers, or the driver while no worker runs).
#pragma once

#include <cstddef>
#include <cstdint>

// Set-up phases, the index into kSetupPhaseText.
enum SetupPhase : int32_t {
  kPhaseOverlapCheck = 0,
  kPhaseVoxelData = 1,
  kPhaseMergeVoxels = 2,
  kPhasePrepareVolumes = 3,
  kPhaseCellVolumes = 4,
};
constexpr int32_t kSetupPhaseCount = 5;

namespace geometry {
// Text of each phase, printed before ": %-.0f s (%-.3f %%)".
extern const char* const kSetupPhaseText[kSetupPhaseCount];
}  // namespace geometry

// Progress state shared by the set-up phases and the run monitor.
struct SetupProgress {
  double phaseStart;       // clock time at which the phase started, s
  double lastLineTime;     // time of the last printed line since the phase start, s
  int32_t lastLineLength;  // characters of the last printed line, without its padding
};

namespace geometry {
extern SetupProgress setupProgress;
}  // namespace geometry

// Seconds on the progress clock: the process clock's ticks (ms) times 0.001.
double SetupProgressClock();

// Starts a phase: phase start = now, last line time 0. With resetLength the
// length of the last line is also set to 0 (before the overlap check).
void RestartSetupProgress(SetupProgress* state, double nowSeconds, bool resetLength);

// Capacity of a progress line, with its padding and terminating zero.
constexpr size_t kSetupLineCapacity = 256;

// The line due at nowSeconds, if any: returns its length with the padding
// (the text goes to line, zero-terminated) and updates the state, or returns 0
// and leaves the state alone when not more than 1.0 s has passed since the
// last line of the phase (or since its start).
int32_t ComposeSetupProgress(SetupProgress* state, double nowSeconds, int32_t phase, int64_t done, int64_t total,
                             char line[kSetupLineCapacity]);

// Prints the due line of the phase to the console with "%s\r".
void ShowSetupProgress(int32_t phase, int64_t done, int64_t total);
