// The device history scheduler: the kernel ThreadFunc2 that runs particle
// histories on one device for one time slice. Every task is a small state
// machine whose next state names the stage it runs next; each block keeps,
// per state, the list of its tasks waiting in that state, and in every step
// runs one state on as many of those tasks as it has threads, so that all
// threads of a step run the same stage. The lists, their lengths and the
// block's count of active tasks stay in device memory from launch to launch.
//
// The stages are given by a stage table (a record with a member
// `int32_t Run(int32_t state, DEVICETASK&, STAGECONTEXT&) const`, run on host
// and device; device_stages.h) that writes the task's next state and returns
// 0 when the task goes on, -1 when it leaves for this launch.
//
// The kernel is a phased kernel (kernel_launch.h): launch start; then steps
// (the check, the block's choice, the stage, the count) until the time slice
// is over or the block has nothing left to run; then the exit, which adds the
// thread's counters to the device's CUDA_STATS and status record.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/hostdevice.h"
#include "gpu/device_atomics.h"
#include "gpu/device_globals.h"
#include "gpu/device_records.h"
#include "gpu/device_stages.h"
#include "gpu/kernel_launch.h"

// CUDA_STATS slots the scheduler fills (the stage pairs in StageSlot).
namespace cudastats {
constexpr int kLaunches = 0;
constexpr int kTasksReadAtStart = 2;  // 3 write, 4 neutral
constexpr int kFullSteps = 5;
constexpr int kBlocksOutOfWork = 6;
constexpr int kBlockCycles = 7;
constexpr int kSteps = 8;
constexpr int kStepWidths = 9;
constexpr int kFirstStagePair = 10;
constexpr int kElectronPairs = 24;  // 24 to 31: the electron stages' own counts and cycles
constexpr int kReads = 44;
constexpr int kReadsLeftWaiting = 46;
constexpr int kChoiceCycles = 48;
constexpr int kBookkeepingCycles = 49;
constexpr int kStageRuns = 50;
constexpr int kStageCycles = 51;
constexpr int kThreadCycles = 52;
}  // namespace cudastats

// The count slot of a state's stage in CUDA_STATS (its cycles follow it).
TQ_CPU_GPU inline int32_t StageSlot(int32_t state) {
  constexpr int8_t slot[kTaskStates] = {10, 10, 12, 14, 16, 16, 18, 24, 26, 28, 18, 18, 18, 42,
                                        42, 22, 32, 34, 36, 38, 40, 30, 26, 30, 20, 42, 42, 44};
  return slot[state];
}

// The electron stages that count and time themselves into the running
// thread's record (Sigma_el, Distance_el, SampleCollisionType_el,
// ElasticScattering, Diffusion); the scheduler times every other stage.
TQ_CPU_GPU inline bool StageTimesItself(int32_t state) {
  return state == 7 || state == 8 || state == 9 || state == 21 || state == 23;
}

// Start of block b's list of a state in taskIndex.
TQ_CPU_GPU inline int64_t ListBase(const TASKGLOBALS& g, int32_t b, int32_t state) {
  return (static_cast<int64_t>(b) * kTaskStates + state) * g.tasksPerBlock;
}

// What the choice of the row reads of the ring (banking mode 2).
struct RINGVIEW {
  unsigned long long nextReadPos;
  unsigned long long nextWritePos;
  unsigned long long nParticles;
  unsigned long long lastParticle;
  int32_t margin;
  uint32_t waitingToRead;     // length of the block's list of the read state
  uint32_t nActTasks;         // the block's active tasks not taken by the step
  int32_t endSimulation = 0;  // the launch starts no history
};

// Banking mode 2: the row of states of the next step (0 all states, 1 all but
// the read state), and whether Electroionization banks the higher-energy
// electron. A ring filling up runs every state and banks the fewer
// particles; reads are held back while the source still has histories and
// the ring has little to read. At the end of the simulation the source has
// none left: tasks that wait to read are not run while nothing is readable
// (they would otherwise poll an empty ring for the whole time slice).
TQ_CPU_GPU inline int32_t ChooseRingRow(const TASKGLOBALS& g, const RINGVIEW& v, uint8_t* bankHigher) {
  const unsigned long long waiting = v.nextWritePos > v.nextReadPos ? v.nextWritePos - v.nextReadPos : 0ull;
  const unsigned long long total = static_cast<unsigned long long>(g.maxBanked_tot);
  const unsigned long long spare = 2ull * static_cast<unsigned long long>(g.nThreads);
  if (static_cast<double>(waiting) >= g.bankModeThr_CUDA * static_cast<double>(g.maxBanked_tot) ||
      (total >= spare && waiting >= total - spare)) {
    *bankHigher = 1;
    return 0;
  }
  *bankHigher = 0;
  const unsigned long long margin = v.margin > 0 ? static_cast<unsigned long long>(v.margin) : 0ull;
  const bool readable = v.nextWritePos >= margin && v.nextReadPos < v.nextWritePos - margin;
  const bool sourceExhausted = v.nParticles >= v.lastParticle || v.endSimulation != 0;
  if (sourceExhausted && !readable) return 1;
  if (v.waitingToRead < v.nActTasks && waiting < g.readThreshold) return 1;
  return 0;
}

