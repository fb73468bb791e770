// Runs whole inputs through the command line and both input passes,
// in-process, capturing the console.
#pragma once

#include <string>
#include <vector>

#include "tests/driver/driver_test_support.h"

struct INPUTRUN {
  int code;                 // exit code of the command line and the passes
  std::string console;      // what was printed on the console
  std::string folder;       // scratch folder holding input.txt and the outputs
  std::string outputText;   // contents of the output file (empty when none)
};

// Writes inputText to <scratch>/input.txt and runs "Trenqual in <file>"
// followed by extraArgs ("$DIR" in the input text and in the arguments is
// replaced by the scratch folder, with its trailing '/'). Every option and table is reset first; a fresh Compiler is made.
INPUTRUN RunInput(const std::string& inputText, const std::vector<std::string>& extraArgs = {});

// Called by RunInput after the reset and before the run, when set (tests use it
// to install doubles of the language services).
extern void (*testHooks)();

// Compatibility form for tests that only need the code and the console.
CONSOLERUN RunInputConsole(const std::string& inputText, const std::vector<std::string>& extraArgs = {});

// Reads a whole text file ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);
