#include "gpu/device_tasks.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>

#include "core/tally.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_stages.h"
#include "gpu/setup_kernels.h"

namespace {

template <typename T>
T* Zeroed(int64_t n) {
  return static_cast<T*>(DeviceAllocateZeroed(static_cast<size_t>(n > 0 ? n : 0) * sizeof(T)));
}

// The status record with its starting values: the device's streams and its
// share of histories, everything else 0.
void* UploadStatus(const DEVICETASKSETUP& s) {
  if (s.heapMode == kHeapRing) {
    DEVICESTATUSRING status{};
    status.nParticles = s.share;
    return DeviceCopyOf(&status, 1);
  }
  DEVICESTATUS status{};
  status.nActStreams = static_cast<uint32_t>(s.nTasks * s.streamsPerTask);
  status.nParticles = s.share;
  return DeviceCopyOf(&status, 1);
}

// The pool of banked particles: the arrays the options call for, zeroed.
DEVICEBANK UploadBank(const DEVICETASKSETUP& s) {
  const int64_t n = s.bankCapacity;
  DEVICEBANK b{};
  b.en = Zeroed<double>(n);
  b.p = Zeroed<uint8_t>(n);
  b.org = Zeroed<uint8_t>(n);
  if (s.forcing) {
    b.wt = Zeroed<double>(n);
    b.iForced = Zeroed<int16_t>(n);
  }
  if (s.trackPos) b.pc = Zeroed<PARTICLECOORD>(n);
  if (s.complexGeometry) {
    b.voxelIndex = Zeroed<int32_t>(n);
    b.cellIndex = Zeroed<int16_t>(n);
    if (s.storeFreeMotionRadius) {
      b.maxRadius = Zeroed<double>(n);
      b.centerFree = Zeroed<VECTOR>(n);
    }
  }
  b.taskBanked = Zeroed<int32_t>(n);
  return b;
}

// Per task: its stream list, the binning scratch of every quantity, the
// per-history deposits of the pulse-height cells, the staging stack of the
// particles a stage banks (arrays as the options call for, like the pool's)
// and, in modes 0 and 1, its stack of pool slots; one block for all tasks.
struct TASKSCRATCH {
  int64_t streamBytes;
  int64_t rangeBytes[kQuantityCount];
  int64_t depositBytes;
  int64_t stagingBytes;
  int64_t slotBytes;
  int64_t bytes;  // per task, multiples of 8

  explicit TASKSCRATCH(const DEVICETASKSETUP& s) {
    streamBytes = Rounded(s.streamsPerTask * static_cast<int64_t>(sizeof(int32_t)));
    bytes = streamBytes;
    for (int q = 0; q < kQuantityCount; ++q) {
      rangeBytes[q] = Rounded(s.tallyTables->nRanges[q] * static_cast<int64_t>(sizeof(int16_t)));
      bytes += rangeBytes[q];
    }
    depositBytes = Rounded(s.tallyTables->nCellsPulseHeight * static_cast<int64_t>(sizeof(double)));
    bytes += depositBytes;
    stagingBytes = StagingLayout(s, nullptr, nullptr);
    bytes += stagingBytes;
    slotBytes = s.heapMode == kHeapRing
                    ? 0
                    : Rounded(MaxBankedAllowed(s.avgBanked, s.maxBankedRatio) * static_cast<int64_t>(sizeof(int64_t)));
    bytes += slotBytes;
  }

  static int64_t Rounded(int64_t b) { return (b + 7) / 8 * 8; }

