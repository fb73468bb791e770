// One transport step of an electron or positron as host/device functions over
// the worker's plain record (TASKSTATE): the material's cross sections at the
// energy (cached), interaction forcing, the flight to the next collision or
// out of the layer (or the Gaussian diffusion walk where elastic scattering
// dominates), the choice of the colliding column, and the collisions (elastic
// scattering, bremsstrahlung, excitation, electroionization with its
// relaxation cascade). The CPU worker's part between the stages (tracks,
// taking the next banked particle, the fatal-error flag) is in the CTask
// wrappers of electron_flight.cpp and electron_interactions.cpp. The
// complex-geometry flight joins with the geometry.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/material.h"
#include "core/task.h"
#include "geometry/simple_layer.h"
#include "transport/bank.h"
#include "transport/cell_flight.h"
#include "transport/cutoffs.h"
#include "transport/directions.h"
#include "transport/electron_flight.h"
#include "transport/electron_interactions.h"
#include "transport/electron_scoring.h"
#include "transport/host_hooks.h"
#include "transport/lookup.h"
#include "transport/photon_step.h"
#include "transport/tally_scoring.h"

// Outcomes of the flight stage.
constexpr int32_t kElectronCollides = 0;     // a column is chosen: the collision follows
constexpr int32_t kElectronEscapes = 1;      // left the layer, scored: the next banked particle follows
constexpr int32_t kElectronNoCollision = 2;  // no analogue column was left: the step ends

namespace electron_step {

// Forced-process groups by section type, from the tables of the Constants
// record: elastic, bremsstrahlung, excitation, K, L (3 subshells), M (5
// subshells); other types count as K, alone.
TQ_CPU_GPU inline int ForcedGroup(const Constants& k, int type) {
  if (type < 0 || type >= kElectronSectionTypes) return 3;
  return k.type_electron_sigma0[type];
}
TQ_CPU_GPU inline int ForcedGroupSize(const Constants& k, int type) {
  if (type < 0 || type >= kElectronSectionTypes) return 1;
  const int32_t size = k.nForced0[ForcedGroup(k, type)];
  return size > 1 ? size : 1;  // a group holds its own section at least
}
TQ_CPU_GPU inline const char* ForcedGroupName(const Constants& k, int group) { return k.forcedInteractionName[group]; }

TQ_CPU_GPU inline ELECTRONCOLUMNS ColumnsOf(const TASKSTATE& t) {
  return ELECTRONCOLUMNS{t.material->electronSigma + t.elRowOffset, t.material->electronSigmaSlope + t.elRowOffset,
                         t.elInterval, t.elIntervalOffset};
}

TQ_CPU_GPU inline int32_t ElasticColumnCount(const MATERIAL& m) { return m.nElements; }

// Interval of E on the material's grid: the cached interval, one step to a
// neighbour, then the fast index.
TQ_CPU_GPU inline int16_t MaterialInterval(const MATERIAL& m, double E, int16_t hint) {
  const double* g = m.electronEnergy;
  const int16_t n = static_cast<int16_t>(m.nElectronEnergies);
  const int16_t last = LastInterval(n);
  int16_t i = hint < 0 ? int16_t{0} : (hint > last ? last : hint);
  if (E < g[i]) {
    if (i > 0) --i;
    if (E < g[i] && i > 0) i = FindIndexed(E, g, n, m.electronIndex, i);
  } else if (E >= g[i + 1]) {
    if (i < last) ++i;
    if (E >= g[i + 1] && i < last) i = FindIndexed(E, g, n, m.electronIndex, i);
  }
  return i;
}

}  // namespace electron_step

// ---------------------------------------------------------------------------
// Cross sections and interaction forcing
// ---------------------------------------------------------------------------

