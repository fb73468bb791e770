// The run loop with stand-in steps: every history runs once, streams are
// dealt out afresh when a worker runs dry, a worker's fatal error ends the
// run with exit code 1, and Esc then Q or met error targets end it early.
#include "driver/run/run_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "core/stream_control.h"
#include "core/task.h"
#include "driver/run/run_monitor.h"
#include "driver/run/work_division.h"
#include "platform/keys.h"
#include "tests/run/run_fixture.h"
#include "transport/bank.h"

namespace {

constexpr int kMaxWorkers = 4;
constexpr int64_t kEndless = 100000000;  // histories that only an early end can cut short

struct SEEN {
  int32_t stream;
  uint64_t particle;
};
std::vector<SEEN> seen[kMaxWorkers];
std::atomic<int> fatalWorker{-1};  // this worker sets its fatal-error flag at its 5th step
const char* keysAtStep[3] = {};    // keys worker 0 types at its 1000th, 2000th, 3000th step
int64_t workerZeroSpin = 0;        // extra work per step of worker 0

// Worker 0 forces a monitor tick every 1000 steps (it runs on the main
// thread, as the monitor does), so that the tests need not wait a second:
// the step's own tick calls the monitor, which then reads the clock.
void ForceTicks(CTask& workerZero, int64_t step) {
  if (step % 1000 != 0) return;
  const int64_t k = step / 1000 - 1;
  if (k >= 0 && k < 3 && keysAtStep[k] != nullptr) InjectKeys(keysAtStep[k]);
  run::lastTick = -2.0;
  workerZero.ticksUntilMonitorCall = 1;
}

// A photon that is absorbed in its first interaction (the loop ticks the
// monitor after it).
int32_t AbsorbedPhoton(CTask& t) {
  std::vector<SEEN>& mine = seen[t.threadNo];
  mine.push_back(SEEN{t.iStream, core::runStreams.streamControl[t.iStream].nextParticle});
  if (t.threadNo == fatalWorker.load() && mine.size() == 5) {
    t.fatalError.store(1);
    return kStepFatal;
  }
  if (t.threadNo == 0) {
    volatile int64_t sink = 0;
    for (int64_t i = 0; i < workerZeroSpin; ++i) sink = sink + i;
    ForceTicks(t, static_cast<int64_t>(mine.size()));
  }
  t.photonSurvival = 0;
  return kStepInteraction;
}

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& s : seen) s.clear();
    fatalWorker = -1;
    for (auto& k : keysAtStep) k = nullptr;
    workerZeroSpin = 0;
  }
  void TearDown() override { FinishRun(); }
};

std::vector<uint64_t> AllParticles() {
  std::vector<uint64_t> all;
  for (const auto& s : seen) {
    for (const SEEN& r : s) all.push_back(r.particle);
  }
  std::sort(all.begin(), all.end());
  return all;
}

std::vector<int32_t> ListOf(const CTask& t) { return std::vector<int32_t>(t.streamList, t.streamList + t.nStreams); }

// Every source history of the run is run once, by the worker that owns its
// stream at the time, also when the streams are dealt out afresh mid-run.
TEST_F(RunLoopTest, EveryHistoryRunsOnceAcrossRedeals) {
  workerZeroSpin = 20000;  // worker 0 is slow: the others run dry first and ask for a re-deal
  ASSERT_EQ(PrepareRun(4, 10, 4000, AbsorbedPhoton), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLoop(), 0);
  testing::internal::GetCapturedStdout();
  std::vector<uint64_t> expected(4000);
  for (uint64_t i = 0; i < expected.size(); ++i) expected[i] = i;
  EXPECT_EQ(AllParticles(), expected);
  EXPECT_EQ(FinishedHistories(), 4000u);
  bool redealt = false;  // some worker ran a stream that worker 0 was dealt first
  for (int w = 1; w < kMaxWorkers; ++w) {
    for (const SEEN& r : seen[w]) redealt |= r.stream % 4 == 0;
  }
  EXPECT_TRUE(redealt);
  for (int32_t s = 0; s < 10; ++s) EXPECT_EQ(core::runStreams.streamControl[s].task, kStreamFinished);
}

