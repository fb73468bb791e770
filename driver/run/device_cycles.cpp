// The run with real devices: the CPU workers run on their own threads (record
// 0 is the main thread's idle record) and the main thread drives the devices
// in cycles: one time slice launched on every device that is not finished,
// the wait for all of them, the read-back of each device's status record, the
// monitor. Between the cycles the CPU streams are dealt out afresh and, with
// balance_CUDA 1, the histories not yet started are divided afresh between
// the CPU and the devices by their speed.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/stream_control.h"
#include "core/task.h"
#include "driver/device_rounds.h"
#include "driver/input/options.h"
#include "driver/run/device_division.h"
#include "driver/run/rebalance.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/run/work_division.h"
#include "platform/clock.h"
#include "platform/threads.h"

namespace run {
DEVICESTATUSHOST deviceStatus[kMaxDeviceSlots];
}  // namespace run

int32_t NextRingMargin(int32_t margin, uint64_t waiting) {
  const uint64_t m = margin > 0 ? static_cast<uint64_t>(margin) : 0;
  const uint64_t base = m > waiting ? m : std::min<uint64_t>(waiting, 256);
  return static_cast<int32_t>(base / 8);
}

bool RingMoreThanNinetyPercentFull(uint64_t nextReadPos, uint64_t nextWritePos, int64_t capacity, int32_t nThreads) {
  if (nextWritePos <= nextReadPos) return false;
  const double usable = static_cast<double>(capacity) - 2.0 * nThreads;
  return 0.9 * usable < static_cast<double>(nextWritePos - nextReadPos);
}

namespace {

constexpr int kIdleMilliseconds = 1;  // pause of a cycle that launched nothing

// What the cycles keep of each device slot.
struct CYCLESTATE {
  bool finished[kMaxDeviceSlots] = {};  // left out of launches and read-backs
  bool warned[kMaxDeviceSlots] = {};    // the 90 % warning has been printed
  uint64_t lastReadPos[kMaxDeviceSlots] = {};
  bool quotasInUse = false;         // the CPU records run to history quotas
  bool allDevicesFinished = false;  // the pending re-division was started by idle devices
};

int32_t HeapMode() { return input::runOptions.heap_CUDA; }

bool IsReal(int32_t d) { return !run::deviceDivision.slot[d].emulated; }

uint64_t CpuFinished() {
  uint64_t n = 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    const CTask& t = core::tasks[r];
    if (t.stats != nullptr) n += LoadRelaxed(t.stats->slot[statslot::nHistoriesDone].n);
  }
  return n;
}

uint64_t CpuStarted() {
  uint64_t n = 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) n += LoadRelaxed(core::tasks[r].nHistories);
  return n;
}

// The histories of the emulated slots, which the CPU workers serve.
uint64_t EmulatedShares() {
  uint64_t n = 0;
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!IsReal(d)) n += v.slot[d].share;
  }
  return n;
}

bool AnyCpuRecordRunning() {
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (core::tasks[r].running.load(std::memory_order_acquire) != 0) return true;
  }
  return false;
}

bool AnyFatalError() {
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (core::tasks[r].fatalError.load(std::memory_order_acquire) != 0) return true;
  }
  return false;
}

void StopCpuWorkers() {
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    core::tasks[r].stopRequest.store(1, std::memory_order_release);
}

// The run ends with a device's fatal error: the CPU workers are stopped
// first, so that none runs on while the program ends.
Status EndOnDeviceError() {
  StopCpuWorkers();
  while (AnyCpuRecordRunning()) SleepMilliseconds(kIdleMilliseconds);
  return kDeviceError;
}

// Starts a thread for every CPU record that holds streams; 1 when a thread
// cannot be started (its message printed).
int StartCpuWorkers() {
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    CTask& t = core::tasks[r];
    if (t.nStreams <= 0) continue;
    t.running.store(1, std::memory_order_release);
    t.stopRequest.store(0, std::memory_order_release);
    if (!StartThread(ThreadFunc, &run::threadIndex[static_cast<size_t>(r)], r + 1)) {
      t.running.store(0, std::memory_order_release);
      return 1;
    }
  }
  return 0;
}

// The histories a device must finish: its share, or after the end of the
// simulation was asked for, the histories it had started.
uint64_t DeviceTarget(int32_t d, const DEVICESTATUSHOST& s) {
  const uint64_t share = run::deviceDivision.slot[d].share;
  if (run::endSimulation.load(std::memory_order_acquire) == 0) return share;
  return std::min<uint64_t>(share, s.nStartedHistories);
}

