// Energy cutoffs, escape and positron annihilation of electrons and
// positrons, and the deposited-energy bookkeeping of the charged particles.
//
// Energy balance of a history: a charged source particle brings E (plus
// 2 m c^2 for a positron) into the history's deposit; whatever leaves the
// place where it was deposited is subtracted again: a banked bremsstrahlung
// photon (k), a banked annihilation pair (2 m c^2) and an escaping charged
// particle (E, plus 2 m c^2 for a positron). Losses to excitation and
// ionization and the kinetic energy at the cutoff stay where they occurred.
#include "transport/cutoffs.h"

#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/electron_scoring.h"
#include "transport/interaction_stats.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

// Removes `energy` (eV, already multiplied by the weight) from the history's
// deposit and from the deposit place of the current cell.
void CTask::UpdateAbsorbedEnergy(double energy) { DepositWeightedEnergy(*this, -energy); }

// An electron or positron at or below the cell's cutoff. Returns kBankFull
// when the annihilation photons found the bank full (fatal), else 0.
int32_t CTask::ElectronEnergyBelowCutoff(char positron) {
  if (positron != 0) return PositronEnergyCutoff();
  // The kinetic energy stays where the electron stopped.
  ScoreElectronEvent(*this, statslot::nElectronCutoff, statslot::eElectronCutoff, E);
  return 0;
}

// A positron at the cutoff comes to rest and annihilates.
int32_t CTask::PositronEnergyCutoff() { return AnnihilateAtRest(*this, E, true); }

int32_t AnnihilateAtRest(CTask& task, double T, bool countPositron) {
  const Constants& k = GetConstants();
  if (countPositron) ScoreElectronEvent(task, statslot::nAnnihilation, statslot::eAnnihilation, T);
  if (!(PhotonCutoff(task) < k.restEn)) return 0;
  const double restEn2 = RestEnergyTwice(k);
  if (k.trackSecondaryPhotons != 0) {
    if (task.PositronAnnihilation() > 0) return kBankFull;
    DepositEnergy(task, -restEn2);
  }
  ScoreElectronEvent(task, statslot::nAnnihilationPhotonsAbove, statslot::eAnnihilationPhotonsAbove, restEn2, 2.0);
  return 0;
}

// Banks the two annihilation photons at the particle's position, back to
// back in an isotropic direction (drawn only when positions are followed).
// Returns kBankFull (nothing banked, fatal) or 0.
int32_t CTask::PositronAnnihilation() {
  const Constants& k = GetConstants();
  annihilationBankResult = Check_nBanked(2);
  if (annihilationBankResult > 0) return annihilationBankResult;
  const uint8_t photonKind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
  const ANNIHILATIONPAIR pair = k.trackPos != 0 ? AnnihilationDirections(*rng, k.restEn) : ANNIHILATIONPAIR{};
  PushParticle(*this, k.restEn, photonKind, kOriginAnnihilation, pair.first, weight, 0);
  PushParticle(*this, k.restEn, photonKind, kOriginAnnihilation, pair.second, weight, 0);
  return 0;
}

// The particle reached the face of the layer (or a boundary of the complex
// geometry, where the locating of the next cell joins with the geometry): it
// leaves, carrying E, and a positron also the 2 m c^2 of its annihilation.
void CTask::ElectronEscape() {
  const Constants& k = GetConstants();
  escaped = 1;
  ScoreElectronEvent(*this, statslot::nElectronEscapes, statslot::eElectronEscapes, E);
  const double carried = kind == kPositron ? E + RestEnergyTwice(k) : E;
  UpdateAbsorbedEnergy(bank.wt != nullptr ? carried * weight : carried);
  if (sourceFlag != 0 && k.outputCellInteractionStats != 0 && curStats != stats) {
    ++curStats->slot[statslot::nSourceEscapeElectrons].n;
    curStats->slot[statslot::eSourceEscapeElectrons].e += E;
  }
  // The simple geometry has no cell-entry tallies: its one cell is the layer.
  ScorePlaneCrossings(*this);
  RecordTrackExit(*this);
  ReadBankedParticle();
}

// The common tail after an electron or positron interaction: a particle at
// or below the cell's cutoff ends (E = -1: dropped without scoring) and the
// next banked particle is taken. Returns non-zero when the loop must return
// (a full bank or a banked particle that cannot be placed).
int32_t CTask::EndChargedParticleAtCutoff() {
  if (nBanked < 0 || IsPhoton(stepKind) || IsPhoton(kind)) return 0;
  if (E > cell->CUT_E) return 0;
  if (E >= 0.0 && ElectronEnergyBelowCutoff(kind == kPositron ? 1 : 0) > 0) return kBankFull;
  return ReadBankedParticle();
}
