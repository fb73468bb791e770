// The device set-up on the host-simulated device: the problem's upload with
// CopyConstantsToDevice and CopyElementDataToDevice, the task data with
// InitTaskData and the generators seeded by RandInit.
#include "gpu/setup_kernels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "core/cell.h"
#include "core/material.h"
#include "core/pulse_height.h"
#include "core/stream_control.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_runtime.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"
#include "gpu/host_device.h"
#include "tests/gpu/device_fixture.h"

namespace {
using namespace device_fixture;

class DeviceSetUp : public testing::Test {
 protected:
  void SetUp() override {
    SimulateDevices(2);
    SelectDevice(0);
  }
  void TearDown() override { SimulateDevices(0); }
  PROBLEM problem;
};

}  // namespace

TEST_F(DeviceSetUp, EachDeviceReceivesTheConstantsAndTheElementBlockByteForByte) {
  for (int32_t d = 0; d < 2; ++d) {
    SelectDevice(d);
    DEVICEPROBLEM device;
    ASSERT_EQ(UploadProblem(problem.Host(d), &device), -1);
    // The device globals hold the record built for the device, byte for byte.
    const Constants stored = DeviceGlobal<Constants>(DEVICEGLOBAL::kConstants);
    EXPECT_EQ(std::memcmp(&stored, &device.constants, sizeof(Constants)), 0);
    EXPECT_EQ(stored.device, d);
    // Apart from the device and the device addresses it is the host record.
    Constants hostView = stored;
    hostView.device = problem.constants.device;
    hostView.E_source = problem.energies;
    hostView.weight = problem.weights;
    hostView.cumulativeWeight.values = problem.cumulative;
    hostView.cell = &problem.cell;
    EXPECT_EQ(std::memcmp(&hostView, &problem.constants, sizeof(Constants)), 0);
    // The tables behind the addresses are the host's.
    EXPECT_EQ(Download(stored.E_source, 3), std::vector<double>(problem.energies, problem.energies + 3));
    EXPECT_EQ(Download(stored.weight, 3), std::vector<double>(problem.weights, problem.weights + 3));
    EXPECT_EQ(Download(stored.cumulativeWeight.values, 3),
              std::vector<double>(problem.cumulative, problem.cumulative + 3));
    EXPECT_NE(stored.E_source, problem.energies);
    // The element block: the same bytes at the device's address.
    EXPECT_EQ(DeviceGlobal<const Elem*>(DEVICEGLOBAL::kElementArray), device.elements);
    const std::vector<char> block = Download(reinterpret_cast<const char*>(device.elements), problem.block.bytes);
    EXPECT_EQ(std::memcmp(block.data(), problem.block.storage.get(), block.size()), 0);
    const Elem* copy = reinterpret_cast<const Elem*>(block.data());
    EXPECT_EQ(copy[1].excLossEnergy[2], 1.5 * (ELEMENTBLOCK::kValues + 3));
    // The tally definitions with device addresses, and zeroed score arrays.
    const TALLYTABLES tt = DeviceGlobal<TALLYTABLES>(DEVICEGLOBAL::kTallyTables);
    EXPECT_EQ(tt.nPulseHeight_tot, 1);
    EXPECT_EQ(Download(tt.pulseHeightTally, 1)[0].bins, 10);
    ASSERT_EQ(device.tallies.pulseHeightCounts.size(), 1u);
    EXPECT_EQ(Download(device.tallies.pulseHeightCounts[0], 10), std::vector<int64_t>(10, 0));
    EXPECT_EQ(Download(device.tallies.pulseHeightEnergies[0], 10), std::vector<double>(10, 0.0));
    // The temporary copies of the records are freed again.
    EXPECT_EQ(Download(device.tallies.pulseHeightHist, 1)[0], device.tallies.pulseHeightCounts[0]);
  }
}

// With interaction forcing each material gets one zeroed flag per forced
// entry on the device (for the device's exclusion warning); without it, none.
TEST_F(DeviceSetUp, ForcingFlagsPerMaterialOnlyWithForcing) {
  std::vector<MATERIAL> materials(2);
  materials[0].nForcedEntries = 3;
  materials[1].nForcedEntries = 0;
  Constants withMaterials = problem.constants;
  withMaterials.nMaterials = 2;
  withMaterials.material = materials.data();
  for (const bool forcing : {false, true}) {
    HOSTPROBLEM host = problem.Host(0);
    host.constants = &withMaterials;
    host.weighted = forcing;
    DEVICEPROBLEM device;
    ASSERT_EQ(UploadProblem(host, &device), -1);
    const Constants stored = DeviceGlobal<Constants>(DEVICEGLOBAL::kConstants);
    if (!forcing) {
      EXPECT_EQ(stored.warnForced, nullptr);
      continue;
    }
    ASSERT_NE(stored.warnForced, nullptr);
    const std::vector<int32_t*> flags = Download(stored.warnForced, 2);
    EXPECT_EQ(Download(flags[0], 3), std::vector<int32_t>(3, 0));
    EXPECT_EQ(flags[1], nullptr);
    ResetDevice();
  }
}

