// SURFACE records as the geometry directives build them: planes, spheres,
// cylinders and cones from a point, a unit direction and a size, and a
// surface moved by a coordinate transformation.
#pragma once

#include <cmath>

#include "core/surface.h"
#include "core/transform.h"
#include "geometry/frames.h"

// The plane through point with the unit normal.
inline SURFACE PlaneSurface(VECTOR point, VECTOR normal) {
  SURFACE s{};
  s.type = kSurfacePlane;
  s.point = point;
  s.axis = normal;
  s.offset = -Dot(normal, point);
  return s;
}

inline SURFACE SphereSurface(VECTOR centre, double radius) {
  SURFACE s{};
  s.type = kSurfaceSphere;
  s.point = centre;
  s.radius = radius;
  return s;
}

// The cylinder of radius about the line through point along the unit axis.
inline SURFACE CylinderSurface(VECTOR point, VECTOR axis, double radius) {
  SURFACE s{};
  s.type = kSurfaceCylinder;
  s.point = point;
  s.axis = axis;
  s.radius = radius;
  return s;
}

// The one-nappe cone with the apex, the unit axis into the nappe and the
// half-angle (radians).
inline SURFACE ConeSurface(VECTOR apex, VECTOR axis, double halfAngle) {
  SURFACE s{};
  s.type = kSurfaceCone;
  s.point = apex;
  s.axis = axis;
  s.halfAngle = halfAngle;
  s.sinHalfAngle = std::sin(halfAngle);
  s.cosHalfAngle = std::cos(halfAngle);
  s.tanHalfAngle = std::tan(halfAngle);
  return s;
}

// The plane with its normal turned round: the same plane, the other side positive.
inline void ReversePlane(SURFACE* s) {
  s->axis = -s->axis;
  s->offset = -s->offset;
}

// A direction given in the auxiliary system of tr, in the main system (unit length).
inline VECTOR RotatedDirection(const TRANSFORM& tr, VECTOR d) {
  VECTOR out;
  ApplyTransform(&out, Init(0.0, 0.0, 0.0), tr.M, d);
  return out / Norm(out);
}

// A vector given in the auxiliary system of tr, in the main system (length kept).
inline VECTOR RotatedVector(const TRANSFORM& tr, VECTOR d) {
  VECTOR out;
  return *ApplyTransform(&out, Init(0.0, 0.0, 0.0), tr.M, d);
}

// A point given in the auxiliary system of tr, in the main system.
inline VECTOR MovedPoint(const TRANSFORM& tr, VECTOR p) {
  VECTOR out;
  return *ApplyTransform(&out, tr, p);
}

// The surface moved by tr: its point mapped, its direction rotated (not for
// a sphere), a plane's constant recomputed.
inline SURFACE MovedSurface(SURFACE s, const TRANSFORM& tr) {
  s.point = MovedPoint(tr, s.point);
  if (s.type != kSurfaceSphere) s.axis = RotatedDirection(tr, s.axis);
  if (s.type == kSurfacePlane) s.offset = -Dot(s.axis, s.point);
  return s;
}

// Two planes whose normals point in opposite directions.
inline bool OppositePlanes(const SURFACE& a, const SURFACE& b) {
  return a.type == kSurfacePlane && b.type == kSurfacePlane && Dot(a.axis, b.axis) < 0.0;
}
