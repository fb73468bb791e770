// Voxel data of a complex geometry: which cells can hold points of each box
// of the coordinate-plane grid, and which of their bounding surfaces can be
// crossed inside it.
//
// The set-up builds the plane tables (PLANETABLES: per coordinate plane the
// relation and intersection curve of every surface, the side of every cell),
// deals the boxes out to the geometry workers (DivideVoxelWork), runs
// VoxelDataThread on each, and merges the boxes into the voxels that tracking
// uses (MergeVoxels). The workers read the geometry, write only the box
// records of their own slabs, their own six box-plane surfaces and their own
// work record.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/curve.h"
#include "core/voxel.h"
#include "geometry/cell_analysis.h"
#include "geometry/voxel_lookup.h"

// Codes of a surface against a box.
enum BoxSurfaceCode : int8_t {
  kBoxCrossed = 0,        // the surface crosses the box
  kBoxPositive = 1,       // the surface misses the box, which lies on its positive side
  kBoxNegative = -1,      // ... on its negative side
  kBoxFacePositive = 2,   // the surface is a face of the box, the box on its positive side
  kBoxFaceNegative = -2,  // ... on its negative side
  kBoxUndecided = 3,      // the surface meets no box plane and may lie inside the box
};

// Per axis and coordinate plane: the IntersectSurfaces code and curve of the
// plane with every surface, and the side of every cell.
struct AXISPLANES {
  std::vector<double> coord;      // [nPlanes] plane coordinates, increasing, cm
  std::vector<int32_t> relation;  // [plane x nSurfaces + s] IntersectSurfaces code of the plane and surface s
  std::vector<CURVE> curve;       // [plane x nSurfaces + s] their curve (codes 1 to 11)
  std::vector<int8_t> cellSide;   // [plane x nCells + c] 1 positive side, -1 negative, 0 crosses, -2 undecided
  int32_t nPlanes() const { return static_cast<int32_t>(coord.size()); }
};

// One grid box as a worker records it (before merging).
struct BOXRECORD {
  int16_t containerCell = -1;                   // as VOXEL::containerCell
  std::vector<uint16_t> surfaces;               // the box's surface list (SURFACE indices)
  std::vector<uint16_t> cells;                  // CELL indices, increasing
  std::vector<std::vector<uint16_t>> cellSurf;  // per cell its surfaces of the list
  std::vector<std::vector<int8_t>> cellSense;   // their senses
};

// What the voxel-data workers read; built by the set-up.
struct VoxelDataProblem {
  GeometryAnalysis analysis;  // surf holds the workers' box planes behind the regular surfaces
  SURFACE* surf;              // the same array, writable: worker t owns [nSurfaces + 6t, nSurfaces + 6t + 6)
  int32_t nSurfaces;          // regular surfaces
  const AXISPLANES* axis[3];  // x, y, z
  BOXRECORD* boxes;           // [(nX + 1)(nY + 1)(nZ + 1)] indexed by BoxIndex
  std::atomic<uint8_t>* geomThreadRunning;  // [workers]
  FILE* console;                            // where the inconsistent-box warning goes
};

// One voxel-data worker's record.
struct VOXELTHREADDATA {
  int32_t threadNo;  // 0 for the worker the calling thread runs
  int32_t firstX, strideX;
  int32_t firstY, strideY;
  int32_t firstZ, strideZ;
  double precision;  // distance precision; raised by the worker's cell analysis
  const VoxelDataProblem* problem;
};

// Index of box (x, y, z) in the box array of a grid with n[a] planes per axis.
inline int64_t BoxIndex(const int32_t n[3], int32_t x, int32_t y, int32_t z) {
  return (static_cast<int64_t>(x) * (n[1] + 1) + y) * (n[2] + 1) + z;
}

// Workers and their slabs: the axis with the most planes is dealt out slab by
// slab (ties x, y, z); at most planes + 1 workers; one when the grid has one box.
std::vector<VOXELTHREADDATA> DivideVoxelWork(const int32_t n[3], int32_t nThreads, double precision,
                                             const VoxelDataProblem* problem);

// Fills the boxes of the worker's slabs and clears its running flag last.
void VoxelDataThread(void* voxelThreadData);

// Classifies the box of slabs (x, y, z) into *out; worker t's box planes are used.
void ClassifyBox(const VoxelDataProblem& p, int32_t t, int32_t x, int32_t y, int32_t z, double* precision,
                 BOXRECORD* out);

// The voxels of a geometry and the lists they point into.
struct VOXELTABLE {
  std::vector<VOXEL> voxels;
  std::vector<int32_t> index;       // [(nX + 1)(nY + 1)(nZ + 1)] voxel of each box, by BoxIndex
  std::vector<int*> rows;           // voxel2index rows: [x][y] -> &index[...]
  std::vector<int* const*> planes;  // voxel2index: [x] -> &rows[...]
  int32_t nSmax_voxel = 0;          // most surfaces of one voxel
  struct LISTS;                     // the owned arrays of one voxel
  std::vector<std::unique_ptr<LISTS>> lists;
  VOXELTABLE();
  ~VOXELTABLE();
  VOXELTABLE(VOXELTABLE&&) noexcept;
  VOXELTABLE& operator=(VOXELTABLE&&) noexcept;
};

// Merges the boxes into voxels: a box cut by surfaces with several cells (or
// none holding it) is a voxel of its own; boxes wholly in one cell, or in no
// cell, are merged greedily into the largest block of equal boxes, their face
// surfaces united. The boxes are released. progress(done, total) is called
// every tenth box when given.
void MergeVoxels(const int32_t n[3], std::vector<BOXRECORD>* boxes, VOXELTABLE* table,
                 void (*progress)(int64_t done, int64_t total));
