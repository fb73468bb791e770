#include "driver/run/work_division.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/allocation.h"
#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "core/track_records.h"
#include "driver/build_variant.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/input_passes.h"
#include "driver/input/options.h"
#include "driver/progress_line.h"
#include "driver/results/tally_storage.h"
#include "driver/run/device_division.h"
#include "driver/run/run_monitor.h"
#include "driver/setup/geometry_reports.h"
#include "driver/setup/input_checks.h"
#include "geometry/tracker_arrays.h"
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
  if (run::nStreamsHost < run::nCpuTasks) {
    printf("Error: The number of random number streams (%d) is less than the number of threads (%d).\n",
           run::nStreamsHost, run::nCpuTasks);
    return 2;
  }
  run::nTasksTotal = run::nCpuTasks;
  if (run::nTasksTotal > kMaxTasks) {
    printf("Error: The total number of tasks %d is greater than %d.\n", run::nTasksTotal, kMaxTasks);
    return 1;
  }
  if (run::nTasksTotal == 0) {
    printf("Error: The total number of tasks is zero.\n");
    return 1;
  }
  if (run::nTasksTotal > N) run::nCpuTasks = core::nThreads = run::nTasksTotal = static_cast<int32_t>(N);
  if (core::runStreams.nStreams_tot > N)
    core::runStreams.nStreams_tot = run::nStreamsCpu = run::nStreamsHost = static_cast<int32_t>(N);
  if (run::nTasksTotal > core::runStreams.nStreams_tot) {
    printf("Error: The number of tasks exceeds the number of streams of random numbers (%d > %d).\n", run::nTasksTotal,
           core::runStreams.nStreams_tot);
    return 1;
  }
  return 0;
}

// --- Counts with device work (Trenqual_CUDA) -----------------------------------

// The used devices as slots: their tasks numbered after the CPU records, their
// counts checked, their streams taken from the CPU's, the banked-particle
// memory of the real ones.
Status SetUpDeviceSlots() {
  const RUNOPTIONS& o = input::runOptions;
  const DEVICESELECTION& sel = setup::deviceSelection;
  DEVICEDIVISION& v = run::deviceDivision;
  const Constants& k = core::hostConstants;
  const int64_t B = BankedParticleBytes(k.trackPos != 0, k.complexGeometry != 0, k.storeFreeMotionRadius != 0,
                                        k.interactionForcing != 0, o.heap_CUDA, o.maxBankedRatio_CUDA);
  int32_t task = core::nThreads;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    DEVICESLOT& slot = v.slot[d];
    slot.device = sel.used[d];
    slot.emulated = sel.emulated[slot.device];
    slot.firstTask = task;
    slot.nTasks = o.tasks_CUDA;
    slot.nThreads = o.threads_CUDA;
    task += o.tasks_CUDA;
    if (Status code = CheckDeviceTaskCounts(slot.nTasks, slot.nThreads, o.blockSize_CUDA)) return code;
    if (!slot.emulated) {
      if (Status code = SizeDeviceBank(slot, sel.globalMemory[slot.device], o.avgBanked_CUDA, B, o.heap_CUDA)) {
        return code;
      }
    }
    slot.nStreams = slot.nTasks * o.streams_CUDA;
    run::nStreamsCpu -= slot.nStreams;
    if (!slot.emulated) run::nStreamsHost -= slot.nStreams;
    if (run::nStreamsHost < run::nCpuTasks) {
      printf(
          "Error: The number of random number streams assigned to the CPU is less than the number of CPU threads "
          "(%d).\n",
          run::nCpuTasks);
      return kDeviceError;
    }
  }
  // The device streams follow the CPU streams, slot after slot.
  int32_t stream = run::nStreamsCpu;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    v.slot[d].firstStream = stream;
    stream += v.slot[d].nStreams;
  }
  return kOk;
}

// The GPU fraction of each slot: ratio_CUDA, all of it when the CPU has no
// worker or no stream, spread evenly or by the r_CUDA ratios.
void SetDeviceFractions() {
  const RUNOPTIONS& o = input::runOptions;
  const DEVICESELECTION& sel = setup::deviceSelection;
  DEVICEDIVISION& v = run::deviceDivision;
  const double R = run::nCpuTasks == 0 || run::nStreamsCpu == 0 ? 1.0 : o.ratio_CUDA;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    v.slot[d].fraction = o.nR_CUDA > 0 && sel.ratioSum > 0.0 ? sel.ratio[d] / sel.ratioSum * R : R / v.nDevices;
  }
}