  // Lays the staging arrays out from `at` (null: only counts) into b; the bytes.
  static int64_t StagingLayout(const DEVICETASKSETUP& s, char* at, PARTICLEBANK* b) {
    const int64_t n = kDeviceStagingCapacity;
    int64_t used = 0;
    const auto take = [&](auto*& array, int64_t entries) {
      using T = std::remove_reference_t<decltype(*array)>;
      if (at != nullptr) array = reinterpret_cast<T*>(at + used);
      used += Rounded(entries * static_cast<int64_t>(sizeof(T)));
    };
    PARTICLEBANK counting{};
    PARTICLEBANK& r = b != nullptr ? *b : counting;
    take(r.en, n);
    take(r.p, n);
    take(r.org, n);
    take(r.pc, s.trackPos ? n : 1);
    if (s.forcing) {
      take(r.wt, n);
      take(r.iForced, n);
    }
    if (s.complexGeometry) {
      take(r.voxelIndex, n);
      take(r.cellIndex, n);
      if (s.storeFreeMotionRadius) {
        take(r.maxRadius, n);
        take(r.centerFree, n);
      }
    }
    r.positionsStored = s.trackPos ? 1 : 0;
    return used;
  }
};

// Task j's record as the device receives it.
void BuildTask(const DEVICETASKSETUP& s, const TASKSCRATCH& scratch, char* taskScratch, int32_t j, DEVICETASK& task) {
  DEVICETASKCONTROL& c = task.control;
  TASKSTATE& t = task.t;
  c.taskNo = s.firstTask + j;
  c.streamList = reinterpret_cast<int32_t*>(taskScratch);
  c.nStreams = s.streamsPerTask;
  c.streamCursor = 0;
  c.nextState = kStateReadBanked;
  t.threadNo = s.firstTask + j;
  t.iStream = s.firstStream + j;
  t.nBanked = -1;
  t.maxBanked = -1;
  t.state = kStateHistoryEnded;
  t.weight = 1.0;
  t.iForced = 0;
  char* at = taskScratch + scratch.streamBytes;
  for (int q = 0; q < kQuantityCount; ++q) {
    t.rangeBin[q] = scratch.rangeBytes[q] > 0 ? reinterpret_cast<int16_t*>(at) : nullptr;
    at += scratch.rangeBytes[q];
  }
  t.cellDeposit = scratch.depositBytes > 0 ? reinterpret_cast<double*>(at) : nullptr;
  at += scratch.depositBytes;
  // The staging stack of the particles a stage banks, and the stack of pool slots.
  t.bank = PARTICLEBANK{};
  TASKSCRATCH::StagingLayout(s, at, &t.bank);
  t.bankCapacity = kDeviceStagingCapacity;
  t.pcCursor = t.bank.pc;
  t.onDevice = 1;
  at += scratch.stagingBytes;
  c.slots = scratch.slotBytes > 0 ? reinterpret_cast<int64_t*>(at) : nullptr;
  c.nSlots = 0;
  c.maxSlots = 0;
  // Every task scores into the device's arrays.
  const DEVICETALLIES& d = s.problem->tallies;
  for (int k = 0; k < kTallyClassCount; ++k) {
    t.oneDimTallies[k] = d.oneDimTallies[k];
    t.oneDimTallies_wt[k] = d.oneDimTallies_wt[k];
    t.oneDimTallies_E[k] = d.oneDimTallies_E[k];
    t.twoDimTallies[k] = d.twoDimTallies[k];
    t.twoDimTallies_wt[k] = d.twoDimTallies_wt[k];
    t.twoDimTallies_E[k] = d.twoDimTallies_E[k];
    t.cellEntryHist[k] = d.cellEntryHist[k];
    t.cellEntryHist_wt[k] = d.cellEntryHist_wt[k];
    t.cellEntryHist_E[k] = d.cellEntryHist_E[k];
  }
  t.pulseHeightHist = d.pulseHeightHist;
  t.pulseHeightEnergy = d.pulseHeightEnergy;
}

// The tasks: records built one at a time on the host (every task sets the
// same fields, so one record serves them all), their stream lists in the
// scratch block.
DEVICETASK* UploadTasks(const DEVICETASKSETUP& s) {
  const TASKSCRATCH scratch(s);
  char* block = Zeroed<char>(scratch.bytes * s.nTasks);
  auto* tasks = static_cast<DEVICETASK*>(DeviceAllocate(static_cast<size_t>(s.nTasks) * sizeof(DEVICETASK)));
  auto host = std::make_unique<DEVICETASK>();
  for (int32_t j = 0; j < s.nTasks; ++j) {
    char* taskScratch = block + scratch.bytes * j;
    BuildTask(s, scratch, taskScratch, j, *host);
    const std::vector<int32_t> streams = DeviceTaskStreams(s.firstStream, j, s.nTasks, s.streamsPerTask);
    DeviceUpload(taskScratch, streams.data(), streams.size() * sizeof(int32_t));
    DeviceUpload(&tasks[j], host.get(), sizeof(DEVICETASK));
  }
  return tasks;
}

// The threads: each with its zeroed statistics record (and per-cell records)
// and, in complex geometry, its ray-tracking work arrays.
CThread2* UploadThreads(const DEVICETASKSETUP& s) {
  const int64_t n = s.nThreads;
  auto* stats = Zeroed<INTERACTIONSTATS>(n);
  auto* cellStats = s.perCellStats ? Zeroed<INTERACTIONSTATS>(n * s.nCells) : nullptr;
  uint16_t* sideBits = nullptr;
  double* surfaceValues = nullptr;
  CROSSING* crossings = nullptr;
  if (s.complexGeometry) {
    sideBits = Zeroed<uint16_t>(n * s.nSideWords);
    surfaceValues = Zeroed<double>(n * s.nSurfaces);
    crossings = Zeroed<CROSSING>(n * s.nCrossings);
  }
  std::vector<CThread2> threads(static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) {
    CThread2& r = threads[static_cast<size_t>(i)];
    r.stats = stats + i;
    r.cellStats = cellStats != nullptr ? cellStats + i * s.nCells : nullptr;
    if (s.complexGeometry) {
      r.work = TrackerWork{sideBits + i * s.nSideWords, s.nSideWords, surfaceValues + i * s.nSurfaces,
                           crossings + i * s.nCrossings, s.nCrossings};
    }
  }
  return DeviceCopyOf(threads.data(), n);
}

}  // namespace

