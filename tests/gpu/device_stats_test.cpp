// The mean and standard deviation of the device statistics.
#include "gpu/device_stats.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(MeanAndDeviation, SampleDeviationFromSumsWithTheVarianceClampedAtZero) {
  struct CASE {
    double value;  // every sample
    uint64_t count;
  };
  // Equal samples whose sums round so that the variance comes out a little
  // negative: the deviation is 0, not NaN.
  const CASE equal[] = {{0.1, 3}, {1.0 / 3.0, 7}, {1e10 / 3.0, 11}, {0.7, 1000}, {123456.789, 10}};
  for (const CASE& c : equal) {
    double sum = 0.0, squares = 0.0;
    for (uint64_t i = 0; i < c.count; ++i) {
      sum += c.value;
      squares += c.value * c.value;
    }
    const MEANDEVIATION r = MeanAndDeviation(sum, squares, c.count);
    EXPECT_FALSE(std::isnan(r.deviation)) << c.value << " x " << c.count;
    EXPECT_NEAR(r.deviation, 0.0, 1e-6 * c.value);
    EXPECT_NEAR(r.mean, c.value, 1e-12 * c.value);
  }
  const MEANDEVIATION r = MeanAndDeviation(1.0 + 2.0 + 3.0, 1.0 + 4.0 + 9.0, 3);
  EXPECT_DOUBLE_EQ(r.mean, 2.0);
  EXPECT_DOUBLE_EQ(r.deviation, 1.0);
  EXPECT_EQ(MeanAndDeviation(0.0, 0.0, 0).mean, 0.0);
  EXPECT_EQ(MeanAndDeviation(5.0, 25.0, 1).deviation, 0.0);
  // A variance that rounding makes negative is clamped, whatever its size.
  EXPECT_EQ(MeanAndDeviation(3.0, 2.9, 3).deviation, 0.0);
}

namespace {

// One launch of a 2-block device of 2 threads per block: per thread its entry
// clock and launch cycles, and the step width that thread 0 of each block left.
struct LAUNCH {
  unsigned long long entry[4];
  unsigned long long cycles[4];
  int32_t width[2];
};

void Load(const LAUNCH& l, CThread2 (&threads)[4]) {
  for (int t = 0; t < 4; ++t) {
    threads[t] = CThread2{};
    threads[t].entryClock = l.entry[t];
    threads[t].launchCycles = l.cycles[t];
  }
  threads[0].stepWidth = l.width[0];
  threads[2].stepWidth = l.width[1];
}

}  // namespace

TEST(CDeviceStats, MeansAndDeviationsOverTheLaunchesWithAllThreadsActive) {
  CThread2 threads[4];
  CDeviceStats stats(4, 2, threads, 1000.0);  // a 1 kHz clock: cycles / 1000 are seconds
  // Full: delays 0, 10 | 0, 20; cycles sum 1000, largest 400: load 0.625,
  // kernel 0.4 s of a 0.8 s round: busy 0.5.
  const LAUNCH first{{100, 110, 50, 70}, {400, 200, 300, 100}, {2, 2}};
  // Full: every thread 500 cycles from the same clock: load 1, busy 0.5.
  const LAUNCH second{{7, 7, 9, 9}, {500, 500, 500, 500}, {2, 2}};
  // Block 1 ran out of work in its last step: active, not full.
  const LAUNCH early{{1, 2, 3, 4}, {9000, 9000, 9000, 9000}, {2, 0}};
  // No active thread: the accumulator stops for good.
  const LAUNCH idle{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0}};

  Load(first, threads);
  stats.AddKernelCall(0.8);
  stats.Finish();
  EXPECT_DOUBLE_EQ(stats.load.mean, 0.625);
  EXPECT_EQ(stats.load.deviation, 0.0);  // one launch
  EXPECT_EQ(stats.busy.deviation, 0.0);
  EXPECT_DOUBLE_EQ(stats.cycles.mean, 250.0);

  Load(second, threads);
  stats.AddKernelCall(1.0);
  Load(early, threads);
  stats.AddKernelCall(0.1);
  Load(idle, threads);
  stats.AddKernelCall(0.1);
  Load(second, threads);
  stats.AddKernelCall(1.0);  // ignored: disabled by the idle launch
  stats.Finish();

  EXPECT_FALSE(stats.enabled);
  EXPECT_EQ(stats.nActiveLaunches, 3u);
  EXPECT_EQ(stats.nFullLaunches, 2u);
  // Eight thread samples: cycles 400 200 300 100 500 500 500 500, delays
  // 0 10 0 20 0 0 0 0.
  EXPECT_DOUBLE_EQ(stats.cycles.mean, 375.0);
  EXPECT_DOUBLE_EQ(stats.cycles.deviation, std::sqrt((1.3e6 - 8 * 375.0 * 375.0) / 7));
  EXPECT_DOUBLE_EQ(stats.delay.mean, 3.75);
  EXPECT_DOUBLE_EQ(stats.delay.deviation, std::sqrt(387.5 / 7));
  EXPECT_DOUBLE_EQ(stats.load.mean, 0.8125);
  EXPECT_DOUBLE_EQ(stats.load.deviation, 0.375 / std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(stats.busy.mean, 0.5);
  EXPECT_EQ(stats.busy.deviation, 0.0);
  EXPECT_DOUBLE_EQ(stats.kernelSeconds, 0.9);
  EXPECT_DOUBLE_EQ(stats.roundSeconds, 1.8);
  EXPECT_DOUBLE_EQ(stats.kernelToRound, 0.5);
}

