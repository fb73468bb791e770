// The atomic operations of the device code, written once for both devices: a
// CUDA device uses its atomics; the host-simulated device runs the threads
// of a launch one after another on one host thread, so plain operations do.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"

TQ_CPU_GPU inline unsigned long long AtomicAdd64(unsigned long long* a, unsigned long long v) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(a, v);
#else
  const unsigned long long old = *a;
  *a = old + v;
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
