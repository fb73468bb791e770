// Vector operators, orthonormal frames, rotations and transformations.
#include <gtest/gtest.h>

#include <cmath>

#include "core/randgen.h"
#include "core/transform.h"
#include "core/vector.h"
#include "geometry/frames.h"

namespace {

constexpr double kAnglePrecision = 1e-12;

void ExpectVectorNear(VECTOR actual, VECTOR expected, double tolerance, const char* what) {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

VECTOR Column(const double* m, int j) { return Init(m[j], m[3 + j], m[6 + j]); }

// A frame matrix must be a proper rotation whose last column is the axis.
void ExpectRightHandedFrameAbout(const double* m, VECTOR axis, double tolerance) {
  const VECTOR u = Column(m, 0);
  const VECTOR v = Column(m, 1);
  const VECTOR a = Column(m, 2);
  ExpectVectorNear(a, axis, 0.0, "axis column");
  EXPECT_NEAR(Norm(u), 1.0, tolerance);
  EXPECT_NEAR(Norm(v), 1.0, tolerance);
  EXPECT_NEAR(Dot(u, a), 0.0, tolerance);
  EXPECT_NEAR(Dot(v, a), 0.0, tolerance);
  EXPECT_NEAR(Dot(u, v), 0.0, tolerance);
  ExpectVectorNear(Cross(u, v), a, tolerance, "u x v = a");
}

}  // namespace

TEST(VectorTest, OperatorsFollowTheirAlgebra) {
  const VECTOR a = Init(1.0, -2.0, 3.0);
  const VECTOR b = Init(-4.0, 5.0, 0.5);
  ExpectVectorNear(-a, Init(-1.0, 2.0, -3.0), 0.0, "negation");
  ExpectVectorNear(a + b, Init(-3.0, 3.0, 3.5), 0.0, "sum");
  ExpectVectorNear(a - b, Init(5.0, -7.0, 2.5), 0.0, "difference");
  EXPECT_EQ(Dot(a, b), -4.0 - 10.0 + 1.5);
  ExpectVectorNear(2.0 * a, Init(2.0, -4.0, 6.0), 0.0, "scaled left");
  ExpectVectorNear(a * 2.0, Init(2.0, -4.0, 6.0), 0.0, "scaled right");
  ExpectVectorNear(a / 3.0, Init(1.0 / 3.0, -2.0 / 3.0, 1.0), 0.0, "divided");
  // Cross product keeps its operand order: x & y = z, y & x = -z.
  ExpectVectorNear(Cross(Init(1, 0, 0), Init(0, 1, 0)), Init(0, 0, 1), 0.0, "x cross y");
  ExpectVectorNear(Cross(Init(0, 1, 0), Init(1, 0, 0)), Init(0, 0, -1), 0.0, "y cross x");
  ExpectVectorNear(Cross(a, b), Init(-2.0 * 0.5 - 3.0 * 5.0, 3.0 * -4.0 - 1.0 * 0.5, 1.0 * 5.0 - (-2.0) * -4.0), 0.0,
                   "a x b");
  EXPECT_EQ(Norm(Init(3.0, 4.0, 12.0)), 13.0);

  VECTOR c = a;
  const VECTOR returned = (c += b);
  ExpectVectorNear(c, a + b, 0.0, "+= updates in place");
  ExpectVectorNear(returned, c, 0.0, "+= returns the new value");
  c -= b;
  ExpectVectorNear(c, a, 0.0, "-= updates in place");
  const VECTOR divided = (c /= 2.0);
  ExpectVectorNear(c, Init(0.5, -1.0, 1.5), 0.0, "/= updates in place");
  ExpectVectorNear(divided, c, 0.0, "/= returns the new value");
}

TEST(FrameTest, MakeFrameOfCoordinateAxes) {
  struct Case {
    VECTOR axis;
    VECTOR u;
    VECTOR v;
  };
  const double tiny = 0.9e-12;  // below the angle precision: still "along x"
  const Case cases[] = {
      {Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1)},
      {Init(-1, 0, 0), Init(0, -1, 0), Init(0, 0, 1)},
      {Init(0, 0, 1), Init(1, 0, 0), Init(0, 1, 0)},
      {Init(0, 1, 0), Init(1, 0, 0), Init(0, 0, -1)},
      {Init(1, tiny, -tiny), Init(0, 1, 0), Cross(Init(1, tiny, -tiny), Init(0, 1, 0))},
      {Init(-1, -tiny, tiny), Init(0, -1, 0), Cross(Init(-1, -tiny, tiny), Init(0, -1, 0))},
  };
  for (const Case& c : cases) {
    double m[9];
    EXPECT_EQ(MakeFrame(m, c.axis, kAnglePrecision), m);
    ExpectVectorNear(Column(m, 0), c.u, 0.0, "u column");
    ExpectVectorNear(Column(m, 1), c.v, 1e-15, "a x u column");
    ExpectVectorNear(Column(m, 2), c.axis, 0.0, "axis column");
  }
}

