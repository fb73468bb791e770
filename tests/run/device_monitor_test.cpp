// The run monitor of Trenqual_CUDA with real devices, on simulated devices
// whose status records, counters, thread records and tally arrays the tests
// write: the progress line, the device pages and their keys, the statistics
// files, the balance trigger, the end of the run on the devices, and the
// error of a watched tally that adds the devices' scores to the workers'.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/pulse_height.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/device_monitor.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/input/input_passes.h"
#include "driver/input/options.h"
#include "driver/results/tally_files.h"
#include "driver/run/device_division.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/setup/input_checks.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_run_state.h"
#include "gpu/host_device.h"
#include "language/compiler.h"
#include "platform/keys.h"
#include "tests/run/run_fixture.h"
#include "tests/support/test_paths.h"

namespace {

constexpr int32_t kDeviceThreads = 16;  // two blocks of 8
constexpr int32_t kDeviceTasks = 8;
constexpr uint64_t kDeviceShare = 400;
constexpr double kClock = 1e9;

// Gives the run `n` real devices (simulated): their status records,
// counters and thread records, zeroed, each with kDeviceShare histories.
void AddRealDevices(int32_t n) {
  SimulateDevices(n);
  DEVICEDIVISION& v = run::deviceDivision;
  v.nDevices = n;
  v.nRealTasks = n * kDeviceTasks;
  input::runOptions.heap_CUDA = 1;
  input::runOptions.blockSize_CUDA = 8;
  input::runOptions.maxBankedRatio_CUDA = 3.0;
  input::runOptions.balance_CUDA = 0;
  for (int32_t d = 0; d < n; ++d) {
    SelectDevice(d);
    deviceAllocated[d] = 0;
    deviceMemoryLimit[d] = kSimulatedDeviceMemory;
    DEVICETASKDATA& t = device_host::deviceRun[d].taskData;
    t = DEVICETASKDATA{};
    t.status = DeviceAllocateZeroed(sizeof(DEVICESTATUS));
    t.cudaStats = static_cast<CUDA_STATS*>(DeviceAllocateZeroed(sizeof(CUDA_STATS)));
    t.threads = static_cast<CThread2*>(DeviceAllocateZeroed(kDeviceThreads * sizeof(CThread2)));
    DEVICESLOT& s = v.slot[d];
    s = DEVICESLOT{};
    s.device = d;
    s.nTasks = kDeviceTasks;
    s.nThreads = kDeviceThreads;
    s.avgBanked = 4;  // a task may bank 4 x 3.0 = 12 particles
    s.share = kDeviceShare;
    setup::deviceSelection.clockRateHz[d] = kClock;
  }
  run::kernelTime = 0.0;
}

void ForgetRealDevices() {
  for (int32_t d = 0; d < run::deviceDivision.nDevices; ++d) {
    device_host::deviceRun[d].taskData = DEVICETASKDATA{};
    device_host::deviceRun[d].problem.tallies = DEVICETALLIES{};
    if (run::deviceStatsFile[d] != nullptr) fclose(run::deviceStatsFile[d]);
    run::deviceStatsFile[d] = nullptr;
  }
  run::deviceDivision = DEVICEDIVISION{};
  input::runOptions = RUNOPTIONS{};
  SimulateDevices(0);
}

void SetStatus(int32_t d, uint64_t finished, uint64_t started, int32_t maxBanked = 0) {
  SelectDevice(d);
  DEVICESTATUS s{};
  s.nFinishedHistories = finished;
  s.nStartedHistories = started;
  s.maxBanked_kernelCall = maxBanked;
  DeviceUpload(device_host::deviceRun[d].taskData.status, &s, sizeof s);
}

void SetCounters(int32_t d, const CUDA_STATS& c) {
  SelectDevice(d);
  DeviceUpload(device_host::deviceRun[d].taskData.cudaStats, &c, sizeof c);
}

// The last launch: thread 0 of block b reports stepWidth[b]; every thread ran
// `cycles` cycles, thread 1 `longest`.
void SetThreads(int32_t d, int32_t width0, int32_t width1, unsigned long long cycles, unsigned long long longest) {
  std::vector<CThread2> threads(kDeviceThreads);
  for (CThread2& t : threads) t.launchCycles = cycles;
  threads[1].launchCycles = longest;
  threads[0].stepWidth = width0;
  threads[8].stepWidth = width1;
  SelectDevice(d);
  DeviceUpload(device_host::deviceRun[d].taskData.threads, threads.data(), threads.size() * sizeof(CThread2));
}

void SetCpuFinished(int32_t r, uint64_t n) { core::tasks[r].stats->slot[statslot::nHistoriesDone].n = n; }

// One forced tick; returns what it printed.
std::string Tick(const char* keys = "", bool final = false) {
  InjectKeys(keys);
  run::lastTick = -2.0;
  testing::internal::CaptureStdout();
  ShowProgress(final, true);
  return testing::internal::GetCapturedStdout();
}

// The line of a tick without its time ("12.345 s:") and its end.
std::string Body(const std::string& printed) {
  const size_t start = printed.find(" s:");
  const size_t end = printed.find_last_not_of(" \r");
  if (start == std::string::npos || end == std::string::npos) return printed;
  return printed.substr(start + 3, end + 1 - start - 3);
}

// What the device page shows after "dev. d-p - ".
std::string Page(const std::string& printed) {
  const size_t start = printed.find("dev. ");
  const size_t end = printed.find_last_not_of(" \r");
  if (start == std::string::npos) return printed;
  return printed.substr(start, end + 1 - start);
}

class DeviceMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PrepareRun(2, 2, 100, nullptr), 0);
    AddRealDevices(2);
  }
  void TearDown() override {
    ForgetRealDevices();
    FinishRun();
  }
};

}  // namespace

