// The language operations on program blocks that the input reader calls.
#pragma once

struct PROGRAMINFO;
class CProgramCode;

// Defines the user arrays of an ARRAYS block; -1 on success, else the faulty
// line (counted from 0) with its message in `message` (2001 characters).
int ParseArraysBlock(const char* text, char* message);
// Parses a SUBROUTINE header with its formal parameters; returns the number
// of header lines.
int ParseProgramHeader(int program);
// Compiles a block and fills its diagnostic.
void CompileProgramBlock(const char* text, int headerLines, PROGRAMINFO* info, CProgramCode* code, int program);
// The thread that runs the program named by the run-control record; clears
// the running flag when it ends.
void ProgramThread(void* argument);
