// The directive modules in the order in which a line's first word is tested
// against their keywords, and the parser of the binning lines of plane tallies.
#pragma once

#include "driver/status.h"

// A directive module: entered with the first word of a directive line, it
// returns true when the word is one of its keywords (directive_dispatch.h).
using DirectiveModule = bool (*)(const char* word);

extern const DirectiveModule directiveModules[];
extern const int directiveModuleCount;

// A binning line (E, THETA, MU, R, PHI, X, Y with an optional number) of the
// plane tally being defined, second pass only; 0 on success.
Status ParseBinningLine(const char* word, int nameIndex);
