// Elastic angular distributions between table energies too far apart for the
// tables alone. ENDF/B-VIII.1 tabulates them at 16 energies per element and
// jumps from 256 keV to 10 MeV, where the distribution narrows by a factor of
// about 500: no interpolation between the two tables can say how the width
// evolves in between. There the lower table is carried onto the Wentzel
// (screened Rutherford) law: its width at each energy is set so that the
// transport cross section follows the screened Rutherford transport cross
// section, scaled to the tables at both ends (the ratio, which carries the
// Mott factor and the screening's shortcomings, is interpolated in ln E).
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/elements.h"
#include "driver/data/load_steps.h"
#include "transport/electron_interactions.h"

namespace {

// Adjacent table energies at most this ratio apart are interpolated between
// their tables; the ENDF grid is 2 apart from 1 keV to 256 keV.
constexpr double kDenseRatio = 2.0 * (1.0 + 1e-9);
// The ENDF large-angle tables end at this cosine; their cross section (MT 525)
// covers the cosines up to it.
constexpr double kLargeAngleCosine = 0.999999;

// Gauss-Legendre nodes and weights of order 8 on [-1, 1].
constexpr int kGaussPoints = 8;
constexpr double kGaussX[kGaussPoints] = {-0.9602898564975363, -0.7966664774136267, -0.5255324099163290,
                                          -0.1834346424956498, 0.1834346424956498,  0.5255324099163290,
                                          0.7966664774136267,  0.9602898564975363};
constexpr double kGaussW[kGaussPoints] = {0.1012285362903763, 0.2223810344533745, 0.3137066458778873,
                                          0.3626837833783620, 0.3626837833783620, 0.3137066458778873,
                                          0.2223810344533745, 0.1012285362903763};

// One distribution set of the staging record: per grid energy the cosines,
// densities, cumulative probabilities, inverse slopes and point counts.
struct TABLESET {
  const double (*cos)[kMaxElasticPoints];
  const double (*pdf)[kMaxElasticPoints];
  const double (*cum)[kMaxElasticPoints];
  const double (*slope)[kMaxElasticPoints];
  const int16_t* n;
};

// Set 0: electrons; set 1: partial-wave positrons.
TABLESET TableSetOf(const ElemStaging& elem, int setIndex) {
  if (setIndex == 0)
    return TABLESET{elem.elasticCos, elem.elasticPdf, elem.elasticCum, elem.elasticSlope, elem.elasticN};
  return TABLESET{elem.elasticCosPositron, elem.elasticPdfPositron, elem.elasticCumPositron, elem.elasticSlopePositron,
                  elem.elasticNPositron};
}

// A distribution as the sampler draws it (quadratic: the sampler's smoothing
// of the density within an interval): t = 1 - mu at the Gauss points of each
// cumulative interval, with the probability each point stands for.
struct NODES {
  std::vector<double> t, weight;
};

NODES SampledNodes(const TABLESET& set, int e, int quadratic) {
  NODES nodes;
  const double* x = set.cos[e];
  const double* p = set.pdf[e];
  const double* C = set.cum[e];
  const double* s = set.slope[e];
  for (int16_t j = 0; j + 1 < set.n[e]; ++j) {
    const double width = C[j + 1] - C[j];
    if (!(width > 0.0)) continue;
    for (int g = 0; g < kGaussPoints; ++g) {
      const double u = C[j] + 0.5 * width * (1.0 + kGaussX[g]);
      const double t = 1.0 - ValueOnInterval(u, x, p, C, s, j, quadratic);
      nodes.t.push_back(t < 0.0 ? 0.0 : (t > 2.0 ? 2.0 : t));
      nodes.weight.push_back(0.5 * width * kGaussW[g]);
    }
  }
  return nodes;
}

double MeanT(const NODES& nodes) {
  double sum = 0.0, norm = 0.0;
  for (size_t i = 0; i < nodes.t.size(); ++i) {
    sum += nodes.weight[i] * nodes.t[i];
    norm += nodes.weight[i];
  }
  return norm > 0.0 ? sum / norm : 0.0;
}

double MappedMeanT(const NODES& nodes, double eta0, double eta) {
  double sum = 0.0, norm = 0.0;
  for (size_t i = 0; i < nodes.t.size(); ++i) {
    sum += nodes.weight[i] * WentzelMap(nodes.t[i], eta0, eta);
    norm += nodes.weight[i];
  }
  return sum / norm;
}

// The eta at which the increasing function mean(eta) reaches target, by
// halving in ln eta.
template <typename MEAN>
double SolveEta(const MEAN& mean, double target) {
  double lo = std::log(1e-30), hi = std::log(1e6);
  for (int it = 0; it < 100; ++it) {
    const double mid = 0.5 * (lo + hi);
    (mean(std::exp(mid)) < target ? lo : hi) = mid;
  }
  return std::exp(0.5 * (lo + hi));
}

// Mean of t = 1 - mu over the cosines of table e up to `lastCosine`, normalised
// over them (lin-lin density, integrated exactly).
double MeanTUpTo(const TABLESET& set, int e, double lastCosine) {
  const double* x = set.cos[e];
  const double* p = set.pdf[e];
  double sum = 0.0, norm = 0.0;
  for (int16_t j = 0; j + 1 < set.n[e]; ++j) {
    if (x[j + 1] > lastCosine * (1.0 + 1e-12)) break;
    const double h = x[j + 1] - x[j];
    const double t0 = 1.0 - x[j], t1 = 1.0 - x[j + 1];
    sum += h / 6.0 * (p[j] * (2.0 * t0 + t1) + p[j + 1] * (t0 + 2.0 * t1));
    norm += 0.5 * h * (p[j] + p[j + 1]);
  }
  return norm > 0.0 ? sum / norm : 0.0;
}

// Screened Rutherford transport cross section at E, up to constant factors:
// [ln(1 + 2/eta) - 2/(2 + eta)] / (pc beta)^2 with the element's screening.
double ScreenedRutherfordTransport(const ElemStaging& elem, double E, double restEn) {
  const double eta = ScreeningEta(elem.screeningEta0, elem.screeningCoulomb, E, restEn);
  const double pc2 = E * (E + 2.0 * restEn);
  const double gamma = 1.0 + E / restEn;
  const double beta2 = 1.0 - 1.0 / (gamma * gamma);
  return (std::log1p(2.0 / eta) - 2.0 / (2.0 + eta)) / (pc2 * beta2);
}

// A cross section at E, linear in its grid, held at the end values outside it.
double SectionAt(const double* x, const double* y, int n, double E) {
  if (E <= x[0]) return y[0];
  if (E >= x[n - 1]) return y[n - 1];
  int i = 0;
  while (E >= x[i + 1]) ++i;
  return y[i] + (E - x[i]) / (x[i + 1] - x[i]) * (y[i + 1] - y[i]);
}

void WarnWideInterval(const ElemStaging& elem, double e0, double e1) {
  std::printf("Warning: The elastic angular distributions of %s (Z = %d) are tabulated at %g eV and %g eV, "
              "more than a factor of 2 apart; between these energies the scattering angle is sampled from the "
              "%g eV table carried onto the screened Rutherford (Wentzel) law fitted to both tables.\n",
              elementSymbol[elem.Z], elem.Z, e0, e1, e0);
}

}  // namespace

