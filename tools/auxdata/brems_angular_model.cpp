#include "tools/auxdata/brems_angular_model.h"

#include <algorithm>
#include <cmath>

namespace {

// Splits are not made below this width in 1 - mu: the cosines must stay
// distinct after a 16-digit text round trip near mu = 1.
constexpr double kNarrowestInterval = 2e-15;
// The smallest 1 - mu of the first point after mu = 1.
constexpr double kSmallestOneMinusMu = 1e-15;

// x snapped to the value 1 - (1 - x) that a stored cosine gives back.
double Representable(double x) { return 1.0 - (1.0 - x); }

// ln A and B of tabulated element iz at reduced photon energy kappa and the
// speed beta (or at the lowest energy when beta is below its speed).
DIPOLEPARAMETERS TabulatedElementParameters(const BREMSFITMODEL& model, size_t iz, double kappa, double beta) {
  const size_t ne = model.beta.size();
  std::vector<double> lnA(ne), b(ne);
  for (size_t ie = 0; ie < ne; ++ie) {
    lnA[ie] = SplineAt(model.lnA[iz][ie], kappa);
    b[ie] = SplineAt(model.b[iz][ie], kappa);
  }
  DIPOLEPARAMETERS p;
  if (beta <= model.beta.front()) {
    p.a = std::exp(lnA.front());
    p.b = b.front() * beta / model.beta.front();
    return p;
  }
  beta = std::min(beta, model.beta.back());
  p.a = std::exp(SplineAt(MakeNaturalSpline(model.beta, lnA), beta));
  p.b = SplineAt(MakeNaturalSpline(model.beta, b), beta);
  return p;
}

}  // namespace

BREMSFITMODEL MakeBremsFitModel(const BREMSANGULARFIT& fit) {
  BREMSFITMODEL model;
  model.fit = fit;
  for (double e : fit.energy) model.beta.push_back(ElectronBeta(e));
  model.lnA.resize(fit.z.size());
  model.b.resize(fit.z.size());
  for (size_t iz = 0; iz < fit.z.size(); ++iz) {
    for (size_t ie = 0; ie < fit.energy.size(); ++ie) {
      std::vector<double> lnA;
      for (double a : fit.a[iz][ie]) lnA.push_back(std::log(a));
      model.lnA[iz].push_back(MakeNaturalSpline(fit.kappa, lnA));
      model.b[iz].push_back(MakeNaturalSpline(fit.kappa, fit.b[iz][ie]));
    }
  }
  return model;
}

DIPOLEPARAMETERS FittedDipoleParameters(const BREMSFITMODEL& model, int z, double energyEv, double photonEv) {
  const double kappa = std::clamp(photonEv / energyEv, 0.0, kBremsFitHighestKappa);
  const double beta = ElectronBeta(energyEv);
  const std::vector<double>& zs = model.fit.z;
  // Tabulated elements around z; beyond the last one its values are kept.
  const double zc = std::clamp(static_cast<double>(z), zs.front(), zs.back());
  size_t i = 0;
  while (i + 2 < zs.size() && zs[i + 1] <= zc) ++i;
  const DIPOLEPARAMETERS lower = TabulatedElementParameters(model, i, kappa, beta);
  const DIPOLEPARAMETERS upper = TabulatedElementParameters(model, i + 1, kappa, beta);
  const double f = (zc - zs[i]) / (zs[i + 1] - zs[i]);
  DIPOLEPARAMETERS p;
  p.a = std::exp((1.0 - f) * std::log(lower.a) + f * std::log(upper.a));
  p.b = (1.0 - f) * lower.b + f * upper.b;
  return p;
}

double FittedDipoleDensity(const DIPOLEPARAMETERS& p, double x) {
  const double mu = 1.0 - x;
  const double denominator = 1.0 - p.b * mu;
  const double muPrime = (mu - p.b) / denominator;
  const double shape = p.a * 0.375 * (1.0 + muPrime * muPrime) + (1.0 - p.a) * 0.75 * (1.0 - muPrime * muPrime);
  return shape * (1.0 - p.b * p.b) / (denominator * denominator);
}

double KochMotz2bsFactor(int z, double energyEv, double photonEv, double x) {
  const double e0 = 1.0 + energyEv / kElectronRestEnergyEv;
  const double k = photonEv / kElectronRestEnergyEv;
  const double e = e0 - k;
  const double theta = 2.0 * std::asin(std::sqrt(0.5 * x));
  const double y = e0 * theta;
  const double y2 = y * y;
  const double q = y2 + 1.0;
  const double q2 = q * q, q4 = q2 * q2;
  const double screening = std::cbrt(static_cast<double>(z)) / (111.0 * q);
  const double recoil = k / (2.0 * e0 * e);
  const double lnM = -std::log(recoil * recoil + screening * screening);
  return 16.0 * y2 * e / (q4 * e0) - (e0 + e) * (e0 + e) / (q2 * e0 * e0) +
         ((e0 * e0 + e * e) / (q2 * e0 * e0) - 4.0 * y2 * e / (q4 * e0)) * lnM;
}