std::vector<int32_t> DeviceTaskStreams(int32_t firstStream, int32_t j, int32_t nTasks, int32_t streamsPerTask) {
  std::vector<int32_t> streams(static_cast<size_t>(streamsPerTask > 0 ? streamsPerTask : 0));
  for (int32_t k = 0; k < streamsPerTask; ++k) streams[static_cast<size_t>(k)] = firstStream + j + k * nTasks;
  return streams;
}

void InitialiseDeviceTasks(const DEVICETASKSETUP& s, DEVICETASKDATA* d) {
  const int32_t nBlocks = s.nThreads / s.blockSize;
  const int32_t tasksPerBlock = s.nTasks / nBlocks;
  d->nBlocks = nBlocks;
  d->status = UploadStatus(s);
  if (s.heapMode == kHeapRing) d->margin = DeviceCopyOf(&s.margin, 1);
  d->lastParticle = DeviceCopyOf(&s.lastParticle, 1);
  d->cudaStats = Zeroed<CUDA_STATS>(1);
  d->streamControl = DeviceCopyOf(s.streamControl, s.nStreams_tot);
  if (s.randType == 1) d->randGens = DeviceCopyOf(s.randGens, s.nStreams_tot);
  d->bank = UploadBank(s);
  d->tasks = UploadTasks(s);
  d->threads = UploadThreads(s);
  // The per-block state lists, sized by the blocks of the grid.
  d->taskIndex = Zeroed<uint16_t>(static_cast<int64_t>(nBlocks) * kTaskStates * tasksPerBlock);
  d->nTasksPerState = Zeroed<uint32_t>(static_cast<int64_t>(nBlocks) * kTaskStates);
  d->nActTasks = Zeroed<uint32_t>(nBlocks);
  CheckCudaError(SynchronizeDevice());

  const int32_t nStreamsDevice = s.nTasks * s.streamsPerTask;
  TASKDATAARGS a{};
  a.randGens = d->randGens;
  a.streamControl = d->streamControl;
  a.nStreams_tot = s.nStreams_tot;
  a.tasks = d->tasks;
  a.threads = d->threads;
  a.nThreads = s.nThreads;
  a.nTasks = s.nTasks;
  a.avgBanked = s.avgBanked;
  a.status = d->status;
  a.lastParticle = d->lastParticle;
  a.margin = d->margin;
  a.cudaStats = d->cudaStats;
  a.nGPUcycles = s.nGPUcycles;
  a.nStreams_device = static_cast<uint32_t>(nStreamsDevice);
  a.taskIndex = d->taskIndex;
  a.nBlocks = nBlocks;
  a.nTasksPerState = d->nTasksPerState;
  a.nActTasks = d->nActTasks;
  a.bank = d->bank;
  a.heap_CUDA = s.heapMode;
  a.rand_CUDA = s.randType;
  a.maxBankedRatio_CUDA = s.maxBankedRatio;
  a.bankModeThr_CUDA = s.bankModeThr;
  InitTaskData(a);
  CheckCudaError(SynchronizeDevice());
  for (int32_t first = s.firstStream; first <= s.firstStream + nStreamsDevice - 1; first += kRandInitBatch) {
    RandInit(first);
  }
}
