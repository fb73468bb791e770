// The worker's view of the complex geometry: the ray tracker and the
// free-motion radius at the particle of a worker record (TASKSTATE), entering
// the cell named by the record's voxel and cell slot, and sampling a point of
// the volume source. Host/device functions; the CTask methods of the same
// names (cell_location.cpp) are one-line wrappers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/material.h"
#include "core/randgen.h"
#include "core/task.h"
#include "core/vector.h"
#include "core/voxel.h"
#include "geometry/free_motion_radius.h"
#include "geometry/geometry_tables.h"
#include "geometry/ray_tracking.h"

// Results of the worker's tracking calls.
constexpr int32_t kTrackingOk = 0;
constexpr int32_t kTrackingFatal = 1;  // a work array too small for a voxel: message printed

// EntryExitPoint (geometry/ray_tracking.h) on the record's voxel and cell
// slot, with the record's work arrays. Prints the loss-of-precision warning
// the first time the record meets one (console only).
TQ_CPU_GPU inline int32_t TrackEntryExit(TASKSTATE& t, VECTOR* out, const VECTOR* start, const VECTOR* u,
                                         double* distance, int16_t* surface, double maxDistance) {
  const GeometryTables g = GetGeometryTables();
  TrackerState state{t.voxelIndex, t.cellIndex, t.precisionWarned};
  const int status = EntryExitPoint(g, t.tracker, &state, out, start, u, distance, surface, maxDistance);
  t.voxelIndex = state.voxelIndex;
  t.cellIndex = state.cellIndex;
  t.precisionWarned = state.precisionWarned;
  if ((status & kTrackPrecisionWarning) != 0) {
    printf(
        "\nWarning: Loss of precision when determining the particle's position relative to the bounding surfaces "
        "detected in %s No. %d. In order to avoid geometry errors, DISTANCE_PRECISION should be increased above "
        "the current value of %g.\n",
        PlaceWord(t), PlaceNumber(t, GetConstants().device), g.distancePrecision);
  }
  if ((status & kTrackWorkTooSmall) != 0) {
    printf("\nFatal error in %s No. %d: the tracking arrays are smaller than voxel %d needs.\n", WorkerWord(t),
           t.threadNo + 1, t.voxelIndex);
    return kTrackingFatal;
  }
  return kTrackingOk;
}

// The free-motion radius about the particle's position in its cell and voxel
// (geometry/free_motion_radius.h), with its centre.
TQ_CPU_GPU inline void ComputeFreeMotionRadius(TASKSTATE& t) {
  const GeometryTables g = GetGeometryTables();
  t.centerFree = t.pc.pos;
  t.maxRadius =
      FreeMotionRadiusAt(g.surf, g.cells, g.grid.voxels[t.voxelIndex], t.pc.pos, t.cellIndex, g.distancePrecision);
}

// True when the record's voxel is cut by cell boundaries (not wholly inside
// one cell), so that the free-motion radius limits free flights there.
TQ_CPU_GPU inline bool VoxelHasBoundaries(const TASKSTATE& t) {
  return GetGeometryTables().grid.voxels[t.voxelIndex].containerCell < 0;
}

// The statistics record of cell c: its own with per-cell statistics (the
// totals fold the members of a union into its first cell), else the
// record's overall one.
TQ_CPU_GPU inline INTERACTIONSTATS* StatsOfCell(const TASKSTATE& t, int32_t c) {
  return GetConstants().outputCellInteractionStats != 0 && t.cellStats != nullptr ? t.cellStats + c : t.stats;
}

// The cell at the record's voxel and cell slot becomes the current one: iCell,
// cell, curStats and (for a cell with a material) material; a void cell keeps
// the last material, whose tables its void makes unused. With radius true the
// free-motion radius is computed when it is in use and the voxel has
// boundaries.
TQ_CPU_GPU inline void EnterCellOfSlot(TASKSTATE& t, bool radius) {
  const Constants& k = GetConstants();
  const VOXEL& v = GetGeometryTables().grid.voxels[t.voxelIndex];
  t.iCell = static_cast<int16_t>(v.cells[t.cellIndex]);
  t.cell = k.cell + t.iCell;
  if (t.cell->material >= 0) t.material = k.material + t.cell->material;
  t.curStats = StatsOfCell(t, t.iCell);
  if (radius && k.useFreeMotionRadius != 0 && v.containerCell < 0) ComputeFreeMotionRadius(t);
}

// ---------------------------------------------------------------------------
// Volume source
// ---------------------------------------------------------------------------

