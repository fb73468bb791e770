// The end of a run with simulated devices: each device runs its histories to
// the end with the scheduler and the device stages (real ENDF/B data), then
// the result totals read everything back. The merged tallies and statistics
// are the sums of the devices' arrays and of their threads' records; one
// device of one task and one thread gives that task's and thread's values;
// without a CPU worker the target record holds the first device task's state
// plus the summed tallies; an emulated device adds nothing; the device's
// photon tallies agree with a CPU worker's within 4 sigma.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "driver/input/options.h"
#include "driver/results/tally_storage.h"
#include "driver/run/device_division.h"
#include "driver/run/result_totals.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/run/run_summary.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_results.h"
#include "gpu/device_run_state.h"
#include "gpu/host_device.h"
#include "gpu/scheduler.h"
#include "tests/support/test_paths.h"
#include "tests/tallies/tally_fixture.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/photon_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

constexpr double kCuAtomsPerCm3 = 8.96 * 6.02214076e23 / 63.546;
constexpr double kLeadWidth = 1.0;  // cm

template <typename T>
std::vector<T> Download(const T* device, int64_t n) {
  std::vector<T> host(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0) DeviceDownload(host.data(), device, host.size() * sizeof(T));
  return host;
}

// One real device slot as the work division leaves it.
struct SLOTSPEC {
  int32_t nTasks;
  int32_t nThreads;
  int32_t blockSize;
  uint64_t share;
  bool emulated;
};

// Plane tallies of every class at z = 0 and z = w (two stacked planes),
// binned in energy; with the energy flux.
struct PLANETALLIES {
  TallyFixture f;
  // With pulseHeightBins > 0 also a pulse-height tally of the whole geometry
  // from 0 to eMax, with its energy sums.
  PLANETALLIES(double w, double eMax, int32_t pulseHeightBins = 0) {
    const int e = f.AddRange(kQuantityE, "E", 0.0, eMax, 7);
    for (int row = 0; row < kTallyClassCount; ++row) {
      PLANETALLY& t = f.AddPlane(row, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0), 2, w);
      f.Add1D(row, t, kQuantityE, e);
      f.Finish(row, t);
    }
    if (pulseHeightBins > 0) {
      PULSEHEIGHTTALLY ph{};
      ph.cell = -1;
      ph.ordinal = 1;
      ph.bins = pulseHeightBins;
      ph.lower = 0.0;
      ph.upper = eMax;
      ph.invWidth = pulseHeightBins / eMax;
      ph.eDeposition = 1;
      f.pulseHeight.push_back(ph);
    }
    f.Install();
  }
};

