// The one reader of decimal numbers in the language's texts: numbers in
// program statements, ARRAYS initialisers and dimensions, INDEX_BASE values
// and the parameters of the conversion in number formats.
//
// A number is digits with an optional decimal point and fraction (".5" and
// "5." both count), then an optional exponent: 'e' or 'E', an optional sign
// and at least one digit. An exponent without digits does not belong to
// the number ("2e" is the number 2 followed by 'e'). Nothing else is a number:
// "inf", "nan", "infinity" and hexadecimal floats, which the C library's
// strtod reads, are not; so a name such as "nan" stays a name and "%nang"
// is no number format.
#pragma once

#include <cstddef>
#include <cstdint>

// What may stand in front of the digits.
struct DECIMALFORM {
  bool leadingBlanks;  // blanks and tabs are skipped first
  bool sign;           // one '+' or '-' may precede the digits
};

constexpr DECIMALFORM kBareDecimal{false, false};  // program text: signs are operators
constexpr DECIMALFORM kSignedDecimal{true, true};  // initialisers, format parameters

// Length of the number at the start of text (0: no number there).
size_t ScanDecimal(const char* text, DECIMALFORM form);

// Reads the number at the start of text: its value (an overflow gives an
// infinity and an underflow zero or a subnormal, as strtod) and its length.
// False, with nothing stored, when no number stands there.
bool ReadDecimal(const char* text, DECIMALFORM form, double* value, size_t* length);

// Reads an integer ([blanks] [sign] digits; no point, no exponent). The value
// saturates at the ends of int64_t. False when no digit stands there.
bool ReadDecimalInteger(const char* text, DECIMALFORM form, int64_t* value, size_t* length);
