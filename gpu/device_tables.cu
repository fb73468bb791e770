// The device globals of Trenqual_CUDA (device_globals.h): the device copies of
// the run's records that the host/device functions reach through their
// accessors (GetConstants, GetTallyTables, GetElem, StreamControlOf and
// RandGenOf), and the scheduler's globals. The set-up kernels store them
// before the first launch; the tables they point at live in device global
// memory.
#include "geometry/geometry_tables.h"
#include "gpu/device_globals.h"

namespace device_globals {
__device__ Constants constants;
__device__ TALLYTABLES tallyTables;
__device__ const Elem* elementArray;
__device__ GeometryTables geometryTables;
__device__ DEVICESTREAMS streams;
__device__ TASKGLOBALS task;
}  // namespace device_globals
