// The photon interactions at the collision point: coherent scattering,
// incoherent scattering with Doppler broadening, photoelectric absorption and
// pair production. The three rejection loops are states 1..3 of the history
// loop: a stop request leaves a loop with its state kept, and
// ResumeInterruptedStep continues it (and the rest of the interaction) later.
#include "transport/photon_interactions.h"

#include <atomic>
#include <cmath>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/cutoffs.h"
#include "transport/directions.h"
#include "transport/history.h"
#include "transport/interaction_stats.h"
#include "transport/relaxation.h"
#include "transport/tally_scoring.h"
#include "transport/tracks.h"

namespace {

bool StopRequested(const CTask& task) { return task.stopRequest.load(std::memory_order_acquire) != 0; }

// Momentum p c of an electron or positron of kinetic energy T, eV.
double ChargedMomentum(double T, double restEn2) { return sqrt(T * (T + restEn2)); }

// A secondary takes the photon's record (the photon ends).
void TakeRecord(CTask& task, double E, uint8_t kind, uint8_t org) {
  task.E = E;
  task.kind = kind;
  task.org = org;
  // The distances to the plane tallies of the new particle's kind.
  if (GetConstants().trackPos != 0) ResetPlaneTallyDistances(task, TallyKindOf(kind));
  TrackReplacement(task, org, E);
}

// The end of an interaction that leaves no vacancy: the photon goes on when
// it still holds the record and survived.
int32_t InteractionDone(CTask& task, bool photonGoesOn) {
  task.photonSurvival = photonGoesOn ? 1 : 0;
  return kStepInteraction;
}

}  // namespace

int32_t CTask::PhotonInteraction() {
  phot.E0 = E;
  switch (phot.interaction) {
    case kPhotonCoherent:
      return CoherentScattering0();
    case kPhotonIncoherent:
      return IncoherentScattering0();
    case kPhotonPhotoelectric:
      return PhotoelectricAbsorption();
    default:
      return PairProduction();
  }
}

// A rejection loop or a relaxation cascade left on a stop request.
int32_t CTask::ResumeInterruptedStep() {
  switch (state) {
    case kStateCoherentLoop:
      return CohRejectionLoop();
    case kStateIncoherentLoop:
      return IncohRejectionLoop();
    case kStateDopplerLoop:
      return DopplerRejectionLoop();
    default:
      return AtomicTransition();
  }
}

// ---------------------------------------------------------------------------
// Coherent scattering
// ---------------------------------------------------------------------------

int32_t CTask::CoherentScattering0() {
  const Constants& k = GetConstants();
  phot.shell = -1;
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  if (c.cohE != E) CoherentSetUp(GetElem(phot.element), E, k.restEn, k.constFact_coh, c);
  phot.cohRejections = 0;
  phot.tries = 0;
  state = kStateCoherentLoop;
  return CohRejectionLoop();
}

// Tries of the momentum transfer drawn from the squared form factor with the
// Thomson factor as rejection. A form factor that vanishes at every reachable
// momentum transfer (ratio at or below coh_thr for kCoherentGiveUp tries in a
// row) leaves the photon undeflected.
int32_t CTask::CohRejectionLoop() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  const PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  bool accepted = false;
  for (;;) {
    double ratio = 0.0;
    accepted = CoherentTry(el, c, *rng, &phot.mu, &ratio);
    RunMonitorTick(*this);
    if (accepted) break;
    ++phot.tries;
    phot.cohRejections = ratio <= k.coh_thr ? phot.cohRejections + 1 : 0;
    if (phot.cohRejections >= kCoherentGiveUp) break;  // left undeflected
    if (StopRequested(*this)) return kStepSuspended;
  }
  if (accepted) pc.dir = NonIsotropic(pc.dir, E, 1.0 / E, phot.mu, kTwoPi * rng->random());
  state = kStateFollow;
  AddStats(*this, curStats, statslot::nCoherent, -1, 0.0);
  return InteractionDone(*this, true);
}

// ---------------------------------------------------------------------------
// Incoherent scattering
// ---------------------------------------------------------------------------

int32_t CTask::IncoherentScattering0() {
  const Constants& k = GetConstants();
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  if (c.incohE != E) IncoherentSetUp(GetElem(phot.element), E, k.restEn, k.constFact_coh, c);
  phot.tries = 0;
  state = kStateIncoherentLoop;
  return IncohRejectionLoop();
}

