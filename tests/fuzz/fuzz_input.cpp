// Fuzz target of the input file: the command line "Trenqual in input.txt",
// both input passes with every directive of the simple geometry, and the
// consistency checks after the input, all in-process. Every error returns
// to the target through the driver's status codes.
//
// Inputs are kept inside the scratch folder: a directive that names a file
// (OUT, LOG, ALT, ...) may create or open it, so an input whose directive part
// of a line (before "//") holds a '/' is not run. Program blocks belong to the
// targets of the embedded language and are not run here either.
#include <cctype>
#include <cstdio>
#include <string>

#include "driver/directives/run_directives.h"
#include "driver/input/command_line.h"
#include "driver/input/input_passes.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/input/program_blocks.h"
#include "driver/input/program_lines.h"
#include "driver/run_main.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/problem_reset.h"
#include "language/compiler.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

const char kInputName[] = "input.txt";

// The first word of a physical line, as the reader would cut it.
std::string FirstWord(const std::string& line) {
  size_t start = line.find_first_not_of(" \t\r");
  if (start == std::string::npos) return "";
  size_t end = line.find_first_of(" \t\r", start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

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
    if (IsProgramBlockKeyword(FirstWord(directives).c_str())) return false;
    start = end + 1;
  }
  return true;
}

void CloseFile(FILE*& file) {
  if (file != nullptr) std::fclose(file);
  file = nullptr;
}

// The state of a fresh process: options, directive tables, checks and the
// one Compiler.
void ResetDriver() {
  CloseFile(inputFile);
  CloseFile(outputFile);
  CloseFile(logFile);
  CloseFile(altFile);
  SetDefaultOptions();
  ResetRunDirectives();
  ResetProblemDirectives();
  ResetInputChecks();
  languageServices = DefaultLanguageServices();
  delete compiler;
  compiler = nullptr;
  if (CreateCompiler() != kOk) std::abort();
}

void RunInputFile() {
  const char* const argv[] = {"Trenqual", "in", kInputName};
  const int argc = 3;
  Status code = ParseCommandLine(argc, argv);
  if (code == kOk) code = RunInputPasses(argc, argv);
  if (code == kOk && runOptions.check != 0) code = CheckInputConsistency();
  if (code == kOk && runOptions.check != 0) code = CheckAfterGeometrySetup();
  std::fflush(stdout);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  QuietFuzzConsole();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    EnterFuzzScratchFolder();
    FindProgramFolders("Trenqual");
    return true;
  }();
  (void)started;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!RunnableHere(text)) return -1;
  if (!WriteFuzzFile(FuzzScratchFolder() + kInputName, text)) std::abort();
  ResetDriver();
  RunInputFile();
  CloseFile(inputFile);
  CloseFile(outputFile);
  CloseFile(logFile);
  CloseFile(altFile);
  ClearFuzzScratchFolder(kInputName);
  return 0;
}
