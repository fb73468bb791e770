// What the host keeps of each used device from its set-up to the end of the
// run: the device's copy of the problem, its task data (the addresses of its
// status record, tasks, threads and bank), and the thread statistics gathered
// after every launch. Indexed by device number.
#pragma once

#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/device_stats.h"
#include "gpu/device_tasks.h"
#include "gpu/device_upload.h"

struct DEVICERUNSTATE {
  DEVICEPROBLEM problem;
  DEVICETASKDATA taskData;
  CDeviceStats stats;
};

namespace device_host {
extern DEVICERUNSTATE deviceRun[kMaxDevices];
}  // namespace device_host
