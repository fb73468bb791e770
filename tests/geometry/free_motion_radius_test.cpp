// Free-motion radius: the largest sphere about a point that no surface of the
// point's cell, or of the cells it encloses, cuts within the voxel.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "geometry/free_motion_radius.h"
#include "tests/geometry/geometry_test_surfaces.h"

namespace {

constexpr double kDistancePrecision = 1e-12;

// Surfaces: 0 sphere r 5 at the origin, 1 plane x = 5, 2 sphere r 1 at (-3, 0, 0),
// 3 sphere r 0.5 at (1.5, 0, 0). Cells: 0 outer (sphere 0), 1 inside cell 0
// (sphere 2), 2 its own cell elsewhere (plane 1), 3 inside cell 2 (sphere 3).
struct Scene {
  SURFACE surf[4] = {MakeSphere(Init(0, 0, 0), 5.0), MakePlane(Init(5, 0, 0), Init(1, 0, 0)),
                     MakeSphere(Init(-3, 0, 0), 1.0), MakeSphere(Init(1.5, 0, 0), 0.5)};
  CELL cells[4] = {};
  uint16_t cellIndex[4] = {0, 1, 2, 3};
  uint16_t nCellSurf[4] = {1, 1, 1, 1};
  uint16_t lists[4][1] = {{0}, {2}, {1}, {3}};
  uint16_t* cellSurf[4] = {lists[0], lists[1], lists[2], lists[3]};
  VOXEL voxel = {};
  Scene() {
    for (CELL& c : cells) c.unionIndex = -1;
    cells[0].innerCellCount = 1;
    cells[1].enclosingCell = 0;
    cells[2].innerCellCount = 1;
    cells[3].enclosingCell = 2;
    voxel.nCells = 4;
    voxel.cells = cellIndex;
    voxel.nCellSurf = nCellSurf;
    voxel.cellSurf = cellSurf;
  }
  double Radius(VECTOR p, int slot) { return FreeMotionRadiusAt(surf, cells, voxel, p, slot, kDistancePrecision); }
};

TEST(FreeMotionRadius, OwnAndInnerSurfaces) {
  Scene s;
  EXPECT_DOUBLE_EQ(s.Radius(Init(1, 0, 0), 0), 3.0) << "own sphere 4 away, inner sphere 3 away";
  EXPECT_DOUBLE_EQ(s.Radius(Init(1, 0, 0), 1), 3.0) << "inner cell: only its own sphere";
  EXPECT_EQ(s.Radius(Init(-2, 0, 0), 0), 0.0) << "on the inner cell's surface";
  EXPECT_EQ(s.Radius(Init(0, 0, 5), 0), 0.0) << "on its own surface, whatever the others give";

  s.cells[1].enclosingCell = -1;  // no longer inside cell 0
  EXPECT_DOUBLE_EQ(s.Radius(Init(1, 0, 0), 0), 4.0) << "sphere of radius 5, point at (1, 0, 0)";
  s.nCellSurf[0] = 0;
  EXPECT_EQ(s.Radius(Init(1, 0, 0), 0), -1.0) << "no surface of the cell in the voxel";
}

TEST(FreeMotionRadius, InnerCellsOfAUnionMember) {
  Scene s;
  s.cells[0].unionIndex = 7;
  s.cells[2].unionIndex = 7;  // cell 3 is enclosed by a member of cell 0's union
  EXPECT_DOUBLE_EQ(s.Radius(Init(0.5, 0, 0), 0), 0.5) << "sphere 3 is 0.5 away";
  s.cells[2].unionIndex = 8;
  EXPECT_DOUBLE_EQ(s.Radius(Init(0.5, 0, 0), 0), 2.5) << "inner sphere 2 is 2.5 away";
}

// Random points in cell 0: no surface that counts changes sign inside the ball
// of the returned radius, and one of them is reached at the radius.
TEST(FreeMotionRadius, BallTouchesButDoesNotCrossTheCountedSurfaces) {
  const uint64_t baseSeed = 0x5eed2105;
  for (int k = 0; k < 200; ++k) {
    const uint64_t seed = baseSeed + k;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> box(-4.9, 4.9), unit(-1.0, 1.0);
    Scene s;
    const VECTOR p = Init(box(rng), box(rng), box(rng));
    const int counted[] = {0, 2};  // cell 0's sphere and its inner cell's
    const double r = s.Radius(p, 0);
    ASSERT_GT(r, 0.0);
    bool touched = false;
    for (int i = 0; i < 2000; ++i) {
      VECTOR d;
      do d = Init(unit(rng), unit(rng), unit(rng));
      while (Norm(d) > 1.0 || Norm(d) < 1e-3);
      const VECTOR inside = p + (r * (1 - 1e-9) / Norm(d)) * d;
      for (int j : counted) {
        const double f0 = DistanceToSurface(&p, &s.surf[j]);
        EXPECT_EQ(f0 < 0, DistanceToSurface(&inside, &s.surf[j]) < 0);
      }
    }
    // The nearest surface is touched along its normal through p.
    for (int j : counted) {
      const double f0 = DistanceToSurface(&p, &s.surf[j]);
      if (std::fabs(std::fabs(f0) - r) > 1e-12) continue;
      VECTOR n;
      SurfaceNormal(&n, &s.surf[j], p, kDistancePrecision);
      const VECTOR beyond = p - (f0 * (1 + 1e-9)) * n;
      touched = touched || (DistanceToSurface(&beyond, &s.surf[j]) < 0) != (f0 < 0);
    }
    EXPECT_TRUE(touched);
  }
}

}  // namespace
