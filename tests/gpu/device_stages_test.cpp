// The stages of a device task against the CPU worker's history loop with real
// ENDF/B data: one task on the host-simulated device, driven from state to
// state by its next-state field, follows the very particles a CPU worker
// follows with the same random-number stream (every step's kind, energy,
// position and direction, and the interaction statistics, bit for bit), in
// the simple geometry's layer and in a slab of cells. Then the bank protocol:
// the pool's limits and the ring's order, and the fatal-error path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "geometry/cell_location.h"
#include "geometry/geometry_tables.h"
#include "geometry/tracker_arrays.h"
#include "gpu/device_globals.h"
#include "gpu/device_runtime.h"
#include "gpu/device_stages.h"
#include "gpu/host_device.h"
#include "gpu/setup_kernels.h"
#include "tests/geometry/geometry_test_world.h"
#include "tests/transport/cell_slab.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/photon_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

constexpr double kCuAtomsPerCm3 = 8.96 * 6.02214076e23 / 63.546;

// What a step starts with.
struct STEP {
  uint8_t kind;
  double E;
  VECTOR pos;
  VECTOR dir;
  double weight;
  bool operator==(const STEP& o) const {
    return kind == o.kind && E == o.E && pos.x == o.pos.x && pos.y == o.pos.y && pos.z == o.pos.z && dir.x == o.dir.x &&
           dir.y == o.dir.y && dir.z == o.dir.z && weight == o.weight;
  }
};

STEP StepOf(const TASKSTATE& t) { return STEP{t.kind, t.E, t.pc.pos, t.pc.dir, t.weight}; }

std::vector<STEP> cpuSteps;

int32_t RecordingStep(CTask& t) {
  cpuSteps.push_back(StepOf(t));
  return IsPhoton(t.kind) ? t.PhotonStep() : t.ElectronStep();
}

// The entry of the beam from (0, 0, -1) along +z, as the set-up finds it.
void SetBeamEntry(TrackerWork& work) {
  auto probe = std::make_unique<TASKSTATE>();
  probe->tracker = work;
  ASSERT_TRUE(StoreBeamEntry(*probe, Init(0, 0, -1), Init(0, 0, 1)));
}

// One device task on simulated device 0 with its own streams, pool, staging
// stack, thread record and status record (banking mode 0 or 2).
struct DEVICERUN {
  std::unique_ptr<DEVICETASK> task = std::make_unique<DEVICETASK>();
  CThread2 thread{};
  INTERACTIONSTATS stats{};
  std::vector<INTERACTIONSTATS> cellStats;
  DEVICESTATUS status{};
  DEVICESTATUSRING ring{};
  unsigned long long lastParticle = 0;
  int32_t margin = 0;
  std::vector<STREAMCONTROL> control;
  std::vector<CRandGen> generators;
  int32_t streamList[1] = {0};
  std::vector<int64_t> slots;
  // Pool and staging arrays.
  std::vector<double> en, wt, sEn, sWt, maxRadius, sMaxRadius;
  std::vector<uint8_t> p, org, sP, sOrg;
  std::vector<int16_t> iForced, cellIndex, sIForced, sCellIndex;
  std::vector<int32_t> voxelIndex, sVoxelIndex, taskBanked;
  std::vector<PARTICLECOORD> pc, sPc;
  std::vector<VECTOR> centerFree, sCenterFree;
  int32_t blockStop = 0;

