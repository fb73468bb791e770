#include "driver/run/run_simulation.h"

#include "core/allocation.h"
#include "driver/input/options.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/result_totals.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_summary.h"
#include "driver/run/work_division.h"
#include "platform/keys.h"
#include "transport/history.h"

Status RunSimulation() {
  if (int code = DivideWork()) return code;
  // check -1: the set-up and the work division are complete; no history runs.
  if (input::runOptions.check < 0) return kOk;
  HandOverToRun();
  BuildControlEntries();
  if (!PrepareTallySnapshots()) AllocationFailed("copies of the tally arrays", 0);
  SetRunMonitor(ShowProgress);
  const int code = RunLoop();
  SetRunMonitor(nullptr);
  EndKeyMode();
  if (code != 0) return code;
  ComputeResultTotals();
  return WriteRunSummary();
}
