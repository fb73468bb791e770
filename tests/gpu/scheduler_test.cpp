// The history scheduler on the host-simulated device, driven by a scripted
// stage table: each stage sends its task to the next state of a fixed
// history (source stages, a photon whose pair production banks two
// electrons, then the two electrons), while the read state runs the real
// bank reads and history starts. The expected schedules, counters and status
// records are worked out by hand for each banking mode.
#include "gpu/scheduler.h"
#include "gpu/device_rounds.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gpu/device_stages.h"
#include "gpu/host_device.h"
#include "tests/gpu/device_fixture.h"
#include "transport/bank.h"

namespace {
using namespace device_fixture;

constexpr int8_t kParticleEnds = -1;  // the stage ends the particle: the read follows at once

// One stage run as the scripted table saw it.
struct CALL {
  int32_t state;
  int32_t task;                         // number within the device
  const INTERACTIONSTATS* threadStats;  // tells the running thread
  uint8_t bankTheHigherEnergyElectron;
  bool statisticsOfTheThread;  // the task scores into the running thread's records
};

struct SCRIPTEDSTAGES {
  int8_t next[kTaskStates];  // next state after each stage, or kParticleEnds
  int8_t bank[kTaskStates];  // electrons banked by the stage of a source particle
  int32_t firstTask;
  std::vector<CALL>* log;

  int32_t Run(int32_t state, DEVICETASK& task, STAGECONTEXT& c) const {
    log->push_back(CALL{state, task.control.taskNo - firstTask, task.control.thread->stats,
                        c.bankTheHigherEnergyElectron, task.t.stats == task.control.thread->stats});
    // The read state and the bank are the device's own (device_stages.h).
    if (state == kStateReadBanked) return ReadBankedParticle(task, c);
    TASKSTATE& t = task.t;
    if (state == 14) {  // SourceEnergy: the source particle is complete
      t.kind = kPhoton;
      t.org = kOriginSource;
      t.E = 1e6;
      t.nBanked = 0;
    }
    if (state == 7) task.control.thread->electronStageCounts[0] += 1;  // the electron stages count themselves
    if (state == 8) task.control.thread->electronStageCounts[1] += 1;
    if (t.org == kOriginSource) {
      for (int8_t n = 0; n < bank[state]; ++n) {
        if (PushParticle(t, 1e5, kElectron, kOriginPairElectron, VECTOR{0.0, 0.0, 1e5}, 1.0, 0) != kBankRoomAvailable) {
          return -1;
        }
      }
      if (BankStagedParticles(task, c) != kStageGoesOn) return -1;
    }
    if (next[state] == kParticleEnds) {
      task.control.nextState = kStateReadBanked;
      return ReadBankedParticle(task, c);
    }
    task.control.nextState = next[state];
    return 0;
  }
};

// The history every task runs: SourcePosition, SourceDirection,
// HistoryStart, SourceEnergy, Sigma_phot, Distance_phot,
// SampleCollisionType_phot, PairProduction (two electrons banked, the photon
// ends), then per electron Sigma_el and Distance_el (the electron ends).
SCRIPTEDSTAGES PairHistory(std::vector<CALL>* log) {
  SCRIPTEDSTAGES s{};
  for (int32_t i = 0; i < kTaskStates; ++i) s.next[i] = kParticleEnds;
  s.next[25] = 26;
  s.next[26] = 13;
  s.next[13] = 14;
  s.next[14] = 0;
  s.next[0] = 2;
  s.next[2] = 3;
  s.next[3] = 15;
  s.bank[15] = 2;
  s.next[7] = 8;
  s.log = log;
  return s;
}

// The stages of one history of PairHistory, step by step.
const std::vector<int32_t> kHistorySteps = {25, 26, 13, 14, 0, 2, 3, 15, 7, 8, 7, 8};

// One step as the log shows it: the state and the tasks, thread by thread.
struct STEP {
  int32_t state;
  std::vector<int32_t> tasks;
  bool operator==(const STEP&) const = default;
};

// The log cut into steps (a step is a run of calls of one state by threads
// in ascending order); checks that thread t of the block ran the step's t-th
// task and that the task scored into that thread's records.
std::vector<STEP> Steps(const std::vector<CALL>& log, const INTERACTIONSTATS* firstThreadStats, int32_t blockSize = 2) {
  std::vector<STEP> steps;
  int64_t lastThread = -1;
  for (const CALL& c : log) {
    EXPECT_TRUE(c.statisticsOfTheThread);
    const int64_t thread = (c.threadStats - firstThreadStats) % blockSize;
    if (steps.empty() || thread <= lastThread || steps.back().state != c.state) steps.push_back(STEP{c.state, {}});
    EXPECT_EQ(thread, static_cast<int64_t>(steps.back().tasks.size()));
    steps.back().tasks.push_back(c.task);
    lastThread = thread;
  }
  return steps;
}

std::vector<STEP> Repeat(const std::vector<int32_t>& states, const std::vector<int32_t>& tasks) {
  std::vector<STEP> steps;
  for (int32_t s : states) steps.push_back(STEP{s, tasks});
  return steps;
}

struct DEVICESHAPE {
  int32_t heapMode;
  int32_t nTasks = 2;
  int32_t nThreads = 2;
  int32_t blockSize = 2;
  int32_t avgBanked = 2;
  double maxBankedRatio = 1.05;
  unsigned long long lastParticle = 2;
  int32_t margin = 0;
  double bankModeThr = 0.9;
  unsigned long long nGPUcycles = ~0ull;  // every cycle there is: the launch runs until the block runs dry
  uint64_t firstHistory = 0;              // number of the device's first history (the CPU's come first)
};

class Scheduler : public testing::Test {
 protected:
  void SetUp() override {
    SimulateDevices(1);
    SelectDevice(0);
  }
  void TearDown() override { SimulateDevices(0); }

