// CTask::RunHistories: whole particle histories on one worker's record. The
// loop is a state machine on CTask::state so that a stop request can leave a
// history in the middle and a later call can continue it.
#include "transport/history.h"

#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "core/constants.h"
#include "core/relaxed_access.h"
#include "core/source.h"
#include "core/stream_control.h"
#include "geometry/frames.h"
#include "geometry/simple_layer.h"
#include "geometry/source_services.h"
#include "transport/bank.h"
#include "transport/cell_flight.h"
#include "transport/cell_tally_scoring.h"
#include "transport/directions.h"
#include "transport/source_sampling.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

RunMonitorFunction runMonitor = nullptr;
TallySnapshotFunction tallySnapshot = nullptr;

// Outcomes of the source stages.
constexpr int32_t kSourceAccepted = 0;
constexpr int32_t kSourceRejected = 1;
constexpr int32_t kSourceFatal = 2;

// What the history loop does after a history or a step.
enum class LoopExit { kNextHistory, kReturn };

void TickMonitor(const CTask& task) {
  if (task.threadNo == 0 && runMonitor != nullptr) runMonitor(false, true);
}

void SetFatal(CTask& task) { task.fatalError.store(1, std::memory_order_release); }

LAYER LayerOf(const Constants& k) {
  return LAYER{Init(k.surface_A, k.surface_B, k.surface_C), k.surface_D, k.w};
}

VECTOR VectorOf(const double* v) { return Init(v[0], v[1], v[2]); }

const char* PositionKindName(int32_t type) {
  switch (type) {
    case kPointSource:
      return "point";
    case kPlaneSource:
      return "beam";
    case kCellSource:
      return "volume";
    default: return "unknown";
  }
}

const char* DirectionKindName(int32_t type) {
  switch (type) {
    case kParallelBeam:
      return "a fixed direction";
    case kConeBeam:
      return "a cone of directions";
    case kIsotropic:
      return "isotropic directions";
    default: return "unknown directions";
  }
}

bool FixedPointSource(const Constants& k) {
  return k.sourcePositionType == kPointSource && k.sourceDirectionType == kParallelBeam;
}

// With TRACKPOS 0 an electron or positron source does not move: it starts at
// the origin along +z.
bool PositionlessCharged(const Constants& k) { return k.trackPos == 0 && k.part != kPhoton; }

void WidenExtent(CTask& t, VECTOR r) {
  if (t.sourceMin.x > t.sourceMax.x) {
    t.sourceMin = r;
    t.sourceMax = r;
    return;
  }
  t.sourceMin = Init(fmin(t.sourceMin.x, r.x), fmin(t.sourceMin.y, r.y), fmin(t.sourceMin.z, r.z));
  t.sourceMax = Init(fmax(t.sourceMax.x, r.x), fmax(t.sourceMax.y, r.y), fmax(t.sourceMax.z, r.z));
}

// Drops the record's streams whose source particles are all done (or whose
// limit an early end of the run has lowered), from the current one on; the
// number of streams left.
int32_t SkipExhaustedStreams(CTask& t) {
  while (StreamControlOf(t.iStream).nextParticle >= StreamLimit(StreamControlOf(t.iStream))) {
    StreamControlOf(t.iStream).task = kStreamFinished;
    for (int32_t j = t.streamCursor + 1; j < t.nStreams; ++j) t.streamList[j - 1] = t.streamList[j];
    DecrementRelaxed(t.nStreams);
    if (t.nStreams == 0) return 0;
    if (t.streamCursor >= t.nStreams) t.streamCursor = 0;
    StoreRelaxed(t.iStream, t.streamList[t.streamCursor]);
  }
  return t.nStreams;
}

}  // namespace

void SetRunMonitor(RunMonitorFunction tick) { runMonitor = tick; }

void RunMonitorTick(const CTask& task) { TickMonitor(task); }

void SetTallySnapshot(TallySnapshotFunction copy) { tallySnapshot = copy; }

