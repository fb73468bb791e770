// ThreadFunc2 with the device stages on the host-simulated device and real
// ENDF/B data (662 keV photons in 1 cm of lead): in each banking mode the
// device runs exactly its share of histories over its time slices, every
// banked particle is read again, and the threads' statistics records count
// the histories the status record reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/constants.h"
#include "core/interaction_stats.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"
#include "gpu/host_device.h"
#include "gpu/scheduler.h"
#include "tests/gpu/simulated_device_run.h"
#include "tests/transport/photon_fixture.h"

namespace {

constexpr int32_t kTasks = 16;
constexpr int32_t kThreads = 8;
constexpr int32_t kBlockSize = 4;
constexpr unsigned long long kHistories = 300;

template <typename T>
std::vector<T> Download(const T* device, int64_t n) {
  std::vector<T> host(static_cast<size_t>(n));
  DeviceDownload(host.data(), device, host.size() * sizeof(T));
  return host;
}

}  // namespace

TEST(SchedulerRun, EveryBankingModeRunsTheDevicesShareWithTheDeviceStages) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 662e3, 1.0, 3.3e22, kHistories);
  for (int32_t heapMode : {0, 1, kHeapRing}) {
    SIMULATEDDEVICERUN run;
    ASSERT_TRUE(StartSimulatedDeviceRun(p, kTasks, &run));
    // Slices of 1 ms of host time: several launches, the lists carrying the
    // tasks over. (Banking mode 1 lists its tasks without streams again at
    // every launch; with slices of a single step those could take every
    // step, so the slices are kept long enough for several.)
    const DEVICETASKSETUP s = SchedulerTaskSetup(run, heapMode, kThreads, kBlockSize, kHistories, 1000000);
    DEVICETASKDATA data;
    InitialiseDeviceTasks(s, &data);
    int launches = 0;
    unsigned long long finished = 0;
    for (bool done = false; !done && launches < 1000000; ++launches) {
      ASSERT_EQ(ThreadFunc2(false, kThreads / kBlockSize, kBlockSize), kDeviceSuccess);
      if (heapMode == kHeapRing) {
        const DEVICESTATUSRING st = Download(static_cast<const DEVICESTATUSRING*>(data.status), 1)[0];
        ASSERT_EQ(st.error, 0) << heapMode;
        ASSERT_EQ(st.nReadFailure + st.nWriteFailure, 0u);  // one host thread: nothing reserved and unpublished
        finished = st.nFinishedSourceTracks;
        done = finished >= kHistories && st.nextReadPos >= st.nextWritePos;
      } else {
        const DEVICESTATUS st = Download(static_cast<const DEVICESTATUS*>(data.status), 1)[0];
        ASSERT_EQ(st.error, 0) << heapMode;
        finished = st.nFinishedHistories;
        done = st.nActStreams == 0;
      }
    }
    EXPECT_EQ(finished, kHistories) << heapMode;
    EXPECT_EQ(Download(data.bank.taskBanked, s.bankCapacity),
              std::vector<int32_t>(static_cast<size_t>(s.bankCapacity), 0))
        << heapMode;
    const CUDA_STATS stats = Download(data.cudaStats, 1)[0];
    EXPECT_EQ(stats.slot[0], static_cast<unsigned long long>(launches)) << heapMode;
    EXPECT_GT(stats.slot[50], kHistories * 4) << heapMode;  // at least the source stages of every history
    // The histories the threads' own statistics records count.
    unsigned long long counted = 0;
    const std::vector<CThread2> threads = Download(data.threads, kThreads);
    for (const CThread2& t : threads) counted += Download(t.stats, 1)[0].slot[statslot::nHistoriesDone].n;
    if (heapMode != kHeapRing) {
      EXPECT_EQ(counted, kHistories) << heapMode;
    }
    SimulateDevices(0);
  }
}
