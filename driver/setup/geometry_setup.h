// The set-up of a complex geometry, after the input and before the first
// history: the point budget of the cell volumes, the coordinate-plane grid and
// the side of every cell against every plane, an interior point of every cell,
// the check that every '#' cell lies inside its enclosing cell, the voxel data
// (on the geometry workers) and its merging into voxels, and the Monte Carlo
// volumes of the cells. What it builds is read-only afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/status.h"
#include "geometry/plane_tables.h"
#include "geometry/voxel_data.h"

// What the set-up leaves for the reports, the constants and the transport.
struct GEOMETRYSETUPRESULT {
  AXISPLANES axis[3];                     // x, y, z planes with their surface relations and cell sides
  std::vector<BRACKET> bracket[3];        // [nCells] per axis the planes that bracket each cell
  std::vector<TESTPOINT> testPoint;       // [nCells] a point of each cell
  VOXELTABLE voxels;                      // the voxels and voxel2index
  std::vector<double> cellVolume;         // [nCells] cm^3 (a union's at its first cell); -1 unknown
  std::vector<double> cellVolumeSigma;    // [nCells] standard deviation of an estimated volume, cm^3; 0 exact or given
  std::vector<double> completeVolume;     // [nCells] volume of the voxels wholly inside the cell (or union), cm^3
  std::vector<double> partialVolume;      // [nCells] volume of the voxels it shares, cm^3
  std::vector<uint8_t> volumeComputable;  // [nCells] every voxel of the cell is bounded by planes
  std::vector<uint8_t> boxSet;            // [nCells] boxMin and boxMax hold a point of the cell
  std::vector<VECTOR> boxMin;             // [nCells] smallest coordinates of its complete voxels and inner points, cm
  std::vector<VECTOR> boxMax;             // [nCells] largest, cm
  std::vector<int32_t> sourceCompleteVoxels;  // volume source: voxels wholly inside the source cell
  std::vector<int32_t> sourcePartialVoxels;   // ... and those it shares
  std::vector<double> sourceCumulative;       // cumulative volumes, complete then partial, first 0, cm^3
  int32_t sourceStartVoxel = 0;               // largest entry below half the total
  int32_t nGeometryWorkers = 0;               // voxel-data workers that ran
};

namespace setup {
extern GEOMETRYSETUPRESULT geometrySetUpResult;
}  // namespace setup

// Runs the whole set-up; messages on the console, kInputError on an error.
Status SetUpComplexGeometry();

// The records empty again.
void ResetGeometrySetUp();
