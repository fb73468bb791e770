// Cell-entry tallies (particles crossing into or out of a cell, binned in
// energy) and pulse-height tallies (the energy one history deposits in a cell
// or in the whole geometry), scored into the worker's own record.
#pragma once

#include <cstdint>

#include "core/cell_entry.h"
#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/tally.h"
#include "core/tally_tables.h"
#include "core/task.h"

// True when cell iCell carries cell-entry tallies for particles of this kind
// (0 electrons and positrons, 1 photons) or of the all-particle class: the
// test the callers make before UpdateCellEntryTallies.
TQ_CPU_GPU inline bool CellHasEntryTallies(int32_t iCell, int32_t kind) {
  const TALLYTABLES& tt = GetTallyTables();
  if (tt.cellEntrySites == nullptr || iCell < 0 || iCell >= tt.nCells) return false;
  const CELLENTRYSITE& site = tt.cellEntrySites[iCell];
  return site.hasCellEntry[kind] != 0 || site.hasCellEntry[kAllParticleTallies] != 0;
}

namespace cell_tally {

// Neighbour slot of a crossing whose neighbour the caller could not name: slot
// 0 when the other cell lies directly inside the list cell (or inside its
// union). -1 when it cannot be resolved.
TQ_CPU_GPU inline int32_t ResolveInnerSlot(const TALLYTABLES& tt, int32_t listCell, int32_t otherCell) {
  if (listCell < 0 || otherCell < 0 || otherCell >= tt.nCells) return -1;
  const int32_t enclosing = tt.cellEntrySites[otherCell].enclosingCell;
  if (enclosing < 0) return -1;
  const int32_t listUnion = tt.cellEntrySites[listCell].unionIndex;
  if (listUnion < 0) return enclosing == listCell ? 0 : -1;
  return tt.cellEntrySites[enclosing].unionIndex == listUnion ? 0 : -1;
}

// One tally for one crossing (sign +1 entry, -1 exit).
TQ_CPU_GPU inline void ScoreEntryTally(const CELLENTRYTALLY& t, const TALLYTABLES& tt, TASKSTATE& task, int row,
                                       int32_t index, int32_t sign) {
  if (t.entryType * sign == -1 || t.orgEnabled[task.org] == 0) return;
  const double E = task.E;
  const bool weighted = task.bank.wt != nullptr;
  for (int32_t r = 0; r < t.nEnergyRanges; ++r) {
    const TALLYRANGE& range = tt.rangeData[kQuantityE][t.energyRange[r]];
    const int i = TopClosedBin(E, range);
    if (i < 0) continue;
    const int32_t bins = range.bins;
    if (weighted) {
      const double w = task.weight;
      const double f = t.entryType == kNetFlow ? sign * w : w;
      task.cellEntryHist_wt[row][index][r][i] += f;
      task.cellEntryHist_wt[row][index][r][bins + i] += w * w;
      if (t.eFlux != 0) task.cellEntryHist_E[row][index][r][i] += f * E;
    } else if (t.entryType == kNetFlow && sign <= 0) {
      task.cellEntryHist[row][index][r][bins + i] -= 1;
      if (t.eFlux != 0) task.cellEntryHist_E[row][index][r][bins + i] -= E;
    } else {
      task.cellEntryHist[row][index][r][i] += 1;
      if (t.eFlux != 0) task.cellEntryHist_E[row][index][r][i] += E;
    }
  }
}

}  // namespace cell_tally