int BuildElasticInterpolation(const ELEMENTLOADOPTIONS& options, int setIndex, bool largeAngleTables, bool warn,
                              ElemStaging* elem) {
  const TABLESET set = TableSetOf(*elem, setIndex);
  const double* sigma = setIndex == 0 ? elem->sectionCs[0] : elem->sectionCsPositron[0];
  const double* sigmaE = elem->sectionEnergy[0];
  const int nSigma = elem->sectionN[0];
  const double restEn = options.constants.restEn;
  const double lastCosine = largeAngleTables ? kLargeAngleCosine : 1.0;
  double* eta0 = elem->elasticModelEta0[setIndex];
  for (int i = 0; i + 1 < elem->elasticNE; ++i) {
    eta0[i] = 0.0;
    const double e0 = elem->elasticEnergy[i], e1 = elem->elasticEnergy[i + 1];
    if (!(e0 > 0.0) || e1 <= kDenseRatio * e0 || nSigma < 2) continue;
    // Transport cross sections of the two tables against the screened
    // Rutherford law there.
    const double mean0 = MeanTUpTo(set, i, lastCosine), mean1 = MeanTUpTo(set, i + 1, lastCosine);
    const double ratio0 = SectionAt(sigmaE, sigma, nSigma, e0) * mean0 / ScreenedRutherfordTransport(*elem, e0, restEn);
    const double ratio1 = SectionAt(sigmaE, sigma, nSigma, e1) * mean1 / ScreenedRutherfordTransport(*elem, e1, restEn);
    const NODES lower = SampledNodes(set, i, options.smoothCdfElastic);
    const double sampledMean0 = MeanT(lower);
    if (!(ratio0 > 0.0) || !(ratio1 > 0.0) || !(sampledMean0 > 0.0)) continue;
    // The lower table as drawn, fitted by its own Wentzel law, is carried at
    // each model energy onto the law whose mapped mean gives the transport
    // cross section there.
    const double fitted0 = SolveEta([](double eta) { return WentzelMeanT(eta); }, sampledMean0);
    for (int k = 0; k < kElasticModelPoints; ++k) {
      const double w = static_cast<double>(k) / (kElasticModelPoints - 1);
      const double E = e0 * std::pow(e1 / e0, w);
      const double transport = ratio0 * std::pow(ratio1 / ratio0, w) * ScreenedRutherfordTransport(*elem, E, restEn);
      const double sigmaAtE = SectionAt(sigmaE, sigma, nSigma, E);
      const double target = sampledMean0 * (transport / sigmaAtE) / mean0;
      const double eta = k == 0 ? fitted0
                                : SolveEta([&](double x) { return MappedMeanT(lower, fitted0, x); },
                                           target < 2.0 ? target : 2.0);
      elem->elasticModelLnEta[setIndex][i][k] = std::log(eta);
    }
    eta0[i] = fitted0;
    if (warn && e1 > options.minEnergy && e0 < options.maxEnergy) WarnWideInterval(*elem, e0, e1);
  }
  return 0;
}
