// Samplers of the electron and positron interactions, shared by the CPU
// workers and the device: elastic deflection (tabulated distributions and the
// screened Rutherford small-angle law), bremsstrahlung photon energy and
// angle, knock-on energy of electroionization and the binary-collision
// kinematics. Tabulated quantities are sampled at the two grid energies
// around E with one random number and interpolated linearly in E. Closed-form
// samplers have their densities beside them.
#pragma once

#include <cmath>

#include "core/elem.h"
#include "core/hostdevice.h"
#include "transport/lookup.h"

// Cosines above this are the small-angle range of elastic scattering.
constexpr double kSmallAngleCosine = 0.999999;
constexpr double kSmallAngleWidth = 1e-6;  // 1 - kSmallAngleCosine

// Interpolation weight of E in [e0, e1], held to [0, 1] outside the grid.
TQ_CPU_GPU inline double GridFraction(double E, double e0, double e1) {
  if (!(e1 > e0)) return 0.0;
  const double f = (E - e0) / (e1 - e0);
  return f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
}

// Grid interval of E on a grid of n energies (n >= 2), through its index.
TQ_CPU_GPU inline int16_t EnergyInterval(double E, const double* grid, int16_t n, const INDEXDATA& index) {
  return n < 2 ? int16_t{0} : FindIndexed(E, grid, n, index, static_cast<int16_t>(n / 2));
}

// ---- Elastic scattering -------------------------------------------------

// Screening parameter of the small-angle law (Moliere-type screened
// Rutherford): eta = A / (pc)^2 (1.13 + B (1 + (m c^2 / pc)^2) sqrt(E / (E + m c^2))),
// A and B the element's constants (screeningEta0, screeningCoulomb).
TQ_CPU_GPU inline double ScreeningEta(double A, double B, double E, double restEn) {
  const double pc2 = E * (E + 2.0 * restEn);
  return A / pc2 * (1.13 + B * (1.0 + restEn * restEn / pc2) * sqrt(E / (E + restEn)));
}

// Cosine in the small-angle range 1 - mu <= 10^-6 from the screened Rutherford
// density p(mu) ~ 1 / (1 - mu + eta)^2, by inversion with r in [0, 1);
// kappa = eta (10^6 eta + 1).
TQ_CPU_GPU inline double SmallAngleCosine(double r, double eta, double kappa) {
  return 1.0 - eta * r * eta / (kappa - eta * r);
}

// Normalised density of SmallAngleCosine on [1 - 10^-6, 1].
inline double SmallAngleCosineDensity(double mu, double eta) {
  const double t = 1.0 - mu;
  if (t < 0.0 || t > kSmallAngleWidth) return 0.0;
  return (1e6 * eta + 1.0) * eta / ((t + eta) * (t + eta));
}

// Cosine of a tabulated elastic distribution set (per grid energy: cosines,
// densities, cumulative probabilities, inverse slopes, counts, median
// intervals and, when not null, the cumulative indexes) at E between grid
// energies i and i + 1, with one probability r.
struct ELASTICSET {
  const double (*cos)[kMaxElasticPoints];
  const double (*pdf)[kMaxElasticPoints];
  const double (*cum)[kMaxElasticPoints];
  const double (*slope)[kMaxElasticPoints];
  const int16_t* n;
  const int16_t* median;
  const INDEXDATA* cumIndex;  // null: halving search from the median
};

TQ_CPU_GPU inline ELASTICSET ElectronElasticSet(const Elem& el) {
  return ELASTICSET{el.elasticCos, el.elasticPdf, el.elasticCum, el.elasticSlope, el.elasticN, el.elasticMedian,
                    el.elasticCumIndex};
}

TQ_CPU_GPU inline ELASTICSET PositronElasticSet(const Elem& el) {
  return ELASTICSET{el.elasticCosPositron, el.elasticPdfPositron, el.elasticCumPositron, el.elasticSlopePositron,
                    el.elasticNPositron, el.elasticMedianPositron, nullptr};
}

TQ_CPU_GPU inline double ElasticCosineAt(double r, const ELASTICSET& set, int e, int quadratic) {
  int16_t interval = 0;
  if (set.cumIndex != nullptr)
    return ValueFromProbIndexed(r, set.cos[e], set.pdf[e], set.cum[e], set.slope[e], &set.cumIndex[e], set.n[e],
                                set.median[e], quadratic, interval);
  return ValueFromProb(r, set.cos[e], set.pdf[e], set.cum[e], set.slope[e], set.n[e], set.median[e], quadratic,
                       interval);
}

