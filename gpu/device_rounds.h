// The host's part of the device cycles of the run: one time slice launched on
// a device and the wait for it, the status record read back and written, the
// history limit and the ring margin rewritten between launches, the thread
// records read back into the device's statistics, and the repair of a ring
// buffer whose reads or writes failed. Every device call is checked: a
// failure prints "\nCUDA error (%s).\n" and ends the program with exit code 2.
#pragma once

#include <cstdint>
#include <vector>

#include "gpu/device_records.h"

// The status record of either banking mode as the host keeps it.
struct DEVICESTATUSHOST {
  uint32_t nActStreams = 0;  // banking modes 0 and 1
  unsigned long long nFinishedHistories = 0;
  unsigned long long nParticles = 0;
  unsigned long long nStartedHistories = 0;
  unsigned long long nFinishedSourceTracks = 0;
  unsigned long long nRemovedOrReplacedParticles = 0;
  int32_t maxBanked_device = 0;
  int32_t maxBanked_kernelCall = 0;
  int32_t nThrRead = 0;
  int32_t nThrWrite = 0;
  int32_t nThrNeutral = 0;
  int32_t error = 0;
  unsigned long long nextReadPos = 0;  // banking mode 2
  unsigned long long nextWritePos = 0;
  unsigned long long kernelStage = 0;
  unsigned long long nReadFailure = 0;
  unsigned long long nWriteFailure = 0;
};

// The record of a banking mode in the host's form, and back.
DEVICESTATUSHOST StatusFromDevice(const DEVICESTATUS& s);
DEVICESTATUSHOST StatusFromDevice(const DEVICESTATUSRING& s);
DEVICESTATUS StatusForDevice(const DEVICESTATUSHOST& s);
DEVICESTATUSRING StatusForRingDevice(const DEVICESTATUSHOST& s);

// Device d (set up by InitialiseDeviceTasks, device_host::deviceRun[d]):
// starts one time slice of ThreadFunc2 with blocks x blockSize threads.
void LaunchDeviceSlice(int32_t d, bool endSimulation, int32_t blocks, int32_t blockSize);
// Waits for the slice to end and checks the launch.
void WaitForDeviceSlice(int32_t d);
// The status record at `status` on the current device, in the banking mode's
// layout, in the host's form.
DEVICESTATUSHOST DownloadStatusRecord(const void* status, int32_t heapMode);
// The status record of device d, and its rewrite.
DEVICESTATUSHOST ReadDeviceStatusRecord(int32_t d, int32_t heapMode);
void WriteDeviceStatusRecord(int32_t d, int32_t heapMode, const DEVICESTATUSHOST& status);
// The device's history limit and (banking mode 2) its ring read margin.
void WriteDeviceLastParticle(int32_t d, unsigned long long lastParticle);
unsigned long long ReadDeviceLastParticle(int32_t d);
void WriteDeviceMargin(int32_t d, int32_t margin);
// Clears the status record's largest bank of the last launch before the next
// one: of device d, or of the record at `status` on the current device.
void ClearKernelCallMaximum(int32_t d, int32_t heapMode);
void ClearKernelCallMaximumAt(void* status, int32_t heapMode);

// The device's statistics over the run (device_host::deviceRun[d].stats): a
// host array of its nThreads thread records, refreshed after every launch.
void BeginDeviceThreadStats(int32_t d, int32_t nThreads, int32_t blockSize, double clockRateHz);
// Reads the thread records of the last launch back and adds the launch.
void AddDeviceLaunch(int32_t d, double cycleSeconds);

// The banked particles of one ring stretch on the host: every array the
// device's bank has, entries in ring order.
struct RINGSTRETCH {
  std::vector<double> en;
  std::vector<uint8_t> p;
  std::vector<uint8_t> org;
  std::vector<double> wt;
  std::vector<int16_t> iForced;
  std::vector<PARTICLECOORD> pc;
  std::vector<int32_t> voxelIndex;
  std::vector<int16_t> cellIndex;
  std::vector<double> maxRadius;
  std::vector<VECTOR> centerFree;
  std::vector<int32_t> taskBanked;
};

// Moves the entries whose owner is not 0 to the front, in order, and zeroes
// the owners of the rest; returns the number kept.
uint64_t CompactRingStretch(RINGSTRETCH& s);

// Repairs device d's ring after failed reads or writes: the stretch from
// lastReadPos to nextWritePos (at most the capacity) is read back, compacted
// and written back at the same ring position. The caller sets the positions
// and the failure counts of the status record. Returns the particles kept.
uint64_t RepackDeviceRing(int32_t d, unsigned long long lastReadPos, unsigned long long nextWritePos, int64_t capacity);
