#include "driver/run/result_totals.h"

#include <cstring>

#include "core/cell.h"
#include "core/constants.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/results/interaction_report.h"
#include "driver/results/tally_storage.h"
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

void AddCellStats(RESULTTOTALS& r, const CTask& t, const Constants& k, const std::vector<int32_t>& firstOfUnion) {
  if (t.cellStats == nullptr) return;
  for (int32_t c = 0; c < k.nCells; ++c) {
    AccumulateStatsPartial(r.stats, t.cellStats[c]);
    AccumulateStats(r.cellStats[static_cast<size_t>(StatsCellOf(c, k, firstOfUnion))], t.cellStats[c]);
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
    if (perCell) AddCellStats(r, t, k, firstOfUnion);
    if (i > run::firstCpuTask) AddTaskTallies(*r.target, t, tt, weighted);
    if (volumeSource) MergeExtent(r.sourceMin, r.sourceMax, t.sourceMin, t.sourceMax);
    if (t.maxBanked > r.maxBankedCpu) r.maxBankedCpu = t.maxBanked;
  }
  // The tally sums carry the unresolved cell-entry counts of all records.
  if (r.target != nullptr) r.unresolvedCellEntries = r.target->unresolvedCellEntries;
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

void ComputeResultTotals() {
  const Constants& k = core::hostConstants;
  RESULTTOTALS& r = run::resultTotals;
  r = RESULTTOTALS{};
  r.target = run::nCpuTasks > 0 && run::firstCpuTask < core::nThreads ? &core::tasks[run::firstCpuTask] : nullptr;
  const bool perCell = k.outputCellInteractionStats != 0 && k.nCells > 0 && k.cell != nullptr;
  if (perCell) r.cellStats.assign(static_cast<size_t>(k.nCells), INTERACTIONSTATS{});
  WalkCpuRecords(r, k, perCell);
  r.maxBanked = r.maxBankedCpu;
  const uint64_t histories = r.stats.slot[statslot::nSourceElectrons].n + r.stats.slot[statslot::nSourcePhotons].n;
  r.invHistories = histories > 0 ? 1.0 / static_cast<double>(histories) : 0.0;
  CompleteTotals(r, k, perCell);
}
