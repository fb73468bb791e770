#include "language/math_builtins.h"

#include <cmath>
#include <cstring>
#include <ctime>

#include "language/compiler.h"
#include "language/error_gamma_functions.h"
#include "language/integer_conversion.h"
#include "language/memory_access.h"
#include "language/undefined_value.h"
#include "platform/clock.h"

namespace {

double Truth(bool condition) { return condition ? 1.0 : 0.0; }

// ---------------------------------------------------------------- orders of jn, yn, ldexp

// The order n of jn, yn and ldexp: y rounded half away from zero, kept within
// +-INT32_MAX (the library negates a negative order). False for a NaN.
bool OrderOf(double v, int* n) {
  int32_t order;
  if (!IntegerPartRoundedAway(v, &order)) return false;
  *n = order < -INT32_MAX ? -INT32_MAX : order;
  return true;
}

// |J_n(x)| <= (|x|/2)^n / n! <= (e/4)^n once n >= 2|x|, which underflows to 0
// from n = 2000 on. The library's recurrence runs over all n orders (seconds
// for n near 2^31), so such orders are answered here.
constexpr int kUnderflowOrder = 2000;

bool BesselJUnderflows(int n, double x) {
  double absN = std::fabs(static_cast<double>(n));
  return absN >= kUnderflowOrder && absN >= 2.0 * std::fabs(x);
}

// ---------------------------------------------------------------- the thread's rand generator

// SplitMix64 (G. Steele, D. Lea, C. Flood, "Fast splittable pseudorandom
// number generators", OOPSLA 2014): a Weyl sequence hashed by a bijective
// mixer; the top 15 bits of each output are one draw of rand.
constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;
constexpr uint32_t kDefaultUserSeed = 1;  // an unseeded rand runs as after srand(1)

thread_local uint64_t userRandState = kDefaultUserSeed;

uint64_t SplitMix64Next(uint64_t* state) {
  uint64_t z = (*state += kGoldenGamma);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// ---------------------------------------------------------------- comparators

template <typename T>
int CompareOrdered(const void* a, const void* b) {
  T x, y;
  std::memcpy(&x, a, sizeof x);  // array elements need not be aligned for T
  std::memcpy(&y, b, sizeof y);
  return x < y ? -1 : (y < x ? 1 : 0);
}

// NaNs last and equal among themselves: a total preorder, as qsort requires.
template <typename T>
int CompareFloating(const void* a, const void* b) {
  T x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  bool xNaN = std::isnan(x);
  bool yNaN = std::isnan(y);
  if (xNaN || yNaN) return xNaN == yNaN ? 0 : (xNaN ? 1 : -1);
  return x < y ? -1 : (y < x ? 1 : 0);
}

}  // namespace

// ---------------------------------------------------------------- operators

double BuiltinAdd(double** args) { return *args[0] + *args[1]; }
double BuiltinSubtract(double** args) { return *args[0] - *args[1]; }
double BuiltinDivide(double** args) { return *args[0] / *args[1]; }
double BuiltinMultiply(double** args) { return *args[0] * *args[1]; }
double BuiltinPower(double** args) { return std::pow(*args[0], *args[1]); }
double BuiltinEquality(double** args) { return *args[1]; }
double BuiltinGT(double** args) { return Truth(*args[0] > *args[1]); }
double BuiltinLT(double** args) { return Truth(*args[0] < *args[1]); }
double BuiltinGE(double** args) { return Truth(*args[0] >= *args[1]); }
double BuiltinLE(double** args) { return Truth(*args[0] <= *args[1]); }
double BuiltinEQ(double** args) { return Truth(*args[0] == *args[1]); }
double BuiltinNE(double** args) { return Truth(!(*args[0] == *args[1])); }
double BuiltinAND(double** args) { return Truth(*args[0] != 0.0 && *args[1] != 0.0); }
double BuiltinOR(double** args) { return Truth(*args[0] != 0.0 || *args[1] != 0.0); }

// ---------------------------------------------------------------- functions of the C library

double BuiltinNot(double** args) { return Truth(*args[0] == 0.0); }
double BuiltinExp(double** args) { return std::exp(*args[0]); }
double BuiltinLn(double** args) { return std::log(*args[0]); }
double BuiltinLg(double** args) { return std::log10(*args[0]); }
double BuiltinSqrt(double** args) { return std::sqrt(*args[0]); }
double BuiltinSin(double** args) { return std::sin(*args[0]); }
double BuiltinCos(double** args) { return std::cos(*args[0]); }
double BuiltinTg(double** args) { return std::tan(*args[0]); }
double BuiltinArcsin(double** args) { return std::asin(*args[0]); }
double BuiltinArccos(double** args) { return std::acos(*args[0]); }
double BuiltinArctg(double** args) { return std::atan(*args[0]); }
double BuiltinArctg2(double** args) { return std::atan2(*args[0], *args[1]); }
double BuiltinSinh(double** args) { return std::sinh(*args[0]); }
double BuiltinCosh(double** args) { return std::cosh(*args[0]); }
double BuiltinTanh(double** args) { return std::tanh(*args[0]); }
double BuiltinJ0(double** args) { return ::j0(*args[0]); }
double BuiltinJ1(double** args) { return ::j1(*args[0]); }
double BuiltinY0(double** args) { return ::y0(*args[0]); }
double BuiltinY1(double** args) { return ::y1(*args[0]); }
double BuiltinAbs(double** args) { return std::fabs(*args[0]); }
double BuiltinFmod(double** args) { return std::fmod(*args[0], *args[1]); }
double BuiltinCeil(double** args) { return std::ceil(*args[0]); }
double BuiltinFloor(double** args) { return std::floor(*args[0]); }

double BuiltinJn(double** args) {
  int n;
  if (!OrderOf(*args[0], &n)) return kUndefined;
  double x = *args[1];
  if (BesselJUnderflows(n, x)) return 0.0;
  return ::jn(n, x);
}

double BuiltinYn(double** args) {
  int n;
  if (!OrderOf(*args[0], &n)) return kUndefined;
  return ::yn(n, *args[1]);
}

double BuiltinLdexp(double** args) {
  int n;
  if (!OrderOf(*args[1], &n)) return kUndefined;
  return std::ldexp(*args[0], n);
}

// Halves away from zero. std::round is exact for every double, where
// floor(x + 0.5) is not (x + 0.5 rounds for 0.49999999999999994 and for odd
// integers beyond 2^52).
double BuiltinNear(double** args) { return std::round(*args[0]); }

double BuiltinSelect(double** args) { return *args[0] != 0.0 ? *args[1] : *args[2]; }

double BuiltinMax(double** args) {
  double x = *args[0];
  double y = *args[1];
  return (y > x || std::isunordered(x, y)) ? y : x;
}

double BuiltinMin(double** args) {
  double x = *args[0];
  double y = *args[1];
  return (y <= x || std::isunordered(x, y)) ? y : x;
}

// ---------------------------------------------------------------- random numbers

void SeedUserRand(uint32_t seed) { userRandState = seed; }

int32_t UserRand() { return static_cast<int32_t>(SplitMix64Next(&userRandState) >> 49); }

double BuiltinSrand(double** args) {
  int32_t seed;
  IntegerPart(*args[0], &seed);  // truncated, no 0.5 added; a NaN seeds 0
  SeedUserRand(static_cast<uint32_t>(seed));
  return 0.0;
}

double BuiltinRand(double** /*args*/) { return UserRand(); }

// n = integer part of (x + 0.5) selects the RANMAR seeds ij = n / 30082 and
// kl = n mod 30082; a negative n (or a NaN) is out of range and gives the
// default sequence of 1802 and 9373.
double BuiltinSrand2(double** args) {
  constexpr int32_t kSeedModulus = CRandGen::kMaxKL + 1;
  int32_t n;
  if (!IntegerPartOfHalfUp(*args[0], &n)) n = -1;
  if (language::activeCompiler != nullptr)
    language::activeCompiler->randomGenerator.RandomInitialise(n / kSeedModulus, n % kSeedModulus);
  return 0.0;
}

double BuiltinRand2(double** args) {
  if (language::activeCompiler == nullptr) return kUndefined;
  int32_t n;
  IntegerPartOfHalfUp(*args[0], &n);
  CRandGen& generator = language::activeCompiler->randomGenerator;
  return n > 0 ? generator.RandomGaussian(0.0, 1.0) : generator.random2();
}

double BuiltinTime(double** /*args*/) { return static_cast<double>(std::time(nullptr)); }

double BuiltinClock(double** /*args*/) { return static_cast<double>(MillisecondsSinceStart()); }

// ---------------------------------------------------------------- addresses

double BuiltinIndirect(double** args) {
  double value;
  if (language::activeCompiler == nullptr || !ReadLanguageDouble(*language::activeCompiler, *args[0], &value))
    return kUndefined;
  return value;
}

double BuiltinMemcpy(double** args) {
  double count = *args[2];
  if (!(count > -0.5 && count < 2147483647.5)) return -1.0;  // also refuses a NaN
  int32_t n;
  IntegerPartOfHalfUp(count, &n);
  if (n == 0) return 0.0;
  if (language::activeCompiler == nullptr) return -1.0;
  return CopyLanguageBytes(*language::activeCompiler, *args[0], *args[1], n) ? 0.0 : -1.0;
}

// ---------------------------------------------------------------- special functions

double BuiltinErf(double** args) {
  double x = *args[0];
  return std::isfinite(x) ? Erf(x) : kUndefined;
}

double BuiltinErfc(double** args) {
  double x = *args[0];
  return std::isfinite(x) ? Erfc(x) : kUndefined;
}

double BuiltinGamma(double** args) { return Gamma(*args[0]); }

double BuiltinLnGamma(double** args) { return LnGamma(*args[0]); }

// P(a, x) with a the first argument: the series below a + 1, one minus the
// continued fraction from there on. The ends are answered directly:
// P(a, +inf) = 1 and P(+inf, x) = 0 for finite a and x (the fraction would
// give inf - inf).
double BuiltinGammp(double** args) {
  double a = *args[0];
  double x = *args[1];
  if (std::isnan(a) || std::isnan(x)) return kUndefined;
  if (std::isinf(x) && std::isinf(a)) return kUndefined;
  if (x == HUGE_VAL) return 1.0;
  if (a == HUGE_VAL) return 0.0;
  if (x < a + 1.0) {
    double p;
    GammaPSeries(a, x, &p);
    return p;
  }
  double q;
  GammaQContFrac(a, x, &q);
  return 1.0 - q;
}

// ---------------------------------------------------------------- comparators

int CompareDouble(const void* a, const void* b) { return CompareFloating<double>(a, b); }
int CompareFloat(const void* a, const void* b) { return CompareFloating<float>(a, b); }
int CompareInt(const void* a, const void* b) { return CompareOrdered<int32_t>(a, b); }
int CompareUInt(const void* a, const void* b) { return CompareOrdered<uint32_t>(a, b); }
int CompareInt2(const void* a, const void* b) { return CompareOrdered<int16_t>(a, b); }
int CompareUInt2(const void* a, const void* b) { return CompareOrdered<uint16_t>(a, b); }
int CompareInt1(const void* a, const void* b) { return CompareOrdered<int8_t>(a, b); }
int CompareUInt1(const void* a, const void* b) { return CompareOrdered<uint8_t>(a, b); }
