// The run loop of Trenqual_CUDA with real devices, here host-simulated ones
// that run 662 keV photons through 1 cm of lead with the device stages while
// the CPU workers run a stand-in history of one step: the devices run in
// cycles beside the workers, every history of N is run once (the CPU's and
// the devices' finished histories add up to N, the CPU streams' history
// numbers account for the CPU's histories), and with balance_CUDA 1 the
// histories move towards the faster device.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/element_table.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "driver/build_variant.h"
#include "driver/device_rounds.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "driver/run/device_division.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/rebalance.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/run/work_division.h"
#include "driver/run_main.h"
#include "driver/setup/input_checks.h"
#include "gpu/host_device.h"
#include "language/compiler.h"
#include "tests/run/run_fixture.h"
#include "tests/transport/photon_fixture.h"
#include "transport/history.h"

namespace {

// The CPU's stand-in history: a photon absorbed at its first interaction.
int32_t AbsorbedPhoton(CTask& t) {
  t.photonSurvival = 0;
  return kStepInteraction;
}

struct DEVICERUN {
  int32_t nWorkers = 1;
  int32_t nStreams = 16;
  int64_t N = 4000;
  int32_t nDevices = 1;
  int32_t tasksPerDevice = 8;
  double ratio = 0.5;
  int32_t heapMode = 2;
  int32_t balance = 0;
  double timeSliceMs = 5.0;
};

class DeviceRunLoopTest : public ::testing::Test {
 protected:
  // The elements are loaded once for the tests of a process.
  static void SetUpTestSuite() {
    problemOwner = std::make_unique<PHOTONPROBLEM>();
    loaded = LoadPhotonElements(*problemOwner, {82}, {1.0});
  }
  static void TearDownTestSuite() { problemOwner.reset(); }
  void SetUp() override {
    ASSERT_TRUE(loaded);
    if (language::compiler == nullptr) {
      ASSERT_EQ(CreateCompiler(), 0);
    }
  }
  void TearDown() override {
    SetRunMonitor(nullptr);
    ReleaseWorkDivision();
    SimulateDevices(0);
  }

  // Divides the work of the run as the driver does and hands it over.
  void Prepare(const DEVICERUN& r) {
    PHOTONPROBLEM& problem = *problemOwner;
    SetPhotonRun(problem, 662e3, 1.0, 3.3e22, static_cast<uint64_t>(r.N));
    core::elementArrayBytes = problem.pool.bytes;
    input::runOptions = RUNOPTIONS{};
    RUNOPTIONS& o = input::runOptions;
    o.nThreads = r.nWorkers;
    o.nStreams = r.nStreams;
    o.nParticles = r.N;
    o.seed = 1;
    o.tasks_CUDA = r.tasksPerDevice;
    o.threads_CUDA = r.tasksPerDevice;
    o.blockSize_CUDA = r.tasksPerDevice;
    o.streams_CUDA = 1;
    o.ratio_CUDA = r.ratio;
    o.heap_CUDA = r.heapMode;
    o.balance_CUDA = r.balance;
    o.rand_CUDA = 1;
    o.avgBanked_CUDA = 16;
    o.time_CUDA = r.timeSliceMs;
    directives::transportOptions.nTracks = 0;
    run::controlEntries.clear();
    DEVICESELECTION& sel = setup::deviceSelection;
    sel = DEVICESELECTION{};
    sel.nUsed = r.nDevices;
    for (int32_t d = 0; d < r.nDevices; ++d) {
      const CUDADEVICEINFO info = CudaDeviceInfo(d);
      sel.used[d] = d;
      sel.clockRateHz[d] = info.clockKHz * 1000.0;
      sel.globalMemory[d] = info.globalMemory;
    }
    testing::internal::CaptureStdout();
    const int code = DivideWork();
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0);
    HandOverToRun();
    for (int32_t t = 0; t < core::nThreads; ++t) core::tasks[t].stepOverride = AbsorbedPhoton;
    SetRunMonitor(ShowProgress);
  }

  // The histories finished by the devices, as their status records count them.
  uint64_t DeviceFinished() const {
    uint64_t n = 0;
    for (int32_t d = 0; d < run::deviceDivision.nDevices; ++d) {
      const DEVICESTATUSHOST& s = run::deviceStatus[d];
      n += input::runOptions.heap_CUDA == 2 ? s.nFinishedSourceTracks : s.nFinishedHistories;
    }
    return n;
  }

  // The histories the CPU streams' next numbers account for: stream s ran s,
  // s + stride, ... below its next number.
  uint64_t CpuStreamHistories() const {
    uint64_t n = 0;
    const uint64_t stride = core::runStreams.cpuStride;
    for (int32_t s = 0; s < run::nStreamsCpu; ++s) {
      const uint64_t next = core::runStreams.streamControl[s].nextParticle;
      if (next > static_cast<uint64_t>(s)) n += (next - static_cast<uint64_t>(s)) / stride;
    }
    return n;
  }

  static inline std::unique_ptr<PHOTONPROBLEM> problemOwner;
  static inline bool loaded = false;
};

}  // namespace

