// The end of an electron or positron: at the cell's energy cutoff (a
// positron annihilates there into two photons of m c^2 each), or on leaving
// the geometry; and the bookkeeping of the deposited energy that the
// electron steps apply. Host/device functions over the worker's plain record;
// the CTask wrappers are in cutoffs.cpp.
//
// Energy balance of a history: a charged source particle brings E (plus
// 2 m c^2 for a positron) into the history's deposit; whatever leaves the
// place where it was deposited is subtracted again: a banked bremsstrahlung
// photon (k), a banked annihilation pair (2 m c^2) and an escaping charged
// particle (E, plus 2 m c^2 for a positron). Losses to excitation and
// ionization and the kinetic energy at the cutoff stay where they occurred.
#pragma once

#include <cstdint>

#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/randgen.h"
#include "core/task.h"
#include "core/vector.h"
#include "transport/bank.h"
#include "transport/cell_flight.h"
#include "transport/directions.h"
#include "transport/electron_scoring.h"
#include "transport/stats_scoring.h"
#include "transport/tally_scoring.h"

// Directions of the two photons of an annihilation at rest: isotropic, back
// to back, each of length m c^2 (eV).
struct ANNIHILATIONPAIR {
  VECTOR first;
  VECTOR second;
};

TQ_CPU_GPU inline ANNIHILATIONPAIR AnnihilationDirections(CRandGen& rng, double restEn) {
  const VECTOR d = Isotropic(rng, restEn);
  return ANNIHILATIONPAIR{d, -d};
}

// Banks the two annihilation photons at the particle's position, back to
// back in an isotropic direction (drawn only when positions are followed).
// Returns kBankFull (nothing banked, fatal) or 0.
TQ_CPU_GPU inline int32_t BankAnnihilationPhotons(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const int32_t room = BankRoom(t, 2);
  if (room > 0) return room;
  const uint8_t photonKind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
  const ANNIHILATIONPAIR pair = k.trackPos != 0 ? AnnihilationDirections(*t.rng, k.restEn) : ANNIHILATIONPAIR{};
  PushParticle(t, k.restEn, photonKind, kOriginAnnihilation, pair.first, t.weight, 0);
  PushParticle(t, k.restEn, photonKind, kOriginAnnihilation, pair.second, t.weight, 0);
  return 0;
}

// A positron of kinetic energy T (eV) at rest where the task's particle is
// annihilates with an atomic electron: counted as "p-annihilation" when
// countPositron is set (a positron that was followed); when the cell's photon
// cutoff is below m c^2 the two photons are created, banked when secondary
// photons are followed (their 2 m c^2 leaving the deposit) and counted;
// otherwise 2 m c^2 stays deposited. Returns kBankFull (fatal) or 0.
TQ_CPU_GPU inline int32_t AnnihilateAtRest(TASKSTATE& t, double T, bool countPositron) {
  const Constants& k = GetConstants();
  if (countPositron) ScoreElectronEvent(t, statslot::nAnnihilation, statslot::eAnnihilation, T);
  if (!(PhotonCutoff(t) < k.restEn)) return 0;
  const double restEn2 = RestEnergyTwice(k);
  if (k.trackSecondaryPhotons != 0) {
    if (BankAnnihilationPhotons(t) > 0) return kBankFull;
    DepositEnergy(t, -restEn2);
  }
  ScoreElectronEvent(t, statslot::nAnnihilationPhotonsAbove, statslot::eAnnihilationPhotonsAbove, restEn2, 2.0);
  return 0;
}

// True when the particle after an interaction is an electron or positron at
// or below its cell's cutoff (or dropped, E < 0) while the history goes on:
// it ends there. Most interactions leave it above, so callers test this
// inline before the out-of-line end. The energy is tested before the kinds:
// it alone decides for most electrons (and most photons, whose energy is above
// the electron cutoff); the start of a history sets the cell.
TQ_CPU_GPU inline bool EndsAtCutoff(const TASKSTATE& t) {
  return t.nBanked >= 0 && !(t.E > t.cell->CUT_E) && !IsPhoton(t.stepKind) && !IsPhoton(t.kind);
}

// An electron or positron at or below the cell's cutoff. Returns kBankFull
// when the annihilation photons found the bank full (fatal), else 0.
TQ_CPU_GPU inline int32_t ChargedParticleAtCutoff(TASKSTATE& t, bool positron) {
  // A positron comes to rest and annihilates.
  if (positron) return AnnihilateAtRest(t, t.E, true);
  // The kinetic energy stays where the electron stopped.
  ScoreElectronEvent(t, statslot::nElectronCutoff, statslot::eElectronCutoff, t.E);
  return 0;
}

// The particle left the geometry (the face of the layer, or a boundary beyond
// which no cell lies): it takes E away, and a positron also the 2 m c^2 of its
// annihilation. Scored here, with the cell-entry tallies of the cell it left;
// the next banked particle is the caller's.
TQ_CPU_GPU inline void ScoreChargedEscape(TASKSTATE& t) {
  const Constants& k = GetConstants();
  t.escaped = 1;
  // Escapes are counted in the overall record and, with per-cell
  // statistics, in the cell left (the totals keep the overall escapes apart).
  ScoreEventIn(t, t.stats->slot, statslot::nElectronEscapes, statslot::eElectronEscapes, t.E, 1.0);
  if (t.curStats != t.stats)
    ScoreEventIn(t, t.curStats->slot, statslot::nElectronEscapes, statslot::eElectronEscapes, t.E, 1.0);
  const double carried = t.kind == kPositron ? t.E + RestEnergyTwice(k) : t.E;
  // Removed from the history's deposit and from the deposit place of the cell.
  DepositWeightedEnergy(t, -(t.bank.wt != nullptr ? carried * t.weight : carried));
  if (t.sourceFlag != 0 && k.outputCellInteractionStats != 0 && t.curStats != t.stats) {
    ++t.curStats->slot[statslot::nSourceEscapeElectrons].n;
    t.curStats->slot[statslot::eSourceEscapeElectrons].e += t.E;
  }
  ScorePlaneCrossings(t);
  if (k.complexGeometry != 0) ScoreDepartureToOutside(t, false);
}
