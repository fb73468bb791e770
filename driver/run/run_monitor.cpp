// ShowProgress: the run monitor. It runs on the main thread, or inside worker
// 0's history loop (which the main thread runs in Trenqual), and does its work
// at most once a second. It reads the other workers' records without locks
// and talks to them only through their stop bytes and the run's flags.
#include "driver/run/run_monitor.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/relaxed_access.h"
#include "core/stream_control.h"
#include "core/tally.h"
#include "core/task.h"
#include "driver/build_variant.h"
#include "driver/device_monitor.h"
#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/input/options.h"
#include "driver/run/device_division.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/run_state.h"
#include "language/compiler.h"
#include "platform/clock.h"
#include "platform/keys.h"

namespace run {
ControlRefreshFunction controlRefresh = CollectDeviceTallies;
double lastTick = 0.0;
int32_t lastLineLength = 0;
bool terminateRequested = false;
uint64_t nFinishedCpu = 0;
int32_t monitorItem = 0;
int32_t monitorPage = 0;
bool statsOutput = false;
}  // namespace run

namespace {

constexpr double kTickSeconds = 1.0;
constexpr int kListedWorkers = 5;             // workers named in the progress line
constexpr int kListedWorkersWithTargets = 3;  // ... when the line also carries an error
// Trenqual_CUDA's line without real devices names fewer workers.
constexpr int kListedGpuBuildWorkers = 4;
constexpr int kPagesPerDevice = 3;

double Percent(double part, double whole) { return whole != 0.0 ? 100.0 * part / whole : 0.0; }
double Ratio(double numerator, double denominator) { return denominator != 0.0 ? numerator / denominator : 0.0; }

// --- The real devices ---------------------------------------------------------------
// Slots of the real (not emulated) devices, in slot order; their number
// fixes the device items of the selection.

int32_t realSlot[kMaxDeviceSlots];
int32_t nRealDevices = 0;

void FindRealDevices() {
  nRealDevices = 0;
  if (!gpuBuild) return;
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices && d < kMaxDeviceSlots; ++d) {
    if (!v.slot[d].emulated) realSlot[nRealDevices++] = d;
  }
}

// What the monitor keeps of each real device slot between its ticks.
struct DEVICEMONITOR {
  DEVICETICKREADING reading;    // of this tick
  uint64_t finishedAtTick = 0;  // finished histories as the last tick read them
  uint64_t finishedBefore = 0;  // ... and as the tick before read them
  double threadSeconds = 0.0;   // T_d: launch times of its threads, added at every tick
  double longestSeconds = 0.0;  // L_d: its longest thread launch, added at every tick
  double largestBanked = 0.0;   // the most banked particles seen, and their share
  double largestBankedPercent = 0.0;
  double interval[kDeviceFigures] = {};  // figures of the last interval
  double wholeRun[kDeviceFigures] = {};  // and of the whole run
};
DEVICEMONITOR deviceMonitor[kMaxDeviceSlots];

uint64_t RealShares() {
  uint64_t shares = 0;
  for (int32_t i = 0; i < nRealDevices; ++i) shares += run::deviceDivision.slot[realSlot[i]].share;
  return shares;
}

// Histories to run: the CPU's and emulated devices' share and the real devices'.
uint64_t RunHistories() { return run::hostParticleShare + RealShares(); }

void GatherDeviceCounts() {
  run::nFinishedGpu = 0;
  for (int32_t i = 0; i < nRealDevices; ++i) {
    const int32_t d = realSlot[i];
    DEVICEMONITOR& m = deviceMonitor[d];
    // The run loop stores its own readings in nFinishedOfDevice after every
    // cycle: the interval is counted from the monitor's own.
    m.finishedBefore = m.finishedAtTick;
    ReadDeviceTick(d, &m.reading);
    m.finishedAtTick = m.reading.finished;
    run::nFinishedOfDevice[d] = m.reading.finished;
    run::nStartedOfDevice[d] = m.reading.started;
    run::nFinishedGpu += m.reading.finished;
    m.threadSeconds += m.reading.threadSeconds;
    m.longestSeconds += m.reading.longestSeconds;
    if (m.reading.banked >= m.largestBanked) {
      m.largestBanked = m.reading.banked;
      m.largestBankedPercent = m.reading.bankedPercent;
    }
  }
}

