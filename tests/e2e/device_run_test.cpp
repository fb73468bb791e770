// Runs of the GPU build with real devices: Trenqual_CUDA on host-simulated
// devices (TQ_SIMULATED_DEVICES), which run their share of the histories in
// time slices beside the CPU workers or alone, for a photon and an electron
// problem: every history is run once, the tallies agree with Trenqual's
// within 4 sigma bin by bin, and the same seed without balancing gives the
// same files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/tally_files.h"
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
  std::vector<std::string> args = DeviceRunArgs(p.input, workers, streams, nDevices);
  args.insert(args.end(), {"time_CUDA", "5"});
  if (workers > 0) args.insert(args.end(), {"ratio_CUDA", "0.6"});
  args.insert(args.end(), p.extra.begin(), p.extra.end());
  args.insert(args.end(), options.begin(), options.end());
  setenv("TQ_SIMULATED_DEVICES", std::to_string(nDevices).c_str(), 1);
  PROGRAMRUN run = RunProgram(folder + "Trenqual_CUDA", p.input, args);
  unsetenv("TQ_SIMULATED_DEVICES");
  return run;
}

// The N of a problem's run.
std::string HistoriesOf(const PROBLEM& p) {
  for (size_t i = 0; i + 1 < p.extra.size(); ++i) {
    if (p.extra[i] == "N") return p.extra[i + 1];
  }
  return "";
}

// A run that ended with its summary, every one of its N histories run once
// (by the CPU workers and the devices together).
void ExpectCompleteRun(const PROGRAMRUN& run, const std::string& label, const std::string& N) {
  ASSERT_EQ(run.exitCode, 0) << label << run.console;
  EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << label << run.console;
  EXPECT_NE(run.console.find("number of source particles = " + N + ","), std::string::npos) << label << run.console;
  EXPECT_EQ(run.console.find("Error"), std::string::npos) << label << run.console;
  EXPECT_EQ(run.console.find("Fatal error"), std::string::npos) << label << run.console;
}

PROGRAMRUN RunOnCpu(const PROBLEM& p, const std::string& scratch) {
  const std::string folder = MakeScratchFolder(scratch);
  const std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) return PROGRAMRUN{-1, kAuxDataMissing, ""};
  std::vector<std::string> args = {"in", p.input, "dir", EndfFolder(), "tasks", "2", "seed", "5", "nStreams", "16"};
  args.insert(args.end(), p.extra.begin(), p.extra.end());
  return RunProgram(program, p.input, args);
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
      ExpectCompleteRun(run, label, HistoriesOf(*p));
      EXPECT_NE(run.console.find(std::to_string(c.nDevices) +
                                 (c.nDevices == 1 ? " CUDA device found.\n" : " CUDA devices found.\n")),
                std::string::npos)
          << label << run.console;
    }
  }
}

// Without balancing the share of every device and worker is fixed; the
// simulated devices' clock counts its reads, so every time slice ends after
// the same steps and the devices' tasks score and read banked particles in
// the same order: the same seed gives the same tally files, for photons and
// electrons, with the ring and with the per-task stacks.
TEST(DeviceRun, SameSeedGivesIdenticalTallyFiles) {
  const std::pair<const PROBLEM*, const char*> cases[] = {{&kPhotons, "2"}, {&kElectrons, "2"}, {&kElectrons, "1"}};
  for (const auto& [p, heap] : cases) {
    const std::vector<std::string> options = {"balance_CUDA", "0", "heap_CUDA", heap};
    const PROGRAMRUN a = RunOnDevices(*p, "e2e-device-seed-a", 2, 2, options);
    if (a.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    const PROGRAMRUN b = RunOnDevices(*p, "e2e-device-seed-b", 2, 2, options);
    ExpectCompleteRun(a, p->input, HistoriesOf(*p));
    ExpectCompleteRun(b, p->input, HistoriesOf(*p));
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
    std::vector<std::string> args = DeviceRunArgs("lead_uncollided.txt", 2, 24, 1);
    args.insert(args.end(), {"N", "2000000000", "ratio_CUDA", "0.5", "time_CUDA", "5", "heap_CUDA", heap});
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

// The devices' results joined with the CPU workers': a run on simulated
// devices alone and one shared with two CPU workers, with balancing, agree
// with Trenqual's run of the same problem within 4 sigma in every bin, for
// photons and for electrons.
TEST(DeviceRun, AgreesWithTrenqualWithinFourSigmaForPhotonsAndElectrons) {
  struct CASE {
    PROBLEM problem;
    std::vector<std::string> files;
  };
  const CASE cases[] = {{{"lead_uncollided.txt", {"N", "20000"}}, {"PTALLY1_THETA.txt", "PTALLY1_E.txt"}},
                        {{"aluminium_electrons.txt", {"N", "600"}}, {"ETALLY1_E.txt", "ETALLY1_THETA.txt"}}};
  for (const CASE& c : cases) {
    const PROGRAMRUN cpu = RunOnCpu(c.problem, "e2e-device-cpu");
    if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
    const PROGRAMRUN alone = RunOnDevices(c.problem, "e2e-device-alone", 0, 1, {});
    const PROGRAMRUN shared = RunOnDevices(c.problem, "e2e-device-shared", 2, 2, {});
    ExpectCompleteRun(alone, std::string(c.problem.input) + " on one device\n", HistoriesOf(c.problem));
    ExpectCompleteRun(shared, std::string(c.problem.input) + " on two workers and two devices\n",
                      HistoriesOf(c.problem));
    for (const std::string& f : c.files) {
      ExpectAgreement(ResultFolder(cpu, c.problem.input) + f, ResultFolder(alone, c.problem.input) + f, "alone ");
      ExpectAgreement(ResultFolder(cpu, c.problem.input) + f, ResultFolder(shared, c.problem.input) + f, "shared ");
    }
  }
}

// A real device beside an emulated one and no CPU worker: nobody would run
// the emulated device's histories (the run ended short of N with exit code
// 0); the division stops the run instead.
TEST(DeviceRun, AnEmulatedDeviceWithoutCpuWorkersIsRefused) {
  const PROGRAMRUN run =
      RunOnDevices(kPhotons, "e2e-device-emulated-alone", 0, 2, {"em_CUDA", "2", "balance_CUDA", "0"});
  if (run.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
  EXPECT_EQ(run.exitCode, 2) << run.console;
  EXPECT_NE(run.console.find("Error: The number of CPU threads is zero, although some CUDA devices are emulated.\n"),
            std::string::npos)
      << run.console;
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

std::vector<std::string> DeviceMonitorArgs(const std::string& input, int workers, const char* N) {
  std::vector<std::string> args = DeviceRunArgs(input, workers, 24, 1);
  args.insert(args.end(), {"N", N, "time_CUDA", "5", "heap_CUDA", "2", "stats_CUDA", "2"});
  return args;
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
  std::vector<std::string> args = DeviceMonitorArgs(input, 0, "100000000");
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
  std::vector<std::string> args = DeviceMonitorArgs(input, 2, "2000000000");
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
