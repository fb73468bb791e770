#include "geometry/plane_tables.h"

#include "geometry/intersection_curves.h"
#include "geometry/surface_functions.h"

namespace {

SURFACE CoordinatePlane(int32_t axis, double c) {
  SURFACE s{};
  s.type = kSurfacePlane;
  s.macrobody = -1;
  s.axis = axis == 0 ? VECTOR{1, 0, 0} : axis == 1 ? VECTOR{0, 1, 0} : VECTOR{0, 0, 1};
  s.point = c * s.axis;
  s.offset = -c;
  return s;
}

// The side that one bounding surface decides on its own, or kSideOpen when
// it does not: the cell lies on the surface's side `sense`, the surface
// relates to the plane by `r`.
int8_t SideFromSurface(int32_t r, int8_t sense, const SURFACE& s, const SURFACE& plane) {
  if (r == 0) return sense * Dot(s.axis, plane.axis) > 0.0 ? kSidePositive : kSideNegative;
  if ((r == -1 && sense < 0) || (r == -2 && sense > 0)) return kSidePositive;
  if ((r == -3 && sense < 0) || (r == -4 && sense > 0)) return kSideNegative;
  return kSideOpen;
}

// The side of cell c against the plane, from its surfaces, their curves and its test point.
int8_t CellSide(const GeometryAnalysis& g, int32_t c, const int32_t* relation, const CURVE* curve, const SURFACE& plane,
                const TESTPOINT& test, double precision, bool openAllowed, uint8_t* reason) {
  const CELL& cell = g.cells[c];
  bool anyCurve = false;
  for (int k = 0; k < cell.nSurf; ++k) {
    const uint16_t s = cell.surfaces[k];
    const int8_t side = SideFromSurface(relation[s], cell.senses[k], g.surf[s], plane);
    if (side != kSideOpen) return side;
    if (relation[s] > 0) anyCurve = true;
  }
  if (!anyCurve) return kSideCrossing;
  for (int k = 0; k < cell.nSurf; ++k) {
    const uint16_t s = cell.surfaces[k];
    if (relation[s] < 1) continue;
    if (relation[s] > kCurveCylinderCylinder) return kSideCrossing;
    VECTOR point;
    int position = 0;
    if (CurveInCell(g, &curve[s], c, &point, &position, precision, k, -1) != kCurveOutsideRegion) return kSideCrossing;
  }
  if (test.kind != 0) {
    const double d = DistanceToSurface(&test.point, &plane);
    if (std::fabs(d) > precision) return d > 0.0 ? kSidePositive : kSideNegative;
    if (test.kind > 0) return kSideCrossing;
  }
  if (!openAllowed) {
    if (*reason == kSideKnown) *reason = test.kind == 0 ? kNoTestPoint : kTestPointOnPlane;
    return kSideCrossing;
  }
  if (*reason == kSideKnown) *reason = test.kind == 0 ? kNoTestPoint : kTestPointOnPlane;
  return kSideOpen;
}

}  // namespace

void BuildAxisPlanes(const GeometryAnalysis& g, int32_t nSurfaces, int32_t axis, const TESTPOINT* test,
                     double precision, bool openAllowed, AXISPLANES* ax, uint8_t* reason) {
  const size_t np = ax->coord.size();
  ax->relation.assign(np * static_cast<size_t>(nSurfaces), 0);
  ax->curve.assign(np * static_cast<size_t>(nSurfaces), CURVE{});
  ax->cellSide.assign(np * static_cast<size_t>(g.nCells), kSideCrossing);
  for (size_t p = 0; p < np; ++p) {
    const SURFACE plane = CoordinatePlane(axis, ax->coord[p]);
    int32_t* relation = &ax->relation[p * nSurfaces];
    CURVE* curve = &ax->curve[p * nSurfaces];
    for (int32_t s = 0; s < nSurfaces; ++s)
      relation[s] = IntersectSurfaces(&plane, &g.surf[s], &curve[s], precision, g.tol);
    for (int32_t c = 0; c < g.nCells; ++c)
      ax->cellSide[p * g.nCells + c] =
          CellSide(g, c, relation, curve, plane, test[c], precision, openAllowed, &reason[c]);
  }
}

void SettleOpenSides(int32_t c, int32_t nCells, int32_t axis, const TESTPOINT& test, double precision, AXISPLANES* ax,
                     uint8_t* reason) {
  for (size_t p = 0; p < ax->coord.size(); ++p) {
    int8_t& side = ax->cellSide[p * nCells + c];
    if (side != kSideOpen) continue;
    const SURFACE plane = CoordinatePlane(axis, ax->coord[p]);
    if (test.kind != 0) {
      const double d = DistanceToSurface(&test.point, &plane);
      if (std::fabs(d) > precision) {
        side = d > 0.0 ? kSidePositive : kSideNegative;
        continue;
      }
    }
    side = kSideCrossing;
    if (test.kind <= 0 && *reason == kSideKnown) *reason = test.kind == 0 ? kNoTestPoint : kTestPointOnPlane;
  }
}

BRACKET CellBracket(const AXISPLANES& ax, int32_t nCells, int32_t c) {
  BRACKET b;
  const int32_t np = ax.nPlanes();
  b.upper = np > 0 ? np - 1 : 0;
  for (int32_t p = 0; p < np; ++p) {
    const int8_t side = ax.cellSide[static_cast<size_t>(p) * nCells + c];
    if (side == kSidePositive) {
      b.lower = p;
      b.lowerFound = true;
    }
    if (side == kSideNegative && !b.upperFound) {
      b.upper = p;
      b.upperFound = true;
    }
  }
  return b;
}
