// Shared pieces of the fuzz targets: a scratch folder of the process in which
// a target writes the files its reader opens, and the quiet console.
//
// Every target defines LLVMFuzzerTestOneInput. Built with -DTQ_FUZZ=ON it is
// driven by libFuzzer (scripts/fuzz.sh); in the normal test suite the same
// entry replays the target's corpus (corpus_replay_test.cpp), so that an
// input that once crashed a reader stays a regression test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The scratch folder of this process (with a trailing '/'), made on the first
// call under TMPDIR and removed at exit. The targets make it the current
// folder, so that whatever a reader creates by a relative name lands in it.
const std::string& FuzzScratchFolder();

// Makes the scratch folder the current folder (once).
void EnterFuzzScratchFolder();

// Writes bytes to a file, replacing it; false on failure.
bool WriteFuzzFile(const std::string& path, const void* data, size_t size);
bool WriteFuzzFile(const std::string& path, const std::string& bytes);

// Removes everything in the scratch folder except the names in keep (a
// NUL-free list of names separated by '\n').
void ClearFuzzScratchFolder(const std::string& keep);

// Sends the console to /dev/null for the fuzzing run (TQ_FUZZ_VERBOSE=1 keeps
// it): the readers print their messages for every rejected input.
void QuietFuzzConsole();
