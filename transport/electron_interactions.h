// Samplers of the electron and positron interactions, shared by the CPU
// workers and the device: elastic deflection (tabulated distributions, the
// Wentzel law that carries a table across a wide energy gap, and the screened
// Rutherford small-angle law), bremsstrahlung photon energy and angle,
// knock-on energy of electroionization and the binary-collision kinematics.
// Tabulated quantities are sampled at the two grid energies around E with one
// random number and interpolated in a variable that scales with energy.
// Closed-form samplers have their densities beside them.
#pragma once

#include <cmath>

#include "core/elem.h"
#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/physical_constants.h"
#include "transport/lookup.h"

// Interpolation weight of E in [e0, e1], held to [0, 1] outside the grid.
TQ_CPU_GPU inline double GridFraction(double E, double e0, double e1) {
  if (!(e1 > e0)) return 0.0;
  const double f = (E - e0) / (e1 - e0);
  return f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f);
}

// Grid interval of E on a grid of n energies (n >= 2), through its index.
template <typename Index>
TQ_CPU_GPU inline int16_t EnergyInterval(double E, const double* grid, int16_t n, const Index& index) {
  return n < 2 ? int16_t{0} : FindIndexed(E, grid, n, index, static_cast<int16_t>(n / 2));
}

// Families of element energy grids in a worker's remembered intervals
// (GRIDSPOT): elastic, excitation, and the ionization subshells from
// kSpotIonization on.
constexpr int32_t kSpotElastic = 0;
constexpr int32_t kSpotExcitation = 1;
constexpr int32_t kSpotIonization = 2;

TQ_CPU_GPU inline int32_t GridSpotKey(int32_t element, int32_t family) { return element * kMaxSections + family; }

