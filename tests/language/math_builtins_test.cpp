// The operators and the mathematical built-ins, called through the Compiler's
// table of ordinary built-ins: value tables with the edge values of each
// (NaN, infinities, signed zeros, huge arguments, the ends of the domains),
// the library functions against 40-digit references, and the comparators of
// the sorting built-ins.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

#include "core/physical_constants.h"
#include "language/compiler.h"
#include "language/undefined_value.h"

namespace {

#include "tests/language/reference_values.inc"

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kUndef = kUndefined;  // a NaN that must come back with its own bit pattern

enum Code {
  kAdd = 0, kSubtract, kDivide, kMultiply, kPower, kEquality, kGT, kLT, kGE, kLE, kEQ, kNE, kAND, kOR,
  kNot = 27, kExp, kLn, kLg, kSqrt, kSin, kCos, kTg, kArcsin, kArccos, kArctg, kArctg2, kSinh, kCosh, kTanh,
  kJ0, kJ1, kJn, kY0, kY1, kYn, kAbs, kLdexp, kFmod, kCeil, kFloor, kNear, kSrand, kSrand2, kRand, kRand2,
  kTime, kClock, kIndirect, kMemcpy, kErf, kErfc, kGammaCode, kLnGammaCode, kGammp, kMax, kMin, kSelect,
};

struct Case {
  int code;
  std::vector<double> args;
  double expected;  // NaN: any NaN; kUndef: exactly the undefined value; a zero: of this sign
};

class MathBuiltins : public testing::Test {
 protected:
  Compiler language;

  double Call(int code, std::vector<double> values) {
    std::vector<double*> pointers;
    for (double& value : values) pointers.push_back(&value);
    return language.ordinaryBuiltins[code](pointers.data());
  }

  void ExpectSame(const Case& c, double got) {
    std::string what = std::string(language.builtinNames[c.code]) + "(";
    for (size_t i = 0; i < c.args.size(); ++i) what += (i ? ", " : "") + std::to_string(c.args[i]);
    what += ")";
    if (std::bit_cast<uint64_t>(c.expected) == kUndefinedBits) {
      EXPECT_EQ(std::bit_cast<uint64_t>(got), kUndefinedBits) << what << " = " << got;
    } else if (std::isnan(c.expected)) {
      EXPECT_TRUE(std::isnan(got)) << what << " = " << got;
    } else {
      EXPECT_EQ(got, c.expected) << what;
      if (c.expected == 0.0) {
        EXPECT_EQ(std::signbit(got), std::signbit(c.expected)) << what << " sign";
      }
    }
  }

  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) ExpectSame(c, Call(c.code, c.args));
  }
};

}  // namespace

TEST_F(MathBuiltins, Arithmetic) {
  Check({
      {kAdd, {1, 2}, 3},           {kAdd, {kInf, -kInf}, kNaN},       {kAdd, {1e308, 1e308}, kInf},
      {kAdd, {kNaN, 1}, kNaN},     {kAdd, {-0.0, 0.0}, 0.0},          {kAdd, {-0.0, -0.0}, -0.0},
      {kSubtract, {5, 3}, 2},      {kSubtract, {kInf, kInf}, kNaN},   {kSubtract, {-1e308, 1e308}, -kInf},
      {kSubtract, {0.1, 0.1}, 0},  {kSubtract, {3, kNaN}, kNaN},
      {kDivide, {7, 2}, 3.5},      {kDivide, {1, 0}, kInf},           {kDivide, {-1, 0}, -kInf},
      {kDivide, {0, 0}, kNaN},     {kDivide, {1, -0.0}, -kInf},       {kDivide, {kInf, kInf}, kNaN},
      {kDivide, {1e-300, 1e300}, 0}, {kDivide, {-1, kInf}, -0.0},
      {kMultiply, {3, -4}, -12},   {kMultiply, {kInf, 0}, kNaN},      {kMultiply, {1e200, 1e200}, kInf},
      {kMultiply, {-0.0, 5}, -0.0},
      {kPower, {2, 10}, 1024},     {kPower, {2, -1}, 0.5},            {kPower, {-8, 1.0 / 3}, kNaN},
      {kPower, {0, -1}, kInf},     {kPower, {-0.0, -1}, -kInf},       {kPower, {kNaN, 0}, 1},
      {kPower, {1, kNaN}, 1},      {kPower, {-2, 3}, -8},             {kPower, {10, 400}, kInf},
      {kPower, {0, 0}, 1},         {kPower, {kInf, -1}, 0},           {kPower, {-1, kInf}, 1},
      {kPower, {0.5, kInf}, 0},
      {kEquality, {1, 7}, 7},      {kEquality, {kNaN, 2}, 2},         {kEquality, {2, kNaN}, kNaN},
      {kEquality, {2, -0.0}, -0.0},
  });
}

