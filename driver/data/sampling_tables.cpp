// Sampling tables derived from analytic cross sections at load time: the
// share of the pair's kinetic energy given to the electron (Bethe-Heitler
// differential cross section with screening) and the angular distribution of
// photoelectrons (screened hydrogen-like form at low energy, Sauter's
// distribution above the threshold).
#include <cmath>
#include <vector>

#include "driver/data/element_loader.h"
#include "driver/data/load_steps.h"

namespace {

constexpr int kPairSamplePoints = 1001;  // x = 0, 0.0005, ..., 0.5

// Screening radius (units of the Compton wavelength) of the Bethe-Heitler
// screening functions.
double ScreeningRadius(int z) {
  switch (z) {
    case 1: return 122.8;
    case 2: return 90.8;
    case 3: return 100.0;
    case 4: return 106.0;
    default: return 111.7;
  }
}

// Bethe-Heitler differential cross section in the electron's share x of the
// kinetic energy, with screening functions phi1 and phi2.
// restEn is the electron rest energy (eV).
double PairDensity(double x, double k, double zf, double radius, double restEn) {
  const double t = k - 2.0 * restEn;
  const double e1 = restEn + x * t;
  const double eps = e1 / k;
  const double e2 = k - e1;
  const double b = (restEn * restEn * k / (2.0 * e1 * e2)) * (zf * radius / restEn);
  const double l2 = std::log(radius * radius);
  const double lnB = std::log(1.0 + b * b);
  const double atanB = std::atan(1.0 / b);
  const double phi1 = 2.0 * (1.0 + l2) - 2.0 * lnB - 4.0 * b * atanB;
  const double phi2 = 2.0 * (l2 + 2.0 / 3.0) - 2.0 * lnB +
                      8.0 * b * b * (1.0 - b * atanB - 0.75 * std::log(1.0 + 1.0 / (b * b)));
  return (eps * eps + (1.0 - eps) * (1.0 - eps)) * phi1 + (2.0 / 3.0) * eps * (1.0 - eps) * phi2;
}

void BuildPairTable(int j, double zf, double radius, double restEn, ElemStaging* elem) {
  const double k = elementdata::pp_Eprim[j];
  std::vector<double> f(kPairSamplePoints);
  for (int i = 0; i < kPairSamplePoints; ++i)
    f[i] = PairDensity(i * 0.5 / 1000.0, k, zf, radius, restEn);
  int iMin = 0, iMax = 0;
  for (int i = 1; i < kPairSamplePoints; ++i) {
    if (f[i] < f[iMin]) iMin = i;
    if (f[i] > f[iMax]) iMax = i;
  }
  double fMin = f[iMin], fMax = f[iMax];
  if (fMin <= 0.0) {
    const double shift = fMin == 0.0 ? fMax / 2.0 : -2.0 * fMin;
    for (double& v : f) v += shift;
    fMin += shift;
    fMax += shift;
  }
  // Keep the points where the density has changed by a factor q since the
  // last kept one, besides both ends and the extremes.
  int levels = static_cast<int>(std::log(fMax / fMin) / 0.1);
  if (levels < 5) levels = 5;
  if (levels > 11) levels = 11;
  const double q = std::exp(std::log(fMax / fMin) / (levels - 1));
  double* x = elem->ppSpecX[j];
  double* pdf = elem->ppSpecPdf[j];
  int kept = 0;
  for (int i = 0; i < kPairSamplePoints && kept < kPairTablePoints; ++i) {
    const bool always = i == 0 || i == iMin || i == iMax || i == kPairSamplePoints - 1;
    const double r = kept > 0 ? f[i] / pdf[kept - 1] : 1.0;
    if (!always && r < q && r > 1.0 / q) continue;
    x[kept] = i == kPairSamplePoints - 1 ? 0.5 : i * 0.5 / 1000.0;
    pdf[kept++] = f[i];
  }
  NormaliseDensity(x, pdf, elem->ppSpecCum[j], elem->ppSpecSlope[j], kept);
  elem->ppSpecN[j] = static_cast<int16_t>(kept);
  elem->ppSpecMedian[j] = MedianInterval(elem->ppSpecCum[j], kept);
}

// Hydrogen-like angular factor G(Q) of the screened photoelectron form by
// Slater group, with a the group's screening parameter (1/angstrom^2).
double HydrogenLikeFactor(int group, double q, double a) {
  if (group == 1) return 1.0 / ((q + a) * (q + a));
  if (group == 2) {
    const double u = (3.0 * a - q) * (3.0 * a - q);
    const double v = q * u + a * (a - 3.0 * q) * (a - 3.0 * q);
    return u / (v * v);
  }
  if (group <= 4) {
    const double w = a * a - 6.0 * a * q + q * q;
    const double v = w * w + a * q * (a - q) * (a - q);
    return (a - q) * (a - q) / (v * v);
  }
  const double w = 5.0 * a * a - 10.0 * a * q + q * q;
  const double z = a * a - 10.0 * a * q + 5.0 * q * q;
  const double v = q * w * w + a * z * z;
  return w * w / (v * v);
}

}  // namespace