  // N histories on one stream whose generator is `generator` (not yet used).
  DEVICERUN(int32_t heapMode, int64_t poolSlots, int32_t maxAllowed, uint64_t N, const CRandGen& generator) {
    SimulateDevices(1);
    EXPECT_EQ(SetDevice(0), kDeviceSuccess);
    const Constants& k = core::hostConstants;
    TASKGLOBALS& g = TaskGlobals();
    g = TASKGLOBALS{};
    SetSchedulingTables(g);
    g.heap_CUDA = heapMode;
    g.rand_CUDA = 1;
    g.nTasks = 1;
    g.nStreams_device = 1;
    g.maxBanked_tot = poolSlots;
    g.maxBanked_allowed = maxAllowed;
    g.tasks = task.get();
    lastParticle = N;
    g.lastParticle = &lastParticle;
    margin = 0;
    g.margin_CUDA = &margin;
    if (heapMode == kHeapRing) {
      PointStatus(g.status, &ring, heapMode);
    } else {
      status.nActStreams = 1;
      PointStatus(g.status, &status, heapMode);
    }
    control.assign(1, STREAMCONTROL{0, 0, 0});
    generators.assign(1, generator);
    DeviceStreams() = DEVICESTREAMS{control.data(), generators.data(), 1};

    const size_t n = static_cast<size_t>(poolSlots);
    en.resize(n), p.resize(n), org.resize(n), taskBanked.assign(n, 0);
    DEVICEBANK& b = g.bank;
    b = DEVICEBANK{};
    b.en = en.data(), b.p = p.data(), b.org = org.data(), b.taskBanked = taskBanked.data();
    const size_t s = kDeviceStagingCapacity;
    sEn.resize(s), sP.resize(s), sOrg.resize(s), sPc.resize(s);
    TASKSTATE& t = task->t;
    t.bank.en = sEn.data(), t.bank.p = sP.data(), t.bank.org = sOrg.data(), t.bank.pc = sPc.data();
    if (k.trackPos != 0) {
      pc.resize(n);
      b.pc = pc.data();
      t.bank.positionsStored = 1;
    }
    if (k.interactionForcing != 0) {
      wt.resize(n), iForced.resize(n), sWt.resize(s), sIForced.resize(s);
      b.wt = wt.data(), b.iForced = iForced.data();
      t.bank.wt = sWt.data(), t.bank.iForced = sIForced.data();
    }
    if (k.complexGeometry != 0) {
      voxelIndex.resize(n), cellIndex.resize(n), sVoxelIndex.resize(s), sCellIndex.resize(s);
      b.voxelIndex = voxelIndex.data(), b.cellIndex = cellIndex.data();
      t.bank.voxelIndex = sVoxelIndex.data(), t.bank.cellIndex = sCellIndex.data();
      if (k.storeFreeMotionRadius != 0) {
        maxRadius.resize(n), centerFree.resize(n), sMaxRadius.resize(s), sCenterFree.resize(s);
        b.maxRadius = maxRadius.data(), b.centerFree = centerFree.data();
        t.bank.maxRadius = sMaxRadius.data(), t.bank.centerFree = sCenterFree.data();
      }
    }
    t.bankCapacity = kDeviceStagingCapacity;
    t.pcCursor = t.bank.pc;
    t.onDevice = 1;
    t.stats = &stats;
    t.curStats = &stats;
    DEVICETASKCONTROL& c = task->control;
    c.taskNo = 0;
    c.thread = &thread;
    c.streamList = streamList;
    c.nStreams = 1;
    slots.assign(static_cast<size_t>(maxAllowed > 0 ? maxAllowed : 1), -1);
    c.slots = slots.data();
  }

  ~DEVICERUN() { SimulateDevices(0); }

  STAGECONTEXT Context() { return STAGECONTEXT{&blockStop, 1}; }
};

// Runs the task from state to state until it leaves; the steps it starts and
// the states it passed through.
void RunStages(DEVICERUN& run, std::vector<STEP>& steps, std::set<int32_t>& visited) {
  DEVICETASK& task = *run.task;
  STAGECONTEXT ctx = run.Context();
  for (int64_t n = 0; n < 100000000; ++n) {
    const int32_t state = task.control.nextState;
    visited.insert(state);
    if (state == kSigma_phot || state == kSigma_el) steps.push_back(StepOf(task.t));
    if (RunStage(state, task, ctx) != kStageGoesOn) return;
  }
  ADD_FAILURE() << "the task never left";
}

struct CASE {
  const char* name;
  uint8_t part;
  bool cells;           // the slab of cells, else the layer
  double diffusionThr;  // total-to-inelastic ratio above which electrons diffuse
  int32_t trackPos;
  double E;  // source energy, eV
};

