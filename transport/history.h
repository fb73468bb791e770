// The CPU worker's history loop (CTask::RunHistories and its stages in
// history.cpp): source sampling, the step dispatch, the particle bank and the
// end of each history with the rotation of the worker's streams.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/task.h"

// The driver's run monitor: called by worker 0 at every 256th of its ticks
// (after interactions and rejected source particles; always with deviceRound
// false and printLine true). It reads the clock at each call and returns at
// once unless a second has passed since its last tick.
using RunMonitorFunction = void (*)(bool deviceRound, bool printLine);

// Installs the run monitor (null: none). Set before the workers start.
void SetRunMonitor(RunMonitorFunction tick);

// Ticks of a worker between two calls of the run monitor: a few hundred
// interactions, well under a millisecond, so that the once-a-second tick
// comes on time while the clock is read rarely.
constexpr uint32_t kTicksPerMonitorCall = 256;

// The run monitor's call from worker 0 (other workers only restart their
// count); resets the worker's count of ticks.
void CallRunMonitor(CTask& task);

// One tick of the run monitor: a count down in the worker's record, with the
// call itself at every kTicksPerMonitorCall-th tick.
inline void RunMonitorTick(CTask& task) {
  if (--task.ticksUntilMonitorCall == 0) CallRunMonitor(task);
}

// Copies a worker's tally arrays into the run monitor's snapshot of them;
// installed by the driver (null: none), set before the workers start.
using TallySnapshotFunction = void (*)(CTask& worker);
void SetTallySnapshot(TallySnapshotFunction copy);

// Between two histories: when the monitor has asked for a snapshot since the
// last one, makes it and answers (release). One acquire load per history
// otherwise.
void ServeTallySnapshot(CTask& task);

// The worker's stop request as the host/device step functions take it: read
// once when a step function is entered.
inline bool StopRequested(const CTask& task) { return task.stopRequest.load(std::memory_order_acquire) != 0; }

// Passes a step function's result on; kStepFatal also raises the worker's
// fatal-error flag (the step function has printed the message).
inline int32_t RaiseFatal(CTask& task, int32_t result) {
  if (result == kStepFatal) task.fatalError.store(1, std::memory_order_release);
  return result;
}