// The line: all histories against N (the CPU's share and the devices'),
// the CPU's, the devices', the busy threads of the last launch and the use
// of the device threads' time; without CPU workers each device's use too.
TEST_F(DeviceMonitorTest, ProgressLineCountsTheCpuAndTheDevices) {
  SetCpuFinished(0, 10);
  SetCpuFinished(1, 20);
  SetStatus(0, 100, 120);
  SetStatus(1, 300, 310);
  // Device 0: 1 ms per thread; device 1: 0.5 ms, one thread 1 ms.
  SetThreads(0, 8, 3, 1000000, 1000000);
  SetThreads(1, 8, 8, 500000, 1000000);
  struct CASE {
    int32_t cpuWorkers;
    std::string body;
  };
  // Time use: (16 x 1 ms / 16 + (15 x 0.5 + 1) ms / 16) / (2 x 1 ms).
  const CASE cases[] = {
      {2, " 430/900 (47.78%), CPU - 30/100 (30.00%), CUDA - 400/800 (50.00%), threads 27/32, time 76.56%, 0.00%."},
      {0, " CUDA - 400/800 (50.00%), threads 27/32, time 76.56%, 0.00% (100.00%, 53.12%)."},
  };
  for (const CASE& c : cases) {
    ResetRunMonitor();
    run::nCpuTasks = c.cpuWorkers;
    EXPECT_EQ(Body(Tick()), c.body);
    EXPECT_EQ(run::nFinishedGpu, 400u);
    EXPECT_EQ(run::nFinishedOfDevice[1], 300u);
    EXPECT_EQ(run::nStartedOfDevice[0], 120u);
  }
  run::nCpuTasks = 2;
}

// "+" "-" "]" "[" walk the items: the progress line and three pages per
// device. Each tick takes its last key.
TEST_F(DeviceMonitorTest, SelectionKeysWalkTheDevicePages) {
  struct CASE {
    std::vector<const char*> keys;  // one tick each
    std::string shown;              // the start of the last tick's page, "" for the progress line
  };
  const CASE cases[] = {
      {{"+"}, "dev. 1-1 - "},
      {{"+", "+"}, "dev. 1-2 - "},
      {{"+", "+", "+", "+"}, "dev. 2-1 - "},
      {{"+", "+", "+", "+", "+", "+", "+"}, ""},  // past the last page: the progress line
      {{"-"}, "dev. 2-3 - "},                     // before the line: the last page
      {{"-", "-"}, "dev. 2-2 - "},
      {{"]"}, "dev. 1-1 - "},
      {{"]", "]"}, "dev. 2-1 - "},
      {{"]", "]", "]"}, ""},
      {{"["}, "dev. 2-1 - "},
      {{"[", "["}, "dev. 1-1 - "},
      {{"[", "[", "["}, ""},
      {{"+", "+", "]"}, "dev. 2-2 - "},  // the same page of the next device
      {{"+", "+", "]", "[", "["}, ""},
      {{"-", "]", "]"}, "dev. 1-3 - "},  // from the line, "]" keeps the page last shown
  };
  for (const CASE& c : cases) {
    ResetRunMonitor();
    std::string printed;
    for (const char* k : c.keys) printed = Tick(k);
    std::string label;
    for (const char* k : c.keys) label += k;
    if (c.shown.empty()) {
      EXPECT_EQ(printed.find("dev."), std::string::npos) << label << ": " << printed;
      EXPECT_NE(printed.find(" CUDA - "), std::string::npos) << label;
    } else {
      EXPECT_EQ(Page(printed).substr(0, c.shown.size()), c.shown) << label << ": " << printed;
    }
  }
}

