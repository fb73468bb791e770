#include "tests/support/chisquare.h"

#include <cmath>
#include <cstdio>

namespace {

// Regularised lower incomplete gamma P(a, x) by its power series (x < a + 1).
double LowerGammaSeries(double a, double x) {
  double term = 1.0 / a;
  double sum = term;
  for (int k = 1; k < 10000; ++k) {
    term *= x / (a + k);
    sum += term;
    if (fabs(term) < fabs(sum) * 1e-16) break;
  }
  return sum * exp(-x + a * log(x) - lgamma(a));
}

// Regularised upper incomplete gamma Q(a, x) by its continued fraction
// (modified Lentz), for x >= a + 1.
double UpperGammaFraction(double a, double x) {
  constexpr double kTiny = 1e-300;
  double b = x + 1.0 - a;
  double c = 1.0 / kTiny;
  double d = 1.0 / b;
  double h = d;
  for (int k = 1; k < 10000; ++k) {
    const double an = -k * (k - a);
    b += 2.0;
    d = an * d + b;
    if (fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (fabs(delta - 1.0) < 1e-16) break;
  }
  return exp(-x + a * log(x) - lgamma(a)) * h;
}

}  // namespace

double ChiSquarePValue(double chiSquare, int dof) {
  if (dof <= 0) return 1.0;
  if (chiSquare <= 0.0) return 1.0;
  const double a = 0.5 * dof;
  const double x = 0.5 * chiSquare;
  return x < a + 1.0 ? 1.0 - LowerGammaSeries(a, x) : UpperGammaFraction(a, x);
}

double SidakSignificance(double alpha, int nTests) {
  if (nTests <= 1) return alpha;
  return -std::expm1(std::log1p(-alpha) / nTests);
}

CHISQUARERESULT ChiSquareTest(const std::vector<double>& observed, const std::vector<double>& expected,
                              int fittedParameters) {
  // Entries where the density allows none fail outright: pooling would hide them.
  CHISQUARERESULT result;
  for (size_t k = 0; k < observed.size() && k < expected.size(); ++k) {
    if (expected[k] <= 0.0 && observed[k] > 0.0) {
      result.chiSquare = HUGE_VAL;
      result.pValue = 0.0;
      return result;
    }
  }

  // Pool adjacent cells until each expects enough entries; a short remainder
  // at the end joins the last pooled cell.
  std::vector<double> pooledObserved;
  std::vector<double> pooledExpected;
  double o = 0.0;
  double e = 0.0;
  for (size_t k = 0; k < observed.size() && k < expected.size(); ++k) {
    o += observed[k];
    e += expected[k];
    if (e >= kMinExpectedPerCell) {
      pooledObserved.push_back(o);
      pooledExpected.push_back(e);
      o = 0.0;
      e = 0.0;
    }
  }
  if (e > 0.0 || o > 0.0) {
    if (pooledExpected.empty()) {
      pooledObserved.push_back(o);
      pooledExpected.push_back(e);
    } else {
      pooledObserved.back() += o;
      pooledExpected.back() += e;
    }
  }

  result.cells = static_cast<int>(pooledExpected.size());
  for (size_t k = 0; k < pooledExpected.size(); ++k) {
    const double diff = pooledObserved[k] - pooledExpected[k];
    if (pooledExpected[k] > 0.0) result.chiSquare += diff * diff / pooledExpected[k];
  }
  result.degreesOfFreedom = result.cells - 1 - fittedParameters;
  result.pValue = ChiSquarePValue(result.chiSquare, result.degreesOfFreedom);
  return result;
}

namespace {

// Counts of samples in cell 0 (below lo), cells 1..nBins (equal bins of
// [lo, hi]) and cell nBins + 1 (at or above hi). Samples within edgeTolerance
// outside the range count in the end bins.
std::vector<double> HistogramWithTails(const std::vector<double>& samples, double lo, double hi, int nBins,
                                       double edgeTolerance) {
  std::vector<double> observed(nBins + 2, 0.0);
  const double width = (hi - lo) / nBins;
  for (double sample : samples) {
    const double v = sample < lo && sample >= lo - edgeTolerance ? lo
                     : sample >= hi && sample <= hi + edgeTolerance ? hi - 0.5 * width
                                                                    : sample;
    int cell;
    if (v < lo) {
      cell = 0;
    } else if (v >= hi) {
      cell = nBins + 1;
    } else {
      cell = 1 + static_cast<int>((v - lo) / width);
      if (cell > nBins) cell = nBins;
    }
    observed[cell] += 1.0;
  }
  return observed;
}

}  // namespace

CHISQUARERESULT ChiSquareAgainstCdf(const std::vector<double>& samples, const std::function<double(double)>& cdf,
                                    double lo, double hi, int nBins) {
  const double n = static_cast<double>(samples.size());
  const double width = (hi - lo) / nBins;
  std::vector<double> expected(nBins + 2, 0.0);
  expected[0] = n * cdf(lo);
  for (int b = 0; b < nBins; ++b) {
    const double left = lo + b * width;
    const double right = b + 1 == nBins ? hi : lo + (b + 1) * width;
    expected[b + 1] = n * (cdf(right) - cdf(left));
  }
  expected[nBins + 1] = n * (1.0 - cdf(hi));
  return ChiSquareTest(HistogramWithTails(samples, lo, hi, nBins, 0.0), expected);
}

CHISQUARERESULT ChiSquareAgainstDensity(const std::vector<double>& samples, const std::function<double(double)>& density,
                                        double lo, double hi, int nBins) {
  // Expectation per bin: the density integrated by Simpson's rule on 16
  // panels; none outside [lo, hi].
  constexpr int kPanels = 16;
  const double n = static_cast<double>(samples.size());
  const double width = (hi - lo) / nBins;
  const double h = width / kPanels;
  std::vector<double> expected(nBins + 2, 0.0);
  for (int b = 0; b < nBins; ++b) {
    const double left = lo + b * width;
    double sum = density(left) + density(left + width);
    for (int k = 1; k < kPanels; ++k) sum += (k % 2 == 1 ? 4.0 : 2.0) * density(left + k * h);
    expected[b + 1] = n * sum * h / 3.0;
  }
  // Rounding may put a sample a few ulps outside the support (a cosine of 1).
  const double edgeTolerance = 1e-12 * (hi - lo);
  return ChiSquareTest(HistogramWithTails(samples, lo, hi, nBins, edgeTolerance), expected);
}

bool ChiSquarePasses(const CHISQUARERESULT& result, int nTests, double alpha) {
  return result.pValue >= SidakSignificance(alpha, nTests);
}

std::string Describe(const CHISQUARERESULT& result) {
  char line[160];
  std::snprintf(line, sizeof line, "chi-square %.4g with %d degrees of freedom (%d cells), p-value %.3g",
                result.chiSquare, result.degreesOfFreedom, result.cells, result.pValue);
  return line;
}