TEST(FrameTest, FramesAreRightHandedForRandomAxes) {
  CRandGen rng;
  rng.RandomInitialise(77, 78);
  for (int k = 0; k < 1000; ++k) {
    VECTOR a = Init(rng.random() - 0.5, rng.random() - 0.5, rng.random() - 0.5);
    a /= Norm(a);
    double m[9];
    MakeFrame(m, a, kAnglePrecision);
    ExpectRightHandedFrameAbout(m, a, 1e-14);

    VECTOR r = Init(rng.random() - 0.5, rng.random() - 0.5, rng.random() - 0.5);
    r /= Norm(r);
    MakeFrameRef(m, a, r, kAnglePrecision);
    // 1 - (a . r)^2 loses digits when r nearly lies along a.
    const double sinSquared = 1.0 - Dot(a, r) * Dot(a, r);
    ExpectRightHandedFrameAbout(m, a, 1e-14 / sinSquared);
    // u lies in the plane of a and r, turned away from r when r leans along a.
    const VECTOR u = Column(m, 0);
    EXPECT_NEAR(Dot(Cross(a, r), u), 0.0, 1e-13);
    EXPECT_LE((Dot(r, a) > 0 ? 1.0 : -1.0) * Dot(u, r), 1e-13);
  }
}

TEST(FrameTest, MakeFrameRefKeepsAPerpendicularReferenceAsGiven) {
  double m[9];
  const VECTOR a = Init(0, 0, 1);
  const VECTOR r = Init(2.0, 0.0, 1e-13);  // not unit, a . r below the precision
  MakeFrameRef(m, a, r, kAnglePrecision);
  ExpectVectorNear(Column(m, 0), r, 0.0, "reference kept");

  // An axial part is removed and the reference turned: d > 0 and d < 0.
  const double s = std::sqrt(0.5);
  MakeFrameRef(m, a, Init(s, 0, s), kAnglePrecision);
  ExpectVectorNear(Column(m, 0), Init(-1, 0, 0), 1e-15, "d > 0");
  MakeFrameRef(m, a, Init(s, 0, -s), kAnglePrecision);
  ExpectVectorNear(Column(m, 0), Init(1, 0, 0), 1e-15, "d < 0");
}

TEST(RotationTest, RotationsTransformsAndCompositions) {
  double m[9];
  VECTOR axis = Init(1.0, 2.0, 2.0) / 3.0;
  MakeFrame(m, axis, kAnglePrecision);
  const VECTOR p = Init(0.3, -1.2, 2.5);

  VECTOR global;
  EXPECT_EQ(RotateVector(&global, m, Init(0, 0, 1)), &global);
  ExpectVectorNear(global, axis, 1e-15, "local z is the axis");
  RotateVector(&global, m, p);
  VECTOR back;
  RotateVectorTransposed(&back, m, global);
  ExpectVectorNear(back, p, 1e-14, "transpose undoes the rotation");

  VECTOR moved;
  TransformPoint(&moved, m, Init(10, 20, 30), p);
  ExpectVectorNear(moved, global + Init(10, 20, 30), 1e-14, "frame point plus origin");

  // Composition: (M N) p = M (N p), also when M and N are the same matrix.
  double n[9];
  MakeFrame(n, Init(0.0, 0.6, 0.8), kAnglePrecision);
  double mn[9];
  for (int k = 0; k < 9; ++k) mn[k] = m[k];
  EXPECT_EQ(ComposeRotation(mn, n), mn);
  VECTOR np;
  VECTOR mnp;
  RotateVector(&np, n, p);
  RotateVector(&mnp, m, np);
  VECTOR direct;
  RotateVector(&direct, mn, p);
  ExpectVectorNear(direct, mnp, 1e-14, "M N p");

  double square[9];
  for (int k = 0; k < 9; ++k) square[k] = m[k];
  ComposeRotation(square, square);
  VECTOR mp;
  VECTOR mmp;
  RotateVector(&mp, m, p);
  RotateVector(&mmp, m, mp);
  RotateVector(&direct, square, p);
  ExpectVectorNear(direct, mmp, 1e-14, "M M p with aliased operands");

  TRANSFORM tr{Init(1, -2, 3), {0, -1, 0, 1, 0, 0, 0, 0, 1}};  // 90 degrees about z
  VECTOR out;
  EXPECT_EQ(ApplyTransform(&out, tr.t, tr.M, Init(1, 0, 5)), &out);
  ExpectVectorNear(out, Init(1, -1, 8), 0.0, "t + M p");
  ApplyTransform(&out, tr, Init(0, 2, 0));
  ExpectVectorNear(out, Init(-1, -2, 3), 0.0, "t + M p from the record");
}
