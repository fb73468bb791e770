// Cell-entry tallies ECELL_ENTRY<n> (electrons and positrons), PCELL_ENTRY<n>
// (photons) and CELL_ENTRY<n> (all particles): particles that enter one cell,
// or a union of cells, through chosen bounding surfaces or from the cells
// inside it, binned in energy by E ranges. Each tally is registered in the
// cells it covers, per bounding surface, for the scoring.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cell_entry.h"
#include "core/tally.h"
#include "driver/input/keyword_names.h"

namespace directives {
extern std::vector<CELLENTRYTALLY> cellEntryTally[kTallyClassCount];  // per class, in the order of the directives
extern int32_t nCellEntryTallies[kTallyClassCount];
// Per class: the tallies written during the run or with a target error.
extern std::vector<CONTROLTALLY> cellEntryControlTallies[kTallyClassCount];
}  // namespace directives

// The directive module: true when word begins with ECELL_ENTRY, PCELL_ENTRY
// or CELL_ENTRY (repeatable; second pass only).
bool HandleCellEntryDirective(const char* word);

// Appends ECELL_ENTRY<n>, PCELL_ENTRY<n> and CELL_ENTRY<n> (the manual's names).
void ListCellEntryDirectives(KEYWORDNAMES* names);

// The state before the passes.
void ResetCellEntryDirectives();
