// Intersection curves of two surfaces: seeded random placements of every
// pair of surface types, and the special placements with their codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "geometry/curve_surface.h"
#include "geometry/intersection_curves.h"
#include "geometry/surface_functions.h"
#include "tests/geometry/geometry_random_surfaces.h"

namespace {

using namespace random_geometry;

const AnalysisTolerances kTol{1e-12, 1e20};
// The precision of the random placements: sizes of order 1 cm, curve points
// checked within 100 cm of the origin (farther out the rounding of the
// coordinates themselves exceeds it).
constexpr double kPrecision = 1e-10;
constexpr double kCheckedReach = 100.0;
// A tangent's cosine with a normal may reach this (rounding near the ends of
// four-branch curves, where the derivative grows without bound).
constexpr double kOrthogonality = 1e-9;
// A no-curve pair must not have surface points on both sides of the other
// surface beyond this margin.
constexpr double kSideMargin = 1e-6;

int CasesPerPair() {
  const char* text = std::getenv("TQ_GEOMETRY_CASES");
  return text != nullptr ? std::atoi(text) : 10000;
}

// Parameters at which a branch is checked: 15 inside a bounded range, or
// over [-5, 5] cm (z up to 5 cm for the conic branches).
double SampleParameter(const CURVE& c, int j) {
  if (c.range[1] <= c.range[0]) {
    const double reach = (c.type == kCurveConeHyperbola || c.type == kCurveConeParabola) ? 2.2 : 5.0;
    return -reach + 2.0 * reach * j / 16.0;
  }
  return c.range[0] + (c.range[1] - c.range[0]) * j / 16.0;
}

bool BothSides(const SURFACE& on, const SURFACE& other, Rng& rng) {
  int positive = 0, negative = 0;
  for (int j = 0; j < 300; ++j) {
    const VECTOR p = RandomPointOn(on, 8.0, rng);
    const double v = DistanceToSurface(&p, &other);
    positive += v > kSideMargin;
    negative += v < -kSideMargin;
  }
  return positive > 0 && negative > 0;
}

TEST(IntersectSurfaces, RandomPairsOfEveryTypeMeetOnBothSurfaces) {
  const int cases = CasesPerPair();
  for (int ta = kSurfacePlane; ta <= kSurfaceCone; ++ta)
    for (int tb = ta; tb <= kSurfaceCone; ++tb) {
      const uint64_t seed = 20240601u + 10u * ta + tb;
      SCOPED_TRACE(::testing::Message() << "types " << ta << "-" << tb << " seed " << seed);
      Rng rng(seed);
      double maxDistance = 0.0, maxCosine = 0.0;
      int curves = 0, none = 0;
      for (int i = 0; i < cases; ++i) {
        const SURFACE a = RandomSurface(ta, rng), b = RandomSurface(tb, rng);
        CURVE c{};
        const int code = IntersectSurfaces(&a, &b, &c, kPrecision, kTol);
        ASSERT_EQ(code, c.type);
        if (code >= kCurveLine && code <= kLastParametrisedCurve) {
          ++curves;
          for (int k = 0; k < CurveBranchCount(code); ++k)
            for (int j = 1; j < 16; ++j) {
              const double t = SampleParameter(c, j);
              const VECTOR p = CurvePoint(&c, k, t, kPrecision);
              ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << "case " << i;
              if (Norm(p) > kCheckedReach) continue;
              const double d = std::max(std::fabs(DistanceToSurface(&p, &a)), std::fabs(DistanceToSurface(&p, &b)));
              maxDistance = std::max(maxDistance, d);
              ASSERT_LE(d, kPrecision) << "case " << i << " code " << code << " branch " << k << " t " << t;
              const VECTOR T = CurveTangent(&c, k, t);
              if (Norm(T) == 0.0) continue;
              for (const SURFACE* s : {&a, &b}) {
                if (s->type == kSurfaceCone && Norm(p - s->point) < 1e-6) continue;  // no normal at the apex
                VECTOR n;
                SurfaceNormal(&n, s, p, kPrecision);
                maxCosine = std::max(maxCosine, std::fabs(Dot(T, n)));
                ASSERT_LE(std::fabs(Dot(T, n)), kOrthogonality) << "case " << i << " code " << code;
              }
            }
        } else if (code <= 0) {
          ++none;
          ASSERT_FALSE(BothSides(a, b, rng) || BothSides(b, a, rng)) << "case " << i << " code " << code;
        }
      }
      RecordProperty("curves", curves);
      std::printf("types %d-%d: %d pairs, %d curves, %d without a curve, max |f| %.3g cm, max |T.n| %.3g\n", ta,
                  tb, cases, curves, none, maxDistance, maxCosine);
    }
}

struct CodeCase {
  const char* name;
  SURFACE a, b;
  int code;
};

const double kDegree = M_PI / 180.0;

TEST(IntersectSurfaces, SpecialPlacementsGetTheirCodes) {
  const double eps = 1e-12;
  const VECTOR z = Init(0, 0, 1), x = Init(1, 0, 0);
  const SURFACE cone = MakeCone(Init(0, 0, 0), z, 30.0);
  const CodeCase cases[] = {
      {"coincident planes", MakePlane(Init(0, 0, 1), z), MakePlane(Init(3, 2, 1), -z), 0},
      {"parallel planes facing each other", MakePlane(Init(0, 0, 0), z), MakePlane(Init(0, 0, 1), -z), -1},
      {"parallel planes, first behind the second", MakePlane(Init(0, 0, 0), z), MakePlane(Init(0, 0, 1), z), -2},
      {"parallel planes, second behind the first", MakePlane(Init(0, 0, 1), z), MakePlane(Init(0, 0, 0), z), -3},
      {"parallel planes facing apart", MakePlane(Init(0, 0, 0), -z), MakePlane(Init(0, 0, 1), z), -4},
      {"spheres touching outside", MakeSphere(Init(0, 0, 0), 1.0), MakeSphere(Init(3.0 - eps / 2, 0, 0), 2.0), -1},
      {"sphere inside sphere", MakeSphere(Init(0.1, 0, 0), 1.0), MakeSphere(Init(0, 0, 0), 2.0), -2},
      {"sphere around sphere", MakeSphere(Init(0, 0, 0), 2.0), MakeSphere(Init(0.1, 0, 0), 1.0), -3},
      {"coincident spheres", MakeSphere(Init(1, 2, 3), 2.0), MakeSphere(Init(1, 2, 3), 2.0), 0},
      {"equal spheres", MakeSphere(Init(0, 0, 0), 1.0), MakeSphere(Init(1, 0, 0), 1.0), kCurveCircle},
      {"plane across a cylinder", MakePlane(Init(0, 0, 2), z), MakeCylinder(Init(0, 0, 0), z, 1.0), kCurveCircle},
      {"plane along a cylinder's axis", MakePlane(Init(0, 0, 0), x), MakeCylinder(Init(0, 0, 0), z, 1.0), kCurveTwoLines},
      {"slanted plane and cylinder", MakePlane(Init(0, 0, 0), Init(1, 0, 1) / std::sqrt(2.0)),
       MakeCylinder(Init(0, 0, 0), z, 1.0), kCurveCylinderEllipse},
      {"cylinder inside a coaxial cylinder", MakeCylinder(Init(0, 0, 0), z, 1.0), MakeCylinder(Init(0, 0, 5), -z, 2.0), -2},
      {"plane touching the cone at its apex only", MakePlane(Init(0, 0, 0), Init(0.6, 0, 0.8)), cone, -1},
      {"plane through the apex inside the opening", MakePlane(Init(0, 0, 0), x), cone, kCurveApexLines},
      {"plane across the cone", MakePlane(Init(0, 0, 2), z), cone, kCurveCircle},
      {"plane along a generator", MakePlane(Init(0, 0, 1), Init(std::cos(30 * kDegree), 0, std::sin(30 * kDegree))),
       cone, kCurveConeParabola},
      {"steep plane", MakePlane(Init(0, 0, 1), Init(std::cos(10 * kDegree), 0, std::sin(10 * kDegree))), cone,
       kCurveConeHyperbola},
      {"plane parallel to the axis, apex behind it", MakePlane(Init(0.5, 0, 0), x), cone, kCurveConeHyperbola},
      {"plane parallel to the axis, apex in front of it", MakePlane(Init(-0.5, 0, 0), x), cone, kCurveConeHyperbola},
      {"shallow plane", MakePlane(Init(0, 0, 1), Init(std::cos(70 * kDegree), 0, std::sin(70 * kDegree))), cone,
       kCurveConeEllipse},
      {"sphere on a cylinder's axis", MakeSphere(Init(0, 0, 1), 2.0), MakeCylinder(Init(0, 0, 0), z, 1.0), kCurveTwoCircles},
      {"sphere off a cylinder's axis", MakeSphere(Init(0.3, 0, 1), 2.0), MakeCylinder(Init(0, 0, 0), z, 1.0),
       kCurveSphereCylinder},
      {"sphere on a cone's axis meeting it once", MakeSphere(Init(0, 0, 0.5), 1.0), cone, kCurveCircle},
      {"sphere on a cone's axis meeting it twice", MakeSphere(Init(0, 0, 3), 2.0), cone, kCurveTwoCircles},
      {"sphere inside the cone", MakeSphere(Init(0, 0, 3), 1.0), cone, -2},
      {"sphere off a cone's axis", MakeSphere(Init(0.5, 0, 3), 2.0), cone, kCurveSphereConeMeet},
      {"sphere behind the apex", MakeSphere(Init(0, 0, -3), 1.0), cone, -1},
      {"crossed cylinders", MakeCylinder(Init(0, 0, 0), z, 1.0), MakeCylinder(Init(0, 0, 0.5), x, 0.7),
       kCurveCylinderCylinder},
      {"parallel cylinders", MakeCylinder(Init(0, 0, 0), z, 1.0), MakeCylinder(Init(1, 0, 0), z, 1.0), kCurveTwoLines},
      {"coaxial cylinder and cone", MakeCylinder(Init(0, 0, 0), z, 1.0), cone, kCurveCircle},
      {"cones with a common apex", cone, MakeCone(Init(0, 0, 0), Init(0, 1, 1) / std::sqrt(2.0), 30.0), kCurveApexLines},
      {"coaxial cones", cone, MakeCone(Init(0, 0, 1), z, 45.0), kCurveCircle},
      {"cones opening apart", cone, MakeCone(Init(0, 0, -1), -z, 30.0), -1},
  };
  for (const CodeCase& c : cases) {
    CURVE curve{};
    const int code = IntersectSurfaces(&c.a, &c.b, &curve, eps, kTol);
    EXPECT_EQ(code, c.code) << c.name;
    if (code < 1 || code > kLastParametrisedCurve) continue;
    for (int k = 0; k < CurveBranchCount(code); ++k) {
      const double t = c.name[0] == 'p' && code <= kCurveApexLines ? 0.7 : 0.5 * (curve.range[0] + curve.range[1]) + 0.1;
      const VECTOR p = CurvePoint(&curve, k, code <= kCurveApexLines || code >= kCurveConeHyperbola ? 0.7 : t, eps);
      EXPECT_LE(std::fabs(DistanceToSurface(&p, &c.a)), 1e-12) << c.name;
      EXPECT_LE(std::fabs(DistanceToSurface(&p, &c.b)), 1e-12) << c.name;
    }
  }
}

TEST(IntersectSurfaces, CircleAndLineGeometryOfSpecialPlacements) {
  const double eps = 1e-12;
  CURVE c{};
  const SURFACE s0 = MakeSphere(Init(0, 0, 0), 1.0), s1 = MakeSphere(Init(1.2, 0, 0), 1.0);
  ASSERT_EQ(IntersectSurfaces(&s0, &s1, &c, eps, kTol), kCurveCircle);
  EXPECT_NEAR(c.point[0].x, 0.6, 1e-15);
  EXPECT_NEAR(c.coefA, 0.8, 1e-15);
  const SURFACE plane = MakePlane(Init(0, 0, 0), Init(1, 0, 0)), cyl = MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 2.0);
  ASSERT_EQ(IntersectSurfaces(&plane, &cyl, &c, eps, kTol), kCurveTwoLines);
  EXPECT_NEAR(std::fabs(c.point[0].y), 2.0, 1e-15);
  EXPECT_NEAR(c.point[0].y, -c.point[1].y, 1e-15);
  const SURFACE sphere = MakeSphere(Init(0, 0, 1), 2.0), axisCyl = MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 1.0);
  ASSERT_EQ(IntersectSurfaces(&sphere, &axisCyl, &c, eps, kTol), kCurveTwoCircles);
  EXPECT_NEAR(std::fabs(c.point[0].z - 1.0), std::sqrt(3.0), 1e-15);
  EXPECT_EQ(c.coefA, 1.0);
  const SURFACE apexPlane = MakePlane(Init(0, 0, 0), Init(1, 0, 0));
  const SURFACE cone = MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0);
  ASSERT_EQ(IntersectSurfaces(&apexPlane, &cone, &c, eps, kTol), kCurveApexLines);
  EXPECT_NEAR(Norm(c.dir[0]), 1.0, 1e-15);
  EXPECT_NEAR(Norm(c.dir[1]), 1.0, 1e-15);
  // A curve lying in a surface is on neither side of it.
  const SURFACE across = MakePlane(Init(0, 0, 2), Init(0, 0, 1));
  ASSERT_EQ(IntersectSurfaces(&across, &axisCyl, &c, eps, kTol), kCurveCircle);
  EXPECT_EQ(CurveSideOfSurface(&c, 0, &axisCyl, eps), 0);
  EXPECT_EQ(CurveSideOfSurface(&c, 0, &sphere, eps), -1);
  EXPECT_EQ(CurveSideOfSurface(&c, 0, &s1, eps), 1);
}

}  // namespace