// The cosine between grid energies i and i + 1 with interpolation weight f.
TQ_CPU_GPU inline double SampleElasticCosineBetween(double r, const ELASTICSET& set, int16_t i, double f,
                                                    int quadratic) {
  const double mu0 = ElasticCosineAt(r, set, i, quadratic);
  const double mu1 = ElasticCosineAt(r, set, i + 1, quadratic);
  const double mu = mu0 + f * (mu1 - mu0);
  return mu < -1.0 ? -1.0 : (mu > 1.0 ? 1.0 : mu);
}

// Grid interval of E among the element's elastic energies.
TQ_CPU_GPU inline int16_t ElasticEnergyInterval(const Elem& el, double E) {
  return EnergyInterval(E, el.elasticEnergy, el.elasticNE, el.elasticEnergyIndex);
}

TQ_CPU_GPU inline double SampleElasticCosine(double r, const Elem& el, const ELASTICSET& set, double E, int quadratic) {
  const int16_t i = ElasticEnergyInterval(el, E);
  const double f = GridFraction(E, el.elasticEnergy[i], el.elasticEnergy[i + 1]);
  return SampleElasticCosineBetween(r, set, i, f, quadratic);
}

// ---- Bremsstrahlung -------------------------------------------------------

// Photon energy k (eV) between the spectra of grid energies i and i + 1; the
// photon-energy intervals used at both are returned for the angle.
struct BREMSSAMPLE {
  double k;
  double k0, k1;      // the energies sampled at the two grid energies
  int16_t i;          // incident-energy interval
  double f;           // interpolation weight in incident energy
  int16_t j0, j1;     // photon-energy intervals at grid energies i and i + 1
};

TQ_CPU_GPU inline BREMSSAMPLE SampleBremsPhotonEnergy(double r, const Elem& el, double E, int quadratic) {
  BREMSSAMPLE b{};
  const int16_t ne = el.bremsSpecNE;
  b.i = Find(E, el.bremsSpecEnergy, ne, static_cast<int16_t>(ne / 2));
  b.f = GridFraction(E, el.bremsSpecEnergy[b.i], el.bremsSpecEnergy[b.i + 1]);
  const int i = b.i;
  b.k0 = ValueFromProb(r, el.bremsSpecX[i], el.bremsSpecPdf[i], el.bremsSpecCum[i], el.bremsSpecSlope[i],
                       el.bremsSpecN[i], el.bremsSpecMedian[i], quadratic, b.j0);
  b.k1 = ValueFromProb(r, el.bremsSpecX[i + 1], el.bremsSpecPdf[i + 1], el.bremsSpecCum[i + 1],
                       el.bremsSpecSlope[i + 1], el.bremsSpecN[i + 1], el.bremsSpecMedian[i + 1], quadratic, b.j1);
  b.k = b.k0 + b.f * (b.k1 - b.k0);
  if (b.k > E) b.k = E;  // never more than the electron has (below the lowest grid energy)
  if (b.k < 0.0) b.k = 0.0;
  return b;
}

// Dipole-like photon emission about the electron's direction: the cosine of
// p(mu) = (1 - beta^2) / (2 (1 - beta mu)^2), by inversion with r in (0, 1).
TQ_CPU_GPU inline double DipoleBremsCosine(double r, double beta) {
  return (2.0 * r + beta - 1.0) / ((2.0 * r - 1.0) * beta + 1.0);
}

inline double DipoleBremsCosineDensity(double mu, double beta) {
  if (mu < -1.0 || mu > 1.0) return 0.0;
  const double q = 1.0 - beta * mu;
  return (1.0 - beta * beta) / (2.0 * q * q);
}

// Speed of an electron of kinetic energy E, in units of c.
TQ_CPU_GPU inline double ElectronBeta(double E, double restEn) {
  const double gamma = 1.0 + E / restEn;
  return sqrt(1.0 - 1.0 / (gamma * gamma));
}

// Cosine of the tabulated angular distribution of incident grid energy e and
// photon-energy grid point j, at probability r.
TQ_CPU_GPU inline double BremsTableCosine(double r, const Elem& el, int e, int j, int quadratic) {
  int16_t interval = 0;
  return ValueFromProb(r, el.bremsAngCos[e][j], el.bremsAngPdf[e][j], el.bremsAngCum[e][j], el.bremsAngSlope[e][j],
                       static_cast<int16_t>(el.bremsAngN[e][j]), el.bremsAngMedian[e][j], quadratic, interval);
}

