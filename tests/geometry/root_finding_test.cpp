// Root finding along a curve: closed-form and numerical roots agree; the
// seam, constant-function and many-root cases; the minimisers' stops.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/curve_surface.h"
#include "geometry/intersection_curves.h"
#include "geometry/root_finding.h"
#include "geometry/search2d.h"
#include "geometry/surface_functions.h"
#include "tests/geometry/geometry_random_surfaces.h"

namespace {

using namespace random_geometry;

const AnalysisTolerances kTol{1e-12, 1e20};
constexpr double kPrecision = 1e-10;

int NumericalRoots(const CURVE& c, const SURFACE& s, int branch, double* roots) {
  const CurveSurfaceContext context{&c, &s, branch, kPrecision};
  const uint8_t closed = c.type >= kCurveCircle && c.type <= kCurveConeEllipse;
  return FindRoots(SurfaceValueOnCurve, &context, roots, kPrecision, c.range[0], c.range[1], closed,
                   0.1 * kPrecision, kPrecision, kTol.maxDistanceRatio * kPrecision);
}

// Closed-form curve-surface pairs: lines, circles and conics against planes,
// circles against spheres. Every closed-form point has a numerical root
// within 1e-6 cm on its branch and the counts agree, apart from grazing
// placements (two closed-form roots closer than 1e-3 apart, or none and a
// numerical pair as close).
TEST(IntersectCurveSurface, ClosedFormAndNumericalRootsAgree) {
  const uint64_t seed = 977;
  Rng rng(seed);
  int compared = 0, grazing = 0;
  for (int i = 0; i < 3000; ++i) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " case " << i);
    const int first = 1 + i % 4;
    const SURFACE a = RandomSurface(first, rng), b = RandomSurface(first == 2 ? 2 : 1, rng);
    CURVE c{};
    const int code = IntersectSurfaces(&a, &b, &c, kPrecision, kTol);
    if (code < 1 || code > kCurveConeParabola || code == kCurveApexLines) continue;
    const bool circle = code == kCurveCircle || code == kCurveTwoCircles;
    const SURFACE s = (circle && i % 2 == 0) ? RandomSurface(kSurfaceSphere, rng) : RandomSurface(kSurfacePlane, rng);
    int branches[kMaxRoots];
    double parameters[kMaxRoots];
    VECTOR points[kMaxRoots];
    int side = 0;
    const int n = IntersectCurveSurface(&c, &s, branches, kPrecision, parameters, points, &side, kTol);
    ASSERT_GE(n, 0);
    for (int k = 0; k < (code == kCurveTwoLines || code == kCurveTwoCircles ? 2 : 1); ++k) {
      std::vector<VECTOR> closed;
      for (int r = 0; r < n; ++r)
        if (branches[r] == k) closed.push_back(points[r]);
      double roots[kMaxRoots];
      const int m = NumericalRoots(c, s, k, roots);
      ASSERT_GE(m, 0);
      std::vector<VECTOR> numerical;
      for (int r = 0; r < m; ++r) numerical.push_back(CurvePoint(&c, k, roots[r], kPrecision));
      const std::vector<VECTOR>& pairs = closed.size() == 2 ? closed : numerical;
      if (pairs.size() == 2 && Norm(pairs[0] - pairs[1]) < 1e-3) {
        ++grazing;
        continue;
      }
      ++compared;
      ASSERT_EQ(closed.size(), numerical.size()) << "code " << code << " surface " << s.type;
      for (const VECTOR& p : closed) {
        double nearest = INFINITY;
        for (const VECTOR& q : numerical) nearest = std::min(nearest, Norm(p - q));
        EXPECT_LE(nearest, 1e-6);
        EXPECT_LE(std::fabs(DistanceToSurface(&p, &s)), kPrecision);
      }
    }
  }
  std::printf("closed-form and numerical roots compared on %d branches (%d grazing skipped)\n", compared, grazing);
  EXPECT_GT(compared, 1000);
}

TEST(IntersectCurveSurface, LinesAndCirclesAgainstPlanes) {
  const double eps = 1e-12;
  CURVE line{};
  const SURFACE p0 = MakePlane(Init(0, 0, 0), Init(1, 0, 0)), p1 = MakePlane(Init(0, 0, 0), Init(0, 1, 0));
  ASSERT_EQ(IntersectSurfaces(&p0, &p1, &line, eps, kTol), kCurveLine);  // the z axis
  int branches[kMaxRoots], side = 7;
  double t[kMaxRoots];
  VECTOR points[kMaxRoots];
  const SURFACE across = MakePlane(Init(0, 0, 2), Init(0, 0, 1));
  EXPECT_EQ(IntersectCurveSurface(&line, &across, branches, eps, t, points, &side, kTol), 1);
  EXPECT_EQ(side, 0);
  EXPECT_NEAR(points[0].z, 2.0, 1e-15);
  const SURFACE beside = MakePlane(Init(-3 * eps, 0, 0), Init(1, 0, 0));
  EXPECT_EQ(IntersectCurveSurface(&line, &beside, branches, eps, t, points, &side, kTol), 0);
  EXPECT_EQ(side, 1);
  CURVE circle{};
  const SURFACE ball = MakeSphere(Init(0, 0, 0), 1.0), equator = MakePlane(Init(0, 0, 0), Init(0, 0, 1));
  ASSERT_EQ(IntersectSurfaces(&equator, &ball, &circle, eps, kTol), kCurveCircle);
  const SURFACE cut = MakePlane(Init(0.5, 0, 0), Init(1, 0, 0));
  ASSERT_EQ(IntersectCurveSurface(&circle, &cut, branches, eps, t, points, &side, kTol), 2);
  for (int r = 0; r < 2; ++r) {
    EXPECT_GE(t[r], 0.0);
    EXPECT_LT(t[r], 2 * M_PI);
    EXPECT_LE(Norm(CurvePoint(&circle, 0, t[r], eps) - points[r]), 1e-14);
  }
}

