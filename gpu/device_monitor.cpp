#include "gpu/device_monitor.h"

#include <algorithm>
#include <type_traits>

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_rounds.h"
#include "gpu/device_run_state.h"

DEVICESTATUSREADING ReadDeviceMonitorStatus(int32_t device, int32_t heapMode) {
  SelectDevice(device);
  const DEVICETASKDATA& data = device_host::deviceRun[device].taskData;
  DEVICESTATUSREADING r;
  if (data.status == nullptr) return r;
  const DEVICESTATUSHOST s = DownloadStatusRecord(data.status, heapMode);
  r.nFinishedHistories = s.nFinishedHistories;
  r.nStartedHistories = s.nStartedHistories;
  r.nFinishedSourceTracks = s.nFinishedSourceTracks;
  r.maxBanked_kernelCall = s.maxBanked_kernelCall;
  if (heapMode == kHeapRing) {
    r.waiting = s.nextWritePos >= s.nextReadPos ? static_cast<int64_t>(s.nextWritePos - s.nextReadPos) : 0;
  }
  return r;
}

CUDA_STATS ReadDeviceCounters(int32_t device) {
  SelectDevice(device);
  const DEVICETASKDATA& data = device_host::deviceRun[device].taskData;
  return data.cudaStats != nullptr ? DownloadRecord<CUDA_STATS>(data.cudaStats) : CUDA_STATS{};
}

DEVICELAUNCHREADING ReadDeviceLaunch(int32_t device, int32_t nThreads, int32_t blockSize,
                                     std::vector<CThread2>& buffer) {
  SelectDevice(device);
  DEVICELAUNCHREADING r;
  const DEVICETASKDATA& data = device_host::deviceRun[device].taskData;
  if (data.threads == nullptr || nThreads <= 0 || blockSize <= 0) return r;
  buffer.resize(static_cast<size_t>(nThreads));
  DeviceDownload(buffer.data(), data.threads, buffer.size() * sizeof(CThread2));
  for (int32_t first = 0; first < nThreads; first += blockSize) {
    r.activeThreads += std::clamp(buffer[static_cast<size_t>(first)].stepWidth, 0, blockSize);
  }
  for (const CThread2& t : buffer) {
    const double cycles = static_cast<double>(t.launchCycles);
    r.threadCycles += cycles;
    r.longestCycles = std::max(r.longestCycles, cycles);
  }
  return r;
}