namespace elementdata {
const double pp_Eprim[kPairEnergies] = {1022000, 1500000, 3000000, 1e7,  3e7,  1e8,
                                         3e8,     1e9,     3e9,     1e10, 3e10, 1e11};
int16_t n_pp_Eprim = kPairEnergies;
}  // namespace elementdata

void BuildPairProductionTables(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  elem->ppSpecX = new double*[kPairEnergies]();
  elem->ppSpecPdf = new double*[kPairEnergies]();
  elem->ppSpecCum = new double*[kPairEnergies]();
  elem->ppSpecSlope = new double*[kPairEnergies]();
  elem->ppSpecN = new int16_t[kPairEnergies]();
  elem->ppSpecMedian = new int16_t[kPairEnergies]();
  const double zf = std::pow(static_cast<double>(elem->Z), -1.0 / 3.0);
  const double radius = ScreeningRadius(elem->Z);
  const double emax = options.maxEnergy;
  elementdata::n_pp_Eprim = kPairEnergies;
  for (int j = 0; j < kPairEnergies; ++j) {
    elem->ppSpecX[j] = new double[kPairTablePoints]();
    elem->ppSpecPdf[j] = new double[kPairTablePoints]();
    elem->ppSpecCum[j] = new double[kPairTablePoints]();
    elem->ppSpecSlope[j] = new double[kPairTablePoints]();
    BuildPairTable(j, zf, radius, options.constants.restEn, elem);
    // Tables reach the first photon energy at or above the problem's highest.
    if (j >= 1 && emax < elementdata::pp_Eprim[j] && emax <= elementdata::pp_Eprim[j - 1]) {
      elementdata::n_pp_Eprim = static_cast<int16_t>(j);
      break;
    }
  }
}

void BuildPhotoelectronTables(const ELEMENTLOADOPTIONS& options, int s, ElemStaging* elem) {
  const int np = elem->photoionN[s];
  const double* energy = elem->photoionEnergy[s];
  const int d = elem->subshellDesignator[s];
  const double eb = elem->bindingEnergy[d];
  const double a = elem->pePar[d];
  const int group = SlaterGroupOf(d);
  const int n = options.peAngularDistrN;
  const double emax = options.maxEnergy;
  const double restEn = options.constants.restEn;
  // (1e-10 m / (h c))^2: (energy in eV)^2 to wave number squared in 1/angstrom^2.
  const double waveNumberFactor = options.constants.fact_waveNumber;
  elem->peAngCos[s] = new double*[np]();
  elem->peAngPdf[s] = new double*[np]();
  elem->peAngCum[s] = new double*[np]();
  elem->peAngSlope[s] = new double*[np]();
  elem->peAngMedian[s] = new int16_t[np]();

  // Last photon energy: one past the first at or above the problem's highest.
  int m = np - 1;
  for (int i = 0; i < np; ++i) {
    if (emax < energy[i] && (i == 0 || emax <= energy[i - 1])) {
      m = i;
      break;
    }
  }
  // Energies 0..l use the hydrogen-like form, l+1..m Sauter's distribution.
  int l = -1;
  for (int i = m; i >= 0; --i) {
    if (energy[i] - eb < options.peAngularDistrThr) {
      l = i;
      break;
    }
  }
  const double deltaTheta = M_PI / (n - 1);
  for (int i = 0; i <= m; ++i) {
    double* cosine = elem->peAngCos[s][i] = new double[n];
    double* pdf = elem->peAngPdf[s][i] = new double[n];
    double* cum = elem->peAngCum[s][i] = new double[n];
    double* slope = elem->peAngSlope[s][i] = new double[n];
    const double t = std::fmax(energy[i] - eb, 0.0);
    for (int j = 0; j < n; ++j) {
      const double c = j == 0 ? -1.0 : j == n - 1 ? 1.0 : std::cos(M_PI - j * deltaTheta);
      cosine[j] = c;
      if (j == 0 || j == n - 1) {
        pdf[j] = 0.0;
        continue;
      }
      const double sin2 = 1.0 - c * c;
      if (i <= l) {
        const double p = std::sqrt(t * (t + 2.0 * restEn));
        const double bigA = waveNumberFactor * (p * p + energy[i] * energy[i]);
        const double bigB = 2.0 * waveNumberFactor * energy[i] * p;
        pdf[j] = sin2 * HydrogenLikeFactor(group, bigA - bigB * c, a);
      } else {
        // Sauter's distribution for the K shell, Sauter (1931).
        const double tau = t / restEn;
        const double beta = std::sqrt(1.0 - 1.0 / ((1.0 + tau) * (1.0 + tau)));
        const double g = 1.0 - beta * c;
        pdf[j] = sin2 / (g * g * g * g) * (1.0 + 0.5 * tau * (tau * tau - 1.0) * g);
      }
    }
    // A table of two points has no interior: it becomes uniform.
    if (n == 2) pdf[0] = pdf[1] = 1.0;
    NormaliseDensity(cosine, pdf, cum, slope, n);
    elem->peAngMedian[s][i] = MedianInterval(cum, n);
  }
}
