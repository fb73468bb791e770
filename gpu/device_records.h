// The records a CUDA device keeps for its tasks and threads, copied between
// the host and the device as they are: the per-thread record CThread2, the
// device status record in its two layouts, the 53 counters CUDA_STATS and the
// device task DEVICETASK (the worker's plain record TASKSTATE with what the
// scheduler keeps beside it). The host compiler and nvcc must agree on every
// layout; the offsets below pin them in both.
//
// Counters that device code adds to with 64-bit atomics are unsigned long
// long, the type of CUDA's 64-bit atomicAdd.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/interaction_stats.h"
#include "core/task.h"
#include "core/vector.h"
#include "geometry/ray_tracking.h"

static_assert(sizeof(unsigned long long) == 8);

// The scheduler's task states (stages of CTask): 28 of them, each of one kind.
constexpr int32_t kTaskStates = 28;
constexpr int32_t kStateSourcePosition = 25;            // the first stage of a new history
constexpr int32_t kStateReadBanked = kReadBankedStage;  // reads a banked particle or starts a history
constexpr int32_t kStateRows = 4;                       // rows of states the scheduler walks

// Kinds of a state: what a task in it does to the particle bank.
enum StateKind : int8_t { kStateNeutral = 0, kStateRead = 1, kStateWrite = 2 };

// Banking modes (heap_CUDA): per-task stacks in one pool (0, 1), one ring (2).
constexpr int32_t kHeapRing = 2;

// ---------------------------------------------------------------------------
// CUDA_STATS: the device's 53 counters, added to by every launch.
// ---------------------------------------------------------------------------

constexpr int kCudaStatsSlots = 53;

struct CUDA_STATS {
  unsigned long long slot[kCudaStatsSlots];
};

static_assert(sizeof(CUDA_STATS) == 424);

// ---------------------------------------------------------------------------
// The device status record, copied whole between the host and the device; the
// kernels reach its fields through the pointers InitTaskData derives from its
// address (STATUSPOINTERS).
// ---------------------------------------------------------------------------

// Banking modes 0 and 1.
struct DEVICESTATUS {
  uint32_t nActStreams;  // streams of the device's tasks not yet finished
  uint32_t reserved;
  unsigned long long nFinishedHistories;
  unsigned long long nParticles;  // histories handed out (set to the task count)
  unsigned long long nStartedHistories;
  unsigned long long nFinishedSourceTracks;
  unsigned long long nRemovedOrReplacedParticles;
  int32_t maxBanked_device;      // largest bank of a task during the run
  int32_t maxBanked_kernelCall;  // largest bank of a task during the last launch
  int32_t nThrRead;              // tasks whose next state is of each kind
  int32_t nThrWrite;
  int32_t nThrNeutral;
  int32_t error;  // task number of the first fatal error, 0 none
};

static_assert(offsetof(DEVICESTATUS, nActStreams) == 0);
static_assert(offsetof(DEVICESTATUS, nFinishedHistories) == 8);
static_assert(offsetof(DEVICESTATUS, nParticles) == 16);
static_assert(offsetof(DEVICESTATUS, nStartedHistories) == 24);
static_assert(offsetof(DEVICESTATUS, nFinishedSourceTracks) == 32);
static_assert(offsetof(DEVICESTATUS, nRemovedOrReplacedParticles) == 40);
static_assert(offsetof(DEVICESTATUS, maxBanked_device) == 48);
static_assert(offsetof(DEVICESTATUS, maxBanked_kernelCall) == 52);
static_assert(offsetof(DEVICESTATUS, nThrRead) == 56);
static_assert(offsetof(DEVICESTATUS, nThrWrite) == 60);
static_assert(offsetof(DEVICESTATUS, nThrNeutral) == 64);
static_assert(offsetof(DEVICESTATUS, error) == 68);
static_assert(sizeof(DEVICESTATUS) == 72);

// Banking mode 2 (the ring buffer).
struct DEVICESTATUSRING {
  unsigned long long nFinishedHistories;
  unsigned long long nParticles;  // histories handed out (0 at the start)
  unsigned long long nStartedHistories;
  unsigned long long nFinishedSourceTracks;
  unsigned long long nRemovedOrReplacedParticles;
  int32_t maxBanked_device;
  int32_t maxBanked_kernelCall;
  int32_t nThrRead;
  int32_t nThrWrite;
  int32_t nThrNeutral;
  int32_t error;
  unsigned long long nextReadPos;  // ring positions, only growing
  unsigned long long nextWritePos;
  unsigned long long kernelStage;    // the host's, not touched by device code
  unsigned long long nReadFailure;   // reads of a reserved, unpublished slot
  unsigned long long nWriteFailure;  // writes that met an unread slot
};