// A selection key does not reach the Esc handling: an Esc stays pending.
TEST_F(DeviceMonitorTest, SelectionKeysLeaveAPendingEscape) {
  Tick("\x1b");
  const std::string printed = Tick("+");
  EXPECT_EQ(printed.find("cancelled"), std::string::npos);
  EXPECT_NE(Tick("Q").find("Terminating the simulation"), std::string::npos);
  EXPECT_TRUE(run::terminateRequested);
}

// The pages show the growth of the device's counters since the last tick.
TEST_F(DeviceMonitorTest, PagesShowTheLastSecondsFigures) {
  SetStatus(0, 100, 120, 12);
  CUDA_STATS c{};
  c.slot[0] = 2;   // launches
  c.slot[2] = 10;  // tasks reading, writing, neutral at launch start
  c.slot[3] = 4;
  c.slot[4] = 6;
  c.slot[5] = 50;       // full-block steps
  c.slot[6] = 1;        // block launches that ran dry
  c.slot[7] = 4000000;  // block cycles
  c.slot[8] = 100;      // steps
  c.slot[9] = 500;      // step widths
  c.slot[46] = 100;     // reads that found nothing
  c.slot[50] = 1000;    // stage runs
  c.slot[51] = 16000;   // stage cycles
  SetCounters(0, c);
  const std::string pages[] = {
      "dev. 1-1 - src = 100   rem = 300   tb = 1.00   tcy = 40.00   tcl = 1.00",
      "dev. 1-2 - nk = 2   brk = 25.000%   cyc = 25.000   nTh = 5.000   maxLoad = 50.000%   nw = 10.00%",
      "dev. 1-3 - nB = 12 (100.000%)   nThR = 5.000   nThW = 2.000   nThN = 3.000",
  };
  for (int page = 0; page < 3; ++page) {
    ResetRunMonitor();
    for (int i = 0; i <= page; ++i) Tick("+");  // the first tick reads the counters
    ResetRunMonitor();
    run::monitorItem = page + 1;
    run::monitorPage = page;
    EXPECT_EQ(Page(Tick()), pages[page]);
  }
  // Nothing new since the last tick: the interval is empty.
  EXPECT_EQ(Page(Tick()), "dev. 1-3 - nB = 12 (100.000%)   nThR = 0.000   nThW = 0.000   nThN = 0.000");
  // The histories of the interval, also when the run loop has stored its own
  // reading of the status record after a cycle.
  run::monitorItem = 1;
  run::monitorPage = 0;
  SetStatus(0, 130, 150, 12);
  run::nFinishedOfDevice[0] = 130;
  EXPECT_EQ(Page(Tick()).substr(0, 34), "dev. 1-1 - src = 30   rem = 270   ");
}

// The end of the run shows every page of every device, one line each, with
// the figures of the whole run in brackets.
TEST_F(DeviceMonitorTest, FinalCallShowsEveryPageOfEveryDevice) {
  SetStatus(0, 300, 400);
  SetStatus(1, 200, 200);
  Tick();
  // The run loop's last cycles: device 0 finishes its histories in flight.
  SetStatus(0, 400, 400);
  run::nFinishedOfDevice[0] = 400;
  const std::string printed = Tick("+", true);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = printed.find_first_of("\n\r", start)) != std::string::npos; start = end + 1)
    lines.push_back(Page(printed.substr(start, end - start)));
  ASSERT_EQ(lines.size(), 6u) << printed;
  // The histories since the last tick, of the share, all of them, then the rest.
  EXPECT_EQ(lines[0].substr(0, 49), "dev. 1-1 - src 100 / 400 = 100.00% (400) rem 0 (4");
  EXPECT_EQ(lines[3].substr(0, 49), "dev. 2-1 - src 0 / 400 = 50.00% (200) rem 200 (40");
  EXPECT_EQ(lines[4].substr(0, 20), "dev. 2-2 - nk 0 (0) ");
  EXPECT_EQ(lines[5].substr(0, 21), "dev. 2-3 - nB 0, 0.00");
  EXPECT_FALSE(run::statsOutput);
}