// Interaction forcing of the current cell: the forced columns and their
// shares of sigma_tot. While weight F / sigma_tot exceeds FORCE_WT, the
// forced process with the largest cross section (rated by its group: L1-L3,
// M1-M5 together) is excluded, with a warning once per group and worker.
TQ_CPU_GPU inline void SetUpElectronForcing(TASKSTATE& t) {
  using namespace electron_step;
  const Constants& k = GetConstants();
  const MATERIAL& m = *t.material;
  const ELECTRONCOLUMNS c = ColumnsOf(t);
  const int32_t nForced = m.nForcedEntries;
  t.forcedFraction = 0.0;
  for (int32_t e = 0; e < nForced; ++e) t.forcedEnabled[m.forcedEntry[e]] = 0;
  if (t.cell == nullptr || t.cell->FORCE <= 0 || nForced == 0 || !(t.sigma_tot > 0.0)) return;

  double F = 0.0;
  for (int32_t e = 0; e < nForced; ++e) {
    const int32_t col = m.forcedEntry[e];
    t.forcedEnabled[col] = 1;
    t.forcedSigma[e] = ColumnWidth(c, col);
    F += t.forcedSigma[e];
  }
  double forcedProbability = t.weight * F / t.sigma_tot;  // weight F / sigma_tot before the exclusions
  while (forcedProbability > k.force_wt) {
    int32_t best = -1;
    double bestRating = -1.0;
    for (int32_t e = 0; e < nForced;) {
      const int32_t col = m.forcedEntry[e];
      if (t.forcedEnabled[col] == 0) {
        ++e;
        continue;
      }
      const int size = ForcedGroupSize(k, m.entrySection[col]);
      int32_t lastCol = col + size - 1;
      if (lastCol > m.nElectronEntries - 1) lastCol = m.nElectronEntries - 1;
      const double rating = ColumnValue(c, lastCol) - ColumnValue(c, col - 1);
      if (rating > bestRating) {
        bestRating = rating;
        best = e;
      }
      e += size;
    }
    if (best < 0) {
      F = 0.0;
      break;
    }
    const int32_t col = m.forcedEntry[best];
    F -= t.forcedSigma[best];
    t.forcedEnabled[col] = 0;
    if (t.forcedWarned[best] == 0) {
      const int size = ForcedGroupSize(k, m.entrySection[col]);
      for (int32_t e = best; e < best + size && e < nForced; ++e) t.forcedWarned[e] = 1;
      const char* name = ForcedGroupName(k, ForcedGroup(k, m.entrySection[col]));
      const int z = GetElem(m.entryElement[col]).Z;
      if (k.nMaterials < 2) {
        printf(
            "\nWarning: %s was excluded at least once from the set of forced interactions for Z = %d in %s No. "
            "%d.\n",
            name, z, PlaceWord(t), PlaceNumber(t, k.device));
      } else {
        printf(
            "\nWarning: %s was excluded at least once from the set of forced interactions for Z = %d (material No. "
            "%d) in %s No. %d.\n",
            name, z, m.number, PlaceWord(t), PlaceNumber(t, k.device));
      }
    }
    forcedProbability = t.weight * F / t.sigma_tot;
    if (!(F > 0.0)) {
      F = 0.0;
      break;
    }
  }
  if (!(F > 0.0)) {
    for (int32_t e = 0; e < nForced; ++e) t.forcedEnabled[m.forcedEntry[e]] = 0;
    return;
  }
  for (int32_t e = 0; e < nForced; ++e)
    if (t.forcedEnabled[m.forcedEntry[e]] != 0) t.forcedSigma[e] /= t.sigma_tot;
  t.forcedFraction = F / t.sigma_tot;
}

// The lookup of ElectronCrossSections (below) for a material, energy or kind
// other than the last lookup's; kept out of line, since most steps (those
// after an elastic collision) need only the test.
TQ_NOINLINE TQ_CPU_GPU inline int32_t ElectronCrossSectionsAtNewEnergy(TASKSTATE& t, int32_t materialIndex,
                                                                       int32_t kindKey) {
  using namespace electron_step;
  const Constants& k = GetConstants();
  const bool positronRows = k.useDifferentCSforPositrons != 0;
  const MATERIAL& m = *t.material;
  if (materialIndex != t.elSigmaMaterial) t.elInterval = static_cast<int16_t>(m.nElectronEnergies / 2);
  t.elInterval = MaterialInterval(m, t.E, t.elInterval);
  t.elIntervalOffset = t.E - m.electronEnergy[t.elInterval];
  t.elRowOffset = positronRows && t.kind == kPositron ? m.nElectronEntries : 0;
  const ELECTRONCOLUMNS c = ColumnsOf(t);
  const int32_t nColumns = m.nElectronEntries;
  const int32_t lastInelastic = nColumns - ElasticColumnCount(m) - 1;
  t.sigma_inel = ColumnValue(c, lastInelastic);
  if (k.trackPos == 0) {
    // Without positions only the inelastic collisions matter.
    t.sigma_tot = t.sigma_inel;
    t.sigma_el = 0.0;
    if (!(t.sigma_tot > 0.0)) {
      printf("\nFatal error in %s No. %d: total inelastic electron collision cross section is zero.\n", WorkerWord(t),
             t.threadNo + 1);
      return kStepFatal;
    }
  } else {
    t.sigma_tot = ColumnValue(c, nColumns - 1);
    t.sigma_el = t.sigma_tot - t.sigma_inel;
  }
  if (t.bank.wt != nullptr) SetUpElectronForcing(t);
  t.elSigmaMaterial = materialIndex;
  t.elSigmaE = t.E;
  t.elSigmaKind = kindKey;
  return 0;
}

// Looks up sigma_tot, sigma_inel and sigma_el at E (per unit concentration)
// unless the material, energy and (with positron rows) kind are those of the
// last lookup. Returns kStepFatal (message printed) when positions are not
// followed and the inelastic total is zero; 0 otherwise.
TQ_CPU_GPU inline int32_t ElectronCrossSections(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const int32_t materialIndex = static_cast<int32_t>(t.material - k.material);
  const int32_t kindKey = k.useDifferentCSforPositrons != 0 ? t.kind : 0;
  if (materialIndex == t.elSigmaMaterial && t.E == t.elSigmaE && kindKey == t.elSigmaKind) return 0;
  return ElectronCrossSectionsAtNewEnergy(t, materialIndex, kindKey);
}

// ---------------------------------------------------------------------------
// Collision sampling
// ---------------------------------------------------------------------------

