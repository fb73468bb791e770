// Diagnostics of program blocks: composing a run-time error from a program's
// error record, and printing a block's diagnostic with its source line.
#include <cstdio>
#include <cstring>

#include "core/programinfo.h"
#include "language/compiler.h"
#include "language/messages.h"

namespace {

constexpr int kCallDepthLimit = 1000;
constexpr int kRepeatedEvaluationNestingLimit = 20;

void FormatNumbered(char* out, int number) { GetMessageText(number, out, kDiagnosticLength + 1); }

void FormatNumberedInt(char* out, int number, int value) {
  char format[2000];
  GetMessageText(number, format, sizeof format);
  std::snprintf(out, kDiagnosticLength + 1, format, value);
}

}  // namespace

void Compiler::ComposeRuntimeError(PROGRAMINFO* info, CProgramCode* code, int runningProgram) {
  if (info->diagnosticKind == kDiagnosticSyntaxError) {
    info->diagnosticLine = code->syntaxErrorLine;
    return;
  }
  if (code->errorKind == 0 && code->interruptedAt < 0 && code->currentInstruction < 0) {
    bool warned = code->warningLine >= 0;
    info->diagnosticKind = warned ? kDiagnosticSyntaxWarning : kDiagnosticPlain;
    info->diagnosticLine = warned ? code->warningLine : -1;
    return;
  }
  info->diagnosticKind = kDiagnosticRuntimeError;
  info->diagnosticLine = code->errorKind != 0        ? code->errorLine
                         : code->interruptedAt >= 0 ? code->SourceLineOf(code->interruptedAt)
                                                    : code->SourceLineOf(code->currentInstruction);
  if (code->errorArray != 0 || code->errorKind == kArrayReferenceError) {
    ArrayErrorText(code->errorProgram, runningProgram, code->errorArray, code->errorCode, info->diagnostic);
  } else if (code->errorBuiltin != 0 || code->errorKind == kBuiltinError) {
    BuiltinErrorText(code->errorBuiltin, info->diagnostic, code->errorProgram, runningProgram, code->errorCode);
  } else if (code->errorKind == kCallDepthError) {
    FormatNumberedInt(info->diagnostic, 2404, kCallDepthLimit);
  } else if (code->errorKind == kEvaluationNestingError) {
    FormatNumberedInt(info->diagnostic, 2902, kRepeatedEvaluationNestingLimit);
  } else if (code->interruptedAt >= 0 || code->currentInstruction >= 0) {
    FormatNumbered(info->diagnostic, 2672);
  }
}

void Compiler::PrintProgramDiagnostic(FILE* input, int program) {
  int inProgress = programInProgress.load(std::memory_order_acquire);
  PROGRAMINFO* info = nullptr;
  CProgramCode* code = nullptr;
  if (program < 0 && runControl->info != nullptr) {
    info = runControl->info;
    code = runControl->code;
  } else if (program >= 0 && program < ProgramCount()) {
    info = &programs[program]->info;
    code = &programs[program]->code;
  }
  if (info == nullptr) return;
  // The source lines are those of the given program, else of the program in
  // progress (the one that runControl names).
  int selected = program >= 0 ? program : inProgress;
  ComposeRuntimeError(info, code, inProgress);

  // After compiling a block every diagnostic is shown; at the end of a run
  // (or for a given program) only a run-time error.
  bool pending = outputPending.load(std::memory_order_acquire) != 0;
  bool printAll = program < 0 && !pending;
  if (printAll || info->diagnosticKind == kDiagnosticRuntimeError) {
    bool hasText = info->diagnostic[0] != '\0';
    if (info->diagnosticKind == kDiagnosticPlain && !hasText) {
      if (info->diagnosticLine >= 0) printf("\n");
    } else {
      printf("\n******** %s ********\n", info->diagnostic);
    }
    if (info->diagnosticLine >= 0) {
      bool named = info->name[0] != '\0';
      const char* blockKind = named ? "user program" : "user code block";
      const char* blockName = named ? info->name : "PARAMETERS";
      static const char* const kHeadings[] = {
          "******** Line No. %d of %s \"%s\", where the error was detected:\n",
          "Line No. %d of %s \"%s\" with the syntax warning:\n",
          "Line No. %d of %s \"%s\" with the syntax error:\n",
          "Line No. %d of %s \"%s\", where the runtime error occurred:\n"};
      int kind = info->diagnosticKind >= 0 && info->diagnosticKind <= 3 ? info->diagnosticKind : 0;
      printf(kHeadings[kind], info->diagnosticLine + 1, blockKind, blockName);
      printf("%s\n", SourceLineText(input, info, selected).c_str());
    }
    if (info->diagnosticKind != kDiagnosticPlain || hasText || info->diagnosticLine >= 0) printf("\n");
  }
  severeDiagnostic.store(info->diagnosticKind >= kDiagnosticSyntaxError ? 1 : 0, std::memory_order_release);
  if (program < 0 && pending) {
    programInProgress.store(-1, std::memory_order_release);
    lineReady.store(0, std::memory_order_release);
    lastLineComplete.store(1, std::memory_order_release);
  }
}

std::string Compiler::SourceLineText(FILE* input, const PROGRAMINFO* info, int program) {
  if (input == nullptr || program < 0 || program >= ProgramCount()) return "";
  const std::vector<int64_t>& positions = programs[program]->linePositions;
  int line = info->diagnosticLine;
  if (line < 0 || line >= static_cast<int>(positions.size())) return "";
  long saved = ftell(input);
  std::string text;
  if (fseek(input, static_cast<long>(positions[line]), SEEK_SET) == 0) {
    int ch;
    while ((ch = fgetc(input)) != EOF && ch != '\n') text += static_cast<char>(ch);
    if (!text.empty() && text.back() == '\r') text.pop_back();
  }
  fseek(input, saved, SEEK_SET);
  return text;
}
