// Cell-entry scoring (entry types, neighbour slots, the unresolved slot) and
// pulse-height binning of the history deposit.
#include <gtest/gtest.h>

#include <vector>

#include "tests/tallies/tally_fixture.h"
#include "transport/cell_tally_scoring.h"

namespace {

// Three cells: 0 and 1 side by side, 2 inside 0. One PCELL_ENTRY tally per
// entry type, all registered on cell 1 for the neighbour cell 0 (slot 1), and
// one net-flow tally on cell 0 for the inner cell (slot 0).
struct CellFixture {
  TallyFixture f;
  CELLENTRYSITE sites[3] = {};
  std::vector<uint16_t> counts[3];
  std::vector<std::vector<uint16_t>> lists[3];
  std::vector<const uint16_t*> listPtrs[3];
  int eRange = 0;

  CellFixture() {
    eRange = f.AddRange(kQuantityE, "E1", 0.0, 100.0, 10);
    const int8_t types[] = {kCountEntries, kCountExits, kNetFlow, kCountBoth};
    for (int8_t type : types) {
      CELLENTRYTALLY t{};
      t.number = static_cast<int32_t>(f.cellEntry[kPhotonTallies].size()) + 1;
      for (uint8_t& o : t.orgEnabled) o = 1;
      t.entryType = type;
      t.nEnergyRanges = 1;
      t.energyRange[0] = eRange;
      t.eFlux = 1;
      f.cellEntry[kPhotonTallies].push_back(t);
    }
    for (int c = 0; c < 3; ++c) {
      sites[c].nEntrySlots = 4;
      sites[c].unionIndex = -1;
      sites[c].enclosingCell = c == 2 ? 0 : -1;
      counts[c].assign(4, 0);
      lists[c].assign(4, {});
    }
    lists[1][1] = {0, 1, 2, 3};  // cell 1, neighbour cell 0
    lists[0][0] = {2};           // cell 0, its inner cell
    for (int c = 0; c < 3; ++c) {
      for (int s = 0; s < 4; ++s) {
        counts[c][static_cast<size_t>(s)] = static_cast<uint16_t>(lists[c][static_cast<size_t>(s)].size());
        listPtrs[c].push_back(lists[c][static_cast<size_t>(s)].data());
      }
      sites[c].hasCellEntry[kPhotonTallies] = c < 2 ? 1 : 0;
      sites[c].cellEntryCount[kPhotonTallies] = counts[c].data();
      sites[c].cellEntryList[kPhotonTallies] = listPtrs[c].data();
    }
    f.Install();
    core::hostTallyTables.cellEntrySites = sites;
    core::hostTallyTables.nCells = 3;
  }
};

int64_t First(const CTask& t, int tally, int bin) { return t.cellEntryHist[kPhotonTallies][tally][0][bin]; }
int64_t Second(const CTask& t, int tally, int bin) { return t.cellEntryHist[kPhotonTallies][tally][0][10 + bin]; }

TEST(CellEntryScoring, EntryTypesCountEntriesAndExits) {
  CellFixture fx;
  TallyTask w;
  w.task.kind = kPhoton;
  w.task.org = kOriginSource;
  w.task.E = 55.0;  // bin 5
  // Entering cell 1 from cell 0, then leaving cell 1 into cell 0.
  w.task.iCell = 1;
  UpdateCellEntryTallies(w.task, 1, 1, 1 + 0, +1);
  w.task.iCell = 0;
  UpdateCellEntryTallies(w.task, 1, 1, 1 + 0, -1);
  struct Expect {
    const char* what;
    int64_t first, second;
  } expect[] = {{"entries only", 1, 0}, {"exits only", 1, 0}, {"net flow", 1, -1}, {"both", 2, 0}};
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(First(w.task, t, 5), expect[t].first) << expect[t].what;
    EXPECT_EQ(Second(w.task, t, 5), expect[t].second) << expect[t].what;
  }
  EXPECT_EQ(w.task.cellEntryHist_E[kPhotonTallies][2][0][10 + 5], -55.0);
  EXPECT_TRUE(CellHasEntryTallies(1, 1));
  EXPECT_FALSE(CellHasEntryTallies(2, 1));
}

TEST(CellEntryScoring, EnergyAtTheLimitsOfARange) {
  CellFixture fx;
  TallyTask w;
  w.task.iCell = 1;
  for (double E : {0.0, 100.0, 100.5}) {
    w.task.E = E;
    UpdateCellEntryTallies(w.task, 1, 1, 1, +1);
  }
  int64_t total = 0;
  for (int b = 0; b < 10; ++b) total += First(w.task, 0, b);
  EXPECT_EQ(total, 1) << "the lower limit and above the top are outside";
  EXPECT_EQ(First(w.task, 0, 9), 1);
}