// Chooses the colliding column among the first nColumns (cumulative total
// sigmaColl). With forcing, the forced columns are left out of the analogue
// choice; instead, with probability weight F / FORCE_WT, a copy per forced
// process is banked with weight sigma_k FORCE_WT / F, and the particle keeps
// weight (1 - F). Returns 0, 1 when no analogue column is left (no
// interaction), or kStepFatal on a full bank.
TQ_CPU_GPU inline int32_t SampleElectronCollision(TASKSTATE& t, double sigmaColl, int32_t nColumns) {
  const Constants& k = GetConstants();
  t.sourceFlag = 0;
  const bool forcing = t.bank.wt != nullptr && t.forcedFraction > 0.0;
  const int32_t col =
      SampleColumn(*t.rng, electron_step::ColumnsOf(t), nColumns, sigmaColl, forcing ? t.forcedEnabled : nullptr);
  if (col >= 0) {
    t.collisionElement = t.material->entryElement[col];
    t.collisionType = t.material->entrySection[col];
  }
  if (forcing) {
    const double p = t.weight * t.forcedFraction / k.force_wt;
    const double u = p <= 1e-4 ? t.rng->random2() : t.rng->random();
    if (u < p) {
      const MATERIAL& m = *t.material;
      for (int32_t e = 0; e < m.nForcedEntries; ++e) {
        if (!(t.forcedSigma[e] > 0.0) || t.forcedEnabled[m.forcedEntry[e]] == 0) continue;
        const double copyWeight = t.forcedSigma[e] * k.force_wt / t.forcedFraction;
        if (PushParticle(t, t.E, t.kind, t.org, t.pc.dir, copyWeight, static_cast<int16_t>(e + 1)) > 0)
          return kStepFatal;
      }
    }
    t.weight *= 1.0 - t.forcedFraction;
  }
  return col >= 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The flight
// ---------------------------------------------------------------------------

namespace electron_step {

TQ_CPU_GPU inline LAYER LayerOf(const Constants& k) {
  return LAYER{Init(k.surface_A, k.surface_B, k.surface_C), k.surface_D, k.w};
}

TQ_CPU_GPU inline void CountSourceInteraction(TASKSTATE& t) {
  if (t.sourceFlag != 0) ++t.stats->slot[statslot::nSourceInteracted].n;
}

}  // namespace electron_step

// The Gaussian walk of one inelastic path inside the layer (the particle
// stays within the free distance d of both faces on average; a sub-step that
// would cross a face ends on it and the particle leaves). Scores the elastic
// collisions that the walk stands for.
TQ_CPU_GPU inline void DiffuseInLayer(TASKSTATE& t, const Constants& k, const LAYER& layer, double concentration,
                                      double d) {
  const double thr = k.diffusion_totalToInelasticRatio_thr;
  const double sIn =
      t.sigma_inel > 0.0 ? -FastLog(t.rng->random()) / t.sigma_inel : -FastLog(t.rng->random()) / t.sigma_el * thr;
  const double r = sqrt(2.0 * sIn / (3.0 * t.sigma_el)) / concentration;
  const DIFFUSIONPLAN plan = PlanDiffusion(r, d, thr, k.diffusion_distToRMSpathRatio_thr);
  double depth = LayerDepth(layer, t.pc.pos);
  double walked = 0.0;
  VECTOR last{0.0, 0.0, 1.0};
  for (int64_t step = 0; step < plan.n; ++step) {
    VECTOR g;
    do {
      g.x = t.rng->RandomGaussian(0.0, plan.sigma);
      g.y = t.rng->RandomGaussian(0.0, plan.sigma);
      g.z = t.rng->RandomGaussian(0.0, plan.sigma);
    } while (g.x == 0.0 && g.y == 0.0 && g.z == 0.0);
    last = g;
    const double change = Dot(layer.normal, g);
    const double next = depth + change;
    if (next < 0.0 || next > layer.w) {
      const double fraction = ((next < 0.0 ? 0.0 : layer.w) - depth) / change;
      t.pc.pos += fraction * g;
      walked += fraction;
      t.escaped = 1;
      break;
    }
    t.pc.pos += g;
    depth = next;
    walked += 1.0;
  }
  t.pc.dir = last * (t.momentum / sqrt(Dot(last, last)));
  const double events = walked / static_cast<double>(plan.n) * sIn * t.sigma_el;
  if (t.bank.wt != nullptr) {
    t.stats->slot[statslot::nElastic + statslot::kWeightSlotOffset].e += events * t.weight;
  } else {
    t.stats->slot[statslot::nElastic].n += static_cast<uint64_t>(events + 0.5);
  }
  electron_step::CountSourceInteraction(t);
}

// ---------------------------------------------------------------------------
// The flight through cells (complex geometry)
// ---------------------------------------------------------------------------

namespace electron_step {

// The elastic collisions that a walk of `walked` of its n sub-steps stands
// for, in the record of the cell it started in (the overall record without
// per-cell statistics).
TQ_CPU_GPU inline void ScoreWalkedElasticEvents(TASKSTATE& t, INTERACTIONSTATS* record, double walked, int64_t n,
                                                double sIn) {
  const double events = walked / static_cast<double>(n) * sIn * t.sigma_el;
  if (t.bank.wt != nullptr) {
    record->slot[statslot::nElastic + statslot::kWeightSlotOffset].e += events * t.weight;
  } else {
    record->slot[statslot::nElastic].n += static_cast<uint64_t>(events + 0.5);
  }
}

// The end of a flight that left the geometry or met a cutoff: scored here.
// Returns kElectronEscapes (the next banked particle is the caller's) or
// kStepFatal.
TQ_CPU_GPU inline int32_t EndFlightOutsideOrAtCutoff(TASKSTATE& t, int32_t flight) {
  if (flight == kFlightEscaped) {
    t.escaped = 1;
    ScoreChargedEscape(t);
    return kElectronEscapes;
  }
  if (ChargedParticleAtCutoff(t, t.kind == kPositron) == kBankFull) return kStepFatal;
  t.escaped = 1;
  return kElectronEscapes;
}

}  // namespace electron_step

// The Gaussian walk of one inelastic path through the cells: a sub-step
// longer than the free distance d is flown with the tracker, and a walk that
// leaves the cell (or the geometry) ends there. Returns kElectronCollides
// (an inelastic collision follows), kElectronNoCollision (a new cell
// entered), kElectronEscapes or kStepFatal.
TQ_CPU_GPU inline int32_t DiffuseInCells(TASKSTATE& t, const Constants& k, double d) {
  using namespace electron_step;
  const double concentration = t.cell->concentration;
  const double thr = k.diffusion_totalToInelasticRatio_thr;
  const double sIn =
      t.sigma_inel > 0.0 ? -FastLog(t.rng->random()) / t.sigma_inel : -FastLog(t.rng->random()) / t.sigma_el * thr;
  const double r = sqrt(2.0 * sIn / (3.0 * t.sigma_el)) / concentration;
  const DIFFUSIONPLAN plan = PlanDiffusion(r, d, thr, k.diffusion_distToRMSpathRatio_thr);
  INTERACTIONSTATS* startRecord = t.curStats;
  double walked = 0.0;
  int32_t flight = kFlightInCell;
  for (int64_t step = 0; step < plan.n; ++step) {
    VECTOR g;
    do {
      g.x = t.rng->RandomGaussian(0.0, plan.sigma);
      g.y = t.rng->RandomGaussian(0.0, plan.sigma);
      g.z = t.rng->RandomGaussian(0.0, plan.sigma);
    } while (g.x == 0.0 && g.y == 0.0 && g.z == 0.0);
    const double L = Norm(g);
    t.pc.dir = g * (t.momentum / L);
    if (L <= d) {
      t.pc.pos += g;
    } else {
      t.dir = g * (1.0 / L);
      const int32_t voxelBefore = t.voxelIndex;
      double flown = 0.0;
      flight = FlyThroughCells(t, L, false, &flown);
      if (flight != kFlightInCell) {
        walked += flown / L;
        if (flight == kFlightChangedCell) ScorePlaneCrossings(t);
        break;
      }
      RefreshFreeMotionSphere(t, false, voxelBefore);
    }
    ScorePlaneCrossings(t);
    d = FreeDistanceInCell(t);
    walked += 1.0;
  }
  ScoreWalkedElasticEvents(t, startRecord, walked, plan.n, sIn);
  CountSourceInteraction(t);
  if (flight == kFlightFatal) return kStepFatal;
  if (flight == kFlightEscaped || flight == kFlightCutOff) return EndFlightOutsideOrAtCutoff(t, flight);
  if (flight == kFlightChangedCell) {
    RefreshFreeMotionSphere(t, true, t.voxelIndex);
    return kElectronNoCollision;
  }
  if (k.useFreeMotionRadius != 0 && VoxelHasBoundaries(t)) ComputeFreeMotionRadius(t);
  t.pc.dir = Isotropic(*t.rng, t.momentum);
  return kElectronCollides;
}

// The flight of an electron or positron through the cells (complex
// geometry): a collision within the free distance without tracking, the
// Gaussian walk where elastic scattering dominates, otherwise from boundary
// to boundary, a crossing into a cell of the same material (or a void)
// keeping the sampled number of mean free paths. Returns kElectronCollides
// (collision sampled), kElectronNoCollision, kElectronEscapes or kStepFatal.
TQ_CPU_GPU inline int32_t ElectronFlightInCells(TASKSTATE& t, int32_t nColumns, int32_t nInelastic) {
  using namespace electron_step;
  const Constants& k = GetConstants();
  t.escaped = 0;
  const bool startVoid = t.cell->material < 0;
  const MATERIAL* startMaterial = startVoid ? nullptr : t.material;
  double s = -1.0, m = 0.0;
  if (!startVoid && t.sigma_tot > 0.0) {
    const double d = FreeDistanceInCell(t);
    const double concentration = t.cell->concentration;
    const double thr = k.diffusion_totalToInelasticRatio_thr;
    if (t.sigma_tot >= t.sigma_inel * thr && concentration * d * t.sigma_tot >= sqrt(thr)) {
      const int32_t walk = DiffuseInCells(t, k, d);
      if (walk != kElectronCollides) return walk;
      const int32_t sampled = SampleElectronCollision(t, t.sigma_inel, nInelastic);
      if (sampled == kStepFatal) return kStepFatal;
      return sampled == 0 ? kElectronCollides : kElectronNoCollision;
    }
    m = -FastLog(t.rng->random2());
    s = m / (concentration * t.sigma_tot);
    if (s < d) {
      t.pc.pos += (s * t.invMomentum) * t.pc.dir;
      ScorePlaneCrossings(t);
      CountSourceInteraction(t);
      const int32_t sampled = SampleElectronCollision(t, t.sigma_tot, nColumns);
      if (sampled == kStepFatal) return kStepFatal;
      return sampled == 0 ? kElectronCollides : kElectronNoCollision;
    }
  }
  t.dir = t.pc.dir * t.invMomentum;
  const int32_t voxelBefore = t.voxelIndex;
  const double sigma = t.sigma_tot;
  bool cellChanged = false;
  for (;;) {
    const double mfpInverse = t.cell->material < 0 ? 0.0 : t.cell->concentration * sigma;
    double flown = 0.0;
    const int32_t flight = FlyThroughCells(t, s, false, &flown);
    if (flight == kFlightFatal) return kStepFatal;
    if (flight == kFlightEscaped || flight == kFlightCutOff) return EndFlightOutsideOrAtCutoff(t, flight);
    if (flight == kFlightInCell) break;
    cellChanged = true;
    const bool nowVoid = t.cell->material < 0;
    if (!nowVoid && t.material != startMaterial) break;
    if (s > 0.0) m -= flown * mfpInverse;
    s = !nowVoid && sigma > 0.0 ? m / (t.cell->concentration * sigma) : -1.0;
  }
  ScorePlaneCrossings(t);
  RefreshFreeMotionSphere(t, cellChanged, voxelBefore);
  if (t.cell->material < 0 || t.material != startMaterial) return kElectronNoCollision;
  CountSourceInteraction(t);
  const int32_t sampled = SampleElectronCollision(t, t.sigma_tot, nColumns);
  if (sampled == kStepFatal) return kStepFatal;
  return sampled == 0 ? kElectronCollides : kElectronNoCollision;
}

// Where an electron or positron step goes once its cross sections are known
// (ElectronStepRoute).
enum ElectronRoute : int32_t {
  kElectronRouteVoid = 10,     // a void cell: through it to the next boundary (complex geometry)
  kElectronRouteForced = 11,   // a banked copy of a forced interaction: it collides where it was made
  kElectronRouteCells = 12,    // the flight through the cells
  kElectronRouteInPlace = 13,  // positions not followed: an inelastic collision where it is
  kElectronRouteNoSigma = 14,  // nothing to collide with: it leaves
  kElectronRouteLayer = 15,    // the flight in the layer
};

// The start of the step: momentum, cross sections (and forcing) and the
// route of the step; kStepFatal (message printed) when the cross sections
// fail. A forced copy gets its collision here.
TQ_CPU_GPU inline int32_t ElectronStepRoute(TASKSTATE& t) {
  const Constants& k = GetConstants();
  t.momentum = ElectronMomentum(t.E, RestEnergyTwice(k));
  t.invMomentum = t.momentum > 0.0 ? 1.0 / t.momentum : 0.0;
  // A void cell has no tables: the particle flies to the next boundary.
  if (k.complexGeometry != 0 && t.cell->material < 0) return kElectronRouteVoid;
  if (ElectronCrossSections(t) != 0) return kStepFatal;
  const MATERIAL& m = *t.material;
  // A copy banked by forcing interacts at once, where it was made.
  if (t.iForced > 0) {
    const int32_t column = m.forcedEntry[t.iForced - 1];
    t.collisionElement = m.entryElement[column];
    t.collisionType = m.entrySection[column];
    t.iForced = 0;
    return kElectronRouteForced;
  }
  if (k.complexGeometry != 0) return kElectronRouteCells;
  // Without positions the particle does not move: an inelastic collision.
  if (k.trackPos == 0) return kElectronRouteInPlace;
  return t.sigma_tot > 0.0 ? kElectronRouteLayer : kElectronRouteNoSigma;
}

// Columns of the material's electron table: all, and the inelastic ones.
TQ_CPU_GPU inline int32_t ElectronColumns(const TASKSTATE& t) { return t.material->nElectronEntries; }
TQ_CPU_GPU inline int32_t InelasticColumns(const TASKSTATE& t) {
  return t.material->nElectronEntries - electron_step::ElasticColumnCount(*t.material);
}

// The collision among the first n columns (cumulative total sigma):
// kElectronCollides, kElectronNoCollision or kStepFatal.
TQ_CPU_GPU inline int32_t SampledElectronCollision(TASKSTATE& t, double sigma, int32_t n) {
  const int32_t sampled = SampleElectronCollision(t, sigma, n);
  if (sampled == kStepFatal) return kStepFatal;
  return sampled == 0 ? kElectronCollides : kElectronNoCollision;
}

// The flight in the layer: the free distance d to the nearer face, and
// whether the Gaussian walk stands for the elastic collisions.
struct ELECTRONLAYERFLIGHT {
  LAYER layer;
  double concentration;
  double depth;  // below the front face, cm
  double d;      // to the nearer face, cm
  bool diffusion;
};

TQ_CPU_GPU inline ELECTRONLAYERFLIGHT PlanLayerFlight(TASKSTATE& t, const Constants& k) {
  ELECTRONLAYERFLIGHT f;
  f.layer = electron_step::LayerOf(k);
  f.concentration = k.concentration;
  f.depth = LayerDepth(f.layer, t.pc.pos);
  f.d = f.depth <= 0.5 * k.w ? f.depth : k.w - f.depth;
  t.escaped = 0;
  const double thr = k.diffusion_totalToInelasticRatio_thr;
  f.diffusion = t.sigma_tot >= t.sigma_inel * thr && f.concentration * f.d * t.sigma_tot >= sqrt(thr);
  return f;
}

// Free flight to the next collision or out through a face: kElectronEscapes
// (scored) or kElectronCollides (at the collision point, not yet sampled).
TQ_CPU_GPU inline int32_t FreeFlightInLayer(TASKSTATE& t, const Constants& k, const ELECTRONLAYERFLIGHT& f) {
  const double muNormal = Dot(f.layer.normal, t.pc.dir) * t.invMomentum;
  double exitDistance = HUGE_VAL;
  if (muNormal != 0.0) exitDistance = ((muNormal > 0.0 ? k.w : 0.0) - f.depth) / muNormal;
  const double s = -FastLog(t.rng->random2()) / (f.concentration * t.sigma_tot);
  if (exitDistance < s) {
    t.pc.pos += (exitDistance * t.invMomentum) * t.pc.dir;
    ScoreChargedEscape(t);
    return kElectronEscapes;
  }
  t.pc.pos += (s * t.invMomentum) * t.pc.dir;
  ScorePlaneCrossings(t);
  electron_step::CountSourceInteraction(t);
  return kElectronCollides;
}

// After the Gaussian walk in the layer: kElectronEscapes (scored) or
// kElectronCollides (a new isotropic direction; the inelastic collision
// follows).
TQ_CPU_GPU inline int32_t EndOfWalkInLayer(TASKSTATE& t) {
  if (t.escaped != 0) {
    ScoreChargedEscape(t);
    return kElectronEscapes;
  }
  ScorePlaneCrossings(t);
  t.pc.dir = Isotropic(*t.rng, t.momentum);
  return kElectronCollides;
}

// The step up to the collision. Returns kElectronCollides (collisionElement
// and collisionType set), kElectronEscapes (scored), kElectronNoCollision or
// kStepFatal (message printed).
TQ_CPU_GPU inline int32_t ElectronFlightStage(TASKSTATE& t) {
  const Constants& k = GetConstants();
  switch (ElectronStepRoute(t)) {
    case kStepFatal:
      return kStepFatal;
    case kElectronRouteVoid:
      return ElectronFlightInCells(t, 0, 0);
    case kElectronRouteForced:
      return kElectronCollides;
    case kElectronRouteCells:
      return ElectronFlightInCells(t, ElectronColumns(t), InelasticColumns(t));
    case kElectronRouteInPlace:
      return SampledElectronCollision(t, t.sigma_tot, InelasticColumns(t));
    case kElectronRouteNoSigma:
      ScoreChargedEscape(t);
      return kElectronEscapes;
    default:
      break;
  }
  const ELECTRONLAYERFLIGHT f = PlanLayerFlight(t, k);
  if (f.diffusion) {
    DiffuseInLayer(t, k, f.layer, f.concentration, f.d);
    if (EndOfWalkInLayer(t) == kElectronEscapes) return kElectronEscapes;
    return SampledElectronCollision(t, t.sigma_inel, InelasticColumns(t));
  }
  if (FreeFlightInLayer(t, k, f) == kElectronEscapes) return kElectronEscapes;
  return SampledElectronCollision(t, t.sigma_tot, ElectronColumns(t));
}

// ---------------------------------------------------------------------------
// The collisions
// ---------------------------------------------------------------------------

namespace electron_step {

// Rescales the momentum vector to the new energy E (when positions are
// followed and the particle is not dropped).
TQ_CPU_GPU inline void RescaleMomentum(TASKSTATE& t, const Constants& k) {
  if (k.trackPos == 0 || t.E < 0.0) return;
  t.pc.dir = t.pc.dir * (ElectronMomentum(t.E, RestEnergyTwice(k)) * t.invMomentum);
}

// Direction of length `length` turned from the particle's by the polar cosine
// mu and the azimuth phi (a uniform one unless given).
TQ_CPU_GPU inline VECTOR TurnedDirection(TASKSTATE& t, double length, double mu, double phi) {
  return NonIsotropic(t.pc.dir, length, t.invMomentum, mu, phi);
}

TQ_CPU_GPU inline VECTOR TurnedDirection(TASKSTATE& t, double length, double mu) {
  return TurnedDirection(t, length, mu, kTwoPi * t.rng->random());
}

}  // namespace electron_step

// Chooses the deflection's model and samples its cosine into elasticMu:
// the screened Rutherford law in the small-angle range, with the probability
// that the material table gives for the element, else the tabulated
// distributions (partial-wave sets with ELASTIC_DPW, the positron set for a
// positron).
TQ_CPU_GPU inline void SampleElasticDeflection(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(t.collisionElement);
  const MATERIAL& m = *t.material;
  const int quadratic = k.smoothCDF_elastic > 0 ? 1 : 0;
  const int e = t.collisionElement;
  double r;
  const bool smallAngle = k.useDPWelasticScatteringCrossSections == 0 && k.elastic_smallAngle != 0 &&
                          t.E > el.smallAngleStart && m.elasticSmallAngleShare != nullptr &&
                          m.elasticSmallAngleShare[e] != nullptr;
  if (smallAngle) {
    const double q =
        m.elasticSmallAngleShare[e][t.elInterval] + t.elIntervalOffset * m.elasticSmallAngleShareSlope[e][t.elInterval];
    const double u = t.rng->random2();
    if (u < q) {
      const double rs = u / q;
      if (k.smoothCDF_elastic <= 0) {
        t.elasticMu = kSmallAngleCosine + kSmallAngleWidth * rs;
        return;
      }
      if (t.screeningE[e] != t.E) {
        const double eta = ScreeningEta(el.screeningEta0, el.screeningCoulomb, t.E, k.restEn);
        t.screeningE[e] = t.E;
        t.screeningEta[e] = eta;
        t.screeningKappa[e] = eta * (1e6 * eta + 1.0);
      }
      t.elasticMu = SmallAngleCosine(rs, t.screeningEta[e], t.screeningKappa[e]);
      return;
    }
    r = u == q ? t.rng->random() : (u - q) / (1.0 - q);
  } else {
    r = t.rng->random();
  }
  const int8_t setIndex = k.useDPWelasticScatteringCrossSections != 0 && t.kind == kPositron ? 1 : 0;
  const ELASTICSET set = setIndex == 1 ? PositronElasticSet(el) : ElectronElasticSet(el);
  if (t.elasticGridE[e] != t.E || t.elasticGridSet[e] != setIndex) {
    t.elasticGridE[e] = t.E;
    t.elasticGridSet[e] = setIndex;
    const GRIDSPOT& spot = SpotInterval(t.gridSpot, GridSpotKey(e, kSpotElastic), t.E, el.elasticEnergy, el.elasticNE,
                                        el.elasticEnergyIndex);
    t.elasticGridPoint[e] = ElasticPointOn(set, spot.i, LogGridFractionIn(t.E, spot));
  }
  t.elasticMu = SampleElasticCosineAt(r, set, t.elasticGridPoint[e], quadratic);
}

// Turns the momentum by elasticMu and a uniform azimuth; the energy is kept.
TQ_CPU_GPU inline void ElasticDeflection(TASKSTATE& t) {
  if (GetConstants().trackPos != 0) t.pc.dir = electron_step::TurnedDirection(t, t.momentum, t.elasticMu);
  ScoreElectronEvent(t, statslot::nElastic);
}

// The electron loses the photon's energy k and keeps its direction. A photon
// above the cell's photon cutoff is banked (TRACK_B) isotropically, with the
// dipole-like law, or from the tabulated angular distributions. Returns
// kBankFull (fatal) or 0.
TQ_CPU_GPU inline int32_t BremsstrahlungEmission(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(t.collisionElement);
  const int quadratic = k.smoothCDF_inelastic;
  const BREMSSAMPLE b = SampleBremsPhotonEnergy(t.rng->random(), el, t.E, quadratic);
  const double photonE = b.k;
  const double E0 = t.E;
  ScoreElectronEnergy(t, statslot::eBremsLoss, photonE);
  t.E = k.trackSecondaryElectrons == 0 ? -1.0 : AtLeast(t.E - photonE, 0.0);

  if (photonE > t.cell->CUT_P) {
    if (k.trackBremsPhotons != 0) {
      VECTOR photonDir{};
      if (k.trackPos != 0) {
        if (k.nonIsotropicBrems == 0) {
          photonDir = Isotropic(*t.rng, photonE);
        } else {
          const double r = t.rng->random();
          const bool dipole = E0 <= k.brems_lowEnThr || E0 >= k.brems_highEnThr || el.bremsAngCos == nullptr;
          const double mu =
              dipole ? DipoleBremsCosine(r, ElectronBeta(E0, k.restEn)) : SampleBremsTableCosine(r, el, b, quadratic);
          photonDir = electron_step::TurnedDirection(t, photonE, mu);
        }
      }
      const uint8_t photonKind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
      if (PushParticle(t, photonE, photonKind, kOriginBrems, photonDir, t.weight, 0) > 0) return kBankFull;
      DepositEnergy(t, -photonE);
    }
    ScoreElectronEvent(t, statslot::nBremsPhotonsAbove, statslot::eBremsPhotonsAbove, photonE);
  }
  electron_step::RescaleMomentum(t, k);
  ScoreElectronEvent(t, statslot::nBremsPhotons, statslot::eBremsPhotons, photonE);
  ScoreElectronEvent(t, statslot::nInelastic);
  return 0;
}

// The mean excitation energy loss of the element at E, deposited on the spot;
// the direction is kept.
TQ_CPU_GPU inline void ExcitationLoss(TASKSTATE& t) {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(t.collisionElement);
  ScoreElectronEvent(t, statslot::nInelastic);
  const int16_t i = SpotInterval(t.gridSpot, GridSpotKey(t.collisionElement, kSpotExcitation), t.E, el.excLossEnergy,
                                 el.excLossN, el.excLossIndex)
                        .i;
  double loss = el.excLoss[i] + (t.E - el.excLossEnergy[i]) * el.excLossSlope[i];
  if (loss < 0.0) loss = 0.0;
  ScoreElectronEvent(t, statslot::nExcitation, statslot::eExcitation, loss);
  t.E = k.trackSecondaryElectrons == 0 ? -1.0 : AtLeast(t.E - loss, 0.0);
  electron_step::RescaleMomentum(t, k);
}

// Ionization of subshell s = collisionType - 3: a knock-on electron of energy
// T and a vacancy of binding energy B; the primary keeps E0 - T - B and both
// directions follow from the binary-collision kinematics. A knock-on above
// the cutoff is followed (TRACK_K) and the primary banked; a primary left at
// or below the cutoff ends there at once. The vacancy then relaxes (fluorescence
// and Auger cascade). Returns kStepFatal on a full bank, else the cascade's
// result (kStepInteraction, or kStepSuspended on a stop request).
// ElectroionizationProducts is the collision without the cascade: it returns
// kRelaxationFollows when the vacancy's cascade is set up. `banked` chooses
// which of two followed electrons (an electron primary and its knock-on) is
// banked: the primary (the CPU worker), the higher-energy or the lower-energy
// one (a device task, as its block decides); the other one is followed.
enum IonizationBanking : int32_t { kBankPrimary = -1, kBankLowerElectron = 0, kBankHigherElectron = 1 };

TQ_CPU_GPU inline int32_t ElectroionizationProducts(TASKSTATE& t, int32_t banked = kBankPrimary) {
  using electron_step::TurnedDirection;
  const Constants& k = GetConstants();
  const double restEn2 = RestEnergyTwice(k);
  const Elem& el = GetElem(t.collisionElement);
  const int s = t.collisionType - 3;
  ScoreElectronEvent(t, statslot::nElectroionization);
  ScoreElectronEvent(t, statslot::nInelastic);

  // Energies: the loss W = T + B never exceeds what the primary has.
  const double E0 = t.E;
  const GRIDSPOT& spot = SpotInterval(t.gridSpot, GridSpotKey(t.collisionElement, kSpotIonization + s), E0,
                                      el.ionSpecEnergy[s], el.ionSpecNE[s], el.ionSpecEnergyIndex[s]);
  double T = SampleKnockOnEnergyOn(t.rng->random(), el, s, spot.i, LogGridFractionIn(E0, spot), k.smoothCDF_inelastic);
  const double bindingEnergy = IonizationBindingEnergy(el, s);
  // Below the threshold (never with the file's cross sections) the loss is
  // held to E0 and no vacancy is left.
  const bool vacancy = bindingEnergy <= E0;
  const double B = vacancy ? bindingEnergy : E0;
  if (T > E0 - B) T = E0 - B;
  const double W = T + B;
  ScoreElectronEvent(t, statslot::nKnockOn, statslot::eKnockOn, T);
  ScoreElectronEnergy(t, statslot::eElectroionization, W);
  const double E1 = AtLeast(E0 - W, 0.0);
  const double p1 = ElectronMomentum(E1, restEn2);
  const double mu1 = IonizationPrimaryCosine(E0, E1, restEn2);

  bool knockOnFollowed = false;
  bool primaryPlaced = false;
  if (T > t.cell->CUT_E) {
    if (k.trackKnockOnElectrons != 0 && k.trackSecondaryElectrons != 0) {
      const double pT = ElectronMomentum(T, restEn2);
      const double px = ElectronMomentum(E0 - B, restEn2);
      const VECTOR oldDir = t.pc.dir;
      // Momentum balance: the two electrons leave on opposite sides of the
      // primary's old direction.
      const double phi1 = k.trackPos != 0 ? kTwoPi * t.rng->random() : 0.0;
      const bool twoElectrons = t.kind == kElectron && E1 > t.cell->CUT_E;
      const bool bankKnockOn =
          twoElectrons && ((banked == kBankHigherElectron && T > E1) || (banked == kBankLowerElectron && T <= E1));
      if (bankKnockOn) {
        // The knock-on waits in the bank; the primary goes on.
        const VECTOR knockOnDir =
            k.trackPos != 0 ? TurnedDirection(t, pT, KnockOnCosine(px, pT, p1), phi1 + 0.5 * kTwoPi) : VECTOR{};
        const VECTOR primaryDir = k.trackPos != 0 ? TurnedDirection(t, p1, mu1, phi1) : VECTOR{};
        if (PushParticle(t, T, kElectron, kOriginKnockOn, knockOnDir, t.weight, 0) > 0) return kStepFatal;
        t.E = E1;
        if (k.trackPos != 0) t.pc.dir = primaryDir;
        primaryPlaced = true;
      } else if (E1 > t.cell->CUT_E) {
        // The primary waits in the bank with its new energy and direction.
        const VECTOR primaryDir = k.trackPos != 0 ? TurnedDirection(t, p1, mu1, phi1) : VECTOR{};
        if (PushParticle(t, E1, t.kind, t.org, primaryDir, t.weight, 0) > 0) return kStepFatal;
      } else {
        // A primary at or below the cutoff ends here (a positron annihilates).
        t.E = E1;
        if (ChargedParticleAtCutoff(t, t.kind == kPositron) > 0) return kStepFatal;
      }
      if (!primaryPlaced) {
        // The particle followed now is the knock-on.
        t.iForced = 0;
        if (k.trackPos != 0) {
          t.pc.dir = oldDir;
          t.pc.dir = TurnedDirection(t, pT, KnockOnCosine(px, pT, p1), phi1 + 0.5 * kTwoPi);
        }
        TakeRecord(t, T, kElectron, kOriginKnockOn);
        knockOnFollowed = true;
      }
    }
    ScoreElectronEvent(t, statslot::nKnockOnAbove, statslot::eKnockOnAbove, T);
  }
  if (k.trackSecondaryElectrons == 0) {
    t.E = -1.0;
  } else if (!knockOnFollowed && !primaryPlaced) {
    t.E = E1;
    if (k.trackPos != 0) t.pc.dir = TurnedDirection(t, p1, mu1);
  }
  // The vacancy of binding energy B: the cascade banks what it emits and
  // takes escaping fluorescence out of the deposit; the rest of B stays here.
  if (!vacancy) return kStepInteraction;
  return PrepareRelaxation(t, t.collisionElement, IonizationVacancy(el, s));
}

TQ_CPU_GPU inline int32_t ElectroionizationCollision(TASKSTATE& t, bool stop) {
  return RelaxAfter(t, ElectroionizationProducts(t), stop);
}

// The collision of the selected column. Returns kStepInteraction, kStepFatal
// when the bank overflowed, or kStepSuspended when a stop request interrupted
// the relaxation cascade of an ionization.
TQ_CPU_GPU inline int32_t ElectronCollision(TASKSTATE& t, bool stop) {
  switch (t.collisionType) {
    case 0:
      if (GetConstants().trackSecondaryElectrons == 0) {
        t.E = -1.0;  // not followed: dropped without scoring
        return kStepInteraction;
      }
      SampleElasticDeflection(t);
      ElasticDeflection(t);
      return kStepInteraction;
    case 1:
      return BremsstrahlungEmission(t) > 0 ? kStepFatal : kStepInteraction;
    case 2:
      ExcitationLoss(t);
      return kStepInteraction;
    default:
      return ElectroionizationCollision(t, stop);
  }
}
