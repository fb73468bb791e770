// The element array of the run: one Elem record per distinct element of the
// problem (global element index 0 .. nElem_tot - 1), filled by the driver at
// set-up and only read by the transport afterwards.
#pragma once

#include "core/elem.h"

inline Elem* elementArray = nullptr;  // [nElem_tot]
