#include "driver/run_main.h"

#include <cstdio>
#include <new>

#include "driver/directives/material_directives.h"
#include "driver/input/command_line.h"
#include "driver/input/input_passes.h"
#include "driver/input/options.h"
#include "driver/run/run_simulation.h"
#include "driver/setup/problem_reset.h"
#include "driver/setup/setup.h"
#include "language/compiler.h"

Status CreateCompiler() {
  language::compiler = new (std::nothrow) Compiler;
  if (language::compiler == nullptr || language::compiler->runControl == nullptr) {
    printf("Error: Memory allocation failed (compiler of the embedded program language, %zu bytes).\n",
           sizeof(Compiler));
    return kInputError;
  }
  return kOk;
}

namespace {

// The start-up, in its order: own folders, defaults and constants, the
// Compiler, the command line.
int StartUp(int argc, const char* const* argv) {
  FindProgramFolders(argc > 0 ? argv[0] : nullptr);
  SetDefaultOptions();
  ResetProblemDirectives();
  if (int code = CreateCompiler()) return code;
  return ParseCommandLine(argc, argv);
}

}  // namespace

Status RunMain(int argc, const char* const* argv) {
  int code = StartUp(argc, argv);
  if (code == 0) {
    code = RunInputPasses(argc, argv);
    if (code != 0) ReportInputErrorLocation();
  }
  if (code == 0 && input::runOptions.check != 0) code = RunSetUp();
  // check 0 ends after the input; check -1 ends in RunSimulation after the
  // work division, before the first history.
  if (code != 0 || input::runOptions.check == 0) {
    fflush(stdout);
    return code;
  }
  code = RunSimulation();
  fflush(stdout);
  return code;
}
