// A whole complex problem (tests/e2e/inputs/shielded_detector.txt): a source
// in a cell, cells inside an outer cell, a union, a transformed cylinder, two
// cell-entry tallies, a pulse-height tally and cutoffs per cell. Its records
// after the input, the cutoffs after the unit conversion, and where the run
// stops today.
#include <gtest/gtest.h>

#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/precision_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/setup/geometry_setup.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/setup.h"
#include "tests/directives/geometry_test_support.h"

namespace {

std::string ShieldedDetector() { return ReadWholeFile(std::string(E2E_INPUTS_DIR) + "shielded_detector.txt"); }

TEST(ComplexInput, TheRecordsOfAShieldedDetector) {
  const std::string text = ShieldedDetector();
  ASSERT_FALSE(text.empty());
  INPUTRUN run = RunInput(text);
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  EXPECT_EQ(directives::complexGeometry, 1);
  EXPECT_EQ(directives::geometryPrecision.distancePrecision, 1e-10);
  EXPECT_EQ(directives::geometrySetup.nThreadsGeom, 2);

  // Surfaces: the transformed cylinder runs along -y through (0, 0, 10).
  const SURFACE& side = PlainSurface(2);
  EXPECT_EQ(side.type, kSurfaceCylinder);
  EXPECT_TRUE(Near(side.point, Init(0, 0, 10))) << Text(side.point);
  EXPECT_TRUE(Near(side.axis, Init(0, -1, 0))) << Text(side.axis);
  EXPECT_EQ(side.radius, 2.0);
  EXPECT_EQ(directives::geometry.nMacrobodies, 4);
  EXPECT_EQ(directives::geometry.nTransforms, 1);

  // Cells, their materials and their places.
  ASSERT_EQ(directives::geometry.nCells, 6);
  const CELL& detector = CellOf(1);
  EXPECT_EQ(detector.material, 1);
  EXPECT_EQ(detector.nSurf, 3);
  EXPECT_EQ(CellSide(1, Init(0, 0, 10)), 1);
  EXPECT_EQ(CellSide(1, Init(0, 1.5, 10)), -1);
  EXPECT_EQ(CellSide(1, Init(2.5, 0, 10)), -1);
  EXPECT_EQ(CellSide(3, Init(2, 0, 6)), 1);  // the collimator, outside its hole
  EXPECT_EQ(CellSide(3, Init(0.5, 0, 6)), -1);
  const CELL& air = CellOf(9);
  ASSERT_EQ(air.innerCellCount, 5);
  for (int id = 1; id <= 5; ++id) EXPECT_EQ(CellOf(id).enclosingCell, FindCell(9)) << id;
  // The analysis found a point inside every cell of more than one surface.
  for (int id : {1, 3, 4, 5, 9}) {
    EXPECT_EQ(CellOf(id).interiorPointKind, kPointInterior) << id;
    EXPECT_EQ(directives::geometry.analysisStatus[static_cast<size_t>(FindCell(id))], 0) << id;
  }
  EXPECT_EQ(CellOf(2).interiorPointKind, kPointNone);

  // The union: lead of 3.3e22 atoms/cm^3 in both blocks.
  ASSERT_EQ(directives::geometry.nUnions, 1);
  EXPECT_EQ(directives::geometry.unionData[0].nCells, 2);
  for (int id : {4, 5}) {
    EXPECT_EQ(CellOf(id).unionIndex, 0);
    EXPECT_EQ(CellOf(id).concentration, 3.3e22);
    EXPECT_EQ(CellOf(id).material, 3);
    EXPECT_EQ(CellOf(id).CUT_P, 20.0);
  }

  // The source cell, the tallies and their registration.
  EXPECT_EQ(directives::source.sourcePositionType, kCellSource);
  EXPECT_EQ(directives::source.sourceCell, FindCell(2));
  EXPECT_EQ(directives::source.part, kSourcePhoton);
  ASSERT_EQ(directives::nCellEntryTallies[kElectronTallies], 1);
  ASSERT_EQ(directives::nCellEntryTallies[kPhotonTallies], 1);
  EXPECT_EQ(detector.hasCellEntry[kElectronTallies], 1);
  EXPECT_EQ(detector.hasCellEntry[kPhotonTallies], 1);
  const int32_t sideIndex = FindPlainSurface(2);
  for (int k = 0; k < detector.nSurf; ++k) {
    const uint16_t s = detector.surfaces[k];
    EXPECT_EQ(detector.cellEntryCount[kElectronTallies][s + 1], 1) << k;
    EXPECT_EQ(detector.cellEntryCount[kPhotonTallies][s + 1], s == sideIndex ? 1 : 0) << k;
  }
  EXPECT_EQ(detector.cellEntryCount[kElectronTallies][0], 0);  // no cell inside the detector
  ASSERT_EQ(directives::nPulseHeight_tot, 1);
  EXPECT_EQ(directives::pulseHeightTally[0].cell, FindCell(1));
  EXPECT_EQ(detector.pulseHeight, 1);
  EXPECT_EQ(detector.pulseHeightSlot, 0);
}

TEST(ComplexInput, CellsWithoutACutoffTakeTheGlobalOneWhichBecomesTheSmallest) {
  INPUTRUN run = RunInput(ShieldedDetector());
  ASSERT_EQ(run.code, 0) << run.console;
  testing::internal::CaptureStdout();
  const Status code = CheckInputConsistency();
  const std::string console = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, kOk) << console;
  EXPECT_EQ(directives::geometrySetup.nRandSourceVolume, 10000u);  // N_RAND_SOURCE_VOLUME not given
  ConvertInputUnits();
  EXPECT_DOUBLE_EQ(CellOf(1).CUT_E, 50000.0);
  EXPECT_DOUBLE_EQ(CellOf(2).CUT_E, 10000.0);
  EXPECT_DOUBLE_EQ(CellOf(9).CUT_P, 1000.0);
  EXPECT_DOUBLE_EQ(CellOf(4).CUT_P, 20000.0);
  EXPECT_DOUBLE_EQ(CellOf(1).CUT_P, 5000.0);
  EXPECT_DOUBLE_EQ(directives::transportOptions.cutE, 10000.0);
  EXPECT_DOUBLE_EQ(directives::transportOptions.cutP, 1000.0);
}

