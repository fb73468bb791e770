#include "gpu/device_rounds.h"

#include <algorithm>
#include <cstddef>

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_run_state.h"
#include "gpu/device_runtime.h"
#include "gpu/scheduler.h"

namespace {

// The host arrays of the thread records that each device's statistics read.
std::vector<CThread2> threadRecords[kMaxDevices];

// The fields that the status records of both banking modes and the host's
// form have, copied from one to the other.
template <typename FROM, typename TO>
void CopyCommonFields(const FROM& from, TO& to) {
  to.nFinishedHistories = from.nFinishedHistories;
  to.nParticles = from.nParticles;
  to.nStartedHistories = from.nStartedHistories;
  to.nFinishedSourceTracks = from.nFinishedSourceTracks;
  to.nRemovedOrReplacedParticles = from.nRemovedOrReplacedParticles;
  to.maxBanked_device = from.maxBanked_device;
  to.maxBanked_kernelCall = from.maxBanked_kernelCall;
  to.nThrRead = from.nThrRead;
  to.nThrWrite = from.nThrWrite;
  to.nThrNeutral = from.nThrNeutral;
  to.error = from.error;
}

// The ring's fields (banking mode 2), copied between the ring's status record
// and the host's form.
template <typename FROM, typename TO>
void CopyRingFields(const FROM& from, TO& to) {
  to.nextReadPos = from.nextReadPos;
  to.nextWritePos = from.nextWritePos;
  to.kernelStage = from.kernelStage;
  to.nReadFailure = from.nReadFailure;
  to.nWriteFailure = from.nWriteFailure;
}

const DEVICETASKDATA& TaskData(int32_t d) { return device_host::deviceRun[d].taskData; }

// Entries [start, start + n) of a ring of `capacity` slots, wrapping to the
// start of the array; an absent array stays empty.
template <typename T>
void ReadStretch(const T* device, std::vector<T>& host, int64_t start, int64_t n, int64_t capacity) {
  host.clear();
  if (device == nullptr || n <= 0) return;
  host.resize(static_cast<size_t>(n));
  const int64_t first = std::min(n, capacity - start);
  DeviceDownload(host.data(), device + start, static_cast<size_t>(first) * sizeof(T));
  if (n > first) DeviceDownload(host.data() + first, device, static_cast<size_t>(n - first) * sizeof(T));
}

template <typename T>
void WriteStretch(T* device, const std::vector<T>& host, int64_t start, int64_t capacity) {
  const int64_t n = static_cast<int64_t>(host.size());
  if (device == nullptr || n <= 0) return;
  const int64_t first = std::min(n, capacity - start);
  DeviceUpload(device + start, host.data(), static_cast<size_t>(first) * sizeof(T));
  if (n > first) DeviceUpload(device, host.data() + first, static_cast<size_t>(n - first) * sizeof(T));
}

// Every array of a stretch, with the same action.
template <typename F>
void ForEachArray(RINGSTRETCH& s, F f) {
  f(s.en);
  f(s.p);
  f(s.org);
  f(s.wt);
  f(s.iForced);
  f(s.pc);
  f(s.voxelIndex);
  f(s.cellIndex);
  f(s.maxRadius);
  f(s.centerFree);
  f(s.taskBanked);
}

}  // namespace

DEVICESTATUSHOST StatusFromDevice(const DEVICESTATUS& s) {
  DEVICESTATUSHOST h;
  h.nActStreams = s.nActStreams;
  CopyCommonFields(s, h);
  return h;
}

DEVICESTATUSHOST StatusFromDevice(const DEVICESTATUSRING& s) {
  DEVICESTATUSHOST h;
  CopyCommonFields(s, h);
  CopyRingFields(s, h);
  return h;
}

DEVICESTATUS StatusForDevice(const DEVICESTATUSHOST& h) {
  DEVICESTATUS s{};
  s.nActStreams = h.nActStreams;
  CopyCommonFields(h, s);
  return s;
}

DEVICESTATUSRING StatusForRingDevice(const DEVICESTATUSHOST& h) {
  DEVICESTATUSRING s{};
  CopyCommonFields(h, s);
  CopyRingFields(h, s);
  return s;
}

void LaunchDeviceSlice(int32_t d, bool endSimulation, int32_t blocks, int32_t blockSize) {
  SelectDevice(d);
  CheckCudaError(ThreadFunc2(endSimulation, blocks, blockSize));
}

void WaitForDeviceSlice(int32_t d) {
  SelectDevice(d);
  CheckCudaError(SynchronizeDevice());
  CheckCudaError(LastLaunchError());
}

DEVICESTATUSHOST DownloadStatusRecord(const void* status, int32_t heapMode) {
  if (heapMode == kHeapRing) return StatusFromDevice(DownloadRecord<DEVICESTATUSRING>(status));
  return StatusFromDevice(DownloadRecord<DEVICESTATUS>(status));
}

DEVICESTATUSHOST ReadDeviceStatusRecord(int32_t d, int32_t heapMode) {
  SelectDevice(d);
  return DownloadStatusRecord(TaskData(d).status, heapMode);
}

