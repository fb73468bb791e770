// The simulation after the set-up: the work division, the run loop under the
// run monitor, the result totals, the run summary and the result files.
#pragma once

#include "driver/status.h"

// Returns the exit code: 0, 1 (a worker's fatal error, a thread that cannot
// be started, a result file that cannot be written) or 2 (device errors).
Status RunSimulation();
