// Inline exponential, logarithm and cosine-sine pair for the hot paths: log-log
// interpolation takes an exponential per table (two dozen for the subshells of
// a heavy element), every flight a logarithm, every deflection an azimuth. The
// library's functions are calls of 50 to 100 instructions behind error checks;
// these have no call and no branch in their normal range, and are within
// about one unit in the last place of the exact values (the library's within
// about half). Arguments outside the normal range go to the library. Devices
// use their own functions, which are inline already. AtLeast, at the end, is
// fmax for the floors of energies and logarithms, likewise without a call.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "core/hostdevice.h"

#if defined(__CUDA_ARCH__)

TQ_CPU_GPU inline double FastExp(double x) { return exp(x); }
TQ_CPU_GPU inline double FastLog(double x) { return log(x); }
TQ_CPU_GPU inline void FastCosSin(double phi, double* c, double* s) { sincos(phi, s, c); }

#else

namespace fast_math {

constexpr long double kLn2 = 0.693147180559945309417232121458176568L;
constexpr long double kPi = 3.141592653589793238462643383279502884L;
// Adding 1.5 2^52 rounds to an integer held in the low bits of the sum.
constexpr double kRoundShift = 6755399441055744.0;

constexpr uint64_t BitsOf(double v) { return std::bit_cast<uint64_t>(v); }
constexpr double FromBits(uint64_t b) { return std::bit_cast<double>(b); }

// Taylor series summed in long double, far below a double's rounding, for the
// tables (|x| <= pi / 2).
constexpr long double SeriesExp(long double x) {
  long double term = 1.0L, sum = 1.0L;
  for (int n = 1; n < 40; ++n) {
    term *= x / n;
    sum += term;
  }
  return sum;
}

constexpr long double SeriesSin(long double x) {
  long double term = x, sum = x;
  for (int n = 1; n < 20; ++n) {
    term *= -x * x / ((2 * n) * (2 * n + 1));
    sum += term;
  }
  return sum;
}

constexpr long double SeriesCos(long double x) {
  long double term = 1.0L, sum = 1.0L;
  for (int n = 1; n < 20; ++n) {
    term *= -x * x / ((2 * n - 1) * (2 * n));
    sum += term;
  }
  return sum;
}

// ln(1 + y), |y| <= 1/2, by the series of atanh: ln(1 + y) = 2 atanh(y / (2 + y)).
constexpr long double SeriesLog1p(long double y) {
  const long double u = y / (2.0L + y);
  long double power = u, sum = 0.0L;
  for (int n = 0; n < 60; ++n) {
    sum += power / (2 * n + 1);
    power *= u * u;
  }
  return 2.0L * sum;
}

// A reduction step: its inverse, and the step in two parts, the first of
// float precision so that n times it is exact for any n of the inline ranges,
// the second the remainder.
struct STEP {
  double inverse;
  double high;
  double low;
};

constexpr STEP SplitStep(long double step) {
  const double high = static_cast<double>(static_cast<float>(step));
  return STEP{static_cast<double>(1.0L / step), high, static_cast<double>(step - static_cast<long double>(high))};
}

// x = n step + r with n the nearest integer to x / step and |r| <= step / 2.
struct REDUCED {
  int64_t n;
  double r;
};

inline REDUCED ReduceByStep(double x, const STEP& step) {
  const double shifted = x * step.inverse + kRoundShift;
  const double nd = shifted - kRoundShift;
  return REDUCED{static_cast<int64_t>(BitsOf(shifted) - BitsOf(kRoundShift)), (x - nd * step.high) - nd * step.low};
}

}  // namespace fast_math

