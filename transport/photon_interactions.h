// Samplers of the photon interactions, shared by the CPU workers and the
// device code. Each closed-form sampler has its density beside it.
//
//  - Coherent (Rayleigh) scattering: Thomson cross section times the squared
//    atomic form factor with the anomalous scattering factors,
//    (1 + mu^2) [(F(x) + f')^2 + f''^2]: the squared momentum transfer drawn
//    exactly from [(F + f')^2 + f''^2] by inversion of its cumulative, the
//    Thomson factor (1 + mu^2) / 2 as rejection (acceptance at least 1/2).
//  - Incoherent (Compton) scattering: the Klein-Nishina cross section times
//    the incoherent scattering function S(x), sampled by rejection from a
//    proposal uniform in ln(k / k') (Kahn's method with S(x) as rejection).
//  - Doppler broadening in the impulse approximation (Ribberfors 1975): the
//    momentum projection p_z of the struck electron is drawn from the Compton
//    profile J(p_z) of its subshell (Biggs, Mendelsohn and Mann 1975).
//  - Pair production: the electron's share of the kinetic energy from the
//    Bethe-Heitler tables, the emission angles from (1 - beta mu)^-2.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/elem.h"
#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/photon_state.h"
#include "core/randgen.h"
#include "transport/lookup.h"
#include "transport/photon_flight.h"

// Coherent rejections in a row with a form-factor ratio at or below coh_thr
// after which the photon is left undeflected.
constexpr int32_t kCoherentGiveUp = 10;
// Tries of the incoherent and Doppler loops after which a collision takes
// the free-electron energy of its last angle: acceptances are far above
// 1 / kRejectionTryLimit for any physical table, so only a degenerate table
// (an S(x) that is zero everywhere, a forward scatter that no bound electron
// can follow) reaches it.
constexpr int32_t kRejectionTryLimit = 100000;

// ---------------------------------------------------------------------------
// Coherent scattering
// ---------------------------------------------------------------------------

// Atomic form factor F(x), x = sin(theta/2) / lambda in 1/angstrom.
TQ_CPU_GPU inline double FormFactor(const Elem& el, double x, int16_t& hint) {
  return LinearThenLogLog(x, el.ffX, el.ff, el.ffLnX, el.ffLnY, el.ffSlope, el.ffN, hint);
}

// Incoherent scattering function S(x).
TQ_CPU_GPU inline double ScatteringFunction(const Elem& el, double x, int16_t& hint) {
  return LinearThenLogLog(x, el.sfX, el.sf, el.sfLnX, el.sfLnY, el.sfSlope, el.sfN, el.sfBuckets, hint);
}

// Linear interpolation that is 0 on a table of fewer than two points.
TQ_CPU_GPU inline double LinearOrZero(double x, const double* g, const double* a, const double* b, int16_t n, int16_t& hint) {
  return n >= 2 ? Interp(x, g, a, b, n, hint) : 0.0;
}

// Smallest and largest value of a table over the points up to the first one
// beyond xMax.
TQ_CPU_GPU inline void TableRange(const double* x, const double* y, int16_t n, double xMax, double* lowest, double* highest) {
  double low = y[0], high = y[0];
  for (int16_t i = 1; i < n && xMax >= x[i - 1]; ++i) {
    low = y[i] < low ? y[i] : low;
    high = y[i] > high ? y[i] : high;
  }
  *lowest = low;
  *highest = high;
}

// The order of a table's values (TABLEORDER): the longer of its falling and
// rising ends, and the range of the points before.
TQ_CPU_GPU inline TABLEORDER TableOrder(const double* y, int16_t n) {
  int16_t fall = static_cast<int16_t>(n - 1), rise = static_cast<int16_t>(n - 1);
  while (fall > 0 && y[fall - 1] >= y[fall]) --fall;
  while (rise > 0 && y[rise - 1] <= y[rise]) --rise;
  TABLEORDER order;
  order.rising = rise < fall ? 1 : 0;
  order.from = rise < fall ? rise : fall;
  order.headLow = order.headHigh = y[0];
  for (int16_t i = 1; i <= order.from; ++i) {
    order.headLow = y[i] < order.headLow ? y[i] : order.headLow;
    order.headHigh = y[i] > order.headHigh ? y[i] : order.headHigh;
  }
  return order;
}

