// Interaction statistics of electrons and positrons (slots named in
// core/interaction_stats.h): the one update rule of their steps:
// a count grows by 1, or, when weights are in use (interaction forcing), the
// count's weight slot by the weight; an energy grows by E times the weight.
#pragma once

#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/task.h"

// Adds `n` events (1, or 2 for an annihilation pair) to countSlot, or n times
// the weight to its weight slot; and energy times the weight to energySlot.
TQ_CPU_GPU inline void ScoreEventIn(const TASKSTATE& task, STATSLOT* s, int countSlot, int energySlot, double energy,
                                    double n) {
  if (task.bank.wt != nullptr) {
    s[countSlot + statslot::kWeightSlotOffset].e += n * task.weight;
    if (energySlot >= 0) s[energySlot].e += energy * task.weight;
    return;
  }
  s[countSlot].n += static_cast<uint64_t>(n);
  if (energySlot >= 0) s[energySlot].e += energy;
}

// The same in the current record: the cell's with per-cell statistics (the
// run's totals add the cells into the overall record), else the overall one.
TQ_CPU_GPU inline void ScoreElectronEvent(const TASKSTATE& task, int countSlot, int energySlot = statslot::kNoEnergy,
                                          double energy = 0.0, double n = 1.0) {
  ScoreEventIn(task, task.curStats->slot, countSlot, energySlot, energy, n);
}

// An energy alone (a loss sum), times the weight when weights are in use.
TQ_CPU_GPU inline void ScoreElectronEnergy(const TASKSTATE& task, int energySlot, double energy) {
  const double e = task.bank.wt != nullptr ? energy * task.weight : energy;
  task.curStats->slot[energySlot].e += e;
}