double Sine(double t, const void*) { return std::sin(t); }
double Constant(double, const void*) { return 0.25; }
double ManyCrossings(double t, const void*) { return std::sin(6.0 * t + 0.3); }
double Cubic(double t, const void*) { return (t - 1.0) * (t + 2.0) * (t - 40.0); }

TEST(FindRoots, SeamConstantAndManyRoots) {
  double roots[kMaxRoots];
  // sin on [0, 2 pi]: the root at the seam is found once, at lo, and pi.
  int n = FindRoots(Sine, nullptr, roots, 1e-10, 0.0, 2 * M_PI, 1, 1e-11, 1e-10, 1e10);
  ASSERT_EQ(n, 2);
  EXPECT_EQ(roots[0], 0.0);
  EXPECT_NEAR(roots[1], M_PI, 1e-9);
  EXPECT_EQ(FindRoots(Constant, nullptr, roots, 1e-10, 0.0, 2 * M_PI, 1, 1e-11, 1e-10, 1e10), 0);
  EXPECT_EQ(FindRoots(Constant, nullptr, roots, 1e-10, 1e8, 0.0, 0, 1e-11, 1e-10, 1e10), 0);
  // Twelve crossings on one closed range.
  EXPECT_EQ(FindRoots(ManyCrossings, nullptr, roots, 1e-10, 0.0, 2 * M_PI, 1, 1e-11, 1e-10, 1e10), kTooManyRoots);
  // An unbounded range: the three roots of a cubic.
  n = FindRoots(Cubic, nullptr, roots, 1e-10, 1e8, 0.0, 0, 1e-11, 1e-10, 1e10);
  ASSERT_EQ(n, 3);
  std::vector<double> sorted(roots, roots + n);
  std::sort(sorted.begin(), sorted.end());
  EXPECT_NEAR(sorted[0], -2.0, 1e-8);
  EXPECT_NEAR(sorted[1], 1.0, 1e-8);
  EXPECT_NEAR(sorted[2], 40.0, 1e-8);
}

double Parabola(double x, const void*) { return (x - 3.0) * (x - 3.0) + 1.0; }

TEST(SolveRoot1D, FindsAMinimumAndReportsItsStops) {
  double xa = 0.0, xb = 1.0;
  int status = 9;
  const double f = SolveRoot1D(Parabola, &xa, nullptr, &xb, 1e-12, 1e10, 1e-14, -1e30, 1, 1e30, &status);
  EXPECT_EQ(status, kSolveRootConverged);
  EXPECT_NEAR(xa, 3.0, 1e-6);
  EXPECT_NEAR(f, 1.0, 1e-12);
  xa = 0.0, xb = 1.0;
  SolveRoot1D(Parabola, &xa, nullptr, &xb, 1e-12, 1.5, 1e-14, -1e30, 1, 1e30, &status);
  EXPECT_EQ(status, kSolveRootOutOfRange);
  xa = 0.0, xb = 1.0;
  SolveRoot1D(Constant, &xa, nullptr, &xb, 1e-300, 1e10, 1e-14, -1e30, 1, 1e30, &status);
  EXPECT_EQ(status, kSolveRootNoProgress);
}

double Bowl(double x, double y, const void*) { return (x - 1.0) * (x - 1.0) + 4.0 * (y + 0.5) * (y + 0.5) - 1.0; }
double Flat(double, double, const void*) { return 2.0; }

TEST(Search2D, StopsBelowTheTargetOnStallAndAtTheMinimum) {
  double x = 1.0, y = -0.5;
  EXPECT_EQ(Search2D(Bowl, nullptr, &x, &y, 0.1, 0.1, 1e-12, 1e-12, 1e300, 1e300, 1e-12, -0.5), -1.0);
  EXPECT_EQ(x, 1.0);
  x = 5.0, y = 5.0;
  const double least = Search2D(Bowl, nullptr, &x, &y, 1.0, 0.5, 1e-9, 1e-9, 1e300, 1e300, 1e-15, -2.0);
  EXPECT_NEAR(least, -1.0, 1e-9);
  EXPECT_NEAR(x, 1.0, 1e-4);
  EXPECT_NEAR(y, -0.5, 1e-4);
  x = 0.3, y = 0.4;
  EXPECT_EQ(Search2D(Flat, nullptr, &x, &y, 1.0, 1.0, 1e-12, 1e-12, 1e300, 1e300, 1e-12, 0.0), 2.0);
  EXPECT_EQ(x, 0.3);
  EXPECT_EQ(y, 0.4);
}

}  // namespace

#include "tests/geometry/geometry_analysis_fuzz.h"

namespace {

// A short run of the fuzz cases (the 10^5-case run is the benchmark
// tq_bench_geometry_analysis_fuzz): every case ends with finite results.
TEST(GeometryFuzz, RandomSurfacesCurvesAndRegionsEndWithFiniteResults) {
  geometry_fuzz::FuzzTally tally;
  for (int64_t i = 0; i < 500; ++i) EXPECT_TRUE(geometry_fuzz::RunCase(20240607, i, tally)) << "case " << i;
  EXPECT_EQ(tally.failures, 0);
}

}  // namespace