// Points that the range up to xMax takes: point 0 and each later point whose
// predecessor lies at or below xMax (x ascending).
TQ_CPU_GPU inline int16_t PointsUpTo(const double* x, int16_t n, double xMax) {
  int lo = 0, hi = n - 1;  // the first j in [0, n-1) with x[j] > xMax lies in [lo, hi]
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (x[mid] > xMax) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return static_cast<int16_t>(lo + 1);
}

// TableRange with the table's order (found at the first call, then kept by
// the caller): the same values, the ordered end read at its two ends.
TQ_CPU_GPU inline void TableRange(const double* x, const double* y, int16_t n, double xMax, TABLEORDER& order,
                                  double* lowest, double* highest) {
  if (order.from < 0) order = TableOrder(y, n);
  const int16_t last = static_cast<int16_t>(PointsUpTo(x, n, xMax) - 1);
  if (last <= order.from) {
    TableRange(x, y, n, xMax, lowest, highest);
    return;
  }
  const double tailLow = order.rising != 0 ? y[order.from] : y[last];
  const double tailHigh = order.rising != 0 ? y[last] : y[order.from];
  *lowest = tailLow < order.headLow ? tailLow : order.headLow;
  *highest = tailHigh > order.headHigh ? tailHigh : order.headHigh;
}

// The range of a table up to xMax: from the element's running ranges when
// it has them (one search), else from the table's order.
TQ_CPU_GPU inline void RangeUpTo(const double* x, const double* y, int16_t n, double xMax, const double* runLow,
                                 const double* runHigh, TABLEORDER& order, double* lowest, double* highest) {
  if (runLow == nullptr || runHigh == nullptr) {
    TableRange(x, y, n, xMax, order, lowest, highest);
    return;
  }
  const int16_t last = static_cast<int16_t>(PointsUpTo(x, n, xMax) - 1);
  *lowest = runLow[last];
  *highest = runHigh[last];
}

// ---- Form factor over the squared momentum transfer u = x^2 (1/angstrom^2).
// The scattering cosine is linear in u (mu = 1 - 2 u / umax), so the coherent
// density in u is (1 + mu^2) rho(u) with rho = (F + f')^2 + f''^2
// = F^2 + 2 f' F + (f'^2 + f''^2). Its cumulative is built from the integrals
// of F^2 and F over u, which the table's interpolation gives in closed form:
// on the first interval F = F_0 + b (x - x_0) is a polynomial in x with
// du = 2 x dx; beyond it F = F_j (u / u_j)^(s_j / 2) is a power of u.

// (r^q - 1) / q with r = e^L, and its limit L at q = 0: the integral of
// t^(q - 1) over t in [1, r].
TQ_CPU_GPU inline double PowerLawIntegral(double q, double L) {
  const double qL = q * L;
  if (fabs(qL) < 1e-8) return L * (1.0 + 0.5 * qL);  // the next term is below 1e-17 relative
  return expm1(qL) / q;
}

// F on interval j of the form-factor table at the local coordinate v, and
// the integrals over u of F^2 and F from the start of the interval to v. The
// coordinate is x - x_0 on the linear first interval and ln(u / u_j) on the
// log-log intervals after it. ElemRecord: Elem, or the loaders' staging record
// whose integrals this builds.
template <typename ElemRecord>
TQ_CPU_GPU inline void FormFactorOnInterval(const ElemRecord& el, int32_t j, double v, double* F, double* intF2,
                                            double* intF) {
  if (j == 0) {
    const double a = el.ff[0], b = el.ffSlope[0], x0 = el.ffX[0];
    const double v2 = v * v, v3 = v2 * v;
    *F = a + b * v;
    *intF = 2.0 * (a * x0 * v + 0.5 * (a + b * x0) * v2 + b * v3 / 3.0);
    *intF2 = 2.0 * (x0 * (a * a * v + a * b * v2 + b * b * v3 / 3.0) + 0.5 * a * a * v2 + 2.0 * a * b * v3 / 3.0 +
                    0.25 * b * b * v2 * v2);
    return;
  }
  const double Fj = el.ff[j], s = el.ffSlope[j], uj = el.ffX[j] * el.ffX[j];
  if (!(Fj > 0.0)) {
    *F = *intF2 = *intF = 0.0;
    return;
  }
  *F = Fj * FastExp(0.5 * s * v);
  *intF2 = Fj * Fj * uj * PowerLawIntegral(s + 1.0, v);
  *intF = Fj * uj * PowerLawIntegral(0.5 * s + 1.0, v);
}

