// CDeviceStats: how well one device's threads were used, accumulated over
// the launches in which every block was still busy in its last step, from the
// CThread2 array the host reads back after each launch; Finish turns the sums
// into means and standard deviations for the end-of-run report.
#pragma once

#include <cstdint>

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
