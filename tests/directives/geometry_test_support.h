// Look-ups into the geometry records that an input has built, and the side of
// a point with respect to a cell's bounding surfaces, for the tests of the
// geometry directives.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/directives/geometry_tables.h"
#include "geometry/surface_functions.h"
#include "tests/directives/directive_test_support.h"

// Points this far inside or outside a bounding surface count as such.
constexpr double kSideMargin = 1e-9;

inline const SURFACE& PlainSurface(int32_t id) {
  const int32_t i = FindPlainSurface(id);
  EXPECT_GE(i, 0) << "no surface S" << id;
  return directives::geometry.surf[static_cast<size_t>(i < 0 ? 0 : i)];
}

inline const MACROBODY& Body(int32_t id) {
  const int32_t i = FindMacrobody(id);
  EXPECT_GE(i, 0) << "no macrobody S" << id;
  return directives::geometry.macrobodies[static_cast<size_t>(i < 0 ? 0 : i)];
}

inline const CELL& CellOf(int32_t id) {
  const int32_t i = FindCell(id);
  EXPECT_GE(i, 0) << "no cell C" << id;
  return directives::geometry.cell[static_cast<size_t>(i < 0 ? 0 : i)];
}

// The facet surface k (0-based) of macrobody id.
inline const SURFACE& Facet(int32_t id, int k) { return directives::geometry.surf[Body(id).facetSurfaces[k]]; }

// +1 strictly inside every bounding half-space of the list, -1 strictly
// outside one of them, 0 on a boundary.
inline int RegionSide(int n, const uint16_t* surfaces, const int8_t* senses, VECTOR p) {
  int side = 1;
  for (int k = 0; k < n; ++k) {
    const double f = senses[k] * DistanceToSurface(&p, &directives::geometry.surf[surfaces[k]]);
    if (f < -kSideMargin) return -1;
    if (f <= kSideMargin) side = 0;
  }
  return side;
}

inline int CellSide(int32_t id, VECTOR p) {
  const CELL& c = CellOf(id);
  return RegionSide(c.nSurf, c.surfaces, c.senses, p);
}

inline int BodySide(int32_t id, VECTOR p) {
  const MACROBODY& b = Body(id);
  return RegionSide(b.nFacets, b.facetSurfaces, b.facetSenses, p);
}

// The text of a vector, for messages of failed expectations.
inline std::string Text(VECTOR v) {
  return "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", " + std::to_string(v.z) + ")";
}

// Whether a and b agree to tol in every component.
inline bool Near(VECTOR a, VECTOR b, double tol = 1e-12) {
  return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol;
}

// A case of a table of refused inputs: the lines and the message.
struct REFUSAL {
  std::vector<std::string> lines;
  std::string message;
};

// Runs every case and expects exit code 1 with its message on the console.
inline void ExpectRefusals(const std::vector<REFUSAL>& cases) {
  for (const REFUSAL& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_TRUE(FailsWith(run, c.message)) << Lines(c.lines) << "expected: " << c.message << "console: " << run.console;
  }
}