static_assert(offsetof(DEVICESTATUSRING, nFinishedHistories) == 0);
static_assert(offsetof(DEVICESTATUSRING, nParticles) == 8);
static_assert(offsetof(DEVICESTATUSRING, nStartedHistories) == 16);
static_assert(offsetof(DEVICESTATUSRING, nFinishedSourceTracks) == 24);
static_assert(offsetof(DEVICESTATUSRING, nRemovedOrReplacedParticles) == 32);
static_assert(offsetof(DEVICESTATUSRING, maxBanked_device) == 40);
static_assert(offsetof(DEVICESTATUSRING, maxBanked_kernelCall) == 44);
static_assert(offsetof(DEVICESTATUSRING, nThrRead) == 48);
static_assert(offsetof(DEVICESTATUSRING, nThrWrite) == 52);
static_assert(offsetof(DEVICESTATUSRING, nThrNeutral) == 56);
static_assert(offsetof(DEVICESTATUSRING, error) == 60);
static_assert(offsetof(DEVICESTATUSRING, nextReadPos) == 64);
static_assert(offsetof(DEVICESTATUSRING, nextWritePos) == 72);
static_assert(offsetof(DEVICESTATUSRING, kernelStage) == 80);
static_assert(offsetof(DEVICESTATUSRING, nReadFailure) == 88);
static_assert(offsetof(DEVICESTATUSRING, nWriteFailure) == 96);
static_assert(sizeof(DEVICESTATUSRING) == 104);

// Bytes of the status record of a banking mode.
inline constexpr size_t StatusBytes(int32_t heapMode) {
  return heapMode == kHeapRing ? sizeof(DEVICESTATUSRING) : sizeof(DEVICESTATUS);
}

// ---------------------------------------------------------------------------
// CThread2: one grid thread's record, copied whole between the host and the
// device (the scheduler rewrites the launch fields in every launch and the
// host reads them back for the device statistics).
// ---------------------------------------------------------------------------

struct CThread2 {
  unsigned long long entryClock = 0;  // device clock at the thread's kernel entry
  unsigned long long exitClock = 0;   // and at its exit
  // Sigma_el, Distance_el, SampleCollisionType_el, ElasticScattering (with
  // Diffusion): clock cycles and runs during the launch.
  unsigned long long electronStageCycles[4] = {};
  unsigned long long electronStageCounts[4] = {};
  unsigned long long nFinishedHistories = 0;
  unsigned long long nStartedHistories = 0;
  unsigned long long nFinishedSourceTracks = 0;
  unsigned long long nRemovedOrReplaced = 0;
  double removedWeight = 0.0;            // weights of removed or replaced particles (weights in use)
  unsigned long long nReadFailures = 0;  // ring buffer
  unsigned long long nWriteFailures = 0;
  unsigned long long launchCycles = 0;    // exit - entry, 0 if not positive
  int32_t maxBanked = 0;                  // largest bank of the thread's tasks during the launch
  int32_t stepWidth = 0;                  // thread 0 of a block: tasks of the block's last step
  TrackerWork work = {};                  // ray-tracking work arrays (complex geometry; device memory)
  INTERACTIONSTATS* stats = nullptr;      // the thread's overall statistics (device memory)
  INTERACTIONSTATS* cellStats = nullptr;  // its per-cell statistics, nCells records, or null
};

static_assert(offsetof(CThread2, entryClock) == 0);
static_assert(offsetof(CThread2, exitClock) == 8);
static_assert(offsetof(CThread2, electronStageCycles) == 16);
static_assert(offsetof(CThread2, electronStageCounts) == 48);
static_assert(offsetof(CThread2, nFinishedHistories) == 80);
static_assert(offsetof(CThread2, nStartedHistories) == 88);
static_assert(offsetof(CThread2, nFinishedSourceTracks) == 96);
static_assert(offsetof(CThread2, nRemovedOrReplaced) == 104);
static_assert(offsetof(CThread2, removedWeight) == 112);
static_assert(offsetof(CThread2, nReadFailures) == 120);
static_assert(offsetof(CThread2, nWriteFailures) == 128);
static_assert(offsetof(CThread2, launchCycles) == 136);
static_assert(offsetof(CThread2, maxBanked) == 144);
static_assert(offsetof(CThread2, stepWidth) == 148);
static_assert(offsetof(CThread2, work) == 152);
static_assert(offsetof(CThread2, stats) == 192);
static_assert(offsetof(CThread2, cellStats) == 200);
static_assert(sizeof(CThread2) == 208);

// ---------------------------------------------------------------------------
// DEVICETASK: one device task. Its TASKSTATE is what the transport's
// host/device functions work on; the control part is the scheduler's.
// ---------------------------------------------------------------------------

