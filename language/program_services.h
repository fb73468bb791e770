// The language operations on program blocks that the input reader calls, and
// the thread that runs a user program.
#pragma once

#include <cstddef>

struct PROGRAMINFO;
class CProgramCode;

// Stack of the user-program thread: enough for 1000 nested program calls,
// each with its repeated evaluations, also in the sanitizer builds.
constexpr size_t kProgramThreadStackBytes = size_t{256} << 20;

// Defines the user arrays of an ARRAYS block; -1 on success, else the faulty
// line (counted from 0) with its message in `message` (2001 characters).
int ParseArraysBlock(const char* text, char* message);
// Parses a SUBROUTINE header with its formal parameters; returns the number
// of header lines.
int ParseProgramHeader(int program);
// Compiles a block and fills its diagnostic.
void CompileProgramBlock(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program);
// The thread that runs the program named by the run-control record of the
// Compiler given as argument (null: activeCompiler) from a clear
// floating-point status, and clears the running flag as its last access to
// the Compiler. An interrupt request unwinds the interpreter, so that the
// thread always ends here.
void ProgramThread(void* argument);