// Local coordinate of interval j at the squared momentum transfer u.
TQ_CPU_GPU inline double FormFactorCoordinate(const Elem& el, int32_t j, double u) {
  return j == 0 ? sqrt(u) - el.ffX[0] : FastLog(u / (el.ffX[j] * el.ffX[j]));
}

// Cumulative of rho over u from 0 to the form-factor grid point j at the
// anomalous factors f' and K = f'^2 + f''^2 (F = 0 below the grid).
TQ_CPU_GPU inline double CoherentCumulativeAtPoint(const Elem& el, int32_t j, double anomReal, double K) {
  return el.ffIntF2[j] + 2.0 * anomReal * el.ffIntF[j] + K * el.ffX[j] * el.ffX[j];
}

// Energy-dependent set-up of coherent scattering at E: the anomalous factors,
// the majorant of (F + f')^2 + f''^2 over the reachable momentum transfers
// (the reference of the form-factor ratio that coh_thr is compared with) and
// the total of rho over u in [0, umax], umax = (k constFact_coh)^2.
TQ_CPU_GPU inline void CoherentSetUp(const Elem& el, double E, double restEn, double constFact_coh, PHOTONELEMENTCACHE& c) {
  const double xMax = E / restEn * constFact_coh;
  c.halfXmax = 0.5 * xMax;
  double fMin = 0.0, fMax = 0.0;
  if (el.ffN > 0) RangeUpTo(el.ffX, el.ff, el.ffN, xMax, el.ffRunLow, el.ffRunHigh, c.ffOrder, &fMin, &fMax);
  c.anomReal = LinearOrZero(E, el.anomRealX, el.anomReal, el.anomRealSlope, el.anomRealN, c.hintAnomReal);
  const double imag = LinearOrZero(E, el.anomImagX, el.anomImag, el.anomImagSlope, el.anomImagN, c.hintAnomImag);
  c.anomImag2 = imag * imag;
  const double a = c.anomReal + fMin;
  const double b = c.anomReal + fMax;
  const double m = fabs(a) > fabs(b) ? a : b;
  const double majorant = m * m + c.anomImag2;
  c.invFmax2 = majorant > 0.0 ? 1.0 / majorant : 0.0;

  // The cumulative of rho up to umax: below the grid F = 0, on the grid the
  // tabulated integrals and the part of the interval holding umax, beyond
  // the grid F = 0 again.
  const double uMax = xMax * xMax;
  const double K = c.anomReal * c.anomReal + c.anomImag2;
  const int16_t n = el.ffN;
  c.cohUmax = uMax;
  if (n < 2 || !(xMax > el.ffX[0])) {
    c.cohLastInterval = -1;
    c.cohCumMax = K * uMax;
  } else if (xMax > el.ffX[n - 1]) {
    c.cohLastInterval = static_cast<int16_t>(n - 1);
    c.cohCumMax = CoherentCumulativeAtPoint(el, n - 1, c.anomReal, K) + K * (uMax - el.ffX[n - 1] * el.ffX[n - 1]);
  } else {
    const int16_t j = SearchFrom(xMax, el.ffX, n, c.hintFormFactor);
    double F = 0.0, intF2 = 0.0, intF = 0.0;
    FormFactorOnInterval(el, j, FormFactorCoordinate(el, j, uMax), &F, &intF2, &intF);
    c.cohLastInterval = j;
    c.cohCumMax = CoherentCumulativeAtPoint(el, j, c.anomReal, K) + intF2 + 2.0 * c.anomReal * intF +
                  K * (uMax - el.ffX[j] * el.ffX[j]);
  }
  c.cohE = E;
}

// Largest number of iterations of the solve inside one form-factor interval:
// a Newton step that would leave the bracket is replaced by halving, so 60
// reach any tolerance.
constexpr int32_t kCoherentSolveIterations = 60;
// Convergence of that solve in the local coordinate, relative to the
// interval's extent: well below the resolution of any sampled histogram, and
// above the rounding of the cumulative where f' nearly cancels F.
constexpr double kCoherentSolveTolerance = 1e-11;

