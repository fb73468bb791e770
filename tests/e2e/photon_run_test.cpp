// Complete runs of the built Trenqual: 662 keV photons through 1 cm of lead
// with plane tallies in 1-D and 2-D, stacked planes, a pulse-height tally and
// tracks. The console, the output file and every file of the result folder
// are compared with golden files; the same seed, workers and streams give
// byte-identical result files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

// Every file of the result folder, by name; the copy of the output file masked.
std::map<std::string, std::string> ResultFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    const std::string text = ReadText(e.path().string());
    files[name] = name == "lead_photons_out.txt" ? MaskEndfFolder(text) : text;
  }
  return files;
}

PROGRAMRUN RunLead(const std::string& scratch, const std::string& tasks) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder(scratch));
  return RunProgram(program, "lead_photons.txt",
                    {"in", "lead_photons.txt", "dir", EndfFolder(), "tasks", tasks, "nStreams", "4", "seed", "5"});
}

TEST(EndToEndRun, PhotonTalliesPulseHeightAndTracksMatchTheGoldenFiles) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN run = RunLead("e2e-lead", "2");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_EQ(CompareWithGolden(MaskVolatileLines(WithoutProgressLines(run.console)), "lead_photons_console.txt"), "");
  const std::string output = MaskEndfFolder(ReadText(run.folder + "lead_photons_out.txt"));
  EXPECT_EQ(CompareWithGolden(output, "lead_photons_out.txt"), "");
  const std::map<std::string, std::string> files = ResultFiles(run.folder + "Files_lead_photons_out.txt");
  const char* const expected[] = {"PTALLY1_E.txt",           "PTALLY1_THETA.txt",      "PTALLY2_1(0)_E_X.txt",
                                  "PTALLY2_2(0.25)_E_X.txt", "PTALLY2_3(0.5)_E_X.txt", "PTALLY2_4(0.75)_E_X.txt",
                                  "PTALLY2_5(1)_E_X.txt",    "PulseHeight.txt",        "lead_photons_out_tracks.txt"};
  EXPECT_EQ(files.size(), std::size(expected) + 1);
  for (const char* name : expected) {
    ASSERT_TRUE(files.count(name) != 0) << name;
    EXPECT_EQ(CompareWithGolden(files.at(name), std::string("lead_photons_files/") + name), "") << name;
  }
  // The result folder keeps a copy of the output file.
  ASSERT_TRUE(files.count("lead_photons_out.txt") != 0);
  EXPECT_EQ(files.at("lead_photons_out.txt"), output);
}

TEST(EndToEndRun, SameSeedWorkersAndStreamsGiveIdenticalResultFiles) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN a = RunLead("e2e-lead-a", "2");
  const PROGRAMRUN b = RunLead("e2e-lead-b", "2");
  ASSERT_EQ(a.exitCode, 0) << a.console;
  ASSERT_EQ(b.exitCode, 0) << b.console;
  const std::map<std::string, std::string> first = ResultFiles(a.folder + "Files_lead_photons_out.txt");
  const std::map<std::string, std::string> second = ResultFiles(b.folder + "Files_lead_photons_out.txt");
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, text] : first) EXPECT_EQ(text, second.at(name)) << name;
}

}  // namespace
