// The totals after the run: statistics summed overall and per cell (a
// union's cells into its first cell), derived slots, history counts, the
// largest bank, the extent of the volume-source points and the tally sums.
#include "driver/run/result_totals.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/pulse_height.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/run/work_division.h"
#include "tests/run/run_fixture.h"

namespace {

// Cell 0 alone, cells 1, 2, 3 in union 0.
CELL cells[4] = {{10, 0, 0, 0, 0, 0, 0, -1, -1, 0},
                 {11, 0, 0, 0, 0, 0, 0, -1, 0, 0},
                 {12, 0, 0, 0, 0, 0, 0, -1, 0, 0},
                 {13, 0, 0, 0, 0, 0, 0, -1, 0, 0}};

class ResultTotalsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(PrepareRun(3, 3, 30, nullptr), 0);
    ReleaseWorkDivision();  // again, with cells, per-cell statistics and a pulse-height tally
    core::hostConstants.cell = cells;
    core::hostConstants.nCells = 4;
    core::hostConstants.outputCellInteractionStats = 1;
    pulseHeight.bins = 3;
    pulseHeight.cell = -1;
    core::hostTallyTables.pulseHeightTally = &pulseHeight;
    core::hostTallyTables.nPulseHeight_tot = 1;
    ASSERT_EQ(DivideWork(), 0);
  }
  void TearDown() override {
    FinishRun();
    core::hostTallyTables = TALLYTABLES{};
    core::hostConstants.cell = nullptr;
    core::hostConstants.nCells = 0;
    core::hostConstants.outputCellInteractionStats = 0;
  }
  PULSEHEIGHTTALLY pulseHeight{};
};

}  // namespace

TEST_F(ResultTotalsTest, WorkersAreSummedIntoTheTotals) {
  for (int32_t w = 0; w < 3; ++w) {
    CTask& t = core::tasks[w];
    t.stats->slot[statslot::nHistoriesDone].n = 10u + static_cast<uint64_t>(w);
    t.stats->slot[statslot::nSourcePhotons].n = 10u + static_cast<uint64_t>(w);
    t.stats->slot[statslot::eSourcePhotons].e = 1.5 * (w + 1);
    t.maxBanked = w == 1 ? 7 : 2;
    for (int32_t c = 0; c < 4; ++c) {
      t.cellStats[c].slot[statslot::nPhotonEntries].n = 1;       // summed everywhere
      t.cellStats[c].slot[statslot::nSourcePhotons].n = 100;     // left out of the overall total
      t.cellStats[c].slot[statslot::ePhotonEntries].e = 0.25;
    }
    t.pulseHeightHist[0][w] = 5;
  }
  ComputeResultTotals();
  const RESULTTOTALS& r = run::resultTotals;
  EXPECT_EQ(r.target, &core::tasks[0]);
  EXPECT_EQ(r.cpuHistories, 33u);
  EXPECT_EQ(r.allHistories, 33u);
  EXPECT_EQ(r.maxBankedCpu, 7);
  EXPECT_EQ(r.maxBanked, 7);
  EXPECT_EQ(r.stats.slot[statslot::nSourcePhotons].n, 33u);
  EXPECT_DOUBLE_EQ(r.stats.slot[statslot::eSourcePhotons].e, 9.0);
  EXPECT_EQ(r.stats.slot[statslot::nPhotonEntries].n, 12u);
  EXPECT_DOUBLE_EQ(r.invHistories, 1.0 / 33.0);
  // Per cell: cell 0 alone, the union's three cells in cell 1.
  ASSERT_EQ(r.cellStats.size(), 4u);
  EXPECT_EQ(r.cellStats[0].slot[statslot::nPhotonEntries].n, 3u);
  EXPECT_EQ(r.cellStats[1].slot[statslot::nPhotonEntries].n, 9u);
  EXPECT_EQ(r.cellStats[1].slot[statslot::nSourcePhotons].n, 900u);
  EXPECT_EQ(r.cellStats[2].slot[statslot::nPhotonEntries].n, 0u);
  EXPECT_EQ(r.nStatsObjects, 2);
  // Derived slots: photons created overall (140) and entering a cell (per cell).
  EXPECT_EQ(r.stats.slot[140].n, 33u);
  EXPECT_EQ(r.cellStats[0].slot[140].n, 3u);
  EXPECT_EQ(r.cellStats[1].slot[140].n, 9u);
  EXPECT_EQ(r.cellStats[2].slot[140].n, 0u);  // a later member of a union gets none
  // Tally scores of the workers after the first land in the first.
  EXPECT_EQ(core::tasks[0].pulseHeightHist[0][0], 5);
  EXPECT_EQ(core::tasks[0].pulseHeightHist[0][1], 5);
  EXPECT_EQ(core::tasks[0].pulseHeightHist[0][2], 5);
}