// Squared momentum transfer u in [0, umax] (1/angstrom^2) with density
// rho(u) = (F + f')^2 + f''^2, by inversion of its cumulative at r C(umax):
// the grid point below by halving on the cumulative at the grid points, then
// a Newton solve with a bisection safeguard inside the interval. *rho is the
// density at the u returned.
TQ_CPU_GPU inline double CoherentMomentumTransfer(const Elem& el, const PHOTONELEMENTCACHE& c, double r, double* rho) {
  const double uMax = c.cohUmax;
  const double f1 = c.anomReal;
  const double K = f1 * f1 + c.anomImag2;
  const double target = r * c.cohCumMax;
  const int32_t last = c.cohLastInterval;
  // Below the grid (or without one) rho is the constant K.
  const double cumFirst = last < 0 ? 0.0 : CoherentCumulativeAtPoint(el, 0, f1, K);
  if (last < 0 || target < cumFirst) {
    *rho = K;
    const double u = K > 0.0 ? target / K : 0.0;
    return u < uMax ? u : uMax;
  }
  // The grid point j in [0, last] with C_j <= target < C_(j+1); the point
  // after `last` stands for umax.
  int32_t lo = 0, hi = last + 1;
  double cumLo = cumFirst, cumHi = c.cohCumMax;
  while (hi - lo > 1) {
    const int32_t mid = (lo + hi) / 2;
    const double cumMid = CoherentCumulativeAtPoint(el, mid, f1, K);
    if (cumMid <= target) {
      lo = mid;
      cumLo = cumMid;
    } else {
      hi = mid;
      cumHi = cumMid;
    }
  }
  const int32_t j = lo;
  const double uj = el.ffX[j] * el.ffX[j];
  const double rest = target - cumLo;
  // Beyond the grid rho is the constant K again.
  if (j == el.ffN - 1) {
    *rho = K;
    const double u = K > 0.0 ? uj + rest / K : uj;
    return u < uMax ? u : uMax;
  }
  const double uNext = el.ffX[j + 1] * el.ffX[j + 1];
  const double uHi = uNext < uMax ? uNext : uMax;

  // Solve G(v) = rest, G the integral of rho from the interval's start, in
  // the interval's coordinate v; the start value assumes rho constant.
  const double share = cumHi > cumLo ? rest / (cumHi - cumLo) : 0.5;
  const double uGuess = uj + (uHi - uj) * (share < 0.0 ? 0.0 : (share > 1.0 ? 1.0 : share));
  double vLo = 0.0, vHi = FormFactorCoordinate(el, j, uHi);
  double v = FormFactorCoordinate(el, j, uGuess);
  if (!(v > vLo && v < vHi)) v = 0.5 * (vLo + vHi);
  const double tolerance = kCoherentSolveTolerance * (j == 0 ? el.ffX[0] + vHi : (vHi > 1.0 ? vHi : 1.0));
  double F = 0.0;
  for (int32_t i = 1;; ++i) {
    double intF2 = 0.0, intF = 0.0;
    FormFactorOnInterval(el, j, v, &F, &intF2, &intF);
    const double u = j == 0 ? (el.ffX[0] + v) * (el.ffX[0] + v) : uj * FastExp(v);
    const double excess = intF2 + 2.0 * f1 * intF + K * (u - uj) - rest;
    if (excess > 0.0)
      vHi = v;
    else
      vLo = v;
    // dG/dv = rho du/dv, du/dv = 2 x on the first interval and u beyond.
    const double slope = ((F + f1) * (F + f1) + c.anomImag2) * (j == 0 ? 2.0 * (el.ffX[0] + v) : u);
    double next = slope > 0.0 ? v - excess / slope : 0.5 * (vLo + vHi);
    if (!(next > vLo && next < vHi)) next = 0.5 * (vLo + vHi);
    // F stays the one at the v returned.
    if (fabs(next - v) <= tolerance || i == kCoherentSolveIterations) break;
    v = next;
  }
  *rho = (F + f1) * (F + f1) + c.anomImag2;
  const double u = j == 0 ? (el.ffX[0] + v) * (el.ffX[0] + v) : uj * FastExp(v);
  return u < uMax ? u : uMax;
}

// [(F(x) + f')^2 + f''^2] relative to its majorant at the cosine mu.
TQ_CPU_GPU inline double CoherentFactorRatio(const Elem& el, PHOTONELEMENTCACHE& c, double mu) {
  const double x = c.halfXmax * sqrt(2.0 * (1.0 - mu));
  const double f = FormFactor(el, x, c.hintFormFactor) + c.anomReal;
  return (f * f + c.anomImag2) * c.invFmax2;
}

