// Transport through the cells of the complex geometry with real ENDF/B data:
// a slab cut into cells (one voxel holding every cell as a candidate) against
// the same slab as the simple geometry's layer, energy conservation history
// by history with per-cell cutoffs and a void cell, and per-cell statistics
// that add up to the overall ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "tests/geometry/geometry_test_world.h"
#include "tests/tallies/tally_fixture.h"
#include "tests/transport/cell_slab.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/photon_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

constexpr double kCuAtomsPerCm3 = 8.96 * 6.02214076e23 / 63.546;
constexpr double kPbAtomsPerCm3 = 11.35 * 6.02214076e23 / 207.2;
constexpr double kAlAtomsPerCm3 = 2.699 * 6.02214076e23 / 26.9815;

// The beam entry of a point source with a fixed direction, as the set-up
// finds it: from (0, 0, -1) along +z into the slab.
void SetBeamEntry(CTask& task) {
  ASSERT_TRUE(AllocateTrackerWork(task.tracker, 64, 64, 256));
  double distance = 0.0;
  ASSERT_TRUE(StoreBeamEntry(task, Init(0, 0, -1), Init(0, 0, 1), &distance));
  EXPECT_NEAR(distance, 1.0, 1e-12);
}

// Positrons that left the geometry in the current history (their 2 m c^2
// leaves with them; the escape statistics hold the kinetic energy only).
int positronEscapes = 0;

int32_t CountingStep(CTask& t) {
  const bool positron = t.kind == kPositron;
  // The escaped flag also ends a particle cut off on entering a cell: the
  // overall escape count tells the two apart.
  const uint64_t escapesBefore = t.stats->slot[statslot::nElectronEscapes].n;
  const int32_t result = IsPhoton(t.kind) ? t.PhotonStep() : t.ElectronStep();
  if (positron && t.stats->slot[statslot::nElectronEscapes].n != escapesBefore) ++positronEscapes;
  return result;
}

// Runs `histories` histories, each on a stream of its own seed, and returns
// the record's statistics.
INTERACTIONSTATS RunHistories(CTask& task, int histories) {
  STREAMTABLES tables;
  for (int h = 0; h < histories; ++h) {
    DealStreams(tables, 1, 1, h + 1);
    GiveStreams(task, 0, 1, 1);
    task.RunHistories();
    EXPECT_EQ(task.fatalError.load(), 0);
  }
  return *task.stats;
}

// |a - b| within 4 sigma of two independent Poisson counts.
void ExpectSameCount(uint64_t a, uint64_t b, const char* what) {
  const double sigma = std::sqrt(static_cast<double>(a + b) + 1.0);
  EXPECT_LE(std::fabs(static_cast<double>(a) - static_cast<double>(b)), 4.0 * sigma)
      << what << ": " << a << " vs " << b;
}

// ---------------------------------------------------------------------------

// The same slab as the simple geometry's layer and as three cells of one
// material: the counts of escapes and interactions agree within 4 sigma, and
// so does the absorbed energy.
TEST(CellTransport, SlabOfCellsMatchesTheLayer) {
  struct CASE {
    const char* name;
    int z;
    double atoms, w, E;
    uint8_t part;
    int histories;
  } cases[] = {{"662 keV photons on 1 cm Pb", 82, kPbAtomsPerCm3, 1.0, 662e3, kPhoton, 4000},
               {"1 MeV electrons on 2 mm Al", 13, kAlAtomsPerCm3, 0.2, 1e6, kElectron, 400}};
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.name);
    const int z[1] = {c.z};
    const double one[1] = {1.0};
    INTERACTIONSTATS result[2];
    for (int complex = 0; complex < 2; ++complex) {
      ELECTRONPROBLEM problem;
      problem.comptonProfiles = true;
      ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, c.atoms, c.w, c.E, 1e4, 1e4, 0.0));
      SetPhotonOptions(problem.elements, problem.nElements);
      core::hostConstants.part = c.part;
      CELLSLAB slab;
      const double third = c.w / 3.0;
      if (complex != 0)
        BuildCellSlab(slab, problem.cell, {{third, 0, 1e4, 1e4}, {third, 0, 1e4, 1e4}, {c.w - 2 * third, 0, 1e4, 1e4}});
      // The worker's bank keeps the particles' cells only when the worker is
      // made after the geometry, as the program makes it.
      auto task = std::make_unique<CTask>();
      if (complex != 0) SetBeamEntry(*task);
      task->stepOverride = CountingStep;
      result[complex] = RunHistories(*task, c.histories);
    }
    const STATSLOT* a = result[0].slot;
    const STATSLOT* b = result[1].slot;
    ExpectSameCount(a[statslot::nPhotonEscapes].n, b[statslot::nPhotonEscapes].n, "photon escapes");
    ExpectSameCount(a[statslot::nElectronEscapes].n, b[statslot::nElectronEscapes].n, "electron escapes");
    ExpectSameCount(a[statslot::nCompton].n, b[statslot::nCompton].n, "Compton events");
    ExpectSameCount(a[statslot::nCapture].n, b[statslot::nCapture].n, "photoelectric events");
    ExpectSameCount(a[statslot::nElectroionization].n, b[statslot::nElectroionization].n, "ionizations");
    // Absorbed energy per history: the spread of one history is at most E.
    const double sigma = c.E * std::sqrt(2.0 / c.histories);
    EXPECT_NEAR(a[statslot::eAbsorbed].e / c.histories, b[statslot::eAbsorbed].e / c.histories, 4.0 * sigma);
    EXPECT_EQ(b[statslot::nHistoriesDone].n, static_cast<uint64_t>(c.histories));
  }
}

