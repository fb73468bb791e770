// The set-up of a complex geometry: voxel data against a point oracle, the
// tiling of the merged voxels, Monte Carlo cell volumes against analytic
// volumes, results independent of the number of geometry workers, and the
// errors that end the set-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "core/physical_constants.h"
#include "driver/setup/constants_fill.h"
#include "driver/setup/geometry_reports.h"
#include "driver/setup/geometry_setup.h"
#include "driver/setup/setup_reports.h"
#include "geometry/geometry_tables.h"
#include "tests/directives/geometry_test_support.h"

namespace {

// A sphere with a smaller sphere inside, a cylinder and a cone cut by a
// plane, in a box of 20 cm; planes every 2.5 cm along each axis.
const double kConeHeight = 8.0, kConeHalfAngle = 20.0;
// volumePoints false: the fewest random points, for tests of the voxels.
std::vector<std::string> World(int threads, bool volumePoints = true) {
  return {"M1 29 1",
          "S1 RPP -10 10 -10 10 -10 10",
          "S2 S 0 0 0 3",
          "S3 S 0 0 0 1.5",
          "S4 RCC 5 5 -6 0 0 8 2",
          "S5 CO -5 -5 -9 0 0 1 20",
          "S6 P 0 0 1 -1",
          "C1 1 8.49e22 -3",
          "C2 1 8.49e22 -2 #1",
          "C3 1 8.49e22 -4",
          "C4 1 8.49e22 -5 -6",
          "C9 1 5e19 -1 #2 #3 #4",
          "COORD_X -10 8 10",
          "COORD_Y -10 8 10",
          "COORD_Z -10 8 10",
          volumePoints ? "N_RAND_CELL_VOLUME 200000" : "N_RAND_TOTAL_VOLUME 10000",
          "NTHREADS_GEOM " + std::to_string(threads)};
}

double ConeVolume() {
  const double r = kConeHeight * std::tan(kConeHalfAngle * kPi / 180.0);
  return kPi * r * r * kConeHeight / 3.0;
}

struct SETUPRUN {
  int code;
  std::string console;
};

SETUPRUN SetUpGeometry(const std::vector<std::string>& lines) {
  INPUTRUN run = RunLines(lines);
  if (run.code != 0) return {run.code, run.console};
  testing::internal::CaptureStdout();
  const int code = SetUpComplexGeometry();
  fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

// Whether p lies strictly inside cell c and outside its '#' cells.
bool InCell(int32_t c, VECTOR p) {
  const CELL& cell = directives::geometry.cell[static_cast<size_t>(c)];
  if (RegionSide(cell.nSurf, cell.surfaces, cell.senses, p) <= 0) return false;
  for (int k = 0; k < cell.innerCellCount; ++k) {
    const CELL& inner = directives::geometry.cell[static_cast<size_t>(cell.innerCells[k])];
    if (RegionSide(inner.nSurf, inner.surfaces, inner.senses, p) >= 0) return false;
  }
  return true;
}

int32_t SlabOf(const AXISPLANES& ax, double x) {
  return static_cast<int32_t>(std::upper_bound(ax.coord.begin(), ax.coord.end(), x) - ax.coord.begin());
}

int32_t VoxelOf(VECTOR p) {
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  const int32_t n[3] = {r.axis[0].nPlanes(), r.axis[1].nPlanes(), r.axis[2].nPlanes()};
  return r.voxels
      .index[static_cast<size_t>(BoxIndex(n, SlabOf(r.axis[0], p.x), SlabOf(r.axis[1], p.y), SlabOf(r.axis[2], p.z)))];
}

TEST(GeometrySetUp, EveryCellHoldingAPointIsListedInThePointsVoxel) {
  ASSERT_EQ(SetUpGeometry(World(4, false)).code, 0);
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> u(-11.0, 11.0);
  int64_t missing = 0, wrongContainer = 0;
  for (int i = 0; i < 1000000; ++i) {
    const VECTOR p{u(rng), u(rng), u(rng)};
    const VOXEL& v = setup::geometrySetUpResult.voxels.voxels[static_cast<size_t>(VoxelOf(p))];
    for (int32_t c = 0; c < directives::geometry.nCells; ++c) {
      if (!InCell(c, p)) continue;
      if (std::find(v.cells, v.cells + v.nCells, c) == v.cells + v.nCells) ++missing;
      if (v.containerCell >= 0 && v.containerCell != c) ++wrongContainer;
    }
  }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(wrongContainer, 0);
}

TEST(GeometrySetUp, MergedVoxelsTileTheGridOnce) {
  ASSERT_EQ(SetUpGeometry(World(3, false)).code, 0);
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  const int32_t n[3] = {r.axis[0].nPlanes(), r.axis[1].nPlanes(), r.axis[2].nPlanes()};
  std::vector<int> covered(r.voxels.index.size(), 0);
  for (size_t i = 0; i < r.voxels.voxels.size(); ++i) {
    const VOXEL& v = r.voxels.voxels[i];
    for (int x = v.firstX; x <= v.firstX + v.extraX; ++x)
      for (int y = v.firstY; y <= v.firstY + v.extraY; ++y)
        for (int z = v.firstZ; z <= v.firstZ + v.extraZ; ++z) {
          const size_t b = static_cast<size_t>(BoxIndex(n, x, y, z));
          ++covered[b];
          EXPECT_EQ(r.voxels.index[b], static_cast<int>(i));
        }
  }
  EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), static_cast<long>(covered.size()));
  EXPECT_LT(r.voxels.voxels.size(), covered.size());  // some boxes merged
}

