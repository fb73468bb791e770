// The run loop: starts the CPU workers, runs worker 0 on the main thread,
// polls the others under the run monitor, deals the streams out afresh when
// the monitor asks for it, and ends when every stream is finished.
#pragma once

#include <cstdint>
#include <vector>
#include "driver/status.h"

// Runs the whole simulation after the work division. Returns 0, or 1 when a
// thread cannot be started or a worker has set its fatal-error flag.
Status RunLoop();

namespace run {
// Elapsed time of the run (s), taken when the loop ends.
extern double runElapsedTime;
}  // namespace run

// The streams held by the CPU records, gathered for a re-deal: every stream
// of a record that runs no history, all but the current one of a record that
// runs one. held counts them all, the current ones included.
struct STREAMPOOL {
  std::vector<int32_t> pool;
  int32_t held = 0;
};
STREAMPOOL GatherStreamPool();

// Deals the pool over at most min(held, nCpuTasks) records: the records that
// run a history keep their current stream, and all dealt records get
// held / k streams, give or take one, in record order.
void RedealStreams(const STREAMPOOL& pool);
