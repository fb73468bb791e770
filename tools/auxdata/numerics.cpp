#include "tools/auxdata/numerics.h"

#include <algorithm>
#include <cmath>

const double kGaussNode[kGaussPoints] = {
    -0.9739065285171717, -0.8650633666889845, -0.6794095682990244, -0.4333953941292472,
    -0.1488743389816312, 0.1488743389816312,  0.4333953941292472,  0.6794095682990244,
    0.8650633666889845,  0.9739065285171717};
const double kGaussWeight[kGaussPoints] = {
    0.0666713443086881, 0.1494513491505806, 0.2190863625159820, 0.2692667193099963,
    0.2955242247147529, 0.2955242247147529, 0.2692667193099963, 0.2190863625159820,
    0.1494513491505806, 0.0666713443086881};

double ElectronBeta(double kineticEnergyEv) {
  const double gamma = 1.0 + kineticEnergyEv / kElectronRestEnergyEv;
  return std::sqrt(1.0 - 1.0 / (gamma * gamma));
}

CUBICSPLINE MakeNaturalSpline(const std::vector<double>& x, const std::vector<double>& y) {
  CUBICSPLINE s{x, y, std::vector<double>(x.size(), 0.0)};
  const size_t n = x.size();
  if (n < 3) return s;
  // Tridiagonal system for the inner second derivatives (Thomas algorithm).
  std::vector<double> diagonal(n, 0.0), rhs(n, 0.0);
  for (size_t i = 1; i + 1 < n; ++i) {
    const double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
    diagonal[i] = 2.0 * (h0 + h1);
    rhs[i] = 6.0 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
  }
  for (size_t i = 2; i + 1 < n; ++i) {
    const double h = x[i] - x[i - 1];
    const double factor = h / diagonal[i - 1];
    diagonal[i] -= factor * h;
    rhs[i] -= factor * rhs[i - 1];
  }
  for (size_t i = n - 2; i >= 1; --i) {
    const double above = i + 2 < n ? (x[i + 1] - x[i]) * s.secondDerivative[i + 1] : 0.0;
    s.secondDerivative[i] = (rhs[i] - above) / diagonal[i];
  }
  return s;
}

namespace {

// Index i of the interval [x[i], x[i+1]] that holds `at`, within [0, n-2].
size_t IntervalOf(const std::vector<double>& x, double at) {
  const size_t n = x.size();
  const size_t upper = std::upper_bound(x.begin(), x.end(), at) - x.begin();
  return upper == 0 ? 0 : std::min(upper - 1, n - 2);
}

}  // namespace

double SplineAt(const CUBICSPLINE& s, double at) {
  const size_t n = s.x.size();
  if (n == 1) return s.y[0];
  if (n == 2) return s.y[0] + (at - s.x[0]) / (s.x[1] - s.x[0]) * (s.y[1] - s.y[0]);
  const size_t i = IntervalOf(s.x, at);
  const double h = s.x[i + 1] - s.x[i];
  const double a = (s.x[i + 1] - at) / h, b = (at - s.x[i]) / h;
  const double m0 = s.secondDerivative[i], m1 = s.secondDerivative[i + 1];
  return a * s.y[i] + b * s.y[i + 1] + ((a * a * a - a) * m0 + (b * b * b - b) * m1) * h * h / 6.0;
}

double LinearAt(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  const size_t i = IntervalOf(x, at);
  return y[i] + (at - x[i]) / (x[i + 1] - x[i]) * (y[i + 1] - y[i]);
}

double LogLogAt(const std::vector<double>& x, const std::vector<double>& y, double at) {
  if (at <= x.front()) return y.front();
  if (at >= x.back()) return y.back();
  const size_t i = IntervalOf(x, at);
  if (at == x[i]) return y[i];
  if (y[i] <= 0.0 || y[i + 1] <= 0.0 || x[i] <= 0.0)
    return y[i] + (at - x[i]) / (x[i + 1] - x[i]) * (y[i + 1] - y[i]);
  return y[i] * std::exp(std::log(y[i + 1] / y[i]) * std::log(at / x[i]) / std::log(x[i + 1] / x[i]));
}

std::vector<size_t> ThinLinLinTable(const std::vector<double>& x,
                                    const std::vector<std::vector<double>>& columns,
                                    double tolerance) {
  const size_t n = x.size();
  std::vector<size_t> kept;
  if (n == 0) return kept;
  kept.push_back(0);
  // Whether the chord from a to b reproduces every point between them.
  auto chordHolds = [&](size_t a, size_t b) {
    for (const std::vector<double>& y : columns) {
      for (size_t m = a + 1; m < b; ++m) {
        const double w = y[a] + (y[b] - y[a]) * (x[m] - x[a]) / (x[b] - x[a]);
        if (y[m] == 0.0 ? w != 0.0 : std::fabs(w / y[m] - 1.0) > tolerance) return false;
      }
    }
    return true;
  };
  size_t a = 0;
  while (a + 1 < n) {
    size_t b = a + 1;
    while (b + 1 < n && chordHolds(a, b + 1)) ++b;
    kept.push_back(b);
    a = b;
  }
  return kept;
}
