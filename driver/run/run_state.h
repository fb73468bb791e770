// The run state that the work division sets and the run loop and the run
// monitor share: the counts of workers and streams, the start of the run and
// the stop requests that the main thread and worker 0 poll.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/stream_control.h"

namespace run {
extern int32_t nCpuTasks;             // CPU workers (TASKS / tasks)
extern int32_t firstCpuTask;          // first CPU record that runs histories (0 without device work)
extern int32_t nStreamsCpu;           // streams of the CPU records
extern int32_t nStreamsHost;          // streams served by CPU threads
extern int32_t nTasksTotal;           // CPU workers plus device tasks
extern uint64_t hostParticleShare;    // histories not run on real devices (N of the progress line)
extern bool severalStreamsPerThread;  // a worker that runs dry asks for a re-deal
extern std::vector<int> threadIndex;  // 0..nThreads-1: the argument of each worker's thread
extern double runStartTime;           // clock at the start of the run, s

// Stop requests of the run loop and the monitor: polled by the main thread
// and by worker 0 (which runs on the main thread in Trenqual).
extern std::atomic<uint8_t> redealStreams;  // the CPU streams are to be dealt out afresh
extern std::atomic<uint8_t> balanceStop;    // the work is being divided afresh (devices)
extern std::atomic<uint8_t> endSimulation;  // no new source history is started
extern std::atomic<uint8_t> resultWriteFailed;  // a tally file written during the run failed: the run ends

// The devices in the run loop's cycles (real, not emulated, device slots).
extern std::atomic<uint8_t> devicesBusy;  // after a cycle: some real device is not finished
extern double kernelTime;                 // sum of the cycle times, s
// Histories as the monitor last gathered them: finished by the CPU records,
// finished and started per device slot, finished by all devices.
extern uint64_t nFinishedOfDevice[kMaxDeviceSlots];
extern uint64_t nStartedOfDevice[kMaxDeviceSlots];
extern uint64_t nFinishedGpu;
// Set by the run loop's device cycles, read by the run summary: a device
// reported a full banked-particle buffer (a negative error), and the seconds
// from the start of the run until no CPU worker ran any more.
extern std::atomic<uint8_t> bufferOverflow;
extern double cpuTime;
}  // namespace run
