// Electron and positron flight: the cumulative cross-section columns of a
// material at the step's energy, the choice of the colliding column, and the
// Gaussian diffusion walk that stands for many elastic collisions. Shared by
// the CPU workers and the device; the CTask step is in electron_flight.cpp.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/randgen.h"

// The columns of a material's electron table at one energy: column j is
// sigma[j][i] + dE slope[j][i] (cumulative, cm^2 per atom of the material).
struct ELECTRONCOLUMNS {
  const double* const* sigma;
  const double* const* slope;
  int32_t i;    // grid interval of the energy
  double dE;    // energy minus grid point i, eV
};

// Cumulative value of column j >= 0; ColumnValue also takes j = -1, the
// empty column before the first (0), as the edge test and the widths need.
TQ_CPU_GPU inline double ColumnValueOf(const ELECTRONCOLUMNS& c, int32_t j) {
  return c.sigma[j][c.i] + c.dE * c.slope[j][c.i];
}

TQ_CPU_GPU inline double ColumnValue(const ELECTRONCOLUMNS& c, int32_t j) { return j < 0 ? 0.0 : ColumnValueOf(c, j); }

// Share of column j alone: its cumulative value minus the one before.
TQ_CPU_GPU inline double ColumnWidth(const ELECTRONCOLUMNS& c, int32_t j) { return ColumnValue(c, j) - ColumnValue(c, j - 1); }

// First column j in [0, n - 1] with x < cum(j), by halving; columns are
// computed only where the search looks. The elastic columns come last, and
// in a material of one element its elastic scattering (most of the
// collisions) is the last column, which is tried first.
TQ_CPU_GPU inline int32_t FirstColumnAbove(const ELECTRONCOLUMNS& c, double x, int32_t n) {
  if (n >= 2 && !(x < ColumnValueOf(c, n - 2))) return n - 1;
  int32_t lo = 0;
  int32_t hi = n - 1;
  while (lo < hi) {
    const int32_t mid = (lo + hi) / 2;
    if (x < ColumnValueOf(c, mid)) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// Share of the draw's width within which a point counts as on an edge and is
// drawn again in a window 10^4 times narrower about it, so that rounding of
// the cumulative values cannot bias narrow columns.
constexpr double kColumnEdgeShare = 0.5e-4;
constexpr double kColumnWindowShrink = 1e-4;

// Column of a collision among the first n columns, with probability
// proportional to its width; sigmaColl is the cumulative value of column
// n - 1. A column whose flag in `rejected` is set (forced columns) is never
// chosen; returns -1 when no column with a width is left.
TQ_ALWAYS_INLINE TQ_CPU_GPU inline int32_t SampleColumn(CRandGen& rng, const ELECTRONCOLUMNS& c, int32_t n,
                                                        double sigmaColl, const uint8_t* rejected) {
  if (rejected != nullptr) {
    double open = 0.0;
    for (int32_t j = 0; j < n; ++j)
      if (rejected[j] == 0) open += ColumnWidth(c, j);
    if (!(open > 1e-12 * sigmaColl)) return -1;
  }
  for (;;) {
    double width = sigmaColl;
    double centre = 0.5 * sigmaColl;
    int32_t j;
    for (;;) {
      double x = (rng.random() - 0.5) * width + centre;
      if (x >= sigmaColl) x -= sigmaColl;
      if (x < 0.0) x += sigmaColl;
      j = FirstColumnAbove(c, x, n);
      const double edge = kColumnEdgeShare * width;
      const bool onEdge = ColumnValue(c, j) - x < edge || x - ColumnValue(c, j - 1) < edge;
      if (!onEdge || !(width > 0.0)) break;
      width *= kColumnWindowShrink;
      centre = x;
    }
    if (rejected == nullptr || rejected[j] == 0) return j;
  }
}

// The Gaussian walk of an inelastic path: n sub-steps of per-axis width
// sigma (cm). r is the per-axis RMS displacement of the whole path, d the
// free distance (cm); ratioThr is the diffusion ratio threshold and
// distRatioThr the distance-to-RMS threshold.
struct DIFFUSIONPLAN {
  int64_t n;
  double sigma;
};

constexpr double kMaxDiffusionSubSteps = 1e18;

TQ_CPU_GPU inline DIFFUSIONPLAN PlanDiffusion(double r, double d, double ratioThr, double distRatioThr) {
  const double invRoot = 1.0 / sqrt(ratioThr);
  if (distRatioThr * r < d) return DIFFUSIONPLAN{1, r};
  if (r <= d) return DIFFUSIONPLAN{static_cast<int64_t>(ratioThr + 0.5), r * invRoot};
  double n = ratioThr * (r / d) * (r / d) + 0.5;
  if (n > kMaxDiffusionSubSteps) n = kMaxDiffusionSubSteps;
  return DIFFUSIONPLAN{static_cast<int64_t>(n), d * invRoot};
}