void ServeTallySnapshot(CTask& task) {
  const uint32_t asked = task.snapshotRequest.load(std::memory_order_acquire);
  if (asked == task.snapshotTaken.load(std::memory_order_relaxed)) return;
  if (tallySnapshot != nullptr) tallySnapshot(task);
  task.snapshotTaken.store(asked, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// Entry and dispatch
// ---------------------------------------------------------------------------

void CTask::RunHistories() {
  for (;;) {
    if (stopRequest.load(std::memory_order_acquire) != 0) return;
    if (state < 0) {
      // Between two histories every tally of the last one is complete: the
      // safe point at which the monitor's snapshot is taken.
      ServeTallySnapshot(*this);
      if (nStreams <= 0) return;  // every stream of the record is finished
      // A new history only below its stream's limit: after an early end of
      // the run, or on streams dealt out afresh, the current stream may
      // already be at it.
      if (state == kStateHistoryEnded && SkipExhaustedStreams(*this) == 0) return;
      if (HistoryStart() == kStepFatal) return;
      continue;  // started, or rejected and to be drawn again
    }
    // A photon rejection loop or a relaxation cascade left by a stop request.
    if (state > kStateFollow) {
      const int32_t resumed = ResumeInterruptedStep();
      if (resumed == kStepSuspended || resumed == kStepFatal) return;
      if (resumed == kStepInteraction) {
        FinishTrackPoint(*this);
        TickMonitor(*this);
        if (IsPhoton(kind) && photonSurvival <= 0 && ReadBankedParticle() != 0) return;
        // An ionizing electron's cascade resumed: it may have ended at the cutoff.
        if (EndChargedParticleAtCutoff() != 0) return;
      }
    }

    // The steps of the history's particles, until the bank is empty.
    LoopExit exit = LoopExit::kReturn;
    for (;;) {
      if (nBanked < 0) {
        exit = EndOfHistory() == 0 ? LoopExit::kNextHistory : LoopExit::kReturn;
        break;
      }
      if (stopRequest.load(std::memory_order_acquire) != 0) break;
      E_stepStart = E;
      subStep = 0;
      const int32_t result = Step();
      if (result == kStepSuspended || result == kStepFatal) break;
      if (fatalError.load(std::memory_order_relaxed) != 0) break;
      if (result == kStepInteraction) {
        // The common tail of an interaction. A photon that did not survive it
        // gives way to the next banked particle.
        FinishTrackPoint(*this);
        TickMonitor(*this);
        if (IsPhoton(kind) && photonSurvival <= 0 && ReadBankedParticle() != 0) break;
        // An electron or positron at or below the cell's cutoff ends here.
        if (EndChargedParticleAtCutoff() != 0) break;
      }
    }
    if (exit == LoopExit::kReturn) return;
  }
}

int32_t CTask::Step() {
  stepKind = IsPhoton(kind) ? static_cast<uint8_t>(kPhoton) : kind;
  if (stepOverride != nullptr) return stepOverride(*this);
  switch (kind) {
    case kPhoton:
    case kPhotonNoPosition:
      return PhotonStep();
    case kElectron:
    case kPositron:
      return ElectronStep();
    default:
      printf("\nFatal error in thread No. %d: unknown particle kind %d.\n", threadNo + 1, kind);
      SetFatal(*this);
      return kStepFatal;
  }
}

// ---------------------------------------------------------------------------
// History start
// ---------------------------------------------------------------------------

// Returns kStepGoesOn when the history has started (state 0), kStepSuspended
// when the source particle was rejected (state -2), kStepFatal on a fatal error.
int32_t CTask::HistoryStart() {
  const Constants& k = GetConstants();
  if (state == kStateHistoryEnded) IncrementRelaxed(nHistories);
  photonSurvival = 0;
  state = kStateFollow;
  rng = &RandGenOf(iStream);
  StoreRelaxed(nBanked, -1);
  kind = k.part;
  org = kOriginSource;

  // Position, direction and location, in this order (the order of the draws).
  int32_t placed = SourcePosition();
  if (placed == kSourceAccepted) {
    SourceDirection();
    placed = LocateSource();
  }
  if (placed == kSourceFatal) return kStepFatal;
  if (placed == kSourceRejected) return RejectSource();
  sourceRejections = 0;

  // Energy and momentum.
  SourceEnergy();
  const double restEn2 = RestEnergyTwice(k);
  const bool photon = IsPhoton(kind);
  E_history = kind == kPositron ? E + restEn2 : E;
  const double momentumSource = photon ? E : sqrt(E * (E + restEn2));
  pc.dir = dir * momentumSource;

  // Cell and material.
  if (k.complexGeometry != 0) {
    // A point source with a fixed direction starts with the radius of its
    // entry point found at set-up.
    EnterCellOfVoxelSlot(*this, !FixedPointSource(k));
  } else {
    cell = k.cell;
    material = k.material;
    curStats = stats;
    // The forcing entry of the layer's material joins here with interaction forcing.
  }

  // Source counts.
  sourceFlag = photon ? 1 : -1;
  StoreRelaxed(nBanked, 0);
  if (maxBanked < 0) maxBanked = 0;
  STATSLOT* s = stats->slot;
  if (photon) {
    ++s[statslot::nSourcePhotons].n;
    s[statslot::eSourcePhotons].e += E;
  } else {
    ++s[statslot::nSourceElectrons].n;
    s[statslot::eSourceElectrons].e += E;
  }
  if (curStats != stats) {
    STATSLOT* c = curStats->slot;
    const int entrySlot = photon ? statslot::nPhotonEntries : statslot::nElectronEntries;
    if (photon) {
      ++c[statslot::nSourcePhotons].n;
      c[statslot::eSourcePhotons].e += E;
    } else {
      ++c[statslot::nSourceElectrons].n;
      c[statslot::eSourceElectrons].e += E;
    }
    if (bank.wt != nullptr) {
      c[entrySlot + statslot::kWeightSlotOffset].e += 1.0;
    } else {
      ++c[entrySlot].n;
    }
    c[photon ? statslot::ePhotonEntries : statslot::eElectronEntries].e += E;
  }
  if (!photon) {
    // A charged source particle brings its energy into the history's deposit.
    s[statslot::eHistoryDeposit].e += E_history;
    if (k.complexGeometry != 0) DepositInCell(*this, E_history);
  }
  weight = 1.0;
  iForced = 0;
  if (k.complexGeometry != 0) centerFree = pc.pos;
  // Tallies and tracks of the new history: the plane distances of the start
  // point, the entry of a source particle that came in from outside into its
  // cell, the source point of a tracked history.
  const int32_t tallyKind = TallyKindOf(kind);
  ResetPlaneTallyDistances(*this, tallyKind);
  if (k.complexGeometry != 0 && k.sourcePositionType != kCellSource && entrySurface >= 0 &&
      CellHasEntryTallies(iCell, tallyKind)) {
    UpdateCellEntryTallies(*this, -1, tallyKind, EntrySlotOf(iCell, -1, entrySurface), +1);
  }
  TrackHistoryStart(*this);
  return kStepGoesOn;
}

// A source particle that did not enter the geometry (or its source cell): the
// next try starts without counting a history. A source that never enters ends
// the run instead of spinning.
int32_t CTask::RejectSource() {
  state = kStateSourceRejected;
  TickMonitor(*this);
  if (++sourceRejections <= sourceRejectionLimit) return kStepSuspended;
  const Constants& k = GetConstants();
  printf("\nFatal error in thread No. %d: %" PRId64 " consecutive particles of the %s source with %s missed the "
         "geometry or the source cell.\n",
         threadNo + 1, sourceRejections, PositionKindName(k.sourcePositionType), DirectionKindName(k.sourceDirectionType));
  SetFatal(*this);
  return kStepFatal;
}

int32_t CTask::SourcePosition() {
  const Constants& k = GetConstants();
  switch (k.sourcePositionType) {
    case kPlaneSource: {
      const VECTOR offset = BeamOffset(*rng, k.sourceConstantDensityRadius, k.sourceRMSwidth);
      ApplyTransform(&pc.pos, VectorOf(k.sourceCenter), k.Q_source_position, offset);
      return kSourceAccepted;
    }
    case kCellSource: {
      bool accepted = false;
      VECTOR point{};
      SampleVolumeSourcePoint(*this, &point, &accepted);
      if (!accepted) return kSourceRejected;
      pc.pos = point;
      WidenExtent(*this, point);
      return kSourceAccepted;
    }
    default:  // point
      if (k.sourceDirectionType != kParallelBeam) {
        pc.pos = VectorOf(k.sourceCenter);
      } else {
        pc.pos = PositionlessCharged(k) ? Init(0.0, 0.0, 0.0) : Init(k.entry_X, k.entry_Y, k.entry_Z);
        if (k.useFreeMotionRadius != 0) maxRadius = k.entryRadius;
      }
      return kSourceAccepted;
  }
}

void CTask::SourceDirection() {
  const Constants& k = GetConstants();
  switch (k.sourceDirectionType) {
    case kConeBeam:
      dir = ConeDirection(*rng, k.sourceConeCos, k.Q_source_direction);
      return;
    case kIsotropic:
      dir = Isotropic(*rng, 1.0);
      return;
    default:  // fixed
      dir = PositionlessCharged(k) ? Init(0.0, 0.0, 1.0) : Init(k.beam_A, k.beam_B, k.beam_C);
      if (k.sourcePositionType == kPointSource) {
        // The entry found at set-up (the plane-tally distances of the entry
        // point follow from the position at the end of HistoryStart).
        voxelIndex = k.entryVoxel;
        cellIndex = k.entryCell;
        entrySurface = k.entrySurface;
      }
      return;
  }
}

// Finds where the source particle starts in the geometry: in its cell, or at
// the point where its ray enters one. A ray that meets nothing is a miss.
int32_t CTask::LocateSource() {
  const Constants& k = GetConstants();
  if (FixedPointSource(k)) return kSourceAccepted;  // located at set-up
  if (k.complexGeometry != 0) {
    voxelIndex = -1;
    cellIndex = -1;
    entrySurface = -1;
    double distance = 0.0;
    VECTOR entry{};
    if (LocateSourceRay(*this, pc.pos, dir, &distance, &entry) != kGeometryServiceOk) {
      SetFatal(*this);
      return kSourceFatal;
    }
    if (cellIndex < 0) {
      ++stats->slot[statslot::nSourceMissed].n;
      return kSourceRejected;
    }
    if (distance == 0.0) {
      entrySurface = -2;
    } else {
      pc.pos = entry;
    }
    return kSourceAccepted;
  }
  const double distance = LayerEntryDistance(LayerOf(k), pc.pos, dir);
  if (distance < 0.0) {
    ++stats->slot[statslot::nSourceMissed].n;
    return kSourceRejected;
  }
  entrySurface = distance == 0.0 ? -2 : -1;
  pc.pos += distance * dir;
  return kSourceAccepted;
}

void CTask::SourceEnergy() {
  const Constants& k = GetConstants();
  if (k.nEnerg == 1) {
    E = k.E_source[0];
    return;
  }
  int32_t bin = 0;
  E = SpectrumEnergy(rng->random(), k.nEnerg, k.E_source, k.cumulativeWeight.Table(), bin);
}

// ---------------------------------------------------------------------------
// End of history
// ---------------------------------------------------------------------------

// Closes the history and moves to the next stream. Returns 0 when the record
// has work left, 1 when its streams are finished or its history limit is
// reached.
int32_t CTask::EndOfHistory() {
  state = kStateHistoryEnded;
  // The history's pulse-height tallies (also moving its deposit into the
  // absorbed energy) and its track.
  UpdatePulseHeightTallies(*this);
  TrackHistoryEnd(*this);
  // Advance the stream; rotate round the record's streams history by history.
  STREAMCONTROL& current = StreamControlOf(iStream);
  StoreRelaxed(current.nextParticle, current.nextParticle + StreamStride(current));
  if (current.nextParticle < StreamLimit(current) && nStreams > 1) {
    streamCursor = streamCursor + 1 < nStreams ? streamCursor + 1 : 0;
    StoreRelaxed(iStream, streamList[streamCursor]);
  }

  if (SkipExhaustedStreams(*this) == 0) return 1;

  // The history limit of the GPU build's sharing of histories.
  if (historyLimit >= 0 && ++nLimitedHistories >= static_cast<uint64_t>(historyLimit)) {
    for (int32_t j = 0; j < nStreams; ++j) StreamControlOf(streamList[j]).task = kStreamFinished;
    StoreRelaxed(nStreams, 0);
    return 1;
  }
  return 0;
}
