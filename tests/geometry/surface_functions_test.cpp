// Surface functions, normals, ray intersections and the same-surface test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "geometry/surface_functions.h"
#include "tests/geometry/geometry_test_surfaces.h"

namespace {

constexpr double kDistancePrecision = 1e-12;
constexpr double kAnglePrecision = 1e-12;
const double kSqrtHalf = std::sqrt(0.5);

VECTOR Unit(double x, double y, double z) { return Init(x, y, z) / Norm(Init(x, y, z)); }

// ---- Signed surface function and normals ---------------------------------

struct FunctionCase {
  const char* name;
  SURFACE surface;
  VECTOR point;
  double f;       // expected surface function
  VECTOR normal;  // expected unit normal at the point
};

TEST(SurfaceFunction, SignAndNormalPerType) {
  const SURFACE plane = MakePlane(Init(0, 0, 1), Init(0, 0, 1));
  const SURFACE sphere = MakeSphere(Init(0, 0, 0), 2.0);
  const SURFACE cylinder = MakeCylinder(Init(1, 0, 0), Init(0, 0, 1), 1.0);
  const SURFACE cone = MakeCone(Init(0, 0, 0), Init(0, 0, 1), 45.0);
  const FunctionCase cases[] = {
      {"plane, in front", plane, Init(4, -1, 3), 2.0, Init(0, 0, 1)},
      {"plane, behind", plane, Init(0, 0, -1), -2.0, Init(0, 0, 1)},
      {"plane, on", plane, Init(5, 5, 1), 0.0, Init(0, 0, 1)},
      {"sphere, outside", sphere, Init(3, 0, 0), 1.0, Init(1, 0, 0)},
      {"sphere, inside", sphere, Init(0, -1, 0), -1.0, Init(0, -1, 0)},
      {"sphere, on", sphere, Init(0, 0, 2), 0.0, Init(0, 0, 1)},
      {"cylinder, outside", cylinder, Init(1, 3, 7), 2.0, Init(0, 1, 0)},
      {"cylinder, inside", cylinder, Init(1.5, 0, -4), -0.5, Init(1, 0, 0)},
      {"cylinder, on", cylinder, Init(0, 0, 2), 0.0, Init(-1, 0, 0)},
      {"cone, behind the apex", cone, Init(0, 0, -1), 1.0, Init(0, 0, -1)},
      {"cone, outside the nappe", cone, Init(1, 0, 0), kSqrtHalf, Unit(1, 0, -std::sqrt(2.0))},
      {"cone, on the axis", cone, Init(0, 0, 1), -kSqrtHalf, Init(0, 0, -1)},
      {"cone, on the nappe", cone, Init(0, 2, 2), 0.0, Init(0, kSqrtHalf, -kSqrtHalf)},
  };
  for (const FunctionCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(DistanceToSurface(&c.point, &c.surface), c.f, 1e-15);
    VECTOR n;
    // On the cone's axis the normal is -axis only at the apex; (0,0,1) lies a
    // full unit away, so its nappe-line normal degenerates to -axis as well.
    SurfaceNormal(&n, &c.surface, c.point, kDistancePrecision);
    EXPECT_NEAR(n.x, c.normal.x, 1e-15);
    EXPECT_NEAR(n.y, c.normal.y, 1e-15);
    EXPECT_NEAR(n.z, c.normal.z, 1e-15);
  }
  VECTOR n;
  SurfaceNormal(&n, &cone, Init(0, 0, 1e-13), kDistancePrecision);
  EXPECT_EQ(n.z, -1.0) << "within the apex tolerance the cone's normal is -axis";
}

// ---- Ray intersections: a table of cases per surface type ------------------

struct RayCase {
  const char* name;
  SURFACE surface;
  VECTOR p;
  VECTOR u;
  int mode;  // start-on-surface mode
  int count;
  double t0;
  double t1;
};

TEST(RaySurfaceIntersection, TableOfCases) {
  const SURFACE plane = MakePlane(Init(0, 0, 1), Init(0, 0, 1));
  const SURFACE sphere = MakeSphere(Init(0, 0, 0), 1.0);
  const SURFACE cylinder = MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 1.0);
  const SURFACE cone = MakeCone(Init(0, 0, 0), Init(0, 0, 1), 45.0);
  const double below = 1.0 - 1e-13;  // a line this far from a unit sphere's centre misses by less than the tolerance
  const RayCase cases[] = {
      {"plane, towards", plane, Init(0, 0, -1), Init(0, 0, 1), 0, 1, 2.0, 0},
      {"plane, slanted", plane, Init(0, 0, 0), Unit(1, 0, 1), 0, 1, std::sqrt(2.0), 0},
      {"plane, away", plane, Init(0, 0, -1), Init(0, 0, -1), 0, 0, 0, 0},
      {"plane, along it", plane, Init(0, 0, 1), Init(1, 0, 0), 0, 0, 0, 0},
      {"plane, on it, carried", plane, Init(0, 0, 1), Init(0, 0, 1), -1, 0, 0, 0},
      {"sphere, from the centre", sphere, Init(0, 0, 0), Init(1, 0, 0), 0, 1, 1.0, 0},
      {"sphere, from outside", sphere, Init(-5, 0, 0), Init(1, 0, 0), 0, 2, 4.0, 6.0},
      {"sphere, behind", sphere, Init(5, 0, 0), Init(1, 0, 0), 0, 0, 0, 0},
      {"sphere, misses", sphere, Init(-5, 2, 0), Init(1, 0, 0), 0, 0, 0, 0},
      {"sphere, tangent", sphere, Init(-5, 1, 0), Init(1, 0, 0), 0, 0, 0, 0},
      {"sphere, within tolerance of tangent", sphere, Init(-5, below, 0), Init(1, 0, 0), 0, 0, 0, 0},
      {"sphere, on it inwards, carried", sphere, Init(-1, 0, 0), Init(1, 0, 0), -1, 1, 2.0, 0},
      {"sphere, on it inwards, tested", sphere, Init(-1, 0, 0), Init(1, 0, 0), 1, 1, 2.0, 0},
      {"sphere, on it outwards, carried", sphere, Init(1, 0, 0), Init(1, 0, 0), -1, 0, 0, 0},
      {"cylinder, from the axis", cylinder, Init(0, 0, 3), Unit(0, 1, 1), 0, 1, std::sqrt(2.0), 0},
      {"cylinder, from outside", cylinder, Init(-3, 0, 0), Init(1, 0, 0), 0, 2, 2.0, 4.0},
      {"cylinder, along the axis", cylinder, Init(0.5, 0, 0), Init(0, 0, 1), 0, 0, 0, 0},
      {"cylinder, tangent", cylinder, Init(-3, 1, 0), Init(1, 0, 0), 0, 0, 0, 0},
      {"cylinder, on it inwards, carried", cylinder, Init(0, -1, 5), Init(0, 1, 0), -1, 1, 2.0, 0},
      {"cone, inside across the nappe", cone, Init(0, 0, 1), Init(1, 0, 0), 0, 1, 1.0, 0},
      {"cone, from outside across", cone, Init(-3, 0, 1), Init(1, 0, 0), 0, 2, 2.0, 4.0},
      {"cone, up the axis through the apex", cone, Init(0, 0, -1), Init(0, 0, 1), 0, 1, 1.0, 0},
      {"cone, through the apex outside the opening", cone, Init(-1, 0, -0.1), Unit(1, 0, 0.1), 0, 0, 0, 0},
      {"cone, only the other nappe", cone, Init(-3, 0, -1), Init(1, 0, 0), 0, 0, 0, 0},
      {"cone, along a nappe line", cone, Init(0, 0, 0), Unit(1, 0, 1), 0, 0, 0, 0},
      {"cone, parallel to a nappe line, towards it", cone, Init(0, 0, 1), Unit(-1, 0, -1), 0, 1, kSqrtHalf, 0},
      {"cone, parallel to a nappe line, away", cone, Init(0, 0, 1), Unit(1, 0, 1), 0, 0, 0, 0},
      {"cone, on it inwards, carried", cone, Init(-1, 0, 1), Init(1, 0, 0), -1, 1, 2.0, 0},
  };
  for (const RayCase& c : cases) {
    SCOPED_TRACE(c.name);
    double t[2] = {-99, -99};
    VECTOR points[2];
    const int n = RaySurfaceIntersection(&c.p, &c.u, &c.surface, t, points, c.mode, kDistancePrecision,
                                         kAnglePrecision);
    ASSERT_EQ(n, c.count);
    const double expected[2] = {c.t0, c.t1};
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(t[i], expected[i], 1e-14);
      EXPECT_LE(std::fabs(DistanceToSurface(&points[i], &c.surface)), kDistancePrecision);
      EXPECT_LT(Norm(points[i] - (c.p + t[i] * c.u)), 1e-12);
    }
  }
}

