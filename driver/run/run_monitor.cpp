// ShowProgress: the run monitor. It runs on the main thread, or inside worker
// 0's history loop (which the main thread runs in Trenqual), and does its work
// at most once a second. It reads the other workers' records without locks
// and talks to them only through their stop bytes and the run's flags.
#include "driver/run/run_monitor.h"

#include <atomic>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>

#include "core/cell.h"
#include "core/constants.h"
#include "core/relaxed_access.h"
#include "core/stream_control.h"
#include "core/tally.h"
#include "core/task.h"
#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"
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
}  // namespace run

namespace {

constexpr double kTickSeconds = 1.0;
// Calls between two readings of the clock: worker 0 calls the monitor after
// every interaction and rejection try (tens to hundreds of nanoseconds
// apart), and a clock reading costs about 25 ns; 256 calls keep the tick
// within a fraction of a millisecond of the second.
constexpr uint32_t kCallsPerClockReading = 256;
uint32_t callsSinceClockReading = 0;
constexpr int kListedWorkers = 5;             // workers named in the progress line
constexpr int kListedWorkersWithTargets = 3;  // ... when the line also carries an error

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
  const uint64_t started = StartedCpuHistories();
  run::controlRefresh(now, started > 0 ? 1.0 / static_cast<double>(started) : 0.0);
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

// --- The line ---------------------------------------------------------------------

void AppendWorkers(std::string& line) {
  const double percent = run::hostParticleShare > 0 ? 100.0 * static_cast<double>(run::nFinishedCpu) /
                                                          static_cast<double>(run::hostParticleShare)
                                                    : 0.0;
  Append(line, " %" PRIu64 " / %" PRIu64 " (%-.3f %%), active threads - ", run::nFinishedCpu, run::hostParticleShare,
         percent);
  const int listed = AnyTarget() ? kListedWorkersWithTargets : kListedWorkers;
  int shown = 0;
  bool more = false;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    const WORKERVIEW v = ReadWorkerProgress(core::tasks[r]);
    if (v.nStreams <= 0) continue;
    if (shown == listed) {
      more = true;
      break;
    }
    Append(line, "%s%d:%" PRIu64 " (%d)", shown > 0 ? ", " : "", v.threadNo + 1, v.historyNumber + 1, v.nBanked);
    ++shown;
  }
  line += more ? ", ..." : ".";
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
  callsSinceClockReading = 0;
}

namespace {

// The tick proper: the clock, then the work when the second has passed.
[[gnu::noinline]] void TickIfDue(bool final, bool print) {
  callsSinceClockReading = 0;
  const double now = SecondsSinceStart() - run::runStartTime;
  if (!(now - run::lastTick > kTickSeconds)) return;
  if (final) return;  // the end-of-run call has device statistics only
  StopAllOnFatalError();
  GatherCounts();
  const int key = LastPendingKey();
  std::string line;
  Append(line, "%-.3f s:", now);
  const int quoted = run::controlEntries.empty() ? -1 : CheckErrorTargets(now);
  TerminateIfRequested();
  HandleEscapeKey(key);
  AppendWorkers(line);
  AppendErrorTail(line, quoted);
  RequestRedealWhenIdle();
  PrintLine(line, print);
  run::lastTick = now;
}

}  // namespace

void ShowProgress(bool final, bool print) {
  // A forced tick (lastTick negative) reads the clock at once.
  if (run::lastTick >= 0.0 && ++callsSinceClockReading < kCallsPerClockReading) return;
  TickIfDue(final, print);
}

void ShowProgressOfCycle(bool final, bool print) { TickIfDue(final, print); }