// The per-second figures of every real device, with the caller's entries:
// 0 histories finished in the interval, 1 histories of the share not yet
// finished, 12 and 13 the banked particles and their share.
void ComputeDeviceFigures() {
  for (int32_t i = 0; i < nRealDevices; ++i) {
    const int32_t d = realSlot[i];
    DEVICEMONITOR& m = deviceMonitor[d];
    DeviceSecondFigures(d, m.interval, m.wholeRun);
    const uint64_t share = run::deviceDivision.slot[d].share;
    const uint64_t finished = run::nFinishedOfDevice[d];
    m.interval[0] = static_cast<double>(finished - (finished >= m.finishedBefore ? m.finishedBefore : finished));
    m.wholeRun[0] = static_cast<double>(finished);
    m.interval[1] = m.wholeRun[1] = static_cast<double>(share > finished ? share - finished : 0);
    m.interval[12] = m.reading.banked;
    m.interval[13] = m.reading.bankedPercent;
    m.wholeRun[12] = m.largestBanked;
    m.wholeRun[13] = m.largestBankedPercent;
  }
}

void Append(std::string& line, const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  line += buffer;
}

// --- Reading the workers ----------------------------------------------------------
// The counters below are written by their workers while the monitor reads
// them, both through relaxed atomic accesses: a value one history old is good
// enough for the line.

struct WORKERVIEW {
  int32_t nStreams;
  int32_t threadNo;
  int32_t iStream;
  int32_t nBanked;
  uint64_t finished;
  uint64_t started;
  uint64_t historyNumber;  // source-particle number of the current stream's history
};

WORKERVIEW ReadWorkerProgress(const CTask& t) {
  WORKERVIEW v{};
  v.nStreams = LoadRelaxed(t.nStreams);
  v.threadNo = t.threadNo;
  v.iStream = LoadRelaxed(t.iStream);
  v.nBanked = LoadRelaxed(t.nBanked);
  v.finished = t.stats != nullptr ? LoadRelaxed(t.stats->slot[statslot::nHistoriesDone].n) : 0;
  v.started = LoadRelaxed(t.nHistories);
  const bool streamKnown =
      core::runStreams.streamControl != nullptr && v.iStream >= 0 && v.iStream < core::runStreams.nStreams_tot;
  v.historyNumber = streamKnown ? LoadRelaxed(core::runStreams.streamControl[v.iStream].nextParticle) : 0;
  return v;
}

// The workers with streams that the progress line lists, at most `most` of
// them in record order; more: further ones were left out.
struct LISTEDWORKERS {
  std::vector<WORKERVIEW> views;
  bool more = false;
};

LISTEDWORKERS ListedWorkers(int most) {
  LISTEDWORKERS listed;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    const WORKERVIEW v = ReadWorkerProgress(core::tasks[r]);
    if (v.nStreams <= 0) continue;
    if (static_cast<int>(listed.views.size()) == most) {
      listed.more = true;
      break;
    }
    listed.views.push_back(v);
  }
  return listed;
}

void GatherCounts() {
  uint64_t finished = 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) finished += ReadWorkerProgress(core::tasks[r]).finished;
  run::nFinishedCpu = finished;
}

// A worker that has met a fatal error ends the run: every worker is asked to
// stop, so that the run loop sees the flag without waiting for the others.
void StopAllOnFatalError() {
  bool fatal = false;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    fatal |= core::tasks[r].fatalError.load(std::memory_order_acquire) != 0;
  if (!fatal) return;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    core::tasks[r].stopRequest.store(1, std::memory_order_release);
}

// --- Keys -------------------------------------------------------------------------

int LastPendingKey() {
  int key = -1;
  while (KeyPressed()) {
    const int k = ReadKey();
    if (k >= 0) key = k;
  }
  return key;
}

std::atomic<uint8_t>* EscState() { return language::compiler != nullptr ? &language::compiler->escPressed : nullptr; }

void HandleEscapeKey(int key) {
  std::atomic<uint8_t>* esc = EscState();
  if (key < 0 || esc == nullptr) return;
  if (esc->load(std::memory_order_acquire) == 0) {
    if (key != kEscapeKey) return;
    printf(
        "\nThe escape key has been pressed. Press Q to terminate the simulation, or any other key except 'Esc' to "
        "cancel the escape key.\n");
    esc->store(1, std::memory_order_release);
  } else if (key == 'q' || key == 'Q') {
    printf("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n");
    run::terminateRequested = true;
  } else if (key != kEscapeKey) {
    printf("\nThe escape key has been cancelled. Press 'Esc' again to attempt to terminate the simulation.\n");
    esc->store(0, std::memory_order_release);
  }
}

