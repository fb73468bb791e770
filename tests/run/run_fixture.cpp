#include "tests/run/run_fixture.h"

#include "core/stream_control.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/run_monitor.h"
#include "driver/run/work_division.h"
#include "driver/run_main.h"
#include "language/compiler.h"
#include "tests/transport/transport_fixture.h"
#include "transport/history.h"

int PrepareRun(int32_t nWorkers, int32_t nStreams, int64_t N, StepFunction step, int32_t seed) {
  if (language::compiler == nullptr && CreateCompiler() != 0) return 1;  // it holds the Esc state
  SetSimpleProblem();
  input::runOptions = RUNOPTIONS{};
  input::runOptions.nThreads = nWorkers;
  input::runOptions.nStreams = nStreams;
  input::runOptions.nParticles = N;
  input::runOptions.seed = seed;
  directives::transportOptions.nTracks = 0;
  run::controlEntries.clear();
  const int code = DivideWork();
  if (code != 0) return code;
  HandOverToRun();
  for (int32_t r = 0; r < core::nThreads; ++r) core::tasks[r].stepOverride = step;
  SetRunMonitor(ShowProgress);
  return 0;
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
