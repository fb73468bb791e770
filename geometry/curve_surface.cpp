#include "geometry/curve_surface.h"

#include <algorithm>
#include <cmath>

#include "geometry/frames.h"
#include "geometry/intersection_curves.h"
#include "geometry/surface_functions.h"

namespace {

// Trial points of a line's side lie this many precisions (plus 1 cm) along it.
constexpr double kSideTrialPrecisions = 100.0;
constexpr double kSideTrialOffset = 1.0;
// A root of a squared equation is kept when its residual is this small
// relative to the terms that cancel in it; a spurious sign choice leaves a
// residual of the order of the terms themselves.
constexpr double kSquaredRootResidual = 1e-7;

// The points found so far and the side values left by the branches.
struct Collector {
  int* branches;
  double* parameters;
  VECTOR* points;
  int count = 0;
  int sideMax = 0;
  int sideMin = 0;
  bool overflow = false;

  void Store(int branch, double t, VECTOR p) {
    if (count == kMaxRoots) {
      overflow = true;
      return;
    }
    branches[count] = branch;
    parameters[count] = t;
    points[count] = p;
    ++count;
  }
  void Side(int v) {
    sideMax = std::max(sideMax, v);
    sideMin = std::min(sideMin, v);
  }
};

int SignBeyond(double v, double eps) { return v > eps ? 1 : v < -eps ? -1 : 0; }

// Side of a line (or half-line from P) that meets s nowhere: the value at P,
// then a little along and (for a full line) against the direction.
int LineSide(VECTOR P, VECTOR u, bool halfLine, const SURFACE* s, double eps) {
  const double away = kSideTrialPrecisions * eps + kSideTrialOffset;
  const double trials[3] = {halfLine ? away : 0.0, halfLine ? 2.0 * away : away, halfLine ? 4.0 * away : -away};
  double v = 0.0;
  for (double t : trials) {
    const VECTOR p = P + t * u;
    v = DistanceToSurface(&p, s);
    if (fabs(v) > eps) break;
  }
  return SignBeyond(v, eps);
}

// Roots of a line P + t u with s, in ascending t: count 0 to 2. Tangent lines
// and lines parallel to a plane or a cylinder's axis give none.
int LineRoots(VECTOR P, VECTOR u, const SURFACE* s, double eps, double alpha, double* t) {
  switch (s->type) {
    case kSurfacePlane: {
      const double c = Dot(s->axis, u);
      if (fabs(c) <= alpha) return 0;
      t[0] = -(Dot(s->axis, P) + s->offset) / c;
      return 1;
    }
    case kSurfaceSphere: {
      const VECTOR w = s->point - P;
      const double b = Dot(u, w);
      const double gap = Norm(w - b * u);  // distance of the centre from the line
      if (gap >= s->radius) return 0;
      const double q = sqrt((s->radius - gap) * (s->radius + gap));
      if (q <= eps) return 0;
      t[0] = b - q;
      t[1] = b + q;
      return 2;
    }
    case kSurfaceCylinder: {
      const VECTOR m = Cross(u, s->axis);
      const double sm = Norm(m);
      if (sm < alpha) return 0;
      const VECTOR w = P - s->point;
      const double gap = fabs(Dot(w, m)) / sm;
      if (gap >= s->radius - eps) return 0;
      const VECTOR wAcross = w - Dot(w, s->axis) * s->axis;
      const VECTOR uAcross = u - Dot(u, s->axis) * s->axis;
      const double centre = -Dot(wAcross, uAcross) / (sm * sm);
      const double half = sqrt((s->radius - gap) * (s->radius + gap)) / sm;
      t[0] = centre - half;
      t[1] = centre + half;
      return 2;
    }
    case kSurfaceCone: {
      const VECTOR w = P - s->point;
      const double mu = Dot(u, s->axis), wa = Dot(w, s->axis);
      const double k = s->tanHalfAngle * s->tanHalfAngle + 1.0;
      double A = 1.0 - k * mu * mu;
      if (fabs(A) <= alpha) A = 0.0;
      const double B = 2.0 * (Dot(w, u) - k * mu * wa);
      const double rho = Norm(w - wa * s->axis);
      const double C = (rho - s->tanHalfAngle * wa) * (rho + s->tanHalfAngle * wa);
      const double disc = B * B - 4.0 * A * C;
      if (disc < 0.0) return 0;
      if (A != 0.0 && sqrt(disc) / fabs(2.0 * A) <= eps) return 0;  // tangent
      double lo, hi;
      StableQuadraticRoots(A, B, C, disc, &lo, &hi);
      int n = 0;
      for (double r : {lo, hi}) {
        if (r == INFINITY) continue;
        const VECTOR p = P + r * u;
        if (Dot(p - s->point, s->axis) > eps) t[n++] = r;  // on the nappe's side of the apex
      }
      return n;
    }
    default:
      return 0;
  }
}

// ---- Types 1 to 3: branch k is the line point[k] + t dir[k]; for type 3 the
// half-line t > eps, stored with the curve's own parameter (-t on branch 0).
void IntersectLines(const CURVE* c, const SURFACE* s, double eps, double alpha, Collector& out) {
  const bool halfLines = c->type == kCurveApexLines;
  const int nb = c->type == kCurveLine ? 1 : 2;
  for (int k = 0; k < nb; ++k) {
    const VECTOR P = c->point[k], u = c->dir[k];
    double t[2];
    const int n = LineRoots(P, u, s, eps, alpha, t);
    double kept[2];
    int nKept = 0;
    for (int i = 0; i < n; ++i)
      if (!halfLines || t[i] > eps) kept[nKept++] = t[i];
    if (nKept == 2) {
      const VECTOR middle = P + (0.5 * (kept[0] + kept[1])) * u;
      if (fabs(DistanceToSurface(&middle, s)) <= eps) nKept = 0;  // a chord lying on the surface
    }
    if (nKept == 0) {
      out.Side(LineSide(P, u, halfLines, s, eps));
      continue;
    }
    for (int i = 0; i < nKept; ++i) {
      const double parameter = halfLines && k == 0 ? -kept[i] : kept[i];
      out.Store(k, parameter, P + kept[i] * u);
    }
  }
}

// Parameter in [0, 2 pi) of point p of the circle or ellipse about `origin`.
double AngleOf(const CURVE* c, VECTOR origin, VECTOR p) {
  VECTOR local;
  RotateVectorTransposed(&local, c->frame, p - origin);
  const double t = atan2(local.y, local.x);
  return t < 0.0 ? t + kTwoPi : t;
}

// ---- Circles (types 4, 5) against a plane: the line where the circle's
// plane meets s, cut with the circle.
void CirclesPlane(const CURVE* c, const SURFACE* s, double eps, const AnalysisTolerances& tol, Collector& out) {
  const int nb = c->type == kCurveTwoCircles ? 2 : 1;
  const VECTOR normal = Init(c->frame[2], c->frame[5], c->frame[8]);
  for (int k = 0; k < nb; ++k) {
    const VECTOR centre = c->point[k];
    const double r = k == 0 ? c->coefA : c->coefB;
    SURFACE circlePlane{};
    circlePlane.type = kSurfacePlane;
    circlePlane.point = centre;
    circlePlane.axis = normal;
    circlePlane.offset = -Dot(normal, centre);
    CURVE line{};
    const int code = IntersectSurfaces(s, &circlePlane, &line, eps, tol);
    if (code == 0) continue;  // the circle lies in s
    if (code < 0) {
      out.Side(code >= -2 ? 1 : -1);
      continue;
    }
    const VECTOR u = line.dir[0];
    const VECTOR rel = line.point[0] - centre;
    const VECTOR w = rel - Dot(rel, u) * u;
    const double D = r * r - Dot(w, w);
    if (D > eps * r) {
      const double root = sqrt(D);
      const VECTOR p0 = centre + w - root * u, p1 = centre + w + root * u;
      out.Store(k, AngleOf(c, centre, p0), p0);
      out.Store(k, AngleOf(c, centre, p1), p1);
    } else {
      out.Side(Dot(w, s->axis) >= 0.0 ? -1 : 1);
    }
  }
}

// ---- Circles against a sphere: the sphere's circle in the circle's plane,
// cut with the curve's circle.
void CirclesSphere(const CURVE* c, const SURFACE* s, double eps, Collector& out) {
  const int nb = c->type == kCurveTwoCircles ? 2 : 1;
  const VECTOR normal = Init(c->frame[2], c->frame[5], c->frame[8]);
  for (int k = 0; k < nb; ++k) {
    const VECTOR centre = c->point[k];
    const double r = k == 0 ? c->coefA : c->coefB;
    const double height = Dot(normal, s->point - centre);
    if (fabs(height) >= s->radius - eps) {
      out.Side(1);  // the circle's plane misses the sphere
      continue;
    }
    const VECTOR sphereCentre = s->point - height * normal;
    const double r1 = sqrt((s->radius - height) * (s->radius + height));
    const VECTOR e = sphereCentre - centre;
    const double d = Norm(e);
    if (d <= eps) {
      out.Side(SignBeyond(r - r1, eps));
      continue;
    }
    if (d >= r + r1 - eps || d <= r - r1 + eps) {
      out.Side(1);  // apart, or the sphere's circle inside the curve's
      continue;
    }
    if (d <= r1 - r + eps) {
      out.Side(-1);  // the curve's circle inside the sphere
      continue;
    }
    const VECTOR unit = e / d;
    const double along = (d * d + r * r - r1 * r1) / (2.0 * d);
    const double across = sqrt(std::max(0.0, (r - along) * (r + along)));
    const VECTOR f = Cross(normal, unit);
    const VECTOR p0 = centre + along * unit - across * f, p1 = centre + along * unit + across * f;
    out.Store(k, AngleOf(c, centre, p0), p0);
    out.Store(k, AngleOf(c, centre, p1), p1);
  }
}

// Value of plane s along the curve: f(t) = n . point[0] + D + g . L(t) with g
// the normal in the curve's local frame.
VECTOR LocalNormal(const CURVE* c, const SURFACE* s) {
  VECTOR g;
  RotateVectorTransposed(&g, c->frame, s->axis);
  return g;
}

// ---- Ellipses (types 6, 7) against a plane: F0 + alpha sin t + beta cos t = 0.
void EllipsePlane(const CURVE* c, const SURFACE* s, double eps, Collector& out) {
  const VECTOR g = LocalNormal(c, s);
  double F0 = Dot(s->axis, c->point[0]) + s->offset, A, B;
  if (c->type == kCurveCylinderEllipse) {
    A = (g.x * c->slope + g.z) * c->lengthZ;
    B = g.y * c->semiY;
  } else {
    const double half = (g.x * c->slope + g.z) * 0.5 * c->lengthZ;
    F0 += g.x * c->offsetX + half;
    A = half;
    B = g.y * c->semiY;
  }
  const double amplitude = sqrt(A * A + B * B);
  if (amplitude - fabs(F0) <= eps) {
    out.Side(CurveSideOfSurface(c, 0, s, eps));  // apart or grazing
    return;
  }
  const double phase = atan2(A, B);  // A sin t + B cos t = amplitude cos(t - phase)
  const double opening = acos(-F0 / amplitude);
  double t[2] = {phase - opening, phase + opening};
  for (double& x : t) x = fmod(fmod(x, kTwoPi) + kTwoPi, kTwoPi);
  if (t[1] < t[0]) std::swap(t[0], t[1]);
  for (double x : t) out.Store(0, x, CurvePoint(c, 0, x, eps));
}

// ---- Conic branches (types 8, 9) against a plane: with z = t^2,
// f = K0 + K2 t^2 + K1 t sqrt(A + B t^2).
void ConicBranchPlane(const CURVE* c, const SURFACE* s, double eps, Collector& out) {
  const VECTOR g = LocalNormal(c, s);
  const double K0 = Dot(s->axis, c->point[0]) + s->offset + g.x * c->offsetX;
  const double K2 = g.x * c->slope + g.z;
  const double K1 = g.y;
  const double A = c->coefA, B = c->type == kCurveConeParabola ? 0.0 : c->coefB;
  auto value = [&](double t) { return K0 + K2 * t * t + K1 * t * sqrt(A + B * t * t); };
  auto scale = [&](double t) { return fabs(K0) + fabs(K2) * t * t + fabs(K1 * t) * sqrt(A + B * t * t); };
  double candidates[4];
  int n = 0;
  // Squared: (K0 + K2 u)^2 = K1^2 u (A + B u), u = t^2 >= 0.
  const double qa = K2 * K2 - K1 * K1 * B, qb = 2.0 * K0 * K2 - K1 * K1 * A, qc = K0 * K0;
  double u[2];
  int nu = 0;
  if (qa == 0.0) {
    if (qb != 0.0) u[nu++] = -qc / qb;
  } else {
    const double disc = qb * qb - 4.0 * qa * qc;
    if (disc >= 0.0) {
      StableQuadraticRoots(qa, qb, qc, disc, &u[0], &u[1]);
      nu = u[0] == u[1] ? 1 : 2;
      if (u[1] == INFINITY) nu = 1;
    }
  }
  for (int i = 0; i < nu; ++i) {
    if (!(u[i] >= 0.0)) continue;
    const double root = sqrt(u[i]);
    for (double t : {-root, root}) {
      if (n > 0 && t == candidates[n - 1]) continue;
      if (fabs(t) < c->range[0] && fabs(value(t)) <= kSquaredRootResidual * scale(t) + eps) candidates[n++] = t;
    }
  }
  for (int i = 1; i < n; ++i)  // ascending (at most four)
    for (int j = i; j > 0 && candidates[j] < candidates[j - 1]; --j) std::swap(candidates[j], candidates[j - 1]);
  // Two roots whose middle lies on the plane graze it.
  if (n == 2 && fabs(value(0.5 * (candidates[0] + candidates[1]))) <= eps) n = 0;
  if (n == 0) {
    out.Side(CurveSideOfSurface(c, 0, s, eps));
    return;
  }
  for (int i = 0; i < n; ++i) out.Store(0, candidates[i], CurvePoint(c, 0, candidates[i], eps));
}

// ---- Every other pair: the numerical root search along each branch.
void NumericalRoots(const CURVE* c, const SURFACE* s, double eps, const AnalysisTolerances& tol, Collector& out) {
  const int nb = CurveBranchCount(c->type);
  const uint8_t closedCurve = c->type >= kCurveCircle && c->type <= kCurveConeEllipse;
  const bool sharedEnds = c->type >= kCurveSphereCylinder;
  for (int k = 0; k < nb; ++k) {
    const CurveSurfaceContext context{c, s, k, eps};
    double roots[kMaxRoots];
    const int r = FindRoots(SurfaceValueOnCurve, &context, roots, eps, c->range[0], c->range[1], closedCurve,
                            0.1 * eps, eps, tol.maxDistanceRatio * eps);
    if (r == 0) {
      out.Side(CurveSideOfSurface(c, k, s, eps));
      continue;
    }
    const int n = r < 0 ? kMaxRoots : r;
    for (int i = 0; i < n; ++i) {
      const VECTOR p = CurvePoint(c, k, roots[i], eps);
      bool repeated = false;
      for (int j = 0; sharedEnds && j < out.count; ++j) repeated = repeated || Norm(p - out.points[j]) <= eps;
      if (!repeated) out.Store(k, roots[i], p);
    }
    if (r < 0) out.overflow = true;
    if (out.overflow) return;
  }
}

}  // namespace

