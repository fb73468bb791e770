// Interval search, interpolation with a remembered index, and the fast index:
// a lookup through the index must find the same interval as a binary search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "driver/data/fast_index.h"

namespace {

// The lookup contract that the builder serves (the transport reads the index
// the same way).
int LookupThroughIndex(double x, const double* grid, int n, const INDEXDATA& index) {
  if (index.indexType >= -2) {
    if (x < index.xStart) return index.indexOffset;
    const double t = index.indexType > 0 ? x : std::log(x);
    const int b = static_cast<int>((t - index.tStart) * index.invStep);
    EXPECT_GE(b, 0);
    EXPECT_LT(b, indexSize[index.exponent]);
    int i = index.intervalIndex[b];
    if (x < grid[i]) --i;
    if (x < grid[i]) --i;
    return i;
  }
  const double d = index.xMax - x;
  if (d < index.xStart) return n - index.indexOffset - 2;
  const int b = static_cast<int>((std::log(d) - index.tStart) * index.invStep);
  EXPECT_GE(b, 0);
  EXPECT_LT(b, indexSize[index.exponent]);
  const int i = n - 1 - index.intervalIndex[b];
  if (x <= grid[i]) return i - 1;
  if (x <= grid[i + 1]) return i;
  return i + 1;
}

INDEXDATA Requested(int type, int exponent) {
  INDEXDATA index{};
  index.indexType = type;
  index.exponent = exponent;
  return index;
}

std::vector<double> LogGrid(int n, double lo, double hi) {
  std::vector<double> g(n);
  for (int i = 0; i < n; ++i) g[i] = lo * std::pow(hi / lo, double(i) / (n - 1));
  g[n - 1] = hi;
  return g;
}

TEST(SearchFromHint, FindsIntervalFromEitherSideAndHandlesEnds) {
  const double g[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const int16_t n = 10;
  for (int16_t hint : {int16_t(-1), int16_t(0), int16_t(3), int16_t(9), int16_t(10)}) {
    EXPECT_EQ(SearchFromHint(0.5, g, n, hint), -1);
    EXPECT_EQ(SearchFromHint(11.0, g, n, hint), 9);
    for (int j = 0; j < n; ++j) {
      EXPECT_EQ(SearchFromHint(g[j], g, n, hint), j) << "hint " << hint;
      EXPECT_EQ(SearchFromHint(g[j] + 0.5, g, n, hint), j) << "hint " << hint;
    }
  }
  EXPECT_EQ(SearchFromHint(std::nan(""), g, n, 3), 3);
  EXPECT_EQ(SearchFromHint(std::nan(""), g, n, -1), 5);  // out-of-range hint -> n/2
}

TEST(InterpolateFromHint, InterpolatesInsideAndGivesZeroOutside) {
  const double g[] = {1, 2, 4};
  const double v[] = {10, 20, 0};
  uint16_t hint = 0;
  EXPECT_DOUBLE_EQ(InterpolateFromHint(1.5, g, v, 3, &hint), 15.0);
  EXPECT_DOUBLE_EQ(InterpolateFromHint(3.0, g, v, 3, &hint), 10.0);
  EXPECT_EQ(hint, 1);
  EXPECT_DOUBLE_EQ(InterpolateFromHint(4.0, g, v, 3, &hint), 0.0);
  EXPECT_DOUBLE_EQ(InterpolateFromHint(2.0, g, v, 3, &hint), 20.0);
  EXPECT_EQ(InterpolateFromHint(0.999, g, v, 3, &hint), 0.0);
  EXPECT_EQ(InterpolateFromHint(4.001, g, v, 3, &hint), 0.0);
}

TEST(BuildFastIndex, GridsThatCannotBeIndexedGetNoIndex) {
  const double one[] = {1.0};
  INDEXDATA a = Requested(-2, 10);
  BuildFastIndex(one, 1, &a, 0.0, 10.0, false);
  EXPECT_EQ(a.indexType, 0);
  const double g[] = {1.0, 2.0, 3.0};
  INDEXDATA b = Requested(1, 10);
  BuildFastIndex(g, 3, &b, 0.0, 0.5, false);  // xHigh below the grid
  EXPECT_EQ(b.indexType, 0);
  INDEXDATA c = Requested(0, 10);
  BuildFastIndex(g, 3, &c, 0.0, 5.0, false);
  EXPECT_EQ(c.indexType, 0);
  EXPECT_EQ(c.intervalIndex, nullptr);
  // Three grid points packed into a tiny part of a wide range: even 2^20 bins
  // cannot hold them with at most two per bin.
  const double packed[] = {0.0, 1.0, 1.0 + 1e-12, 1.0 + 2e-12, 1.0 + 3e-12, 1e6};
  INDEXDATA d = Requested(2, 20);
  BuildFastIndex(packed, 6, &d, 0.0, 1e6, false);
  EXPECT_EQ(d.indexType, 0);
}

TEST(BuildFastIndex, RequestAdjustmentsAndSimplestCandidateFirst) {
  // A logarithmic request on a grid whose second point is 0 becomes linear.
  const double g0[] = {-1.0, 0.0, 1.0, 2.0, 3.0};
  INDEXDATA a = Requested(-2, 8);
  BuildFastIndex(g0, 5, &a, -1.0, 3.0, false);
  EXPECT_GT(a.indexType, 0);
  FreeFastIndex(&a);
  // A uniform grid is covered by the simplest candidate, linear 1 breakpoint,
  // at the smallest exponent with the same breakpoint count.
  std::vector<double> u(17);
  for (int i = 0; i < 17; ++i) u[i] = i;
  INDEXDATA b = Requested(-4, 20);
  BuildFastIndex(u.data(), 17, &b, 0.0, 16.0, false);
  EXPECT_EQ(b.indexType, 1);
  EXPECT_LE(b.exponent, 5);
  EXPECT_EQ(b.doubleStep, nullptr);
  FreeFastIndex(&b);
  // A two-point grid shrinks to exponent 0 (two entries).
  const double two[] = {1.0, 5.0};
  INDEXDATA c = Requested(1, 20);
  BuildFastIndex(two, 2, &c, 1.0, 5.0, false);
  EXPECT_EQ(c.indexType, 1);
  EXPECT_EQ(c.exponent, 0);
  FreeFastIndex(&c);
}

TEST(BuildFastIndex, ExcludeFirstStartsAtSecondPoint) {
  const std::vector<double> g = LogGrid(50, 1e-9, 1.0);
  INDEXDATA a = Requested(-2, 12);
  BuildFastIndex(g.data(), 50, &a, 0.0, 1.0, true);
  ASSERT_NE(a.indexType, 0);
  EXPECT_EQ(a.xStart, g[1]);
  EXPECT_EQ(LookupThroughIndex(0.5 * (g[0] + g[1]), g.data(), 50, a), a.indexOffset);
  FreeFastIndex(&a);
}

// Property: for every requested type and many exponents, on grids of several
// shapes and covered ranges, a lookup through the built index equals a plain
// binary search for many random x. Failures print the seed to replay.
TEST(BuildFastIndex, LookupEqualsBinarySearch) {
  const unsigned seed = 20240830u;
  std::mt19937_64 rng(seed);
  std::vector<std::vector<double>> grids;
  grids.push_back(LogGrid(200, 10.0, 1e11));
  {
    std::vector<double> g(300);
    for (int i = 0; i < 300; ++i) g[i] = 1.0 - std::pow(0.97, i);  // crowds toward 1
    grids.push_back(g);
  }
  {
    std::vector<double> g(120);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& v : g) v = u(rng);
    std::sort(g.begin(), g.end());
    g[0] = 0.0;  // a cumulative integral starts at 0 and ends at 1
    g.back() = 1.0;
    grids.push_back(g);
  }
  {
    std::vector<double> g(60);
    for (int i = 0; i < 60; ++i) g[i] = -5.0 + 0.25 * i * i;
    grids.push_back(g);
  }
  {
    // Points in pairs crowding toward the top end: only a reverse logarithmic
    // mapping with two breakpoints covers it at medium exponents.
    std::vector<double> g;
    for (int k = 29; k >= 0; --k) {
      g.push_back(1.0 - std::exp(-k - 0.1));
      g.push_back(1.0 - std::exp(-double(k)));
    }
    std::sort(g.begin(), g.end());
    g.push_back(1.0);
    grids.push_back(g);
  }
  int built = 0, typesSeen[9] = {};
  for (size_t gi = 0; gi < grids.size(); ++gi) {
    const std::vector<double>& g = grids[gi];
    const int n = static_cast<int>(g.size());
    const double ranges[][2] = {{g[0], g[n - 1]}, {g[n / 4], g[3 * n / 4]}, {-1e300, 1e300}};
    for (const auto& range : ranges) {
      for (int type : {1, 2, -1, -2, -3, -4}) {
        for (int exponent : {0, 1, 3, 6, 9, 12, 16, 20}) {
          for (bool excludeFirst : {false, true}) {
            INDEXDATA index = Requested(type, exponent);
            BuildFastIndex(g.data(), n, &index, range[0], range[1], excludeFirst);
            if (index.indexType == 0) continue;
            ++built;
            ++typesSeen[index.indexType + 4];
            // The covered values: the index promises nothing above the last
            // covered point (linear, logarithmic) or below the first.
            const int lo = std::max(0, int(std::upper_bound(g.begin(), g.end(), range[0]) -
                                           g.begin()) - 1);
            int hi = int(std::upper_bound(g.begin(), g.end(), range[1]) - g.begin());
            hi = std::min(hi, n - 1);
            std::uniform_real_distribution<double> pick(g[lo], g[hi]);
            for (int k = 0; k < 400; ++k) {
              double x = pick(rng);
              if (k % 7 == 0) x = g[lo + int(rng() % (hi - lo + 1))];  // exact grid points
              const bool reverse = index.indexType < -2;
              if (!reverse && x >= g[hi]) continue;
              if (reverse && x <= g[lo]) continue;
              const int expected =
                  reverse ? int(std::lower_bound(g.begin(), g.end(), x) - g.begin()) - 1
                          : int(std::upper_bound(g.begin(), g.end(), x) - g.begin()) - 1;
              ASSERT_EQ(LookupThroughIndex(x, g.data(), n, index), expected)
                  << "seed " << seed << " grid " << gi << " type " << index.indexType
                  << " exponent " << index.exponent << " x " << x;
            }
            FreeFastIndex(&index);
          }
        }
      }
    }
  }
  EXPECT_GT(built, 100);
  for (int type : {1, 2, -1, -2, -3, -4}) EXPECT_GT(typesSeen[type + 4], 0) << type;
}

// Every entry of every index built over grids of a cumulative table's shapes
// and sizes comes back from its two-level form.
TEST(TwoLevelIndex, GivesEveryEntryOfTheOneTable) {
  std::vector<std::vector<double>> grids;
  {
    // Crowds toward 1 as an elastic cumulative table does, with two points
    // 1e-5 apart that call for fine bins.
    std::vector<double> g(606);
    for (int i = 0; i < 606; ++i) g[i] = 1.0 - std::pow(0.99, i);
    g[300] = g[299] + 1e-5;
    g.back() = 1.0;
    grids.push_back(g);
  }
  {
    std::vector<double> g = LogGrid(150, 1.0, 1e6);
    g[75] = g[74] * (1.0 + 1e-5);
    grids.push_back(g);
  }
  int twoLevel = 0;
  for (const std::vector<double>& g : grids) {
    const int n = static_cast<int>(g.size());
    for (int type : {1, 2, -1, -2, -3, -4}) {
      for (int exponent : {4, 10, 14, 18, 20}) {
        INDEXDATA index = Requested(type, exponent);
        BuildFastIndex(g.data(), n, &index, g[0], g[n - 1], false);
        const TWOLEVELINDEX t = TwoLevelIndex(index);
        if (t.shift > 0) {
          ++twoLevel;
          const int32_t entries = indexSize[index.exponent];
          ASSERT_EQ(static_cast<int32_t>(t.coarse.size()), TwoLevelCoarseCount(index.exponent, t.shift));
          EXPECT_LE(4 * (static_cast<int32_t>(t.coarse.size()) - 1), entries - 1);
          for (int32_t b = 0; b < entries; ++b) {
            int32_t q = t.coarse[static_cast<size_t>(b >> t.shift)] - t.coarse[0];
            int steps = 0;
            while (t.firstBin[static_cast<size_t>(q) + 1] <= b) ++q, ++steps;
            ASSERT_EQ(t.coarse[0] + q, index.intervalIndex[b]) << "type " << index.indexType << " bin " << b;
            ASSERT_LE(steps, n);
          }
        }
        FreeFastIndex(&index);
      }
    }
  }
  EXPECT_GT(twoLevel, 4);
}

// Entries that fall from one bin to the next, or too few bins, keep one table.
TEST(TwoLevelIndex, KeepsOneTableWhereTwoLevelsDoNotServe) {
  INDEXDATA none{};
  EXPECT_EQ(TwoLevelIndex(none).shift, 0);
  INDEXDATA falling = Requested(1, 12);
  falling.intervalIndex = new int16_t[indexSize[12]];
  for (int j = 0; j < indexSize[12]; ++j) falling.intervalIndex[j] = static_cast<int16_t>(j % 256);
  EXPECT_EQ(TwoLevelIndex(falling).shift, 0);
  INDEXDATA small = Requested(1, 3);
  small.intervalIndex = new int16_t[indexSize[3]];
  for (int j = 0; j < indexSize[3]; ++j) small.intervalIndex[j] = static_cast<int16_t>(j);
  EXPECT_EQ(TwoLevelIndex(small).shift, 0);
  FreeFastIndex(&falling);
  FreeFastIndex(&small);
}

}  // namespace