  // The device's tasks numbered from 0, one stream each (stream j owned by task j).
  void SetUpDevice(const DEVICESHAPE& d) {
    shape = d;
    run = std::make_unique<TASKRUN>(problem, d.nTasks);
    for (int32_t j = 0; j < d.nTasks; ++j) {
      run->streams[static_cast<size_t>(j)].task = j;
      run->streams[static_cast<size_t>(j)].nextParticle = d.firstHistory + static_cast<uint64_t>(j);
    }
    DEVICETASKSETUP& s = run->setup;
    s.heapMode = d.heapMode;
    s.nTasks = d.nTasks;
    s.nThreads = d.nThreads;
    s.blockSize = d.blockSize;
    s.avgBanked = d.avgBanked;
    s.maxBankedRatio = d.maxBankedRatio;
    s.bankCapacity = static_cast<int64_t>(d.nTasks) * d.avgBanked + (d.heapMode == kHeapRing ? 2 * d.nThreads : 0);
    s.bankModeThr = d.bankModeThr;
    s.margin = d.margin;
    s.share = d.lastParticle;
    s.lastParticle = d.lastParticle;
    s.nGPUcycles = d.nGPUcycles;
    run->Initialise();
    firstThreadStats = Download(run->data.threads, 1)[0].stats;
  }

  // A launch as the run makes it: the host clears the launch's largest bank first.
  void Launch(const SCRIPTEDSTAGES& stages, bool endSimulation, int32_t blocks = -1) {
    const int32_t n = blocks > 0 ? blocks : shape.nThreads / shape.blockSize;
    ClearKernelCallMaximumAt(run->data.status, shape.heapMode);
    ASSERT_EQ(LaunchScheduler(stages, endSimulation, n, shape.blockSize), kDeviceSuccess);
  }

  CUDA_STATS Stats() const { return Download(run->data.cudaStats, 1)[0]; }
  DEVICESTATUS Status() const { return Download(static_cast<const DEVICESTATUS*>(run->data.status), 1)[0]; }
  DEVICESTATUSRING RingStatus() const { return Download(static_cast<const DEVICESTATUSRING*>(run->data.status), 1)[0]; }
  std::vector<CThread2> Threads() const { return Download(run->data.threads, shape.nThreads); }
  std::vector<int32_t> Owners() const { return Download(run->data.bank.taskBanked, run->setup.bankCapacity); }
  uint32_t ActiveTasks() const {
    uint32_t n = 0;
    for (uint32_t a : Download(run->data.nActTasks, run->data.nBlocks)) n += a;
    return n;
  }

  PROBLEM problem;
  DEVICESHAPE shape{};
  std::unique_ptr<TASKRUN> run;
  const INTERACTIONSTATS* firstThreadStats = nullptr;
  std::vector<CALL> log;
};

}  // namespace

