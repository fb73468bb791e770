// PLANESET and VOXEL: the grid of boxes laid over the complex geometry.
//
// Along each axis up to ten sets of equidistant planes cut the axis; all planes
// of an axis are numbered 0 ... nPlanes - 1 in increasing coordinate and cut it
// into nPlanes + 1 slabs: slab 0 below plane 0, slab s between planes s - 1
// and s, slab nPlanes above the last plane. A voxel covers a run of
// consecutive slabs along each axis.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxPlaneSetsPerAxis = 10;  // sets of equidistant planes per axis (entry 0 of the array holds none)

// A set of equidistant coordinate planes along one axis. After the input the
// sets of an axis are contiguous: each set but the last has its planes at
// start + k spacing (k < nPlanes) and ends where the next one starts; the last
// set is a single plane.
struct PLANESET {
  double start;        // coordinate of the first plane, cm
  double spacing;      // distance between neighbouring planes, cm
  int32_t firstPlane;  // index of the first plane among all planes of the axis
  int32_t nPlanes;     // planes of the set, 1 = a single plane
};

static_assert(offsetof(PLANESET, start) == 0);
static_assert(offsetof(PLANESET, spacing) == 8);
static_assert(offsetof(PLANESET, firstPlane) == 16);
static_assert(offsetof(PLANESET, nPlanes) == 20);
static_assert(sizeof(PLANESET) == 24);

// One voxel. The per-surface lists (nNegCells ... posCells) and the bit sets
// are filled only when containerCell < 0 and the voxel has cells; an empty
// voxel leaves surfaces and the per-cell lists unset as well.
struct VOXEL {
  int16_t containerCell;  // >= 0 the only cell; -1 none holds the whole voxel; <= -2 cells[-2 - value] holds it and the others lie inside it
  uint16_t nSurf;         // entries of surfaces
  uint16_t* surfaces;     // [nSurf] SURFACE indices
  uint16_t* nNegCells;    // [nSurf] voxel cells with this surface at sense -1
  uint16_t* nPosCells;    // [nSurf] voxel cells with it at sense +1
  uint16_t** negCells;    // [nSurf][nNegCells] those cells, as positions in cells
  uint16_t** posCells;    // [nSurf][nPosCells] those cells, as positions in cells
  uint16_t nCells;        // entries of cells
  uint16_t* cells;        // [nCells] CELL indices, increasing
  uint16_t* nCellSurf;    // [nCells] entries of each cell's surface list
  uint16_t** cellSurf;    // [nCells][nCellSurf] the cell's bounding surfaces in this voxel (SURFACE indices, in the order of surfaces)
  int8_t** cellSense;     // [nCells][nCellSurf] their senses, +1 or -1
  uint16_t nMaskWords;    // 16-bit words of each bit set: ceil(nSurf / 16); 0 when unused
  uint16_t** surfMask;    // [nCells][nMaskWords] bit k: the cell has surface k of surfaces
  uint16_t** posMask;     // [nCells][nMaskWords] bit k: ... with sense +1
  uint16_t firstX;        // first slab of the box along x
  uint16_t firstY;
  uint16_t firstZ;
  uint16_t extraX;        // further slabs of the box along x (0 = one slab)
  uint16_t extraY;
  uint16_t extraZ;
};

static_assert(offsetof(VOXEL, containerCell) == 0);
static_assert(offsetof(VOXEL, nSurf) == 2);
static_assert(offsetof(VOXEL, surfaces) == 8);
static_assert(offsetof(VOXEL, nNegCells) == 16);
static_assert(offsetof(VOXEL, nPosCells) == 24);
static_assert(offsetof(VOXEL, negCells) == 32);
static_assert(offsetof(VOXEL, posCells) == 40);
static_assert(offsetof(VOXEL, nCells) == 48);
static_assert(offsetof(VOXEL, cells) == 56);
static_assert(offsetof(VOXEL, nCellSurf) == 64);
static_assert(offsetof(VOXEL, cellSurf) == 72);
static_assert(offsetof(VOXEL, cellSense) == 80);
static_assert(offsetof(VOXEL, nMaskWords) == 88);
static_assert(offsetof(VOXEL, surfMask) == 96);
static_assert(offsetof(VOXEL, posMask) == 104);
static_assert(offsetof(VOXEL, firstX) == 112);
static_assert(offsetof(VOXEL, extraX) == 118);
static_assert(offsetof(VOXEL, extraZ) == 122);
static_assert(sizeof(VOXEL) == 128);
