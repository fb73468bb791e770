// The tally arrays of a worker record: allocated at set-up to the sizes the
// tally definitions call for, freed with the record, and summed into the
// totals record after the run.
#pragma once

#include "core/tally_tables.h"
#include "core/task.h"

// Allocates the worker's tally arrays (zeroed) and its binning scratch for
// the tallies of tt: count arrays in counting mode, weight arrays when the
// record carries particle weights (task.bank.wt), energy arrays for tallies
// with the energy flux or deposition. Returns false when memory runs out
// (the arrays allocated so far stay with the record for FreeTaskTallies).
bool AllocateTaskTallies(CTask& task, const TALLYTABLES& tt, bool weighted);

// Frees what AllocateTaskTallies allocated and clears the pointers.
void FreeTaskTallies(CTask& task, const TALLYTABLES& tt);

// Adds the tally arrays and the unresolved cell-entry count of worker into
// totals (both allocated for tt with the same mode). The per-history
// deposits are not summed: they are empty after every history.
void AddTaskTallies(CTask& totals, const CTask& worker, const TALLYTABLES& tt, bool weighted);

// Copies the tally arrays of worker into copy (both allocated for tt with the
// same mode): the run monitor's snapshot of a worker.
void CopyTaskTallies(CTask& copy, const CTask& worker, const TALLYTABLES& tt, bool weighted);
