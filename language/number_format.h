// The check of a number format that SetNumberFormat is given: the format
// must hold exactly one conversion of a double, %[parameters](g|G|e|E|f),
// among literal text in which "%%" stands for a percent sign. Its parameters
// are the longest decimal number that stands behind the '%' (blanks and a
// sign included), read by the language's one decimal scanner, so that
// "%nang" or "%0x1p3g" are refused rather than passed to printf.
#pragma once

#include <string>

struct NUMBERFORMATPARTS {
  std::string before;      // text before the conversion, "%%" made "%"
  std::string conversion;  // '%', the parameters, the conversion character
  std::string after;       // text after the conversion character, "%%" made "%"
};

// True when the format is acceptable; then parts (when given) receives its
// three pieces.
bool CheckNumberFormat(const char* format, NUMBERFORMATPARTS* parts);
