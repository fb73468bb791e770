// The start of a history as host/device functions over the worker's plain
// record (TASKSTATE), in the order of the random draws: the source particle's
// position, its direction, where it enters the geometry, its energy, then the
// rest of the start (momentum, cell and material, source counts, tallies).
// The CPU worker's CTask::HistoryStart (history.cpp) and the device stages
// (gpu/device_stages.cu) run the same functions; what only a CPU worker does
// (tracks, the run monitor, the extent of the volume-source points, the count
// of consecutive rejections) stays in the CTask methods.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/source.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "geometry/frames.h"
#include "geometry/simple_layer.h"
#include "transport/cell_flight.h"
#include "transport/cell_tally_scoring.h"
#include "transport/directions.h"
#include "transport/host_hooks.h"
#include "transport/source_sampling.h"
#include "transport/tally_scoring.h"

// Outcomes of the source stages.
constexpr int32_t kSourceAccepted = 0;
constexpr int32_t kSourceRejected = 1;
constexpr int32_t kSourceFatal = 2;

namespace history_start {

TQ_CPU_GPU inline VECTOR VectorOf(const double* v) { return Init(v[0], v[1], v[2]); }

TQ_CPU_GPU inline bool FixedPointSource(const Constants& k) {
  return k.sourcePositionType == kPointSource && k.sourceDirectionType == kParallelBeam;
}

// With TRACKPOS 0 an electron or positron source does not move: it starts at
// the origin along +z.
TQ_CPU_GPU inline bool PositionlessCharged(const Constants& k) { return k.trackPos == 0 && k.part != kPhoton; }

}  // namespace history_start

// Names of the source's kinds in the message of a source that never enters.
TQ_CPU_GPU inline const char* SourcePositionName(int32_t type) {
  switch (type) {
    case kPointSource:
      return "point";
    case kPlaneSource:
      return "beam";
    case kCellSource:
      return "volume";
    default:
      return "unknown";
  }
}

TQ_CPU_GPU inline const char* SourceDirectionName(int32_t type) {
  switch (type) {
    case kParallelBeam:
      return "a fixed direction";
    case kConeBeam:
      return "a cone of directions";
    case kIsotropic:
      return "isotropic directions";
    default:
      return "unknown directions";
  }
}

// The first fields of a new history: no particle banked yet, the source kind.
TQ_CPU_GPU inline void BeginSourceParticle(TASKSTATE& t) {
  t.photonSurvival = 0;
  t.state = kStateFollow;
  StoreSharedCount(t.nBanked, -1);
  t.kind = GetConstants().part;
  t.org = kOriginSource;
}

// The source particle's position. A volume-source point that falls outside
// the source cell is rejected; *volumePoint is the accepted point of a volume
// source (for the extent the CPU worker keeps).
TQ_CPU_GPU inline int32_t SampleSourcePosition(TASKSTATE& t, bool* volumePoint) {
  using namespace history_start;
  const Constants& k = GetConstants();
  *volumePoint = false;
  switch (k.sourcePositionType) {
    case kPlaneSource: {
      const VECTOR offset = BeamOffset(*t.rng, k.sourceConstantDensityRadius, k.sourceRMSwidth);
      ApplyTransform(&t.pc.pos, VectorOf(k.sourceCenter), k.Q_source_position, offset);
      return kSourceAccepted;
    }
    case kCellSource: {
      bool accepted = false;
      VECTOR point{};
      SampleVolumePoint(t, &point, &accepted);
      if (!accepted) return kSourceRejected;
      t.pc.pos = point;
      *volumePoint = true;
      return kSourceAccepted;
    }
    default:  // point
      if (k.sourceDirectionType != kParallelBeam) {
        t.pc.pos = VectorOf(k.sourceCenter);
      } else {
        t.pc.pos = PositionlessCharged(k) ? Init(0.0, 0.0, 0.0) : Init(k.entry_X, k.entry_Y, k.entry_Z);
        if (k.useFreeMotionRadius != 0) t.maxRadius = k.entryRadius;
      }
      return kSourceAccepted;
  }
}

// The source particle's unit direction (in t.dir).
TQ_CPU_GPU inline void SampleSourceDirection(TASKSTATE& t) {
  using namespace history_start;
  const Constants& k = GetConstants();
  switch (k.sourceDirectionType) {
    case kConeBeam:
      t.dir = ConeDirection(*t.rng, k.sourceConeCos, k.Q_source_direction);
      return;
    case kIsotropic:
      t.dir = Isotropic(*t.rng, 1.0);
      return;
    default:  // fixed
      t.dir = PositionlessCharged(k) ? Init(0.0, 0.0, 1.0) : Init(k.beam_A, k.beam_B, k.beam_C);
      if (k.sourcePositionType == kPointSource) {
        // The entry found at set-up (the plane-tally distances of the entry
        // point follow from the position at the end of the start).
        t.voxelIndex = k.entryVoxel;
        t.cellIndex = k.entryCell;
        t.entrySurface = k.entrySurface;
      }
      return;
  }
}

