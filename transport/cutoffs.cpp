// The CPU worker's wrappers of the cutoff, escape and annihilation functions
// of cutoffs.h.
#include "transport/cutoffs.h"

#include "core/cell.h"
#include "core/task.h"
#include "transport/tracks.h"

// Removes `energy` (eV, already multiplied by the weight) from the history's
// deposit and from the deposit place of the current cell.
void CTask::UpdateAbsorbedEnergy(double energy) { DepositWeightedEnergy(*this, -energy); }

namespace {

// A full bank (kBankFull) is fatal for the worker.
int32_t FatalOnFullBank(CTask& task, int32_t result) {
  if (result == kBankFull) task.fatalError.store(1, std::memory_order_release);
  return result;
}

}  // namespace

int32_t CTask::ElectronEnergyBelowCutoff(char positron) {
  return FatalOnFullBank(*this, ChargedParticleAtCutoff(*this, positron != 0));
}

int32_t CTask::PositronEnergyCutoff() { return FatalOnFullBank(*this, AnnihilateAtRest(*this, E, true)); }

int32_t CTask::PositronAnnihilation() { return Check_nBanked(2) > 0 ? kBankFull : BankAnnihilationPhotons(*this); }

void CTask::ElectronEscape() {
  ScoreChargedEscape(*this);
  RecordTrackExit(*this);
  ReadBankedParticle();
}

// The common tail after an electron or positron interaction: a particle at
// or below the cell's cutoff ends (E = -1: dropped without scoring) and the
// next banked particle is taken. Returns non-zero when the loop must return
// (a full bank or a banked particle that cannot be placed).
int32_t CTask::EndChargedParticleAtCutoff() {
  if (!EndsAtCutoff(*this)) return 0;
  if (E >= 0.0 && ElectronEnergyBelowCutoff(kind == kPositron ? 1 : 0) > 0) return kBankFull;
  return ReadBankedParticle();
}