// Trenqual_CUDA with device tasks: the counts, the split of the histories
// between the CPU and the device slots.
Status SettleDeviceCounts(int64_t N) {
  const RUNOPTIONS& o = input::runOptions;
  DEVICEDIVISION& v = run::deviceDivision;
  v = DEVICEDIVISION{};
  v.nDevices = setup::deviceSelection.nUsed;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (!setup::deviceSelection.emulated[setup::deviceSelection.used[d]]) v.nRealTasks += o.tasks_CUDA;
  }
  if (v.nRealTasks > 0) {
    run::firstCpuTask = 1;  // record 0 stays with the main thread, which drives the devices
    core::nThreads = run::nCpuTasks + 1;
  }
  if (Status code = SetUpDeviceSlots()) return code;
  if (run::nStreamsHost < run::nCpuTasks) {
    printf(
        "Error: The number of random number streams assigned to the CPU (%d) is less than the number of CPU threads "
        "(%d).\n",
        run::nStreamsHost, run::nCpuTasks);
    return kDeviceError;
  }
  const bool ringOnDevices = o.heap_CUDA == 2 && !setup::deviceSelection.allEmulated;
  run::nTasksTotal = run::nCpuTasks + v.nDevices * o.tasks_CUDA;
  if (run::nTasksTotal > kMaxTasks) {
    printf("Error: The total number of tasks %d is greater than %d.\n", run::nTasksTotal, kMaxTasks);
    return kInputError;
  }
  if (run::nTasksTotal > N && !ringOnDevices) {
    printf("Error: The total number of tasks exceeds the number of particles (%d > %lld).\n", run::nTasksTotal,
           static_cast<long long>(N));
    return kInputError;
  }
  if (core::runStreams.nStreams_tot > N && !ringOnDevices) {
    printf("Error: The total number of random number streams exceeds the number of particles (%d > %lld).\n",
           core::runStreams.nStreams_tot, static_cast<long long>(N));
    return kInputError;
  }
  if (run::nTasksTotal > core::runStreams.nStreams_tot) {
    printf("Error: The number of tasks exceeds the number of streams of random numbers (%d > %d).\n", run::nTasksTotal,
           core::runStreams.nStreams_tot);
    return kInputError;
  }
  SetDeviceFractions();
  if (Status code = SplitHistories(static_cast<uint64_t>(N), run::nCpuTasks, &run::hostParticleShare)) return code;
  core::runStreams.cpuParticleShare.store(v.cpuParticleShare, std::memory_order_release);
  if (Status code = CheckStreamShares(run::nStreamsCpu, o.heap_CUDA)) return code;
  return kOk;
}

int SettleCounts() {
  const int64_t N = input::runOptions.nParticles;
  run::nCpuTasks = input::runOptions.nThreads;
  core::nThreads = run::nCpuTasks;
  run::firstCpuTask = 0;
  core::runStreams.nStreams_tot = input::runOptions.nStreams;
  run::nStreamsCpu = run::nStreamsHost = core::runStreams.nStreams_tot;
  run::hostParticleShare = static_cast<uint64_t>(N);
  core::runStreams.cpuParticleShare.store(run::hostParticleShare, std::memory_order_release);
  run::deviceDivision = DEVICEDIVISION{};
  if (gpuBuild) {
    if (input::runOptions.tasks_CUDA != 0) return SettleDeviceCounts(N);
    return SettleCpuCounts(N);
  }
  run::nTasksTotal = run::nCpuTasks;
  if (core::nThreads > run::nStreamsCpu) {
    printf("Error: The number of threads exceeds the number of streams of random numbers (%d > %d).\n", core::nThreads,
           run::nStreamsCpu);
    return 1;
  }
  return 0;
}

// --- Streams and generators ---------------------------------------------------

