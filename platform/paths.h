// Paths and files on Linux. The separator is '/', a path is absolute when it
// begins with '/', folders are kept with a trailing '/', and the search path
// in PATH is split at ':'.
#pragma once

#include <cstdio>
#include <string>

constexpr char kPathSeparator = '/';
constexpr char kSearchPathSeparator = ':';

// True when a file (or folder) of this name exists.
bool FileExists(const std::string& name);

// True when the path begins at the root of the file system.
bool IsAbsolutePath(const std::string& path);

// Appends the separator unless the folder is empty or already ends with one.
std::string WithTrailingSeparator(std::string folder);

// folder + name, with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// Splits a path into its folder (with trailing '/', empty when there is none),
// its name without extension and its extension (with the dot, or empty).
void SplitPath(const std::string& path, std::string* folder, std::string* name,
               std::string* extension);

// The current working folder with a trailing '/', or "" when it cannot be read.
std::string CurrentFolder();

// The folder of the running executable (from procfs) with a trailing '/';
// false when the system does not tell it.
bool ExecutableFolderFromSystem(std::string* folder);

// Creates a folder; true when it exists afterwards.
bool MakeFolder(const std::string& folder);

// True when nothing of this name exists or it is a regular file (symbolic
// links followed): devices, pipes and folders are no place for a result.
bool AbsentOrRegularFile(const std::string& name);

// Opens a file for reading (mode "r" or "rb") only when it is a regular file
// (symbolic links followed). A pipe, device or folder is refused without
// waiting for a writer (a named pipe would block the open, /dev/stdin the
// first read); *notRegular, when given, tells that case from a missing or
// unreadable file.
FILE* OpenRegularFileForReading(const std::string& name, const char* mode, bool* notRegular = nullptr);

// True when the open stream writes to or reads from a regular file.
bool IsRegularStream(FILE* stream);

// True when the folder ("" is the current one) holds device nodes, as /dev
// does: no result folder is made in such a folder.
bool IsDeviceFolder(const std::string& folder);
