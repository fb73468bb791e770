// CELL: one cell of the geometry (the simple geometry's layer is record 0):
// its material and concentration, its energy cutoffs, its pulse-height slot
// and its interaction-forcing switch; in the complex geometry also its signed
// bounding surfaces, the cells it encloses and the one that encloses it, its
// cell-entry tally lists and an interior point.
//
// The leading fields are those the simple geometry fills; the complex
// geometry's fields follow with defaults meaning "none", so a record built field
// by field or brace-initialised up to FORCE reads as a cell with no surfaces,
// no tallies and no enclosing cell. The
// variable-length lists are pointers sized to the problem; the device copy
// replaces them with device addresses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/vector.h"

constexpr int kMaxCells = 5000;             // cells of a problem
constexpr int kMaxCellSurfaces = 5000;      // bounding surfaces of one cell
constexpr int kMaxInnerCells = 5000;        // cells listed after '#' in one definition
constexpr int kCellEntrySlots = 10001;      // most entry slots of a cell: the inner cells and one per surface
constexpr int kCellEntryRows = 3;           // tally rows of the cell-entry lists

struct CELL {
  int32_t number;          // n of C<n>
  int32_t material;        // material index in use; negative = void
  double concentration;    // atoms per cm^3: times a per-atom cross section, the inverse mean free path
  double density;          // g/cm^3
  double CUT_E;            // electron and positron cutoff energy, eV
  double CUT_P;            // photon cutoff energy, eV
  int32_t pulseHeight;     // number of pulse-height tallies on the cell
  int32_t pulseHeightSlot; // the cell's slot in the pulse-height deposit array
  int32_t unionIndex;      // union of cells, -1 none
  int8_t FORCE;            // interaction forcing in this cell (0 or 1; negative = not given)
  // Complex geometry.
  uint8_t hasCellEntry[kCellEntryRows] = {};  // per tally row: the cell carries cell-entry tallies
  uint8_t interiorPointKind = 0;  // 0 none or a point on an edge, 1 strictly inside, 255 a vertex
  int16_t copiedFrom = -1;        // cell this one is a transformed copy of (the first of a chain), -1 none
  uint16_t nSurf = 0;             // bounding surfaces, at most kMaxCellSurfaces
  uint16_t nEntrySlots = 0;       // entries of each cell-entry row: 2 + the highest SURFACE index bounding the cell
  int32_t materialWritten = 0;    // material index as the definition named it, not redirected; -1 void
  int32_t enclosingCell = -1;     // cell that lists this one after '#', -1 none
  int32_t depth = 0;              // enclosing cells above this one
  int32_t innerCellCount = 0;     // cells listed after '#'
  VECTOR interiorPoint = {};      // the point interiorPointKind describes, cm
  uint16_t* surfaces = nullptr;   // [nSurf] SURFACE indices
  int8_t* senses = nullptr;       // [nSurf] side of each surface on which the cell lies: -1 or +1
  int32_t* innerCells = nullptr;  // [innerCellCount] CELL indices of the cells listed after '#'
  // Per row, [nEntrySlots] counts of the cell-entry tallies of each entry slot
  // (0 the cells inside this one, s + 1 bounding surface s), and their lists
  // of tally indices; a null row has none.
  uint16_t* cellEntryCount[kCellEntryRows] = {};
  uint16_t** cellEntryList[kCellEntryRows] = {};
  int16_t* surfMacrobody = nullptr;  // [nSurf] 0 plain surface, else +-(macrobody index + 1); messages only
  int16_t* surfFacet = nullptr;      // [nSurf] 0 plain surface, else facet number (negative: a single facet named)
};

static_assert(offsetof(CELL, number) == 0);
static_assert(offsetof(CELL, material) == 4);
static_assert(offsetof(CELL, concentration) == 8);
static_assert(offsetof(CELL, density) == 16);
static_assert(offsetof(CELL, CUT_E) == 24);
static_assert(offsetof(CELL, CUT_P) == 32);
static_assert(offsetof(CELL, pulseHeight) == 40);
static_assert(offsetof(CELL, pulseHeightSlot) == 44);
static_assert(offsetof(CELL, unionIndex) == 48);
static_assert(offsetof(CELL, FORCE) == 52);
static_assert(offsetof(CELL, hasCellEntry) == 53);
static_assert(offsetof(CELL, interiorPointKind) == 56);
static_assert(offsetof(CELL, copiedFrom) == 58);
static_assert(offsetof(CELL, nSurf) == 60);
static_assert(offsetof(CELL, nEntrySlots) == 62);
static_assert(offsetof(CELL, materialWritten) == 64);
static_assert(offsetof(CELL, enclosingCell) == 68);
static_assert(offsetof(CELL, depth) == 72);
static_assert(offsetof(CELL, innerCellCount) == 76);
static_assert(offsetof(CELL, interiorPoint) == 80);
static_assert(offsetof(CELL, surfaces) == 104);
static_assert(offsetof(CELL, senses) == 112);
static_assert(offsetof(CELL, innerCells) == 120);
static_assert(offsetof(CELL, cellEntryCount) == 128);
static_assert(offsetof(CELL, cellEntryList) == 152);
static_assert(offsetof(CELL, surfMacrobody) == 176);
static_assert(offsetof(CELL, surfFacet) == 184);
static_assert(sizeof(CELL) == 192);