TEST(CDeviceStats, WithoutLaunchesOrBlocksEveryFigureIsZero) {
  CDeviceStats unset;  // no blocks, no thread records
  unset.AddKernelCall(1.0);
  unset.Finish();
  EXPECT_FALSE(unset.enabled);
  CThread2 threads[4];
  CDeviceStats fresh(4, 2, threads, 1e9);
  fresh.Finish();
  for (const CDeviceStats* s : {&unset, &fresh}) {
    EXPECT_EQ(s->nActiveLaunches, 0u);
    for (const MEANDEVIATION& m : {s->delay, s->cycles, s->load, s->busy}) {
      EXPECT_EQ(m.mean, 0.0);
      EXPECT_EQ(m.deviation, 0.0);
    }
    EXPECT_EQ(s->kernelToRound, 0.0);
  }
}

TEST(DiffCudaStats, SlotBySlotModulo2To64) {
  CUDA_STATS newer{}, older{}, diff{};
  for (int i = 0; i < kCudaStatsSlots; ++i) {
    newer.slot[i] = 1000u + static_cast<unsigned long long>(i);
    older.slot[i] = static_cast<unsigned long long>(i);
  }
  newer.slot[5] = 3;
  older.slot[5] = ~0ull - 1;  // the counter wrapped: 2^64 - 2 -> 3 is a growth of 5
  DiffCudaStats(newer, older, diff);
  for (int i = 0; i < kCudaStatsSlots; ++i) EXPECT_EQ(diff.slot[i], i == 5 ? 5u : 1000u) << i;
}

namespace {

// A device of 64 threads in blocks of 16 (4 blocks) at 1 GHz, and an interval
// of two launches whose counters give round figures.
constexpr CUDADEVICESHAPE kDevice{1e9, 64, 16};

CUDA_STATS Interval() {
  CUDA_STATS s{};
  s.slot[0] = 2;    // launches: 8 block launches
  s.slot[2] = 100;  // tasks in read, write, neutral states at launch start
  s.slot[3] = 60;
  s.slot[4] = 20;
  s.slot[5] = 1000;     // full-block steps
  s.slot[6] = 2;        // blocks out of work
  s.slot[7] = 8000000;  // block cycles: 1 ms per block launch
  s.slot[8] = 4000;     // steps
  s.slot[9] = 48000;    // step widths
  s.slot[10] = 20000;   // a stage group's runs and cycles
  s.slot[11] = 32000000;
  s.slot[44] = 10000;  // reads
  s.slot[45] = 1280000;
  s.slot[46] = 5000;  // reads that found nothing
  s.slot[47] = 3200000;
  s.slot[48] = 12800000;   // choice cycles
  s.slot[49] = 6400000;    // bookkeeping cycles
  s.slot[50] = 100000;     // stage runs
  s.slot[51] = 64000000;   // stage cycles
  s.slot[52] = 128000000;  // thread cycles
  return s;
}

}  // namespace

