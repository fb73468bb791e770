// The whole run of the program, from the command line to the result files.
#pragma once

#include "driver/status.h"

// Returns the process exit code: 0 success, 1 input, data and count errors,
// 2 device errors.
Status RunMain(int argc, const char* const* argv);

// Creates the one Compiler object of the embedded language; prints an error
// and returns 1 when it cannot be allocated.
Status CreateCompiler();