// Interval of E on an element's energy grid of n points through the worker's
// remembered intervals `spots`: the remembered one while it holds E, else the
// index lookup (EnergyInterval), remembered with the logarithm of its width.
// Within an interval of positive width the lookup gives that interval, so
// the result is EnergyInterval's.
template <typename Index>
TQ_CPU_GPU inline const GRIDSPOT& SpotInterval(GRIDSPOT* spots, int32_t key, double E, const double* grid, int16_t n,
                                               const Index& index) {
  GRIDSPOT& s = spots[key & (kGridSpots - 1)];
  if (s.key == key && E >= s.lo && E < s.hi) return s;
  s.key = key;
  s.i = EnergyInterval(E, grid, n, index);
  if (n < 2) {
    s.lo = 1.0;
    s.hi = 0.0;
    s.lnWidth = 0.0;
    return s;
  }
  s.lo = grid[s.i];
  s.hi = grid[s.i + 1];
  s.lnWidth = s.hi > s.lo && s.lo > 0.0 ? FastLog(s.hi / s.lo) : 0.0;
  return s;
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

// ---- Wentzel (screened Rutherford) law over t = 1 - mu in [0, 2]:
// p(t) = eta (eta + 2) / (2 (t + eta)^2), eta the screening parameter.

TQ_CPU_GPU inline double WentzelCdf(double t, double eta) { return (eta + 2.0) * t / (2.0 * (t + eta)); }

TQ_CPU_GPU inline double WentzelQuantile(double F, double eta) { return 2.0 * eta * F / (eta + 2.0 - 2.0 * F); }

// Carries t from the law of eta0 onto the law of eta at the same cumulative
// probability: an exact Wentzel distribution becomes the other exactly, and a
// measured one keeps its departures from the law (Mott factor, structure).
TQ_CPU_GPU inline double WentzelMap(double t, double eta0, double eta) {
  return WentzelQuantile(WentzelCdf(t, eta0), eta);
}

// Mean of t under the law: eta (eta + 2)/2 ln(1 + 2/eta) - eta.
inline double WentzelMeanT(double eta) { return 0.5 * eta * (eta + 2.0) * std::log1p(2.0 / eta) - eta; }

// Weight of E in [e0, e1] in ln E, held to [0, 1].
TQ_CPU_GPU inline double LogGridFraction(double E, double e0, double e1) {
  if (!(e1 > e0) || !(E > e0) || !(e0 > 0.0)) return 0.0;
  if (E >= e1) return 1.0;
  return FastLog(E / e0) / FastLog(e1 / e0);
}

// The same on a remembered interval [lo, hi), with its ln(hi / lo).
TQ_CPU_GPU inline double LogGridFractionIn(double E, const GRIDSPOT& spot) {
  if (!(spot.hi > spot.lo) || !(E > spot.lo) || !(spot.lo > 0.0)) return 0.0;
  if (E >= spot.hi) return 1.0;
  return FastLog(E / spot.lo) / spot.lnWidth;
}

// ---- Tabulated elastic distributions --------------------------------------

// One distribution set of an element (per grid energy: cosines, densities,
// cumulative probabilities, inverse slopes, counts, median intervals and,
// when not null, the cumulative indexes), with its wide-interval model.
struct ELASTICSET {
  const REL<double>* cos;
  const REL<double>* pdf;
  const REL<double>* cum;
  const REL<double>* slope;
  const int16_t* n;
  const int16_t* median;
  const ELEMINDEX* cumIndex;  // null: halving search from the median
  const double* modelEta0;
  const double (*modelLnEta)[kElasticModelPoints];
};

TQ_CPU_GPU inline ELASTICSET ElectronElasticSet(const Elem& el) {
  return ELASTICSET{el.elasticCos,      el.elasticPdf,         el.elasticCum,
                    el.elasticSlope,    el.elasticN,           el.elasticMedian,
                    el.elasticCumIndex, el.elasticModelEta0[0], el.elasticModelLnEta[0]};
}

TQ_CPU_GPU inline ELASTICSET PositronElasticSet(const Elem& el) {
  return ELASTICSET{el.elasticCosPositron,   el.elasticPdfPositron,    el.elasticCumPositron,
                    el.elasticSlopePositron, el.elasticNPositron,      el.elasticMedianPositron,
                    nullptr,                 el.elasticModelEta0[1], el.elasticModelLnEta[1]};
}

// Cosine of table e of the set at probability r.
// memo, when given, keeps the logarithm that an index takes of r.
TQ_CPU_GPU inline double ElasticCosineAt(double r, const ELASTICSET& set, int e, int quadratic,
                                         LOGMEMO* memo = nullptr) {
  int16_t interval = 0;
  const double* cos = set.cos[e].table();
  const double* pdf = set.pdf[e].table();
  const double* cum = set.cum[e].table();
  const double* slope = set.slope[e].table();
  if (set.cumIndex != nullptr)
    return ValueFromProbIndexed(r, cos, pdf, cum, slope, &set.cumIndex[e], set.n[e], set.median[e], quadratic, interval,
                                memo);
  return ValueFromProb(r, cos, pdf, cum, slope, set.n[e], set.median[e], quadratic, interval);
}

// Grid interval of E among the element's elastic energies.
TQ_CPU_GPU inline int16_t ElasticEnergyInterval(const Elem& el, double E) {
  return EnergyInterval(E, el.elasticEnergy, el.elasticNE, el.elasticEnergyIndex);
}

// The place of E on the elastic grid of a set. In a wide interval the
// screening parameter at E is interpolated in ln E between the model points.
// ElasticPointOn takes the interval i of E and its weight w in ln E.
TQ_CPU_GPU inline ELASTICPOINT ElasticPointOn(const ELASTICSET& set, int16_t i, double w) {
  ELASTICPOINT p{};
  p.i = i;
  p.w = w;
  p.eta0 = set.modelEta0[p.i];
  if (p.eta0 > 0.0) {
    const double x = p.w * (kElasticModelPoints - 1);
    int k = static_cast<int>(x);
    if (k > kElasticModelPoints - 2) k = kElasticModelPoints - 2;
    const double* lnEta = set.modelLnEta[p.i];
    p.eta = FastExp(lnEta[k] + (x - k) * (lnEta[k + 1] - lnEta[k]));
  }
  return p;
}

TQ_CPU_GPU inline ELASTICPOINT ElasticPointAt(const Elem& el, const ELASTICSET& set, double E) {
  const int16_t i = ElasticEnergyInterval(el, E);
  return ElasticPointOn(set, i, LogGridFraction(E, el.elasticEnergy[i], el.elasticEnergy[i + 1]));
}

// The cosine at E with one probability r. In a dense interval both tables are
// sampled with r and ln(1 - mu) is interpolated linearly in ln E, which
// follows the narrowing of the distribution with energy (its width goes
// roughly as 1/E^2). In a wide interval the lower table is sampled and carried
// onto the Wentzel law whose width the set-up fitted at E.
TQ_ALWAYS_INLINE TQ_CPU_GPU inline double SampleElasticCosineAt(double r, const ELASTICSET& set, const ELASTICPOINT& p,
                                                                int quadratic) {
  double t;
  if (p.w <= 0.0) {
    t = 1.0 - ElasticCosineAt(r, set, p.i, quadratic);
  } else if (p.w >= 1.0) {
    t = 1.0 - ElasticCosineAt(r, set, p.i + 1, quadratic);
  } else if (p.eta0 > 0.0) {
    const double t0 = 1.0 - ElasticCosineAt(r, set, p.i, quadratic);
    t = WentzelMap(t0 < 0.0 ? 0.0 : (t0 > 2.0 ? 2.0 : t0), p.eta0, p.eta);
  } else {
    // One cosine is 1 only at the very end of a table; the floor keeps the
    // logarithms finite there.
    LOGMEMO memo;
    const double t0 = AtLeast(1.0 - ElasticCosineAt(r, set, p.i, quadratic, &memo), 1e-300);
    const double t1 = AtLeast(1.0 - ElasticCosineAt(r, set, p.i + 1, quadratic, &memo), 1e-300);
    t = t0 * FastExp(p.w * FastLog(t1 / t0));
  }
  return t < 0.0 ? 1.0 : (t > 2.0 ? -1.0 : 1.0 - t);
}

TQ_CPU_GPU inline double SampleElasticCosine(double r, const Elem& el, const ELASTICSET& set, double E, int quadratic) {
  return SampleElasticCosineAt(r, set, ElasticPointAt(el, set, E), quadratic);
}

// ---- Bremsstrahlung -------------------------------------------------------

// Photon energy k (eV) between the spectra of grid energies i and i + 1; the
// photon-energy intervals used at both are returned for the angle.
struct BREMSSAMPLE {
  double k;
  double k0, k1;      // the energies sampled at the two grid energies
  int16_t i;          // incident-energy interval
  double f;           // weight of the upper grid energy in the mix
  int16_t j0, j1;     // photon-energy intervals at grid energies i and i + 1
};

// Weight v of the upper spectrum in the mix of reduced photon energies
// K = (1 - v) k0/E0 + v k1/E1 at E. The spectra are tabulated at a few
// energies only, while the mean energy transfer is tabulated densely: v is
// chosen so that the mean of K follows that table (the spectra's own means,
// which differ from it by a per cent or so, carried along by their ratio to
// it, interpolated in ln E). Where the two means are too close to tell v, the
// ln E weight is used.
TQ_CPU_GPU inline double BremsMixWeight(const Elem& el, int i, double E) {
  const double w = LogGridFraction(E, el.bremsSpecEnergy[i], el.bremsSpecEnergy[i + 1]);
  if (w <= 0.0 || w >= 1.0 || el.bremsLossN < 2) return w;
  const double K0 = el.bremsSpecMeanK[i], K1 = el.bremsSpecMeanK[i + 1];
  if (!(fabs(K1 - K0) > 1e-3 * (K0 + K1))) return w;
  int16_t hint = static_cast<int16_t>(el.bremsLossN / 2);
  const double loss = Interp(E, el.bremsLossEnergy, el.bremsLoss, el.bremsLossSlope, el.bremsLossN, hint);
  const double ratio0 = el.bremsSpecMeanRatio[i], ratio1 = el.bremsSpecMeanRatio[i + 1];
  if (!(loss > 0.0) || !(ratio0 > 0.0) || !(ratio1 > 0.0)) return w;
  const double meanK = loss / E * ratio0 * pow(ratio1 / ratio0, w);
  const double v = (meanK - K0) / (K1 - K0);
  return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// Bremsstrahlung photon energy at E: both spectra sampled with one r, mixed in
// the reduced photon energy k/E, which keeps the shape of the spectrum as it
// scales with the electron's energy.
TQ_CPU_GPU inline BREMSSAMPLE SampleBremsPhotonEnergy(double r, const Elem& el, double E, int quadratic) {
  BREMSSAMPLE b{};
  const int16_t ne = el.bremsSpecNE;
  b.i = Find(E, el.bremsSpecEnergy, ne, static_cast<int16_t>(ne / 2));
  const int i = b.i;
  b.f = BremsMixWeight(el, i, E);
  b.k0 = ValueFromProb(r, el.bremsSpecX[i], el.bremsSpecPdf[i], el.bremsSpecCum[i], el.bremsSpecSlope[i],
                       el.bremsSpecN[i], el.bremsSpecMedian[i], quadratic, b.j0);
  b.k1 = ValueFromProb(r, el.bremsSpecX[i + 1], el.bremsSpecPdf[i + 1], el.bremsSpecCum[i + 1],
                       el.bremsSpecSlope[i + 1], el.bremsSpecN[i + 1], el.bremsSpecMedian[i + 1], quadratic, b.j1);
  const double K = (1.0 - b.f) * b.k0 / el.bremsSpecEnergy[i] + b.f * b.k1 / el.bremsSpecEnergy[i + 1];
  b.k = K * E;
  if (b.k > E) b.k = E;  // never more than the electron has
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

// Knock-on kinetic energy T (eV) of subshell s at E. Both spectra of the
// grid energies around E are sampled with one r and the energy transfer
// W = T + B is interpolated as W/E linearly in ln E (a geometric mean of the
// two W's): the bulk of soft collisions stays at its binding-set energies
// while the hard tail follows E, and the mean loss grows as ln E in between,
// as the stopping power does.
// SampleKnockOnEnergyOn takes the interval i of E on the subshell's grid and
// the weight w of E in ln E there.
TQ_CPU_GPU inline double SampleKnockOnEnergyOn(double r, const Elem& el, int s, int16_t i, double w, int quadratic) {
  int16_t interval = 0;
  double t0 = 0.0, t1 = 0.0;
  const REL<double>* x = el.ionSpecX.table()[s].table();
  const REL<double>* pdf = el.ionSpecPdf.table()[s].table();
  const REL<double>* cum = el.ionSpecCum.table()[s].table();
  const REL<double>* slope = el.ionSpecSlope.table()[s].table();
  const ELEMINDEX* cumIndex = el.ionSpecCumIndex.table()[s].table();
  LOGMEMO memo;
  if (w < 1.0)
    t0 = ValueFromProbIndexed(r, x[i].table(), pdf[i].table(), cum[i].table(), slope[i].table(), &cumIndex[i],
                              el.ionSpecN[s][i], el.ionSpecMedian[s][i], quadratic, interval, &memo);
  if (w > 0.0)
    t1 = ValueFromProbIndexed(r, x[i + 1].table(), pdf[i + 1].table(), cum[i + 1].table(), slope[i + 1].table(),
                              &cumIndex[i + 1], el.ionSpecN[s][i + 1], el.ionSpecMedian[s][i + 1], quadratic, interval,
                              &memo);
  double t;
  if (w <= 0.0) {
    t = t0;
  } else if (w >= 1.0) {
    t = t1;
  } else {
    const double B = el.bindingEnergy[el.ionDesignator[s]];
    const double W0 = AtLeast(t0 + B, 1e-300), W1 = AtLeast(t1 + B, 1e-300);
    t = W0 * FastExp(w * FastLog(W1 / W0)) - B;
  }
  return t > 0.0 ? t : 0.0;
}

TQ_CPU_GPU inline double SampleKnockOnEnergy(double r, const Elem& el, int s, double E, int quadratic) {
  const int16_t i = EnergyInterval(E, el.ionSpecEnergy[s], el.ionSpecNE[s], el.ionSpecEnergyIndex[s]);
  const double w = LogGridFraction(E, el.ionSpecEnergy[s][i], el.ionSpecEnergy[s][i + 1]);
  return SampleKnockOnEnergyOn(r, el, s, i, w, quadratic);
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
