// CDeviceStats: how well one device's threads were used, accumulated over
// the launches in which every block was still busy in its last step, from the
// CThread2 array the host reads back after each launch; Finish turns the sums
// into means and standard deviations for the end-of-run report.
#pragma once

#include <cstdint>
#include <string>

#include "gpu/device_records.h"

// The mean of `count` samples and their sample standard deviation from the
// sums of the values and of their squares: 0 for no sample, a deviation of 0
// below two samples. The variance is clamped at 0, since the rounding of the
// sums can make it a little negative when the samples are (nearly) equal.
struct MEANDEVIATION {
  double mean;
  double deviation;
};
MEANDEVIATION MeanAndDeviation(double sum, double sumOfSquares, uint64_t count);

class CDeviceStats {
 public:
  CDeviceStats() = default;
  CDeviceStats(int32_t nThreads, int32_t nBlocks, const CThread2* threads, double clockRateHz);

  // Adds the launch whose CThread2 array the host has just read back into
  // `threads`; roundSeconds is the host's wall time of the launch round.
  void AddKernelCall(double roundSeconds);

  // Completes the means and deviations below.
  void Finish();

  int32_t nThreads = 0;
  int32_t nBlocks = 0;
  const CThread2* threads = nullptr;            // host copy of the device's array, refreshed after every launch
  double clockRate = 0.0;                       // device clock, Hz
  uint64_t nFullLaunches = 0;                   // launches with every block busy to its last step
  uint64_t nActiveLaunches = 0;                 // launches with at least one active thread
  double cyclesSum = 0.0, cyclesSquares = 0.0;  // launch cycles of every thread
  double delaySum = 0.0, delaySquares = 0.0;    // entry clock after the block's earliest active thread
  double loadSum = 0.0, loadSquares = 0.0;      // mean thread cycles / largest cycles of an active thread
  double busySum = 0.0, busySquares = 0.0;      // kernel seconds / round seconds
  double kernelSeconds = 0.0;
  double roundSeconds = 0.0;
  MEANDEVIATION delay{};   // results of Finish (cycles)
  MEANDEVIATION cycles{};  // (cycles)
  MEANDEVIATION load{};
  MEANDEVIATION busy{};
  double kernelToRound = 0.0;  // kernelSeconds / roundSeconds
  bool enabled = true;         // false once a launch had no active thread, or without blocks
};

// ---------------------------------------------------------------------------
// Per-second figures of a device from the growth of its CUDA_STATS counters
// over the last interval.
// ---------------------------------------------------------------------------

// difference = newer - older, slot by slot (unsigned, modulo 2^64).
void DiffCudaStats(const CUDA_STATS& newer, const CUDA_STATS& older, CUDA_STATS& difference);

// What the per-second figures need of a device: its clock and its grid.
struct CUDADEVICESHAPE {
  double clockRateHz = 0.0;  // device clock
  int32_t nThreads = 0;      // GPU threads of the device
  int32_t blockSize = 0;     // threads per block
};

// The per-second figures, indexed as the console line and the statistics
// file use them:
//   2  mean block duration per launch, ms      3  mean step duration, us
//   4  mean duration of a stage run, ns
//   5  share of the cycles in reads that found nothing
//   6  share of the stage runs that were reads that found nothing
//   7  launches (an unsigned 64-bit integer in the double's bits; Launches())
//   8  share of block launches that ran out of runnable tasks
//   9  steps per block launch                  10 mean step width, threads
//   11 share of the steps that used the whole block
//   14, 15, 16 mean tasks in read, write and neutral states per launch
//   17, 18 share of the thread time spent on the scheduling choice and on
//          the step bookkeeping
//   9 + s, s = 10 ... 47: of every stage group's count/cycle slot s, the
//          share of the stage runs (even s) or of the thread time (odd s).
// Entries 0, 1, 12 and 13 belong to the caller.
constexpr int kCudaSecondStatsValues = 57;
struct CUDA_SECOND_STATS {
  double value[kCudaSecondStatsValues];
  uint64_t Launches() const;
};

// Fills the group of per-second figures that `selector` chooses from the
// counter growth `difference` of the device `device`: 0 the durations (2 to
// 4), 1 the block and step figures (5 to 11), 2 the task kinds (14 to 16),
// negative all of them and the stage shares (17 to 56). Every denominator is
// guarded with 1e-100, so an empty interval gives 0 throughout.
void ComputeCudaSecondStats(const CUDADEVICESHAPE& device, const CUDA_STATS& difference, CUDA_SECOND_STATS& result,
                            int selector);

// ---------------------------------------------------------------------------
// The end-of-run report of one device.
// ---------------------------------------------------------------------------

// What the report needs beside the device's accumulator and counters.
struct DEVICEREPORT {
  int32_t device = 0;            // device number (printed plus one)
  uint64_t histories = 0;        // histories the device ran
  uint64_t allHistories = 0;     // histories run by the CPU and every device
  double invHistoryCount = 0.0;  // 1 / the run's history count
  int32_t heapMode = 0;          // heap_CUDA
  int32_t maxBankedObserved = 0;
  int32_t maxBankedAllowed = 0;  // per task (heap modes 0, 1) or the ring's capacity (2)
  int32_t nTasks = 0;            // the device's tasks
  double elapsedSeconds = 0.0;   // of the whole run
};

// The summary line of the CPU's share of the histories when devices ran
// beside CPU threads: "Number of particle histories simulated on the CPU =
// %lld / %lld (%-.2f%%)." (no line end), the percentage being 100 x the CPU's
// histories x invHistoryCount (1 / the run's history count).
std::string CpuShareLine(uint64_t cpuHistories, uint64_t allHistories, double invHistoryCount);

// The device's block of the run summary, from "\nStatistics for CUDA device
// No. %d:\n" on: histories, launch counts, banked particles, then (after a
// launch with an active thread) the time per task and the share of the
// thread time of every stage group, and (after a launch with every thread
// active) the means and deviations of `stats`, which Finish has completed.
// A ratio whose denominator is 0 is printed as 0.
std::string DeviceStatisticsBlock(const DEVICEREPORT& report, const CDeviceStats& stats, const CUDA_STATS& counters);
