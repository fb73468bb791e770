// A Compiler with program blocks added and compiled the way the input reader
// does it: a block's lines joined with carriage returns and line feeds, a
// SUBROUTINE's formal-parameter list parsed first, the PARAMETERS block
// compiled a second time once its new global parameters are merged.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "language/compiler.h"

// What a program run gave.
struct PROGRAMRUN {
  double value = 0;                // runControl's result
  std::vector<std::string> lines;  // the directive lines, as the reader took them
  std::string diagnostic;          // "<kind> <line>: <text>" after ComposeRuntimeError
};

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

  // Runs program k on the user-program thread as the input reader starts it,
  // taking its directive lines through the hand-shake until it ends; `whileRunning`
  // is called in every turn of the reader's loop (to interrupt it, say).
  PROGRAMRUN Run(int k, const std::function<void()>& whileRunning = nullptr);

  std::unique_ptr<Compiler> language;
  int headerLines = 0;  // of the last program added
};
