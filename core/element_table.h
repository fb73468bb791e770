// The element array of the run: one Elem record per distinct element of the
// problem (global element index 0 .. nElem_tot - 1), filled by the driver at
// set-up and only read by the transport afterwards.
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/hostdevice.h"

inline Elem* elementArray = nullptr;  // [nElem_tot]

// Element i of the run's element array; the transport reads the element data
// only through this accessor.
TQ_CPU_GPU inline const Elem& GetElem(int32_t i) { return elementArray[i]; }
