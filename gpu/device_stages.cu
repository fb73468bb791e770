// The stage methods of a device task (device_stages.h): wrappers of the
// transport's host/device step functions, the device's bank protocol and the
// start and end of its histories. nvcc compiles this source for the CUDA
// devices of Trenqual_CUDA; the host compiler compiles it for the
// host-simulated device of the tests.
#include "gpu/device_stages.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/material.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "gpu/device_atomics.h"
#include "gpu/device_globals.h"
#include "transport/bank.h"
#include "transport/cell_tally_scoring.h"
#include "transport/cutoffs.h"
#include "transport/electron_step.h"
#include "transport/history_start.h"
#include "transport/photon_step.h"
#include "transport/tally_scoring.h"

namespace {

// The owner mark of a pool or ring slot: the task number plus one, so that
// task 0's particles are told from a free slot (0).
TQ_CPU_GPU inline int32_t OwnerMark(const DEVICETASK& task) { return task.control.taskNo + 1; }

TQ_CPU_GPU inline int32_t Next(DEVICETASK& task, STAGECONTEXT& ctx, int32_t state) {
  TASKSTATE& t = task.t;
  if (t.nBanked > 0 && BankStagedParticles(task, ctx) != kStageGoesOn) return kStageLeaves;
  task.control.nextState = state;
  return kStageGoesOn;
}

// A fatal error whose message the shared step function has printed already.
TQ_CPU_GPU inline int32_t Fatal(DEVICETASK& task, STAGECONTEXT& ctx) {
  RaiseStageFatal(task, ctx);
  return kStageLeaves;
}

// The current particle has ended: its banked secondaries go to the pool, the
// task reads its next particle at once.
TQ_CPU_GPU inline int32_t EndParticle(DEVICETASK& task, STAGECONTEXT& ctx) {
  if (Next(task, ctx, kReadBankedParticle) != kStageGoesOn) return kStageLeaves;
  return ReadBankedParticle(task, ctx);
}

// The first state of a particle's next step.
TQ_CPU_GPU inline int32_t StepState(const TASKSTATE& t) { return IsPhoton(t.kind) ? kSigma_phot : kSigma_el; }

// The common end of an interaction (the CPU worker's history loop does the
// same): a photon that did not survive gives way to the next banked particle;
// an electron or positron at or below its cell's cutoff ends there (one
// dropped with E = -1 without scoring); otherwise the next step follows.
TQ_CPU_GPU inline int32_t AfterInteraction(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = task.t;
  if (IsPhoton(t.kind) && t.photonSurvival <= 0) return EndParticle(task, ctx);
  if (!IsPhoton(t.stepKind) && !IsPhoton(t.kind) && !(t.E > t.cell->CUT_E)) {
    if (t.E >= 0.0) return Next(task, ctx, kCheck_nBanked);
    return EndParticle(task, ctx);
  }
  return Next(task, ctx, StepState(t));
}

// The result of an interaction's function: its relaxation cascade, its end or
// a fatal error.
TQ_CPU_GPU inline int32_t AfterProducts(DEVICETASK& task, STAGECONTEXT& ctx, int32_t result) {
  if (result == kStepFatal) return Fatal(task, ctx);
  if (result == kRelaxationFollows) return Next(task, ctx, kAtomicTransition);
  return AfterInteraction(task, ctx);
}

// The state of the collision chosen for an electron or positron.
TQ_CPU_GPU inline int32_t CollisionState(const TASKSTATE& t) {
  switch (t.collisionType) {
    case 0:
      return kElasticScattering;
    case 1:
      return kBremsstrahlung;
    case 2:
      return kExcitation;
    default:
      return kElectroionization;
  }
}

// The outcome of an electron flight: the collision, the next step, the end of
// the particle or a fatal error.
TQ_CPU_GPU inline int32_t AfterElectronFlight(DEVICETASK& task, STAGECONTEXT& ctx, int32_t flight) {
  switch (flight) {
    case kStepFatal:
      return Fatal(task, ctx);
    case kElectronEscapes:
      return EndParticle(task, ctx);
    case kElectronNoCollision:
      return Next(task, ctx, kSigma_el);
    default:
      return Next(task, ctx, CollisionState(task.t));
  }
}

// Every stage starts here: the record is a device task's, and the ray
// tracker works in the running thread's arrays.
TQ_CPU_GPU inline TASKSTATE& Enter(DEVICETASK& task) {
  TASKSTATE& t = task.t;
  t.onDevice = 1;
  if (task.control.thread != nullptr && GetConstants().complexGeometry != 0) t.tracker = task.control.thread->work;
  return t;
}

// Copies staged particle i into slot `slot` of the device's bank.
TQ_CPU_GPU inline void WriteSlot(const PARTICLEBANK& s, int32_t i, const DEVICEBANK& b, int64_t slot) {
  b.en[slot] = s.en[i];
  b.p[slot] = s.p[i];
  b.org[slot] = s.org[i];
  if (b.wt != nullptr) {
    b.wt[slot] = s.wt != nullptr ? s.wt[i] : 1.0;
    b.iForced[slot] = s.iForced != nullptr ? s.iForced[i] : int16_t{0};
  }
  if (b.pc != nullptr && s.positionsStored != 0) b.pc[slot] = s.pc[i];
  if (b.voxelIndex != nullptr && s.voxelIndex != nullptr) {
    b.voxelIndex[slot] = s.voxelIndex[i];
    b.cellIndex[slot] = s.cellIndex[i];
  }
  if (b.maxRadius != nullptr && s.maxRadius != nullptr) {
    b.maxRadius[slot] = s.maxRadius[i];
    b.centerFree[slot] = s.centerFree[i];
  }
}

// The particle of slot `slot` becomes the task's particle (as a CPU worker
// pops its bank): without positions it keeps the record's coordinates; in
// the complex geometry it enters the cell of its voxel and cell slot.
TQ_CPU_GPU inline void ReadSlot(TASKSTATE& t, const DEVICEBANK& b, int64_t slot) {
  t.E = b.en[slot];
  t.kind = b.p[slot];
  t.org = b.org[slot];
  if (b.wt != nullptr) {
    t.weight = b.wt[slot];
    t.iForced = b.iForced[slot];
  }
  if (b.pc == nullptr || t.bank.positionsStored == 0) return;
  t.pc = b.pc[slot];
  ResetPlaneTallyDistances(t, TallyKindOf(t.kind));
  if (b.voxelIndex != nullptr) {
    t.voxelIndex = b.voxelIndex[slot];
    t.cellIndex = b.cellIndex[slot];
    if (b.maxRadius != nullptr) {
      t.maxRadius = b.maxRadius[slot];
      t.centerFree = b.centerFree[slot];
    }
    EnterCellOfSlot(t, b.maxRadius == nullptr);
  }
}

TQ_CPU_GPU inline void RaiseMaximum(int32_t& maximum, int32_t value) {
  if (value > maximum) maximum = value;
}

// Banking modes 0 and 1: each staged particle into a free slot of the pool,
// its number pushed on the task's stack.
TQ_CPU_GPU inline int32_t BankInPool(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKGLOBALS& g = TaskGlobals();
  TASKSTATE& t = task.t;
  DEVICETASKCONTROL& c = task.control;
  const int32_t n = t.nBanked;
  if (c.nSlots + n > g.maxBanked_allowed) {
    if (RaiseStageFatal(task, ctx)) {
      printf("\nFatal error in task No. %d: number of banked particles exceeds %d.\n", c.taskNo + 1,
             g.maxBanked_allowed);
    }
    return kStageLeaves;
  }
  RaiseMaximum(c.maxSlots, c.nSlots + n);
  if (c.thread != nullptr) RaiseMaximum(c.thread->maxBanked, c.nSlots + n);
  const unsigned long long total = static_cast<unsigned long long>(g.maxBanked_tot);
  for (int32_t i = 0; i < n; ++i) {
    int64_t slot = -1;
    for (unsigned long long tries = 0; tries < total && slot < 0; ++tries) {
      const int64_t candidate = static_cast<int64_t>(AtomicAdd64(&g.startPosBanked, 1ull) % total);
      if (AtomicCompareSwap(&g.bank.taskBanked[candidate], 0, OwnerMark(task)) == 0) slot = candidate;
    }
    if (slot < 0) {
      if (RaiseStageFatal(task, ctx)) {
        printf("\nFatal error in task No. %d: no free slot for banking a new particle.\n", c.taskNo + 1);
      }
      return kStageLeaves;
    }
    WriteSlot(t.bank, i, g.bank, slot);
    c.slots[c.nSlots++] = slot;
  }
  t.nBanked = 0;
  return kStageGoesOn;
}

// Banking mode 2: each staged particle into the ring at the next write
// position; a slot still holding an unread particle is passed over (counted).
TQ_CPU_GPU inline int32_t BankInRing(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKGLOBALS& g = TaskGlobals();
  TASKSTATE& t = task.t;
  DEVICETASKCONTROL& c = task.control;
  const unsigned long long total = static_cast<unsigned long long>(g.maxBanked_tot);
  const int32_t device = GetConstants().device + 1;
  for (int32_t i = 0; i < t.nBanked; ++i) {
    for (;;) {
      const unsigned long long w = AtomicAdd64(g.status.nextWritePos, 1ull);
      if (w + 1 >= VolatileLoad(g.status.nextReadPos) + total) {
        if (RaiseStageFatal(task, ctx)) {
          printf(
              "\nFatal error in CUDA device No. %d when storing a banked particle: number of banked particles "
              "exceeds the maximum allowed number.\n",
              device);
        }
        return kStageLeaves;
      }
      const int64_t slot = static_cast<int64_t>(w % total);
      if (VolatileLoad(&g.bank.taskBanked[slot]) != 0) {
        if (c.thread != nullptr) ++c.thread->nWriteFailures;
        continue;
      }
      WriteSlot(t.bank, i, g.bank, slot);
      DeviceMemoryFence();
      if (AtomicCompareSwap(&g.bank.taskBanked[slot], 0, OwnerMark(task)) != 0) {
        if (RaiseStageFatal(task, ctx)) {
          printf(
              "\nFatal error in CUDA device No. %d when storing a banked particle: another banked particle data "
              "overwritten.\n",
              device);
        }
        return kStageLeaves;
      }
      break;
    }
  }
  t.nBanked = 0;
  return kStageGoesOn;
}

// Releases a slot that was read; false (fatal) when it did not hold `owner`.
TQ_CPU_GPU inline bool ReleaseSlot(DEVICETASK& task, STAGECONTEXT& ctx, int64_t slot, int32_t owner) {
  if (AtomicCompareSwap(&TaskGlobals().bank.taskBanked[slot], owner, 0) == owner) return true;
  if (RaiseStageFatal(task, ctx)) printf("\nFatal error in a CUDA device when removing a particle.\n");
  return false;
}

// The task gives up its streams: none of them starts another history here.
TQ_CPU_GPU inline void GiveUpStreams(DEVICETASK& task) {
  TASKGLOBALS& g = TaskGlobals();
  DEVICETASKCONTROL& c = task.control;
  const int32_t left = c.nStreams - c.streamCursor;
  if (left > 0 && g.status.nActStreams != nullptr) AtomicSub32(g.status.nActStreams, static_cast<uint32_t>(left));
  c.streamCursor = c.nStreams;
}

// A new history on the task's current stream (state 0, next state 25).
TQ_CPU_GPU inline int32_t StartHistory(DEVICETASK& task) {
  TASKGLOBALS& g = TaskGlobals();
  TASKSTATE& t = task.t;
  if (g.rand_CUDA == 1) t.rng = &DeviceStreams().randGens[t.iStream];
  DeviceStreams().streamControl[t.iStream].task = task.control.taskNo;
  BeginSourceParticle(t);
  task.control.sourceTrackOpen = 1;
  if (task.control.thread != nullptr) ++task.control.thread->nStartedHistories;
  task.control.nextState = kSourcePosition;
  return kStageGoesOn;
}

// The end of a history in banking modes 0 and 1 (its pulse-height tallies and
// counts), then the next history of the task's streams: the current stream
// goes on until its source particles reach the device's limit, then the next
// stream takes over. Returns kStageLeaves when the task has no history left.
TQ_CPU_GPU inline int32_t NextHistoryOfStreams(DEVICETASK& task) {
  TASKGLOBALS& g = TaskGlobals();
  TASKSTATE& t = task.t;
  DEVICETASKCONTROL& c = task.control;
  if (t.state != kStateHistoryEnded) {
    t.state = kStateHistoryEnded;
    StoreSharedCount(t.nBanked, -1);
    ++t.stats->slot[statslot::nHistoriesDone].n;
    UpdatePulseHeightTallies(t);
    if (c.thread != nullptr) {
      ++c.thread->nFinishedHistories;
      ++c.thread->nFinishedSourceTracks;
    }
    STREAMCONTROL& current = DeviceStreams().streamControl[t.iStream];
    current.nextParticle += g.nStreams_device;
  }
  // The streams whose source particles are all done.
  while (c.streamCursor < c.nStreams) {
    STREAMCONTROL& s = DeviceStreams().streamControl[c.streamList[c.streamCursor]];
    if (s.nextParticle < *g.lastParticle) break;
    s.task = kStreamFinished;
    if (g.status.nActStreams != nullptr) AtomicSub32(g.status.nActStreams, 1u);
    ++c.streamCursor;
  }
  if (c.streamCursor >= c.nStreams || g.endSimulation != 0) {
    GiveUpStreams(task);
    return kStageLeaves;
  }
  t.iStream = c.streamList[c.streamCursor];
  return StartHistory(task);
}

// Banking mode 2: the task's current particle has ended; the next one from
// the ring, else a new history while the device's share lasts, else the task
// waits in state 27.
TQ_CPU_GPU inline int32_t ReadFromRing(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKGLOBALS& g = TaskGlobals();
  TASKSTATE& t = task.t;
  DEVICETASKCONTROL& c = task.control;
  if (c.sourceTrackOpen != 0) {
    // The particle that ended carried the source track of the task's history.
    c.sourceTrackOpen = 0;
    t.state = kStateHistoryEnded;
    UpdatePulseHeightTallies(t);
    if (c.thread != nullptr) ++c.thread->nFinishedSourceTracks;
  }
  StoreSharedCount(t.nBanked, -1);
  c.nextState = kReadBankedParticle;
  // The margin the host writes is not negative; a negative one reads as none.
  const int32_t marginSet = g.margin_CUDA != nullptr ? *g.margin_CUDA : 0;
  const unsigned long long margin = marginSet > 0 ? static_cast<unsigned long long>(marginSet) : 0ull;
  const unsigned long long written = VolatileLoad(g.status.nextWritePos);
  bool readable = written >= margin && VolatileLoad(g.status.nextReadPos) < written - margin;
  if (readable) {
    const unsigned long long r = AtomicAdd64(g.status.nextReadPos, 1ull);
    const int64_t slot = static_cast<int64_t>(r % static_cast<unsigned long long>(g.maxBanked_tot));
    const int32_t owner = VolatileLoad(&g.bank.taskBanked[slot]);
    if (owner < 1) {
      // Reserved but not yet published: the host repairs the ring later.
      if (c.thread != nullptr) ++c.thread->nReadFailures;
      readable = false;
    } else {
      ReadSlot(t, g.bank, slot);
      if (!ReleaseSlot(task, ctx, slot, owner)) return kStageLeaves;
      StoreSharedCount(t.nBanked, 0);
      c.nextState = StepState(t);
      return kStageGoesOn;
    }
  }
  if (g.endSimulation != 0) {
    GiveUpStreams(task);
    return kStageGoesOn;
  }
  if (AtomicAdd64(g.status.nParticles, 1ull) < *g.lastParticle) {
    DeviceMemoryFence();
    return StartHistory(task);
  }
  AtomicAdd64(g.status.nParticles, ~0ull);  // undone: the share is exhausted
  return kStageGoesOn;
}

}  // namespace

