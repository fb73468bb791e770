// One transport step of an electron or positron: the material's cross
// sections at the energy (cached), interaction forcing, the flight to the
// next collision or out of the layer (or the Gaussian diffusion walk where
// elastic scattering dominates), the choice of the colliding column and the
// interaction. The complex-geometry flight joins with the geometry.
#include "transport/electron_flight.h"

#include <cmath>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/material.h"
#include "core/task.h"
#include "geometry/simple_layer.h"
#include "transport/bank.h"
#include "transport/directions.h"
#include "transport/electron_interactions.h"
#include "transport/electron_scoring.h"
#include "transport/lookup.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

// Names of the forced-process groups, indexed through the type-to-group map.
const char* const forcedGroupName[6] = {"Elastic scattering",        "Bremsstrahlung",
                                        "Excitation",                "K-shell impact ionization",
                                        "L-shell impact ionization", "M-shell impact ionization"};
constexpr int kForcedGroupOfType[12] = {0, 1, 2, 3, 4, 4, 4, 5, 5, 5, 5, 5};
constexpr int kForcedGroupSize[6] = {1, 1, 1, 1, 3, 5};

int ForcedGroup(int type) { return type >= 0 && type < 12 ? kForcedGroupOfType[type] : 3; }
int ForcedGroupSize(int type) { return type >= 0 && type < 12 ? kForcedGroupSize[kForcedGroupOfType[type]] : 1; }

ELECTRONCOLUMNS ColumnsOf(const CTask& t) {
  return ELECTRONCOLUMNS{t.material->electronSigma + t.elRowOffset, t.material->electronSigmaSlope + t.elRowOffset,
                         t.elInterval, t.elIntervalOffset};
}

int32_t ElasticColumnCount(const MATERIAL& m) { return m.nElements; }

// Interval of E on the material's grid: the cached interval, one step to a
// neighbour, then the fast index.
int16_t MaterialInterval(const MATERIAL& m, double E, int16_t hint) {
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

void SetFatal(CTask& t) { t.fatalError.store(1, std::memory_order_release); }

}  // namespace

// ---------------------------------------------------------------------------
// Cross sections
// ---------------------------------------------------------------------------

// Looks up sigma_tot, sigma_inel and sigma_el at E (per unit concentration)
// unless the material, energy and (with positron rows) kind are those of the
// last lookup. Returns kStepFatal when positions are not followed and the
// inelastic total is zero; 0 otherwise.
int32_t CTask::Sigma_el() {
  const Constants& k = GetConstants();
  const int32_t materialIndex = static_cast<int32_t>(material - k.material);
  const bool positronRows = k.useDifferentCSforPositrons != 0;
  const int32_t kindKey = positronRows ? kind : 0;
  if (materialIndex == elSigmaMaterial && E == elSigmaE && kindKey == elSigmaKind) return 0;

  const MATERIAL& m = *material;
  if (materialIndex != elSigmaMaterial) elInterval = static_cast<int16_t>(m.nElectronEnergies / 2);
  elInterval = MaterialInterval(m, E, elInterval);
  elIntervalOffset = E - m.electronEnergy[elInterval];
  elRowOffset = positronRows && kind == kPositron ? m.nElectronEntries : 0;
  const ELECTRONCOLUMNS c = ColumnsOf(*this);
  const int32_t nColumns = m.nElectronEntries;
  const int32_t lastInelastic = nColumns - ElasticColumnCount(m) - 1;
  sigma_inel = ColumnValue(c, lastInelastic);
  if (k.trackPos == 0) {
    // Without positions only the inelastic collisions matter.
    sigma_tot = sigma_inel;
    sigma_el = 0.0;
    if (!(sigma_tot > 0.0)) {
      printf("\nFatal error in thread No. %d: total inelastic electron collision cross section is zero.\n", threadNo + 1);
      SetFatal(*this);
      return kStepFatal;
    }
  } else {
    sigma_tot = ColumnValue(c, nColumns - 1);
    sigma_el = sigma_tot - sigma_inel;
  }
  if (bank.wt != nullptr) ElectronForcingSetUp();
  elSigmaMaterial = materialIndex;
  elSigmaE = E;
  elSigmaKind = kindKey;
  return 0;
}

