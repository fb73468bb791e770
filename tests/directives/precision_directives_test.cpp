// Precision, plane-set and geometry set-up directives: accepted values and
// their effects, the refusals of every keyword, the complex-only rule, and
// the tolerances that hold for the surfaces before them.
#include <gtest/gtest.h>

#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "tests/directives/geometry_test_support.h"

namespace {

TEST(PrecisionDirectives, AcceptedValues) {
  INPUTRUN run = RunLines({"DISTANCE_PRECISION 1e-9abc", "ANGLE_PRECISION 5e-6", "MAXDISTANCE_RATIO 1e24",
                           "CHECK_FOR_INTERSECTIONS 0", "RAND_BLOCK_SIZE 99.5", "N_RAND_CELL_VOLUME 4294967295.4",
                           "N_RAND_SOURCE_VOLUME 9999.5", "N_RAND_TOTAL_VOLUME 1e10", "NTHREADS_GEOM 2048.4",
                           "OUTPUT_CELL_INTERACTION_STATS 0x", "USE_FREE_MOTION_RADIUS 2"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::geometryPrecision.distancePrecision, 1e-9);
  EXPECT_EQ(directives::geometryPrecision.anglePrecision, 5e-6);
  EXPECT_EQ(directives::geometryPrecision.maxDistanceRatio, 1e24);
  const GEOMETRYSETUPOPTIONS& g = directives::geometrySetup;
  EXPECT_EQ(g.checkForIntersections, 0);
  EXPECT_EQ(g.randBlockSize, 100u);
  EXPECT_TRUE(g.randBlockSizeGiven);
  EXPECT_EQ(g.nRandCellVolume, 4294967295u);
  EXPECT_EQ(g.nRandSourceVolume, 10000u);
  EXPECT_EQ(g.nRandTotalVolume, 10000000000LL);
  EXPECT_TRUE(g.nRandTotalVolumeGiven);
  EXPECT_EQ(g.nThreadsGeom, 2048);
  EXPECT_EQ(g.outputCellInteractionStats, 0);
  EXPECT_EQ(g.useFreeMotionRadius, 1);
  EXPECT_EQ(g.storeFreeMotionRadius, 1);
  EXPECT_EQ(directives::complexGeometry, 1);
}

TEST(PrecisionDirectives, DefaultsAndTheOtherEnds) {
  INPUTRUN run = RunLines({"MAXDISTANCE_RATIO 1e6", "NTHREADS_GEOM 0.5", "USE_FREE_MOTION_RADIUS 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::geometryPrecision.maxDistanceRatio, 1e6);
  EXPECT_EQ(directives::geometryPrecision.distancePrecision, 1e-12);
  EXPECT_EQ(directives::geometryPrecision.anglePrecision, 1e-12);
  EXPECT_EQ(directives::geometrySetup.nThreadsGeom, 1);
  EXPECT_EQ(directives::geometrySetup.useFreeMotionRadius, 0);
  EXPECT_EQ(directives::geometrySetup.storeFreeMotionRadius, 0);
  EXPECT_EQ(directives::geometrySetup.randBlockSize, 1000u);
  EXPECT_FALSE(directives::geometrySetup.randBlockSizeGiven);
  EXPECT_EQ(directives::geometrySetup.nRandCellVolume, 10000u);
  EXPECT_EQ(directives::geometrySetup.nRandSourceVolume, 0u);
  EXPECT_EQ(directives::geometrySetup.nRandTotalVolume, 20000000);
  EXPECT_EQ(directives::geometrySetup.checkForIntersections, 3);
  EXPECT_EQ(directives::geometrySetup.outputCellInteractionStats, 1);
}

TEST(PrecisionDirectives, TheTolerancesHoldForTheSurfacesBeforeThem) {
  // 1e-10 apart: one plane at the default precision, two at 1e-9.
  INPUTRUN fine = RunLines({"S1 P 0 0 1 0", "S2 P 0 0 1 1e-10"});
  ASSERT_EQ(fine.code, 0) << fine.console;
  EXPECT_EQ(fine.console, "");
  INPUTRUN coarse = RunLines({"S1 P 0 0 1 0", "S2 P 0 0 1 1e-10", "DISTANCE_PRECISION 1e-9"});
  ASSERT_EQ(coarse.code, 0) << coarse.console;
  EXPECT_EQ(coarse.console, "Warning: Surfaces 2 and 1 coincide.\n");
}

TEST(PrecisionDirectives, PlaneSets) {
  INPUTRUN run = RunLines({"COORD_X 0 10 5 2 8", "COORD_Y 0", "COORD_Z -1 3", "coord_z 4 1 7"});
  ASSERT_EQ(run.code, 0) << run.console;
  ASSERT_EQ(directives::nXsets, 4);
  EXPECT_EQ(directives::xSet[1].start, 0.0);
  EXPECT_EQ(directives::xSet[1].nPlanes, 10);
  EXPECT_EQ(directives::xSet[2].start, 5.0);
  EXPECT_EQ(directives::xSet[2].nPlanes, 2);
  EXPECT_EQ(directives::xSet[3].start, 8.0);
  EXPECT_EQ(directives::xSet[3].nPlanes, 1);
  ASSERT_EQ(directives::nYsets, 2);
  EXPECT_EQ(directives::ySet[1].nPlanes, 1);
  ASSERT_EQ(directives::nZsets, 4);
  EXPECT_EQ(directives::zSet[3].start, 7.0);
  EXPECT_EQ(directives::zSet[3].nPlanes, 1);
  // Nine sets per axis; the tenth start is refused.
  EXPECT_EQ(RunLines({"COORD_X 0 1 1 1 2 1 3 1 4 1 5 1 6 1 7 1 8"}).code, 0);
  EXPECT_TRUE(FailsWith(RunLines({"COORD_X 0 1 1 1 2 1 3 1 4 1 5 1 6 1 7 1 8", "COORD_X 9"}),
                        "Error: Number of X coordinate plane sets is greater than 10.\n"));
}

TEST(PrecisionDirectives, Refusals) {
  ExpectRefusals({
      {{"DISTANCE_PRECISION"}, "Error: Distance precision value is missing.\n"},
      {{"DISTANCE_PRECISION 0"}, "Error: Illegal value \"0\" of the distance precision (it must be positive).\n"},
      {{"DISTANCE_PRECISION x"}, "Error: Illegal value \"x\" of the distance precision (it must be positive).\n"},
      {{"ANGLE_PRECISION"}, "Error: Angle precision value is missing.\n"},
      {{"ANGLE_PRECISION 1e-5"},
       "Error: Illegal value \"1e-5\" of the angle precision (it must be positive and less than 1e-5).\n"},
      {{"MAXDISTANCE_RATIO"},
       "Error: The value of the ratio of the maximum distance and the distance precision is missing.\n"},
      {{"MAXDISTANCE_RATIO 9e5"},
       "Error: Illegal value \"9e5\" of the ratio of the maximum distance and the distance precision (it must be "
       "between 1e6 and 1e24).\n"},
      {{"MAXDISTANCE_RATIO 2e24"},
       "Error: Illegal value \"2e24\" of the ratio of the maximum distance and the distance precision (it must be "
       "between 1e6 and 1e24).\n"},
      {{"CHECK_FOR_INTERSECTIONS"}, "Error: Value of the option for checking of cell intersections is missing.\n"},
      {{"CHECK_FOR_INTERSECTIONS 4"},
       "Error: Illegal value \"4\" of the option for checking of cell intersections (it must be 0, 1, 2 or 3).\n"},
      {{"CHECK_FOR_INTERSECTIONS 1.0"},
       "Error: Illegal value \"1.0\" of the option for checking of cell intersections (it must be 0, 1, 2 or 3).\n"},
      {{"RAND_BLOCK_SIZE"},
       "Error: The size of a \"block\" of random points for determining the cell volumes is missing.\n"},
      {{"RAND_BLOCK_SIZE 99.4"},
       "Error: Illegal value \"99.4\" of the size of a \"block\" of random points for determining the cell volumes (it "
       "must be at least 100 and less than 2^32 = 4294967296).\n"},
      {{"N_RAND_CELL_VOLUME"}, "Error: Number of random points for determining the cell volume is missing.\n"},
      {{"N_RAND_CELL_VOLUME 4294967295.5"},
       "Error: Illegal number \"4294967295.5\" of random points for determining the cell volume (it must be at least "
       "100 and less than 2^32 = 4294967296).\n"},
      {{"N_RAND_SOURCE_VOLUME"}, "Error: Number of random points for determining the source volume is missing.\n"},
      {{"N_RAND_SOURCE_VOLUME 9999"},
       "Error: Illegal number \"9999\" of random points for determining the source volume (it must be at least 10000 "
       "and less than 2^32 = 4294967296).\n"},
      {{"N_RAND_TOTAL_VOLUME"}, "Error: Total number of random points for determining the cell volumes is missing.\n"},
      {{"N_RAND_TOTAL_VOLUME 1e19"},
       "Error: Illegal total number \"1e19\" of random points for determining the cell volumes (it must be at least "
       "10000 and less than 2^63).\n"},
      {{"NTHREADS_GEOM"},
       "Error: The number of threads for defining the voxel data and calculation of cell volumes is missing.\n"},
      {{"NTHREADS_GEOM 2048.5"},
       "Error: Illegal value \"2048.5\" of the number of threads for defining the voxel data and calculation of cell "
       "volumes (it must be at least 1 and less than 2049).\n"},
      {{"NTHREADS_GEOM 0.4"},
       "Error: Illegal value \"0.4\" of the number of threads for defining the voxel data and calculation of cell "
       "volumes (it must be at least 1 and less than 2049).\n"},
      {{"OUTPUT_CELL_INTERACTION_STATS"}, "Error: Cell interaction data output switch value is missing.\n"},
      {{"USE_FREE_MOTION_RADIUS"},
       "Error: Value of the switch controlling usage of the free-motion radius is missing.\n"},
      {{"USE_FREE_MOTION_RADIUS 3"},
       "Error: Illegal value \"3\" of the option to use the free-motion radius (should be 0 for not using, 1 for using "
       "but not storing in the banked particles buffer, or 2 for storing).\n"},
      {{"COORD_Y"}, "Error: Missing specification of a Y coordinate plane set.\n"},
      {{"COORD_X a 1"}, "Error: Invalid starting coordinate value \"a\".\n"},
      {{"COORD_Z 1 0"}, "Error: Invalid number of coordinate planes \"0\".\n"},
      {{"COORD_Z 1 1e7"}, "Error: Invalid number of coordinate planes \"1e7\".\n"},
      {{"DISTANCE_PRECISION 1e-9", "DISTANCE_PRECISION 1e-9"},
       "Error: Keyword \"DISTANCE_PRECISION\" is used more than once in the input file.\n"},
      {{"NTHREADS_GEOM 2", "NTHREADS_GEOM 2"},
       "Error: Keyword \"NTHREADS_GEOM\" is used more than once in the input file.\n"},
  });
}

TEST(PrecisionDirectives, ComplexOnlyKeywordsAfterASimpleGeometryDirective) {
  const char* const kComplexOnly[] = {"DISTANCE_PRECISION 1e-9",         "ANGLE_PRECISION 1e-9",
                                      "MAXDISTANCE_RATIO 1e7",           "RAND_BLOCK_SIZE 1000",
                                      "N_RAND_CELL_VOLUME 1000",         "N_RAND_SOURCE_VOLUME 20000",
                                      "N_RAND_TOTAL_VOLUME 1e6",         "NTHREADS_GEOM 2",
                                      "OUTPUT_CELL_INTERACTION_STATS 1", "USE_FREE_MOTION_RADIUS 1"};
  for (const char* line : kComplexOnly) {
    const std::string keyword = std::string(line).substr(0, std::string(line).find(' '));
    INPUTRUN run = RunLines({"MAT 29 1", line});
    EXPECT_TRUE(FailsWith(run, "Error: Keyword \"" + keyword +
                                   "\" can be used only in complex geometry mode, but the previous directives imply "
                                   "simple geometry.\n"))
        << line << "\n"
        << run.console;
  }
  EXPECT_TRUE(FailsWith(RunLines({"MAT 29 1", "COORD_X 0 1"}),
                        "Error: Keywords \"COORD_X\", \"COORD_Y\" and \"COORD_Z\" can be used only in complex geometry "
                        "mode, but the previous directives imply simple geometry.\n"));
  // Not complex-only: the check of cell intersections.
  INPUTRUN run = RunLines({"MAT 29 1", "CHECK_FOR_INTERSECTIONS 2"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::complexGeometry, 0);
  // Before any geometry directive, a complex-only directive fixes the mode.
  EXPECT_TRUE(FailsWith(RunLines({"NTHREADS_GEOM 2", "MAT 29 1"}),
                        "Error: Keyword \"MAT\" can be used only in simple geometry mode, but the previous directives "
                        "imply complex geometry.\n"));
}

}  // namespace