// One try of coherent scattering: u from rho(u) exactly, accepted with
// probability (1 + mu^2) / 2 (at least 1/2). Returns true when accepted;
// *mu is the cosine of the try and *ratio its form-factor ratio
// rho / majorant. Without anything to scatter from (rho = 0 at every u) no
// try is accepted and every ratio is 0.
TQ_CPU_GPU inline bool CoherentTry(const Elem& el, const PHOTONELEMENTCACHE& c, CRandGen& rng, double* mu, double* ratio) {
  if (!(c.cohCumMax > 0.0)) {
    *mu = 1.0 - 2.0 * rng.random();
    *ratio = 0.0;
    return false;
  }
  double rho = 0.0;
  const double u = CoherentMomentumTransfer(el, c, rng.random(), &rho);
  const double cosine = 1.0 - 2.0 * u / c.cohUmax;
  *mu = cosine < -1.0 ? -1.0 : cosine;
  *ratio = rho * c.invFmax2;
  return rng.random() <= 0.5 * (1.0 + *mu * *mu);
}

// Unnormalised density of the coherent cosine that CoherentTry samples:
// Thomson times the squared form factor with the anomalous factors.
inline double CoherentCosineDensity(const Elem& el, PHOTONELEMENTCACHE& c, double mu) {
  return (1.0 + mu * mu) * CoherentFactorRatio(el, c, mu);
}

// ---------------------------------------------------------------------------
// Incoherent scattering
// ---------------------------------------------------------------------------

TQ_CPU_GPU inline void IncoherentSetUp(const Elem& el, double E, double restEn, double constFact_coh, PHOTONELEMENTCACHE& c) {
  c.k = E / restEn;
  c.twoK = 2.0 * c.k;
  c.invK = 1.0 / c.k;
  c.kSquared = c.k * c.k;
  double sMin = 0.0, sMax = 0.0;
  if (el.sfN > 0)
    RangeUpTo(el.sfX, el.sf, el.sfN, c.k * constFact_coh, el.sfRunLow, el.sfRunHigh, c.sfOrder, &sMin, &sMax);
  c.halfInvSmax = sMax > 0.0 ? 0.5 / sMax : 0.0;
  c.incohE = E;
}

// Momentum-transfer variable of S(x) for a scatter from k to k' = eps k at mu.
TQ_CPU_GPU inline double IncoherentX(const PHOTONELEMENTCACHE& c, double eps, double mu, double constFact_incoh) {
  const double kPrime = c.k * eps;
  const double q2 = c.kSquared + kPrime * kPrime - 2.0 * c.k * kPrime * mu;
  return sqrt(q2 > 0.0 ? q2 : 0.0) * constFact_incoh;
}

// One try of the incoherent rejection: eps = k'/k with density 1/eps on
// [1/(1+2k), 1], mu from the Compton relation, accepted with probability
// (1 + eps^2 - eps sin^2) S(x) / (2 Smax).
TQ_CPU_GPU inline bool IncoherentTry(const Elem& el, PHOTONELEMENTCACHE& c, double constFact_incoh, CRandGen& rng, double* mu,
                                     double* eps) {
  const double t = pow(1.0 + c.twoK, rng.random());
  *eps = 1.0 / t;
  *mu = 1.0 - (t - 1.0) * c.invK;
  const double s = ScatteringFunction(el, IncoherentX(c, *eps, *mu, constFact_incoh), c.hintScattering);
  return rng.random() <= *eps * (*eps + t - 1.0 + *mu * *mu) * s * c.halfInvSmax;
}

// Unnormalised density of the incoherent cosine: Klein-Nishina times S(x).
inline double IncoherentCosineDensity(const Elem& el, PHOTONELEMENTCACHE& c, double constFact_incoh, double mu) {
  const double eps = 1.0 / (1.0 + c.k * (1.0 - mu));
  const double kleinNishina = eps * eps * (eps + 1.0 / eps - (1.0 - mu * mu));
  return kleinNishina * ScatteringFunction(el, IncoherentX(c, eps, mu, constFact_incoh), c.hintScattering);
}

// ---------------------------------------------------------------------------
// Doppler broadening
// ---------------------------------------------------------------------------

TQ_CPU_GPU inline double BindingEnergyOfShell(const Elem& el, int32_t shell) {
  return el.bindingEnergy[el.subshellDesignator[shell]];
}

