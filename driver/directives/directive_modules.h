// The directive modules in the order in which a line's first word is tested
// against their keywords, and the parser of the binning lines of plane tallies.
#pragma once

#include "driver/input/keyword_names.h"
#include "driver/status.h"

// A directive module: entered with the first word of a directive line, its
// handler returns true when the word is one of its keywords
// (directive_dispatch.h); its lister names those keywords for the manual.
struct DIRECTIVEMODULE {
  bool (*handle)(const char* word);
  void (*list)(KEYWORDNAMES* names);
};

namespace directives {
extern const DIRECTIVEMODULE directiveModules[];
extern const int directiveModuleCount;
}  // namespace directives

// A binning line (E, THETA, MU, R, PHI, X, Y with an optional number) of the
// plane tally being defined, second pass only; 0 on success.
Status ParseBinningLine(const char* word, int nameIndex);
