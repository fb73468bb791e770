#include "driver/run/monitored_tallies.h"

#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/pulse_height.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/input/input_passes.h"
#include "driver/run/run_state.h"
#include "platform/clock.h"

std::vector<CONTROLENTRY> controlEntries;

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
  cellTables.volume.assign(n, -1.0);  // the cell volumes join here with the geometry
  cellTables.pulseHeightCount.resize(n);
  for (size_t c = 0; c < n; ++c) {
    cellTables.id[c] = k.cell[c].number;
    cellTables.density[c] = k.cell[c].density;
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
      const PULSEHEIGHTTALLY& t = pulseHeightTally[static_cast<size_t>(e.index)];
      during = t.writeDuringRun;
      interval = t.interval;
      break;
    }
    case kPlaneFamily: {
      const PLANETALLY& t = tallyData[e.tallyClass][e.index];
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

}  // namespace

TALLYFILECONTEXT MakeTallyFileContext(const CTask* records, int32_t nRecords) {
  const Constants& k = hostConstants;
  FillCellTables(k);
  TALLYFILECONTEXT ctx;
  ctx.folder = filesFolder.c_str();
  ctx.displayFactor[kQuantityE] = k.energyFactor;
  ctx.displayFactor[kQuantityTheta] = kDegreesPerRadian;
  ctx.displayFactor[kQuantityPhi] = kDegreesPerRadian;
  ctx.energyFactor = k.energyFactor;
  ctx.perSource = tallyOptions.perSource;
  ctx.weighted = nRecords > 0 && records[0].bank.wt != nullptr;
  ctx.records = records;
  ctx.nRecords = nRecords;
  ctx.cellId = cellTables.id.data();
  ctx.cellDensity = cellTables.density.data();
  ctx.cellVolume = cellTables.volume.data();
  ctx.totalMass = 0.0;  // the mass of the geometry joins here with the cell volumes
  ctx.pulseHeightCountOfCell = cellTables.pulseHeightCount.data();
  ctx.nWholeGeometryPulseHeight = nWholeGeometryPulseHeight;
  return ctx;
}

void CollectDeviceTallies(double now, double invHistories) {
  if (lastOutput.size() != controlEntries.size()) lastOutput.assign(controlEntries.size(), 0.0);
  const TALLYFILECONTEXT ctx = MakeTallyFileContext(tasks + firstCpuTask, nThreads - firstCpuTask);
  for (size_t i = 0; i < controlEntries.size(); ++i) {
    CONTROLENTRY& e = controlEntries[i];
    TALLYERRORFIGURE figure;
    figure.mode = e.targetKind >= 0 ? e.targetKind : kErrorAverage;
    if (IntervalElapsed(e, now, lastOutput[i])) {
      WriteEntry(ctx, e, true, &figure, invHistories);
      lastOutput[i] = SecondsSinceStart() - runStartTime;
    } else if (e.targetKind >= 0) {
      WriteEntry(ctx, e, false, &figure, invHistories);
    } else {
      continue;
    }
    e.error = figure.value;
  }
}

void ResetMonitoredTallies() { lastOutput.assign(controlEntries.size(), 0.0); }