TEST(DeviceStages, FollowTheParticlesOfTheCpuWorkerWithTheSameStream) {
  const CASE cases[] = {
      {"electrons in the layer", kElectron, false, 1e18, 1, 1e6},
      {"positrons in the layer with diffusion", kPositron, false, 3.0, 1, 1e6},
      {"photons in the layer", kPhoton, false, 1e18, 1, 5e6},
      {"photons without positions", kPhoton, false, 1e18, 0, 1e6},
      {"photons through cells", kPhoton, true, 1e18, 1, 5e6},
      {"positrons through cells with diffusion", kPositron, true, 3.0, 1, 1e6},
  };
  const std::vector<LAYERSPEC> layers = {
      {0.01, 0, 1e4, 1e4}, {0.01, 0, 1e5, 3e5}, {0.02, -1, 1e4, 1e4}, {0.02, 0, 2e4, 1e3}, {0.3, 0, 1e4, 2e5}};
  constexpr uint64_t kHistories = 60;
  std::set<int32_t> visited;
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.name);
    ELECTRONPROBLEM problem;
    problem.comptonProfiles = true;
    const int z[1] = {29};
    const double one[1] = {1.0};
    ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.36, c.E, 1e4, 1e4, 0.0));
    SetPhotonOptions(problem.elements, problem.nElements);
    Constants& k = core::hostConstants;
    k.part = c.part;
    k.diffusion_totalToInelasticRatio_thr = c.diffusionThr;
    k.trackPos = c.trackPos;
    k.trackPhotonProducedElectrons = 1;
    CELLSLAB slab;
    TrackerWork cpuWork{}, deviceWork{};
    if (c.cells) {
      BuildCellSlab(slab, problem.cell, layers);
      k.outputCellInteractionStats = 1;
      ASSERT_TRUE(AllocateTrackerWork(cpuWork, 64, 64, 256));
      ASSERT_TRUE(AllocateTrackerWork(deviceWork, 64, 64, 256));
      SetBeamEntry(cpuWork);
    }

    // The CPU worker.
    auto cpu = std::make_unique<CTask>();
    std::vector<INTERACTIONSTATS> cpuCellStats(layers.size());
    if (c.cells) {
      cpu->cellStats = cpuCellStats.data();
      cpu->tracker = cpuWork;
    }
    STREAMTABLES tables;
    DealStreams(tables, 1, kHistories, 7);
    const CRandGen fresh = tables.generators[0];
    GiveStreams(*cpu, 0, 1, 1);
    cpu->stepOverride = RecordingStep;
    cpuSteps.clear();
    cpu->RunHistories();
    ASSERT_EQ(cpu->fatalError.load(), 0);
    cpu->tracker = TrackerWork{};

    // The device task.
    DEVICERUN run(0, 4096, 2048, kHistories, fresh);
    run.thread.work = deviceWork;
    if (c.cells) {
      run.cellStats.resize(layers.size());
      run.task->t.cellStats = run.cellStats.data();
    }
    std::vector<STEP> deviceSteps;
    RunStages(run, deviceSteps, visited);
    EXPECT_EQ(run.task->control.fatalError, 0);
    EXPECT_EQ(run.status.error, 0);

    ASSERT_EQ(deviceSteps.size(), cpuSteps.size());
    ASSERT_GT(cpuSteps.size(), kHistories);
    for (size_t i = 0; i < cpuSteps.size(); ++i) ASSERT_TRUE(deviceSteps[i] == cpuSteps[i]) << "step " << i;
    for (int s = 0; s < static_cast<int>(sizeof(INTERACTIONSTATS) / sizeof(STATSLOT)); ++s) {
      ASSERT_EQ(std::memcmp(&run.stats.slot[s], &cpu->stats->slot[s], sizeof(STATSLOT)), 0) << "statistics slot " << s;
    }
    for (size_t cell = 0; cell < run.cellStats.size(); ++cell) {
      ASSERT_EQ(std::memcmp(&run.cellStats[cell], &cpuCellStats[cell], sizeof(INTERACTIONSTATS)), 0) << "cell " << cell;
    }
    EXPECT_EQ(run.stats.slot[statslot::nHistoriesDone].n, kHistories);
    EXPECT_EQ(run.thread.nStartedHistories, kHistories);
    EXPECT_EQ(run.thread.nFinishedHistories, kHistories);
    EXPECT_EQ(run.status.nActStreams, 0u);
    EXPECT_EQ(run.task->control.nSlots, 0);
    for (int32_t owner : run.taskBanked) ASSERT_EQ(owner, 0);  // every slot released
    FreeTrackerWork(cpuWork);
    FreeTrackerWork(deviceWork);
  }
  // The cases pass through every stage but the source's spectrum.
  for (int32_t s = 0; s < kTaskStates; ++s) {
    if (s == kSourceEnergy) continue;
    EXPECT_EQ(visited.count(s), 1u) << "state " << s;
  }
}

