// The CPU worker's history loop (CTask::RunHistories and its stages in
// history.cpp): source sampling, the step dispatch, the particle bank and the
// end of each history with the rotation of the worker's streams.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/task.h"

// The driver's run monitor: called by worker 0 after interactions and rejected
// source particles (always with deviceRound false and printLine true); it
// returns at once unless a second has passed since its last tick.
using RunMonitorFunction = void (*)(bool deviceRound, bool printLine);

// Installs the run monitor (null: none). Set before the workers start.
void SetRunMonitor(RunMonitorFunction tick);

// One tick of the run monitor from worker 0 (other workers do nothing).
void RunMonitorTick(const CTask& task);

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
