// Precision, voxel-plane and geometry set-up directives: the tolerances of
// the complex geometry (read in the first pass, so that they hold for every
// surface and cell wherever they stand), the sets of equidistant coordinate
// planes of the voxel grid, the checks and random-point counts of the
// geometry set-up, its threads, and the per-cell statistics and free-motion
// radius switches.
#pragma once

#include <cstdint>

#include "core/voxel.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/keyword_names.h"

// What the geometry set-up reads, with its defaults.
struct GEOMETRYSETUPOPTIONS {
  int32_t checkForIntersections = 3;    // CHECK_FOR_INTERSECTIONS: 0 .. 3
  uint32_t randBlockSize = 1000;        // RAND_BLOCK_SIZE: random points per block
  uint32_t nRandCellVolume = 10000;     // N_RAND_CELL_VOLUME: random points per cell volume
  uint32_t nRandSourceVolume = 0;       // N_RAND_SOURCE_VOLUME; 0: settled after the input
  int64_t nRandTotalVolume = 20000000;  // N_RAND_TOTAL_VOLUME: random points for all cell volumes
  bool randBlockSizeGiven = false;
  bool nRandCellVolumeGiven = false;
  bool nRandSourceVolumeGiven = false;
  bool nRandTotalVolumeGiven = false;
  int32_t nThreadsGeom = 8;                // NTHREADS_GEOM: threads of the voxel data and the cell volumes
  uint8_t outputCellInteractionStats = 1;  // OUTPUT_CELL_INTERACTION_STATS
  uint8_t useFreeMotionRadius = 1;         // USE_FREE_MOTION_RADIUS 1 or 2
  uint8_t storeFreeMotionRadius = 0;       // USE_FREE_MOTION_RADIUS 2: kept with the banked particles
};
namespace directives {
extern GEOMETRYSETUPOPTIONS geometrySetup;

// The plane sets of each axis (COORD_X, COORD_Y, COORD_Z). Set 0 is the
// set-up's; the directives fill sets 1 .. 9, and each count includes set 0.
extern PLANESET xSet[kMaxPlaneSetsPerAxis], ySet[kMaxPlaneSetsPerAxis], zSet[kMaxPlaneSetsPerAxis];
extern int32_t nXsets, nYsets, nZsets;
}  // namespace directives

constexpr int32_t kMaxGeometryThreads = 2048;
constexpr double kMaxPlanesPerSet = 1e7;  // planes of one set stay below this

// The directive module: true when word is one of these keywords.
bool HandlePrecisionDirective(const char* word);

// Appends the keywords of this module (the manual's names).
void ListPrecisionDirectives(KEYWORDNAMES* names);

// The state before the passes.
void ResetPrecisionDirectives();