// ---------------------------------------------------------------------------
// The bank protocol and the fatal-error path
// ---------------------------------------------------------------------------

bool RaiseStageFatal(DEVICETASK& task, STAGECONTEXT& ctx) {
  task.control.fatalError = 1;
  if (ctx.blockStop != nullptr) AtomicExchange(ctx.blockStop, 1);
  int32_t* error = TaskGlobals().status.error;
  // The status record holds the task number plus one: 0 means no error.
  const int32_t previous = error != nullptr ? AtomicExchange(error, task.control.taskNo + 1) : 0;
  return previous <= 0;
}

int32_t BankStagedParticles(DEVICETASK& task, STAGECONTEXT& ctx) {
  if (task.t.nBanked <= 0) return kStageGoesOn;
  return TaskGlobals().heap_CUDA == kHeapRing ? BankInRing(task, ctx) : BankInPool(task, ctx);
}

int32_t ReadBankedParticle(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  TASKGLOBALS& g = TaskGlobals();
  DEVICETASKCONTROL& c = task.control;
  if (t.nBanked > 0 && BankStagedParticles(task, ctx) != kStageGoesOn) return kStageLeaves;
  c.nextState = kReadBankedParticle;
  if (g.heap_CUDA == kHeapRing) return ReadFromRing(task, ctx);
  if (c.nSlots > 0) {
    const int64_t slot = c.slots[--c.nSlots];
    ReadSlot(t, g.bank, slot);
    if (!ReleaseSlot(task, ctx, slot, OwnerMark(task))) return kStageLeaves;
    StoreSharedCount(t.nBanked, 0);
    c.nextState = StepState(t);
    return kStageGoesOn;
  }
  return NextHistoryOfStreams(task);
}

