// The complex-geometry forms of directives that exist in both geometries: a
// source in a cell (the first cell of a union), pulse-height tallies of a
// cell or a union, and plane tallies on a plane surface S<n>.
#include <gtest/gtest.h>

#include "driver/directives/material_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "tests/directives/geometry_test_support.h"

namespace {

// Three unit spheres; C1 and C2 form a union, C3 stands alone.
const std::vector<std::string> kThreeCells = {"S1 S 0 0 0 1", "S2 S 5 0 0 1", "S3 S 10 0 0 1", "C1 0 -1",
                                              "C2 0 -2",      "C3 0 -3",      "UNION1 0 1 2"};

std::vector<std::string> Cells(const std::vector<std::string>& more) {
  std::vector<std::string> lines = kThreeCells;
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

TEST(CellForms, SourceCells) {
  INPUTRUN run = RunLines(Cells({"SOURCE_POSITION 3 1"}));
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::source.sourcePositionType, kCellSource);
  EXPECT_EQ(directives::source.sourceCell, FindCell(1));
  ASSERT_EQ(RunLines(Cells({"SOURCE_POSITION 3 3"})).code, 0);
  EXPECT_EQ(directives::source.sourceCell, FindCell(3));
  EXPECT_TRUE(FailsWith(RunLines(Cells({"SOURCE_POSITION 3 2"})),
                        "Error: A cell that is a part of a union can be defined as a source cell only if it the first "
                        "cell of the union.\n"));
  EXPECT_TRUE(FailsWith(RunLines(Cells({"SOURCE_POSITION 3 4"})),
                        "Error: Undefined cell identifier \"4\" in the definition of the source cell.\n"));
}

TEST(CellForms, PulseHeightTalliesOfCellsAndUnions) {
  INPUTRUN run = RunLines(Cells({"PULSE_HEIGHT C3 0 1 10", "PULSE_HEIGHT c1 0 1 10", "PULSE_HEIGHT 0 1 10",
                                 "PULSE_HEIGHT C3 0 2 10", "PULSE_HEIGHT C1 0 3 10"}));
  ASSERT_EQ(run.code, 0) << run.console;
  ASSERT_EQ(directives::nPulseHeight_tot, 5);
  EXPECT_EQ(directives::pulseHeightTally[0].cell, FindCell(3));
  EXPECT_EQ(directives::pulseHeightTally[0].ordinal, 1);
  EXPECT_EQ(directives::pulseHeightTally[1].cell, FindCell(1));
  EXPECT_EQ(directives::pulseHeightTally[1].ordinal, 1);
  EXPECT_EQ(directives::pulseHeightTally[2].cell, -1);
  EXPECT_EQ(directives::pulseHeightTally[2].ordinal, 1);
  EXPECT_EQ(directives::pulseHeightTally[3].ordinal, 2);
  EXPECT_EQ(directives::pulseHeightTally[4].ordinal, 2);
  // Two slots: C3, and the union (C1 and C2 share one).
  ASSERT_EQ(directives::nCellsPulseHeight, 2);
  EXPECT_EQ(directives::cellsPulseHeight[0], FindCell(3));
  EXPECT_EQ(directives::cellsPulseHeight[1], FindCell(1));
  EXPECT_EQ(CellOf(3).pulseHeightSlot, 0);
  EXPECT_EQ(CellOf(1).pulseHeightSlot, 1);
  EXPECT_EQ(CellOf(2).pulseHeightSlot, 1);
  EXPECT_EQ(CellOf(1).pulseHeight, 2);
  EXPECT_EQ(CellOf(2).pulseHeight, 2);
  EXPECT_EQ(CellOf(3).pulseHeight, 2);
}

TEST(CellForms, PlaneTalliesOnPlaneSurfaces) {
  INPUTRUN run =
      RunLines({"S1 P 0 0 1 2", "S3 RPP 0 1 0 1 0 1", "S4 S 0 0 0 1", "E 0 1 10", "TALLY1 S1 E", "ETALLY2 -s1 E"});
  ASSERT_EQ(run.code, 0) << run.console;
  const PLANETALLY& t = directives::tallyData[kAllParticleTallies][0];
  EXPECT_TRUE(Near(t.normal, Init(0, 0, 1)));
  EXPECT_DOUBLE_EQ(t.offset, -2.0);
  EXPECT_TRUE(Near(t.axisX, Init(1, 0, 0)));
  const PLANETALLY& reversed = directives::tallyData[kElectronTallies][0];
  EXPECT_TRUE(Near(reversed.normal, Init(0, 0, -1)));
  EXPECT_DOUBLE_EQ(reversed.offset, 2.0);
  const std::vector<std::string> world = {"S1 P 0 0 1 2", "S3 RPP 0 1 0 1 0 1", "S4 S 0 0 0 1", "E 0 1 10"};
  ExpectRefusals({
      {Cells({"E 0 1 10", "TALLY S9 E"}),
       "Error: Undefined surface identifier \"9\" appended to 'S' in specification of the tallies \"TALLY\".\n"},
      {{world[0], world[1], world[2], world[3], "PTALLY3 s3 E"},
       "Error: Surface No. 3 indicated after 's' in specification of the tallies \"PTALLY3\" is not a plane.\n"},
      {{world[0], world[1], world[2], world[3], "TALLY -S4 E"},
       "Error: Surface No. 4 indicated after 'S' in specification of the tallies \"TALLY\" is not a plane.\n"},
      {{world[0], world[1], world[2], world[3], "TALLY S1"},
       "Error: Number of entries in specification of tallies \"TALLY\" is too small.\n"},
  });
}

TEST(CellForms, PulseHeightRefusals) {
  ExpectRefusals({
      {Cells({"PULSE_HEIGHT C2 0 1 10"}),
       "Error: Pulse-height tallies for unions must include the identifier of the first cell of the union.\n"},
      {Cells({"PULSE_HEIGHT C9 0 1 10"}),
       "Error: Undefined cell identifier \"9\" in the definition of a pulse-height tally.\n"},
      {Cells({"PULSE_HEIGHT C1"}), "Error: Definition of a pulse-height tally energy range is missing.\n"},
  });
}

}  // namespace
