#include "tests/transport/electron_measures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/task.h"

namespace {

constexpr double kBarnPerCm2 = 1e24;
constexpr double kCm2PerBarn = 1e-24;
constexpr double kAvogadro = 6.02214076e23;          // 1/mol
constexpr double kAtomicMassUnitEv = 931.49410242e6;  // eV: atomic weights are atom rest energies over this
constexpr double kAboveEveryEnergy = 1e30;            // eV: cutoffs that no particle reaches
constexpr double kLowestRangeEnergy = 1e3;            // eV: ESTAR's ranges start at 1 keV
constexpr int kFineStepsPerDecade = 500;              // steps of the range integral per decade of energy

// Section s of the element at E (barn): lin-lin on its own grid, 0 outside it,
// as the material table holds it.
double SectionAt(const Elem& el, int s, double E) {
  const int n = el.sectionN[s];
  if (n < 2 || E < el.sectionEnergy[s][0] || E > el.sectionEnergy[s][n - 1]) return 0.0;
  const double* g = el.sectionEnergy[s];
  const int i = std::min(static_cast<int>(std::upper_bound(g, g + n, E) - g) - 1, n - 2);
  return el.sectionCs[s][i] + (E - g[i]) * el.sectionSlope[s][i];
}

// A worker record for single collisions in the problem's layer, with its own
// copy of the layer whose cutoffs lie above every energy: no secondary is
// followed and the primary keeps what it did not lose.
struct PROBE {
  CELL cell{};
  std::unique_ptr<CTask> task;
  PROBE(ELECTRONPROBLEM& p, CRandGen& rng) : cell(p.cell), task(std::make_unique<CTask>(true)) {
    cell.CUT_E = kAboveEveryEnergy;
    cell.CUT_P = kAboveEveryEnergy;
    task->rng = &rng;
    task->cell = &cell;
    task->material = &p.material;
    task->collisionElement = 0;
  }
  // An electron of energy E moving along +z.
  void Electron(double E) {
    CTask& t = *task;
    t.E = E;
    t.kind = kElectron;
    t.org = kOriginSource;
    t.weight = 1.0;
    t.momentum = std::sqrt(E * (E + 2.0 * GetConstants().restEn));
    t.invMomentum = 1.0 / t.momentum;
    t.pc.dir = VECTOR{0.0, 0.0, t.momentum};
  }
};

// Strata boundaries in r: 0, ..., the start of the last stratum, 1.
std::vector<double> StrataBounds(const STRATIFICATION& s) {
  const double tailStart = -std::expm1(-s.depth);  // 1 - exp(-depth)
  const double lnStepShare = -std::expm1(-s.lnStep);
  std::vector<double> bounds{0.0};
  for (double r = 0.0;;) {
    r += std::min(s.width, (1.0 - r) * lnStepShare);
    if (r >= tailStart) break;
    bounds.push_back(r);
  }
  bounds.push_back(tailStart);
  bounds.push_back(1.0);
  return bounds;
}

// The mean of f over the first draw r of the interaction that f runs: one r
// per stratum, uniform in it, weighted by the stratum's width; the replicas'
// mean and its standard deviation.
ESTIMATE StratifiedMean(const STRATIFICATION& s, CRandGen& rng, const std::function<double()>& f) {
  const std::vector<double> bounds = StrataBounds(s);
  const double belowOne = std::nextafter(1.0, 0.0);
  std::vector<double> means;
  for (int k = 0; k < s.replicas; ++k) {
    double mean = 0.0;
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
      const double width = bounds[i + 1] - bounds[i];
      const double r = std::min(bounds[i] + width * rng.random(), belowOne);
      SetNextDraw(rng, r);
      mean += width * f();
    }
    means.push_back(mean);
  }
  ESTIMATE e;
  for (double m : means) e.value += m / s.replicas;
  if (s.replicas > 1) {
    double var = 0.0;
    for (double m : means) var += (m - e.value) * (m - e.value);
    e.sdev = std::sqrt(var / (s.replicas - 1) / s.replicas);
  }
  return e;
}

// The energy that one collision of type `type` (1 bremsstrahlung, 2
// excitation, 3 + s ionization of subshell s) takes from an electron of E.
double LossOfOneCollision(PROBE& probe, int type, double E) {
  probe.Electron(E);
  CTask& t = *probe.task;
  t.collisionType = type;
  switch (type) {
    case 1:
      t.Bremsstrahlung();
      break;
    case 2:
      t.Excitation();
      break;
    default:
      t.Electroionization();
  }
  return E - t.E;
}

void AddTo(ESTIMATE& sum, double sigmaCm2, const ESTIMATE& meanLoss) {
  sum.value += sigmaCm2 * meanLoss.value;
  sum.sdev = std::hypot(sum.sdev, sigmaCm2 * meanLoss.sdev);
}

}  // namespace

void SetNextDraw(CRandGen& rng, double r) {
  if (rng.initialised == 0) rng.RandomInitialise(rng.ij, rng.kl);
  if (rng.nAhead > 0) {
    rng.ahead[rng.nAhead - 1] = r;  // a step already made: the next draw
    return;
  }
  // The next step subtracts the arithmetic term c (after its decrement) from
  // the lag difference u[i97] - u[j97] (each held to (0, 1] and [0, 1) by
  // adding 1): choose the difference that leaves r.
  double c = rng.c - rng.cd;
  if (c < 0.0) c += rng.cm;
  double difference = r + c;
  if (difference > 1.0) difference -= 1.0;
  double& first = rng.u[rng.i97 - 1];
  first = rng.u[rng.j97 - 1] + difference;
  if (first > 1.0) first -= 1.0;
}

