// The launch of the history scheduler with the device stages. nvcc compiles
// this source for the CUDA devices of Trenqual_CUDA; the host compiler
// compiles it for the host-simulated device of the tests.
#include "gpu/scheduler.h"

#include "gpu/device_stages.h"

namespace {

// The stage of every state is the device stage of device_stages.h.
struct DEVICESTAGETABLE {
  TQ_CPU_GPU int32_t Run(int32_t state, DEVICETASK& task, STAGECONTEXT& c) const { return RunStage(state, task, c); }
};

}  // namespace

int ThreadFunc2(bool endSimulation, int32_t blocks, int32_t blockSize) {
  return LaunchScheduler(DEVICESTAGETABLE{}, endSimulation, blocks, blockSize);
}
