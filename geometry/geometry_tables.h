// The run's geometry tables as the tracker reads them: one GeometryTables view
// (surfaces, cells, the voxel grid and the two precisions) filled by the
// set-up after the voxel data are merged and only read while the workers run.
// The transport reaches it through GetGeometryTables(), which returns the
// copy of the side it runs on.
#pragma once

#include "core/hostdevice.h"
#include "geometry/ray_tracking.h"

// The host view; zero (no cells) in the simple geometry.
inline GeometryTables hostGeometryTables{};

#if defined(__CUDACC__)
// The device's view with device addresses (gpu/device_tables.cu).
namespace device_globals {
extern __device__ GeometryTables geometryTables;
}
#endif

TQ_CPU_GPU inline const GeometryTables& GetGeometryTables() {
#if defined(__CUDA_ARCH__)
  return device_globals::geometryTables;
#else
  return hostGeometryTables;
#endif
}
