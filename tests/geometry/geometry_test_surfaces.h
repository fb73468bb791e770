// Surface records for the geometry tests: the program's own constructors,
// the cone's half-angle given in degrees.
#pragma once

#include "geometry/surface_shapes.h"

inline SURFACE MakePlane(VECTOR point, VECTOR normal) { return PlaneSurface(point, normal); }

inline SURFACE MakeSphere(VECTOR centre, double radius) { return SphereSurface(centre, radius); }

inline SURFACE MakeCylinder(VECTOR axisPoint, VECTOR axis, double radius) {
  return CylinderSurface(axisPoint, axis, radius);
}

inline SURFACE MakeCone(VECTOR apex, VECTOR axis, double halfAngleDegrees) {
  return ConeSurface(apex, axis, halfAngleDegrees * M_PI / 180.0);
}