TEST(SchedulerChoice, TheFirstListThatFillsTheBlockElseTheLongestEarliestInTheRow) {
  TASKGLOBALS g{};
  SetSchedulingTables(g);
  struct CASE {
    std::vector<std::pair<int32_t, uint32_t>> lists;  // state, length
    int32_t row;
    uint32_t blockSize;
    int32_t state;  // expected
    uint32_t width;
  };
  const CASE cases[] = {
      {{}, 0, 4, -1, 0},                             // every list empty
      {{{25, 4}}, 0, 4, 25, 4},                      // exactly a block: taken whole
      {{{26, 3}, {0, 3}}, 0, 4, 0, 3},               // equal lengths: the earlier in the priority order
      {{{21, 2}, {13, 5}}, 0, 4, 13, 4},             // a full block before a longer priority
      {{{21, 2}, {13, 3}}, 0, 4, 13, 3},             // else the longest
      {{{27, 9}, {5, 1}}, 1, 4, 5, 1},               // row 1 leaves out the read state
      {{{27, 9}, {5, 1}}, 0, 4, 27, 4},              // row 0 runs it
      {{{7, 1024}, {21, 1024}}, 0, 1024, 21, 1024},  // a whole block of the largest size
  };
  for (const CASE& c : cases) {
    uint32_t lengths[kTaskStates] = {};
    for (const auto& [state, length] : c.lists) lengths[state] = length;
    int32_t state = -1;
    EXPECT_EQ(ChooseState(lengths, g.set[c.row], g.nS[c.row], c.blockSize, &state), c.width);
    if (c.width > 0) {
      EXPECT_EQ(state, c.state);
    }
  }
}

TEST(SchedulerChoice, TheRingRowFollowsTheFillTheSourceAndTheReadMargin) {
  struct CASE {
    double bankModeThr;
    RINGVIEW v;  // read, write, particles handed out, limit, margin, waiting to read, active
    int32_t row;
    uint8_t higher;
  };
  const CASE cases[] = {
      {0.5, {0, 6, 3, 10, 0, 0, 2}, 0, 1},     // half of the 12 slots wait: every state, the fewer particles
      {0.9, {2, 10, 3, 10, 0, 0, 2}, 0, 1},    // within 2 x 2 threads of full
      {0.9, {4, 4, 10, 10, 0, 1, 2}, 1, 0},    // source exhausted, nothing to read: no read state
      {0.9, {4, 5, 10, 10, 0, 1, 2}, 1, 0},    // readable, but few wait and some tasks do not read
      {0.9, {0, 5, 10, 10, 0, 1, 2}, 0, 0},    // enough wait to be read
      {0.9, {0, 1, 3, 10, 0, 2, 2}, 0, 0},     // every task waits to read: read
      {0.9, {2, 3, 10, 10, 2, 0, 2}, 1, 0},    // the one waiting particle lies within the read margin
      {0.9, {0, 1, 10, 10, 2, 0, 2}, 1, 0},    // the write position has not passed the margin
      {0.9, {0, 1, 10, 10, -3, 0, 0}, 0, 0},   // a negative margin is no margin
      {0.9, {0, 0, 0, 10, 0, 2, 2, 1}, 1, 0},  // the end of the simulation: no source left to start from
  };
  for (const CASE& c : cases) {
    TASKGLOBALS g{};
    g.maxBanked_tot = 12;
    g.nThreads = 2;
    g.bankModeThr_CUDA = c.bankModeThr;
    g.readThreshold = 4;
    uint8_t higher = 7;
    EXPECT_EQ(ChooseRingRow(g, c.v, &higher), c.row) << c.v.nextReadPos << " " << c.v.nextWritePos;
    EXPECT_EQ(higher, c.higher);
  }
}

TEST(SchedulerStatistics, TheRunningThreadsRecordsTakeTheTasksStatisticsAtTheSameCell) {
  INTERACTIONSTATS oldRecords[4] = {}, threadRecords[4] = {};
  CThread2 perCell{};
  perCell.stats = &threadRecords[0];
  perCell.cellStats = &threadRecords[1];  // three cells
  CThread2 overallOnly{};
  overallOnly.stats = &threadRecords[0];
  struct CASE {
    const CThread2* thread;
    INTERACTIONSTATS* cellStats;
    INTERACTIONSTATS* inUse;
    const INTERACTIONSTATS* expectedCells;
    const INTERACTIONSTATS* expectedInUse;
  };
  const CASE cases[] = {
      {&perCell, &oldRecords[1], &oldRecords[3], &threadRecords[1], &threadRecords[3]},  // cell 2 stays cell 2
      {&perCell, &oldRecords[1], &oldRecords[0], &threadRecords[1], &threadRecords[0]},  // the overall record
      {&perCell, &oldRecords[1], nullptr, &oldRecords[1], nullptr},                      // nothing in use
      {&overallOnly, &oldRecords[0], &oldRecords[0], &threadRecords[0], &threadRecords[0]},
  };
  for (const CASE& c : cases) {
    TASKSTATE t{};
    t.stats = &oldRecords[0];
    t.cellStats = c.cellStats;
    t.curStats = c.inUse;
    PointStatistics(t, *c.thread, 3);
    EXPECT_EQ(t.stats, &threadRecords[0]);
    EXPECT_EQ(t.cellStats, c.expectedCells);
    EXPECT_EQ(t.curStats, c.expectedInUse);
  }
}