namespace volume_source {

// Slot k of the cumulative volume table (n + 1 entries, the first 0) with
// cumulative[k] <= x < cumulative[k + 1], found by halving from `start`.
TQ_CPU_GPU inline int32_t CumulativeSlot(const double* cumulative, int32_t n, int32_t start, double x) {
  int32_t lo = 0, hi = n;
  int32_t mid = start > 0 && start < n ? start : n / 2;
  for (;;) {
    int32_t step;
    if (x >= cumulative[mid]) {
      lo = mid;
      step = (hi - mid) / 2;
    } else {
      hi = mid;
      step = (lo - mid) / 2;
    }
    if (step == 0) break;
    mid += step;
  }
  return lo;
}

// True when cell slot `slot` of voxel v holds p: the voxel's containing cell,
// or p on the inner side of each of the cell's surfaces in the voxel.
TQ_CPU_GPU inline bool SlotHolds(const GeometryTables& g, const VOXEL& v, int slot, const VECTOR* p) {
  if (v.containerCell >= 0 || v.containerCell == -2 - slot) return true;
  for (int k = 0; k < v.nCellSurf[slot]; ++k) {
    if (v.cellSense[slot][k] * DistanceToSurface(p, &g.surf[v.cellSurf[slot][k]]) < 0.0) return false;
  }
  return true;
}

// True when cell c is the source cell or a member of its union.
TQ_CPU_GPU inline bool IsSourceCell(const CELL* cells, int32_t c, int32_t sourceCell) {
  const int32_t u = cells[sourceCell].unionIndex;
  return c == sourceCell || (u >= 0 && cells[c].unionIndex == u);
}

// True when p of a partial voxel lies in the source cell (or its union) and
// in none of the cells excluded from it.
TQ_CPU_GPU inline bool PartialVoxelHolds(const GeometryTables& g, const VOXEL& v, int32_t sourceCell, const VECTOR* p) {
  int accepted = -1;
  for (int slot = 0; slot < v.nCells && accepted < 0; ++slot) {
    if (IsSourceCell(g.cells, v.cells[slot], sourceCell) && SlotHolds(g, v, slot, p)) accepted = v.cells[slot];
  }
  if (accepted < 0) return false;
  if (g.cells[accepted].innerCellCount == 0) return true;
  for (int slot = 0; slot < v.nCells; ++slot) {
    const int32_t e = g.cells[v.cells[slot]].enclosingCell;
    if (e < 0 || !(e == accepted || IsSourceCell(g.cells, e, sourceCell))) continue;
    if (SlotHolds(g, v, slot, p)) return false;
  }
  return true;
}

}  // namespace volume_source

// A point uniform in the source cell: a voxel of the source tables by volume,
// a point uniform in its box, accepted at once in a voxel wholly inside the
// cell and tested against the cell in a partial one. *accepted is false when
// the point fell outside (the caller draws a new source particle).
TQ_CPU_GPU inline void SampleVolumePoint(TASKSTATE& t, VECTOR* point, bool* accepted) {
  using namespace volume_source;
  const Constants& k = GetConstants();
  const GeometryTables g = GetGeometryTables();
  const int32_t nComplete = k.source_nCompleteVoxels;
  const int32_t n = nComplete + k.source_nPartialVoxels;
  int32_t slot = 0;
  if (n > 1) {
    const double x = t.rng->random2() * k.source_voxelVolumeSum[n];
    slot = CumulativeSlot(k.source_voxelVolumeSum, n, k.source_startVoxel, x);
  }
  const bool complete = nComplete > 0 && slot < nComplete;
  const int32_t vi = complete ? k.source_completeVoxels[slot] : k.source_partialVoxels[slot - nComplete];
  const VOXEL& v = g.grid.voxels[vi];
  const double* planes[3] = {g.grid.xCoord, g.grid.yCoord, g.grid.zCoord};
  const int first[3] = {v.firstX, v.firstY, v.firstZ};
  const int extra[3] = {v.extraX, v.extraY, v.extraZ};
  double c[3];
  for (int a = 0; a < 3; ++a) {
    // Source voxels are bounded on every axis (their volume is finite).
    const double lo = planes[a][first[a] - 1];
    const double hi = planes[a][first[a] + extra[a]];
    c[a] = lo + t.rng->random2() * (hi - lo);
  }
  *point = Init(c[0], c[1], c[2]);
  *accepted = complete || PartialVoxelHolds(g, v, k.sourceCell, point);
}
