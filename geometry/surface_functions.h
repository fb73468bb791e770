// The four operations on one bounding surface: the signed surface function,
// the unit normal, the intersections of a ray, and the test whether two
// records describe the same surface.
//
// The surface function is negative on the side a cell definition calls "-"
// (inside a sphere, cylinder or cone, behind a plane's normal) and positive on
// the other; |f| <= distancePrecision counts as on the surface. The tolerances
// are arguments so that the host and the device pass their own copies; the
// worker's method forms (CTask::DistanceToSurface, ...) call these with the
// particle's position.
#pragma once

#include <cmath>

#include "core/hostdevice.h"
#include "core/surface.h"
#include "core/vector.h"

// The pull of an intersection point onto its surface stops after this many
// steps without a better value: each failed step has already halved or flipped
// the step factor, so five in a row mean rounding noise.
constexpr int kSurfacePullMaxFails = 5;
// Hard bound on the steps of that pull: a device thread must not loop on a
// slowly improving sequence; 200 factor changes of at most 1.2 span 1e15.
constexpr int kSurfacePullMaxSteps = 200;

// Signed surface function f(r), with d = r - point and a = axis:
// plane a . d; sphere |d| - R; cylinder |d - (a . d) a| - R; cone, with
// h = a . d and rho = |d - h a|, the distance |d| to the apex where the apex is
// the nearest point of the nappe (h < 0 and h / |d| <= -sin), otherwise
// rho cos - h sin. The cone is one nappe: f > 0 everywhere behind the apex.
TQ_CPU_GPU inline double DistanceToSurface(const VECTOR* r, const SURFACE* s) {
  const VECTOR d = *r - s->point;
  switch (s->type) {
    case kSurfacePlane:
      return Dot(s->axis, d);
    case kSurfaceSphere:
      return Norm(d) - s->radius;
    case kSurfaceCylinder:
      return Norm(d - Dot(s->axis, d) * s->axis) - s->radius;
    case kSurfaceCone: {
      const double h = Dot(s->axis, d);
      const double length = Norm(d);
      if (h < 0.0 && h <= -s->sinHalfAngle * length) return length;
      return Norm(d - h * s->axis) * s->cosHalfAngle - h * s->sinHalfAngle;
    }
    default:
      return 0.0;
  }
}

// Outward unit normal at r: the plane's stored normal on either side; for a
// cone the normal of the nappe line through r, away from the axis, and -axis
// within apexTolerance of the apex (cm).
TQ_CPU_GPU inline VECTOR* SurfaceNormal(VECTOR* out, const SURFACE* s, VECTOR r, double apexTolerance) {
  const VECTOR d = r - s->point;
  VECTOR w = d;
  switch (s->type) {
    case kSurfacePlane:
      *out = s->axis;
      return out;
    case kSurfaceSphere:
      break;
    case kSurfaceCylinder:
      w = d - Dot(s->axis, d) * s->axis;
      break;
    case kSurfaceCone: {
      const double length = Norm(d);
      if (length < apexTolerance) {
        *out = -s->axis;
        return out;
      }
      // The normal through r meets the axis at distance |d| / cos from the apex.
      w = d - (length / s->cosHalfAngle) * s->axis;
      break;
    }
    default:
      break;
  }
  *out = w / Norm(w);
  return out;
}

// Roots of A t^2 + B t + C = 0 from a non-negative discriminant, without the
// cancellation of -B +- sqrt(disc): q = -0.5 (B + sign(B) sqrt(disc)), the roots
// q / A and C / q. Returns the roots in ascending order; a root that is not
// finite (A = 0 gives one root only) comes back as infinity.
TQ_CPU_GPU inline void StableQuadraticRoots(double A, double B, double C, double disc, double* lo, double* hi) {
  const double q = -0.5 * (B + copysign(sqrt(disc), B));
  double r0 = q / A;
  // q = 0 only when B = disc = 0: a double root at 0 if C = 0 too, else none.
  double r1 = q != 0.0 ? C / q : (C == 0.0 ? 0.0 : INFINITY);
  if (!(fabs(r0) < INFINITY)) r0 = INFINITY;  // also NaN (0 / 0)
  if (!(fabs(r1) < INFINITY)) r1 = INFINITY;
  *lo = r0 < r1 ? r0 : r1;
  *hi = r0 < r1 ? r1 : r0;
}