// A device problem of 1 MeV electrons (or photons) in the copper layer.
struct BANKPROBLEM {
  ELECTRONPROBLEM problem;
  STREAMTABLES tables;
  bool ok = false;
  explicit BANKPROBLEM(uint8_t part) {
    problem.comptonProfiles = true;
    const int z[1] = {29};
    const double one[1] = {1.0};
    ok = SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.36, 1e6, 1e4, 1e4, 0.0);
    if (!ok) return;
    SetPhotonOptions(problem.elements, problem.nElements);
    core::hostConstants.part = part;
    core::hostConstants.trackPhotonProducedElectrons = 1;
    DealStreams(tables, 1, 1, 11);
  }
};

// The pool's two limits end the run with their messages, and the task number
// reaches the status record even for the device's first task (number 0).
TEST(DeviceStages, PoolLimitsAreFatalAndReportTheTask) {
  struct LIMIT {
    int64_t poolSlots;
    int32_t maxAllowed;
    const char* message;
  } limits[] = {{4096, 1, "Fatal error in task No. 1: number of banked particles exceeds 1."},
                {1, 2048, "Fatal error in task No. 1: no free slot for banking a new particle."}};
  for (const LIMIT& l : limits) {
    SCOPED_TRACE(l.message);
    BANKPROBLEM b(kElectron);
    ASSERT_TRUE(b.ok);
    DEVICERUN run(0, l.poolSlots, l.maxAllowed, 200, b.tables.generators[0]);
    std::vector<STEP> steps;
    std::set<int32_t> visited;
    testing::internal::CaptureStdout();
    RunStages(run, steps, visited);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(l.message), std::string::npos) << out;
    EXPECT_EQ(run.status.error, 1);
    EXPECT_EQ(run.blockStop, 1);
    EXPECT_EQ(run.task->control.fatalError, 1);
    EXPECT_LE(run.task->control.nSlots, l.maxAllowed);
  }
}

void RunThroughRing(int32_t margin);

// Banking mode 2: the task's secondaries go round the ring and come back; the
// histories end with the device's share, every slot is read and released,
// and the energy of every history is accounted for; a negative read margin
// counts as none.
TEST(DeviceStages, RingCarriesEverySecondaryBack) {
  for (int32_t margin : {0, -1}) {
    SCOPED_TRACE(::testing::Message() << "margin " << margin);
    RunThroughRing(margin);
  }
}

void RunThroughRing(int32_t margin) {
  BANKPROBLEM b(kPhoton);
  ASSERT_TRUE(b.ok);
  constexpr uint64_t kHistories = 100;
  DEVICERUN run(kHeapRing, 64, 0, kHistories, b.tables.generators[0]);
  run.margin = margin;
  DEVICETASK& task = *run.task;
  task.control.nextState = kReadBankedParticle;
  STAGECONTEXT ctx = run.Context();
  int64_t n = 0;
  for (; n < 10000000; ++n) {
    const int32_t state = task.control.nextState;
    const bool drained = run.ring.nextReadPos >= run.ring.nextWritePos;
    if (state == kReadBankedParticle && run.ring.nParticles >= kHistories && drained) break;
    ASSERT_EQ(RunStage(state, task, ctx), kStageGoesOn) << "state " << state;
  }
  // Once the share is out and the ring is empty the task waits in the read state.
  ASSERT_EQ(RunStage(kReadBankedParticle, task, ctx), kStageGoesOn);
  EXPECT_EQ(task.control.nextState, kReadBankedParticle);
  EXPECT_EQ(run.ring.error, 0);
  EXPECT_EQ(run.thread.nStartedHistories, kHistories);
  EXPECT_EQ(run.thread.nFinishedSourceTracks, kHistories);
  EXPECT_GT(run.ring.nextWritePos, 0u);  // secondaries went through the ring
  EXPECT_EQ(run.ring.nextReadPos, run.ring.nextWritePos);
  for (int32_t owner : run.taskBanked) ASSERT_EQ(owner, 0);
  const STATSLOT* s = run.stats.slot;
  const double source = s[statslot::eSourcePhotons].e;
  const double accounted = s[statslot::eAbsorbed].e + s[statslot::eHistoryDeposit].e + s[statslot::ePhotonEscapes].e +
                           s[statslot::eElectronEscapes].e + s[statslot::ePhotonCutoff].e;
  EXPECT_EQ(source, 1e6 * kHistories);
  EXPECT_NEAR(accounted, source, 1e-9 * source);
}