// The device selection and the statistics switch. Returns the key when
// none of them takes it (it goes on to Esc and Q), else -1.
int LastItem() { return kPagesPerDevice * nRealDevices; }

void SelectItem(int32_t item) {
  run::monitorItem = item;
  if (item > 0) run::monitorPage = (item - 1) % kPagesPerDevice;
}

// Item of page `page` of real device i.
int32_t ItemOf(int32_t i, int32_t page) { return 1 + kPagesPerDevice * i + page; }

bool AnyStatsFile() {
  for (int32_t i = 0; i < nRealDevices; ++i) {
    if (run::deviceStatsFile[realSlot[i]] != nullptr) return true;
  }
  return false;
}

void FlushStatsFiles() {
  for (int32_t i = 0; i < nRealDevices; ++i) {
    if (run::deviceStatsFile[realSlot[i]] != nullptr) fflush(run::deviceStatsFile[realSlot[i]]);
  }
}

const char* FilesWord() { return nRealDevices > 1 ? "files" : "a file"; }

int HandleDeviceKeys(int key) {
  if (nRealDevices == 0 || key < 0) return key;
  const int32_t item = run::monitorItem;
  const int32_t device = item > 0 ? (item - 1) / kPagesPerDevice : -1;
  switch (key) {
    case '+':
      if (item >= LastItem()) {
        run::monitorItem = 0;
        run::monitorPage = 0;
      } else {
        SelectItem(item + 1);
      }
      return -1;
    case '-':
      if (item == 0) {
        run::monitorItem = LastItem();
        run::monitorPage = kPagesPerDevice - 1;
      } else {
        SelectItem(item - 1);
      }
      return -1;
    case ']':
      if (item == 0) {
        SelectItem(ItemOf(0, run::monitorPage));
      } else if (device + 1 >= nRealDevices) {
        run::monitorItem = 0;
      } else {
        SelectItem(ItemOf(device + 1, run::monitorPage));
      }
      return -1;
    case '[':
      if (item == 0) {
        SelectItem(ItemOf(nRealDevices - 1, run::monitorPage));
      } else if (device == 0) {
        run::monitorItem = 0;
      } else {
        SelectItem(ItemOf(device - 1, run::monitorPage));
      }
      return -1;
    default:
      break;
  }
  if (input::runOptions.stats_CUDA <= 1 || !AnyStatsFile()) return key;
  if ((key == 's' || key == 'S') && run::statsOutput) {
    FlushStatsFiles();
    run::statsOutput = false;
    printf("\n Output of second-by-second CUDA device statistics to %s has been stopped.\n", FilesWord());
    return -1;
  }
  if (key == 'f' || key == 'F') {
    FlushStatsFiles();
    if (!run::statsOutput) {
      run::statsOutput = true;
      printf("\n Output of second-by-second CUDA device statistics to %s has been resumed.\n", FilesWord());
    }
    return -1;
  }
  return key;
}

// --- Error targets ----------------------------------------------------------------

bool HasTarget(const CONTROLENTRY& e) { return e.targetKind >= 0; }

bool AnyTarget() {
  for (const CONTROLENTRY& e : run::controlEntries) {
    if (HasTarget(e)) return true;
  }
  return false;
}

// Sets terminateRequested when every entry with a target has 0 < e < target
// (a request made earlier stays). Returns the entry to quote in the line: the
// first without an estimate, else the largest ratio of error to target (the
// earliest of equal ones); -1 when none has a target.
int CheckErrorTargets(double now) {
  // The tallies hold the scores of finished histories: they are scaled by
  // the finished count, on the CPU and on the devices.
  const uint64_t finished = run::nFinishedCpu + run::nFinishedGpu;
  run::controlRefresh(now, finished > 0 ? 1.0 / static_cast<double>(finished) : 0.0);
  const bool requestedBefore = run::terminateRequested;
  run::terminateRequested = true;
  double largest = -1.0;
  int quoted = -1;
  for (size_t i = 0; i < run::controlEntries.size(); ++i) {
    const CONTROLENTRY& e = run::controlEntries[i];
    if (!HasTarget(e)) continue;
    if (!(0.0 < e.error && e.error < e.target)) run::terminateRequested = false;
    const double ratio = e.error / e.target;
    if (largest != 0.0 && (ratio <= 0.0 || ratio > largest)) {
      quoted = static_cast<int>(i);
      largest = ratio;
    }
  }
  if (requestedBefore) {
    run::terminateRequested = true;
  } else if (quoted < 0) {
    run::terminateRequested = false;
  }
  return quoted;
}