// The counts of the last read-backs, as the monitor and the balancing use them.
void StoreDeviceCounts(int32_t d, const DEVICESTATUSHOST& s) {
  run::deviceStatus[d] = s;
  run::nFinishedOfDevice[d] = HeapMode() == 2 ? s.nFinishedSourceTracks : s.nFinishedHistories;
  run::nStartedOfDevice[d] = s.nStartedHistories;
  uint64_t gpu = 0;
  for (int32_t k = 0; k < run::deviceDivision.nDevices; ++k) {
    if (IsReal(k)) gpu += run::nFinishedOfDevice[k];
  }
  run::nFinishedGpu = gpu;
}

// Banking mode 2: the ring of slot d after a launch. Returns whether the
// device is finished.
bool RingDeviceFinished(int32_t d, DEVICESTATUSHOST& s, CYCLESTATE& c) {
  DEVICESLOT& slot = run::deviceDivision.slot[d];
  uint64_t waiting = 0;
  if (s.nReadFailure == 0 && s.nWriteFailure == 0) {
    c.lastReadPos[d] = s.nextReadPos;
    waiting = s.nextWritePos > s.nextReadPos ? s.nextWritePos - s.nextReadPos : 0;
  } else {
    // Reads that met unpublished slots and writes that met unread ones left
    // gaps and strays: the stretch since the last good read is compacted.
    waiting = RepackDeviceRingBuffer(slot.device, c.lastReadPos[d], s.nextWritePos, slot.bankCapacity);
    s.nextReadPos = c.lastReadPos[d];
    s.nextWritePos = c.lastReadPos[d] + waiting;
    s.nReadFailure = 0;
    s.nWriteFailure = 0;
    WriteDeviceStatus(slot.device, 2, s);
  }
  const uint64_t target = DeviceTarget(d, s);
  if (waiting == 0 && s.nFinishedSourceTracks >= target) return true;
  const uint64_t margin = slot.margin > 0 ? static_cast<uint64_t>(slot.margin) : 0;
  const bool withinMargin = s.nextWritePos < margin || s.nextReadPos >= s.nextWritePos - margin;
  if (s.nThrRead >= slot.nTasks && s.nThrWrite <= 0 && s.nThrNeutral <= 0 && withinMargin &&
      s.nFinishedSourceTracks >= target) {
    slot.margin = NextRingMargin(slot.margin, waiting);
    SetDeviceMargin(slot.device, slot.margin);
  }
  if (!c.warned[d] && RingMoreThanNinetyPercentFull(s.nextReadPos, s.nextWritePos, slot.bankCapacity, slot.nThreads)) {
    printf("\nWarning: banked particle buffer for device No. %d is more than 90 %% full.\n", slot.device + 1);
    c.warned[d] = true;
  }
  return false;
}

// One cycle's launches, waits and read-backs. Returns 2 when a device
// reported a fatal error, else 0; *launched tells whether any device ran.
Status DeviceCycle(CYCLESTATE& c, bool* launched) {
  const DEVICEDIVISION& v = run::deviceDivision;
  const RUNOPTIONS& o = input::runOptions;
  const bool end = run::endSimulation.load(std::memory_order_acquire) != 0;
  *launched = false;
  const double start = SecondsSinceStart();
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!IsReal(d) || c.finished[d]) continue;
    StartDeviceSlice(v.slot[d].device, end, v.slot[d].nThreads / o.blockSize_CUDA, o.blockSize_CUDA);
    *launched = true;
  }
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (IsReal(d) && !c.finished[d]) AwaitDeviceSlice(v.slot[d].device);
  }
  const double cycle = SecondsSinceStart() - start;
  run::kernelTime += cycle;
  run::devicesBusy.store(0, std::memory_order_release);
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!IsReal(d) || c.finished[d]) continue;
    const int32_t device = v.slot[d].device;
    DEVICESTATUSHOST s = ReadDeviceStatus(device, o.heap_CUDA);
    if (s.error > 0) return kDeviceError;  // the device has printed its message
    if (s.maxBanked_kernelCall != 0) ClearDeviceKernelCallMaximum(device, o.heap_CUDA);
    if (s.error < 0) run::bufferOverflow.store(1, std::memory_order_release);
    bool finished = false;
    if (o.heap_CUDA == 2) {
      finished = RingDeviceFinished(d, s, c);
    } else {
      finished = s.nActStreams == 0 || s.nActStreams > static_cast<uint32_t>(core::runStreams.nStreams_tot);
    }
    c.finished[d] = finished;
    if (!finished) run::devicesBusy.store(1, std::memory_order_release);
    StoreDeviceCounts(d, s);
    AddDeviceKernelCall(device, cycle);
  }
  return kOk;
}

// --- Re-division -----------------------------------------------------------------

