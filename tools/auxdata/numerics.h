// Numerical tools of the auxiliary-data builder: natural cubic splines,
// interpolation of tabulated cross sections, thinning of lin-lin tables and
// Gauss-Legendre quadrature.
#pragma once

#include <cstddef>
#include <vector>

// Electron rest energy, eV (CODATA 2018).
constexpr double kElectronRestEnergyEv = 510998.95;

// Speed of an electron of kinetic energy E (eV) in units of c.
double ElectronBeta(double kineticEnergyEv);

// A natural cubic spline through (x[i], y[i]), x rising: second derivatives
// zero at both ends.
struct CUBICSPLINE {
  std::vector<double> x, y;
  std::vector<double> secondDerivative;
};

CUBICSPLINE MakeNaturalSpline(const std::vector<double>& x, const std::vector<double>& y);

// The spline's value at `at`; outside [x0, xn] the end cubic is continued.
double SplineAt(const CUBICSPLINE& spline, double at);

// Interpolation in a table of rising x: log-log between two positive values,
// linear where either value is 0; the end values are held outside the table.
double LogLogAt(const std::vector<double>& x, const std::vector<double>& y, double at);

// Linear interpolation with the end values held outside the table.
double LinearAt(const std::vector<double>& x, const std::vector<double>& y, double at);

// Thins a lin-lin table of several columns over the grid x: greedily drops the
// points that the chord of their kept neighbours reproduces, in every column,
// within a relative `tolerance` of the column's value (a zero value must be
// reproduced exactly). Returns the indexes of the kept points (the first and
// the last always among them).
std::vector<size_t> ThinLinLinTable(const std::vector<double>& x,
                                    const std::vector<std::vector<double>>& columns,
                                    double tolerance);

// Ten-point Gauss-Legendre rule on [-1, 1]: nodes and weights.
constexpr int kGaussPoints = 10;
extern const double kGaussNode[kGaussPoints];
extern const double kGaussWeight[kGaussPoints];

// The integral of f over [a, b] by the ten-point rule.
template <typename F>
double GaussIntegral(const F& f, double a, double b) {
  const double half = 0.5 * (b - a), middle = 0.5 * (a + b);
  double sum = 0.0;
  for (int i = 0; i < kGaussPoints; ++i) sum += kGaussWeight[i] * f(middle + half * kGaussNode[i]);
  return sum * half;
}
