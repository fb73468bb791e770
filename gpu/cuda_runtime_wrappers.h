// The two routines between the GPU build and the CUDA runtime: a device
// allocation that keeps each device within its memory budget, and the check
// that turns any failed runtime call into an orderly stop with exit code 2.
// Both work through device_runtime.h, so they serve the CUDA runtime and the
// host-simulated device alike.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxDevices = 32;

extern int currentDevice;                         // device of the last successful SelectDevice
extern uint64_t deviceAllocated[kMaxDevices];     // bytes allocated per device during the run
extern uint64_t deviceMemoryLimit[kMaxDevices];   // totalGlobalMem of each device, bytes

// DeviceMalloc that also adds the size to the current device's total; returns
// the runtime's code, or 2 (cudaErrorMemoryAllocation) when the total now
// exceeds the device's memory. Totals and limits are 64-bit.
int CudaMallocChecked(void** devicePointer, size_t bytes);

// Code 0 returns at once; any other prints "\nCUDA error (%s).\n" with the
// runtime's text and ends the program with exit code 2.
void CheckCudaError(int code);

// Selects device d for the calling thread (checked); it becomes the current
// device of the memory accounting.
void SelectDevice(int d);

// Checked forms for the host steps: a failure ends the program through
// CheckCudaError. A request of 0 bytes allocates nothing and gives null.
void* DeviceAllocate(size_t bytes);
void* DeviceAllocateZeroed(size_t bytes);
void DeviceUpload(void* device, const void* host, size_t bytes);
void DeviceDownload(void* host, const void* device, size_t bytes);
void DeviceRelease(void* device);

// A checked copy of one record from the current device.
template <typename T>
T DownloadRecord(const void* device) {
  T record{};
  DeviceDownload(&record, device, sizeof record);
  return record;
}

// A copy of n values on the current device (null for none).
template <typename T>
T* DeviceCopyOf(const T* host, int64_t n) {
  if (host == nullptr || n <= 0) return nullptr;
  const size_t bytes = static_cast<size_t>(n) * sizeof(T);
  T* device = static_cast<T*>(DeviceAllocate(bytes));
  DeviceUpload(device, host, bytes);
  return device;
}
