// The inline exponential, logarithm and azimuth cosine-sine against the
// library's: within one unit in the last place over their normal ranges (the
// logarithm to full relative precision next to 1), exact where the results
// are exact, and the library's own results beyond those ranges.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "core/fast_math.h"

namespace {

// Units in the last place between two finite positive doubles.
int64_t UlpsApart(double a, double b) {
  int64_t ia, ib;
  std::memcpy(&ia, &a, sizeof ia);
  std::memcpy(&ib, &b, sizeof ib);
  return ia > ib ? ia - ib : ib - ia;
}

TEST(FastExp, WithinOneUlpOfTheLibraryOverTheNormalRange) {
  std::mt19937_64 engine(12345);
  // The whole range, the range of log-log lookups, and arguments near zero
  // and near the table's steps, where the reduction is most delicate.
  const double ranges[][2] = {{-707.9, 707.9}, {-40.0, 40.0}, {-1e-3, 1e-3}, {-1e-12, 1e-12}};
  for (const auto& range : ranges) {
    std::uniform_real_distribution<double> draw(range[0], range[1]);
    int64_t worst = 0;
    for (int i = 0; i < 2000000; ++i) {
      const double x = draw(engine);
      const int64_t ulps = UlpsApart(FastExp(x), std::exp(x));
      if (ulps > worst) worst = ulps;
    }
    EXPECT_LE(worst, 1) << "arguments in [" << range[0] << ", " << range[1] << "]";
  }
  for (int n = -90000; n <= 90000; ++n) {
    const double x = n * (std::log(2.0) / 128.0);
    ASSERT_LE(UlpsApart(FastExp(x), std::exp(x)), 1) << "x " << x;
  }
}

TEST(FastExp, ExactPointsAndTheEdgesOfItsRange) {
  EXPECT_EQ(FastExp(0.0), 1.0);
  EXPECT_EQ(FastExp(-0.0), 1.0);
  EXPECT_EQ(FastExp(std::log(2.0)), 2.0);
  EXPECT_EQ(FastExp(-std::log(2.0)), 0.5);
  // Beyond |x| = 708 the library answers: overflow, subnormal results, zero.
  const double inf = std::numeric_limits<double>::infinity();
  const double beyond[] = {708.0, 709.7, 710.0, -708.0, -720.0, -745.2, -746.0, inf, -inf};
  for (double x : beyond) EXPECT_EQ(FastExp(x), std::exp(x)) << "x " << x;
  EXPECT_TRUE(std::isnan(FastExp(std::nan(""))));
  // Just inside the switch the inline path still holds.
  for (double edge : {708.0, -708.0}) {
    const double x = std::nextafter(edge, 0.0);
    EXPECT_LE(UlpsApart(FastExp(x), std::exp(x)), 1) << "x " << x;
  }
}

TEST(FastLog, WithinOneUlpOfTheLibraryAndExactWhereTheLogarithmIs) {
  std::mt19937_64 engine(777);
  // Log-uniform arguments over the normal doubles, random numbers in (0, 1)
  // (flight distances) and arguments next to 1 on both sides.
  std::uniform_real_distribution<double> exponent(-1020.0, 1020.0), unit(0.0, 1.0), nearOne(-1e-3, 1e-3);
  int64_t worst[3] = {0, 0, 0};
  for (int i = 0; i < 2000000; ++i) {
    const double xs[3] = {std::exp2(exponent(engine)), unit(engine), 1.0 + nearOne(engine)};
    for (int k = 0; k < 3; ++k) {
      if (!(xs[k] > 0.0)) continue;
      const double exact = std::log(xs[k]);
      if (exact == 0.0) {
        ASSERT_EQ(FastLog(xs[k]), 0.0);
        continue;
      }
      const double fast = FastLog(xs[k]);
      ASSERT_EQ(std::signbit(fast), std::signbit(exact)) << "x " << xs[k];
      const int64_t ulps = UlpsApart(std::fabs(fast), std::fabs(exact));
      if (ulps > worst[k]) worst[k] = ulps;
    }
  }
  EXPECT_LE(worst[0], 1) << "normal range";
  EXPECT_LE(worst[1], 1) << "(0, 1)";
  EXPECT_LE(worst[2], 1) << "next to 1";
  EXPECT_EQ(FastLog(1.0), 0.0);
  EXPECT_EQ(FastLog(2.0), std::log(2.0));
  EXPECT_EQ(FastLog(0.5), -std::log(2.0));
  EXPECT_EQ(FastLog(std::nextafter(1.0, 2.0)), std::log(std::nextafter(1.0, 2.0)));
  EXPECT_EQ(FastLog(std::nextafter(1.0, 0.0)), std::log(std::nextafter(1.0, 0.0)));
  // Zero, negative, subnormal, infinite and NaN arguments: the library's.
  const double inf = std::numeric_limits<double>::infinity();
  const double denormMin = std::numeric_limits<double>::denorm_min();
  for (double x : {0.0, -0.0, -1.0, denormMin, 1e-310, inf}) {
    const double fast = FastLog(x), exact = std::log(x);
    EXPECT_TRUE(fast == exact || (std::isnan(fast) && std::isnan(exact))) << "x " << x;
  }
  EXPECT_TRUE(std::isnan(FastLog(-inf)));
  EXPECT_TRUE(std::isnan(FastLog(std::nan(""))));
  EXPECT_EQ(FastLog(std::numeric_limits<double>::min()), std::log(std::numeric_limits<double>::min()));
  EXPECT_LE(UlpsApart(FastLog(std::numeric_limits<double>::max()), std::log(std::numeric_limits<double>::max())), 1);
}

TEST(FastCosSin, WithinOneUlpOfTheLibraryOnTheAzimuthsAndExactOnTheAxes) {
  std::mt19937_64 engine(99);
  // Azimuths 2 pi xi, the turned azimuths up to 3 pi, and the inline range.
  const double ranges[][2] = {{0.0, 2.0 * M_PI}, {-3.0 * M_PI, 3.0 * M_PI}, {-100.0, 100.0}};
  for (const auto& range : ranges) {
    std::uniform_real_distribution<double> draw(range[0], range[1]);
    double worst = 0.0;
    for (int i = 0; i < 2000000; ++i) {
      const double phi = draw(engine);
      double c = 0.0, s = 0.0;
      FastCosSin(phi, &c, &s);
      // Absolute error, in units of the last place of a value of order 1.
      const double error = std::fmax(std::fabs(c - std::cos(phi)), std::fabs(s - std::sin(phi))) / 0x1p-53;
      if (error > worst) worst = error;
    }
    EXPECT_LE(worst, 2.0) << "azimuths in [" << range[0] << ", " << range[1] << "]";
  }
  // On the axes (pi as a double lies 1.2e-16 short of pi).
  for (double phi : {M_PI / 2, M_PI, 1.5 * M_PI, -M_PI / 2}) {
    double c = 0.0, s = 0.0;
    FastCosSin(phi, &c, &s);
    EXPECT_NEAR(c, std::cos(phi), 1e-17) << "phi " << phi;
    EXPECT_NEAR(s, std::sin(phi), 1e-17) << "phi " << phi;
  }
  double c = 0.0, s = 0.0;
  FastCosSin(0.0, &c, &s);
  EXPECT_EQ(c, 1.0);
  EXPECT_EQ(s, 0.0);
  // Beyond 100 and for non-numbers: the library's.
  for (double phi : {100.0, -3e7, 1e300}) {
    FastCosSin(phi, &c, &s);
    EXPECT_EQ(c, std::cos(phi)) << "phi " << phi;
    EXPECT_EQ(s, std::sin(phi)) << "phi " << phi;
  }
  FastCosSin(std::nan(""), &c, &s);
  EXPECT_TRUE(std::isnan(c) && std::isnan(s));
}

// The floors of the energy losses and logarithms must give fmax's bits: a
// value below the floor, a non-number, signed zeros and infinities.
TEST(AtLeast, GivesTheLibraryFmaxBitForBit) {
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {-1.0, -0.0, 0.0, 1e-320, 1e-300, 0.5, 1.0, inf, -inf, std::nan("")};
  for (double floor : {0.0, -0.0, 1e-300}) {
    for (double x : values) {
      EXPECT_EQ(std::bit_cast<uint64_t>(AtLeast(x, floor)), std::bit_cast<uint64_t>(std::fmax(x, floor)))
          << "x " << x << " floor " << floor;
    }
  }
}

}  // namespace
