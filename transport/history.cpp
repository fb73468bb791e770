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
#include "transport/bank.h"
#include "transport/cell_flight.h"
#include "transport/cell_tally_scoring.h"
#include "transport/cutoffs.h"
#include "transport/directions.h"
#include "transport/history_start.h"
#include "transport/source_sampling.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

RunMonitorFunction runMonitor = nullptr;
TallySnapshotFunction tallySnapshot = nullptr;

// What the history loop does after a history or a step.
enum class LoopExit { kNextHistory, kReturn };

void SetFatal(CTask& task) { task.fatalError.store(1, std::memory_order_release); }

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

void CallRunMonitor(CTask& task) {
  task.ticksUntilMonitorCall = kTicksPerMonitorCall;
  if (task.threadNo == 0 && runMonitor != nullptr) runMonitor(false, true);
}

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
        RunMonitorTick(*this);
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
        RunMonitorTick(*this);
        if (IsPhoton(kind) && photonSurvival <= 0 && ReadBankedParticle() != 0) break;
        // An electron or positron at or below the cell's cutoff ends here.
        if (EndsAtCutoff(*this) && EndChargedParticleAtCutoff() != 0) break;
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
  if (state == kStateHistoryEnded) IncrementRelaxed(nHistories);
  rng = &RandGenOf(iStream);
  BeginSourceParticle(*this);

  // Position, direction and location, in this order (the order of the draws).
  int32_t placed = SourcePosition();
  if (placed == kSourceAccepted) {
    SourceDirection();
    placed = LocateSource();
  }
  if (placed == kSourceFatal) return kStepFatal;
  if (placed == kSourceRejected) return RejectSource();
  sourceRejections = 0;

  SourceEnergy();
  FinishSourceParticle(*this);
  // The source point of a tracked history.
  TrackHistoryStart(*this);
  return kStepGoesOn;
}

// A source particle that did not enter the geometry (or its source cell): the
// next try starts without counting a history. A source that never enters ends
// the run instead of spinning.
int32_t CTask::RejectSource() {
  state = kStateSourceRejected;
  RunMonitorTick(*this);
  if (++sourceRejections <= sourceRejectionLimit) return kStepSuspended;
  const Constants& k = GetConstants();
  printf("\nFatal error in thread No. %d: %" PRId64
         " consecutive particles of the %s source with %s missed the "
         "geometry or the source cell.\n",
         threadNo + 1, sourceRejections, SourcePositionName(k.sourcePositionType),
         SourceDirectionName(k.sourceDirectionType));
  SetFatal(*this);
  return kStepFatal;
}

int32_t CTask::SourcePosition() {
  bool volumePoint = false;
  const int32_t placed = SampleSourcePosition(*this, &volumePoint);
  if (volumePoint) WidenBox(sourceMin, sourceMax, pc.pos);
  return placed;
}

void CTask::SourceDirection() { SampleSourceDirection(*this); }

// Finds where the source particle starts in the geometry: in its cell, or at
// the point where its ray enters one. A ray that meets nothing is a miss.
int32_t CTask::LocateSource() {
  const int32_t placed = LocateSourceParticle(*this);
  if (placed == kSourceFatal) SetFatal(*this);
  return placed;
}

void CTask::SourceEnergy() { SampleSourceEnergy(*this); }

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
