// The definitions of build_variant.h for one program: compiled once for
// Trenqual (TQ_GPU_BUILD 0) and once for Trenqual_CUDA (TQ_GPU_BUILD 1),
// which is linked with a device runtime of gpu/: the CUDA runtime, or in the
// tests the host-simulated device.
#include "driver/build_variant.h"

#if TQ_GPU_BUILD
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"

const bool gpuBuild = true;

int CudaDeviceCount() {
  int count = 0;
  if (DeviceCount(&count) != kDeviceSuccess || count < 0) count = 0;
  return count;
}

CUDADEVICEINFO CudaDeviceInfo(int d) {
  DEVICEPROPERTIES p;
  CheckCudaError(DeviceProperties(d, &p));
  deviceMemoryLimit[d] = p.globalMemory;
  CUDADEVICEINFO info;
  info.major = p.major;
  info.minor = p.minor;
  info.clockKHz = p.clockKHz;
  info.memoryClockKHz = p.memoryClockKHz;
  info.globalMemory = p.globalMemory;
  info.sharedMemoryPerBlock = p.sharedMemoryPerBlock;
  return info;
}

void ResetCudaDevice(int d) {
  SelectCudaDevice(d);
  CheckCudaError(ResetDevice());
  deviceAllocated[d] = 0;
}

void SelectCudaDevice(int d) { SelectDevice(d); }

#else

const bool gpuBuild = false;

int CudaDeviceCount() { return 0; }
CUDADEVICEINFO CudaDeviceInfo(int) { return CUDADEVICEINFO{}; }
void ResetCudaDevice(int) {}
void SelectCudaDevice(int) {}

#endif
