// The definitions of device_monitor.h for one program (TQ_GPU_BUILD 0 or 1).
#include "driver/device_monitor.h"

#if TQ_GPU_BUILD
#include <algorithm>

#include "core/tally_tables.h"
#include "driver/input/options.h"
#include "driver/run/device_division.h"
#include "driver/setup/input_checks.h"
#include "gpu/device_monitor.h"
#include "gpu/device_stats.h"

namespace {

struct SLOTMONITOR {
  CUDA_STATS previous{};  // the counters at the last call of DeviceSecondFigures
  std::vector<CThread2> threads;
};
SLOTMONITOR slotMonitor[kMaxDeviceSlots];

bool RealSlot(int32_t slot) {
  const DEVICEDIVISION& v = run::deviceDivision;
  return slot >= 0 && slot < v.nDevices && !v.slot[slot].emulated;
}

CUDADEVICESHAPE ShapeOf(const DEVICESLOT& s) {
  CUDADEVICESHAPE shape;
  shape.clockRateHz = setup::deviceSelection.clockRateHz[s.device];
  shape.nThreads = s.nThreads;
  shape.blockSize = input::runOptions.blockSize_CUDA;
  return shape;
}

void Figures(const CUDADEVICESHAPE& shape, const CUDA_STATS& difference, double out[kDeviceFigures]) {
  CUDA_SECOND_STATS s{};
  ComputeCudaSecondStats(shape, difference, s, -1);
  std::copy(s.value, s.value + kDeviceFigures, out);
  out[7] = static_cast<double>(s.Launches());
}

}  // namespace

bool ReadDeviceTick(int32_t slot, DEVICETICKREADING* reading) {
  *reading = DEVICETICKREADING{};
  if (!RealSlot(slot)) return false;
  const RUNOPTIONS& o = input::runOptions;
  const DEVICESLOT& s = run::deviceDivision.slot[slot];
  const DEVICESTATUSREADING status = ReadDeviceMonitorStatus(s.device, o.heap_CUDA);
  reading->finished = o.heap_CUDA == kHeapRing ? status.nFinishedSourceTracks : status.nFinishedHistories;
  reading->started = status.nStartedHistories;
  const DEVICELAUNCHREADING launch =
      ReadDeviceLaunch(s.device, s.nThreads, o.blockSize_CUDA, slotMonitor[slot].threads);
  const double clock = setup::deviceSelection.clockRateHz[s.device];
  reading->activeThreads = launch.activeThreads;
  reading->threadSeconds = clock > 0.0 ? launch.threadCycles / clock : 0.0;
  reading->longestSeconds = clock > 0.0 ? launch.longestCycles / clock : 0.0;
  double capacity = 0.0;
  if (o.heap_CUDA == kHeapRing) {
    reading->banked = static_cast<double>(status.waiting);
    capacity = static_cast<double>(s.avgBanked) * s.nTasks + 2.0 * s.nThreads;
  } else {
    reading->banked = status.maxBanked_kernelCall;
    capacity = MaxBankedAllowed(s.avgBanked, o.maxBankedRatio_CUDA);
  }
  reading->bankedPercent = capacity > 0.0 ? 100.0 * reading->banked / capacity : 0.0;
  return true;
}

void DeviceSecondFigures(int32_t slot, double interval[kDeviceFigures], double wholeRun[kDeviceFigures]) {
  std::fill(interval, interval + kDeviceFigures, 0.0);
  std::fill(wholeRun, wholeRun + kDeviceFigures, 0.0);
  if (!RealSlot(slot)) return;
  const DEVICESLOT& s = run::deviceDivision.slot[slot];
  const CUDA_STATS now = ReadDeviceCounters(s.device);
  CUDA_STATS difference{};
  DiffCudaStats(now, slotMonitor[slot].previous, difference);
  Figures(ShapeOf(s), difference, interval);
  Figures(ShapeOf(s), now, wholeRun);
  slotMonitor[slot].previous = now;
}

void ResetDeviceMonitor() {
  for (SLOTMONITOR& m : slotMonitor) {
    m.previous = CUDA_STATS{};
    m.threads.clear();
  }
}

void GatherDeviceTallySums(CTask& sums, const std::vector<GATHEREDTALLY>& tallies, bool weighted) {
  DEVICETALLYLIST list;
  for (const GATHEREDTALLY& e : tallies) {
    switch (e.family) {
      case 0:
        list.pulseHeight.push_back(e.index);
        break;
      case 1:
        list.plane[e.tallyClass].push_back(e.index);
        break;
      default:
        list.cellEntry[e.tallyClass].push_back(e.index);
        break;
    }
  }
  bool first = true;
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (v.slot[d].emulated) continue;
    GatherDeviceTallies(v.slot[d].device, list, core::hostTallyTables, weighted, first, sums);
    first = false;
  }
}

#else

bool ReadDeviceTick(int32_t, DEVICETICKREADING* reading) {
  *reading = DEVICETICKREADING{};
  return false;
}
void DeviceSecondFigures(int32_t, double interval[kDeviceFigures], double wholeRun[kDeviceFigures]) {
  for (int i = 0; i < kDeviceFigures; ++i) interval[i] = wholeRun[i] = 0.0;
}
void ResetDeviceMonitor() {}
void GatherDeviceTallySums(CTask&, const std::vector<GATHEREDTALLY>&, bool) {}

#endif
