// The few things a host/device step does only on a CPU worker: the track
// recording (its chunked storage lives on the host) and the relaxed stores of
// the counts that the run monitor reads from another thread. On a device they
// are plain stores or nothing. Only a record with track storage is a CPU
// worker's CTask: a device task run on the host (simulated device) has none.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"
#include "core/relaxed_access.h"
#include "core/task.h"
#include "transport/tracks.h"

// A count that the run monitor reads while the worker writes it.
TQ_CPU_GPU inline void StoreSharedCount(int32_t& field, int32_t value) {
#if defined(__CUDA_ARCH__)
  field = value;
#else
  StoreRelaxed(field, value);
#endif
}

// A secondary just pushed onto the bank (TrackSecondary).
TQ_CPU_GPU inline void HookTrackSecondary(TASKSTATE& t, uint8_t origin, double energy) {
#if defined(__CUDA_ARCH__)
  (void)t, (void)origin, (void)energy;
#else
  if (t.trackData != nullptr) TrackSecondary(static_cast<CTask&>(t), origin, energy);
#endif
}

// A secondary that continues in place of the current particle (TrackReplacement).
TQ_CPU_GPU inline void HookTrackReplacement(TASKSTATE& t, uint8_t origin, double energy) {
#if defined(__CUDA_ARCH__)
  (void)t, (void)origin, (void)energy;
#else
  if (t.trackData != nullptr) TrackReplacement(static_cast<CTask&>(t), origin, energy);
#endif
}

// True while the current history's track is being recorded (TrackRecording).
TQ_CPU_GPU inline bool HookTrackRecording(const TASKSTATE& t) {
#if defined(__CUDA_ARCH__)
  (void)t;
  return false;
#else
  return t.trackData != nullptr && TrackRecording(static_cast<const CTask&>(t));
#endif
}