// ---------------------------------------------------------------------------
// Source
// ---------------------------------------------------------------------------

int32_t SourcePosition(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  BeginSourceParticle(t);
  bool volumePoint = false;
  const int32_t placed = SampleSourcePosition(t, &volumePoint);
  if (volumePoint) WidenBox(task.control.sourceMin, task.control.sourceMax, t.pc.pos);
  if (placed == kSourceRejected) return Next(task, ctx, kSourcePosition);
  return Next(task, ctx, kSourceDirection);
}

int32_t SourceDirection(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  SampleSourceDirection(t);
  const int32_t placed = LocateSourceParticle(t);
  if (placed == kSourceFatal) return Fatal(task, ctx);
  if (placed == kSourceRejected) {
    // A source that never enters ends the run instead of spinning.
    if (++task.control.sourceRejections > kMaxConsecutiveSourceRejections) {
      if (RaiseStageFatal(task, ctx)) {
        const Constants& k = GetConstants();
        printf("\nFatal error in task No. %d: %" PRId64
               " consecutive particles of the %s source with %s missed the geometry or the source cell.\n",
               task.control.taskNo + 1, static_cast<int64_t>(task.control.sourceRejections),
               SourcePositionName(k.sourcePositionType), SourceDirectionName(k.sourceDirectionType));
      }
      return kStageLeaves;
    }
    return Next(task, ctx, kSourcePosition);
  }
  task.control.sourceRejections = 0;
  return Next(task, ctx, SourceSpectrum(GetConstants()) ? kSourceEnergy : kHistoryStart);
}

