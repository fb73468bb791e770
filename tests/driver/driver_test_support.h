// Runs the driver's start-up steps in-process and captures what they print.
#pragma once

#include <string>
#include <vector>

struct CONSOLERUN {
  int code;            // the function's result (the program's exit code)
  std::string output;  // what it printed on the console
};

// Resets every option, makes sure the Compiler exists (system variables
// zeroed), and parses the command line Trenqual followed by args. Every "$IN"
// in args is replaced by the path of an existing input file.
CONSOLERUN RunCommandLine(const std::vector<std::string>& args);

// Path of the existing input file that "$IN" stands for.
std::string ExistingInputFile();

// Resets every option and runs one value parser, capturing what it prints.
CONSOLERUN RunParser(int (*parser)(const char*), const char* value);
