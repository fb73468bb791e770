// The inline exponential against the library's: within one unit in the last
// place over the whole normal range, exact where the result is a small power
// of two, and the library's own result beyond that range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "core/fast_exp.h"

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

}  // namespace
