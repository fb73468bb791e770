#include "driver/setup/tally_tables_fill.h"

#include <vector>

#include "core/constants.h"
#include "core/tally_tables.h"
#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"

namespace {

// Pulse-height slot of every cell index, -1 for a cell without one.
std::vector<int32_t> pulseHeightSlotOfCell;

void FillPlaneTallies(TALLYTABLES& tt) {
  tt.rangeData = rangeData;
  tt.tallyData = tallyData;
  for (int q = 0; q < kQuantityCount; ++q) tt.nRanges[q] = nRanges[q];
  tt.planeTalliesPresent = false;
  for (int k = 0; k < kTallyClassCount; ++k) {
    const TALLYLAYOUT& layout = tallyLayout[k];
    tt.nPlaneTalliesTot[k] = nPlaneTalliesTot[k];
    tt.oneDimHalf[k] = layout.oneDimHalf.data();
    tt.twoDimHalf[k] = layout.twoDimHalf.data();
    tt.nOneDimSlots[k] = static_cast<int32_t>(layout.oneDimHalf.size());
    tt.nTwoDimSlots[k] = static_cast<int32_t>(layout.twoDimHalf.size());
    if (nPlaneTalliesTot[k] > 0) tt.planeTalliesPresent = true;
  }
}

void FillPulseHeightTallies(TALLYTABLES& tt, int32_t nCells) {
  tt.pulseHeightTally = pulseHeightTally.data();
  tt.nPulseHeight_tot = nPulseHeight_tot;
  tt.cellsPulseHeight = cellsPulseHeight.data();
  tt.nCellsPulseHeight = nCellsPulseHeight;
  pulseHeightSlotOfCell.assign(static_cast<size_t>(nCells), -1);
  for (int16_t i = 0; i < nCellsPulseHeight; ++i) {
    const int16_t c = cellsPulseHeight[static_cast<size_t>(i)];
    if (c >= 0 && c < nCells) pulseHeightSlotOfCell[static_cast<size_t>(c)] = i;
  }
  tt.pulseHeightSlotOfCell = pulseHeightSlotOfCell.empty() ? nullptr : pulseHeightSlotOfCell.data();
}

// The cell-entry tally records of each class. Their registration in the
// cells is per bounding surface (CELL::cellEntryCount); the sites that the
// scoring reads are made from it by the complex geometry's set-up.
void FillCellEntryTallies(TALLYTABLES& tt) {
  for (int k = 0; k < kTallyClassCount; ++k) {
    tt.cellEntryTally[k] = cellEntryTally[k].empty() ? nullptr : cellEntryTally[k].data();
    tt.nCellEntryTallies[k] = nCellEntryTallies[k];
  }
  tt.cellEntrySites = nullptr;
}

}  // namespace

void FillTallyTables() {
  const Constants& k = hostConstants;
  const int32_t nCells = k.cell != nullptr && k.nCells > 0 ? k.nCells : 0;
  TALLYTABLES tt;
  FillPlaneTallies(tt);
  FillCellEntryTallies(tt);
  tt.nCells = nCells;
  FillPulseHeightTallies(tt, nCells);
  hostTallyTables = tt;
}
