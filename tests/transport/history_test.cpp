// The history loop with a stand-in step (no physics): stream dealing and
// rotation, the bank, stop requests, reproducibility and source rejection.
#include "transport/history.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/source.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "platform/threads.h"
#include "tests/geometry/geometry_test_world.h"
#include "tests/transport/transport_fixture.h"
#include "transport/bank.h"

namespace {

constexpr int kMaxWorkers = 4;

// What the stand-in steps saw, per worker.
std::vector<STEPRECORD> seen[kMaxWorkers];
int secondariesPerSource = 0;  // particles a source particle banks
int64_t stopAfterSteps = -1;   // worker 0 asks itself to stop after this many steps

STEPRECORD RecordOf(CTask& t) {
  return STEPRECORD{
      t.iStream,      core::runStreams.streamControl[t.iStream].nextParticle, t.E, t.kind, t.org, t.pc.pos, t.pc.dir,
      t.rng->random()};
}

// A particle that banks its secondaries at once and ends after one step.
int32_t BankingStep(CTask& t) {
  seen[t.threadNo].push_back(RecordOf(t));
  if (t.org == kOriginSource) {
    for (int i = 0; i < secondariesPerSource; ++i) {
      const uint8_t kind = i % 2 == 0 ? kElectron : kPhoton;
      if (PushParticle(t, t.E / (i + 2), kind, kOriginCompton, t.pc.dir, 1.0, 0) != kBankRoomAvailable)
        return kStepFatal;
    }
  }
  if (stopAfterSteps >= 0 && static_cast<int64_t>(seen[t.threadNo].size()) == stopAfterSteps) t.stopRequest.store(1);
  return t.ReadBankedParticle() == 0 ? kStepGoesOn : kStepFatal;
}

// A photon that does not survive its interaction: the loop's tail pops.
int32_t AbsorbingStep(CTask& t) {
  seen[t.threadNo].push_back(RecordOf(t));
  t.photonSurvival = 0;
  return kStepInteraction;
}

class HistoryLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetSimpleProblem();
    for (auto& s : seen) s.clear();
    secondariesPerSource = 0;
    stopAfterSteps = -1;
  }
  void TearDown() override { SetRunMonitor(nullptr); }

  STREAMTABLES tables;
};

std::vector<uint64_t> ParticlesSeen(const std::vector<STEPRECORD>& steps) {
  std::vector<uint64_t> particles;
  for (const STEPRECORD& r : steps) particles.push_back(r.particle);
  return particles;
}

}  // namespace

// Worker 1 of 4 owns streams 1, 5, 9 of 10 and runs them in turn, each on the
// source particles s, s + 10, ... below N = 25, dropping each when it is done.
TEST_F(HistoryLoopTest, StreamsRotateHistoryByHistoryUntilExhausted) {
  DealStreams(tables, 10, 25, 7);
  CTask task;
  GiveStreams(task, 1, 4, 10);
  task.stepOverride = BankingStep;
  task.RunHistories();
  const std::vector<uint64_t> expected = {1, 5, 9, 11, 15, 19, 21};
  EXPECT_EQ(ParticlesSeen(seen[1]), expected);
  const std::vector<int32_t> streams = {1, 5, 9, 1, 5, 9, 1};
  for (size_t i = 0; i < streams.size(); ++i) EXPECT_EQ(seen[1][i].stream, streams[i]) << "history " << i;
  EXPECT_EQ(task.nStreams, 0);
  for (int s : {1, 5, 9}) EXPECT_EQ(tables.control[s].task, kStreamFinished) << "stream " << s;
  EXPECT_EQ(task.nHistories, 7u);
  EXPECT_EQ(task.stats->slot[statslot::nHistoriesDone].n, 7u);
  EXPECT_EQ(task.stats->slot[statslot::nSourcePhotons].n, 7u);
  EXPECT_EQ(task.fatalError.load(), 0);
}

