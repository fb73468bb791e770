// Device code of the photon and electron steps over the worker's plain
// record, stage by stage and as whole steps (see device_functions.cu).
#include <cstdint>

#include "core/constants.h"
#include "core/hostdevice.h"
#include "core/task.h"
#include "geometry/simple_layer.h"
#include "gpu/device_work.h"
#include "transport/bank.h"
#include "transport/cutoffs.h"
#include "transport/electron_step.h"
#include "transport/host_hooks.h"
#include "transport/photon_step.h"
#include "transport/relaxation.h"

// The photon and electron steps, their stages and the bank.
__global__ void StepKernel(DEVICEWORK w, bool stop) {
  const int i = ThreadIndex();
  TASKSTATE& t = w.tasks[i];
  int32_t result = kStepGoesOn;
  if (t.state > kStateFollow) {
    result = ResumeStep(t, stop);
  } else if (IsPhoton(t.kind)) {
    const int32_t flight = PhotonFlightStage(t);
    if (flight == kPhotonCollides) result = PhotonCollision(t, stop);
  } else {
    const int32_t flight = ElectronFlightStage(t);
    if (flight == kElectronCollides) result = ElectronCollision(t, stop);
  }
  if (result == kStepInteraction && !IsPhoton(t.kind) && t.E >= 0.0 && t.E <= ElectronCutoff(t)) {
    result = ChargedParticleAtCutoff(t, t.kind == kPositron);
  }
  w.values[i] = result + InnermostVacancy(t.phot);
}

// The stages one at a time, as a scheduler calls them.
__global__ void StageKernel(DEVICEWORK w, bool stop) {
  const int i = ThreadIndex();
  TASKSTATE& t = w.tasks[i];
  int32_t result = 0;
  switch (i % 8) {
    case 0:
      PhotonCrossSections(t);
      result = CheckPhotonCrossSection(t) + PhotonFlight(t);
      SamplePhotonCollision(t);
      break;
    case 1:
      result = CoherentScattering(t, stop) + CoherentLoop(t, stop);
      break;
    case 2:
      result = IncoherentScattering(t, stop) + IncoherentLoop(t, stop) + DopplerLoop(t, stop) +
               IncoherentOutcome(t, 0, stop);
      break;
    case 3:
      result =
          PhotoelectricEffect(t, stop) + PairCreation(t) + BeginRelaxation(t, 0, 1, stop) + RelaxationCascade(t, stop);
      PhotonBelowCutoff(t);
      ScorePhotonEscape(t);
      EndPhotonThatCannotLoseEnergy(t);
      break;
    case 4:
      result = ElectronCrossSections(t) + SampleElectronCollision(t, t.sigma_tot, 4);
      SetUpElectronForcing(t);
      DiffuseInLayer(t, GetConstants(), LAYER{Init(0.0, 0.0, 1.0), 0.0, 1.0}, 1e22, 0.1);
      break;
    case 5:
      SampleElasticDeflection(t);
      ElasticDeflection(t);
      ExcitationLoss(t);
      result = BremsstrahlungEmission(t) + ElectroionizationCollision(t, stop);
      break;
    case 6:
      result = AnnihilateAtRest(t, 0.0, true) + BankAnnihilationPhotons(t) + BankRoom(t, 2);
      result += PushParticle(t, t.E, t.kind, t.org, t.pc.dir, t.weight, 0);
      ScoreChargedEscape(t);
      break;
    default:
      PushVacancy(t.phot, 3);
      HookTrackSecondary(t, t.org, t.E);
      HookTrackReplacement(t, t.org, t.E);
      StoreSharedCount(t.nBanked, t.nBanked - 1);
      result = HookTrackRecording(t) ? 1 : 0;
      break;
  }
  w.values[i] = result;
}

// The flights through the cells of the complex geometry and the geometry
// services they use.
__global__ void CellStageKernel(DEVICEWORK w) {
  const int i = ThreadIndex();
  TASKSTATE& t = w.tasks[i];
  int32_t result = 0;
  switch (i % 4) {
    case 0:
      result = PhotonFlightInCells(t) + ElectronFlightInCells(t, 4, 2) + DiffuseInCells(t, GetConstants(), 0.1);
      break;
    case 1: {
      double flown = 0.0;
      result = FlyThroughCells(t, 1.0, (i & 4) != 0, &flown);
      CrossIntoSlotCell(t, true);
      ScoreDepartureToOutside(t, false);
      RefreshFreeMotionSphere(t, true, 0);
      result += FreeDistanceInCell(t) > 0.0 ? 1 : 0;
      break;
    }
    case 2: {
      VECTOR out;
      double distance = 0.0;
      int16_t surface = -1;
      result = TrackEntryExit(t, &out, &t.pc.pos, &t.dir, &distance, &surface, 0.0);
      EnterCellOfSlot(t, true);
      ComputeFreeMotionRadius(t);
      break;
    }
    default: {
      VECTOR point;
      bool accepted = false;
      SampleVolumePoint(t, &point, &accepted);
      result = accepted ? 1 : 0;
      break;
    }
  }
  w.values[i] = result;
}