TEST(ComplexInput, TheGeometryOfTheInputIsSetUp) {
  INPUTRUN run = RunInput(ShieldedDetector(), {"check", "-1"});
  ASSERT_EQ(run.code, 0) << run.console;
  testing::internal::CaptureStdout();
  const Status code = SetUpComplexGeometry();
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(code, kOk) << console;
  EXPECT_NE(console.find("Estimated source point sampling efficiency = "), std::string::npos) << console;
}

TEST(ComplexInput, CheckZeroEchoesTheWholeInputAndInterpretsNothing) {
  const std::string text = ShieldedDetector();
  INPUTRUN run = RunInput(text, {"check", "0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_NE(run.outputText.find(text), std::string::npos);
  EXPECT_EQ(directives::geometry.nCells, 0);
  EXPECT_EQ(directives::complexGeometry, -1);
}

TEST(ComplexInput, TheMinimumNumberOfSourceVolumePoints) {
  const struct {
    std::vector<std::string> lines;
    uint32_t expected;
  } cases[] = {
      {{"N_RAND_CELL_VOLUME 200"}, 10000u},
      {{"N_RAND_CELL_VOLUME 20000"}, 20000u},
      {{"N_RAND_CELL_VOLUME 20000", "N_RAND_SOURCE_VOLUME 15000"}, 15000u},
  };
  for (const auto& c : cases) {
    std::vector<std::string> lines = {"M1 29 1", "S1 S 0 0 0 1", "C1 1 1 -1", "N 10", "1"};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    INPUTRUN run = RunLines(lines);
    ASSERT_EQ(run.code, 0) << run.console;
    testing::internal::CaptureStdout();
    const Status code = CheckInputConsistency();
    const std::string console = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, kOk) << console;
    EXPECT_EQ(directives::geometrySetup.nRandSourceVolume, c.expected) << Lines(c.lines);
  }
}

}  // namespace
