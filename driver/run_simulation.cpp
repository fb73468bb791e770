#include "driver/run_simulation.h"

#include "driver/result_totals.h"
#include "driver/run_loop.h"
#include "driver/run_monitor.h"
#include "driver/run_summary.h"
#include "driver/work_division.h"
#include "platform/keys.h"
#include "transport/history.h"

int RunSimulation() {
  if (int code = DivideWork()) return code;
  BuildControlEntries();
  SetRunMonitor(ShowProgress);
  const int code = RunLoop();
  SetRunMonitor(nullptr);
  EndKeyMode();
  if (code != 0) return code;
  ComputeResultTotals();
  return WriteRunSummary();
}