// The problem on the host side: elements, the device slots, the CPU records.
class DeviceResultsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int32_t r = 0; r < core::nThreads && core::tasks != nullptr; ++r) {
      FreeTaskTallies(core::tasks[r], core::hostTallyTables);
    }
    delete[] core::tasks;
    core::tasks = nullptr;
    core::nThreads = 0;
    run::deviceDivision = DEVICEDIVISION{};
    run::resultTotals = RESULTTOTALS{};
    run::nCpuTasks = 0;
    run::firstCpuTask = 0;
    run::nStreamsHost = 0;
    run::bufferOverflow.store(0);
    input::runOptions.heap_CUDA = 0;
    input::runOptions.stats_CUDA = 0;
    SimulateDevices(0);
    core::hostTallyTables = TALLYTABLES{};
  }

  // The device slots (slot d on device d), each real one set up and run to
  // its end in banking mode heapMode; nCpu CPU records from record 1.
  void RunDevices(const ELEMENTPOOL& pool, const std::vector<SLOTSPEC>& slots, int32_t heapMode, int32_t nCpu) {
    SimulateDevices(static_cast<int>(slots.size()));
    input::runOptions.heap_CUDA = heapMode;
    input::runOptions.maxBankedRatio_CUDA = 4.0;
    run::nCpuTasks = nCpu;
    run::firstCpuTask = 1;
    core::nThreads = nCpu + 1;
    core::tasks = new CTask[static_cast<size_t>(core::nThreads)];
    for (int32_t r = 1; r < core::nThreads; ++r) {
      ASSERT_TRUE(AllocateTaskTallies(core::tasks[r], core::hostTallyTables, false));
    }
    DEVICEDIVISION& v = run::deviceDivision;
    v = DEVICEDIVISION{};
    v.nDevices = static_cast<int32_t>(slots.size());
    int32_t task = core::nThreads;
    streams.assign(slots.size(), {});
    generators.assign(slots.size(), {});
    for (int32_t d = 0; d < v.nDevices; ++d) {
      const SLOTSPEC& spec = slots[static_cast<size_t>(d)];
      DEVICESLOT& slot = v.slot[d];
      slot.device = d;
      slot.emulated = spec.emulated;
      slot.firstTask = task;
      slot.nTasks = spec.nTasks;
      slot.nThreads = spec.nThreads;
      slot.nStreams = spec.nTasks;
      slot.avgBanked = 16;
      slot.share = spec.share;
      task += spec.nTasks;
      if (spec.emulated) continue;
      v.nRealTasks += spec.nTasks;
      SetUpDevice(pool, d, spec, heapMode);
      RunDevice(d, spec, heapMode);
    }
  }

  void SetUpDevice(const ELEMENTPOOL& pool, int32_t d, const SLOTSPEC& spec, int32_t heapMode) {
    SelectDevice(d);
    deviceAllocated[d] = 0;
    deviceMemoryLimit[d] = kSimulatedDeviceMemory;
    HOSTPROBLEM host;
    host.constants = &core::hostConstants;
    host.tallyTables = &core::hostTallyTables;
    host.elements = pool.elements;
    host.elementBytes = pool.bytes;
    host.nElements = pool.count;
    host.device = d;
    DEVICERUNSTATE& state = device_host::deviceRun[d];
    state.problem = DEVICEPROBLEM{};
    ASSERT_EQ(UploadProblem(host, &state.problem), -1);
    // Each device's streams count their histories from 0, seeded apart.
    std::vector<STREAMCONTROL>& control = streams[static_cast<size_t>(d)];
    std::vector<CRandGen>& gens = generators[static_cast<size_t>(d)];
    control.assign(static_cast<size_t>(spec.nTasks), STREAMCONTROL{});
    gens.assign(static_cast<size_t>(spec.nTasks), CRandGen{});
    for (int32_t s = 0; s < spec.nTasks; ++s) {
      control[static_cast<size_t>(s)] = STREAMCONTROL{s, d, static_cast<uint64_t>(s)};
      SeedStream(gens[static_cast<size_t>(s)], 100 * (d + 1) + s, 5);
    }
    DEVICETASKSETUP s;
    s.heapMode = heapMode;
    s.nTasks = spec.nTasks;
    s.nThreads = spec.nThreads;
    s.blockSize = spec.blockSize;
    s.avgBanked = 16;
    s.bankCapacity = static_cast<int64_t>(spec.nTasks) * s.avgBanked + (heapMode == kHeapRing ? 2 * spec.nThreads : 0);
    s.maxBankedRatio = 4.0;
    s.bankModeThr = 0.5;
    s.share = spec.share;
    s.lastParticle = spec.share;
    s.nGPUcycles = 1000000;
    s.streamsPerTask = 1;
    s.streamControl = control.data();
    s.randGens = gens.data();
    s.nStreams_tot = spec.nTasks;
    s.trackPos = core::hostConstants.trackPos != 0;  // the bank keeps the positions, as the run's options say
    s.tallyTables = &core::hostTallyTables;
    s.problem = &state.problem;
    InitialiseDeviceTasks(s, &state.taskData);
  }

  static void RunDevice(int32_t d, const SLOTSPEC& spec, int32_t heapMode) {
    const DEVICETASKDATA& data = device_host::deviceRun[d].taskData;
    for (int launches = 0; launches < 1000000; ++launches) {
      SelectDevice(d);
      ASSERT_EQ(ThreadFunc2(false, spec.nThreads / spec.blockSize, spec.blockSize), kDeviceSuccess);
      if (heapMode == kHeapRing) {
        const DEVICESTATUSRING st = Download(static_cast<const DEVICESTATUSRING*>(data.status), 1)[0];
        ASSERT_EQ(st.error, 0);
        if (st.nFinishedSourceTracks >= spec.share && st.nextReadPos >= st.nextWritePos) return;
      } else {
        const DEVICESTATUS st = Download(static_cast<const DEVICESTATUS*>(data.status), 1)[0];
        ASSERT_EQ(st.error, 0);
        if (st.nActStreams == 0) return;
      }
    }
    FAIL() << "device " << d << " did not finish";
  }

  std::vector<std::vector<STREAMCONTROL>> streams;
  std::vector<std::vector<CRandGen>> generators;
};

