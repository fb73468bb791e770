// One transport step of a photon as host/device functions over the worker's
// plain record (TASKSTATE): the cross sections of its material, the flight to
// the next collision or out of the layer, the choice of the element,
// interaction and subshell, the interactions with their resumable rejection
// loops (states 1..3) and the relaxation cascade (state 4). What only a CPU
// worker does between these stages (tracks, the run monitor, taking the next
// banked particle, the fatal-error flag) is done by the CTask wrappers in
// photon_flight.cpp, photon_interactions.cpp and relaxation.cpp.
//
// A stop request is passed in as `stop`: a loop or cascade that sees it leaves
// with its state kept and returns kStepSuspended; ResumeInterruptedStep
// continues it later.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/material.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/cell_flight.h"
#include "transport/cutoffs.h"
#include "transport/directions.h"
#include "transport/electron_scoring.h"
#include "transport/host_hooks.h"
#include "transport/photon_flight.h"
#include "transport/photon_interactions.h"
#include "transport/relaxation.h"
#include "transport/stats_scoring.h"
#include "transport/tally_scoring.h"

// Outcomes of the flight stage.
constexpr int32_t kPhotonCollides = 0;  // a collision is chosen: the interaction follows
constexpr int32_t kPhotonEscapes = 1;   // escaped and scored: the next banked particle follows
constexpr int32_t kPhotonEndsHere = 2;  // ended in place and scored: the next banked particle follows
constexpr int32_t kPhotonMoved = 4;     // entered a cell of another material: the next step looks it up

// ---------------------------------------------------------------------------
// Flight and collision sampling
// ---------------------------------------------------------------------------

// A secondary takes the record of the particle that made it (a photon's
// electron or positron, the knock-on of an ionization), where that particle
// was.
TQ_CPU_GPU inline void TakeRecord(TASKSTATE& t, double E, uint8_t kind, uint8_t org) {
  t.E = E;
  t.kind = kind;
  t.org = org;
  // The distances to the plane tallies of the new particle's kind and origin:
  // a tally that did not score the old origin kept an earlier position's.
  if (GetConstants().trackPos != 0) ResetPlaneTallyDistances(t, TallyKindOf(kind));
  HookTrackReplacement(t, org, E);
}

namespace photon_step {

TQ_CPU_GPU inline bool CoherentFollowed(const Constants& k, uint8_t kind) {
  return k.coh != 0 && (k.trackPos != 0 || kind == kPhoton);
}

// Momentum p c of an electron or positron of kinetic energy T, eV.
TQ_CPU_GPU inline double ChargedMomentum(double T, double restEn2) { return sqrt(T * (T + restEn2)); }

// The end of an interaction that leaves no vacancy: the photon goes on when
// it still holds the record and survived.
TQ_CPU_GPU inline int32_t InteractionDone(TASKSTATE& t, bool photonGoesOn) {
  t.photonSurvival = photonGoesOn ? 1 : 0;
  return kStepInteraction;
}

}  // namespace photon_step

namespace photon_step {

// Values of material m in a kept lookup; 0 when they do not fit.
TQ_CPU_GPU inline int32_t LookupValueCount(const MATERIAL& m) {
  int32_t count = 0;
  for (int32_t j = 0; j < m.nElements; ++j) count += 4 + GetElem(m.element[j]).nSubshells;
  return count <= kLookupCacheValues ? count : 0;
}

// Set of the kept lookups that an energy belongs to: the bits of the double
// mixed so that nearby energies spread over the sets.
TQ_CPU_GPU inline int32_t LookupSet(double E) {
  uint64_t bits = 0;
  memcpy(&bits, &E, sizeof bits);
  bits ^= bits >> 31;
  bits *= 0x9E3779B97F4A7C15ull;
  return static_cast<int32_t>(bits >> (64 - kLookupCacheSetBits));
}

// Copies the cross sections of the current lookup (material m) into a kept
// entry, or (toEntry false) the entry's into the current lookup.
TQ_CPU_GPU inline void CopyLookup(PHOTONSTATE& phot, const MATERIAL& m, PHOTONLOOKUPENTRY& entry, bool toEntry) {
  double* v = entry.values;
  int16_t* interval = entry.intervals;
  if (toEntry) {
    entry.sigma_tot = phot.sigma_tot;
    entry.sigma_scat = phot.sigma_scat;
  } else {
    phot.sigma_tot = entry.sigma_tot;
    phot.sigma_scat = entry.sigma_scat;
  }
  for (int32_t j = 0; j < m.nElements; ++j) {
    const int32_t e = m.element[j];
    PHOTONELEMENTCACHE& c = phot.elements[e];
    const size_t n = static_cast<size_t>(GetElem(e).nSubshells);
    // The subshell's interval at E also places the photoelectron's angle.
    if (toEntry) {
      v[0] = c.sigma_coh;
      v[1] = c.sigma_incoh;
      v[2] = c.total;
      v[3] = c.cumulative;
      memcpy(v + 4, c.shellCumulative, n * sizeof(double));
      memcpy(interval, c.hintShell, n * sizeof(int16_t));
    } else {
      c.sigma_coh = v[0];
      c.sigma_incoh = v[1];
      c.total = v[2];
      c.cumulative = v[3];
      memcpy(c.shellCumulative, v + 4, n * sizeof(double));
      memcpy(c.hintShell, interval, n * sizeof(int16_t));
    }
    v += 4 + n;
    interval += n;
  }
}

}  // namespace photon_step

