// Special functions of the built-ins erf, erfc, gamma, lngamma and gammp:
// plain functions of doubles without state, callable from any thread. Where
// an argument lies outside what a routine serves it returns the undefined
// value, an infinity or a status code, as noted.
#pragma once

// erf(x); erf(+-inf) = +-1, exactly +-1 for |x| >= 6, NaN for a NaN.
double Erf(double x);
// erfc(x) = 1 - erf(x) without cancellation; erfc(+inf) = 0, erfc(-inf) = 2,
// 0 for x >= 28 (underflow), 2 for x <= -6.
double Erfc(double x);

// ln Gamma(x) for x >= 0 (+inf at x = 0 and x = +inf).
double LnGammaPositive(double x);
// ln |Gamma(x)| for every x: +inf at the poles 0, -1, -2, ..., the undefined
// value for a NaN or x < -1e15 (where no fraction is left to tell a pole).
double LnGamma(double x);
// Gamma(x): +-inf at the poles (the sign of the side of approach for -0, and
// +inf, -inf, +inf, ... at -1, -2, -3, ...), the undefined value for a NaN or
// x < -1e15.
double Gamma(double x);

// Status codes of the incomplete gamma routines.
enum IncompleteGammaStatus : int {
  kGammaConverged = 0,
  kGammaNegativeX = 1,             // series: x < 0, P = 0
  kGammaNotConverged = 2,          // series: 10000 terms without convergence, P undefined
  kGammaFractionNotConverged = 1,  // continued fraction: 10000 steps without convergence
};

// P(a, x) by its series; for x < a + 1. The result is always written: the
// undefined value when the series does not converge.
int GammaPSeries(double a, double x, double* p);
// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz); for
// x >= a + 1. The result is written also when the fraction ran out of steps.
int GammaQContFrac(double a, double x, double* q);

// sin(pi x) with the argument reduced exactly, so that large x and the
// integers keep full accuracy (sin(pi n) = 0).
double SinPi(double x);
