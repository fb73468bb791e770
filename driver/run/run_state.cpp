#include "driver/run/run_state.h"

namespace run {
// Workers and streams.
int32_t nCpuTasks{0};
int32_t firstCpuTask{0};
int32_t nStreamsCpu{0};
int32_t nStreamsHost{0};
int32_t nTasksTotal{0};
// The histories, the threads and the clock.
uint64_t hostParticleShare{0};
bool severalStreamsPerThread{false};
std::vector<int> threadIndex;
double runStartTime{0.0};
// Stop requests.
std::atomic<uint8_t> redealStreams{0};
std::atomic<uint8_t> balanceStop{0};
std::atomic<uint8_t> endSimulation{0};
std::atomic<uint8_t> resultWriteFailed{0};
// Devices.
std::atomic<uint8_t> devicesBusy{0};
double kernelTime{0.0};
uint64_t nFinishedOfDevice[kMaxDeviceSlots] = {};
uint64_t nStartedOfDevice[kMaxDeviceSlots] = {};
uint64_t nFinishedGpu{0};
std::atomic<uint8_t> bufferOverflow{0};
double cpuTime{0.0};
}  // namespace run
