#include "driver/result_totals.h"

#include <cstring>

#include "core/cell.h"
#include "core/constants.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/work_division.h"
#include "transport/tally_storage.h"

RESULTTOTALS resultTotals;

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
  const TALLYTABLES& tt = hostTallyTables;
  const bool weighted = r.target != nullptr && r.target->bank.wt != nullptr;
  const bool volumeSource = k.sourcePositionType == 3;
  for (int32_t i = firstCpuTask; i < nThreads; ++i) {
    const CTask& t = tasks[i];
    const uint64_t run = t.stats != nullptr ? t.stats->slot[statslot::nHistoriesDone].n : 0;
    r.cpuHistories += run;
    r.allHistories += run;
    if (t.stats != nullptr) AccumulateStats(r.stats, *t.stats);
    if (perCell) AddCellStats(r, t, k, firstOfUnion);
    if (i > firstCpuTask) AddTaskTallies(*r.target, t, tt, weighted);
    if (volumeSource) MergeExtent(r.sourceMin, r.sourceMax, t.sourceMin, t.sourceMax);
    if (t.maxBanked > r.maxBankedCpu) r.maxBankedCpu = t.maxBanked;
  }
  // The tally sums carry the unresolved cell-entry counts of all records.
  if (r.target != nullptr) r.unresolvedCellEntries = r.target->unresolvedCellEntries;
}

// Derived slots of the overall total and of every per-cell total that stands
// for a cell outside unions or for a union (its first cell).
void CompleteTotals(RESULTTOTALS& r, const Constants& k, bool perCell) {
  const double restEn2 = RestEnergyTwice(k);
  CompleteDerivedSlots(r.stats, false, restEn2);
  if (!perCell) return;
  const std::vector<int32_t> firstOfUnion = FirstCellOfUnions(k);
  for (int32_t c = 0; c < k.nCells; ++c) {
    if (StatsCellOf(c, k, firstOfUnion) != c) continue;
    CompleteDerivedSlots(r.cellStats[static_cast<size_t>(c)], true, restEn2);
    ++r.nStatsObjects;
  }
}

// --- Derived slots -------------------------------------------------------------------

struct SLOTREADER {
  const STATSLOT* s;
  uint64_t n(int i) const { return s[i].n; }
  double e(int i) const { return s[i].e; }
  double d(int i) const { return IsCountSlot(i) ? static_cast<double>(s[i].n) : s[i].e; }
};

}  // namespace

bool IsCountSlot(int slot) {
  if (slot >= 3 && slot <= 50) return true;
  if (slot >= 137 && slot <= 140) return true;
  return slot == 149 || slot == 152 || slot == 155 || slot == 158;
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
  static const int kLeftOut[] = {0, 1, 2, 3, 4, 48, 50, 89, 91, 133, 135};
  for (int i : kLeftOut) copy.slot[i].n = 0;  // all-zero bits: 0 as a count and as a double
  AccumulateStats(total, copy);
}

void CompleteDerivedSlots(INTERACTIONSTATS& stats, bool perCell, double restEn2) {
  STATSLOT* s = stats.slot;
  const SLOTREADER S{s};
  const uint64_t A = perCell ? S.n(49) : S.n(3);
  const uint64_t B = perCell ? S.n(47) : S.n(4);
  const double C = perCell ? S.e(90) : static_cast<double>(S.n(3));
  const double D = perCell ? S.e(88) : static_cast<double>(S.n(4));
  const double E = perCell ? S.e(134) : S.e(0);
  const double F = perCell ? S.e(132) : S.e(1);
  s[137].n += S.n(11) + S.n(10) + S.n(15) + S.n(14) + A + S.n(16);
  s[138].n += S.n(25) + S.n(24) + S.n(23) + S.n(20) + S.n(19) + A;
  s[139].n += 2 * S.n(18) + S.n(27) + S.n(26) + B;
  s[140].n += S.n(41) + S.n(35) + S.n(34) + B;
  s[141].e += C + S.e(51) + S.e(52) + S.e(55) + S.e(56) + S.e(57);
  s[142].e += C + S.e(60) + S.e(61) + S.e(64) + S.e(65) + S.e(66);
  s[143].e += D + S.e(67) + S.e(68) + 2.0 * S.e(59);
  s[144].e += D + S.e(75) + S.e(76) + S.e(82);
  s[145].e += E + S.e(92) + S.e(93) + S.e(96) + S.e(97) + S.e(98);
  s[146].e += E + S.e(99) + S.e(100) + S.e(103) + S.e(104) + S.e(105);
  s[147].e += F + S.e(106) + S.e(107) + S.d(18) * restEn2;
  s[148].e += F + S.e(113) + S.e(114) + S.e(120);
  s[149].n += S.n(48) + S.n(33) + S.n(16) / 2 + S.n(14);
  s[150].e += S.e(89) + S.e(74) + S.e(55) + 0.5 * S.e(57);
  s[151].e += S.e(133) + S.e(122) + S.e(123) + S.e(124) + S.e(125);
  s[152].n += S.n(16) / 2 + S.n(42) + S.n(15) + S.n(14);
  s[153].e += S.e(83) + S.e(56) + S.e(55) + 0.5 * S.e(57);
  s[154].e += S.e(123) + S.e(124) + S.e(125);
  s[155].n += S.n(50) + S.n(17) + S.n(18);
  s[156].e += S.e(91) + S.e(58) + S.e(59);
  s[157].e += S.e(135) + S.e(127) + S.e(128) + S.e(129) + S.e(130) + S.e(131);
  s[158].n += S.n(45) + S.n(44) + S.n(43) + S.n(26);
  s[159].e += S.e(84) + S.e(67) + S.e(85) + S.e(86);
  s[160].e += S.e(130) + S.e(129) + S.e(131);
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
  const Constants& k = hostConstants;
  RESULTTOTALS& r = resultTotals;
  r = RESULTTOTALS{};
  r.target = nCpuTasks > 0 && firstCpuTask < nThreads ? &tasks[firstCpuTask] : nullptr;
  const bool perCell = k.outputCellInteractionStats != 0 && k.nCells > 0 && k.cell != nullptr;
  if (perCell) r.cellStats.assign(static_cast<size_t>(k.nCells), INTERACTIONSTATS{});
  WalkCpuRecords(r, k, perCell);
  r.maxBanked = r.maxBankedCpu;
  const uint64_t histories = r.stats.slot[3].n + r.stats.slot[4].n;
  r.invHistories = histories > 0 ? 1.0 / static_cast<double>(histories) : 0.0;
  CompleteTotals(r, k, perCell);
}
