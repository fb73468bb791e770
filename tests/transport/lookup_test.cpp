// Interval searches, interpolation, inverse-cumulative sampling and the fast
// interval index.
#include "transport/lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "core/indexdata.h"
#include "core/randgen.h"
#include "driver/data/fast_index.h"
#include "tests/support/chisquare.h"

namespace {

// The interval of x by definition: g[i] <= x < g[i+1], clamped to [0, n-2].
int16_t ReferenceInterval(double x, const std::vector<double>& g) {
  const auto above = std::upper_bound(g.begin(), g.end(), x);
  const int i = static_cast<int>(above - g.begin()) - 1;
  return static_cast<int16_t>(std::clamp(i, 0, static_cast<int>(g.size()) - 2));
}

// An ascending grid of n points from lo to hi whose spacing grows
// geometrically and is jittered, like an energy grid.
std::vector<double> JitteredGeometricGrid(CRandGen& rng, int n, double lo, double hi) {
  std::vector<double> g(n);
  const double ratio = std::pow(hi / lo, 1.0 / (n - 1));
  g[0] = lo;
  for (int k = 1; k < n; ++k) g[k] = lo * std::pow(ratio, k - 0.5 + 0.9 * (rng.random() - 0.5));
  g[n - 1] = hi;
  std::sort(g.begin(), g.end());
  return g;
}

// A cumulative grid from 0 to 1 whose points crowd towards 1, like the
// cumulative distribution of a knock-on energy.
std::vector<double> CrowdedCumulativeGrid(CRandGen& rng, int n) {
  std::vector<double> g(n);
  for (int k = 0; k < n; ++k) {
    const double t = (k + 0.8 * (rng.random() - 0.5) * (k > 0 && k < n - 1)) / (n - 1);
    g[k] = 1.0 - std::pow(1.0 - t, 3.0);
  }
  std::sort(g.begin(), g.end());
  return g;
}

// An index built by the set-up builder, released on scope exit.
struct BUILTINDEX {
  INDEXDATA index{};
  BUILTINDEX(const std::vector<double>& g, int32_t type, int32_t exponent, double xLow, double xHigh,
             bool excludeFirst) {
    index.indexType = type;
    index.exponent = exponent;
    BuildFastIndex(g.data(), static_cast<int>(g.size()), &index, xLow, xHigh, excludeFirst);
  }
  BUILTINDEX(const std::vector<double>& g, int32_t type)
      : BUILTINDEX(g, type, kIndexExponentMax, g.front(), g.back(), false) {}
  ~BUILTINDEX() { FreeFastIndex(&index); }
  BUILTINDEX(const BUILTINDEX&) = delete;
  BUILTINDEX& operator=(const BUILTINDEX&) = delete;
};

// First and last grid points of the part of the grid that an index over
// [xLow, xHigh] covers: from the last point below xLow (or point 0) to the
// first point above xHigh (or the last point).
std::pair<int, int> CoveredPoints(const std::vector<double>& g, double xLow, double xHigh) {
  const int n = static_cast<int>(g.size());
  const int below = static_cast<int>(std::lower_bound(g.begin(), g.end(), xLow) - g.begin());
  const int above = static_cast<int>(std::upper_bound(g.begin(), g.end(), xHigh) - g.begin());
  return {std::max(0, below - 1), std::min(n - 1, above)};
}

// A sampling table of a piecewise-linear density on points x: densities p,
// cumulative probabilities C (trapezoids, normalised) and inverse slopes s.
struct SAMPLINGTABLE {
  std::vector<double> x, p, C, s;
  int16_t n() const { return static_cast<int16_t>(x.size()); }
};

SAMPLINGTABLE PiecewiseLinearTable(const std::vector<double>& x, const std::vector<double>& density) {
  SAMPLINGTABLE t{x, density, std::vector<double>(x.size(), 0.0), std::vector<double>(x.size(), 0.0)};
  for (size_t i = 0; i + 1 < x.size(); ++i) {
    t.C[i + 1] = t.C[i] + 0.5 * (density[i] + density[i + 1]) * (x[i + 1] - x[i]);
    const double slope = (density[i + 1] - density[i]) / (x[i + 1] - x[i]);
    t.s[i] = slope == 0.0 ? 0.0 : 1.0 / slope;
  }
  const double total = t.C.back();
  for (size_t i = 0; i < x.size(); ++i) {
    t.C[i] /= total;
    t.p[i] /= total;
    if (t.s[i] != 0.0) t.s[i] *= total;
  }
  t.C.back() = 1.0;
  return t;
}

// The cumulative distribution of the table's density: exact for the
// piecewise-linear density, or with the density held at each interval's mean.
double TableCdf(const SAMPLINGTABLE& t, double v, bool linearDensity) {
  if (v <= t.x.front()) return 0.0;
  if (v >= t.x.back()) return 1.0;
  const int i = ReferenceInterval(v, t.x);
  const double h = v - t.x[i];
  if (!linearDensity) return t.C[i] + 0.5 * (t.p[i] + t.p[i + 1]) * h;
  const double slope = (t.p[i + 1] - t.p[i]) / (t.x[i + 1] - t.x[i]);
  return t.C[i] + t.p[i] * h + 0.5 * slope * h * h;
}

// Inverse of TableCdf by bisection: the analytic answer for a sampler.
double InverseTableCdf(const SAMPLINGTABLE& t, double u, bool linearDensity) {
  double lo = t.x.front();
  double hi = t.x.back();
  for (int k = 0; k < 200 && hi - lo > 1e-15 * std::fabs(hi); ++k) {
    const double mid = 0.5 * (lo + hi);
    (TableCdf(t, mid, linearDensity) < u ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

// Density with rising, falling, constant and zero-ended pieces.
SAMPLINGTABLE MixedDensityTable() {
  return PiecewiseLinearTable({0.0, 0.5, 1.0, 2.0, 2.5, 4.0, 4.2, 6.0},
                              {0.0, 2.0, 2.0, 0.5, 3.0, 3.0, 1.0, 0.0});
}

}  // namespace

TEST(FindTest, EdgesAndHintsOfTheIntervalSearch) {
  const std::vector<double> g = {1.0, 2.0, 4.0, 8.0, 16.0, 32.0};
  const int16_t n = static_cast<int16_t>(g.size());
  struct Case {
    double x;
    int16_t hint;
    int16_t interval;
  };
  const Case cases[] = {
      {0.5, 2, 0},   {1.0, 3, 0},  {1.999, 5, 0}, {2.0, 0, 1},  {5.0, -1, 2}, {5.0, 6, 2},   {5.0, 32000, 2},
      {31.9, 0, 4},  {32.0, 0, 4}, {32.0, 5, 4},  {1e9, 5, 4},  {1e9, -7, 4}, {-1e9, 5, 0},  {16.0, 4, 4},
      {16.0, 5, 4},  {15.9, 5, 3}, {8.0, 1, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Find(c.x, g.data(), n, c.hint), c.interval) << "x " << c.x << ", hint " << c.hint;
  }
  // Two points: one interval, whatever the hint.
  const double pair[2] = {0.0, 1.0};
  for (int16_t hint : {int16_t{-1}, int16_t{0}, int16_t{1}, int16_t{2}}) {
    EXPECT_EQ(Find(2.0, pair, 2, hint), 0);
    EXPECT_EQ(Find(-2.0, pair, 2, hint), 0);
  }
}

TEST(FindTest, AgreesWithTheDefinitionFromAnyHint) {
  const int32_t seed = 2024;
  CRandGen rng;
  rng.RandomInitialise(seed, 1);
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 2 + static_cast<int>(rng.random() * 300);
    const std::vector<double> g = JitteredGeometricGrid(rng, n, 1.0, 1e6);
    for (int k = 0; k < 50; ++k) {
      const double x = std::exp(std::log(0.5) + rng.random() * std::log(4e6));
      const int16_t hint = static_cast<int16_t>(-2 + rng.random() * (n + 4));
      ASSERT_EQ(Find(x, g.data(), static_cast<int16_t>(n), hint), ReferenceInterval(x, g))
          << "seed " << seed << ", trial " << trial << ", x " << x << ", hint " << hint;
    }
  }
}

TEST(InterpTest, LinearAndLogLogInterpolationInsideTheGrid) {
  const double g[4] = {1.0, 2.0, 4.0, 8.0};
  const double a[4] = {10.0, 20.0, 30.0, 40.0};
  const double b[4] = {10.0, 5.0, 2.5, 0.0};
  int16_t hint = 2;
  EXPECT_EQ(Interp(1.0, g, a, b, 4, hint), 10.0);
  EXPECT_EQ(hint, 0);
  EXPECT_EQ(Interp(3.0, g, a, b, 4, hint), 25.0);
  EXPECT_EQ(hint, 1);
  // Outside [g[0], g[n-1]), the last point included: 0 and the hint unchanged.
  for (double x : {0.999, 8.0, 9.0}) {
    hint = 1;
    EXPECT_EQ(Interp(x, g, a, b, 4, hint), 0.0) << x;
    EXPECT_EQ(hint, 1);
    EXPECT_EQ(InterpLog(x, g, a, b, 4, hint), 0.0) << x;
    EXPECT_EQ(hint, 1);
  }

  // Log-log: sigma = 3 E^-2 tabulated in ln E and ln sigma is reproduced.
  std::vector<double> lnE, lnSigma, slope;
  for (double e = 1.0; e <= 1e4; e *= 10.0) {
    lnE.push_back(std::log(e));
    lnSigma.push_back(std::log(3.0 / (e * e)));
    slope.push_back(-2.0);
  }
  hint = -1;
  for (double e : {1.0, 2.5, 77.0, 9999.0}) {
    EXPECT_NEAR(InterpLog(std::log(e), lnE.data(), lnSigma.data(), slope.data(), 5, hint), 3.0 / (e * e),
                1e-12 * 3.0 / (e * e))
        << e;
  }
}

TEST(ValueFromProbTest, GridPointsOfTheCumulativeGiveTheirAbscissae) {
  const SAMPLINGTABLE t = MixedDensityTable();
  for (int quadratic : {0, 1}) {
    for (int16_t i = 0; i + 1 < t.n(); ++i) {
      if (t.C[i + 1] == t.C[i]) continue;  // an empty interval is never chosen
      int16_t interval = -1;
      EXPECT_NEAR(ValueFromProb(t.C[i], t.x.data(), t.p.data(), t.C.data(), t.s.data(), t.n(), 3, quadratic, interval),
                  t.x[i], 1e-12)
          << "point " << i << ", quadratic " << quadratic;
      EXPECT_EQ(interval, i);
    }
  }
}

// Sample by sample against the inverse of the exact cumulative distribution,
// then as a histogram against the density.
TEST(ValueFromProbTest, InvertsThePiecewiseLinearDensity) {
  const SAMPLINGTABLE t = MixedDensityTable();
  struct Mode {
    int quadratic;
    bool linearDensity;  // the density that this mode samples
  };
  const Mode modes[] = {{1, true}, {0, false}};
  for (const Mode& mode : modes) {
    CRandGen rng;
    rng.RandomInitialise(31, 41);
    int16_t start = t.n() / 2;
    std::vector<double> samples(200000);
    for (size_t k = 0; k < samples.size(); ++k) {
      const double u = rng.random();
      int16_t interval;
      samples[k] = ValueFromProb(u, t.x.data(), t.p.data(), t.C.data(), t.s.data(), t.n(), start, mode.quadratic, interval);
      start = interval;
      if (k < 20000) {
        ASSERT_NEAR(samples[k], InverseTableCdf(t, u, mode.linearDensity), 1e-9)
            << "u " << u << ", quadratic " << mode.quadratic;
      }
    }
    const CHISQUARERESULT r = ChiSquareAgainstCdf(
        samples, [&](double v) { return TableCdf(t, v, mode.linearDensity); }, 0.0, 6.0, 240);
    EXPECT_TRUE(ChiSquarePasses(r, 2)) << "quadratic " << mode.quadratic << ": " << Describe(r);
  }
}

TEST(ValueFromProbTest, NeverReadsBeyondTheTableWhenTheLastCumulativeFallsShort) {
  // The last cumulative value rounded below 1: u above it must still use the
  // last interval and give a value on the table, not read past its end.
  SAMPLINGTABLE t = PiecewiseLinearTable({0.0, 1.0, 2.0}, {1.0, 1.0, 0.0});
  t.C.back() = 1.0 - 1e-12;
  int16_t interval = -1;
  const double v = ValueFromProb(1.0 - 1e-13, t.x.data(), t.p.data(), t.C.data(), t.s.data(), t.n(), 2, 1, interval);
  EXPECT_EQ(interval, 1);
  EXPECT_GE(v, 1.0);
  EXPECT_LE(v, 2.0);
}

TEST(IndexedLookupTest, ModeZeroSearchesLikeTheUnindexedLookup) {
  const SAMPLINGTABLE t = MixedDensityTable();
  INDEXDATA none{};
  CRandGen rng;
  rng.RandomInitialise(5, 6);
  for (int k = 0; k < 1000; ++k) {
    const double u = rng.random();
    const int16_t start = static_cast<int16_t>(rng.random() * t.n());
    for (int quadratic : {0, 1}) {
      int16_t plain;
      int16_t indexed;
      const double a = ValueFromProb(u, t.x.data(), t.p.data(), t.C.data(), t.s.data(), t.n(), start, quadratic, plain);
      const double b =
          ValueFromProbIndexed(u, t.x.data(), t.p.data(), t.C.data(), t.s.data(), &none, t.n(), start, quadratic, indexed);
      ASSERT_EQ(a, b);
      ASSERT_EQ(plain, indexed);
    }
  }
}

// Indexes whose entries point too high (linear, logarithmic) or too low
// (reverse) are corrected by at most two comparison steps.
TEST(IndexedLookupTest, EntriesOffByUpToTwoPointsAreCorrected) {
  const std::vector<double> g = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0};
  const int16_t n = static_cast<int16_t>(g.size());
  // One bin covering the whole grid, entry 7: x in [5, 8) needs at most two
  // steps down; below 5 the entry stays two too high.
  int16_t high[2] = {7, 7};
  INDEXDATA linear{1, 0, high, 0.0, 0.0, 0.125, 8.0, 0, nullptr};
  EXPECT_EQ(FindIndexed(7.5, g.data(), n, linear, 0), 7);
  EXPECT_EQ(FindIndexed(6.5, g.data(), n, linear, 0), 6);
  EXPECT_EQ(FindIndexed(5.5, g.data(), n, linear, 0), 5);
  EXPECT_EQ(FindIndexed(4.5, g.data(), n, linear, 0), 5);  // no third step
  EXPECT_EQ(FindIndexed(-1.0, g.data(), n, linear, 0), 0);  // below xStart: the offset interval

  // Reverse: distances from the top 8; one bin over ln d in [0, ln 8), entry 7
  // (grid point 1): x above 1 steps up at most twice.
  int16_t low[2] = {7, 7};
  INDEXDATA reverse{-3, 0, low, 1.0, 0.0, 1.0 / std::log(8.0), 8.0, 0, nullptr};
  EXPECT_EQ(FindIndexed(0.5, g.data(), n, reverse, 0), 0);
  EXPECT_EQ(FindIndexed(1.5, g.data(), n, reverse, 0), 1);
  EXPECT_EQ(FindIndexed(2.5, g.data(), n, reverse, 0), 2);
  EXPECT_EQ(FindIndexed(3.5, g.data(), n, reverse, 0), 2);  // no third step
  EXPECT_EQ(FindIndexed(7.5, g.data(), n, reverse, 0), 7);  // within xStart of the top
}

TEST(IndexedLookupTest, ValuesOutsideTheCoveredRangeStayOnTheGrid) {
  CRandGen rng;
  rng.RandomInitialise(8, 9);
  const std::vector<double> g = JitteredGeometricGrid(rng, 40, 10.0, 1e5);
  const int16_t n = static_cast<int16_t>(g.size());
  for (int32_t type : {1, 2, -1, -2, -3, -4}) {
    // A partial index, so that values on both sides lie outside it.
    const BUILTINDEX built(g, type, 8, 100.0, 1e4, false);
    for (double x : {-1e30, -1.0, 0.0, 9.0, 50.0, 2e4, 1e5, 1.5e5, 1e300, std::nan("")}) {
      const int16_t i = FindIndexed(x, g.data(), n, built.index, 0);
      EXPECT_GE(i, 0) << "type " << type << ", x " << x;
      EXPECT_LE(i, n - 2) << "type " << type << ", x " << x;
    }
  }
}

// Property: on indexes built by the set-up builder, the indexed lookup finds
// the same interval as the halving search for random values in the covered
// part of the grid, in every index type. Requests, exponents, covered ranges
// and the exclusion of the first point vary; every built type must occur.
// Reverse indexes give a value equal to a grid point the interval below it,
// so values are drawn off the grid points. Failures print the seed to replay.
TEST(IndexedLookupTest, IndexedAndUnindexedLookupsAgreeOnBuiltIndexes) {
  const int32_t requests[] = {1, 2, -1, -2, -3, -4};
  std::set<int32_t> builtTypes;
  for (int32_t seed = 1; seed <= 60; ++seed) {
    CRandGen rng;
    rng.RandomInitialise(seed, 777);
    for (int32_t request : requests) {
      const int n = 3 + static_cast<int>(rng.random() * 400);
      // Grids of the kinds that the tables hold: cumulative probabilities
      // crowding towards 1, energy grids over decades, narrower grids.
      std::vector<double> g;
      const double kind = rng.random();
      if (kind < 0.4) {
        g = CrowdedCumulativeGrid(rng, n);
      } else if (kind < 0.7) {
        g = JitteredGeometricGrid(rng, n, 1e-3 + 10.0 * rng.random(), 1e6);
      } else {
        g = JitteredGeometricGrid(rng, n, 100.0 + rng.random(), 1e4);
      }
      const bool whole = rng.random() < 0.5;
      const double xLow = whole ? g.front() : g[static_cast<int>(rng.random() * (n - 1))];
      const double xHigh = whole ? g.back() : xLow + rng.random() * (g.back() - xLow);
      const bool excludeFirst = rng.random() < 0.25;
      const int32_t exponent = 4 + static_cast<int32_t>(rng.random() * 17);
      const BUILTINDEX built(g, request, exponent, xLow, xHigh, excludeFirst);
      if (built.index.indexType == 0) continue;
      builtTypes.insert(built.index.indexType);

      const auto [first, last] = CoveredPoints(g, xLow, xHigh);
      const int16_t n16 = static_cast<int16_t>(n);
      int16_t hint = 0;
      for (int k = 0; k < 500; ++k) {
        const int cell = first + static_cast<int>(rng.random() * (last - first));
        const double x = g[cell] + rng.random() * (g[cell + 1] - g[cell]);
        if (x == g[cell] || x == g[cell + 1]) continue;
        const int16_t expected = Find(x, g.data(), n16, hint);
        ASSERT_EQ(FindIndexed(x, g.data(), n16, built.index, hint), expected)
            << "seed " << seed << ", request " << request << ", built type " << built.index.indexType << ", n " << n
            << ", covered " << first << ".." << last << ", x " << x;
        hint = expected;
      }
    }
  }
  EXPECT_EQ(builtTypes, (std::set<int32_t>{1, 2, -1, -2, -3, -4}));
}

TEST(IndexedLookupTest, IndexedSamplingMatchesTheSearchOnAKnockOnSpectrum) {
  CRandGen rng;
  rng.RandomInitialise(123, 456);
  const int n = 200;
  std::vector<double> x(n), density(n);
  for (int k = 0; k < n; ++k) {
    x[k] = 1e3 * std::pow(1e3, static_cast<double>(k) / (n - 1));  // knock-on energies, eV
    density[k] = 1.0 / (x[k] * x[k]);
  }
  const SAMPLINGTABLE t = PiecewiseLinearTable(x, density);
  // The cumulative grid crowds towards 1: reverse logarithmic bins serve it
  // from a small table, linear bins from a large one.
  const int32_t requests[][3] = {{-3, 10, -3}, {-4, 8, -4}, {2, 14, 2}};
  for (const auto& [request, exponent, expectedType] : requests) {
    const BUILTINDEX built(t.C, request, exponent, 0.0, 1.0, false);
    ASSERT_EQ(built.index.indexType, expectedType) << "request " << request;
    for (int k = 0; k < 20000; ++k) {
      const double u = rng.random();
      int16_t plain;
      int16_t indexed;
      const double a = ValueFromProb(u, t.x.data(), t.p.data(), t.C.data(), t.s.data(), t.n(), 0, 1, plain);
      const double b = ValueFromProbIndexed(u, t.x.data(), t.p.data(), t.C.data(), t.s.data(), &built.index, t.n(), 0, 1,
                                            indexed);
      ASSERT_EQ(plain, indexed) << "request " << request << ", built " << built.index.indexType << ", u " << u;
      ASSERT_EQ(a, b);
    }
  }
}
