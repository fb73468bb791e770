// Where the tests find the shared data and where they may write scratch files.
#pragma once

#include <string>

// The folder holding endf/ and aux/ (environment TQ_SHARED_DATA), with a
// trailing '/'.
std::string SharedDataFolder();

// The ENDF/B-VIII.1 library folder (SharedDataFolder() + "endf/").
std::string EndfFolder();

// A fresh, empty scratch folder of its own for one test (unique per call),
// with a trailing '/'.
std::string MakeScratchFolder(const std::string& testName);

// Writes text to a file; false on failure.
bool WriteTextFile(const std::string& path, const std::string& text);
