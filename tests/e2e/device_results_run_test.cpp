// Whole runs of the GPU build on host-simulated devices (TQ_SIMULATED_DEVICES)
// whose results are read back and merged with the CPU workers': the tally
// files agree with Trenqual's within 4 sigma bin by bin, with the devices
// beside CPU workers and alone, for photons and electrons; the summary shows
// the CPU's share and every device's block (masked where it depends on the
// machine's speed).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/tally_files.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

// Trenqual with two workers, or Trenqual_CUDA with `workers` CPU workers and
// nDevices simulated devices of 8 tasks (a share of 0.6 beside workers).
PROGRAMRUN RunOf(const std::string& input, const std::string& scratch, bool gpu, int workers, int nDevices,
                 const std::vector<std::string>& extra) {
  const std::string folder = MakeScratchFolder(scratch);
  std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) return PROGRAMRUN{-1, kAuxDataMissing, ""};
  std::vector<std::string> args;
  if (gpu) {
    fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
    program = folder + "Trenqual_CUDA";
    args = DeviceRunArgs(input, workers, workers * 8 + nDevices * 8, nDevices);
    args.insert(args.end(), {"time_CUDA", "5", "balance_CUDA", "0"});
    if (workers > 0) args.insert(args.end(), {"ratio_CUDA", "0.6"});
  } else {
    args = {"in", input, "dir", EndfFolder(), "tasks", std::to_string(workers), "seed", "5", "nStreams", "16"};
  }
  args.insert(args.end(), extra.begin(), extra.end());
  if (gpu) setenv("TQ_SIMULATED_DEVICES", std::to_string(nDevices).c_str(), 1);
  PROGRAMRUN run = RunProgram(program, input, args);
  if (gpu) unsetenv("TQ_SIMULATED_DEVICES");
  return run;
}

// The summary's part from its first line to the time ratios, every number
// masked except on the lines of the history shares and the device headings;
// the statistics of the launches with every thread active are left out
// (whether a launch kept every thread busy depends on the machine's speed).
std::string MaskedSummary(const std::string& console) {
  const size_t from = console.find("Elapsed time = ");
  const std::string closing = "Ratio of the total CPU simulation time and total elapsed time";
  const size_t to = console.find('\n', console.find(closing));
  if (from == std::string::npos || to == std::string::npos) return "<no summary>\n" + console;
  std::istringstream lines(console.substr(from, to - from + 1));
  std::string line, masked;
  int skip = 0;
  while (std::getline(lines, line)) {
    if (line == "     Statistics for kernel calls with all threads active:") skip = 7;
    if (skip > 0) {
      --skip;
      continue;
    }
    if (line.find("Number of particle histories") == std::string::npos &&
        line.find("Statistics for CUDA device No.") == std::string::npos) {
      std::string out;
      for (size_t i = 0; i < line.size();) {
        const bool inWord = i > 0 && std::isalpha(static_cast<unsigned char>(line[i - 1])) != 0;
        if (std::isdigit(static_cast<unsigned char>(line[i])) != 0 && !inWord) {
          size_t j = i;
          while (j < line.size() && (std::isdigit(static_cast<unsigned char>(line[j])) != 0 || line[j] == '.' ||
                                     line[j] == 'e' || line[j] == '-' || line[j] == '+')) {
            ++j;
          }
          out += "#";
          i = j;
        } else {
          out += line[i++];
        }
      }
      line = out;
    }
    masked += line + "\n";
  }
  return masked;
}

}  // namespace

// Photons through lead and electrons in aluminium: the merged tally files of
// two simulated devices beside two CPU workers, and of one device alone, agree
// with Trenqual's bin by bin.
TEST(DeviceResultsRun, MergedTalliesAgreeWithTrenqualWithinFourSigma) {
  struct CASE {
    const char* input;
    std::vector<std::string> extra;
    std::vector<std::string> files;
  };
  const CASE cases[] = {{"lead_uncollided.txt", {"N", "8000"}, {"PTALLY1_THETA.txt", "PTALLY1_E.txt"}},
                        {"aluminium_electrons.txt", {"N", "400"}, {"ETALLY1_E.txt", "ETALLY1_THETA.txt"}}};
  for (const CASE& c : cases) {
    const PROGRAMRUN cpu = RunOf(c.input, "e2e-results-cpu", false, 2, 0, c.extra);
    if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
    for (const auto& [workers, devices] : {std::pair{2, 2}, std::pair{0, 1}}) {
      const PROGRAMRUN gpu = RunOf(c.input, "e2e-results-gpu", true, workers, devices, c.extra);
      ASSERT_EQ(gpu.exitCode, 0) << gpu.console;
      // The devices' histories are in the file: at least half of Trenqual's count.
      for (const std::string& f : c.files) {
        ExpectAgreement(ResultFolder(cpu, c.input) + f, ResultFolder(gpu, c.input) + f, "", 0.5);
      }
    }
  }
}

// The summary with stats_CUDA 1: the CPU's share, each device's block and the
// time ratios; the shares add up to N.
TEST(DeviceResultsRun, SummaryShowsTheSharesAndTheDeviceBlocks) {
  const PROGRAMRUN run = RunOf("lead_uncollided.txt", "e2e-results-summary", true, 2, 2,
                               {"N", "4000", "stats_CUDA", "1", "heap_CUDA", "1"});
  if (run.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find("Number of particle histories simulated on the CPU = 1600 / 4000 (40.00%)."),
            std::string::npos)
      << run.console;
  EXPECT_EQ(CompareWithGolden(MaskedSummary(run.console), "device_results_summary_console.txt"), "");
  // The output file has the same lines.
  const std::string output = ReadText(run.folder + "lead_uncollided_out.txt");
  EXPECT_NE(
      output.find("\nStatistics for CUDA device No. 2:\n     Number of particle histories = 1200 / 4000 (30.00%).\n"),
      std::string::npos);
}
