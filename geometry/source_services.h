// Geometry services that the source sampling and the particle bank call in
// the complex geometry: locating a point or a ray in the voxel grid, setting
// the current cell from a voxel's cell list, and sampling a point of a volume
// source (geometry/cell_location.h).
#pragma once

#include <cstdint>

#include "core/task.h"
#include "core/vector.h"
#include "geometry/cell_location.h"

constexpr int32_t kGeometryServiceOk = 0;
constexpr int32_t kGeometryServiceFatal = -100;  // message printed

// From r along the unit direction u, finds the cell of r or the point where
// the ray enters a cell: sets task.voxelIndex, task.cellIndex and
// task.entrySurface, the distance to the entry in *distance (0 inside a cell)
// and the entry point in *entry; task.cellIndex stays negative when the ray
// meets no cell. The caller has unset the voxel and the cell slot.
inline int32_t LocateSourceRay(CTask& task, VECTOR r, VECTOR u, double* distance, VECTOR* entry) {
  int16_t surface = -1;
  if (TrackEntryExit(task, entry, &r, &u, distance, &surface, 0.0) != kTrackingOk) return kGeometryServiceFatal;
  task.entrySurface = surface;
  return kGeometryServiceOk;
}

// Sets task.iCell, task.cell, task.curStats and task.material from
// task.voxelIndex and task.cellIndex, and with radius true the free-motion
// radius when it is in use and the voxel has boundaries.
inline int32_t EnterCellOfVoxelSlot(CTask& task, bool radius) {
  EnterCellOfSlot(task, radius);
  return kGeometryServiceOk;
}

// Samples a point of the volume source uniformly in the source cell, drawing
// from task.rng; *accepted is false when the point fell outside the cell.
inline int32_t SampleVolumeSourcePoint(CTask& task, VECTOR* point, bool* accepted) {
  SampleVolumePoint(task, point, accepted);
  return kGeometryServiceOk;
}
