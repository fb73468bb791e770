// The CPU worker's history loop (CTask::RunHistories and its stages in
// history.cpp): source sampling, the step dispatch, the particle bank and the
// end of each history with the rotation of the worker's streams.
#pragma once

#include "core/task.h"

// The driver's run monitor: called by worker 0 after interactions and rejected
// source particles (always with deviceRound false and printLine true); it
// returns at once unless a second has passed since its last tick.
using RunMonitorFunction = void (*)(bool deviceRound, bool printLine);

// Installs the run monitor (null: none). Set before the workers start.
void SetRunMonitor(RunMonitorFunction tick);

// One tick of the run monitor from worker 0 (other workers do nothing).
void RunMonitorTick(const CTask& task);

// Source position and direction kinds of the Constants record.
constexpr int32_t kSourcePoint = 1;
constexpr int32_t kSourceBeam = 2;
constexpr int32_t kSourceVolume = 3;
constexpr int32_t kDirectionFixed = 1;
constexpr int32_t kDirectionCone = 2;
constexpr int32_t kDirectionIsotropic = 3;
