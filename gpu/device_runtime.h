// The CUDA runtime as the GPU build's host steps use it: one set of functions
// with two implementations, chosen when a program is linked. Trenqual_CUDA
// links the CUDA runtime itself (device_runtime_cuda.cu, library tq_gpu); the
// tests link the host-simulated device (device_runtime_host.cpp, library
// tq_gpu_hostdevice), in which device memory is host memory and a kernel
// launch calls the kernel body on the host (kernel_launch.h).
//
// Every function returns a result code with the CUDA runtime's numbers: 0 on
// success. The checked forms that end the program on a failure are in
// cuda_runtime_wrappers.h.
#pragma once

#include <cstddef>
#include <cstdint>

// Result codes the program names (the runtime's cudaError_t values).
constexpr int kDeviceSuccess = 0;
constexpr int kDeviceInvalidValue = 1;          // cudaErrorInvalidValue
constexpr int kDeviceMemoryAllocation = 2;      // cudaErrorMemoryAllocation
constexpr int kDeviceInvalidConfiguration = 9;  // cudaErrorInvalidConfiguration
constexpr int kDeviceNoDevice = 100;            // cudaErrorNoDevice
constexpr int kDeviceInvalidDevice = 101;       // cudaErrorInvalidDevice
constexpr int kDeviceLaunchFailure = 719;       // cudaErrorLaunchFailure

// What the set-up reports and uses of one device.
struct DEVICEPROPERTIES {
  int major = 0;  // compute capability
  int minor = 0;
  int clockKHz = 0;                   // clock rate, kHz
  int memoryClockKHz = 0;             // memory clock rate, kHz
  uint64_t globalMemory = 0;          // bytes
  uint64_t sharedMemoryPerBlock = 0;  // bytes
};

// The program's device globals (device_globals.h), by name.
enum class DEVICEGLOBAL { kConstants, kTallyTables, kElementArray, kStreams, kTaskGlobals };

int DeviceCount(int* count);
int DeviceProperties(int device, DEVICEPROPERTIES* properties);
// Selects the device of the calling thread's later calls.
int SetDevice(int device);
// Frees everything allocated on the current device and clears its globals.
int ResetDevice();
int DeviceMalloc(void** devicePointer, size_t bytes);
int DeviceFree(void* devicePointer);
int CopyHostToDevice(void* device, const void* host, size_t bytes);
int CopyDeviceToHost(void* host, const void* device, size_t bytes);
int SetDeviceBytes(void* device, int value, size_t bytes);
// Waits for the current device's launches to end.
int SynchronizeDevice();
// The error of the last launch on the current device, cleared by the call.
int LastLaunchError();
// The runtime's text for a result code.
const char* DeviceErrorText(int code);
// The device address of one of the program's device globals on the current device.
int DeviceGlobalAddress(DEVICEGLOBAL global, void** address);