// First subshell (in the element's order of falling binding energy) bound
// below E; -1 when none.
TQ_CPU_GPU inline int32_t FirstShellBoundBelow(const Elem& el, double E) {
  for (int32_t i = 0; i < el.nSubshells; ++i)
    if (BindingEnergyOfShell(el, i) < E) return i;
  return -1;
}

// Electron share of the subshells 0..i-1 (cumulative occupation C[i]).
TQ_CPU_GPU inline double OccupationBelow(const Elem& el, int32_t i) { return i > 0 ? el.cumOccupancy[i - 1] : 0.0; }

// Subshell i >= first whose cumulative occupation first reaches r rescaled
// onto the subshells from `first` on. Every subshell below the guide entry
// of u has a cumulative occupation under u, so the scan starts there.
TQ_CPU_GPU inline int32_t ShellFromOccupation(const Elem& el, int32_t first, double r) {
  const int32_t last = el.nSubshells - 1;
  if (first >= last) return first;
  const double c0 = OccupationBelow(el, first);
  const double u = first > 0 ? c0 + r * (1.0 - c0) : r;
  const double x = u * kOccupancyGuide;
  int32_t g = x > 0.0 ? static_cast<int32_t>(x) : 0;
  if (g >= kOccupancyGuide) g = kOccupancyGuide - 1;
  int32_t i = el.occupancyGuide[g] > first ? el.occupancyGuide[g] : first;
  while (i < last && u > el.cumOccupancy[i]) ++i;
  return i;
}

// Largest momentum projection (atomic units) with which an electron bound by
// U = E - d m c^2 can leave after a scatter by mu.
TQ_CPU_GPU inline double DopplerPzMax(double k, double d, double mu, double fineStr_inv) {
  const double q = sqrt(k * k + d * d - 2.0 * k * d * mu);
  return -fineStr_inv * (k - d - k * d * (1.0 - mu)) / q;
}

// Momentum projection (atomic units) that turns E into E' at mu; the inverse
// of DopplerScatteredEnergy.
inline double DopplerMomentum(double E, double Eprime, double mu, double restEn, double fineStr_inv) {
  const double k = E / restEn, kp = Eprime / restEn;
  return fineStr_inv * (k * kp * (1.0 - mu) - (k - kp)) / sqrt(k * k + kp * kp - 2.0 * k * kp * mu);
}

// Energy of the photon scattered by mu off an electron of momentum projection
// pz (atomic units), eV.
TQ_CPU_GPU inline double DopplerScatteredEnergy(double k, double mu, double pz, double fineStr, double restEn) {
  const double tau = (fineStr * pz) * (fineStr * pz);
  const double a = 1.0 + k * (1.0 - mu);
  const double den = a * a - tau;
  const double b = k * (tau * mu - a) / den;
  double d = b * b - (1.0 - tau) * k * k / den;
  if (d <= 0.0) d = 0.0;
  return pz > 0.0 ? restEn * (-b + sqrt(d)) : restEn * (-b - sqrt(d));
}

// p_z from the Compton profile of a subshell (symmetric in p_z): the
// magnitude from the tabulated half-profile, the sign from the same draw.
TQ_CPU_GPU inline double ProfileMomentum(const Elem& el, int32_t profile, double r, int smooth) {
  const double u = 2.0 * fabs(r - 0.5);
  int16_t interval = 0;
  const double pz = ValueFromProb(u, el.profileQ, el.profileJ[profile], el.profileCum[profile], el.profileSlope[profile],
                                  kComptonMomenta, el.profileMedian[profile], smooth, interval);
  return r < 0.5 ? -pz : pz;
}

// ---------------------------------------------------------------------------
// Pair production
// ---------------------------------------------------------------------------

// Polar cosine of a pair particle of kinetic energy T: density proportional
// to (1 - beta mu)^-2 on [-1, 1].
TQ_CPU_GPU inline double PairEmissionCosine(double r, double T, double restEn_inv) {
  const double g = 1.0 + T * restEn_inv;
  const double beta = sqrt(1.0 - 1.0 / (g * g));
  const double s = 2.0 * r - 1.0;
  return (s + beta) / (1.0 + beta * s);
}
inline double PairEmissionCosineDensity(double mu, double T, double restEn_inv) {
  const double g = 1.0 + T * restEn_inv;
  const double beta = sqrt(1.0 - 1.0 / (g * g));
  return (1.0 - beta * beta) / (2.0 * (1.0 - beta * mu) * (1.0 - beta * mu));
}