// Energy sums of a history that the balance needs, eV.
struct LEDGER {
  double source = 0.0, deposit = 0.0, escaped = 0.0, belowCut = 0.0;
};

LEDGER Read(const CTask& task) {
  const STATSLOT* s = task.stats->slot;
  LEDGER l;
  l.source = s[statslot::eSourceElectrons].e + s[statslot::eSourcePhotons].e;
  l.deposit = s[statslot::eAbsorbed].e + s[statslot::eHistoryDeposit].e;
  l.escaped = s[statslot::ePhotonEscapes].e + s[statslot::eElectronEscapes].e;
  l.belowCut = s[statslot::ePhotonCutoff].e;
  if (task.cellStats != nullptr) {
    // With per-cell statistics the photons cut off are counted in the cells.
    for (int c = 0; c < core::hostConstants.nCells; ++c)
      l.belowCut += task.cellStats[c].slot[statslot::ePhotonCutoff].e;
  }
  return l;
}

// Cells of copper with their own cutoffs, a void cell between them, every
// process and secondary followed (the Gaussian walk in one case): the energy
// of each history is deposited, carried out or cut off, and nothing else.
TEST(CellTransport, EnergyIsConservedHistoryByHistoryWithPerCellCutoffs) {
  struct CASE {
    uint8_t part;
    double diffusionThreshold;
    bool perCell;
  } cases[] = {{kElectron, 1e18, false}, {kPositron, 1e18, true}, {kPhoton, 1e18, true}, {kElectron, 30.0, true}};
  const std::vector<LAYERSPEC> layers = {
      {0.01, 0, 1e4, 1e4}, {0.01, 0, 1e5, 3e5}, {0.02, -1, 1e4, 1e4}, {0.02, 0, 2e4, 1e3}, {0.3, 0, 1e4, 2e5}};
  constexpr double E0 = 1e6;
  constexpr int kHistories = 200;
  for (const CASE& c : cases) {
    SCOPED_TRACE(::testing::Message() << "source kind " << int(c.part) << " diffusion " << c.diffusionThreshold);
    ELECTRONPROBLEM problem;
    problem.comptonProfiles = true;
    const int z[1] = {29};
    const double one[1] = {1.0};
    ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.36, E0, 1e4, 1e4, 0.0));
    SetPhotonOptions(problem.elements, problem.nElements);
    Constants& k = core::hostConstants;
    k.part = c.part;
    k.diffusion_totalToInelasticRatio_thr = c.diffusionThreshold;
    k.outputCellInteractionStats = c.perCell ? 1 : 0;
    const double restEn2 = 2.0 * k.restEn;
    CELLSLAB slab;
    BuildCellSlab(slab, problem.cell, layers);
    auto task = std::make_unique<CTask>();
    std::vector<INTERACTIONSTATS> cellStats(layers.size());
    if (c.perCell) task->cellStats = cellStats.data();
    SetBeamEntry(*task);
    task->stepOverride = CountingStep;
    STREAMTABLES tables;
    for (int h = 0; h < kHistories; ++h) {
      DealStreams(tables, 1, 1, h + 1);
      GiveStreams(*task, 0, 1, 1);
      positronEscapes = 0;
      const LEDGER before = Read(*task);
      task->RunHistories();
      ASSERT_EQ(task->fatalError.load(), 0);
      const LEDGER after = Read(*task);
      const double source = after.source - before.source + (c.part == kPositron ? restEn2 : 0.0);
      const double deposit = after.deposit - before.deposit;
      const double escaped = after.escaped - before.escaped + restEn2 * positronEscapes;
      const double belowCut = after.belowCut - before.belowCut;
      ASSERT_NEAR(deposit + escaped + belowCut, source, 1e-9 * source)
          << "history " << h << ": deposit " << deposit << " escaped " << escaped << " below cutoff " << belowCut;
      ASSERT_GE(deposit, -1e-9 * source) << "history " << h;
    }
    EXPECT_EQ(task->stats->slot[statslot::nHistoriesDone].n, static_cast<uint64_t>(kHistories));
    if (c.perCell) {
      // The cells' absorbed energies add up to the overall one; the void
      // cell absorbs nothing and sees no interaction.
      double absorbed = 0.0;
      for (const INTERACTIONSTATS& s : cellStats) absorbed += s.slot[statslot::eAbsorbed].e;
      EXPECT_NEAR(absorbed, task->stats->slot[statslot::eAbsorbed].e, 1e-9 * E0 * kHistories);
      EXPECT_EQ(cellStats[2].slot[statslot::eAbsorbed].e, 0.0);
      EXPECT_EQ(cellStats[2].slot[statslot::nCompton].n + cellStats[2].slot[statslot::nElastic].n, 0u);
      EXPECT_GT(cellStats[2].slot[c.part == kPhoton ? statslot::nPhotonEntries : statslot::nElectronEntries].n, 0u);
      task->cellStats = nullptr;
    }
  }
}

