#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/input/command_line.h"
#include "driver/input/options.h"
#include "language/compiler.h"
#include "platform/paths.h"
#include "tests/driver/driver_test_support.h"
#include "tests/support/test_paths.h"

namespace {

struct ScanCase {
  std::vector<std::string> args;
  int code;
  std::string output;
};

void ExpectScan(const ScanCase& c) {
  CONSOLERUN run = RunCommandLine(c.args);
  std::string shown;
  for (const std::string& arg : c.args) shown += arg + " ";
  EXPECT_EQ(run.code, c.code) << shown;
  EXPECT_EQ(run.output, c.output) << shown;
}

std::vector<std::string> ManyArguments(int total) {
  std::vector<std::string> args = {"in", "$IN"};
  while (static_cast<int>(args.size()) + 1 < total) args.push_back(args.size() % 2 == 0 ? "N" : "5");
  return args;
}

}  // namespace

TEST(CommandLine, ArgumentScan) {
  const ScanCase cases[] = {
      {{"in", "$IN"}, 0, ""},
      {{"in=", "$IN"}, 0, ""},
      {{"  in", "$IN"}, 0, ""},
      {{"In", "$IN", "OUT", "o.txt", "Log", "l.txt", "alt", "a.txt"}, 0, ""},
      {{"in", "$IN"}, 0, ""},
      {{}, 1, "Some command-line arguments are missing.\n"},
      {{"in"}, 1, "Some command-line arguments are missing.\n"},
      {{"in", "$IN", "out"}, 1, "Some command-line arguments are missing.\n"},
      {{"in", "$IN", "@4"}, 1, "Some command-line arguments are missing.\n"},
      {{"out", "x.txt", "N", "100"}, 1, "Input file name is missing.\n"},
      {{"in", "$IN", "in", "b.txt"}, 1, "Duplicate command-line keyword \"in\".\n"},
      {{"IN", "$IN", "in", "b.txt"}, 1, "Duplicate command-line keyword \"in\".\n"},
      {{"in", "$IN", "in=", "b.txt"}, 1, "Invalid command-line keyword \"in=\".\n"},
      {{"in=a.txt", "x"}, 1, "Invalid command-line keyword \"in=a.txt\".\n"},
      {{"out", "a.txt", "out=", "b.txt"}, 1, "Invalid command-line keyword \"out=\".\n"},
      {{"in", "$IN", "N", "5", "n", "6"}, 1, "Duplicate command-line keyword \"n\".\n"},
      {{"in", "$IN", "bogus", "1"}, 1, "Invalid command-line keyword \"bogus\".\n"},
      {{"in", "missing-file.txt"}, 1, "Input file \"missing-file.txt\" could not be opened for reading.\n"},
      {{"@3", "x"}, 1, "Invalid value of a system variable \"x\" (should be a number).\n"},
      {{"@3", "1.5x"}, 1, "Invalid value of a system variable \"1.5x\" (should be a number).\n"},
      {{"@10", "1"}, 1, "Invalid command-line keyword \"@10\".\n"},
      {{"@3", "1", "@3", "2"}, 1, "Duplicate command-line keyword \"@3\".\n"},
      {{"in", "$IN", "output_cs", "2"}, 1,
       "Invalid value of the option for cross section output \"2\" (should be 0 or 1).\n"},
      {{"in", "$IN", "output_cs", "1"}, 0, ""},
      {{"in", "$IN", "writeLog", "x"}, 1,
       "Invalid value of the option for logging the programmatically generated input directives (should be 1 or 0).\n"},
      {{"in", "$IN", "writeLog", "1 "}, 0, ""},
      {{"in", "$IN", "check", "-2"}, 1,
       "Invalid value of the option for checking of file with input directives \"-2\" (should be 1, 0 or -1).\n"},
      {{"in", "$IN", "check", "-1"}, 0, ""},
      {{"in", "$IN", "E", "0"}, 0, ""},
      {{"in", "$IN", "E", "-1"}, 1, "Error: Invalid energy value \"-1\".\n"},
      {{"in", "$IN", "E", "1e6 "}, 1, "Error: Invalid energy value \"1e6 \".\n"},
      {{"in", "$IN", "E", ""}, 1, "Error: Invalid energy value \"\".\n"},
      {{"in", "$IN", "E", "nan"}, 1, "Error: Invalid energy value \"nan\".\n"},
      {{"in", "$IN", "tasks", "4"}, 0, ""},
      {{"in", "$IN", "N", "1e6"}, 0, ""},
      {{"in", "$IN", "seed", "x"}, 0, ""},
      {{"in", "$IN", "nStreams", "0"}, 1, "Error: Invalid number of streams of random numbers \"0\".\n"},
      {{"in", "$IN", "dir", "  "}, 1, "Error: ENDF directory name is missing.\n"},
      {ManyArguments(91), 1, "Duplicate command-line keyword \"N\".\n"},
      {ManyArguments(92), 1, "The number of command-line arguments is too large.\n"},
  };
  for (const ScanCase& c : cases) ExpectScan(c);
}

