// Interaction statistics of electrons and positrons: the slots of the
// INTERACTIONSTATS record that their steps score, and the one update rule:
// a count grows by 1, or, when weights are in use (interaction forcing), the
// count's weight slot by the weight; an energy grows by E times the weight.
#pragma once

#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/task.h"

namespace electronslot {
constexpr int nSourceEscapeElectrons = 7;
constexpr int nKnockOn = 10;
constexpr int nKnockOnAbove = 19;
constexpr int nElectronCutoff = 17;
constexpr int nAnnihilation = 18;
constexpr int nBremsPhotons = 26;
constexpr int nBremsPhotonsAbove = 34;
constexpr int nAnnihilationPhotonsAbove = 41;
constexpr int nElastic = 43;
constexpr int nExcitation = 44;
constexpr int nElectroionization = 45;
constexpr int nInelastic = 46;
constexpr int nElectronEscapes = 50;
constexpr int eKnockOn = 92;
constexpr int eKnockOnAbove = 99;
constexpr int eBremsPhotons = 106;
constexpr int eBremsPhotonsAbove = 113;
constexpr int eAnnihilationPhotonsAbove = 120;
constexpr int eSourceEscapeElectrons = 126;
constexpr int eElectronCutoff = 127;
constexpr int eAnnihilation = 128;
constexpr int eBremsLoss = 129;
constexpr int eExcitationLoss = 130;
constexpr int eElectroionizationLoss = 131;
constexpr int eElectronEscapes = 135;
constexpr int kNoEnergy = -1;
}  // namespace electronslot

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

// The same in the overall record and, with per-cell statistics, in the
// current cell's record.
TQ_CPU_GPU inline void ScoreElectronEvent(const TASKSTATE& task, int countSlot,
                                          int energySlot = electronslot::kNoEnergy, double energy = 0.0,
                                          double n = 1.0) {
  ScoreEventIn(task, task.stats->slot, countSlot, energySlot, energy, n);
  if (task.curStats != task.stats) ScoreEventIn(task, task.curStats->slot, countSlot, energySlot, energy, n);
}

// An energy alone (a loss sum), times the weight when weights are in use.
TQ_CPU_GPU inline void ScoreElectronEnergy(const TASKSTATE& task, int energySlot, double energy) {
  const double e = task.bank.wt != nullptr ? energy * task.weight : energy;
  task.stats->slot[energySlot].e += e;
  if (task.curStats != task.stats) task.curStats->slot[energySlot].e += e;
}
