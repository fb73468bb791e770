// Fuzz target of the input file: the command line "Trenqual in input.txt",
// both input passes with every directive of the simple and the complex
// geometry, and the checks after the input, all in-process. Every error
// returns to the target through the driver's status codes.
//
// Inputs are kept inside the scratch folder: a directive that names a file
// (OUT, LOG, ALT, ...) may create or open it, so an input whose directive part
// of a line (before "//") holds a '/' is not run. Program blocks belong to the
// language target (fuzz_language.cpp) and are not run here.
#include <cstdlib>
#include <string>

#include "driver/input/program_lines.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/input_run.h"

namespace {

// False for an input that could reach a file outside the scratch folder or
// that holds a program block.
bool RunnableHere(const std::string& text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::string directives = line.substr(0, line.find("//"));
    if (directives.find('/') != std::string::npos) return false;
    if (IsProgramBlockKeyword(FirstWordOf(directives).c_str())) return false;
    start = end + 1;
  }
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
  RunInputFile({});
  ClearFuzzScratchFolder(kFuzzInputName);
  return 0;
}