// Comparisons give exactly 0 or 1 and 0 with a NaN on either side, except
// NE; logic takes only an exact zero as false, so a NaN is true.
TEST_F(MathBuiltins, ComparisonsAndLogic) {
  struct Pair {
    double a, b;
    double gt, lt, ge, le, eq, ne;
  } pairs[] = {
      {1, 2, 0, 1, 0, 1, 0, 1},          {2, 1, 1, 0, 1, 0, 0, 1},       {2, 2, 0, 0, 1, 1, 1, 0},
      {kNaN, 1, 0, 0, 0, 0, 0, 1},       {1, kNaN, 0, 0, 0, 0, 0, 1},    {kNaN, kNaN, 0, 0, 0, 0, 0, 1},
      {-0.0, 0.0, 0, 0, 1, 1, 1, 0},     {kInf, kInf, 0, 0, 1, 1, 1, 0}, {-kInf, 1, 0, 1, 0, 1, 0, 1},
      {kUndef, kUndef, 0, 0, 0, 0, 0, 1},
  };
  for (const Pair& p : pairs) {
    Check({{kGT, {p.a, p.b}, p.gt}, {kLT, {p.a, p.b}, p.lt}, {kGE, {p.a, p.b}, p.ge},
           {kLE, {p.a, p.b}, p.le}, {kEQ, {p.a, p.b}, p.eq}, {kNE, {p.a, p.b}, p.ne}});
  }
  Check({
      {kAND, {0, 0}, 0},     {kAND, {0, 1}, 0},     {kAND, {1, 0}, 0},       {kAND, {2, -3}, 1},
      {kAND, {kNaN, 1}, 1},  {kAND, {-0.0, 1}, 0},  {kAND, {kInf, 1e-300}, 1},
      {kOR, {0, 0}, 0},      {kOR, {0, 1}, 1},      {kOR, {-0.0, 0.0}, 0},   {kOR, {kNaN, 0}, 1},
      {kNot, {0}, 1},        {kNot, {-0.0}, 1},     {kNot, {1}, 0},          {kNot, {kNaN}, 0},
      {kNot, {kInf}, 0},     {kNot, {1e-300}, 0},
      {kSelect, {kNaN, 1, 2}, 1}, {kSelect, {0, 1, 2}, 2}, {kSelect, {-0.0, 1, 2}, 2},
      {kSelect, {kInf, 1, 2}, 1}, {kSelect, {1, kNaN, 2}, kNaN},
  });
}

