// The worker's tracking calls (geometry/cell_location.h) on a sphere cell in
// one voxel: the loss-of-precision warning printed once per worker with its
// number and the precision, a work array too small for a voxel reported as a
// fatal error, and the cell entered from a voxel slot with its statistics
// record and free-motion radius.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "tests/geometry/geometry_test_surfaces.h"
#include "tests/geometry/geometry_test_world.h"

namespace {

using namespace test_world;

struct SphereWorld {
  World w;
  Constants saved = core::hostConstants;
  std::unique_ptr<TASKSTATE> t = std::make_unique<TASKSTATE>();
  SphereWorld() {
    w.surf = {MakeSphere(Init(0, 0, 0), 2.0), MakeSphere(Init(5, 0, 0), 1.0)};
    w.AddCell({0}, {-1});
    w.AddCell({1}, {-1});
    const std::vector<double> noPlanes[3];
    w.Build(noPlanes, [](const double*, const double*, VoxelListing&) {});
    core::hostConstants.outputCellInteractionStats = 1;
    core::hostConstants.useFreeMotionRadius = 1;
    StoreGeometryTables(core::hostConstants, w.tables);
    t->threadNo = 2;
    t->voxelIndex = -1;
    t->cellIndex = -1;
  }
  ~SphereWorld() {
    FreeTrackerWork(t->tracker);
    core::hostConstants = saved;
  }
};

TEST(WorkerTracking, LossOfPrecisionIsReportedOncePerWorker) {
  SphereWorld s;
  ASSERT_TRUE(AllocateTrackerWork(s.t->tracker, 2, 2, 8));
  const VECTOR p = Init(1.0, 0, 0), u = Init(1, 0, 0);
  VECTOR out;
  double distance = 0.0;
  testing::internal::CaptureStdout();
  for (int call = 0; call < 2; ++call) {
    s.t->voxelIndex = -1;
    s.t->cellIndex = -1;
    int16_t surface = 0;  // claims to lie on the sphere, 1 cm away
    EXPECT_EQ(TrackEntryExit(*s.t, &out, &p, &u, &distance, &surface, 0.0), kTrackingOk);
  }
  const std::string console = testing::internal::GetCapturedStdout();
  const std::string warning =
      "\nWarning: Loss of precision when determining the particle's position relative to the bounding surfaces "
      "detected in thread No. 3. In order to avoid geometry errors, DISTANCE_PRECISION should be increased above "
      "the current value of 1e-12.\n";
  EXPECT_EQ(console, warning);
}

TEST(WorkerTracking, WorkArraysTooSmallEndTheWorker) {
  SphereWorld s;
  ASSERT_TRUE(AllocateTrackerWork(s.t->tracker, 2, 2, 1));  // one crossing record: the ray meets four
  const VECTOR p = Init(-4, 0, 0), u = Init(1, 0, 0);
  VECTOR out;
  double distance = 0.0;
  int16_t surface = -1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(TrackEntryExit(*s.t, &out, &p, &u, &distance, &surface, 0.0), kTrackingFatal);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Fatal error in thread No. 3: the tracking arrays"),
            std::string::npos);
  EXPECT_LT(s.t->cellIndex, 0);
}

TEST(WorkerTracking, EnteringTheCellOfASlotSetsItsRecordsAndRadius) {
  SphereWorld s;
  ASSERT_TRUE(AllocateTrackerWork(s.t->tracker, 2, 2, 8));
  std::vector<INTERACTIONSTATS> cellStats(2);
  INTERACTIONSTATS overall{};
  s.t->stats = &overall;
  s.t->cellStats = cellStats.data();
  const VECTOR p = Init(5.25, 0, 0), u = Init(0, 1, 0);
  VECTOR out;
  double distance = 0.0;
  int16_t surface = -1;
  ASSERT_EQ(TrackEntryExit(*s.t, &out, &p, &u, &distance, &surface, 0.0), kTrackingOk);
  s.t->pc.pos = out;
  EnterCellOfSlot(*s.t, true);
  EXPECT_EQ(s.t->iCell, 1);
  EXPECT_EQ(s.t->cell, core::hostConstants.cell + 1);
  EXPECT_EQ(s.t->curStats, cellStats.data() + 1);
  EXPECT_NEAR(s.t->maxRadius, 0.75, 1e-12);  // the small sphere only: the other cell is not an inner one
  EXPECT_EQ(s.t->centerFree.x, 5.25);
  s.t->cellStats = nullptr;
  s.t->stats = nullptr;
}

}  // namespace
