// Beam profiles and the energy spectrum against their densities, and the
// locating of a ray in the simple geometry's layer.
#include "transport/source_sampling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/randgen.h"
#include "geometry/simple_layer.h"
#include "tests/support/chisquare.h"

namespace {

constexpr int kSamples = 200000;

std::vector<double> Radii(CRandGen& rng, double radius, double sigma) {
  std::vector<double> r(kSamples);
  for (double& v : r) {
    const VECTOR offset = BeamOffset(rng, radius, sigma);
    EXPECT_EQ(offset.z, 0.0);
    v = std::hypot(offset.x, offset.y);
  }
  return r;
}

}  // namespace

TEST(BeamProfileTest, UniformDiscRadiiFollowTwoROverRSquared) {
  CRandGen rng;
  rng.RandomInitialise(101, 202);
  const double R = 2.5;
  const CHISQUARERESULT result = ChiSquareAgainstDensity(
      Radii(rng, R, 0.0), [R](double r) { return UniformDiscRadialDensity(r, R); }, 0.0, R, 100);
  EXPECT_TRUE(ChiSquarePasses(result, 2)) << Describe(result);
}

TEST(BeamProfileTest, GaussianRadiiFollowTheRayleighDensity) {
  CRandGen rng;
  rng.RandomInitialise(303, 404);
  const double sigma = 0.7;
  const CHISQUARERESULT result = ChiSquareAgainstDensity(
      Radii(rng, 0.0, sigma), [sigma](double r) { return GaussianRadialDensity(r, sigma); }, 0.0, 8.0 * sigma, 100);
  EXPECT_TRUE(ChiSquarePasses(result, 2)) << Describe(result);
}

// A disc blurred by a Gaussian keeps the Gaussian's per-axis variance on top of
// the disc's R^2 / 4, and its azimuth uniform.
TEST(BeamProfileTest, BlurredDiscAddsTheGaussianVariance) {
  CRandGen rng;
  rng.RandomInitialise(505, 606);
  const double R = 1.0;
  const double sigma = 0.3;
  double sumX2 = 0.0;
  double sumY2 = 0.0;
  for (int i = 0; i < kSamples; ++i) {
    const VECTOR o = BeamOffset(rng, R, sigma);
    sumX2 += o.x * o.x;
    sumY2 += o.y * o.y;
  }
  const double expected = R * R / 4.0 + sigma * sigma;
  // Standard error of a variance estimate is about sqrt(2 / n) of it; allow 5.
  EXPECT_NEAR(sumX2 / kSamples, expected, 5.0 * expected * std::sqrt(2.0 / kSamples));
  EXPECT_NEAR(sumY2 / kSamples, expected, 5.0 * expected * std::sqrt(2.0 / kSamples));
}

TEST(BeamProfileTest, ZeroRadiusAndWidthStartAtTheCentre) {
  CRandGen rng;
  for (int i = 0; i < 100; ++i) {
    const VECTOR o = BeamOffset(rng, 0.0, 0.0);
    EXPECT_EQ(o.x, 0.0);
    EXPECT_EQ(o.y, 0.0);
  }
}