TEST(CommandLine, ValuesReachTheirOptions) {
  CONSOLERUN run = RunCommandLine({"in", "$IN",    "out",   "log", "N",    "2",  "@0",       "-2.5", "@9",  "1e3",
                                   "E",  "662000", "check", "0",   "seed", "77", "nStreams", "12",   "alt", "x.alt"});
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(input::outputFileName, "log");  // a value may look like a keyword
  EXPECT_EQ(input::runOptions.nParticles, 2);
  EXPECT_EQ(language::compiler->SystemVariable(0), -2.5);
  EXPECT_EQ(language::compiler->SystemVariable(9), 1000.0);
  EXPECT_EQ(language::compiler->SystemVariable(5), 0.0);
  EXPECT_TRUE(input::runOptions.sourceEnergyGiven);
  EXPECT_EQ(input::runOptions.sourceEnergy, 662000.0);
  EXPECT_EQ(input::runOptions.check, 0);
  EXPECT_EQ(input::runOptions.seed, 77);
  EXPECT_EQ(input::runOptions.nStreams, 12);
  EXPECT_EQ(input::altFileName, "x.alt");
  EXPECT_EQ(input::inputFileName, ExistingInputFile());
  EXPECT_NE(input::inputFile, nullptr);
  EXPECT_TRUE(input::commandLineGiven.out && input::commandLineGiven.N && input::commandLineGiven.seed);
  EXPECT_FALSE(input::commandLineGiven.tasks || input::commandLineGiven.log);
}

TEST(CommandLine, LongFileNamesAreKeptWhole) {
  std::string longName(3000, 'a');
  CONSOLERUN run = RunCommandLine({"in", "$IN", "out", longName, "log", longName + "b"});
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(input::outputFileName, longName);
  EXPECT_EQ(input::logFileName.size(), 3001u);
}

TEST(CommandLine, GpuKeywordsBelongToTheGpuBuild) {
  const char* gpuKeywords[] = {"rand_CUDA", "seed_CUDA", "threads_CUDA", "tasks_CUDA", "time_CUDA",
                               "blockSize_CUDA", "ratio_CUDA", "first_CUDA", "last_CUDA", "use_CUDA",
                               "skip_CUDA", "r_CUDA", "em_CUDA", "emfirst_CUDA", "emlast_CUDA",
                               "emulate_CUDA", "streams_CUDA", "avgBanked_CUDA", "maxBankedRatio_CUDA",
                               "stats_CUDA", "heap_CUDA", "balance_CUDA", "bankModeThr_CUDA"};
  for (const char* keyword : gpuKeywords) {
    CONSOLERUN run = RunCommandLine({"in", "$IN", keyword, "1"});
#if TQ_GPU_BUILD
    EXPECT_EQ(run.output.find("Invalid command-line keyword"), std::string::npos) << keyword;
#else
    EXPECT_EQ(run.code, 1) << keyword;
    EXPECT_EQ(run.output, std::string("Invalid command-line keyword \"") + keyword + "\".\n");
#endif
  }
}