int32_t CTask::IncohRejectionLoop() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  for (;;) {
    const bool accepted = IncoherentTry(el, c, k.constFact_incoh, *rng, &phot.mu, &phot.eps);
    RunMonitorTick(*this);
    // A loop that cannot accept (an S(x) that vanishes everywhere) keeps the
    // free-electron scatter of its last try.
    if (accepted || ++phot.tries >= kRejectionTryLimit) break;
    if (StopRequested(*this)) return kStepSuspended;
  }
  state = kStateFollow;
  const int32_t first = k.dopplerBroadening != 0 ? FirstShellBoundBelow(el, E) : -1;
  if (first < 0) {
    // Free electron at rest: T = (k - k') m c^2, the subshell by occupation.
    phot.T = (c.k - c.k * phot.eps) * k.restEn;
    const int32_t shell = el.nSubshells <= 1 ? 0 : ShellFromOccupation(el, 0, rng->random());
    return PostDoppler_NoDoppler(shell);
  }
  phot.dopplerFirst = first;
  for (int32_t i = first; i < el.nSubshells; ++i) phot.pzMaxKnown[i] = 0;
  phot.tries = 0;
  state = kStateDopplerLoop;
  return DopplerRejectionLoop();
}

// The struck electron's subshell and momentum projection from the Compton
// profiles, accepted when the electron can leave its subshell.
int32_t CTask::DopplerRejectionLoop() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  const PHOTONELEMENTCACHE& c = phot.elements[phot.element];
  const double mu = phot.mu;
  int32_t shell = phot.dopplerFirst;
  double pz = 0.0;
  bool accepted = false;
  for (;;) {
    shell = ShellFromOccupation(el, phot.dopplerFirst, rng->random());
    if (phot.pzMaxKnown[shell] == 0) {
      const double d = (E - BindingEnergyOfShell(el, shell)) / k.restEn;
      phot.pzMax[shell] = DopplerPzMax(c.k, d, mu, k.fineStr_inv);
      phot.pzMaxKnown[shell] = 1;
    }
    const int32_t profile = el.profileIndex[el.subshellDesignator[shell]] - 1;
    pz = profile >= 0 && profile < el.nProfiles ? ProfileMomentum(el, profile, rng->random(), k.smoothCDF_inelastic) : 0.0;
    RunMonitorTick(*this);
    accepted = pz <= phot.pzMax[shell];
    if (accepted || ++phot.tries >= kRejectionTryLimit) break;
    if (StopRequested(*this)) return kStepSuspended;
  }
  state = kStateFollow;
  // Given up: the free-electron energy of the scatter, without a Doppler shift.
  const double Eprime = accepted ? DopplerScatteredEnergy(c.k, mu, pz, k.fineStr, k.restEn) : E * phot.eps;
  phot.T = E - Eprime;
  return PostDoppler_NoDoppler(shell);
}

// The recoil electron, the scattered photon and the vacancy of an incoherent
// scattering whose energy transfer phot.T and subshell are known.
int32_t CTask::PostDoppler_NoDoppler(int32_t shell) {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  phot.shell = shell;
  const double T = phot.T;
  double Te = T;
  if (k.incoh_SubtractBindingEnergy != 0 && el.nSubshells > 0) Te -= BindingEnergyOfShell(el, shell);
  phot.bankEntry = -1;
  const double cutE = ElectronCutoff(*this);
  if (Te > 0.0) {
    if (Te > cutE && k.trackPhotonProducedElectrons != 0) {
      if (k.trackSecondaryPhotons != 0) {
        if (PushParticle(*this, Te, kElectron, kOriginCompton, pc.dir, weight, 0) == kBankFull) return kStepFatal;
        phot.bankEntry = 1;
      } else {
        phot.bankEntry = 0;
      }
    }
    if (Te > cutE) AddStats(*this, curStats, statslot::nComptonAbove, statslot::eComptonAbove, Te);
    AddStats(*this, curStats, statslot::nCompton, statslot::eCompton, Te);
    phot.electronFlag = 1;
  }
  AddStatsEnergy(*this, curStats, statslot::eComptonLoss, T);

  // The scattered photon.
  bool photonEnded = true;
  const double E0 = phot.E0;
  if (phot.bankEntry != 0) {
    E -= T;
    if (k.trackSecondaryPhotons != 0) {
      if (E <= PhotonCutoff(*this)) {
        if (E < 0.0) E = 0.0;
        PhotonEnergyBelowCutoff();
      } else {
        photonEnded = false;
      }
    }
  }
  if (photonEnded) {
    phot.electronFlag = -phot.electronFlag;
    phot.notFollowed = 1;
  }

  // Directions: the photon turned by (mu, phi), the electron along the
  // momentum transfer p0 - p1.
  if (k.trackPos != 0 && (!photonEnded || phot.bankEntry >= 0)) {
    const VECTOR p0 = pc.dir;
    const double Eprime = E0 - T > 0.0 ? E0 - T : 0.0;
    const VECTOR p1 = NonIsotropic(p0, Eprime, 1.0 / E0, phot.mu, kTwoPi * rng->random());
    pc.dir = p1;
    if (phot.bankEntry >= 0) {
      VECTOR q = p0 - p1;
      const double length = sqrt(q * q);
      q = length > 0.0 ? (ChargedMomentum(Te, RestEnergyTwice(k)) / length) * q : p0 * (1.0 / E0);
      if (phot.bankEntry == 1) {
        pcCursor->dir = q;
      } else {
        pc.dir = q;
      }
    }
  }
  if (phot.bankEntry == 0) TakeRecord(*this, Te, kElectron, kOriginCompton);
  DepositEnergy(*this, T);
  if (phot.electronFlag != 0) return StartRelaxation(*this, phot.element, el.subshellDesignator[shell]);
  return InteractionDone(*this, !photonEnded);
}

