#include "driver/run/monitored_tallies.h"

#include <new>
#include <vector>

#include "core/allocation.h"
#include "core/cell.h"
#include "core/constants.h"
#include "core/pulse_height.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/device_monitor.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/input/input_passes.h"
#include "driver/results/tally_storage.h"
#include "driver/run/device_division.h"
#include "driver/run/run_state.h"
#include "driver/setup/geometry_reports.h"
#include "platform/clock.h"
#include "platform/threads.h"
#include "transport/history.h"

namespace run {
std::vector<CONTROLENTRY> controlEntries;
}  // namespace run

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.141592653589793;

// Per-cell tables of the writers' context, rebuilt with it.
struct CELLTABLES {
  std::vector<int32_t> id;
  std::vector<double> density;
  std::vector<double> volume;
  std::vector<int32_t> pulseHeightCount;
};
CELLTABLES cellTables;

void FillCellTables(const Constants& k) {
  const size_t n = k.cell != nullptr && k.nCells > 0 ? static_cast<size_t>(k.nCells) : 0;
  cellTables.id.resize(n);
  cellTables.density.resize(n);
  cellTables.volume.resize(n);
  cellTables.pulseHeightCount.resize(n);
  for (size_t c = 0; c < n; ++c) {
    cellTables.id[c] = k.cell[c].number;
    cellTables.density[c] = k.cell[c].density;
    cellTables.volume[c] = CellOrUnionVolume(static_cast<int32_t>(c));
    cellTables.pulseHeightCount[c] = k.cell[c].pulseHeight;
  }
}

// Run time of the last writing of every entry of controlEntries.
std::vector<double> lastOutput;

bool IntervalElapsed(const CONTROLENTRY& e, double now, double last) {
  const TALLYTABLES& tt = GetTallyTables();
  uint8_t during = 0;
  double interval = 0.0;
  switch (e.family) {
    case kPulseHeightFamily: {
      const PULSEHEIGHTTALLY& t = directives::pulseHeightTally[static_cast<size_t>(e.index)];
      during = t.writeDuringRun;
      interval = t.interval;
      break;
    }
    case kPlaneFamily: {
      const PLANETALLY& t = directives::tallyData[e.tallyClass][e.index];
      during = t.writeDuringRun;
      interval = t.outputInterval;
      break;
    }
    default: {
      if (tt.cellEntryTally[e.tallyClass] == nullptr) return false;
      const CELLENTRYTALLY& t = tt.cellEntryTally[e.tallyClass][e.index];
      during = t.writeDuringRun;
      interval = t.outputInterval;
      break;
    }
  }
  return during != 0 && now - last > interval;
}

void WriteEntry(const TALLYFILECONTEXT& ctx, const CONTROLENTRY& e, bool write, TALLYERRORFIGURE* figure,
                double invHistories) {
  switch (e.family) {
    case kPulseHeightFamily:
      WritePulseHeightTallies(ctx, e.index, write, figure, invHistories);
      return;
    case kPlaneFamily:
      WritePlaneTallies(ctx, e.index, e.tallyClass, write, figure, invHistories);
      return;
    default:
      WriteCellEntryTallies(ctx, e.index, e.tallyClass, write, figure, invHistories);
      return;
  }
}

// --- Snapshot of the workers' tallies ---------------------------------------------
// The files written during the run are summed from a copy of every worker's
// tally arrays, never from the arrays the workers are adding to. A worker
// copies its own arrays between two histories when the monitor asks for it;
// the records of the monitor's own thread (record 0, run by the main thread)
// and of stopped workers are copied by the monitor itself.

CTask* snapshots = nullptr;  // [nThreads] records holding only tally arrays
int32_t nSnapshots = 0;
uint32_t snapshotGeneration = 0;

bool WeightedRecords() { return core::nThreads > 0 && core::tasks[0].bank.wt != nullptr; }

void CopyIntoSnapshot(CTask& worker) {
  const int32_t r = static_cast<int32_t>(&worker - core::tasks);
  CopyTaskTallies(snapshots[r], worker, core::hostTallyTables, WeightedRecords());
}

bool RunsOnOwnThread(int32_t r) { return r != 0 && core::tasks[r].running.load(std::memory_order_acquire) != 0; }

// Asks every worker on a thread of its own for a copy and waits for the
// answers; a worker that stops meanwhile is copied here.
const CTask* TakeSnapshot() {
  const uint32_t generation = ++snapshotGeneration;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (RunsOnOwnThread(r)) core::tasks[r].snapshotRequest.store(generation, std::memory_order_release);
  }
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    CTask& t = core::tasks[r];
    if (r == 0) {  // the monitor's own thread runs record 0
      CopyIntoSnapshot(t);
      continue;
    }
    for (;;) {
      if (t.snapshotTaken.load(std::memory_order_acquire) == generation) break;
      // Stopped: its last writes happen before the flag's release.
      if (t.running.load(std::memory_order_acquire) == 0) {
        CopyIntoSnapshot(t);
        break;
      }
      YieldThread();
    }
  }
  return snapshots + run::firstCpuTask;
}

