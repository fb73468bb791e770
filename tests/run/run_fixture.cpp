#include "tests/run/run_fixture.h"

#include "core/pulse_height.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/run_monitor.h"
#include "driver/run/work_division.h"
#include "driver/run_main.h"
#include "driver/setup/input_checks.h"
#include "language/compiler.h"
#include "tests/transport/transport_fixture.h"
#include "transport/history.h"

namespace {

void SetRunOptions(int32_t nWorkers, int32_t nStreams, int64_t N, int32_t seed) {
  SetSimpleProblem();
  input::runOptions = RUNOPTIONS{};
  input::runOptions.nThreads = nWorkers;
  input::runOptions.nStreams = nStreams;
  input::runOptions.nParticles = N;
  input::runOptions.seed = seed;
  directives::transportOptions.nTracks = 0;
  run::controlEntries.clear();
  setup::deviceSelection = DEVICESELECTION{};
}

int DivideAndHandOver(StepFunction step) {
  const int code = DivideWork();
  if (code != 0) return code;
  HandOverToRun();
  for (int32_t r = 0; r < core::nThreads; ++r) core::tasks[r].stepOverride = step;
  SetRunMonitor(ShowProgress);
  return 0;
}

}  // namespace

int PrepareRun(int32_t nWorkers, int32_t nStreams, int64_t N, StepFunction step, int32_t seed) {
  if (language::compiler == nullptr && CreateCompiler() != 0) return 1;  // it holds the Esc state
  SetRunOptions(nWorkers, nStreams, N, seed);
  return DivideAndHandOver(step);
}

int PrepareEmulatedRun(int32_t nWorkers, int32_t nStreams, int64_t N, StepFunction step, int32_t nDevices,
                       int32_t tasksPerDevice, double ratio) {
  if (language::compiler == nullptr && CreateCompiler() != 0) return 1;
  SetRunOptions(nWorkers, nStreams, N, 1);
  RUNOPTIONS& o = input::runOptions;
  o.tasks_CUDA = tasksPerDevice;
  o.threads_CUDA = tasksPerDevice;
  o.blockSize_CUDA = tasksPerDevice;
  o.streams_CUDA = 1;
  o.ratio_CUDA = ratio;
  o.heap_CUDA = 1;
  o.balance_CUDA = 0;
  o.emulate_CUDA = 1;
  DEVICESELECTION& sel = setup::deviceSelection;
  sel.nUsed = nDevices;
  sel.allEmulated = true;
  for (int32_t d = 0; d < nDevices; ++d) {
    sel.used[d] = d;
    sel.emulated[d] = true;
  }
  return DivideAndHandOver(step);
}

void FinishRun() {
  SetRunMonitor(nullptr);
  run::controlEntries.clear();
  run::controlRefresh = CollectDeviceTallies;
  ReleaseWorkDivision();
}

uint64_t FinishedHistories() {
  uint64_t n = 0;
  for (int32_t r = 0; r < core::nThreads; ++r) n += core::tasks[r].stats->slot[statslot::nHistoriesDone].n;
  return n;
}

void DefineWatchedPulseHeightTally(int32_t bins, const CONTROLTALLY& control) {
  PULSEHEIGHTTALLY t{};
  t.cell = -1;
  t.ordinal = 1;
  t.bins = bins;
  t.lower = 1.0;
  t.upper = 1.0 + bins;
  t.invWidth = 1.0;
  t.writeDuringRun = 1;
  t.interval = -1.0;  // due at every tick
  directives::pulseHeightTally.assign(1, t);
  directives::nPulseHeight_tot = 1;
  directives::nWholeGeometryPulseHeight = 1;
  directives::pulseHeightControlTallies.assign(1, control);
  core::hostTallyTables.pulseHeightTally = directives::pulseHeightTally.data();
  core::hostTallyTables.nPulseHeight_tot = 1;
}

void ForgetPulseHeightTallies() {
  directives::pulseHeightTally.clear();
  directives::nPulseHeight_tot = 0;
  directives::nWholeGeometryPulseHeight = 0;
  directives::pulseHeightControlTallies.clear();
  core::hostTallyTables.pulseHeightTally = nullptr;
  core::hostTallyTables.nPulseHeight_tot = 0;
}
