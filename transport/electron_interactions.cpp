// The collisions of electrons and positrons chosen by the collision sampling:
// elastic scattering, bremsstrahlung, atomic excitation and electroionization
// of one subshell, with their secondaries and statistics.
#include "transport/electron_interactions.h"

#include <cmath>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/material.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/directions.h"
#include "transport/electron_scoring.h"
#include "transport/interaction_stats.h"
#include "transport/relaxation.h"
#include "transport/tracks.h"

namespace {

// Rescales the momentum vector to the new energy E (when positions are
// followed and the particle is not dropped).
void RescaleMomentum(CTask& t, const Constants& k) {
  if (k.trackPos == 0 || t.E < 0.0) return;
  t.pc.dir = t.pc.dir * (ElectronMomentum(t.E, RestEnergyTwice(k)) * t.invMomentum);
}

// Direction of length `length` turned from the particle's by the polar cosine
// mu and the azimuth phi (a uniform one unless given).
VECTOR TurnedDirection(CTask& t, double length, double mu, double phi) {
  return NonIsotropic(t.pc.dir, length, t.invMomentum, mu, phi);
}

VECTOR TurnedDirection(CTask& t, double length, double mu) {
  return TurnedDirection(t, length, mu, kTwoPi * t.rng->random());
}

}  // namespace

// The collision of the selected column. Returns kStepInteraction, kStepFatal
// when the bank overflowed, or kStepSuspended when a stop request interrupted
// the relaxation cascade of an ionization.
int32_t CTask::ElectronInteraction() {
  switch (collisionType) {
    case 0:
      if (GetConstants().trackSecondaryElectrons == 0) {
        E = -1.0;  // not followed: dropped without scoring
        return kStepInteraction;
      }
      DetermineElasticScatteringModel();
      ElasticScattering();
      return kStepInteraction;
    case 1:
      return Bremsstrahlung() > 0 ? kStepFatal : kStepInteraction;
    case 2:
      Excitation();
      return kStepInteraction;
    default:
      return Electroionization();
  }
}

// ---------------------------------------------------------------------------
// Elastic scattering
// ---------------------------------------------------------------------------

// Chooses the deflection's model and samples its cosine into elasticMu:
// the screened Rutherford law in the small-angle range, with the probability
// that the material table gives for the element, else the tabulated
// distributions (partial-wave sets with ELASTIC_DPW, the positron set for a
// positron).
void CTask::DetermineElasticScatteringModel() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(collisionElement);
  const int quadratic = k.smoothCDF_elastic > 0 ? 1 : 0;
  double r;
  const bool smallAngle = k.useDPWelasticScatteringCrossSections == 0 && k.elastic_smallAngle != 0 &&
                          E > el.smallAngleStart && material->elasticSmallAngleShare != nullptr &&
                          material->elasticSmallAngleShare[collisionElement] != nullptr;
  if (smallAngle) {
    const double q = material->elasticSmallAngleShare[collisionElement][elInterval] +
                     elIntervalOffset * material->elasticSmallAngleShareSlope[collisionElement][elInterval];
    const double u = rng->random2();
    if (u < q) {
      const double rs = u / q;
      if (k.smoothCDF_elastic <= 0) {
        elasticMu = kSmallAngleCosine + kSmallAngleWidth * rs;
        return;
      }
      if (screeningE[collisionElement] != E) {
        const double eta = ScreeningEta(el.screeningEta0, el.screeningCoulomb, E, k.restEn);
        screeningE[collisionElement] = E;
        screeningEta[collisionElement] = eta;
        screeningKappa[collisionElement] = eta * (1e6 * eta + 1.0);
      }
      elasticMu = SmallAngleCosine(rs, screeningEta[collisionElement], screeningKappa[collisionElement]);
      return;
    }
    r = u == q ? rng->random() : (u - q) / (1.0 - q);
  } else {
    r = rng->random();
  }
  const int8_t setIndex = k.useDPWelasticScatteringCrossSections != 0 && kind == kPositron ? 1 : 0;
  const ELASTICSET set = setIndex == 1 ? PositronElasticSet(el) : ElectronElasticSet(el);
  const int e = collisionElement;
  if (elasticGridE[e] != E || elasticGridSet[e] != setIndex) {
    elasticGridE[e] = E;
    elasticGridSet[e] = setIndex;
    elasticGridPoint[e] = ElasticPointAt(el, set, E);
  }
  elasticMu = SampleElasticCosineAt(r, set, elasticGridPoint[e], quadratic);
}