// Cross sections of the current material at E, cached by material, energy
// and (with coherent scattering) kind. Earlier lookups are kept by energy
// (PHOTONLOOKUPCACHE): an energy that recurs takes the very values a new
// lookup would give from there.
TQ_CPU_GPU inline void PhotonCrossSections(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const MATERIAL* m = t.material;
  if (m == nullptr || (t.cell != nullptr && t.cell->material < 0)) return;  // void: sigma_tot keeps its value
  PHOTONSTATE& phot = t.phot;
  const int32_t kindKey = k.coh != 0 ? t.kind : -2;
  if (m == phot.keyMaterial && t.E == phot.keyEnergy && kindKey == phot.keyKind) return;
  PHOTONLOOKUPCACHE* kept = phot.lookups;
  const int32_t set = photon_step::LookupSet(t.E);
  if (kept != nullptr) {
    for (int32_t way = 0; way < kLookupCacheWays; ++way) {
      PHOTONLOOKUPENTRY& entry = kept->entries[set][way];
      if (entry.keyMaterial == m && entry.keyEnergy == t.E && entry.keyKind == kindKey) {
        photon_step::CopyLookup(phot, *m, entry, false);
        kept->recentWay[set] = static_cast<uint8_t>(way);
        phot.keyMaterial = m;
        phot.keyEnergy = t.E;
        phot.keyKind = kindKey;
        return;
      }
    }
  }
  const bool coherentOn = photon_step::CoherentFollowed(k, t.kind);
  const double restEn2 = RestEnergyTwice(k);
  phot.lnE = FastLog(t.E);
  double sigmaTot = 0.0;
  double sigmaScat = 0.0;
  for (int32_t j = 0; j < m->nElements; ++j) {
    const int32_t e = m->element[j];
    PHOTONELEMENTCACHE& c = phot.elements[e];
    const double total = PhotonElementCrossSections(GetElem(e), t.E, phot.lnE, coherentOn, restEn2, c);
    const double fraction = m->fraction[e];
    sigmaScat += fraction * (c.sigma_coh + c.sigma_incoh) * kBarn;
    sigmaTot += fraction * total * kBarn;
    c.cumulative = sigmaTot;
  }
  phot.sigma_tot = sigmaTot;
  phot.sigma_scat = sigmaScat;
  phot.keyMaterial = m;
  phot.keyEnergy = t.E;
  phot.keyKind = kindKey;
  if (kept != nullptr && photon_step::LookupValueCount(*m) > 0) {
    // The new lookup takes the place of the entry used less recently.
    const int32_t way = kLookupCacheWays - 1 - kept->recentWay[set];
    PHOTONLOOKUPENTRY& entry = kept->entries[set][way];
    photon_step::CopyLookup(phot, *m, entry, true);
    entry.keyMaterial = m;
    entry.keyEnergy = t.E;
    entry.keyKind = kindKey;
    kept->recentWay[set] = static_cast<uint8_t>(way);
  }
}

// 0, or 1 with the message printed when the total cross section is zero.
TQ_CPU_GPU inline int32_t CheckPhotonCrossSection(const TASKSTATE& t) {
  if (t.phot.sigma_tot > 0.0) return 0;
  printf("\nFatal error in %s No. %d: total photon collision cross section is zero.\n", WorkerWord(t), t.threadNo + 1);
  return 1;
}

// The photon has left the geometry (the layer's face, or a boundary beyond
// which no cell lies): scored in the statistics, the plane tallies and the
// cell-entry tallies of the cell it left.
TQ_CPU_GPU inline void ScorePhotonEscape(TASKSTATE& t) {
  const Constants& k = GetConstants();
  t.escaped = 1;
  AddStats(t, t.stats, statslot::nPhotonEscapes, statslot::ePhotonEscapes, t.E);
  if (k.outputCellInteractionStats != 0 && t.curStats != nullptr && t.curStats != t.stats) {
    AddStats(t, t.curStats, statslot::nPhotonEscapes, statslot::ePhotonEscapes, t.E);
    if (t.sourceFlag != 0) {
      ++t.curStats->slot[statslot::nSourceEscapePhotons].n;
      t.curStats->slot[statslot::eSourceEscapePhotons].e += t.E;
    }
  }
  ScorePlaneCrossings(t);
  if (k.complexGeometry != 0) ScoreDepartureToOutside(t, true);
}

// Flight in the simple geometry: to a collision inside the layer, or out of
// it (escape scored). Returns kPhotonCollides or kPhotonEscapes.
TQ_CPU_GPU inline int32_t PhotonFlight(TASKSTATE& t) {
  const Constants& k = GetConstants();
  t.escaped = 0;
  const double sigma = t.phot.sigma_tot;
  double s = 0.0;
  if (sigma > 0.0) s = -FastLog(t.rng->random2()) / (k.concentration * sigma);
  // Depth below the front face and direction cosine to its normal.
  const double invE = 1.0 / t.E;
  double depth, c;
  if (k.surface_C == 1.0) {
    depth = t.pc.pos.z - k.surface_Z;
    c = t.pc.dir.z * invE;
  } else {
    depth = k.surface_A * t.pc.pos.x + k.surface_B * t.pc.pos.y + k.surface_C * t.pc.pos.z + k.surface_D;
    c = (k.surface_A * t.pc.dir.x + k.surface_B * t.pc.dir.y + k.surface_C * t.pc.dir.z) * invE;
  }
  double exit = 0.0;
  if (c > 0.0) exit = (k.w - depth) / c;
  if (c < 0.0) exit = -depth / c;
  if (!(sigma > 0.0) || (c != 0.0 && exit < s)) {
    // A recorded track ends on the face; the escape scores the rest of the
    // flight, to infinity.
    if (HookTrackRecording(t) && sigma > 0.0 && c != 0.0) {
      t.pc.pos += (exit * invE) * t.pc.dir;
      ScorePlaneCrossings(t);
    }
    ScorePhotonEscape(t);
    return kPhotonEscapes;
  }
  // A photon moves to its collision whenever positions are followed, so that
  // the secondaries of the collision start where it happens; without
  // positions a followed photon stays where it is from now on.
  if (k.trackPos != 0) {
    t.pc.pos += (s * invE) * t.pc.dir;
    ScorePlaneCrossings(t);
  } else if (k.trackSecondaryPhotons != 0) {
    t.kind = kPhotonNoPosition;
  }
  if (t.sourceFlag != 0) ++t.stats->slot[statslot::nSourceInteracted].n;
  return kPhotonCollides;
}

