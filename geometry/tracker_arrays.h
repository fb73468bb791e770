// Allocation of a worker record's tracker work arrays (core/tracker_work.h).
#pragma once

#include <cstdint>

#include "core/tracker_work.h"

// Sizes the arrays for a problem of nSurfaces surfaces whose largest voxel
// lists maxVoxelSurfaces surfaces, with nCrossings crossing records
// (nSmax_voxel). Arrays held before are freed. False when memory is short
// (the arrays are then empty).
bool AllocateTrackerWork(TrackerWork& work, int32_t nSurfaces, int32_t maxVoxelSurfaces, int32_t nCrossings);

// Frees the arrays.
void FreeTrackerWork(TrackerWork& work);
