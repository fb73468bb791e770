// srand and rand (the thread's own generator, 0..32767) and srand2 and rand2
// (the Compiler's RANMAR generator): seeds, ranges, independence of threads
// and the distributions of the draws.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "language/compiler.h"
#include "tests/support/chisquare.h"

namespace {

constexpr int kSrand = 54, kSrand2 = 55, kRand = 56, kRand2 = 57;

class RandomBuiltins : public testing::Test {
 protected:
  Compiler language;

  double Call(int code, std::vector<double> values) {
    std::vector<double*> pointers;
    for (double& value : values) pointers.push_back(&value);
    return language.ordinaryBuiltins[code](pointers.data());
  }

  std::vector<double> RandSequence(double seed, int n) {
    Call(kSrand, {seed});
    std::vector<double> draws;
    for (int i = 0; i < n; ++i) draws.push_back(Call(kRand, {}));
    return draws;
  }

  std::vector<double> Rand2Sequence(double seed, double kind, int n) {
    Call(kSrand2, {seed});
    std::vector<double> draws;
    for (int i = 0; i < n; ++i) draws.push_back(Call(kRand2, {kind}));
    return draws;
  }
};

// Uniform draws of a fresh RANMAR generator seeded with (ij, kl).
std::vector<double> RanmarUniform(int32_t ij, int32_t kl, int n) {
  CRandGen generator;
  generator.RandomInitialise(ij, kl);
  std::vector<double> draws;
  for (int i = 0; i < n; ++i) draws.push_back(generator.random2());
  return draws;
}

}  // namespace

TEST_F(RandomBuiltins, RandIsAnIntegerFrom0To32767) {
  for (double draw : RandSequence(12345, 100000)) {
    ASSERT_GE(draw, 0);
    ASSERT_LE(draw, 32767);
    ASSERT_EQ(draw, std::floor(draw));
  }
  EXPECT_EQ(Call(kSrand, {7}), 0);
}

// The seed is the integer part of the argument, without 0.5 added.
TEST_F(RandomBuiltins, SrandSeedsReproducibly) {
  std::vector<double> five = RandSequence(5, 50);
  EXPECT_EQ(RandSequence(5, 50), five);
  EXPECT_EQ(RandSequence(5.9, 50), five);
  EXPECT_NE(RandSequence(6, 50), five);
  EXPECT_NE(RandSequence(4.9, 50), five);
  EXPECT_EQ(RandSequence(-0.7, 50), RandSequence(0, 50));
  EXPECT_EQ(RandSequence(std::nan(""), 50), RandSequence(0, 50));
  EXPECT_EQ(RandSequence(1e300, 50), RandSequence(2147483647, 50));  // saturates
}

// Each thread has its generator: a thread that was never seeded draws as
// after srand(1), and seeding or drawing there leaves this thread's sequence
// alone.
TEST_F(RandomBuiltins, EachThreadHasItsOwnGenerator) {
  std::vector<double> expected = RandSequence(99, 20);
  std::vector<double> defaultSequence = RandSequence(1, 20);
  Call(kSrand, {99});
  std::vector<double> firstHalf;
  for (int i = 0; i < 10; ++i) firstHalf.push_back(Call(kRand, {}));
  std::vector<double> unseeded;
  std::thread other([&] {
    for (int i = 0; i < 20; ++i) unseeded.push_back(UserRand());
    SeedUserRand(4);
    for (int i = 0; i < 1000; ++i) UserRand();
  });
  other.join();
  EXPECT_EQ(unseeded, defaultSequence);
  for (int i = 10; i < 20; ++i) firstHalf.push_back(Call(kRand, {}));
  EXPECT_EQ(firstHalf, expected);
}

TEST_F(RandomBuiltins, RandIsUniform) {
  constexpr int kBins = 64;
  constexpr int kDraws = 640000;
  std::vector<double> observed(kBins, 0.0);
  for (double draw : RandSequence(2718, kDraws)) observed[static_cast<int>(draw) / 512] += 1;
  std::vector<double> expected(kBins, kDraws / double(kBins));
  CHISQUARERESULT result = ChiSquareTest(observed, expected);
  EXPECT_TRUE(ChiSquarePasses(result)) << Describe(result);
}

// srand2(x): n = integer part of (x + 0.5), seeds ij = n / 30082 and
// kl = n mod 30082; out of range (negative, beyond 31328 / 30081, NaN) the
// default seeds 1802 and 9373.
TEST_F(RandomBuiltins, Srand2SelectsTheRanmarSeeds) {
  struct Case {
    double x;
    int32_t ij, kl;
  } cases[] = {
      {0, 0, 0},           {-1, 0, 0},          {0.4, 0, 0},        {30082, 1, 0},
      {30081.6, 1, 0},     {30081, 0, 30081},   {942438977, 31328, 30081},
      {-2, 1802, 9373},    {942438978, 1802, 9373}, {1e300, 1802, 9373}, {std::nan(""), 1802, 9373},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Rand2Sequence(c.x, 0, 30), RanmarUniform(c.ij, c.kl, 30)) << "srand2(" << c.x << ")";
  }
  EXPECT_EQ(Call(kSrand2, {3}), 0);
}

TEST_F(RandomBuiltins, FreshCompilerDrawsTheDefaultSequence) {
  std::vector<double> draws;
  for (int i = 0; i < 30; ++i) draws.push_back(Call(kRand2, {0}));
  EXPECT_EQ(draws, RanmarUniform(1802, 9373, 30));
}

// rand2(x): uniform strictly inside (0, 1) for x below 0.5 (and NaN), a
// standard normal deviate from 0.5 on.
TEST_F(RandomBuiltins, Rand2Distributions) {
  constexpr int kDraws = 200000;
  std::vector<double> uniform = Rand2Sequence(1234, 0.49, kDraws);
  for (double u : uniform) ASSERT_TRUE(u > 0.0 && u < 1.0) << u;
  CHISQUARERESULT flat = ChiSquareAgainstCdf(uniform, [](double u) { return u; }, 0.0, 1.0, 50);
  EXPECT_TRUE(ChiSquarePasses(flat, 2)) << Describe(flat);

  std::vector<double> normal = Rand2Sequence(1234, 0.5, kDraws);
  auto normalCdf = [](double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); };
  CHISQUARERESULT bell = ChiSquareAgainstCdf(normal, normalCdf, -4.0, 4.0, 80);
  EXPECT_TRUE(ChiSquarePasses(bell, 2)) << Describe(bell);

  Call(kSrand2, {1});
  double nanKind = Call(kRand2, {std::nan("")});
  EXPECT_TRUE(nanKind > 0.0 && nanKind < 1.0);
}
