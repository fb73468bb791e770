// The CPU worker's electron and positron step: the flight stage of
// electron_step.h, then the escape (the next banked particle) or the
// collision with its track point.
#include "transport/electron_flight.h"

#include "core/task.h"
#include "transport/electron_step.h"
#include "transport/history.h"
#include "transport/tracks.h"

int32_t CTask::Sigma_el() { return RaiseFatal(*this, ElectronCrossSections(*this)); }

void CTask::ElectronForcingSetUp() { SetUpElectronForcing(*this); }

int32_t CTask::SampleCollisionType_el(double sigmaColl, int32_t nColumns) {
  return RaiseFatal(*this, SampleElectronCollision(*this, sigmaColl, nColumns));
}

int32_t CTask::ElectronStep() {
  switch (RaiseFatal(*this, ElectronFlightStage(*this))) {
    case kStepFatal:
      return kStepFatal;
    case kElectronEscapes:
      RecordTrackExit(*this);
      ReadBankedParticle();
      return kStepGoesOn;
    case kElectronNoCollision:
      return kStepGoesOn;
    default:
      return TrackedInteraction();
  }
}

// The interaction at the current point, recorded for the track (the history
// loop finishes the point once the interaction is over).
int32_t CTask::TrackedInteraction() {
  RecordTrackPoint(*this);
  return ElectronInteraction();
}
