// An inline exponential for the hot lookups: log-log interpolation takes an
// exponential per table (two dozen for the subshells of a heavy element), and
// the library's exp is a call of about fifty instructions behind an error
// check. This one has no call and no branch in its normal range, so the
// subshells of a lookup overlap in the pipeline; it is within about one unit
// in the last place of the exact value (the library's is within about half).
// Devices use their own exp, which is inline already.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/hostdevice.h"

namespace fast_exp {

// exp(x) = 2^(n / 128) exp(r), n = round(x 128 / ln 2), |r| <= ln 2 / 256;
// 2^(n / 128) is 2^(n >> 7) times the table entry 2^((n & 127) / 128).
constexpr int kTableBits = 7;
constexpr int kTableSize = 1 << kTableBits;
constexpr long double kLn2 = 0.693147180559945309417232121458176568L;

// 2^(j / 128) rounded to double: the series of exp(j ln 2 / 128) summed in
// long double, far below a double's rounding.
constexpr double TwoToFraction(int j) {
  const long double x = kLn2 * j / kTableSize;
  long double term = 1.0L, sum = 1.0L;
  for (int n = 1; n < 40; ++n) {
    term *= x / n;
    sum += term;
  }
  return static_cast<double>(sum);
}

struct TABLE {
  uint64_t bits[kTableSize];  // bit patterns of 2^(j / 128)
};

constexpr uint64_t BitsOf(double v) { return __builtin_bit_cast(uint64_t, v); }

constexpr TABLE MakeTable() {
  TABLE t{};
  for (int j = 0; j < kTableSize; ++j) t.bits[j] = BitsOf(TwoToFraction(j));
  return t;
}

inline constexpr TABLE kTable = MakeTable();

constexpr double kInvStep = static_cast<double>(kTableSize / kLn2);  // 128 / ln 2
// ln 2 / 128 in two parts: the first has float precision, so that n times it
// is exact for any n of the normal range; the second is the remainder.
constexpr double kStepHigh = static_cast<double>(static_cast<float>(kLn2 / kTableSize));
constexpr double kStepLow = static_cast<double>(kLn2 / kTableSize - static_cast<long double>(kStepHigh));
// Adding 1.5 2^52 rounds to an integer held in the low bits of the sum.
constexpr double kRoundShift = 6755399441055744.0;
// Beyond this the result overflows, or is subnormal or zero: left to exp.
constexpr double kNormalRange = 708.0;

}  // namespace fast_exp

TQ_CPU_GPU inline double FastExp(double x) {
#if defined(__CUDA_ARCH__)
  return exp(x);
#else
  using namespace fast_exp;
  if (!(fabs(x) < kNormalRange)) return exp(x);  // also NaN
  const double shifted = x * kInvStep + kRoundShift;
  const int64_t n = static_cast<int64_t>(BitsOf(shifted) - BitsOf(kRoundShift));
  const double nd = shifted - kRoundShift;
  const double r = (x - nd * kStepHigh) - nd * kStepLow;
  // 2^(n / 128): the table entry with n >> 7 added to its exponent.
  const uint64_t scaleBits = kTable.bits[n & (kTableSize - 1)] + (static_cast<uint64_t>(n >> kTableBits) << 52);
  double scale;
  std::memcpy(&scale, &scaleBits, sizeof scale);
  // exp(r) - 1 to degree 5; the next term is below 1e-18 of the result.
  const double r2 = r * r;
  const double p = r + r2 * (0.5 + r * (1.0 / 6.0)) + (r2 * r2) * (1.0 / 24.0 + r * (1.0 / 120.0));
  return scale + scale * p;
#endif
}
