#include "gpu/device_results.h"

#include <cstddef>
#include <vector>

#include "core/tally.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_rounds.h"

namespace {

// Counts are added modulo 2^64, as the device adds them.
inline void AddValue(int64_t& to, int64_t from) {
  to = static_cast<int64_t>(static_cast<uint64_t>(to) + static_cast<uint64_t>(from));
}
inline void AddValue(double& to, double from) { to += from; }

// One device array of n values copied whole and added into the host array;
// nothing when either side has no array.
template <typename T>
void AddDeviceArray(T* host, const T* device, int64_t n, std::vector<T>& buffer) {
  if (host == nullptr || device == nullptr || n <= 0) return;
  buffer.resize(static_cast<size_t>(n));
  DeviceDownload(buffer.data(), device, static_cast<size_t>(n) * sizeof(T));
  for (int64_t i = 0; i < n; ++i) AddValue(host[i], buffer[static_cast<size_t>(i)]);
}

template <typename T>
T* At(const std::vector<T*>& arrays, size_t i) {
  return i < arrays.size() ? arrays[i] : nullptr;
}

template <typename T>
T* HostAt(T* const* arrays, size_t i) {
  return arrays != nullptr ? arrays[i] : nullptr;
}

// The 1-D or 2-D tables of one class.
struct TABLESCORES {
  const std::vector<int64_t*>& counts;
  const std::vector<double*>& weights;
  const std::vector<double*>& energies;
  int64_t** hostCounts;
  double** hostWeights;
  double** hostEnergies;
  const int32_t* half;
  int32_t nSlots;
};

void AddTables(const TABLESCORES& s, bool weighted, std::vector<int64_t>& countBuffer,
               std::vector<double>& doubleBuffer) {
  for (int32_t slot = 0; slot < s.nSlots; ++slot) {
    const size_t i = static_cast<size_t>(slot);
    const int64_t n = 2 * static_cast<int64_t>(s.half[slot]);
    if (weighted) {
      AddDeviceArray(HostAt(s.hostWeights, i), At(s.weights, i), n, doubleBuffer);
    } else {
      AddDeviceArray(HostAt(s.hostCounts, i), At(s.counts, i), n, countBuffer);
    }
    AddDeviceArray(HostAt(s.hostEnergies, i), At(s.energies, i), n, doubleBuffer);
  }
}

template <typename T>
T* RangeAt(const std::vector<std::vector<T*>>& tallies, size_t t, size_t r) {
  return t < tallies.size() ? At(tallies[t], r) : nullptr;
}

template <typename T>
T* HostRangeAt(T*** tallies, size_t t, size_t r) {
  return tallies != nullptr && tallies[t] != nullptr ? tallies[t][r] : nullptr;
}

}  // namespace

DEVICETASKFIELDS ReadDeviceTaskFields(const DEVICETASKDATA& d, int32_t j) {
  const DEVICETASKCONTROL c = ReadDeviceTaskControl(d, j);
  // nBanked and maxBanked lie side by side in the task's record.
  static_assert(offsetof(TASKBANK, maxBanked) == offsetof(TASKBANK, nBanked) + sizeof(int32_t));
  int32_t bank[2] = {};
  DeviceDownload(bank, &d.tasks[j].t.nBanked, sizeof bank);
  DEVICETASKFIELDS f;
  f.nBanked = bank[0];
  f.nStreams = c.nStreams;
  f.streamCursor = c.streamCursor;
  f.maxBanked = c.maxSlots;
  f.fatalError = c.fatalError;
  return f;
}

DEVICETASKCONTROL ReadDeviceTaskControl(const DEVICETASKDATA& d, int32_t j) {
  DEVICETASKCONTROL c{};
  DeviceDownload(&c, &d.tasks[j].control, sizeof c);
  return c;
}

void ReadDeviceTask(const DEVICETASKDATA& d, int32_t j, DEVICETASK* task) {
  DeviceDownload(task, &d.tasks[j], sizeof(DEVICETASK));
}

