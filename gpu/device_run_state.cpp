#include "gpu/device_run_state.h"

namespace device_host {
DEVICERUNSTATE deviceRun[kMaxDevices];
}  // namespace device_host
