// Where the tests find the shared data and where they may write scratch files.
#pragma once

#include <string>
#include <vector>

// The folder holding endf/ and aux/ (environment TQ_SHARED_DATA), with a
// trailing '/'.
std::string SharedDataFolder();

// The ENDF/B-VIII.1 library folder (SharedDataFolder() + "endf/").
std::string EndfFolder();

// The build's data folder (bin/Data/) when the auxiliary data files were
// built there, else "" (their sources were absent at configure time).
std::string BuiltAuxDataFolder();

// The PENELOPE-2018 tables the auxiliary data files are built from, with a
// trailing '/', or "" when they are absent.
std::string PenelopeSourceFolder();

// A fresh, empty scratch folder of its own for one test (unique per call),
// with a trailing '/'.
std::string MakeScratchFolder(const std::string& testName);

// The scratch folders made since the last call (the test runner removes
// those of the tests that pass).
std::vector<std::string> TakeScratchFolders();

// Writes text to a file; false on failure.
bool WriteTextFile(const std::string& path, const std::string& text);