std::vector<DEVICETASK> DownloadTasks(const DEVICETASKDATA& data, int32_t n) {
  std::vector<DEVICETASK> tasks(static_cast<size_t>(n));
  DeviceDownload(tasks.data(), data.tasks, tasks.size() * sizeof(DEVICETASK));
  return tasks;
}

// The statistics of every thread of the real devices, summed slot by slot
// (counts as integers), and the deposits their tasks still hold.
struct THREADSUMS {
  INTERACTIONSTATS sum{};
  double leftOver = 0.0;
};

THREADSUMS SumOfThreads() {
  THREADSUMS t;
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (v.slot[d].emulated) continue;
    SelectDevice(v.slot[d].device);
    const DEVICETASKDATA& data = device_host::deviceRun[v.slot[d].device].taskData;
    for (const CThread2& thread : Download(data.threads, v.slot[d].nThreads)) {
      const INTERACTIONSTATS s = Download(thread.stats, 1)[0];
      for (int i = 0; i < statslot::kSlotCount; ++i) {
        if (IsCountSlot(i)) {
          t.sum.slot[i].n += s.slot[i].n;
        } else {
          t.sum.slot[i].e += s.slot[i].e;
        }
      }
      EXPECT_EQ(s.slot[statslot::eHistoryDeposit].e, 0.0);  // the tasks' between steps
    }
    for (const DEVICETASK& task : DownloadTasks(data, v.slot[d].nTasks)) t.leftOver += task.control.historyDeposit;
  }
  return t;
}

// A 1-D table of a record: class row, slot s, counts and energy sums.
struct TABLE {
  std::vector<int64_t> counts;
  std::vector<double> energies;
};

TABLE HostTable(const CTask& t, int row, int32_t s) {
  const int64_t n = 2 * static_cast<int64_t>(core::hostTallyTables.oneDimHalf[row][s]);
  return TABLE{std::vector<int64_t>(t.oneDimTallies[row][s], t.oneDimTallies[row][s] + n),
               std::vector<double>(t.oneDimTallies_E[row][s], t.oneDimTallies_E[row][s] + n)};
}

// The same table summed over the real devices' arrays.
TABLE DevicesTable(int row, int32_t s) {
  const int64_t n = 2 * static_cast<int64_t>(core::hostTallyTables.oneDimHalf[row][s]);
  TABLE sum{std::vector<int64_t>(static_cast<size_t>(n), 0), std::vector<double>(static_cast<size_t>(n), 0.0)};
  const DEVICEDIVISION& v = run::deviceDivision;
  for (int32_t d = 0; d < v.nDevices; ++d) {
    if (v.slot[d].emulated) continue;
    SelectDevice(v.slot[d].device);
    const DEVICETALLIES& dt = device_host::deviceRun[v.slot[d].device].problem.tallies;
    const std::vector<int64_t> c = Download(dt.oneDimCounts[row][static_cast<size_t>(s)], n);
    const std::vector<double> e = Download(dt.oneDimEnergies[row][static_cast<size_t>(s)], n);
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
      sum.counts[i] += c[i];
      sum.energies[i] += e[i];
    }
  }
  return sum;
}

// Every table of the target equals the CPU tables taken before plus the
// devices' sums (energies to rounding).
void ExpectTargetIsCpuPlusDevices(const CTask& target, const std::vector<TABLE>& cpuBefore) {
  size_t at = 0;
  for (int row = 0; row < kTallyClassCount; ++row) {
    for (int32_t s = 0; s < core::hostTallyTables.nOneDimSlots[row]; ++s, ++at) {
      const TABLE merged = HostTable(target, row, s);
      const TABLE devices = DevicesTable(row, s);
      for (size_t i = 0; i < merged.counts.size(); ++i) {
        const int64_t cpu = at < cpuBefore.size() ? cpuBefore[at].counts[i] : 0;
        const double cpuE = at < cpuBefore.size() ? cpuBefore[at].energies[i] : 0.0;
        EXPECT_EQ(merged.counts[i], cpu + devices.counts[i]) << "class " << row << " slot " << s << " entry " << i;
        EXPECT_NEAR(merged.energies[i], cpuE + devices.energies[i],
                    1e-9 * std::fabs(cpuE + devices.energies[i]) + 1e-6);
      }
    }
  }
}