// "s" stops the rows of the statistics files and "f" resumes them, each with
// its message; "s" while stopped and both keys without files go on to Esc.
TEST_F(DeviceMonitorTest, StatisticsKeysStopAndResumeTheFileRows) {
  const std::string stopped = "\n Output of second-by-second CUDA device statistics to files has been stopped.\n";
  const std::string resumed = "\n Output of second-by-second CUDA device statistics to files has been resumed.\n";
  input::runOptions.stats_CUDA = 2;
  run::deviceStatsFile[0] = tmpfile();
  run::deviceStatsFile[1] = tmpfile();
  ResetRunMonitor();
  ASSERT_TRUE(run::statsOutput);
  struct STEP {
    const char* key;
    std::string message;  // printed before the line
    bool output;          // rows on after the tick
  };
  const STEP steps[] = {
      {"", "", true},       {"s", stopped, false}, {"S", "", false},  // a second "s" goes on to Esc: nothing
      {"f", resumed, true}, {"F", "", true},       {"x", "", true},
  };
  long rows = 0;
  for (const STEP& s : steps) {
    const std::string printed = Tick(s.key);
    const size_t end = printed.rfind('\n');
    EXPECT_EQ(end == std::string::npos ? "" : printed.substr(0, end + 1), s.message) << s.key;
    EXPECT_EQ(run::statsOutput, s.output) << s.key;
    rows += s.output ? 1 : 0;
  }
  for (int d = 0; d < 2; ++d) {
    fflush(run::deviceStatsFile[d]);
    long lines = 0;
    rewind(run::deviceStatsFile[d]);
    for (int ch; (ch = fgetc(run::deviceStatsFile[d])) != EOF;) lines += ch == '\n' ? 1 : 0;
    EXPECT_EQ(lines, rows) << "device " << d;
  }
  // Without statistics files (stats_CUDA 1) "s" is an ordinary key: it
  // cancels a pending Esc.
  input::runOptions.stats_CUDA = 1;
  Tick("\x1b");
  EXPECT_NE(Tick("s").find("The escape key has been cancelled."), std::string::npos);
}

// One device: "a file".
TEST(DeviceMonitorOneDevice, MessagesNameAFile) {
  ASSERT_EQ(PrepareRun(1, 1, 10, nullptr), 0);
  AddRealDevices(1);
  input::runOptions.stats_CUDA = 3;
  run::deviceStatsFile[0] = tmpfile();
  ResetRunMonitor();
  EXPECT_NE(Tick("s").find(" Output of second-by-second CUDA device statistics to a file has been stopped.\n"),
            std::string::npos);
  ForgetRealDevices();
  FinishRun();
}

// A row of the statistics file: 55 columns in the header's order and widths.
TEST(DeviceStatsRow, ColumnsFollowTheHeader) {
  double f[kDeviceFigures] = {};
  for (int i = 0; i < kDeviceFigures; ++i) f[i] = 0.001 * i;
  f[0] = 123;  // histories finished in the interval
  f[1] = 456;  // left of the share
  f[7] = 9;    // launches
  f[12] = 77;  // banked
  const std::string row = DeviceStatsRow(12.5, f);
  ASSERT_EQ(row.back(), '\n');
  EXPECT_EQ(row.size(), 10u + 5 * 11 + 49 * 9 + 1);
  std::vector<std::string> columns;
  for (size_t at = 0; at + 1 < row.size();) {
    const size_t width = columns.empty() ? 10 : columns.size() < 6 ? 11 : 9;
    columns.push_back(row.substr(at, width));
    at += width;
  }
  ASSERT_EQ(columns.size(), 55u);
  EXPECT_EQ(columns[0], "    12.500");
  EXPECT_EQ(columns[1], "        123");
  EXPECT_EQ(columns[2], "        456");
  EXPECT_EQ(columns[3], "      0.002");  // tb
  EXPECT_EQ(columns[6], "        9");    // nk
  EXPECT_EQ(columns[7], "   0.8000");    // brk, %
  EXPECT_EQ(columns[11], "   0.6000");   // nw: reads that found nothing, % of the stage runs
  EXPECT_EQ(columns[12], "   0.5000");   // tw: % of the cycles
  EXPECT_EQ(columns[13], "       77");   // nB
  EXPECT_EQ(columns[14], "     0.01");   // nThR
  EXPECT_EQ(columns[17], "   0.0190");   // nPsig: stage group of counter 10
  EXPECT_EQ(columns[34], "   0.0530");   // nRead: counter 44
  EXPECT_EQ(columns[35], "   0.0200");   // tPsig: counter 11
  EXPECT_EQ(columns[52], "   0.0540");   // tRead: counter 45
  EXPECT_EQ(columns[53], "   0.0170");   // tCheck1
  EXPECT_EQ(columns[54], "   0.0180");   // tCheck2
}

