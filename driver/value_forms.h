// The forms in which option and directive values are read. A value is well
// formed when at least one character forms the number and only blanks and
// tabs follow it; non-finite numbers (nan, inf) are never well formed.
#pragma once

#include <cstdint>

// Base-10 integer, whole token (blanks and tabs may follow).
bool ReadWholeInteger(const char* text, int64_t* value);

// Floating-point number, whole token (blanks and tabs may follow).
bool ReadWholeNumber(const char* text, double* value);

// Floating-point number with nothing at all after it, not even a blank.
bool ReadExactNumber(const char* text, double* value);

// The C library's plain integer conversion: the leading integer, the rest of
// the text ignored, no digits giving 0; values beyond 32 bits are clamped.
int32_t PlainInteger(const char* text);