void ExpectStatsOfThreads(const INTERACTIONSTATS& total, const THREADSUMS& threads) {
  for (int i = 0; i < statslot::nElectronsAll; ++i) {
    if (i == statslot::eAbsorbed) {
      EXPECT_NEAR(total.slot[i].e, threads.sum.slot[i].e + threads.leftOver, 1e-12 * total.slot[i].e) << "slot " << i;
    } else if (IsCountSlot(i)) {
      EXPECT_EQ(total.slot[i].n, threads.sum.slot[i].n) << "slot " << i;
    } else {
      EXPECT_EQ(total.slot[i].e, threads.sum.slot[i].e) << "slot " << i;
    }
  }
}

}  // namespace

// Two real devices of several tasks and threads, photons and electrons, in
// the per-task banking mode and in the ring: the merged tallies are the sums
// of the devices' arrays, the statistics the sums of the threads' records,
// the histories the devices' shares.
TEST_F(DeviceResultsTest, MergedTotalsAreTheSumsOfTheDevicesRecords) {
  struct CASE {
    const char* name;
    bool electrons;
    int32_t heapMode;
  } cases[] = {{"photons, per-task stacks", false, 1},
               {"photons, ring", false, kHeapRing},
               {"electrons, per-task stacks", true, 1}};
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.name);
    PHOTONPROBLEM photons;
    ELECTRONPROBLEM electrons;
    const ELEMENTPOOL* pool = nullptr;
    if (c.electrons) {
      const int z[1] = {29};
      const double one[1] = {1.0};
      electrons.comptonProfiles = true;
      ASSERT_TRUE(SetElectronProblem(electrons, z, one, 1, kCuAtomsPerCm3, 0.05, 1e6, 1e4, 1e4, 0.0));
      SetPhotonOptions(electrons.elements, electrons.nElements);
      core::hostConstants.part = kElectron;
      core::hostConstants.trackPhotonProducedElectrons = 1;
      pool = &electrons.pool;
    } else {
      ASSERT_TRUE(LoadPhotonElements(photons, {82}, {1.0}));
      SetPhotonRun(photons, 662e3, kLeadWidth, 3.3e22, 0);
      pool = &photons.pool;
    }
    PLANETALLIES tallies(c.electrons ? 0.05 : kLeadWidth, 1.1e6);
    RunDevices(*pool, {{8, 4, 2, 120, false}, {4, 4, 4, 90, false}}, c.heapMode, 0);
    const THREADSUMS threads = SumOfThreads();
    ComputeResultTotals();
    const RESULTTOTALS& r = run::resultTotals;
    ASSERT_EQ(r.target, &core::tasks[0]);
    ExpectTargetIsCpuPlusDevices(*r.target, {});
    ExpectStatsOfThreads(r.stats, threads);
    EXPECT_EQ(r.deviceHistories[0], 120u);
    EXPECT_EQ(r.deviceHistories[1], 90u);
    EXPECT_EQ(r.allHistories, 210u);
    EXPECT_EQ(r.cpuHistories, 0u);
    EXPECT_EQ(r.invHistories, 1.0 / 210.0);
    if (!c.electrons) {
      // Every source photon's energy is absorbed, escapes or is cut off: in
      // the ring the deposits that tasks still hold complete the absorbed energy.
      const STATSLOT* t = r.stats.slot;
      const double accounted = t[statslot::eAbsorbed].e + t[statslot::ePhotonEscapes].e + t[statslot::ePhotonCutoff].e;
      EXPECT_NEAR(accounted, 210 * 662e3, 1e-9 * 210 * 662e3);
      if (c.heapMode == kHeapRing) {
        EXPECT_GT(threads.leftOver, 0.0);
      }
    }
    ASSERT_EQ(r.deviceTasks.size(), 12u);
    // The task table is each task's own fields; the largest banks come from it.
    int32_t largest[2] = {-1, -1};
    for (int32_t d = 0; d < 2; ++d) {
      SelectDevice(d);
      for (int32_t j = 0; j < run::deviceDivision.slot[d].nTasks; ++j) {
        auto task = std::make_unique<DEVICETASK>();
        DeviceDownload(task.get(), &device_host::deviceRun[d].taskData.tasks[j], sizeof(DEVICETASK));
        const DEVICETASKENTRY& e = r.deviceTasks[static_cast<size_t>(d * 8 + j)];
        EXPECT_EQ(e.nBanked, task->t.nBanked);
        EXPECT_EQ(e.nStreams, task->control.nStreams);
        EXPECT_EQ(e.streamCursor, task->control.streamCursor);
        EXPECT_EQ(e.maxBanked, task->control.maxSlots);
        EXPECT_EQ(e.fatalError, 0);
        if (task->control.maxSlots > largest[d]) largest[d] = task->control.maxSlots;
      }
    }
    EXPECT_EQ(r.maxBankedOfDevice[0], largest[0]);
    EXPECT_EQ(r.maxBankedOfDevice[1], largest[1]);
    if (c.heapMode == 1 && !c.electrons) {
      EXPECT_GT(largest[0], 0);  // photons in lead bank their secondaries
    }
    TearDown();
  }
}

