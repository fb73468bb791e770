// The device runtime of Trenqual_CUDA: the CUDA runtime itself.
#include <cuda_runtime.h>

#include <cstdio>
#include <cstdlib>

#include "gpu/device_globals.h"
#include "gpu/device_runtime.h"

static_assert(kDeviceInvalidValue == cudaErrorInvalidValue);
static_assert(kDeviceMemoryAllocation == cudaErrorMemoryAllocation);
static_assert(kDeviceInvalidConfiguration == cudaErrorInvalidConfiguration);
static_assert(kDeviceNoDevice == cudaErrorNoDevice);
static_assert(kDeviceInvalidDevice == cudaErrorInvalidDevice);
static_assert(kDeviceLaunchFailure == cudaErrorLaunchFailure);

namespace {

int Code(cudaError_t result) { return static_cast<int>(result); }

}  // namespace

int DeviceCount(int* count) {
  *count = 0;
  const int result = Code(cudaGetDeviceCount(count));
  if (result != kDeviceSuccess || *count < 0) *count = 0;
  return result;
}

int DeviceProperties(int device, DEVICEPROPERTIES* properties) {
  cudaDeviceProp p{};
  if (const int result = Code(cudaGetDeviceProperties(&p, device))) return result;
  *properties = DEVICEPROPERTIES{};
  properties->major = p.major;
  properties->minor = p.minor;
  properties->globalMemory = p.totalGlobalMem;
  properties->sharedMemoryPerBlock = p.sharedMemPerBlock;
  // CUDA 13 reports the clock rates as device attributes only.
  if (const int result = Code(cudaDeviceGetAttribute(&properties->clockKHz, cudaDevAttrClockRate, device))) {
    return result;
  }
  return Code(cudaDeviceGetAttribute(&properties->memoryClockKHz, cudaDevAttrMemoryClockRate, device));
}

int SetDevice(int device) { return Code(cudaSetDevice(device)); }
int ResetDevice() { return Code(cudaDeviceReset()); }
int DeviceMalloc(void** devicePointer, size_t bytes) { return Code(cudaMalloc(devicePointer, bytes)); }
int DeviceFree(void* devicePointer) { return Code(cudaFree(devicePointer)); }

int CopyHostToDevice(void* device, const void* host, size_t bytes) {
  return Code(cudaMemcpy(device, host, bytes, cudaMemcpyHostToDevice));
}

int CopyDeviceToHost(void* host, const void* device, size_t bytes) {
  return Code(cudaMemcpy(host, device, bytes, cudaMemcpyDeviceToHost));
}

int SetDeviceBytes(void* device, int value, size_t bytes) { return Code(cudaMemset(device, value, bytes)); }
int SynchronizeDevice() { return Code(cudaDeviceSynchronize()); }
int LastLaunchError() { return Code(cudaGetLastError()); }
const char* DeviceErrorText(int code) { return cudaGetErrorString(static_cast<cudaError_t>(code)); }

int DeviceGlobalAddress(DEVICEGLOBAL global, void** address) {
  switch (global) {
    case DEVICEGLOBAL::kConstants:
      return Code(cudaGetSymbolAddress(address, device_globals::constants));
    case DEVICEGLOBAL::kTallyTables:
      return Code(cudaGetSymbolAddress(address, device_globals::tallyTables));
    case DEVICEGLOBAL::kElementArray:
      return Code(cudaGetSymbolAddress(address, device_globals::elementArray));
    case DEVICEGLOBAL::kStreams:
      return Code(cudaGetSymbolAddress(address, device_globals::streams));
    case DEVICEGLOBAL::kTaskGlobals:
      return Code(cudaGetSymbolAddress(address, device_globals::task));
  }
  return kDeviceInvalidValue;
}

// Host code of Trenqual_CUDA never runs a kernel body on the host.
SIMULATEDGLOBALS& SimulatedGlobals() {
  printf("\nCUDA error (a kernel body ran on the host).\n");
  std::exit(2);
}