// ---------------------------------------------------------------------------
// Photoelectric absorption
// ---------------------------------------------------------------------------

int32_t CTask::PhotoelectricAbsorption() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  const int32_t s = phot.shell;
  const double E0 = E;
  const double Te = E - BindingEnergyOfShell(el, s);
  DepositEnergy(*this, E);
  AddStatsEnergy(*this, curStats, statslot::eCaptureLoss, E);
  if (Te > ElectronCutoff(*this)) {
    if (k.trackPhotonProducedElectrons != 0) {
      TakeRecord(*this, Te, kElectron, kOriginPhotoelectron);
      if (k.trackPos != 0) {
        const double p = ChargedMomentum(Te, RestEnergyTwice(k));
        const int16_t j = phot.elements[phot.element].hintShell[s];
        const bool tabulated = k.nonIsotropicPE != 0 && el.peAngCos != nullptr && el.peAngCos[s] != nullptr &&
                               j + 1 < el.photoionN[s] && el.peAngCos[s][j] != nullptr && el.peAngCos[s][j + 1] != nullptr;
        if (tabulated) {
          // Photoelectron cosine interpolated between the tables of the two
          // photon energies around E0.
          const double r = rng->random();
          const int16_t n = static_cast<int16_t>(k.pe_angularDistr_nPoints);
          int16_t interval = 0;
          const double mu1 = ValueFromProb(r, el.peAngCos[s][j], el.peAngPdf[s][j], el.peAngCum[s][j], el.peAngSlope[s][j], n,
                                           el.peAngMedian[s][j], k.smoothCDF_inelastic, interval);
          const double mu2 = ValueFromProb(r, el.peAngCos[s][j + 1], el.peAngPdf[s][j + 1], el.peAngCum[s][j + 1],
                                           el.peAngSlope[s][j + 1], n, el.peAngMedian[s][j + 1], k.smoothCDF_inelastic,
                                           interval);
          const double* grid = el.photoionEnergy[s];
          const double f = (E0 - grid[j]) / (grid[j + 1] - grid[j]);
          pc.dir = NonIsotropic(pc.dir, p, 1.0 / E0, mu1 + (mu2 - mu1) * f, kTwoPi * rng->random());
        } else {
          pc.dir = Isotropic(*rng, p);
        }
      }
    }
    AddStats(*this, curStats, statslot::nCaptureAbove, statslot::eCaptureAbove, Te);
  }
  AddStats(*this, curStats, statslot::nCapture, statslot::eCapture, Te);
  return StartRelaxation(*this, phot.element, el.subshellDesignator[s]);
}

// ---------------------------------------------------------------------------
// Pair production
// ---------------------------------------------------------------------------