// The voxel records as comparable lists.
std::vector<std::vector<int>> VoxelData() {
  std::vector<std::vector<int>> data;
  for (const VOXEL& v : setup::geometrySetUpResult.voxels.voxels) {
    std::vector<int> d = {v.containerCell, v.nSurf,  v.nCells, v.firstX, v.firstY,
                          v.firstZ,        v.extraX, v.extraY, v.extraZ};
    d.insert(d.end(), v.surfaces, v.surfaces + v.nSurf);
    d.insert(d.end(), v.cells, v.cells + v.nCells);
    for (int j = 0; j < v.nCells; ++j) {
      d.insert(d.end(), v.cellSurf[j], v.cellSurf[j] + v.nCellSurf[j]);
      d.insert(d.end(), v.cellSense[j], v.cellSense[j] + v.nCellSurf[j]);
    }
    data.push_back(d);
  }
  return data;
}

TEST(GeometrySetUp, VolumesFollowTheAnalyticVolumesAndDoNotDependOnTheWorkers) {
  ASSERT_EQ(SetUpGeometry(World(1)).code, 0);
  const std::vector<double> volume1 = setup::geometrySetUpResult.cellVolume;
  const std::vector<double> sigma = setup::geometrySetUpResult.cellVolumeSigma;
  const auto data1 = VoxelData();
  const SETUPRUN four = SetUpGeometry(World(4));
  ASSERT_EQ(four.code, 0) << four.console;
  EXPECT_EQ(setup::geometrySetUpResult.cellVolume, volume1);
  EXPECT_EQ(VoxelData(), data1);

  const double ball = 4.0 / 3.0 * kPi * 1.5 * 1.5 * 1.5;
  const double shell = 4.0 / 3.0 * kPi * 27.0 - ball;
  const double cylinder = kPi * 4.0 * 8.0;
  const struct {
    int id;
    double exact;
  } cases[] = {
      {1, ball}, {2, shell}, {3, cylinder}, {4, ConeVolume()}, {9, 8000.0 - ball - shell - cylinder - ConeVolume()}};
  for (const auto& c : cases) {
    const size_t i = static_cast<size_t>(FindCell(c.id));
    EXPECT_LT(std::fabs(volume1[i] - c.exact), 3.0 * sigma[i] + 1e-9) << "C" << c.id << " " << volume1[i];
    EXPECT_LT(std::fabs(volume1[i] / c.exact - 1.0), 0.01) << "C" << c.id;
  }
}

// Given volumes against the estimates, and a cell of whole voxels, whose
// volume is exact.
TEST(GeometrySetUp, GivenVolumesThatDifferFromTheEstimateDrawAWarning) {
  const std::vector<std::string> lines = {"M1 29 1",
                                          "S1 RPP -10 10 -10 10 -10 10",
                                          "S2 S 0 0 0 3",
                                          "S3 RPP 5 10 5 10 5 10",
                                          "C1 1 1 -2 VOL 100",
                                          "C2 1 1 -3 VOL 130",
                                          "C9 1 1 -1 #1 #2 VOL 7762",
                                          "COORD_X -10 8 10",
                                          "COORD_Y -10 8 10",
                                          "COORD_Z -10 8 10",
                                          "N_RAND_TOTAL_VOLUME 100000"};
  const SETUPRUN run = SetUpGeometry(lines);
  ASSERT_EQ(run.code, 0) << run.console;
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  // C2 fills whole voxels: its volume is exact, without random points.
  EXPECT_EQ(r.partialVolume[static_cast<size_t>(FindCell(2))], 0.0);
  EXPECT_DOUBLE_EQ(r.completeVolume[static_cast<size_t>(FindCell(2))], 125.0);
  EXPECT_NE(run.console.find("Warning: the user-specified volume of cell No. 2 differs from the estimated volume by "
                             "more than 1 % (the volumes are 130 and 125, respectively).\n"),
            std::string::npos)
      << run.console;
  // The ball's estimate (113.1) is far from 100: more than 1 % and 10 sigma.
  EXPECT_NE(run.console.find("Warning: the user-specified volume of cell No. 1 differs from the estimated volume by "
                             "more than"),
            std::string::npos)
      << run.console;
  // 8000 - 113.1 - 125 = 7761.9: within 1 % of 7762, no warning.
  EXPECT_EQ(run.console.find("cell No. 9"), std::string::npos) << run.console;
  EXPECT_DOUBLE_EQ(r.cellVolume[static_cast<size_t>(FindCell(1))], 100.0);
  EXPECT_EQ(r.cellVolumeSigma[static_cast<size_t>(FindCell(1))], 0.0);
}

