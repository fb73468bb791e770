// A Compiler with program blocks added and compiled the way the input reader
// does it: a block's lines joined with carriage returns and line feeds, a
// SUBROUTINE's formal-parameter list parsed first, the PARAMETERS block
// compiled a second time once its new global parameters are merged.
#pragma once

#include <memory>
#include <string>

#include "language/compiler.h"

class LanguageSession {
 public:
  LanguageSession();

  // Lines separated by "\n" become lines ended by "\r\n".
  static std::string BlockText(const std::string& lines);

  // Declares the arrays of an ARRAYS block; returns ParseArrays' result.
  int DeclareArrays(const std::string& lines, std::string* message = nullptr);
  // Adds a program and compiles it. With a formal-parameter list, `lines`
  // begins behind "SUBROUTINE name(".
  int AddProgram(const std::string& name, const std::string& lines, bool parameterList = false);
  // Adds the PARAMETERS block, compiles it, merges its globals and compiles
  // it again.
  int AddParameters(const std::string& lines);

  PROGRAMRECORD& Program(int k) { return *language->programs[k]; }
  std::string Listing(int k);
  // "<kind> <line>: <text>" of program k's diagnostic.
  std::string Diagnostic(int k);

  // Runs program k's instructions one after the other, as the interpreter
  // runs a program without blocks: ordinary built-ins and assignments, and
  // the special built-ins that evaluate no expression (with currentProgram
  // set). Stops when a built-in asks to. Returns the last value.
  double RunStraightLine(int k, bool* stopped = nullptr);

  std::unique_ptr<Compiler> language;
  int headerLines = 0;  // of the last program added
};