// Each history draws only from its own stream's generator: a stream's draws
// are the same whichever worker and whatever order runs it.
TEST_F(HistoryLoopTest, HistoriesDrawFromTheirOwnStream) {
  DealStreams(tables, 3, 6, 11);
  CTask task;
  GiveStreams(task, 0, 1, 3);
  task.stepOverride = BankingStep;
  task.RunHistories();
  ASSERT_EQ(seen[0].size(), 6u);
  STREAMTABLES fresh;
  DealStreams(fresh, 3, 6, 11);
  for (const STEPRECORD& r : seen[0]) {
    EXPECT_EQ(r.xi, fresh.generators[r.stream].random()) << "particle " << r.particle;
  }
}

// Secondaries are banked and taken back last in, first out; the history ends
// when the bank is empty and counts once.
TEST_F(HistoryLoopTest, BankIsEmptiedLastInFirstOutBeforeTheNextHistory) {
  DealStreams(tables, 2, 4, 3);
  secondariesPerSource = 3;
  CTask task;
  GiveStreams(task, 0, 1, 2);
  task.stepOverride = BankingStep;
  task.RunHistories();
  ASSERT_EQ(seen[0].size(), 16u);
  for (int h = 0; h < 4; ++h) {
    const STEPRECORD* steps = &seen[0][4 * h];
    EXPECT_EQ(steps[0].org, kOriginSource);
    EXPECT_EQ(steps[0].E, 1.0e6);
    const double expectedE[3] = {1.0e6 / 4, 1.0e6 / 3, 1.0e6 / 2};
    const uint8_t expectedKind[3] = {kElectron, kPhoton, kElectron};
    for (int i = 1; i <= 3; ++i) {
      EXPECT_EQ(steps[i].E, expectedE[i - 1]) << "history " << h << " step " << i;
      EXPECT_EQ(steps[i].kind, expectedKind[i - 1]);
      EXPECT_EQ(steps[i].org, kOriginCompton);
      EXPECT_EQ(steps[i].particle, steps[0].particle);
    }
  }
  EXPECT_EQ(task.maxBanked, 3);
  EXPECT_EQ(task.stats->slot[statslot::nHistoriesDone].n, 4u);
  EXPECT_EQ(task.nBanked, -1);
}

// The common tail replaces a photon that did not survive its interaction, and
// worker 0 ticks the run monitor after it: the monitor is called at the first
// tick and then at every 256th.
TEST_F(HistoryLoopTest, TailPopsAnAbsorbedPhotonAndTicksTheMonitor) {
  static int calls = 0;
  calls = 0;
  SetRunMonitor([](bool deviceRound, bool printLine) {
    EXPECT_FALSE(deviceRound);
    EXPECT_TRUE(printLine);
    ++calls;
  });
  const uint64_t histories = 2 * kTicksPerMonitorCall + 1;
  DealStreams(tables, 1, histories, 3);
  CTask task;
  GiveStreams(task, 0, 1, 1);
  task.stepOverride = AbsorbingStep;
  task.RunHistories();
  EXPECT_EQ(seen[0].size(), histories);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(task.stats->slot[statslot::nHistoriesDone].n, histories);
}

// A stop request inside a history leaves it unfinished with its bank; the next
// call continues it, and the run ends as an uninterrupted one does.
TEST_F(HistoryLoopTest, StopRequestLeavesTheHistoryToBeContinued) {
  secondariesPerSource = 2;
  DealStreams(tables, 2, 6, 5);
  CTask whole;
  GiveStreams(whole, 0, 1, 2);
  whole.stepOverride = BankingStep;
  whole.RunHistories();
  const std::vector<STEPRECORD> uninterrupted = seen[0];

  seen[0].clear();
  DealStreams(tables, 2, 6, 5);
  CTask task;
  GiveStreams(task, 0, 1, 2);
  task.stepOverride = BankingStep;
  stopAfterSteps = 5;  // second step of the second history
  task.RunHistories();
  EXPECT_EQ(seen[0].size(), 5u);
  EXPECT_EQ(task.state, kStateFollow);
  EXPECT_EQ(task.nBanked, 0);  // the second secondary is being followed
  EXPECT_EQ(task.nHistories, 2u);

  task.stopRequest.store(0);
  stopAfterSteps = -1;
  task.RunHistories();
  ASSERT_EQ(seen[0].size(), uninterrupted.size());
  for (size_t i = 0; i < uninterrupted.size(); ++i) {
    EXPECT_EQ(seen[0][i].E, uninterrupted[i].E) << "step " << i;
    EXPECT_EQ(seen[0][i].particle, uninterrupted[i].particle) << "step " << i;
    EXPECT_EQ(seen[0][i].xi, uninterrupted[i].xi) << "step " << i;
  }
  EXPECT_EQ(task.nHistories, 6u);
  EXPECT_EQ(task.nStreams, 0);
}