// One CPU worker and one device, and the device alone: in each banking mode
// the devices run their share, the worker its own, and together every
// history once; the devices' status reports no error.
TEST_F(DeviceRunLoopTest, CpuWorkersAndDevicesRunEveryHistoryOnce) {
  struct CASE {
    int32_t nWorkers;
    int32_t nDevices;
    int32_t heapMode;
    int32_t balance;
  };
  const CASE cases[] = {{1, 1, 2, 0}, {2, 1, 1, 0}, {1, 2, 2, 1}, {2, 1, 1, 1}, {0, 1, 2, 0}, {0, 2, 1, 1}};
  for (const CASE& c : cases) {
    SimulateDevices(c.nDevices);
    DEVICERUN r;
    r.nWorkers = c.nWorkers;
    r.nDevices = c.nDevices;
    r.heapMode = c.heapMode;
    r.balance = c.balance;
    r.nStreams = c.nWorkers * 4 + c.nDevices * r.tasksPerDevice;
    Prepare(r);
    testing::internal::CaptureStdout();
    const Status code = RunLoop();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string label = std::to_string(c.nWorkers) + " workers, " + std::to_string(c.nDevices) +
                              " devices, heap " + std::to_string(c.heapMode) + ", balance " + std::to_string(c.balance);
    ASSERT_EQ(code, kOk) << label << out;
    const uint64_t cpu = FinishedHistories();
    EXPECT_EQ(cpu + DeviceFinished(), static_cast<uint64_t>(r.N)) << label;
    EXPECT_EQ(CpuStreamHistories(), cpu) << label;
    if (c.nWorkers == 0) {
      EXPECT_EQ(cpu, 0u) << label;
    } else {
      EXPECT_GT(cpu, 0u) << label;
    }
    for (int32_t d = 0; d < c.nDevices; ++d) {
      EXPECT_EQ(run::deviceStatus[d].error, 0) << label;
      EXPECT_GT(run::deviceStatus[d].nStartedHistories, 0u) << label;
      EXPECT_EQ(run::nStartedOfDevice[d], run::deviceStatus[d].nStartedHistories) << label;
    }
    EXPECT_GT(run::kernelTime, 0.0) << label;
    EXPECT_EQ(run::bufferOverflow.load(), 0) << label;
    SetRunMonitor(nullptr);
    ReleaseWorkDivision();
  }
}

// A device whose status record reports an error after a launch: a fatal
// error (a task number) ends the run with exit code 2 once the CPU workers
// have stopped; a negative one (a full buffer) is noted for the summary and
// the run goes on to its end.
TEST_F(DeviceRunLoopTest, ADevicesErrorEndsTheRunOrIsNotedAsAnOverflow) {
  struct CASE {
    int32_t error;
    Status code;
    uint8_t overflow;
  };
  const CASE cases[] = {{3, kDeviceError, 0}, {-1, kOk, 1}};
  for (const CASE& c : cases) {
    SimulateDevices(1);
    DEVICERUN r;
    r.nWorkers = 2;
    r.N = 100000;
    r.nStreams = 2 * 4 + 8;
    Prepare(r);
    DEVICESTATUSHOST status = ReadDeviceStatus(0, r.heapMode);
    status.error = c.error;
    WriteDeviceStatus(0, r.heapMode, status);
    testing::internal::CaptureStdout();
    const Status code = RunLoop();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, c.code) << c.error;
    EXPECT_EQ(run::bufferOverflow.load(), c.overflow) << c.error;
    for (int32_t t = 0; t < core::nThreads; ++t) EXPECT_EQ(core::tasks[t].running.load(), 0) << c.error;
    if (c.code == kOk) {
      EXPECT_EQ(FinishedHistories() + DeviceFinished(), static_cast<uint64_t>(r.N));
    }
    SetRunMonitor(nullptr);
    ReleaseWorkDivision();
  }
}

// Two devices of equal shares, the second with a tenth of the first's time
// slice (its clock reported ten times slower): with balance_CUDA 1 the
// histories not yet started move to the fast device as the run goes on, and
// every history is still run once.
TEST_F(DeviceRunLoopTest, BalancingMovesHistoriesTowardsTheFasterDevice) {
  SimulateDevices(2);
  SimulateDeviceClock(1, 150000);
  DEVICERUN r;
  r.nWorkers = 0;
  r.nDevices = 2;
  r.heapMode = 2;
  r.balance = 1;
  r.N = 1000000;  // a few seconds: the monitor's ticks, once a second, trigger the re-divisions
  r.nStreams = 16;
  r.timeSliceMs = 10.0;
  Prepare(r);
  const uint64_t before[2] = {run::deviceDivision.slot[0].share, run::deviceDivision.slot[1].share};
  ASSERT_EQ(before[0], before[1]);
  testing::internal::CaptureStdout();
  const Status code = RunLoop();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kOk) << out;
  const uint64_t fast = run::deviceStatus[0].nFinishedSourceTracks;
  const uint64_t slow = run::deviceStatus[1].nFinishedSourceTracks;
  EXPECT_EQ(fast + slow, static_cast<uint64_t>(r.N));
  EXPECT_EQ(run::deviceDivision.slot[0].share, fast);
  EXPECT_EQ(run::deviceDivision.slot[1].share, slow);
  EXPECT_GT(fast, before[0]);
  EXPECT_GT(fast, 3 * slow) << fast << " " << slow;
}

