// Whole input files run in-process by the input and language fuzz targets:
// the state of a fresh process, the command line and both input passes.
#pragma once

#include <string>
#include <vector>

// The name of the input file in the scratch folder.
inline constexpr char kFuzzInputName[] = "input.txt";

// The state of a fresh process: files closed, options, directive tables and
// checks reset, a new Compiler (after the thread of an earlier program ended).
void ResetDriver();

// "Trenqual in input.txt" followed by extraArgs, both passes and, unless the
// command line or the input sets check 0, the checks after the input (those of
// the simple geometry when no complex geometry was given). Closes the files.
void RunInputFile(const std::vector<std::string>& extraArgs);

// The first word of a physical line, as the reader would cut it.
std::string FirstWordOf(const std::string& line);
