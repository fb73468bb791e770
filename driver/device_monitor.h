// What the run monitor reads of the real CUDA devices, defined per program
// in device_monitor_variant.cpp: Trenqual_CUDA reads the devices through the
// host steps of gpu/, Trenqual (no devices) has empty stand-ins.
#pragma once

#include <cstdint>
#include <vector>

#include "core/task.h"

// One tick's reading of a real device slot.
struct DEVICETICKREADING {
  uint64_t finished = 0;        // finished histories (source tracks in heap mode 2)
  uint64_t started = 0;         // started histories
  int32_t activeThreads = 0;    // threads busy in the last step of the last launch
  double threadSeconds = 0.0;   // launch times of its threads in the last launch, summed
  double longestSeconds = 0.0;  // the longest of them
  double banked = 0.0;          // particles banked: the ring's fill (heap mode 2), else a task's largest bank
  double bankedPercent = 0.0;   // of the ring's capacity, or of a task's allowed bank
};

// Reads real device slot `slot` (its status record and threads). False in
// Trenqual and for a slot without a device run.
bool ReadDeviceTick(int32_t slot, DEVICETICKREADING* reading);

// The per-second figures of a real device slot, as the monitor's pages and
// the statistics files show them (kDeviceFigures values; value 7, the
// launches, as a plain number): over the interval since the last call
// (`interval`) and since the start of the run (`wholeRun`). The device's
// CUDA_STATS is read and the previous copy replaced. Entries 0, 1, 12 and 13
// are the caller's.
constexpr int kDeviceFigures = 57;
void DeviceSecondFigures(int32_t slot, double interval[kDeviceFigures], double wholeRun[kDeviceFigures]);

// Forgets the counters' copies (a new run).
void ResetDeviceMonitor();

// A tally whose device score arrays the monitor gathers: its family (0
// pulse height, 1 plane, 2 cell entry, as ControlFamily of the monitored
// tallies), class and index.
struct GATHEREDTALLY {
  int32_t family = 0;
  int32_t tallyClass = 0;
  int32_t index = 0;
};

// The device score arrays of `tallies`, gathered from every real device
// into `sums` (a record holding a worker's tally arrays): copied from the
// first device, added from the others. Nothing in Trenqual.
void GatherDeviceTallySums(CTask& sums, const std::vector<GATHEREDTALLY>& tallies, bool weighted);
