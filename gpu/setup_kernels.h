// The device set-up kernels, run once per device before the first launch of
// the scheduler, in this order: CopyConstantsToDevice stores the problem's
// records into the device globals, CopyElementDataToDevice checks each
// element of the device's element block, InitTaskData stores the task data
// and starts the tasks, RandInit seeds the generators of the device's streams.
//
// The element data are one block of bytes whose tables are addressed by
// self-relative offsets (core/elem.h): a device receives it with one byte
// copy and no table address has to be rewritten, so the design's per-element
// tables of device addresses (Elem_ptr, one slot per table, filled while the
// elements are loaded) do not exist; CopyElementDataToDevice checks instead
// that every table of the element lies inside the device's block.
//
// The kernels are records with host/device bodies (kernel_launch.h); the
// functions at the end launch them on the current device and wait for them.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/constants.h"
#include "core/elem.h"
#include "core/hostdevice.h"
#include "core/tally_tables.h"
#include "gpu/device_globals.h"
#include "gpu/device_records.h"
#include "gpu/kernel_launch.h"

// ---------------------------------------------------------------------------
// Scheduling tables
// ---------------------------------------------------------------------------

// The kind of each task state: the stages that may bank particles write, the
// read state reads, the others are neutral.
TQ_CPU_GPU inline int8_t StateKindOf(int32_t state) {
  switch (state) {
    case 12:  // PostDoppler_NoDoppler
    case 15:  // PairProduction
    case 16:  // Bremsstrahlung
    case 18:  // Electroionization
    case 19:  // AtomicTransition
    case 20:  // Check_nBanked
      return kStateWrite;
    case kStateReadBanked:
      return kStateRead;
    default:
      return kStateNeutral;
  }
}

// stateType, and the rows of states in the scheduler's priority order: row 0
// every state, row 1 those not of the read kind, row 2 those not of the
// write kind, row 3 the neutral ones.
TQ_CPU_GPU inline void SetSchedulingTables(TASKGLOBALS& g) {
  const int32_t stateOrder[kTaskStates] = {21, 22, 23, 7, 0, 18, 19, 17, 24, 6,  10, 16, 20, 11,
                                           12, 15, 8,  9, 2, 3,  14, 25, 26, 13, 1,  4,  5,  27};
  for (int32_t s = 0; s < kTaskStates; ++s) g.stateType[s] = StateKindOf(s);
  for (int32_t row = 0; row < kStateRows; ++row) {
    int32_t n = 0;
    for (int32_t i = 0; i < kTaskStates; ++i) {
      const int32_t s = stateOrder[i];
      const int8_t kind = g.stateType[s];
      const bool taken = row == 0 || (row == 1 && kind != kStateRead) || (row == 2 && kind != kStateWrite) ||
                         (row == 3 && kind == kStateNeutral);
      if (taken) g.set[row][n++] = s;
    }
    for (int32_t i = n; i < kTaskStates; ++i) g.set[row][i] = -1;
    g.nS[row] = n;
  }
}

// ---------------------------------------------------------------------------
// CopyConstantsToDevice: one block of one thread.
// ---------------------------------------------------------------------------

struct COPYCONSTANTSKERNEL {
  const Constants* constants;      // the record built for this device (device memory)
  const TALLYTABLES* tallyTables;  // likewise
  const Elem* elements;            // the device's element block

  struct Shared {};
  struct Local {};

  TQ_CPU_GPU int32_t Phase(int32_t, const THREADINDEX&, Shared&, Local&) const {
    DeviceConstants() = *constants;
    DeviceTallyTables() = *tallyTables;
    DeviceElementArray() = elements;
    SetSchedulingTables(TaskGlobals());
    return kKernelEnd;
  }
};

// ---------------------------------------------------------------------------
// CopyElementDataToDevice: one block of one thread per element.
// ---------------------------------------------------------------------------

// What the check finds of one element on the device.
struct ELEMENTCHECK {
  int32_t Z;              // as the device reads it
  int32_t badReferences;  // references to a table outside the block's tables
};

struct COPYELEMENTDATAKERNEL {
  const Elem* elements;  // the device's element block: nElements records, then the tables
  int64_t blockBytes;    // its size
  int32_t nElements;
  const int64_t* referenceOffsets;  // offsets in Elem of its table references (device memory)
  int32_t nReferences;
  int32_t i;             // the element checked
  ELEMENTCHECK* result;  // [nElements] (device memory)

