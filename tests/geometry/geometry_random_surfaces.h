// Random surfaces, points on them and random unit vectors for the seeded
// property tests of the set-up analysis.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

#include "core/surface.h"
#include "core/vector.h"
#include "geometry/surface_functions.h"
#include "tests/geometry/geometry_test_surfaces.h"

namespace random_geometry {

using Rng = std::mt19937_64;

inline double Uniform(Rng& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

inline VECTOR UnitVector(Rng& rng) {
  const double z = Uniform(rng, -1.0, 1.0), phi = Uniform(rng, 0.0, 2.0 * M_PI);
  const double s = std::sqrt(1.0 - z * z);
  return Init(s * std::cos(phi), s * std::sin(phi), z);
}

inline VECTOR PointInCube(Rng& rng, double half) {
  return Init(Uniform(rng, -half, half), Uniform(rng, -half, half), Uniform(rng, -half, half));
}

// A surface of the given type near the origin, sizes of order 1 cm.
inline SURFACE RandomSurface(int type, Rng& rng) {
  switch (type) {
    case kSurfacePlane: return MakePlane(PointInCube(rng, 2.0), UnitVector(rng));
    case kSurfaceSphere: return MakeSphere(PointInCube(rng, 2.0), Uniform(rng, 0.5, 3.0));
    case kSurfaceCylinder: return MakeCylinder(PointInCube(rng, 2.0), UnitVector(rng), Uniform(rng, 0.3, 2.0));
    default: return MakeCone(PointInCube(rng, 2.0), UnitVector(rng), Uniform(rng, 10.0, 70.0));
  }
}

// Two unit vectors completing the unit axis a to a right-handed frame.
inline void Across(VECTOR a, VECTOR* u, VECTOR* v) {
  const VECTOR helper = std::fabs(a.x) < 0.6 ? Init(1.0, 0.0, 0.0) : Init(0.0, 1.0, 0.0);
  *u = Cross(a, helper);
  *u /= Norm(*u);
  *v = Cross(a, *u);
}

// A point of s within about `reach` cm of its reference point.
inline VECTOR RandomPointOn(const SURFACE& s, double reach, Rng& rng) {
  VECTOR u, v;
  const double phi = Uniform(rng, 0.0, 2.0 * M_PI);
  switch (s.type) {
    case kSurfacePlane:
      Across(s.axis, &u, &v);
      return s.point + Uniform(rng, -reach, reach) * u + Uniform(rng, -reach, reach) * v;
    case kSurfaceSphere:
      return s.point + s.radius * UnitVector(rng);
    case kSurfaceCylinder:
      Across(s.axis, &u, &v);
      return s.point + Uniform(rng, -reach, reach) * s.axis + s.radius * (std::cos(phi) * u + std::sin(phi) * v);
    default: {
      Across(s.axis, &u, &v);
      const double h = Uniform(rng, 0.0, reach);
      return s.point + h * s.axis + (h * s.tanHalfAngle) * (std::cos(phi) * u + std::sin(phi) * v);
    }
  }
}

}  // namespace random_geometry