#if TQ_GPU_BUILD
TEST(CommandLine, GpuOnlyValues) {
  const ScanCase cases[] = {
      {{"in", "$IN", "tasks", "0"}, 0, ""},
      {{"in", "$IN", "use_CUDA", "1,2,2"}, 1,
       "Error: Invalid list of the used CUDA devices on the command line \"1,2,2\" (device numbers must all be different, comma-delimited and from 1 to 32).\n"},
      {{"in", "$IN", "r_CUDA", "0.5,-1"}, 1,
       "Error: Invalid list of CUDA device ratios on the command line \"0.5,-1\" (ratios must be comma-delimited and non-negative).\n"},
      {{"in", "$IN", "emfirst_CUDA", "33"}, 1, "Invalid number of the first emulated CUDA device \"33\".\n"},
      {{"in", "$IN", "emlast_CUDA", "x"}, 1, "Invalid number of the last emulated CUDA device \"x\".\n"},
      {{"in", "$IN", "emulate_CUDA", "2"}, 1,
       "Invalid value of the option for emulation of all CUDA devices \"2\" (should be 0 or 1).\n"},
      {{"in", "$IN", "em_CUDA", "1", "emulate_CUDA", "1"}, 1,
       "The command-line keyword \"emulate_CUDA\" cannot be used together with \"em_CUDA\", \"emfirst_CUDA\" or \"emlast_CUDA\".\n"},
      {{"in", "$IN", "emulate_CUDA", "1", "em_CUDA", "1"}, 1,
       "The command-line keyword \"em_CUDA\" cannot be used together with \"emulate_CUDA\", \"emfirst_CUDA\" or \"emlast_CUDA\".\n"},
      {{"in", "$IN", "emulate_CUDA", "0", "em_CUDA", "1"}, 0, ""},
      {{"in", "$IN", "emulate_CUDA", "0", "emfirst_CUDA", "1"}, 1,
       "The command-line keyword \"emfirst_CUDA\" cannot be used together with \"em_CUDA\" or \"emulate_CUDA\".\n"},
      {{"in", "$IN", "em_CUDA", "2", "emlast_CUDA", "3"}, 1,
       "The command-line keyword \"emlast_CUDA\" cannot be used together with \"em_CUDA\" or \"emulate_CUDA\".\n"},
      {{"in", "$IN", "emfirst_CUDA", "2", "emulate_CUDA", "1"}, 1,
       "The command-line keyword \"emulate_CUDA\" cannot be used together with \"em_CUDA\", \"emfirst_CUDA\" or \"emlast_CUDA\".\n"},
      {{"in", "$IN", "bankModeThr_CUDA", "-0.1"}, 1,
       "Error: Invalid value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron banking mode \"-0.1\" (should be between 0 and 1).\n"},
      {{"in", "$IN", "blockSize_CUDA", "2048"}, 1, "Error: Number of threads per block is greater than 1024.\n"},
  };
  for (const ScanCase& c : cases) ExpectScan(c);
}
#endif

TEST(ProgramFolders, FindFileOnPath) {
  std::string folder = MakeScratchFolder("find-on-path");
  std::string program = folder + "prog";
  ASSERT_TRUE(WriteTextFile(program, ""));
  std::string path;
  EXPECT_EQ(FindFileOnPath("/no/such/prog", &path), 1);  // absolute: taken as it is
  EXPECT_EQ(path, "/no/such/prog");
  EXPECT_EQ(FindFileOnPath("no/such/prog", &path), 0);
  EXPECT_EQ(path, "no/such/prog");

  const char* savedPath = getenv("PATH");
  std::string saved = savedPath ? savedPath : "";
  setenv("PATH", ("/nonexistent::" + folder).c_str(), 1);
  EXPECT_EQ(FindFileOnPath("prog", &path), 1);
  EXPECT_EQ(path, program);
  EXPECT_EQ(FindFileOnPath("other", &path), 0);
  EXPECT_EQ(path, "other");
  unsetenv("PATH");
  EXPECT_EQ(FindFileOnPath("prog", &path), 0);
  setenv("PATH", saved.c_str(), 1);
}

TEST(ProgramFolders, ExecutableFolderAndDefaults) {
  FindProgramFolders("Trenqual");
  ASSERT_FALSE(input::exeFolder.empty());
  EXPECT_EQ(input::exeFolder.back(), '/');
  EXPECT_TRUE(FileExists(input::exeFolder));
  EXPECT_EQ(input::dataFolder, input::exeFolder + "Data/");
  EXPECT_EQ(input::endfFolder, input::exeFolder + "ENDF/");
  EXPECT_EQ(input::bremsTableFolder, input::exeFolder + "Brems_angular_prob_dens/");
}