struct DEVICETASKCONTROL {
  int32_t nextState = kStateReadBanked;  // scheduler state of the task's next step
  int32_t taskNo = 0;                    // global task number; messages print it plus 1
  CThread2* thread = nullptr;            // record of the thread that runs the task's step
  int32_t* streamList = nullptr;         // the task's streams (device memory)
  int32_t nStreams = 0;                  // streams in streamList
  int32_t streamCursor = 0;              // position of the current stream in streamList
  int32_t stop = 0;                      // the task starts no further history
  int32_t fatalError = 0;                // set by a stage that met a fatal error
  int64_t* slots = nullptr;              // banking modes 0 and 1: the task's stack of pool slots
  int32_t nSlots = 0;                    // particles the task has banked in the pool
  int32_t maxSlots = 0;                  // the most it has had
  int32_t sourceRejections = 0;          // consecutive source particles that missed the geometry
  int32_t sourceTrackOpen = 0;           // banking mode 2: the source track of the task's history goes on
  VECTOR sourceMin{1.0, 1.0, 1.0};       // extent of the task's volume-source points, cm
  VECTOR sourceMax{0.0, 0.0, 0.0};       // (empty while min > max)
  // The energy deposited by the task's particles since its last history
  // ended, eV: a task's steps run on whichever thread takes them, so the
  // thread's statistics slot eHistoryDeposit holds it only during a step.
  // In banking mode 2 a history's particles run on several tasks, and what a
  // task holds at the end of the run still belongs to the absorbed energy.
  double historyDeposit = 0.0;
};

static_assert(offsetof(DEVICETASKCONTROL, nextState) == 0);
static_assert(offsetof(DEVICETASKCONTROL, taskNo) == 4);
static_assert(offsetof(DEVICETASKCONTROL, thread) == 8);
static_assert(offsetof(DEVICETASKCONTROL, streamList) == 16);
static_assert(offsetof(DEVICETASKCONTROL, nStreams) == 24);
static_assert(offsetof(DEVICETASKCONTROL, streamCursor) == 28);
static_assert(offsetof(DEVICETASKCONTROL, stop) == 32);
static_assert(offsetof(DEVICETASKCONTROL, fatalError) == 36);
static_assert(offsetof(DEVICETASKCONTROL, slots) == 40);
static_assert(offsetof(DEVICETASKCONTROL, nSlots) == 48);
static_assert(offsetof(DEVICETASKCONTROL, maxSlots) == 52);
static_assert(offsetof(DEVICETASKCONTROL, sourceRejections) == 56);
static_assert(offsetof(DEVICETASKCONTROL, sourceTrackOpen) == 60);
static_assert(offsetof(DEVICETASKCONTROL, sourceMin) == 64);
static_assert(offsetof(DEVICETASKCONTROL, sourceMax) == 88);
static_assert(offsetof(DEVICETASKCONTROL, historyDeposit) == 112);
static_assert(sizeof(DEVICETASKCONTROL) == 120);

struct DEVICETASK {
  DEVICETASKCONTROL control;
  TASKSTATE t;
};

// The control part comes first and the worker's record follows it unpadded
// (the layout of TASKSTATE is pinned in core/task.h).
static_assert(sizeof(DEVICETASK) == sizeof(DEVICETASKCONTROL) + sizeof(TASKSTATE));

// ---------------------------------------------------------------------------
// The banked particles of a device: one pool of slots as parallel arrays
// (null when the options do not call for the array).
// ---------------------------------------------------------------------------

struct DEVICEBANK {
  double* en;           // energy, eV
  uint8_t* p;           // kind
  uint8_t* org;         // origin
  double* wt;           // weight (interaction forcing)
  int16_t* iForced;     // forcing state (interaction forcing)
  PARTICLECOORD* pc;    // position and momentum (TRACKPOS)
  int32_t* voxelIndex;  // complex geometry
  int16_t* cellIndex;   // complex geometry
  double* maxRadius;    // free-motion radius (stored free-motion data)
  VECTOR* centerFree;   // its centre
  int32_t* taskBanked;  // owner of each slot: its task number + 1 (so that task 0 owns slots too), 0 free
};

static_assert(sizeof(DEVICEBANK) == 88);

// Largest bank of one task in banking modes 0 and 1: the average banked
// particles per task times maxBankedRatio_CUDA, rounded up.
TQ_CPU_GPU inline int32_t MaxBankedAllowed(int32_t avgBanked, double maxBankedRatio) {
  return static_cast<int32_t>(ceil(avgBanked * maxBankedRatio));
}

// Bytes of one banked particle: energy, kind, origin and owner always, the
// coordinates with TRACKPOS, voxel and cell in complex geometry, the stored
// free-motion data there too, the weight and forcing state with forcing.
inline constexpr int64_t BankedParticleBytes(bool trackPos, bool complexGeometry, bool freeMotion, bool forcing) {
  int64_t bytes = sizeof(double) + 2 * sizeof(uint8_t) + sizeof(int32_t);
  if (trackPos) bytes += sizeof(PARTICLECOORD);
  if (complexGeometry) bytes += sizeof(int32_t) + sizeof(int16_t);
  if (complexGeometry && freeMotion) bytes += sizeof(double) + sizeof(VECTOR);
  if (forcing) bytes += sizeof(double) + sizeof(int16_t);
  return bytes;
}
