#include "gpu/device_stats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
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
  // An accumulator left without blocks (the default one) has nothing to add.
  if (nBlocks <= 0 || threads == nullptr) enabled = false;
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

void DiffCudaStats(const CUDA_STATS& newer, const CUDA_STATS& older, CUDA_STATS& difference) {
  for (int i = 0; i < kCudaStatsSlots; ++i) difference.slot[i] = newer.slot[i] - older.slot[i];
}

uint64_t CUDA_SECOND_STATS::Launches() const { return std::bit_cast<uint64_t>(value[7]); }

void ComputeCudaSecondStats(const CUDADEVICESHAPE& device, const CUDA_STATS& difference, CUDA_SECOND_STATS& result,
                            int selector) {
  constexpr double kTiny = 1e-100;
  const auto S = [&difference](int i) { return static_cast<double>(difference.slot[i]); };
  const double clock = device.clockRateHz;
  const double threads = device.nThreads;
  const double blocks = device.blockSize > 0 ? static_cast<double>(device.nThreads / device.blockSize) : 0.0;
  double* out = result.value;
  if (selector <= 0) {
    out[2] = S(7) * 1000.0 / (blocks * clock + kTiny) / (S(0) + kTiny);
    out[3] = S(7) * 1e6 / (clock + kTiny) / (S(8) + kTiny);
    out[4] = S(51) * 1e9 / (threads * clock + kTiny) / (S(50) + kTiny);
  }
  if (selector == 1 || selector < 0) {
    out[5] = S(47) / (S(51) + kTiny);
    out[6] = S(46) / (S(50) + kTiny);
    out[7] = std::bit_cast<double>(static_cast<uint64_t>(difference.slot[0]));
    out[8] = S(6) / (blocks * S(0) + kTiny);
    out[9] = S(8) / (blocks * S(0) + kTiny);
    out[10] = S(9) / (S(8) + kTiny);
    out[11] = S(5) / (S(8) + kTiny);
  }
  if (selector == 2 || selector < 0) {
    for (int k = 0; k < 3; ++k) out[14 + k] = S(2 + k) / (S(0) + kTiny);
  }
  if (selector < 0) {
    out[17] = S(48) / (S(52) + kTiny);
    out[18] = S(49) / (S(52) + kTiny);
    for (int s = 10; s <= 47; ++s) out[9 + s] = S(s) / ((s % 2 == 0 ? S(50) : S(52)) + kTiny);
  }
}

namespace {

void Append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& text, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) text.append(line, static_cast<size_t>(std::min(n, static_cast<int>(sizeof line) - 1)));
}

double Ratio(double numerator, double denominator) { return denominator != 0.0 ? numerator / denominator : 0.0; }

}  // namespace

std::string CpuShareLine(uint64_t cpuHistories, uint64_t allHistories, double invHistoryCount) {
  std::string text;
  Append(text, "Number of particle histories simulated on the CPU = %lld / %lld (%-.2f%%).",
         static_cast<long long>(cpuHistories), static_cast<long long>(allHistories),
         100.0 * static_cast<double>(cpuHistories) * invHistoryCount);
  return text;
}

std::string DeviceStatisticsBlock(const DEVICEREPORT& r, const CDeviceStats& stats, const CUDA_STATS& counters) {
  std::string text;
  Append(text, "\nStatistics for CUDA device No. %d:\n", r.device + 1);
  Append(text, "     Number of particle histories = %lld / %lld (%-.2f%%).\n", static_cast<long long>(r.histories),
         static_cast<long long>(r.allHistories), 100.0 * static_cast<double>(r.histories) * r.invHistoryCount);
  Append(text, "     Number of kernel calls with at least one active thread: %lld\n",
         static_cast<long long>(stats.nActiveLaunches));
  Append(text, "     Number of kernel calls with all threads active: %lld\n",
         static_cast<long long>(stats.nFullLaunches));
  Append(text, "     Maximum number of banked particles%s(observed / allowed): %d / %d = %g\n",
         r.heapMode < 2 ? " per one source particle " : " ", r.maxBankedObserved, r.maxBankedAllowed,
         Ratio(r.maxBankedObserved, r.maxBankedAllowed));
  const double threadCycles = static_cast<double>(counters.slot[52]);
  if (stats.nActiveLaunches > 0) {
    const double perTask = Ratio(Ratio(threadCycles, stats.clockRate), r.nTasks);
    Append(text, "     Average total calculation time per task: %g s, ratio to the total elapsed time: %g.\n", perTask,
           Ratio(perTask, r.elapsedSeconds));
    // Share of the thread time of the counter k, in percent.
    const auto P = [&](int k) { return 100.0 * Ratio(static_cast<double>(counters.slot[k]), threadCycles); };
    Append(text, "     Average time fractions:\n");
    Append(text,
           "          photons - cross section: %-.4g%%, distance to collision: %-.4g%%, interaction type: %-.4g%%,\n",
           P(11), P(13), P(15));
    Append(text,
           "          photons - coherent: %-.4g%%, incoherent: %-.4g%%, photoelectric: %-.4g%%, pair production: "
           "%-.4g%%,\n",
           P(17), P(19), P(21), P(23));
    Append(text,
           "          electrons - cross section: %-.4g%%, distance to collision: %-.4g%%, interaction type: "
           "%-.4g%%,\n",
           P(25), P(27), P(29));
    Append(text,
           "          electrons - elastic: %-.4g%%, bremsstrahlung: %-.4g%%, excitation: %-.4g%%, ionization: %-.4g%%, "
           "atomic relaxation: %-.4g%%,\n",
           P(31), P(33), P(35), P(37), P(39));
    Append(text,
           "          source: %-.4g%%, read: %-.4g%%, wait: %-.4g%%, check1: %-.4g%%, check2: %-.4g%%, sum: "
           "%-.4g%%.\n",
           P(43), P(45), P(47), P(48), P(49), P(51));
  }
  if (stats.nFullLaunches > 0) {
    Append(text, "     Statistics for kernel calls with all threads active:\n");
    Append(text, "          Thread duration per kernel call (calculated from the number of GPU cycles):\n");
    Append(text, "               Average = %g cycles (%g s), standard deviation = %g cycles (%g s, %-.2f%%).\n",
           stats.cycles.mean, Ratio(stats.cycles.mean, stats.clockRate), stats.cycles.deviation,
           Ratio(stats.cycles.deviation, stats.clockRate), 100.0 * Ratio(stats.cycles.deviation, stats.cycles.mean));
    Append(text,
           "          Ratio of average thread duration per kernel call to maximum block duration (calculated from "
           "the number of GPU cycles):\n");
    Append(text, "               Average = %g, standard deviation = %g (%-.2f%%).\n", stats.load.mean,
           stats.load.deviation, 100.0 * Ratio(stats.load.deviation, stats.load.mean));
    Append(text,
           "          Ratio of kernel execution times calculated from the number of GPU cycles and from the CPU clock "
           "time:\n");
    Append(text, "               Average = %g, standard deviation = %g (%-.2f%%), ratio of totals = %g.\n",
           stats.busy.mean, stats.busy.deviation, 100.0 * Ratio(stats.busy.deviation, stats.busy.mean),
           stats.kernelToRound);
  }
  return text;
}