// A ring too small for what one stage banks ends the run with its message.
TEST(DeviceStages, RingOverflowIsFatal) {
  BANKPROBLEM b(kElectron);
  ASSERT_TRUE(b.ok);
  DEVICERUN run(kHeapRing, 2, 0, 50, b.tables.generators[0]);
  run.task->control.nextState = kReadBankedParticle;
  STAGECONTEXT ctx = run.Context();
  testing::internal::CaptureStdout();
  int32_t result = kStageGoesOn;
  for (int64_t n = 0; n < 10000000 && result == kStageGoesOn; ++n)
    result = RunStage(run.task->control.nextState, *run.task, ctx);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, kStageLeaves);
  EXPECT_NE(out.find("Fatal error in CUDA device No. 1 when storing a banked particle: number of banked particles "
                     "exceeds the maximum allowed number."),
            std::string::npos)
      << out;
  EXPECT_EQ(run.ring.error, 1);
}

// An ionization that leaves two followed electrons banks the higher-energy
// one or the lower-energy one as the block says, and follows the other.
TEST(DeviceStages, ElectroionizationBanksTheElectronTheBlockChooses) {
  ELECTRONPROBLEM problem;
  const int z[1] = {29};
  const double one[1] = {1.0};
  ASSERT_TRUE(SetElectronProblem(problem, z, one, 1, kCuAtomsPerCm3, 0.36, 1e6, 1e3, 1e3, 0.0));
  STREAMTABLES tables;
  DealStreams(tables, 1, 1, 5);
  const Constants& k = core::hostConstants;
  for (uint8_t higher : {uint8_t{0}, uint8_t{1}}) {
    SCOPED_TRACE(higher != 0 ? "higher banked" : "lower banked");
    DEVICERUN run(0, 64, 16, 1, tables.generators[0]);
    DEVICETASK& task = *run.task;
    TASKSTATE& t = task.t;
    STAGECONTEXT ctx{&run.blockStop, higher};
    int twoElectrons = 0;
    for (int trial = 0; trial < 400; ++trial) {
      t.kind = kElectron;
      t.E = 1e6;
      t.pc.pos = Init(0.0, 0.0, 0.1);
      t.pc.dir = Init(0.0, 0.0, std::sqrt(t.E * (t.E + 2.0 * k.restEn)));
      t.cell = k.cell;
      t.material = k.material;
      t.rng = &run.generators[0];
      t.state = kStateFollow;
      t.nBanked = 0;
      ASSERT_EQ(Sigma_el(task, ctx), kStageGoesOn);
      t.collisionElement = k.material->element[0];
      t.collisionType = 3;  // K shell
      ASSERT_EQ(Electroionization(task, ctx), kStageGoesOn);
      if (task.control.nSlots == 0) continue;
      ASSERT_EQ(task.control.nSlots, 1);
      const int64_t slot = task.control.slots[0];
      const double banked = run.en[static_cast<size_t>(slot)];
      EXPECT_EQ(run.p[static_cast<size_t>(slot)], kElectron);
      if (higher != 0) {
        EXPECT_GE(banked, t.E) << "trial " << trial;
      } else {
        EXPECT_LE(banked, t.E) << "trial " << trial;
      }
      ++twoElectrons;
      task.control.nSlots = 0;
      run.taskBanked[static_cast<size_t>(slot)] = 0;
    }
    EXPECT_GT(twoElectrons, 0);
  }
}

}  // namespace
