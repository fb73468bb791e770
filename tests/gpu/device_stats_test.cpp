// The mean and standard deviation of the device statistics.
#include "gpu/device_stats.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(MeanAndDeviation, SampleDeviationFromSumsWithTheVarianceClampedAtZero) {
  struct CASE {
    double value;  // every sample
    uint64_t count;
  };
  // Equal samples whose sums round so that the variance comes out a little
  // negative: the deviation is 0, not NaN.
  const CASE equal[] = {{0.1, 3}, {1.0 / 3.0, 7}, {1e10 / 3.0, 11}, {0.7, 1000}, {123456.789, 10}};
  for (const CASE& c : equal) {
    double sum = 0.0, squares = 0.0;
    for (uint64_t i = 0; i < c.count; ++i) {
      sum += c.value;
      squares += c.value * c.value;
    }
    const MEANDEVIATION r = MeanAndDeviation(sum, squares, c.count);
    EXPECT_FALSE(std::isnan(r.deviation)) << c.value << " x " << c.count;
    EXPECT_NEAR(r.deviation, 0.0, 1e-6 * c.value);
    EXPECT_NEAR(r.mean, c.value, 1e-12 * c.value);
  }
  const MEANDEVIATION r = MeanAndDeviation(1.0 + 2.0 + 3.0, 1.0 + 4.0 + 9.0, 3);
  EXPECT_DOUBLE_EQ(r.mean, 2.0);
  EXPECT_DOUBLE_EQ(r.deviation, 1.0);
  EXPECT_EQ(MeanAndDeviation(0.0, 0.0, 0).mean, 0.0);
  EXPECT_EQ(MeanAndDeviation(5.0, 25.0, 1).deviation, 0.0);
  // A variance that rounding makes negative is clamped, whatever its size.
  EXPECT_EQ(MeanAndDeviation(3.0, 2.9, 3).deviation, 0.0);
}
