// Surface records for the geometry tests.
#pragma once

#include <cmath>

#include "core/surface.h"
#include "core/vector.h"

inline SURFACE MakePlane(VECTOR point, VECTOR normal) {
  SURFACE s{};
  s.type = kSurfacePlane;
  s.point = point;
  s.axis = normal;
  s.offset = -Dot(normal, point);
  return s;
}

inline SURFACE MakeSphere(VECTOR centre, double radius) {
  SURFACE s{};
  s.type = kSurfaceSphere;
  s.point = centre;
  s.radius = radius;
  return s;
}

inline SURFACE MakeCylinder(VECTOR axisPoint, VECTOR axis, double radius) {
  SURFACE s{};
  s.type = kSurfaceCylinder;
  s.point = axisPoint;
  s.axis = axis;
  s.radius = radius;
  return s;
}

inline SURFACE MakeCone(VECTOR apex, VECTOR axis, double halfAngleDegrees) {
  SURFACE s{};
  s.type = kSurfaceCone;
  s.point = apex;
  s.axis = axis;
  s.halfAngle = halfAngleDegrees * M_PI / 180.0;
  s.sinHalfAngle = std::sin(s.halfAngle);
  s.cosHalfAngle = std::cos(s.halfAngle);
  s.tanHalfAngle = std::tan(s.halfAngle);
  return s;
}
