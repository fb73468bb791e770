// Direction sampling and turning. Directions are momentum vectors: each
// function takes the length that its result must have (p c in eV, or 1 for a
// unit vector), so a turn and a change of momentum are one step. The worker's
// generator is passed explicitly.
#pragma once

#include <cmath>

#include "core/fast_math.h"
#include "core/hostdevice.h"
#include "core/physical_constants.h"
#include "core/randgen.h"
#include "core/vector.h"
#include "geometry/frames.h"

// Isotropic direction of the given length, with the y axis as polar axis:
// mu = 1 - 2 xi1 uniform on (-1, 1), phi = 2 pi xi2.
TQ_CPU_GPU inline VECTOR Isotropic(CRandGen& rng, double length) {
  const double mu = 1.0 - 2.0 * rng.random();
  const double phi = kTwoPi * rng.random();
  const double transverse = sqrt(1.0 - mu * mu) * length;
  double c, s;
  FastCosSin(phi, &c, &s);
  return Init(transverse * s, mu * length, transverse * c);
}

TQ_CPU_GPU inline void Isotropic(CRandGen& rng, PARTICLECOORD* pc, double length) { pc->dir = Isotropic(rng, length); }

// Density of the cosine of an isotropic direction about any axis.
inline double IsotropicCosineDensity(double mu) { return mu >= -1.0 && mu <= 1.0 ? 0.5 : 0.0; }

// Turns the direction d by the polar cosine mu and the azimuth phi (radians)
// and gives the result the length `length`; invLength is 1 / |d|. The local
// frame is built about the z axis when |d_y| >= |d| / 2 and about the y axis
// otherwise, so that the transverse length rho is never below |d| / 2.
TQ_CPU_GPU inline VECTOR NonIsotropic(VECTOR d, double length, double invLength, double mu, double phi) {
  const VECTOR unit = d * invLength;
  VECTOR e1;
  VECTOR e2;
  if (fabs(unit.y) >= 0.5) {
    const double rho = sqrt(d.x * d.x + d.y * d.y);
    e1 = Init(d.y / rho, -d.x / rho, 0.0);
    e2 = Init(unit.x * d.z / rho, unit.y * d.z / rho, -rho * invLength);
  } else {
    const double rho = sqrt(d.z * d.z + d.x * d.x);
    e1 = Init(-d.z / rho, 0.0, d.x / rho);
    e2 = Init(unit.x * d.y / rho, -rho * invLength, unit.z * d.y / rho);
  }
  const double transverse = length * sqrt(1.0 - mu * mu);
  double c, s;
  FastCosSin(phi, &c, &s);
  return (length * mu) * unit + (transverse * c) * e1 + (transverse * s) * e2;
}

TQ_CPU_GPU inline void NonIsotropic(PARTICLECOORD* pc, double length, double invLength, double mu, double phi) {
  pc->dir = NonIsotropic(pc->dir, length, invLength, mu, phi);
}

// Unit direction in a cone of half-angle cos^-1(coneCos) about the local z
// axis, rotated into the global frame by the row-major matrix Q: mu uniform on
// [coneCos, 1], phi uniform on [0, 2 pi).
TQ_CPU_GPU inline VECTOR ConeDirection(CRandGen& rng, double coneCos, const double* Q) {
  const double mu = 1.0 - rng.random() * (1.0 - coneCos);
  const double phi = kTwoPi * rng.random();
  const double s = sqrt(1.0 - mu * mu);
  VECTOR global;
  RotateVector(&global, Q, Init(s * cos(phi), s * sin(phi), mu));
  return global;
}

// Density of the cosine of a cone direction about the cone's axis.
inline double ConeCosineDensity(double mu, double coneCos) {
  return mu >= coneCos && mu <= 1.0 ? 1.0 / (1.0 - coneCos) : 0.0;
}
