// SURFACE records as the geometry directives build them: the four surface
// kinds (geometry/surface_shapes.h) and a surface moved by a coordinate
// transformation.
#pragma once

#include <cmath>

#include "core/surface.h"
#include "core/transform.h"
#include "geometry/frames.h"
#include "geometry/surface_shapes.h"

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