// Gives every CPU record that holds streams its quota of the histories the
// CPU still has to start (records with a history in flight one more, since
// the quota counts ended histories); a record left with none gives its
// streams up.
void AssignCpuQuotas() {
  const uint64_t share = CpuParticleShare() + EmulatedShares();
  const uint64_t started = CpuStarted();
  const uint64_t left = share > started ? share - started : 0;
  std::vector<int32_t> holders;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    if (core::tasks[r].nStreams > 0) holders.push_back(r);
  }
  const std::vector<int64_t> quotas = SpreadQuotas(left, static_cast<int32_t>(holders.size()));
  for (size_t i = 0; i < holders.size(); ++i) {
    CTask& t = core::tasks[holders[i]];
    const int64_t inFlight = t.state >= 0 ? 1 : 0;
    t.historyLimit = quotas[i] + inFlight;
    t.nLimitedHistories = 0;
    if (t.historyLimit == 0) {
      for (int32_t j = 0; j < t.nStreams; ++j) core::runStreams.streamControl[t.streamList[j]].task = kStreamFinished;
      t.SetStreamList(nullptr, 0);
      t.stopRequest.store(1, std::memory_order_release);
    }
  }
}

// Balancing: the histories not yet started are divided afresh between the
// CPU and the devices in the banking mode that can take a new share (the
// ring, mode 2, counts the histories it hands out; modes 0 and 1 bind their
// streams to fixed history numbers and keep their shares). Returns true when
// every history is finished.
bool Rebalance(CYCLESTATE& c) {
  DEVICEDIVISION& v = run::deviceDivision;
  const uint64_t N = static_cast<uint64_t>(input::runOptions.nParticles);
  if (run::devicesBusy.load(std::memory_order_acquire) == 0) {
    const double saved = run::lastTick;
    run::lastTick = -2.0;
    ShowProgress(false, false);
    run::lastTick = saved;
  }
  if (run::nFinishedGpu + CpuFinished() >= N) return true;
  if (run::balanceStop.load(std::memory_order_acquire) == 0 && run::devicesBusy.load(std::memory_order_acquire) == 0) {
    run::balanceStop.store(1, std::memory_order_release);
    c.allDevicesFinished = true;
  }
  if (run::balanceStop.load(std::memory_order_acquire) == 0) return false;
  uint64_t started = CpuStarted();
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (IsReal(d)) started += run::nStartedOfDevice[d];
  }
  if (started >= N) {
    run::balanceStop.store(0, std::memory_order_release);
    return false;
  }
  // Participant 0 is the CPU with the emulated slots it serves.
  const uint64_t emulated = EmulatedShares();
  const uint64_t hostShare = CpuParticleShare() + emulated;
  std::vector<BALANCEPARTICIPANT> p;
  BALANCEPARTICIPANT cpu;
  cpu.started = CpuStarted();
  cpu.finished = CpuFinished();
  cpu.share = hostShare;
  cpu.nTasks = static_cast<uint64_t>(run::nCpuTasks);
  cpu.fixed = run::nCpuTasks == 0;
  p.push_back(cpu);
  std::vector<int32_t> slots;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!IsReal(d)) continue;
    BALANCEPARTICIPANT dev;
    dev.started = run::nStartedOfDevice[d];
    dev.finished = run::nFinishedOfDevice[d];
    dev.share = v.slot[d].share;
    dev.nTasks = static_cast<uint64_t>(v.slot[d].nTasks);
    dev.fixed = HeapMode() != 2;
    p.push_back(dev);
    slots.push_back(d);
  }
  const std::vector<uint64_t> shares = RedivideHistories(N, p);
  for (size_t i = 0; i < slots.size(); ++i) {
    const int32_t d = slots[i];
    DEVICESLOT& slot = v.slot[d];
    const uint64_t share = shares[i + 1];
    if (share != slot.share) {
      slot.share = share;
      slot.lastParticle = share;
      SetDeviceLastParticle(slot.device, share);
    }
    if (share > run::nFinishedOfDevice[d]) c.finished[d] = false;
    if (!c.finished[d]) run::devicesBusy.store(1, std::memory_order_release);
  }
  const uint64_t newHost = shares[0];
  const uint64_t oldCpu = CpuParticleShare();
  const uint64_t newCpu = newHost > emulated ? newHost - emulated : 0;
  core::runStreams.cpuParticleShare.store(newCpu, std::memory_order_release);
  run::hostParticleShare = newHost;
  v.cpuParticleShare = newCpu;
  if (newCpu < oldCpu) {
    for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) core::tasks[r].DropFinishedStreams();
  }
  c.quotasInUse = true;
  return false;
}