// Banking modes 0 and 1 run the same first launch: two tasks of one stream,
// one history each, in lockstep on the two threads of one block.
TEST_F(Scheduler, PerTaskStacksRunOneHistoryPerTaskThreadByThread) {
  for (int32_t mode : {0, 1}) {
    log.clear();
    SetUpDevice(DEVICESHAPE{mode});
    Launch(PairHistory(&log), false);
    EXPECT_EQ(Steps(log, firstThreadStats), Repeat(kHistorySteps, {0, 1})) << mode;
    const CUDA_STATS s = Stats();
    EXPECT_EQ(s.slot[0], 1u);
    EXPECT_EQ(s.slot[4], 2u);  // both tasks in a neutral state (SourcePosition) at the start
    EXPECT_EQ(s.slot[5], 12u);
    EXPECT_EQ(s.slot[6], 0u);
    EXPECT_EQ(s.slot[8], 12u);
    EXPECT_EQ(s.slot[9], 24u);
    EXPECT_EQ(s.slot[10], 2u);  // Sigma_phot
    EXPECT_EQ(s.slot[12], 2u);
    EXPECT_EQ(s.slot[14], 2u);
    EXPECT_EQ(s.slot[22], 2u);  // PairProduction
    EXPECT_EQ(s.slot[24], 4u);  // Sigma_el, counted by the stage itself
    EXPECT_EQ(s.slot[26], 4u);
    EXPECT_EQ(s.slot[42], 8u);  // the four source stages
    EXPECT_EQ(s.slot[44], 0u);  // every read ran inside the stage that ended its particle
    EXPECT_EQ(s.slot[50], 24u);
    const DEVICESTATUS st = Status();
    EXPECT_EQ(st.nStartedHistories, 2u);
    EXPECT_EQ(st.nFinishedHistories, 2u);
    EXPECT_EQ(st.nActStreams, 0u);
    EXPECT_EQ(st.maxBanked_device, 2);
    EXPECT_EQ(st.maxBanked_kernelCall, 2);
    EXPECT_EQ(st.nThrRead, 2);  // both tasks left in the read state
    EXPECT_EQ(st.nThrNeutral, 0);
    EXPECT_EQ(st.nThrWrite, 0);
    EXPECT_EQ(st.error, 0);
    EXPECT_EQ(ActiveTasks(), 0u);
    // Task 0 owned slots too (its owner mark is 1), and every slot is free again.
    EXPECT_EQ(Owners(), std::vector<int32_t>(4, 0));
    const std::vector<CThread2> threads = Threads();
    EXPECT_EQ(threads[0].nFinishedHistories, 1u);
    EXPECT_EQ(threads[0].maxBanked, 2);
    EXPECT_EQ(threads[0].stepWidth, 2);
    EXPECT_EQ(threads[1].stepWidth, 0);  // written by thread 0 of the block only
    EXPECT_GE(threads[0].exitClock, threads[0].entryClock);
    const std::vector<STREAMCONTROL> streams = Download(run->data.streamControl, 2);
    EXPECT_EQ(streams[0].task, kStreamFinished);
    EXPECT_EQ(streams[0].nextParticle, 2u);
    ResetDevice();
  }
}

TEST_F(Scheduler, BankingModeZeroNeverRunsTheReadStateAgain) {
  SetUpDevice(DEVICESHAPE{0});
  Launch(PairHistory(&log), false);
  log.clear();
  Launch(PairHistory(&log), false);
  EXPECT_TRUE(log.empty());
  const CUDA_STATS s = Stats();
  EXPECT_EQ(s.slot[0], 2u);
  EXPECT_EQ(s.slot[6], 1u);  // the second launch found no runnable task
  EXPECT_EQ(Status().nActStreams, 0u);
}

