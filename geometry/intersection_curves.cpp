#include "geometry/intersection_curves.h"

#include <algorithm>
#include <cmath>

#include "geometry/frames.h"
#include "geometry/search2d.h"
#include "geometry/surface_functions.h"

namespace {

// Internal result of a case: the surfaces do not meet in a curve, classify them.
constexpr int kClassify = -100;
// Test points of the classification and the side trials lie this many
// precisions (plus kTestPointOffset) from a reference point.
constexpr double kTestPointPrecisions = 100.0;

VECTOR Unit(VECTOR v) { return v / Norm(v); }

double Clamp1(double x) { return std::max(-1.0, std::min(1.0, x)); }

void SetCircle(CURVE* c, VECTOR centre, VECTOR axis, double radius, double anglePrecision) {
  c->type = kCurveCircle;
  c->point[0] = centre;
  c->dir[0] = axis;
  c->coefA = radius;
  MakeFrame(c->frame, axis, anglePrecision);
}

// ---- Plane-plane: the line along n_a x n_b through the point that solves both
// plane equations with the coordinate of the largest |c| component set to 0.
int PlanePlane(const SURFACE* a, const SURFACE* b, CURVE* c, double alpha) {
  const VECTOR n = Cross(a->axis, b->axis);
  if (Norm(n) <= alpha) return kClassify;
  const VECTOR na = a->axis, nb = b->axis;
  double p, q, r, s;  // [[p q] [r s]] (u v) = (-Da -Db) over the two kept coordinates
  int zeroed;
  if (fabs(n.z) >= fabs(n.x) && fabs(n.z) >= fabs(n.y)) {
    zeroed = 2; p = na.x; q = na.y; r = nb.x; s = nb.y;
  } else if (fabs(n.y) >= fabs(n.x)) {
    zeroed = 1; p = na.x; q = na.z; r = nb.x; s = nb.z;
  } else {
    zeroed = 0; p = na.y; q = na.z; r = nb.y; s = nb.z;
  }
  const double det = p * s - q * r;
  const double u = (-a->offset * s + q * b->offset) / det;
  const double v = (-p * b->offset + r * a->offset) / det;
  c->type = kCurveLine;
  c->dir[0] = Unit(n);
  c->point[0] = zeroed == 2 ? Init(u, v, 0.0) : zeroed == 1 ? Init(u, 0.0, v) : Init(0.0, u, v);
  return kCurveLine;
}

int PlaneSphere(const SURFACE* plane, const SURFACE* sphere, CURVE* c, double eps, double alpha) {
  const double s = Dot(plane->axis, sphere->point) + plane->offset;
  if (fabs(s) >= sphere->radius - eps) return kClassify;
  SetCircle(c, sphere->point - s * plane->axis, plane->axis,
            sqrt((sphere->radius - s) * (sphere->radius + s)), alpha);
  return kCurveCircle;
}

int SphereSphere(const SURFACE* a, const SURFACE* b, CURVE* c, double eps, double alpha) {
  const SURFACE* large = a->radius >= b->radius ? a : b;
  const SURFACE* small = large == a ? b : a;
  const VECTOR v = large->point - small->point;
  const double d = Norm(v);
  if (d <= eps || d <= fabs(a->radius - b->radius) + eps || d >= a->radius + b->radius - eps) return kClassify;
  const VECTOR axis = v / d;
  const double h = (d * d + large->radius * large->radius - small->radius * small->radius) / (2.0 * d);
  SetCircle(c, large->point - h * axis, axis, sqrt((large->radius - h) * (large->radius + h)), alpha);
  return kCurveCircle;
}

int PlaneCylinder(const SURFACE* plane, const SURFACE* cyl, CURVE* c, double eps, double alpha) {
  const VECTOR n = plane->axis, a = cyl->axis;
  const double cosine = Dot(n, a);
  if (fabs(cosine) <= alpha) {
    // Plane parallel to the axis: two lines at +-r across the foot Q.
    const double s = Dot(n, cyl->point) + plane->offset;
    if (fabs(s) >= cyl->radius - eps) return kClassify;
    const VECTOR foot = cyl->point - s * n;
    const double r = sqrt((cyl->radius - s) * (cyl->radius + s));
    const VECTOR w = Unit(Cross(n, a));
    c->type = kCurveTwoLines;
    c->point[0] = foot + r * w;
    c->point[1] = foot - r * w;
    c->dir[0] = c->dir[1] = a;
    return kCurveTwoLines;
  }
  const double lambda = -(Dot(n, cyl->point) + plane->offset) / cosine;
  const VECTOR centre = cyl->point + lambda * a;
  const double sinAngle = Norm(Cross(n, a));
  if (sinAngle <= alpha) {
    SetCircle(c, centre, n, cyl->radius, alpha);
    return kCurveCircle;
  }
  c->type = kCurveCylinderEllipse;
  c->point[0] = centre;
  c->dir[0] = a;
  c->slope = fabs(cosine) / sinAngle;
  c->coefA = cyl->radius * cyl->radius;
  c->coefB = c->slope * c->slope;
  c->semiY = cyl->radius;
  c->lengthZ = cyl->radius / c->slope;
  MakeFrameRef(c->frame, a, n, alpha);
  return kCurveCylinderEllipse;
}

// ---- Plane-cone. In the frame MakeFrameRef(a, n) about the apex the plane is
// X = k (Z - lambda) (X = -s when it is parallel to the axis) and the cone
// X^2 + Y^2 = T^2 Z^2.
int PlaneCone(const SURFACE* plane, const SURFACE* cone, CURVE* c, double eps, double alpha) {
  const VECTOR n = plane->axis, a = cone->axis, apex = cone->point;
  const double T = cone->tanHalfAngle;
  const double cosine = Dot(n, a);
  const double s = Dot(n, apex) + plane->offset;
  const bool parallel = fabs(cosine) <= alpha;
  const double lambda = parallel ? 0.0 : -s / cosine;
  if (fabs(cosine) >= cone->sinHalfAngle - alpha && (lambda <= eps || fabs(s) <= eps)) return kClassify;
  c->dir[0] = a;
  const double sinAngle = Norm(Cross(n, a));
  if (sinAngle <= alpha) {
    SetCircle(c, apex + lambda * a, a, T * lambda, alpha);
    return kCurveCircle;
  }
  const double k = fabs(cosine) / sinAngle;
  c->slope = k;
  MakeFrameRef(c->frame, a, n, alpha);
  if (fabs(s) <= eps) {
    // Through the apex: the two generators X = k Z, Y = +-w Z.
    const double w = sqrt(std::max(0.0, T * T - k * k));
    VECTOR g0, g1;
    RotateVector(&g0, c->frame, Init(k, w, 1.0));
    RotateVector(&g1, c->frame, Init(k, -w, 1.0));
    c->type = kCurveApexLines;
    c->dir[0] = Unit(g0);
    c->dir[1] = Unit(g1);
    c->point[0] = c->point[1] = apex;
    return kCurveApexLines;
  }
  if (k > T + alpha) {
    if (lambda <= eps) return kClassify;
    c->type = kCurveConeEllipse;
    c->offsetX = -lambda * k * T / (k + T);
    c->semiY = -c->offsetX * sqrt((T + k) / (k - T));
    c->lengthZ = -2.0 * c->offsetX / (k - T);
    c->coefA = -2.0 * c->offsetX * (T + k);
    c->coefB = T * T - k * k;
    c->point[0] = apex + (lambda * k / (T + k)) * a;
    return kCurveConeEllipse;
  }
  if (k >= T - alpha) {
    if (lambda <= eps) return kClassify;
    c->type = kCurveConeParabola;
    c->offsetX = -0.5 * lambda * T;
    c->lengthZ = 0.5 * lambda;
    c->coefA = -4.0 * c->offsetX * T;
    c->coefB = 0.0;
    c->point[0] = apex + (0.5 * lambda) * a;
    return kCurveConeParabola;
  }
  double q;
  if (parallel) {
    // The plane X = -s (the frame's x is the normal itself); vertex at Z = |s| / T.
    q = fabs(s) / T;
    c->offsetX = -s;
    c->coefA = 2.0 * fabs(s) * T;
    c->coefB = T * T;
  } else if (lambda <= 0.0) {
    q = -lambda * k / (T - k);
    c->offsetX = T * q;
    c->coefA = 2.0 * c->offsetX * (T - k);
    c->coefB = T * T - k * k;
  } else {
    q = lambda * k / (T + k);
    c->offsetX = -T * q;
    c->coefA = 2.0 * T * q * (T + k);
    c->coefB = T * T - k * k;
  }
  c->type = kCurveConeHyperbola;
  c->lengthZ = q;
  c->point[0] = apex + q * a;
  return kCurveConeHyperbola;
}

int CylinderCylinder(const SURFACE* a, const SURFACE* b, CURVE* c, double eps, double alpha) {
  const VECTOR w = Cross(a->axis, b->axis);
  const double sw = Norm(w);
  if (sw <= alpha) {
    // ---- Parallel axes: two lines through the meeting points of the sections.
    const VECTOR across = Cross(a->point - b->point, a->axis);
    const double d = Norm(across);
    if (d <= fabs(a->radius - b->radius) + eps || d >= a->radius + b->radius - eps) return kClassify;
    const SURFACE* large = a->radius >= b->radius ? a : b;
    const SURFACE* small = large == a ? b : a;
    const VECTOR f = across / d;
    const VECTOR offset = small->point - large->point;
    const VECTOR e = Unit(offset - Dot(offset, large->axis) * large->axis);
    const double h = (d * d + large->radius * large->radius - small->radius * small->radius) / (2.0 * d);
    const double r = sqrt((large->radius - h) * (large->radius + h));
    const VECTOR foot = large->point + h * e;
    c->type = kCurveTwoLines;
    c->point[0] = foot + r * f;
    c->point[1] = foot - r * f;
    c->dir[0] = c->dir[1] = large->axis;
    return kCurveTwoLines;
  }
  // ---- Skew axes: four branches over the common perpendicular.
  const VECTOR v = b->point - a->point;
  const double d = fabs(Dot(v, w)) / sw;
  if (d >= a->radius + b->radius - eps) return kClassify;
  // Nearest points of the two axis lines: a->point + s1 a1, b->point + s2 a2.
  const double g = Dot(a->axis, b->axis);
  const double va = Dot(v, a->axis), vb = Dot(v, b->axis);
  const double s1 = (va - g * vb) / (sw * sw);
  const VECTOR near1 = a->point + s1 * a->axis;
  // The direction to axis 2 along the common perpendicular; any of its two
  // senses when the axes meet.
  VECTOR towards = w / sw;
  if (Dot(towards, v) < 0.0) towards = -towards;
  // The local x axis is +-a1, chosen so that axis 2 has a positive local y
  // component; the branch formulas divide by that component.
  VECTOR xAxis = a->axis;
  if (Dot(b->axis, Cross(towards, xAxis)) < 0.0) xAxis = -xAxis;
  c->type = kCurveCylinderCylinder;
  c->point[0] = near1;
  c->dir[0] = towards;
  c->coefA = a->radius * a->radius;
  c->coefB = b->radius * b->radius;
  c->coefC = d;
  c->cosAxes = Dot(xAxis, b->axis);
  MakeFrameRef(c->frame, towards, xAxis, alpha);
  return kCurveCylinderCylinder;
}

int SphereCylinder(const SURFACE* sphere, const SURFACE* cyl, CURVE* c, double eps, double alpha) {
  const VECTOR rel = sphere->point - cyl->point;
  const VECTOR foot = cyl->point + Dot(rel, cyl->axis) * cyl->axis;
  const double d = Norm(foot - sphere->point);
  const double rs = sphere->radius, rc = cyl->radius;
  if (d <= rc - rs + eps || d >= rc + rs - eps) return kClassify;
  if (d > eps) {
    c->type = kCurveSphereCylinder;
    c->point[0] = sphere->point;
    c->dir[0] = (foot - sphere->point) / d;
    c->coefA = rc * rc;
    c->coefB = (rs - rc) * (rs + rc);
    c->coefC = d;
    MakeFrameRef(c->frame, c->dir[0], cyl->axis, alpha);
    return kCurveSphereCylinder;
  }
  const double h = sqrt((rs - rc) * (rs + rc));
  c->type = kCurveTwoCircles;
  c->point[0] = sphere->point + h * cyl->axis;
  c->point[1] = sphere->point - h * cyl->axis;
  c->dir[0] = c->dir[1] = cyl->axis;
  c->coefA = c->coefB = rc;
  MakeFrame(c->frame, cyl->axis, alpha);
  return kCurveTwoCircles;
}

// ---- Sphere-cone with the centre on the axis at signed distance h from the
// apex: the generators meet the sphere at rho = h cos +- sqrt(R^2 - h^2 sin^2).
int SphereCone(const SURFACE* sphere, const SURFACE* cone, CURVE* c, double eps, double alpha) {
  const double rs = sphere->radius;
  if (fabs(DistanceToSurface(&sphere->point, cone)) >= rs - eps) return kClassify;
  const VECTOR rel = sphere->point - cone->point;
  const double h = Dot(rel, cone->axis);
  if (Norm(rel - h * cone->axis) > eps) return kCurveSphereConeMeet;
  const double theta = cone->halfAngle;
  const double phi = asin(Clamp1(h * cone->sinHalfAngle / rs));
  const double radius0 = rs * sin(phi + theta);
  const double radius1 = rs * sin(phi - theta);
  const VECTOR centre0 = cone->point + (h + rs * cos(phi + theta)) * cone->axis;
  const VECTOR centre1 = cone->point + (h - rs * cos(phi - theta)) * cone->axis;
  c->dir[0] = c->dir[1] = cone->axis;
  MakeFrame(c->frame, cone->axis, alpha);
  c->point[0] = centre0;
  c->coefA = radius0;
  if (radius0 > eps && radius1 > eps) {
    c->type = kCurveTwoCircles;
    c->point[1] = centre1;
    c->coefB = radius1;
  } else {
    c->type = kCurveCircle;
    if (radius1 > eps) {
      c->point[0] = centre1;
      c->coefA = radius1;
    }
  }
  return c->type;
}

// Azimuths from which the simplex search starts: one start is a local search
// and can settle on the far side of the carrier from the other surface.
constexpr int kSearchStarts = 4;

// Whether the simplex search over the carrier finds a point inside the tested
// surface (value below -eps).
bool SearchFindsInside(int carrierKind, const SURFACE* carrier, const SURFACE* tested, double x0, double hx,
                       double eps, double alpha) {
  SurfaceSearchContext context{carrierKind, carrier, tested, {}, eps};
  MakeFrame(context.frame, carrier->axis, alpha);
  for (int start = 0; start < kSearchStarts; ++start) {
    double x = x0, phi = start * (kTwoPi / kSearchStarts);
    const double least = Search2D(TransformedSurfaceValue, &context, &x, &phi, hx, kSearchAzimuthStep, eps, alpha,
                                  kSearchUnbounded, kSearchUnbounded, eps, -eps);
    if (least < -eps) return true;
  }
  return false;
}

int CylinderCone(const SURFACE* cyl, const SURFACE* cone, CURVE* c, double eps, double alpha) {
  const VECTOR aY = cyl->axis, aK = cone->axis;
  const VECTOR U = cone->point - cyl->point;
  const double e = Norm(Cross(U, aY));
  const double sw = Norm(Cross(aY, aK));
  const double g = Dot(aY, aK);
  const double T = cone->tanHalfAngle, R = cyl->radius;
  if (e <= eps && sw <= alpha) {
    SetCircle(c, cone->point + (R / T) * aK, aK, R, alpha);
    return kCurveCircle;
  }
  if (e < R - eps || sw < cone->sinHalfAngle - alpha) return kCurveCylinderConeMeet;
  const double mu = (g * Dot(aY, U) - Dot(aK, U)) / (sw * sw);
  const double xStar = Dot(aY, U) + g * mu;
  const double d = fabs(Dot(U, Cross(aY, aK))) / sw;
  if (R / sw + mu <= eps) return kClassify;
  if (mu > eps && d + eps < mu * T + R) return kCurveCylinderConeMeet;
  return SearchFindsInside(kCarrierCylinder, cyl, cone, xStar, d, eps, alpha) ? kCurveCylinderConeMeet : kClassify;
}

// An angle in (-pi, pi].
double WrapAngle(double x) { return x > M_PI ? x - kTwoPi : x <= -M_PI ? x + kTwoPi : x; }

// Whether two cones whose axes are coplanar with their apexes have disjoint
// sections in that plane (no boundary ray of one meets one of the other): by
// symmetry about that plane the solid cones are then disjoint.
bool ConeSectionsDisjoint(const SURFACE* a, const SURFACE* b, VECTOR apexToApex, double alpha) {
  const VECTOR r = Unit(apexToApex);
  const VECTOR na = Cross(r, a->axis), nb = Cross(r, b->axis);
  const double psiA = atan2(Norm(na), Dot(r, a->axis));
  double psiB = atan2(Norm(nb), Dot(r, b->axis));
  if (Dot(na, nb) < 0.0) psiB = -psiB;
  const double X[2] = {WrapAngle(psiA - a->halfAngle), WrapAngle(psiA + a->halfAngle)};
  const double Y[2] = {WrapAngle(psiB - b->halfAngle), WrapAngle(psiB + b->halfAngle)};
  for (double x : X)
    for (double y : Y)
      if (x * y > alpha && fabs(x) < fabs(y)) return false;
  return true;
}

int ConeCone(const SURFACE* a, const SURFACE* b, CURVE* c, double eps, double alpha) {
  const double g = Dot(a->axis, b->axis);
  const double beta = acos(Clamp1(g));
  const VECTOR w = Cross(a->axis, b->axis);
  const double sw = Norm(w);
  const VECTOR U = b->point - a->point;
  const double l = Norm(U);
  if (l <= eps) {
    // ---- Common apex: the two common generators.
    if (beta <= fabs(a->halfAngle - b->halfAngle) + alpha || beta >= a->halfAngle + b->halfAngle - alpha)
      return kClassify;
    const double q = (b->cosHalfAngle / a->cosHalfAngle - g) / sw;
    const double r = sqrt(std::max(0.0, a->tanHalfAngle * a->tanHalfAngle - q * q));
    const VECTOR e2 = w / sw;
    const VECTOR e1 = Cross(e2, a->axis);
    c->type = kCurveApexLines;
    c->dir[0] = Unit(a->axis + q * e1 + r * e2);
    c->dir[1] = Unit(a->axis + q * e1 - r * e2);
    c->point[0] = c->point[1] = a->point;
    return kCurveApexLines;
  }
  if (Norm(Cross(U, a->axis)) <= eps && sw <= alpha) {
    // ---- Coaxial: one circle where the radii agree.
    double z = Dot(U, a->axis);
    if (z <= eps && g < 0.0) return kClassify;
    const SURFACE* i = a;
    const SURFACE* j = b;
    if (z <= eps) {
      z = -z;
      i = b;
      j = a;
    }
    if (g > 0.0 && j->sinHalfAngle <= i->sinHalfAngle + alpha) return kClassify;
    const double Tj = g < 0.0 ? -j->tanHalfAngle : j->tanHalfAngle;
    const double rho = z * Tj / (Tj - i->tanHalfAngle);
    SetCircle(c, i->point + rho * i->axis, i->axis, i->tanHalfAngle * rho, alpha);
    return kCurveCircle;
  }
  // ---- An apex inside the other cone.
  const SURFACE* inner = nullptr;
  const SURFACE* outer = nullptr;
  if (DistanceToSurface(&a->point, b) < -eps) {
    inner = a;
    outer = b;
  } else if (DistanceToSurface(&b->point, a) < -eps) {
    inner = b;
    outer = a;
  }
  if (inner != nullptr) {
    if (inner->halfAngle < outer->halfAngle - alpha && beta < outer->halfAngle - inner->halfAngle) return kClassify;
    return kCurveConeConeMeet;
  }
  if (beta < a->halfAngle + b->halfAngle) return kCurveConeConeMeet;
  // ---- Coplanar axes: the plane sections decide.
  const bool coplanar = sw <= alpha || fabs(Dot(U, w)) <= alpha * sw * l;
  if (coplanar && ConeSectionsDisjoint(a, b, U, alpha)) return kClassify;
  // ---- Nearest points of the axis lines, then the search over cone b.
  double lambda = 0.0, mu = -Dot(U, b->axis), d;
  if (sw > alpha) {
    const double ua = Dot(U, a->axis), ub = Dot(U, b->axis);
    lambda = (ua - g * ub) / (sw * sw);
    mu = (g * ua - ub) / (sw * sw);
    d = fabs(Dot(U, w)) / sw;
  } else {
    d = Norm(Cross(U, a->axis));
  }
  if (lambda > eps && mu > eps && d + eps < b->tanHalfAngle * mu + a->tanHalfAngle * lambda)
    return kCurveConeConeMeet;
  // Over cone b from its point nearest to a's axis, then over cone a; a start
  // behind an apex (where the carrier is the apex alone) moves out to the
  // apex distance, and a zero axis gap leaves the apex distance as the step.
  const double step = d > eps ? d : l;
  if (SearchFindsInside(kCarrierCone, b, a, mu > eps ? mu : l, step, eps, alpha)) return kCurveConeConeMeet;
  return SearchFindsInside(kCarrierCone, a, b, lambda > eps ? lambda : l, step, eps, alpha) ? kCurveConeConeMeet
                                                                                           : kClassify;
}

// Dispatch on the pair of types, the lower type first.
int Construct(const SURFACE* p, const SURFACE* q, CURVE* c, double eps, double alpha) {
  switch (p->type * 10 + q->type) {
    case 11: return PlanePlane(p, q, c, alpha);
    case 12: return PlaneSphere(p, q, c, eps, alpha);
    case 13: return PlaneCylinder(p, q, c, eps, alpha);
    case 14: return PlaneCone(p, q, c, eps, alpha);
    case 22: return SphereSphere(p, q, c, eps, alpha);
    case 23: return SphereCylinder(p, q, c, eps, alpha);
    case 24: return SphereCone(p, q, c, eps, alpha);
    case 33: return CylinderCylinder(p, q, c, eps, alpha);
    case 34: return CylinderCone(p, q, c, eps, alpha);
    case 44: return ConeCone(p, q, c, eps, alpha);
    default: return kClassify;
  }
}

// ---- Test points of the classification: up to three points of x, tried in
// order while the other surface's value at them stays within the precision.
int TestPoints(const SURFACE* x, double eps, const AnalysisTolerances& tol, VECTOR* points) {
  const double away = kTestPointPrecisions * eps + kTestPointOffset;
  CURVE circle{};
  switch (x->type) {
    case kSurfacePlane: {
      SURFACE sphere{};
      sphere.type = kSurfaceSphere;
      sphere.point = x->point;
      sphere.radius = away;
      IntersectSurfaces(x, &sphere, &circle, eps, tol);
      points[0] = x->point;
      points[1] = CurvePoint(&circle, 0, 0.0, eps);
      points[2] = CurvePoint(&circle, 0, 0.5 * M_PI, eps);
      return 3;
    }
    case kSurfaceSphere:
      points[0] = x->point + Init(x->radius, 0.0, 0.0);
      points[1] = x->point + Init(0.0, x->radius, 0.0);
      points[2] = x->point + Init(0.0, 0.0, x->radius);
      return 3;
    case kSurfaceCylinder:
    case kSurfaceCone: {
      SURFACE plane{};
      plane.type = kSurfacePlane;
      plane.axis = x->axis;
      plane.point = x->type == kSurfaceCylinder ? x->point : x->point + away * x->axis;
      plane.offset = -Dot(plane.axis, plane.point);
      IntersectSurfaces(x, &plane, &circle, eps, tol);
      const VECTOR p0 = CurvePoint(&circle, 0, 0.0, eps);
      const VECTOR p1 = CurvePoint(&circle, 0, 0.5 * M_PI, eps);
      if (x->type == kSurfaceCylinder) {
        points[0] = p0;
        points[1] = p1;
        points[2] = p1 + away * x->axis;
      } else {
        points[0] = x->point;
        points[1] = p0;
        points[2] = p1;
      }
      return 3;
    }
    default:
      points[0] = x->point;
      return 1;
  }
}

double ValueAtTestPoints(const SURFACE* x, const SURFACE* y, double eps, const AnalysisTolerances& tol) {
  VECTOR points[3];
  const int n = TestPoints(x, eps, tol, points);
  double v = 0.0;
  for (int i = 0; i < n; ++i) {
    v = DistanceToSurface(&points[i], y);
    if (fabs(v) > eps) break;
  }
  return v;
}

bool Coincide(const SURFACE* a, const SURFACE* b, double eps, double alpha) {
  if (a->type != b->type) return false;
  const VECTOR shift = b->point - a->point;
  switch (a->type) {
    case kSurfacePlane:
      return fabs(Dot(a->axis, shift)) <= eps && Norm(Cross(a->axis, b->axis)) <= alpha;
    case kSurfaceSphere:
      return Norm(shift) <= eps && fabs(a->radius - b->radius) <= eps;
    case kSurfaceCylinder:
      return Norm(Cross(a->axis, b->axis)) <= alpha && Norm(Cross(shift, a->axis)) <= eps &&
             fabs(a->radius - b->radius) <= eps;
    case kSurfaceCone:
      return Norm(shift) <= eps && Norm(Cross(a->axis, b->axis)) <= alpha &&
             fabs(a->sinHalfAngle - b->sinHalfAngle) <= alpha && Dot(a->axis, b->axis) > 0.0;
    default:
      return false;
  }
}

}  // namespace