// A worker stopped inside a history has one more source particle than
// finished histories: the history count is the finished one, so that the
// shares printed against the histories run add up to 100 %.
TEST_F(ResultTotalsTest, HistoryCountIsTheFinishedOneWhereTheSourceCountDiffers) {
  for (int32_t w = 0; w < 3; ++w) {
    core::tasks[w].stats->slot[statslot::nHistoriesDone].n = 10;
    core::tasks[w].stats->slot[statslot::nSourcePhotons].n = w == 2 ? 11 : 10;
  }
  ComputeResultTotals();
  EXPECT_EQ(run::resultTotals.allHistories, 30u);
  EXPECT_EQ(run::resultTotals.invHistories, 1.0 / 30.0);
  EXPECT_EQ(HistoryCountOf(31, 30), 30u);
  EXPECT_EQ(HistoryCountOf(31, 0), 31u);  // nothing finished: the source particles
}

TEST_F(ResultTotalsTest, VolumeSourceExtentMergesNonEmptyRecords) {
  core::hostConstants.sourcePositionType = 3;
  core::tasks[0].sourceMin = VECTOR{-1.0, 0.0, 2.0};
  core::tasks[0].sourceMax = VECTOR{1.0, 3.0, 2.5};
  core::tasks[2].sourceMin = VECTOR{-2.0, 1.0, 1.0};
  core::tasks[2].sourceMax = VECTOR{0.5, 4.0, 2.0};  // tasks[1] sampled nothing
  ComputeResultTotals();
  EXPECT_EQ(run::resultTotals.sourceMin.x, -2.0);
  EXPECT_EQ(run::resultTotals.sourceMin.y, 0.0);
  EXPECT_EQ(run::resultTotals.sourceMin.z, 1.0);
  EXPECT_EQ(run::resultTotals.sourceMax.x, 1.0);
  EXPECT_EQ(run::resultTotals.sourceMax.y, 4.0);
  EXPECT_EQ(run::resultTotals.sourceMax.z, 2.5);
  for (int32_t w = 0; w < 3; ++w) {
    core::tasks[w].sourceMin = VECTOR{1.0, 1.0, 1.0};
    core::tasks[w].sourceMax = VECTOR{0.0, 0.0, 0.0};
  }
  ComputeResultTotals();
  EXPECT_EQ(run::resultTotals.sourceMin.x, 1.0);  // nothing sampled: the run's extent stays empty
  EXPECT_EQ(run::resultTotals.sourceMax.x, 0.0);
  core::hostConstants.sourcePositionType = 1;
}

// Counts add modulo 2^64; the partial sum leaves out its eleven slots.
TEST(StatisticsSums, CountsWrapAndThePartialSumLeavesOutElevenSlots) {
  INTERACTIONSTATS total{};
  INTERACTIONSTATS add{};
  total.slot[5].n = std::numeric_limits<uint64_t>::max();
  add.slot[5].n = 1;
  add.slot[51].e = 0.5;
  AccumulateStats(total, add);
  EXPECT_EQ(total.slot[5].n, 0u);
  EXPECT_EQ(total.slot[51].e, 0.5);

  INTERACTIONSTATS before = total;
  INTERACTIONSTATS leftOut{};
  for (int i : {0, 1, 2, 89, 91, 133, 135}) leftOut.slot[i].e = 3.0;
  for (int i : {3, 4, 48, 50}) leftOut.slot[i].n = 3;
  const INTERACTIONSTATS copy = leftOut;
  AccumulateStatsPartial(total, leftOut);
  for (int i = 0; i < statslot::kSlotCount; ++i) EXPECT_EQ(total.slot[i].n, before.slot[i].n) << "slot " << i;
  for (int i = 0; i < statslot::kSlotCount; ++i) EXPECT_EQ(leftOut.slot[i].n, copy.slot[i].n) << "slot " << i;
}
