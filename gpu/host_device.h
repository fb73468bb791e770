// The host-simulated device (library tq_gpu_hostdevice): CUDA devices
// simulated in host memory, so that the GPU build's host steps and its
// kernels run where there is no GPU. Device memory is host memory with the
// runtime's checks (a copy must lie inside one allocation of the current
// device; fresh memory holds a fill pattern, not zeros, except in the large
// paged blocks), each simulated device keeps its own device globals, and a
// launch runs the kernel body on the calling thread (kernel_launch.h).
//
// The number of devices is read from the environment variable
// TQ_SIMULATED_DEVICES (default 0, as on a machine without a GPU) when the
// program first asks; tests set it with SimulateDevices.
//
// A simulated device's clock counts its readings (gpu/device_atomics.h):
// every reading advances it by a step, by default 256, so that a time slice
// ends after the same steps in every run, whatever the host's load, and a run
// repeats itself byte for byte with the same seed. TQ_SIMULATED_CLOCK_STEP = n
// sets the step (0: the host's nanoseconds, so that a slice follows the
// host's speed of the moment). The run's time slice of a launch is time_CUDA
// x the reported clock rate in clock cycles, so a device that reports a lower
// rate runs a shorter slice per launch: it is slower than the others in the
// run's cycles. TQ_SIMULATED_CLOCKS_KHZ sets the reported rates (kHz, one per
// device, separated by commas; an empty or non-positive entry keeps the
// default of 1500000), and SimulateDeviceClock does it in a test.
#pragma once

#include <cstddef>
#include <cstdint>

// Global memory of a simulated device unless SimulateDevices says otherwise:
// above 4 GiB, as on today's devices, so that budgets and totals must be
// 64-bit.
constexpr uint64_t kSimulatedDeviceMemory = 6ull << 30;

// Byte that fills fresh simulated device memory.
constexpr uint8_t kSimulatedFreshByte = 0xA5;

// Allocations of at least this size are paged blocks: host pages that take
// memory only once written, zero when fresh (not filled), and given back when
// the block is set to zero. The banked-particle pool, sized as a fraction of
// the device's memory (avgBanked_CUDA -0.2: 1.2 GiB of a simulated device),
// thus costs the host only the slots that particles use.
constexpr size_t kSimulatedPagedBlock = size_t{16} << 20;

// Replaces the simulated devices by `count` fresh ones with the given global
// memory each; everything allocated before is freed, the run's accounting of
// device memory (deviceAllocated, deviceMemoryLimit) starts afresh.
void SimulateDevices(int count, uint64_t globalMemory = kSimulatedDeviceMemory);

// Simulated device d reports the clock rate clockKHz (kHz) from now on.
void SimulateDeviceClock(int d, int clockKHz);

// Bytes allocated and not freed on simulated device d.
uint64_t SimulatedBytesInUse(int d);
