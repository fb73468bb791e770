// The operations on program blocks that the input reader calls, on the one
// Compiler. Blocks are parsed and compiled; running a compiled program is not
// part of this build: the program thread records that it cannot run, and the
// reader's report after the run says so and stops the run.
#include "language/program_stubs.h"

#include <cstdio>

#include "core/programinfo.h"
#include "language/compiler.h"

namespace {
constexpr const char* kRunningUnavailable =
    "Error: the embedded program language is not available in this build of Trenqual to run programs (program blocks "
    "are compiled and checked only).";
}  // namespace

int ParseArraysBlock(const char* text, char* message) { return activeCompiler->ParseArrays(text, message); }

int ParseProgramHeader(int program) { return activeCompiler->ParseProgram(program); }

void CompileProgramBlock(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program) {
  activeCompiler->CompileProgram(text, headerLines, info, code, program, 0);
}

void ProgramThread(void* /*argument*/) {
  if (activeCompiler == nullptr || activeCompiler->runControl == nullptr) return;
  RUNCONTROL& run = *activeCompiler->runControl;
  if (run.info != nullptr && run.code != nullptr) {
    std::snprintf(run.info->diagnostic, sizeof run.info->diagnostic, "%s", kRunningUnavailable);
    run.code->errorKind = kRunUnavailableError;
    run.code->errorProgram = -1;
    run.code->errorLine = -1;
  }
  run.running.store(0, std::memory_order_release);
}
