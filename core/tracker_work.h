// The ray tracker's work arrays of a worker record (geometry/ray_tracking.h):
// crossing records, side bits and cached surface values, sized once at set-up
// for the largest voxel so that tracking allocates nothing.
#pragma once

#include <cstdint>

#include "core/vector.h"

// One crossing of a surface along the ray.
struct CROSSING {
  double t;         // distance along the ray from the current point, cm
  VECTOR point;     // the crossing point, cm
  int16_t surface;  // position in the voxel's surface list
  uint8_t side;     // side of the surface after the crossing: 0 negative, 1 positive
};

// The worker's tracker work arrays, sized once at set-up.
struct TrackerWork {
  uint16_t* sideBits = nullptr;     // [nSideWords] one bit per surface of a voxel
  int32_t nSideWords = 0;           // capacity of sideBits
  double* surfaceValues = nullptr;  // [nSurfaces] last surface-function value per SURFACE index, cm
  CROSSING* crossings = nullptr;    // [nCrossings] crossing records of the locating walk
  int32_t nCrossings = 0;           // capacity of crossings (nSmax_voxel)
};
