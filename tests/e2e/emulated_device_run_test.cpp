// Runs of the GPU build whose devices are all emulated: their histories run on
// the CPU workers under the devices' streams and history numbers. The program
// is Trenqual_CUDA on the host-simulated device with no device present, as on
// a machine without a GPU. Its results are those of Trenqual: byte for byte
// when every stream runs as many histories in both programs, within 4 sigma
// otherwise; the same seed gives the same files.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/e2e/tally_files.h"
#include "tests/support/test_paths.h"

namespace {

namespace fs = std::filesystem;

// One run of an input; gpu selects Trenqual_CUDA with every device emulated
// and `ratio` of the histories on them.
PROGRAMRUN RunOf(const std::string& input, const std::string& scratch, bool gpu, const std::string& ratio,
                 const std::vector<std::string>& extra = {}) {
  const std::string folder = MakeScratchFolder(scratch);
  std::string program = InstallProgramWithAuxData(folder);
  if (program.empty()) return PROGRAMRUN{-1, kAuxDataMissing, ""};
  bool streamsGiven = false;
  for (const std::string& e : extra) streamsGiven = streamsGiven || e == "nStreams";
  std::vector<std::string> args = {"in", input, "dir", EndfFolder(), "tasks", "2", "seed", "5"};
  if (!streamsGiven) args.insert(args.end(), {"nStreams", "16"});
  if (gpu) {
    fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
    program = folder + "Trenqual_CUDA";
    for (const char* a : {"tasks_CUDA", "8", "threads_CUDA", "8", "blockSize_CUDA", "8"}) args.push_back(a);
    // Every device emulated unless the run names its emulated devices.
    bool namesEmulated = false;
    for (const std::string& e : extra) namesEmulated = namesEmulated || e == "em_CUDA";
    if (!namesEmulated) args.insert(args.end(), {"emulate_CUDA", "1", "first_CUDA", "1", "last_CUDA", "1"});
    args.insert(args.end(), {"ratio_CUDA", ratio});
  }
  args.insert(args.end(), extra.begin(), extra.end());
  return RunProgram(program, input, args);
}

// Every bin of two runs' tally file within 4 standard deviations of their
// difference; the runs differ (different histories).
void ExpectAgreementOfOtherHistories(const std::string& fileA, const std::string& fileB) {
  ExpectAgreement(fileA, fileB);
  const std::vector<TALLYBIN> a = ReadTallyBins(fileA);
  const std::vector<TALLYBIN> b = ReadTallyBins(fileB);
  ASSERT_FALSE(a.empty() || b.empty()) << fileA;
  EXPECT_NE(TotalCount(a) == TotalCount(b) && a[0].flux == b[0].flux, true) << "the same histories in both runs";
}

// A photon and an electron problem whose runs are compared with Trenqual's:
// the input, its extra arguments and the tally files compared.
struct PROBLEM {
  const char* input;
  std::vector<std::string> extra;
  std::vector<std::string> files;
};

const PROBLEM kProblems[] = {{"lead_uncollided.txt", {}, {"PTALLY1_THETA.txt", "PTALLY1_E.txt"}},
                             {"aluminium_electrons.txt", {"N", "600"}, {"ETALLY1_E.txt", "ETALLY1_THETA.txt"}}};

}  // namespace

// With 16 streams and half of the histories on the emulated device, every
// stream runs N / 16 histories under its own generator in both programs: the
// tally files are the same bytes.
TEST(EmulatedDeviceRun, EqualStreamLoadsGiveTrenqualsFilesByteForByte) {
  const std::string input = "lead_uncollided.txt";
  const PROGRAMRUN cpu = RunOf(input, "e2e-emulated-cpu", false, "");
  if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN gpu = RunOf(input, "e2e-emulated-gpu", true, "0.5");
  ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
  ASSERT_EQ(gpu.exitCode, 0) << gpu.console;
  const std::map<std::string, std::string> a = TallyFiles(ResultFolder(cpu, input));
  const std::map<std::string, std::string> b = TallyFiles(ResultFolder(gpu, input));
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), a.size());
  for (const auto& [name, text] : a) EXPECT_EQ(text, b.at(name)) << name;
}

