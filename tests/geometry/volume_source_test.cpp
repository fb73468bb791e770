// Points of a volume source: a shell 0.4 < r < 1 (a sphere cell with a smaller
// sphere listed after '#') sampled through the eight partial voxels of a grid
// at -1, 0, 1: the share of accepted points is the shell's share of the
// voxels' volume, and the accepted points are uniform in the shell.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/constants.h"
#include "core/randgen.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "geometry/geometry_tables.h"
#include "tests/geometry/geometry_test_surfaces.h"
#include "tests/geometry/geometry_test_world.h"

namespace {

using namespace test_world;

TEST(VolumeSource, PointsAreUniformInTheSourceCellWithoutItsExcludedCell) {
  World w;
  w.surf = {MakeSphere(Init(0, 0, 0), 1.0), MakeSphere(Init(0, 0, 0), 0.4)};
  w.AddCell({0}, {-1});
  w.AddCell({1}, {-1}, 0);
  const std::vector<double> grid = {-1, 0, 1};
  const std::vector<double> planes[3] = {grid, grid, grid};
  w.Build(planes, [](const double lo[3], const double hi[3], VoxelListing& vs) {
    for (int a = 0; a < 3; ++a)
      if (lo[a] < -1 || hi[a] > 1) vs.cells.clear();
  });
  std::vector<int32_t> partial;
  for (size_t v = 0; v < w.voxels.size(); ++v)
    if (w.voxels[v].nCells > 0) partial.push_back(static_cast<int32_t>(v));
  ASSERT_EQ(partial.size(), 8u);
  std::vector<double> cumulative(9);
  for (int i = 0; i <= 8; ++i) cumulative[i] = i;  // unit boxes

  const Constants saved = core::hostConstants;
  Constants& k = core::hostConstants;
  k.sourceCell = 0;
  k.source_nCompleteVoxels = 0;
  k.source_nPartialVoxels = 8;
  k.source_partialVoxels = partial.data();
  k.source_voxelVolumeSum = cumulative.data();
  k.source_startVoxel = 4;
  StoreGeometryTables(k, w.tables);
  auto t = std::make_unique<TASKSTATE>();
  CRandGen rng;
  t->rng = &rng;

  constexpr int kDraws = 200000;
  int accepted = 0;
  double sumR3 = 0.0;
  int perOctant[8] = {};
  for (int i = 0; i < kDraws; ++i) {
    VECTOR p;
    bool inside = false;
    SampleVolumePoint(*t, &p, &inside);
    if (!inside) continue;
    ++accepted;
    const double r = Norm(p);
    ASSERT_GE(r, 0.4);
    ASSERT_LE(r, 1.0);
    sumR3 += r * r * r;
    ++perOctant[(p.x > 0) + 2 * (p.y > 0) + 4 * (p.z > 0)];
  }
  core::hostConstants = saved;
  const double share = 4.0 / 3.0 * M_PI * (1.0 - 0.064) / 8.0;
  EXPECT_NEAR(accepted / double(kDraws), share, 4.0 * std::sqrt(share * (1 - share) / kDraws));
  // r^3 is uniform on [0.064, 1].
  EXPECT_NEAR(sumR3 / accepted, 0.532, 4.0 * 0.936 / std::sqrt(12.0 * accepted));
  for (int o = 0; o < 8; ++o) EXPECT_NEAR(perOctant[o], accepted / 8.0, 4.0 * std::sqrt(accepted / 8.0));
}

}  // namespace