int32_t SourceEnergy(DEVICETASK& task, STAGECONTEXT& ctx) {
  SampleSourceEnergy(Enter(task));
  return Next(task, ctx, kHistoryStart);
}

int32_t HistoryStart(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  if (!SourceSpectrum(GetConstants())) SampleSourceEnergy(t);
  FinishSourceParticle(t);
  return Next(task, ctx, StepState(t));
}

// ---------------------------------------------------------------------------
// Photons
// ---------------------------------------------------------------------------

int32_t Sigma_phot(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const Constants& k = GetConstants();
  t.stepKind = kPhoton;
  t.E_stepStart = t.E;
  t.subStep = 0;
  t.phot.electronFlag = 0;
  PhotonCrossSections(t);
  if (k.complexGeometry != 0) return Next(task, ctx, kDistance_phot);
  if (k.trackPos == 0 && k.trackSecondaryPhotons != 0) return Next(task, ctx, kCheckTotalSigma_phot);
  return Next(task, ctx, t.kind != kPhotonNoPosition ? kDistance_phot : kSampleCollisionType_phot);
}

int32_t CheckTotalSigma_phot(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const Constants& k = GetConstants();
  if (!(t.phot.sigma_tot > 0.0)) {
    if (RaiseStageFatal(task, ctx)) {
      printf("\nFatal error in task No. %d: total photon collision cross section is zero.\n", task.control.taskNo + 1);
    }
    return kStageLeaves;
  }
  if (t.phot.sigma_tot == t.phot.sigma_scat && MaxComptonTransfer(t.E, k.restEn) <= k.minBindingEnergy) {
    EndPhotonThatCannotLoseEnergy(t);
    return EndParticle(task, ctx);
  }
  return Next(task, ctx, t.kind != kPhotonNoPosition ? kDistance_phot : kSampleCollisionType_phot);
}