// A stop request seen before a history starts leaves the record untouched.
TEST_F(HistoryLoopTest, StopRequestBeforeTheFirstHistoryRunsNothing) {
  DealStreams(tables, 1, 3, 5);
  CTask task;
  GiveStreams(task, 0, 1, 1);
  task.stepOverride = BankingStep;
  task.stopRequest.store(1);
  task.RunHistories();
  EXPECT_TRUE(seen[0].empty());
  EXPECT_EQ(task.state, kStateHistoryEnded);
  EXPECT_EQ(task.nHistories, 0u);
}

// A beam with a cone of directions and a spectrum: the same seed gives the same
// histories bit for bit.
TEST_F(HistoryLoopTest, FixedSeedGivesIdenticalHistories) {
  static double energies[3] = {1e5, 5e5, 2e6};
  Constants& k = core::hostConstants;
  k.sourcePositionType = kPlaneSource;
  k.sourceDirectionType = kConeBeam;
  k.sourceConeCos = 0.9;
  k.sourceConstantDensityRadius = 0.5;
  k.sourceRMSwidth = 0.1;
  k.nEnerg = 3;
  k.E_source = energies;
  k.cumulativeWeight[1] = 0.25;
  k.cumulativeWeight[2] = 1.0;
  secondariesPerSource = 1;
  std::vector<STEPRECORD> runs[2];
  for (auto& run : runs) {
    seen[0].clear();
    DealStreams(tables, 4, 200, 42);
    CTask task;
    GiveStreams(task, 0, 1, 4);
    task.stepOverride = BankingStep;
    task.RunHistories();
    run = seen[0];
  }
  ASSERT_EQ(runs[0].size(), 400u);
  for (size_t i = 0; i < runs[0].size(); ++i) {
    const STEPRECORD& a = runs[0][i];
    const STEPRECORD& b = runs[1][i];
    EXPECT_TRUE(a.E == b.E && a.pos.x == b.pos.x && a.pos.y == b.pos.y && a.pos.z == b.pos.z && a.dir.x == b.dir.x &&
                a.dir.y == b.dir.y && a.dir.z == b.dir.z && a.xi == b.xi)
        << "step " << i;
  }
  // The beam starts on the source plane z = -1 and is moved to the layer's face.
  for (const STEPRECORD& r : runs[0]) {
    if (r.org != kOriginSource) continue;
    EXPECT_NEAR(r.pos.z, 0.0, 1e-12);
    EXPECT_GE(r.E, 1e5);
    EXPECT_LE(r.E, 2e6);
    EXPECT_GE(r.dir.z / Norm(r.dir), 0.9 - 1e-12);
  }
}

// The momentum vector has the length p c of the source kind; a positron brings
// its rest energies into the history.
TEST_F(HistoryLoopTest, SourceMomentumAndCountsFollowTheParticleKind) {
  struct CASE {
    uint8_t part;
    double momentum;  // eV
    double brought;   // eV
  };
  const double E = 1.0e6;
  const double restEn2 = 2.0 * 510998.95;
  const CASE cases[] = {{kPhoton, E, E}, {kElectron, std::sqrt(E * (E + restEn2)), E},
                        {kPositron, std::sqrt(E * (E + restEn2)), E + restEn2}};
  for (const CASE& c : cases) {
    core::hostConstants.part = c.part;
    seen[0].clear();
    DealStreams(tables, 1, 1, 1);
    CTask task;
    GiveStreams(task, 0, 1, 1);
    task.stepOverride = BankingStep;
    task.RunHistories();
    ASSERT_EQ(seen[0].size(), 1u);
    EXPECT_NEAR(Norm(seen[0][0].dir), c.momentum, 1e-9 * c.momentum) << "kind " << int(c.part);
    EXPECT_EQ(task.E_history, c.brought);
    const bool photon = c.part == kPhoton;
    EXPECT_EQ(task.stats->slot[statslot::nSourcePhotons].n, photon ? 1u : 0u);
    EXPECT_EQ(task.stats->slot[statslot::nSourceElectrons].n, photon ? 0u : 1u);
    // The history's end moves its deposit into the absorbed energy.
    EXPECT_EQ(task.stats->slot[statslot::eAbsorbed].e, photon ? 0.0 : c.brought);
    EXPECT_EQ(task.stats->slot[statslot::eHistoryDeposit].e, 0.0);
  }
}