void AppendErrorTail(std::string& line, int quoted) {
  static const char* const kKindName[] = {"Avg", "Min", "Max"};
  if (quoted < 0) return;
  const CONTROLENTRY& e = run::controlEntries[static_cast<size_t>(quoted)];
  Append(line, " %sErr (%s) = %g%% / %g%%", kKindName[e.targetKind], e.label.c_str(), 100.0 * e.error,
         100.0 * e.target);
}

// --- Termination ------------------------------------------------------------------

// The lowest next history number of streams first .. first + n - 1, or
// limit when it is lower.
uint64_t LowestNextHistory(int32_t first, int32_t n, uint64_t limit) {
  for (int32_t s = first; s < first + n; ++s) {
    const uint64_t next = LoadRelaxed(core::runStreams.streamControl[s].nextParticle);
    if (next < limit) limit = next;
  }
  return limit;
}

// No new source history is started: the limit of the CPU streams and the
// limit of each emulated device's streams (which the CPU workers serve) come
// down to the lowest next history number among them, so every stream is
// dropped once its history in flight ends and none starts another (a real
// device stops through endSimulation). The limits are lowered before
// endSimulation is raised, so that a worker that sees the flag sees them.
void TerminateIfRequested() {
  if (!run::terminateRequested || run::endSimulation.load(std::memory_order_acquire) != 0 ||
      run::redealStreams.load(std::memory_order_acquire) != 0 ||
      run::balanceStop.load(std::memory_order_acquire) != 0) {
    return;
  }
  core::runStreams.cpuParticleShare.store(LowestNextHistory(0, run::nStreamsCpu, CpuParticleShare()),
                                          std::memory_order_release);
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!v.slot[d].emulated) continue;
    uint64_t& limit = core::runStreams.gpuParticleShare[d];
    StoreRelaxed(limit, LowestNextHistory(v.slot[d].firstStream, v.slot[d].nStreams, LoadRelaxed(limit)));
  }
  run::hostParticleShare = StartedCpuHistories();
  if (nRealDevices > 0) {
    // No re-division any more; a real device runs out the histories it has
    // started (endSimulation reaches its next launch). The CPU records' history
    // quotas stay: they bound only histories not yet started, and none is
    // started any more (a worker reads its quota while it runs).
    input::runOptions.balance_CUDA = 0;
    for (int32_t i = 0; i < nRealDevices; ++i) {
      const int32_t d = realSlot[i];
      run::deviceDivision.slot[d].share = run::nStartedOfDevice[d];
    }
    // N: the histories started so far, the run's end in the run loop.
    input::runOptions.nParticles = static_cast<int64_t>(RunHistories());
  }
  run::endSimulation.store(1, std::memory_order_release);
}

// --- Re-deal ----------------------------------------------------------------------

// A worker that has run out of streams while others still hold several:
// every worker is stopped so that the run loop deals the streams out afresh.
void RequestRedealWhenIdle() {
  if (!run::severalStreamsPerThread || run::redealStreams.load(std::memory_order_acquire) != 0) return;
  bool idle = false;
  for (int32_t r = run::firstCpuTask; r < core::nThreads && !idle; ++r) {
    const CTask& t = core::tasks[r];
    const bool stopped = LoadRelaxed(t.nStreams) <= 0 || t.running.load(std::memory_order_acquire) == 0;
    idle = stopped && t.stopRequest.load(std::memory_order_acquire) == 0;
  }
  if (!idle) return;
  run::redealStreams.store(1, std::memory_order_release);
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    core::tasks[r].stopRequest.store(1, std::memory_order_release);
}

// --- Balance ----------------------------------------------------------------------

BALANCEMEMORY balanceMemory;

