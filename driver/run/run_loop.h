// The run loop: starts the CPU workers, runs worker 0 on the main thread,
// polls the others under the run monitor, deals the streams out afresh when
// the monitor asks for it, and ends when every stream is finished.
#pragma once

#include <cstdint>
#include <vector>
#include "core/stream_control.h"
#include "driver/device_rounds.h"
#include "driver/status.h"

// Runs the whole simulation after the work division. Returns 0, or 1 when a
// thread cannot be started or a worker has set its fatal-error flag.
Status RunLoop();

namespace run {
// Elapsed time of the run (s), taken when the loop ends.
extern double runElapsedTime;
// Each device slot's status record as last read back after a cycle.
extern DEVICESTATUSHOST deviceStatus[kMaxDeviceSlots];
}  // namespace run

// The run with real devices (device_cycles.cpp): the CPU workers on their
// threads, the main thread driving the devices in cycles (a launch of one
// time slice on every device not finished, the wait, the status read-back),
// the monitor after every cycle, the stream re-deals and, with balance_CUDA
// 1, the re-division of the histories. Returns 0, 1 (a thread could not be
// started, a worker's fatal error) or 2 (a device's fatal error).
Status RunLoopWithDevices();

// The ring read margin of a device whose tasks all wait to read while
// `waiting` particles (no more than the margin) sit in its ring after the
// source is exhausted: lowered step by step so that the last particles are
// read.
int32_t NextRingMargin(int32_t margin, uint64_t waiting);

// True when the ring of `capacity` slots, with 2 x nThreads of them kept
// spare, holds more than 90 % of the rest.
bool RingMoreThanNinetyPercentFull(uint64_t nextReadPos, uint64_t nextWritePos, int64_t capacity, int32_t nThreads);

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
