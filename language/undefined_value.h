// The language's mark of a missing value: a quiet NaN with one fixed bit
// pattern. Unassigned variables hold it, an operation on it yields a NaN, and
// a runtime error makes the result of a program undefined.
#pragma once

#include <bit>
#include <cstdint>

inline constexpr uint64_t kUndefinedBits = 0xFFF8000000000000ull;
inline constexpr double kUndefined = std::bit_cast<double>(kUndefinedBits);
