#include "driver/input/program_lines.h"

#include <string>

#include "core/text.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "language/compiler.h"
#include "platform/clock.h"
#include "platform/keys.h"
#include "platform/threads.h"

namespace input {
const char* const kBlockKeywords[] = {"ARRAYS", "PARAMETERS", "PROGRAM", "SUBROUTINE"};
}  // namespace input

BlockKind BlockKindOf(const char* word) {
  for (int kind = 0; kind < 4; ++kind) {
    if (EqualNoCase(word, input::kBlockKeywords[kind])) return static_cast<BlockKind>(kind);
  }
  return kNotABlock;
}

std::string WithoutLineEnd(const char* text) {
  std::string line = text;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

namespace {

Compiler& Language() { return *language::compiler; }

PROGRAMRECORD& Record(int program) { return *Language().programs[program]; }

// ---------------------------------------------------------------- keys and time

// The program thread alone touches its write file: it is asked to flush it.
void FlushProgramWriteFile() { Language().writeFlushRequested.store(1, std::memory_order_release); }

// Esc then Q asks the running program to stop; Esc then any other key cancels.
void PollInterruptKeys() {
  Compiler& language = Language();
  if (language.runControl->interruptRequest.load(std::memory_order_acquire)) return;
  if (!language.keyboardPollingAllowed.load(std::memory_order_acquire)) return;
  int key = -1;
  while (KeyPressed()) key = ReadKey();
  if (key < 0) return;
  if (!language.escPressed.load()) {
    if (key != kEscapeKey) return;
    FlushProgramWriteFile();
    printf(
        "\nThe escape key has been pressed. Press Q to attempt to interrupt execution of the user program, or any "
        "other key except 'Esc' to cancel the escape key.\n");
    language.escPressed.store(1);
    language.timeWarningPrinted.store(1);
  } else if (key == 'q' || key == 'Q') {
    printf("\nThe 'Esc' and 'Q' keys have been pressed. Interrupting execution of the user program.\n");
    language.runControl->interruptRequest.store(1, std::memory_order_release);
  } else if (key != kEscapeKey) {
    printf(
        "\nThe escape key has been cancelled. Press 'Esc' again to attempt to interrupt execution of the user "
        "program.\n");
    language.escPressed.store(0);
  }
  fflush(stdout);
}

void WarnAboutRunningTime(const PROGRAMRECORD& record) {
  Compiler& language = Language();
  if (language.timeWarningPrinted.load()) return;
  if (SecondsSinceStart() - language.runControl->startSeconds <= record.code.timeLimit) return;
  FlushProgramWriteFile();
  printf(
      "\nExecution time of the user program exceeds %g seconds. Press the escape key and then 'Q' to attempt to "
      "interrupt execution of the user program.\n",
      record.code.timeLimit);
  fflush(stdout);
  language.timeWarningPrinted.store(1);
}

// A line of the running program is logged as it arrives; a first line made of
// LOG and a name opens the log. False when the log cannot be opened.
bool LogProgramLine(const std::string& line, bool firstLine) {
  if (input::logFile != nullptr) {
    fprintf(input::logFile, "%s\n", line.c_str());
    return true;
  }
  if (!input::runOptions.writeLog || !firstLine) return true;
  input::pendingLogLine = line + "\n";
  return ParseLogFile(nullptr, line.c_str()) == 0;
}

// Takes the ready line of the running program (hand-shake: clear line-ready,
// then acknowledge).
PROGRAMLINE TakeReadyLine(PROGRAMRECORD& record, std::string* line) {
  Compiler& language = Language();
  int last = record.outputLines.GetCount() - 1;
  *line = last >= 0 ? WithoutLineEnd(record.outputLines.GetAt(last)) : std::string();
  language.lineReady.store(0, std::memory_order_release);
  language.acknowledged.store(1, std::memory_order_release);
  return LogProgramLine(*line, last == 0) ? kFromProgram : kProgramLineNone;
}

// The end of a run: completes a last line written without a newline, reports
// the run and makes no program current.
PROGRAMLINE EndProgramRun(FILE* input, PROGRAMRECORD& record) {
  Compiler& language = Language();
  int count = record.outputLines.GetCount();
  if (!language.lineReady.load() && !language.lastLineComplete.load() && count > 0) {
    record.outputLines[count - 1] += "\n";
    LogProgramLine(WithoutLineEnd(record.outputLines.GetAt(count - 1)), count == 1);
    language.lastLineComplete.store(1);
  }
  language.PrintProgramDiagnostic(input, -1);
  language.outputPending.store(0, std::memory_order_release);
  fflush(stdout);
  return language.severeDiagnostic.load() ? kProgramLineNone : kNoProgramCurrent;
}

}  // namespace

bool IsProgramBlockKeyword(const char* word) { return BlockKindOf(word) != kNotABlock; }

bool ProgramCurrent() { return language::compiler != nullptr && language::compiler->programInProgress.load() >= 0; }

bool ProgramOutputPending() { return language::compiler != nullptr && language::compiler->outputPending.load() != 0; }

bool ProgramLinesConsumed() {
  int current = language::compiler->programInProgress.load();
  return current >= 0 && language::compiler->outputLinesConsumed.load() + 1 >= Record(current).outputLines.GetCount();
}

PROGRAMLINE TakeProgramLine(FILE* input, std::string* line) {
  Compiler& language = Language();
  int current = language.programInProgress.load(std::memory_order_acquire);
  if (current < 0) return kNoProgramCurrent;
  PROGRAMRECORD& record = Record(current);
  RUNCONTROL& run = *language.runControl;

  while (run.running.load(std::memory_order_acquire)) {
    PollInterruptKeys();
    WarnAboutRunningTime(record);
    YieldThread();
    if (language.lineReady.load(std::memory_order_acquire)) return TakeReadyLine(record, line);
  }
  if (language.outputPending.load(std::memory_order_acquire)) return EndProgramRun(input, record);

  // Replay of the stored lines.
  int next = language.outputLinesConsumed.load() + 1;
  if (next >= record.outputLines.GetCount()) return kProgramLineNone;
  language.outputLinesConsumed.store(next);
  *line = WithoutLineEnd(record.outputLines.GetAt(next));
  return kFromProgram;
}