namespace {

// One score array of n values from the device: copied straight into `to`
// (first device), else through a host buffer and added.
template <typename T>
void Gather(T* to, const T* device, int64_t n, bool first) {
  if (to == nullptr || device == nullptr || n <= 0) return;
  const size_t bytes = static_cast<size_t>(n) * sizeof(T);
  if (first) {
    DeviceDownload(to, device, bytes);
    return;
  }
  std::vector<T> buffer(static_cast<size_t>(n));
  DeviceDownload(buffer.data(), device, bytes);
  for (int64_t i = 0; i < n; ++i) {
    if constexpr (std::is_integral_v<T>) {
      // Counts add as unsigned 64-bit values (modulo 2^64).
      to[i] = static_cast<T>(static_cast<uint64_t>(to[i]) + static_cast<uint64_t>(buffer[static_cast<size_t>(i)]));
    } else {
      to[i] += buffer[static_cast<size_t>(i)];
    }
  }
}

template <typename T>
const T* At(const std::vector<T*>& table, int64_t i) {
  return i >= 0 && i < static_cast<int64_t>(table.size()) ? table[static_cast<size_t>(i)] : nullptr;
}

// The tables of one plane tally: every stacked plane, its 1-D tables, then
// its 2-D tables; slot of table k of plane j = the table's slot + j x tables.
void GatherPlaneTally(const DEVICETALLIES& d, const TALLYTABLES& tt, int k, int32_t index, bool weighted, bool first,
                      CTask& sums) {
  const PLANETALLY& t = tt.tallyData[k][index];
  for (int32_t j = 0; j < t.nParallel; ++j) {
    for (int32_t q = 0; q < t.n1D; ++q) {
      const int32_t s = t.oneDimSlot[q] + j * t.n1D;
      const int64_t n = 2 * static_cast<int64_t>(tt.oneDimHalf[k][s]);
      if (weighted) {
        Gather(sums.oneDimTallies_wt[k][s], At(d.oneDimWeights[k], s), n, first);
      } else {
        Gather(sums.oneDimTallies[k][s], At(d.oneDimCounts[k], s), n, first);
      }
      if (sums.oneDimTallies_E[k] != nullptr) Gather(sums.oneDimTallies_E[k][s], At(d.oneDimEnergies[k], s), n, first);
    }
    for (int32_t q = 0; q < t.n2D; ++q) {
      const int32_t s = t.twoDimSlot[q] + j * t.n2D;
      const int64_t n = 2 * static_cast<int64_t>(tt.twoDimHalf[k][s]);
      if (weighted) {
        Gather(sums.twoDimTallies_wt[k][s], At(d.twoDimWeights[k], s), n, first);
      } else {
        Gather(sums.twoDimTallies[k][s], At(d.twoDimCounts[k], s), n, first);
      }
      if (sums.twoDimTallies_E[k] != nullptr) Gather(sums.twoDimTallies_E[k][s], At(d.twoDimEnergies[k], s), n, first);
    }
  }
}

template <typename T>
const std::vector<T*>* RangesOf(const std::vector<std::vector<T*>>& table, int32_t t) {
  return t >= 0 && t < static_cast<int32_t>(table.size()) ? &table[static_cast<size_t>(t)] : nullptr;
}

void GatherCellEntryTally(const DEVICETALLIES& d, const TALLYTABLES& tt, int k, int32_t index, bool weighted,
                          bool first, CTask& sums) {
  const CELLENTRYTALLY& tally = tt.cellEntryTally[k][index];
  const std::vector<int64_t*>* counts = RangesOf(d.cellEntryCounts[k], index);
  const std::vector<double*>* weights = RangesOf(d.cellEntryWeights[k], index);
  const std::vector<double*>* energies = RangesOf(d.cellEntryEnergies[k], index);
  for (int32_t r = 0; r < tally.nEnergyRanges; ++r) {
    const int64_t n = 2 * static_cast<int64_t>(tt.rangeData[kQuantityE][tally.energyRange[r]].bins);
    if (weighted) {
      if (weights != nullptr) Gather(sums.cellEntryHist_wt[k][index][r], At(*weights, r), n, first);
    } else if (counts != nullptr) {
      Gather(sums.cellEntryHist[k][index][r], At(*counts, r), n, first);
    }
    if (energies != nullptr && sums.cellEntryHist_E[k] != nullptr)
      Gather(sums.cellEntryHist_E[k][index][r], At(*energies, r), n, first);
  }
}

}  // namespace

void GatherDeviceTallies(int32_t device, const DEVICETALLYLIST& list, const TALLYTABLES& tt, bool weighted, bool first,
                         CTask& sums) {
  SelectDevice(device);
  const DEVICETALLIES& d = device_host::deviceRun[device].problem.tallies;
  for (const int32_t t : list.pulseHeight) {
    if (t < 0 || t >= tt.nPulseHeight_tot) continue;
    const int64_t bins = tt.pulseHeightTally[t].bins;
    Gather(sums.pulseHeightHist[t], At(d.pulseHeightCounts, t), bins, first);
    Gather(sums.pulseHeightEnergy[t], At(d.pulseHeightEnergies, t), bins, first);
  }
  for (int k = 0; k < kTallyClassCount; ++k) {
    for (const int32_t t : list.plane[k]) {
      if (t >= 0 && t < tt.nPlaneTalliesTot[k]) GatherPlaneTally(d, tt, k, t, weighted, first, sums);
    }
    for (const int32_t t : list.cellEntry[k]) {
      if (t >= 0 && t < tt.nCellEntryTallies[k]) GatherCellEntryTally(d, tt, k, t, weighted, first, sums);
    }
  }
}