// The run's totals fold the per-cell records into the overall one (all but
// the source, absorbed-energy and escape slots, which the overall record
// keeps itself): with the same histories, the fold with per-cell statistics
// gives the overall record of a run without them.
TEST(CellTransport, PerCellStatisticsAddUpToTheOverallStatistics) {
  using namespace statslot;
  const std::vector<LAYERSPEC> layers = {{0.02, 0, 1e4, 1e4}, {0.02, -1, 1e4, 1e4}, {0.1, 0, 5e4, 5e4}};
  // The slots the overall record keeps itself, and those only a cell has
  // (entries, and source particles leaving it across a boundary).
  const int kOverallOwn[] = {eSourceElectrons, eSourcePhotons,           eAbsorbed,
                             nSourceElectrons, nSourcePhotons,           nPhotonEscapes,
                             nElectronEscapes, WeightOf(nPhotonEscapes), WeightOf(nElectronEscapes),
                             ePhotonEscapes,   eElectronEscapes};
  const int kCellOwn[] = {
      nPhotonEntries,       nElectronEntries,      WeightOf(nPhotonEntries), WeightOf(nElectronEntries),
      ePhotonEntries,       eElectronEntries,      nSourceEscapePhotons,     nSourceEscapeElectrons,
      eSourceEscapePhotons, eSourceEscapeElectrons};
  for (uint8_t part : {kElectron, kPhoton}) {
    SCOPED_TRACE(::testing::Message() << "source kind " << int(part));
    INTERACTIONSTATS overall[2];
    std::vector<INTERACTIONSTATS> cellStats(layers.size());
    for (int perCell = 0; perCell < 2; ++perCell) {
      ELECTRONPROBLEM problem;
      problem.comptonProfiles = true;
      const int z[1] = {29};
      const double one[1] = {1.0};
      ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.14, 1e6, 1e4, 1e4, 0.0));
      SetPhotonOptions(problem.elements, problem.nElements);
      core::hostConstants.part = part;
      core::hostConstants.outputCellInteractionStats = static_cast<uint8_t>(perCell);
      CELLSLAB slab;
      BuildCellSlab(slab, problem.cell, layers);
      auto task = std::make_unique<CTask>();
      if (perCell != 0) task->cellStats = cellStats.data();
      SetBeamEntry(*task);
      overall[perCell] = RunHistories(*task, 100);
      task->cellStats = nullptr;
    }
    for (int slot = 0; slot < kSlotCount; ++slot) {
      bool overallOwn = false, cellOwn = false;
      for (int l : kOverallOwn) overallOwn = overallOwn || l == slot;
      for (int l : kCellOwn) cellOwn = cellOwn || l == slot;
      if (cellOwn) continue;
      const bool count = slot >= nSourceElectrons && slot < WeightOf(nKnockOn);  // slots 3..50 hold counts
      double folded = count ? static_cast<double>(overall[1].slot[slot].n) : overall[1].slot[slot].e;
      if (!overallOwn) {
        for (const INTERACTIONSTATS& s : cellStats)
          folded += count ? static_cast<double>(s.slot[slot].n) : s.slot[slot].e;
      }
      const double expected = count ? static_cast<double>(overall[0].slot[slot].n) : overall[0].slot[slot].e;
      EXPECT_NEAR(folded, expected, 1e-9 * (std::fabs(expected) + 1.0)) << "slot " << slot;
    }
  }
}