// ---- Near cancellation: the root next to the start ------------------------

// Roots of A t^2 + B t + C in long double, without cancellation.
void ReferenceRoots(long double A, long double B, long double C, long double* lo, long double* hi) {
  const long double disc = B * B - 4 * A * C;
  const long double q = -0.5L * (B + std::copysign(std::sqrt(disc), B));
  const long double r0 = q / A;
  const long double r1 = C / q;
  *lo = std::fmin(r0, r1);
  *hi = std::fmax(r0, r1);
}

struct CancellationCase {
  const char* name;
  SURFACE surface;
  VECTOR p;
  VECTOR u;
};

// A start point 2^-30 cm outside the surface, heading in: the near root is the
// difference of two nearly equal numbers in -B - sqrt(disc), and the textbook
// formula keeps only about seven of its digits.
TEST(RaySurfaceIntersection, NearRootKeepsItsDigits) {
  const double gap = std::ldexp(1.0, -30);
  const double tan30 = std::tan(M_PI / 6);
  const CancellationCase cases[] = {
      {"sphere", MakeSphere(Init(0, 0, 0), 1.0), Init(0, 0, -(1 + gap)), Unit(0.3, 0, 1)},
      {"cylinder", MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 1.0), Init(-(1 + gap), 0, 0), Unit(0.8, 0.3, 0.5)},
      {"cone", MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0), Init(tan30 * (1 + gap), 0, 1), Unit(-1, 0.2, 0.3)},
  };
  for (const CancellationCase& c : cases) {
    SCOPED_TRACE(c.name);
    // Coefficients of the quadratic in long double from the same double inputs.
    using LD = long double;
    const LD wx = LD(c.p.x) - c.surface.point.x, wy = LD(c.p.y) - c.surface.point.y,
             wz = LD(c.p.z) - c.surface.point.z;
    const LD ax = c.surface.axis.x, ay = c.surface.axis.y, az = c.surface.axis.z;
    const LD ux = c.u.x, uy = c.u.y, uz = c.u.z;
    const LD ww = wx * wx + wy * wy + wz * wz, wu = wx * ux + wy * uy + wz * uz, uu = ux * ux + uy * uy + uz * uz;
    const LD wa = wx * ax + wy * ay + wz * az, ua = ux * ax + uy * ay + uz * az;
    const LD R = c.surface.radius;
    LD A = uu, B = 2 * wu, C = ww - R * R;
    if (c.surface.type == kSurfaceCylinder) {
      A = uu - ua * ua;
      B = 2 * (wu - wa * ua);
      C = ww - wa * wa - R * R;
    } else if (c.surface.type == kSurfaceCone) {
      const LD k = LD(c.surface.tanHalfAngle) * c.surface.tanHalfAngle + 1;
      A = uu - k * ua * ua;
      B = 2 * (wu - k * ua * wa);
      C = ww - k * wa * wa;
    }
    LD near, far;
    ReferenceRoots(A, B, C, &near, &far);
    ASSERT_GT(near, 0.0L);

    double t[2];
    VECTOR points[2];
    const int n = RaySurfaceIntersection(&c.p, &c.u, &c.surface, t, points, 0, kDistancePrecision, kAnglePrecision);
    ASSERT_GE(n, 1);
    EXPECT_LT(std::fabs((t[0] - near) / near), 1e-9L) << "t0 " << t[0] << " reference " << double(near);

    // The textbook form on the same double coefficients loses the near root.
    const double a = double(A), b = double(B), cc = double(C);
    const double textbook = (-b - std::sqrt(b * b - 4 * a * cc)) / (2 * a);
    EXPECT_GT(std::fabs((textbook - near) / near), 1e-9L) << "the case no longer exercises cancellation";
  }
}

