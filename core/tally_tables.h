// TALLYTABLES: where the tally definitions of the run are, for the scoring,
// the result files and the summing of the workers. The driver fills the host
// record after the input and the set-up; the definitions are read-only while
// the workers run. Scoring code reaches the record through GetTallyTables().
#pragma once

#include <cstdint>

#include "core/cell_entry.h"
#include "core/hostdevice.h"
#include "core/pulse_height.h"
#include "core/tally.h"

struct TALLYTABLES {
  // Binning ranges, per quantity code.
  const TALLYRANGE (*rangeData)[kMaxRangesPerQuantity] = nullptr;  // [7][100]
  int32_t nRanges[kQuantityCount] = {};
  // Plane tallies, per class.
  const PLANETALLY (*tallyData)[kMaxPlaneTalliesPerClass] = nullptr;  // [3][100]
  int32_t nPlaneTalliesTot[kTallyClassCount] = {};
  bool planeTalliesPresent = false;               // the transport scores plane crossings only then
  // Table layout of each class: half offset (bin count) of every table slot.
  const int32_t* oneDimHalf[kTallyClassCount] = {};
  const int32_t* twoDimHalf[kTallyClassCount] = {};
  int32_t nOneDimSlots[kTallyClassCount] = {};
  int32_t nTwoDimSlots[kTallyClassCount] = {};
  // Cell-entry tallies, per class, and the registration of every cell
  // (indexed by cell index; null when no cell-entry tally exists).
  const CELLENTRYTALLY* cellEntryTally[kTallyClassCount] = {};
  int32_t nCellEntryTallies[kTallyClassCount] = {};
  const CELLENTRYSITE* cellEntrySites = nullptr;  // [nCells]
  int32_t nCells = 0;
  // Pulse-height tallies and the cells that carry them.
  const PULSEHEIGHTTALLY* pulseHeightTally = nullptr;
  int32_t nPulseHeight_tot = 0;
  const int16_t* cellsPulseHeight = nullptr;      // cell index of each pulse-height slot
  int16_t nCellsPulseHeight = 0;
  const int32_t* pulseHeightSlotOfCell = nullptr; // [nCells] slot of the cell, -1 none
};

// The host record, filled by the driver before the workers start.
inline TALLYTABLES hostTallyTables;

#if defined(__CUDACC__)
// The device copy: the same definitions with device addresses.
extern __constant__ TALLYTABLES deviceTallyTables;
#endif

// The record of the side the caller runs on.
TQ_CPU_GPU inline const TALLYTABLES& GetTallyTables() {
#if defined(__CUDA_ARCH__)
  return deviceTallyTables;
#else
  return hostTallyTables;
#endif
}
