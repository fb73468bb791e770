// The device globals: what every kernel of a device reads without an
// argument. They live in one namespace, device_globals (gpu/device_tables.cu),
// apart from the host globals of the same names: the problem's records that
// the transport reaches through its accessors (Constants, TALLYTABLES, the
// element array and the stream tables; core/) and the scheduler's TASKGLOBALS.
// The set-up kernels store them (setup_kernels.h); nothing is written to them
// from the host.
//
// On the host-simulated device every simulated device keeps its own copies in
// a SIMULATEDGLOBALS record; the accessors below return the device's copy on
// a CUDA device and the current simulated device's copy on the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/hostdevice.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/device_records.h"

// Where the fields of the status record are for the kernels (its layout
// depends on the banking mode); the ring fields are null in modes 0 and 1,
// nActStreams in mode 2.
struct STATUSPOINTERS {
  uint32_t* nActStreams;
  unsigned long long* nFinishedHistories;
  unsigned long long* nParticles;
  unsigned long long* nStartedHistories;
  unsigned long long* nFinishedSourceTracks;
  unsigned long long* nRemovedOrReplacedParticles;
  int32_t* maxBanked_device;
  int32_t* maxBanked_kernelCall;
  int32_t* nThrRead;
  int32_t* nThrWrite;
  int32_t* nThrNeutral;
  int32_t* error;
  unsigned long long* nextReadPos;
  unsigned long long* nextWritePos;
  unsigned long long* nReadFailure;
  unsigned long long* nWriteFailure;
  int32_t* nThrNRW[3];  // the task counts by state kind: neutral, read, write
};

// The scheduler's device globals: the device's tasks and threads, its status
// record, the banked-particle pool and the per-block state lists.
struct TASKGLOBALS {
  DEVICETASK* tasks;                  // [nTasks]
  CThread2* threads;                  // [nThreads], one per grid thread
  int32_t nThreads;                   // grid threads
  int32_t nTasks;                     // tasks of the device
  int32_t nBlocks;                    // blocks of the grid
  int32_t tasksPerBlock;              // nTasks / nBlocks: block b owns tasks b * tasksPerBlock ..
  int32_t heap_CUDA;                  // banking mode
  int32_t rand_CUDA;                  // 1: RANMAR generators per stream (randGens)
  int32_t startTask;                  // global task number of the device's first task
  int32_t startStream;                // first stream of the device
  uint32_t nStreams_device;           // streams of the device: the stride of its histories
  int32_t avgBanked;                  // banked particles per task
  int64_t maxBanked_tot;              // slots of the pool
  int32_t maxBanked_allowed;          // largest bank of one task (modes 0 and 1)
  int32_t endSimulation;              // no new history is started (stored by every launch)
  unsigned long long readThreshold;   // ring: waiting particles below which reads are held back
  unsigned long long startPosBanked;  // next position of the slot search (modes 0 and 1)
  STATUSPOINTERS status;
  unsigned long long* lastParticle;  // history limit: modes 0, 1 end of history numbers; 2 a count
  int32_t* margin_CUDA;              // ring read margin, rewritten by the host (mode 2)
  CUDA_STATS* cudaStats;
  unsigned long long nGPUcycles;  // clock cycles of one launch's time slice
  uint16_t* taskIndex;            // [nBlocks][kTaskStates][tasksPerBlock] tasks waiting per state
  uint32_t* nTasksPerState;       // [nBlocks][kTaskStates] lengths of those lists
  uint32_t* nActTasks;            // [nBlocks] active tasks of each block
  DEVICEBANK bank;
  double bankModeThr_CUDA;               // ring fill above which every state is run
  double maxBankedRatio_CUDA;            // bounds one task's bank in modes 0 and 1
  int8_t stateType[kTaskStates];         // StateKind of each state
  int32_t set[kStateRows][kTaskStates];  // rows of states in the scheduler's priority order
  int32_t nS[kStateRows];                // their lengths
};

// One simulated device's globals (host-simulated device).
struct SIMULATEDGLOBALS {
  Constants constants;
  TALLYTABLES tallyTables;
  const Elem* elementArray;
  DEVICESTREAMS streams;
  TASKGLOBALS task;
};

#if defined(__CUDACC__)
namespace device_globals {
extern __device__ TASKGLOBALS task;
}
#endif

// The globals of the simulated device that runs the current launch
// (device_runtime_host.cpp); a CUDA device never calls it.
SIMULATEDGLOBALS& SimulatedGlobals();

// The device's globals as the kernels write them.
TQ_CPU_GPU inline Constants& DeviceConstants() {
#if defined(__CUDA_ARCH__)
  return device_globals::constants;
#else
  return SimulatedGlobals().constants;
#endif
}

TQ_CPU_GPU inline TALLYTABLES& DeviceTallyTables() {
#if defined(__CUDA_ARCH__)
  return device_globals::tallyTables;
#else
  return SimulatedGlobals().tallyTables;
#endif
}

TQ_CPU_GPU inline const Elem*& DeviceElementArray() {
#if defined(__CUDA_ARCH__)
  return device_globals::elementArray;
#else
  return SimulatedGlobals().elementArray;
#endif
}

TQ_CPU_GPU inline DEVICESTREAMS& DeviceStreams() {
#if defined(__CUDA_ARCH__)
  return device_globals::streams;
#else
  return SimulatedGlobals().streams;
#endif
}

TQ_CPU_GPU inline TASKGLOBALS& TaskGlobals() {
#if defined(__CUDA_ARCH__)
  return device_globals::task;
#else
  return SimulatedGlobals().task;
#endif
}
