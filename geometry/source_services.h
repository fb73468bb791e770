// Geometry services that the source sampling and the particle bank call in
// the complex geometry: locating a point or a ray in the voxel grid, setting
// the current cell from a voxel's cell list, and sampling a point of a volume
// source. Until the transport follows particles through the cells, each
// answers kGeometryServiceUnavailable and the caller ends the run with a fatal
// error instead of following a particle it cannot place.
#pragma once

#include <cstdint>

#include "core/task.h"
#include "core/vector.h"

constexpr int32_t kGeometryServiceOk = 0;
constexpr int32_t kGeometryServiceUnavailable = -100;

// From r along the unit direction u, finds the cell of r or the point where
// the ray enters a cell: sets task.voxelIndex, task.cellIndex and
// task.entrySurface, the distance to the entry in *distance (0 inside a cell)
// and the entry point in *entry; task.cellIndex stays negative when the ray
// meets no cell.
inline int32_t LocateSourceRay(CTask& task, VECTOR r, VECTOR u, double* distance, VECTOR* entry) {
  (void)task, (void)r, (void)u, (void)distance, (void)entry;
  return kGeometryServiceUnavailable;
}

// Sets task.iCell, task.cell, task.curStats and task.material from
// task.voxelIndex and task.cellIndex, and the free-motion radius when it is in
// use and not stored.
inline int32_t EnterCellOfVoxelSlot(CTask& task) {
  (void)task;
  return kGeometryServiceUnavailable;
}

// Samples a point of the volume source uniformly in the source cell, drawing
// from task.rng; *accepted is false when the point fell outside the cell.
inline int32_t SampleVolumeSourcePoint(CTask& task, VECTOR* point, bool* accepted) {
  (void)task, (void)point, (void)accepted;
  return kGeometryServiceUnavailable;
}