// A photon below its cell's cutoff: counted with its energy, not deposited.
TQ_CPU_GPU inline void PhotonBelowCutoff(TASKSTATE& t) {
  AddStats(t, t.curStats, statslot::nPhotonCutoff, statslot::ePhotonCutoff, t.E);
}

// Position-less photon that can no longer lose energy to any electron: it
// ends as a cutoff event, its energy above the cutoff counted as Compton loss.
// Only the part above the cutoff is deposited, as a photon below the cutoff
// deposits nothing.
TQ_CPU_GPU inline void EndPhotonThatCannotLoseEnergy(TASKSTATE& t) {
  const double cutP = PhotonCutoff(t);
  AddStats(t, t.curStats, statslot::nPhotonCutoff, statslot::ePhotonCutoff, cutP);
  AddStatsEnergy(t, t.curStats, statslot::eComptonLoss, t.E - cutP);
  AddStatsEnergy(t, t.curStats, statslot::eCompton, t.E - cutP);
  DepositEnergy(t, t.E - cutP);
}

// The element, the interaction and (photoelectric) the subshell.
TQ_CPU_GPU inline void SamplePhotonCollision(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  t.sourceFlag = 0;
  const MATERIAL& m = *t.material;
  int32_t e = m.element[0];
  if (m.nElements > 1) {
    const double x = t.rng->random2() * phot.sigma_tot;
    int32_t j = 0;
    while (j < m.nElements - 1 && phot.elements[m.element[j]].cumulative < x) ++j;
    e = m.element[j];
  }
  phot.element = e;
  const PHOTONELEMENTCACHE& c = phot.elements[e];
  phot.xDraw = t.rng->random2() * c.total;
  phot.notFollowed = k.trackSecondaryPhotons == 0 ? 1 : 0;
  phot.interaction = SelectPhotonInteraction(c, GetElem(e).nSubshells, phot.xDraw, &phot.shell);
}

// Flight through the cells (complex geometry): to a collision within the
// free distance without tracking; otherwise from boundary to boundary, a
// crossing into a cell of the same material (or a void) keeping the sampled
// number of mean free paths. Returns kPhotonCollides, kPhotonMoved (a cell of
// another material entered), kPhotonEscapes (escape or cutoff scored) or
// kStepFatal.
TQ_CPU_GPU inline int32_t PhotonFlightInCells(TASKSTATE& t) {
  t.escaped = 0;
  const double sigma = t.phot.sigma_tot;
  const bool startVoid = t.cell->material < 0;
  const MATERIAL* startMaterial = startVoid ? nullptr : t.material;
  double s = -1.0, m = 0.0;
  if (!startVoid && sigma > 0.0) {
    const double d = FreeDistanceInCell(t);
    m = -FastLog(t.rng->random2());
    s = m / (t.cell->concentration * sigma);
    if (s <= d) {
      t.pc.pos += (s / t.E) * t.pc.dir;
      ScorePlaneCrossings(t);
      if (t.sourceFlag != 0) ++t.stats->slot[statslot::nSourceInteracted].n;
      return kPhotonCollides;
    }
  }
  t.dir = t.pc.dir * (1.0 / t.E);
  const int32_t voxelBefore = t.voxelIndex;
  bool cellChanged = false;
  for (;;) {
    const double mfpInverse = t.cell->material < 0 ? 0.0 : t.cell->concentration * sigma;
    double flown = 0.0;
    const int32_t flight = FlyThroughCells(t, s, true, &flown);
    if (flight == kFlightFatal) return kStepFatal;
    if (flight == kFlightEscaped) {
      ScorePhotonEscape(t);
      return kPhotonEscapes;
    }
    if (flight == kFlightCutOff) {
      PhotonBelowCutoff(t);
      t.escaped = 1;
      return kPhotonEscapes;
    }
    if (flight == kFlightInCell) break;
    cellChanged = true;
    // Through a void or into the step's material: the rest of the sampled
    // mean free paths, at the new cell's concentration.
    const bool nowVoid = t.cell->material < 0;
    if (!nowVoid && t.material != startMaterial) break;
    if (s > 0.0) m -= flown * mfpInverse;
    s = !nowVoid && sigma > 0.0 ? m / (t.cell->concentration * sigma) : -1.0;
  }
  ScorePlaneCrossings(t);
  RefreshFreeMotionSphere(t, cellChanged, voxelBefore);
  if (t.cell->material < 0 || t.material != startMaterial) return kPhotonMoved;
  if (t.sourceFlag != 0) ++t.stats->slot[statslot::nSourceInteracted].n;
  return kPhotonCollides;
}

// The step up to the collision: cross sections, flight and the choice of the
// collision. Returns kPhotonCollides, kPhotonEscapes, kPhotonEndsHere,
// kPhotonMoved (complex geometry) or
// kStepFatal (message printed).
TQ_CPU_GPU inline int32_t PhotonFlightStage(TASKSTATE& t) {
  const Constants& k = GetConstants();
  t.phot.electronFlag = 0;
  PhotonCrossSections(t);
  if (k.complexGeometry != 0) {
    const int32_t flight = PhotonFlightInCells(t);
    if (flight == kPhotonCollides) SamplePhotonCollision(t);
    return flight;
  }
  if (k.trackPos == 0 && k.trackSecondaryPhotons != 0) {
    if (CheckPhotonCrossSection(t) != 0) return kStepFatal;
    if (t.phot.sigma_tot == t.phot.sigma_scat && MaxComptonTransfer(t.E, k.restEn) <= k.minBindingEnergy) {
      EndPhotonThatCannotLoseEnergy(t);
      return kPhotonEndsHere;
    }
  }
  if (t.kind != kPhotonNoPosition && PhotonFlight(t) == kPhotonEscapes) return kPhotonEscapes;
  SamplePhotonCollision(t);
  return kPhotonCollides;
}

