// Chi-square goodness-of-fit tests of sampled distributions against their
// densities, shared by every physics test.
//
// Cells whose expected count is below a minimum are pooled with their
// neighbours before the statistic is formed, and the significance of a test
// that is one of a family of m tests is corrected (Sidak) so that the family
// as a whole fails by chance with the stated probability.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CHISQUARERESULT {
  double chiSquare = 0.0;        // Pearson's statistic over the pooled cells
  int degreesOfFreedom = 0;      // pooled cells - 1 - fitted parameters
  int cells = 0;                 // cells after pooling
  double pValue = 1.0;           // P(chi-square >= observed) under the density
};

// Cells with fewer expected entries than this are pooled with neighbours.
constexpr double kMinExpectedPerCell = 5.0;

// Default family-wise significance of the physics tests.
constexpr double kChiSquareSignificance = 1e-3;

// Upper tail of the chi-square distribution with `dof` degrees of freedom.
double ChiSquarePValue(double chiSquare, int dof);

// Significance of one of nTests tests so that the family keeps `alpha`:
// 1 - (1 - alpha)^(1 / nTests).
double SidakSignificance(double alpha, int nTests);

// Pearson's test of observed against expected counts per cell; adjacent cells
// are pooled (in order) until each pooled cell expects at least
// kMinExpectedPerCell entries. fittedParameters lowers the degrees of freedom.
CHISQUARERESULT ChiSquareTest(const std::vector<double>& observed, const std::vector<double>& expected,
                              int fittedParameters = 0);

// Histogram of samples on nBins equal bins of [lo, hi], plus one cell below lo
// and one above hi, tested against the cumulative distribution function cdf.
CHISQUARERESULT ChiSquareAgainstCdf(const std::vector<double>& samples, const std::function<double(double)>& cdf,
                                    double lo, double hi, int nBins);

// The same against a density that vanishes outside [lo, hi]: each bin's
// expectation is the density integrated by Simpson's rule, and a sample
// outside [lo, hi] (beyond a rounding tolerance) fails the test.
CHISQUARERESULT ChiSquareAgainstDensity(const std::vector<double>& samples, const std::function<double(double)>& density,
                                        double lo, double hi, int nBins);

// True when the test passes at significance alpha, corrected for a family of
// nTests tests.
bool ChiSquarePasses(const CHISQUARERESULT& result, int nTests = 1, double alpha = kChiSquareSignificance);

// One line for a failure message: statistic, degrees of freedom, p-value.
std::string Describe(const CHISQUARERESULT& result);
