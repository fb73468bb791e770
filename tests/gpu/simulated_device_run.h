// One simulated device that runs a photon problem of the transport fixture:
// its streams (one per task), the problem uploaded, and the task set-up of a
// run of the history scheduler. Shared by the scheduler's run test and its
// benchmark.
#pragma once

#include <cstdint>
#include <vector>

#include "core/constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"
#include "gpu/host_device.h"
#include "tests/transport/photon_fixture.h"

struct SIMULATEDDEVICERUN {
  std::vector<STREAMCONTROL> streams;
  std::vector<CRandGen> generators;
  DEVICEPROBLEM device;
};

// Selects a fresh simulated device and gives each of nTasks tasks a stream of
// its own. False when the problem did not reach the device.
inline bool StartSimulatedDeviceRun(const PHOTONPROBLEM& p, int32_t nTasks, SIMULATEDDEVICERUN* run) {
  SimulateDevices(1);
  SelectDevice(0);
  run->streams.assign(static_cast<size_t>(nTasks), STREAMCONTROL{});
  run->generators.assign(static_cast<size_t>(nTasks), CRandGen{});
  for (int32_t s = 0; s < nTasks; ++s) {
    run->streams[static_cast<size_t>(s)] = STREAMCONTROL{s, 0, static_cast<uint64_t>(s)};
    SeedStream(run->generators[static_cast<size_t>(s)], s, 0);
  }
  HOSTPROBLEM host;
  host.constants = &core::hostConstants;
  host.tallyTables = &core::hostTallyTables;
  host.elements = p.pool.elements;
  host.elementBytes = p.pool.bytes;
  host.nElements = p.pool.count;
  return UploadProblem(host, &run->device) == -1;
}

// The task set-up of a run of `histories` histories on the device, with time
// slices of nGPUcycles host clock ticks.
inline DEVICETASKSETUP SchedulerTaskSetup(SIMULATEDDEVICERUN& run, int32_t heapMode, int32_t nThreads,
                                          int32_t blockSize, unsigned long long histories, uint64_t nGPUcycles) {
  const int32_t nTasks = static_cast<int32_t>(run.streams.size());
  DEVICETASKSETUP s;
  s.heapMode = heapMode;
  s.nTasks = nTasks;
  s.nThreads = nThreads;
  s.blockSize = blockSize;
  s.avgBanked = 16;
  s.bankCapacity = static_cast<int64_t>(nTasks) * s.avgBanked + (heapMode == kHeapRing ? 2 * nThreads : 0);
  s.maxBankedRatio = 4.0;
  s.bankModeThr = 0.5;
  s.margin = 0;
  s.share = histories;
  s.lastParticle = histories;
  s.nGPUcycles = nGPUcycles;
  s.streamsPerTask = 1;
  s.streamControl = run.streams.data();
  s.randGens = run.generators.data();
  s.nStreams_tot = nTasks;
  s.tallyTables = &core::hostTallyTables;
  s.problem = &run.device;
  return s;
}
