// Fuzz cases of the set-up analysis: random (often degenerate) surfaces, the
// curve of two of them, its meeting points with a third, and a random region
// of up to six of them through AnalyzeCell and CurveInRegion. Case i is
// generated from seed + i alone, so a failure replays from the printed pair.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "geometry/cell_analysis.h"
#include "geometry/curve_surface.h"
#include "geometry/intersection_curves.h"
#include "tests/geometry/geometry_random_surfaces.h"

namespace geometry_fuzz {

using namespace random_geometry;

struct FuzzTally {
  int64_t cases = 0;
  int64_t curves = 0;       // parametrised curves built
  int64_t roots = 0;        // curve-surface points found
  int64_t interior = 0;     // regions given an interior point
  int64_t failures = 0;     // NaN or out-of-range results
};

inline bool Finite(VECTOR v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A surface that shares the point, the axis or the size of the previous one
// half of the time: coaxial, concentric, parallel and tangent placements.
inline SURFACE DegenerateSurface(const SURFACE* previous, Rng& rng) {
  SURFACE s = RandomSurface(1 + static_cast<int>(rng() % 4), rng);
  if (previous == nullptr || rng() % 2 == 0) return s;
  switch (rng() % 4) {
    case 0: s.point = previous->point; break;
    case 1:
      if (previous->type != kSurfaceSphere) s.axis = previous->axis;
      break;
    case 2: s.point = previous->point + Uniform(rng, -1.0, 1.0) * (previous->type == kSurfaceSphere ? Init(0, 0, 1) : previous->axis); break;
    default:
      if (s.type == kSurfaceSphere || s.type == kSurfaceCylinder) s.radius = previous->radius;
      break;
  }
  if (s.type == kSurfacePlane) s.offset = -Dot(s.axis, s.point);
  return s;
}

// Runs one case; returns false (and prints it) on a NaN or out-of-range result.
inline bool RunCase(uint64_t seed, int64_t i, FuzzTally& tally) {
  Rng rng(seed + static_cast<uint64_t>(i));
  const AnalysisTolerances tol{1e-12, 1e20};
  const double precision = 1e-12;
  std::vector<SURFACE> surf;
  const int n = 2 + static_cast<int>(rng() % 5);
  for (int k = 0; k < n + 1; ++k) surf.push_back(DegenerateSurface(k > 0 ? &surf.back() : nullptr, rng));
  ++tally.cases;
  bool ok = true;
  // ---- Curve of the first two, and its points on the third.
  CURVE c{};
  const int code = IntersectSurfaces(&surf[0], &surf[1], &c, precision, tol);
  if (code < -4 || code > kCurveConeConeMeet) ok = false;
  if (code >= kCurveLine && code <= kLastParametrisedCurve) {
    ++tally.curves;
    const double t = c.range[1] > c.range[0] ? 0.5 * (c.range[0] + c.range[1]) : 0.5;
    if (!Finite(CurvePoint(&c, 0, t, precision)) || !std::isfinite(c.range[0]) || !std::isfinite(c.range[1])) ok = false;
    int branches[kMaxRoots], side = 0;
    double parameters[kMaxRoots];
    VECTOR points[kMaxRoots];
    const int r = IntersectCurveSurface(&c, &surf[2], branches, precision, parameters, points, &side, tol);
    if (r < kTooManyRoots || r > kMaxRoots || side < -1 || side > 1) ok = false;
    for (int q = 0; q < (r < 0 ? kMaxRoots : r); ++q) {
      ++tally.roots;
      if (!Finite(points[q]) || !std::isfinite(parameters[q])) ok = false;
    }
  }
  // ---- A region of the first n surfaces with random senses.
  std::vector<uint16_t> list(n);
  std::vector<int8_t> senses(n);
  for (int k = 0; k < n; ++k) {
    list[k] = static_cast<uint16_t>(k);
    senses[k] = rng() % 2 ? 1 : -1;
  }
  const GeometryAnalysis g{surf.data(), nullptr, 0, tol, {nullptr, nullptr, nullptr}, {0, 0, 0}, nullptr};
  uint8_t flag = 0;
  const int relation = SurfacePairRelation(g, list.data(), 0, 1, senses.data(), precision, &flag);
  if (relation < -2 || relation > 1) ok = false;
  VECTOR point{};
  uint8_t kind = 0;
  double raised = precision;
  const int v = AnalyzeCell(g, n, list.data(), senses.data(), &point, &kind, &raised);
  if (v < kRegionDoubtful || v > kRegionHasVolume || !std::isfinite(raised)) ok = false;
  if (kind == kPointInterior) {
    ++tally.interior;
    if (!Finite(point)) ok = false;
  }
  if (code >= kCurveLine && code <= kLastParametrisedCurve) {
    std::vector<const SURFACE*> pointers;
    for (int k = 0; k < n; ++k) pointers.push_back(&surf[k]);
    int position = -1;
    const int w = CurveInRegion(g, &c, n, pointers.data(), senses.data(), &point, &position, precision, 0, 1);
    if (w < kCurveOutsideRegion || w > kCurveWhollyInRegion) ok = false;
  }
  if (!ok) {
    ++tally.failures;
    std::printf("geometry fuzz failure: seed %llu case %lld\n", static_cast<unsigned long long>(seed),
                static_cast<long long>(i));
  }
  return ok;
}

}  // namespace geometry_fuzz