int32_t Distance_phot(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const int32_t flight = GetConstants().complexGeometry != 0 ? PhotonFlightInCells(t) : PhotonFlight(t);
  switch (flight) {
    case kStepFatal:
      return Fatal(task, ctx);
    case kPhotonEscapes:
      return EndParticle(task, ctx);
    case kPhotonMoved:
      return Next(task, ctx, kSigma_phot);
    default:
      return Next(task, ctx, kSampleCollisionType_phot);
  }
}

int32_t SampleCollisionType_phot(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  SamplePhotonCollision(t);
  t.phot.E0 = t.E;
  switch (t.phot.interaction) {
    case kPhotonCoherent:
      return Next(task, ctx, kCoherentScattering0);
    case kPhotonIncoherent:
      return Next(task, ctx, kIncoherentScattering0);
    case kPhotonPhotoelectric:
      return Next(task, ctx, kPhotoelectricAbsorption);
    default:
      return Next(task, ctx, kPairProduction);
  }
}

int32_t CoherentScattering0(DEVICETASK& task, STAGECONTEXT& ctx) {
  BeginCoherentScattering(Enter(task));
  return Next(task, ctx, kCohRejectionLoop);
}

int32_t CohRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx) {
  return AfterProducts(task, ctx, CoherentLoop(Enter(task), false));
}

