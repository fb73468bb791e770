#include "tests/driver/input_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "driver/directives/run_directives.h"
#include "driver/input/command_line.h"
#include "driver/input/input_passes.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/input/program_blocks.h"
#include "driver/run_main.h"
#include "driver/setup/problem_reset.h"
#include "language/compiler.h"
#include "platform/threads.h"
#include "tests/support/test_paths.h"

void (*testHooks)() = nullptr;

namespace {

void CloseFile(FILE*& file) {
  if (file != nullptr) fclose(file);
  file = nullptr;
}

std::string Substitute(const std::string& text, const std::string& folder) {
  std::string result = text;
  for (size_t at = result.find("$DIR"); at != std::string::npos; at = result.find("$DIR", at + folder.size())) {
    result.replace(at, 4, folder);
  }
  return result;
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "";
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

INPUTRUN RunInput(const std::string& inputText, const std::vector<std::string>& extraArgs) {
  INPUTRUN run{};
  run.folder = MakeScratchFolder("input");
  std::string inputPath = run.folder + "input.txt";
  WriteTextFile(inputPath, Substitute(inputText, run.folder));

  CloseFile(input::inputFile);
  CloseFile(input::outputFile);
  CloseFile(input::logFile);
  SetDefaultOptions();
  ResetRunDirectives();
  ResetProblemDirectives();
  input::languageServices = DefaultLanguageServices();
  StopProgramRun();  // the Compiler goes only after the program thread has ended
  delete language::compiler;
  language::compiler = nullptr;
  EXPECT_EQ(CreateCompiler(), 0);
  if (testHooks != nullptr) testHooks();

  std::vector<std::string> tokens = {"Trenqual", "in", inputPath};
  for (const std::string& arg : extraArgs) tokens.push_back(Substitute(arg, run.folder));
  std::vector<const char*> argv;
  for (const std::string& token : tokens) argv.push_back(token.c_str());

  testing::internal::CaptureStdout();
  run.code = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
  if (run.code == 0) run.code = RunInputPasses(static_cast<int>(argv.size()), argv.data());
  fflush(stdout);
  run.console = testing::internal::GetCapturedStdout();

  CloseFile(input::outputFile);
  CloseFile(input::logFile);
  CloseFile(input::inputFile);
  if (!input::outputFileName.empty()) run.outputText = ReadWholeFile(input::outputFileName);
  return run;
}

CONSOLERUN RunInputConsole(const std::string& inputText, const std::vector<std::string>& extraArgs) {
  INPUTRUN run = RunInput(inputText, extraArgs);
  return {run.code, run.console};
}