TEST_F(MathBuiltins, ElementaryFunctionEnds) {
  Check({
      {kExp, {0}, 1},          {kExp, {kInf}, kInf},      {kExp, {-kInf}, 0},      {kExp, {kNaN}, kNaN},
      {kExp, {710}, kInf},     {kExp, {-746}, 0},
      {kLn, {1}, 0},           {kLn, {0}, -kInf},         {kLn, {-0.0}, -kInf},    {kLn, {-1}, kNaN},
      {kLn, {kInf}, kInf},     {kLn, {-kInf}, kNaN},      {kLn, {kNaN}, kNaN},
      {kLg, {1000}, 3},        {kLg, {0}, -kInf},         {kLg, {-1}, kNaN},       {kLg, {kInf}, kInf},
      {kSqrt, {4}, 2},         {kSqrt, {0}, 0},           {kSqrt, {-0.0}, -0.0},   {kSqrt, {-1}, kNaN},
      {kSqrt, {kInf}, kInf},   {kSqrt, {-kInf}, kNaN},
      {kSin, {0}, 0},          {kSin, {-0.0}, -0.0},      {kSin, {kInf}, kNaN},    {kSin, {kNaN}, kNaN},
      {kCos, {0}, 1},          {kCos, {-kInf}, kNaN},
      {kTg, {0}, 0},           {kTg, {kInf}, kNaN},
      {kArcsin, {1}, kPi / 2}, {kArcsin, {1.0000001}, kNaN}, {kArcsin, {-2}, kNaN}, {kArcsin, {-0.0}, -0.0},
      {kArccos, {1}, 0},       {kArccos, {-1}, kPi},      {kArccos, {2}, kNaN},
      {kArctg, {kInf}, kPi / 2}, {kArctg, {-kInf}, -kPi / 2}, {kArctg, {0}, 0},
      {kArctg2, {0, -1}, kPi}, {kArctg2, {-0.0, -1}, -kPi}, {kArctg2, {1, 0}, kPi / 2},
      {kArctg2, {0, 0}, 0},    {kArctg2, {kInf, kInf}, kPi / 4}, {kArctg2, {kNaN, 1}, kNaN},
      {kSinh, {0}, 0},         {kSinh, {711}, kInf},      {kSinh, {-kInf}, -kInf},
      {kCosh, {0}, 1},         {kCosh, {-711}, kInf},     {kCosh, {kInf}, kInf},
      {kTanh, {kInf}, 1},      {kTanh, {-kInf}, -1},      {kTanh, {-0.0}, -0.0},   {kTanh, {kNaN}, kNaN},
      {kAbs, {-3}, 3},         {kAbs, {-0.0}, 0.0},       {kAbs, {-kInf}, kInf},   {kAbs, {kNaN}, kNaN},
      {kFmod, {5.5, 2}, 1.5},  {kFmod, {-5.5, 2}, -1.5},  {kFmod, {1, 0}, kNaN},   {kFmod, {kInf, 1}, kNaN},
      {kFmod, {1, kInf}, 1},   {kFmod, {-0.0, 1}, -0.0},  {kFmod, {kNaN, 1}, kNaN},
      {kCeil, {1.2}, 2},       {kCeil, {-1.2}, -1},       {kCeil, {-0.5}, -0.0},   {kCeil, {kInf}, kInf},
      {kCeil, {kNaN}, kNaN},
      {kFloor, {1.8}, 1},      {kFloor, {-1.2}, -2},      {kFloor, {-kInf}, -kInf},{kFloor, {0.5}, 0},
  });
}

// near rounds halves away from zero, exactly for every double.
TEST_F(MathBuiltins, Near) {
  Check({
      {kNear, {0.5}, 1},   {kNear, {-0.5}, -1},  {kNear, {-2.4}, -2},  {kNear, {2.5}, 3},   {kNear, {-2.5}, -3},
      {kNear, {1.4999999999999998}, 1},  {kNear, {0.49999999999999994}, 0},
      {kNear, {4503599627370497.0}, 4503599627370497.0},  // odd beyond 2^52: x + 0.5 would round up
      {kNear, {-0.2}, -0.0},  {kNear, {kNaN}, kNaN},  {kNear, {kInf}, kInf},  {kNear, {-kInf}, -kInf},
      {kNear, {1e300}, 1e300},
  });
}

// max and min hand back one of their arguments: max(x, y) is y when y > x or
// the pair is unordered, min(x, y) is y when y <= x or unordered. Signed
// zeros show which argument came back.
TEST_F(MathBuiltins, MaxMin) {
  Check({
      {kMax, {1, 3}, 3},      {kMax, {3, 1}, 3},        {kMax, {0.0, -0.0}, 0.0},  {kMax, {-0.0, 0.0}, -0.0},
      {kMax, {kNaN, 2}, 2},   {kMax, {2, kNaN}, kNaN},  {kMax, {-kInf, kInf}, kInf},
      {kMin, {1, 3}, 1},      {kMin, {3, 1}, 1},        {kMin, {0.0, -0.0}, -0.0}, {kMin, {-0.0, 0.0}, 0.0},
      {kMin, {kNaN, 2}, 2},   {kMin, {2, kNaN}, kNaN},  {kMin, {-kInf, kInf}, -kInf},
  });
}

