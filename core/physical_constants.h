// Physical and numerical constants. The compile-time ones below serve every
// subsystem; the PHYSICALCONSTANTS record holds the constants of the
// simulation (SI units unless said; energies in eV), computed once at
// start-up and copied into the Constants record.
#pragma once

constexpr double kPi = 3.141592653589793238462643;
constexpr double kTwoPi = 6.283185307179586476925287;
constexpr double kBarn = 1e-24;                  // cm^2 per barn
constexpr double kJoulePerEV = 1.602176462e-19;  // J per eV (the elementary charge of the simulation)
// Elastic scattering: cosines above kSmallAngleCosine are the small-angle range.
constexpr double kSmallAngleCosine = 0.999999;
constexpr double kSmallAngleWidth = 1e-6;  // 1 - kSmallAngleCosine

struct PHYSICALCONSTANTS {
  double pi;
  double c;                // speed of light, m/s
  double elch;             // elementary charge, C
  double fineStr_inv;      // inverse fine-structure constant
  double fineStr;
  double elch_c;           // elch / c
  double atomicMassUnit;   // kg
  double elmass;           // electron mass, kg
  double neutronMass;      // kg
  double h;                // Planck constant, J s
  double restEn;           // electron rest energy, eV
  double pairThreshold;    // 2 restEn, eV
  double restEn_inv;       // 1 / restEn, 1/eV
  double constFact_coh;    // elmass c 1e-10 / h: momentum transfer per (eV * Angstrom)
  double constFact_incoh;  // constFact_coh / 2
  double fact_waveNumber;  // (1e-10 / (h[eV s] c))^2
};

// The constants in the order in which each builds on the ones before it.
inline PHYSICALCONSTANTS ComputePhysicalConstants() {
  PHYSICALCONSTANTS k{};
  k.pi = 3.141592653589793;
  k.c = 299792458.0;
  k.elch = 1.602176462e-19;
  k.fineStr_inv = 137.03599976;
  k.fineStr = 1.0 / k.fineStr_inv;
  k.elch_c = k.elch / k.c;
  k.atomicMassUnit = 931494013.0 * k.elch / (k.c * k.c);
  k.elmass = 0.000548579911 * k.atomicMassUnit;
  k.neutronMass = 1.00866491578 * k.atomicMassUnit;
  k.h = 4.13566727e-15 * k.elch;
  k.restEn = k.elmass * k.c * k.c / k.elch;
  k.pairThreshold = 2.0 * k.restEn;
  k.restEn_inv = 1.0 / k.restEn;
  k.constFact_coh = k.elmass * k.c * 1e-10 / k.h;
  k.constFact_incoh = k.constFact_coh / 2.0;
  double waveLengthFactor = 1e-10 / (4.13566727e-15 * k.c);
  k.fact_waveNumber = waveLengthFactor * waveLengthFactor;
  return k;
}