// Scores a boundary crossing into the cell-entry tallies. With sign -1 (an
// exit) cell is the index of the cell being left and the particle's current
// cell (task.iCell) the other side; with sign +1 (an entry) the current cell
// is the one entered and cell the one left, or -1 for a source particle
// starting in its cell. kind is 0 for electrons and positrons, 1 for photons;
// slot is the entry slot of the cell whose lists are used (1 + the SURFACE
// index of its boundary crossed, 0 a cell enclosed by it), or -1 when the
// caller cannot name it. A slot that cannot be resolved is not scored and is
// counted in task.unresolvedCellEntries.
TQ_CPU_GPU inline void UpdateCellEntryTallies(TASKSTATE& task, int32_t cell, int32_t kind, int32_t slot, int32_t sign) {
  const TALLYTABLES& tt = GetTallyTables();
  const int32_t listCell = sign < 0 && cell >= 0 ? cell : task.iCell;
  const int32_t otherCell = sign < 0 && cell >= 0 ? task.iCell : cell;
  if (slot < 0) {
    slot = cell < 0 ? -1 : cell_tally::ResolveInnerSlot(tt, listCell, otherCell);
    if (slot < 0) {
      ++task.unresolvedCellEntries;
      return;
    }
  }
  const CELLENTRYSITE& site = tt.cellEntrySites[listCell];
  if (slot >= site.nEntrySlots) return;  // a surface that no tally of the cell names
  const int rows[2] = {kind, kAllParticleTallies};
  for (int p = 0; p < 2; ++p) {
    const int row = rows[p];
    if (site.cellEntryCount[row] == nullptr) continue;
    const uint16_t n = site.cellEntryCount[row][slot];
    const uint16_t* list = site.cellEntryList[row][slot];
    for (uint16_t i = 0; i < n; ++i) {
      cell_tally::ScoreEntryTally(tt.cellEntryTally[row][list[i]], tt, task, row, list[i], sign);
    }
  }
}

// Pulse-height slot of a cell (where the transport adds the energy deposited
// in it during the history, task.cellDeposit), or -1.
TQ_CPU_GPU inline int32_t PulseHeightSlotOfCell(int32_t iCell) {
  const TALLYTABLES& tt = GetTallyTables();
  if (tt.pulseHeightSlotOfCell == nullptr || iCell < 0 || iCell >= tt.nCells) return -1;
  return tt.pulseHeightSlotOfCell[iCell];
}

// End of a history: bins the history's deposits into the pulse-height tallies
// (each history counts 1, without weights), moves the history deposit into
// the worker's absorbed energy and empties the per-history deposits.
TQ_CPU_GPU inline void UpdatePulseHeightTallies(TASKSTATE& task) {
  const TALLYTABLES& tt = GetTallyTables();
  STATSLOT* s = task.stats->slot;
  for (int32_t t = 0; t < tt.nPulseHeight_tot; ++t) {
    const PULSEHEIGHTTALLY& ph = tt.pulseHeightTally[t];
    const int32_t phSlot = ph.cell < 0 ? -1 : PulseHeightSlotOfCell(ph.cell);
    const double D = ph.cell < 0 ? s[statslot::eHistoryDeposit].e : (phSlot >= 0 ? task.cellDeposit[phSlot] : 0.0);
    const int i = TopClosedBin(D, ph.lower, ph.invWidth, ph.bins);
    if (i < 0) continue;
    task.pulseHeightHist[t][i] += 1;
    if (ph.eDeposition != 0) task.pulseHeightEnergy[t][i] += D;
  }
  s[statslot::eAbsorbed].e += s[statslot::eHistoryDeposit].e;
  s[statslot::eHistoryDeposit].e = 0.0;
  for (int16_t i = 0; i < tt.nCellsPulseHeight; ++i) {
    if (task.cellStats != nullptr) task.cellStats[tt.cellsPulseHeight[i]].slot[statslot::eAbsorbed].e += task.cellDeposit[i];
    task.cellDeposit[i] = 0.0;
  }
}

// Energy deposited in the current cell (eV, weighted by the caller): kept for
// the history's pulse-height tally when the cell has one, otherwise added to
// the cell's absorbed energy at once (per-cell statistics). The history's
// overall deposit (eHistoryDeposit) is the caller's.
TQ_CPU_GPU inline void DepositInCell(TASKSTATE& task, double energy) {
  const int32_t slot = PulseHeightSlotOfCell(task.iCell);
  if (slot >= 0) {
    task.cellDeposit[slot] += energy;
  } else if (task.curStats != task.stats) {
    task.curStats->slot[statslot::eAbsorbed].e += energy;
  }
}