// With balance_CUDA: asks the run loop for a re-division of the work when
// one is due, by stopping every CPU record.
void BalanceIfDue() {
  if (nRealDevices == 0 || input::runOptions.balance_CUDA == 0 ||
      run::balanceStop.load(std::memory_order_acquire) != 0) {
    return;
  }
  BALANCEVIEW view;
  view.cpuTakesPart = run::nCpuTasks > 0;
  view.cpuFinished = run::nFinishedCpu;
  view.cpuTasks = run::nCpuTasks;
  view.cpuShare = CpuParticleShare();
  view.nDevices = nRealDevices;
  view.started = StartedCpuHistories();
  for (int32_t i = 0; i < nRealDevices; ++i) {
    const DEVICESLOT& slot = run::deviceDivision.slot[realSlot[i]];
    view.deviceFinished[i] = run::nFinishedOfDevice[realSlot[i]];
    view.deviceTasks[i] = slot.nTasks;
    view.deviceShare[i] = slot.share;
    view.started += run::nStartedOfDevice[realSlot[i]];
  }
  view.N = RunHistories();
  if (DecideBalance(view, balanceMemory) != kBalanceStop) return;
  run::balanceStop.store(1, std::memory_order_release);
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r)
    core::tasks[r].stopRequest.store(1, std::memory_order_release);
}

// --- Device pages and statistics files ------------------------------------------------

// Page `page` of real device slot d: the last interval's figures, with
// final also those of the whole run in brackets.
void AppendDevicePage(std::string& line, double now, int32_t d, int32_t page, bool final) {
  const DEVICEMONITOR& m = deviceMonitor[d];
  const double* a = m.interval;
  const double* w = m.wholeRun;
  const auto ll = [](double x) { return static_cast<long long>(x); };
  Append(line, "%-.3f s: dev. %d-%d - ", now, run::deviceDivision.slot[d].device + 1, page + 1);
  if (!final) {
    switch (page) {
      case 0:
        Append(line, "src = %lld   rem = %lld   ", ll(a[0]), ll(a[1]));
        Append(line, "tb = %-.2f   tcy = %-.2f   tcl = %-.2f", a[2], a[3], a[4]);
        return;
      case 1:
        Append(line, "nk = %lld   brk = %-.3f%%   cyc = %-.3f   nTh = %-.3f   maxLoad = %-.3f%%   nw = %-.2f%%",
               ll(a[7]), 100.0 * a[8], a[9], a[10], 100.0 * a[11], 100.0 * a[6]);
        return;
      default:
        Append(line, "nB = %-.0f (%-.3f%%)   nThR = %-.3f   nThW = %-.3f   nThN = %-.3f", a[12], a[13], a[14], a[15],
               a[16]);
        return;
    }
  }
  const uint64_t share = run::deviceDivision.slot[d].share;
  switch (page) {
    case 0:
      Append(line, "src %lld / %lld = %-.2f%% (%lld) rem %lld (%lld) ", ll(a[0]), static_cast<long long>(share),
             Percent(w[0], static_cast<double>(share)), ll(w[0]), ll(a[1]), static_cast<long long>(share));
      Append(line, "tb %-.2f (%-.2f) tcy %-.2f (%-.2f) tcl %-.2f (%-.2f)", a[2], w[2], a[3], w[3], a[4], w[4]);
      return;
    case 1:
      Append(line,
             "nk %lld (%lld) brk %-.3f%% (%-.3f%%) cyc %-.3f (%-.3f) nTh %-.3f (%-.3f) maxLoad %-.3f%% (%-.3f%%) nw "
             "%-.2f%% (%-.2f%%)",
             ll(a[7]), ll(w[7]), 100.0 * a[8], 100.0 * w[8], a[9], w[9], a[10], w[10], 100.0 * a[11], 100.0 * w[11],
             100.0 * a[6], 100.0 * w[6]);
      return;
    default:
      Append(line, "nB %-.0f, %-.3f%% (%-.0f, %-.3f%%) nThR %-.3f (%-.3f) nThW %-.3f (%-.3f) nThN %-.3f (%-.3f)", a[12],
             a[13], w[12], w[13], a[14], w[14], a[15], w[15], a[16], w[16]);
      return;
  }
}

}  // namespace