void AddDevicePulseHeightTallies(const DEVICETALLIES& d, const TALLYTABLES& tt, TASKTALLIES& target) {
  std::vector<int64_t> counts;
  std::vector<double> energies;
  for (int32_t t = 0; t < tt.nPulseHeight_tot; ++t) {
    const size_t i = static_cast<size_t>(t);
    const int32_t bins = tt.pulseHeightTally[t].bins;
    AddDeviceArray(HostAt(target.pulseHeightHist, i), At(d.pulseHeightCounts, i), bins, counts);
    if (tt.pulseHeightTally[t].eDeposition != 0) {
      AddDeviceArray(HostAt(target.pulseHeightEnergy, i), At(d.pulseHeightEnergies, i), bins, energies);
    }
  }
}

void AddDeviceTableTallies(const DEVICETALLIES& d, const TALLYTABLES& tt, bool weighted, TASKTALLIES& target) {
  std::vector<int64_t> counts;
  std::vector<double> doubles;
  for (int k = 0; k < kTallyClassCount; ++k) {
    AddTables(TABLESCORES{d.oneDimCounts[k], d.oneDimWeights[k], d.oneDimEnergies[k], target.oneDimTallies[k],
                          target.oneDimTallies_wt[k], target.oneDimTallies_E[k], tt.oneDimHalf[k], tt.nOneDimSlots[k]},
              weighted, counts, doubles);
    AddTables(TABLESCORES{d.twoDimCounts[k], d.twoDimWeights[k], d.twoDimEnergies[k], target.twoDimTallies[k],
                          target.twoDimTallies_wt[k], target.twoDimTallies_E[k], tt.twoDimHalf[k], tt.nTwoDimSlots[k]},
              weighted, counts, doubles);
    for (int32_t t = 0; t < tt.nCellEntryTallies[k]; ++t) {
      const CELLENTRYTALLY& tally = tt.cellEntryTally[k][t];
      const size_t ti = static_cast<size_t>(t);
      for (int32_t r = 0; r < tally.nEnergyRanges; ++r) {
        const size_t ri = static_cast<size_t>(r);
        const int64_t n = 2 * static_cast<int64_t>(tt.rangeData[kQuantityE][tally.energyRange[r]].bins);
        if (weighted) {
          AddDeviceArray(HostRangeAt(target.cellEntryHist_wt[k], ti, ri), RangeAt(d.cellEntryWeights[k], ti, ri), n,
                         doubles);
        } else {
          AddDeviceArray(HostRangeAt(target.cellEntryHist[k], ti, ri), RangeAt(d.cellEntryCounts[k], ti, ri), n,
                         counts);
        }
        if (tally.eFlux != 0) {
          AddDeviceArray(HostRangeAt(target.cellEntryHist_E[k], ti, ri), RangeAt(d.cellEntryEnergies[k], ti, ri), n,
                         doubles);
        }
      }
    }
  }
}

void ReadThreadStats(const DEVICETASKDATA& d, int32_t i, int32_t nCells, INTERACTIONSTATS* overall,
                     INTERACTIONSTATS* cells) {
  CThread2 thread;
  DeviceDownload(&thread, &d.threads[i], sizeof thread);
  DeviceDownload(overall, thread.stats, sizeof(INTERACTIONSTATS));
  if (cells == nullptr || nCells <= 0) return;
  if (thread.cellStats == nullptr) {
    for (int32_t c = 0; c < nCells; ++c) cells[c] = INTERACTIONSTATS{};
    return;
  }
  DeviceDownload(cells, thread.cellStats, static_cast<size_t>(nCells) * sizeof(INTERACTIONSTATS));
}

DEVICEENDSTATUS ReadDeviceEndStatus(const DEVICETASKDATA& d, int32_t heapMode) {
  const DEVICESTATUSHOST s = DownloadStatusRecord(d.status, heapMode);
  DEVICEENDSTATUS e;
  e.finished = heapMode == kHeapRing ? s.nFinishedSourceTracks : s.nFinishedHistories;
  e.maxBankedDevice = s.maxBanked_device;
  e.error = s.error;
  return e;
}

CUDA_STATS ReadCudaStats(const DEVICETASKDATA& d) { return DownloadRecord<CUDA_STATS>(d.cudaStats); }