TEST(ComputeCudaSecondStats, FiguresOfAnInterval) {
  CUDA_SECOND_STATS r{};
  ComputeCudaSecondStats(kDevice, Interval(), r, -1);
  struct EXPECTED {
    int index;
    double value;
  };
  const EXPECTED expected[] = {
      {2, 1.0},     // ms per block launch: 8e6 cycles / 8 block launches / 1 GHz
      {3, 2.0},     // us per step: 8e6 cycles / 4000 steps
      {4, 10.0},    // ns per stage run: 6.4e7 cycles / 64 threads / 1e5 runs
      {5, 0.05},    // 3.2e6 of 6.4e7 cycles in reads that found nothing
      {6, 0.05},    // 5000 of 1e5 runs
      {8, 0.25},    // 2 of 8 block launches out of work
      {9, 500.0},   // 4000 steps / 8 block launches
      {10, 12.0},   // 48000 / 4000
      {11, 0.25},   // 1000 of 4000 steps full
      {14, 50.0},   // read-state tasks per launch
      {15, 30.0},   // write-state tasks
      {16, 10.0},   // neutral-state tasks
      {17, 0.1},    // 1.28e7 of 1.28e8 thread cycles choosing
      {18, 0.05},   // 6.4e6 of them in the bookkeeping
      {19, 0.2},    // slot 10: 2e4 of 1e5 runs
      {20, 0.25},   // slot 11: 3.2e7 of 1.28e8 thread cycles
      {21, 0.0},    // slot 12: an idle stage group
      {53, 0.1},    // slot 44
      {54, 0.01},   // slot 45
      {55, 0.05},   // slot 46
      {56, 0.025},  // slot 47
  };
  for (const EXPECTED& e : expected) EXPECT_NEAR(r.value[e.index], e.value, 1e-12 * (1.0 + e.value)) << e.index;
  EXPECT_EQ(r.Launches(), 2u);
}

TEST(ComputeCudaSecondStats, SelectorFillsItsGroupOnly) {
  struct CASE {
    int selector;
    int first, last;  // the entries it fills
  };
  const CASE cases[] = {{0, 2, 4}, {1, 5, 11}, {2, 14, 16}};
  const CUDA_STATS s = Interval();
  for (const CASE& c : cases) {
    CUDA_SECOND_STATS r;
    for (double& v : r.value) v = -7.0;
    ComputeCudaSecondStats(kDevice, s, r, c.selector);
    for (int i = 0; i < kCudaSecondStatsValues; ++i) {
      EXPECT_EQ(r.value[i] != -7.0, i >= c.first && i <= c.last) << c.selector << " " << i;
    }
  }
  CUDA_SECOND_STATS all;
  for (double& v : all.value) v = -7.0;
  ComputeCudaSecondStats(kDevice, s, all, -1);
  for (int i : {0, 1, 12, 13}) EXPECT_EQ(all.value[i], -7.0) << i;  // the caller's
}

TEST(ComputeCudaSecondStats, AnEmptyIntervalGivesZeros) {
  CUDA_STATS same = Interval(), diff;
  DiffCudaStats(same, same, diff);
  for (const unsigned long long v : diff.slot) EXPECT_EQ(v, 0u);
  // Also on a device whose shape is not known yet.
  for (const CUDADEVICESHAPE& device : {kDevice, CUDADEVICESHAPE{}}) {
    CUDA_SECOND_STATS r{};
    ComputeCudaSecondStats(device, diff, r, -1);
    for (int i = 0; i < kCudaSecondStatsValues; ++i) {
      EXPECT_FALSE(std::isnan(r.value[i])) << i;
      EXPECT_EQ(r.value[i], 0.0) << i;
    }
    EXPECT_EQ(r.Launches(), 0u);
  }
}

