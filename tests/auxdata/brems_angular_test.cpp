// The bremsstrahlung angular models and their tabulation: densities that
// integrate to 1, tables that meet their L1 error target, the fitted table
// reproduced at its nodes, and the Born-approximation formula 2BS against the
// partial-wave fit where both apply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_paths.h"
#include "tools/auxdata/brems_angular_model.h"

namespace {

// The integral of f(x) dx, x = 1 - mu, over [0, 2] in ln x panels fine enough
// for peaks down to x = 1e-16.
template <typename F>
double IntegralOverMu(const F& f) {
  double sum = GaussIntegral(f, 0.0, 1e-16);
  for (double x = 1e-16; x < 2.0; x *= 1.25) {
    const double upper = std::min(2.0, x * 1.25);
    sum += GaussIntegral([&](double t) { return std::exp(t) * f(std::exp(t)); }, std::log(x), std::log(upper));
  }
  return sum;
}

// The L1 distance between a table's lin-lin density and the normalised f.
template <typename F>
double TableL1Error(const ANGULARTABLE& table, const F& f, double norm) {
  double error = 0.0;
  for (size_t i = 0; i + 1 < table.mu.size(); ++i) {
    const double xa = 1.0 - table.mu[i + 1], xb = 1.0 - table.mu[i];  // xa < xb
    const double pa = table.density[i + 1], pb = table.density[i];
    auto gap = [&](double x) { return std::fabs(pa + (pb - pa) * (x - xa) / (xb - xa) - f(x) / norm); };
    if (xa == 0.0) {
      error += GaussIntegral(gap, xa, xb);
      continue;
    }
    // Sub-panels in ln x: the interval may span decades.
    const int panels = 1 + static_cast<int>(8.0 * std::log(xb / xa));
    const double step = std::log(xb / xa) / panels;
    for (int p = 0; p < panels; ++p)
      error += GaussIntegral([&](double t) { return std::exp(t) * gap(std::exp(t)); }, std::log(xa) + p * step,
                             std::log(xa) + (p + 1) * step);
  }
  return error;
}

double MeanCosine(const ANGULARTABLE& t) {
  double moment = 0.0, total = 0.0;
  for (size_t i = 1; i < t.mu.size(); ++i) {
    const double h = t.mu[i] - t.mu[i - 1];
    moment += h * (t.mu[i] * t.density[i] + t.mu[i - 1] * t.density[i - 1]) / 2.0;
    total += h * (t.density[i] + t.density[i - 1]) / 2.0;
  }
  return moment / total;
}

TEST(BremsAngularModel, FittedDipoleDensityIsNormalised) {
  for (double a : {0.02, 0.5, 1.0, 1.6})
    for (double b : {0.0, 0.3, 0.9, 0.99}) {
      const DIPOLEPARAMETERS p{a, b};
      EXPECT_NEAR(IntegralOverMu([&](double x) { return FittedDipoleDensity(p, x); }), 1.0, 1e-9)
          << "A " << a << " B " << b;
    }
}

// Forward-peaked densities of known normalisation, from the slow electrons'
// near-isotropy to a peak of width 1e-11 in 1 - mu.
TEST(BremsAngularModel, TablesMeetTheirErrorTargetFromIsotropyToSharpPeaks) {
  struct CASE {
    const char* name;
    std::function<double(double)> f;
    double peakScale;
  };
  const CASE cases[] = {
      {"dipole B 0.05", [](double x) { return FittedDipoleDensity({0.7, 0.05}, x); }, 0.95},
      {"dipole B 0.95", [](double x) { return FittedDipoleDensity({0.3, 0.95}, x); }, 0.05},
      {"peak 1e-11", [](double x) { return 1.0 / ((1.0 + x / 1e-11) * (1.0 + x / 1e-11)); }, 1e-11},
  };
  for (const CASE& c : cases) {
    const ANGULARTABLE table =
        TabulateAngularDensity(c.f, c.peakScale, kBremsAngularMaxPoints, kBremsAngularTolerance);
    ASSERT_GE(table.mu.size(), 2u) << c.name;
    EXPECT_LE(table.mu.size(), static_cast<size_t>(kBremsAngularMaxPoints)) << c.name;
    EXPECT_EQ(table.mu.front(), -1.0) << c.name;
    EXPECT_EQ(table.mu.back(), 1.0) << c.name;
    for (size_t i = 1; i < table.mu.size(); ++i) ASSERT_LT(table.mu[i - 1], table.mu[i]) << c.name;
    const double norm = IntegralOverMu(c.f);
    EXPECT_LT(TableL1Error(table, c.f, norm), kBremsAngularTolerance) << c.name;
    EXPECT_NEAR(table.density.back(), c.f(0.0) / norm, 1e-6 * table.density.back()) << c.name;
  }
}

TEST(BremsAngularModel, TwoBsIsPositiveAtEveryAngle) {
  for (int z : {1, 47, 100})
    for (double energy : {1.5e6, 1e8, 1e11})
      for (double kappa : {1e-8, 0.3, 1.0}) {
        const double k = kappa * energy;
        double smallest = 1.0;
        const double peak = KochMotz2bsFactor(z, energy, k, 0.0);
        for (double x = 1e-16; x <= 2.0; x *= 1.05) smallest = std::min(smallest, KochMotz2bsFactor(z, energy, k, x) / peak);
        EXPECT_GT(smallest, 0.0) << "Z " << z << " E " << energy << " K " << kappa;
        EXPECT_GT(KochMotz2bsFactor(z, energy, k, 2.0), 0.0);
      }
}

class BremsAngularFit : public testing::Test {
 protected:
  void SetUp() override {
    const std::string folder = PenelopeSourceFolder();
    if (folder.empty()) GTEST_SKIP() << "PENELOPE-2018 tables not found: the fitted model cannot be tested";
    std::string error;
    ASSERT_TRUE(ReadBremsAngularFit(folder, &fit_, &error)) << error;
    model_ = MakeBremsFitModel(fit_);
  }
  BREMSANGULARFIT fit_;
  BREMSFITMODEL model_;
};

TEST_F(BremsAngularFit, InterpolationReproducesEveryTabulatedParameter) {
  for (size_t iz = 0; iz < fit_.z.size(); ++iz)
    for (size_t ie = 0; ie < fit_.energy.size(); ++ie)
      for (size_t ik = 0; ik < fit_.kappa.size(); ++ik) {
        const double e = fit_.energy[ie];
        const DIPOLEPARAMETERS p =
            FittedDipoleParameters(model_, static_cast<int>(fit_.z[iz]), e, fit_.kappa[ik] * e);
        EXPECT_NEAR(p.a, fit_.a[iz][ie][ik], 1e-9 * fit_.a[iz][ie][ik]) << iz << " " << ie << " " << ik;
        EXPECT_NEAR(p.b, fit_.b[iz][ie][ik], 1e-9) << iz << " " << ie << " " << ik;
      }
}

TEST_F(BremsAngularFit, SlowElectronsKeepTheShapeAndSlowTheBoost) {
  // Below 1 keV: A of 1 keV, B scaled with the electron speed.
  const DIPOLEPARAMETERS at1keV = FittedDipoleParameters(model_, 29, 1e3, 500.0);
  const DIPOLEPARAMETERS at10eV = FittedDipoleParameters(model_, 29, 10.0, 5.0);
  EXPECT_DOUBLE_EQ(at10eV.a, at1keV.a);
  EXPECT_NEAR(at10eV.b / at1keV.b, ElectronBeta(10.0) / ElectronBeta(1e3), 1e-12);
}

// The Born approximation overrates forward emission at low energies and
// approaches the partial-wave result as the energy rises.
TEST_F(BremsAngularFit, TwoBsApproachesThePartialWaveFitAsTheEnergyRises) {
  for (int z : {13, 79})
    for (double kappa : {0.05, 0.3, 0.6, 0.9}) {
      double gap[2] = {0.0, 0.0};
      int i = 0;
      for (double energy : {5e5, 1e6}) {
        const double k = kappa * energy;
        const DIPOLEPARAMETERS p = FittedDipoleParameters(model_, z, energy, k);
        const double fit = MeanCosine(TabulateAngularDensity(
            [&](double x) { return FittedDipoleDensity(p, x); }, 1.0 - p.b, 256, 1e-4));
        const double e0 = 1.0 + energy / kElectronRestEnergyEv;
        const double born = MeanCosine(TabulateAngularDensity(
            [&](double x) { return KochMotz2bsFactor(z, energy, k, x); }, 0.5 / (e0 * e0), 256, 1e-4));
        gap[i++] = born - fit;
      }
      EXPECT_GT(gap[0], 0.0) << "Z " << z << " K " << kappa;
      EXPECT_LT(gap[1], gap[0]) << "Z " << z << " K " << kappa;
      EXPECT_LT(gap[1], 0.1) << "Z " << z << " K " << kappa;
    }
}

}  // namespace
