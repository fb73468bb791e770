// The read-back of a device's results after the run loop: the bank and
// stream fields of every task, the tally score arrays added into a host
// record's arrays, the statistics records of every GPU thread, whole task
// records and the history count of the status record. Each works on the
// current device; every device call is checked (a failure prints "\nCUDA
// error (%s).\n" and ends the program with exit code 2).
#pragma once

#include <cstdint>

#include "core/interaction_stats.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "gpu/device_records.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"

// The fields of a device task that the end of the run reads: its bank count
// (particles staged by its current step), its stream list's length and
// cursor, the most pool slots it has held (banking modes 0 and 1; 0 in the
// ring mode, where a task holds no slots) and its fatal-error flag.
struct DEVICETASKFIELDS {
  int32_t nBanked = -1;
  int32_t nStreams = 0;
  int32_t streamCursor = 0;
  int32_t maxBanked = -1;
  int32_t fatalError = 0;
};

// The fields of task j of the device whose task data is d.
DEVICETASKFIELDS ReadDeviceTaskFields(const DEVICETASKDATA& d, int32_t j);

// Task j's scheduler record: its stream list, slots, extent of volume-source
// points and the deposit it holds.
DEVICETASKCONTROL ReadDeviceTaskControl(const DEVICETASKDATA& d, int32_t j);

// Task j's whole record, into *task.
void ReadDeviceTask(const DEVICETASKDATA& d, int32_t j, DEVICETASK* task);

// The device's pulse-height score arrays added into the host record's
// (allocated for tt): per tally its bin counts, then its energy sums when the
// tally keeps them.
void AddDevicePulseHeightTallies(const DEVICETALLIES& d, const TALLYTABLES& tt, TASKTALLIES& target);

// The device's plane and cell-entry score arrays added into the host
// record's, class by class: every 1-D table (counts, or weight sums with
// weights, then energy sums where kept), every 2-D table likewise, every
// cell-entry tally range by range likewise. Counts are summed as unsigned
// 64-bit integers, weight and energy sums as doubles.
void AddDeviceTableTallies(const DEVICETALLIES& d, const TALLYTABLES& tt, bool weighted, TASKTALLIES& target);

// GPU thread i's statistics: its overall record into *overall and, when
// cells is not null, its nCells per-cell records into cells.
void ReadThreadStats(const DEVICETASKDATA& d, int32_t i, int32_t nCells, INTERACTIONSTATS* overall,
                     INTERACTIONSTATS* cells);

// What the status record says at the end of the run.
struct DEVICEENDSTATUS {
  uint64_t finished = 0;        // histories finished (source tracks ended, ring mode)
  int32_t maxBankedDevice = 0;  // largest bank of a task during the run
  int32_t error = 0;            // task number + 1 of the first fatal error, 0 none
};
DEVICEENDSTATUS ReadDeviceEndStatus(const DEVICETASKDATA& d, int32_t heapMode);

// The device's CUDA_STATS counters.
CUDA_STATS ReadCudaStats(const DEVICETASKDATA& d);
