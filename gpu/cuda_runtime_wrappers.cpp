#include "gpu/cuda_runtime_wrappers.h"

#include <cstdio>
#include <cstdlib>

#include "gpu/device_runtime.h"

int currentDevice = 0;
uint64_t deviceAllocated[kMaxDevices] = {};
uint64_t deviceMemoryLimit[kMaxDevices] = {};

int CudaMallocChecked(void** devicePointer, size_t bytes) {
  const int result = DeviceMalloc(devicePointer, bytes);
  if (result != kDeviceSuccess) return result;
  deviceAllocated[currentDevice] += bytes;
  return deviceAllocated[currentDevice] > deviceMemoryLimit[currentDevice] ? kDeviceMemoryAllocation : kDeviceSuccess;
}

void CheckCudaError(int code) {
  if (code == kDeviceSuccess) return;
  printf("\nCUDA error (%s).\n", DeviceErrorText(code));
  fflush(stdout);
  std::exit(2);
}

void SelectDevice(int d) {
  CheckCudaError(SetDevice(d));
  currentDevice = d;
}

void* DeviceAllocate(size_t bytes) {
  if (bytes == 0) return nullptr;
  void* device = nullptr;
  CheckCudaError(CudaMallocChecked(&device, bytes));
  return device;
}

void* DeviceAllocateZeroed(size_t bytes) {
  void* device = DeviceAllocate(bytes);
  if (device != nullptr) CheckCudaError(SetDeviceBytes(device, 0, bytes));
  return device;
}

void DeviceUpload(void* device, const void* host, size_t bytes) {
  if (bytes != 0) CheckCudaError(CopyHostToDevice(device, host, bytes));
}

void DeviceDownload(void* host, const void* device, size_t bytes) {
  if (bytes != 0) CheckCudaError(CopyDeviceToHost(host, device, bytes));
}

void DeviceRelease(void* device) {
  if (device != nullptr) CheckCudaError(DeviceFree(device));
}