// ---------------------------------------------------------------------------
// Relaxation cascade
// ---------------------------------------------------------------------------

namespace photon_step {

// What the transitions of one cascade share, found once at its start: the
// statistics rows of its Auger electrons (the record, the rows of the step's
// kind and the weight stay the same through the cascade) and the electron
// cutoff of the atom's cell.
struct CASCADESETUP {
  STATSLOT* slot;         // the statistics record of the particle's cell
  double weight;          // the particle's weight (with weights in use)
  double electronCutoff;  // eV
  int32_t kindCount;      // count row of the Auger electrons of the step's kind
  int32_t kindEnergy;     // energy row of those
  bool weighted;          // weights in use
  bool followElectrons;   // Auger electrons above the cutoff are banked
  bool photonStep;
};

TQ_CPU_GPU inline CASCADESETUP CascadeSetUp(const TASKSTATE& t) {
  CASCADESETUP c;
  c.photonStep = t.stepKind == kPhoton;
  c.slot = t.curStats->slot;
  c.weight = t.weight;
  c.electronCutoff = ElectronCutoff(t);
  c.kindCount = c.photonStep ? statslot::nPhotonAuger : statslot::nElectronAuger;
  c.kindEnergy = c.photonStep ? statslot::ePhotonAuger : statslot::eElectronAuger;
  c.weighted = WeightsInUse(t);
  c.followElectrons = GetConstants().trackPhotonProducedElectrons != 0;
  return c;
}

// One Auger electron of energy Et in count row countSlot and energy row
// energySlot, as AddStats counts it.
TQ_CPU_GPU inline void CountAuger(const CASCADESETUP& c, int countSlot, int energySlot, double Et) {
  if (c.weighted) {
    c.slot[countSlot + statslot::kWeightSlotOffset].e += c.weight;
    c.slot[energySlot].e += Et * c.weight;
  } else {
    c.slot[countSlot].n += 1;
    c.slot[energySlot].e += Et;
  }
}

// The Auger electron of a non-radiative transition: banked when followed and
// above the cutoff; its energy stays in the deposit (the electron's transport
// moves it). Returns kStepFatal on a full bank.
TQ_CPU_GPU inline int32_t EmitAugerElectron(TASKSTATE& t, const CASCADESETUP& c, double Et) {
  if (Et > c.electronCutoff) {
    if (c.followElectrons) {
      const Constants& k = GetConstants();
      const VECTOR d = k.trackPos != 0 ? Isotropic(*t.rng, sqrt(Et * (Et + RestEnergyTwice(k)))) : VECTOR{};
      const uint8_t org = c.photonStep ? kOriginAugerPhotonVacancy : kOriginAugerElectronVacancy;
      if (PushParticle(t, Et, kElectron, org, d, t.weight, 0) == kBankFull) return kStepFatal;
    }
    CountAuger(c, statslot::nAugerAbove, statslot::eAugerAbove, Et);
    CountAuger(c, c.kindCount + (statslot::nPhotonAugerAbove - statslot::nPhotonAuger),
               c.kindEnergy + (statslot::ePhotonAugerAbove - statslot::ePhotonAuger), Et);
  }
  CountAuger(c, statslot::nAuger, statslot::eAuger, Et);
  CountAuger(c, c.kindCount, c.kindEnergy, Et);
  return kStepGoesOn;
}

// Adds one fluorescence photon to the rows of its kind, all (above false) or
// above the cutoff.
TQ_CPU_GPU inline void CountFluorescence(TASKSTATE& t, double Et, bool photonStep, bool above) {
  INTERACTIONSTATS* rec = t.curStats;
  const PHOTONSTATE& p = t.phot;
  const int shift = above ? statslot::nRelaxPhotonsAbove - statslot::nRelaxPhotons : 0;
  const int eShift = above ? statslot::eRelaxPhotonsAbove - statslot::eRelaxPhotons : 0;
  AddStats(t, rec, statslot::nRelaxPhotons + shift, statslot::eRelaxPhotons + eShift, Et);
  if (!photonStep) {
    AddStats(t, rec, statslot::nXrayPhotons + shift, statslot::eXrayPhotons + eShift, Et);
    return;
  }
  AddStats(t, rec, statslot::nPhotonFluorPhotons + shift, statslot::ePhotonFluorPhotons + eShift, Et);
  if (p.electronFlag != 0) {
    AddStats(t, rec, statslot::nComptonFluorPhotons + shift, statslot::eComptonFluorPhotons + eShift, Et);
  } else if (p.nTransitionsDone == 1) {
    AddStats(t, rec, statslot::nFluor1Photons + shift, statslot::eFluor1Photons + eShift, Et);
  } else {
    AddStats(t, rec, statslot::nFluor2Photons + shift, statslot::eFluor2Photons + eShift, Et);
  }
}

// The fluorescence photon of a radiative transition: banked and taken out of
// the deposit when followed and above the photon cutoff.
TQ_CPU_GPU inline int32_t EmitFluorescencePhoton(TASKSTATE& t, double Et, bool photonStep) {
  const Constants& k = GetConstants();
  if (Et > PhotonCutoff(t)) {
    if (k.trackXrayPhotons != 0) {
      const uint8_t kind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
      const uint8_t org = photonStep ? kOriginFluorPhotonVacancy : kOriginFluorElectronVacancy;
      const VECTOR d = k.trackPos != 0 ? Isotropic(*t.rng, Et) : VECTOR{};
      if (PushParticle(t, Et, kind, org, d, t.weight, 0) == kBankFull) return kStepFatal;
      DepositEnergy(t, -Et);
    }
    CountFluorescence(t, Et, photonStep, true);
  }
  CountFluorescence(t, Et, photonStep, false);
  return kStepGoesOn;
}

}  // namespace photon_step