// Finds where the source particle starts in the geometry: in its cell, or at
// the point where its ray enters one. A ray that meets nothing is a miss
// (counted). kSourceFatal when the tracker failed (message printed).
TQ_CPU_GPU inline int32_t LocateSourceParticle(TASKSTATE& t) {
  using namespace history_start;
  const Constants& k = GetConstants();
  if (FixedPointSource(k)) return kSourceAccepted;  // located at set-up
  if (k.complexGeometry != 0) {
    t.voxelIndex = -1;
    t.cellIndex = -1;
    t.entrySurface = -1;
    double distance = 0.0;
    VECTOR entry{};
    VECTOR r = t.pc.pos;
    VECTOR u = t.dir;
    int16_t surface = -1;
    if (TrackEntryExit(t, &entry, &r, &u, &distance, &surface, 0.0) != kTrackingOk) return kSourceFatal;
    t.entrySurface = surface;
    if (t.cellIndex < 0) {
      ++t.stats->slot[statslot::nSourceMissed].n;
      return kSourceRejected;
    }
    if (distance == 0.0) {
      t.entrySurface = -2;
    } else {
      t.pc.pos = entry;
    }
    return kSourceAccepted;
  }
  const LAYER layer{Init(k.surface_A, k.surface_B, k.surface_C), k.surface_D, k.w};
  const double distance = LayerEntryDistance(layer, t.pc.pos, t.dir);
  if (distance < 0.0) {
    ++t.stats->slot[statslot::nSourceMissed].n;
    return kSourceRejected;
  }
  t.entrySurface = distance == 0.0 ? -2 : -1;
  t.pc.pos += distance * t.dir;
  return kSourceAccepted;
}

// True when the source's energy is drawn from a spectrum.
TQ_CPU_GPU inline bool SourceSpectrum(const Constants& k) { return k.nEnerg != 1; }

// The source particle's energy: the one line, or a draw from the spectrum.
TQ_CPU_GPU inline void SampleSourceEnergy(TASKSTATE& t) {
  const Constants& k = GetConstants();
  if (!SourceSpectrum(k)) {
    t.E = k.E_source[0];
    return;
  }
  int32_t bin = 0;
  t.E = SpectrumEnergy(t.rng->random(), k.nEnerg, k.E_source, k.cumulativeWeight.Table(), bin);
}

// The rest of the start of an accepted source particle whose position,
// direction and energy are known: momentum, cell and material, the source
// counts, the deposit of a charged source particle, weight and forcing, the
// plane-tally distances and the cell entry of a particle that came in from
// outside.
TQ_CPU_GPU inline void FinishSourceParticle(TASKSTATE& t) {
  using namespace history_start;
  const Constants& k = GetConstants();
  const double restEn2 = RestEnergyTwice(k);
  const bool photon = IsPhoton(t.kind);
  t.E_history = t.kind == kPositron ? t.E + restEn2 : t.E;
  const double momentumSource = photon ? t.E : sqrt(t.E * (t.E + restEn2));
  t.pc.dir = t.dir * momentumSource;

  // Cell and material.
  if (k.complexGeometry != 0) {
    // A point source with a fixed direction starts with the radius of its
    // entry point found at set-up.
    EnterCellOfSlot(t, !FixedPointSource(k));
  } else {
    t.cell = k.cell;
    t.material = k.material;
    t.curStats = t.stats;
    // The forcing entry of the layer's material joins here with interaction forcing.
  }

  // Source counts.
  t.sourceFlag = photon ? 1 : -1;
  StoreSharedCount(t.nBanked, 0);
  if (t.maxBanked < 0) t.maxBanked = 0;
  STATSLOT* s = t.stats->slot;
  if (photon) {
    ++s[statslot::nSourcePhotons].n;
    s[statslot::eSourcePhotons].e += t.E;
  } else {
    ++s[statslot::nSourceElectrons].n;
    s[statslot::eSourceElectrons].e += t.E;
  }
  if (t.curStats != t.stats) {
    STATSLOT* c = t.curStats->slot;
    const int entrySlot = photon ? statslot::nPhotonEntries : statslot::nElectronEntries;
    if (photon) {
      ++c[statslot::nSourcePhotons].n;
      c[statslot::eSourcePhotons].e += t.E;
    } else {
      ++c[statslot::nSourceElectrons].n;
      c[statslot::eSourceElectrons].e += t.E;
    }
    if (t.bank.wt != nullptr) {
      c[entrySlot + statslot::kWeightSlotOffset].e += 1.0;
    } else {
      ++c[entrySlot].n;
    }
    c[photon ? statslot::ePhotonEntries : statslot::eElectronEntries].e += t.E;
  }
  if (!photon) {
    // A charged source particle brings its energy into the history's deposit.
    s[statslot::eHistoryDeposit].e += t.E_history;
    if (k.complexGeometry != 0) DepositInCell(t, t.E_history);
  }
  t.weight = 1.0;
  t.iForced = 0;
  if (k.complexGeometry != 0) t.centerFree = t.pc.pos;
  // Tallies of the new history: the plane distances of the start point, the
  // entry of a source particle that came in from outside into its cell.
  const int32_t tallyKind = TallyKindOf(t.kind);
  ResetPlaneTallyDistances(t, tallyKind);
  if (k.complexGeometry != 0 && k.sourcePositionType != kCellSource && t.entrySurface >= 0 &&
      CellHasEntryTallies(t.iCell, tallyKind)) {
    UpdateCellEntryTallies(t, -1, tallyKind, EntrySlotOf(t.iCell, -1, t.entrySurface), +1);
  }
}
