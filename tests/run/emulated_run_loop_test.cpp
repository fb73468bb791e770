// The run loop of Trenqual_CUDA when the devices are emulated: the CPU
// workers serve the devices' streams beside their own, and an early end of
// the run (Esc then Q) stops every one of those streams, not only the CPU's.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/stream_control.h"
#include "core/task.h"
#include "driver/run/device_division.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "platform/keys.h"
#include "tests/run/run_fixture.h"

namespace {

constexpr int kWorkers = 3;
constexpr int64_t kEndless = 100000000;  // histories that only an early end can cut short

struct SEEN {
  int32_t stream;
  uint64_t particle;
  bool afterEnd;  // the run's end had been declared when the history took its step
};
std::vector<SEEN> seen[kWorkers];
std::atomic<int64_t> steps[kWorkers];
const char* keysAtStep[2] = {"\x1b", "Q"};  // keys worker 0 types at its 1000th and 2000th step

// Worker 0 types Esc only once the other workers have run a few histories on
// each of their streams (their threads may start late on a busy machine).
void AwaitOtherWorkers() {
  for (int i = 0; i < 20000; ++i) {
    bool all = true;
    for (int w = 1; w < kWorkers; ++w) all = all && steps[w].load() >= 40;
    if (all) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A photon absorbed in its first interaction; worker 0 (on the main thread,
// as the monitor) forces a monitor tick every 1000 steps.
int32_t AbsorbedPhoton(CTask& t) {
  std::vector<SEEN>& mine = seen[t.threadNo];
  mine.push_back(
      SEEN{t.iStream, core::runStreams.streamControl[t.iStream].nextParticle, run::endSimulation.load() != 0});
  ++steps[t.threadNo];
  if (t.threadNo == 0 && mine.size() % 1000 == 0) {
    const size_t k = mine.size() / 1000 - 1;
    if (k == 0) AwaitOtherWorkers();
    if (k < 2) InjectKeys(keysAtStep[k]);
    run::lastTick = -2.0;
    t.ticksUntilMonitorCall = 1;
  }
  t.photonSurvival = 0;
  return kStepInteraction;
}

class EmulatedRunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& s : seen) s.clear();
    for (auto& n : steps) n = 0;
  }
  void TearDown() override { FinishRun(); }
};

}  // namespace

// Two emulated devices of 4 tasks each beside 4 CPU streams: the workers
// serve all 12. After Esc and Q no stream starts a history: each worker
// finishes at most the one in flight, and every stream of the CPU and of
// each device has run exactly the histories below its lowered limit.
TEST_F(EmulatedRunLoopTest, EscapeThenQStopsTheEmulatedDevicesStreamsToo) {
  ASSERT_EQ(PrepareEmulatedRun(kWorkers, 12, kEndless, AbsorbedPhoton, 2, 4, 0.6), 0);
  const DEVICEDIVISION& v = run::deviceDivision;
  ASSERT_EQ(v.nDevices, 2);
  ASSERT_EQ(run::nStreamsCpu, 4);
  ASSERT_EQ(run::nStreamsHost, 12);
  const uint64_t fullLimit[2] = {v.slot[0].historyLimit, v.slot[1].historyLimit};
  testing::internal::CaptureStdout();
  EXPECT_EQ(RunLoop(), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("\nThe 'Esc' and 'Q' keys have been pressed. Terminating the simulation.\n"), std::string::npos);
  ASSERT_EQ(run::endSimulation.load(), 1);

  // The streams of every group ran, and the groups' limits came down.
  std::vector<std::vector<uint64_t>> ofStream(12);
  int64_t devicesHistories = 0;
  for (int w = 0; w < kWorkers; ++w) {
    int afterEnd = 0;
    for (const SEEN& s : seen[w]) {
      ofStream[static_cast<size_t>(s.stream)].push_back(s.particle);
      afterEnd += s.afterEnd ? 1 : 0;
      devicesHistories += s.stream >= run::nStreamsCpu ? 1 : 0;
    }
    EXPECT_LE(afterEnd, 1) << "worker " << w << " started histories after the end of the run";
  }
  EXPECT_GT(devicesHistories, 0);
  EXPECT_LT(LoadRelaxed(core::runStreams.gpuParticleShare[0]), fullLimit[0]);
  EXPECT_LT(LoadRelaxed(core::runStreams.gpuParticleShare[1]), fullLimit[1]);
  EXPECT_LT(FinishedHistories(), static_cast<uint64_t>(kEndless / 100));
  // Each stream ran its numbers in order, without a gap, and stopped only
  // at its group's lowered limit.
  for (int32_t s = 0; s < 12; ++s) {
    const STREAMCONTROL& c = core::runStreams.streamControl[s];
    const uint64_t limit = StreamLimit(c);
    const std::vector<uint64_t>& p = ofStream[static_cast<size_t>(s)];
    ASSERT_FALSE(p.empty()) << s;
    const uint64_t stride = StreamStride(c);
    for (size_t i = 1; i < p.size(); ++i) ASSERT_EQ(p[i], p[i - 1] + stride) << "stream " << s;
    EXPECT_GE(p.back() + stride, limit) << "stream " << s << " stopped early";
    EXPECT_EQ(c.task, kStreamFinished) << s;
  }
}
