// The tallies that the run monitor watches and their files: the watched
// entries, the context that the tally writers read, and the monitor's step
// that writes the files due during the run and refreshes the error figures
// of the tallies with target errors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "driver/results/tally_files.h"

// A tally that the monitor watches (written during the run or with a target
// error), in the order the monitor visits them: pulse-height tallies, plane
// tallies of classes 0, 1, 2, cell-entry tallies of classes 0, 1, 2.
enum ControlFamily : int32_t { kPulseHeightFamily = 0, kPlaneFamily = 1, kCellEntryFamily = 2 };

struct CONTROLENTRY {
  int32_t family;      // ControlFamily
  int32_t tallyClass;  // 0 electrons, 1 photons, 2 all (plane and cell-entry tallies)
  int32_t index;       // index of the tally in its table
  int32_t targetKind;  // TargetErrorKind; kNoTarget: only written during the run
  double target;       // target relative standard deviation
  double error;        // current relative error, refreshed at every tick (0: no estimate yet)
  std::string label;   // name in the progress line: "T3", "PT", "PHC5_2", ...
};
namespace run {
extern std::vector<CONTROLENTRY> controlEntries;
}  // namespace run

// The writers' context over records[0 .. nRecords-1]: the live CPU records
// during the run, the totals record at its end.
TALLYFILECONTEXT MakeTallyFileContext(const CTask* records, int32_t nRecords);

// For every watched tally (controlEntries, in their order), from a snapshot
// of the workers' tally arrays taken between their histories: writes its file
// when its output interval has passed since its last writing (now: run time,
// s), else, when it has a target error, only recomputes its error figure.
// invHistories (1 / started histories) scales per-source values.
void CollectDeviceTallies(double now, double invHistories);

// Forgets the times of the last writings (a new run).
void ResetMonitoredTallies();

// Allocates the copies of the workers' tally arrays that the files written
// during the run are summed from (none without watched tallies), and installs
// the workers' copy. False when memory runs out.
bool PrepareTallySnapshots();

// Frees the copies and removes the workers' copy.
void ReleaseTallySnapshots();
