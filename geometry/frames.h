// Orthonormal frames about an axis, rotations by stored 3x3 matrices and
// coordinate transformations of points.
//
// A rotation matrix is nine doubles, row-major (element (i, j) at 3 i + j). A
// frame matrix holds the frame's unit vectors as its columns: column 0 the
// transverse vector u, column 1 = a x u, column 2 the axis a; multiplying it
// by a local vector gives the global components (local z is the axis).
// Every function writes its result through the out argument and returns it.
#pragma once

#include <cmath>

#include "core/hostdevice.h"
#include "core/transform.h"
#include "core/vector.h"

// Matrices are written row by row.
// clang-format off
// Stores u, a x u and a as the columns of m.
TQ_CPU_GPU inline double* SetFrameColumns(double* m, VECTOR u, VECTOR a) {
  const VECTOR v = Cross(a, u);
  m[0] = u.x; m[1] = v.x; m[2] = a.x;
  m[3] = u.y; m[4] = v.y; m[5] = a.y;
  m[6] = u.z; m[7] = v.z; m[8] = a.z;
  return m;
}

// Right-handed frame about the unit axis a. anglePrecision is the tolerance on
// direction components below which a component counts as zero.
TQ_CPU_GPU inline double* MakeFrame(double* m, VECTOR a, double anglePrecision) {
  VECTOR u;
  if (fabs(a.y) <= anglePrecision && fabs(a.z) <= anglePrecision) {
    u = Init(0.0, a.x > 0.0 ? 1.0 : -1.0, 0.0);  // axis along +-x
  } else if (fabs(a.x) <= anglePrecision) {
    u = Init(1.0, 0.0, 0.0);
  } else {
    // (a.x - 1/a.x, a.y, a.z) . a = |a|^2 - 1 = 0 for a unit axis.
    u = Init(a.x - 1.0 / a.x, a.y, a.z);
    u /= Norm(u);
  }
  return SetFrameColumns(m, u, a);
}

// Frame about the unit axis a whose first vector is the unit reference r made
// perpendicular to a. The reference is first turned to make an obtuse angle
// with the axis; a reference already perpendicular is kept as given.
TQ_CPU_GPU inline double* MakeFrameRef(double* m, VECTOR a, VECTOR r, double anglePrecision) {
  const double d = Dot(a, r);
  VECTOR u = r;
  if (fabs(d) > anglePrecision) {
    const double sinAngle = sqrt(1.0 - d * d);
    u = d > 0.0 ? (d * a - r) / sinAngle : (r - d * a) / sinAngle;
  }
  return SetFrameColumns(m, u, a);
}

// out = R p.
TQ_CPU_GPU inline VECTOR* RotateVector(VECTOR* out, const double* R, VECTOR p) {
  *out = Init(R[0] * p.x + R[1] * p.y + R[2] * p.z,
              R[3] * p.x + R[4] * p.y + R[5] * p.z,
              R[6] * p.x + R[7] * p.y + R[8] * p.z);
  return out;
}

// out = R^T p (global to local components for a frame matrix).
TQ_CPU_GPU inline VECTOR* RotateVectorTransposed(VECTOR* out, const double* R, VECTOR p) {
  *out = Init(R[0] * p.x + R[3] * p.y + R[6] * p.z,
              R[1] * p.x + R[4] * p.y + R[7] * p.z,
              R[2] * p.x + R[5] * p.y + R[8] * p.z);
  return out;
}

// out = R p + origin: a point given in a frame placed at origin.
TQ_CPU_GPU inline VECTOR* TransformPoint(VECTOR* out, const double* R, VECTOR origin, VECTOR p) {
  RotateVector(out, R, p);
  *out += origin;
  return out;
}

// M becomes M N. All nine products are formed before M is written, so M and N
// may be the same matrix.
TQ_CPU_GPU inline double* ComposeRotation(double* M, const double* N) {
  double product[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      product[3 * i + j] = M[3 * i] * N[j] + M[3 * i + 1] * N[3 + j] + M[3 * i + 2] * N[6 + j];
    }
  }
  for (int k = 0; k < 9; ++k) M[k] = product[k];
  return M;
}

// out = t + M p, each row summed as t_i + M(i,0) p.x + M(i,1) p.y + M(i,2) p.z.
TQ_CPU_GPU inline VECTOR* ApplyTransform(VECTOR* out, VECTOR t, const double* M, VECTOR p) {
  *out = Init(t.x + M[0] * p.x + M[1] * p.y + M[2] * p.z,
              t.y + M[3] * p.x + M[4] * p.y + M[5] * p.z,
              t.z + M[6] * p.x + M[7] * p.y + M[8] * p.z);
  return out;
}
// clang-format on

TQ_CPU_GPU inline VECTOR* ApplyTransform(VECTOR* out, const TRANSFORM& tr, VECTOR p) {
  return ApplyTransform(out, tr.t, tr.M, p);
}