int ClassifySurfacePair(const SURFACE* a, const SURFACE* b, double precision, const AnalysisTolerances& tol) {
  if (Coincide(a, b, precision, tol.anglePrecision)) return kPairSameSurface;
  const double s0 = ValueAtTestPoints(a, b, precision, tol);
  const double s1 = ValueAtTestPoints(b, a, precision, tol);
  if (s0 > 0.0 && s1 > 0.0) return kPairMutuallyOutside;
  if (s0 < 0.0 && s1 > 0.0) return kPairFirstInside;
  if (s0 > 0.0 && s1 < 0.0) return kPairSecondInside;
  return kPairOtherRelation;
}

int IntersectSurfaces(const SURFACE* a, const SURFACE* b, CURVE* curve, double precision,
                      const AnalysisTolerances& tol) {
  const bool ordered = a->type <= b->type;
  const int code = Construct(ordered ? a : b, ordered ? b : a, curve, precision, tol.anglePrecision);
  if (code == kClassify) {
    curve->type = -ClassifySurfacePair(a, b, precision, tol);
    return curve->type;
  }
  curve->type = code;
  CurveParameterRange(curve, precision, tol.maxDistanceRatio);
  return code;
}

int CurveSideOfSurface(const CURVE* curve, int branch, const SURFACE* s, double precision) {
  double trials[3];
  if (curve->range[1] <= curve->range[0]) {
    double step = kTestPointPrecisions * precision + kTestPointOffset;
    if (curve->type == kCurveConeHyperbola || curve->type == kCurveConeParabola) step = sqrt(step);
    trials[0] = 0.0;
    trials[1] = step;
    trials[2] = -step;
  } else {
    const double quarter = 0.25 * (curve->range[1] - curve->range[0]);
    for (int i = 0; i < 3; ++i) trials[i] = curve->range[0] + (i + 1) * quarter;
  }
  double v = 0.0;
  for (double t : trials) {
    const VECTOR p = CurvePoint(curve, branch, t, precision);
    v = DistanceToSurface(&p, s);
    if (fabs(v) > precision) break;
  }
  return v > precision ? 1 : v < -precision ? -1 : 0;
}

double SurfaceValueOnCurve(double t, const void* curveSurfaceContext) {
  const CurveSurfaceContext& c = *static_cast<const CurveSurfaceContext*>(curveSurfaceContext);
  const VECTOR p = CurvePoint(c.curve, c.branch, t, c.precision);
  return DistanceToSurface(&p, c.surface);
}

double TransformedSurfaceValue(double x, double phi, const void* surfaceSearchContext) {
  const SurfaceSearchContext& c = *static_cast<const SurfaceSearchContext*>(surfaceSearchContext);
  const VECTOR q = c.carrier->point + x * c.carrier->axis;
  if (c.carrierKind == kCarrierCone && x < c.distancePrecision) return DistanceToSurface(&q, c.tested);
  const double rho = c.carrierKind == kCarrierCylinder ? c.carrier->radius : x * c.carrier->tanHalfAngle;
  VECTOR p;
  ApplyTransform(&p, q, c.frame, Init(rho * cos(phi), rho * sin(phi), 0.0));
  return DistanceToSurface(&p, c.tested);
}
