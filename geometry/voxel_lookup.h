// Voxel grid lookup: the slab of a coordinate along one axis, the voxel of a
// point and the distance from a point to the nearest face of its voxel's box.
//
// VoxelGrid is a read-only view of the grid tables (host or device addresses);
// the worker's method forms read it from the problem's tables.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"
#include "core/vector.h"
#include "core/voxel.h"

struct VoxelGrid {
  const PLANESET* xSet;  // [nXsets] plane sets along x; entry 0 holds none
  const PLANESET* ySet;
  const PLANESET* zSet;
  int32_t nXsets;        // counts include entry 0: 1 = no planes along the axis
  int32_t nYsets;
  int32_t nZsets;
  const double* xCoord;  // [nXplanesTot] coordinates of all planes along x, increasing, cm
  const double* yCoord;
  const double* zCoord;
  int32_t nXplanesTot;
  int32_t nYplanesTot;
  int32_t nZplanesTot;
  const VOXEL* voxels;
  int* const* const* voxel2index;  // [x slab][y slab][z slab] voxel index
};

// Slab index (0 ... number of planes) of coordinate x among the plane sets of
// one axis. A coordinate within distancePrecision of a plane falls in the slab
// the ray is heading into (direction true: towards increasing coordinate).
TQ_CPU_GPU inline int FindPlaneSlab(const PLANESET* sets, int nSets, double x, bool direction,
                                    double distancePrecision) {
  if (nSets <= 1) return 0;
  const double y = direction ? x + distancePrecision : x - distancePrecision;
  int k = nSets - 1;
  while (k >= 1 && sets[k].start > y) --k;
  if (k == 0) return 0;  // below all planes
  const PLANESET& set = sets[k];
  if (set.nPlanes <= 1) return set.firstPlane + 1;
  // Rounding may carry the quotient of a coordinate just below the next set's
  // start up to the plane count; the slab cannot leave the set.
  int offset = static_cast<int>((y - set.start) / set.spacing);
  if (offset > set.nPlanes - 1) offset = set.nPlanes - 1;
  return set.firstPlane + 1 + offset;
}

TQ_CPU_GPU inline int FindXplane(const VoxelGrid& grid, double x, bool direction, double distancePrecision) {
  return FindPlaneSlab(grid.xSet, grid.nXsets, x, direction, distancePrecision);
}

TQ_CPU_GPU inline int FindYplane(const VoxelGrid& grid, double y, bool direction, double distancePrecision) {
  return FindPlaneSlab(grid.ySet, grid.nYsets, y, direction, distancePrecision);
}

TQ_CPU_GPU inline int FindZplane(const VoxelGrid& grid, double z, bool direction, double distancePrecision) {
  return FindPlaneSlab(grid.zSet, grid.nZsets, z, direction, distancePrecision);
}

// Index of the voxel that holds p, a point on a plane counted in the slab the
// direction u heads into along that axis.
TQ_CPU_GPU inline int VoxelAt(const VoxelGrid& grid, VECTOR p, VECTOR u, double distancePrecision) {
  const int ix = FindXplane(grid, p.x, u.x > 0.0, distancePrecision);
  const int iy = FindYplane(grid, p.y, u.y > 0.0, distancePrecision);
  const int iz = FindZplane(grid, p.z, u.z > 0.0, distancePrecision);
  return grid.voxel2index[ix][iy][iz];
}

// Distance (cm) from p to the nearest present face of the voxel's box: 0 when
// p lies on or outside a face, -1 when the box has no face on any axis.
TQ_CPU_GPU inline double DistanceToNearestFace(const VoxelGrid& grid, const VECTOR* p, int voxelIndex) {
  const VOXEL& v = grid.voxels[voxelIndex];
  const double coordinate[3] = {p->x, p->y, p->z};
  const double* planes[3] = {grid.xCoord, grid.yCoord, grid.zCoord};
  const int nPlanes[3] = {grid.nXplanesTot, grid.nYplanesTot, grid.nZplanesTot};
  const int first[3] = {v.firstX, v.firstY, v.firstZ};
  const int extra[3] = {v.extraX, v.extraY, v.extraZ};
  double d = -1.0;
  for (int axis = 0; axis < 3; ++axis) {
    // Lower face: plane first - 1; upper face: plane first + extra.
    if (first[axis] > 0) {
      const double gap = coordinate[axis] - planes[axis][first[axis] - 1];
      if (gap <= 0.0) return 0.0;
      if (d < 0.0 || gap < d) d = gap;
    }
    const int upper = first[axis] + extra[axis];
    if (upper < nPlanes[axis]) {
      const double gap = planes[axis][upper] - coordinate[axis];
      if (gap <= 0.0) return 0.0;
      if (d < 0.0 || gap < d) d = gap;
    }
  }
  return d;
}
