// STREAMCONTROL: the bookkeeping record of one random-number stream, and the
// run's table of streams with their generators and the shares of histories
// that bound them. The driver fills these before the workers start; each
// worker then writes only the records of its own streams.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/randgen.h"

// One cache line per record: a worker writes its stream's nextParticle after
// every history, and records of different workers stand side by side.
struct alignas(64) STREAMCONTROL {
  int32_t task;           // record or device task that owns the stream; -1 once finished
  int32_t device;         // -1 for a CPU stream, else the device slot
  uint64_t nextParticle;  // number of the stream's next source history
};

static_assert(offsetof(STREAMCONTROL, task) == 0);
static_assert(offsetof(STREAMCONTROL, device) == 4);
static_assert(offsetof(STREAMCONTROL, nextParticle) == 8);
static_assert(sizeof(STREAMCONTROL) == 64);

constexpr int32_t kStreamFinished = -1;    // STREAMCONTROL::task of a finished stream
constexpr int kMaxStreams = 65536;         // streams of one run
constexpr int kMaxDeviceSlots = 32;        // used CUDA devices

// The streams of the run. cpuParticleShare may be lowered by the driver while
// the workers run (GPU build), so it is read and written atomically.
struct RUNSTREAMS {
  STREAMCONTROL* streamControl = nullptr;  // nStreams_tot records
  CRandGen* randGens = nullptr;            // one generator per stream
  int32_t nStreams_tot = 0;
  std::atomic<uint64_t> cpuParticleShare{0};       // histories of the CPU streams (N without devices)
  uint64_t cpuStride = 0;                          // advance of a CPU stream per history
  uint64_t gpuParticleShare[kMaxDeviceSlots] = {}; // exclusive end of each device slot's numbers
  uint64_t gpuStride[kMaxDeviceSlots] = {};        // advance of a device stream per history
};

namespace core {
extern RUNSTREAMS runStreams;
}  // namespace core

// The stream tables as a device reads them: the same records in device global
// memory.
struct DEVICESTREAMS {
  STREAMCONTROL* streamControl;  // nStreams_tot records
  CRandGen* randGens;            // one generator per stream
  int32_t nStreams_tot;
};

static_assert(offsetof(DEVICESTREAMS, streamControl) == 0);
static_assert(offsetof(DEVICESTREAMS, randGens) == 8);
static_assert(offsetof(DEVICESTREAMS, nStreams_tot) == 16);
static_assert(sizeof(DEVICESTREAMS) == 24);

#if defined(__CUDACC__)
// The device's stream tables (gpu/device_tables.cu), stored by InitTaskData.
namespace device_globals {
extern __device__ DEVICESTREAMS streams;
}
#endif

// Stream s's record and generator on the side the caller runs on.
TQ_CPU_GPU inline STREAMCONTROL& StreamControlOf(int32_t s) {
#if defined(__CUDA_ARCH__)
  return device_globals::streams.streamControl[s];
#else
  return core::runStreams.streamControl[s];
#endif
}
TQ_CPU_GPU inline CRandGen& RandGenOf(int32_t s) {
#if defined(__CUDA_ARCH__)
  return device_globals::streams.randGens[s];
#else
  return core::runStreams.randGens[s];
#endif
}

inline uint64_t CpuParticleShare() { return core::runStreams.cpuParticleShare.load(std::memory_order_acquire); }

// Exclusive end of the source-particle numbers of the stream's owner.
inline uint64_t StreamLimit(const STREAMCONTROL& s) {
  return s.device < 0 ? CpuParticleShare() : core::runStreams.gpuParticleShare[s.device];
}

// Advance of the stream's next source-particle number after each history.
inline uint64_t StreamStride(const STREAMCONTROL& s) {
  return s.device < 0 ? core::runStreams.cpuStride : core::runStreams.gpuStride[s.device];
}

// Seeds of stream s with the run's seed: ij = s mod 31329, kl = s div 31329 +
// seed, brought back below 30082.
inline void SeedStream(CRandGen& rng, int32_t s, int32_t seed) {
  int32_t kl = s / 31329 + seed;
  if (kl > CRandGen::kMaxKL) kl -= 30082;
  rng.ij = s % 31329;
  rng.kl = kl;
  rng.initialised = 0;
}
