// A Compiler with blocks given to it the way the input reader does it: a
// block's lines joined with carriage returns and line feeds.
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

  std::unique_ptr<Compiler> language;
};
