// Runs of the GPU build with real devices: Trenqual_CUDA on host-simulated
// devices (TQ_SIMULATED_DEVICES), which run their share of the histories in
// time slices beside the CPU workers or alone, for a photon and an electron
// problem; the same seed without balancing gives the same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

struct PROBLEM {
  const char* input;
  std::vector<std::string> extra;
};

const PROBLEM kPhotons{"lead_uncollided.txt", {"N", "4000"}};
const PROBLEM kElectrons{"aluminium_electrons.txt", {"N", "300"}};

// Trenqual_CUDA with nDevices simulated devices of 8 tasks each and `workers`
// CPU workers (0: the devices alone).
PROGRAMRUN RunOnDevices(const PROBLEM& p, const std::string& scratch, int workers, int nDevices,
                        const std::vector<std::string>& options) {
  const std::string folder = MakeScratchFolder(scratch);
  if (InstallProgramWithAuxData(folder).empty()) return PROGRAMRUN{-1, kAuxDataMissing, ""};
  fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
  const int streams = workers * 8 + nDevices * 8;
  std::vector<std::string> args = {"in",
                                   p.input,
                                   "dir",
                                   EndfFolder(),
                                   "tasks",
                                   std::to_string(workers),
                                   "seed",
                                   "5",
                                   "nStreams",
                                   std::to_string(streams),
                                   "tasks_CUDA",
                                   "8",
                                   "threads_CUDA",
                                   "8",
                                   "blockSize_CUDA",
                                   "8",
                                   "first_CUDA",
                                   "1",
                                   "last_CUDA",
                                   std::to_string(nDevices),
                                   "time_CUDA",
                                   "5"};
  if (workers > 0) args.insert(args.end(), {"ratio_CUDA", "0.6"});
  args.insert(args.end(), p.extra.begin(), p.extra.end());
  args.insert(args.end(), options.begin(), options.end());
  setenv("TQ_SIMULATED_DEVICES", std::to_string(nDevices).c_str(), 1);
  PROGRAMRUN run = RunProgram(folder + "Trenqual_CUDA", p.input, args);
  unsetenv("TQ_SIMULATED_DEVICES");
  return run;
}

std::string ResultFolder(const PROGRAMRUN& run, const std::string& input) {
  return run.folder + "Files_" + input.substr(0, input.size() - 4) + "_out.txt/";
}

std::map<std::string, std::string> TallyFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.find("TALLY") != std::string::npos) files[name] = ReadText(e.path().string());
  }
  return files;
}

void ExpectCompleteRun(const PROGRAMRUN& run, const std::string& label) {
  ASSERT_EQ(run.exitCode, 0) << label << run.console;
  EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << label << run.console;
  EXPECT_EQ(run.console.find("Error"), std::string::npos) << label << run.console;
  EXPECT_EQ(run.console.find("Fatal error"), std::string::npos) << label << run.console;
}

}  // namespace

// The devices alone (no CPU worker) and beside two CPU workers, in both
// banking modes of the ring and the pool, with and without balancing: every
// run ends normally with its summary.
TEST(DeviceRun, DevicesAloneAndBesideCpuWorkersRunPhotonsAndElectrons) {
  struct CASE {
    int workers;
    int nDevices;
    std::vector<std::string> options;
  };
  const CASE cases[] = {{0, 1, {"heap_CUDA", "2"}},
                        {0, 2, {"heap_CUDA", "1"}},
                        {2, 1, {"heap_CUDA", "2", "balance_CUDA", "0"}},
                        {2, 2, {"heap_CUDA", "2"}},
                        {2, 2, {"heap_CUDA", "1"}}};
  for (const PROBLEM* p : {&kPhotons, &kElectrons}) {
    for (const CASE& c : cases) {
      const std::string label = std::string(p->input) + " with " + std::to_string(c.workers) + " workers and " +
                                std::to_string(c.nDevices) + " devices, heap " + c.options[1] + "\n";
      const PROGRAMRUN run = RunOnDevices(*p, "e2e-device-run", c.workers, c.nDevices, c.options);
      if (run.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
      ExpectCompleteRun(run, label);
      EXPECT_NE(run.console.find(std::to_string(c.nDevices) +
                                 (c.nDevices == 1 ? " CUDA device found.\n" : " CUDA devices found.\n")),
                std::string::npos)
          << label << run.console;
    }
  }
}

// Without balancing the share of every device and worker is fixed, and the
// devices run their tasks in the same order every time: the same seed gives
// the same tally files, for photons and electrons.
TEST(DeviceRun, SameSeedGivesIdenticalTallyFiles) {
  for (const PROBLEM* p : {&kPhotons, &kElectrons}) {
    const std::vector<std::string> options = {"balance_CUDA", "0"};
    const PROGRAMRUN a = RunOnDevices(*p, "e2e-device-seed-a", 2, 2, options);
    if (a.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    const PROGRAMRUN b = RunOnDevices(*p, "e2e-device-seed-b", 2, 2, options);
    ExpectCompleteRun(a, p->input);
    ExpectCompleteRun(b, p->input);
    const std::map<std::string, std::string> first = TallyFiles(ResultFolder(a, p->input));
    const std::map<std::string, std::string> second = TallyFiles(ResultFolder(b, p->input));
    ASSERT_FALSE(first.empty()) << p->input;
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [name, text] : first) EXPECT_EQ(text, second.at(name)) << p->input << " " << name;
  }
}

// Esc, then Q, typed during a run of two billion histories shared by two CPU
// workers and a simulated device: the device starts no further history, ends
// those in flight and empties its bank, and the run ends normally with its
// summary, in both banking modes.
TEST(DeviceRun, EscThenQEndsTheDevicesHistoriesToo) {
  for (const char* heap : {"2", "1"}) {
    const std::string folder = MakeScratchFolder("e2e-device-escape");
    if (InstallProgramWithAuxData(folder).empty()) GTEST_SKIP() << kAuxDataMissing;
    fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
    const std::vector<std::string> args = {"in",
                                           "lead_uncollided.txt",
                                           "dir",
                                           EndfFolder(),
                                           "tasks",
                                           "2",
                                           "seed",
                                           "5",
                                           "nStreams",
                                           "24",
                                           "N",
                                           "2000000000",
                                           "tasks_CUDA",
                                           "8",
                                           "threads_CUDA",
                                           "8",
                                           "blockSize_CUDA",
                                           "8",
                                           "first_CUDA",
                                           "1",
                                           "last_CUDA",
                                           "1",
                                           "ratio_CUDA",
                                           "0.5",
                                           "time_CUDA",
                                           "5",
                                           "heap_CUDA",
                                           heap};
    setenv("TQ_SIMULATED_DEVICES", "1", 1);
    const PROGRAMRUN run = RunProgramOnTerminal(folder + "Trenqual_CUDA", "lead_uncollided.txt", args,
                                                {{" s: ", "\x1b"}, {"The escape key has been pressed.", "q"}}, 60);
    unsetenv("TQ_SIMULATED_DEVICES");
    ASSERT_EQ(run.exitCode, 0) << heap << run.console;
    EXPECT_NE(run.console.find("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n"),
              std::string::npos)
        << run.console;
    EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << run.console;
  }
}

namespace {

// The rows of a device statistics file, split at blanks.
std::vector<std::vector<std::string>> StatsRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::vector<std::string> fields;
    std::string field;
    for (char ch : text.substr(start, end - start) + " ") {
      if (ch != ' ') {
        field += ch;
      } else if (!field.empty()) {
        fields.push_back(field);
        field.clear();
      }
    }
    rows.push_back(fields);
  }
  return rows;
}

