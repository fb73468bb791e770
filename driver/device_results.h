// The device steps of the result totals and of the run summary: what the
// real (not emulated) CUDA devices hold at the end of the run, read back and
// merged into the host's totals. Defined in device_results_variant.cpp, which
// is compiled once per program: Trenqual_CUDA reaches the devices, Trenqual
// has stubs that do nothing (it has no device work).
#pragma once

#include <string>

class CTask;
struct RESULTTOTALS;

// Step 1: the task table (bank count, stream list, largest bank, fatal flag)
// of every task of every real device, in global task order, into r.deviceTasks.
// Shows "Copied data from %d / %d CUDA tasks (%.2f %%)" at most once a second.
void ReadDeviceTaskTable(RESULTTOTALS& r);

// Without a CPU worker: the target record takes the state of the first task
// of the first real device (its particle, bank and stream fields; not its
// device addresses) and zeroed tally arrays of its own. False when memory
// runs out.
bool TakeFirstDeviceTaskState(CTask& target);

// Step 2: every real device's tally score arrays added into the target's:
// the pulse-height tallies of every device first, then device by device the
// plane and cell-entry tables class by class.
void AddDeviceTallies(CTask& target);

// Step 5: the statistics of every GPU thread of every real device added into
// r.stats (and per cell into r.cellStats with per-cell statistics), with
// "Copied interaction statistics from %d / %d CUDA threads (%.2f %%)".
void AddDeviceThreadStatistics(RESULTTOTALS& r);

// Step 6, device part: every task of every real device walked in slot order
// (an emulated device's tasks are passed over: the CPU workers ran them):
// the extent of its volume-source points, and the deposit it still holds
// (banking mode 2: particles of histories that ended on other tasks) added
// to the absorbed energy; each device's histories (its finished count) into
// r.deviceHistories and r.allHistories.
void WalkDeviceTasks(RESULTTOTALS& r);

// The summary line of the CPU's share ("Number of particle histories
// simulated on the CPU = ..."), empty in Trenqual.
std::string CpuShareText(const RESULTTOTALS& r);

// The device statistics of the run summary: with stats_CUDA 1 or 3 the block
// of every real device (after CDeviceStats::Finish), then the ratios of the
// kernel time (and, when CPU threads served streams, of the CPU time) to the
// elapsed time. Empty without device work and in Trenqual.
std::string DeviceSummaryText(const RESULTTOTALS& r, double elapsedSeconds);
