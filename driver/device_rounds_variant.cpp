// The definitions of device_rounds.h for one program: Trenqual_CUDA reaches
// its devices through gpu/device_rounds.h; Trenqual has none.
#include "driver/device_rounds.h"

#if TQ_GPU_BUILD
#include "gpu/device_rounds.h"

namespace {

DEVICESTATUSCOPY ToDriver(const DEVICESTATUSHOST& h) {
  DEVICESTATUSCOPY c;
  c.nActStreams = h.nActStreams;
  c.nFinishedHistories = h.nFinishedHistories;
  c.nParticles = h.nParticles;
  c.nStartedHistories = h.nStartedHistories;
  c.nFinishedSourceTracks = h.nFinishedSourceTracks;
  c.nRemovedOrReplacedParticles = h.nRemovedOrReplacedParticles;
  c.maxBanked_device = h.maxBanked_device;
  c.maxBanked_kernelCall = h.maxBanked_kernelCall;
  c.nThrRead = h.nThrRead;
  c.nThrWrite = h.nThrWrite;
  c.nThrNeutral = h.nThrNeutral;
  c.error = h.error;
  c.nextReadPos = h.nextReadPos;
  c.nextWritePos = h.nextWritePos;
  c.kernelStage = h.kernelStage;
  c.nReadFailure = h.nReadFailure;
  c.nWriteFailure = h.nWriteFailure;
  return c;
}

DEVICESTATUSHOST ToDevice(const DEVICESTATUSCOPY& c) {
  DEVICESTATUSHOST h;
  h.nActStreams = c.nActStreams;
  h.nFinishedHistories = c.nFinishedHistories;
  h.nParticles = c.nParticles;
  h.nStartedHistories = c.nStartedHistories;
  h.nFinishedSourceTracks = c.nFinishedSourceTracks;
  h.nRemovedOrReplacedParticles = c.nRemovedOrReplacedParticles;
  h.maxBanked_device = c.maxBanked_device;
  h.maxBanked_kernelCall = c.maxBanked_kernelCall;
  h.nThrRead = c.nThrRead;
  h.nThrWrite = c.nThrWrite;
  h.nThrNeutral = c.nThrNeutral;
  h.error = c.error;
  h.nextReadPos = c.nextReadPos;
  h.nextWritePos = c.nextWritePos;
  h.kernelStage = c.kernelStage;
  h.nReadFailure = c.nReadFailure;
  h.nWriteFailure = c.nWriteFailure;
  return h;
}

}  // namespace

void StartDeviceSlice(int32_t device, bool endSimulation, int32_t blocks, int32_t blockSize) {
  LaunchDeviceSlice(device, endSimulation, blocks, blockSize);
}

void AwaitDeviceSlice(int32_t device) { WaitForDeviceSlice(device); }

DEVICESTATUSCOPY ReadDeviceStatus(int32_t device, int32_t heapMode) {
  return ToDriver(ReadDeviceStatusRecord(device, heapMode));
}

void WriteDeviceStatus(int32_t device, int32_t heapMode, const DEVICESTATUSCOPY& status) {
  WriteDeviceStatusRecord(device, heapMode, ToDevice(status));
}

void SetDeviceLastParticle(int32_t device, uint64_t lastParticle) { WriteDeviceLastParticle(device, lastParticle); }

void SetDeviceMargin(int32_t device, int32_t margin) { WriteDeviceMargin(device, margin); }

void ClearDeviceKernelCallMaximum(int32_t device, int32_t heapMode) { ClearKernelCallMaximum(device, heapMode); }

void BeginDeviceStatistics(int32_t device, int32_t nThreads, int32_t blockSize, double clockRateHz) {
  BeginDeviceThreadStats(device, nThreads, blockSize, clockRateHz);
}

void AddDeviceKernelCall(int32_t device, double cycleSeconds) { AddDeviceLaunch(device, cycleSeconds); }

uint64_t RepackDeviceRingBuffer(int32_t device, uint64_t lastReadPos, uint64_t nextWritePos, int64_t capacity) {
  return RepackDeviceRing(device, lastReadPos, nextWritePos, capacity);
}

#else

void StartDeviceSlice(int32_t, bool, int32_t, int32_t) {}
void AwaitDeviceSlice(int32_t) {}
DEVICESTATUSCOPY ReadDeviceStatus(int32_t, int32_t) { return DEVICESTATUSCOPY{}; }
void WriteDeviceStatus(int32_t, int32_t, const DEVICESTATUSCOPY&) {}
void SetDeviceLastParticle(int32_t, uint64_t) {}
void SetDeviceMargin(int32_t, int32_t) {}
void ClearDeviceKernelCallMaximum(int32_t, int32_t) {}
void BeginDeviceStatistics(int32_t, int32_t, int32_t, double) {}
void AddDeviceKernelCall(int32_t, double) {}
uint64_t RepackDeviceRingBuffer(int32_t, uint64_t, uint64_t, int64_t) { return 0; }

#endif