  struct Shared {};
  struct Local {};

  TQ_CPU_GPU int32_t Phase(int32_t, const THREADINDEX&, Shared&, Local&) const {
    const char* block = reinterpret_cast<const char*>(elements);
    const char* tables = block + static_cast<int64_t>(nElements) * static_cast<int64_t>(sizeof(Elem));
    const char* end = block + blockBytes;
    const char* record = reinterpret_cast<const char*>(&elements[i]);
    int32_t bad = 0;
    for (int32_t r = 0; r < nReferences; ++r) {
      const char* field = record + referenceOffsets[r];
      const int64_t offset = *reinterpret_cast<const int64_t*>(field);
      if (offset != 0 && (field + offset < tables || field + offset >= end)) ++bad;
    }
    result[i].Z = elements[i].Z;
    result[i].badReferences = bad;
    return kKernelEnd;
  }
};

// ---------------------------------------------------------------------------
// InitTaskData: one block of one thread.
// ---------------------------------------------------------------------------

// The task data of one device as the host hands them over.
struct TASKDATAARGS {
  CRandGen* randGens;            // [nStreams_tot] the generators (rand_CUDA 1), seeds stored
  STREAMCONTROL* streamControl;  // [nStreams_tot] every stream of the run
  int32_t nStreams_tot;
  DEVICETASK* tasks;  // [nTasks] built by the host
  CThread2* threads;  // [nThreads]
  int32_t nThreads;
  int32_t nTasks;
  int32_t avgBanked;  // banked particles per task
  void* status;       // DEVICESTATUS, or DEVICESTATUSRING in mode 2
  unsigned long long* lastParticle;
  int32_t* margin;  // mode 2
  CUDA_STATS* cudaStats;
  unsigned long long nGPUcycles;
  uint32_t nStreams_device;
  uint16_t* taskIndex;  // [nBlocks][kTaskStates][nTasks / nBlocks]
  int32_t nBlocks;
  uint32_t* nTasksPerState;  // [nBlocks][kTaskStates]
  uint32_t* nActTasks;       // [nBlocks]
  DEVICEBANK bank;
  int32_t heap_CUDA;
  int32_t rand_CUDA;
  double maxBankedRatio_CUDA;
  double bankModeThr_CUDA;
};

// Points the status pointers into the record of the banking mode.
TQ_CPU_GPU inline void PointStatus(STATUSPOINTERS& p, void* record, int32_t heapMode) {
  p = STATUSPOINTERS{};
  if (heapMode == kHeapRing) {
    DEVICESTATUSRING& s = *static_cast<DEVICESTATUSRING*>(record);
    p.nFinishedHistories = &s.nFinishedHistories;
    p.nParticles = &s.nParticles;
    p.nStartedHistories = &s.nStartedHistories;
    p.nFinishedSourceTracks = &s.nFinishedSourceTracks;
    p.nRemovedOrReplacedParticles = &s.nRemovedOrReplacedParticles;
    p.maxBanked_device = &s.maxBanked_device;
    p.maxBanked_kernelCall = &s.maxBanked_kernelCall;
    p.nThrRead = &s.nThrRead;
    p.nThrWrite = &s.nThrWrite;
    p.nThrNeutral = &s.nThrNeutral;
    p.error = &s.error;
    p.nextReadPos = &s.nextReadPos;
    p.nextWritePos = &s.nextWritePos;
    p.nReadFailure = &s.nReadFailure;
    p.nWriteFailure = &s.nWriteFailure;
  } else {
    DEVICESTATUS& s = *static_cast<DEVICESTATUS*>(record);
    p.nActStreams = &s.nActStreams;
    p.nFinishedHistories = &s.nFinishedHistories;
    p.nParticles = &s.nParticles;
    p.nStartedHistories = &s.nStartedHistories;
    p.nFinishedSourceTracks = &s.nFinishedSourceTracks;
    p.nRemovedOrReplacedParticles = &s.nRemovedOrReplacedParticles;
    p.maxBanked_device = &s.maxBanked_device;
    p.maxBanked_kernelCall = &s.maxBanked_kernelCall;
    p.nThrRead = &s.nThrRead;
    p.nThrWrite = &s.nThrWrite;
    p.nThrNeutral = &s.nThrNeutral;
    p.error = &s.error;
  }
  p.nThrNRW[kStateNeutral] = p.nThrNeutral;
  p.nThrNRW[kStateRead] = p.nThrRead;
  p.nThrNRW[kStateWrite] = p.nThrWrite;
}