int32_t IncoherentScattering0(DEVICETASK& task, STAGECONTEXT& ctx) {
  BeginIncoherentScattering(Enter(task));
  return Next(task, ctx, kIncohRejectionLoop);
}

int32_t IncohRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  IncoherentTries(t, false);
  return Next(task, ctx, IncoherentDopplerFollows(t) ? kDopplerRejectionLoop : kPostDoppler_NoDoppler);
}

int32_t DopplerRejectionLoop(DEVICETASK& task, STAGECONTEXT& ctx) {
  DopplerTries(Enter(task), false);
  return Next(task, ctx, kPostDoppler_NoDoppler);
}

int32_t PostDoppler_NoDoppler(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  return AfterProducts(task, ctx, IncoherentProducts(t, t.phot.shell));
}

int32_t PhotoelectricAbsorption(DEVICETASK& task, STAGECONTEXT& ctx) {
  return AfterProducts(task, ctx, PhotoelectricProducts(Enter(task)));
}

int32_t PairProduction(DEVICETASK& task, STAGECONTEXT& ctx) {
  return AfterProducts(task, ctx, PairCreation(Enter(task)));
}

int32_t AtomicTransition(DEVICETASK& task, STAGECONTEXT& ctx) {
  return AfterProducts(task, ctx, RelaxationCascade(Enter(task), false));
}

// ---------------------------------------------------------------------------
// Electrons and positrons
// ---------------------------------------------------------------------------

int32_t Sigma_el(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  t.stepKind = t.kind;
  t.E_stepStart = t.E;
  t.subStep = 0;
  switch (ElectronStepRoute(t)) {
    case kStepFatal:
      return Fatal(task, ctx);
    case kElectronRouteForced:
      return Next(task, ctx, CollisionState(t));
    case kElectronRouteInPlace:
      return Next(task, ctx, kSampleCollisionType_el);
    case kElectronRouteNoSigma:
      ScoreChargedEscape(t);
      return EndParticle(task, ctx);
    default:  // void cell, cells, layer
      return Next(task, ctx, kDistance_el);
  }
}

int32_t Distance_el(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const Constants& k = GetConstants();
  if (k.complexGeometry != 0) {
    const bool voidCell = t.cell->material < 0;
    const int32_t flight =
        voidCell ? ElectronFlightInCells(t, 0, 0) : ElectronFlightInCells(t, ElectronColumns(t), InelasticColumns(t));
    return AfterElectronFlight(task, ctx, flight);
  }
  const ELECTRONLAYERFLIGHT f = PlanLayerFlight(t, k);
  if (f.diffusion) return Next(task, ctx, kDistanceToInelasticCollision);
  if (FreeFlightInLayer(t, k, f) == kElectronEscapes) return EndParticle(task, ctx);
  return Next(task, ctx, kSampleCollisionType_el);
}

int32_t SampleCollisionType_el(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const int32_t n = GetConstants().trackPos == 0 ? InelasticColumns(t) : ElectronColumns(t);
  return AfterElectronFlight(task, ctx, SampledElectronCollision(t, t.sigma_tot, n));
}

int32_t DistanceToInelasticCollision(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  const Constants& k = GetConstants();
  const ELECTRONLAYERFLIGHT f = PlanLayerFlight(t, k);
  DiffuseInLayer(t, k, f.layer, f.concentration, f.d);
  if (EndOfWalkInLayer(t) == kElectronEscapes) return EndParticle(task, ctx);
  return Next(task, ctx, kDiffusion);
}

