// Monte Carlo cell volumes against analytic volumes, the sharing of blocks
// among cells and workers, the block seeds, the voxel search, the first-point
// search of cells whose volume is not wanted, and the set-up progress line.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "geometry/cell_volumes.h"
#include "geometry/setup_progress.h"
#include "platform/threads.h"
#include "tests/geometry/geometry_test_world.h"

namespace {

using test_world::VoxelListing;
using test_world::World;

constexpr double kSigmas = 5.0;  // tolerance of an estimated volume: five binomial standard deviations

// The volume problem of a World: every bounded voxel that lists a cell is
// touched by it; the per-worker records and their arrays.
struct VolumeSetup {
  World world;
  std::vector<CELLUNION> unions;
  std::vector<std::vector<int16_t>> unionCells;
  std::vector<std::vector<int32_t>> cellVoxels;
  std::vector<std::vector<double>> cumulative;
  std::vector<int32_t> nCellVoxels;
  std::vector<const int32_t*> cellVoxelRows;
  std::vector<const double*> cumulativeRows;
  std::vector<double> total;
  std::vector<uint8_t> wanted;
  CellVolumeProblem problem{};

  // Per cell the bounded voxels that list it.
  void Finish(uint32_t blockSize, int64_t pointsPerCell, int32_t seed) {
    const int n = static_cast<int>(world.cells.size());
    cellVoxels.assign(n, {});
    cumulative.assign(n, {});
    total.assign(n, 0.0);
    for (int v = 0; v < static_cast<int>(world.voxels.size()); ++v) {
      const VOXEL& vx = world.voxels[v];
      const int first[3] = {vx.firstX, vx.firstY, vx.firstZ};
      bool bounded = true;
      double volume = 1.0;
      for (int a = 0; a < 3; ++a) {
        bounded = bounded && first[a] > 0 && first[a] < static_cast<int>(world.coord[a].size());
        if (bounded) volume *= world.coord[a][first[a]] - world.coord[a][first[a] - 1];
      }
      if (!bounded) continue;
      for (int s = 0; s < vx.nCells; ++s) {
        const int c = vx.cells[s];
        cellVoxels[c].push_back(v);
        cumulative[c].push_back(total[c]);
        total[c] += volume;
      }
    }
    for (int c = 0; c < n; ++c) {
      nCellVoxels.push_back(static_cast<int32_t>(cellVoxels[c].size()));
      cellVoxelRows.push_back(cellVoxels[c].data());
      cumulativeRows.push_back(cumulative[c].data());
    }
    wanted.assign(n, 1);
    for (auto& cells : unionCells) unions.push_back(CELLUNION{0, static_cast<uint16_t>(cells.size()), cells.data()});
    problem.geometry = world.tables;
    problem.unionData = unions.data();
    problem.nCells = n;
    problem.nCellVoxels = nCellVoxels.data();
    problem.cellVoxels = cellVoxelRows.data();
    problem.cellVoxelCumulative = cumulativeRows.data();
    problem.cellVoxelTotal = total.data();
    problem.volumeWanted = wanted.data();
    problem.RAND_BLOCK_SIZE = blockSize;
    problem.N_RAND_CELL_VOLUME = pointsPerCell;
    problem.N_RAND_SOURCE_VOLUME = 0;
    problem.sourcePositionType = 1;
    problem.sourceCell = 0;
    problem.SEED = seed;
  }
};

// One worker's record with its arrays.
struct WorkerRecord {
  std::vector<uint8_t> boxStarted;
  std::vector<int32_t> notYetHit;
  std::vector<uint64_t> hitCount;
  std::vector<VECTOR> hitMin, hitMax;
  VOLUMETHREADDATA data{};

