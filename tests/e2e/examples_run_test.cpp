// The worked examples of the user manual (examples/*.txt), each run with few
// histories by the built Trenqual and the default physics: the run ends with
// exit code 0 and writes the result files that the manual describes, and,
// where matplotlib is present, scripts/plot_tally.py makes the manual's plot
// of each from them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

struct EXAMPLE {
  const char* name;                    // examples/<name>.txt
  const char* histories;               // N for the test run
  std::vector<std::string> files;      // result files, relative to the result folder
  const char* header;                  // the first line of files[0]
  std::vector<std::string> plotFiles;  // the manual's plot: its files (patterns allowed) and options
  std::vector<std::string> plotOptions;
};

// The test's name suffix and gtest's description of a case.
void PrintTo(const EXAMPLE& example, std::ostream* out) { *out << example.name; }

const std::vector<EXAMPLE>& Examples() {
  static const std::vector<EXAMPLE> examples = {
      {"lead_attenuation",
       "2000",
       {"PTALLY1_E.txt", "PTALLY2_E2.txt"},
       "E\tN\tE_flux\tRelSDev",
       {"PTALLY1_E.txt"},
       {"--log"}},
      {"nai_detector", "2000", {"PulseHeight.txt"}, "E\tN\tE_absorbed\tRelSDev", {"PulseHeight.txt"}, {"--log"}},
      {"positron_annihilation",
       "10",
       {"PTALLY1_E.txt", "PTALLY2_E.txt"},
       "E\tN\tE_flux\tRelSDev",
       {"PTALLY1_E.txt"},
       {"--log"}},
      {"aluminium_depth_dose",
       "10",
       {"ETALLY1_1(0)_E.txt", "ETALLY1_25(0.24)_E.txt"},
       "E\tN\tE_flux\tRelSDev",
       {"ETALLY1_*_E.txt"},
       {"--deposit", "--density", "2.699", "--add-first", "1"}},
      {"aluminium_layer", "10", {"ETALLY1_E.txt"}, "E\tN\tE_flux\tRelSDev", {"ETALLY1_E.txt"}, {"--scale", "-1"}},
      {"xray_tube_program", "200", {"PTALLY1_E.txt"}, "E\tN\tE_flux\tRelSDev", {"PTALLY1_E.txt"}, {}},
  };
  return examples;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

int RunShell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool MatplotlibPresent() { return RunShell("python3 -c 'import matplotlib' > /dev/null 2>&1") == 0; }

std::string FirstLine(const std::string& path) {
  const std::string text = ReadText(path);
  return text.substr(0, text.find('\n'));
}

class ExampleRun : public testing::TestWithParam<EXAMPLE> {};

TEST_P(ExampleRun, RunsWithFewHistoriesAndWritesTheFilesTheManualShows) {
  const EXAMPLE& example = GetParam();
  const std::string folder = MakeScratchFolder(std::string("example-") + example.name);
  const std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  const std::string input = std::string(example.name) + ".txt";
  fs::copy_file(std::string(TQ_SOURCE_ROOT) + "examples/" + input, folder + input);

  const int code = RunShell("cd " + Quoted(folder) + " && ./Trenqual in " + input + " dir " + Quoted(EndfFolder()) +
                            " tasks 2 N " + example.histories + " > console.txt 2>&1 < /dev/null");
  ASSERT_EQ(code, 0) << ReadText(folder + "console.txt");
  const std::string results = folder + "Files_" + example.name + "_out.txt/";
  for (const std::string& file : example.files) EXPECT_TRUE(fs::exists(results + file)) << file;
  EXPECT_EQ(FirstLine(results + example.files[0]), example.header);
  EXPECT_NE(ReadText(folder + example.name + "_out.txt")
                .find("number of source particles = " + std::string(example.histories)),
            std::string::npos);

  if (!MatplotlibPresent()) {
    std::printf("plot_tally.py not run: matplotlib is missing\n");
    return;
  }
  std::string plot =
      "cd " + Quoted(results) + " && python3 " + Quoted(std::string(TQ_SOURCE_ROOT) + "scripts/plot_tally.py");
  for (const std::string& file : example.plotFiles) plot += " " + file;  // patterns are expanded by the shell
  for (const std::string& option : example.plotOptions) plot += " " + option;
  plot += " -o plot.png > plot.txt 2>&1";
  EXPECT_EQ(RunShell(plot), 0) << ReadText(results + "plot.txt");
  EXPECT_GT(fs::exists(results + "plot.png") ? fs::file_size(results + "plot.png") : 0u, 1000u);
}

std::string ExampleName(const testing::TestParamInfo<EXAMPLE>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Manual, ExampleRun, testing::ValuesIn(Examples()), ExampleName);

}  // namespace
