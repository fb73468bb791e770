// The coordinate planes against the geometry: for every plane of an axis the
// relation of the plane to every surface (IntersectSurfaces, with the curve
// where they meet in one) and the side of every cell, and from the sides the
// planes that bracket each cell. Set-up only.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/cell_analysis.h"
#include "geometry/voxel_data.h"

// Side bytes of a cell against a plane.
enum PlaneSide : int8_t {
  kSidePositive = 1,   // the cell lies wholly above the plane
  kSideNegative = -1,  // wholly below
  kSideCrossing = 0,   // the cell may meet the plane
  kSideOpen = -2,      // not known yet: settled by the cell's test point
};

// A cell's test point: kind 1 strictly inside, -1 on its boundary only, 0 none.
struct TESTPOINT {
  VECTOR point;
  int8_t kind;
};

// Why a side was left open (the cell's state byte).
enum OpenSideReason : uint8_t {
  kSideKnown = 0,
  kNoTestPoint = 1,       // no point inside the cell has been found
  kTestPointOnPlane = 2,  // the test point lies on the plane and is only a surface point
};

// Fills axis planes `ax` (coordinates given) for the regular surfaces and the
// cells of g. A side the test point cannot settle is open (-2) when
// openAllowed, else crossing (0); reason[c] records why (first reason kept).
void BuildAxisPlanes(const GeometryAnalysis& g, int32_t nSurfaces, int32_t axis, const TESTPOINT* test,
                     double precision, bool openAllowed, AXISPLANES* ax, uint8_t* reason);

// Settles the open sides of cell c against its test point: farther than
// precision from the plane gives its side, else crossing; *reason (cell c's)
// records a crossing that rests on a missing or boundary test point.
void SettleOpenSides(int32_t c, int32_t nCells, int32_t axis, const TESTPOINT& test, double precision, AXISPLANES* ax,
                     uint8_t* reason);

// Bracketing planes of cell c on an axis: lower the highest plane with the
// cell above it, upper the lowest with the cell below it; when not found,
// lower = 0 and upper = the last plane index.
struct BRACKET {
  int32_t lower = 0;
  int32_t upper = 0;
  bool lowerFound = false;
  bool upperFound = false;
};
BRACKET CellBracket(const AXISPLANES& ax, int32_t nCells, int32_t c);
