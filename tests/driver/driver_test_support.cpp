#include "tests/driver/driver_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/input/command_line.h"
#include "driver/input/options.h"
#include "driver/run_main.h"
#include "language/compiler.h"
#include "tests/support/test_paths.h"

std::string ExistingInputFile() {
  static const std::string path = [] {
    std::string folder = MakeScratchFolder("driver-command-line");
    std::string file = folder + "input.txt";
    WriteTextFile(file, "N 10\n");
    return file;
  }();
  return path;
}

CONSOLERUN RunCommandLine(const std::vector<std::string>& args) {
  SetDefaultOptions();
  if (language::compiler == nullptr) {
    EXPECT_EQ(CreateCompiler(), 0);
  }
  for (int i = 0; i < kSystemVariableCount; ++i) language::compiler->SystemVariable(i) = 0.0;
  if (input::inputFile != nullptr) {
    fclose(input::inputFile);
    input::inputFile = nullptr;
  }
  std::vector<std::string> tokens = {"Trenqual"};
  for (const std::string& arg : args) tokens.push_back(arg == "$IN" ? ExistingInputFile() : arg);
  std::vector<const char*> argv;
  for (const std::string& token : tokens) argv.push_back(token.c_str());

  testing::internal::CaptureStdout();
  int code = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}

CONSOLERUN RunParser(int (*parser)(const char*), const char* value) {
  SetDefaultOptions();
  testing::internal::CaptureStdout();
  int code = parser(value);
  fflush(stdout);
  return {code, testing::internal::GetCapturedStdout()};
}
