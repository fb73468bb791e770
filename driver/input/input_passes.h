// The two passes over the input file and the names of the output, log and
// result files. The first pass is silent: it takes the output file's name,
// reads, compiles and runs the program blocks and stops at the first keyword
// used twice. The second pass creates the output file, echoes the command
// line and every input line into it and interprets every directive.
#pragma once

#include <cstdint>
#include <string>

#include "driver/input/input_reader.h"
#include "driver/status.h"

namespace input {
extern int keywordUseCount[kKeywordIndexCount];  // uses of each keyword in this pass
extern std::string filesFolder;                  // result folder, "Files_" + the output file's name
}  // namespace input

// Derived names: drive/folder, name, suffix, extension of a path.
std::string DerivedOutputName(const std::string& inputName);  // "%s%s%s_out%s"
std::string DerivedLogName(const std::string& inputName);     // "%s%s%s_log%s"
std::string ResultFolderName(const std::string& outputName);  // "%s%sFiles_%s%s"

// Runs both passes; returns 0 to go on, or the exit code. With check 0 the
// caller ends the run with 0 afterwards.
Status RunInputPasses(int argc, const char* const* argv);

// After RunInputPasses has failed at a line of the input file: "Error in line
// <n> of input file "<name>": <the line>" on the console and at the end of the
// output file (the line cut after 120 characters, unprintable bytes as '?').
// Nothing when the passes failed before reading a line.
void ReportInputErrorLocation();