  WorkerRecord(const CellVolumeProblem& p, int32_t thread, int32_t first, int32_t last,
               const std::vector<int32_t>& notYetHitTemplate)
      : boxStarted(p.nCells, 0), notYetHit(notYetHitTemplate), hitCount(p.nCells, 0), hitMin(p.nCells),
        hitMax(p.nCells) {
    data = VOLUMETHREADDATA{thread,           first,           last,          &p,           boxStarted.data(),
                            notYetHit.data(), hitCount.data(), hitMin.data(), hitMax.data(), 0,
                            0};
  }
};

// Combined results of a run.
struct VolumeResult {
  std::vector<double> volume;
  std::vector<uint64_t> hits;
  std::vector<VECTOR> boxMin, boxMax;
  std::vector<int32_t> notYetHit;
};

// Runs the job the way the driver does: workers 1 ... n - 1 on their own
// threads, worker 0 on this one, then a poll of the running flags.
VolumeResult RunWorkers(VolumeSetup& s, int32_t nWorkers) {
  CellVolumeProblem& p = s.problem;
  std::vector<std::atomic<uint8_t>> running(nWorkers);
  p.geomThreadRunning = running.data();
  const int64_t nBlocks = CellVolumeBlockCount(p);
  std::vector<int32_t> notYetHitTemplate(p.nCells, 1);
  std::vector<std::unique_ptr<WorkerRecord>> records;
  for (int32_t w = 0; w < nWorkers; ++w) {
    int32_t first = 0, last = 0;
    CellVolumeBlockRange(nBlocks, nWorkers, w, &first, &last);
    records.push_back(std::make_unique<WorkerRecord>(p, w, first, last, notYetHitTemplate));
  }
  for (int32_t w = 0; w < nWorkers; ++w) running[w].store(1, std::memory_order_release);
  for (int32_t w = 1; w < nWorkers; ++w)
    if (!StartThread(CellVolumeThread, &records[w]->data, w)) running[w].store(0, std::memory_order_release);
  CellVolumeThread(&records[0]->data);
  for (int32_t w = 0; w < nWorkers; ++w)
    while (running[w].load(std::memory_order_acquire) != 0) YieldThread();

  std::vector<VOLUMETHREADDATA> data;
  for (auto& r : records) data.push_back(r->data);
  VolumeResult out;
  out.volume.resize(p.nCells);
  out.hits.resize(p.nCells);
  out.boxMin.resize(p.nCells);
  out.boxMax.resize(p.nCells);
  out.notYetHit.resize(p.nCells);
  CombineCellVolumes(p, data.data(), nWorkers, nBlocks, out.volume.data(), out.hits.data(), out.boxMin.data(),
                     out.boxMax.data(), out.notYetHit.data());
  p.geomThreadRunning = nullptr;
  return out;
}

// Cells 0 (the box [-5, 5]^3 less cell 1) and 1 (a sphere of radius 3 at the
// origin, listed after '#' in cell 0); planes at -5, 0, 5 on every axis. With
// containedVoxels the box cell contains each bounded voxel (containerCell -2);
// otherwise it is tested with its six planes.
void BuildSphereInBox(World& w, bool containedVoxels) {
  const double lim = 5.0;
  const VECTOR axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<uint16_t> boxSurfaces;
  std::vector<int8_t> boxSenses;
  for (int a = 0; a < 3; ++a) {
    w.surf.push_back(MakePlane(-lim * axes[a], axes[a]));
    w.surf.push_back(MakePlane(lim * axes[a], axes[a]));
    boxSurfaces.push_back(static_cast<uint16_t>(2 * a));
    boxSurfaces.push_back(static_cast<uint16_t>(2 * a + 1));
    boxSenses.push_back(+1);
    boxSenses.push_back(-1);
  }
  w.surf.push_back(MakeSphere({0, 0, 0}, 3.0));
  const int box = w.AddCell(boxSurfaces, boxSenses);
  w.AddCell({6}, {-1}, box);
  const std::vector<double> planes[3] = {{-lim, 0, lim}, {-lim, 0, lim}, {-lim, 0, lim}};
  w.Build(planes, [&](const double lo[3], const double hi[3], VoxelListing& vs) {
    for (int a = 0; a < 3; ++a)
      if (!std::isfinite(lo[a]) || !std::isfinite(hi[a])) vs.cells.clear();
    if (!vs.cells.empty() && containedVoxels) vs.containerCell = -2;
  });
}

// Cells 0 (x + 2y < 2) and 1 (x + 2y > 2) of the box [0, 4] x [0, 2] x [0, 1];
// planes x = 0, 2, 4, y = 0, 1, 2, z = 0, 1. Cell 0 lies in the voxel
// [0, 2] x [0, 1] only.
void BuildSplitBox(World& w) {
  const double hi[3] = {4, 2, 1};
  const VECTOR axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  std::vector<uint16_t> s;
  std::vector<int8_t> boxSenses;
  for (int a = 0; a < 3; ++a) {
    w.surf.push_back(MakePlane({0, 0, 0}, axes[a]));
    w.surf.push_back(MakePlane(hi[a] * axes[a], axes[a]));
    s.push_back(static_cast<uint16_t>(2 * a));
    s.push_back(static_cast<uint16_t>(2 * a + 1));
    boxSenses.push_back(+1);
    boxSenses.push_back(-1);
  }
  w.surf.push_back(MakePlane({2, 0, 0}, (1.0 / std::sqrt(5.0)) * VECTOR{1, 2, 0}));
  std::vector<uint16_t> withCut = s;
  withCut.push_back(6);
  std::vector<int8_t> below = boxSenses, above = boxSenses;
  below.push_back(-1);
  above.push_back(+1);
  w.AddCell(withCut, below);
  w.AddCell(withCut, above);
  const std::vector<double> planes[3] = {{0, 2, 4}, {0, 1, 2}, {0, 1}};
  w.Build(planes, [&](const double lo[3], const double up[3], VoxelListing& vs) {
    bool bounded = true;
    for (int a = 0; a < 3; ++a) bounded = bounded && std::isfinite(lo[a]) && std::isfinite(up[a]);
    if (!bounded) {
      vs.cells.clear();
    } else if (!(lo[0] < 1.0 && lo[1] < 0.5)) {
      vs.cells = {1};
    }
  });
}

double BinomialSigma(double touchedVolume, double volume, double points) {
  const double p = volume / touchedVolume;
  return touchedVolume * std::sqrt(p * (1.0 - p) / points);
}

// ---- Volumes against analytic volumes ----

struct VolumeCase {
  const char* name;
  int geometry;               // 0 sphere in box (voxels tested), 1 sphere in box (contained voxels), 2 split box
  int32_t sourceBlocks;       // blocks of the volume source's cell per round (1 = no volume source)
  std::vector<double> exact;  // analytic volume per cell, cm^3
};

TEST(CellVolumes, EstimatesMatchAnalyticVolumesWithinFiveSigma) {
  const double sphere = 4.0 / 3.0 * M_PI * 27.0;
  const std::vector<VolumeCase> cases = {
      {"sphere in box, planes tested", 0, 1, {1000.0 - sphere, sphere}},
      {"sphere in box, containing cell", 1, 1, {1000.0 - sphere, sphere}},
      {"sphere in box, sphere is a volume source", 1, 3, {1000.0 - sphere, sphere}},
      {"box split by a plane", 2, 1, {1.0, 7.0}},
  };
  for (const VolumeCase& vc : cases) {
    SCOPED_TRACE(vc.name);
    VolumeSetup s;
    if (vc.geometry == 2) {
      BuildSplitBox(s.world);
    } else {
      BuildSphereInBox(s.world, vc.geometry == 1);
    }
    s.Finish(1000, 100000, 4711);
    if (vc.sourceBlocks > 1) {
      s.problem.sourcePositionType = kSourcePositionVolume;
      s.problem.sourceCell = 1;
      s.problem.N_RAND_SOURCE_VOLUME = vc.sourceBlocks * s.problem.N_RAND_CELL_VOLUME;
    }
    const VolumeResult r = RunWorkers(s, 2);
    for (int c = 0; c < 2; ++c) {
      const double points = (c == 1 ? vc.sourceBlocks : 1) * 100000.0;
      const double sigma = BinomialSigma(s.total[c], vc.exact[c], points);
      EXPECT_NEAR(r.volume[c], vc.exact[c], kSigmas * sigma) << "cell " << c;
      EXPECT_EQ(r.notYetHit[c], 0);
      // Every counted point lies in the cell's touched voxels.
      EXPECT_GE(r.boxMin[c].x, s.world.coord[0].front());
      EXPECT_LE(r.boxMax[c].x, s.world.coord[0].back());
    }
  }
}

TEST(CellVolumes, SplitBoxCellInOneVoxelGetsOnlyThatVoxel) {
  VolumeSetup s;
  BuildSplitBox(s.world);
  s.Finish(1000, 20000, 12);
  ASSERT_EQ(s.nCellVoxels[0], 1);
  ASSERT_EQ(s.nCellVoxels[1], 4);
  const VolumeResult r = RunWorkers(s, 1);
  // The counted points of cell 0 lie under x + 2y = 2.
  EXPECT_GE(r.boxMin[0].x, 0.0);
  EXPECT_LE(r.boxMax[0].x, 2.0);
  EXPECT_LE(r.boxMax[0].y, 1.0);
  EXPECT_GT(r.boxMax[1].x, 3.9);  // cell 1 reaches the far end of the box
}

TEST(CellVolumes, UnionVolumeIsCountedOnItsFirstMember) {
  VolumeSetup s;
  BuildSplitBox(s.world);
  s.world.cells[0].unionIndex = 0;
  s.world.cells[1].unionIndex = 0;
  s.unionCells = {{0, 1}};
  s.Finish(1000, 20000, 3);
  // The first member stands for the union: it is given the union's voxels.
  s.cellVoxelRows[0] = s.cellVoxelRows[1];
  s.cumulativeRows[0] = s.cumulativeRows[1];
  s.nCellVoxels[0] = s.nCellVoxels[1];
  s.total[0] = s.total[1];
  ASSERT_EQ(s.nCellVoxels[0], 4);
  const VolumeResult r = RunWorkers(s, 3);
  EXPECT_NEAR(r.volume[0], 8.0, 1e-9);  // every point lies in one member or the other
  EXPECT_EQ(r.volume[1], -1.0);         // a later member has no volume of its own
  EXPECT_EQ(r.hits[1], 0u);
}

// ---- Independence of the number of workers ----

TEST(CellVolumes, CountsDoNotDependOnTheNumberOfWorkers) {
  VolumeSetup s;
  BuildSphereInBox(s.world, false);
  s.Finish(100, 3000, 999);
  const VolumeResult one = RunWorkers(s, 1);
  for (int32_t workers : {2, 3, 7, 61}) {
    SCOPED_TRACE(workers);
    const VolumeResult r = RunWorkers(s, workers);
    for (int c = 0; c < 2; ++c) {
      EXPECT_EQ(r.hits[c], one.hits[c]);
      EXPECT_EQ(r.volume[c], one.volume[c]);
      EXPECT_EQ(std::memcmp(&r.boxMin[c], &one.boxMin[c], sizeof(VECTOR)), 0);
      EXPECT_EQ(std::memcmp(&r.boxMax[c], &one.boxMax[c], sizeof(VECTOR)), 0);
    }
  }
  EXPECT_GT(one.hits[1], 0u);
}

// ---- Blocks, seeds and the voxel search ----

TEST(CellVolumes, BlocksAreDealtToCellsWithExtraBlocksForTheSourceCell) {
  struct Case {
    int32_t nCells, sourceCell, k;
    std::vector<int32_t> cells;  // cells of blocks 0, 1, ...
  };
  const std::vector<Case> cases = {
      {5, 2, 3, {0, 1, 2, 2, 2, 3, 4, 0}},
      {5, 2, 1, {0, 1, 2, 3, 4, 0}},
      {3, 0, 2, {0, 0, 1, 2, 0, 0}},
      {3, 2, 2, {0, 1, 2, 2, 0}},
      {1, 0, 1, {0, 0}},
  };
  for (const Case& c : cases)
    for (size_t b = 0; b < c.cells.size(); ++b)
      EXPECT_EQ(CellOfBlock(static_cast<int64_t>(b), c.nCells, c.sourceCell, c.k), c.cells[b])
          << "cells " << c.nCells << " source " << c.sourceCell << " k " << c.k << " block " << b;
}

TEST(CellVolumes, BlockSeeds) {
  struct Case {
    int64_t block;
    int32_t seed, first, second;
  };
  const std::vector<Case> cases = {
      {30005, 100, 1, 105}, {29990, 100, 0, 9}, {0, 0, 0, 0}, {29999, 81, 0, 30080}, {29999, 82, 0, 0}, {60000, 7, 2, 7},
  };
  for (const Case& c : cases) {
    int32_t first = -1, second = -1;
    BlockSeeds(c.block, c.seed, &first, &second);
    EXPECT_EQ(first, c.first) << c.block << " " << c.seed;
    EXPECT_EQ(second, c.second) << c.block << " " << c.seed;
  }
}

TEST(CellVolumes, HalvingSearchFindsTheVoxelHoldingTheTarget) {
  const uint32_t seed = 20261210;
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int32_t count = 1; count <= 40; ++count)
    for (int trial = 0; trial < 50; ++trial) {
      std::vector<double> cum(count + 1, 0.0);
      for (int32_t i = 1; i <= count; ++i) cum[i] = cum[i - 1] + (unit(gen) < 0.2 ? 0.0 : unit(gen));  // some empty voxels
      if (cum[count] <= 0.0) continue;
      const double target = unit(gen) * cum[count];
      int32_t expected = 0;
      while (expected + 1 < count && cum[expected + 1] <= target) ++expected;
      EXPECT_EQ(FindVolumeEntry(cum.data(), count, target), expected)
          << "seed " << seed << " count " << count << " trial " << trial;
    }
}

