#include "gpu/device_stats.h"

#include <algorithm>
#include <cmath>
#include <vector>

MEANDEVIATION MeanAndDeviation(double sum, double sumOfSquares, uint64_t count) {
  if (count == 0) return MEANDEVIATION{0.0, 0.0};
  const double n = static_cast<double>(count);
  const double mean = sum / n;
  if (count < 2) return MEANDEVIATION{mean, 0.0};
  const double variance = (sumOfSquares - n * mean * mean) / (n - 1.0);
  return MEANDEVIATION{mean, std::sqrt(std::max(variance, 0.0))};
}

CDeviceStats::CDeviceStats(int32_t threadCount, int32_t blockCount, const CThread2* records, double clockRateHz)
    : nThreads(threadCount), nBlocks(blockCount), threads(records), clockRate(clockRateHz) {
  enabled = nBlocks > 0;
}

void CDeviceStats::AddKernelCall(double roundTime) {
  if (!enabled) return;
  const int32_t perBlock = nThreads / nBlocks;
  // The active threads of each block: the first stepWidth of them, the width
  // of the block's last step that its thread 0 left.
  std::vector<unsigned long long> earliest(static_cast<size_t>(nBlocks), 0);
  unsigned long long largest = 0;
  int64_t active = 0;
  for (int32_t b = 0; b < nBlocks; ++b) {
    const CThread2* block = threads + static_cast<int64_t>(b) * perBlock;
    const int32_t width = std::min(std::max(block[0].stepWidth, 0), perBlock);
    for (int32_t t = 0; t < width; ++t) {
      if (t == 0 || block[t].entryClock < earliest[static_cast<size_t>(b)]) {
        earliest[static_cast<size_t>(b)] = block[t].entryClock;
      }
      largest = std::max(largest, block[t].launchCycles);
    }
    active += width;
  }
  if (active == 0) {
    enabled = false;
    return;
  }
  ++nActiveLaunches;
  if (active < nThreads) return;
  ++nFullLaunches;
  double launchCycles = 0.0;
  for (int32_t b = 0; b < nBlocks; ++b) {
    for (int32_t t = 0; t < perBlock; ++t) {
      const CThread2& r = threads[static_cast<int64_t>(b) * perBlock + t];
      const double c = static_cast<double>(r.launchCycles);
      const double d = static_cast<double>(r.entryClock) - static_cast<double>(earliest[static_cast<size_t>(b)]);
      launchCycles += c;
      cyclesSum += c;
      cyclesSquares += c * c;
      delaySum += d;
      delaySquares += d * d;
    }
  }
  const double ratio = launchCycles / nThreads / static_cast<double>(largest > 0 ? largest : 1);
  loadSum += ratio;
  loadSquares += ratio * ratio;
  const double kernel = static_cast<double>(largest) / clockRate;
  const double busyRatio = roundTime > 0.0 ? kernel / roundTime : 0.0;
  busySum += busyRatio;
  busySquares += busyRatio * busyRatio;
  kernelSeconds += kernel;
  roundSeconds += roundTime;
}

void CDeviceStats::Finish() {
  const uint64_t perThread = static_cast<uint64_t>(nThreads) * nFullLaunches;
  delay = MeanAndDeviation(delaySum, delaySquares, perThread);
  cycles = MeanAndDeviation(cyclesSum, cyclesSquares, perThread);
  load = MeanAndDeviation(loadSum, loadSquares, nFullLaunches);
  busy = MeanAndDeviation(busySum, busySquares, nFullLaunches);
  kernelToRound = nFullLaunches != 0 && roundSeconds > 0.0 ? kernelSeconds / roundSeconds : 0.0;
}