ANGULARTABLE TabulateAngularDensity(const std::function<double(double)>& f, double peakScale, int maxPoints,
                                    double tolerance) {
  // Nodes in x = 1 - mu, rising from 0 (mu = 1) to 2 (mu = -1), with their
  // densities, and per interval the integral of f and of |chord - f|.
  struct NODE {
    double x, f;
  };
  std::vector<NODE> nodes = {{0.0, f(0.0)}};
  const double lowest = std::max(kSmallestOneMinusMu, std::min(peakScale * 1e-3, 0.1));
  for (double x = lowest; x < 2.0; x *= 10.0) {
    const double snapped = Representable(x);
    nodes.push_back({snapped, f(snapped)});
  }
  nodes.push_back({2.0, f(2.0)});

  // Integrals over [a, b] of f and of |chord - f|: Gauss-Legendre in ln x
  // (in x on the first interval).
  auto integrate = [&](const NODE& a, const NODE& b, double* area, double* error) {
    auto chord = [&](double x) { return a.f + (b.f - a.f) * (x - a.x) / (b.x - a.x); };
    if (a.x == 0.0) {
      *area = GaussIntegral([&](double x) { return f(x); }, a.x, b.x);
      *error = GaussIntegral([&](double x) { return std::fabs(chord(x) - f(x)); }, a.x, b.x);
      return;
    }
    const double ta = std::log(a.x), tb = std::log(b.x);
    *area = GaussIntegral([&](double t) { const double x = std::exp(t); return x * f(x); }, ta, tb);
    *error = GaussIntegral([&](double t) { const double x = std::exp(t); return x * std::fabs(chord(x) - f(x)); },
                           ta, tb);
  };
  std::vector<double> area(nodes.size() - 1), error(nodes.size() - 1);
  for (size_t i = 0; i + 1 < nodes.size(); ++i) integrate(nodes[i], nodes[i + 1], &area[i], &error[i]);
  auto sum = [](const std::vector<double>& v) {
    double s = 0.0;
    for (double value : v) s += value;
    return s;
  };

  // Split the worst interval until the chords are close enough.
  while (static_cast<int>(nodes.size()) < maxPoints && sum(error) > tolerance * sum(area)) {
    size_t worst = nodes.size();
    for (size_t i = 0; i < error.size(); ++i) {
      const bool splittable = nodes[i + 1].x - nodes[i].x > kNarrowestInterval;
      if (splittable && (worst == nodes.size() || error[i] > error[worst])) worst = i;
    }
    if (worst == nodes.size()) break;
    const NODE& a = nodes[worst];
    const NODE& b = nodes[worst + 1];
    const double middle = Representable(a.x == 0.0 ? 0.1 * b.x : std::sqrt(a.x * b.x));
    if (!(middle > a.x && middle < b.x)) {
      error[worst] = 0.0;  // cannot be split further
      continue;
    }
    const NODE m{middle, f(middle)};
    double areaA = 0.0, errorA = 0.0, areaB = 0.0, errorB = 0.0;
    integrate(a, m, &areaA, &errorA);
    integrate(m, b, &areaB, &errorB);
    nodes.insert(nodes.begin() + worst + 1, m);
    area[worst] = areaA;
    error[worst] = errorA;
    area.insert(area.begin() + worst + 1, areaB);
    error.insert(error.begin() + worst + 1, errorB);
  }

  // Cosines rising: the nodes backwards.
  const double total = sum(area);
  ANGULARTABLE table;
  for (size_t i = nodes.size(); i-- > 0;) {
    table.mu.push_back(1.0 - nodes[i].x);
    table.density.push_back(nodes[i].f / total);
  }
  table.l1Error = sum(error) / total;
  return table;
}

ANGULARTABLE BremsAngularTable(const BREMSFITMODEL& model, int z, double energyEv, double photonEv) {
  if (energyEv <= kBremsFitHighestEnergy) {
    const DIPOLEPARAMETERS p = FittedDipoleParameters(model, z, energyEv, photonEv);
    return TabulateAngularDensity([&](double x) { return FittedDipoleDensity(p, x); }, 1.0 - p.b,
                                  kBremsAngularMaxPoints, kBremsAngularTolerance);
  }
  const double e0 = 1.0 + energyEv / kElectronRestEnergyEv;
  return TabulateAngularDensity([&](double x) { return KochMotz2bsFactor(z, energyEv, photonEv, x); },
                                0.5 / (e0 * e0), kBremsAngularMaxPoints, kBremsAngularTolerance);
}
