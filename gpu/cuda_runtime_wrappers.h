// The two routines between the GPU build and the CUDA runtime: a device
// allocation that keeps each device within its memory budget, and the check
// that turns any failed runtime call into an orderly stop with exit code 2.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxDevices = 32;

extern int currentDevice;                         // device of the last successful cudaSetDevice
extern uint64_t deviceAllocated[kMaxDevices];     // bytes allocated per device during the run
extern uint64_t deviceMemoryLimit[kMaxDevices];   // totalGlobalMem of each device, bytes

// cudaMalloc that also adds the size to the current device's total; returns
// the runtime's code, or 2 (cudaErrorMemoryAllocation) when the total now
// exceeds the device's memory.
int CudaMallocChecked(void** devicePointer, size_t bytes);

// Code 0 returns at once; any other prints "\nCUDA error (%s).\n" with the
// runtime's text and ends the program with exit code 2.
void CheckCudaError(int code);
