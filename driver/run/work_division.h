// The division of the work before the first history: how many transport
// records the CPU workers get, which random-number streams each record owns,
// the generator of every stream and the track quotas of the streams; it sets
// the run state (run_state.h) that the run loop and the run monitor share.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/run/run_state.h"
#include "driver/status.h"

// The division of Trenqual and the CPU part of Trenqual_CUDA: settles the
// counts, numbers and seeds the streams, builds the CPU records and their
// stream lists. Returns 0, or the exit code after the message.
Status DivideWork();

// The hand-over to the run loop after the division: the thread-index table,
// the run's start time, the monitor and key state, the stop flags cleared.
void HandOverToRun();

// Gives CPU record r its stream list; every listed stream is owned by r.
// False when the list cannot be allocated.
bool AssignStreams(int32_t r, const int32_t* streams, int32_t n);

// The streams of CPU worker t (0-based, counted from firstCpuTask): t,
// t + nCpuTasks, ... below nStreamsCpu.
std::vector<int32_t> CpuStreamsOfWorker(int32_t t, int32_t nWorkers, int32_t nStreams);

// Splits the run's tracks over the CPU streams: q = tracks / streams to every
// stream and one more to each of the first (tracks mod streams); the counts of
// tracks recorded so far are zeroed.
void SpreadTrackQuota(int32_t tracks, int32_t firstStream, int32_t nStreams);

// Frees the records and the stream tables of the division (tests).
void ReleaseWorkDivision();