// CPU stream s starts at history s and advances by the number of CPU streams.
// CPU stream s starts at history s and advances by the number of CPU streams;
// stream k of device slot d starts at the slot's first history + k and
// advances by the slot's stream count.
int NumberStreams() {
  const int32_t n = core::runStreams.nStreams_tot;
  core::runStreams.streamControl = new (std::nothrow) STREAMCONTROL[n > 0 ? n : 1];
  core::runStreams.randGens = new (std::nothrow) CRandGen[n > 0 ? n : 1];
  if (core::runStreams.streamControl == nullptr || core::runStreams.randGens == nullptr) {
    AllocationFailed("random-number streams", static_cast<size_t>(n) * (sizeof(STREAMCONTROL) + sizeof(CRandGen)));
  }
  for (int32_t s = 0; s < n; ++s) {
    core::runStreams.streamControl[s] = STREAMCONTROL{kStreamFinished, -1, static_cast<uint64_t>(s)};
    SeedStream(core::runStreams.randGens[s], s, input::runOptions.seed);
  }
  const DEVICEDIVISION& v = run::deviceDivision;
  uint64_t first = v.cpuParticleShare;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    const DEVICESLOT& slot = v.slot[d];
    for (int32_t k = 0; k < slot.nStreams; ++k) {
      // A real device's task j owns the streams first + j + i x nTasks.
      const int32_t owner = slot.emulated ? kStreamFinished : slot.firstTask + k % slot.nTasks;
      core::runStreams.streamControl[slot.firstStream + k] = STREAMCONTROL{owner, d, first + k};
    }
    core::runStreams.gpuParticleShare[d] = slot.historyLimit;
    core::runStreams.gpuStride[d] = static_cast<uint64_t>(slot.nStreams);
    first = slot.historyLimit;
  }
  core::runStreams.cpuStride = static_cast<uint64_t>(run::nStreamsCpu);
  core::hostConstants.nStreams_tot = n;
  return 0;
}

void SettleTracks() {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  TRACKOPTIONS& o = core::trackOptions;
  int64_t tracks = t.nTracks;
  if (tracks > static_cast<int64_t>(CpuParticleShare())) tracks = static_cast<int64_t>(CpuParticleShare());
  o.NTRACKS = static_cast<int32_t>(tracks);
  o.NCOLLISIONS_TRACK = t.nCollisionsTrack;
  o.SKIP_TRACKS_WITHOUT_COLLISIONS = static_cast<uint8_t>(t.skipTracksWithoutCollisions);
  o.MAXGEN_TRACKS = t.maxGenTracks;
  o.CHUNKSIZE_TRACKS = t.chunkSizeTracks < t.nCollisionsTrack ? t.chunkSizeTracks : t.nCollisionsTrack;
  o.blockSize = run::nCpuTasks > 0 ? static_cast<int32_t>((tracks + run::nCpuTasks - 1) / run::nCpuTasks) : 1;
  if (o.blockSize < 1) o.blockSize = 1;
  const size_t n = static_cast<size_t>(core::runStreams.nStreams_tot > 0 ? core::runStreams.nStreams_tot : 1);
  std::free(o.streamQuota);
  std::free(o.streamDone);
  o.streamQuota = static_cast<int32_t*>(CheckedMalloc(n * sizeof(int32_t), "track quotas"));
  o.streamDone = static_cast<int32_t*>(CheckedMalloc(n * sizeof(int32_t), "track quotas"));
  std::memset(o.streamQuota, 0, n * sizeof(int32_t));
  SpreadTrackQuota(o.NTRACKS, 0, run::nStreamsCpu);
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
  const Constants& k = core::hostConstants;
  if (k.outputCellInteractionStats == 0 || k.nCells <= 0) return;
  const size_t bytes = static_cast<size_t>(k.nCells) * sizeof(INTERACTIONSTATS);
  t.cellStats = static_cast<INTERACTIONSTATS*>(CheckedMalloc(bytes, "cell-by-cell interaction statistics"));
  std::memset(t.cellStats, 0, bytes);
}

