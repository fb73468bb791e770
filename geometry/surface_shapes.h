// SURFACE records of the four surface kinds from a point, a unit direction
// and a size: what the geometry directives and the geometry tests build.
#pragma once

#include <cmath>

#include "core/surface.h"
#include "core/vector.h"

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
