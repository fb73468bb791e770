// The built Trenqual reads an input with check 0: the output file holds the
// command line, the echo of every input line and the closing dashes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/e2e/e2e_support.h"

namespace {
std::string ReadOutput(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
}  // namespace

TEST(EndToEnd, CheckZeroEchoesTheInput) {
  PROGRAMRUN run = RunProgram(TRENQUAL_PATH, "simple_layer.txt", {"in", "simple_layer.txt", "check", "0", "N", "100"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_EQ(run.console, "");
  std::string output = MaskVolatileLines(ReadOutput(run.folder + "simple_layer_out.txt"));
  std::string difference = CompareWithGolden(output, "simple_layer_check0_out.txt");
  EXPECT_EQ(difference, "");
}

TEST(EndToEnd, CommandLineErrorsExitWithOne) {
  PROGRAMRUN missing = RunProgram(TRENQUAL_PATH, "simple_layer.txt", {"in"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.console, "Some command-line arguments are missing.\n");
  PROGRAMRUN unknown = RunProgram(TRENQUAL_PATH, "simple_layer.txt", {"in", "simple_layer.txt", "tasks_CUDA", "2"});
  EXPECT_EQ(unknown.exitCode, 1);
  EXPECT_EQ(unknown.console, "Invalid command-line keyword \"tasks_CUDA\".\n");
}