// A task whose streams are finished leaves; banking mode 1 does not list it
// again, and its streams have left the device's count once.
TEST_F(Scheduler, BankingModeOneDoesNotListATaskWithoutStreamsAgain) {
  SetUpDevice(DEVICESHAPE{1});
  Launch(PairHistory(&log), false);
  for (int launch = 2; launch <= 4; ++launch) {
    log.clear();
    Launch(PairHistory(&log), false);
    EXPECT_TRUE(log.empty()) << launch;
    EXPECT_EQ(Status().nActStreams, 0u) << launch;
    EXPECT_EQ(Status().maxBanked_kernelCall, 0) << launch;  // nothing was banked in this launch
    EXPECT_EQ(Status().maxBanked_device, 2) << launch;
  }
  CUDA_STATS s = Stats();
  EXPECT_EQ(s.slot[44], 0u);
  EXPECT_EQ(s.slot[6], 3u);  // the later launches found no runnable task
  EXPECT_EQ(Status().nFinishedHistories, 2u);
  log.clear();
  Launch(PairHistory(&log), true);
  EXPECT_TRUE(log.empty());
  s = Stats();
  EXPECT_EQ(s.slot[6], 4u);
  EXPECT_EQ(Status().nThrRead, 2);
}

// Banking mode 1 with a time slice of one step: six of eight tasks have run
// their only history and left while two still have one to run. The six are
// not listed again, so they cannot take each launch's only step (they did,
// launch after launch, when every task waiting to read was listed again:
// their list was the longest), and the device finishes its ten histories.
TEST_F(Scheduler, BankingModeOneWithOneStepSlicesFinishesTheTasksThatHaveHistoriesLeft) {
  DEVICESHAPE d{1};
  d.nTasks = 8;
  d.nThreads = 8;
  d.blockSize = 8;
  d.avgBanked = 4;
  d.lastParticle = 10;  // streams 0 and 1 run two histories (0, 8 and 1, 9), the others one
  d.nGPUcycles = 1;
  SetUpDevice(d);
  int launches = 0;
  while (Status().nActStreams > 0 && launches < 200) {
    Launch(PairHistory(&log), false);
    ++launches;
  }
  EXPECT_EQ(Status().nActStreams, 0u);
  EXPECT_EQ(Status().nFinishedHistories, 10u);
  EXPECT_LE(launches, 2 * static_cast<int>(kHistorySteps.size()) + 4);
}

// Banking modes 0 and 1 hold the device's streams to the end of its history
// numbers, which follow the CPU's: a device whose histories are 1000 to 1004
// runs all five of them, its two streams 1000, 1002, 1004 and 1001, 1003.
// (Its limit given as the count 5 would have let each task run only the
// history InitTaskData started.)
TEST_F(Scheduler, BankingModesZeroAndOneRunTheHistoriesBelowTheEndOfTheDevicesNumbers) {
  for (int32_t mode : {0, 1}) {
    DEVICESHAPE d{mode};
    d.avgBanked = 4;
    d.firstHistory = 1000;
    d.lastParticle = 1005;
    SetUpDevice(d);
    Launch(PairHistory(&log), false);
    EXPECT_EQ(Status().nFinishedHistories, 5u) << mode;
    EXPECT_EQ(Status().nActStreams, 0u) << mode;
    const std::vector<STREAMCONTROL> streams = Download(run->data.streamControl, 2);
    EXPECT_EQ(streams[0].nextParticle, 1006u) << mode;
    EXPECT_EQ(streams[1].nextParticle, 1005u) << mode;
    ResetDevice();
  }
}

// A device with more tasks than histories: the task without a history is
// listed by banking mode 1's first launch, runs the read once, counts no
// finished history and releases its stream.
TEST_F(Scheduler, ATaskWithoutAHistoryFinishesNone) {
  DEVICESHAPE d{1};
  d.lastParticle = 1;
  SetUpDevice(d);
  Launch(PairHistory(&log), false);
  std::vector<STEP> expected = Repeat(kHistorySteps, {0});
  expected.push_back(STEP{kStateReadBanked, {1}});
  EXPECT_EQ(Steps(log, firstThreadStats), expected);
  const DEVICESTATUS st = Status();
  EXPECT_EQ(st.nStartedHistories, 1u);
  EXPECT_EQ(st.nFinishedHistories, 1u);
  EXPECT_EQ(st.nActStreams, 0u);
  EXPECT_EQ(ActiveTasks(), 0u);
}