std::string DeviceStatsRow(double now, const double* f) {
  std::string row;
  const auto ll = [](double x) { return static_cast<long long>(x); };
  Append(row, "%10.3f %10lld %10lld %10.3f %10.4f %10.4f", now, ll(f[0]), ll(f[1]), f[2], f[3], f[4]);
  Append(row, " %8lld %8.4f %8.2f %8.3f %8.3f %8.4f %8.4f", ll(f[7]), 100.0 * f[8], f[9], f[10], 100.0 * f[11],
         100.0 * f[6], 100.0 * f[5]);
  Append(row, " %8.0f %8.2f %8.2f %8.2f", f[12], f[14], f[15], f[16]);
  // The stage groups: their shares of the stage runs, then of the thread
  // time, then the two bookkeeping shares.
  for (int s = 10; s <= 44; s += 2) Append(row, " %8.4f", f[9 + s]);
  for (int s = 11; s <= 45; s += 2) Append(row, " %8.4f", f[9 + s]);
  Append(row, " %8.4f %8.4f", f[17], f[18]);
  row += "\n";
  return row;
}

namespace {

void WriteStatsRows(double now) {
  if (!run::statsOutput) return;
  for (int32_t i = 0; i < nRealDevices; ++i) {
    FILE* file = run::deviceStatsFile[realSlot[i]];
    if (file != nullptr) fputs(DeviceStatsRow(now, deviceMonitor[realSlot[i]].interval).c_str(), file);
  }
}

// --- The line ---------------------------------------------------------------------

// Trenqual_CUDA's progress line after the time, with item 0.
void AppendGpuBuildBody(std::string& line, bool anyTarget, double now) {
  const bool control = !run::controlEntries.empty();
  const bool cpu = run::nCpuTasks > 0;
  const double cpuPercent =
      Percent(static_cast<double>(run::nFinishedCpu), static_cast<double>(run::hostParticleShare));
  if (nRealDevices == 0) {
    Append(line, " %lld/%lld (%-.2f%%)", static_cast<long long>(run::nFinishedCpu),
           static_cast<long long>(run::hostParticleShare), cpuPercent);
    line += ", active threads - ";
    const LISTEDWORKERS listed = ListedWorkers(anyTarget ? kListedWorkersWithTargets : kListedGpuBuildWorkers);
    for (size_t i = 0; i < listed.views.size(); ++i) {
      const WORKERVIEW& v = listed.views[i];
      if (i > 0) line += ", ";
      if (v.threadNo == v.iStream) {
        Append(line, "%d:%lld (%d)", v.threadNo + 1, static_cast<long long>(v.historyNumber + 1), v.nBanked);
      } else {
        Append(line, "%d:%d:%lld (%d)", v.threadNo + 1, v.iStream + 1, static_cast<long long>(v.historyNumber + 1),
               v.nBanked);
      }
    }
    if (listed.more) {
      line += ", ...";
    } else if (control) {
      line += ".";
    }
    return;
  }
  const uint64_t shares = RealShares();
  if (cpu) {
    const uint64_t all = run::nFinishedCpu + run::nFinishedGpu;
    const uint64_t N = RunHistories();
    Append(line, " %lld/%lld (%-.2f%%), CPU - %lld/%lld (%-.2f%%),", static_cast<long long>(all),
           static_cast<long long>(N), Percent(static_cast<double>(all), static_cast<double>(N)),
           static_cast<long long>(run::nFinishedCpu), static_cast<long long>(run::hostParticleShare), cpuPercent);
  }
  Append(line, " CUDA - %lld/%lld (%-.2f%%)", static_cast<long long>(run::nFinishedGpu), static_cast<long long>(shares),
         Percent(static_cast<double>(run::nFinishedGpu), static_cast<double>(shares)));
  int32_t active = 0;
  int32_t threads = 0;
  double busy = 0.0;     // sum over the devices of T_d / H_d
  double longest = 0.0;  // the largest L_d
  for (int32_t i = 0; i < nRealDevices; ++i) {
    const int32_t d = realSlot[i];
    active += deviceMonitor[d].reading.activeThreads;
    threads += run::deviceDivision.slot[d].nThreads;
    busy += Ratio(deviceMonitor[d].threadSeconds, run::deviceDivision.slot[d].nThreads);
    if (deviceMonitor[d].longestSeconds > longest) longest = deviceMonitor[d].longestSeconds;
  }
  Append(line, ", threads %d/%d", active, threads);
  if (!control || !cpu) {
    Append(line, ", time %-.2f%%, %-.2f%%", 100.0 * Ratio(busy, nRealDevices * longest), Percent(run::kernelTime, now));
  }
  if (nRealDevices > 1 && !cpu && !control) {
    for (int32_t i = 0; i < nRealDevices; ++i) {
      const DEVICEMONITOR& m = deviceMonitor[realSlot[i]];
      const double H = run::deviceDivision.slot[realSlot[i]].nThreads;
      Append(line, i == 0 ? " (%-.2f%%" : ", %-.2f%%", 100.0 * Ratio(m.threadSeconds, H * m.longestSeconds));
    }
    line += ")";
  }
  line += ".";
}

void AppendWorkers(std::string& line) {
  const double percent = run::hostParticleShare > 0 ? 100.0 * static_cast<double>(run::nFinishedCpu) /
                                                          static_cast<double>(run::hostParticleShare)
                                                    : 0.0;
  Append(line, " %" PRIu64 " / %" PRIu64 " (%-.3f %%), active threads - ", run::nFinishedCpu, run::hostParticleShare,
         percent);
  const LISTEDWORKERS listed = ListedWorkers(AnyTarget() ? kListedWorkersWithTargets : kListedWorkers);
  for (size_t i = 0; i < listed.views.size(); ++i) {
    const WORKERVIEW& v = listed.views[i];
    Append(line, "%s%d:%" PRIu64 " (%d)", i > 0 ? ", " : "", v.threadNo + 1, v.historyNumber + 1, v.nBanked);
  }
  line += listed.more ? ", ..." : ".";
}

void PrintLine(std::string line, bool print) {
  const size_t length = line.size();
  if (line.size() < static_cast<size_t>(run::lastLineLength))
    line.append(static_cast<size_t>(run::lastLineLength) - length, ' ');
  if (!print || length == 0) return;
  printf("%s\r", line.c_str());
  fflush(stdout);
  run::lastLineLength = static_cast<int32_t>(length);
}

std::string PulseHeightLabel(const PULSEHEIGHTTALLY& t) {
  std::string label = "PH";
  const CELL* cells = core::hostConstants.cell;
  if (t.cell >= 0 && cells != nullptr) {
    const CELL& c = cells[t.cell];
    Append(label, c.pulseHeight > 1 ? "C%d_%d" : "C%d", c.number, t.ordinal);
  } else if (directives::nWholeGeometryPulseHeight > 1) {
    Append(label, "%d", t.ordinal);
  }
  return label;
}

std::string NumberedLabel(const char* name, int32_t number) {
  std::string label = name;
  if (number != 0) Append(label, "%d", number);
  return label;
}

}  // namespace

