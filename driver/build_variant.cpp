// The definitions of build_variant.h for one program: compiled once for
// Trenqual (TQ_GPU_BUILD 0) and once for Trenqual_CUDA (TQ_GPU_BUILD 1),
// which is linked with a device runtime of gpu/: the CUDA runtime, or in the
// tests the host-simulated device.
#include "driver/build_variant.h"

#include <cstdio>
#include <cstdlib>

#if TQ_GPU_BUILD
#include "core/constants.h"
#include "core/element_table.h"
#include "core/stream_control.h"
#include "core/tally_tables.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_run_state.h"
#include "gpu/device_runtime.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"

const bool gpuBuild = true;

int CudaDeviceCount() {
  int count = 0;
  if (DeviceCount(&count) != kDeviceSuccess || count < 0) count = 0;
  return count;
}

CUDADEVICEINFO CudaDeviceInfo(int d) {
  DEVICEPROPERTIES p;
  CheckCudaError(DeviceProperties(d, &p));
  deviceMemoryLimit[d] = p.globalMemory;
  CUDADEVICEINFO info;
  info.major = p.major;
  info.minor = p.minor;
  info.clockKHz = p.clockKHz;
  info.memoryClockKHz = p.memoryClockKHz;
  info.globalMemory = p.globalMemory;
  info.sharedMemoryPerBlock = p.sharedMemoryPerBlock;
  return info;
}

void ResetCudaDevice(int d) {
  SelectCudaDevice(d);
  CheckCudaError(ResetDevice());
  deviceAllocated[d] = 0;
}

void SelectCudaDevice(int d) { SelectDevice(d); }

uint64_t SetUpCudaDevice(const CUDADEVICEWORK& w) {
  SelectDevice(w.device);
  deviceAllocated[w.device] = 0;
  HOSTPROBLEM host;
  host.constants = &core::hostConstants;
  host.tallyTables = &core::hostTallyTables;
  host.elements = core::elementArray;
  host.elementBytes = core::elementArrayBytes;
  host.nElements = core::hostConstants.nElem_tot;
  host.weighted = core::hostConstants.interactionForcing != 0;
  host.device = w.device;
  DEVICEPROBLEM& problem = device_host::deviceRun[w.device].problem;
  problem = DEVICEPROBLEM{};
  if (w.showStage != nullptr) w.showStage(w.device, kDeviceStageCopy);
  if (const int32_t bad = UploadProblem(host, &problem); bad >= 0) {
    printf("\nCUDA error (element %d not found in the device's copy of the element data).\n", bad + 1);
    std::exit(2);
  }
  DEVICETASKSETUP s;
  s.heapMode = w.heapMode;
  s.randType = w.randType;
  s.nTasks = w.nTasks;
  s.nThreads = w.nThreads;
  s.blockSize = w.blockSize;
  s.avgBanked = w.avgBanked;
  s.bankCapacity = w.bankCapacity;
  s.maxBankedRatio = w.maxBankedRatio;
  s.bankModeThr = w.bankModeThr;
  s.margin = w.margin;
  s.share = w.share;
  s.lastParticle = w.lastParticle;
  s.nGPUcycles = w.nGPUcycles;
  s.firstTask = w.firstTask;
  s.firstStream = w.firstStream;
  s.streamsPerTask = w.streamsPerTask;
  s.streamControl = core::runStreams.streamControl;
  s.randGens = core::runStreams.randGens;
  s.nStreams_tot = core::runStreams.nStreams_tot;
  s.trackPos = core::hostConstants.trackPos != 0;
  s.forcing = core::hostConstants.interactionForcing != 0;
  s.complexGeometry = core::hostConstants.complexGeometry != 0;
  s.storeFreeMotionRadius = core::hostConstants.storeFreeMotionRadius != 0;
  s.perCellStats = w.perCellStats;
  s.nCells = core::hostConstants.nCells;
  s.tallyTables = &core::hostTallyTables;
  s.problem = &problem;
  if (w.showStage != nullptr) w.showStage(w.device, kDeviceStageTasks);
  InitialiseDeviceTasks(s, &device_host::deviceRun[w.device].taskData);
  return deviceAllocated[w.device];
}

#else

const bool gpuBuild = false;

int CudaDeviceCount() { return 0; }
CUDADEVICEINFO CudaDeviceInfo(int) { return CUDADEVICEINFO{}; }
void ResetCudaDevice(int) {}
void SelectCudaDevice(int) {}
uint64_t SetUpCudaDevice(const CUDADEVICEWORK&) { return 0; }

#endif