bool AnyEntryNeedsTallies(double now) {
  for (size_t i = 0; i < run::controlEntries.size(); ++i) {
    if (run::controlEntries[i].targetKind >= 0 || IntervalElapsed(run::controlEntries[i], now, lastOutput[i]))
      return true;
  }
  return false;
}

// A tally file that could not be written ends the run: no new history, every
// worker asked to stop, the run loop returns the error.
void EndRunOnWriteFailure() {
  if (!TallyFileWriteFailed()) return;
  run::resultWriteFailed.store(1, std::memory_order_release);
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    core::tasks[r].stopRequest.store(1, std::memory_order_release);
}

}  // namespace

bool PrepareTallySnapshots() {
  ReleaseTallySnapshots();
  if (run::controlEntries.empty() || core::nThreads <= 0) return true;
  snapshots = new (std::nothrow) CTask[static_cast<size_t>(core::nThreads)];
  if (snapshots == nullptr) return false;
  nSnapshots = core::nThreads;
  for (int32_t r = 0; r < core::nThreads; ++r) {
    if (!AllocateTaskTallies(snapshots[r], core::hostTallyTables, WeightedRecords())) return false;
  }
  SetTallySnapshot(CopyIntoSnapshot);
  return true;
}

void ReleaseTallySnapshots() {
  SetTallySnapshot(nullptr);
  for (int32_t r = 0; r < nSnapshots; ++r) FreeTaskTallies(snapshots[r], core::hostTallyTables);
  delete[] snapshots;
  snapshots = nullptr;
  nSnapshots = 0;
}

TALLYFILECONTEXT MakeTallyFileContext(const CTask* records, int32_t nRecords) {
  const Constants& k = core::hostConstants;
  FillCellTables(k);
  TALLYFILECONTEXT ctx;
  ctx.folder = input::filesFolder.c_str();
  ctx.displayFactor[kQuantityE] = k.energyFactor;
  ctx.displayFactor[kQuantityTheta] = kDegreesPerRadian;
  ctx.displayFactor[kQuantityPhi] = kDegreesPerRadian;
  ctx.energyFactor = k.energyFactor;
  ctx.perSource = directives::tallyOptions.perSource;
  ctx.weighted = nRecords > 0 && records[0].bank.wt != nullptr;
  ctx.records = records;
  ctx.nRecords = nRecords;
  ctx.cellId = cellTables.id.data();
  ctx.cellDensity = cellTables.density.data();
  ctx.cellVolume = cellTables.volume.data();
  ctx.totalMass = GeometryTotalMass();
  ctx.pulseHeightCountOfCell = cellTables.pulseHeightCount.data();
  ctx.nWholeGeometryPulseHeight = directives::nWholeGeometryPulseHeight;
  return ctx;
}

void CollectDeviceTallies(double now, double invHistories) {
  if (lastOutput.size() != run::controlEntries.size()) lastOutput.assign(run::controlEntries.size(), 0.0);
  if (!AnyEntryNeedsTallies(now)) return;
  // Made before the run by RunSimulation; here for callers that skip it.
  if (nSnapshots != core::nThreads && !PrepareTallySnapshots()) AllocationFailed("copies of the tally arrays", 0);
  const CTask* records = TakeSnapshot();
  int32_t nRecords = core::nThreads - run::firstCpuTask;
  if (run::deviceDivision.nRealTasks > 0 && run::firstCpuTask == 1) {
    // Record 0 stays with the main thread, which drives the devices: its
    // copy receives the devices' sums, which the files add to the workers'.
    std::vector<GATHEREDTALLY> gathered;
    for (const CONTROLENTRY& e : run::controlEntries)
      gathered.push_back(GATHEREDTALLY{e.family, e.tallyClass, e.index});
    GatherDeviceTallySums(snapshots[0], gathered, WeightedRecords());
    records = snapshots;
    nRecords = core::nThreads;
  }
  TALLYFILECONTEXT ctx = MakeTallyFileContext(records, nRecords);
  ctx.weighted = WeightedRecords();  // the copies carry no bank
  for (size_t i = 0; i < run::controlEntries.size(); ++i) {
    CONTROLENTRY& e = run::controlEntries[i];
    TALLYERRORFIGURE figure;
    figure.mode = e.targetKind >= 0 ? e.targetKind : kErrorAverage;
    if (IntervalElapsed(e, now, lastOutput[i])) {
      WriteEntry(ctx, e, true, &figure, invHistories);
      lastOutput[i] = SecondsSinceStart() - run::runStartTime;
    } else if (e.targetKind >= 0) {
      WriteEntry(ctx, e, false, &figure, invHistories);
    } else {
      continue;
    }
    e.error = figure.value;
  }
  EndRunOnWriteFailure();
}

void ResetMonitoredTallies() { lastOutput.assign(run::controlEntries.size(), 0.0); }