// Tabulated photon angle: with one r at the four neighbours (grid energies i
// and i + 1, at each the photon-energy points around the k sampled there),
// linear in photon energy, then linear in incident energy.
TQ_CPU_GPU inline double SampleBremsTableCosine(double r, const Elem& el, const BREMSSAMPLE& b, int quadratic) {
  double mu[2];
  for (int side = 0; side < 2; ++side) {
    const int e = b.i + side;
    const int j = side == 0 ? b.j0 : b.j1;
    const double k = side == 0 ? b.k0 : b.k1;
    const double g = GridFraction(k, el.bremsSpecX[e][j], el.bremsSpecX[e][j + 1]);
    const double m0 = BremsTableCosine(r, el, e, j, quadratic);
    const double m1 = BremsTableCosine(r, el, e, j + 1, quadratic);
    mu[side] = m0 + g * (m1 - m0);
  }
  const double m = mu[0] + b.f * (mu[1] - mu[0]);
  return m < -1.0 ? -1.0 : (m > 1.0 ? 1.0 : m);
}

// ---- Electroionization ----------------------------------------------------

// Knock-on kinetic energy T (eV) of subshell s at E, between the spectra of
// the subshell's grid energies.
TQ_CPU_GPU inline double SampleKnockOnEnergy(double r, const Elem& el, int s, double E, int quadratic) {
  const int16_t ne = el.ionSpecNE[s];
  const int16_t i = EnergyInterval(E, el.ionSpecEnergy[s], ne, el.ionSpecEnergyIndex[s]);
  const double f = GridFraction(E, el.ionSpecEnergy[s][i], el.ionSpecEnergy[s][i + 1]);
  int16_t interval = 0;
  const double t0 = ValueFromProbIndexed(r, el.ionSpecX[s][i], el.ionSpecPdf[s][i], el.ionSpecCum[s][i],
                                         el.ionSpecSlope[s][i], &el.ionSpecCumIndex[s][i], el.ionSpecN[s][i],
                                         el.ionSpecMedian[s][i], quadratic, interval);
  const double t1 = ValueFromProbIndexed(r, el.ionSpecX[s][i + 1], el.ionSpecPdf[s][i + 1], el.ionSpecCum[s][i + 1],
                                         el.ionSpecSlope[s][i + 1], &el.ionSpecCumIndex[s][i + 1],
                                         el.ionSpecN[s][i + 1], el.ionSpecMedian[s][i + 1], quadratic, interval);
  const double t = t0 + f * (t1 - t0);
  return t > 0.0 ? t : 0.0;
}

// Relaxation designator of the vacancy that ionization subshell s leaves.
TQ_CPU_GPU inline int32_t IonizationVacancy(const Elem& el, int s) { return el.ionDesignator[s]; }

// Binding energy of ionization subshell s (eV), from the relaxation data, so
// that the cascade that fills the vacancy never emits more than the primary
// lost to it.
TQ_CPU_GPU inline double IonizationBindingEnergy(const Elem& el, int s) {
  return el.bindingEnergy[IonizationVacancy(el, s)];
}

// Polar cosine of the primary after a binary collision that leaves it E1 of
// its E0 (energies in eV, restEn2 = 2 m c^2); 0 when it stops.
TQ_CPU_GPU inline double IonizationPrimaryCosine(double E0, double E1, double restEn2) {
  if (!(E1 > 0.0) || !(E0 > 0.0)) return 0.0;
  const double mu = sqrt(E1 * (E0 + restEn2) / (E0 * (E1 + restEn2)));
  return mu > 1.0 ? 1.0 : mu;
}

// Polar cosine of the knock-on (momentum pT) from the triangle of the
// primary's momentum px after the binding loss and its momentum p1 after the
// collision (all p c in eV), held to [-1, 1].
TQ_CPU_GPU inline double KnockOnCosine(double px, double pT, double p1) {
  if (!(px > 0.0) || !(pT > 0.0)) return 1.0;
  const double mu = (px * px + pT * pT - p1 * p1) / (2.0 * px * pT);
  return mu < -1.0 ? -1.0 : (mu > 1.0 ? 1.0 : mu);
}

// p c (eV) of an electron of kinetic energy E.
TQ_CPU_GPU inline double ElectronMomentum(double E, double restEn2) { return E > 0.0 ? sqrt(E * (E + restEn2)) : 0.0; }
