// The element array of the run: one Elem record per distinct element of the
// problem (global element index 0 .. nElem_tot - 1), filled by the driver at
// set-up and only read by the transport afterwards. The records and all their
// tables lie in one block of elementArrayBytes bytes that starts at
// elementArray and holds no address (core/elem.h): a device copy is a byte
// copy of the block, and the copy's address is the element array there
// (device_globals::elementArray).
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/hostdevice.h"

namespace core {
inline Elem* elementArray = nullptr;  // [nElem_tot]
inline int64_t elementArrayBytes = 0;  // the whole block: records and tables
}  // namespace core

#if defined(__CUDACC__)
// The device's copy of the block (gpu/device_tables.cu), stored by
// CopyConstantsToDevice.
namespace device_globals {
extern __device__ const Elem* elementArray;  // [nElem_tot] in device global memory
}
#endif

// Element i of the run's element array on the side the caller runs on; the
// transport reads the element data only through this accessor.
TQ_CPU_GPU inline const Elem& GetElem(int32_t i) {
#if defined(__CUDA_ARCH__)
  return device_globals::elementArray[i];
#else
  return core::elementArray[i];
#endif
}
