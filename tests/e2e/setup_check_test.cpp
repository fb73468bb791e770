// The built Trenqual sets a layer problem up on the ENDF/B library with
// check -1: the set-up tables in the output file and the summary of the
// electron tables on the console, exit code 0 before any history.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A copy of the program with its data folder "Data/" beside it holding the
// real Compton profiles, so the program finds them where a user installs them.
std::string InstallProgram(const std::string& folder) {
  namespace fs = std::filesystem;
  fs::create_directories(folder + "Data");
  fs::copy_file(SharedDataFolder() + "aux/ComptonProfiles.dat", folder + "Data/ComptonProfiles.dat");
  fs::copy_file(TRENQUAL_PATH, folder + "Trenqual");
  fs::permissions(folder + "Trenqual", fs::perms::owner_exec, fs::perm_options::add);
  return folder + "Trenqual";
}

TEST(EndToEnd, CheckMinusOneSetsTheLayerProblemUp) {
  const std::string folder = MakeScratchFolder("e2e-setup");
  const std::string program = InstallProgram(folder);
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
  // The default physics needs the bremsstrahlung angular distributions.
  PROGRAMRUN missing = RunProgram(program, "aluminium_layer_default_physics.txt",
                                  {"in", "aluminium_layer_default_physics.txt", "dir", EndfFolder(), "check", "-1"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.console, "File " + folder + "Data/Brems_angular_prob_dens.dat could not be opened for reading.\n");
}

}  // namespace
