#include "driver/setup/tally_tables_fill.h"

#include <vector>

#include "core/cell.h"
#include "core/cell_entry.h"
#include "core/constants.h"
#include "core/tally_tables.h"
#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"

namespace {

// Pulse-height slot of every cell index, -1 for a cell without one.
std::vector<int32_t> pulseHeightSlotOfCell;

void FillPlaneTallies(TALLYTABLES& tt) {
  tt.rangeData = directives::rangeData;
  tt.tallyData = directives::tallyData;
  for (int q = 0; q < kQuantityCount; ++q) tt.nRanges[q] = directives::nRanges[q];
  tt.planeTalliesPresent = false;
  for (int k = 0; k < kTallyClassCount; ++k) {
    const TALLYLAYOUT& layout = directives::tallyLayout[k];
    tt.nPlaneTalliesTot[k] = directives::nPlaneTalliesTot[k];
    tt.oneDimHalf[k] = layout.oneDimHalf.data();
    tt.twoDimHalf[k] = layout.twoDimHalf.data();
    tt.nOneDimSlots[k] = static_cast<int32_t>(layout.oneDimHalf.size());
    tt.nTwoDimSlots[k] = static_cast<int32_t>(layout.twoDimHalf.size());
    if (directives::nPlaneTalliesTot[k] > 0) tt.planeTalliesPresent = true;
  }
}

void FillPulseHeightTallies(TALLYTABLES& tt, int32_t nCells) {
  tt.pulseHeightTally = directives::pulseHeightTally.data();
  tt.nPulseHeight_tot = directives::nPulseHeight_tot;
  tt.cellsPulseHeight = directives::cellsPulseHeight.data();
  tt.nCellsPulseHeight = directives::nCellsPulseHeight;
  pulseHeightSlotOfCell.assign(static_cast<size_t>(nCells), -1);
  for (int16_t i = 0; i < directives::nCellsPulseHeight; ++i) {
    const int16_t c = directives::cellsPulseHeight[static_cast<size_t>(i)];
    if (c >= 0 && c < nCells) pulseHeightSlotOfCell[static_cast<size_t>(c)] = i;
  }
  tt.pulseHeightSlotOfCell = pulseHeightSlotOfCell.empty() ? nullptr : pulseHeightSlotOfCell.data();
}

// The cell-entry sites of the scoring, one per cell, made from the cells'
// registration per bounding surface (CELL::cellEntryCount).
std::vector<CELLENTRYSITE> cellEntrySites;

// The cell-entry tally records of each class and, when there are any, the
// sites of the cells.
void FillCellEntryTallies(TALLYTABLES& tt, const Constants& k, int32_t nCells) {
  bool any = false;
  for (int c = 0; c < kTallyClassCount; ++c) {
    tt.cellEntryTally[c] = directives::cellEntryTally[c].empty() ? nullptr : directives::cellEntryTally[c].data();
    tt.nCellEntryTallies[c] = directives::nCellEntryTallies[c];
    any = any || directives::nCellEntryTallies[c] > 0;
  }
  cellEntrySites.assign(any ? static_cast<size_t>(nCells) : 0, CELLENTRYSITE{});
  for (int32_t i = 0; i < static_cast<int32_t>(cellEntrySites.size()); ++i) {
    const CELL& cell = k.cell[i];
    CELLENTRYSITE& site = cellEntrySites[static_cast<size_t>(i)];
    site.unionIndex = cell.unionIndex;
    site.enclosingCell = cell.enclosingCell;
    site.nEntrySlots = cell.nEntrySlots;
    for (int row = 0; row < kTallyClassCount && row < kCellEntryRows; ++row) {
      site.hasCellEntry[row] = cell.hasCellEntry[row];
      site.cellEntryCount[row] = cell.cellEntryCount[row];
      site.cellEntryList[row] = cell.cellEntryList[row];
    }
  }
  tt.cellEntrySites = cellEntrySites.empty() ? nullptr : cellEntrySites.data();
}

}  // namespace

void FillTallyTables() {
  const Constants& k = core::hostConstants;
  const int32_t nCells = k.cell != nullptr && k.nCells > 0 ? k.nCells : 0;
  TALLYTABLES tt;
  FillPlaneTallies(tt);
  FillCellEntryTallies(tt, k, nCells);
  tt.nCells = nCells;
  FillPulseHeightTallies(tt, nCells);
  core::hostTallyTables = tt;
}