ELASTICMEASURE MeasureElasticTransport(ELECTRONPROBLEM& problem, double E, const COSINECOUNT& count, CRandGen& rng) {
  PROBE probe(problem, rng);
  probe.Electron(E);
  CTask& t = *probe.task;
  ELASTICMEASURE m;
  t.Sigma_el();
  m.sigmaBarn = t.sigma_el * kBarnPerCm2 / problem.material.fraction[0];
  t.collisionType = 0;
  double sum = 0.0, sum2 = 0.0;
  int64_t n = 0;
  for (;;) {
    for (int64_t i = 0; i < count.minCosines; ++i) {
      t.DetermineElasticScatteringModel();
      const double d = 1.0 - t.elasticMu;
      sum += d;
      sum2 += d * d;
    }
    n += count.minCosines;
    const double mean = sum / n;
    m.meanOneMinusMu.value = mean;
    m.meanOneMinusMu.sdev = std::sqrt(std::max(0.0, sum2 / n - mean * mean) / (n - 1.0));
    if (m.meanOneMinusMu.sdev <= count.targetRelSdev * mean || n + count.minCosines > count.maxCosines) break;
  }
  m.cosines = n;
  m.transportBarn.value = m.sigmaBarn * m.meanOneMinusMu.value;
  m.transportBarn.sdev = m.sigmaBarn * m.meanOneMinusMu.sdev;
  return m;
}

STOPPINGMEASURE MeasureStoppingPower(ELECTRONPROBLEM& problem, double E, const STRATIFICATION& strata, CRandGen& rng) {
  Constants& k = core::hostConstants;
  k.trackSecondaryElectrons = 1;
  k.trackKnockOnElectrons = 0;
  k.trackBremsPhotons = 0;
  PROBE probe(problem, rng);
  const Elem& el = problem.elements[0];
  STOPPINGMEASURE s;
  const auto meanLoss = [&](int type) {
    return StratifiedMean(strata, rng, [&] { return LossOfOneCollision(probe, type, E); });
  };
  for (int section = 1; section < el.nSections; ++section) {
    const double sigma = kCm2PerBarn * SectionAt(el, section, E);
    if (!(sigma > 0.0)) continue;
    AddTo(section == 1 ? s.radiative : s.collision, sigma, meanLoss(section));
  }
  return s;
}

double AtomsPerGram(const Elem& element) { return kAvogadro * kAtomicMassUnitEv / element.atomicMass; }

std::vector<ESTIMATE> MeasureCsdaRanges(ELECTRONPROBLEM& problem, const std::vector<double>& at, double eMax,
                                        int nodesPerDecade, const STRATIFICATION& strata, CRandGen& rng) {
  // Total mass stopping power (eV cm^2/g) at the nodes.
  const double perGram = AtomsPerGram(problem.elements[0]);
  std::vector<double> lnE, lnS, sdev;
  for (int j = 0;; ++j) {
    const double E = kLowestRangeEnergy * std::pow(10.0, static_cast<double>(j) / nodesPerDecade);
    const STOPPINGMEASURE m = MeasureStoppingPower(problem, E, strata, rng);
    lnE.push_back(std::log(E));
    lnS.push_back(std::log(perGram * (m.collision.value + m.radiative.value)));
    sdev.push_back(perGram * std::hypot(m.collision.sdev, m.radiative.sdev));
    if (E >= eMax) break;
  }
  const auto S = [&](double lnEnergy) {
    const size_t i = std::min<size_t>(std::upper_bound(lnE.begin(), lnE.end(), lnEnergy) - lnE.begin(), lnE.size() - 1);
    const size_t j = std::max<size_t>(i, 1) - 1;
    const double t = (lnEnergy - lnE[j]) / (lnE[j + 1] - lnE[j]);
    return std::exp(lnS[j] + t * (lnS[j + 1] - lnS[j]));
  };
  std::vector<ESTIMATE> ranges;
  for (double top : at) {
    // R(1 keV) and the trapezoid rule in ln E of E / S_tot.
    const double a = lnE.front(), b = std::log(top);
    const int steps = std::max(1, static_cast<int>(std::ceil((b - a) / std::log(10.0) * kFineStepsPerDecade)));
    const double h = (b - a) / steps;
    double range = 0.5 * kLowestRangeEnergy / std::exp(lnS.front());
    for (int i = 0; i <= steps; ++i) {
      const double x = a + h * i;
      range += (i == 0 || i == steps ? 0.5 : 1.0) * h * std::exp(x) / S(x);
    }
    // Node j's share of the integral: its width in ln E up to the top.
    double var = std::pow(0.5 * kLowestRangeEnergy / std::exp(2.0 * lnS.front()) * sdev.front(), 2);
    for (size_t j = 0; j < lnE.size() && lnE[j] < b + 1e-12; ++j) {
      const double lo = j == 0 ? lnE[0] : 0.5 * (lnE[j - 1] + lnE[j]);
      const double hi = j + 1 < lnE.size() ? std::min(b, 0.5 * (lnE[j] + lnE[j + 1])) : b;
      const double weight = std::max(0.0, hi - lo) * std::exp(lnE[j] - 2.0 * lnS[j]);
      var += std::pow(weight * sdev[j], 2);
    }
    ranges.push_back(ESTIMATE{range, std::sqrt(var)});
  }
  return ranges;
}
