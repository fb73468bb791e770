// The lines of a user program as the input reader takes them: while the
// program runs on its thread, its next directive line (with the keys that
// interrupt it and the warning about its running time); at the end of its
// run its report; in the second pass its stored lines, replayed. And the
// keywords that open a program block.
#pragma once

#include <cstdio>
#include <string>

// The program blocks, in the order of kBlockKeywords.
enum BlockKind { kArraysBlock, kParametersBlock, kProgramBlock, kSubroutineBlock, kNotABlock };
namespace input {
extern const char* const kBlockKeywords[];  // "ARRAYS", "PARAMETERS", "PROGRAM", "SUBROUTINE"
}  // namespace input

// The block that `word` opens (any case), kNotABlock for any other word.
BlockKind BlockKindOf(const char* word);

// True for PROGRAM, PARAMETERS, SUBROUTINE and ARRAYS (any case).
bool IsProgramBlockKeyword(const char* word);

// A program line without its line end ("\n", "\r\n").
std::string WithoutLineEnd(const char* text);

// Where the reader's next physical line comes from.
enum PROGRAMLINE {
  kNoProgramCurrent,  // from the input file
  kFromProgram,       // a program line was copied into the line
  kProgramLineNone,   // no line: the result of the reader is null
};

// The program side of the reader: while a program runs, waits for its next
// line (keys, time warning); at the end of a run reports it; in the replay
// hands out the stored lines.
PROGRAMLINE TakeProgramLine(FILE* input, std::string* line);

// True while a program is current (being run or replayed).
bool ProgramCurrent();
// True when the first pass's program output is still pending.
bool ProgramOutputPending();
// True when all stored lines of the current block have been consumed.
bool ProgramLinesConsumed();