TEST(GeometrySetUp, ErrorsThatEndTheSetUp) {
  const std::vector<std::string> base = {"M1 29 1", "S1 RPP -10 10 -10 10 -10 10", "S2 S 9 0 0 3"};
  const struct {
    std::vector<std::string> lines;
    std::string message;
  } cases[] = {
      {{base[0], base[1], base[2], "C1 1 1 -2", "C9 1 1 -1 #1"},
       "Geometry error: Cell 1 is not completely inside cell 9.\n"},
      {{base[0], base[1], "S2 S 0 0 0 3", "S3 S 2 0 0 3", "C1 1 1 -2", "C2 1 1 -3", "C9 1 1 -1 #1 #2"},
       "Geometry error: Cells 1 and 2 intersect.\n"},
      {{base[0], base[1], "S2 S 0 0 0 3", "S3 RPP 2 5 -1 1 -1 1", "C1 1 1 -2", "C2 1 1 -3", "C9 1 1 -1 #1 #2",
        "COORD_X -10 8 10", "COORD_Y -10 8 10", "COORD_Z -10 8 10"},
       "Geometry error: Cells 1 and 2 intersect.\n"},
      {{base[0], base[1], "C9 1 1 -1", "COORD_X -10 8 10", "COORD_X -10 4"},
       "Error: The starting values of two sets of X coordinate planes are equal to each other (-10).\n"},
      {{base[0], base[1], "C9 1 1 -1", "DISTANCE_PRECISION 1e-6", "COORD_Y -10 8 10", "COORD_Y -10.000000001 4"},
       "Error: The starting values of two sets of Y coordinate planes are too close to each other (-10.000000001 and "
       "-10).\n"},
      {{base[0], base[1], "C9 1 1 -1", "RAND_BLOCK_SIZE 300"},
       "Error: The number of random points for determining the cell volume (10000) is not a multiple of the block "
       "size (300).\n       Use the \"N_RAND_CELL_VOLUME\" keyword"},
  };
  for (const auto& c : cases) {
    const SETUPRUN run = SetUpGeometry(c.lines);
    EXPECT_EQ(run.code, 1) << c.message;
    EXPECT_NE(run.console.find(c.message), std::string::npos) << run.console;
  }
}

// A cell whose side against the planes is still open (-2) stays a candidate
// of the boxes it may reach, and the box analysis alone decides.
TEST(GeometrySetUp, CellsWithOpenPlaneSidesStayCandidates) {
  ASSERT_EQ(SetUpGeometry(World(1, false)).code, 0);
  GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  const int32_t ball = FindCell(1);
  for (AXISPLANES& ax : r.axis)
    for (int32_t p = 0; p < ax.nPlanes(); ++p)
      ax.cellSide[static_cast<size_t>(p) * directives::geometry.nCells + ball] = kSideOpen;
  VoxelDataProblem problem{};
  problem.analysis = AnalysisTables();
  problem.surf = directives::geometry.surf.data();
  problem.analysis.surf = problem.surf;
  problem.nSurfaces = directives::geometry.nSurfaces;
  for (int a = 0; a < 3; ++a) problem.axis[a] = &r.axis[a];
  problem.console = stdout;
  const struct {
    int32_t slab[3];
    bool listed;
  } cases[] = {{{4, 4, 4}, true}, {{5, 5, 5}, true}, {{4, 5, 4}, true}, {{1, 1, 1}, false}, {{7, 4, 4}, false}};
  for (const auto& c : cases) {
    BOXRECORD box;
    double precision = directives::geometryPrecision.distancePrecision;
    ClassifyBox(problem, 0, c.slab[0], c.slab[1], c.slab[2], &precision, &box);
    const bool listed = std::find(box.cells.begin(), box.cells.end(), ball) != box.cells.end();
    EXPECT_EQ(listed, c.listed) << c.slab[0] << " " << c.slab[1] << " " << c.slab[2];
  }
}