// One transition per pass until the vacancy to fill has no transition data
// (state 4). Returns kStepInteraction at the end of the cascade, kStepFatal on
// a full bank, kStepSuspended on a stop request.
TQ_CPU_GPU inline int32_t RelaxationCascade(TASKSTATE& t, bool stop) {
  if (stop) return kStepSuspended;
  PHOTONSTATE& phot = t.phot;
  const RELAXROW* const rows = GetElem(phot.relaxElement).relaxRows.table();
  const photon_step::CASCADESETUP setup = photon_step::CascadeSetUp(t);
  CRandGen& rng = *t.rng;
  VACANCYSET vacancies = VacanciesOf(phot);
  int32_t done = phot.nTransitionsDone;
  int32_t result = kStepInteraction;
  for (;;) {
    // The innermost vacancy; one without transitions ends the cascade.
    if (vacancies.mask == 0) break;
    const int32_t s = LowestSetBit(vacancies.mask);
    const RELAXROW& row = rows[s];
    if (row.cellShift < 0) break;
    ++done;
    const double r = rng.random();
    const RELAXTRANSITION tr = SampleTransitionInRow(row, r, TransitionDrawStep(r));
    // The vacancy moves to the subshell that fills it.
    RemoveVacancy(vacancies, s);
    AddVacancy(vacancies, tr.fill);
    const double Et = tr.energy;
    if (tr.emit != 0) {
      PushVacancy(vacancies, tr.emit);
      result = photon_step::EmitAugerElectron(t, setup, Et);
    } else {
      phot.nTransitionsDone = done;  // the fluorescence rows tell the first transition apart
      result = photon_step::EmitFluorescencePhoton(t, Et, setup.photonStep);
    }
    // The track record of a banked particle joins here with the tracks.
    if (result == kStepFatal) break;
  }
  StoreVacancies(phot, vacancies);
  phot.nTransitionsDone = done;
  if (result == kStepFatal) return kStepFatal;
  // End of the cascade; the remaining vacancies are dropped.
  ClearVacancies(phot);
  t.state = kStateFollow;
  if (setup.photonStep) t.photonSurvival = phot.electronFlag > 0 ? 1 : 0;
  return kStepInteraction;
}

// Result of the first part of an interaction whose vacancy relaxes next: the
// cascade is set up (state 4) and RelaxationCascade runs it.
constexpr int32_t kRelaxationFollows = 4;

// Sets up the cascade of a vacancy in subshell `designator` of element
// `element` (global index), state 4. The step kind of the task (photon step
// or not) decides the origins and statistics rows. Returns kRelaxationFollows.
TQ_CPU_GPU inline int32_t PrepareRelaxation(TASKSTATE& t, int32_t element, int32_t designator) {
  PHOTONSTATE& p = t.phot;
  p.relaxElement = element;
  ClearVacancies(p);
  PushVacancy(p, designator);
  p.nTransitionsDone = 0;
  t.state = kStateRelaxation;
  return kRelaxationFollows;
}

// Runs the cascade after the first part of an interaction (`result`), unless
// that part ended without a vacancy or failed.
TQ_CPU_GPU inline int32_t RelaxAfter(TASKSTATE& t, int32_t result, bool stop) {
  return result == kRelaxationFollows ? RelaxationCascade(t, stop) : result;
}

// Sets up the cascade of a vacancy and runs it (state 4).
TQ_CPU_GPU inline int32_t BeginRelaxation(TASKSTATE& t, int32_t element, int32_t designator, bool stop) {
  return RelaxAfter(t, PrepareRelaxation(t, element, designator), stop);
}

// ---------------------------------------------------------------------------
// Coherent scattering
// ---------------------------------------------------------------------------

// Tries of the momentum transfer drawn from the squared form factor with the
// Thomson factor as rejection. A form factor that vanishes at every reachable
// momentum transfer (ratio at or below coh_thr for kCoherentGiveUp tries in a
// row) leaves the photon undeflected.
TQ_CPU_GPU inline int32_t CoherentLoop(TASKSTATE& t, bool stop) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  const PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  bool accepted = false;
  for (;;) {
    double ratio = 0.0;
    accepted = CoherentTry(el, c, *t.rng, &phot.mu, &ratio);
    if (accepted) break;
    ++phot.tries;
    phot.cohRejections = ratio <= k.coh_thr ? phot.cohRejections + 1 : 0;
    if (phot.cohRejections >= kCoherentGiveUp) break;  // left undeflected
    if (stop) return kStepSuspended;
  }
  if (accepted) t.pc.dir = NonIsotropic(t.pc.dir, t.E, 1.0 / t.E, phot.mu, kTwoPi * t.rng->random());
  t.state = kStateFollow;
  AddStats(t, t.curStats, statslot::nCoherent, -1, 0.0);
  return photon_step::InteractionDone(t, true);
}

// The set-up of a coherent scattering at E; its loop follows (state 1).
TQ_CPU_GPU inline void BeginCoherentScattering(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  phot.shell = -1;
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  if (c.cohE != t.E) CoherentSetUp(GetElem(phot.element), t.E, k.restEn, k.constFact_coh, c);
  phot.cohRejections = 0;
  phot.tries = 0;
  t.state = kStateCoherentLoop;
}

TQ_CPU_GPU inline int32_t CoherentScattering(TASKSTATE& t, bool stop) {
  BeginCoherentScattering(t);
  return CoherentLoop(t, stop);
}

