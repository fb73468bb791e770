// What the run monitor reads of a device between two launches: the status
// record's history counts and bank fill, the CUDA_STATS counters, the
// threads' launch figures, and the score arrays of the tallies it watches.
// Every read is a checked copy from the device (a failure ends the program
// with exit code 2).
#pragma once

#include <cstdint>
#include <vector>

#include "core/tally_tables.h"
#include "core/task.h"
#include "gpu/device_records.h"

// The status record of a device as the monitor uses it.
struct DEVICESTATUSREADING {
  unsigned long long nFinishedHistories = 0;
  unsigned long long nStartedHistories = 0;
  unsigned long long nFinishedSourceTracks = 0;
  int32_t maxBanked_kernelCall = 0;  // largest bank of a task during the last launch (heap modes 0, 1)
  int64_t waiting = 0;               // particles waiting in the ring (heap mode 2)
};

// Reads the status record of `device` (heap_CUDA heapMode).
DEVICESTATUSREADING ReadDeviceMonitorStatus(int32_t device, int32_t heapMode);

// Reads the device's CUDA_STATS counters.
CUDA_STATS ReadDeviceCounters(int32_t device);

// Launch figures of the device's threads in its last launch.
struct DEVICELAUNCHREADING {
  int32_t activeThreads = 0;   // over the blocks, the tasks of each block's last step
  double threadCycles = 0.0;   // sum of the threads' launch cycles
  double longestCycles = 0.0;  // the longest launch of a thread, cycles
};

// Reads the nThreads CThread2 records of `device` into `buffer` (resized)
// and sums their launch figures; blockSize threads per block.
DEVICELAUNCHREADING ReadDeviceLaunch(int32_t device, int32_t nThreads, int32_t blockSize,
                                     std::vector<CThread2>& buffer);

// The tallies whose device score arrays are gathered: pulse-height tallies
// and, per class, plane tallies and cell-entry tallies, by index.
struct DEVICETALLYLIST {
  std::vector<int32_t> pulseHeight;
  std::vector<int32_t> plane[kTallyClassCount];
  std::vector<int32_t> cellEntry[kTallyClassCount];
};

// The score arrays of the listed tallies of `device`, copied into the
// matching arrays of `sums` (first: the first device gathered) or added to
// them (unsigned 64-bit addition for counts, double for weights and energy
// sums). `sums` holds a worker's tally arrays for tt (weighted: weight sums in
// place of counts).
void GatherDeviceTallies(int32_t device, const DEVICETALLYLIST& list, const TALLYTABLES& tt, bool weighted, bool first,
                         CTask& sums);
