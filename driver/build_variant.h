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
