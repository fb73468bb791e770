// The directive module of the complex geometry's records: S<n> (surfaces and
// macrobodies), C<n> (cells), UNION<n> (unions of cells), TR<n> and *TR<n>
// (coordinate transformations). Each is repeatable (duplicates are found by
// identifier) and is read in the second pass only.
#pragma once

#include "driver/input/keyword_names.h"

// True when word is one of these keywords; the line is then handled.
bool HandleGeometryDirective(const char* word);

// Appends S<n>, C<n>, UNION<n>, TR<n> and *TR<n> (the manual's names of this module).
void ListGeometryDirectives(KEYWORDNAMES* names);

// The state before the passes: empty tables, default precisions and plane sets.
void ResetGeometryDirectives();