TEST(GeometrySetUp, TheConstantsRecordCarriesTheGeometryTables) {
  std::vector<std::string> lines = World(2, false);
  lines.push_back("SOURCE_POSITION 3 2");
  ASSERT_EQ(SetUpGeometry(lines).code, 0);
  Constants k{};
  FillComplexGeometryConstants(k);
  const GEOMETRYSETUPRESULT& r = setup::geometrySetUpResult;
  for (int b = 0; b < 16; ++b) EXPECT_EQ(k.bitMask[b], 1u << b);
  EXPECT_EQ(k.nVoxels2, static_cast<int32_t>(r.voxels.voxels.size()));
  EXPECT_EQ(k.voxels2, r.voxels.voxels.data());
  EXPECT_EQ(k.nSmax_voxel, TrackerSizes().nSmax_voxel);
  EXPECT_GE(k.nSmax_voxel, 2 * r.voxels.nSmax_voxel);
  EXPECT_EQ(k.nXplanesTot, 9);
  EXPECT_EQ(k.nXsets, 3);
  EXPECT_DOUBLE_EQ(k.xCoord[4], 0.0);
  EXPECT_EQ(k.nSurfaces, directives::geometry.nSurfaces);
  EXPECT_EQ(k.surf, directives::geometry.surf.data());
  // The tracker's view of the same tables.
  EXPECT_EQ(geometry::hostGeometryTables.grid.voxels, r.voxels.voxels.data());
  EXPECT_EQ(geometry::hostGeometryTables.grid.voxel2index, k.voxel2index);
  EXPECT_EQ(geometry::hostGeometryTables.grid.nXplanesTot, 9);
  EXPECT_EQ(geometry::hostGeometryTables.cells, directives::geometry.cell.data());
  // Every box's voxel through the record's voxel2index.
  for (int x = 0; x <= 9; ++x)
    for (int y = 0; y <= 9; ++y)
      for (int z = 0; z <= 9; ++z) {
        const int32_t n[3] = {9, 9, 9};
        EXPECT_EQ(k.voxel2index[x][y][z], r.voxels.index[static_cast<size_t>(BoxIndex(n, x, y, z))]);
      }
  // The volume source's tables: complete then partial voxels, the cumulative volume ends at their sum.
  EXPECT_FALSE(r.sourcePartialVoxels.empty());
  EXPECT_EQ(r.sourceCumulative.size(), r.sourcePartialVoxels.size() + r.sourceCompleteVoxels.size() + 1);
  EXPECT_NEAR(r.sourceCumulative.back(),
              r.partialVolume[static_cast<size_t>(FindCell(2))] + r.completeVolume[static_cast<size_t>(FindCell(2))],
              1e-9);
  EXPECT_LT(r.sourceCumulative[static_cast<size_t>(r.sourceStartVoxel)], 0.5 * r.sourceCumulative.back());
  EXPECT_GE(r.sourceCumulative[static_cast<size_t>(r.sourceStartVoxel) + 1], 0.5 * r.sourceCumulative.back());
}

TEST(GeometrySetUp, TheBeamOfAPointSourceEntersTheFirstCellOnItsPath) {
  const struct {
    std::string source;
    int cell;      // identifier of the entered cell, 0 none
    VECTOR entry;  // entry point
  } cases[] = {
      {"SOURCE_POSITION 1 0 0 -20", 9, {0, 0, -10}},  // from outside into the box
      {"SOURCE_POSITION 1 0 0 -5", 9, {0, 0, -5}},    // starts inside the box
      {"SOURCE_POSITION 1 0 0 0", 1, {0, 0, 0}},      // starts inside the inner ball
      {"SOURCE_POSITION 1 5 5 -20", 9, {5, 5, -10}},  // enters the box below the cylinder
      {"SOURCE_POSITION 1 20 0 -20", 0, {}},          // passes beside the box
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = World(2, false);
    lines.push_back(c.source);
    lines.push_back("SOURCE_DIRECTION 1 0 0 1");
    ASSERT_EQ(SetUpGeometry(lines).code, 0) << c.source;
    testing::internal::CaptureStdout();
    const Status code = CheckSourceInGeometry();
    const std::string console = testing::internal::GetCapturedStdout();
    if (c.cell == 0) {
      EXPECT_EQ(code, kInputError) << c.source;
      EXPECT_EQ(console, "Error: The incident beam does not hit any cell.\n");
      continue;
    }
    const VOXEL& v = setup::geometrySetUpResult.voxels.voxels[static_cast<size_t>(setup::sourceEntry.entryVoxel)];
    ASSERT_GE(setup::sourceEntry.entryCell, 0) << c.source;
    EXPECT_EQ(directives::geometry.cell[v.cells[setup::sourceEntry.entryCell]].number, c.cell) << c.source;
    EXPECT_TRUE(
        Near(Init(setup::sourceEntry.entry_X, setup::sourceEntry.entry_Y, setup::sourceEntry.entry_Z), c.entry, 1e-9))
        << c.source;
  }
}

}  // namespace