TEST(CellVolumes, BlockRangesCoverAllBlocksOnce) {
  for (int64_t blocks : {0, 1, 7, 100}) {
    for (int32_t workers : {1, 2, 3, 8}) {
      int64_t next = 0;
      for (int32_t w = 0; w < workers; ++w) {
        int32_t first = 0, last = 0;
        CellVolumeBlockRange(blocks, workers, w, &first, &last);
        EXPECT_EQ(first, next);
        next = last + 1;
      }
      EXPECT_EQ(next, blocks) << blocks << " blocks, " << workers << " workers";
    }
  }
}

// ---- Cells whose volume is not wanted ----

// Points of a block of `cell` up to the first strictly inside `inside`.
int64_t PointsToFirstHit(const VolumeSetup& s, int64_t block, int32_t cell, bool (*inside)(VECTOR)) {
  CRandGen rng;
  int32_t first = 0, second = 0;
  BlockSeeds(block, s.problem.SEED, &first, &second);
  rng.RandomInitialise(first, second);
  for (int64_t n = 1; n <= s.problem.RAND_BLOCK_SIZE; ++n) {
    const int32_t v = SampleCellVoxel(s.problem, cell, rng);
    if (inside(SamplePointInVoxel(s.world.tables.grid, s.world.voxels[v], rng))) return n;
  }
  return -1;
}

