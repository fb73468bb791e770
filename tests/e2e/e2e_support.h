// Running the built programs in a scratch folder and comparing their files
// with golden copies.
#pragma once

#include <string>
#include <vector>

struct PROGRAMRUN {
  int exitCode;
  std::string console;  // standard output
  std::string folder;   // the scratch folder the program ran in
};

// Copies the named input from tests/e2e/inputs/ into a fresh scratch folder and
// runs the program there with the arguments (each quoted for the shell).
PROGRAMRUN RunProgram(const std::string& program, const std::string& inputName,
                      const std::vector<std::string>& args);

// The text with lines that change from run to run masked: the program path in
// the echoed command line, times and dates.
std::string MaskVolatileLines(const std::string& text);

// Compares text with golden file tests/e2e/golden/<name> (writes it instead
// when TQ_REGENERATE_GOLDEN is set); returns an empty string when equal, else
// a description of the first difference.
std::string CompareWithGolden(const std::string& text, const std::string& goldenName);