// The state of the next step from a row of states: the first whose list
// fills the block, else the one with the longest list (the first in the row
// among equal ones). Returns the step's width, 0 when every list of the row
// is empty.
TQ_CPU_GPU inline uint32_t ChooseState(const uint32_t* lengths, const int32_t* row, int32_t n, uint32_t blockSize,
                                       int32_t* state) {
  uint32_t longest = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t length = lengths[row[i]];
    if (length >= blockSize) {
      *state = row[i];
      return blockSize;
    }
    if (length > longest) {
      longest = length;
      *state = row[i];
    }
  }
  return longest;
}

// Points the task's statistics at the running thread's records: the overall
// record, and the record in use at the same cell of the thread's per-cell
// records (or at its overall record without per-cell statistics).
TQ_CPU_GPU inline void PointStatistics(TASKSTATE& t, const CThread2& thread, int32_t nCells) {
  const INTERACTIONSTATS* oldCells = t.cellStats;
  const INTERACTIONSTATS* inUse = t.curStats;
  t.stats = thread.stats;
  if (inUse == nullptr) return;
  if (thread.cellStats == nullptr) {
    t.cellStats = thread.stats;
    t.curStats = thread.stats;
    return;
  }
  t.cellStats = thread.cellStats;
  const bool inCells = oldCells != nullptr && inUse >= oldCells && inUse < oldCells + nCells;
  t.curStats = inCells ? thread.cellStats + (inUse - oldCells) : thread.stats;
}

// Prints the message of a task whose state is not one of the 28; the task
// leaves.
TQ_CPU_GPU inline void ReportBadState(DEVICETASK& task, STAGECONTEXT& c, int32_t state) {
  if (RaiseStageFatal(task, c)) {
    printf("\nFatal error in task No. %d: invalid task state %d.\n", task.control.taskNo + 1, state);
  }
}

template <typename Stages>
struct SCHEDULERKERNEL {
  Stages stages;
  int32_t endSimulation;

  enum : int32_t { kStart = 0, kCheck, kChoose, kRun, kCount, kExit };

  struct Shared {
    uint32_t nActTasks;  // active tasks of the block not taken by the current step
    uint32_t nTasksPerState[kTaskStates];
    int32_t blockState;  // state of the current step
    uint32_t nThr;       // tasks of the current step
    uint32_t offset;     // first list position taken by the step
    int32_t blockStop;   // the block ends the launch
    int32_t row;         // row of states (modes 0 and 1: for the launch)
    uint32_t goesOn;     // tasks of the step that go on
    uint8_t bankTheHigherEnergyElectron;
    // Block thread 0's step statistics.
    unsigned long long fullSteps;
    unsigned long long steps;
    unsigned long long stepWidths;
  };

  struct Local {
    CThread2 thread;                            // the thread's record during the launch
    int32_t delta[3];                           // change of the task counts by state kind
    unsigned long long stats[kCudaStatsSlots];  // this thread's additions to CUDA_STATS
    unsigned long long distanceToInelastic[2];  // runs and cycles, left out of slots 50 and 51
    unsigned long long stepStart;
    unsigned long long stageEnd;
  };

