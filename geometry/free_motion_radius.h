// Free-motion radius: the radius of a sphere about a point that none of the
// surfaces bounding the point's cell within its voxel cuts, nor the surfaces of
// the inner cells the particle could enter there. While an electron stays in
// that sphere it cannot leave its cell, so its steps need no boundary tracking.
// The worker's CTask::CalculateFreeMotionRadius calls this at its position.
#pragma once

#include <cmath>

#include "core/cell.h"
#include "core/hostdevice.h"
#include "core/surface.h"
#include "core/vector.h"
#include "core/voxel.h"
#include "geometry/surface_functions.h"

// Folds the surfaces of one voxel cell slot into the radius r (-1 = none yet).
// Returns false when p lies on one of them (the radius is then 0).
TQ_CPU_GPU inline bool FoldSlotSurfaces(const SURFACE* surf, const VOXEL& v, int slot, const VECTOR* p,
                                        double distancePrecision, double* r) {
  const uint16_t* list = v.cellSurf[slot];
  for (int k = 0; k < v.nCellSurf[slot]; ++k) {
    const double gap = fabs(DistanceToSurface(p, &surf[list[k]]));
    if (gap <= distancePrecision) return false;
    if (*r <= 0.0 || gap < *r) *r = gap;
  }
  return true;
}

// Radius (cm) at p for the cell at position cellSlot of voxel v's cell list:
// the smallest |f| over the cell's surfaces in the voxel and those of the
// voxel's cells that the cell (or a member of its union) encloses; 0 when p
// lies on one of them, -1 when there is none. The voxel's faces do not count.
TQ_CPU_GPU inline double FreeMotionRadiusAt(const SURFACE* surf, const CELL* cells, const VOXEL& v, VECTOR p,
                                            int cellSlot, double distancePrecision) {
  double r = -1.0;
  if (!FoldSlotSurfaces(surf, v, cellSlot, &p, distancePrecision, &r)) return 0.0;
  const int self = v.cells[cellSlot];
  const CELL& own = cells[self];
  if (own.innerCellCount != 0) {
    for (int slot = 0; slot < v.nCells; ++slot) {
      const int e = cells[v.cells[slot]].enclosingCell;
      if (e < 0) continue;
      const bool inner = e == self || (own.unionIndex >= 0 && own.unionIndex == cells[e].unionIndex);
      if (inner && !FoldSlotSurfaces(surf, v, slot, &p, distancePrecision, &r)) return 0.0;
    }
  }
  return r;
}