// The balance trigger's decisions: one CPU of 4 workers (share 100) and two
// devices of 8 tasks (shares 300 and 600), N = 1000.
TEST(BalanceTrigger, DecisionsOverTheParticipants) {
  struct CASE {
    const char* what;
    BALANCEMEMORY before;
    uint64_t cpu, dev0, dev1, started;
    BalanceDecision decision;
    uint64_t measuredAfter;
  };
  const CASE cases[] = {
      {"nothing finished since the last check", {50, 0}, 20, 20, 10, 100, kBalanceNothing, 0},
      {"first participant measured", {0, 0}, 4, 0, 0, 100, kBalanceStop, 1},
      {"no one measured yet", {0, 0}, 3, 7, 7, 100, kBalanceNothing, 0},
      {"the same participants as before", {10, 1}, 10, 7, 0, 100, kBalanceNothing, 1},
      {"a second participant measured", {10, 1}, 10, 8, 0, 100, kBalanceStop, 2},
      {"all measured at the last check", {20, 3}, 10, 8, 8, 100, kBalanceStop, 3},
      {"all measured, but every history started", {20, 3}, 10, 8, 8, 1000, kBalanceAllStarted, 3},
      {"the CPU finished its share", {250, 2}, 100, 200, 0, 900, kBalanceStop, 2},
      {"a device finished its share", {300, 2}, 10, 300, 3, 900, kBalanceStop, 2},
      {"the last device measured", {300, 2}, 10, 290, 8, 900, kBalanceStop, 3},
  };
  for (const CASE& c : cases) {
    BALANCEVIEW v;
    v.cpuTakesPart = true;
    v.cpuFinished = c.cpu;
    v.cpuTasks = 4;
    v.cpuShare = 100;
    v.nDevices = 2;
    v.deviceFinished[0] = c.dev0;
    v.deviceFinished[1] = c.dev1;
    v.deviceTasks[0] = v.deviceTasks[1] = 8;
    v.deviceShare[0] = 300;
    v.deviceShare[1] = 600;
    v.started = c.started;
    v.N = 1000;
    BALANCEMEMORY m = c.before;
    EXPECT_EQ(DecideBalance(v, m), c.decision) << c.what;
    EXPECT_EQ(m.measuredAtCheck, c.measuredAfter) << c.what;
    const uint64_t finished = c.cpu + c.dev0 + c.dev1;
    EXPECT_EQ(m.finishedAtCheck, finished > c.before.finishedAtCheck ? finished : c.before.finishedAtCheck) << c.what;
  }
}

// At a tick with a re-division due the monitor stops every CPU record and
// raises balanceStop; a pending re-division puts off the end asked for by
// Esc and Q, which then makes each real device's share its started
// histories and switches the balancing off.
TEST_F(DeviceMonitorTest, BalanceStopAndTheEndOfTheRunOnTheDevices) {
  input::runOptions.balance_CUDA = 1;
  SetStatus(0, 8, 16);
  SetStatus(1, 0, 16);
  Tick();
  EXPECT_EQ(run::balanceStop.load(), 1);  // device 0 measured
  for (int32_t r = 0; r < core::nThreads; ++r) EXPECT_EQ(core::tasks[r].stopRequest.load(), 1);
  Tick("\x1b");
  Tick("q");
  ASSERT_TRUE(run::terminateRequested);
  Tick();
  EXPECT_EQ(run::endSimulation.load(), 0);  // the re-division is pending
  run::balanceStop.store(0);
  SetStatus(0, 10, 17);
  Tick();
  EXPECT_EQ(run::endSimulation.load(), 1);
  EXPECT_EQ(run::deviceDivision.slot[0].share, 17u);
  EXPECT_EQ(run::deviceDivision.slot[1].share, 16u);
  EXPECT_EQ(input::runOptions.balance_CUDA, 0);
  EXPECT_EQ(input::runOptions.nParticles, 33);  // no CPU history had started
  EXPECT_EQ(Body(Tick()).substr(0, 40), " 10/33 (30.30%), CPU - 0/0 (0.00%), CUDA");
}

