// The relaxation cascade of an ionised atom (state 4 of the history loop).
#include "transport/relaxation.h"

#include <atomic>
#include <cmath>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/directions.h"
#include "transport/interaction_stats.h"

namespace {

// The Auger electron of a non-radiative transition: banked when followed and
// above the cutoff; its energy stays in the deposit (the electron's transport
// moves it). Returns kStepFatal on a full bank.
int32_t EmitAugerElectron(CTask& task, double Et, bool photonStep) {
  const Constants& k = GetConstants();
  INTERACTIONSTATS* rec = task.curStats;
  const int kindSlot = photonStep ? statslot::nPhotonAuger : statslot::nElectronAuger;
  const int kindEnergy = photonStep ? statslot::ePhotonAuger : statslot::eElectronAuger;
  if (Et > ElectronCutoff(task)) {
    if (k.trackPhotonProducedElectrons != 0) {
      const VECTOR d = k.trackPos != 0 ? Isotropic(*task.rng, sqrt(Et * (Et + RestEnergyTwice(k)))) : VECTOR{};
      const uint8_t org = photonStep ? kOriginAugerPhotonVacancy : kOriginAugerElectronVacancy;
      if (PushParticle(task, Et, kElectron, org, d, task.weight, 0) == kBankFull) return kStepFatal;
    }
    AddStats(task, rec, statslot::nAugerAbove, statslot::eAugerAbove, Et);
    AddStats(task, rec, kindSlot + (statslot::nPhotonAugerAbove - statslot::nPhotonAuger),
             kindEnergy + (statslot::ePhotonAugerAbove - statslot::ePhotonAuger), Et);
  }
  AddStats(task, rec, statslot::nAuger, statslot::eAuger, Et);
  AddStats(task, rec, kindSlot, kindEnergy, Et);
  return kStepGoesOn;
}

// Adds one fluorescence photon to the rows of its kind, all (above false) or
// above the cutoff.
void CountFluorescence(CTask& task, double Et, bool photonStep, bool above) {
  INTERACTIONSTATS* rec = task.curStats;
  const PHOTONSTATE& p = task.phot;
  const int shift = above ? statslot::nRelaxPhotonsAbove - statslot::nRelaxPhotons : 0;
  const int eShift = above ? statslot::eRelaxPhotonsAbove - statslot::eRelaxPhotons : 0;
  AddStats(task, rec, statslot::nRelaxPhotons + shift, statslot::eRelaxPhotons + eShift, Et);
  if (!photonStep) {
    AddStats(task, rec, statslot::nXrayPhotons + shift, statslot::eXrayPhotons + eShift, Et);
    return;
  }
  AddStats(task, rec, statslot::nPhotonFluorPhotons + shift, statslot::ePhotonFluorPhotons + eShift, Et);
  if (p.electronFlag != 0) {
    AddStats(task, rec, statslot::nComptonFluorPhotons + shift, statslot::eComptonFluorPhotons + eShift, Et);
  } else if (p.nTransitionsDone == 1) {
    AddStats(task, rec, statslot::nFluor1Photons + shift, statslot::eFluor1Photons + eShift, Et);
  } else {
    AddStats(task, rec, statslot::nFluor2Photons + shift, statslot::eFluor2Photons + eShift, Et);
  }
}

// The fluorescence photon of a radiative transition: banked and taken out of
// the deposit when followed and above the photon cutoff.
int32_t EmitFluorescencePhoton(CTask& task, double Et, bool photonStep) {
  const Constants& k = GetConstants();
  if (Et > PhotonCutoff(task)) {
    if (k.trackXrayPhotons != 0) {
      const uint8_t kind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
      const uint8_t org = photonStep ? kOriginFluorPhotonVacancy : kOriginFluorElectronVacancy;
      const VECTOR d = k.trackPos != 0 ? Isotropic(*task.rng, Et) : VECTOR{};
      if (PushParticle(task, Et, kind, org, d, task.weight, 0) == kBankFull) return kStepFatal;
      DepositEnergy(task, -Et);
    }
    CountFluorescence(task, Et, photonStep, true);
  }
  CountFluorescence(task, Et, photonStep, false);
  return kStepGoesOn;
}

}  // namespace

int32_t StartRelaxation(CTask& task, int32_t element, int32_t designator) {
  PHOTONSTATE& p = task.phot;
  p.relaxElement = element;
  p.nVacancies = 0;
  PushVacancy(p, designator);
  p.nTransitionsDone = 0;
  task.state = kStateRelaxation;
  return task.AtomicTransition();
}

// One transition per pass until the vacancy to fill has no transition data.
int32_t CTask::AtomicTransition() {
  const Elem& el = GetElem(phot.relaxElement);
  const bool photonStep = stepKind == kPhoton;
  while (stopRequest.load(std::memory_order_acquire) == 0) {
    const int32_t v = InnermostVacancy(phot);
    const int32_t s = phot.nVacancies > 0 ? phot.vacancy[v] : 0;
    if (phot.nVacancies == 0 || s <= 0 || s >= kMaxDesignator || el.nTransitions[s] <= 0) {
      // End of the cascade; the remaining vacancies are dropped.
      phot.nVacancies = 0;
      state = kStateFollow;
      if (photonStep) photonSurvival = phot.electronFlag > 0 ? 1 : 0;
      return kStepInteraction;
    }
    ++phot.nTransitionsDone;
    const int32_t j = SelectTransition(el, s, rng->random());
    phot.vacancy[v] = el.transFill[s][j];
    const double Et = el.transEnergy[s][j];
    const int32_t emitter = el.transEmit[s][j];
    int32_t result;
    if (emitter != 0) {
      PushVacancy(phot, emitter);
      result = EmitAugerElectron(*this, Et, photonStep);
    } else {
      result = EmitFluorescencePhoton(*this, Et, photonStep);
    }
    // The track record of a banked particle joins here with the tracks.
    if (result == kStepFatal) return kStepFatal;
  }
  return kStepSuspended;
}
