// Slab lookup along an axis, voxel of a point and distance to the voxel's faces.
#include <gtest/gtest.h>

#include <cmath>

#include "geometry/voxel_lookup.h"

namespace {

constexpr double kDistancePrecision = 1e-12;

// Along x: planes 0..4 at 0, 1, 2, 3, 4 (one set of five) and plane 5 at 5.
const PLANESET kXSets[] = {{0, 0, 0, 0}, {0.0, 1.0, 0, 5}, {5.0, 0.0, 5, 1}};
const double kXCoord[] = {0, 1, 2, 3, 4, 5};

TEST(FindPlaneSlab, CoordinatesOnAndBetweenPlanes) {
  struct Case {
    double x;
    bool up;
    int slab;
  } cases[] = {
      {2.5, true, 3}, {2.5, false, 3},  // between planes 2 and 3
      {2.0, true, 3}, {2.0, false, 2},  // on plane 2: the slab the ray heads into
      {0.0, false, 0},                  // on the first set's start, heading down: below all planes
      {5.0, false, 5}, {5.0, true, 6},  // on the single last plane
      {-3.0, true, 0}, {7.0, false, 6}, // below and above all planes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindPlaneSlab(kXSets, 3, c.x, c.up, kDistancePrecision), c.slab) << c.x << (c.up ? " up" : " down");
  }
  EXPECT_EQ(FindPlaneSlab(kXSets, 1, 123.0, true, kDistancePrecision), 0) << "an axis without planes";
}

// 1/3 is stored a little small, so 0.9999999999999999 / spacing rounds to 3:
// the slab must stay in the set below the plane at 1.
TEST(FindPlaneSlab, RoundedQuotientStaysInItsSet) {
  const PLANESET sets[] = {{0, 0, 0, 0}, {0.0, 1.0 / 3.0, 0, 3}, {1.0, 0.0, 3, 1}};
  const double justBelow = std::nextafter(1.0, 0.0);
  ASSERT_GE(static_cast<int>(justBelow / sets[1].spacing), 3);
  EXPECT_EQ(FindPlaneSlab(sets, 3, justBelow, true, 0.0), 3);
  EXPECT_EQ(FindPlaneSlab(sets, 3, 1.0, true, 0.0), 4);
}

// A grid with planes along x only: voxel A covers slabs 0..2, voxel B slab 3,
// voxel C slabs 4..6 (unbounded above); y and z have no planes.
class VoxelGridTest : public testing::Test {
 protected:
  void SetUp() override {
    voxels[0].firstX = 0, voxels[0].extraX = 2;
    voxels[1].firstX = 3, voxels[1].extraX = 0;
    voxels[2].firstX = 4, voxels[2].extraX = 2;
    for (int s = 0; s < 7; ++s) {
      index[s] = s <= 2 ? 0 : (s == 3 ? 1 : 2);
      yRows[s] = &index[s];
      xRows[s] = &yRows[s];
    }
    grid = VoxelGrid{kXSets, nullptr, nullptr, 3, 1, 1, kXCoord, nullptr, nullptr, 6, 0, 0, voxels, xRows};
  }
  VOXEL voxels[3] = {};
  int index[7];
  int* yRows[7];
  int** xRows[7];
  VoxelGrid grid;
};

TEST_F(VoxelGridTest, VoxelOfAPointFollowsTheDirectionOnAFace) {
  EXPECT_EQ(VoxelAt(grid, Init(2.5, 9, -9), Init(1, 0, 0), kDistancePrecision), 1);
  EXPECT_EQ(VoxelAt(grid, Init(2.0, 0, 0), Init(1, 0, 0), kDistancePrecision), 1);
  EXPECT_EQ(VoxelAt(grid, Init(2.0, 0, 0), Init(-1, 0, 0), kDistancePrecision), 0);
  EXPECT_EQ(VoxelAt(grid, Init(-50, 0, 0), Init(0, 0, 1), kDistancePrecision), 0);
  EXPECT_EQ(VoxelAt(grid, Init(50, 0, 0), Init(0, 0, 1), kDistancePrecision), 2);
}

TEST_F(VoxelGridTest, DistanceToNearestFace) {
  struct Case {
    VECTOR p;
    int voxel;
    double d;
  } cases[] = {
      {Init(2.25, 0, 0), 1, 0.25},  // box 2..3
      {Init(2.0, 0, 0), 1, 0.0},    // on its lower face
      {Init(1.5, 0, 0), 1, 0.0},    // outside it
      {Init(-7.0, 0, 0), 0, 9.0},   // unbounded below, face at 2
      {Init(4.5, 0, 0), 2, 1.5},    // unbounded above, face at 3
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(DistanceToNearestFace(grid, &c.p, c.voxel), c.d) << c.p.x;

  VOXEL whole[1] = {};
  const VoxelGrid open{kXSets, nullptr, nullptr, 1, 1, 1, kXCoord, nullptr, nullptr, 0, 0, 0, whole, xRows};
  const VECTOR p = Init(1, 2, 3);
  EXPECT_EQ(DistanceToNearestFace(open, &p, 0), -1.0) << "a voxel with no face on any axis";
}

}  // namespace
