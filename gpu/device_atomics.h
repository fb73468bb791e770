// The device facilities of the scheduler and the stages, written once for
// both devices: the device's cycle counter, atomic operations on global and
// shared memory and the device-wide memory fence. A CUDA device uses its
// own; the host-simulated device runs the threads of a launch one after
// another on one host thread, so plain operations do.
//
// The simulated device's clock is a count of its own reads, kSimulatedCyclesPerRead
// a read (about the host time between two reads of a running launch, in
// nanoseconds): a launch's time slice then ends after the same work in every
// run, whatever the host's load, so that a run on simulated devices repeats
// exactly with the same seed.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"

#if !defined(__CUDA_ARCH__)
#include <atomic>

constexpr unsigned long long kSimulatedCyclesPerRead = 256;
inline std::atomic<unsigned long long> simulatedDeviceClock{0};
#endif

// The device clock in cycles (64-bit counter).
TQ_CPU_GPU inline unsigned long long DeviceClock() {
#if defined(__CUDA_ARCH__)
  return static_cast<unsigned long long>(clock64());
#else
  return simulatedDeviceClock.fetch_add(kSimulatedCyclesPerRead, std::memory_order_relaxed) + kSimulatedCyclesPerRead;
#endif
}

// Each returns the value the word held before the operation.
TQ_CPU_GPU inline unsigned long long AtomicAdd64(unsigned long long* a, unsigned long long v) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(a, v);
#else
  const unsigned long long old = *a;
  *a = old + v;
  return old;
#endif
}

TQ_CPU_GPU inline uint32_t AtomicAdd(uint32_t* a, uint32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(reinterpret_cast<unsigned int*>(a), static_cast<unsigned int>(v));
#else
  const uint32_t old = *a;
  *a = old + v;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicAdd(int32_t* a, int32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(reinterpret_cast<int*>(a), static_cast<int>(v));
#else
  const int32_t old = *a;
  *a = static_cast<int32_t>(static_cast<uint32_t>(old) + static_cast<uint32_t>(v));
  return old;
#endif
}

TQ_CPU_GPU inline uint32_t AtomicSub32(uint32_t* a, uint32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicSub(reinterpret_cast<unsigned int*>(a), static_cast<unsigned int>(v));
#else
  const uint32_t old = *a;
  *a = old - v;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicExchange(int32_t* a, int32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicExch(reinterpret_cast<int*>(a), static_cast<int>(v));
#else
  const int32_t old = *a;
  *a = v;
  return old;
#endif
}

// Stores v when *a holds `compare`; returns the old value either way.
TQ_CPU_GPU inline int32_t AtomicCompareSwap(int32_t* a, int32_t compare, int32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicCAS(reinterpret_cast<int*>(a), static_cast<int>(compare), static_cast<int>(v));
#else
  const int32_t old = *a;
  if (old == compare) *a = v;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicMax(int32_t* a, int32_t v) {
#if defined(__CUDA_ARCH__)
  return atomicMax(reinterpret_cast<int*>(a), static_cast<int>(v));
#else
  const int32_t old = *a;
  if (v > old) *a = v;
  return old;
#endif
}

// A value that other threads of the device write.
TQ_CPU_GPU inline unsigned long long VolatileLoad(const unsigned long long* a) {
  return *static_cast<const volatile unsigned long long*>(a);
}
TQ_CPU_GPU inline int32_t VolatileLoad(const int32_t* a) { return *static_cast<const volatile int32_t*>(a); }

// Makes this thread's earlier writes visible to the whole device before its
// later ones.
TQ_CPU_GPU inline void DeviceMemoryFence() {
#if defined(__CUDA_ARCH__)
  __threadfence();
#endif
}

// a + b, or the largest value when the sum does not fit: the end of a time
// slice of "every cycle there is" lies beyond every clock reading.
TQ_CPU_GPU inline unsigned long long SaturatingAdd(unsigned long long a, unsigned long long b) {
  return a > ~0ull - b ? ~0ull : a + b;
}