  TQ_CPU_GPU int32_t Phase(int32_t phase, const THREADINDEX& at, Shared& shared, Local& local) const {
    TASKGLOBALS& g = TaskGlobals();
    switch (phase) {
      case kStart:
        // A block beyond the device's grid has neither tasks nor threads.
        if (at.block >= g.nBlocks || static_cast<int64_t>(at.block + 1) * at.blockSize > g.nThreads) {
          return kKernelEnd;
        }
        Start(g, at, shared, local);
        return kCheck;
      case kCheck:
        return shared.blockStop != 0 || shared.nActTasks == 0 ? kExit : kChoose;
      case kChoose:
        local.stepStart = DeviceClock();
        if (at.thread == 0) Choose(g, at, shared);
        return kRun;
      case kRun: {
        const unsigned long long chosen = DeviceClock();
        local.stats[cudastats::kChoiceCycles] += chosen - local.stepStart;
        if (shared.nThr == 0) return kExit;
        if (static_cast<uint32_t>(at.thread) < shared.nThr) RunTask(g, at, shared, local);
        local.stageEnd = DeviceClock();
        if (local.stageEnd >= SaturatingAdd(local.thread.entryClock, g.nGPUcycles)) {
          AtomicExchange(&shared.blockStop, 1);
        }
        return kCount;
      }
      case kCount:
        if (at.thread == 0) {
          shared.nActTasks += shared.goesOn;
          shared.goesOn = 0;
        }
        local.stats[cudastats::kBookkeepingCycles] += DeviceClock() - local.stageEnd;
        return kCheck;
      default:
        Exit(g, at, shared, local);
        return kKernelEnd;
    }
  }

  // Launch start: the launch's counters, the block's lists into shared
  // memory (banking mode 1 lists again its tasks waiting to read), and the
  // thread's record with its launch fields cleared.
  TQ_CPU_GPU void Start(TASKGLOBALS& g, const THREADINDEX& at, Shared& shared, Local& local) const {
    const unsigned long long entry = DeviceClock();
    const int32_t b = at.block;
    if (at.Global() == 0) {
      unsigned long long* s = g.cudaStats->slot;
      s[cudastats::kLaunches] += 1;
      s[cudastats::kTasksReadAtStart] += static_cast<unsigned long long>(static_cast<int64_t>(*g.status.nThrRead));
      s[cudastats::kTasksReadAtStart + 1] += static_cast<unsigned long long>(static_cast<int64_t>(*g.status.nThrWrite));
      s[cudastats::kTasksReadAtStart + 2] +=
          static_cast<unsigned long long>(static_cast<int64_t>(*g.status.nThrNeutral));
      // The launch's largest bank (*maxBanked_kernelCall) is cleared by the
      // host between launches: cleared here it could lose the maxima of
      // blocks that had already run their slice and exited.
    }
    if (at.thread == 0) {
      // Every block stores the flag (the same value), so that no block's
      // stages read it before it is stored.
      g.endSimulation = endSimulation;
      shared.row = g.heap_CUDA == 0 || endSimulation != 0 ? 1 : 0;
      shared.bankTheHigherEnergyElectron = 1;
      shared.nActTasks = g.nActTasks[b];
      for (int32_t s = 0; s < kTaskStates; ++s) shared.nTasksPerState[s] = g.nTasksPerState[b * kTaskStates + s];
      if (g.heap_CUDA == 1 && endSimulation == 0 && shared.nActTasks < static_cast<uint32_t>(g.tasksPerBlock)) {
        Reactivate(g, b, shared);
      }
      shared.blockStop = 0;
      shared.nThr = 0;
      shared.goesOn = 0;
      shared.fullSteps = 0;
      shared.steps = 0;
      shared.stepWidths = 0;
    }
    local.thread = g.threads[at.Global()];
    CThread2& r = local.thread;
    r.entryClock = entry;
    for (int32_t i = 0; i < 4; ++i) {
      r.electronStageCycles[i] = 0;
      r.electronStageCounts[i] = 0;
    }
    r.nFinishedHistories = 0;
    r.nStartedHistories = 0;
    r.nFinishedSourceTracks = 0;
    r.nRemovedOrReplaced = 0;
    r.removedWeight = 0.0;
    r.nReadFailures = 0;
    r.nWriteFailures = 0;
    r.launchCycles = 0;
    r.maxBanked = 0;
    r.stepWidth = 0;
    for (int32_t k = 0; k < 3; ++k) local.delta[k] = 0;
    for (int32_t s = 0; s < kCudaStatsSlots; ++s) local.stats[s] = 0;
    local.distanceToInelastic[0] = 0;
    local.distanceToInelastic[1] = 0;
  }