// Two CPU workers and a device ten times slower than its peers, balance_CUDA
// 1, a run of a few seconds: the histories are divided afresh at the
// monitor's ticks (the CPU workers are stopped, the CPU streams gathered,
// revived and dealt out again, the workers run to history quotas), and
// still the CPU's histories and the device's add up to N, each CPU history
// on a history number of its own.
TEST_F(DeviceRunLoopTest, BalancingBesideCpuWorkersRunsEveryHistoryOnce) {
  SimulateDevices(1);
  SimulateDeviceClock(0, 150000);
  DEVICERUN r;
  r.nWorkers = 2;
  r.nDevices = 1;
  r.heapMode = 2;
  r.balance = 1;
  r.ratio = 0.5;
  r.N = 3000000;
  r.nStreams = 2 * 4 + 8;
  r.timeSliceMs = 10.0;
  Prepare(r);
  const uint64_t deviceShare = run::deviceDivision.slot[0].share;
  testing::internal::CaptureStdout();
  const Status code = RunLoop();
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kOk) << out;
  const uint64_t cpu = FinishedHistories();
  const uint64_t device = run::deviceStatus[0].nFinishedSourceTracks;
  EXPECT_EQ(cpu + device, static_cast<uint64_t>(r.N));
  EXPECT_EQ(CpuStreamHistories(), cpu);
  EXPECT_EQ(run::deviceDivision.slot[0].share, device);
  EXPECT_LT(device, deviceShare);  // the histories moved to the CPU workers
}

// The re-division: the measured participants share the rest by their
// finished histories, an unmeasured one keeps half of its own, fixed ones
// keep their shares, and the shares add up to N.
TEST(Redivision, SharesFollowTheFinishedHistoriesAndAddUpToN) {
  struct CASE {
    uint64_t N;
    std::vector<BALANCEPARTICIPANT> p;  // started, finished, share, tasks, fixed
    std::vector<uint64_t> shares;
  };
  const CASE cases[] = {
      // The devices measured, the CPU not: the CPU keeps 10 + 90 / 2; the
      // devices share the other 45 + 100 + 100 - 10 - 10 = 225 as 3 : 1.
      {300, {{10, 2, 100, 4, false}, {10, 30, 100, 8, false}, {10, 10, 100, 8, false}}, {55, 179, 66}},
      // Everybody measured, one device fixed (banking mode 1).
      {300, {{20, 20, 100, 4, false}, {20, 20, 100, 8, true}, {40, 40, 100, 8, false}}, {67, 100, 133}},
      // Nobody measured: the histories stay where they were.
      {300, {{1, 0, 100, 4, false}, {2, 1, 150, 8, false}, {3, 2, 50, 8, false}}, {100, 150, 50}},
      // Rounding leaves one history over: the CPU takes it first.
      {10, {{0, 1, 5, 1, false}, {0, 1, 5, 1, false}, {0, 1, 0, 1, false}}, {4, 3, 3}},
  };
  for (const CASE& c : cases) {
    const std::vector<uint64_t> shares = RedivideHistories(c.N, c.p);
    EXPECT_EQ(shares, c.shares);
    uint64_t sum = 0;
    for (size_t i = 0; i < shares.size(); ++i) {
      sum += shares[i];
      EXPECT_GE(shares[i], c.p[i].started);
    }
    EXPECT_EQ(sum, c.N);
  }
}

TEST(Redivision, QuotasDifferByAtMostOneAndAddUpToTheHistories) {
  EXPECT_EQ(SpreadQuotas(10, 4), (std::vector<int64_t>{3, 3, 2, 2}));
  EXPECT_EQ(SpreadQuotas(3, 5), (std::vector<int64_t>{1, 1, 1, 0, 0}));
  EXPECT_TRUE(SpreadQuotas(7, 0).empty());
}

// The ring margin falls by eighths while particles wait within it, and the
// 90 % warning counts the slots beyond the spare ones of the threads.
TEST(DeviceCycles, RingMarginAndFullRing) {
  EXPECT_EQ(NextRingMargin(200, 200), 25);
  EXPECT_EQ(NextRingMargin(100, 40), 12);
  EXPECT_EQ(NextRingMargin(4, 1000), 32);  // at most 256 waiting count
  EXPECT_EQ(NextRingMargin(0, 0), 0);
  // 100 slots, 2 x 5 spare: more than 81 waiting is more than 90 % full.
  EXPECT_FALSE(RingMoreThanNinetyPercentFull(10, 91, 100, 5));
  EXPECT_TRUE(RingMoreThanNinetyPercentFull(10, 92, 100, 5));
  EXPECT_FALSE(RingMoreThanNinetyPercentFull(50, 50, 100, 5));
}
