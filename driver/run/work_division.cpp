#include "driver/run/work_division.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/allocation.h"
#include "core/constants.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "core/track_records.h"
#include "driver/build_variant.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/options.h"
#include "driver/results/tally_storage.h"
#include "driver/run/run_monitor.h"
#include "language/compiler.h"
#include "platform/clock.h"
#include "platform/keys.h"
#include "transport/tracks.h"

namespace {

constexpr int kMaxTasks = 65536;

// --- Counts -----------------------------------------------------------------

// Trenqual_CUDA without device work: the counts that Trenqual settles after
// the input are settled here, with this build's messages and exit codes.
int SettleCpuCounts(int64_t N) {
  if (nStreamsHost < nCpuTasks) {
    printf("Error: The number of random number streams (%d) is less than the number of threads (%d).\n", nStreamsHost,
           nCpuTasks);
    return 2;
  }
  nTasksTotal = nCpuTasks;
  if (nTasksTotal > kMaxTasks) {
    printf("Error: The total number of tasks %d is greater than %d.\n", nTasksTotal, kMaxTasks);
    return 1;
  }
  if (nTasksTotal == 0) {
    printf("Error: The total number of tasks is zero.\n");
    return 1;
  }
  if (nTasksTotal > N) nCpuTasks = nThreads = nTasksTotal = static_cast<int32_t>(N);
  if (runStreams.nStreams_tot > N) runStreams.nStreams_tot = nStreamsCpu = nStreamsHost = static_cast<int32_t>(N);
  if (nTasksTotal > runStreams.nStreams_tot) {
    printf("Error: The number of tasks exceeds the number of streams of random numbers (%d > %d).\n", nTasksTotal,
           runStreams.nStreams_tot);
    return 1;
  }
  return 0;
}

int SettleCounts() {
  const int64_t N = runOptions.nParticles;
  nCpuTasks = runOptions.nThreads;
  nThreads = nCpuTasks;
  firstCpuTask = 0;
  runStreams.nStreams_tot = runOptions.nStreams;
  nStreamsCpu = nStreamsHost = runStreams.nStreams_tot;
  hostParticleShare = static_cast<uint64_t>(N);
  runStreams.cpuParticleShare.store(hostParticleShare, std::memory_order_release);
  if (gpuBuild) {
    if (runOptions.tasks_CUDA != 0) {
      // The division between the CPU workers and the devices joins here with
      // the device path; until then device work is refused.
      printf("Error: Simulation on CUDA devices is not available in this build.\n");
      return 2;
    }
    return SettleCpuCounts(N);
  }
  nTasksTotal = nCpuTasks;
  if (nThreads > nStreamsCpu) {
    printf("Error: The number of threads exceeds the number of streams of random numbers (%d > %d).\n", nThreads,
           nStreamsCpu);
    return 1;
  }
  return 0;
}

// --- Streams and generators ---------------------------------------------------

// CPU stream s starts at history s and advances by the number of CPU streams.
int NumberStreams() {
  const int32_t n = runStreams.nStreams_tot;
  runStreams.streamControl = new (std::nothrow) STREAMCONTROL[n > 0 ? n : 1];
  runStreams.randGens = new (std::nothrow) CRandGen[n > 0 ? n : 1];
  if (runStreams.streamControl == nullptr || runStreams.randGens == nullptr) {
    AllocationFailed("random-number streams", static_cast<size_t>(n) * (sizeof(STREAMCONTROL) + sizeof(CRandGen)));
  }
  for (int32_t s = 0; s < n; ++s) {
    runStreams.streamControl[s] = STREAMCONTROL{kStreamFinished, -1, static_cast<uint64_t>(s)};
    SeedStream(runStreams.randGens[s], s, runOptions.seed);
  }
  runStreams.cpuStride = static_cast<uint64_t>(nStreamsCpu);
  hostConstants.nStreams_tot = n;
  return 0;
}

void SettleTracks() {
  const TRANSPORTOPTIONS& t = transportOptions;
  TRACKOPTIONS& o = trackOptions;
  int64_t tracks = t.nTracks;
  if (tracks > static_cast<int64_t>(CpuParticleShare())) tracks = static_cast<int64_t>(CpuParticleShare());
  o.NTRACKS = static_cast<int32_t>(tracks);
  o.NCOLLISIONS_TRACK = t.nCollisionsTrack;
  o.SKIP_TRACKS_WITHOUT_COLLISIONS = static_cast<uint8_t>(t.skipTracksWithoutCollisions);
  o.MAXGEN_TRACKS = t.maxGenTracks;
  o.CHUNKSIZE_TRACKS = t.chunkSizeTracks < t.nCollisionsTrack ? t.chunkSizeTracks : t.nCollisionsTrack;
  o.blockSize = nCpuTasks > 0 ? static_cast<int32_t>((tracks + nCpuTasks - 1) / nCpuTasks) : 1;
  if (o.blockSize < 1) o.blockSize = 1;
  const size_t n = static_cast<size_t>(runStreams.nStreams_tot > 0 ? runStreams.nStreams_tot : 1);
  std::free(o.streamQuota);
  std::free(o.streamDone);
  o.streamQuota = static_cast<int32_t*>(CheckedMalloc(n * sizeof(int32_t), "track quotas"));
  o.streamDone = static_cast<int32_t*>(CheckedMalloc(n * sizeof(int32_t), "track quotas"));
  std::memset(o.streamQuota, 0, n * sizeof(int32_t));
  SpreadTrackQuota(o.NTRACKS, 0, nStreamsCpu);
}

// --- Records --------------------------------------------------------------------

void ResetRecord(CTask& t, int32_t r) {
  t.nBanked = -1;
  t.maxBanked = -1;
  t.streamCursor = 0;
  t.state = kStateHistoryEnded;
  t.threadNo = r;
  t.fatalError.store(0, std::memory_order_relaxed);
  t.weight = 1.0;
  t.iForced = 0;
}

// Per-cell statistics of a record, zeroed (complex geometry with the option on).
void GiveCellStats(CTask& t) {
  const Constants& k = hostConstants;
  if (k.outputCellInteractionStats == 0 || k.nCells <= 0) return;
  const size_t bytes = static_cast<size_t>(k.nCells) * sizeof(INTERACTIONSTATS);
  t.cellStats = static_cast<INTERACTIONSTATS*>(CheckedMalloc(bytes, "cell-by-cell interaction statistics"));
  std::memset(t.cellStats, 0, bytes);
}

int BuildRecords() {
  tasks = new (std::nothrow) CTask[nThreads > 0 ? nThreads : 1];
  if (tasks == nullptr) AllocationFailed("thread data", static_cast<size_t>(nThreads) * sizeof(CTask));
  for (int32_t r = firstCpuTask; r < nThreads; ++r) {
    CTask& t = tasks[r];
    GiveCellStats(t);
    if (!AllocateTaskTallies(t, hostTallyTables, t.bank.wt != nullptr)) AllocationFailed("tally arrays", 0);
    if (trackOptions.NTRACKS > 0 && !AllocateTaskTracks(t)) AllocationFailed("track data", 0);
    const std::vector<int32_t> list = CpuStreamsOfWorker(r - firstCpuTask, nCpuTasks, nStreamsCpu);
    if (!AssignStreams(r, list.data(), static_cast<int32_t>(list.size()))) {
      AllocationFailed("stream list", list.size() * sizeof(int32_t));
    }
    ResetRecord(t, r);
  }
  return 0;
}

// --- Hand-over to the run ---------------------------------------------------------

void DiscardPendingKeys() {
  while (KeyPressed()) ReadKey();
}

}  // namespace

