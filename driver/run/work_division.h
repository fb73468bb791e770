// The division of the work before the first history: how many transport
// records the CPU workers get, which random-number streams each record owns,
// the generator of every stream, the track quotas of the streams, and the
// run state that the run loop and the run monitor share.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

// --- Run-division state (written here, read by the run loop and monitor) ---
extern int32_t nCpuTasks;            // CPU workers (TASKS / tasks)
extern int32_t firstCpuTask;         // first CPU record that runs histories (0 without device work)
extern int32_t nStreamsCpu;          // streams of the CPU records
extern int32_t nStreamsHost;         // streams served by CPU threads
extern int32_t nTasksTotal;          // CPU workers plus device tasks
extern uint64_t hostParticleShare;   // histories not run on real devices (N of the progress line)
extern bool severalStreamsPerThread; // a worker that runs dry asks for a re-deal
extern std::vector<int> threadIndex; // 0..nThreads-1: the argument of each worker's thread
extern double runStartTime;          // clock at the start of the run, s

// Stop requests of the run loop and the monitor: polled by the main thread
// and by worker 0 (which runs on the main thread in Trenqual).
extern std::atomic<uint8_t> redealStreams;  // the CPU streams are to be dealt out afresh
extern std::atomic<uint8_t> balanceStop;    // the work is being divided afresh (devices)
extern std::atomic<uint8_t> endSimulation;  // no new source history is started

// The division of Trenqual and the CPU part of Trenqual_CUDA: settles the
// counts, numbers and seeds the streams, builds the CPU records and their
// stream lists. Returns 0, or the exit code after the message.
int DivideWork();

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