// ---- Property: roots are where f changes sign along the ray ----------------

// Random surfaces and rays inside a 10 cm box: the count of roots ahead of the
// start equals the number of sign changes of f sampled densely along the ray,
// and every root lies on the surface.
TEST(RaySurfaceIntersection, RootsMatchSignChangesAlongTheRay) {
  const uint64_t baseSeed = 0x5eed2102;
  constexpr int kCases = 300;
  constexpr int kSamples = 60000;
  constexpr double kLength = 40.0;
  constexpr double kStep = kLength / kSamples;
  for (int k = 0; k < kCases; ++k) {
    const uint64_t seed = baseSeed + k;
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> box(-5.0, 5.0), unit(-1.0, 1.0), size(0.5, 4.0), angle(10.0, 70.0);
    auto randomPoint = [&] { return Init(box(rng), box(rng), box(rng)); };
    auto randomDirection = [&] {
      VECTOR v;
      do v = Init(unit(rng), unit(rng), unit(rng));
      while (Norm(v) < 0.1 || Norm(v) > 1.0);
      return v / Norm(v);
    };
    SURFACE s;
    switch (k % 4) {
      case 0: s = MakePlane(randomPoint(), randomDirection()); break;
      case 1: s = MakeSphere(randomPoint(), size(rng)); break;
      case 2: s = MakeCylinder(randomPoint(), randomDirection(), size(rng)); break;
      default: s = MakeCone(randomPoint(), randomDirection(), angle(rng)); break;
    }
    const VECTOR p = randomPoint();
    const VECTOR u = randomDirection();

    double t[2];
    VECTOR points[2];
    const int n = RaySurfaceIntersection(&p, &u, &s, t, points, 0, kDistancePrecision, kAnglePrecision);
    if (n == 2) {
      EXPECT_LE(t[0], t[1]);
    }
    bool resolvable = true;  // roots far enough apart for the sampling to see both
    for (int i = 0; i < n; ++i) {
      EXPECT_LE(std::fabs(DistanceToSurface(&points[i], &s)), kDistancePrecision);
      if (t[i] < 2 * kStep || t[i] > kLength - 2 * kStep) resolvable = false;
    }
    if (n == 2 && t[1] - t[0] < 2 * kStep) resolvable = false;
    if (!resolvable) continue;

    int changes = 0;
    VECTOR q = p + kStep * u;
    bool negative = DistanceToSurface(&q, &s) < 0.0;
    for (int i = 2; i <= kSamples; ++i) {
      q = p + (i * kStep) * u;
      const bool nowNegative = DistanceToSurface(&q, &s) < 0.0;
      if (nowNegative != negative) ++changes;
      negative = nowNegative;
    }
    EXPECT_EQ(n, changes) << "surface type " << s.type;
  }
}