uint64_t StartedCpuHistories() {
  uint64_t started = 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) started += ReadWorkerProgress(core::tasks[r]).started;
  return started;
}

void BuildControlEntries() {
  static const char* const kPlaneName[kTallyClassCount] = {"ET", "PT", "T"};
  run::controlEntries.clear();
  for (const CONTROLTALLY& c : directives::pulseHeightControlTallies) {
    const PULSEHEIGHTTALLY& t = directives::pulseHeightTally[static_cast<size_t>(c.index)];
    run::controlEntries.push_back(
        CONTROLENTRY{kPulseHeightFamily, 0, c.index, c.targetKind, c.target, 0.0, PulseHeightLabel(t)});
  }
  for (int k = 0; k < kTallyClassCount; ++k) {
    for (int i = 0; i < directives::nPlaneControlTallies[k]; ++i) {
      const CONTROLTALLY& c = directives::planeControlTallies[k][i];
      run::controlEntries.push_back(
          CONTROLENTRY{kPlaneFamily, k, c.index, c.targetKind, c.target, 0.0,
                       NumberedLabel(kPlaneName[k], directives::tallyData[k][c.index].number)});
    }
  }
  static const char* const kCellEntryName[kTallyClassCount] = {"ECE", "PCE", "CE"};
  for (int k = 0; k < kTallyClassCount; ++k) {
    for (const CONTROLTALLY& c : directives::cellEntryControlTallies[k]) {
      const int32_t number = directives::cellEntryTally[k][static_cast<size_t>(c.index)].number;
      run::controlEntries.push_back(CONTROLENTRY{kCellEntryFamily, k, c.index, c.targetKind, c.target, 0.0,
                                                 NumberedLabel(kCellEntryName[k], number)});
    }
  }
  ResetMonitoredTallies();
}

void ResetRunMonitor() {
  run::lastTick = 0.0;
  run::lastLineLength = 0;
  run::terminateRequested = false;
  run::nFinishedCpu = 0;
  run::nFinishedGpu = 0;
  for (int32_t d = 0; d < kMaxDeviceSlots; ++d) {
    run::nFinishedOfDevice[d] = 0;
    run::nStartedOfDevice[d] = 0;
    deviceMonitor[d] = DEVICEMONITOR{};
  }
  run::monitorItem = 0;
  run::monitorPage = 0;
  run::statsOutput = input::runOptions.stats_CUDA > 1;
  balanceMemory = BALANCEMEMORY{};
  ResetDeviceMonitor();
}

