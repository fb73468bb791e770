#include "driver/run/result_totals.h"

#include <cstring>

#include "core/allocation.h"
#include "core/cell.h"
#include "core/constants.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/device_results.h"
#include "driver/input/options.h"
#include "driver/results/interaction_report.h"
#include "driver/results/tally_storage.h"
#include "driver/run/device_division.h"
#include "driver/run/work_division.h"

namespace run {
RESULTTOTALS resultTotals;
}  // namespace run

namespace {

using statslot::kSlotCount;

// --- Cells and unions -------------------------------------------------------------

// The first cell (lowest index) of every union, by union index.
std::vector<int32_t> FirstCellOfUnions(const Constants& k) {
  std::vector<int32_t> first;
  for (int32_t c = 0; c < k.nCells; ++c) {
    const int32_t u = k.cell[c].unionIndex;
    if (u < 0) continue;
    if (static_cast<size_t>(u) >= first.size()) first.resize(static_cast<size_t>(u) + 1, -1);
    if (first[static_cast<size_t>(u)] < 0) first[static_cast<size_t>(u)] = c;
  }
  return first;
}

// The cell whose per-cell total receives cell c's statistics: c itself, or
// the first cell of its union.
int32_t StatsCellOf(int32_t c, const Constants& k, const std::vector<int32_t>& firstOfUnion) {
  const int32_t u = k.cell[c].unionIndex;
  return u >= 0 ? firstOfUnion[static_cast<size_t>(u)] : c;
}

// --- The record walk ----------------------------------------------------------------

void AddCellStats(RESULTTOTALS& r, const INTERACTIONSTATS* cellStats, const Constants& k,
                  const std::vector<int32_t>& firstOfUnion) {
  if (cellStats == nullptr) return;
  for (int32_t c = 0; c < k.nCells; ++c) {
    AccumulateStatsPartial(r.stats, cellStats[c]);
    AccumulateStats(r.cellStats[static_cast<size_t>(StatsCellOf(c, k, firstOfUnion))], cellStats[c]);
  }
}

void WalkCpuRecords(RESULTTOTALS& r, const Constants& k, bool perCell) {
  const std::vector<int32_t> firstOfUnion = FirstCellOfUnions(k);
  const TALLYTABLES& tt = core::hostTallyTables;
  const bool weighted = r.target != nullptr && r.target->bank.wt != nullptr;
  const bool volumeSource = k.sourcePositionType == 3;
  for (int32_t i = run::firstCpuTask; i < core::nThreads; ++i) {
    const CTask& t = core::tasks[i];
    const uint64_t run = t.stats != nullptr ? t.stats->slot[statslot::nHistoriesDone].n : 0;
    r.cpuHistories += run;
    r.allHistories += run;
    if (t.stats != nullptr) AccumulateStats(r.stats, *t.stats);
    if (perCell) AddCellStats(r, t.cellStats, k, firstOfUnion);
    if (i > run::firstCpuTask) AddTaskTallies(*r.target, t, tt, weighted);
    if (volumeSource) MergeExtent(r.sourceMin, r.sourceMax, t.sourceMin, t.sourceMax);
  }
  // The tally sums carry the unresolved cell-entry counts of all records.
  if (r.target != nullptr) r.unresolvedCellEntries = r.target->unresolvedCellEntries;
}

// The largest banks: the CPU's over its records; each real device's over its
// tasks in the task table; the overall one over both (the ring mode of the
// devices starts it at -1: the CPU's bank per source particle is not
// comparable with the ring's).
void LargestBanks(RESULTTOTALS& r, int32_t heapMode) {
  for (int32_t i = run::firstCpuTask; i < core::nThreads; ++i) {
    if (core::tasks[i].maxBanked > r.maxBankedCpu) r.maxBankedCpu = core::tasks[i].maxBanked;
  }
  r.maxBanked = r.deviceWork && heapMode >= 2 ? -1 : r.maxBankedCpu;
  for (int32_t d = 0; d < kMaxDeviceSlots; ++d) r.maxBankedOfDevice[d] = -1;
  if (!r.deviceWork) return;
  const DEVICEDIVISION& v = run::deviceDivision;
  size_t entry = 0;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (v.slot[d].emulated) continue;
    r.deviceHistories[d] = 0;
    for (int32_t j = 0; j < v.slot[d].nTasks && entry < r.deviceTasks.size(); ++j, ++entry) {
      const int32_t m = r.deviceTasks[entry].maxBanked;
      if (m > r.maxBankedOfDevice[d]) r.maxBankedOfDevice[d] = m;
      if (m > r.maxBanked) r.maxBanked = m;
    }
  }
}

