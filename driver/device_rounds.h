// The devices in the run loop's cycles (Trenqual_CUDA): the driver's side of
// a launch, the wait, the read-back and rewrite of a device's status record,
// its history limit and ring margin, its thread statistics and the repair of
// its ring. Defined per program in device_rounds_variant.cpp; Trenqual has
// no real device and gets empty stubs.
#pragma once

#include <cstdint>

#include "gpu/device_rounds.h"

// Starts one time slice on device `device` (0-based device number):
// ThreadFunc2 with blocks x blockSize threads.
void StartDeviceSlice(int32_t device, bool endSimulation, int32_t blocks, int32_t blockSize);
// Waits for the device's slice.
void AwaitDeviceSlice(int32_t device);
// The device's status record (DEVICESTATUSHOST: the fields of both banking
// modes, the other mode's fields 0), and its rewrite.
DEVICESTATUSHOST ReadDeviceStatus(int32_t device, int32_t heapMode);
void WriteDeviceStatus(int32_t device, int32_t heapMode, const DEVICESTATUSHOST& status);
void SetDeviceLastParticle(int32_t device, uint64_t lastParticle);
void SetDeviceMargin(int32_t device, int32_t margin);
// Clears the largest bank of the last launch in the device's status record.
void ClearDeviceKernelCallMaximum(int32_t device, int32_t heapMode);
// The device's statistics over the run, with its thread count, block size
// and clock rate (Hz); then, after every launch, the thread records read
// back and the cycle's time added.
void BeginDeviceStatistics(int32_t device, int32_t nThreads, int32_t blockSize, double clockRateHz);
void AddDeviceKernelCall(int32_t device, double cycleSeconds);
// Compacts the ring stretch lastReadPos .. nextWritePos of the device (its
// bank of `capacity` slots); returns the particles kept.
uint64_t RepackDeviceRingBuffer(int32_t device, uint64_t lastReadPos, uint64_t nextWritePos, int64_t capacity);
