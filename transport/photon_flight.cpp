// The CPU worker's photon step: the flight stage of photon_step.h, then the
// escape or end in place (the next banked particle and the run monitor) or
// the interaction with its track point.
#include "transport/photon_flight.h"

#include "core/task.h"
#include "transport/history.h"
#include "transport/photon_step.h"
#include "transport/tracks.h"

namespace {

// After an escape has been scored: the track's exit point, the next banked
// particle and the run monitor.
void LeaveAfterEscape(CTask& task) {
  RecordTrackExit(task);
  task.ReadBankedParticle();
  RunMonitorTick(task);
}

}  // namespace

void CTask::Sigma_phot() { PhotonCrossSections(*this); }

int32_t CTask::CheckTotalSigma_phot() {
  if (CheckPhotonCrossSection(*this) == 0) return 0;
  fatalError.store(1, std::memory_order_release);
  return 1;
}

// Returns kPhotonCollides, kPhotonMoved (complex geometry), or kPhotonEscapes
// once the next particle has been read.
int32_t CTask::Distance_phot() {
  const int32_t result = GetConstants().complexGeometry != 0 ? PhotonFlightInCells(*this) : PhotonFlight(*this);
  if (result == kPhotonEscapes) LeaveAfterEscape(*this);
  return result;
}

void CTask::PhotonEscape() {
  ScorePhotonEscape(*this);
  LeaveAfterEscape(*this);
}

void CTask::PhotonEnergyBelowCutoff() { PhotonBelowCutoff(*this); }

void CTask::SampleCollisionType_phot() { SamplePhotonCollision(*this); }

int32_t CTask::PhotonStep() {
  switch (RaiseFatal(*this, PhotonFlightStage(*this))) {
    case kStepFatal:
      return kStepFatal;
    case kPhotonEndsHere:
      RunMonitorTick(*this);
      ReadBankedParticle();
      return kStepGoesOn;
    case kPhotonEscapes:
      LeaveAfterEscape(*this);
      return kStepGoesOn;
    case kPhotonMoved:
      return kStepGoesOn;
    default:
      RecordTrackPoint(*this);  // finished by the history loop after the interaction
      return PhotonInteraction();
  }
}