// ---------------------------------------------------------------------------
// Incoherent scattering
// ---------------------------------------------------------------------------

// The recoil electron and the scattered photon of an incoherent scattering
// whose energy transfer phot.T and subshell are known. Returns
// kRelaxationFollows (the vacancy's cascade set up), kStepInteraction or
// kStepFatal.
TQ_CPU_GPU inline int32_t IncoherentProducts(TASKSTATE& t, int32_t shell) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  phot.shell = shell;
  const double T = phot.T;
  double Te = T;
  if (k.incoh_SubtractBindingEnergy != 0 && el.nSubshells > 0) Te -= BindingEnergyOfShell(el, shell);
  phot.bankEntry = -1;
  const double cutE = ElectronCutoff(t);
  if (Te > 0.0) {
    if (Te > cutE && k.trackPhotonProducedElectrons != 0) {
      if (k.trackSecondaryPhotons != 0) {
        if (PushParticle(t, Te, kElectron, kOriginCompton, t.pc.dir, t.weight, 0) == kBankFull) return kStepFatal;
        phot.bankEntry = 1;
      } else {
        phot.bankEntry = 0;
      }
    }
    if (Te > cutE) AddStats(t, t.curStats, statslot::nComptonAbove, statslot::eComptonAbove, Te);
    AddStats(t, t.curStats, statslot::nCompton, statslot::eCompton, Te);
    phot.electronFlag = 1;
  }
  AddStatsEnergy(t, t.curStats, statslot::eComptonLoss, T);

  // The scattered photon.
  bool photonEnded = true;
  const double E0 = phot.E0;
  if (phot.bankEntry != 0) {
    t.E -= T;
    if (k.trackSecondaryPhotons != 0) {
      if (t.E <= PhotonCutoff(t)) {
        if (t.E < 0.0) t.E = 0.0;
        PhotonBelowCutoff(t);
      } else {
        photonEnded = false;
      }
    }
  }
  if (photonEnded) {
    phot.electronFlag = -phot.electronFlag;
    phot.notFollowed = 1;
  }

  // Directions: the photon turned by (mu, phi), the electron along the
  // momentum transfer p0 - p1.
  if (k.trackPos != 0 && (!photonEnded || phot.bankEntry >= 0)) {
    const VECTOR p0 = t.pc.dir;
    const double Eprime = E0 - T > 0.0 ? E0 - T : 0.0;
    const VECTOR p1 = NonIsotropic(p0, Eprime, 1.0 / E0, phot.mu, kTwoPi * t.rng->random());
    t.pc.dir = p1;
    if (phot.bankEntry >= 0) {
      VECTOR q = p0 - p1;
      const double length = sqrt(Dot(q, q));
      q = length > 0.0 ? (photon_step::ChargedMomentum(Te, RestEnergyTwice(k)) / length) * q : p0 * (1.0 / E0);
      if (phot.bankEntry == 1) {
        t.pcCursor->dir = q;
      } else {
        t.pc.dir = q;
      }
    }
  }
  if (phot.bankEntry == 0) TakeRecord(t, Te, kElectron, kOriginCompton);
  DepositEnergy(t, T);
  if (phot.electronFlag != 0) return PrepareRelaxation(t, phot.element, el.subshellDesignator[shell]);
  return photon_step::InteractionDone(t, !photonEnded);
}

// The same with the vacancy's cascade.
TQ_CPU_GPU inline int32_t IncoherentOutcome(TASKSTATE& t, int32_t shell, bool stop) {
  return RelaxAfter(t, IncoherentProducts(t, shell), stop);
}

// The struck electron's subshell and momentum projection from the Compton
// profiles, accepted when the electron can leave its subshell: phot.T and
// phot.shell. Returns kStepGoesOn, or kStepSuspended on a stop request.
TQ_CPU_GPU inline int32_t DopplerTries(TASKSTATE& t, bool stop) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  const PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  const double mu = phot.mu;
  int32_t shell = phot.dopplerFirst;
  double pz = 0.0;
  bool accepted = false;
  for (;;) {
    shell = ShellFromOccupation(el, phot.dopplerFirst, t.rng->random());
    if (phot.pzMaxKnown[shell] == 0) {
      const double d = (t.E - BindingEnergyOfShell(el, shell)) / k.restEn;
      phot.pzMax[shell] = DopplerPzMax(c.k, d, mu, k.fineStr_inv);
      phot.pzMaxKnown[shell] = 1;
    }
    const int32_t profile = el.profileIndex[el.subshellDesignator[shell]] - 1;
    pz = profile >= 0 && profile < el.nProfiles ? ProfileMomentum(el, profile, t.rng->random(), k.smoothCDF_inelastic)
                                                : 0.0;
    accepted = pz <= phot.pzMax[shell];
    if (accepted || ++phot.tries >= kRejectionTryLimit) break;
    if (stop) return kStepSuspended;
  }
  t.state = kStateFollow;
  // Given up: the free-electron energy of the scatter, without a Doppler shift.
  const double Eprime = accepted ? DopplerScatteredEnergy(c.k, mu, pz, k.fineStr, k.restEn) : t.E * phot.eps;
  phot.T = t.E - Eprime;
  phot.shell = shell;
  return kStepGoesOn;
}

TQ_CPU_GPU inline int32_t DopplerLoop(TASKSTATE& t, bool stop) {
  if (DopplerTries(t, stop) == kStepSuspended) return kStepSuspended;
  return IncoherentOutcome(t, t.phot.shell, stop);
}

