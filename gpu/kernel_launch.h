// Kernels and their launch. A kernel is written once, as a record of its
// arguments with a host/device member that runs one phase of one thread:
//
//   struct K {
//     ...arguments...
//     struct Shared {...};  // the block's shared memory (trivially constructible)
//     struct Local {...};   // one thread's data that lasts from phase to phase
//     TQ_CPU_GPU int32_t Phase(int32_t phase, const THREADINDEX& at, Shared& shared, Local& local) const;
//   };
//
// Phase returns the next phase, the same in every thread of a block, or
// kKernelEnd; a block barrier separates the phases. Compiled by nvcc (a .cu
// source of tq_gpu) LaunchKernel is a <<<>>> launch of a kernel that runs
// the phases with __syncthreads() between them, followed by cudaGetLastError.
// Compiled by the host compiler (the same source in tq_gpu_hostdevice) it is
// the host-simulated device's launch: each block in turn, and in each phase
// every thread of the block in turn, so that every thread has finished a
// phase before any thread starts the next one, as a barrier ensures.
#pragma once

#include <cstdint>
#include <vector>

#include "core/hostdevice.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"

#if defined(__CUDACC__)
#include <cuda_runtime.h>
#endif

// Where a thread runs in its launch.
struct THREADINDEX {
  int32_t block;      // block of the grid
  int32_t thread;     // thread of the block
  int32_t blockSize;  // threads per block
  int32_t blocks;     // blocks of the grid

  TQ_CPU_GPU int32_t Global() const { return block * blockSize + thread; }
};

constexpr int32_t kKernelEnd = -1;             // Phase's result after the last phase
constexpr int32_t kMaxThreadsPerBlock = 1024;  // the devices' limit

#if defined(__CUDACC__)

template <typename K>
__global__ void PhasedKernel(const K kernel) {
  __shared__ typename K::Shared shared;
  typename K::Local local{};
  const THREADINDEX at{static_cast<int32_t>(blockIdx.x), static_cast<int32_t>(threadIdx.x),
                       static_cast<int32_t>(blockDim.x), static_cast<int32_t>(gridDim.x)};
  for (int32_t phase = 0; phase != kKernelEnd;) {
    const int32_t next = kernel.Phase(phase, at, shared, local);
    __syncthreads();
    phase = next;
  }
}

// Launches the kernel on the current device; the runtime's result of the launch.
template <typename K>
int LaunchKernel(const K& kernel, int32_t blocks, int32_t blockSize) {
  PhasedKernel<K><<<blocks, blockSize>>>(kernel);
  return static_cast<int>(cudaGetLastError());
}

#else

// The host-simulated device's checks before a launch (a current device) and
// its record after it: the result becomes the device's last launch error.
int BeginSimulatedLaunch();
void RecordSimulatedLaunch(int result);

template <typename K>
int LaunchKernel(const K& kernel, int32_t blocks, int32_t blockSize) {
  int result = BeginSimulatedLaunch();
  if (result != kDeviceSuccess) return result;
  if (blocks <= 0 || blockSize <= 0 || blockSize > kMaxThreadsPerBlock) result = kDeviceInvalidConfiguration;
  std::vector<typename K::Local> locals(static_cast<size_t>(blockSize > 0 ? blockSize : 0));
  for (int32_t b = 0; result == kDeviceSuccess && b < blocks; ++b) {
    typename K::Shared shared{};
    for (typename K::Local& local : locals) local = typename K::Local{};
    for (int32_t phase = 0; result == kDeviceSuccess && phase != kKernelEnd;) {
      int32_t next = kKernelEnd;
      for (int32_t t = 0; t < blockSize; ++t) {
        const int32_t thisNext = kernel.Phase(phase, THREADINDEX{b, t, blockSize, blocks}, shared, locals[t]);
        // The threads of a block must meet at the same barrier.
        if (t > 0 && thisNext != next) result = kDeviceLaunchFailure;
        next = thisNext;
      }
      phase = next;
    }
  }
  RecordSimulatedLaunch(result);
  return result;
}

#endif

// Launches the kernel, waits for the device and checks both: a failure prints
// "\nCUDA error (%s).\n" and ends the program with exit code 2.
template <typename K>
void LaunchAndSynchronize(const K& kernel, int32_t blocks, int32_t blockSize) {
  CheckCudaError(LaunchKernel(kernel, blocks, blockSize));
  CheckCudaError(SynchronizeDevice());
  CheckCudaError(LastLaunchError());
}
