#include "driver/input/input_passes.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/input/options.h"
#include "tests/driver/input_test_support.h"
#include "tests/support/test_paths.h"

namespace {
const std::string kDashes(89, '-');

std::string Head(const std::string& commandLine) {
  return "Command line:\n" + commandLine + "\n\nInput file:\n" + kDashes + "\n";
}
}  // namespace

TEST(InputPasses, NamesDerivedFromTheInput) {
  EXPECT_EQ(DerivedOutputName("/runs/a.txt"), "/runs/a_out.txt");
  EXPECT_EQ(DerivedLogName("/runs/a.txt"), "/runs/a_log.txt");
  EXPECT_EQ(ResultFolderName("/runs/a_out.txt"), "/runs/Files_a_out.txt");
  EXPECT_EQ(DerivedOutputName("a"), "a_out");
  EXPECT_EQ(DerivedOutputName("dir.v2/a.b.txt"), "dir.v2/a.b_out.txt");
  EXPECT_EQ(ResultFolderName("out"), "Files_out");
}

TEST(InputPasses, OutputFileHoldsCommandLineEchoAndClosingDashes) {
  INPUTRUN run = RunInput("// comment line\nN 10 // histories\n\n1e5 2e5 &\n  0 1\n",
                          {"out", "$DIRmy out.txt", "check", "0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::outputFileName, run.folder + "my out.txt");
  std::string expected = Head("Trenqual in " + run.folder + "input.txt out \"" + run.folder +
                              "my out.txt\" check 0") +
                         "// comment line\nN 10 // histories\n\n1e5 2e5 &\n  0 1\n" + "\n" + kDashes + "\n";
  EXPECT_EQ(run.outputText, expected);
  EXPECT_EQ(input::filesFolder, run.folder + "Files_my out.txt");
}

TEST(InputPasses, CheckZeroInterpretsNothing) {
  INPUTRUN run = RunInput("anything goes here\nTASKS x\nN 5\nN 5\n", {"check", "0"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  EXPECT_EQ(input::runOptions.nParticles, 0);
}

TEST(InputPasses, ErrorsOfThePasses) {
  struct Case {
    std::string input;
    std::vector<std::string> args;
    int code;
    std::string console;
  } cases[] = {
      {"N 10\nSEED 1\nn 5\nTASKS 1\n", {}, 1, "Error: Keyword \"N\" is used more than once in the input file.\n"},
      {"N 10\nN 5\n", {}, 1, "Error: Keyword \"N\" is used more than once in the input file.\n"},
      {"N 10\nLOG x.log\n", {}, 1,
       "Error: If the input file contains the log file name, then the \"LOG\" keyword must be the first keyword in the input file.\n"},
      {"LOG\nN 10\n", {}, 1, "Error: Log file name is missing.\n"},
      {"OUT\nN 10\n", {}, 1, "Error: Output file name is missing.\n"},
      {"N 10\nTALLIES_OUTPUT 3\n", {}, 1,
       "Error: Incorrect value of the option to update the tally data files during the simulation (it must be 0 - no output, 1 - output the control tallies only, or 2 - output all tallies).\n"},
      {"TALLIES_OUTPUT_INTERVAL 0.5\n", {}, 1,
       "Error: Incorrect value of the tally data update interval (it cannot be less than 1 s).\n"},
      {"TALLIES_OUTPUT\n", {}, 1,
       "Error: The value of the option to update the tally data files during the simulation is missing.\n"},
      {"ALT\n", {}, 1, "Error: Alternative cross sections information file name is missing.\n"},
      {"TASKS x\nN 1\n", {"tasks", "2"}, 0,
       "Keyword \"TASKS\" in the input file overridden by the corresponding command-line argument.\n"},
#if TQ_GPU_BUILD
      {"TASKS -1\n", {}, 1, "Error: Invalid number of CPU threads -1 (should be non-negative and less than 65537).\n"},
#else
      {"TASKS -1\n", {}, 1, "Error: Invalid number of threads -1 (should be greater than 0 and less than 2049).\n"},
#endif
      {"E_UNIT_TYPO 5\n", {}, 1, "Error: Invalid number or input directive \"E_UNIT_TYPO\".\n"},
      {"N 10\nFOO 3\n", {}, 1, "Error: Invalid number or input directive \"FOO\".\n"},
      {"TALLIES_OUTPUT_INTERVAL 1\nTALLIES_OUTPUT 0\n", {}, 0, ""},
  };
  for (const Case& c : cases) {
    INPUTRUN run = RunInput(c.input, c.args);
    EXPECT_EQ(run.code, c.code) << c.input;
    EXPECT_EQ(run.console, c.console) << c.input;
  }
}

TEST(InputPasses, DuplicateEchoesUpToTheSecondUse) {
  INPUTRUN run = RunInput("N 10\nSEED 1\nN 5\nTASKS 1\n");
  ASSERT_EQ(run.code, 1);
  std::string echo = run.outputText.substr(run.outputText.find(kDashes) + kDashes.size() + 1);
  EXPECT_EQ(echo, "N 10\nSEED 1\nN 5\n");
}

TEST(InputPasses, OutputNameClashes) {
  INPUTRUN same = RunInput("N 1\n", {"out", "$DIRINPUT.TXT"});
  EXPECT_EQ(same.code, 1);
  EXPECT_EQ(same.console, "Error: Output file name is the same as input file name (\"" + same.folder + "input.txt\").\n");
  INPUTRUN log = RunInput("N 1\n", {"writeLog", "1", "out", "$DIRinput_log.txt"});
  EXPECT_EQ(log.code, 1);
  EXPECT_EQ(log.console, "Error: Output file name is the same as log file name (\"" + log.folder + "input_log.txt\").\n");
}

TEST(InputPasses, OutDirectiveNamesTheOutputOfTheSameRun) {
  INPUTRUN run = RunInput("OUT  $DIRnamed.txt \nN 1\n");
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::outputFileName, run.folder + "named.txt");
  EXPECT_NE(run.outputText.find("OUT  " + run.folder + "named.txt"), std::string::npos);
}

TEST(InputPasses, BinningLinesAreToldApartFromKeywords) {
  // Binning lines go to the tally parser; words that only begin like them
  // reach the keyword tests; a number after the name must be positive, so
  // THETA0 is no range name and no keyword.
  for (const char* word : {"E", "E2", "THETA", "mu3", "R", "X10"}) {
    INPUTRUN run = RunInput(std::string(word) + " 0 1 10\n");
    EXPECT_EQ(run.console.find("Invalid number or input directive"), std::string::npos) << word << run.console;
  }
  for (const char* word : {"EXC_FN", "E_UNIT_X", "EX", "THETA0", "E-1"}) {
    INPUTRUN run = RunInput(std::string(word) + "\n");
    EXPECT_NE(run.console.find("Invalid number or input directive"), std::string::npos) << word;
  }
}

TEST(InputPasses, LogFile) {
  // With writeLog the log is named after the input and holds the input's lines.
  INPUTRUN run = RunInput("N 5\n// c\n1e6\n", {"writeLog", "1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::logFileName, run.folder + "input_log.txt");
  EXPECT_EQ(ReadWholeFile(input::logFileName), "N 5\n// c\n1e6\n");

  INPUTRUN named = RunInput("LOG $DIRfirst.log\nN 5\n", {"writeLog", "1"});
  ASSERT_EQ(named.code, 0) << named.console;
  EXPECT_EQ(ReadWholeFile(named.folder + "first.log"), "LOG " + named.folder + "first.log\nN 5\n");

  INPUTRUN checkZero = RunInput("LOG $DIRfirst.log\nN 5\n", {"writeLog", "1", "check", "0"});
  ASSERT_EQ(checkZero.code, 0) << checkZero.console;
  EXPECT_EQ(input::logFileName, checkZero.folder + "input_log.txt");  // opened at the first directive
}