TEST_F(DeviceSetUp, AnElementWhoseTableLiesOutsideTheBlockIsNamed) {
  struct CASE {
    int64_t offset;  // of Cu's excitation-loss table from its field
    int32_t expected;
  };
  Elem* cu = problem.block.elements() + 1;
  const int64_t toRecords = -static_cast<int64_t>(sizeof(Elem));  // into the records, not the tables
  const CASE cases[] = {{0, -1}, {1 << 30, 1}, {toRecords, 1}, {-(1 << 30), 1}};
  for (const CASE& c : cases) {
    cu->excLoss.offset = c.offset;  // 0: no table
    DEVICEPROBLEM device;
    EXPECT_EQ(UploadProblem(problem.Host(0), &device), c.expected) << c.offset;
    ResetDevice();
  }
}

TEST(SchedulingTables, RowsFollowThePriorityOrderByStateKind) {
  TASKGLOBALS g{};
  SetSchedulingTables(g);
  EXPECT_EQ(g.nS[0], 28);
  EXPECT_EQ(g.nS[1], 27);
  EXPECT_EQ(g.nS[2], 22);
  EXPECT_EQ(g.nS[3], 21);
  for (int32_t s : {12, 15, 16, 18, 19, 20}) EXPECT_EQ(g.stateType[s], kStateWrite) << s;
  EXPECT_EQ(g.stateType[27], kStateRead);
  EXPECT_EQ(g.set[0][0], 21);
  EXPECT_EQ(g.set[0][27], 27);
  EXPECT_EQ(g.set[1][26], 5);  // the read state is dropped from row 1
  EXPECT_EQ(g.set[1][27], -1);
}

TEST_F(DeviceSetUp, InitTaskDataStartsTheTasksThatHaveHistories) {
  struct CASE {
    int32_t heapMode;
    unsigned long long lastParticle;
    int32_t started;     // histories counted as started
    int32_t listed;      // tasks in a state list
    int32_t firstState;  // their state
    unsigned long long nParticles;
  };
  // Four tasks, two blocks of one thread, whose first streams 4 to 7 start at
  // history numbers 4 to 7. Banking modes 0 and 1 hold the streams to the
  // end of the device's history numbers: with a limit of 7 the fourth task
  // has no history. The ring counts histories: with 3 the fourth task gets none.
  const CASE cases[] = {{0, 100, 4, 4, kStateSourcePosition, 4},
                        {1, 7, 3, 3, kStateSourcePosition, 4},
                        {0, 7, 3, 3, kStateSourcePosition, 4},
                        {kHeapRing, 3, 0, 3, kStateReadBanked, 0}};
  for (const CASE& c : cases) {
    TASKRUN run(problem, 12);
    DEVICETASKSETUP& s = run.setup;
    s.heapMode = c.heapMode;
    s.nTasks = 4;
    s.nThreads = 2;
    s.blockSize = 1;
    s.avgBanked = 10;
    s.bankCapacity = 40 + (c.heapMode == kHeapRing ? 4 : 0);
    s.margin = 1;
    s.share = 9;
    s.lastParticle = c.lastParticle;
    s.firstTask = 3;
    s.firstStream = 4;
    s.streamsPerTask = 2;
    run.Initialise();
    const TASKGLOBALS g = run.Globals();
    EXPECT_EQ(g.nBlocks, 2);
    EXPECT_EQ(g.tasksPerBlock, 2);
    EXPECT_EQ(g.startTask, 3);
    EXPECT_EQ(g.startStream, 4);
    EXPECT_EQ(g.nStreams_device, 8u);
    EXPECT_EQ(g.maxBanked_allowed, 11);  // ceil(10 x 1.05)
    EXPECT_EQ(g.maxBanked_tot, 40 + (c.heapMode == kHeapRing ? 4 : 0));
    EXPECT_EQ(g.nS[1], 27);  // CopyConstantsToDevice built the tables
    if (c.heapMode == kHeapRing) {
      const DEVICESTATUSRING status = Download(static_cast<const DEVICESTATUSRING*>(run.data.status), 1)[0];
      EXPECT_EQ(status.nParticles, c.nParticles);
      EXPECT_EQ(status.nThrRead, c.listed);
      EXPECT_EQ(g.readThreshold, 8u);  // min(44 / 2, 2 x 4)
      EXPECT_NE(g.margin_CUDA, nullptr);
    } else {
      const DEVICESTATUS status = Download(static_cast<const DEVICESTATUS*>(run.data.status), 1)[0];
      EXPECT_EQ(status.nParticles, c.nParticles);
      EXPECT_EQ(status.nStartedHistories, static_cast<unsigned long long>(c.started));
      EXPECT_EQ(status.nThrNeutral, c.listed);
      EXPECT_EQ(status.nActStreams, 8u);
      EXPECT_EQ(g.margin_CUDA, nullptr);
    }
    // The lists: tasks in ascending order under their state, per block.
    const std::vector<uint32_t> lengths = Download(run.data.nTasksPerState, 2 * kTaskStates);
    const std::vector<uint32_t> active = Download(run.data.nActTasks, 2);
    const std::vector<uint16_t> index = Download(run.data.taskIndex, 2 * kTaskStates * 2);
    EXPECT_EQ(active[0] + active[1], static_cast<uint32_t>(c.listed));
    EXPECT_EQ(lengths[c.firstState], 2u);
    EXPECT_EQ(lengths[kTaskStates + c.firstState], static_cast<uint32_t>(c.listed - 2));
    EXPECT_EQ(index[c.firstState * 2 + 1], 1);
    EXPECT_EQ(index[(kTaskStates + c.firstState) * 2], 2);
    // Task 1 of the device: its streams, its generator and its caches.
    std::vector<DEVICETASK> pair(2);
    DeviceDownload(pair.data(), run.data.tasks + 2, 2 * sizeof(DEVICETASK));
    EXPECT_EQ(pair[0].control.taskNo, 5);
    EXPECT_EQ(pair[0].t.iStream, 6);
    EXPECT_EQ(Download(pair[0].control.streamList, 2), (std::vector<int32_t>{6, 10}));
    EXPECT_EQ(pair[0].t.rng, run.data.randGens + 6);
    EXPECT_EQ(pair[0].t.elSigmaMaterial, -2);
    // Task 3 runs a history only when the limit lets it; else none runs.
    const bool fourthHasHistory = c.listed == 4;
    EXPECT_EQ(pair[1].t.state, fourthHasHistory ? kStateFollow : kStateHistoryEnded);
    if (!fourthHasHistory) {
      const std::vector<uint16_t> everyList = index;
      for (int32_t i = 0; i < static_cast<int32_t>(lengths[kTaskStates + c.firstState]); ++i) {
        EXPECT_NE(everyList[(kTaskStates + c.firstState) * 2 + i], 3) << "the task without a history is listed";
      }
    }
    ResetDevice();
  }
}

