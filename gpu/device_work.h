// What the compile-only device kernels of device_functions.cu and
// device_steps.cu work on: one worker record per thread and a few arrays.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"
#include "core/indexdata.h"
#include "core/task.h"

// One thread's record and the arrays the kernels read and write.
struct DEVICEWORK {
  TASKSTATE* tasks;    // one record per thread
  double* values;      // one result per thread and kernel
  const double* grid;  // a table of n points, with values, slopes and cumulative
  const double* table;
  const double* slope;
  const double* cumulative;
  int16_t n;
  INDEXDATA index;
};

TQ_GPU inline int ThreadIndex() { return static_cast<int>(blockIdx.x * blockDim.x + threadIdx.x); }