// With a single source energy the energy costs no random number: the step's
// draw is the stream's first.
TEST_F(HistoryLoopTest, SingleEnergyDrawsNoRandomNumber) {
  DealStreams(tables, 1, 1, 9);
  CTask task;
  GiveStreams(task, 0, 1, 1);
  task.stepOverride = BankingStep;
  task.RunHistories();
  STREAMTABLES fresh;
  DealStreams(fresh, 1, 1, 9);
  ASSERT_EQ(seen[0].size(), 1u);
  EXPECT_EQ(seen[0][0].xi, fresh.generators[0].random());
}

// Isotropic directions from a point in front of the layer: half the rays miss.
// They are counted and drawn again, never followed and never counted as
// histories.
TEST_F(HistoryLoopTest, MissedSourceRaysAreCountedAndDrawnAgain) {
  core::hostConstants.sourceDirectionType = kIsotropic;
  DealStreams(tables, 2, 400, 13);
  CTask task;
  GiveStreams(task, 0, 1, 2);
  task.stepOverride = BankingStep;
  task.RunHistories();
  EXPECT_EQ(seen[0].size(), 400u);
  EXPECT_EQ(task.nHistories, 400u);
  const uint64_t missed = task.stats->slot[statslot::nSourceMissed].n;
  EXPECT_GT(missed, 300u);
  EXPECT_LT(missed, 500u);
  for (const STEPRECORD& r : seen[0]) {
    EXPECT_NEAR(r.pos.z, 0.0, 1e-12);
    EXPECT_GT(r.dir.z, 0.0);
  }
}

// A cone aimed away from the layer never enters: after the named number of
// consecutive rejections the worker stops with a fatal error naming the source.
TEST_F(HistoryLoopTest, SourceThatNeverEntersEndsWithAFatalError) {
  core::hostConstants.sourceDirectionType = kConeBeam;
  core::hostConstants.sourceConeCos = 0.5;
  for (double& q : core::hostConstants.Q_source_direction) q = 0.0;
  core::hostConstants.Q_source_direction[0] = 1.0;  // a frame whose axis is -z
  core::hostConstants.Q_source_direction[4] = -1.0;
  core::hostConstants.Q_source_direction[8] = -1.0;
  DealStreams(tables, 1, 10, 1);
  CTask task;
  GiveStreams(task, 0, 1, 1);
  task.stepOverride = BankingStep;
  task.sourceRejectionLimit = 1000;
  testing::internal::CaptureStdout();
  task.RunHistories();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(task.fatalError.load(), 1);
  EXPECT_TRUE(seen[0].empty());
  EXPECT_EQ(task.nHistories, 1u);
  EXPECT_EQ(task.stats->slot[statslot::nSourceMissed].n, 1001u);
  EXPECT_NE(out.find("Fatal error in thread No. 1: 1001 consecutive particles of the point source with a cone of "
                     "directions missed the geometry or the source cell."),
            std::string::npos)
      << out;
  EXPECT_EQ(kMaxConsecutiveSourceRejections, CTask(false).sourceRejectionLimit);
}

// Without a stand-in the dispatch reaches the photon step: in a layer without
// material the source photon flies through and escapes.
TEST_F(HistoryLoopTest, PhotonInAnEmptyLayerEscapesUncollided) {
  DealStreams(tables, 1, 2, 1);
  CTask task;
  GiveStreams(task, 0, 1, 1);
  task.RunHistories();
  EXPECT_EQ(task.fatalError.load(), 0);
  EXPECT_EQ(task.stats->slot[statslot::nPhotonEscapes].n, 2u);
  EXPECT_EQ(task.stats->slot[statslot::nSourceInteracted].n, 0u);
}

