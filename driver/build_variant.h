// What tells the two programs apart. The driver is built once and linked by
// Trenqual and Trenqual_CUDA alike; the definitions below come from
// build_variant.cpp, the one driver source compiled once per program
// (TQ_GPU_BUILD 0 or 1), which in Trenqual_CUDA reaches the CUDA runtime.
#pragma once

#include <cstdint>

// True in Trenqual_CUDA: the _CUDA options, the device checks and that
// program's messages.
extern const bool gpuBuild;

// One CUDA device as the set-up reports it.
struct CUDADEVICEINFO {
  int major = 0;  // compute capability
  int minor = 0;
  int clockKHz = 0;                   // clock rate, kHz
  int memoryClockKHz = 0;             // memory clock rate, kHz
  uint64_t globalMemory = 0;          // bytes
  uint64_t sharedMemoryPerBlock = 0;  // bytes
};

// The devices the CUDA runtime reports; 0 when it cannot answer (no driver,
// no device) and always in Trenqual.
int CudaDeviceCount();

// The properties of device d (0-based); its memory budget for the run is set
// to its global memory.
CUDADEVICEINFO CudaDeviceInfo(int d);

// Makes device d current and resets it; its allocations are forgotten.
void ResetCudaDevice(int d);

// Makes device d current.
void SelectCudaDevice(int d);

// What the work division settled for one real (not emulated) device.
struct CUDADEVICEWORK {
  int32_t device = 0;          // device number, 0-based
  int32_t heapMode = 0;        // heap_CUDA
  int32_t randType = 1;        // rand_CUDA
  int32_t nTasks = 0;          // tasks_CUDA
  int32_t nThreads = 0;        // threads_CUDA
  int32_t blockSize = 0;       // blockSize_CUDA
  int32_t streamsPerTask = 0;  // streams_CUDA
  int32_t firstTask = 0;       // global number of the first task
  int32_t firstStream = 0;
  int32_t avgBanked = 0;     // banked particles per task
  int64_t bankCapacity = 0;  // slots of the banked-particle pool
  int32_t margin = 0;        // ring read margin (heap mode 2)
  double maxBankedRatio = 0.0;
  double bankModeThr = 0.0;
  uint64_t share = 0;         // histories of the device
  uint64_t lastParticle = 0;  // the device's history limit as its heap mode reads it
  uint64_t nGPUcycles = 0;    // clock cycles of one launch
  bool perCellStats = false;  // per-cell interaction statistics
  // Called before each stage of the set-up (0 the copy of the problem, 1 the
  // task data) with the device number; may be null.
  void (*showStage)(int32_t device, int32_t stage) = nullptr;
};

// Stages of SetUpCudaDevice, as CUDADEVICEWORK::showStage names them.
constexpr int32_t kDeviceStageCopy = 0;
constexpr int32_t kDeviceStageTasks = 1;

// Copies the problem (the Constants record, the element block, the tallies) to
// the device and sets up its tasks, threads, bank and generators with the
// set-up kernels; returns the bytes allocated on the device. Any device failure
// ends the program with exit code 2. Only Trenqual_CUDA calls it.
uint64_t SetUpCudaDevice(const CUDADEVICEWORK& work);