void HandOverToRun() {
  threadIndex.resize(static_cast<size_t>(nThreads));
  for (int32_t r = 0; r < nThreads; ++r) threadIndex[static_cast<size_t>(r)] = r;
  severalStreamsPerThread = nCpuTasks > 1 && nStreamsHost != nCpuTasks;
  runStartTime = SecondsSinceStart();
  ResetRunMonitor();
  if (compiler != nullptr) compiler->escPressed.store(0, std::memory_order_release);
  fflush(nullptr);
  BeginKeyMode();
  DiscardPendingKeys();
  redealStreams.store(0, std::memory_order_release);
  balanceStop.store(0, std::memory_order_release);
  endSimulation.store(0, std::memory_order_release);
  resultWriteFailed.store(0, std::memory_order_release);
}

std::vector<int32_t> CpuStreamsOfWorker(int32_t t, int32_t nWorkers, int32_t nStreams) {
  std::vector<int32_t> list;
  if (nWorkers <= 0) return list;
  for (int32_t s = t; s < nStreams && static_cast<int>(list.size()) < kMaxStreams; s += nWorkers) list.push_back(s);
  return list;
}

bool AssignStreams(int32_t r, const int32_t* streams, int32_t n) {
  CTask& t = tasks[r];
  if (!t.SetStreamList(streams, n)) return false;
  for (int32_t i = 0; i < n; ++i) {
    runStreams.streamControl[streams[i]].task = r;
    runStreams.streamControl[streams[i]].device = -1;
  }
  t.streamCursor = 0;
  return true;
}

void SpreadTrackQuota(int32_t tracks, int32_t firstStream, int32_t nStreams) {
  TRACKOPTIONS& o = trackOptions;
  if (nStreams <= 0 || o.streamQuota == nullptr) return;
  const int32_t q = tracks / nStreams;
  const int32_t rest = tracks % nStreams;
  for (int32_t i = 0; i < nStreams; ++i) {
    const int32_t s = firstStream + i;
    o.streamQuota[s] = q + (i < rest ? 1 : 0);
    o.streamDone[s] = 0;
  }
}

Status DivideWork() {
  if (int code = SettleCounts()) return code;
  NumberStreams();
  SettleTracks();
  return BuildRecords();
}

void ReleaseWorkDivision() {
  ReleaseTallySnapshots();
  for (int32_t r = 0; r < nThreads && tasks != nullptr; ++r) {
    FreeTaskTallies(tasks[r], hostTallyTables);
    if (tasks[r].trackData != nullptr) FreeTaskTracks(tasks[r]);
    std::free(tasks[r].cellStats);
    tasks[r].cellStats = nullptr;
  }
  delete[] tasks;
  tasks = nullptr;
  nThreads = 0;
  delete[] runStreams.streamControl;
  delete[] runStreams.randGens;
  runStreams.streamControl = nullptr;
  runStreams.randGens = nullptr;
  runStreams.nStreams_tot = 0;
  std::free(trackOptions.streamQuota);
  std::free(trackOptions.streamDone);
  trackOptions.streamQuota = nullptr;
  trackOptions.streamDone = nullptr;
  threadIndex.clear();
}