TEST_F(DeviceSetUp, MoreThanAThousandBlocksEachGetTheirLists) {
  TASKRUN run(problem, 1100);
  DEVICETASKSETUP& s = run.setup;
  s.heapMode = 1;
  s.nTasks = 1100;
  s.nThreads = 1100;
  s.blockSize = 1;
  s.avgBanked = 1;
  s.bankCapacity = 1100;
  s.share = 1100;
  s.lastParticle = 1100;
  run.Initialise();
  const std::vector<uint32_t> active = Download(run.data.nActTasks, 1100);
  EXPECT_EQ(active, std::vector<uint32_t>(1100, 1));
  const std::vector<uint16_t> index = Download(run.data.taskIndex, 1100 * kTaskStates);
  EXPECT_EQ(index[(1099 * kTaskStates + kStateSourcePosition)], 1099);
}

TEST_F(DeviceSetUp, RandInitGivesEachDeviceStreamTheHostGeneratorsSequence) {
  // 1200 streams of the device from stream 5: two batches, the second partly idle.
  const int32_t nStreams = 1210, first = 5, perTask = 300, nTasks = 4;
  TASKRUN run(problem, nStreams);
  DEVICETASKSETUP& s = run.setup;
  s.heapMode = 0;
  s.nTasks = nTasks;
  s.nThreads = nTasks;
  s.blockSize = nTasks;
  s.avgBanked = 1;
  s.bankCapacity = nTasks;
  s.share = 2000;
  s.lastParticle = 2000;
  s.firstStream = first;
  s.streamsPerTask = perTask;
  run.Initialise();
  std::vector<CRandGen> device = Download(run.data.randGens, nStreams);
  for (int32_t i = 0; i < nStreams; ++i) {
    const bool ofDevice = i >= first && i < first + nTasks * perTask;
    CRandGen& d = device[static_cast<size_t>(i)];
    EXPECT_EQ(d.initialised, ofDevice ? 1 : 0) << i;
    if (!ofDevice) continue;
    CRandGen host;
    SeedStream(host, i, 0);
    host.RandomInitialise(host.ij, host.kl);
    ASSERT_EQ(std::memcmp(d.u, host.u, sizeof host.u), 0) << i;
    ASSERT_EQ(d.c, host.c);
    ASSERT_EQ(d.cd, host.cd);
    ASSERT_EQ(d.cm, host.cm);
    ASSERT_EQ(d.i97, host.i97);
    ASSERT_EQ(d.j97, host.j97);
    ASSERT_EQ(d.ij, host.ij);
    ASSERT_EQ(d.kl, host.kl);
    for (int k = 0; k < 20; ++k) ASSERT_EQ(d.RandomUniform(), host.RandomUniform()) << i;
  }
}

TEST(DeviceTaskStreams, TaskJOwnsEveryNTasksThStreamFromItsOwn) {
  EXPECT_EQ(DeviceTaskStreams(10, 1, 4, 3), (std::vector<int32_t>{11, 15, 19}));
  EXPECT_TRUE(DeviceTaskStreams(10, 0, 4, 0).empty());
}