// Turns the momentum by elasticMu and a uniform azimuth; the energy is kept.
void CTask::ElasticScattering() {
  if (GetConstants().trackPos != 0) pc.dir = TurnedDirection(*this, momentum, elasticMu);
  ScoreElectronEvent(*this, statslot::nElastic);
}

// ---------------------------------------------------------------------------
// Bremsstrahlung
// ---------------------------------------------------------------------------

// The electron loses the photon's energy k and keeps its direction. A photon
// above the cell's photon cutoff is banked (TRACK_B) isotropically, with the
// dipole-like law, or from the tabulated angular distributions. Returns
// kBankFull (fatal) or 0.
int32_t CTask::Bremsstrahlung() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(collisionElement);
  const int quadratic = k.smoothCDF_inelastic;
  const BREMSSAMPLE b = SampleBremsPhotonEnergy(rng->random(), el, E, quadratic);
  const double photonE = b.k;
  const double E0 = E;
  ScoreElectronEnergy(*this, statslot::eBremsLoss, photonE);
  E = k.trackSecondaryElectrons == 0 ? -1.0 : fmax(E - photonE, 0.0);

  if (photonE > cell->CUT_P) {
    if (k.trackBremsPhotons != 0) {
      VECTOR photonDir{};
      if (k.trackPos != 0) {
        if (k.nonIsotropicBrems == 0) {
          photonDir = Isotropic(*rng, photonE);
        } else {
          const double r = rng->random();
          const bool dipole = E0 <= k.brems_lowEnThr || E0 >= k.brems_highEnThr || el.bremsAngCos == nullptr;
          const double mu = dipole ? DipoleBremsCosine(r, ElectronBeta(E0, k.restEn))
                                   : SampleBremsTableCosine(r, el, b, quadratic);
          photonDir = TurnedDirection(*this, photonE, mu);
        }
      }
      const uint8_t photonKind = k.trackPos != 0 ? kPhoton : kPhotonNoPosition;
      if (PushParticle(*this, photonE, photonKind, kOriginBrems, photonDir, weight, 0) > 0) return kBankFull;
      DepositEnergy(*this, -photonE);
    }
    ScoreElectronEvent(*this, statslot::nBremsPhotonsAbove, statslot::eBremsPhotonsAbove, photonE);
  }
  RescaleMomentum(*this, k);
  ScoreElectronEvent(*this, statslot::nBremsPhotons, statslot::eBremsPhotons, photonE);
  ScoreElectronEvent(*this, statslot::nInelastic);
  return 0;
}

// ---------------------------------------------------------------------------
// Excitation
// ---------------------------------------------------------------------------

// The mean excitation energy loss of the element at E, deposited on the spot;
// the direction is kept.
void CTask::Excitation() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(collisionElement);
  ScoreElectronEvent(*this, statslot::nInelastic);
  const int16_t i = EnergyInterval(E, el.excLossEnergy, el.excLossN, el.excLossIndex);
  double loss = el.excLoss[i] + (E - el.excLossEnergy[i]) * el.excLossSlope[i];
  if (loss < 0.0) loss = 0.0;
  ScoreElectronEvent(*this, statslot::nExcitation, statslot::eExcitation, loss);
  E = k.trackSecondaryElectrons == 0 ? -1.0 : fmax(E - loss, 0.0);
  RescaleMomentum(*this, k);
}

// ---------------------------------------------------------------------------
// Electroionization
// ---------------------------------------------------------------------------

