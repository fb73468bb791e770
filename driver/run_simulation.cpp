#include "driver/run_simulation.h"

#include "driver/options.h"
#include "driver/result_totals.h"
#include "driver/run_loop.h"
#include "driver/run_monitor.h"
#include "driver/run_summary.h"
#include "driver/work_division.h"
#include "platform/keys.h"
#include "transport/history.h"

int RunSimulation() {
  if (int code = DivideWork()) return code;
  // check -1: the set-up and the work division are complete; no history runs.
  if (runOptions.check < 0) return 0;
  HandOverToRun();
  BuildControlEntries();
  SetRunMonitor(ShowProgress);
  const int code = RunLoop();
  SetRunMonitor(nullptr);
  EndKeyMode();
  if (code != 0) return code;
  ComputeResultTotals();
  return WriteRunSummary();
}