int BuildRecords() {
  core::tasks = new (std::nothrow) CTask[core::nThreads > 0 ? core::nThreads : 1];
  if (core::tasks == nullptr) AllocationFailed("thread data", static_cast<size_t>(core::nThreads) * sizeof(CTask));
  const std::vector<int32_t> hostStreams = HostStreams(run::nStreamsCpu);
  // The tracker's arrays of a complex geometry: side bits for the most
  // surfaces of one voxel, one value per surface, nSmax_voxel crossings.
  const bool complex = core::hostConstants.complexGeometry != 0;
  const int32_t voxelSurfaces = complex ? 16 * TrackerSizes().nSideWords : 0;
  for (int32_t r = run::firstCpuTask; r < core::nThreads; ++r) {
    CTask& t = core::tasks[r];
    GiveCellStats(t);
    if (complex &&
        !AllocateTrackerWork(t.tracker, core::hostConstants.nSurfaces, voxelSurfaces, core::hostConstants.nSmax_voxel))
      AllocationFailed("tracker arrays", 0);
    if (!AllocateTaskTallies(t, core::hostTallyTables, t.bank.wt != nullptr)) AllocationFailed("tally arrays", 0);
    if (core::trackOptions.NTRACKS > 0 && !AllocateTaskTracks(t)) AllocationFailed("track data", 0);
    const std::vector<int32_t> list = HostStreamsOfWorker(hostStreams, r - run::firstCpuTask, run::nCpuTasks);
    if (!AssignStreams(r, list.data(), static_cast<int32_t>(list.size()))) {
      AllocationFailed("stream list", list.size() * sizeof(int32_t));
    }
    ResetRecord(t, r);
  }
  return 0;
}

// --- Real devices --------------------------------------------------------------------

constexpr int64_t kMaxBankCapacity = 2147483647;

// What the set-up kernels of slot d need.
CUDADEVICEWORK DeviceWork(const DEVICESLOT& slot) {
  const RUNOPTIONS& o = input::runOptions;
  CUDADEVICEWORK w;
  w.device = slot.device;
  w.heapMode = o.heap_CUDA;
  w.randType = o.rand_CUDA;
  w.nTasks = slot.nTasks;
  w.nThreads = slot.nThreads;
  w.blockSize = o.blockSize_CUDA;
  w.streamsPerTask = o.streams_CUDA;
  w.firstTask = slot.firstTask;
  w.firstStream = slot.firstStream;
  w.avgBanked = slot.avgBanked;
  w.bankCapacity = static_cast<int64_t>(slot.avgBanked) * slot.nTasks + (o.heap_CUDA == 2 ? 2 * slot.nThreads : 0);
  w.margin = slot.nThreads / 2 < 256 ? slot.nThreads / 2 : 256;
  w.maxBankedRatio = o.maxBankedRatio_CUDA;
  w.bankModeThr = o.bankModeThr_CUDA;
  w.share = slot.share;
  // Banking modes 0 and 1 hold the device's streams to the exclusive end of
  // its history numbers (the streams' numbers are absolute); the ring (mode 2)
  // counts the histories it hands out.
  w.lastParticle =
      o.heap_CUDA == 2 ? slot.share : core::runStreams.streamControl[slot.firstStream].nextParticle + slot.share;
  w.nGPUcycles = static_cast<uint64_t>(o.time_CUDA * 0.001 * setup::deviceSelection.clockRateHz[slot.device] + 1.0);
  w.perCellStats = core::hostConstants.outputCellInteractionStats != 0;
  return w;
}

PROGRESSLINE deviceSetupProgress;

void ShowDeviceStage(int32_t device, int32_t stage) {
  char text[128];
  snprintf(text, sizeof text,
           stage == kDeviceStageCopy ? "Copying the global data to CUDA device No. %d..."
                                     : "Initializing the thread and task data for CUDA device No. %d...",
           device + 1);
  deviceSetupProgress.Show(text);
}

