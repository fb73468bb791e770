// Fuzz target of the embedded language: input files whose program blocks
// (ARRAYS, PARAMETERS, PROGRAM, SUBROUTINE) the first pass parses, compiles
// and runs on the program thread, and the second pass replays and echoes.
// The run uses "check 0": the lines the programs write are read as
// directives, none is interpreted (the input target fuzzes the directives).
// Every run has a step budget, so a program that loops forever is
// interrupted as after Esc then Q.
//
// Inputs that name the built-ins reaching outside the process (System, the
// file built-ins FopenW and FopenR, and indirect, which calls a built-in by
// its number) are not run.
#include <cctype>
#include <cstdlib>
#include <string>

#include "language/compiler.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/input_run.h"

namespace {

// Interrupt checks of one program run. Every directive line a program writes
// is a hand-shake with the input reader's thread (about a millisecond), so a
// program that writes lines in an endless loop must end after some thousands
// of lines, not after 10^6 steps (over a minute).
constexpr int64_t kStepBudget = 20000;

bool RunnableHere(const std::string& text) {
  std::string lower = text;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (const char* word : {"system", "fopen", "indirect"})
    if (lower.find(word) != std::string::npos) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietFuzzConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EnterFuzzScratchFolder();
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!RunnableHere(text)) return -1;
  if (!WriteFuzzFile(FuzzScratchFolder() + kFuzzInputName, text)) std::abort();
  ResetDriver();
  language::compiler->runControl->stepBudget = kStepBudget;
  RunInputFile({"check", "0"});
  ClearFuzzScratchFolder(kFuzzInputName);
  return 0;
}