// The keys of the task's lookup caches set to "nothing cached".
TQ_CPU_GPU inline void ResetLookupCaches(TASKSTATE& t) {
  t.elSigmaMaterial = -2;
  t.elSigmaE = -2.0;
  t.elSigmaKind = -2;
  t.phot.keyMaterial = nullptr;
  t.phot.keyEnergy = -2.0;
  t.phot.keyKind = -2;
  for (int32_t e = 0; e < kMaxElements; ++e) {
    PHOTONELEMENTCACHE& c = t.phot.elements[e];
    c.cohE = -1.0;
    c.incohE = -1.0;
    c.pairE = -1.0;
  }
  for (int32_t e = 0; e < kMaxElementsInTask; ++e) {
    t.screeningE[e] = -2.0;
    t.elasticGridE[e] = -2.0;
    t.elasticGridSet[e] = -1;
  }
}

// Appends task j (its number on the device) to block b's list of its next state.
TQ_CPU_GPU inline void ListTask(TASKGLOBALS& g, int32_t b, int32_t j) {
  const int32_t state = g.tasks[j].control.nextState;
  uint32_t& length = g.nTasksPerState[b * kTaskStates + state];
  g.taskIndex[(static_cast<int64_t>(b) * kTaskStates + state) * g.tasksPerBlock + length] = static_cast<uint16_t>(j);
  ++length;
  ++g.nActTasks[b];
  ++*g.status.nThrNRW[g.stateType[state]];
}

// Prepares task j of block b for the first launch. A task with work starts
// its first history at the first stage of the source (banking modes 0 and 1)
// or waits in the read state, which hands out histories (mode 2).
TQ_CPU_GPU inline void StartTask(TASKGLOBALS& g, const Constants& k, const DEVICESTREAMS& streams, int32_t b,
                                 int32_t j) {
  DEVICETASK& task = g.tasks[j];
  TASKSTATE& t = task.t;
  if (k.complexGeometry == 0) {
    t.iCell = 0;
    t.cellIndex = 0;
    t.voxelIndex = -1;
    t.cell = k.cell;
    t.material = k.nMaterials > 0 ? k.material : nullptr;
  }
  t.stats = nullptr;  // the scheduler points them at the running thread's records
  t.cellStats = nullptr;
  t.curStats = nullptr;
  const TALLYTABLES& tt = DeviceTallyTables();
  if (t.cellDeposit != nullptr) {
    for (int32_t c = 0; c < tt.nCellsPulseHeight; ++c) t.cellDeposit[c] = 0.0;
  }
  ResetLookupCaches(t);
  if (task.control.stop != 0) return;  // inactive
  if (g.rand_CUDA == 1) t.rng = &streams.randGens[t.iStream];
  // The device's history limit: in banking modes 0 and 1 the exclusive end of
  // its history numbers, which the task's first stream must lie below; in
  // mode 2 its count of histories, of which task j would start the j-th.
  const unsigned long long first =
      g.heap_CUDA == kHeapRing ? static_cast<unsigned long long>(j) : streams.streamControl[t.iStream].nextParticle;
  if (first >= *g.lastParticle) {
    // No history for this task: it waits in the read state, unlisted, with no
    // history running (banking mode 1 lists it again at a launch, and its
    // read must not count a history that never ran as finished).
    t.state = kStateHistoryEnded;
    return;
  }
  if (g.heap_CUDA == kHeapRing) {
    task.control.nextState = kStateReadBanked;
  } else {
    t.state = kStateFollow;
    task.control.nextState = kStateSourcePosition;
    ++*g.status.nStartedHistories;
  }
  ListTask(g, b, j);
}

struct INITTASKDATAKERNEL {
  TASKDATAARGS a;

  struct Shared {};
  struct Local {};

