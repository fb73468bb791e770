// The definitions of device_results.h for one program: compiled once for
// Trenqual (TQ_GPU_BUILD 0: no device work, nothing to read back) and once
// for Trenqual_CUDA (TQ_GPU_BUILD 1), which reads its devices through the
// host steps of gpu/device_results.h.
#include "driver/device_results.h"

#include "driver/run/result_totals.h"

#if TQ_GPU_BUILD
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/input/options.h"
#include "driver/progress_line.h"
#include "driver/results/tally_storage.h"
#include "driver/run/device_division.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/setup/input_checks.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_results.h"
#include "gpu/device_run_state.h"

namespace {

// Calls f(slot, device state) for every real device slot, in slot order,
// with its device selected.
template <typename F>
void ForEachRealDevice(F f) {
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    const DEVICESLOT& slot = v.slot[d];
    if (slot.emulated) continue;
    SelectDevice(slot.device);
    f(d, device_host::deviceRun[slot.device]);
  }
}

// The read-back's progress line, on the run's one console line: the summary
// blanks it over its whole length.
void ShowReadBack(PROGRESSLINE& line, const char* format, int32_t done, int32_t all) {
  char text[160];
  snprintf(text, sizeof text, format, done, all, 100.0 * done / (all > 0 ? all : 1));
  line.length = static_cast<size_t>(run::lastLineLength > 0 ? run::lastLineLength : 0);
  line.Show(text);
  if (static_cast<int32_t>(line.length) > run::lastLineLength) run::lastLineLength = static_cast<int32_t>(line.length);
}

}  // namespace

void ReadDeviceTaskTable(RESULTTOTALS& r) {
  const int32_t all = run::deviceDivision.nRealTasks;
  r.deviceTasks.clear();
  r.deviceTasks.reserve(static_cast<size_t>(all > 0 ? all : 0));
  PROGRESSLINE line;
  ForEachRealDevice([&](int32_t d, const DEVICERUNSTATE& device) {
    for (int32_t j = 0; j < run::deviceDivision.slot[d].nTasks; ++j) {
      const DEVICETASKFIELDS f = ReadDeviceTaskFields(device.taskData, j);
      r.deviceTasks.push_back(DEVICETASKENTRY{f.nBanked, f.nStreams, f.streamCursor, f.maxBanked, f.fatalError});
      ShowReadBack(line, "Copied data from %d / %d CUDA tasks (%.2f %%)", static_cast<int32_t>(r.deviceTasks.size()),
                   all);
    }
  });
}

bool TakeFirstDeviceTaskState(CTask& target) {
  const DEVICEDIVISION& v = run::deviceDivision;
  int32_t first = -1;
  for (int32_t d = 0; d < v.nDevices && first < 0; ++d) first = v.slot[d].emulated ? -1 : d;
  if (first < 0) return false;
  SelectDevice(v.slot[first].device);
  auto task = std::make_unique<DEVICETASK>();
  ReadDeviceTask(device_host::deviceRun[v.slot[first].device].taskData, 0, task.get());
  // The task's particle and bookkeeping, not its addresses: those are the
  // device's and mean nothing to the host.
  const TASKSTATE& t = task->t;
  static_cast<PARTICLESTATE&>(target) = static_cast<const PARTICLESTATE&>(t);
  target.cell = nullptr;
  target.material = nullptr;
  target.nBanked = t.nBanked;
  target.maxBanked = task->control.maxSlots;
  target.state = t.state;
  target.threadNo = task->control.taskNo;
  target.iStream = t.iStream;
  target.streamCursor = task->control.streamCursor;
  target.fatalError.store(task->control.fatalError, std::memory_order_relaxed);
  FreeTaskTallies(target, core::hostTallyTables);  // a record that gathered an earlier run's results
  return AllocateTaskTallies(target, core::hostTallyTables, core::hostConstants.interactionForcing != 0);
}

void AddDeviceTallies(CTask& target) {
  const TALLYTABLES& tt = core::hostTallyTables;
  const bool weighted = core::hostConstants.interactionForcing != 0;
  ForEachRealDevice(
      [&](int32_t, const DEVICERUNSTATE& device) { AddDevicePulseHeightTallies(device.problem.tallies, tt, target); });
  ForEachRealDevice([&](int32_t, const DEVICERUNSTATE& device) {
    AddDeviceTableTallies(device.problem.tallies, tt, weighted, target);
  });
}