// A photon tally plane on the boundary z = 0.1 between a copper cell and a
// cell of a second material (so that steps end on the boundary): a
// cell-entry tally counting entries and exits of the second cell across that
// surface bins every crossing the plane tally bins, and no crossing twice.
TEST(CellTransport, CellEntryTallyMatchesPlaneCrossingsOnTheSameSurface) {
  ELECTRONPROBLEM problem;
  problem.comptonProfiles = true;
  const int z[1] = {29};
  const double one[1] = {1.0};
  ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.4, 1e6, 1e4, 1e4, 0.0));
  SetPhotonOptions(problem.elements, problem.nElements);
  Constants& k = core::hostConstants;
  k.part = kPhoton;
  MATERIAL materials[2] = {problem.material, problem.material};
  k.material = materials;
  k.nMaterials = 2;
  CELLSLAB slab;
  BuildCellSlab(slab, problem.cell, {{0.1, 0, 1e4, 1e4}, {0.3, 1, 1e4, 1e4}});

  TallyFixture f;
  const int range = f.AddRange(kQuantityE, "E", 0.0, 1.0e6, 20);
  PLANETALLY& plane = f.AddPlane(kPhotonTallies, Init(0, 0, 0.1), Init(0, 0, 1), Init(1, 0, 0));
  f.Add1D(kPhotonTallies, plane, kQuantityE, range);
  f.Finish(kPhotonTallies, plane);
  CELLENTRYTALLY entry{};
  entry.number = 1;
  for (uint8_t& o : entry.orgEnabled) o = 1;
  entry.entryType = kCountBoth;
  entry.nEnergyRanges = 1;
  entry.energyRange[0] = range;
  f.cellEntry[kPhotonTallies].push_back(entry);
  f.Install();
  // Cell 1 lists the tally at slot 1 + 1: its boundary surface 1 (z = 0.1).
  const uint16_t counts[3] = {0, 0, 1};
  const uint16_t tallyList[1] = {0};
  const uint16_t* lists[3] = {nullptr, nullptr, tallyList};
  CELLENTRYSITE sites[2] = {};
  for (CELLENTRYSITE& site : sites) {
    site.unionIndex = -1;
    site.enclosingCell = -1;
  }
  sites[1].hasCellEntry[kPhotonTallies] = 1;
  sites[1].nEntrySlots = 3;
  sites[1].cellEntryCount[kPhotonTallies] = counts;
  sites[1].cellEntryList[kPhotonTallies] = lists;
  core::hostTallyTables.cellEntrySites = sites;
  core::hostTallyTables.nCells = 2;

  auto task = std::make_unique<CTask>();
  AllocateTaskTallies(*task, core::hostTallyTables, false);
  SetBeamEntry(*task);
  RunHistories(*task, 300);
  uint64_t planeCount = 0, entryCount = 0;
  for (int b = 0; b < 20; ++b) {
    // Crossings along the normal count +1 in the first half, against it -1 in the second.
    const int64_t crossings =
        task->oneDimTallies[kPhotonTallies][0][b] - task->oneDimTallies[kPhotonTallies][0][20 + b];
    const int64_t entries = task->cellEntryHist[kPhotonTallies][0][0][b];
    EXPECT_EQ(crossings, entries) << "bin " << b;
    planeCount += static_cast<uint64_t>(crossings);
    entryCount += static_cast<uint64_t>(entries);
  }
  EXPECT_EQ(planeCount, entryCount);
  EXPECT_GT(planeCount, 300u);  // every source photon crosses, many scattered ones back
  EXPECT_EQ(task->unresolvedCellEntries, 0u);
  FreeTaskTallies(*task, core::hostTallyTables);
  core::hostTallyTables = TALLYTABLES{};
}

}  // namespace
