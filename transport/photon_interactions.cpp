// The CPU worker's wrappers of the photon interactions of photon_step.h:
// each passes the worker's stop request in, raises the fatal-error flag on
// kStepFatal and ticks the run monitor.
#include "transport/photon_interactions.h"

#include "core/task.h"
#include "transport/history.h"
#include "transport/photon_step.h"

namespace {

int32_t Finish(CTask& task, int32_t result) {
  RunMonitorTick(task);
  return RaiseFatal(task, result);
}

}  // namespace

int32_t CTask::PhotonInteraction() { return Finish(*this, PhotonCollision(*this, StopRequested(*this))); }

int32_t CTask::ResumeInterruptedStep() { return Finish(*this, ResumeStep(*this, StopRequested(*this))); }

int32_t CTask::CoherentScattering0() { return Finish(*this, CoherentScattering(*this, StopRequested(*this))); }

int32_t CTask::CohRejectionLoop() { return Finish(*this, CoherentLoop(*this, StopRequested(*this))); }

int32_t CTask::IncoherentScattering0() { return Finish(*this, IncoherentScattering(*this, StopRequested(*this))); }

int32_t CTask::IncohRejectionLoop() { return Finish(*this, IncoherentLoop(*this, StopRequested(*this))); }

int32_t CTask::DopplerRejectionLoop() { return Finish(*this, DopplerLoop(*this, StopRequested(*this))); }

int32_t CTask::PostDoppler_NoDoppler(int32_t shell) {
  return Finish(*this, IncoherentOutcome(*this, shell, StopRequested(*this)));
}

int32_t CTask::PhotoelectricAbsorption() { return Finish(*this, PhotoelectricEffect(*this, StopRequested(*this))); }

int32_t CTask::PairProduction() { return Finish(*this, PairCreation(*this)); }
