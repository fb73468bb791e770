// The built Trenqual sets problems up on the ENDF/B library and the auxiliary
// data files of the build with check -1 and the default physics: the set-up
// tables in the output file and the summary of the electron tables on the
// console, exit code 0 before any history, for a layer of aluminium and for a
// material of all 100 elements; without the auxiliary files the set-up stops.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

TEST(EndToEnd, CheckMinusOneSetsTheLayerProblemUp) {
  const std::string folder = MakeScratchFolder("e2e-setup");
  const std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  PROGRAMRUN run = RunProgram(program, "aluminium_layer.txt",
                              {"in", "aluminium_layer.txt", "dir", EndfFolder(), "check", "-1"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_EQ(CompareWithGolden(run.console, "aluminium_layer_check-1_console.txt"), "");
  std::string output = ReadText(run.folder + "aluminium_layer_out.txt");
  // The ENDF folder differs between machines: mask it in the echoed command line.
  const std::string endf = EndfFolder();
  for (size_t at = output.find(endf); at != std::string::npos; at = output.find(endf, at)) output.replace(at, endf.size(), "<endf>/");
  EXPECT_EQ(CompareWithGolden(MaskVolatileLines(output), "aluminium_layer_check-1_out.txt"), "");
}

TEST(EndToEnd, CheckMinusOneStopsAtAMissingAuxiliaryFile) {
  const std::string folder = MakeScratchFolder("e2e-setup-missing");
  const std::string program = InstallProgram(folder);
  // Without the auxiliary data files the default physics stops at the first
  // it needs, the bremsstrahlung angular distributions.
  PROGRAMRUN missing = RunProgram(program, "aluminium_layer.txt",
                                  {"in", "aluminium_layer.txt", "dir", EndfFolder(), "check", "-1"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.console, "File " + folder + "Data/Brems_angular_prob_dens.dat could not be opened for reading.\n");
}

TEST(EndToEnd, CheckMinusOneSetsEveryElementUpWithTheDefaultPhysics) {
  const std::string folder = MakeScratchFolder("e2e-setup-every-element");
  const std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  PROGRAMRUN run = RunProgram(program, "every_element_default_physics.txt",
                              {"in", "every_element_default_physics.txt", "dir", EndfFolder(), "check", "-1"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string console = WithoutProgressLines(run.console);
  EXPECT_EQ(console.find("Error"), std::string::npos) << console;
  EXPECT_EQ(console.find("Warning"), std::string::npos) << console;
  EXPECT_NE(console.find("Electron cross section table contains data for"), std::string::npos) << console;
}

}  // namespace

namespace {

// A complex geometry is read, checked and set up: check -1 ends after the
// set-up, a run follows the histories through the cells.
TEST(EndToEnd, AComplexInputIsSetUpAndRunThroughItsCells) {
  PROGRAMRUN echo = RunProgram(TRENQUAL_PATH, "shielded_detector.txt", {"in", "shielded_detector.txt", "check", "0"});
  EXPECT_EQ(echo.exitCode, 0) << echo.console;
  EXPECT_EQ(echo.console, "");
  PROGRAMRUN setUp = RunProgram(TRENQUAL_PATH, "shielded_detector.txt",
                                {"in", "shielded_detector.txt", "dir", EndfFolder(), "check", "-1"});
  EXPECT_EQ(setUp.exitCode, 0) << setUp.console;
  EXPECT_NE(setUp.console.find("Estimated source point sampling efficiency = "), std::string::npos) << setUp.console;
  const std::string output = ReadText(setUp.folder + "shielded_detector_out.txt");
  EXPECT_NE(output.find("PCELL_ENTRY2 1 1 -3 -4 E2"), std::string::npos);
  for (const char* table : {"Cell materials, volumes and masses", "Coordinate planes bracketing the cells",
                            "Minimum and maximum coordinates of randomly generated interior points of cells", "Union1"})
    EXPECT_NE(output.find(table), std::string::npos) << table;
  // The run follows the histories through the cells: the cell-entry,
  // pulse-height and per-cell statistics files are written, and photons enter
  // the detector through its curved side.
  PROGRAMRUN run =
      RunProgram(TRENQUAL_PATH, "shielded_detector.txt", {"in", "shielded_detector.txt", "dir", EndfFolder()});
  EXPECT_EQ(run.exitCode, 0) << run.console;
  const std::string files = run.folder + "Files_shielded_detector_out.txt/";
  for (const char* name : {"ECELL_ENTRY1_E.txt", "PCELL_ENTRY2_E2.txt", "PulseHeight_C1.txt",
                           "shielded_detector_out_cellInteractionStats.txt"})
    EXPECT_FALSE(ReadText(files + name).empty()) << name;
  EXPECT_NE(ReadText(files + "shielded_detector_out_cellInteractionStats.txt").find("Interaction statistics for cell"),
            std::string::npos);
}

}  // namespace
