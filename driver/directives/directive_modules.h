// The directive modules in the order in which a line's first word is tested
// against their keywords, and the parser of the binning lines of plane tallies.
#pragma once

#include "driver/directives/directive_dispatch.h"

extern const DirectiveModule directiveModules[];
extern const int directiveModuleCount;

// A binning line (E, THETA, MU, R, PHI, X, Y with an optional number) of the
// plane tally being defined, second pass only; 0 on success.
int ParseBinningLine(const char* word, int nameIndex);
