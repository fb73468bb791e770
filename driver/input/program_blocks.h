// Program blocks of the embedded language in the input file (ARRAYS,
// PARAMETERS, PROGRAM, SUBROUTINE, each closed by an END line): gathered and
// compiled in the first pass, where PROGRAM and PARAMETERS code runs on a
// thread of its own and hands the directive lines it writes to the input
// reader one at a time; replayed and echoed with their diagnostics in the
// second pass.
#pragma once

#include <cstdio>
#include <string>

#include "driver/input/program_lines.h"
#include "driver/status.h"
#include "platform/threads.h"

struct PROGRAMINFO;
class CProgramCode;

// The language operations the input reader calls on program blocks.
struct LANGUAGESERVICES {
  // Defines the user arrays of an ARRAYS block; -1 on success, else the index
  // of the faulty line with its message in `message`.
  int (*parseArrays)(const char* text, char* message);
  // Parses a SUBROUTINE's header and formal parameters; returns the number of
  // header lines.
  int (*parseProgram)(int program);
  // Compiles a block into its CProgramCode and fills the diagnostic.
  void (*compileProgram)(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program);
  // The thread entry that runs the program named by the run-control record
  // and clears its running flag at the end, and the stack it gets.
  ThreadEntry programThread;
  size_t programStackBytes;
};

namespace input {
// The services in use; they start as the embedded language's own.
extern LANGUAGESERVICES languageServices;
}  // namespace input
LANGUAGESERVICES DefaultLanguageServices();

enum BLOCKRESULT {
  kBlockContinue,  // the pass goes on
  kBlockEndPass,   // the first pass ends; the second pass reports the error
  kBlockFatal,     // the program thread could not be started: exit code 1
};

// A program-block line of the first pass (the block keyword is `word`).
BLOCKRESULT ReadProgramBlockFirstPass(const char* word);

// A program-block line of the second pass. Returns the exit code (0 go on).
Status ReadProgramBlockSecondPass(const char* word);

// The echo of the current block in the second pass, once its stored lines are
// consumed or a replayed directive failed. Returns the exit code (0 go on).
Status EchoProgramBlock(bool directiveFailed);

// Clears the program state at the start of a pass.
void ResetProgramState(int pass);

// Ends a user program that still runs (the first pass ended early): asks it
// to stop, as Esc then Q would, and waits until its thread has given up the
// Compiler. A program busy in a command of System is waited for.
void StopProgramRun();
