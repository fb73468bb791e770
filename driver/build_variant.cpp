// The definitions of build_variant.h for one program: compiled once for
// Trenqual (TQ_GPU_BUILD 0) and once for Trenqual_CUDA (TQ_GPU_BUILD 1).
#include "driver/build_variant.h"

#if TQ_GPU_BUILD
#include <cuda_runtime.h>

#include "gpu/cuda_runtime_wrappers.h"

const bool gpuBuild = true;

int CudaDeviceCount() {
  int count = 0;
  if (cudaGetDeviceCount(&count) != cudaSuccess || count < 0) count = 0;
  return count;
}

CUDADEVICEINFO CudaDeviceInfo(int d) {
  cudaDeviceProp props{};
  CheckCudaError(cudaGetDeviceProperties(&props, d));
  deviceMemoryLimit[d] = props.totalGlobalMem;
  CUDADEVICEINFO info;
  info.major = props.major;
  info.minor = props.minor;
  cudaDeviceGetAttribute(&info.clockKHz, cudaDevAttrClockRate, d);
  cudaDeviceGetAttribute(&info.memoryClockKHz, cudaDevAttrMemoryClockRate, d);
  info.globalMemory = props.totalGlobalMem;
  info.sharedMemoryPerBlock = props.sharedMemPerBlock;
  return info;
}

void ResetCudaDevice(int d) {
  SelectCudaDevice(d);
  CheckCudaError(cudaDeviceReset());
  deviceAllocated[d] = 0;
}

void SelectCudaDevice(int d) {
  CheckCudaError(cudaSetDevice(d));
  currentDevice = d;
}

#else

const bool gpuBuild = false;

int CudaDeviceCount() { return 0; }
CUDADEVICEINFO CudaDeviceInfo(int) { return CUDADEVICEINFO{}; }
void ResetCudaDevice(int) {}
void SelectCudaDevice(int) {}

#endif
