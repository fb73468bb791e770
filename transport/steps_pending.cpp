// The physics steps of the history loop's dispatch. The photon path (flight,
// collision sampling, interactions, relaxation) and the electron and positron
// path (flight, diffusion, interactions, cutoffs) replace these with their own
// definitions; until then a particle that reaches them ends the run with a
// fatal error rather than being followed without physics.
#include <atomic>
#include <cstdio>

#include "core/task.h"

namespace {

int32_t StepNotAvailable(CTask& task, const char* what) {
  printf("\nFatal error in thread No. %d: the %s is not available in this build.\n", task.threadNo + 1, what);
  task.fatalError.store(1, std::memory_order_release);
  return kStepFatal;
}

}  // namespace

int32_t CTask::PhotonStep() { return StepNotAvailable(*this, "photon transport step"); }

int32_t CTask::ElectronStep() { return StepNotAvailable(*this, "electron and positron transport step"); }

int32_t CTask::ResumeInterruptedStep() { return StepNotAvailable(*this, "photon rejection loop or relaxation cascade"); }
