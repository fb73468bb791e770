// Photon flight and collision sampling: the photon cross sections of a
// material at the photon's energy (sums over the ENDF/B photo-atomic tables of
// its elements: coherent, incoherent, subshell photoionization and pair
// production), the flight to a collision or out of the layer, and the choice
// of the element, the interaction and the subshell.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/elem.h"
#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/photon_state.h"
#include "core/physical_constants.h"
#include "transport/lookup.h"

// Cross section given to coherent scattering when it is switched off: below
// zero, so that no draw selects it.
constexpr double kCoherentOff = -1e-200;

// Log-log interpolation that is 0 on a table of fewer than two points; the
// grid's buckets (core/indexdata.h), if it has them, place lnX.
TQ_CPU_GPU inline double LogLogOrZero(double lnX, const double* g, const double* a, const double* b, int16_t n,
                                      const GRIDBUCKETS& buckets, int16_t& hint) {
  return n >= 2 ? InterpLog(lnX, g, a, b, n, buckets, hint) : 0.0;
}

TQ_CPU_GPU inline double LogLogOrZero(double lnX, const double* g, const double* a, const double* b, int16_t n,
                                      int16_t& hint) {
  return LogLogOrZero(lnX, g, a, b, n, GRIDBUCKETS{}, hint);
}

// A table that is linear on its first interval and log-log beyond (pair
// production, form factor, scattering function): x and y, their logarithms
// and one slope array (linear slope first, log-log exponents after), and the
// buckets of the ln x grid, if it has them.
TQ_CPU_GPU inline double LinearThenLogLog(double x, const double* xs, const double* ys, const double* lnXs,
                                          const double* lnYs, const double* slope, int16_t n,
                                          const GRIDBUCKETS& buckets, int16_t& hint) {
  if (n < 2 || x < xs[0]) return 0.0;
  if (x <= xs[1]) return ys[0] + (x - xs[0]) * slope[0];
  return InterpLog(FastLog(x), lnXs, lnYs, slope, n, buckets, hint);
}

TQ_CPU_GPU inline double LinearThenLogLog(double x, const double* xs, const double* ys, const double* lnXs,
                                          const double* lnYs, const double* slope, int16_t n, int16_t& hint) {
  return LinearThenLogLog(x, xs, ys, lnXs, lnYs, slope, n, GRIDBUCKETS{}, hint);
}

// Pair-production cross section (barn); 0 at and below 2 m c^2 (restEn2).
TQ_CPU_GPU inline double PairCrossSection(const Elem& el, double E, double restEn2, int16_t& hint) {
  if (!(E > restEn2)) return 0.0;
  return LinearThenLogLog(E, el.ppEnergy, el.ppCs, el.ppLnEnergy, el.ppLnCs, el.ppSlope, el.ppN, hint);
}

// The cross sections of one element at E (lnE = ln E) into its cache entry:
// coherent (kCoherentOff when off), incoherent, the running sum over its
// subshells and pair production. Returns the element's total, barn.
TQ_CPU_GPU inline double PhotonElementCrossSections(const Elem& el, double E, double lnE, bool coherentOn, double restEn2,
                                                    PHOTONELEMENTCACHE& c) {
  c.sigma_coh = coherentOn
                    ? LogLogOrZero(lnE, el.cohLnEnergy, el.cohLnCs, el.cohSlope, el.cohN, el.cohBuckets, c.hintCoh)
                    : kCoherentOff;
  c.sigma_incoh =
      LogLogOrZero(lnE, el.incohLnEnergy, el.incohLnCs, el.incohSlope, el.incohN, el.incohBuckets, c.hintIncoh);
  double total = c.sigma_coh + c.sigma_incoh;
  const int32_t nUnion = el.photoionUnionN;
  if (nUnion >= 2) {
    // One search of the union grid gives every subshell's interval; a
    // subshell whose table does not cover E adds nothing, as InterpLog.
    const double* grid = el.photoionUnionLnEnergy;
    const bool covered = lnE >= grid[0] && lnE < grid[nUnion - 1];
    int16_t u = 0;
    if (covered) {
      u = FindInBuckets(lnE, grid, static_cast<int16_t>(nUnion), el.photoionUnionBuckets, c.hintPhotoionUnion);
      c.hintPhotoionUnion = u;
    }
    const int16_t* row = el.photoionUnionInterval.get() + static_cast<int64_t>(u) * el.nSubshells;
    for (int32_t s = 0; s < el.nSubshells; ++s) {
      const int16_t i = covered ? row[s] : int16_t{-1};
      if (i >= 0) {
        // A subshell with an interval has its table.
        const double* g = el.photoionLnEnergy.table()[s].table();
        const double* a = el.photoionLnCs.table()[s].table();
        const double* b = el.photoionSlope.table()[s].table();
        total += FastExp(a[i] + (lnE - g[i]) * b[i]);
        c.hintShell[s] = i;
      }
      c.shellCumulative[s] = total;
    }
  } else {
    for (int32_t i = 0; i < el.nSubshells; ++i) {
      total += LogLogOrZero(lnE, el.photoionLnEnergy[i], el.photoionLnCs[i], el.photoionSlope[i], el.photoionN[i],
                            c.hintShell[i]);
      c.shellCumulative[i] = total;
    }
  }
  total += PairCrossSection(el, E, restEn2, c.hintPair);
  c.total = total;
  return total;
}

// Largest energy that incoherent scattering can give a free electron at rest,
// E 2k / (1 + 2k) with k = E / m c^2.
TQ_CPU_GPU inline double MaxComptonTransfer(double E, double restEn) {
  const double k = E / restEn;
  return E * 2.0 * k / (1.0 + 2.0 * k);
}

// Smallest subshell binding energy of an element (its outermost electrons), eV.
inline double LowestBindingEnergy(const Elem& el) {
  double lowest = HUGE_VAL;
  for (int32_t s = 0; s < el.nSubshells; ++s) lowest = fmin(lowest, el.bindingEnergy[el.subshellDesignator[s]]);
  return lowest;
}

// The interaction that a draw x (0 < x <= total, barn) selects on an element,
// in the order coherent, incoherent, photoelectric (with its subshell), pair;
// ties go to the earlier one.
TQ_CPU_GPU inline int32_t SelectPhotonInteraction(const PHOTONELEMENTCACHE& c, int32_t nShells, double x, int32_t* shell) {
  *shell = -1;
  if (x <= c.sigma_coh) return kPhotonCoherent;
  if (x <= c.sigma_coh + c.sigma_incoh) return kPhotonIncoherent;
  if (nShells > 0 && x <= c.shellCumulative[nShells - 1]) {
    int32_t i = 0;
    while (i < nShells - 1 && c.shellCumulative[i] < x) ++i;
    *shell = i;
    return kPhotonPhotoelectric;
  }
  return kPhotonPair;
}