// Another share of the histories on the device: other histories per stream,
// the same physics within statistics, for photons and for electrons.
TEST(EmulatedDeviceRun, AgreesWithTrenqualWithinFourSigmaForPhotonsAndElectrons) {
  for (const PROBLEM& c : kProblems) {
    const PROGRAMRUN cpu = RunOf(c.input, "e2e-emulated-cpu", false, "", c.extra);
    if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    const PROGRAMRUN gpu = RunOf(c.input, "e2e-emulated-gpu", true, "0.3", c.extra);
    ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
    ASSERT_EQ(gpu.exitCode, 0) << gpu.console;
    for (const std::string& f : c.files)
      ExpectAgreementOfOtherHistories(ResultFolder(cpu, c.input) + f, ResultFolder(gpu, c.input) + f);
  }
}

TEST(EmulatedDeviceRun, SameSeedGivesIdenticalTallyFiles) {
  const std::string input = "aluminium_electrons.txt";
  const PROGRAMRUN a = RunOf(input, "e2e-emulated-a", true, "0.3", {"N", "300"});
  if (a.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN b = RunOf(input, "e2e-emulated-b", true, "0.3", {"N", "300"});
  ASSERT_EQ(a.exitCode, 0) << a.console;
  ASSERT_EQ(b.exitCode, 0) << b.console;
  const std::map<std::string, std::string> first = TallyFiles(ResultFolder(a, input));
  const std::map<std::string, std::string> second = TallyFiles(ResultFolder(b, input));
  ASSERT_EQ(first.size(), 3u);
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, text] : first) EXPECT_EQ(text, second.at(name)) << name;
}

namespace {

// Trenqual_CUDA with the histories shared by 2 CPU workers and three used
// devices, named by `devices` (first_CUDA, last_CUDA and the emulation
// keywords), 8 tasks each; `ratio` of the histories on the devices.
PROGRAMRUN RunOnThreeDevices(const std::string& input, const std::string& scratch, const std::string& ratio,
                             const std::vector<std::string>& devices, const std::vector<std::string>& extra) {
  std::vector<std::string> args = {"nStreams", "32", "balance_CUDA", "0"};
  args.insert(args.end(), devices.begin(), devices.end());
  args.insert(args.end(), extra.begin(), extra.end());
  const std::string folder = MakeScratchFolder(scratch);
  if (InstallProgramWithAuxData(folder).empty()) return PROGRAMRUN{-1, kAuxDataMissing, ""};
  fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
  std::vector<std::string> all = {
      "in",         input, "dir",          EndfFolder(), "tasks",          "2", "seed",       "5",
      "tasks_CUDA", "8",   "threads_CUDA", "8",          "blockSize_CUDA", "8", "ratio_CUDA", ratio};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(folder + "Trenqual_CUDA", input, all);
}

}  // namespace

