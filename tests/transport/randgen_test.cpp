// RANMAR: published known answers, seed fallbacks, open-interval draws and
// the distributions of uniform and Gaussian deviates.
#include "core/randgen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/chisquare.h"

namespace {

std::vector<double> Draws(CRandGen& rng, int count) {
  std::vector<double> values(count);
  for (double& v : values) v = rng.RandomUniform();
  return values;
}

}  // namespace

// Marsaglia and Zaman's test values: seeds 1802 and 9373, after 20000 draws the
// next six numbers times 2^24 are exact integers.
TEST(RanmarTest, KnownAnswerAfterTwentyThousandDraws) {
  CRandGen rng;
  rng.RandomInitialise(1802, 9373);
  for (int k = 0; k < 20000; ++k) rng.RandomUniform();
  const double expected[6] = {6533892.0, 14220222.0, 7275067.0, 6172232.0, 8354498.0, 10633180.0};
  for (double e : expected) EXPECT_EQ(rng.RandomUniform() * 4096.0 * 4096.0, e);
}

// The generator makes its steps ahead, two at a time; the numbers must be
// those of the recurrence taken one step at a time, written here plainly,
// across the wraps of both lag indexes and across copies taken between draws.
TEST(RanmarTest, DrawsFollowThePlainRecurrenceStepByStep) {
  const int seeds[][2] = {{1802, 9373}, {0, 0}, {31328, 30081}, {17, 4242}};
  for (const auto& seed : seeds) {
    CRandGen rng;
    rng.RandomInitialise(seed[0], seed[1]);
    CRandGen plain = rng;  // only its table and c are used below
    int i = 97, j = 33;
    double c = plain.c;
    for (int k = 0; k < 5000; ++k) {
      double uni = plain.u[i - 1] - plain.u[j - 1];
      if (uni <= 0.0) uni += 1.0;
      plain.u[i - 1] = uni;
      i = i == 1 ? 97 : i - 1;
      j = j == 1 ? 97 : j - 1;
      c -= plain.cd;
      if (c < 0.0) c += plain.cm;
      uni -= c;
      if (uni < 0.0) uni += 1.0;
      if (k % 77 == 5) rng = CRandGen(rng);  // a copy goes on with the draws made ahead
      ASSERT_EQ(rng.RandomUniform(), uni) << "seeds " << seed[0] << ", " << seed[1] << ", draw " << k;
    }
  }
}

TEST(RanmarTest, ConstructorSeedsLazilyWithTheDefaults) {
  CRandGen lazy;
  EXPECT_EQ(lazy.initialised, 0);
  EXPECT_EQ(lazy.ij, 1802);
  EXPECT_EQ(lazy.kl, 9373);
  CRandGen explicitSeeds;
  explicitSeeds.RandomInitialise(1802, 9373);
  EXPECT_EQ(Draws(lazy, 1000), Draws(explicitSeeds, 1000));
  EXPECT_EQ(lazy.initialised, 1);
}

TEST(RanmarTest, StoredSeedsAreUsedByTheFirstDraw) {
  CRandGen stream;  // as the driver seeds a stream: set ij and kl, draw later
  stream.ij = 17;
  stream.kl = 4242;
  CRandGen explicitSeeds;
  explicitSeeds.RandomInitialise(17, 4242);
  EXPECT_EQ(Draws(stream, 100), Draws(explicitSeeds, 100));
}

TEST(RanmarTest, OutOfRangeSeedsFallBackToTheDefaults) {
  CRandGen reference;
  reference.RandomInitialise(1802, 9373);
  const std::vector<double> defaults = Draws(reference, 200);
  const int badSeeds[][2] = {{31329, 0}, {0, 30082}, {-1, 5}, {5, -1}, {-2147483647 - 1, 0}, {0, 2147483647}};
  for (const auto& seeds : badSeeds) {
    CRandGen rng;
    rng.RandomInitialise(seeds[0], seeds[1]);
    EXPECT_EQ(Draws(rng, 200), defaults) << "seeds " << seeds[0] << ", " << seeds[1];
  }
  // The largest valid seeds are taken as they are.
  CRandGen edge;
  edge.RandomInitialise(31328, 30081);
  EXPECT_EQ(edge.ij, 31328);
  EXPECT_EQ(edge.kl, 30081);
  EXPECT_NE(Draws(edge, 200), defaults);
}