// The order of jn, yn and ldexp is rounded half away from zero and
// saturates; a NaN order gives the undefined value. Orders far beyond the
// argument give J = 0 at once (the library would recur over all of them).
TEST_F(MathBuiltins, BesselAndLdexpOrders) {
  Check({
      {kJ0, {0}, 1},            {kJ0, {kInf}, 0},         {kJ0, {kNaN}, kNaN},
      {kJ1, {0}, 0},            {kJ1, {-kInf}, -0.0},
      {kJn, {0, 0}, 1},         {kJn, {1.6, 0}, 0},       {kJn, {kNaN, 1}, kUndef},  {kJn, {1, kNaN}, kNaN},
      {kJn, {3000, 1}, 0},      {kJn, {2147483648.0, 1}, 0}, {kJn, {1e300, 5}, 0},   {kJn, {-1e300, 5}, 0},
      {kJn, {-kInf, 5}, 0},     {kJn, {2, kInf}, 0},
      {kY0, {0}, -kInf},        {kY0, {-1}, kNaN},        {kY0, {kInf}, 0},
      {kY1, {0}, -kInf},        {kY1, {-1}, kNaN},
      {kYn, {2, 0}, -kInf},     {kYn, {2, -1}, kNaN},     {kYn, {kNaN, 1}, kUndef},  {kYn, {1e300, 1}, -kInf},
      {kLdexp, {1, 1024}, kInf},   {kLdexp, {1, -1075}, 0},  {kLdexp, {3, 0.49}, 3},  {kLdexp, {3, 0.5}, 6},
      {kLdexp, {3, -0.5}, 1.5},    {kLdexp, {3, -0.49}, 3},  {kLdexp, {3, kNaN}, kUndef},
      {kLdexp, {kNaN, 1}, kNaN},   {kLdexp, {1, 1e300}, kInf}, {kLdexp, {1, -1e300}, 0},
      {kLdexp, {-0.0, 5}, -0.0},   {kLdexp, {kInf, -5}, kInf},
  });
  EXPECT_EQ(Call(kJn, {-1.5, 2.0}), Call(kJn, {2, 2.0}));  // order -2, and J_-2 = J_2
}

// The C library's functions behind the built-ins against 40-digit values:
// a few ulps (the Bessel functions are within 1e-14 away from their zeros).
TEST_F(MathBuiltins, LibraryFunctionsAgainstReferences) {
  for (const LIBRARYREFERENCE& r : kLibraryReferences) {
    int arguments = language::kBuiltins[r.code].argumentCount;
    double got = arguments == 1 ? Call(r.code, {r.x}) : Call(r.code, {r.x, r.y});
    bool bessel = r.code >= kJ0 && r.code <= kYn;
    double tolerance = (bessel ? 1e-14 : 4e-16) * std::fabs(r.value);
    EXPECT_NEAR(got, r.value, r.value == 0 ? 0.0 : tolerance)
        << language.builtinNames[r.code] << "(" << r.x << ", " << r.y << ")";
  }
}

// erf and erfc give the undefined value for what is not a finite number;
// gamma and lngamma follow their routines; gammp answers its ends directly.
TEST_F(MathBuiltins, SpecialFunctionBuiltins) {
  Check({
      {kErf, {kNaN}, kUndef},     {kErf, {kInf}, kUndef},     {kErf, {-kInf}, kUndef},   {kErf, {1e308}, 1},
      {kErf, {-0.0}, -0.0},       {kErfc, {kNaN}, kUndef},    {kErfc, {kInf}, kUndef},   {kErfc, {-kInf}, kUndef},
      {kErfc, {30}, 0},           {kErfc, {-6}, 2},
      {kGammaCode, {-1}, kInf},  {kGammaCode, {-2}, -kInf},
      {kGammaCode, {kNaN}, kUndef}, {kGammaCode, {-1.5e15}, kUndef},
      {kLnGammaCode, {1}, 0},     {kLnGammaCode, {0}, kInf},  {kLnGammaCode, {-2e15}, kUndef},
      {kGammp, {2, 0}, 0},        {kGammp, {2, -1}, 0},       {kGammp, {1, kInf}, 1},    {kGammp, {0.5, kInf}, 1},
      {kGammp, {kInf, 5}, 0},     {kGammp, {kInf, kInf}, kUndef}, {kGammp, {kNaN, 1}, kUndef},
      {kGammp, {1, kNaN}, kUndef},  {kGammp, {1e9, 1e9}, kUndef},  // the series does not converge
      {kGammp, {1, 1000}, 1},
  });
  EXPECT_NEAR(Call(kGammaCode, {5}), 24.0, 1e-14);
  for (const REFERENCE2& r : kGammpReferences) {
    EXPECT_LE(std::fabs(Call(kGammp, {r.a, r.x}) - r.value), 1e-13 * r.value) << "gammp(" << r.a << ", " << r.x << ")";
  }
}

