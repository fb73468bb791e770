// The CPU worker's wrappers of the electron and positron collisions of
// electron_step.h.
#include "transport/electron_interactions.h"

#include "core/task.h"
#include "transport/bank.h"
#include "transport/electron_step.h"
#include "transport/history.h"

int32_t CTask::ElectronInteraction() { return RaiseFatal(*this, ElectronCollision(*this, StopRequested(*this))); }

void CTask::DetermineElasticScatteringModel() { SampleElasticDeflection(*this); }

void CTask::ElasticScattering() { ElasticDeflection(*this); }

int32_t CTask::Bremsstrahlung() {
  const int32_t result = BremsstrahlungEmission(*this);
  if (result == kBankFull) fatalError.store(1, std::memory_order_release);
  return result;
}

void CTask::Excitation() { ExcitationLoss(*this); }

int32_t CTask::Electroionization() {
  return RaiseFatal(*this, ElectroionizationCollision(*this, StopRequested(*this)));
}