TEST(RanmarTest, OpenIntervalDrawsSkipAnExactZero) {
  // Arrange the state so that the next step yields exactly 0: the lag
  // difference 0.75 - 0.25 = 0.5 minus the arithmetic term 0.5.
  CRandGen rng;
  rng.RandomInitialise(1802, 9373);
  rng.u[rng.i97 - 1] = 0.75;
  rng.u[rng.j97 - 1] = 0.25;
  rng.c = 0.5 + rng.cd;
  CRandGen copy = rng;
  EXPECT_EQ(copy.RandomUniform(), 0.0);
  const double second = copy.RandomUniform();
  EXPECT_EQ(rng.random(), second);  // the zero was skipped

  // A zero lag difference wraps to 1, keeping the table in (0, 1].
  CRandGen wrap;
  wrap.RandomInitialise(1802, 9373);
  wrap.u[wrap.i97 - 1] = 0.3;
  wrap.u[wrap.j97 - 1] = 0.3;
  const int slot = wrap.i97 - 1;
  wrap.RandomUniform();
  EXPECT_EQ(wrap.u[slot], 1.0);
}

TEST(RanmarTest, DrawsStayInsideTheirIntervals) {
  CRandGen rng;
  rng.RandomInitialise(4711, 815);
  for (int k = 0; k < 1000000; ++k) {
    const double uniform = rng.RandomUniform();
    ASSERT_TRUE(uniform >= 0.0 && uniform < 1.0) << uniform;
    const double open = rng.random();
    ASSERT_TRUE(open > 0.0 && open < 1.0) << open;
    const double fine = rng.random2();
    ASSERT_TRUE(fine > 0.0 && fine < 1.0) << fine;
  }
}

TEST(RanmarTest, UniformDrawsFollowTheUniformDensity) {
  const int seeds[][2] = {{1802, 9373}, {0, 0}, {31328, 30081}};
  for (const auto& seed : seeds) {
    CRandGen rng;
    rng.RandomInitialise(seed[0], seed[1]);
    std::vector<double> samples(200000);
    for (double& v : samples) v = rng.random2();
    const CHISQUARERESULT r = ChiSquareAgainstCdf(samples, [](double x) { return x; }, 0.0, 1.0, 200);
    EXPECT_TRUE(ChiSquarePasses(r, 3)) << "seeds " << seed[0] << ", " << seed[1] << ": " << Describe(r);
  }
}

TEST(RanmarTest, GaussianDeviatesFollowTheNormalDensity) {
  struct Case {
    double mean;
    double sigma;
  };
  const Case cases[] = {{0.0, 1.0}, {3.5, 0.25}, {-1e3, 40.0}};
  CRandGen rng;
  rng.RandomInitialise(999, 12345);
  for (const Case& c : cases) {
    std::vector<double> samples(200000);
    for (double& v : samples) v = rng.RandomGaussian(c.mean, c.sigma);
    const auto normalCdf = [&](double x) { return 0.5 * std::erfc(-(x - c.mean) / (c.sigma * std::sqrt(2.0))); };
    const CHISQUARERESULT r =
        ChiSquareAgainstCdf(samples, normalCdf, c.mean - 5.0 * c.sigma, c.mean + 5.0 * c.sigma, 100);
    EXPECT_TRUE(ChiSquarePasses(r, 3)) << "mean " << c.mean << ", sigma " << c.sigma << ": " << Describe(r);
  }
  EXPECT_EQ(rng.RandomGaussian(2.75, 0.0), 2.75);
}