BalanceDecision DecideBalance(const BALANCEVIEW& v, BALANCEMEMORY& memory) {
  uint64_t finished = v.cpuTakesPart ? v.cpuFinished : 0;
  for (int32_t i = 0; i < v.nDevices; ++i) finished += v.deviceFinished[i];
  if (finished <= memory.finishedAtCheck) return kBalanceNothing;
  const uint64_t participants = static_cast<uint64_t>(v.nDevices) + (v.cpuTakesPart ? 1 : 0);
  bool due = memory.measuredAtCheck == participants;
  if (!due) {
    uint64_t measured = 0;
    if (v.cpuTakesPart && v.cpuFinished >= static_cast<uint64_t>(v.cpuTasks)) {
      ++measured;
      due = due || v.cpuFinished == v.cpuShare;
    }
    for (int32_t i = 0; i < v.nDevices; ++i) {
      if (v.deviceFinished[i] < static_cast<uint64_t>(v.deviceTasks[i])) continue;
      ++measured;
      due = due || v.deviceFinished[i] == v.deviceShare[i];
    }
    due = due || measured > memory.measuredAtCheck;
    memory.measuredAtCheck = measured;
  }
  memory.finishedAtCheck = finished;
  if (!due) return kBalanceNothing;
  return v.started >= v.N ? kBalanceAllStarted : kBalanceStop;
}

namespace {

// The end of the run with real devices: every page of every device, one
// line each, the figures of the last second and of the whole run.
void ShowFinalPages(double now, bool print) {
  run::statsOutput = false;
  // The last second: since the last tick.
  for (int32_t i = 0; i < nRealDevices; ++i) {
    DEVICEMONITOR& m = deviceMonitor[realSlot[i]];
    m.finishedBefore = m.finishedAtTick;
  }
  ComputeDeviceFigures();
  std::vector<std::string> lines;
  for (int32_t i = 0; i < nRealDevices; ++i) {
    for (int32_t page = 0; page < kPagesPerDevice; ++page) {
      std::string line;
      AppendDevicePage(line, now, realSlot[i], page, true);
      lines.push_back(line);
    }
  }
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    std::string line = lines[i];
    if (line.size() < static_cast<size_t>(run::lastLineLength))
      line.append(static_cast<size_t>(run::lastLineLength) - line.size(), ' ');
    if (print) printf("%s\n", line.c_str());
  }
  PrintLine(lines.back(), print);
}

// The tick: the clock, then the work when the second has passed.
void TickIfDue(bool final, bool print) {
  const double now = SecondsSinceStart() - run::runStartTime;
  if (!(now - run::lastTick > kTickSeconds)) return;
  FindRealDevices();
  if (final) {
    // Without real devices the end-of-run call has nothing to show.
    if (nRealDevices > 0) ShowFinalPages(now, print);
    if (nRealDevices > 0) run::lastTick = now;
    return;
  }
  StopAllOnFatalError();
  GatherCounts();
  if (nRealDevices > 0) GatherDeviceCounts();
  const int key = HandleDeviceKeys(LastPendingKey());
  const int quoted = run::controlEntries.empty() ? -1 : CheckErrorTargets(now);
  TerminateIfRequested();
  HandleEscapeKey(key);
  if (nRealDevices > 0) ComputeDeviceFigures();
  if (run::monitorItem > LastItem()) run::monitorItem = 0;
  std::string line;
  if (run::monitorItem > 0) {
    const int32_t i = (run::monitorItem - 1) / kPagesPerDevice;
    AppendDevicePage(line, now, realSlot[i], run::monitorPage, false);
  } else {
    Append(line, "%-.3f s:", now);
    if (gpuBuild) {
      AppendGpuBuildBody(line, AnyTarget(), now);
    } else {
      AppendWorkers(line);
    }
    AppendErrorTail(line, quoted);
  }
  WriteStatsRows(now);
  RequestRedealWhenIdle();
  BalanceIfDue();
  PrintLine(line, print);
  run::lastTick = now;
}

}  // namespace

void ShowProgress(bool final, bool print) { TickIfDue(final, print); }
