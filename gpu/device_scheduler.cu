// Device code of the scheduler kernel and of the bank and history-start
// functions that the stages call, compiled for each device architecture of
// the build with a stage table that banks and reads through them.
#include <cstdint>

#include "gpu/device_bank.h"
#include "gpu/kernel_launch.h"
#include "gpu/scheduler.h"

namespace {

// Every stage banks one particle and ends it, which reads the next one.
struct BANKANDREADSTAGES {
  TQ_CPU_GPU int32_t Run(int32_t state, DEVICETASK& task, STAGECONTEXT& c) const {
    if (state != kStateReadBanked && BankParticle(task, c, task.t.E, task.t.kind, task.t.org, task.t.pc.dir,
                                                  task.t.weight, task.t.iForced) == kBankFatal) {
      return -1;
    }
    return ReadOrStartHistory(task, c);
  }
};

}  // namespace

template __global__ void PhasedKernel<SCHEDULERKERNEL<BANKANDREADSTAGES>>(const SCHEDULERKERNEL<BANKANDREADSTAGES>);
