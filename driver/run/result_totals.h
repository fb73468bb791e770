// The totals after the run: the tally scores of every CPU record summed into
// the target record, the interaction statistics summed overall and per cell
// with their derived slots, the history counts, the largest bank and the
// extent of the sampled volume-source points.
#pragma once

#include <cstdint>
#include <vector>

#include "core/interaction_stats.h"
#include "core/stream_control.h"
#include "core/vector.h"

class CTask;

// The fields of one device task read back at the end of the run.
struct DEVICETASKENTRY {
  int32_t nBanked = -1;      // particles staged by its current step, -1 none
  int32_t nStreams = 0;      // its stream list
  int32_t streamCursor = 0;  // and the list's cursor
  int32_t maxBanked = -1;    // most banked particles it held
  int32_t fatalError = 0;    // its fatal-error flag
};

struct RESULTTOTALS {
  CTask* target = nullptr;                  // the record that holds the summed tally scores
  INTERACTIONSTATS stats{};                 // the run's statistics
  std::vector<INTERACTIONSTATS> cellStats;  // per cell index (with per-cell statistics)
  int32_t nStatsObjects = 0;                // cells outside unions plus unions, with per-cell statistics
  uint64_t cpuHistories = 0;                // histories run on the CPU
  uint64_t allHistories = 0;                // histories run by every record
  int32_t maxBankedCpu = -1;                // largest bank of the CPU records, -1 none
  int32_t maxBanked = -1;                   // largest bank overall
  double invHistories = 0.0;                // 1 / the run's history count (HistoryCountOf)
  VECTOR sourceMin{1.0, 1.0, 1.0};          // extent of the volume-source points, cm
  VECTOR sourceMax{0.0, 0.0, 0.0};          // (empty while sourceMin.x > sourceMax.x)
  uint64_t unresolvedCellEntries = 0;       // cell crossings whose neighbour could not be resolved
  uint64_t lostParticles = 0;               // source particles lost by the tracking (joins with the geometry)
  // Real (not emulated) devices, Trenqual_CUDA.
  bool deviceWork = false;                          // tasks_CUDA with some real device
  std::vector<DEVICETASKENTRY> deviceTasks;         // every real device's tasks, in global task order
  uint64_t deviceHistories[kMaxDeviceSlots] = {};   // histories run per device slot
  int32_t maxBankedOfDevice[kMaxDeviceSlots] = {};  // largest bank of a task per real slot, -1 none
  uint64_t startedHistories = 0;                    // source particles of the statistics (slots 3 and 4)
};
namespace run {
extern RESULTTOTALS resultTotals;
}  // namespace run

// Walks the CPU records and, with device work, reads back and walks the
// devices' results (driver/device_results.h); fills resultTotals.
void ComputeResultTotals();

// The statistics sums: field by field, integers modulo 2^64. The partial form
// leaves out the source slots (eSourceElectrons .. nSourcePhotons, eAbsorbed)
// and the escape slots (counts, weights, energies) of the record added.
void AccumulateStats(INTERACTIONSTATS& total, const INTERACTIONSTATS& record);
void AccumulateStatsPartial(INTERACTIONSTATS& total, const INTERACTIONSTATS& record);

// A record's per-cell statistics (nCells records) added into the totals: each
// whole into its cell's total (a union's cells into its first cell's), and
// into the overall total without the slots the overall record keeps for
// itself (AccumulateStatsPartial). Nothing without per-cell totals.
void AddRecordCellStats(RESULTTOTALS& r, const INTERACTIONSTATS* cellStats);

// True for the slots that hold 64-bit counts.
bool IsCountSlot(int slot);

// Merges a record's extent of volume-source points into the run's extent.
void MergeExtent(VECTOR& runMin, VECTOR& runMax, const VECTOR& min, const VECTOR& max);

// The history count that the tallies and the shares divide by: the source
// particles of the statistics, or the histories the records finished when the
// two differ (a device that counts its histories but not its source
// particles, or a record that stopped inside a history): every share printed
// against allHistories then adds up to 100 %.
uint64_t HistoryCountOf(uint64_t startedHistories, uint64_t finishedHistories);