int32_t Diffusion(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  return AfterElectronFlight(task, ctx, SampledElectronCollision(t, t.sigma_inel, InelasticColumns(t)));
}

int32_t ElasticScattering(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  if (GetConstants().trackSecondaryElectrons == 0) {
    t.E = -1.0;  // not followed: dropped without scoring
  } else {
    SampleElasticDeflection(t);
    ElasticDeflection(t);
  }
  return AfterInteraction(task, ctx);
}

int32_t Excitation(DEVICETASK& task, STAGECONTEXT& ctx) {
  ExcitationLoss(Enter(task));
  return AfterInteraction(task, ctx);
}

int32_t Bremsstrahlung(DEVICETASK& task, STAGECONTEXT& ctx) {
  if (BremsstrahlungEmission(Enter(task)) > 0) return Fatal(task, ctx);
  return AfterInteraction(task, ctx);
}

int32_t Electroionization(DEVICETASK& task, STAGECONTEXT& ctx) {
  const int32_t banked = ctx.bankTheHigherEnergyElectron != 0 ? kBankHigherElectron : kBankLowerElectron;
  return AfterProducts(task, ctx, ElectroionizationProducts(Enter(task), banked));
}

int32_t Check_nBanked(DEVICETASK& task, STAGECONTEXT& ctx) {
  TASKSTATE& t = Enter(task);
  if (ChargedParticleAtCutoff(t, t.kind == kPositron) == kBankFull) return Fatal(task, ctx);
  return EndParticle(task, ctx);
}

// ---------------------------------------------------------------------------
// Dispatch
// ---------------------------------------------------------------------------

int32_t RunStage(int32_t state, DEVICETASK& task, STAGECONTEXT& ctx) {
  switch (state) {
    case kSigma_phot:
      return Sigma_phot(task, ctx);
    case kCheckTotalSigma_phot:
      return CheckTotalSigma_phot(task, ctx);
    case kDistance_phot:
      return Distance_phot(task, ctx);
    case kSampleCollisionType_phot:
      return SampleCollisionType_phot(task, ctx);
    case kCoherentScattering0:
      return CoherentScattering0(task, ctx);
    case kCohRejectionLoop:
      return CohRejectionLoop(task, ctx);
    case kIncoherentScattering0:
      return IncoherentScattering0(task, ctx);
    case kSigma_el:
      return Sigma_el(task, ctx);
    case kDistance_el:
      return Distance_el(task, ctx);
    case kSampleCollisionType_el:
      return SampleCollisionType_el(task, ctx);
    case kIncohRejectionLoop:
      return IncohRejectionLoop(task, ctx);
    case kDopplerRejectionLoop:
      return DopplerRejectionLoop(task, ctx);
    case kPostDoppler_NoDoppler:
      return PostDoppler_NoDoppler(task, ctx);
    case kHistoryStart:
      return HistoryStart(task, ctx);
    case kSourceEnergy:
      return SourceEnergy(task, ctx);
    case kPairProduction:
      return PairProduction(task, ctx);
    case kBremsstrahlung:
      return Bremsstrahlung(task, ctx);
    case kExcitation:
      return Excitation(task, ctx);
    case kElectroionization:
      return Electroionization(task, ctx);
    case kAtomicTransition:
      return AtomicTransition(task, ctx);
    case kCheck_nBanked:
      return Check_nBanked(task, ctx);
    case kElasticScattering:
      return ElasticScattering(task, ctx);
    case kDistanceToInelasticCollision:
      return DistanceToInelasticCollision(task, ctx);
    case kDiffusion:
      return Diffusion(task, ctx);
    case kPhotoelectricAbsorption:
      return PhotoelectricAbsorption(task, ctx);
    case kSourcePosition:
      return SourcePosition(task, ctx);
    case kSourceDirection:
      return SourceDirection(task, ctx);
    default:
      return ReadBankedParticle(task, ctx);
  }
}

// ---------------------------------------------------------------------------
// Geometry services
// ---------------------------------------------------------------------------

int32_t EntryExitPoint2(CThread2& thread, TASKSTATE& t, VECTOR* out, const VECTOR* start, const VECTOR* u,
                        double* distance, int16_t* surface, double maxDistance) {
  t.onDevice = 1;
  t.tracker = thread.work;
  return TrackEntryExit(t, out, start, u, distance, surface, maxDistance);
}

void CalculateFreeMotionRadius2(TASKSTATE& t) { ComputeFreeMotionRadius(t); }