// Three devices, every one emulated, named two ways: emulate_CUDA over the
// range first_CUDA..last_CUDA with no device present, and the emulated range
// emfirst_CUDA..emlast_CUDA equal to the used range of three present
// (simulated) devices. Each device gets a fifth of the histories, the CPU
// workers the rest. Both runs give the same tally files, the same seed gives
// the same bytes again, and the results agree with Trenqual's within 4 sigma,
// for photons and for electrons.
TEST(EmulatedDeviceRun, ThreeEmulatedDevicesAgreeWithTrenqualAndRepeatByteForByte) {
  const std::vector<std::string> byOption = {"emulate_CUDA", "1", "first_CUDA", "1", "last_CUDA", "3"};
  const std::vector<std::string> byRange = {"first_CUDA",   "1", "last_CUDA",   "3",
                                            "emfirst_CUDA", "1", "emlast_CUDA", "3"};
  for (const PROBLEM& c : kProblems) {
    const PROGRAMRUN cpu = RunOf(c.input, "e2e-three-cpu", false, "", c.extra);
    if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
    const PROGRAMRUN first = RunOnThreeDevices(c.input, "e2e-three-a", "0.6", byOption, c.extra);
    const PROGRAMRUN again = RunOnThreeDevices(c.input, "e2e-three-b", "0.6", byOption, c.extra);
    setenv("TQ_SIMULATED_DEVICES", "3", 1);
    const PROGRAMRUN ranged = RunOnThreeDevices(c.input, "e2e-three-c", "0.6", byRange, c.extra);
    unsetenv("TQ_SIMULATED_DEVICES");
    for (const PROGRAMRUN* run : {&first, &again, &ranged}) {
      ASSERT_EQ(run->exitCode, 0) << run->console;
      EXPECT_EQ(run->console.find("Simulation on CUDA devices"), std::string::npos);
    }
    EXPECT_NE(ranged.console.find("3 CUDA devices found.\n"), std::string::npos) << ranged.console;
    const std::map<std::string, std::string> a = TallyFiles(ResultFolder(first, c.input));
    const std::map<std::string, std::string> b = TallyFiles(ResultFolder(again, c.input));
    const std::map<std::string, std::string> r = TallyFiles(ResultFolder(ranged, c.input));
    ASSERT_FALSE(a.empty());
    ASSERT_EQ(b.size(), a.size());
    ASSERT_EQ(r.size(), a.size());
    for (const auto& [name, text] : a) {
      EXPECT_EQ(text, b.at(name)) << c.input << " " << name;
      EXPECT_EQ(text, r.at(name)) << c.input << " " << name;
    }
    for (const std::string& f : c.files)
      ExpectAgreementOfOtherHistories(ResultFolder(cpu, c.input) + f, ResultFolder(first, c.input) + f);
  }
}