namespace fast_exp {

using fast_math::BitsOf;
using fast_math::kLn2;

// exp(x) = 2^(n / 128) exp(r), n = round(x 128 / ln 2), |r| <= ln 2 / 256;
// 2^(n / 128) is 2^(n >> 7) times the table entry 2^((n & 127) / 128).
constexpr int kTableBits = 7;
constexpr int kTableSize = 1 << kTableBits;

// 2^(j / 128) rounded to double.
constexpr double TwoToFraction(int j) { return static_cast<double>(fast_math::SeriesExp(kLn2 * j / kTableSize)); }

struct TABLE {
  uint64_t bits[kTableSize];  // bit patterns of 2^(j / 128)
};

constexpr TABLE MakeTable() {
  TABLE t{};
  for (int j = 0; j < kTableSize; ++j) t.bits[j] = BitsOf(TwoToFraction(j));
  return t;
}

inline constexpr TABLE kTable = MakeTable();

constexpr fast_math::STEP kStep = fast_math::SplitStep(kLn2 / kTableSize);
// Beyond this the result overflows, or is subnormal or zero: left to exp.
constexpr double kNormalRange = 708.0;

}  // namespace fast_exp

TQ_CPU_GPU inline double FastExp(double x) {
  using namespace fast_exp;
  if (!(fabs(x) < kNormalRange)) return exp(x);  // also NaN
  const fast_math::REDUCED reduced = fast_math::ReduceByStep(x, kStep);
  const int64_t n = reduced.n;
  const double r = reduced.r;
  // 2^(n / 128): the table entry with n >> 7 added to its exponent.
  const uint64_t scaleBits = kTable.bits[n & (kTableSize - 1)] + (static_cast<uint64_t>(n >> kTableBits) << 52);
  const double scale = fast_math::FromBits(scaleBits);
  // exp(r) - 1 to degree 5; the next term is below 1e-18 of the result.
  const double r2 = r * r;
  const double p = r + r2 * (0.5 + r * (1.0 / 6.0)) + (r2 * r2) * (1.0 / 24.0 + r * (1.0 / 120.0));
  return scale + scale * p;
}

namespace fast_log {

// ln x = k ln 2 + ln c + ln(1 + r): x = 2^k m with m in [1, 2), c = 1 + j / 128
// the nearest of 129 centres to m and r = (m - c) / c, |r| <= 1/256. ln c and
// ln 2 are split so that k ln 2 + ln c is exact in its high part: below 1, m
// near 2 takes c = 2, whose logarithm cancels -ln 2 exactly, and near 1 the
// result is ln(1 + r) alone, to full relative precision.
constexpr int kTableBits = 7;
constexpr int kCentres = (1 << kTableBits) + 1;

// A logarithm's high part, a multiple of 2^-32: times any exponent k it stays
// exact, and so does its sum with another high part.
constexpr double HighPart(long double v) {
  const long double scaled = v * 4294967296.0L;
  const long double whole = static_cast<long double>(static_cast<int64_t>(scaled + (scaled < 0 ? -0.5L : 0.5L)));
  return static_cast<double>(whole / 4294967296.0L);
}

struct TABLE {
  double invCentre[kCentres];  // 1 / c
  double lnHigh[kCentres];     // ln c, high part
  double lnLow[kCentres];      // ln c - high part
};

constexpr TABLE MakeTable() {
  TABLE t{};
  for (int j = 0; j < kCentres; ++j) {
    const long double c = 1.0L + static_cast<long double>(j) / (1 << kTableBits);
    const long double ln = j == kCentres - 1 ? fast_math::kLn2 : fast_math::SeriesLog1p(c - 1.0L);
    t.invCentre[j] = static_cast<double>(1.0L / c);
    t.lnHigh[j] = HighPart(ln);
    t.lnLow[j] = static_cast<double>(ln - static_cast<long double>(t.lnHigh[j]));
  }
  return t;
}

inline constexpr TABLE kTable = MakeTable();
constexpr double kLn2High = HighPart(fast_math::kLn2);
constexpr double kLn2Low = static_cast<double>(fast_math::kLn2 - static_cast<long double>(kLn2High));
constexpr uint64_t kSmallestNormal = 0x0010000000000000ull;
constexpr uint64_t kInfinity = 0x7ff0000000000000ull;

}  // namespace fast_log

