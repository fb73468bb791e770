// The once-a-second run monitor: the progress line, the keys (Esc then Q
// ends the run), the tally files due during the run, the error targets that
// end the run when met, and the request for a re-deal of the CPU streams.
#pragma once

#include <cstdint>
#include <string>

#include "core/stream_control.h"

#include "driver/run/monitored_tallies.h"

// Refreshes the current errors of controlEntries and writes the tally files
// that are due; now is the run time (s), invHistories 1 / started histories.
// Tests replace it.
using ControlRefreshFunction = void (*)(double now, double invHistories);
namespace run {
extern ControlRefreshFunction controlRefresh;

// --- Monitor state ---
extern double lastTick;          // run time of the last tick, s; -2.0 forces the next tick
extern int32_t lastLineLength;   // length of the last printed line
extern bool terminateRequested;  // the run is to end as soon as possible
extern uint64_t nFinishedCpu;    // finished histories of the CPU records at the last tick

// Trenqual_CUDA with real devices: what the line shows. Item 0 is the
// progress line; item i >= 1 is page (i - 1) mod 3 of the real device
// (i - 1) div 3 ("+" "-" "]" "["). The page is kept beside the item.
extern int32_t monitorItem;
extern int32_t monitorPage;
extern bool statsOutput;  // rows go to the devices' statistics files ("s" stops, "f" resumes)
}  // namespace run

// The balance trigger's view of the run at a tick: the participants (the
// CPU when it has workers, every real device) with their finished histories,
// task counts and shares, and the histories started everywhere against N.
struct BALANCEVIEW {
  bool cpuTakesPart = false;
  uint64_t cpuFinished = 0;
  int32_t cpuTasks = 0;
  uint64_t cpuShare = 0;
  int32_t nDevices = 0;  // real devices
  uint64_t deviceFinished[kMaxDeviceSlots] = {};
  int32_t deviceTasks[kMaxDeviceSlots] = {};
  uint64_t deviceShare[kMaxDeviceSlots] = {};
  uint64_t started = 0;  // by the CPU records and every device
  uint64_t N = 0;
};

// What the trigger remembers between its checks.
struct BALANCEMEMORY {
  uint64_t finishedAtCheck = 0;  // finished total at the last check
  uint64_t measuredAtCheck = 0;  // participants measured at the last check
};

enum BalanceDecision : int32_t {
  kBalanceNothing = 0,     // no re-division due
  kBalanceAllStarted = 1,  // due, but every history has started: nothing to divide
  kBalanceStop = 2,        // due: the run loop is to divide the work afresh
};

// The balance trigger: with the finished total grown since the last check, a
// re-division is due when every participant was measured at the last check,
// or when a participant measured now (its finished histories reach its task
// count) has finished exactly its share, or when more participants are
// measured than at the last check.
BalanceDecision DecideBalance(const BALANCEVIEW& view, BALANCEMEMORY& memory);

// The tick; reads the clock and returns at once unless more than 1.0 s has
// passed since the last one (a negative lastTick forces it). Its callers
// space their calls: worker 0 calls it at every 256th of its ticks, the main
// thread after each device cycle or every millisecond while it waits.
// final: the end-of-run call; print: show the line.
void ShowProgress(bool final, bool print);

// Clears the tick state before the run (called by the hand-over).
void ResetRunMonitor();

// Builds controlEntries from the control-tally lists of the input.
void BuildControlEntries();

// One row of a device's statistics file at run time `now` (s) from the
// device's per-second figures (kDeviceFigures values, device_monitor.h): 55
// columns in the order of the file's header, then a line end.
std::string DeviceStatsRow(double now, const double* figures);

// Histories started by the CPU records so far.
uint64_t StartedCpuHistories();