// The tries of the scattered photon's energy and angle (Klein-Nishina with
// the incoherent scattering function). Returns kStepGoesOn, or kStepSuspended
// on a stop request.
TQ_CPU_GPU inline int32_t IncoherentTries(TASKSTATE& t, bool stop) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  for (;;) {
    const bool accepted = IncoherentTry(el, c, k.constFact_incoh, *t.rng, &phot.mu, &phot.eps);
    // A loop that cannot accept (an S(x) that vanishes everywhere) keeps the
    // free-electron scatter of its last try.
    if (accepted || ++phot.tries >= kRejectionTryLimit) break;
    if (stop) return kStepSuspended;
  }
  t.state = kStateFollow;
  return kStepGoesOn;
}

// After the tries: with a free electron at rest, phot.T and phot.shell are
// set and false returned; with Doppler broadening its loop is set up (state
// 3) and true returned.
TQ_CPU_GPU inline bool IncoherentDopplerFollows(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  const PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  const int32_t first = k.dopplerBroadening != 0 ? FirstShellBoundBelow(el, t.E) : -1;
  if (first < 0) {
    // Free electron at rest: T = (k - k') m c^2, the subshell by occupation.
    phot.T = (c.k - c.k * phot.eps) * k.restEn;
    phot.shell = el.nSubshells <= 1 ? 0 : ShellFromOccupation(el, 0, t.rng->random());
    return false;
  }
  phot.dopplerFirst = first;
  memset(phot.pzMaxKnown + first, 0, static_cast<size_t>(el.nSubshells - first));
  phot.tries = 0;
  t.state = kStateDopplerLoop;
  return true;
}

TQ_CPU_GPU inline int32_t IncoherentLoop(TASKSTATE& t, bool stop) {
  if (IncoherentTries(t, stop) == kStepSuspended) return kStepSuspended;
  if (!IncoherentDopplerFollows(t)) return IncoherentOutcome(t, t.phot.shell, stop);
  return DopplerLoop(t, stop);
}

// The set-up of an incoherent scattering at E; its loop follows (state 2).
TQ_CPU_GPU inline void BeginIncoherentScattering(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  if (c.incohE != t.E) IncoherentSetUp(GetElem(phot.element), t.E, k.restEn, k.constFact_coh, c);
  phot.tries = 0;
  t.state = kStateIncoherentLoop;
}

TQ_CPU_GPU inline int32_t IncoherentScattering(TASKSTATE& t, bool stop) {
  BeginIncoherentScattering(t);
  return IncoherentLoop(t, stop);
}

// ---------------------------------------------------------------------------
// Photoelectric absorption
// ---------------------------------------------------------------------------

// The photoelectron (taking the record when followed); the vacancy's cascade
// is set up. Returns kRelaxationFollows.
TQ_CPU_GPU inline int32_t PhotoelectricProducts(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  const int32_t s = phot.shell;
  const double E0 = t.E;
  const double Te = t.E - BindingEnergyOfShell(el, s);
  DepositEnergy(t, t.E);
  AddStatsEnergy(t, t.curStats, statslot::eCaptureLoss, t.E);
  if (Te > ElectronCutoff(t)) {
    if (k.trackPhotonProducedElectrons != 0) {
      TakeRecord(t, Te, kElectron, kOriginPhotoelectron);
      if (k.trackPos != 0) {
        const double p = photon_step::ChargedMomentum(Te, RestEnergyTwice(k));
        const int16_t j = phot.elements[phot.element].hintShell[s];
        const bool tabulated = k.nonIsotropicPE != 0 && el.peAngCos != nullptr && el.peAngCos[s] != nullptr &&
                               j + 1 < el.photoionN[s] && el.peAngCos[s][j] != nullptr &&
                               el.peAngCos[s][j + 1] != nullptr;
        if (tabulated) {
          // Photoelectron cosine interpolated between the tables of the two
          // photon energies around E0.
          const double r = t.rng->random();
          const int16_t n = static_cast<int16_t>(k.pe_angularDistr_nPoints);
          int16_t interval = 0;
          const double mu1 =
              ValueFromProb(r, el.peAngCos[s][j], el.peAngPdf[s][j], el.peAngCum[s][j], el.peAngSlope[s][j], n,
                            el.peAngMedian[s][j], k.smoothCDF_inelastic, interval);
          const double mu2 =
              ValueFromProb(r, el.peAngCos[s][j + 1], el.peAngPdf[s][j + 1], el.peAngCum[s][j + 1],
                            el.peAngSlope[s][j + 1], n, el.peAngMedian[s][j + 1], k.smoothCDF_inelastic, interval);
          const double* grid = el.photoionEnergy[s];
          const double f = (E0 - grid[j]) / (grid[j + 1] - grid[j]);
          t.pc.dir = NonIsotropic(t.pc.dir, p, 1.0 / E0, mu1 + (mu2 - mu1) * f, kTwoPi * t.rng->random());
        } else {
          t.pc.dir = Isotropic(*t.rng, p);
        }
      }
    }
    AddStats(t, t.curStats, statslot::nCaptureAbove, statslot::eCaptureAbove, Te);
  }
  AddStats(t, t.curStats, statslot::nCapture, statslot::eCapture, Te);
  return PrepareRelaxation(t, phot.element, el.subshellDesignator[s]);
}

TQ_CPU_GPU inline int32_t PhotoelectricEffect(TASKSTATE& t, bool stop) {
  return RelaxAfter(t, PhotoelectricProducts(t), stop);
}

// ---------------------------------------------------------------------------
// Pair production
// ---------------------------------------------------------------------------