std::vector<std::string> DeviceMonitorArgs(const std::string& input, const char* workers, const char* N) {
  return {"in",
          input,
          "dir",
          EndfFolder(),
          "tasks",
          workers,
          "seed",
          "5",
          "nStreams",
          "24",
          "N",
          N,
          "tasks_CUDA",
          "8",
          "threads_CUDA",
          "8",
          "blockSize_CUDA",
          "8",
          "first_CUDA",
          "1",
          "last_CUDA",
          "1",
          "time_CUDA",
          "5",
          "heap_CUDA",
          "2",
          "stats_CUDA",
          "2"};
}

}  // namespace

// A simulated device alone, a photon tally with an error target and a
// hundred million histories to run: the target, met from the device's
// scores (there is no CPU worker), ends the run at a tick. The end of the
// run shows the device's three pages, and the rows of d1.txt, one per tick,
// have the 55 columns of its header.
TEST(DeviceRun, ErrorTargetMetFromTheDeviceScoresEndsTheRun) {
  const std::string input = "lead_uncollided_target.txt";
  const std::string folder = MakeScratchFolder("e2e-device-target");
  if (InstallProgramWithAuxData(folder).empty()) GTEST_SKIP() << kAuxDataMissing;
  fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
  std::vector<std::string> args = DeviceMonitorArgs(input, "0", "100000000");
  args[9] = "8";  // nStreams: the device's
  setenv("TQ_SIMULATED_DEVICES", "1", 1);
  const PROGRAMRUN run = RunProgramOnTerminal(folder + "Trenqual_CUDA", input, args, {}, 120);
  unsetenv("TQ_SIMULATED_DEVICES");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find(" MinErr (PT1) = "), std::string::npos) << run.console;
  for (const char* page : {"dev. 1-1 - src ", "dev. 1-2 - nk ", "dev. 1-3 - nB "})
    EXPECT_NE(run.console.find(page), std::string::npos) << page << run.console;
  EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << run.console;
  EXPECT_EQ(run.console.find("number of source particles = 100000000"), std::string::npos) << run.console;
  const std::vector<std::vector<std::string>> rows = StatsRows(ReadText(ResultFolder(run, input) + "d1.txt"));
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ(rows[0].front(), "t");
  EXPECT_EQ(rows[0].back(), "tCheck2");
  for (const std::vector<std::string>& row : rows) EXPECT_EQ(row.size(), 55u);
}

// The keys of the device monitor in a run of a simulated device beside two
// CPU workers, watched on a terminal: "+" shows the device's first page, "s"
// stops and "f" resumes the rows of its statistics file, and Esc then Q end
// the run.
TEST(DeviceRun, MonitorKeysOnATerminal) {
  const std::string input = "lead_uncollided.txt";
  const std::string folder = MakeScratchFolder("e2e-device-keys");
  if (InstallProgramWithAuxData(folder).empty()) GTEST_SKIP() << kAuxDataMissing;
  fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
  std::vector<std::string> args = DeviceMonitorArgs(input, "2", "2000000000");
  args.insert(args.end(), {"ratio_CUDA", "0.5"});
  setenv("TQ_SIMULATED_DEVICES", "1", 1);
  const PROGRAMRUN run = RunProgramOnTerminal(folder + "Trenqual_CUDA", input, args,
                                              {{", CPU - ", "+"},
                                               {"dev. 1-1 - src = ", "s"},
                                               {"statistics to a file has been stopped.", "f"},
                                               {"statistics to a file has been resumed.", "\x1b"},
                                               {"The escape key has been pressed.", "q"}},
                                              120);
  unsetenv("TQ_SIMULATED_DEVICES");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n"),
            std::string::npos)
      << run.console;
  EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << run.console;
  for (const std::vector<std::string>& row : StatsRows(ReadText(ResultFolder(run, input) + "d1.txt")))
    EXPECT_EQ(row.size(), 55u);
}
