// The launches of the device set-up kernels (setup_kernels.h). nvcc compiles
// this source for the CUDA devices of Trenqual_CUDA; the host compiler
// compiles it for the host-simulated device of the tests.
#include "gpu/setup_kernels.h"

void CopyConstantsToDevice(const Constants* constants, const TALLYTABLES* tallyTables, const Elem* elements) {
  LaunchAndSynchronize(COPYCONSTANTSKERNEL{constants, tallyTables, elements}, 1, 1);
}

void CopyElementDataToDevice(const COPYELEMENTDATAKERNEL& check) { LaunchAndSynchronize(check, 1, 1); }

void InitTaskData(const TASKDATAARGS& args) { LaunchAndSynchronize(INITTASKDATAKERNEL{args}, 1, 1); }

void RandInit(int32_t first) { LaunchAndSynchronize(RANDINITKERNEL{first}, kRandInitBlocks, kRandInitBlockSize); }