// One device of one task and one thread, no CPU worker: the totals are that
// thread's record, the tallies the device's arrays, and the target record
// (record 0, which the main thread keeps) holds the task's state.
TEST_F(DeviceResultsTest, OneTaskOnOneThreadWithoutCpuWorkerGivesThatTaskAndThread) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 662e3, kLeadWidth, 3.3e22, 0);
  PLANETALLIES tallies(kLeadWidth, 7e5);
  RunDevices(p.pool, {{1, 1, 1, 50, false}}, 1, 0);
  SelectDevice(0);
  const DEVICETASKDATA& data = device_host::deviceRun[0].taskData;
  const CThread2 thread = Download(data.threads, 1)[0];
  const INTERACTIONSTATS own = Download(thread.stats, 1)[0];
  auto task = std::make_unique<DEVICETASK>();
  DeviceDownload(task.get(), &data.tasks[0], sizeof(DEVICETASK));

  ComputeResultTotals();
  const RESULTTOTALS& r = run::resultTotals;
  ASSERT_EQ(r.target, &core::tasks[0]);
  const CTask& target = *r.target;
  EXPECT_EQ(target.threadNo, task->control.taskNo);
  EXPECT_EQ(target.nBanked, task->t.nBanked);
  EXPECT_EQ(target.maxBanked, task->control.maxSlots);
  EXPECT_EQ(target.state, task->t.state);
  EXPECT_EQ(target.iStream, task->t.iStream);
  EXPECT_EQ(target.streamCursor, task->control.streamCursor);
  EXPECT_EQ(target.E, task->t.E);
  EXPECT_EQ(target.kind, task->t.kind);
  EXPECT_EQ(target.cell, nullptr);  // the device's addresses stay on the device
  ExpectTargetIsCpuPlusDevices(target, {});
  EXPECT_EQ(own.slot[statslot::nHistoriesDone].n, 50u);
  for (int i = 0; i < statslot::nElectronsAll; ++i) {
    if (i == statslot::eAbsorbed || i == statslot::eHistoryDeposit) continue;
    EXPECT_EQ(std::memcmp(&r.stats.slot[i], &own.slot[i], sizeof(STATSLOT)), 0) << "slot " << i;
  }
  // One thread ends every history it runs: nothing is left over.
  EXPECT_EQ(r.stats.slot[statslot::eAbsorbed].e, own.slot[statslot::eAbsorbed].e);
  EXPECT_EQ(r.deviceTasks.size(), 1u);
  EXPECT_EQ(r.maxBanked, task->control.maxSlots);
  EXPECT_EQ(r.allHistories, 50u);
}

