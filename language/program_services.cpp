#include "language/program_services.h"

#include <cfenv>
#include <cstdio>

#include "core/programinfo.h"
#include "language/compiler.h"

int ParseArraysBlock(const char* text, char* message) { return language::activeCompiler->ParseArrays(text, message); }

int ParseProgramHeader(int program) { return language::activeCompiler->ParseProgram(program); }

void CompileProgramBlock(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program) {
  language::activeCompiler->CompileProgram(text, headerLines, info, code, program, 0);
}

void ProgramThread(void* argument) {
  Compiler* language = argument != nullptr ? static_cast<Compiler*>(argument) : language::activeCompiler;
  if (language == nullptr || language->runControl == nullptr) return;
  RUNCONTROL& run = *language->runControl;
  std::feclearexcept(FE_ALL_EXCEPT);  // the status flags belong to this thread
  run.stepsLeft = run.stepBudget;
  if (run.code != nullptr) language->Run(nullptr, nullptr, -1, -1);
  if (language->writeFile != nullptr) std::fflush(language->writeFile);
  run.running.store(0, std::memory_order_release);
}