  // Banking mode 1: the list of the read state rebuilt from every task of the
  // block whose next state is the read state and that still holds a stream,
  // in ascending order (tasks that never had a history, and those that
  // wait). A task that has given up all its streams is not listed again: its
  // read would only leave at once, and with a time slice of about one step
  // such reads could take every launch's only step. The block's active count
  // becomes the number of listed tasks.
  TQ_CPU_GPU static void Reactivate(TASKGLOBALS& g, int32_t b, Shared& shared) {
    const int64_t base = ListBase(g, b, kStateReadBanked);
    uint32_t n = 0;
    for (int32_t i = 0; i < g.tasksPerBlock; ++i) {
      const int32_t j = b * g.tasksPerBlock + i;
      const DEVICETASKCONTROL& c = g.tasks[j].control;
      if (c.nextState == kStateReadBanked && c.streamCursor < c.nStreams) {
        g.taskIndex[base + n++] = static_cast<uint16_t>(j);
      }
    }
    shared.nTasksPerState[kStateReadBanked] = n;
    uint32_t listed = 0;
    for (int32_t s = 0; s < kTaskStates; ++s) listed += shared.nTasksPerState[s];
    shared.nActTasks = listed;
  }

  // Block thread 0: the row, the state and the tasks of the next step.
  TQ_CPU_GPU void Choose(const TASKGLOBALS& g, const THREADINDEX& at, Shared& shared) const {
    if (g.heap_CUDA == kHeapRing) {
      const RINGVIEW v{*g.status.nextReadPos, *g.status.nextWritePos, *g.status.nParticles,
                       *g.lastParticle,       *g.margin_CUDA,         shared.nTasksPerState[kStateReadBanked],
                       shared.nActTasks,      endSimulation};
      shared.row = ChooseRingRow(g, v, &shared.bankTheHigherEnergyElectron);
    }
    int32_t state = -1;
    const uint32_t n = ChooseState(shared.nTasksPerState, g.set[shared.row], g.nS[shared.row],
                                   static_cast<uint32_t>(at.blockSize), &state);
    shared.nThr = n;
    if (n == 0) return;
    shared.nTasksPerState[state] -= n;
    shared.offset = shared.nTasksPerState[state];
    shared.nActTasks -= n;
    shared.blockState = state;
    shared.steps += 1;
    shared.stepWidths += n;
    if (n == static_cast<uint32_t>(at.blockSize)) shared.fullSteps += 1;
  }

  // One thread's task of the step: the stage of the block's state, its
  // count and cycles, and the task appended to the list of its next state
  // when it goes on.
  TQ_CPU_GPU void RunTask(TASKGLOBALS& g, const THREADINDEX& at, Shared& shared, Local& local) const {
    const int32_t state = shared.blockState;
    const int32_t b = at.block;
    const int32_t j = g.taskIndex[ListBase(g, b, state) + shared.offset + static_cast<uint32_t>(at.thread)];
    DEVICETASK& task = g.tasks[j];
    --local.delta[g.stateType[state]];
    task.control.thread = &local.thread;
    PointStatistics(task.t, local.thread, DeviceConstants().nCells);
    // The history's deposit is the task's: the thread's slot holds it for
    // the step (and the pulse-height tallies bin it at the history's end).
    double& deposit = local.thread.stats->slot[statslot::eHistoryDeposit].e;
    deposit = task.control.historyDeposit;
    STAGECONTEXT c{&shared.blockStop, shared.bankTheHigherEnergyElectron};
    const unsigned long long before = DeviceClock();
    int32_t result = stages.Run(state, task, c);
    const unsigned long long cycles = DeviceClock() - before;
    task.control.historyDeposit = deposit;
    deposit = 0.0;
    if (!StageTimesItself(state)) {
      const int32_t slot = StageSlot(state);
      local.stats[slot] += 1;
      local.stats[slot + 1] += cycles;
      if (state == kDistanceToInelasticCollision) {
        local.distanceToInelastic[0] += 1;
        local.distanceToInelastic[1] += cycles;
      }
    }
    const int32_t next = task.control.nextState;
    if (next < 0 || next >= kTaskStates) {
      ReportBadState(task, c, next);
      return;
    }
    if (state == kStateReadBanked && next == kStateReadBanked) {
      local.stats[cudastats::kReadsLeftWaiting] += 1;
      local.stats[cudastats::kReadsLeftWaiting + 1] += cycles;
    }
    ++local.delta[g.stateType[next]];
    if (result != 0) return;
    const uint32_t position = AtomicAdd(&shared.nTasksPerState[next], 1u);
    if (position >= static_cast<uint32_t>(g.tasksPerBlock)) {
      // More tasks listed than the block owns: the lists no longer describe
      // the block's tasks.
      AtomicAdd(&shared.nTasksPerState[next], ~0u);
      if (RaiseStageFatal(task, c)) {
        printf("\nFatal error in task No. %d: the list of task state %d is full.\n", task.control.taskNo + 1, next);
      }
      return;
    }
    g.taskIndex[ListBase(g, b, next) + position] = static_cast<uint16_t>(j);
    AtomicAdd(&shared.goesOn, 1u);
  }

