// The keywords of the input language and of the command line as the user
// manual lists them, gathered from the tables that the readers use, so that a
// test can hold the manual to what the program accepts.
#pragma once

#include <string>
#include <vector>

// One keyword form: the keyword itself ("MAT", "tasks"), a keyword that must
// be followed by a number ("M<n>", "FORCE_ELASTIC<Z>", "@<d>") or one whose
// number may be left out ("TALLY[<n>]").
struct KEYWORDNAME {
  std::string form;
  bool gpuOnly;  // accepted by Trenqual_CUDA only
};
using KEYWORDNAMES = std::vector<KEYWORDNAME>;

// Appends a form accepted by both programs.
inline void AddKeywordName(KEYWORDNAMES* names, const std::string& form) { names->push_back({form, false}); }
