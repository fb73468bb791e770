// The share of the work that the GPU build gives its used CUDA devices: the
// task, thread and stream counts of each device slot checked, the histories
// split between the CPU and the slots by ratio_CUDA (and r_CUDA), the
// banked-particle memory of each real device, the stream numbers of each slot.
// An emulated slot's streams are served by the CPU workers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/stream_control.h"
#include "driver/status.h"

// One used device.
struct DEVICESLOT {
  int32_t device = 0;         // device number, 0-based
  bool emulated = false;      // its tasks are served by the CPU workers
  double fraction = 0.0;      // share of the histories, f_d
  int32_t firstTask = 0;      // global number of its first task
  int32_t nTasks = 0;         // tasks_CUDA
  int32_t nThreads = 0;       // threads_CUDA
  int32_t nStreams = 0;       // nTasks x streams_CUDA
  int32_t firstStream = 0;    // its first stream number
  int32_t avgBanked = 0;      // banked particles per task (real devices)
  uint64_t bankMemory = 0;    // bytes for banked particles (real devices)
  uint64_t share = 0;         // its histories
  uint64_t historyLimit = 0;  // exclusive end of its history numbers
  // Real devices: host copies of the device's history limit (banking modes 0
  // and 1: the end of its history numbers; mode 2: its share) and ring margin,
  // the slots of its bank and its clock rate.
  uint64_t lastParticle = 0;
  int32_t margin = 0;
  int64_t bankCapacity = 0;
  double clockRateHz = 0.0;
};

struct DEVICEDIVISION {
  int32_t nDevices = 0;           // used devices
  int32_t nRealTasks = 0;         // tasks of the real (not emulated) devices
  uint64_t cpuParticleShare = 0;  // histories of the CPU streams
  DEVICESLOT slot[kMaxDeviceSlots];
};

namespace run {
extern DEVICEDIVISION deviceDivision;

// The per-second statistics file of each real device slot (stats_CUDA 2 and
// above), open from the device's set-up to the end of the run; null otherwise.
extern FILE* deviceStatsFile[kMaxDeviceSlots];
}  // namespace run

// Opens "<result folder>/d<device + 1>.txt" and writes its header line of the
// 55 column names; false (after "\nFile %s could not be opened for
// writing.\n") when it cannot be opened.
bool OpenDeviceStatsFile(const std::string& resultFolder, int32_t slot);

// The task and thread counts of a device against the block size; 0 or exit
// code 2 after the message.
Status CheckDeviceTaskCounts(int32_t tasks, int32_t threads, int32_t blockSize);

// Bytes of one banked particle on a device with these options (heap modes 0
// and 1 add 4 x maxBankedRatio, a whole number).
int64_t BankedParticleBytes(bool trackPos, bool complexGeometry, bool storeFreeMotion, bool forcing, int32_t heapMode,
                            double maxBankedRatio);

// The banked-particle memory of a real device of `memory` bytes: avgBanked > 0
// is a count per task, otherwise the fraction -avgBanked of the memory. Sets
// the slot's avgBanked and bankMemory (64-bit); 0 or exit code 2 after the
// message.
Status SizeDeviceBank(DEVICESLOT& slot, uint64_t memory, double avgBanked, int64_t particleBytes, int32_t heapMode);

// Splits N histories: slot d gets the rounded running sum of N x f_d; the CPU
// keeps the rest. Sets each slot's share and historyLimit and
// cpuParticleShare; *hostShare is N minus the real slots' shares. 0 or exit
// code 2 after the message.
Status SplitHistories(uint64_t N, int32_t nCpuTasks, uint64_t* hostShare);

// The CPU's streams against its share, then (heap modes 0 and 1) each slot's
// streams against its share; 0 or exit code 2 after the message.
Status CheckStreamShares(int32_t nStreamsCpu, int32_t heapMode);

// The streams served by CPU threads in the order the workers take them: the
// CPU streams 0..nStreamsCpu-1, then the streams of each emulated slot.
std::vector<int32_t> HostStreams(int32_t nStreamsCpu);

// The streams of CPU worker t of nWorkers: entries t, t + nWorkers, ... of
// the host streams, at most kMaxStreams of them.
std::vector<int32_t> HostStreamsOfWorker(const std::vector<int32_t>& hostStreams, int32_t t, int32_t nWorkers);