int IntersectCurveSurface(const CURVE* curve, const SURFACE* s, int* branches, double precision,
                          double* parameters, VECTOR* points, int* side, const AnalysisTolerances& tol) {
  *side = 0;
  Collector out{branches, parameters, points};
  const int type = curve->type;
  if (type >= kCurveLine && type <= kCurveApexLines) {
    IntersectLines(curve, s, precision, tol.anglePrecision, out);
  } else if ((type == kCurveCircle || type == kCurveTwoCircles) && s->type == kSurfacePlane) {
    CirclesPlane(curve, s, precision, tol, out);
  } else if ((type == kCurveCircle || type == kCurveTwoCircles) && s->type == kSurfaceSphere) {
    CirclesSphere(curve, s, precision, out);
  } else if ((type == kCurveCylinderEllipse || type == kCurveConeEllipse) && s->type == kSurfacePlane) {
    EllipsePlane(curve, s, precision, out);
  } else if ((type == kCurveConeHyperbola || type == kCurveConeParabola) && s->type == kSurfacePlane) {
    ConicBranchPlane(curve, s, precision, out);
  } else {
    NumericalRoots(curve, s, precision, tol, out);
  }
  if (out.overflow) return kTooManyRoots;
  *side = out.sideMax + out.sideMin;
  return out.count;
}