// The pool of held streams is dealt over the workers in record order: 10
// streams over 4 idle workers give 3, 2, 3, 2; a worker in the middle of a
// history keeps its stream in front.
TEST_F(RunLoopTest, RedealGivesEachWorkerItsShareInRecordOrder) {
  ASSERT_EQ(PrepareRun(4, 10, 1000, AbsorbedPhoton), 0);
  STREAMPOOL pool = GatherStreamPool();
  EXPECT_EQ(pool.held, 10);
  RedealStreams(pool);
  const std::vector<std::vector<int32_t>> idle = {{0, 4, 8}, {1, 5}, {9, 2, 6}, {3, 7}};
  for (int32_t t = 0; t < 4; ++t) EXPECT_EQ(ListOf(core::tasks[t]), idle[static_cast<size_t>(t)]) << "worker " << t;

  ReleaseWorkDivision();
  ASSERT_EQ(PrepareRun(4, 10, 1000, AbsorbedPhoton), 0);
  core::tasks[1].state = kStateFollow;  // worker 1 runs a history of stream 5
  core::tasks[1].iStream = 5;
  core::tasks[1].streamCursor = 1;
  pool = GatherStreamPool();
  EXPECT_EQ(pool.held, 10);
  EXPECT_EQ(pool.pool.size(), 9u);
  RedealStreams(pool);
  const std::vector<std::vector<int32_t>> running = {{8, 1}, {5, 0, 4}, {9, 2, 6}, {3, 7}};
  for (int32_t t = 0; t < 4; ++t) {
    EXPECT_EQ(ListOf(core::tasks[t]), running[static_cast<size_t>(t)]) << "worker " << t;
    EXPECT_EQ(core::tasks[t].iStream, running[static_cast<size_t>(t)][0]);
    EXPECT_EQ(core::tasks[t].stopRequest.load(), 0);
    for (int32_t s : running[static_cast<size_t>(t)]) EXPECT_EQ(core::runStreams.streamControl[s].task, t);
  }
  EXPECT_TRUE(run::severalStreamsPerThread);

  // Two streams left for four workers: one each for two, the others stop.
  for (int32_t t = 0; t < 4; ++t) core::tasks[t].SetStreamList(nullptr, 0);
  const int32_t two[] = {6, 3};
  core::tasks[2].SetStreamList(two, 2);
  core::tasks[1].state = kStateHistoryEnded;
  RedealStreams(GatherStreamPool());
  EXPECT_EQ(ListOf(core::tasks[0]), std::vector<int32_t>{6});
  EXPECT_EQ(ListOf(core::tasks[1]), std::vector<int32_t>{3});
  for (int32_t t = 0; t < 4; ++t) EXPECT_EQ(core::tasks[t].stopRequest.load(), t >= 2 ? 1 : 0) << "worker " << t;
  EXPECT_FALSE(run::severalStreamsPerThread);
}

// A worker's fatal error stops every worker at the next tick and the run
// ends with exit code 1.
TEST_F(RunLoopTest, FatalErrorOfAWorkerEndsTheRunWithExitCode1) {
  fatalWorker = 2;
  ASSERT_EQ(PrepareRun(4, 4, kEndless, AbsorbedPhoton), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLoop(), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(core::tasks[2].fatalError.load(), 1);
  EXPECT_LT(FinishedHistories(), static_cast<uint64_t>(kEndless));
}

// Esc, then Q at a later tick: the run stops starting histories, finishes
// those in flight and ends normally.
TEST_F(RunLoopTest, EscapeThenQEndsTheRunNormally) {
  keysAtStep[0] = "\x1b";
  keysAtStep[1] = "Q";
  ASSERT_EQ(PrepareRun(4, 8, kEndless, AbsorbedPhoton), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLoop(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\nThe escape key has been pressed. Press Q to terminate the simulation, or any other key except "
                     "'Esc' to cancel the escape key.\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n"), std::string::npos);
  EXPECT_EQ(run::endSimulation.load(), 1);
  // The histories below the new share all run once, with those already in flight.
  const uint64_t done = FinishedHistories();
  EXPECT_LT(done, static_cast<uint64_t>(kEndless));
  EXPECT_GE(done, CpuParticleShare());
  std::vector<uint64_t> all = AllParticles();
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end());
  EXPECT_EQ(std::lower_bound(all.begin(), all.end(), CpuParticleShare()) - all.begin(),
            static_cast<ptrdiff_t>(CpuParticleShare()));
}

// Error targets: the run ends at the first tick at which every control
// tally with a target has 0 < error < target.
double currentError = 0.5;
int refreshes = 0;
void FakeRefresh(double, double) {
  if (++refreshes >= 3) currentError = 0.01;
  for (CONTROLENTRY& e : run::controlEntries) e.error = currentError;
}

TEST_F(RunLoopTest, MetErrorTargetEndsTheRun) {
  ASSERT_EQ(PrepareRun(2, 4, kEndless, AbsorbedPhoton), 0);
  run::controlEntries = {CONTROLENTRY{kPlaneFamily, 2, 0, kAvgErr, 0.05, 0.0, "T3"}};
  run::controlRefresh = FakeRefresh;
  currentError = 0.5;
  refreshes = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLoop(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(" AvgErr (T3) = 50% / 5%"), std::string::npos) << out.substr(0, 300);
  EXPECT_EQ(run::endSimulation.load(), 1);
  EXPECT_LT(FinishedHistories(), static_cast<uint64_t>(kEndless));
}

}  // namespace