// The ring: the first step reads (nothing) and hands out two of the three
// histories; particles banked by one task are read by whichever task reads
// next; the task that finds the source exhausted waits in the read state,
// which the block no longer runs once nothing is left to read.
TEST_F(Scheduler, TheRingHandsOutTheDevicesShareAndTasksWaitWhenItIsExhausted) {
  DEVICESHAPE d{kHeapRing};
  d.avgBanked = 4;  // 2 x 4 + 2 x 2 threads = 12 slots
  d.lastParticle = 3;
  SetUpDevice(d);
  Launch(PairHistory(&log), false);
  std::vector<STEP> expected{{kStateReadBanked, {0, 1}}};
  for (const STEP& s : Repeat(kHistorySteps, {0, 1})) expected.push_back(s);
  for (const STEP& s : Repeat(kHistorySteps, {0})) expected.push_back(s);
  EXPECT_EQ(Steps(log, firstThreadStats), expected);
  const DEVICESTATUSRING st = RingStatus();
  EXPECT_EQ(st.nParticles, 3u);
  EXPECT_EQ(st.nStartedHistories, 3u);
  EXPECT_EQ(st.nFinishedHistories, 0u);  // reported in banking modes 0 and 1 only
  EXPECT_EQ(st.nextWritePos, 6u);
  EXPECT_EQ(st.nextReadPos, 6u);
  EXPECT_EQ(st.nReadFailure, 0u);
  EXPECT_EQ(st.nWriteFailure, 0u);
  EXPECT_EQ(st.nThrRead, 2);
  EXPECT_EQ(st.nThrNeutral + st.nThrWrite, 0);
  EXPECT_EQ(Owners(), std::vector<int32_t>(12, 0));
  const CUDA_STATS s = Stats();
  EXPECT_EQ(s.slot[5], 13u);
  EXPECT_EQ(s.slot[6], 1u);
  EXPECT_EQ(s.slot[8], 25u);
  EXPECT_EQ(s.slot[9], 38u);
  EXPECT_EQ(s.slot[42], 12u);
  EXPECT_EQ(s.slot[44], 2u);
  EXPECT_EQ(s.slot[46], 0u);
  const std::vector<CThread2> threads = Threads();
  // A history of the ring ends with its source track (the photon ended in
  // PairProduction); its electrons may be followed by any task.
  EXPECT_EQ(threads[0].nFinishedSourceTracks, 2u);
  EXPECT_EQ(threads[1].nFinishedSourceTracks, 1u);
  EXPECT_EQ(st.nFinishedSourceTracks, 3u);
  EXPECT_EQ(threads[0].stepWidth, 0);  // the block ran out of runnable tasks
  EXPECT_EQ(ActiveTasks(), 2u);        // both wait in the read state
  // Without the higher-energy flag in the ring's quiet steps.
  for (const CALL& c : log) EXPECT_EQ(c.bankTheHigherEnergyElectron, 0);
}

// Tasks waiting in the read state take what the ring holds at a later
// launch (here a particle the host placed there); the others go on waiting.
TEST_F(Scheduler, TasksWaitingInTheRingReadWhatBecomesReadable) {
  DEVICESHAPE d{kHeapRing};
  d.avgBanked = 4;
  d.lastParticle = 3;
  SetUpDevice(d);
  Launch(PairHistory(&log), false);
  const double E = 2e5;
  const uint8_t kind = kElectron;
  const int32_t owner = 1;
  DeviceUpload(run->data.bank.en + 6, &E, sizeof E);
  DeviceUpload(run->data.bank.p + 6, &kind, sizeof kind);
  DeviceUpload(run->data.bank.taskBanked + 6, &owner, sizeof owner);
  DEVICESTATUSRING st = RingStatus();
  st.nextWritePos = 7;
  DeviceUpload(run->data.status, &st, sizeof st);
  log.clear();
  Launch(PairHistory(&log), false);
  // Task 1 waited longest (it heads the list) and reads the electron.
  EXPECT_EQ(Steps(log, firstThreadStats), (std::vector<STEP>{{kStateReadBanked, {1, 0}}, {7, {1}}, {8, {1}}}));
  st = RingStatus();
  EXPECT_EQ(st.nextReadPos, 7u);
  EXPECT_EQ(Owners()[6], 0);
  EXPECT_EQ(ActiveTasks(), 2u);
  EXPECT_EQ(Stats().slot[46], 1u);  // task 0 read nothing
}