// The histogram of sampled energies over the spectrum's bins follows the bin
// weights, and within a bin the energy is uniform.
TEST(SpectrumTest, HistogramFollowsTheBinWeights) {
  const double energy[] = {1e4, 2e4, 5e4, 1e5, 3e5, 1e6};
  const double binWeight[] = {0.0, 0.05, 0.4, 0.0, 0.35, 0.2};  // bin i spans energy[i-1]..energy[i]
  const int n = 6;
  double cumulative[n];
  cumulative[0] = 0.0;
  for (int i = 1; i < n; ++i) cumulative[i] = cumulative[i - 1] + binWeight[i];
  cumulative[n - 1] = 1.0;
  CRandGen rng;
  rng.RandomInitialise(7, 8);
  std::vector<double> observed(n - 1, 0.0);
  std::vector<double> positionInBin4;
  for (int i = 0; i < kSamples; ++i) {
    int32_t bin = 0;
    const double E = SpectrumEnergy(rng.random(), n, energy, cumulative, bin);
    ASSERT_GE(bin, 1);
    ASSERT_LE(bin, n - 1);
    ASSERT_GE(E, energy[bin - 1]);
    ASSERT_LE(E, energy[bin]);
    observed[bin - 1] += 1.0;
    if (bin == 4) positionInBin4.push_back((E - energy[3]) / (energy[4] - energy[3]));
  }
  std::vector<double> expected(n - 1);
  for (int i = 1; i < n; ++i) expected[i - 1] = binWeight[i] * kSamples;
  EXPECT_EQ(observed[2], 0.0);  // a bin of weight 0 is never drawn
  const CHISQUARERESULT bins = ChiSquareTest(observed, expected);
  EXPECT_TRUE(ChiSquarePasses(bins, 2)) << Describe(bins);
  const CHISQUARERESULT within = ChiSquareAgainstDensity(positionInBin4, [](double) { return 1.0; }, 0.0, 1.0, 50);
  EXPECT_TRUE(ChiSquarePasses(within, 2)) << Describe(within);
}

// A draw equal to a cumulative weight takes that bin's upper energy; draws just
// beside it interpolate within the bins on either side.
TEST(SpectrumTest, DrawOnABinEdgeTakesTheUpperEnergy) {
  const double energy[] = {1.0, 2.0, 4.0};
  const double cumulative[] = {0.0, 0.5, 1.0};
  int32_t bin = 0;
  EXPECT_EQ(SpectrumEnergy(0.5, 3, energy, cumulative, bin), 2.0);
  EXPECT_EQ(bin, 1);
  EXPECT_DOUBLE_EQ(SpectrumEnergy(0.25, 3, energy, cumulative, bin), 1.5);
  EXPECT_DOUBLE_EQ(SpectrumEnergy(0.75, 3, energy, cumulative, bin), 3.0);
  EXPECT_EQ(bin, 2);
}

// Rays from points about the layer 0 <= z <= 2 (front face z = 0 with normal
// +z), and a tilted layer.
TEST(SimpleLayerTest, EntryDistanceOfRays) {
  struct CASE {
    VECTOR normal;
    double D;
    VECTOR r;
    VECTOR u;
    double distance;
    const char* what;
  };
  const double s = 1.0 / std::sqrt(2.0);
  const CASE cases[] = {
      {{0, 0, 1}, 0.0, {0, 0, -1}, {0, 0, 1}, 1.0, "in front, towards"},
      {{0, 0, 1}, 0.0, {0, 0, -1}, {0, s, s}, std::sqrt(2.0), "in front, oblique"},
      {{0, 0, 1}, 0.0, {0, 0, -1}, {0, 0, -1}, kLayerMissed, "in front, away"},
      {{0, 0, 1}, 0.0, {0, 0, -1}, {1, 0, 0}, kLayerMissed, "in front, parallel"},
      {{0, 0, 1}, 0.0, {0, 0, 1}, {1, 0, 0}, 0.0, "inside"},
      {{0, 0, 1}, 0.0, {5, 5, 0}, {0, 0, -1}, 0.0, "on the front face"},
      {{0, 0, 1}, 0.0, {0, 0, 2}, {0, 0, 1}, 0.0, "on the back face"},
      {{0, 0, 1}, 0.0, {0, 0, 5}, {0, 0, -1}, 3.0, "behind, towards"},
      {{0, 0, 1}, 0.0, {0, 0, 5}, {0, 0, 1}, kLayerMissed, "behind, away"},
      {{0, 0, 1}, -3.0, {0, 0, 0}, {0, 0, 1}, 3.0, "front face at z = 3"},
      {{s, 0, s}, 0.0, {-1, 0, -1}, {s, 0, s}, std::sqrt(2.0), "tilted layer"},
  };
  for (const CASE& c : cases) {
    const LAYER layer{c.normal, c.D, 2.0};
    EXPECT_NEAR(LayerEntryDistance(layer, c.r, c.u), c.distance, 1e-12) << c.what;
  }
}