// An isotropic point source outside a sphere cell (radius 2, one voxel
// holding it): a ray that misses the sphere is counted and drawn again, one
// that hits starts on the sphere in its cell, and the banked secondaries get
// the cell back when they are popped. The share of hits is the solid angle
// the sphere subtends, (1 - sqrt(1 - (R/d)^2)) / 2.
TEST_F(HistoryLoopTest, ComplexGeometrySourceRaysEnterTheirCellOrAreDrawnAgain) {
  test_world::World world;
  world.surf.push_back(MakeSphere(Init(0, 0, 0), 2.0));
  world.AddCell({0}, {-1});
  const std::vector<double> noPlanes[3];
  world.Build(noPlanes, [](const double*, const double*, test_world::VoxelListing&) {});
  world.cells[0].material = -1;
  Constants& k = core::hostConstants;
  StoreGeometryTables(k, world.tables);
  k.complexGeometry = 1;
  k.cell = world.cells.data();
  k.nCells = 1;
  k.sourceDirectionType = kIsotropic;
  k.sourceCenter[0] = 0.0;
  k.sourceCenter[1] = 0.0;
  k.sourceCenter[2] = 5.0;
  constexpr int kHistories = 400;
  DealStreams(tables, 1, kHistories, 1);
  CTask task;
  ASSERT_TRUE(AllocateTrackerWork(task.tracker, 1, 1, 8));
  GiveStreams(task, 0, 1, 1);
  secondariesPerSource = 2;
  task.stepOverride = [](CTask& t) {
    EXPECT_EQ(t.iCell, 0);
    EXPECT_EQ(t.cell, core::hostConstants.cell);
    return BankingStep(t);
  };
  task.RunHistories();
  StoreGeometryTables(k, GeometryTables{});
  EXPECT_EQ(task.fatalError.load(), 0);
  ASSERT_EQ(seen[0].size(), 3u * kHistories);
  for (const STEPRECORD& r : seen[0]) EXPECT_NEAR(Norm(r.pos), 2.0, 1e-9);
  const double missed = static_cast<double>(task.stats->slot[statslot::nSourceMissed].n);
  const double p = (1.0 - std::sqrt(1.0 - 0.16)) / 2.0;
  const double drawn = missed + kHistories;
  EXPECT_NEAR(kHistories / drawn, p, 4.0 * std::sqrt(p * (1.0 - p) / drawn));
}

// Four workers on their own threads share the histories: every source particle
// below N runs exactly once, on the worker that owns its stream.
TEST_F(HistoryLoopTest, WorkerThreadsRunEverySourceParticleOnce) {
  constexpr int kWorkers = 4;
  constexpr int kStreams = 10;
  constexpr uint64_t kN = 1000;
  secondariesPerSource = 2;
  DealStreams(tables, kStreams, kN, 17);
  CTask records[kWorkers];
  int numbers[kWorkers];
  core::tasks = records;
  core::nThreads = kWorkers;
  for (int t = 0; t < kWorkers; ++t) {
    GiveStreams(records[t], t, kWorkers, kStreams);
    records[t].stepOverride = BankingStep;
    records[t].running.store(1, std::memory_order_release);
    numbers[t] = t;
  }
  for (int t = 1; t < kWorkers; ++t) ASSERT_TRUE(StartThread(ThreadFunc, &numbers[t], t));
  ThreadFunc(&numbers[0]);
  for (int t = 0; t < kWorkers; ++t) {
    while (records[t].running.load(std::memory_order_acquire) != 0) YieldThread();
  }
  std::vector<int> runs(kN, 0);
  for (int t = 0; t < kWorkers; ++t) {
    EXPECT_EQ(records[t].fatalError.load(), 0);
    for (const STEPRECORD& r : seen[t]) {
      if (r.org != kOriginSource) continue;
      ASSERT_LT(r.particle, kN);
      EXPECT_EQ(r.stream % kWorkers, t);
      ++runs[r.particle];
    }
  }
  for (uint64_t n = 0; n < kN; ++n) EXPECT_EQ(runs[n], 1) << "source particle " << n;
  core::tasks = nullptr;
  core::nThreads = 0;
}
