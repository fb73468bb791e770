// Accumulation into the interaction statistics (core/interaction_stats.h) and
// the deposit of energy at the particle's position. Without interaction
// forcing every update counts 1 and adds the energy; with weights in use (the
// bank carries weights) it adds the particle's weight to the weight slot and
// the energy times the weight.
#pragma once

#include "core/cell.h"
#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/task.h"

TQ_CPU_GPU inline bool WeightsInUse(const TASKSTATE& task) { return task.bank.wt != nullptr; }

// The statistical weight that a statistics update adds: the particle's weight
// with weights in use, else 1.
TQ_CPU_GPU inline double StatsWeight(const TASKSTATE& task) { return WeightsInUse(task) ? task.weight : 1.0; }

// `multiplicity` particles or events of one kind: count (or weight) slot
// countSlot, energy slot energySlot (negative: none) gets energy.
TQ_CPU_GPU inline void AddStats(const TASKSTATE& task, INTERACTIONSTATS* record, int countSlot, int energySlot,
                                double energy, double multiplicity = 1.0) {
  STATSLOT* s = record->slot;
  if (WeightsInUse(task)) {
    s[countSlot + statslot::kWeightSlotOffset].e += multiplicity * task.weight;
    if (energySlot >= 0) s[energySlot].e += energy * task.weight;
  } else {
    s[countSlot].n += static_cast<uint64_t>(multiplicity);
    if (energySlot >= 0) s[energySlot].e += energy;
  }
}

// An energy without a count (an energy loss of an event), times the weight.
TQ_CPU_GPU inline void AddStatsEnergy(const TASKSTATE& task, INTERACTIONSTATS* record, int energySlot, double energy) {
  record->slot[energySlot].e += energy * StatsWeight(task);
}

// The deposit place of the current cell alone (its pulse-height slot, or its
// absorbed energy with per-cell statistics): where a charged particle crossing
// a boundary takes its energy from and brings it to.
TQ_CPU_GPU inline void DepositInCellPlace(TASKSTATE& task, double e) {
  const CELL* c = task.cell;
  if (c != nullptr && c->pulseHeight > 0 && task.cellDeposit != nullptr) {
    task.cellDeposit[c->pulseHeightSlot] += e;
  } else if (GetConstants().outputCellInteractionStats != 0 && task.curStats != nullptr &&
             task.curStats != task.stats) {
    task.curStats->slot[statslot::eAbsorbed].e += e;
  }
}

// Energy e (eV, already times the weight) deposited at the particle's
// position (negative: taken back, as for a banked secondary photon): the
// history's deposit, and the cell's pulse-height slot when the cell is in a
// pulse-height tally, or else the cell's absorbed energy with per-cell
// statistics. Every deposit of every particle goes through here.
TQ_CPU_GPU inline void DepositWeightedEnergy(TASKSTATE& task, double e) {
  task.stats->slot[statslot::eHistoryDeposit].e += e;
  DepositInCellPlace(task, e);
}

// The deposit of `energy` (eV) carried by the task's particle, times its
// weight when weights are in use.
TQ_CPU_GPU inline void DepositEnergy(TASKSTATE& task, double energy) {
  DepositWeightedEnergy(task, energy * StatsWeight(task));
}

// The cutoff energies of the particle's cell, eV.
TQ_CPU_GPU inline double PhotonCutoff(const TASKSTATE& task) { return task.cell != nullptr ? task.cell->CUT_P : 0.0; }
TQ_CPU_GPU inline double ElectronCutoff(const TASKSTATE& task) { return task.cell != nullptr ? task.cell->CUT_E : 0.0; }
