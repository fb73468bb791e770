// Measurements of the program's own electron physics through the worker's
// interaction methods, for comparison with published data: the elastic
// transport cross section from sampled deflections
// (CTask::DetermineElasticScatteringModel), the collision and radiative
// stopping powers from sampled energy losses (CTask::Bremsstrahlung,
// Excitation, Electroionization) and the CSDA range that they give. The
// problem is one of the electron fixture whose material holds one element.
#pragma once

#include <cstdint>
#include <vector>

#include "core/randgen.h"
#include "tests/transport/electron_fixture.h"

// A Monte Carlo estimate and its standard deviation.
struct ESTIMATE {
  double value = 0.0;
  double sdev = 0.0;
};

// Elastic scattering of the element at E: the cross section that the
// collision sampling uses (barn), the mean of 1 - mu over the sampled
// cosines, and their product, the first transport cross section (barn).
struct ELASTICMEASURE {
  double sigmaBarn = 0.0;
  ESTIMATE meanOneMinusMu;
  ESTIMATE transportBarn;
  int64_t cosines = 0;  // cosines sampled
};

// How many cosines: at least minCosines, then more in batches of as many
// until the relative standard deviation of the mean is at most targetRelSdev
// or maxCosines are reached. The rare large-angle deflections carry much of
// mean(1 - mu) at high energies, where 10^5 cosines leave tens of per cent.
struct COSINECOUNT {
  int64_t minCosines = 100000;
  double targetRelSdev = 0.02;
  int64_t maxCosines = 20000000;
};

ELASTICMEASURE MeasureElasticTransport(ELECTRONPROBLEM& problem, double E, const COSINECOUNT& count, CRandGen& rng);

// Sets the generator's state so that its next draw is r (0 < r < 1): the
// RANMAR state is plain data, and the draws after it follow on from there.
void SetNextDraw(CRandGen& rng, double r);

// How finely the probability r of the first draw of an interaction is
// stratified: equal strata of width `width` in r while they are finer than
// the strata of equal width `lnStep` in ln(1 - r), those beyond, down to
// 1 - r = exp(-depth), then one stratum for the rest. The hard knock-ons and
// photons of the spectra's tails (r near 1) get strata as fine as they need.
struct STRATIFICATION {
  double width = 0.02;
  double lnStep = 0.15;
  double depth = 25.0;
  int replicas = 8;  // independent stratified samples; their spread gives the standard deviation
};

// Stopping cross sections of the element at E from the program's sampled
// losses, eV cm^2 per atom: collision (ionization of every subshell with its
// binding energy, and excitation) and radiative (bremsstrahlung). The mean
// loss of each process is the mean over stratified first draws; the loss is
// what the primary loses (no secondary is followed, every cutoff is above
// every energy). Changes the host Constants' tracking switches.
struct STOPPINGMEASURE {
  ESTIMATE collision;
  ESTIMATE radiative;
};

STOPPINGMEASURE MeasureStoppingPower(ELECTRONPROBLEM& problem, double E, const STRATIFICATION& strata, CRandGen& rng);

// Atoms per gram of the element (Avogadro's number over its atomic weight
// from the loaded relaxation data): times eV cm^2 per atom, eV cm^2/g.
double AtomsPerGram(const Elem& element);

// CSDA ranges (g/cm^2) at the energies `at` (eV, rising, at most eMax) by the
// ESTAR rule: R(1 keV) = 0.5 T / S_tot(1 keV) and the integral of dE / S_tot
// from 1 keV on a fine logarithmic grid, S_tot interpolated log-log between
// stopping powers measured at nodesPerDecade energies per decade from 1 keV
// to eMax. The deviations assume independent node errors.
std::vector<ESTIMATE> MeasureCsdaRanges(ELECTRONPROBLEM& problem, const std::vector<double>& at, double eMax,
                                        int nodesPerDecade, const STRATIFICATION& strata, CRandGen& rng);
