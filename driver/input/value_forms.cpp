#include "driver/input/value_forms.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "core/text.h"

bool ReadWholeInteger(const char* text, int64_t* value) {
  if (text == nullptr) return false;
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (end == text || errno == ERANGE) return false;
  *value = v;
  return OnlyBlanks(end);
}

double DecimalNumber(const char* text, char** end) {
  // The C library also reads hexadecimal numbers ("0x10" is 16); an input
  // value is decimal, so the number ends at the 'x' and is the leading zero.
  const char* p = text;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  const bool negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
    if (end != nullptr) *end = const_cast<char*>(p + 1);
    return negative ? -0.0 : 0.0;
  }
  return std::strtod(text, end);
}

static bool ReadFiniteNumber(const char* text, double* value, char** end) {
  if (text == nullptr) return false;
  double v = DecimalNumber(text, end);
  if (*end == text || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool ReadWholeNumber(const char* text, double* value) {
  char* end = nullptr;
  return ReadFiniteNumber(text, value, &end) && OnlyBlanks(end);
}

bool ReadExactNumber(const char* text, double* value) {
  char* end = nullptr;
  return ReadFiniteNumber(text, value, &end) && *end == '\0';
}

int32_t PlainInteger(const char* text) {
  long long v = std::strtoll(text, nullptr, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

double LenientNumber(const char* text) { return DecimalNumber(text, nullptr); }

bool ReadKeywordNumber(const char* text, int32_t* number) {
  double v = 0.0;
  if (!ReadExactNumber(text, &v) || !(v > 0.5 && v < 2147483647.5)) return false;
  *number = static_cast<int32_t>(RoundCount(v));
  return true;
}