namespace {

// Share of the kinetic energy given to the electron: from the Bethe-Heitler
// tables of the two photon energies around E, or uniform.
double PairElectronShare(CTask& task, const Elem& el, PHOTONELEMENTCACHE& c) {
  const Constants& k = GetConstants();
  const double r = task.rng->random();
  if (k.nonUniformPPenergy == 0 || el.ppSpecX == nullptr) return r;
  const int16_t nEnergies = k.n_pp_Eprim >= 2 ? k.n_pp_Eprim : 2;
  if (c.pairE != task.E) {
    c.pairInterval = Find(task.E, k.pp_Eprim, nEnergies, c.hintPairShare);
    c.hintPairShare = c.pairInterval;
    const int16_t i = c.pairInterval;
    c.pairFraction = (task.E - k.pp_Eprim[i]) / (k.pp_Eprim[i + 1] - k.pp_Eprim[i]);
    c.pairE = task.E;
  }
  const int16_t i = c.pairInterval;
  const double u = r < 0.5 ? 2.0 * r : 2.0 * (1.0 - r);
  int16_t interval = 0;
  const double a = ValueFromProb(u, el.ppSpecX[i], el.ppSpecPdf[i], el.ppSpecCum[i], el.ppSpecSlope[i], el.ppSpecN[i],
                                 el.ppSpecMedian[i], k.smoothCDF_inelastic, interval);
  const double b = ValueFromProb(u, el.ppSpecX[i + 1], el.ppSpecPdf[i + 1], el.ppSpecCum[i + 1], el.ppSpecSlope[i + 1],
                                 el.ppSpecN[i + 1], el.ppSpecMedian[i + 1], k.smoothCDF_inelastic, interval);
  const double q = a + (b - a) * c.pairFraction;
  return r < 0.5 ? q : 1.0 - q;
}

// Direction of a pair particle of kinetic energy T from the photon's
// direction d0 (length E0).
VECTOR PairParticleDirection(CTask& task, VECTOR d0, double E0, double T) {
  const Constants& k = GetConstants();
  const double p = ChargedMomentum(T, RestEnergyTwice(k));
  if (k.usePPangularDistr == 0) return (p / E0) * d0;
  const double mu = PairEmissionCosine(task.rng->random(), T, 1.0 / k.restEn);
  return NonIsotropic(d0, p, 1.0 / E0, mu, kTwoPi * task.rng->random());
}

}  // namespace

int32_t CTask::PairProduction() {
  const Constants& k = GetConstants();
  const Elem& el = GetElem(phot.element);
  const double E0 = E;
  const VECTOR d0 = pc.dir;
  DepositEnergy(*this, E);
  AddStatsEnergy(*this, curStats, statslot::ePairLoss, E);
  const double K = E - RestEnergyTwice(k);
  const double T1 = K * PairElectronShare(*this, el, phot.elements[phot.element]);
  const double T2 = K - T1;
  const double cutE = ElectronCutoff(*this);
  const bool followed = k.trackPhotonProducedElectrons != 0;

  // The electron and the positron: the first followed one takes the record,
  // a followed positron behind the electron is banked.
  bool electronInRecord = false, positronInRecord = false, positronBanked = false;
  if (T1 > cutE) {
    if (followed) electronInRecord = true;
    AddStats(*this, curStats, statslot::nPairParticlesAbove, statslot::ePairParticlesAbove, T1);
  }
  if (T2 > cutE) {
    if (followed && !electronInRecord) {
      positronInRecord = true;
    } else if (followed) {
      if (PushParticle(*this, T2, kPositron, kOriginPairPositron, d0, weight, 0) == kBankFull) return kStepFatal;
      positronBanked = true;
    }
    AddStats(*this, curStats, statslot::nPairParticlesAbove, statslot::ePairParticlesAbove, T2);
  }
  AddStats(*this, curStats, statslot::nPairParticles, statslot::ePairParticles, K, 2.0);

  if (k.trackPos != 0 && followed) {
    if (positronBanked) pcCursor->dir = PairParticleDirection(*this, d0, E0, T2);
    if (electronInRecord) pc.dir = PairParticleDirection(*this, d0, E0, T1);
    if (positronInRecord) pc.dir = PairParticleDirection(*this, d0, E0, T2);
  }
  if (electronInRecord) TakeRecord(*this, T1, kElectron, kOriginPairElectron);
  if (positronInRecord) TakeRecord(*this, T2, kPositron, kOriginPairPositron);

  // A positron that is not followed, or that starts at or below the electron
  // cutoff, annihilates at once where it was made.
  if (!followed) {
    if (AnnihilateAtRest(*this, T2, false) > 0) return kStepFatal;
  } else if (!(T2 > cutE)) {
    if (AnnihilateAtRest(*this, T2, true) > 0) return kStepFatal;
  }
  return InteractionDone(*this, false);
}
