// The run's geometry tables as the tracker reads them: a GeometryTables view
// (surfaces, cells, the voxel grid and the two precisions) of the tables that
// the Constants record carries, so that the host and every device read the
// copy of their own side (GetConstants()).
#pragma once

#include "core/cell.h"
#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/surface.h"
#include "core/voxel.h"
#include "geometry/ray_tracking.h"

namespace geometry {
// The view that the geometry set-up publishes when it ends (the same tables
// as the Constants record holds; the transport reads the record). Kept for the
// set-up's own checks; nothing on the workers' side reads it.
inline GeometryTables hostGeometryTables{};
}  // namespace geometry

// The view of the tables of k.
TQ_CPU_GPU inline GeometryTables GeometryTablesOf(const Constants& k) {
  GeometryTables g;
  g.surf = k.surf;
  g.cells = k.cell;
  g.grid = VoxelGrid{k.xSet,   k.ySet,   k.zSet,        k.nXsets,      k.nYsets,      k.nZsets,  k.xCoord,
                     k.yCoord, k.zCoord, k.nXplanesTot, k.nYplanesTot, k.nZplanesTot, k.voxels2, k.voxel2index};
  g.distancePrecision = k.distancePrecision;
  g.anglePrecision = k.anglePrecision;
  return g;
}

// The view of the side the caller runs on.
TQ_CPU_GPU inline GeometryTables GetGeometryTables() { return GeometryTablesOf(GetConstants()); }

// Points k at the tables of a view (tests and benchmarks build their geometry
// as a view; the set-up fills the fields itself).
inline void StoreGeometryTables(Constants& k, const GeometryTables& g) {
  k.surf = const_cast<SURFACE*>(g.surf);
  k.cell = const_cast<CELL*>(g.cells);
  k.xSet = const_cast<PLANESET*>(g.grid.xSet);
  k.ySet = const_cast<PLANESET*>(g.grid.ySet);
  k.zSet = const_cast<PLANESET*>(g.grid.zSet);
  k.nXsets = g.grid.nXsets;
  k.nYsets = g.grid.nYsets;
  k.nZsets = g.grid.nZsets;
  k.xCoord = const_cast<double*>(g.grid.xCoord);
  k.yCoord = const_cast<double*>(g.grid.yCoord);
  k.zCoord = const_cast<double*>(g.grid.zCoord);
  k.nXplanesTot = g.grid.nXplanesTot;
  k.nYplanesTot = g.grid.nYplanesTot;
  k.nZplanesTot = g.grid.nZplanesTot;
  k.voxels2 = const_cast<VOXEL*>(g.grid.voxels);
  k.voxel2index = g.grid.voxel2index;
  k.distancePrecision = g.distancePrecision;
  k.anglePrecision = g.anglePrecision;
}
