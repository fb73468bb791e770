#include "driver/run/run_loop.h"

#include <atomic>
#include <cstdio>

#include "core/stream_control.h"
#include "core/task.h"
#include "core/track_records.h"
#include "driver/run/device_division.h"
#include "driver/run/run_monitor.h"
#include "driver/run/work_division.h"
#include "platform/clock.h"
#include "platform/threads.h"

namespace run {
double runElapsedTime = 0.0;
}  // namespace run

namespace {

bool RunsHistory(const CTask& t) { return t.nStreams > 0 && t.state >= 0; }

void MarkStarted(CTask& t) {
  t.running.store(1, std::memory_order_release);
  t.stopRequest.store(0, std::memory_order_release);
}

// Starts a thread for every record after the first that holds streams, then
// runs record 0 on this thread (its history loop ticks the monitor).
int StartWorkers() {
  run::redealStreams.store(0, std::memory_order_release);
  run::balanceStop.store(0, std::memory_order_release);
  for (int32_t r = 1; r < core::nThreads; ++r) {
    if (core::tasks[r].nStreams <= 0) continue;
    MarkStarted(core::tasks[r]);
    if (!StartThread(ThreadFunc, &run::threadIndex[static_cast<size_t>(r)], r + 1)) {
      core::tasks[r].running.store(0, std::memory_order_release);
      return 1;
    }
  }
  if (core::nThreads > 0 && core::tasks[0].nStreams > 0) {
    MarkStarted(core::tasks[0]);
    core::tasks[0].RunHistories();
    core::tasks[0].running.store(0, std::memory_order_release);
  }
  return 0;
}

bool AnyWorkerRunning() {
  for (int32_t r = 1; r < core::nThreads; ++r) {
    if (core::tasks[r].running.load(std::memory_order_acquire) != 0) return true;
  }
  return false;
}

// The main thread keeps the monitor ticking until every worker has stopped.
// It sleeps between its looks, so that it takes no processor from the
// workers still running (the monitor reads the clock at each call, once a
// millisecond at this pace).
constexpr int kWaitMilliseconds = 1;

void WaitForWorkers() {
  while (AnyWorkerRunning()) {
    ShowProgress(false, true);
    SleepMilliseconds(kWaitMilliseconds);
  }
}

bool AnyFatalError() {
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (core::tasks[r].fatalError.load(std::memory_order_acquire) != 0) return true;
  }
  return false;
}

int32_t RoundHalfUp(double x) { return static_cast<int32_t>(x + 0.5); }

// The tracks not yet recorded, spread again over the streams still held.
void RespreadTracks(const std::vector<int32_t>& held) {
  TRACKOPTIONS& o = core::trackOptions;
  if (o.NTRACKS <= 0 || o.streamQuota == nullptr || held.empty()) return;
  int64_t done = 0;
  for (int32_t s = 0; s < core::runStreams.nStreams_tot; ++s) {
    done += o.streamDone[s];
    o.streamQuota[s] = o.streamDone[s];
  }
  const int64_t left = o.NTRACKS > done ? o.NTRACKS - done : 0;
  const int64_t n = static_cast<int64_t>(held.size());
  for (int64_t i = 0; i < n; ++i) {
    const int32_t s = held[static_cast<size_t>(i)];
    o.streamQuota[s] += static_cast<int32_t>(left / n + (i < left % n ? 1 : 0));
  }
}

}  // namespace

STREAMPOOL GatherStreamPool() {
  STREAMPOOL p;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    const CTask& t = core::tasks[r];
    if (t.nStreams <= 0) continue;
    const bool running = RunsHistory(t);
    for (int32_t i = 0; i < t.nStreams; ++i) {
      if (!(running && t.streamList[i] == t.iStream)) p.pool.push_back(t.streamList[i]);
    }
    p.held += t.nStreams;
  }
  return p;
}

void RedealStreams(const STREAMPOOL& p) {
  const int32_t held = p.held;
  const int32_t k = held < run::nCpuTasks ? held : run::nCpuTasks;
  run::severalStreamsPerThread = held != k;
  const double share = k > 0 ? static_cast<double>(held) / k : 0.0;
  std::vector<uint8_t> running(static_cast<size_t>(core::nThreads), 0);
  int32_t nRunning = 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    running[static_cast<size_t>(r)] = RunsHistory(core::tasks[r]) ? 1 : 0;
    nRunning += running[static_cast<size_t>(r)];
  }
  double T = nRunning;
  int32_t A = nRunning;  // streams dealt so far, the running records' current ones counted first
  size_t next = 0;       // next stream of the pool
  int32_t dealt = 0;
  std::vector<int32_t> list;
  std::vector<int32_t> order;  // the held streams as dealt
  auto takeFromPool = [&](int32_t count) {
    for (int32_t i = 0; i < count && next < p.pool.size(); ++i) list.push_back(p.pool[next++]);
  };
  auto give = [&](int32_t r, int32_t added) {
    if (A + added > held) added = held - A;
    takeFromPool(added);
    A += added;
    AssignStreams(r, list.data(), static_cast<int32_t>(list.size()));
    order.insert(order.end(), list.begin(), list.end());
    ++dealt;
  };

  // The records that run a history keep its stream in front.
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (running[static_cast<size_t>(r)] == 0) continue;
    T += share - 1.0;
    list.assign(1, core::tasks[r].iStream);
    give(r, RoundHalfUp(T) - A);
  }
  // Then the idle records, while streams are left.
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (running[static_cast<size_t>(r)] != 0) continue;
    list.clear();
    if (dealt < k && A < held) {
      T += share;
      give(r, RoundHalfUp(T) - A);
    } else {
      core::tasks[r].SetStreamList(nullptr, 0);
    }
  }
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    core::tasks[r].stopRequest.store(core::tasks[r].nStreams == 0 ? 1 : 0, std::memory_order_release);
  }
  RespreadTracks(order);
}

namespace {

// The run of Trenqual, and of Trenqual_CUDA without real devices.
Status RunLoopOnCpu() {
  for (;;) {
    if (int code = StartWorkers()) return code;
    WaitForWorkers();
    if (AnyFatalError()) return kInputError;  // the worker has printed its message
    if (run::resultWriteFailed.load(std::memory_order_acquire) != 0) return kInputError;  // the monitor has printed it
    const STREAMPOOL p = GatherStreamPool();
    if (p.held == 0) break;
    RedealStreams(p);
  }
  run::lastTick = -2.0;
  ShowProgress(true, true);
  run::runElapsedTime = SecondsSinceStart() - run::runStartTime;
  return kOk;
}

}  // namespace

Status RunLoop() {
  if (run::deviceDivision.nRealTasks > 0) return RunLoopWithDevices();
  return RunLoopOnCpu();
}