// Ionization of subshell s = collisionType - 3: a knock-on electron of energy
// T and a vacancy of binding energy B; the primary keeps E0 - T - B and both
// directions follow from the binary-collision kinematics. A knock-on above
// the cutoff is followed (TRACK_K) and the primary banked; a primary left at
// or below the cutoff ends there at once. The vacancy then relaxes (fluorescence
// and Auger cascade). Returns kStepFatal on a full bank, else the cascade's
// result (kStepInteraction, or kStepSuspended on a stop request).
int32_t CTask::Electroionization() {
  const Constants& k = GetConstants();
  const double restEn2 = RestEnergyTwice(k);
  const Elem& el = GetElem(collisionElement);
  const int s = collisionType - 3;
  ScoreElectronEvent(*this, statslot::nElectroionization);
  ScoreElectronEvent(*this, statslot::nInelastic);

  // Energies: the loss W = T + B never exceeds what the primary has.
  const double E0 = E;
  double T = SampleKnockOnEnergy(rng->random(), el, s, E0, k.smoothCDF_inelastic);
  const double bindingEnergy = IonizationBindingEnergy(el, s);
  // Below the threshold (never with the file's cross sections) the loss is
  // held to E0 and no vacancy is left.
  const bool vacancy = bindingEnergy <= E0;
  const double B = vacancy ? bindingEnergy : E0;
  if (T > E0 - B) T = E0 - B;
  const double W = T + B;
  ScoreElectronEvent(*this, statslot::nKnockOn, statslot::eKnockOn, T);
  ScoreElectronEnergy(*this, statslot::eElectroionization, W);
  const double E1 = fmax(E0 - W, 0.0);
  const double p1 = ElectronMomentum(E1, restEn2);
  const double mu1 = IonizationPrimaryCosine(E0, E1, restEn2);

  bool knockOnFollowed = false;
  if (T > cell->CUT_E) {
    if (k.trackKnockOnElectrons != 0 && k.trackSecondaryElectrons != 0) {
      const double pT = ElectronMomentum(T, restEn2);
      const double px = ElectronMomentum(E0 - B, restEn2);
      const VECTOR oldDir = pc.dir;
      // Momentum balance: the two electrons leave on opposite sides of the
      // primary's old direction.
      const double phi1 = k.trackPos != 0 ? kTwoPi * rng->random() : 0.0;
      if (E1 > cell->CUT_E) {
        // The primary waits in the bank with its new energy and direction.
        const VECTOR primaryDir = k.trackPos != 0 ? TurnedDirection(*this, p1, mu1, phi1) : VECTOR{};
        if (PushParticle(*this, E1, kind, org, primaryDir, weight, 0) > 0) return kStepFatal;
      } else {
        // A primary at or below the cutoff ends here (a positron annihilates).
        E = E1;
        if (ElectronEnergyBelowCutoff(kind == kPositron ? 1 : 0) > 0) return kStepFatal;
      }
      // The particle followed now is the knock-on.
      E = T;
      kind = kElectron;
      org = kOriginKnockOn;
      iForced = 0;
      if (k.trackPos != 0) {
        pc.dir = oldDir;
        pc.dir = TurnedDirection(*this, pT, KnockOnCosine(px, pT, p1), phi1 + 0.5 * kTwoPi);
      }
      knockOnFollowed = true;
      TrackReplacement(*this, kOriginKnockOn, T);
    }
    ScoreElectronEvent(*this, statslot::nKnockOnAbove, statslot::eKnockOnAbove, T);
  }
  if (k.trackSecondaryElectrons == 0) {
    E = -1.0;
  } else if (!knockOnFollowed) {
    E = E1;
    if (k.trackPos != 0) pc.dir = TurnedDirection(*this, p1, mu1);
  }
  // The vacancy of binding energy B: the cascade banks what it emits and
  // takes escaping fluorescence out of the deposit; the rest of B stays here.
  if (!vacancy) return kStepInteraction;
  return StartRelaxation(*this, collisionElement, IonizationVacancy(el, s));
}
