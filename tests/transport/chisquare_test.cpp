// The shared chi-square helper against tabulated quantiles, and its pooling.
#include "tests/support/chisquare.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ChiSquareHelper, PValuesMatchTabulatedQuantiles) {
  struct Case {
    double chiSquare;
    int dof;
    double pValue;
  };
  // Upper-tail quantiles of the chi-square distribution (standard tables).
  const Case cases[] = {{3.841459, 1, 0.05},  {6.634897, 1, 0.01},   {18.307038, 10, 0.05},
                        {2.55821, 10, 0.99},  {124.342, 100, 0.05},  {10.827566, 1, 0.001},
                        {0.0, 5, 1.0}};
  for (const Case& c : cases) {
    EXPECT_NEAR(ChiSquarePValue(c.chiSquare, c.dof), c.pValue, 1e-5 + 1e-4 * c.pValue)
        << c.chiSquare << " with " << c.dof << " degrees of freedom";
  }
}

TEST(ChiSquareHelper, PoolsSparseCellsAndCorrectsForRepeatedTests) {
  // Ten cells expecting 1 each pool into two cells expecting 5.
  const std::vector<double> expected(10, 1.0);
  const std::vector<double> observed = {1, 1, 1, 1, 1, 2, 0, 1, 1, 1};
  const CHISQUARERESULT r = ChiSquareTest(observed, expected);
  EXPECT_EQ(r.cells, 2);
  EXPECT_EQ(r.degreesOfFreedom, 1);
  EXPECT_DOUBLE_EQ(r.chiSquare, 0.0);

  EXPECT_NEAR(SidakSignificance(0.01, 10), 1.0 - std::pow(0.99, 0.1), 1e-15);
  CHISQUARERESULT borderline;
  borderline.pValue = 0.005;
  EXPECT_FALSE(ChiSquarePasses(borderline, 1, 0.01));
  EXPECT_TRUE(ChiSquarePasses(borderline, 10, 0.01));
}

TEST(ChiSquareHelper, EntriesWhereTheDensityIsZeroFail) {
  const std::vector<double> expected = {0.0, 50.0, 50.0};
  const std::vector<double> observed = {1.0, 49.0, 50.0};
  EXPECT_EQ(ChiSquareTest(observed, expected).pValue, 0.0);

  // Samples outside the support of a uniform density on [0, 1].
  const std::vector<double> samples = {-0.5, 0.1, 0.2, 0.3};
  EXPECT_EQ(ChiSquareAgainstCdf(samples, [](double x) { return x < 0 ? 0.0 : (x > 1 ? 1.0 : x); }, 0.0, 1.0, 2).pValue,
            0.0);
}

TEST(ChiSquareHelper, DensityTestTellsTheRightDensityFromAWrongOne) {
  // Stratified samples of the density 2x on [0, 1]: x = sqrt((k + 1/2) / n).
  std::vector<double> samples(20000);
  for (size_t k = 0; k < samples.size(); ++k) samples[k] = std::sqrt((k + 0.5) / samples.size());
  EXPECT_TRUE(ChiSquarePasses(ChiSquareAgainstDensity(samples, [](double x) { return 2.0 * x; }, 0.0, 1.0, 50)));
  EXPECT_FALSE(ChiSquarePasses(ChiSquareAgainstDensity(samples, [](double) { return 1.0; }, 0.0, 1.0, 50)));
  samples.push_back(1.0 + 1e-15);  // rounding above the support is tolerated
  EXPECT_TRUE(ChiSquarePasses(ChiSquareAgainstDensity(samples, [](double x) { return 2.0 * x; }, 0.0, 1.0, 50)));
  samples.push_back(1.001);  // a sample outside the support is not
  EXPECT_FALSE(ChiSquarePasses(ChiSquareAgainstDensity(samples, [](double x) { return 2.0 * x; }, 0.0, 1.0, 50)));
}
