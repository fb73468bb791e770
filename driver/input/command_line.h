// Program start: the program's own folders and the command line.
#pragma once

#include <string>

#include "driver/input/keyword_names.h"
#include "driver/status.h"

// Finds the file under which a program name exists: an absolute name is taken
// as it is; a name with a folder part is joined to the current folder; a bare
// name is searched in the folders of PATH. True with the full path; false
// with the name unchanged.
bool FindFileOnPath(const std::string& name, std::string* path);

// Sets exeFolder (from the running executable, else from the program name),
// dataFolder and the default library folders.
void FindProgramFolders(const char* programName);

// Reads the whole command line (argv[0] is the program). The input file is
// opened as soon as its name is read. kOk when the command line is complete;
// kInputError after the message of the first error.
Status ParseCommandLine(int argc, const char* const* argv);

// The command-line keywords of both programs as the user manual lists them,
// the _CUDA keywords marked as Trenqual_CUDA's, and the system variables "@<d>".
KEYWORDNAMES CommandLineKeywordNames();