// Per-cell statistics: each thread's cell records go whole into the cell's
// total and, without the source and escape slots, into the overall total.
TEST_F(DeviceResultsTest, ThreadCellRecordsGoIntoTheCellTotalsAndPartlyIntoTheOverallOne) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 662e3, kLeadWidth, 3.3e22, 0);
  PLANETALLIES tallies(kLeadWidth, 7e5);
  RunDevices(p.pool, {{4, 2, 1, 40, false}}, 1, 0);
  const THREADSUMS threads = SumOfThreads();
  // Two cells; each thread's records of them hold (thread + 1) x (cell + 1)
  // in every slot, read as a count or as an energy by the slot's kind.
  constexpr int32_t kCells = 2;
  CELL cells[kCells] = {p.cell, p.cell};
  core::hostConstants.cell = cells;
  core::hostConstants.nCells = kCells;
  core::hostConstants.outputCellInteractionStats = 1;
  SelectDevice(0);
  const DEVICETASKDATA& data = device_host::deviceRun[0].taskData;
  std::vector<CThread2> records = Download(data.threads, 2);
  for (int32_t i = 0; i < 2; ++i) {
    INTERACTIONSTATS made[kCells];
    for (int32_t c = 0; c < kCells; ++c) {
      const uint64_t v = static_cast<uint64_t>((i + 1) * (c + 1));
      for (int j = 0; j < statslot::kSlotCount; ++j) {
        if (IsCountSlot(j)) {
          made[c].slot[j].n = v;
        } else {
          made[c].slot[j].e = 0.5 * static_cast<double>(v);
        }
      }
    }
    records[static_cast<size_t>(i)].cellStats = DeviceCopyOf(made, kCells);
  }
  DeviceUpload(data.threads, records.data(), records.size() * sizeof(CThread2));
  ComputeResultTotals();
  const RESULTTOTALS& r = run::resultTotals;
  ASSERT_EQ(r.cellStats.size(), 2u);
  // Thread 0 gives 1 and 2, thread 1 gives 2 and 4: cell 0 sums 3, cell 1 sums 6.
  EXPECT_EQ(r.cellStats[0].slot[statslot::nCompton].n, 3u);
  EXPECT_EQ(r.cellStats[1].slot[statslot::nSourcePhotons].n, 6u);
  EXPECT_EQ(r.cellStats[1].slot[statslot::ePhotonEscapes].e, 3.0);
  // Overall: the threads' own records plus 9 in every slot the cells add to.
  EXPECT_EQ(r.stats.slot[statslot::nCompton].n, threads.sum.slot[statslot::nCompton].n + 9u);
  EXPECT_EQ(r.stats.slot[statslot::eCompton].e, threads.sum.slot[statslot::eCompton].e + 4.5);
  for (int j :
       {statslot::eSourceElectrons, statslot::eSourcePhotons, statslot::nSourceElectrons, statslot::nSourcePhotons,
        statslot::nPhotonEscapes, statslot::nElectronEscapes, statslot::ePhotonEscapes, statslot::eElectronEscapes}) {
    EXPECT_EQ(std::memcmp(&r.stats.slot[j], &threads.sum.slot[j], sizeof(STATSLOT)), 0) << "slot " << j;
  }
  EXPECT_EQ(r.nStatsObjects, 2);
  core::hostConstants.cell = &p.cell;
  core::hostConstants.nCells = 0;
  core::hostConstants.outputCellInteractionStats = 0;
}

// Slot 0 emulated (its tasks were served by the CPU workers), slot 1 real:
// the totals hold the real device's results alone.
TEST_F(DeviceResultsTest, AnEmulatedDeviceAddsNothing) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 662e3, kLeadWidth, 3.3e22, 0);
  PLANETALLIES tallies(kLeadWidth, 7e5);
  RunDevices(p.pool, {{4, 2, 2, 1000, true}, {4, 2, 2, 60, false}}, 1, 1);
  const THREADSUMS threads = SumOfThreads();
  ComputeResultTotals();
  const RESULTTOTALS& r = run::resultTotals;
  ASSERT_EQ(r.target, &core::tasks[1]);  // the CPU worker's record
  ExpectTargetIsCpuPlusDevices(*r.target, {});
  ExpectStatsOfThreads(r.stats, threads);
  EXPECT_EQ(r.deviceHistories[0], 0u);
  EXPECT_EQ(r.deviceHistories[1], 60u);
  EXPECT_EQ(r.allHistories, 60u);
  EXPECT_EQ(r.deviceTasks.size(), 4u);
  EXPECT_EQ(r.maxBankedOfDevice[0], -1);
}

