#include "geometry/tracker_arrays.h"

#include <cstdlib>

void FreeTrackerWork(TrackerWork& work) {
  std::free(work.sideBits);
  std::free(work.surfaceValues);
  std::free(work.crossings);
  work = TrackerWork{};
}

bool AllocateTrackerWork(TrackerWork& work, int32_t nSurfaces, int32_t maxVoxelSurfaces, int32_t nCrossings) {
  FreeTrackerWork(work);
  const int32_t words = (maxVoxelSurfaces + 15) / 16;
  // One word, value and record at least, so that an empty problem still has arrays.
  work.sideBits = static_cast<uint16_t*>(std::calloc(static_cast<size_t>(words > 0 ? words : 1), sizeof(uint16_t)));
  work.surfaceValues =
      static_cast<double*>(std::calloc(static_cast<size_t>(nSurfaces > 0 ? nSurfaces : 1), sizeof(double)));
  work.crossings =
      static_cast<CROSSING*>(std::calloc(static_cast<size_t>(nCrossings > 0 ? nCrossings : 1), sizeof(CROSSING)));
  if (work.sideBits == nullptr || work.surfaceValues == nullptr || work.crossings == nullptr) {
    FreeTrackerWork(work);
    return false;
  }
  work.nSideWords = words > 0 ? words : 1;
  work.nCrossings = nCrossings > 0 ? nCrossings : 1;
  return true;
}
