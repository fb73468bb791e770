// Runs small inputs through both passes and reports the outcome, for the
// tests of the problem directives.
#pragma once

#include <string>
#include <vector>

#include "tests/driver/input_test_support.h"

// Input lines joined with line ends.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Runs one input; the code and the console of the passes.
inline INPUTRUN RunLines(const std::vector<std::string>& lines, const std::vector<std::string>& args = {}) {
  return RunInput(Lines(lines), args);
}

// True when the input fails with exactly this message on the console.
inline bool FailsWith(const INPUTRUN& run, const std::string& message) {
  return run.code == 1 && run.console.find(message) != std::string::npos;
}
