// The device facilities the scheduler and the device stages share: the
// device's cycle counter, atomic operations on global and shared memory and
// the device-wide memory fence, written once for both sides. On a CUDA device
// they are the hardware's; on the host-simulated device the threads of a
// launch run one after another on one host thread, so plain reads and writes
// give the same results, and the clock is a monotonic nanosecond count.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"

#if !defined(__CUDA_ARCH__)
#include <chrono>
#endif

// The device clock in cycles (64-bit counter).
TQ_CPU_GPU inline unsigned long long DeviceClock() {
#if defined(__CUDA_ARCH__)
  return static_cast<unsigned long long>(clock64());
#else
  return static_cast<unsigned long long>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
#endif
}

// Each returns the value the word held before the operation.
TQ_CPU_GPU inline unsigned long long AtomicAdd(unsigned long long* word, unsigned long long value) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(word, value);
#else
  const unsigned long long old = *word;
  *word = old + value;
  return old;
#endif
}

TQ_CPU_GPU inline uint32_t AtomicAdd(uint32_t* word, uint32_t value) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(reinterpret_cast<unsigned int*>(word), static_cast<unsigned int>(value));
#else
  const uint32_t old = *word;
  *word = old + value;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicAdd(int32_t* word, int32_t value) {
#if defined(__CUDA_ARCH__)
  return atomicAdd(reinterpret_cast<int*>(word), static_cast<int>(value));
#else
  const int32_t old = *word;
  *word = static_cast<int32_t>(static_cast<uint32_t>(old) + static_cast<uint32_t>(value));
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicExchange(int32_t* word, int32_t value) {
#if defined(__CUDA_ARCH__)
  return atomicExch(reinterpret_cast<int*>(word), static_cast<int>(value));
#else
  const int32_t old = *word;
  *word = value;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicCompareExchange(int32_t* word, int32_t expected, int32_t value) {
#if defined(__CUDA_ARCH__)
  return atomicCAS(reinterpret_cast<int*>(word), static_cast<int>(expected), static_cast<int>(value));
#else
  const int32_t old = *word;
  if (old == expected) *word = value;
  return old;
#endif
}

TQ_CPU_GPU inline int32_t AtomicMax(int32_t* word, int32_t value) {
#if defined(__CUDA_ARCH__)
  return atomicMax(reinterpret_cast<int*>(word), static_cast<int>(value));
#else
  const int32_t old = *word;
  if (value > old) *word = value;
  return old;
#endif
}

// Makes the calling thread's earlier writes visible to the whole device
// before its later ones.
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