// ---- Same surface --------------------------------------------------------

TEST(SameSurface, TableOfPairs) {
  struct Pair {
    const char* name;
    SURFACE a;
    SURFACE b;
    bool same;
  };
  const Pair pairs[] = {
      {"planes with opposite normals", MakePlane(Init(0, 0, 1), Init(0, 0, 1)), MakePlane(Init(3, 4, 1), Init(0, 0, -1)),
       true},
      {"parallel planes apart", MakePlane(Init(0, 0, 1), Init(0, 0, 1)), MakePlane(Init(0, 0, 1.001), Init(0, 0, 1)),
       false},
      {"tilted planes", MakePlane(Init(0, 0, 1), Init(0, 0, 1)), MakePlane(Init(0, 0, 1), Unit(0, 1e-6, 1)), false},
      {"equal spheres", MakeSphere(Init(1, 2, 3), 2.0), MakeSphere(Init(1, 2, 3), 2.0), true},
      {"spheres of other radius", MakeSphere(Init(1, 2, 3), 2.0), MakeSphere(Init(1, 2, 3), 2.1), false},
      {"cylinders shifted along the axis", MakeCylinder(Init(1, 0, 0), Init(0, 0, 1), 1.0),
       MakeCylinder(Init(1, 0, 9), Init(0, 0, -1), 1.0), true},
      {"cylinders shifted across", MakeCylinder(Init(1, 0, 0), Init(0, 0, 1), 1.0),
       MakeCylinder(Init(1, 0.1, 0), Init(0, 0, 1), 1.0), false},
      {"equal cones", MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0), MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0), true},
      {"cones with antiparallel axes", MakeCone(Init(0, 0, 0), Init(0, 0, 1), 30.0),
       MakeCone(Init(0, 0, 0), Init(0, 0, -1), 30.0), false},
      {"sphere and cylinder", MakeSphere(Init(0, 0, 0), 1.0), MakeCylinder(Init(0, 0, 0), Init(0, 0, 1), 1.0), false},
  };
  for (const Pair& c : pairs) {
    EXPECT_EQ(SameSurface(&c.a, &c.b, kDistancePrecision, kAnglePrecision), c.same) << c.name;
  }
}

}  // namespace
