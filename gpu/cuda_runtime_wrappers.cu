#include "gpu/cuda_runtime_wrappers.h"

#include <cuda_runtime.h>

#include <cstdio>
#include <cstdlib>

int currentDevice = 0;
uint64_t deviceAllocated[kMaxDevices] = {};
uint64_t deviceMemoryLimit[kMaxDevices] = {};

int CudaMallocChecked(void** devicePointer, size_t bytes) {
  cudaError_t result = cudaMalloc(devicePointer, bytes);
  if (result != cudaSuccess) return static_cast<int>(result);
  deviceAllocated[currentDevice] += bytes;
  return deviceAllocated[currentDevice] > deviceMemoryLimit[currentDevice]
             ? static_cast<int>(cudaErrorMemoryAllocation)
             : 0;
}

void CheckCudaError(int code) {
  if (code == 0) return;
  printf("\nCUDA error (%s).\n", cudaGetErrorString(static_cast<cudaError_t>(code)));
  fflush(stdout);
  std::exit(2);
}
