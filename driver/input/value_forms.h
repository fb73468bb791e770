// The forms in which option and directive values are read. A value is well
// formed when at least one character forms the number and only blanks and
// tabs follow it; non-finite numbers (nan, inf) are never well formed.
#pragma once

#include <cstdint>

// The C library's number conversion (strtod) restricted to decimal numbers:
// a hexadecimal form ("0x10") reads as its leading zero, ending at the 'x'.
double DecimalNumber(const char* text, char** end);

// Base-10 integer, whole token (blanks and tabs may follow).
bool ReadWholeInteger(const char* text, int64_t* value);

// Floating-point number, whole token (blanks and tabs may follow).
bool ReadWholeNumber(const char* text, double* value);

// Floating-point number with nothing at all after it, not even a blank.
bool ReadExactNumber(const char* text, double* value);

// The C library's plain integer conversion: the leading integer, the rest of
// the text ignored, no digits giving 0; values beyond 32 bits are clamped.
int32_t PlainInteger(const char* text);

// The C library's lenient number conversion (atof): the leading number, the
// rest of the text ignored, no number giving 0.
double LenientNumber(const char* text);

// A count read as a number (whole token), rounded half up to an integer by
// adding 0.5 and truncating. The caller tests the range of the number first.
inline int64_t RoundCount(double value) { return static_cast<int64_t>(value + 0.5); }

// The number of a numbered keyword (M<n>, TALLY<n>, E<n> ...): the text must
// be one number with nothing after it, in the open interval
// (0.5, 2147483647.5); it is rounded half up. False when it is not.
bool ReadKeywordNumber(const char* text, int32_t* number);
