// The division of histories and streams among the CPU workers.
#include "driver/run/work_division.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/stream_control.h"
#include "core/task.h"
#include "core/track_records.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "tests/run/run_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

std::vector<int32_t> ListOf(const CTask& t) { return std::vector<int32_t>(t.streamList, t.streamList + t.nStreams); }

}  // namespace

// With 4 workers and 10 streams, worker t owns t, t + 4, ...; every stream
// starts at its own history number, advances by 10 and is seeded (s, seed).
TEST(WorkDivision, TenStreamsOverFourWorkers) {
  ASSERT_EQ(PrepareRun(4, 10, 25, nullptr, 5), 0);
  const std::vector<std::vector<int32_t>> expected = {{0, 4, 8}, {1, 5, 9}, {2, 6}, {3, 7}};
  ASSERT_EQ(core::nThreads, 4);
  for (int32_t t = 0; t < 4; ++t) {
    EXPECT_EQ(ListOf(core::tasks[t]), expected[static_cast<size_t>(t)]) << "worker " << t;
    EXPECT_EQ(core::tasks[t].iStream, t);
    EXPECT_EQ(core::tasks[t].threadNo, t);
    EXPECT_EQ(core::tasks[t].state, kStateHistoryEnded);
    EXPECT_EQ(run::threadIndex[static_cast<size_t>(t)], t);
    for (int32_t s : expected[static_cast<size_t>(t)]) EXPECT_EQ(core::runStreams.streamControl[s].task, t);
  }
  for (int32_t s = 0; s < 10; ++s) {
    EXPECT_EQ(core::runStreams.streamControl[s].device, -1);
    EXPECT_EQ(core::runStreams.streamControl[s].nextParticle, static_cast<uint64_t>(s));
    EXPECT_EQ(core::runStreams.randGens[s].ij, s);
    EXPECT_EQ(core::runStreams.randGens[s].kl, 5);
  }
  EXPECT_EQ(core::runStreams.cpuStride, 10u);
  EXPECT_EQ(CpuParticleShare(), 25u);
  EXPECT_EQ(run::hostParticleShare, 25u);
  EXPECT_TRUE(run::severalStreamsPerThread);
  FinishRun();

  ASSERT_EQ(PrepareRun(3, 3, 25, nullptr), 0);
  EXPECT_FALSE(run::severalStreamsPerThread);  // one stream each: nothing to re-deal
  FinishRun();
}

// The tracks are spread over the CPU streams, q or q + 1 each, and never
// more than the histories of the run.
TEST(WorkDivision, TrackQuotaIsSpreadOverTheStreams) {
  struct CASE {
    int32_t tracks;
    int64_t N;
    std::vector<int32_t> quota;
    int32_t blockSize;
  };
  const CASE cases[] = {{7, 100, {3, 2, 2}, 4}, {2, 100, {1, 1, 0}, 1}, {50, 4, {2, 1, 1}, 2}};
  for (const CASE& c : cases) {
    directives::transportOptions.nTracks = c.tracks;
    SetSimpleProblem();
    input::runOptions = RUNOPTIONS{};
    input::runOptions.nThreads = 2;
    input::runOptions.nStreams = 3;
    input::runOptions.nParticles = c.N;
    directives::transportOptions.nTracks = c.tracks;
    ASSERT_EQ(DivideWork(), 0);
    EXPECT_EQ(std::vector<int32_t>(core::trackOptions.streamQuota, core::trackOptions.streamQuota + 3), c.quota)
        << c.tracks << " tracks";
    for (int s = 0; s < 3; ++s) EXPECT_EQ(core::trackOptions.streamDone[s], 0);
    EXPECT_EQ(core::trackOptions.blockSize, c.blockSize);
    ReleaseWorkDivision();
  }
  directives::transportOptions.nTracks = 0;
}