// Finished CPU streams that still have histories below the CPU's share go
// back to the first CPU record (and into the pool), one per history the CPU
// has still to start; the re-deal then spreads them.
void ReviveCpuStreams(STREAMPOOL& pool) {
  if (run::nCpuTasks <= 0) return;
  const uint64_t share = CpuParticleShare();
  const uint64_t hostShare = share + EmulatedShares();
  const uint64_t started = CpuStarted();
  if (hostShare <= started || pool.held >= run::nStreamsCpu) return;
  uint64_t wanted = hostShare - started;
  CTask& first = core::tasks[run::firstCpuTask];
  std::vector<int32_t> list(first.streamList, first.streamList + first.nStreams);
  bool revived = false;
  for (int32_t s = 0; s < run::nStreamsCpu && wanted > 0; ++s) {
    STREAMCONTROL& sc = core::runStreams.streamControl[s];
    if (sc.task >= 0 || sc.nextParticle >= share) continue;
    if (static_cast<int32_t>(list.size()) >= kMaxStreams) break;
    sc.task = run::firstCpuTask;
    list.push_back(s);
    pool.pool.push_back(s);
    ++pool.held;
    --wanted;
    revived = true;
  }
  if (!revived) return;
  const int32_t current = first.iStream;
  const bool running = first.nStreams > 0 && first.state >= 0;
  first.SetStreamList(list.data(), static_cast<int32_t>(list.size()));
  if (running) {
    // The history in flight keeps its stream.
    for (int32_t i = 0; i < first.nStreams; ++i) {
      if (first.streamList[i] == current) first.streamCursor = i;
    }
    first.iStream = current;
  }
  run::redealStreams.store(1, std::memory_order_release);
}

}  // namespace

Status RunLoopWithDevices() {
  const DEVICEDIVISION& v = run::deviceDivision;
  const RUNOPTIONS& o = input::runOptions;
  CYCLESTATE c;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    c.finished[d] = !IsReal(d);
    if (IsReal(d)) BeginDeviceStatistics(v.slot[d].device, v.slot[d].nThreads, o.blockSize_CUDA, v.slot[d].clockRateHz);
  }
  run::kernelTime = 0.0;
  run::cpuTime = 0.0;
  run::bufferOverflow.store(0, std::memory_order_release);
  bool cpuHolds = run::nStreamsHost > 0;
  for (;;) {
    // Start.
    run::redealStreams.store(0, std::memory_order_release);
    run::balanceStop.store(0, std::memory_order_release);
    if (cpuHolds && StartCpuWorkers() != 0) return kInputError;
    run::devicesBusy.store(0, std::memory_order_release);
    bool cpuWatched = cpuHolds;
    const double cpuStart = SecondsSinceStart();
    // Cycles.
    for (;;) {
      bool launched = false;
      if (run::balanceStop.load(std::memory_order_acquire) == 0) {
        if (DeviceCycle(c, &launched) != kOk) return EndOnDeviceError();
      }
      ShowProgress(false, true);  // its tick may ask for a re-division (balanceStop)
      if (cpuWatched && !AnyCpuRecordRunning()) {
        cpuWatched = false;
        run::cpuTime += SecondsSinceStart() - cpuStart;
      }
      // A worker's fatal error ends the run: the other workers are stopped
      // and the devices are not waited for.
      const bool fatal = AnyFatalError();
      if (fatal) StopCpuWorkers();
      if (cpuWatched) {
        if (!launched) SleepMilliseconds(kIdleMilliseconds);
        continue;
      }
      if (fatal || run::redealStreams.load(std::memory_order_acquire) != 0 ||
          run::devicesBusy.load(std::memory_order_acquire) == 0 ||
          run::balanceStop.load(std::memory_order_acquire) != 0) {
        break;
      }
    }
    if (AnyFatalError()) return kInputError;  // the worker has printed its message
    if (run::resultWriteFailed.load(std::memory_order_acquire) != 0) return kInputError;
    // Balancing.
    c.allDevicesFinished = false;
    if (o.balance_CUDA == 1 && run::endSimulation.load(std::memory_order_acquire) == 0 && Rebalance(c)) break;
    // Stream pool and re-deal.
    STREAMPOOL pool = GatherStreamPool();
    const bool balancing = run::balanceStop.load(std::memory_order_acquire) != 0;
    if (balancing) ReviveCpuStreams(pool);
    if (pool.held == 0 && run::devicesBusy.load(std::memory_order_acquire) == 0) break;
    if (run::redealStreams.load(std::memory_order_acquire) != 0) RedealStreams(pool);
    if (c.quotasInUse && run::endSimulation.load(std::memory_order_acquire) == 0) AssignCpuQuotas();
    if (balancing && c.allDevicesFinished) ShowProgress(false, true);
    cpuHolds = false;
    for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) cpuHolds = cpuHolds || core::tasks[r].nStreams > 0;
  }
  run::lastTick = -2.0;
  ShowProgress(true, true);
  run::runElapsedTime = SecondsSinceStart() - run::runStartTime;
  return kOk;
}