TEST_F(MathBuiltins, TimeAndClock) {
  double before = static_cast<double>(std::time(nullptr));
  double now = Call(kTime, {});
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);
  EXPECT_EQ(now, std::floor(now));
  double first = Call(kClock, {});
  double second = Call(kClock, {});
  EXPECT_GE(first, 0);
  EXPECT_GE(second, first);
  EXPECT_EQ(first, std::floor(first));  // whole milliseconds
}

// ---------------------------------------------------------------- comparators

namespace {

template <typename T>
int Compare(SortComparator compare, T a, T b) {
  return compare(&a, &b);
}

}  // namespace

TEST_F(MathBuiltins, ComparatorsByElementType) {
  auto cmp = [this](int type) { return language.sortComparators[type]; };
  // Extremes that a subtraction would overflow or wrap.
  EXPECT_EQ(Compare<int32_t>(cmp(kElementInt), INT32_MIN, INT32_MAX), -1);
  EXPECT_EQ(Compare<int32_t>(cmp(kElementInt), INT32_MAX, INT32_MIN), 1);
  EXPECT_EQ(Compare<uint32_t>(cmp(kElementUInt), 0u, 4294967295u), -1);
  EXPECT_EQ(Compare<int16_t>(cmp(kElementInt2), -1, 1), -1);
  EXPECT_EQ(Compare<uint16_t>(cmp(kElementUInt2), 65535, 1), 1);
  EXPECT_EQ(Compare<int8_t>(cmp(kElementInt1), -128, 127), -1);
  EXPECT_EQ(Compare<uint8_t>(cmp(kElementUInt1), 255, 0), 1);
  EXPECT_EQ(Compare<int32_t>(cmp(kElementInt), 7, 7), 0);
  // Floating types: -0 equals 0, NaNs after everything and equal to each other.
  EXPECT_EQ(Compare<double>(cmp(kElementDouble), -0.0, 0.0), 0);
  EXPECT_EQ(Compare<double>(cmp(kElementDouble), kNaN, kInf), 1);
  EXPECT_EQ(Compare<double>(cmp(kElementDouble), kInf, kNaN), -1);
  EXPECT_EQ(Compare<double>(cmp(kElementDouble), kNaN, -kNaN), 0);
  EXPECT_EQ(Compare<float>(cmp(kElementFloat), std::numeric_limits<float>::quiet_NaN(), 1.0f), 1);
  EXPECT_EQ(Compare<float>(cmp(kElementFloat), -1.0f, std::numeric_limits<float>::quiet_NaN()), -1);
  EXPECT_EQ(Compare<float>(cmp(kElementFloat), 1.0f, 2.0f), -1);
}

// The double comparator is a consistent order with NaNs: antisymmetric and
// transitive over random triples, and qsort leaves NaNs at the end.
TEST_F(MathBuiltins, DoubleOrderWithNaNsIsConsistent) {
  const uint32_t seed = 20240611;
  std::mt19937 generator(seed);
  const double pool[] = {kNaN, -kInf, -1.5, -0.0, 0.0, 1e-300, 2.0, kInf, kUndef};
  std::uniform_int_distribution<int> pick(0, sizeof pool / sizeof pool[0] - 1);
  SortComparator compare = language.sortComparators[kElementDouble];
  for (int trial = 0; trial < 5000; ++trial) {
    double a = pool[pick(generator)], b = pool[pick(generator)], c = pool[pick(generator)];
    ASSERT_EQ(compare(&a, &b), -compare(&b, &a)) << "seed " << seed << ": " << a << ", " << b;
    if (compare(&a, &b) <= 0 && compare(&b, &c) <= 0) {
      ASSERT_LE(compare(&a, &c), 0) << "seed " << seed << ": " << a << ", " << b << ", " << c;
    }
  }
  std::vector<double> values = {3, kNaN, -1, kInf, kNaN, 0, -kInf, 2};
  std::qsort(values.data(), values.size(), sizeof(double), compare);
  const double sorted[] = {-kInf, -1, 0, 2, 3, kInf};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(values[i], sorted[i]) << i;
  EXPECT_TRUE(std::isnan(values[6]) && std::isnan(values[7]));
}
