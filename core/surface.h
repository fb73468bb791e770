// SURFACE: one bounding surface of the complex geometry (a plane, a sphere, a
// cylinder or a one-nappe cone), either a plain surface S<n> or one facet of a
// macrobody. The table `surf` is read-only once the input is read and is
// copied unchanged to the devices.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/vector.h"

// Values of SURFACE::type.
enum SurfaceType : int32_t {
  kSurfacePlane = 1,
  kSurfaceSphere = 2,
  kSurfaceCylinder = 3,
  kSurfaceCone = 4,
};

constexpr int kMaxSurfaces = 10000;            // regular surfaces of a problem
constexpr int kTemporaryBoxPlanesPerThread = 6; // box planes behind the regular ones, per voxel-data thread

struct SURFACE {
  int32_t identifier;      // n of S<n>; for a macrobody facet its 1-based facet number; 0 for a transformed copy
  int32_t macrobody;       // index of the owning MACROBODY, -1 for a plain surface
  uint32_t referenceCount; // references from macrobody definitions
  int32_t type;            // SurfaceType
  VECTOR point;            // plane: a point of it; sphere: centre; cylinder: a point of the axis; cone: apex (cm)
  VECTOR axis;             // plane: unit normal; cylinder, cone: unit axis (into the cone's nappe)
  double offset;           // plane constant D: axis . r + D = 0 on the plane, -(axis . point) (cm)
  double radius;           // sphere and cylinder radius (cm)
  double halfAngle;        // cone half-angle (radians)
  double sinHalfAngle;
  double cosHalfAngle;
  double tanHalfAngle;
};

static_assert(offsetof(SURFACE, identifier) == 0);
static_assert(offsetof(SURFACE, macrobody) == 4);
static_assert(offsetof(SURFACE, referenceCount) == 8);
static_assert(offsetof(SURFACE, type) == 12);
static_assert(offsetof(SURFACE, point) == 16);
static_assert(offsetof(SURFACE, axis) == 40);
static_assert(offsetof(SURFACE, offset) == 64);
static_assert(offsetof(SURFACE, radius) == 72);
static_assert(offsetof(SURFACE, halfAngle) == 80);
static_assert(offsetof(SURFACE, sinHalfAngle) == 88);
static_assert(offsetof(SURFACE, cosHalfAngle) == 96);
static_assert(offsetof(SURFACE, tanHalfAngle) == 104);
static_assert(sizeof(SURFACE) == 112);
