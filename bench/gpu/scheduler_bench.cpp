// Histories per second of the device history scheduler with the device
// stages, on the host-simulated device (every thread of a launch runs on the
// calling host thread): 662 keV photons in 1 cm of lead (real ENDF/B data),
// one device of 64 tasks in blocks of 8 threads, in each banking mode. The
// figure measures the scheduler and the stages as the host runs them, not a
// GPU.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"
#include "gpu/host_device.h"
#include "gpu/kernel_launch.h"
#include "gpu/scheduler.h"
#include "tests/gpu/simulated_device_run.h"
#include "tests/transport/photon_fixture.h"

namespace {

constexpr int32_t kTasks = 64;
constexpr int32_t kThreads = 64;
constexpr int32_t kBlockSize = 8;
constexpr unsigned long long kHistories = 4000;

// Launches until the device's share is done; false on a fatal error or a
// count of finished histories other than the share.
bool RunDevice(const DEVICETASKDATA& data, int32_t heapMode) {
  for (int launch = 0; launch < 1000000; ++launch) {
    CheckCudaError(ThreadFunc2(false, kThreads / kBlockSize, kBlockSize));
    CheckCudaError(SynchronizeDevice());
    CheckCudaError(LastLaunchError());
    if (heapMode == kHeapRing) {
      DEVICESTATUSRING s;
      DeviceDownload(&s, data.status, sizeof s);
      if (s.error > 0) return false;
      if (s.nFinishedSourceTracks >= kHistories && s.nextReadPos >= s.nextWritePos) return true;
    } else {
      DEVICESTATUS s;
      DeviceDownload(&s, data.status, sizeof s);
      if (s.error > 0) return false;
      if (s.nActStreams == 0) return s.nFinishedHistories == kHistories;
    }
  }
  return false;
}

void DeviceHistories(benchmark::State& state) {
  const int32_t heapMode = static_cast<int32_t>(state.range(0));
  PHOTONPROBLEM p;
  if (!LoadPhotonElements(p, {82}, {1.0})) {
    state.SkipWithError("elements could not be loaded");
    return;
  }
  SetPhotonRun(p, 662e3, 1.0, 3.3e22, kHistories);
  uint64_t histories = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ResetDevice();
    SIMULATEDDEVICERUN run;
    if (!StartSimulatedDeviceRun(p, kTasks, &run)) {
      state.SkipWithError("the element data did not reach the device");
      return;
    }
    // 10 ms of host time per launch
    const DEVICETASKSETUP s = SchedulerTaskSetup(run, heapMode, kThreads, kBlockSize, kHistories, 10000000);
    DEVICETASKDATA data;
    InitialiseDeviceTasks(s, &data);
    state.ResumeTiming();
    if (!RunDevice(data, heapMode)) {
      state.SkipWithError("the device stopped with a fatal error");
      return;
    }
    histories += kHistories;
  }
  SimulateDevices(0);
  state.counters["histories/s"] = benchmark::Counter(static_cast<double>(histories), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(DeviceHistories)->Arg(0)->Arg(1)->Arg(2)->ArgName("heap_CUDA")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
