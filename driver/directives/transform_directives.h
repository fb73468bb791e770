// The directives TR<n> and *TR<n>: a coordinate transformation (a translation
// and the unit vectors of the auxiliary axes in the main system, given by
// components or, with the star, by angles), optionally expressed in the
// auxiliary system of a primary transformation.
#pragma once

#include "driver/status.h"

// TR or *TR followed by text whose leading integer is positive.
bool IsTransformKeyword(const char* word);

// The TR<n> or *TR<n> line whose keyword is word (second pass).
Status DefineTransform(const char* word);