// Photons of 662 keV through 1 cm of lead: the device's tallies at the front
// and back faces agree bin by bin with a CPU worker's within 4 sigma; the
// merged tallies are the CPU's plus the device's, the shares add up.
TEST_F(DeviceResultsTest, DevicePhotonTalliesAgreeWithTheCpuWorker) {
  constexpr uint64_t kN = 20000;
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 662e3, kLeadWidth, 3.3e22, kN);
  PLANETALLIES tallies(kLeadWidth, 7e5, 14);
  RunDevices(p.pool, {{16, 8, 4, kN, false}}, 1, 1);
  // The CPU worker: record 1 on the fixture's stream.
  CTask& cpu = core::tasks[1];
  GiveStreams(cpu, 0, 1, 1);
  cpu.RunHistories();
  ASSERT_EQ(cpu.fatalError.load(), 0);
  const int32_t phBins = core::hostTallyTables.pulseHeightTally[0].bins;
  const std::vector<int64_t> cpuPulses(cpu.pulseHeightHist[0], cpu.pulseHeightHist[0] + phBins);
  std::vector<TABLE> cpuTables;
  for (int row = 0; row < kTallyClassCount; ++row) {
    for (int32_t s = 0; s < core::hostTallyTables.nOneDimSlots[row]; ++s) cpuTables.push_back(HostTable(cpu, row, s));
  }
  ComputeResultTotals();
  const RESULTTOTALS& r = run::resultTotals;
  ASSERT_EQ(r.target, &cpu);
  ExpectTargetIsCpuPlusDevices(cpu, cpuTables);
  EXPECT_EQ(r.cpuHistories, kN);
  EXPECT_EQ(r.deviceHistories[0], kN);
  EXPECT_EQ(r.allHistories, 2 * kN);
  EXPECT_EQ(r.invHistories, 0.5 / kN);

  // Photons (class 1), both planes: counts per bin, both directions.
  const int row = kPhotonTallies;
  int64_t compared = 0;
  for (int32_t s = 0; s < core::hostTallyTables.nOneDimSlots[row]; ++s) {
    const TABLE& a = cpuTables[static_cast<size_t>(core::hostTallyTables.nOneDimSlots[0] + s)];
    const TABLE devices = DevicesTable(row, s);
    for (size_t i = 0; i < a.counts.size(); ++i) {
      // The second half holds the crossings against the normal, counted negative.
      const double x = static_cast<double>(a.counts[i]), y = static_cast<double>(devices.counts[i]);
      const double sigma = std::sqrt(std::fabs(x) + std::fabs(y));
      EXPECT_LE(std::fabs(x - y), 4.0 * sigma + 1.0) << "slot " << s << " bin " << i << ": " << x << " / " << y;
      compared += std::llabs(a.counts[i]) + std::llabs(devices.counts[i]);
    }
  }
  EXPECT_GT(compared, static_cast<int64_t>(kN) / 2);

  // The pulse heights of the histories, 50 keV bins: every history counts
  // once; the device's spectrum (its task moves from thread to thread while
  // the history deposits) agrees with the CPU worker's.
  SelectDevice(0);
  const std::vector<int64_t> devicePulses =
      Download(device_host::deviceRun[0].problem.tallies.pulseHeightCounts[0], phBins);
  int64_t cpuCounted = 0, deviceCounted = 0;
  for (int32_t i = 0; i < phBins; ++i) {
    const double x = static_cast<double>(cpuPulses[static_cast<size_t>(i)]);
    const double y = static_cast<double>(devicePulses[static_cast<size_t>(i)]);
    EXPECT_LE(std::fabs(x - y), 4.0 * std::sqrt(x + y) + 1.0) << "pulse-height bin " << i << ": " << x << " / " << y;
    EXPECT_EQ(r.target->pulseHeightHist[0][i],
              cpuPulses[static_cast<size_t>(i)] + devicePulses[static_cast<size_t>(i)]);
    cpuCounted += cpuPulses[static_cast<size_t>(i)];
    deviceCounted += devicePulses[static_cast<size_t>(i)];
  }
  EXPECT_GT(cpuCounted, static_cast<int64_t>(kN) / 2);  // histories that deposit anything at all
  EXPECT_LE(deviceCounted, static_cast<int64_t>(kN));   // a third leaves through the back unscattered
}

