// Allocation, release and summing of a worker's tally arrays.
#include "driver/results/tally_storage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Workers score into their arrays at every crossing: each array takes whole
// cache lines, so that no line holds counts of two workers.
constexpr size_t kCacheLine = 64;

template <typename T>
bool Zeroed(T*& array, int64_t n) {
  const size_t bytes = static_cast<size_t>(n > 0 ? n : 1) * sizeof(T);
  const size_t lines = (bytes + kCacheLine - 1) / kCacheLine * kCacheLine;
  array = static_cast<T*>(std::aligned_alloc(kCacheLine, lines));
  if (array != nullptr) std::memset(static_cast<void*>(array), 0, lines);
  return array != nullptr;
}

template <typename T>
void FreeList(T**& list, int32_t n) {
  if (list == nullptr) return;
  for (int32_t i = 0; i < n; ++i) std::free(list[i]);
  std::free(list);
  list = nullptr;
}

template <typename T>
void AddArray(T* to, const T* from, int64_t n) {
  if (to == nullptr || from == nullptr) return;
  for (int64_t i = 0; i < n; ++i) to[i] += from[i];
}

template <typename T>
void CopyArray(T* to, const T* from, int64_t n) {
  if (to == nullptr || from == nullptr) return;
  std::memcpy(to, from, static_cast<size_t>(n) * sizeof(T));
}

// The two ways of combining a worker's arrays with another record's.
struct ADDARRAYS {
  template <typename T>
  void operator()(T* to, const T* from, int64_t n) const {
    AddArray(to, from, n);
  }
};
struct COPYARRAYS {
  template <typename T>
  void operator()(T* to, const T* from, int64_t n) const {
    CopyArray(to, from, n);
  }
};

// The table slots of one class: counts or weight sums (weighted) and the
// energy sums of every slot, each of two halves of half[s] entries.
template <typename Combine>
void CombineTableSlots(int64_t** counts, double** weights, double** energies, int64_t* const* workerCounts,
                       double* const* workerWeights, double* const* workerEnergies, const int32_t* half, int32_t nSlots,
                       bool weighted, Combine combine) {
  for (int32_t s = 0; s < nSlots; ++s) {
    const int64_t n = 2 * static_cast<int64_t>(half[s]);
    if (weighted) {
      combine(weights[s], workerWeights[s], n);
    } else {
      combine(counts[s], workerCounts[s], n);
    }
    combine(energies[s], workerEnergies[s], n);
  }
}

// Every tally array of worker combined into to's.
template <typename Combine>
void CombineTaskTallies(CTask& to, const CTask& worker, const TALLYTABLES& tt, bool weighted, Combine combine) {
  for (int row = 0; row < kTallyClassCount; ++row) {
    CombineTableSlots(to.oneDimTallies[row], to.oneDimTallies_wt[row], to.oneDimTallies_E[row],
                      worker.oneDimTallies[row], worker.oneDimTallies_wt[row], worker.oneDimTallies_E[row],
                      tt.oneDimHalf[row], tt.nOneDimSlots[row], weighted, combine);
    CombineTableSlots(to.twoDimTallies[row], to.twoDimTallies_wt[row], to.twoDimTallies_E[row],
                      worker.twoDimTallies[row], worker.twoDimTallies_wt[row], worker.twoDimTallies_E[row],
                      tt.twoDimHalf[row], tt.nTwoDimSlots[row], weighted, combine);
    for (int32_t t = 0; t < tt.nCellEntryTallies[row]; ++t) {
      const CELLENTRYTALLY& tally = tt.cellEntryTally[row][t];
      for (int32_t r = 0; r < tally.nEnergyRanges; ++r) {
        const int64_t n = 2 * static_cast<int64_t>(tt.rangeData[kQuantityE][tally.energyRange[r]].bins);
        if (weighted)
          combine(to.cellEntryHist_wt[row][t][r], worker.cellEntryHist_wt[row][t][r], n);
        else
          combine(to.cellEntryHist[row][t][r], worker.cellEntryHist[row][t][r], n);
        combine(to.cellEntryHist_E[row][t][r], worker.cellEntryHist_E[row][t][r], n);
      }
    }
  }
  for (int32_t t = 0; t < tt.nPulseHeight_tot; ++t) {
    const int32_t bins = tt.pulseHeightTally[t].bins;
    combine(to.pulseHeightHist[t], worker.pulseHeightHist[t], bins);
    combine(to.pulseHeightEnergy[t], worker.pulseHeightEnergy[t], bins);
  }
}

// The table arrays of one kind (1-D or 2-D) of one class.
bool AllocateTables(const TALLYTABLES& tt, int row, bool twoDim, bool weighted, int64_t**& counts, double**& weights,
                    double**& energies) {
  const int32_t nSlots = twoDim ? tt.nTwoDimSlots[row] : tt.nOneDimSlots[row];
  const int32_t* half = twoDim ? tt.twoDimHalf[row] : tt.oneDimHalf[row];
  if (nSlots == 0) return true;
  uint8_t* eFlux = nullptr;
  if (!Zeroed(eFlux, nSlots)) return false;
  MarkEnergyFluxSlots(tt, row, twoDim, eFlux);
  bool ok = weighted ? Zeroed(weights, nSlots) : Zeroed(counts, nSlots);
  ok = ok && Zeroed(energies, nSlots);
  for (int32_t s = 0; ok && s < nSlots; ++s) {
    const int64_t n = 2 * static_cast<int64_t>(half[s]);
    ok = weighted ? Zeroed(weights[s], n) : Zeroed(counts[s], n);
    if (ok && eFlux[s] != 0) ok = Zeroed(energies[s], n);
  }
  std::free(eFlux);
  return ok;
}

