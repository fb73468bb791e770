// Source sampling: the transverse profile of a beam and the energy spectrum.
// Each sampler takes the worker's generator (or its random number) explicitly
// and has its density beside it for the chi-square tests.
#pragma once

#include <cmath>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/randgen.h"
#include "core/vector.h"
#include "transport/directions.h"

// Offset (x, y, 0) of a beam particle in the beam's plane, cm. With a radius
// R > 0 the point is uniform on the disc (r = R sqrt(xi1), phi = 2 pi xi2),
// then, with sigma > 0, blurred by a Gaussian of that width on each axis. With
// R = 0 the profile is a two-dimensional Gaussian of per-axis width sigma
// (Box-Muller: r = sigma sqrt(-2 ln xi1), phi = 2 pi xi2).
TQ_CPU_GPU inline VECTOR BeamOffset(CRandGen& rng, double radius, double sigma) {
  const double xi1 = rng.random();
  const double xi2 = rng.random();
  const double phi = kTwoPi * xi2;
  if (radius != 0.0) {
    const double r = radius * sqrt(xi1);
    VECTOR offset = Init(r * cos(phi), r * sin(phi), 0.0);
    if (sigma != 0.0) {
      offset.x += rng.RandomGaussian(0.0, sigma);
      offset.y += rng.RandomGaussian(0.0, sigma);
    }
    return offset;
  }
  const double r = sigma * sqrt(-2.0 * log(xi1));
  return Init(r * cos(phi), r * sin(phi), 0.0);
}

// Density of the radial distance of a uniform disc of radius R: 2 r / R^2.
inline double UniformDiscRadialDensity(double r, double radius) {
  return r >= 0.0 && r <= radius ? 2.0 * r / (radius * radius) : 0.0;
}

// Density of the radial distance of a 2-D Gaussian of per-axis width sigma
// (Rayleigh): r / sigma^2 exp(-r^2 / (2 sigma^2)).
inline double GaussianRadialDensity(double r, double sigma) {
  return r >= 0.0 ? r / (sigma * sigma) * exp(-r * r / (2.0 * sigma * sigma)) : 0.0;
}

// First bin i >= 1 whose cumulative weight reaches xi (at most nEnerg - 1).
TQ_CPU_GPU inline int32_t SpectrumBin(double xi, int32_t nEnerg, const double* cumulativeWeight) {
  int32_t lo = 1;
  int32_t hi = nEnerg - 1;
  while (lo < hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (cumulativeWeight[mid] >= xi) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

// Energy of the spectrum at cumulative probability xi, eV: uniform within the
// bin [E[i-1], E[i]] that xi falls in; a xi equal to the bin's cumulative
// weight takes the bin's upper energy.
TQ_CPU_GPU inline double SpectrumEnergy(double xi, int32_t nEnerg, const double* energy, const double* cumulativeWeight,
                                        int32_t& bin) {
  const int32_t i = SpectrumBin(xi, nEnerg, cumulativeWeight);
  bin = i;
  if (xi == cumulativeWeight[i]) return energy[i];
  const double binWeight = cumulativeWeight[i] - cumulativeWeight[i - 1];
  return energy[i - 1] + (xi - cumulativeWeight[i - 1]) / binWeight * (energy[i] - energy[i - 1]);
}