namespace {

// The text against golden file tests/gpu/golden/<name> (written instead when
// TQ_REGENERATE_GOLDEN is set): empty when equal, else where they part.
std::string CompareWithGolden(const std::string& text, const std::string& name) {
  const std::string path = std::string(DEVICE_GOLDEN_DIR) + name;
  if (std::getenv("TQ_REGENERATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << text;
    return "";
  }
  std::ifstream in(path, std::ios::binary);
  std::stringstream golden;
  golden << in.rdbuf();
  const std::string g = golden.str();
  if (g == text) return "";
  size_t at = 0;
  while (at < g.size() && at < text.size() && g[at] == text[at]) ++at;
  return "differs from " + path + " at byte " + std::to_string(at) + ":\n--- golden ---\n" + g.substr(at, 300) +
         "\n--- actual ---\n" + text.substr(at, 300);
}

// A device's accumulator after some launches, with round figures.
CDeviceStats MadeUpDeviceStats(double scale) {
  CDeviceStats s;
  s.nThreads = 64;
  s.nBlocks = 2;
  s.clockRate = 1.5e9;
  s.nActiveLaunches = 40;
  s.nFullLaunches = 3;
  s.cyclesSum = 3.0 * 64 * 1.2e6 * scale;
  s.cyclesSquares = 3.0 * 64 * 1.2e6 * 1.2e6 * scale * scale * 1.01;
  s.delaySum = 3.0 * 64 * 150.0;
  s.delaySquares = 3.0 * 64 * 150.0 * 150.0 * 1.2;
  s.loadSum = 3 * 0.9;
  s.loadSquares = 3 * 0.81 * 1.001;
  s.busySum = 3 * 0.8;
  s.busySquares = 3 * 0.64 * 1.002;
  s.kernelSeconds = 0.0024 * scale;
  s.roundSeconds = 0.003;
  return s;
}

CUDA_STATS MadeUpCounters(unsigned long long threadCycles) {
  CUDA_STATS c{};
  for (int k = 0; k < kCudaStatsSlots; ++k) c.slot[k] = static_cast<unsigned long long>(k) * 10000000ull;
  c.slot[52] = threadCycles;
  return c;
}

}  // namespace

// The run summary of Trenqual_CUDA with two real devices beside CPU workers:
// the summary line (per-task stacks with a buffer overflow; the ring, with
// the CPU's largest bank), the CPU's share, each device's block and the time
// ratios, against a golden copy; the shares of the CPU and the devices add
// up to the history count.
TEST_F(DeviceResultsTest, SummaryShowsTheSharesAndTheDeviceBlocks) {
  SetSimpleProblem();
  std::string console;
  for (int32_t heapMode : {1, kHeapRing}) {
    SimulateDevices(2);
    DEVICEDIVISION& v = run::deviceDivision;
    v = DEVICEDIVISION{};
    v.nDevices = 2;
    v.nRealTasks = 2 * 32;
    for (int32_t d = 0; d < 2; ++d) {
      DEVICESLOT& slot = v.slot[d];
      slot.device = d;
      slot.nTasks = 32;
      slot.nThreads = 64;
      slot.avgBanked = 20;
      SelectDevice(d);
      deviceAllocated[d] = 0;
      deviceMemoryLimit[d] = kSimulatedDeviceMemory;
      const CUDA_STATS counters = MadeUpCounters(d == 0 ? 6000000000ull : 0ull);
      device_host::deviceRun[d].taskData.cudaStats = DeviceCopyOf(&counters, 1);
      // Device 2's launches found nothing to do: no time figures.
      device_host::deviceRun[d].stats = d == 0 ? MadeUpDeviceStats(1.0) : CDeviceStats{};
    }
    input::runOptions.heap_CUDA = heapMode;
    input::runOptions.stats_CUDA = 1;
    input::runOptions.maxBankedRatio_CUDA = 2.5;
    run::nCpuTasks = 3;
    run::nStreamsHost = 12;
    run::runElapsedTime = 2.5;
    run::kernelTime = 2.0;
    run::cpuTime = 1.25;
    run::lastLineLength = 10;
    run::bufferOverflow.store(heapMode == 1 ? 1 : 0);
    RESULTTOTALS& r = run::resultTotals;
    r = RESULTTOTALS{};
    r.deviceWork = true;
    r.cpuHistories = 400;
    r.deviceHistories[0] = 350;
    r.deviceHistories[1] = 250;
    r.allHistories = 1000;
    r.invHistories = 1.0 / 1000.0;
    r.maxBankedCpu = 12;
    r.maxBankedOfDevice[0] = 30;
    r.maxBankedOfDevice[1] = 21;
    r.maxBanked = 30;
    testing::internal::CaptureStdout();
    EXPECT_EQ(WriteRunSummary(), 0);
    console += testing::internal::GetCapturedStdout();
    for (int32_t d = 0; d < 2; ++d) {
      SelectDevice(d);
      DeviceRelease(device_host::deviceRun[d].taskData.cudaStats);
      device_host::deviceRun[d] = DEVICERUNSTATE{};
    }
  }
  EXPECT_NE(console.find("= 400 / 1000 (40.00%)."), std::string::npos);
  EXPECT_NE(console.find("= 350 / 1000 (35.00%)."), std::string::npos);
  EXPECT_NE(console.find("= 250 / 1000 (25.00%)."), std::string::npos);
  EXPECT_EQ(CompareWithGolden(console, "device_summary_console.txt"), "");
}