// Interaction forcing of the current cell: the forced columns and their
// shares of sigma_tot. While weight F / sigma_tot exceeds FORCE_WT, the
// forced process with the largest cross section (rated by its group: L1-L3,
// M1-M5 together) is excluded, with a warning once per group and worker.
void CTask::ElectronForcingSetUp() {
  const Constants& k = GetConstants();
  const MATERIAL& m = *material;
  const ELECTRONCOLUMNS c = ColumnsOf(*this);
  const int32_t nForced = m.nForcedEntries;
  forcedFraction = 0.0;
  for (int32_t e = 0; e < nForced; ++e) forcedEnabled[m.forcedEntry[e]] = 0;
  if (cell == nullptr || cell->FORCE <= 0 || nForced == 0 || !(sigma_tot > 0.0)) return;

  double F = 0.0;
  for (int32_t e = 0; e < nForced; ++e) {
    const int32_t col = m.forcedEntry[e];
    forcedEnabled[col] = 1;
    forcedSigma[e] = ColumnWidth(c, col);
    F += forcedSigma[e];
  }
  forcedProbability = weight * F / sigma_tot;
  while (forcedProbability > k.force_wt) {
    int32_t best = -1;
    double bestRating = -1.0;
    for (int32_t e = 0; e < nForced;) {
      const int32_t col = m.forcedEntry[e];
      if (forcedEnabled[col] == 0) {
        ++e;
        continue;
      }
      const int size = ForcedGroupSize(m.entrySection[col]);
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
    F -= forcedSigma[best];
    forcedEnabled[col] = 0;
    if (forcedWarned[best] == 0) {
      const int size = ForcedGroupSize(m.entrySection[col]);
      for (int32_t e = best; e < best + size && e < nForced; ++e) forcedWarned[e] = 1;
      const char* name = forcedGroupName[ForcedGroup(m.entrySection[col])];
      const int z = GetElem(m.entryElement[col]).Z;
      if (k.nMaterials < 2) {
        printf("\nWarning: %s was excluded at least once from the set of forced interactions for Z = %d in thread No. "
               "%d.\n",
               name, z, threadNo + 1);
      } else {
        printf("\nWarning: %s was excluded at least once from the set of forced interactions for Z = %d (material No. "
               "%d) in thread No. %d.\n",
               name, z, m.number, threadNo + 1);
      }
    }
    forcedProbability = weight * F / sigma_tot;
    if (!(F > 0.0)) {
      F = 0.0;
      break;
    }
  }
  if (!(F > 0.0)) {
    for (int32_t e = 0; e < nForced; ++e) forcedEnabled[m.forcedEntry[e]] = 0;
    return;
  }
  for (int32_t e = 0; e < nForced; ++e)
    if (forcedEnabled[m.forcedEntry[e]] != 0) forcedSigma[e] /= sigma_tot;
  forcedFraction = F / sigma_tot;
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
int32_t CTask::SampleCollisionType_el(double sigmaColl, int32_t nColumns) {
  const Constants& k = GetConstants();
  sourceFlag = 0;
  const bool forcing = bank.wt != nullptr && forcedFraction > 0.0;
  const int32_t col = SampleColumn(*rng, ColumnsOf(*this), nColumns, sigmaColl, forcing ? forcedEnabled : nullptr);
  if (col >= 0) {
    collisionColumn = col;
    collisionElement = material->entryElement[col];
    collisionType = material->entrySection[col];
  }
  if (forcing) {
    const double p = weight * forcedFraction / k.force_wt;
    const double u = p <= 1e-4 ? rng->random2() : rng->random();
    if (u < p) {
      const MATERIAL& m = *material;
      for (int32_t e = 0; e < m.nForcedEntries; ++e) {
        if (!(forcedSigma[e] > 0.0) || forcedEnabled[m.forcedEntry[e]] == 0) continue;
        const double copyWeight = forcedSigma[e] * k.force_wt / forcedFraction;
        if (PushParticle(*this, E, kind, org, pc.dir, copyWeight, static_cast<int16_t>(e + 1)) > 0) return kStepFatal;
      }
    }
    weight *= 1.0 - forcedFraction;
  }
  return col >= 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The step
// ---------------------------------------------------------------------------

namespace {

LAYER LayerOf(const Constants& k) { return LAYER{Init(k.surface_A, k.surface_B, k.surface_C), k.surface_D, k.w}; }

void CountSourceInteraction(CTask& t) {
  if (t.sourceFlag != 0) ++t.stats->slot[statslot::nSourceInteracted].n;
}

// The Gaussian walk of one inelastic path inside the layer (the particle
// stays within the free distance d of both faces on average; a sub-step that
// would cross a face ends on it and the particle leaves). Scores the elastic
// collisions that the walk stands for.
void DiffuseInLayer(CTask& t, const Constants& k, const LAYER& layer, double concentration, double d) {
  const double thr = k.diffusion_totalToInelasticRatio_thr;
  const double sIn = t.sigma_inel > 0.0 ? -log(t.rng->random()) / t.sigma_inel : -log(t.rng->random()) / t.sigma_el * thr;
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
    const double change = layer.normal * g;
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
  t.pc.dir = last * (t.momentum / sqrt(last * last));
  const double events = walked / static_cast<double>(plan.n) * sIn * t.sigma_el;
  if (t.bank.wt != nullptr) {
    t.stats->slot[statslot::nElastic + statslot::kWeightSlotOffset].e += events * t.weight;
  } else {
    t.stats->slot[statslot::nElastic].n += static_cast<uint64_t>(events + 0.5);
  }
  CountSourceInteraction(t);
}

}  // namespace

int32_t CTask::ElectronStep() {
  const Constants& k = GetConstants();
  if (k.complexGeometry != 0) {
    printf("\nFatal error in thread No. %d: the electron flight through cells is not available (complex geometry is "
           "not available).\n",
           threadNo + 1);
    SetFatal(*this);
    return kStepFatal;
  }
  if (Sigma_el() != 0) return kStepFatal;
  momentum = ElectronMomentum(E, RestEnergyTwice(k));
  invMomentum = momentum > 0.0 ? 1.0 / momentum : 0.0;
  const int32_t nColumns = material->nElectronEntries;
  const int32_t nInelastic = nColumns - ElasticColumnCount(*material);

  // A copy banked by forcing interacts at once, where it was made.
  if (iForced > 0) {
    collisionColumn = material->forcedEntry[iForced - 1];
    collisionElement = material->entryElement[collisionColumn];
    collisionType = material->entrySection[collisionColumn];
    iForced = 0;
    return TrackedInteraction();
  }

  // Without positions the particle does not move: an inelastic collision.
  if (k.trackPos == 0) {
    const int32_t sampled = SampleCollisionType_el(sigma_tot, nInelastic);
    if (sampled == kStepFatal) return kStepFatal;
    return sampled == 0 ? TrackedInteraction() : kStepGoesOn;
  }

  if (!(sigma_tot > 0.0)) {
    ElectronEscape();
    return kStepGoesOn;
  }
  const LAYER layer = LayerOf(k);
  const double concentration = k.concentration;
  const double depth = LayerDepth(layer, pc.pos);
  const double d = depth <= 0.5 * k.w ? depth : k.w - depth;
  escaped = 0;
  const double thr = k.diffusion_totalToInelasticRatio_thr;
  const bool diffusion = sigma_tot >= sigma_inel * thr && concentration * d * sigma_tot >= sqrt(thr);

  double sigmaColl = sigma_tot;
  int32_t nTaking = nColumns;
  if (diffusion) {
    DiffuseInLayer(*this, k, layer, concentration, d);
    if (escaped != 0) {
      ElectronEscape();
      return kStepGoesOn;
    }
    ScorePlaneCrossings(*this);
    pc.dir = Isotropic(*rng, momentum);
    sigmaColl = sigma_inel;
    nTaking = nInelastic;
  } else {
    // Free flight to the next collision or out through a face.
    const double muNormal = (layer.normal * pc.dir) * invMomentum;
    double exitDistance = HUGE_VAL;
    if (muNormal != 0.0) exitDistance = ((muNormal > 0.0 ? k.w : 0.0) - depth) / muNormal;
    const double s = -log(rng->random2()) / (concentration * sigma_tot);
    if (exitDistance < s) {
      pc.pos += (exitDistance * invMomentum) * pc.dir;
      ElectronEscape();
      return kStepGoesOn;
    }
    pc.pos += (s * invMomentum) * pc.dir;
    ScorePlaneCrossings(*this);
    CountSourceInteraction(*this);
  }
  const int32_t sampled = SampleCollisionType_el(sigmaColl, nTaking);
  if (sampled == kStepFatal) return kStepFatal;
  return sampled == 0 ? TrackedInteraction() : kStepGoesOn;
}

// The interaction at the current point, recorded for the track (the history
// loop finishes the point once the interaction is over).
int32_t CTask::TrackedInteraction() {
  RecordTrackPoint(*this);
  return ElectronInteraction();
}
