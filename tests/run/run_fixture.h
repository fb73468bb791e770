// A run of the stand-in problem of the history tests (a photon point source
// aimed at one layer) divided among CPU workers as the driver divides it,
// with a stand-in step in place of the physics.
#pragma once

#include <cstdint>
#include <string>

#include "core/tally.h"
#include "core/task.h"

// Sets the options and the problem, divides the work (DivideWork must
// succeed) and gives every record the step. Returns DivideWork's result.
int PrepareRun(int32_t nWorkers, int32_t nStreams, int64_t N, StepFunction step, int32_t seed = 1);

// The same in Trenqual_CUDA with nDevices used devices, all emulated (their
// streams served by the CPU workers), each with tasksPerDevice tasks of one
// stream, and `ratio` of the histories on them.
int PrepareEmulatedRun(int32_t nWorkers, int32_t nStreams, int64_t N, StepFunction step, int32_t nDevices,
                       int32_t tasksPerDevice, double ratio);

// Frees the records and clears the run state.
void FinishRun();

// Histories finished by all records.
uint64_t FinishedHistories();

// A whole-geometry pulse-height tally of `bins` bins from 1 eV, 1 eV wide,
// written at every tick of the monitor, watched with `control` (error kind
// -1: no target). The stand-in histories deposit nothing in its range.
void DefineWatchedPulseHeightTally(int32_t bins, const CONTROLTALLY& control);

// Removes the pulse-height tallies again.
void ForgetPulseHeightTallies();