TEST(DeviceStatisticsBlock, TextOfADeviceReport) {
  DEVICEREPORT report;
  report.device = 1;
  report.histories = 750;
  report.allHistories = 1000;
  report.invHistoryCount = 1.0 / 1000;
  report.heapMode = 0;
  report.maxBankedObserved = 30;
  report.maxBankedAllowed = 40;
  report.nTasks = 4;
  report.elapsedSeconds = 500.0;
  CDeviceStats stats;  // as Finish left it after the launches of the test above
  stats.clockRate = 1000.0;
  stats.nActiveLaunches = 3;
  stats.nFullLaunches = 2;
  stats.cycles = {375.0, std::sqrt(25000.0)};
  stats.load = {0.8125, 0.375 / std::sqrt(2.0)};
  stats.busy = {0.5, 0.0};
  stats.kernelToRound = 0.5;
  CUDA_STATS counters{};
  counters.slot[52] = 1000000;  // 1000 s of thread time at 1 kHz over 4 tasks
  counters.slot[11] = 100000;
  counters.slot[13] = 50000;
  counters.slot[31] = 250000;
  counters.slot[47] = 20000;
  counters.slot[48] = 12500;
  counters.slot[51] = 800000;
  EXPECT_EQ(DeviceStatisticsBlock(report, stats, counters),
            "\nStatistics for CUDA device No. 2:\n"
            "     Number of particle histories = 750 / 1000 (75.00%).\n"
            "     Number of kernel calls with at least one active thread: 3\n"
            "     Number of kernel calls with all threads active: 2\n"
            "     Maximum number of banked particles per one source particle (observed / allowed): 30 / 40 = 0.75\n"
            "     Average total calculation time per task: 250 s, ratio to the total elapsed time: 0.5.\n"
            "     Average time fractions:\n"
            "          photons - cross section: 10%, distance to collision: 5%, interaction type: 0%,\n"
            "          photons - coherent: 0%, incoherent: 0%, photoelectric: 0%, pair production: 0%,\n"
            "          electrons - cross section: 0%, distance to collision: 0%, interaction type: 0%,\n"
            "          electrons - elastic: 25%, bremsstrahlung: 0%, excitation: 0%, ionization: 0%, atomic "
            "relaxation: 0%,\n"
            "          source: 0%, read: 0%, wait: 2%, check1: 1.25%, check2: 0%, sum: 80%.\n"
            "     Statistics for kernel calls with all threads active:\n"
            "          Thread duration per kernel call (calculated from the number of GPU cycles):\n"
            "               Average = 375 cycles (0.375 s), standard deviation = 158.114 cycles (0.158114 s, "
            "42.16%).\n"
            "          Ratio of average thread duration per kernel call to maximum block duration (calculated from "
            "the number of GPU cycles):\n"
            "               Average = 0.8125, standard deviation = 0.265165 (32.64%).\n"
            "          Ratio of kernel execution times calculated from the number of GPU cycles and from the CPU "
            "clock time:\n"
            "               Average = 0.5, standard deviation = 0 (0.00%), ratio of totals = 0.5.\n");

  // A device that never launched with work, in ring mode, with no allowance
  // known: the counts only, and no division by zero.
  report.heapMode = 2;
  report.maxBankedAllowed = 0;
  report.histories = 0;
  EXPECT_EQ(DeviceStatisticsBlock(report, CDeviceStats{}, CUDA_STATS{}),
            "\nStatistics for CUDA device No. 2:\n"
            "     Number of particle histories = 0 / 1000 (0.00%).\n"
            "     Number of kernel calls with at least one active thread: 0\n"
            "     Number of kernel calls with all threads active: 0\n"
            "     Maximum number of banked particles (observed / allowed): 30 / 0 = 0\n");
}

TEST(CpuShareLine, HistoriesOfTheCpuAgainstAllAndTheRunsCount) {
  struct CASE {
    uint64_t cpu, all;
    double invCount;
    const char* text;
  };
  const CASE cases[] = {
      {250, 1000, 1.0 / 1000, "Number of particle histories simulated on the CPU = 250 / 1000 (25.00%)."},
      // The share is of the run's history count, not of the histories run.
      {1, 3, 1.0 / 4, "Number of particle histories simulated on the CPU = 1 / 3 (25.00%)."},
      {0, 5000000000, 1.0 / 5e9, "Number of particle histories simulated on the CPU = 0 / 5000000000 (0.00%)."},
  };
  for (const CASE& c : cases) EXPECT_EQ(CpuShareLine(c.cpu, c.all, c.invCount), c.text);
}