// Intersections of the ray p + t u (u a unit vector) with surface s. Writes the
// distances t[i] along u and the points[i] on the surface, nearest retained
// root first, and returns their count 0, 1 or 2. startOnSurface < 0: the caller
// knows that p lies on s; > 0: test whether it does; 0: no such treatment.
// Tangent rays, rays along a plane or a cylinder's axis, chords lying on the
// surface and roots behind the start (beyond -distancePrecision) give none.
TQ_CPU_GPU inline int RaySurfaceIntersection(const VECTOR* p, const VECTOR* u, const SURFACE* s, double* t,
                                             VECTOR* points, int startOnSurface, double distancePrecision,
                                             double anglePrecision) {
  const double delta = distancePrecision;
  const VECTOR a = s->axis;
  int n = 0;
  switch (s->type) {
    // ---- Plane: one root unless the ray runs along it.
    case kSurfacePlane: {
      const double c = Dot(a, *u);
      if (fabs(c) <= anglePrecision) return 0;
      n = 1;
      t[0] = -(Dot(a, *p) + s->offset) / c;
      break;
    }
    // ---- Sphere: t^2 + 2 (u . w) t + |w|^2 - R^2 = 0, w = p - centre. The
    // discriminant R^2 - Delta^2 uses the distance Delta of the centre from the
    // line, and C = (|w| - R)(|w| + R), so neither cancels.
    case kSurfaceSphere: {
      const VECTOR w = *p - s->point;
      const double beta = Dot(*u, w);
      const double Delta = Norm(w - beta * *u);
      if (Delta >= s->radius) return 0;
      const double halfChord = sqrt((s->radius - Delta) * (s->radius + Delta));
      if (halfChord <= delta) return 0;  // tangent
      const double lengthW = Norm(w);
      n = 2;
      StableQuadraticRoots(1.0, 2.0 * beta, (lengthW - s->radius) * (lengthW + s->radius),
                           4.0 * halfChord * halfChord, &t[0], &t[1]);
      break;
    }
    // ---- Cylinder: the same quadratic in the plane across the axis, with
    // A = sigma^2 = |u x a|^2.
    case kSurfaceCylinder: {
      const double sigma = Norm(Cross(*u, a));
      if (sigma <= anglePrecision) return 0;  // ray parallel to the axis
      const VECTOR w = *p - s->point;
      const double Delta = fabs(Dot(Cross(*u, a), w)) / sigma;  // distance between the ray's line and the axis
      if (Delta >= s->radius - delta) return 0;
      const double halfChord = sqrt((s->radius - Delta) * (s->radius + Delta)) / sigma;
      if (halfChord <= delta) return 0;
      const VECTOR wAcross = w - Dot(w, a) * a;
      const VECTOR uAcross = *u - Dot(*u, a) * a;
      const double lengthW = Norm(wAcross);
      const double A = sigma * sigma;
      const double sqrtDisc = 2.0 * A * halfChord;
      n = 2;
      StableQuadraticRoots(A, 2.0 * Dot(wAcross, uAcross), (lengthW - s->radius) * (lengthW + s->radius),
                           sqrtDisc * sqrtDisc, &t[0], &t[1]);
      break;
    }
    // ---- Cone: roots of the double cone |w + t u|^2 = k ((w + t u) . a)^2,
    // k = 1 / cos^2, kept only on the nappe's side of the apex.
    case kSurfaceCone: {
      const VECTOR w = *p - s->point;
      const double mu = Dot(*u, a);
      const double wa = Dot(w, a);
      const double apexGap = Norm(w - Dot(w, *u) * *u);  // distance of the apex from the ray's line
      if (apexGap <= delta) {
        // The line passes through the apex: it meets the nappe there only, and
        // only when it runs inside the cone's opening.
        if (fabs(mu) <= s->cosHalfAngle + anglePrecision) return 0;
        n = 1;
        t[0] = -Dot(w, *u);
        break;
      }
      const double k = s->tanHalfAngle * s->tanHalfAngle + 1.0;
      double A = 1.0 - k * mu * mu;
      // A ray parallel to a line of the cone within the angle tolerance meets
      // it once; the second root of the rounded A would lie at ~1/A.
      if (fabs(A) <= anglePrecision) A = 0.0;
      const double B = 2.0 * (Dot(w, *u) - k * mu * wa);
      // C = |w|^2 - k (w . a)^2 = rho^2 - tan^2 h^2, factored so that a start
      // next to the nappe keeps the digits of its small root.
      const double rho = Norm(w - wa * a);
      const double C = (rho - s->tanHalfAngle * wa) * (rho + s->tanHalfAngle * wa);
      const double disc = B * B - 4.0 * A * C;
      if (A != 0.0 && sqrt(fabs(disc)) / fabs(2.0 * A) <= delta) return 0;  // tangent
      if (disc < 0.0) return 0;
      double roots[2];
      StableQuadraticRoots(A, B, C, disc, &roots[0], &roots[1]);
      for (int i = 0; i < 2; ++i) {
        if (roots[i] != INFINITY && wa + roots[i] * mu > 0.0) t[n++] = roots[i];
      }
      if (n == 0) return 0;
      break;
    }
    default:
      return 0;
  }

  // ---- A chord whose middle lies on the surface runs along it.
  if (n == 2) {
    const VECTOR middle = *p + (0.5 * (t[0] + t[1])) * *u;
    if (fabs(DistanceToSurface(&middle, s)) <= delta) return 0;
  }

  // ---- Start on the surface: the root nearer to zero is the start itself.
  if (startOnSurface < 0 || (startOnSurface > 0 && fabs(DistanceToSurface(p, s)) <= delta)) {
    if (--n == 0) return 0;
    if (fabs(t[0]) < fabs(t[1])) t[0] = t[1];
  }

  // ---- Roots behind the start point.
  if (t[0] < -delta) {
    if (n == 1 || t[1] < -delta) return 0;
    n = 1;
    t[0] = t[1];
  }

  // ---- Points on the surface: p + t u, pulled onto the surface along u by a
  // derivative-free search (the distances stay as computed).
  for (int i = 0; i < n; ++i) {
    points[i] = *p + t[i] * *u;
    double f = DistanceToSurface(&points[i], s);
    if (fabs(f) <= delta) continue;
    int fails = 0;
    double factor = 2.0;
    double best = 1e300;
    double fPrevious = 0.0;
    double magnitudePrevious = 0.0;
    for (int step = 0; fails < kSurfacePullMaxFails && step < kSurfacePullMaxSteps; ++step) {
      if (fPrevious * f <= 0.0) {
        factor *= -0.5;  // crossed the surface (or first step): back, half as far
      } else if (magnitudePrevious <= fabs(f)) {
        factor = -factor;  // got worse: turn round
      } else {
        factor *= 1.2;  // got better: a little further
      }
      points[i] -= (factor * f) * *u;
      const double fNext = DistanceToSurface(&points[i], s);
      if (fabs(fNext) < best) {
        best = fabs(fNext);
        fails = 0;
      } else {
        ++fails;
      }
      if (fabs(fNext) <= delta) break;
      magnitudePrevious = fabs(f);
      fPrevious = f;
      f = fNext;
    }
  }
  return n;
}

// Whether a and b describe the same surface within tolerance (cm) and
// anglePrecision. A plane with the opposite normal is the same plane; a cone
// with the opposite axis is not the same cone.
TQ_CPU_GPU inline bool SameSurface(const SURFACE* a, const SURFACE* b, double tolerance, double anglePrecision) {
  if (a->type != b->type) return false;
  const VECTOR shift = a->point - b->point;
  switch (a->type) {
    case kSurfacePlane:
      return fabs(Dot(shift, a->axis)) <= tolerance && Norm(Cross(a->axis, b->axis)) <= anglePrecision;
    case kSurfaceSphere:
      return fabs(a->radius - b->radius) <= tolerance && Norm(shift) <= tolerance;
    case kSurfaceCylinder:
      return fabs(a->radius - b->radius) <= tolerance && Norm(Cross(a->axis, b->axis)) <= anglePrecision &&
             Norm(Cross(a->axis, shift)) <= tolerance;
    case kSurfaceCone:
      return Norm(shift) <= tolerance && fabs(a->halfAngle - b->halfAngle) <= anglePrecision &&
             Norm(Cross(a->axis, b->axis)) <= anglePrecision && Dot(a->axis, b->axis) > 0.0;
    default:
      return false;
  }
}