namespace {

constexpr int32_t kBins = 4;

void SetWorkerCounts(int32_t r, const std::vector<int64_t>& counts) {
  for (int32_t b = 0; b < kBins; ++b) core::tasks[r].pulseHeightHist[0][b] = counts[static_cast<size_t>(b)];
}

// Device d's count array of the tally.
void SetDeviceCounts(int32_t d, const std::vector<int64_t>& counts) {
  SelectDevice(d);
  DEVICETALLIES& t = device_host::deviceRun[d].problem.tallies;
  t = DEVICETALLIES{};
  auto* array = static_cast<int64_t*>(DeviceAllocate(kBins * sizeof(int64_t)));
  DeviceUpload(array, counts.data(), kBins * sizeof(int64_t));
  t.pulseHeightCounts.assign(1, array);
  t.pulseHeightEnergies.assign(1, nullptr);
}

// The N column of the pulse-height file.
std::vector<long long> FileCounts(const std::string& path) {
  std::vector<long long> counts;
  FILE* f = fopen(path.c_str(), "r");
  if (f == nullptr) return counts;
  char line[256];
  if (fgets(line, sizeof line, f) == nullptr) return counts;  // header
  while (fgets(line, sizeof line, f) != nullptr) {
    double e = 0.0;
    long long n = 0;
    if (sscanf(line, "%lf\t%lld", &e, &n) == 2) counts.push_back(n);
  }
  fclose(f);
  return counts;
}

}  // namespace

// A watched tally with devices: its file and its error add the scores of
// every real device to the CPU workers' (record 0, which the main thread
// keeps while it drives the devices, has none), and give what one worker
// holding all the scores gives.
TEST(DeviceMonitorTallies, FileAndErrorAddTheDevicesScores) {
  DefineWatchedPulseHeightTally(kBins, CONTROLTALLY{0, kAvgErr, 0.01});
  ASSERT_EQ(PrepareRun(3, 3, 1000, nullptr), 0);
  input::filesFolder = MakeScratchFolder("device-monitor-tallies") + "Files";
  const std::string path = input::filesFolder + "/PulseHeight.txt";
  run::firstCpuTask = 1;
  AddRealDevices(2);
  BuildControlEntries();
  ASSERT_TRUE(PrepareTallySnapshots());
  SetWorkerCounts(0, {1000, 1000, 1000, 1000});  // not a worker in this run
  SetWorkerCounts(1, {1, 2, 3, 0});
  SetWorkerCounts(2, {4, 0, 6, 0});
  SetDeviceCounts(0, {10, 20, 30, 0});
  SetDeviceCounts(1, {100, 200, 0, 0});
  CollectDeviceTallies(100.0, 1.0 / 1000.0);
  const double withDevices = run::controlEntries[0].error;
  EXPECT_EQ(FileCounts(path), (std::vector<long long>{115, 222, 39, 0}));

  // The same scores held by one worker, without devices.
  run::deviceDivision.nRealTasks = 0;
  SetWorkerCounts(1, {115, 222, 39, 0});
  SetWorkerCounts(2, {0, 0, 0, 0});
  CollectDeviceTallies(200.0, 1.0 / 1000.0);
  EXPECT_EQ(FileCounts(path), (std::vector<long long>{115, 222, 39, 0}));
  EXPECT_GT(withDevices, 0.0);
  EXPECT_DOUBLE_EQ(run::controlEntries[0].error, withDevices);
  EXPECT_EQ(CloseTallyFiles(), 0);

  ForgetRealDevices();
  FinishRun();
  ForgetPulseHeightTallies();
}
