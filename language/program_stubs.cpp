// Block parsing, compilation and the program thread. The embedded language's
// compiler and interpreter are not part of this build yet: a block is
// refused with a syntax error that says so, and the program thread ends at
// once, so an input with program blocks stops with a clear message instead
// of running without its programs.
#include "language/program_stubs.h"

#include <cstdio>
#include <cstring>

#include "core/programinfo.h"
#include "language/compiler.h"

namespace {
constexpr const char* kLanguageUnavailable =
    "Error: the embedded program language is not available in this build of Trenqual.";
}  // namespace

int ParseArraysBlock(const char* /*text*/, char* message) {
  std::snprintf(message, kDiagnosticLength + 1, "******** %s ********", kLanguageUnavailable);
  return 0;
}

int ParseProgramHeader(int /*program*/) { return 0; }

void CompileProgramBlock(const char* /*text*/, int /*headerLines*/, PROGRAMINFO* info, CProgramCode* code,
                         int /*program*/) {
  std::snprintf(info->diagnostic, sizeof info->diagnostic, "%s", kLanguageUnavailable);
  info->diagnosticKind = kDiagnosticSyntaxError;
  code->syntaxErrorLine = 0;
}

void ProgramThread(void* /*argument*/) {
  if (activeCompiler != nullptr && activeCompiler->runControl != nullptr) {
    activeCompiler->runControl->running.store(0, std::memory_order_release);
  }
}