TQ_CPU_GPU inline double FastLog(double x) {
  using namespace fast_log;
  const uint64_t bits = fast_math::BitsOf(x);
  // Zero, negative, subnormal, infinite and NaN arguments: the library's.
  if (bits - kSmallestNormal >= kInfinity - kSmallestNormal) return log(x);
  const int64_t k = static_cast<int64_t>(bits >> 52) - 1023;
  const uint64_t mantissa = bits & 0x000fffffffffffffull;
  const int j = static_cast<int>((mantissa + (uint64_t{1} << (51 - kTableBits))) >> (52 - kTableBits));
  const double m = fast_math::FromBits(mantissa | 0x3ff0000000000000ull);
  const double centre = 1.0 + j * (1.0 / (1 << kTableBits));
  const double r = (m - centre) * kTable.invCentre[j];  // m - centre is exact
  // ln(1 + r) to degree 7; the next term is below 1e-20.
  const double r2 = r * r;
  const double p = r + r2 * (-0.5 + r * (1.0 / 3.0)) + (r2 * r2) * (-0.25 + r * 0.2) +
                   (r2 * r2 * r2) * (-1.0 / 6.0 + r * (1.0 / 7.0));
  const double kd = static_cast<double>(k);
  const double high = kd * kLn2High + kTable.lnHigh[j];
  const double low = kd * kLn2Low + kTable.lnLow[j];
  return high + (low + p);
}

namespace fast_trig {

// cos and sin of phi = 2 pi n / 64 + r, |r| <= pi / 64: the pair of 2 pi n / 64
// from a table, turned by r through its short series.
constexpr int kSectorBits = 6;
constexpr int kSectors = 1 << kSectorBits;

struct TABLE {
  double cosine[kSectors];
  double sine[kSectors];
};

// The first quadrant by series; the others by exact quarter turns, so that the
// axes hold exact zeros and ones.
constexpr TABLE MakeTable() {
  TABLE t{};
  constexpr int quarter = kSectors / 4;
  for (int j = 0; j < kSectors; ++j) {
    const long double a = 2.0L * fast_math::kPi * (j % quarter) / kSectors;
    const double c = static_cast<double>(fast_math::SeriesCos(a));
    const double s = static_cast<double>(fast_math::SeriesSin(a));
    const int q = j / quarter;
    t.cosine[j] = q == 0 ? c : (q == 1 ? -s : (q == 2 ? -c : s));
    t.sine[j] = q == 0 ? s : (q == 1 ? c : (q == 2 ? -s : -c));
  }
  return t;
}

inline constexpr TABLE kTable = MakeTable();
constexpr fast_math::STEP kStep = fast_math::SplitStep(2.0L * fast_math::kPi / kSectors);
// Beyond this the step, known to 64 bits, no longer reduces to far below a
// unit in the last place: left to the library.
constexpr double kReducedRange = 100.0;

}  // namespace fast_trig

// cos(phi) and sin(phi) of an azimuth (any angle; the inline path below 100).
TQ_CPU_GPU inline void FastCosSin(double phi, double* c, double* s) {
  using namespace fast_trig;
  if (!(fabs(phi) < kReducedRange)) {
    *c = cos(phi);
    *s = sin(phi);
    return;
  }
  const fast_math::REDUCED reduced = fast_math::ReduceByStep(phi, kStep);
  const int64_t n = reduced.n;
  const double r = reduced.r;
  const double r2 = r * r;
  // sin r to degree 9 and cos r - 1 to degree 8; the next terms are below 1e-19.
  const double sr = r + (r * r2) * (-1.0 / 6.0 + r2 * (1.0 / 120.0 + r2 * (-1.0 / 5040.0 + r2 * (1.0 / 362880.0))));
  const double cm1 = r2 * (-0.5 + r2 * (1.0 / 24.0 + r2 * (-1.0 / 720.0 + r2 * (1.0 / 40320.0))));
  const double ct = kTable.cosine[n & (kSectors - 1)];
  const double st = kTable.sine[n & (kSectors - 1)];
  *c = ct + (ct * cm1 - st * sr);
  *s = st + (st * cm1 + ct * sr);
}

#endif

// fmax(x, floor) for a floor that is a number, without the library's call on
// the host: x where it is at least the floor, else the floor (also for a NaN
// x). Bit for bit fmax's result, signed zeros included.
TQ_CPU_GPU inline double AtLeast(double x, double floor) { return x >= floor ? x : floor; }