// A crossing whose neighbour the tracking cannot name: from the inner cell 2
// into cell 0 resolves to slot 0; from cell 1 (not enclosed) it is counted as
// unresolved and not scored.
TEST(CellEntryScoring, InnerSlotResolutionAndUnresolvedCount) {
  CellFixture fx;
  TallyTask w;
  w.task.E = 15.0;
  w.task.iCell = 0;
  UpdateCellEntryTallies(w.task, 2, 1, -1, +1);
  EXPECT_EQ(First(w.task, 2, 1), 1);
  UpdateCellEntryTallies(w.task, 1, 1, -1, +1);
  UpdateCellEntryTallies(w.task, -1, 1, -1, +1);
  EXPECT_EQ(w.task.unresolvedCellEntries, 2u);
  EXPECT_EQ(First(w.task, 2, 1), 1);
}

TEST(CellEntryScoring, WeightedNetFlow) {
  CellFixture fx;
  TallyTask w(true);
  w.task.E = 55.0;
  w.task.weight = 0.5;
  w.task.iCell = 0;
  UpdateCellEntryTallies(w.task, 1, 1, 1, -1);
  EXPECT_DOUBLE_EQ(w.task.cellEntryHist_wt[kPhotonTallies][2][0][5], -0.5);
  EXPECT_DOUBLE_EQ(w.task.cellEntryHist_wt[kPhotonTallies][2][0][15], 0.25);
  EXPECT_DOUBLE_EQ(w.task.cellEntryHist_wt[kPhotonTallies][1][0][5], 0.5);
  EXPECT_DOUBLE_EQ(w.task.cellEntryHist_E[kPhotonTallies][2][0][5], -27.5);
}

// Pulse-height binning of the whole history's deposit: a zero deposit is in
// no bin, the top edge is in the last bin, above it in none; the deposit is
// moved into the absorbed energy and cleared.
TEST(PulseHeightScoring, DepositBinning) {
  TallyFixture f;
  PULSEHEIGHTTALLY ph{};
  ph.cell = -1;
  ph.bins = 4;
  ph.lower = 0.0;
  ph.upper = 1000.0;
  ph.invWidth = 4 / 1000.0;
  ph.eDeposition = 1;
  f.pulseHeight.push_back(ph);
  f.Install();
  TallyTask w;
  const struct {
    double deposit;
    int bin;
  } cases[] = {{0.0, -1}, {250.0, 0}, {250.1, 1}, {1000.0, 3}, {1000.001, -1}};
  double absorbed = 0.0;
  for (const auto& c : cases) {
    std::vector<int64_t> before(w.task.pulseHeightHist[0], w.task.pulseHeightHist[0] + 4);
    w.stats.slot[statslot::eHistoryDeposit].e = c.deposit;
    UpdatePulseHeightTallies(w.task);
    absorbed += c.deposit;
    for (int b = 0; b < 4; ++b) {
      EXPECT_EQ(w.task.pulseHeightHist[0][b] - before[static_cast<size_t>(b)], b == c.bin ? 1 : 0) << c.deposit;
    }
    EXPECT_EQ(w.stats.slot[statslot::eHistoryDeposit].e, 0.0);
  }
  EXPECT_DOUBLE_EQ(w.stats.slot[statslot::eAbsorbed].e, absorbed);
  EXPECT_DOUBLE_EQ(w.task.pulseHeightEnergy[0][3], 1000.0);
}

// A cell pulse-height tally bins the deposit of its slot, which is emptied
// into the cell's absorbed energy at the history's end.
TEST(PulseHeightScoring, CellDepositSlots) {
  TallyFixture f;
  PULSEHEIGHTTALLY ph{};
  ph.cell = 1;
  ph.bins = 2;
  ph.lower = 0.0;
  ph.upper = 10.0;
  ph.invWidth = 0.2;
  f.pulseHeight.push_back(ph);
  f.Install();
  const int16_t cellsPH[] = {1};
  const int32_t slotOf[] = {-1, 0};
  core::hostTallyTables.cellsPulseHeight = cellsPH;
  core::hostTallyTables.nCellsPulseHeight = 1;
  core::hostTallyTables.pulseHeightSlotOfCell = slotOf;
  core::hostTallyTables.nCells = 2;
  TallyTask w;
  INTERACTIONSTATS perCell[2] = {};
  w.task.cellStats = perCell;
  w.task.curStats = &perCell[1];
  w.task.iCell = 1;
  DepositInCell(w.task, 3.0);
  DepositInCell(w.task, 4.0);
  w.task.iCell = 0;
  w.task.curStats = &perCell[0];
  DepositInCell(w.task, 2.0);
  UpdatePulseHeightTallies(w.task);
  EXPECT_EQ(w.task.pulseHeightHist[0][1], 1);
  EXPECT_DOUBLE_EQ(perCell[1].slot[statslot::eAbsorbed].e, 7.0);
  EXPECT_DOUBLE_EQ(perCell[0].slot[statslot::eAbsorbed].e, 2.0);
  EXPECT_EQ(w.task.cellDeposit[0], 0.0);
  w.task.cellStats = nullptr;
}

}  // namespace
