#include "tests/fuzz/input_run.h"

#include <cstdio>
#include <cstdlib>

#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/input/command_line.h"
#include "driver/input/input_passes.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/input/program_blocks.h"
#include "driver/run_main.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/problem_reset.h"
#include "language/compiler.h"
#include "platform/threads.h"

namespace {

void CloseFile(FILE*& file) {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
}

void CloseRunFiles() {
  CloseFile(input::inputFile);
  CloseFile(input::outputFile);
  CloseFile(input::logFile);
  CloseFile(setup::altFile);
}

// A program thread that still runs gets the interrupt and is waited for
// before its Compiler goes away.
void StopProgramThread() {
  if (language::compiler == nullptr || language::compiler->runControl == nullptr) return;
  RUNCONTROL& run = *language::compiler->runControl;
  run.interruptRequest.store(1);
  while (run.running.load()) {
    language::compiler->acknowledged.store(1);
    YieldThread();
  }
}

}  // namespace

void ResetDriver() {
  CloseRunFiles();
  SetDefaultOptions();
  ResetRunDirectives();
  ResetProblemDirectives();
  ResetInputChecks();
  input::languageServices = DefaultLanguageServices();
  StopProgramThread();
  delete language::compiler;
  language::compiler = nullptr;
  if (CreateCompiler() != kOk) std::abort();
}

void RunInputFile(const std::vector<std::string>& extraArgs) {
  std::vector<const char*> argv = {"Trenqual", "in", kFuzzInputName};
  for (const std::string& arg : extraArgs) argv.push_back(arg.c_str());
  const int argc = static_cast<int>(argv.size());
  Status code = ParseCommandLine(argc, argv.data());
  if (code == kOk) code = RunInputPasses(argc, argv.data());
  const bool checks = code == kOk && input::runOptions.check != 0;
  if (checks) code = CheckInputConsistency();
  // The complex geometry's set-up (voxels, volumes on worker threads) comes
  // between these checks in a run; it is no reader and is left out here.
  if (checks && code == kOk && directives::complexGeometry <= 0) CheckAfterGeometrySetup();
  std::fflush(stdout);
  CloseRunFiles();
}

std::string FirstWordOf(const std::string& line) {
  size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  size_t end = line.find_first_of(" \t\r", start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}