  TQ_CPU_GPU int32_t Phase(int32_t, const THREADINDEX&, Shared&, Local&) const {
    TASKGLOBALS& g = TaskGlobals();
    DEVICESTREAMS& streams = DeviceStreams();
    streams.streamControl = a.streamControl;
    streams.nStreams_tot = a.nStreams_tot;
    if (a.rand_CUDA == 1) streams.randGens = a.randGens;
    g.tasks = a.tasks;
    g.threads = a.threads;
    g.nThreads = a.nThreads;
    g.nTasks = a.nTasks;
    g.nBlocks = a.nBlocks;
    g.tasksPerBlock = a.nTasks / a.nBlocks;
    g.heap_CUDA = a.heap_CUDA;
    g.rand_CUDA = a.rand_CUDA;
    g.startTask = a.tasks[0].control.taskNo;
    g.startStream = a.tasks[0].t.iStream;
    g.nStreams_device = a.nStreams_device;
    g.avgBanked = a.avgBanked;
    g.maxBanked_tot = static_cast<int64_t>(a.nTasks) * a.avgBanked + (a.heap_CUDA == kHeapRing ? 2 * a.nThreads : 0);
    g.maxBanked_allowed = MaxBankedAllowed(a.avgBanked, a.maxBankedRatio_CUDA);
    g.endSimulation = 0;
    PointStatus(g.status, a.status, a.heap_CUDA);
    *g.status.nParticles = a.heap_CUDA == kHeapRing ? 0 : static_cast<unsigned long long>(a.nTasks);
    g.lastParticle = a.lastParticle;
    g.margin_CUDA = a.heap_CUDA == kHeapRing ? a.margin : nullptr;
    g.cudaStats = a.cudaStats;
    g.nGPUcycles = a.nGPUcycles;
    g.taskIndex = a.taskIndex;
    g.nTasksPerState = a.nTasksPerState;
    g.nActTasks = a.nActTasks;
    g.bank = a.bank;
    if (DeviceConstants().trackPos == 0) g.bank.pc = nullptr;
    g.bankModeThr_CUDA = a.bankModeThr_CUDA;
    g.maxBankedRatio_CUDA = a.maxBankedRatio_CUDA;
    if (a.heap_CUDA == kHeapRing) {
      const unsigned long long half = static_cast<unsigned long long>(g.maxBanked_tot / 2);
      const unsigned long long twice = 2ull * static_cast<unsigned long long>(a.nTasks);
      g.readThreshold = half < twice ? half : twice;
    } else {
      g.startPosBanked = 0;
    }
    const Constants& k = DeviceConstants();
    for (int32_t b = 0; b < g.nBlocks; ++b) {
      g.nActTasks[b] = 0;
      for (int32_t s = 0; s < kTaskStates; ++s) g.nTasksPerState[b * kTaskStates + s] = 0;
      for (int32_t i = 0; i < g.tasksPerBlock; ++i) StartTask(g, k, streams, b, b * g.tasksPerBlock + i);
    }
    return kKernelEnd;
  }
};

// ---------------------------------------------------------------------------
// RandInit: 16 blocks of 64 threads per batch of 1024 streams.
// ---------------------------------------------------------------------------

constexpr int32_t kRandInitBlocks = 16;
constexpr int32_t kRandInitBlockSize = 64;
constexpr int32_t kRandInitBatch = kRandInitBlocks * kRandInitBlockSize;

struct RANDINITKERNEL {
  int32_t first;  // first stream of the batch

  struct Shared {};
  struct Local {};

  // The RANMAR initialisation of each of the device's streams from the seed
  // pair the host stored in its generator.
  TQ_CPU_GPU int32_t Phase(int32_t, const THREADINDEX& at, Shared&, Local&) const {
    const TASKGLOBALS& g = TaskGlobals();
    const int32_t s = first + at.Global();
    if (g.rand_CUDA == 1 && s <= g.startStream + static_cast<int32_t>(g.nStreams_device) - 1) {
      CRandGen& r = DeviceStreams().randGens[s];
      r.RandomInitialise(r.ij, r.kl);
    }
    return kKernelEnd;
  }
};

// ---------------------------------------------------------------------------
// Launches on the current device; each waits for the device and checks the
// launch (a failure ends the program with exit code 2).
// ---------------------------------------------------------------------------

void CopyConstantsToDevice(const Constants* constants, const TALLYTABLES* tallyTables, const Elem* elements);
void CopyElementDataToDevice(const COPYELEMENTDATAKERNEL& check);
void InitTaskData(const TASKDATAARGS& args);
void RandInit(int32_t first);
