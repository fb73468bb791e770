// The one conversion from a number of the language to an integer. Wherever a
// built-in, the interpreter or the compiler needs an integer (a limit, a count,
// a hint, an order, a seed, a bound, an index, an address) it takes the
// integer part of a value, mostly of the value plus 0.5. Values beyond the
// integer type saturate at its ends, and a NaN is reported to the caller,
// which decides what it means (an array index fails, an order gives the
// undefined value, ...). A plain cast would be undefined behaviour for both.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// Integer part of x (truncated toward zero) in *result, saturated to the range
// of T. Returns false, with *result = 0, when x is a NaN.
template <typename T>
inline bool IntegerPart(double x, T* result) {
  static_assert(std::numeric_limits<T>::is_integer);
  if (std::isnan(x)) {
    *result = 0;
    return false;
  }
  // The limits of T as doubles: lowest is exact (0 or a power of two);
  // 2^digits is the first value beyond highest.
  constexpr double kLowest = static_cast<double>(std::numeric_limits<T>::lowest());
  constexpr double kBeyondHighest = 2.0 * static_cast<double>(T(1) << (std::numeric_limits<T>::digits - 1));
  if (x <= kLowest) {
    *result = std::numeric_limits<T>::lowest();
  } else if (x >= kBeyondHighest) {
    *result = std::numeric_limits<T>::max();
  } else {
    *result = static_cast<T>(x);  // in range: the cast truncates toward zero
  }
  return true;
}

// The language's usual rule: integer part of (x + 0.5).
template <typename T>
inline bool IntegerPartOfHalfUp(double x, T* result) {
  return IntegerPart(x + 0.5, result);
}

// x rounded to the nearest integer with halves away from zero (the order of
// jn, yn and ldexp): integer part of x + 0.5 for x >= 0, of x - 0.5 below.
template <typename T>
inline bool IntegerPartRoundedAway(double x, T* result) {
  return IntegerPart(x >= 0.0 ? x + 0.5 : x - 0.5, result);
}
