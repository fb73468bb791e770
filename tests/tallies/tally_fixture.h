// Small hand-made tally definitions for the scoring and file tests: ranges,
// one plane tally per class as the test sets it, and a worker record with
// its tally arrays.
#pragma once

#include <cstring>
#include <vector>

#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/results/tally_storage.h"

struct TallyFixture {
  TALLYRANGE ranges[kQuantityCount][kMaxRangesPerQuantity] = {};
  PLANETALLY planes[kTallyClassCount][kMaxPlaneTalliesPerClass] = {};
  std::vector<int32_t> oneDimHalf[kTallyClassCount];
  std::vector<int32_t> twoDimHalf[kTallyClassCount];
  std::vector<CELLENTRYTALLY> cellEntry[kTallyClassCount];
  std::vector<PULSEHEIGHTTALLY> pulseHeight;
  TALLYTABLES tt;

  // Adds range `bins` equal bins from lower to upper of quantity q; returns its index.
  int AddRange(int q, const char* name, double lower, double upper, int bins) {
    const int r = tt.nRanges[q]++;
    TALLYRANGE& range = ranges[q][r];
    std::strncpy(range.name, name, kRangeNameSize - 1);
    range.bins = bins;
    range.lower = lower;
    range.upper = upper;
    range.invWidth = bins / (upper - lower);
    return r;
  }

  // A plane tally of class row with normal n through point p, N planes s apart.
  PLANETALLY& AddPlane(int row, VECTOR point, VECTOR normal, VECTOR axisX, int nParallel = 1, double spacing = 0.0) {
    PLANETALLY& t = planes[row][tt.nPlaneTalliesTot[row]++];
    t = PLANETALLY{};
    for (uint8_t& o : t.orgEnabled) o = 1;
    t.refPoint = point;
    t.normal = normal;
    t.offset = -Dot(normal, point);
    t.axisX = axisX;
    t.nParallel = nParallel;
    t.spacing = spacing;
    t.extent = (nParallel - 1) * spacing;
    t.eFlux = 1;
    return t;
  }

  void UseQuantity(PLANETALLY& t, int q, int r) {
    for (int i = 0; i < t.nRangesOf[q]; ++i) {
      if (t.rangeIndex[q][i] == r) return;
    }
    t.rangeIndex[q][t.nRangesOf[q]++] = static_cast<int16_t>(r);
  }

  void Add1D(int row, PLANETALLY& t, int q, int r) {
    UseQuantity(t, q, r);
    t.oneDimDef[t.n1D] = TALLYTABLE1D{static_cast<int16_t>(q), static_cast<int16_t>(r)};
    t.oneDimSlot[t.n1D++] = static_cast<int32_t>(oneDimHalf[row].size());
    oneDimHalf[row].push_back(ranges[q][r].bins);
  }

  void Add2D(int row, PLANETALLY& t, int q1, int r1, int q2, int r2) {
    UseQuantity(t, q1, r1);
    UseQuantity(t, q2, r2);
    t.twoDimDef[t.n2D] = TALLYTABLE2D{static_cast<int16_t>(q1), static_cast<int16_t>(r1), static_cast<int16_t>(q2),
                                      static_cast<int16_t>(r2)};
    t.twoDimSlot[t.n2D++] = static_cast<int32_t>(twoDimHalf[row].size());
    twoDimHalf[row].push_back(ranges[q1][r1].bins * ranges[q2][r2].bins);
  }

  // Closes a tally: quantity list, stacked copies of the layout.
  void Finish(int row, PLANETALLY& t) {
    t.nQuantities = 0;
    t.nDirQuantities = -1;
    for (int q = 0; q < kQuantityCount; ++q) {
      if (t.nRangesOf[q] == 0 && t.limOn[q] == 0) continue;
      if (q >= kFirstPositionQuantity && t.nDirQuantities < 0) t.nDirQuantities = t.nQuantities;
      t.quantity[t.nQuantities++] = static_cast<int16_t>(q);
    }
    if (t.nDirQuantities < 0) t.nDirQuantities = t.nQuantities;
    for (int j = 1; j < t.nParallel; ++j) {
      for (int i = 0; i < t.n1D; ++i) oneDimHalf[row].push_back(oneDimHalf[row][static_cast<size_t>(t.oneDimSlot[i])]);
      for (int i = 0; i < t.n2D; ++i) twoDimHalf[row].push_back(twoDimHalf[row][static_cast<size_t>(t.twoDimSlot[i])]);
    }
  }

  // Points the run's tables at this fixture.
  void Install() {
    tt.rangeData = ranges;
    tt.tallyData = planes;
    tt.planeTalliesPresent = false;
    for (int row = 0; row < kTallyClassCount; ++row) {
      tt.oneDimHalf[row] = oneDimHalf[row].data();
      tt.twoDimHalf[row] = twoDimHalf[row].data();
      tt.nOneDimSlots[row] = static_cast<int32_t>(oneDimHalf[row].size());
      tt.nTwoDimSlots[row] = static_cast<int32_t>(twoDimHalf[row].size());
      tt.cellEntryTally[row] = cellEntry[row].data();
      tt.nCellEntryTallies[row] = static_cast<int32_t>(cellEntry[row].size());
      if (tt.nPlaneTalliesTot[row] > 0) tt.planeTalliesPresent = true;
    }
    tt.pulseHeightTally = pulseHeight.data();
    tt.nPulseHeight_tot = static_cast<int32_t>(pulseHeight.size());
    core::hostTallyTables = tt;
  }
};

// A worker record with tally arrays and a statistics record.
struct TallyTask {
  CTask task{false};
  INTERACTIONSTATS stats{};
  bool weighted;
  explicit TallyTask(bool weights = false) : weighted(weights) {
    task.stats = &stats;
    task.curStats = &stats;
    if (weights) task.bank.wt = &task.weight;  // marks the record as weighted
    AllocateTaskTallies(task, core::hostTallyTables, weights);
  }
  ~TallyTask() {
    FreeTaskTallies(task, core::hostTallyTables);
    task.bank.wt = nullptr;
    task.stats = nullptr;
  }
};