// At the end of the simulation no history starts: tasks waiting in the read
// state with nothing to read are not run (not even until the time slice ends).
TEST_F(Scheduler, AtTheEndOfTheSimulationTheRingsWaitingTasksAreNotRun) {
  DEVICESHAPE d{kHeapRing};
  d.avgBanked = 4;
  d.lastParticle = 3;
  d.nGPUcycles = 50000000;
  SetUpDevice(d);
  Launch(PairHistory(&log), true);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(Stats().slot[6], 1u);
  EXPECT_EQ(RingStatus().nParticles, 0u);
}

// With the end of the simulation a task finishes the particles it holds and
// leaves instead of starting another history; its streams are released.
TEST_F(Scheduler, AtTheEndOfTheSimulationPerTaskStacksFinishTheirHistoriesAndLeave) {
  for (int32_t mode : {0, 1}) {
    log.clear();
    DEVICESHAPE d{mode};
    d.lastParticle = 100;
    SetUpDevice(d);
    Launch(PairHistory(&log), true);
    EXPECT_EQ(Steps(log, firstThreadStats), Repeat(kHistorySteps, {0, 1})) << mode;
    const DEVICESTATUS st = Status();
    EXPECT_EQ(st.nFinishedHistories, 2u);
    EXPECT_EQ(st.nStartedHistories, 2u);
    EXPECT_EQ(st.nActStreams, 0u);
    EXPECT_EQ(ActiveTasks(), 0u);
    ResetDevice();
  }
}

TEST_F(Scheduler, ARingFilledBeyondTheThresholdRunsEveryStateAndBanksTheHigherElectron) {
  DEVICESHAPE d{kHeapRing};
  d.avgBanked = 4;
  d.lastParticle = 3;
  d.bankModeThr = 0.2;  // 2.4 of 12 slots: the pair of one history fills it
  d.margin = 100;       // nothing becomes readable: the tasks poll the ring until the time slice ends
  d.nGPUcycles = 2000000;
  SetUpDevice(d);
  Launch(PairHistory(&log), false);
  // Once four electrons wait, every step banks the higher-energy electron.
  int32_t flagged = 0;
  for (const CALL& c : log) flagged += c.bankTheHigherEnergyElectron;
  EXPECT_GT(flagged, 0);
  EXPECT_EQ(log.back().bankTheHigherEnergyElectron, 1);
}

// A time slice of no cycles ends every launch after one step; the lists
// carry the tasks from launch to launch.
TEST_F(Scheduler, ATimeSliceEndsTheLaunchAfterTheStepAndTheListsCarryOver) {
  DEVICESHAPE d{0};
  d.nGPUcycles = 0;
  SetUpDevice(d);
  int launches = 0;
  while (launches < 20) {
    Launch(PairHistory(&log), false);
    ++launches;
    if (ActiveTasks() == 0) break;
  }
  EXPECT_EQ(launches, 12);
  EXPECT_EQ(Steps(log, firstThreadStats), Repeat(kHistorySteps, {0, 1}));
  const CUDA_STATS s = Stats();
  EXPECT_EQ(s.slot[0], 12u);
  EXPECT_EQ(s.slot[8], 12u);
  EXPECT_EQ(s.slot[6], 0u);
  EXPECT_EQ(Status().nFinishedHistories, 2u);
}

// Each block runs its own tasks from its own lists: block 1 owns tasks 2 and 3.
TEST_F(Scheduler, EachBlockRunsTheTasksItOwns) {
  DEVICESHAPE d{0};
  d.nTasks = 4;
  d.nThreads = 4;
  d.lastParticle = 4;
  SetUpDevice(d);
  Launch(PairHistory(&log), false);
  std::vector<STEP> expected = Repeat(kHistorySteps, {0, 1});
  for (const STEP& s : Repeat(kHistorySteps, {2, 3})) expected.push_back(s);
  EXPECT_EQ(Steps(log, firstThreadStats), expected);
  const CUDA_STATS s = Stats();
  EXPECT_EQ(s.slot[8], 24u);
  EXPECT_EQ(s.slot[5], 24u);
  const DEVICESTATUS st = Status();
  EXPECT_EQ(st.nFinishedHistories, 4u);
  EXPECT_EQ(st.nActStreams, 0u);
  EXPECT_EQ(Owners(), std::vector<int32_t>(8, 0));
  const std::vector<CThread2> threads = Threads();
  EXPECT_EQ(threads[2].stepWidth, 2);  // thread 0 of block 1
  EXPECT_EQ(threads[3].nFinishedHistories, 1u);
}