bool AllocateCellEntry(CTask& task, const TALLYTABLES& tt, int row, bool weighted) {
  const int32_t n = tt.nCellEntryTallies[row];
  if (n == 0) return true;
  bool ok = weighted ? Zeroed(task.cellEntryHist_wt[row], n) : Zeroed(task.cellEntryHist[row], n);
  ok = ok && Zeroed(task.cellEntryHist_E[row], n);
  for (int32_t t = 0; ok && t < n; ++t) {
    const CELLENTRYTALLY& tally = tt.cellEntryTally[row][t];
    const int32_t nr = tally.nEnergyRanges;
    ok = weighted ? Zeroed(task.cellEntryHist_wt[row][t], nr) : Zeroed(task.cellEntryHist[row][t], nr);
    ok = ok && Zeroed(task.cellEntryHist_E[row][t], nr);
    for (int32_t r = 0; ok && r < nr; ++r) {
      const int64_t bins2 = 2 * static_cast<int64_t>(tt.rangeData[kQuantityE][tally.energyRange[r]].bins);
      ok = weighted ? Zeroed(task.cellEntryHist_wt[row][t][r], bins2) : Zeroed(task.cellEntryHist[row][t][r], bins2);
      if (ok && tally.eFlux != 0) ok = Zeroed(task.cellEntryHist_E[row][t][r], bins2);
    }
  }
  return ok;
}

template <typename T>
void FreeCellEntryList(T***& hist, const TALLYTABLES& tt, int row) {
  if (hist == nullptr) return;
  for (int32_t t = 0; t < tt.nCellEntryTallies[row]; ++t) FreeList(hist[t], tt.cellEntryTally[row][t].nEnergyRanges);
  std::free(hist);
  hist = nullptr;
}

}  // namespace

bool AllocateTaskTallies(CTask& task, const TALLYTABLES& tt, bool weighted) {
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!Zeroed(task.rangeBin[q], tt.nRanges[q])) return false;
  }
  for (int row = 0; row < kTallyClassCount; ++row) {
    if (!AllocateTables(tt, row, false, weighted, task.oneDimTallies[row], task.oneDimTallies_wt[row],
                        task.oneDimTallies_E[row]) ||
        !AllocateTables(tt, row, true, weighted, task.twoDimTallies[row], task.twoDimTallies_wt[row],
                        task.twoDimTallies_E[row]) ||
        !AllocateCellEntry(task, tt, row, weighted)) {
      return false;
    }
  }
  if (tt.nPulseHeight_tot > 0) {
    if (!Zeroed(task.pulseHeightHist, tt.nPulseHeight_tot) || !Zeroed(task.pulseHeightEnergy, tt.nPulseHeight_tot)) {
      return false;
    }
    for (int32_t t = 0; t < tt.nPulseHeight_tot; ++t) {
      const PULSEHEIGHTTALLY& ph = tt.pulseHeightTally[t];
      if (!Zeroed(task.pulseHeightHist[t], ph.bins)) return false;
      if (ph.eDeposition != 0 && !Zeroed(task.pulseHeightEnergy[t], ph.bins)) return false;
    }
  }
  return tt.nCellsPulseHeight == 0 || Zeroed(task.cellDeposit, tt.nCellsPulseHeight);
}

void FreeTaskTallies(CTask& task, const TALLYTABLES& tt) {
  for (int q = 0; q < kQuantityCount; ++q) {
    std::free(task.rangeBin[q]);
    task.rangeBin[q] = nullptr;
  }
  for (int row = 0; row < kTallyClassCount; ++row) {
    FreeList(task.oneDimTallies[row], tt.nOneDimSlots[row]);
    FreeList(task.oneDimTallies_wt[row], tt.nOneDimSlots[row]);
    FreeList(task.oneDimTallies_E[row], tt.nOneDimSlots[row]);
    FreeList(task.twoDimTallies[row], tt.nTwoDimSlots[row]);
    FreeList(task.twoDimTallies_wt[row], tt.nTwoDimSlots[row]);
    FreeList(task.twoDimTallies_E[row], tt.nTwoDimSlots[row]);
    FreeCellEntryList(task.cellEntryHist[row], tt, row);
    FreeCellEntryList(task.cellEntryHist_wt[row], tt, row);
    FreeCellEntryList(task.cellEntryHist_E[row], tt, row);
  }
  FreeList(task.pulseHeightHist, tt.nPulseHeight_tot);
  FreeList(task.pulseHeightEnergy, tt.nPulseHeight_tot);
  std::free(task.cellDeposit);
  task.cellDeposit = nullptr;
}

void AddTaskTallies(CTask& totals, const CTask& worker, const TALLYTABLES& tt, bool weighted) {
  CombineTaskTallies(totals, worker, tt, weighted, ADDARRAYS{});
  totals.unresolvedCellEntries += worker.unresolvedCellEntries;
}

void CopyTaskTallies(CTask& copy, const CTask& worker, const TALLYTABLES& tt, bool weighted) {
  CombineTaskTallies(copy, worker, tt, weighted, COPYARRAYS{});
}
