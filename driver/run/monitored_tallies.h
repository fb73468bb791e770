// The tally files of the run: the context that the tally writers read, and
// the monitor's step that writes the files due during the run and refreshes
// the error figures of the tallies with target errors.
#pragma once

#include <cstdint>

#include "driver/results/tally_files.h"

// The writers' context over records[0 .. nRecords-1]: the live CPU records
// during the run, the totals record at its end.
TALLYFILECONTEXT MakeTallyFileContext(const CTask* records, int32_t nRecords);

// For every watched tally (controlEntries, in their order): writes its file
// when its output interval has passed since its last writing (now: run time,
// s), else, when it has a target error, only recomputes its error figure.
// invHistories (1 / started histories) scales per-source values.
void CollectDeviceTallies(double now, double invHistories);

// Forgets the times of the last writings (a new run).
void ResetMonitoredTallies();