// Two simulated devices, the second emulated: the set-up copies the problem to
// the first and sets up its tasks (check -1 ends there, exit code 0); a run
// goes on to its summary, the real device running its share in time slices
// and the CPU workers serving the emulated one's streams beside their own.
// With stats_CUDA 2 the real device's statistics file is opened at set-up.
// With the default avgBanked_CUDA (-0.2) the device's pool takes a fifth of
// its 6 GiB, which the simulated device does not take from the host.
TEST(EmulatedDeviceRun, PartlyEmulatedSetsUpTheRealDeviceAndRunsIt) {
  struct CASE {
    const char* check;
    const char* avgBanked;  // null: the default
    int exitCode;
    const char* report;  // the memory report
    const char* last;    // the console's last words (null: a run to its summary)
  };
  const CASE cases[] = {
      {"-1", "10", 0, "Allocated global memory on each used CUDA device: ", "kB for banked particles.\n\n"},
      {"1", "10", 0, "Allocated global memory on each used CUDA device: ", nullptr},
      {"-1", nullptr, 0, "Device No. 1 allocated global memory: ", " banked particles per task).\n\n"}};
  setenv("TQ_SIMULATED_DEVICES", "2", 1);
  for (const CASE& c : cases) {
    std::vector<std::string> extra = {"nStreams", "32",         "em_CUDA", "2",     "balance_CUDA",
                                      "0",        "stats_CUDA", "2",       "check", c.check};
    if (c.avgBanked != nullptr) extra.insert(extra.end(), {"avgBanked_CUDA", c.avgBanked});
    const PROGRAMRUN run = RunOf("lead_uncollided.txt", "e2e-partly-emulated", true, "0.5", extra);
    if (run.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    EXPECT_EQ(run.exitCode, c.exitCode) << run.console;
    EXPECT_NE(run.console.find("2 CUDA devices found.\n"), std::string::npos) << run.console;
    EXPECT_NE(run.console.find(c.report), std::string::npos) << run.console;
    if (c.last != nullptr) {
      const std::string last = c.last;
      ASSERT_GE(run.console.size(), last.size());
      EXPECT_EQ(run.console.substr(run.console.size() - last.size()), last) << run.console;
    } else {
      EXPECT_NE(run.console.find("Elapsed time = "), std::string::npos) << run.console;
    }
    // The real device's statistics file has its header; the emulated one has none.
    const std::string stats = ReadText(ResultFolder(run, "lead_uncollided.txt") + "d1.txt");
    EXPECT_EQ(stats.substr(0, 22), "         t        src ") << stats;
    const size_t header = 10 + 5 * 11 + 49 * 9 + 1u;
    if (std::string(c.check) == "-1") {
      EXPECT_EQ(stats.size(), header);
    }
    EXPECT_EQ(run.console.find("Simulation on CUDA devices"), std::string::npos);
    EXPECT_FALSE(fs::exists(ResultFolder(run, "lead_uncollided.txt") + "d2.txt"));
  }
  unsetenv("TQ_SIMULATED_DEVICES");
  // No program of this test took a GB of host memory (ru_maxrss is in kB).
  rusage children{};
  ASSERT_EQ(getrusage(RUSAGE_CHILDREN, &children), 0);
  EXPECT_LT(children.ru_maxrss, 512 * 1024);
}

// A real (simulated) device beside an emulated one and two CPU workers: the
// real device runs its share in time slices, the workers run theirs and the
// emulated device's streams, and the merged tally files agree with Trenqual's
// within 4 sigma bin by bin, for photons and electrons; the same seed gives
// the same files again.
TEST(EmulatedDeviceRun, PartlyEmulatedRunAgreesWithTrenqualAndRepeatsByteForByte) {
  setenv("TQ_SIMULATED_DEVICES", "2", 1);
  for (const PROBLEM& c : kProblems) {
    const PROGRAMRUN cpu = RunOf(c.input, "e2e-partly-cpu", false, "", c.extra);
    if (cpu.exitCode == -1) GTEST_SKIP() << kAuxDataMissing;
    std::vector<std::string> extra = c.extra;
    extra.insert(extra.end(), {"nStreams", "32", "em_CUDA", "2", "balance_CUDA", "0"});
    const PROGRAMRUN first = RunOf(c.input, "e2e-partly-a", true, "0.6", extra);
    const PROGRAMRUN second = RunOf(c.input, "e2e-partly-b", true, "0.6", extra);
    ASSERT_EQ(cpu.exitCode, 0) << cpu.console;
    ASSERT_EQ(first.exitCode, 0) << first.console;
    ASSERT_EQ(second.exitCode, 0) << second.console;
    // The real device ran a share: the CPU records ran fewer than all.
    const std::string line = "Number of particle histories simulated on the CPU = ";
    const size_t at = first.console.find(line);
    ASSERT_NE(at, std::string::npos) << first.console;
    unsigned long long onCpu = 0, all = 0;
    ASSERT_EQ(std::sscanf(first.console.c_str() + at + line.size(), "%llu / %llu", &onCpu, &all), 2);
    EXPECT_GT(onCpu, 0u);
    EXPECT_LT(onCpu, all);
    for (const std::string& f : c.files)
      ExpectAgreementOfOtherHistories(ResultFolder(cpu, c.input) + f, ResultFolder(first, c.input) + f);
    const std::map<std::string, std::string> a = TallyFiles(ResultFolder(first, c.input));
    const std::map<std::string, std::string> b = TallyFiles(ResultFolder(second, c.input));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b) << c.input;
  }
  unsetenv("TQ_SIMULATED_DEVICES");
}

// Esc, then Q, typed during a run of two billion histories whose device is
// emulated: the workers stop starting histories on the device's streams as
// on their own, and the run ends normally within seconds with its summary
// (before, the device's streams ran on through their billion histories).
TEST(EmulatedDeviceRun, EscThenQEndsTheEmulatedDevicesHistoriesToo) {
  const std::string folder = MakeScratchFolder("e2e-emulated-escape");
  if (InstallProgramWithAuxData(folder).empty()) GTEST_SKIP() << kAuxDataMissing;
  fs::copy_file(TRENQUAL_CUDA_PATH, folder + "Trenqual_CUDA");
  std::vector<std::string> args = DeviceRunArgs("lead_uncollided.txt", 2, 16, 1);
  args.insert(args.end(), {"N", "2000000000", "emulate_CUDA", "1", "ratio_CUDA", "0.5"});
  const PROGRAMRUN run = RunProgramOnTerminal(folder + "Trenqual_CUDA", "lead_uncollided.txt", args,
                                              {{" s: ", "\x1b"}, {"The escape key has been pressed.", "q"}}, 60);
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_NE(run.console.find("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n"),
            std::string::npos)
      << run.console;
  const std::string files = ResultFolder(run, "lead_uncollided.txt");
  EXPECT_FALSE(ReadText(files + "PTALLY1_E.txt").empty());
}