void AddDeviceThreadStatistics(RESULTTOTALS& r) {
  const DEVICEDIVISION& v = run::deviceDivision;
  int32_t all = 0;
  for (int32_t d = 0; d < v.nDevices; ++d) all += v.slot[d].emulated ? 0 : v.slot[d].nThreads;
  const bool perCell = !r.cellStats.empty();
  const int32_t nCells = perCell ? static_cast<int32_t>(r.cellStats.size()) : 0;
  std::vector<INTERACTIONSTATS> cells(static_cast<size_t>(nCells));
  INTERACTIONSTATS overall{};
  int32_t done = 0;
  PROGRESSLINE line;
  ForEachRealDevice([&](int32_t d, const DEVICERUNSTATE& device) {
    for (int32_t i = 0; i < v.slot[d].nThreads; ++i) {
      ReadThreadStats(device.taskData, i, nCells, &overall, perCell ? cells.data() : nullptr);
      AccumulateStats(r.stats, overall);
      if (perCell) AddRecordCellStats(r, cells.data());
      ShowReadBack(line, "Copied interaction statistics from %d / %d CUDA threads (%.2f %%)", ++done, all);
    }
  });
}

void WalkDeviceTasks(RESULTTOTALS& r) {
  const int32_t heapMode = input::runOptions.heap_CUDA;
  const bool volumeSource = core::hostConstants.sourcePositionType == 3;
  ForEachRealDevice([&](int32_t d, const DEVICERUNSTATE& device) {
    for (int32_t j = 0; j < run::deviceDivision.slot[d].nTasks; ++j) {
      const DEVICETASKCONTROL c = ReadDeviceTaskControl(device.taskData, j);
      if (volumeSource) MergeExtent(r.sourceMin, r.sourceMax, c.sourceMin, c.sourceMax);
      // Deposits of particles whose history ended on another task (the
      // ring); 0 where every history ends on the task that started it.
      r.stats.slot[statslot::eAbsorbed].e += c.historyDeposit;
    }
    // The tasks keep no history count of their own: the device's is its
    // status record's, as the run monitor reads it.
    const DEVICEENDSTATUS status = ReadDeviceEndStatus(device.taskData, heapMode);
    r.deviceHistories[d] += status.finished;
    r.allHistories += status.finished;
  });
}

std::string CpuShareText(const RESULTTOTALS& r) {
  if (!r.deviceWork || run::nCpuTasks <= 0) return std::string();
  return CpuShareLine(r.cpuHistories, r.allHistories, r.invHistories);
}

std::string DeviceSummaryText(const RESULTTOTALS& r, double elapsedSeconds) {
  if (!r.deviceWork) return std::string();
  const RUNOPTIONS& o = input::runOptions;
  std::string text;
  ForEachRealDevice([&](int32_t d, DEVICERUNSTATE& device) {
    const CUDA_STATS counters = ReadCudaStats(device.taskData);
    if (o.stats_CUDA != 1 && o.stats_CUDA != 3) return;
    const DEVICESLOT& slot = run::deviceDivision.slot[d];
    device.stats.Finish();
    DEVICEREPORT report;
    report.device = slot.device;
    report.histories = r.deviceHistories[d];
    report.allHistories = r.allHistories;
    report.invHistoryCount = r.invHistories;
    report.heapMode = o.heap_CUDA;
    report.maxBankedObserved = r.maxBankedOfDevice[d];
    const int64_t capacity =
        static_cast<int64_t>(slot.avgBanked) * slot.nTasks + (o.heap_CUDA == kHeapRing ? 2 * slot.nThreads : 0);
    report.maxBankedAllowed = o.heap_CUDA < kHeapRing ? MaxBankedAllowed(slot.avgBanked, o.maxBankedRatio_CUDA)
                                                      : static_cast<int32_t>(capacity);
    report.nTasks = slot.nTasks;
    report.elapsedSeconds = elapsedSeconds;
    text += DeviceStatisticsBlock(report, device.stats, counters);
  });
  char line[160];
  snprintf(line, sizeof line, "\nRatio of the total CUDA kernel execution time and total elapsed time = %g.",
           elapsedSeconds > 0.0 ? run::kernelTime / elapsedSeconds : 0.0);
  text += line;
  if (run::nCpuTasks > 0 && run::nStreamsHost > 0) {
    snprintf(line, sizeof line, "\nRatio of the total CPU simulation time and total elapsed time = %g.",
             elapsedSeconds > 0.0 ? run::cpuTime / elapsedSeconds : 0.0);
    text += line;
  }
  return text + "\n";
}

#else

void ReadDeviceTaskTable(RESULTTOTALS&) {}
bool TakeFirstDeviceTaskState(CTask&) { return false; }
void AddDeviceTallies(CTask&) {}
void AddDeviceThreadStatistics(RESULTTOTALS&) {}
void WalkDeviceTasks(RESULTTOTALS&) {}
std::string CpuShareText(const RESULTTOTALS&) { return std::string(); }
std::string DeviceSummaryText(const RESULTTOTALS&, double) { return std::string(); }

#endif