  // Launch end: the thread's counters into CUDA_STATS and the status record,
  // its record back to device memory, the block's lists back by thread 0.
  TQ_CPU_GPU void Exit(TASKGLOBALS& g, const THREADINDEX& at, Shared& shared, Local& local) const {
    CThread2& r = local.thread;
    unsigned long long* s = g.cudaStats->slot;
    unsigned long long* mine = local.stats;
    for (int32_t i = 0; i < 4; ++i) {
      mine[cudastats::kElectronPairs + 2 * i] += r.electronStageCounts[i];
      mine[cudastats::kElectronPairs + 2 * i + 1] += r.electronStageCycles[i];
    }
    unsigned long long runs = 0, cycles = 0;
    for (int32_t slot = cudastats::kFirstStagePair; slot < cudastats::kReadsLeftWaiting; slot += 2) {
      runs += mine[slot];
      cycles += mine[slot + 1];
    }
    mine[cudastats::kStageRuns] = runs - local.distanceToInelastic[0];
    mine[cudastats::kStageCycles] =
        cycles - local.distanceToInelastic[1] + mine[cudastats::kChoiceCycles] + mine[cudastats::kBookkeepingCycles];
    const unsigned long long exit = DeviceClock();
    r.exitClock = exit;
    r.launchCycles = exit > r.entryClock ? exit - r.entryClock : 0;
    mine[cudastats::kThreadCycles] = r.launchCycles;
    for (int32_t slot = cudastats::kFirstStagePair; slot < kCudaStatsSlots; ++slot) {
      if (mine[slot] != 0) AtomicAdd64(&s[slot], mine[slot]);
    }
    AtomicMax(g.status.maxBanked_device, r.maxBanked);
    AtomicMax(g.status.maxBanked_kernelCall, r.maxBanked);
    const STATUSPOINTERS& p = g.status;
    AtomicAdd64(p.nStartedHistories, r.nStartedHistories);
    AtomicAdd64(p.nFinishedSourceTracks, r.nFinishedSourceTracks);
    const bool weights = g.bank.wt != nullptr;
    AtomicAdd64(p.nRemovedOrReplacedParticles,
                weights ? static_cast<unsigned long long>(r.removedWeight) : r.nRemovedOrReplaced);
    if (g.heap_CUDA == kHeapRing) {
      AtomicAdd64(p.nReadFailure, r.nReadFailures);
      AtomicAdd64(p.nWriteFailure, r.nWriteFailures);
    } else {
      AtomicAdd64(p.nFinishedHistories, r.nFinishedHistories);
    }
    for (int32_t k = 0; k < 3; ++k) {
      if (local.delta[k] != 0) AtomicAdd(p.nThrNRW[k], local.delta[k]);
    }
    if (at.thread == 0) {
      r.stepWidth = static_cast<int32_t>(shared.nThr);
      AtomicAdd64(&s[cudastats::kFullSteps], shared.fullSteps);
      if (shared.nThr == 0) AtomicAdd64(&s[cudastats::kBlocksOutOfWork], 1ull);
      AtomicAdd64(&s[cudastats::kBlockCycles], r.launchCycles);
      AtomicAdd64(&s[cudastats::kSteps], shared.steps);
      AtomicAdd64(&s[cudastats::kStepWidths], shared.stepWidths);
      g.nActTasks[at.block] = shared.nActTasks;
      for (int32_t i = 0; i < kTaskStates; ++i) g.nTasksPerState[at.block * kTaskStates + i] = shared.nTasksPerState[i];
    }
    g.threads[at.Global()] = r;
  }
};

// Launches the scheduler with the given stage table on the current device
// for one time slice: (nThreads / blockSize) blocks of blockSize threads.
// Returns the launch's result code.
template <typename Stages>
int LaunchScheduler(const Stages& stages, bool endSimulation, int32_t blocks, int32_t blockSize) {
  return LaunchKernel(SCHEDULERKERNEL<Stages>{stages, endSimulation ? 1 : 0}, blocks, blockSize);
}

// ThreadFunc2: one time slice of the current device's histories with the
// device stages (device_stages.h), (nThreads / blockSize) blocks of
// blockSize threads. Returns the launch's result code; the caller waits for
// the device and checks the launch.
int ThreadFunc2(bool endSimulation, int32_t blocks, int32_t blockSize);
