// One transport step of a photon: the cross sections of its material, the
// flight to the next collision or out of the layer, the escape and cutoff
// scoring, and the choice of the element, interaction and subshell of the
// collision. The interactions are in photon_interactions.cpp.
#include "transport/photon_flight.h"

#include <atomic>
#include <cmath>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/material.h"
#include "core/task.h"
#include "geometry/simple_layer.h"
#include "transport/history.h"
#include "transport/interaction_stats.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

constexpr int32_t kPhotonCollides = 0;
constexpr int32_t kPhotonGone = 1;  // escaped; the next particle has been read

bool CoherentFollowed(const Constants& k, uint8_t kind) {
  return k.coh != 0 && (k.trackPos != 0 || kind == kPhoton);
}

// Position-less photon that can no longer lose energy to any electron: it
// ends as a cutoff event, its energy above the cutoff counted as Compton loss.
// Only the part above the cutoff is deposited, as a photon below the cutoff
// deposits nothing.
void EndPhotonThatCannotLoseEnergy(CTask& task) {
  const double cutP = PhotonCutoff(task);
  AddStats(task, task.curStats, statslot::nPhotonCutoff, statslot::ePhotonCutoff, cutP);
  AddStatsEnergy(task, task.curStats, statslot::eComptonLoss, task.E - cutP);
  AddStatsEnergy(task, task.curStats, statslot::eCompton, task.E - cutP);
  DepositEnergy(task, task.E - cutP);
  RunMonitorTick(task);
  task.ReadBankedParticle();
}

}  // namespace

// Cross sections of the current material at E, cached by material, energy
// and (with coherent scattering) kind.
void CTask::Sigma_phot() {
  const Constants& k = GetConstants();
  const MATERIAL* m = material;
  if (m == nullptr || (cell != nullptr && cell->material < 0)) return;  // void: sigma_tot keeps its value
  const int32_t kindKey = k.coh != 0 ? kind : -2;
  if (m == phot.keyMaterial && E == phot.keyEnergy && kindKey == phot.keyKind) return;
  const bool coherentOn = CoherentFollowed(k, kind);
  const double restEn2 = RestEnergyTwice(k);
  phot.lnE = log(E);
  double sigmaTot = 0.0;
  double sigmaScat = 0.0;
  for (int32_t j = 0; j < m->nElements; ++j) {
    const int32_t e = m->element[j];
    PHOTONELEMENTCACHE& c = phot.elements[e];
    const double total = PhotonElementCrossSections(GetElem(e), E, phot.lnE, coherentOn, restEn2, c);
    const double fraction = m->fraction[e];
    sigmaScat += fraction * (c.sigma_coh + c.sigma_incoh) * kBarn;
    sigmaTot += fraction * total * kBarn;
    c.cumulative = sigmaTot;
  }
  phot.sigma_tot = sigmaTot;
  phot.sigma_scat = sigmaScat;
  phot.keyMaterial = m;
  phot.keyEnergy = E;
  phot.keyKind = kindKey;
}

int32_t CTask::CheckTotalSigma_phot() {
  if (phot.sigma_tot > 0.0) return 0;
  printf("\nFatal error in thread No. %d: total photon collision cross section is zero.\n", threadNo + 1);
  fatalError.store(1, std::memory_order_release);
  return 1;
}