TEST_F(Scheduler, BlocksBeyondTheDevicesGridDoNothing) {
  SetUpDevice(DEVICESHAPE{0});
  Launch(PairHistory(&log), false, 3);
  EXPECT_EQ(Steps(log, firstThreadStats), Repeat(kHistorySteps, {0, 1}));
  EXPECT_EQ(Stats().slot[0], 1u);
}

// Each fatal error stops the block after the step, prints one message (for
// the first failing task) and leaves a failing task in the status record as
// its number + 1, so that task 0 failing alone is seen too.
TEST_F(Scheduler, FatalErrorsStopTheBlockAndRecordTheTask) {
  struct CASE {
    const char* what;
    int32_t heapMode;
    int32_t nTasks;  // as many threads, one block
    int32_t avgBanked;
    double maxBankedRatio;
    int32_t margin;
    int8_t badNext;  // next state that Distance_phot writes, 0 for the usual one
    const char* message;
    int32_t error;
    unsigned long long steps;
  };
  const CASE cases[] = {
      {"bank overflow", 0, 1, 1, 1.0, 0, 0, "\nFatal error in task No. 1: number of banked particles exceeds 1.\n", 1,
       8},
      {"no free slot", 0, 2, 1, 2.0, 0, 0, "\nFatal error in task No. 2: no free slot for banking a new particle.\n", 2,
       8},
      {"ring overflow", kHeapRing, 2, 0, 1.0, 100, 0,
       "\nFatal error in CUDA device No. 1 when storing a banked particle: number of banked particles exceeds the "
       "maximum allowed number.\n",
       2, 9},
      {"state out of range", 0, 2, 2, 1.0, 0, 40, "\nFatal error in task No. 1: invalid task state 40.\n", 2, 6},
  };
  for (const CASE& c : cases) {
    DEVICESHAPE d{c.heapMode};
    d.nTasks = c.nTasks;
    d.nThreads = c.nTasks;
    d.blockSize = c.nTasks;
    d.avgBanked = c.avgBanked;
    d.maxBankedRatio = c.maxBankedRatio;
    d.margin = c.margin;
    SetUpDevice(d);
    SCRIPTEDSTAGES stages = PairHistory(&log);
    if (c.badNext != 0) stages.next[2] = c.badNext;
    testing::internal::CaptureStdout();
    Launch(stages, false);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message) << c.what;
    const DEVICESTATUS st = Status();
    const int32_t error = c.heapMode == kHeapRing ? RingStatus().error : st.error;
    EXPECT_EQ(error, c.error) << c.what;
    EXPECT_EQ(Stats().slot[8], c.steps) << c.what;
    ResetDevice();
  }
}

// Lists that name more tasks than the block owns (device memory overwritten
// from outside) would be written past their end: the task is refused with a
// fatal error instead.
TEST_F(Scheduler, AListThatWouldOverflowIsAFatalError) {
  SetUpDevice(DEVICESHAPE{0});
  // Task 0 in two lists: SourceEnergy (with task 1) and Sigma_phot.
  const uint16_t energy[2] = {0, 1};
  const uint16_t sigma[1] = {0};
  DeviceUpload(run->data.taskIndex + 14 * 2, energy, sizeof energy);
  DeviceUpload(run->data.taskIndex + 0 * 2, sigma, sizeof sigma);
  std::vector<uint32_t> lengths(kTaskStates, 0);
  lengths[14] = 2;
  lengths[0] = 1;
  DeviceUpload(run->data.nTasksPerState, lengths.data(), lengths.size() * sizeof(uint32_t));
  const uint32_t active = 3;
  DeviceUpload(run->data.nActTasks, &active, sizeof active);
  testing::internal::CaptureStdout();
  Launch(PairHistory(&log), false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nFatal error in task No. 2: the list of task state 0 is full.\n");
  EXPECT_EQ(Status().error, 2);
  const std::vector<uint32_t> after = Download(run->data.nTasksPerState, kTaskStates);
  EXPECT_EQ(after[0], 2u);
  EXPECT_EQ(Stats().slot[8], 1u);
}