// The problem copied to every real device and its task data set up, with the
// memory report.
Status SetUpRealDevices() {
  const DEVICEDIVISION& v = run::deviceDivision;
  const double A = input::runOptions.avgBanked_CUDA;
  if (v.nRealTasks == 0) return kOk;
  if (core::hostConstants.outputCellInteractionStats != 0) {
    const long long kB = static_cast<long long>(core::hostConstants.nCells) * input::runOptions.threads_CUDA *
                         static_cast<long long>(sizeof(INTERACTIONSTATS)) / 1024;
    printf(
        "Amount of global memory that will be allocated for cell-by-cell interaction statistics on each used CUDA "
        "device = %lld kB.\n",
        kB);
  }
  deviceSetupProgress = PROGRESSLINE{};
  bool reported = false;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    DEVICESLOT& slot = run::deviceDivision.slot[d];
    if (slot.emulated) continue;
    CUDADEVICEWORK w = DeviceWork(slot);
    slot.lastParticle = w.lastParticle;
    slot.margin = w.margin;
    slot.bankCapacity = w.bankCapacity;
    slot.clockRateHz = setup::deviceSelection.clockRateHz[slot.device];
    if (w.bankCapacity > kMaxBankCapacity) {
      printf("\nError: The required size of the CUDA device buffer for banked particles exceeds %d.\n",
             static_cast<int>(kMaxBankCapacity));
      return kDeviceError;
    }
    if (input::runOptions.stats_CUDA > 1 && !OpenDeviceStatsFile(input::filesFolder, d)) return kDeviceError;
    w.showStage = ShowDeviceStage;
    const uint64_t allocated = SetUpCudaDevice(w);
    deviceSetupProgress.Blank();
    if (A > 0.0 && !reported) {
      printf("Allocated global memory on each used CUDA device: %" PRIu64 " kB in total, %" PRIu64
             " kB for banked particles.\n",
             allocated / 1024, slot.bankMemory / 1024);
      reported = true;
    } else if (A <= 0.0) {
      printf("Device No. %d allocated global memory: %" PRIu64 " kB in total, %" PRIu64
             " kB for banked particles (average %d banked particles per task).\n",
             slot.device + 1, allocated / 1024, slot.bankMemory / 1024, slot.avgBanked);
    }
  }
  printf("\n");
  return kOk;
}

}  // namespace

namespace {

// --- Hand-over to the run ---------------------------------------------------------

void DiscardPendingKeys() {
  while (KeyPressed()) ReadKey();
}

}  // namespace

void HandOverToRun() {
  run::threadIndex.resize(static_cast<size_t>(core::nThreads));
  for (int32_t r = 0; r < core::nThreads; ++r) run::threadIndex[static_cast<size_t>(r)] = r;
  run::severalStreamsPerThread = run::nCpuTasks > 1 && run::nStreamsHost != run::nCpuTasks;
  run::runStartTime = SecondsSinceStart();
  ResetRunMonitor();
  if (language::compiler != nullptr) language::compiler->escPressed.store(0, std::memory_order_release);
  fflush(nullptr);
  BeginKeyMode();
  DiscardPendingKeys();
  run::redealStreams.store(0, std::memory_order_release);
  run::balanceStop.store(0, std::memory_order_release);
  run::endSimulation.store(0, std::memory_order_release);
  run::resultWriteFailed.store(0, std::memory_order_release);
}

std::vector<int32_t> CpuStreamsOfWorker(int32_t t, int32_t nWorkers, int32_t nStreams) {
  std::vector<int32_t> list;
  if (nWorkers <= 0) return list;
  for (int32_t s = t; s < nStreams && static_cast<int>(list.size()) < kMaxStreams; s += nWorkers) list.push_back(s);
  return list;
}

bool AssignStreams(int32_t r, const int32_t* streams, int32_t n) {
  CTask& t = core::tasks[r];
  if (!t.SetStreamList(streams, n)) return false;
  // A stream keeps its device slot: an emulated device's stream keeps the
  // slot's history numbers whoever serves it.
  for (int32_t i = 0; i < n; ++i) core::runStreams.streamControl[streams[i]].task = r;
  t.streamCursor = 0;
  return true;
}

void SpreadTrackQuota(int32_t tracks, int32_t firstStream, int32_t nStreams) {
  TRACKOPTIONS& o = core::trackOptions;
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
  if (Status code = BuildRecords()) return code;
  return SetUpRealDevices();
}

void ReleaseWorkDivision() {
  ReleaseTallySnapshots();
  for (int32_t r = 0; r < core::nThreads && core::tasks != nullptr; ++r) {
    FreeTaskTallies(core::tasks[r], core::hostTallyTables);
    if (core::tasks[r].trackData != nullptr) FreeTaskTracks(core::tasks[r]);
    std::free(core::tasks[r].cellStats);
    core::tasks[r].cellStats = nullptr;
  }
  delete[] core::tasks;
  core::tasks = nullptr;
  core::nThreads = 0;
  delete[] core::runStreams.streamControl;
  delete[] core::runStreams.randGens;
  core::runStreams.streamControl = nullptr;
  core::runStreams.randGens = nullptr;
  core::runStreams.nStreams_tot = 0;
  std::free(core::trackOptions.streamQuota);
  std::free(core::trackOptions.streamDone);
  core::trackOptions.streamQuota = nullptr;
  core::trackOptions.streamDone = nullptr;
  run::threadIndex.clear();
}