// Flight in the simple geometry: to a collision inside the layer, or out of
// it (escape scored, next particle read). Returns kPhotonCollides or
// kPhotonGone.
int32_t CTask::Distance_phot() {
  const Constants& k = GetConstants();
  escaped = 0;
  const double sigma = phot.sigma_tot;
  double s = 0.0;
  if (sigma > 0.0) s = -log(rng->random2()) / (k.concentration * sigma);
  flightDistance = s;
  // Depth below the front face and direction cosine to its normal.
  const double invE = 1.0 / E;
  double depth, c;
  if (k.surface_C == 1.0) {
    depth = pc.pos.z - k.surface_Z;
    c = pc.dir.z * invE;
  } else {
    depth = k.surface_A * pc.pos.x + k.surface_B * pc.pos.y + k.surface_C * pc.pos.z + k.surface_D;
    c = (k.surface_A * pc.dir.x + k.surface_B * pc.dir.y + k.surface_C * pc.dir.z) * invE;
  }
  double exit = 0.0;
  if (c > 0.0) exit = (k.w - depth) / c;
  if (c < 0.0) exit = -depth / c;
  if (!(sigma > 0.0) || (c != 0.0 && exit < s)) {
    // A recorded track ends on the face; the escape scores the rest of the
    // flight, to infinity.
    if (TrackRecording(*this) && sigma > 0.0 && c != 0.0) {
      pc.pos += (exit * invE) * pc.dir;
      ScorePlaneCrossings(*this);
    }
    PhotonEscape();
    return kPhotonGone;
  }
  // A photon moves to its collision whenever positions are followed, so that
  // the secondaries of the collision start where it happens; without
  // positions a followed photon stays where it is from now on.
  if (k.trackPos != 0) {
    pc.pos += (s * invE) * pc.dir;
    ScorePlaneCrossings(*this);
  } else if (k.trackSecondaryPhotons != 0) {
    kind = kPhotonNoPosition;
  }
  if (sourceFlag != 0) ++stats->slot[statslot::nSourceInteracted].n;
  return kPhotonCollides;
}

// The photon has reached the layer's face (simple geometry): it leaves.
void CTask::PhotonEscape() {
  const Constants& k = GetConstants();
  boundaryDistance = -1.0;
  // Complex geometry: the locating call that finds the next cell joins here
  // with the ray tracker.
  escaped = 1;
  AddStats(*this, stats, statslot::nPhotonEscapes, statslot::ePhotonEscapes, E);
  if (k.outputCellInteractionStats != 0 && curStats != nullptr && curStats != stats) {
    AddStats(*this, curStats, statslot::nPhotonEscapes, statslot::ePhotonEscapes, E);
    if (sourceFlag != 0) {
      ++curStats->slot[statslot::nSourceEscapePhotons].n;
      curStats->slot[statslot::eSourceEscapePhotons].e += E;
    }
  }
  // The simple geometry has no cell-entry tallies: its one cell is the layer.
  ScorePlaneCrossings(*this);
  RecordTrackExit(*this);
  ReadBankedParticle();
  RunMonitorTick(*this);
}

// A photon below its cell's cutoff: counted with its energy, not deposited.
void CTask::PhotonEnergyBelowCutoff() {
  AddStats(*this, curStats, statslot::nPhotonCutoff, statslot::ePhotonCutoff, E);
}

// The element, the interaction and (photoelectric) the subshell.
void CTask::SampleCollisionType_phot() {
  const Constants& k = GetConstants();
  sourceFlag = 0;
  const MATERIAL& m = *material;
  int32_t e = m.element[0];
  if (m.nElements > 1) {
    const double x = rng->random2() * phot.sigma_tot;
    int32_t j = 0;
    while (j < m.nElements - 1 && phot.elements[m.element[j]].cumulative < x) ++j;
    e = m.element[j];
  }
  phot.element = e;
  const PHOTONELEMENTCACHE& c = phot.elements[e];
  phot.xDraw = rng->random2() * c.total;
  phot.notFollowed = k.trackSecondaryPhotons == 0 ? 1 : 0;
  phot.interaction = SelectPhotonInteraction(c, GetElem(e).nSubshells, phot.xDraw, &phot.shell);
}

int32_t CTask::PhotonStep() {
  const Constants& k = GetConstants();
  phot.electronFlag = 0;
  if (k.complexGeometry != 0) {
    printf("\nFatal error in thread No. %d: photon flight in cells is not available (complex geometry is not "
           "available).\n",
           threadNo + 1);
    fatalError.store(1, std::memory_order_release);
    return kStepFatal;
  }
  Sigma_phot();
  if (k.trackPos == 0 && k.trackSecondaryPhotons != 0) {
    if (CheckTotalSigma_phot() != 0) return kStepFatal;
    if (phot.sigma_tot == phot.sigma_scat && MaxComptonTransfer(E, k.restEn) <= k.minBindingEnergy) {
      EndPhotonThatCannotLoseEnergy(*this);
      return kStepGoesOn;
    }
  }
  if (kind != kPhotonNoPosition && Distance_phot() == kPhotonGone) return kStepGoesOn;
  SampleCollisionType_phot();
  RecordTrackPoint(*this);  // finished by the history loop after the interaction
  return PhotonInteraction();
}
