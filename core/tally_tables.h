// TALLYTABLES: where the tally definitions of the run are, for the scoring,
// the result files and the summing of the workers. The driver fills the host
// record after the input and the set-up; the definitions are read-only while
// the workers run. Scoring code reaches the record through GetTallyTables().
#pragma once

#include <cstddef>
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

// A device receives the record with device addresses; both compilers keep
// this layout.
static_assert(offsetof(TALLYTABLES, rangeData) == 0);
static_assert(offsetof(TALLYTABLES, nRanges) == 8);
static_assert(offsetof(TALLYTABLES, tallyData) == 40);
static_assert(offsetof(TALLYTABLES, nPlaneTalliesTot) == 48);
static_assert(offsetof(TALLYTABLES, planeTalliesPresent) == 60);
static_assert(offsetof(TALLYTABLES, oneDimHalf) == 64);
static_assert(offsetof(TALLYTABLES, twoDimHalf) == 88);
static_assert(offsetof(TALLYTABLES, nOneDimSlots) == 112);
static_assert(offsetof(TALLYTABLES, nTwoDimSlots) == 124);
static_assert(offsetof(TALLYTABLES, cellEntryTally) == 136);
static_assert(offsetof(TALLYTABLES, nCellEntryTallies) == 160);
static_assert(offsetof(TALLYTABLES, cellEntrySites) == 176);
static_assert(offsetof(TALLYTABLES, nCells) == 184);
static_assert(offsetof(TALLYTABLES, pulseHeightTally) == 192);
static_assert(offsetof(TALLYTABLES, nPulseHeight_tot) == 200);
static_assert(offsetof(TALLYTABLES, cellsPulseHeight) == 208);
static_assert(offsetof(TALLYTABLES, nCellsPulseHeight) == 216);
static_assert(offsetof(TALLYTABLES, pulseHeightSlotOfCell) == 224);
static_assert(sizeof(TALLYTABLES) == 232);

namespace core {
// The host record, filled by the driver before the workers start.
inline TALLYTABLES hostTallyTables;
}  // namespace core

// Marks with 1 the table slots of class `row` (1-D or 2-D tables) whose tally
// keeps energy sums; flags has room for every slot of the class.
inline void MarkEnergyFluxSlots(const TALLYTABLES& tt, int row, bool twoDim, uint8_t* flags) {
  for (int32_t i = 0; i < tt.nPlaneTalliesTot[row]; ++i) {
    const PLANETALLY& t = tt.tallyData[row][i];
    if (t.eFlux == 0) continue;
    const int32_t n = twoDim ? t.n2D : t.n1D;
    for (int32_t j = 0; j < t.nParallel; ++j) {
      for (int32_t k = 0; k < n; ++k) flags[(twoDim ? t.twoDimSlot[k] : t.oneDimSlot[k]) + j * n] = 1;
    }
  }
}

#if defined(__CUDACC__)
// The device copy: the same definitions with device addresses
// (gpu/device_tables.cu), stored by CopyConstantsToDevice.
namespace device_globals {
extern __device__ TALLYTABLES tallyTables;
}
#endif

// The record of the side the caller runs on.
TQ_CPU_GPU inline const TALLYTABLES& GetTallyTables() {
#if defined(__CUDA_ARCH__)
  return device_globals::tallyTables;
#else
  return core::hostTallyTables;
#endif
}