// Derived slots of the overall total and of every per-cell total that stands
// for a cell outside unions or for a union (its first cell).
void CompleteTotals(RESULTTOTALS& r, const Constants& k, bool perCell) {
  STATSREPORTCONTEXT ctx;
  ctx.restEnergy = k.restEn;
  CompleteInteractionTotals(r.stats, false, ctx);
  if (!perCell) return;
  const std::vector<int32_t> firstOfUnion = FirstCellOfUnions(k);
  for (int32_t c = 0; c < k.nCells; ++c) {
    if (StatsCellOf(c, k, firstOfUnion) != c) continue;
    CompleteInteractionTotals(r.cellStats[static_cast<size_t>(c)], true, ctx);
    ++r.nStatsObjects;
  }
}

}  // namespace

void AddRecordCellStats(RESULTTOTALS& r, const INTERACTIONSTATS* cellStats) {
  const Constants& k = core::hostConstants;
  if (r.cellStats.empty()) return;
  AddCellStats(r, cellStats, k, FirstCellOfUnions(k));
}

bool IsCountSlot(int slot) {
  using namespace statslot;
  // The source counts up to the last creation or event count, the counts of
  // created particles and the event counts of the derived totals.
  if (slot >= nSourceElectrons && slot <= nElectronEscapes) return true;
  if (slot >= nElectronsAll && slot <= nPhotonsAbove) return true;
  return slot == nPhotonLoss || slot == nPhotonCollisions || slot == nElectronLoss || slot == nElectronCollisions;
}

void AccumulateStats(INTERACTIONSTATS& total, const INTERACTIONSTATS& record) {
  for (int i = 0; i < kSlotCount; ++i) {
    if (IsCountSlot(i)) {
      total.slot[i].n += record.slot[i].n;
    } else {
      total.slot[i].e += record.slot[i].e;
    }
  }
}

void AccumulateStatsPartial(INTERACTIONSTATS& total, const INTERACTIONSTATS& record) {
  INTERACTIONSTATS copy = record;
  using namespace statslot;
  // The slots that the overall record keeps for itself: the source terms,
  // the absorbed energy and the escapes.
  static const int kLeftOut[] = {eSourceElectrons, eSourcePhotons,           eAbsorbed,
                                 nSourceElectrons, nSourcePhotons,           nPhotonEscapes,
                                 nElectronEscapes, WeightOf(nPhotonEscapes), WeightOf(nElectronEscapes),
                                 ePhotonEscapes,   eElectronEscapes};
  for (int i : kLeftOut) copy.slot[i].n = 0;  // all-zero bits: 0 as a count and as a double
  AccumulateStats(total, copy);
}

void MergeExtent(VECTOR& runMin, VECTOR& runMax, const VECTOR& min, const VECTOR& max) {
  if (max.x < min.x) return;  // the record sampled no point
  if (!(runMin.x <= runMax.x)) {
    runMin = min;
    runMax = max;
    return;
  }
  if (min.x < runMin.x) runMin.x = min.x;
  if (min.y < runMin.y) runMin.y = min.y;
  if (min.z < runMin.z) runMin.z = min.z;
  if (max.x > runMax.x) runMax.x = max.x;
  if (max.y > runMax.y) runMax.y = max.y;
  if (max.z > runMax.z) runMax.z = max.z;
}

uint64_t HistoryCountOf(uint64_t startedHistories, uint64_t finishedHistories) {
  return finishedHistories > 0 ? finishedHistories : startedHistories;
}

void ComputeResultTotals() {
  const Constants& k = core::hostConstants;
  RESULTTOTALS& r = run::resultTotals;
  r = RESULTTOTALS{};
  r.deviceWork = run::deviceDivision.nRealTasks > 0;
  r.target = run::nCpuTasks > 0 && run::firstCpuTask < core::nThreads ? &core::tasks[run::firstCpuTask] : nullptr;
  if (r.deviceWork) {
    ReadDeviceTaskTable(r);
    // Without a CPU worker the device results gather in record 0, which the
    // main thread keeps while it drives the devices.
    if (r.target == nullptr && core::nThreads > 0 && core::tasks != nullptr) {
      if (!TakeFirstDeviceTaskState(core::tasks[0])) AllocationFailed("tally arrays", 0);
      r.target = &core::tasks[0];
    }
    if (r.target != nullptr) AddDeviceTallies(*r.target);
  }
  const bool perCell = k.outputCellInteractionStats != 0 && k.nCells > 0 && k.cell != nullptr;
  if (perCell) r.cellStats.assign(static_cast<size_t>(k.nCells), INTERACTIONSTATS{});
  LargestBanks(r, input::runOptions.heap_CUDA);
  if (r.deviceWork) AddDeviceThreadStatistics(r);
  WalkCpuRecords(r, k, perCell);
  if (r.deviceWork) WalkDeviceTasks(r);
  r.startedHistories = r.stats.slot[statslot::nSourceElectrons].n + r.stats.slot[statslot::nSourcePhotons].n;
  const uint64_t histories = HistoryCountOf(r.startedHistories, r.allHistories);
  r.invHistories = histories > 0 ? 1.0 / static_cast<double>(histories) : 0.0;
  CompleteTotals(r, k, perCell);
}
