#include "language/decimal_scanner.h"

#include <cstdlib>
#include <limits>
#include <string>

namespace {

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }
bool IsBlankCharacter(char ch) { return ch == ' ' || ch == '\t'; }

size_t DigitRun(const char* text) {
  size_t n = 0;
  while (IsDigit(text[n])) ++n;
  return n;
}

// Blanks and sign allowed by the form, in front of the digits.
size_t PrefixLength(const char* text, DECIMALFORM form) {
  size_t n = 0;
  if (form.leadingBlanks) {
    while (IsBlankCharacter(text[n])) ++n;
  }
  if (form.sign && (text[n] == '+' || text[n] == '-')) ++n;
  return n;
}

// Length of "(e|E) [sign] digits" at text, 0 when it is not complete.
size_t ExponentLength(const char* text) {
  if (text[0] != 'e' && text[0] != 'E') return 0;
  size_t n = 1;
  if (text[n] == '+' || text[n] == '-') ++n;
  size_t digits = DigitRun(text + n);
  return digits == 0 ? 0 : n + digits;
}

}  // namespace

size_t ScanDecimal(const char* text, DECIMALFORM form) {
  size_t n = PrefixLength(text, form);
  size_t whole = DigitRun(text + n);
  n += whole;
  size_t fraction = 0;
  if (text[n] == '.') {
    fraction = DigitRun(text + n + 1);
    if (whole == 0 && fraction == 0) return 0;  // a lone point
    n += 1 + fraction;
  } else if (whole == 0) {
    return 0;
  }
  return n + ExponentLength(text + n);
}

bool ReadDecimal(const char* text, DECIMALFORM form, double* value, size_t* length) {
  size_t n = ScanDecimal(text, form);
  if (n == 0) return false;
  // The text is a plain decimal now; strtod reads it the same in every
  // locale that the program runs in (it never changes the C locale).
  std::string number(text, n);
  *value = std::strtod(number.c_str(), nullptr);
  *length = n;
  return true;
}

bool ReadDecimalInteger(const char* text, DECIMALFORM form, int64_t* value, size_t* length) {
  size_t n = PrefixLength(text, form);
  bool negative = n > 0 && text[n - 1] == '-';
  size_t digits = DigitRun(text + n);
  if (digits == 0) return false;
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
  int64_t magnitude = 0;
  for (size_t i = 0; i < digits; ++i) {
    int digit = text[n + i] - '0';
    magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
  }
  *value = negative ? -magnitude : magnitude;
  *length = n + digits;
  return true;
}
