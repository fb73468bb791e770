// The task data of one device before its first launch: the status record,
// the history limit, the statistics record, the stream tables, the banked-
// particle pool, the task and thread arrays and the per-block state lists,
// followed by the kernels InitTaskData and RandInit.
//
// Every device call is checked: a failure prints "\nCUDA error (%s).\n" and
// ends the program with exit code 2.
#pragma once

#include <cstdint>
#include <vector>

#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/device_records.h"
#include "gpu/device_upload.h"

// What the work division settled for one device.
struct DEVICETASKSETUP {
  int32_t heapMode = 0;                          // heap_CUDA
  int32_t randType = 1;                          // rand_CUDA
  int32_t nTasks = 0;                            // tasks_CUDA
  int32_t nThreads = 0;                          // threads_CUDA
  int32_t blockSize = 0;                         // blockSize_CUDA
  int32_t avgBanked = 0;                         // banked particles per task
  int64_t bankCapacity = 0;                      // slots of the pool
  double maxBankedRatio = 0.0;                   // maxBankedRatio_CUDA
  double bankModeThr = 0.0;                      // bankModeThr_CUDA
  int32_t margin = 0;                            // ring read margin (mode 2)
  unsigned long long share = 0;                  // histories of the device
  unsigned long long lastParticle = 0;           // history limit as the banking mode wants it
  unsigned long long nGPUcycles = 0;             // clock cycles of a launch
  int32_t firstTask = 0;                         // global number of the device's first task
  int32_t firstStream = 0;                       // first stream of the device
  int32_t streamsPerTask = 0;                    // streams_CUDA
  const STREAMCONTROL* streamControl = nullptr;  // every stream of the run (host)
  const CRandGen* randGens = nullptr;            // their generators with their seeds (host)
  int32_t nStreams_tot = 0;
  // The options and counts that decide the bank's arrays and the tasks' and
  // threads' working arrays.
  bool trackPos = false;
  bool forcing = false;
  bool complexGeometry = false;
  bool storeFreeMotionRadius = false;
  bool perCellStats = false;
  int32_t nCells = 0;
  int32_t nSurfaces = 0;  // ray-tracking work arrays of a thread (complex geometry)
  int32_t nSideWords = 0;
  int32_t nCrossings = 0;
  const TALLYTABLES* tallyTables = nullptr;  // host definitions (scratch sizes)
  const DEVICEPROBLEM* problem = nullptr;    // the device's upload (its tally score arrays)
};

// What the host keeps of a device's task data.
struct DEVICETASKDATA {
  DEVICETASK* tasks = nullptr;
  CThread2* threads = nullptr;
  void* status = nullptr;  // DEVICESTATUS, or DEVICESTATUSRING in mode 2
  unsigned long long* lastParticle = nullptr;
  int32_t* margin = nullptr;
  CUDA_STATS* cudaStats = nullptr;
  STREAMCONTROL* streamControl = nullptr;
  CRandGen* randGens = nullptr;
  DEVICEBANK bank{};
  uint16_t* taskIndex = nullptr;
  uint32_t* nTasksPerState = nullptr;
  uint32_t* nActTasks = nullptr;
  int32_t nBlocks = 0;
};

// Sets up the task data on the current device and runs InitTaskData and
// RandInit.
void InitialiseDeviceTasks(const DEVICETASKSETUP& setup, DEVICETASKDATA* data);

// The streams of task j of a device: first + j + k * nTasks, k = 0 .. streamsPerTask - 1.
std::vector<int32_t> DeviceTaskStreams(int32_t firstStream, int32_t j, int32_t nTasks, int32_t streamsPerTask);
