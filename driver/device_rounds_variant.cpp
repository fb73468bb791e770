// The definitions of device_rounds.h for one program: Trenqual_CUDA reaches
// its devices through gpu/device_rounds.h; Trenqual has none.
#include "driver/device_rounds.h"

#if TQ_GPU_BUILD
void StartDeviceSlice(int32_t device, bool endSimulation, int32_t blocks, int32_t blockSize) {
  LaunchDeviceSlice(device, endSimulation, blocks, blockSize);
}

void AwaitDeviceSlice(int32_t device) { WaitForDeviceSlice(device); }

DEVICESTATUSHOST ReadDeviceStatus(int32_t device, int32_t heapMode) { return ReadDeviceStatusRecord(device, heapMode); }

void WriteDeviceStatus(int32_t device, int32_t heapMode, const DEVICESTATUSHOST& status) {
  WriteDeviceStatusRecord(device, heapMode, status);
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
DEVICESTATUSHOST ReadDeviceStatus(int32_t, int32_t) { return DEVICESTATUSHOST{}; }
void WriteDeviceStatus(int32_t, int32_t, const DEVICESTATUSHOST&) {}
void SetDeviceLastParticle(int32_t, uint64_t) {}
void SetDeviceMargin(int32_t, int32_t) {}
void ClearDeviceKernelCallMaximum(int32_t, int32_t) {}
void BeginDeviceStatistics(int32_t, int32_t, int32_t, double) {}
void AddDeviceKernelCall(int32_t, double) {}
uint64_t RepackDeviceRingBuffer(int32_t, uint64_t, uint64_t, int64_t) { return 0; }

#endif
