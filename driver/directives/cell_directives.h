// The directives C<n> (a cell: material, concentration, signed bounding
// surfaces, the cells it encloses, its own cutoffs, volume and forcing, or a
// moved copy of an earlier cell) and UNION<n> (cells treated as one, sharing
// material, concentration, cutoffs, volume and forcing).
#pragma once

#include "driver/status.h"

// C, or UNION, followed by text whose leading integer is positive.
bool IsCellKeyword(const char* word);
bool IsUnionKeyword(const char* word);

// The C<n> / UNION<n> line whose keyword is word (second pass).
Status DefineCell(const char* word);
Status DefineUnion(const char* word);