void WriteDeviceStatusRecord(int32_t d, int32_t heapMode, const DEVICESTATUSHOST& status) {
  SelectDevice(d);
  if (heapMode == kHeapRing) {
    const DEVICESTATUSRING s = StatusForRingDevice(status);
    DeviceUpload(TaskData(d).status, &s, sizeof s);
    return;
  }
  const DEVICESTATUS s = StatusForDevice(status);
  DeviceUpload(TaskData(d).status, &s, sizeof s);
}

void WriteDeviceLastParticle(int32_t d, unsigned long long lastParticle) {
  SelectDevice(d);
  DeviceUpload(TaskData(d).lastParticle, &lastParticle, sizeof lastParticle);
}

unsigned long long ReadDeviceLastParticle(int32_t d) {
  SelectDevice(d);
  return DownloadRecord<unsigned long long>(TaskData(d).lastParticle);
}

void WriteDeviceMargin(int32_t d, int32_t margin) {
  if (TaskData(d).margin == nullptr) return;
  SelectDevice(d);
  DeviceUpload(TaskData(d).margin, &margin, sizeof margin);
}

void ClearKernelCallMaximumAt(void* status, int32_t heapMode) {
  const size_t offset = heapMode == kHeapRing ? offsetof(DEVICESTATUSRING, maxBanked_kernelCall)
                                              : offsetof(DEVICESTATUS, maxBanked_kernelCall);
  const int32_t zero = 0;
  DeviceUpload(static_cast<char*>(status) + offset, &zero, sizeof zero);
}

void ClearKernelCallMaximum(int32_t d, int32_t heapMode) {
  SelectDevice(d);
  ClearKernelCallMaximumAt(TaskData(d).status, heapMode);
}

void BeginDeviceThreadStats(int32_t d, int32_t nThreads, int32_t blockSize, double clockRateHz) {
  std::vector<CThread2>& records = threadRecords[d];
  records.assign(static_cast<size_t>(nThreads > 0 ? nThreads : 0), CThread2{});
  const int32_t nBlocks = blockSize > 0 ? nThreads / blockSize : 0;
  device_host::deviceRun[d].stats = CDeviceStats(nThreads, nBlocks, records.data(), clockRateHz);
}

void AddDeviceLaunch(int32_t d, double cycleSeconds) {
  std::vector<CThread2>& records = threadRecords[d];
  if (records.empty()) return;
  SelectDevice(d);
  DeviceDownload(records.data(), TaskData(d).threads, records.size() * sizeof(CThread2));
  device_host::deviceRun[d].stats.AddKernelCall(cycleSeconds);
}

uint64_t CompactRingStretch(RINGSTRETCH& s) {
  const size_t n = s.taskBanked.size();
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (s.taskBanked[i] == 0) continue;
    if (kept != i) {
      ForEachArray(s, [&](auto& array) {
        if (!array.empty()) array[kept] = array[i];
      });
    }
    ++kept;
  }
  for (size_t i = kept; i < n; ++i) s.taskBanked[i] = 0;
  return kept;
}

uint64_t RepackDeviceRing(int32_t d, unsigned long long lastReadPos, unsigned long long nextWritePos,
                          int64_t capacity) {
  if (capacity <= 0 || nextWritePos <= lastReadPos) return 0;
  const unsigned long long span = std::min(nextWritePos - lastReadPos, static_cast<unsigned long long>(capacity));
  const int64_t n = static_cast<int64_t>(span);
  const int64_t start = static_cast<int64_t>(lastReadPos % static_cast<unsigned long long>(capacity));
  const DEVICEBANK& b = TaskData(d).bank;
  SelectDevice(d);
  RINGSTRETCH s;
  ReadStretch(b.en, s.en, start, n, capacity);
  ReadStretch(b.p, s.p, start, n, capacity);
  ReadStretch(b.org, s.org, start, n, capacity);
  ReadStretch(b.wt, s.wt, start, n, capacity);
  ReadStretch(b.iForced, s.iForced, start, n, capacity);
  ReadStretch(b.pc, s.pc, start, n, capacity);
  ReadStretch(b.voxelIndex, s.voxelIndex, start, n, capacity);
  ReadStretch(b.cellIndex, s.cellIndex, start, n, capacity);
  ReadStretch(b.maxRadius, s.maxRadius, start, n, capacity);
  ReadStretch(b.centerFree, s.centerFree, start, n, capacity);
  ReadStretch(b.taskBanked, s.taskBanked, start, n, capacity);
  const uint64_t kept = CompactRingStretch(s);
  WriteStretch(b.en, s.en, start, capacity);
  WriteStretch(b.p, s.p, start, capacity);
  WriteStretch(b.org, s.org, start, capacity);
  WriteStretch(b.wt, s.wt, start, capacity);
  WriteStretch(b.iForced, s.iForced, start, capacity);
  WriteStretch(b.pc, s.pc, start, capacity);
  WriteStretch(b.voxelIndex, s.voxelIndex, start, capacity);
  WriteStretch(b.cellIndex, s.cellIndex, start, capacity);
  WriteStretch(b.maxRadius, s.maxRadius, start, capacity);
  WriteStretch(b.centerFree, s.centerFree, start, capacity);
  WriteStretch(b.taskBanked, s.taskBanked, start, capacity);
  return kept;
}