TEST(CellVolumes, UnwantedCellStopsItsBlockAtTheFirstPointInside) {
  VolumeSetup s;
  BuildSphereInBox(s.world, false);
  s.Finish(1000, 4000, 321);
  s.wanted = {0, 0};
  std::atomic<uint8_t> running[1];
  s.problem.geomThreadRunning = running;

  // Blocks 0 (box cell) and 1 (sphere): each ends at its first point.
  WorkerRecord rec(s.problem, 0, 0, 1, {1, 1});
  running[0].store(1);
  CellVolumeThread(&rec.data);
  EXPECT_EQ(running[0].load(), 0);
  const int64_t box = PointsToFirstHit(s, 0, 0, [](VECTOR p) { return Norm(p) > 3.0 + 1e-9; });
  const int64_t ball = PointsToFirstHit(s, 1, 1, [](VECTOR p) { return Norm(p) < 3.0 - 1e-9; });
  ASSERT_GT(box, 0);
  ASSERT_GT(ball, 0);
  EXPECT_EQ(rec.data.pointsDone, box + ball);
  EXPECT_EQ(rec.data.pointsToDo, box + ball);
  EXPECT_EQ(rec.notYetHit, (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(rec.hitCount, (std::vector<uint64_t>{0, 0}));

  // Once both are found, their further blocks are skipped whole.
  rec.data.firstBlock = 2;
  rec.data.lastBlock = 5;
  running[0].store(1);
  CellVolumeThread(&rec.data);
  EXPECT_EQ(rec.data.pointsDone, 0);
  EXPECT_EQ(rec.data.pointsToDo, 0);
}

// ---- Progress line ----

TEST(SetupProgress, PrintsOnlyAfterMoreThanASecond) {
  struct Step {
    double now;          // clock, s
    const char* line;    // expected line, nullptr = none
  };
  const std::vector<Step> steps = {
      {10.5, nullptr},  // within the first second of the phase
      {11.0, nullptr},  // exactly one second is not more than one
      {11.25, "Defining the voxel data: 1 s (25.000 %)"},
      {12.2, nullptr},
      {12.26, "Defining the voxel data: 2 s (25.000 %)"},
  };
  SetupProgress st{};
  RestartSetupProgress(&st, 10.0, true);
  for (const Step& step : steps) {
    char line[kSetupLineCapacity];
    const int32_t n = ComposeSetupProgress(&st, step.now, kPhaseVoxelData, 1, 4, line);
    if (step.line == nullptr) {
      EXPECT_EQ(n, 0) << step.now;
    } else {
      EXPECT_EQ(std::string(line, n), step.line) << step.now;
    }
  }
}

TEST(SetupProgress, ShorterLineIsPaddedToThePreviousLength) {
  SetupProgress st{};
  RestartSetupProgress(&st, 0.0, true);
  char line[kSetupLineCapacity];
  const std::string first = "Preparing to calculate the cell volumes: 3 s (12.500 %)";
  ASSERT_EQ(ComposeSetupProgress(&st, 3.0, kPhasePrepareVolumes, 1, 8, line), static_cast<int32_t>(first.size()));
  EXPECT_EQ(std::string(line), first);

  // A new phase keeps the length; its shorter line covers the old one.
  RestartSetupProgress(&st, 3.0, false);
  const std::string second = "Merging voxels: 2 s (100.000 %)";
  const int32_t n = ComposeSetupProgress(&st, 5.0, kPhaseMergeVoxels, 7, 7, line);
  EXPECT_EQ(n, static_cast<int32_t>(first.size()));
  EXPECT_EQ(std::string(line), second + std::string(first.size() - second.size(), ' '));
  EXPECT_EQ(st.lastLineLength, static_cast<int32_t>(second.size()));  // the padding is not remembered

  // A longer line than the last is not padded; after a reset nothing is.
  RestartSetupProgress(&st, 5.0, true);
  EXPECT_EQ(ComposeSetupProgress(&st, 7.0, kPhaseCellVolumes, 0, 0, line),
            static_cast<int32_t>(std::strlen("Calculating the cell volumes: 2 s (0.000 %)")));
  EXPECT_EQ(std::string(line), "Calculating the cell volumes: 2 s (0.000 %)");
}

TEST(SetupProgress, PhaseTexts) {
  const char* expected[kSetupPhaseCount] = {
      "Checking if there are no intersecting cells", "Defining the voxel data", "Merging voxels",
      "Preparing to calculate the cell volumes", "Calculating the cell volumes"};
  for (int i = 0; i < kSetupPhaseCount; ++i) EXPECT_STREQ(geometry::kSetupPhaseText[i], expected[i]);
}

}  // namespace