namespace photon_step {

// Share of the kinetic energy given to the electron: from the Bethe-Heitler
// tables of the two photon energies around E, or uniform.
TQ_CPU_GPU inline double PairElectronShare(TASKSTATE& t, const Elem& el, PHOTONELEMENTCACHE& c) {
  const Constants& k = GetConstants();
  const double r = t.rng->random();
  if (k.nonUniformPPenergy == 0 || el.ppSpecX == nullptr) return r;
  const int16_t nEnergies = k.n_pp_Eprim >= 2 ? k.n_pp_Eprim : 2;
  if (c.pairE != t.E) {
    c.pairInterval = Find(t.E, k.pp_Eprim, nEnergies, c.hintPairShare);
    c.hintPairShare = c.pairInterval;
    const int16_t i = c.pairInterval;
    c.pairFraction = (t.E - k.pp_Eprim[i]) / (k.pp_Eprim[i + 1] - k.pp_Eprim[i]);
    c.pairE = t.E;
  }
  const int16_t i = c.pairInterval;
  const double u = r < 0.5 ? 2.0 * r : 2.0 * (1.0 - r);
  int16_t interval = 0;
  const double a = ValueFromProb(u, el.ppSpecX[i], el.ppSpecPdf[i], el.ppSpecCum[i], el.ppSpecSlope[i], el.ppSpecN[i],
                                 el.ppSpecMedian[i], k.smoothCDF_inelastic, interval);
  const double b = ValueFromProb(u, el.ppSpecX[i + 1], el.ppSpecPdf[i + 1], el.ppSpecCum[i + 1], el.ppSpecSlope[i + 1],
                                 el.ppSpecN[i + 1], el.ppSpecMedian[i + 1], k.smoothCDF_inelastic, interval);
  const double q = a + (b - a) * c.pairFraction;
  return r < 0.5 ? q : 1.0 - q;
}

// Direction of a pair particle of kinetic energy T from the photon's
// direction d0 (length E0).
TQ_CPU_GPU inline VECTOR PairParticleDirection(TASKSTATE& t, VECTOR d0, double E0, double T) {
  const Constants& k = GetConstants();
  const double p = ChargedMomentum(T, RestEnergyTwice(k));
  if (k.usePPangularDistr == 0) return (p / E0) * d0;
  const double mu = PairEmissionCosine(t.rng->random(), T, 1.0 / k.restEn);
  return NonIsotropic(d0, p, 1.0 / E0, mu, kTwoPi * t.rng->random());
}

}  // namespace photon_step

TQ_CPU_GPU inline int32_t PairCreation(TASKSTATE& t) {
  const Constants& k = GetConstants();
  PHOTONSTATE& phot = t.phot;
  const Elem& el = GetElem(phot.element);
  const double E0 = t.E;
  const VECTOR d0 = t.pc.dir;
  DepositEnergy(t, t.E);
  AddStatsEnergy(t, t.curStats, statslot::ePairLoss, t.E);
  const double K = t.E - RestEnergyTwice(k);
  const double T1 = K * photon_step::PairElectronShare(t, el, phot.elements[phot.element]);
  const double T2 = K - T1;
  const double cutE = ElectronCutoff(t);
  const bool followed = k.trackPhotonProducedElectrons != 0;

  // The electron and the positron: the first followed one takes the record,
  // a followed positron behind the electron is banked.
  bool electronInRecord = false, positronInRecord = false, positronBanked = false;
  if (T1 > cutE) {
    if (followed) electronInRecord = true;
    AddStats(t, t.curStats, statslot::nPairParticlesAbove, statslot::ePairParticlesAbove, T1);
  }
  if (T2 > cutE) {
    if (followed && !electronInRecord) {
      positronInRecord = true;
    } else if (followed) {
      if (PushParticle(t, T2, kPositron, kOriginPairPositron, d0, t.weight, 0) == kBankFull) return kStepFatal;
      positronBanked = true;
    }
    AddStats(t, t.curStats, statslot::nPairParticlesAbove, statslot::ePairParticlesAbove, T2);
  }
  AddStats(t, t.curStats, statslot::nPairParticles, statslot::ePairParticles, K, 2.0);

  if (k.trackPos != 0 && followed) {
    if (positronBanked) t.pcCursor->dir = photon_step::PairParticleDirection(t, d0, E0, T2);
    if (electronInRecord) t.pc.dir = photon_step::PairParticleDirection(t, d0, E0, T1);
    if (positronInRecord) t.pc.dir = photon_step::PairParticleDirection(t, d0, E0, T2);
  }
  if (electronInRecord) TakeRecord(t, T1, kElectron, kOriginPairElectron);
  if (positronInRecord) TakeRecord(t, T2, kPositron, kOriginPairPositron);

  // A positron that is not followed, or that starts at or below the electron
  // cutoff, annihilates at once where it was made.
  if (!followed) {
    if (AnnihilateAtRest(t, T2, false) > 0) return kStepFatal;
  } else if (!(T2 > cutE)) {
    if (AnnihilateAtRest(t, T2, true) > 0) return kStepFatal;
  }
  return photon_step::InteractionDone(t, false);
}

// ---------------------------------------------------------------------------
// The interaction and the resumption of an interrupted one
// ---------------------------------------------------------------------------

TQ_CPU_GPU inline int32_t PhotonCollision(TASKSTATE& t, bool stop) {
  t.phot.E0 = t.E;
  switch (t.phot.interaction) {
    case kPhotonCoherent:
      return CoherentScattering(t, stop);
    case kPhotonIncoherent:
      return IncoherentScattering(t, stop);
    case kPhotonPhotoelectric:
      return PhotoelectricEffect(t, stop);
    default:
      return PairCreation(t);
  }
}

// A rejection loop or a relaxation cascade left on a stop request.
TQ_CPU_GPU inline int32_t ResumeStep(TASKSTATE& t, bool stop) {
  switch (t.state) {
    case kStateCoherentLoop:
      return CoherentLoop(t, stop);
    case kStateIncoherentLoop:
      return IncoherentLoop(t, stop);
    case kStateDopplerLoop:
      return DopplerLoop(t, stop);
    default:
      return RelaxationCascade(t, stop);
  }
}
