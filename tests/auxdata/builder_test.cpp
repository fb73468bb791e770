// The builder's numerics, its ENDF number parser and angle grid, and the
// rules by which it lays out the DWBA and partial-wave elastic records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/auxdata/aux_data_builder.h"
#include "tools/auxdata/numerics.h"

namespace {

TEST(BuilderNumerics, NaturalSplineIsExactForLinesAndCloseForSmoothFunctions) {
  std::vector<double> x, line, sine;
  for (int i = 0; i <= 20; ++i) {
    x.push_back(0.1 * i * i);  // uneven spacing
    line.push_back(3.0 - 2.0 * x.back());
    sine.push_back(std::sin(x.back() / 4.0));
  }
  const CUBICSPLINE lineSpline = MakeNaturalSpline(x, line), sineSpline = MakeNaturalSpline(x, sine);
  for (double at = 0.0; at <= 40.0; at += 0.37) {
    EXPECT_NEAR(SplineAt(lineSpline, at), 3.0 - 2.0 * at, 1e-12) << at;
    if (at < 4.0 || at > 36.0) continue;  // away from the natural ends
    // Within the cubic spline's error bound (5/384) h^4 max|f''''|.
    const size_t i = std::upper_bound(x.begin(), x.end(), at) - x.begin();
    const double h = x[i] - x[i - 1];
    EXPECT_NEAR(SplineAt(sineSpline, at), std::sin(at / 4.0), 1.5 * 5.0 / 384.0 * std::pow(h / 4.0, 4)) << at;
  }
  for (size_t i = 0; i < x.size(); ++i) EXPECT_NEAR(SplineAt(sineSpline, x[i]), sine[i], 1e-14);
}

TEST(BuilderNumerics, LogLogInterpolationFollowsPowerLawsAndFallsBackToLinearAtZero) {
  const std::vector<double> x = {1.0, 10.0, 100.0, 1000.0};
  const std::vector<double> y = {2.0, 2.0 * std::pow(10.0, -1.5), 2.0 * std::pow(100.0, -1.5), 0.0};
  for (double at : {1.0, 3.0, 10.0, 47.0, 99.9})
    EXPECT_NEAR(LogLogAt(x, y, at), 2.0 * std::pow(at, -1.5), 1e-12 * std::pow(at, -1.5)) << at;
  EXPECT_NEAR(LogLogAt(x, y, 550.0), 0.5 * y[2], 1e-15);  // linear toward the zero
  EXPECT_EQ(LogLogAt(x, y, 0.5), 2.0);                   // end values held
  EXPECT_EQ(LogLogAt(x, y, 5000.0), 0.0);
}

TEST(BuilderNumerics, ThinnedTableReproducesEveryDroppedPointWithinTheTolerance) {
  // A cross section rising from 0 at a threshold, then falling as a power law.
  std::vector<double> x, rising, falling;
  for (int i = 0; i < 3000; ++i) {
    const double e = 100.0 * std::pow(1e7, i / 2999.0);
    x.push_back(e);
    rising.push_back(i == 0 ? 0.0 : std::log(e / 100.0) / std::pow(e, 0.8));
    falling.push_back(std::pow(e, -0.3));
  }
  const double tolerance = 1e-3;
  const std::vector<size_t> kept = ThinLinLinTable(x, {rising, falling}, tolerance);
  ASSERT_GE(kept.size(), 2u);
  EXPECT_EQ(kept.front(), 0u);
  EXPECT_EQ(kept.back(), x.size() - 1);
  EXPECT_LT(kept.size(), x.size() / 3);
  for (size_t k = 0; k + 1 < kept.size(); ++k) {
    const size_t a = kept[k], b = kept[k + 1];
    for (size_t m = a + 1; m < b; ++m) {
      const double f = (x[m] - x[a]) / (x[b] - x[a]);
      for (const std::vector<double>* y : {&rising, &falling}) {
        const double chord = (*y)[a] + f * ((*y)[b] - (*y)[a]);
        EXPECT_LE(std::fabs(chord / (*y)[m] - 1.0), tolerance) << "point " << m;
      }
    }
  }
}

TEST(BuilderEndf, FieldsInEveryFormOfTheLibraryParse) {
  const struct {
    const char* text;
    double value;
  } cases[] = {{" 1.234567+6", 1.234567e6}, {"-2.5-3     ", -2.5e-3},   {" 1.5174E+9 ", 1.5174e9},
               {"1.79389D-5 ", 1.79389e-5}, {" 29000.0000", 29000.0},   {" .100000000", 0.1},
               {"5.438673E-4", 5.438673e-4}, {"           ", 0.0},      {" 1.0000E+11", 1e11}};
  for (const auto& c : cases) {
    double value = -1.0;
    ASSERT_TRUE(ParseEndfField(c.text, 11, &value)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  double value = 0.0;
  EXPECT_FALSE(ParseEndfField(" 1.2.3     ", 11, &value));
}

TEST(BuilderSources, ElsepaAngleGridHasItsRunsOfEqualSteps) {
  const std::vector<double> angles = ElsepaAngleGridDegrees();
  ASSERT_EQ(angles.size(), static_cast<size_t>(kElsepaAngles));
  EXPECT_EQ(angles.front(), 0.0);
  EXPECT_EQ(angles[1], 1e-4);
  EXPECT_EQ(angles.back(), 180.0);
  // Step and end of each run after the second angle.
  const struct {
    double end, step;
  } runs[] = {{1e-3, 2.5e-5}, {1e-2, 2.5e-4}, {0.1, 2.5e-3}, {1.0, 0.025}, {10.0, 0.1}, {25.0, 0.25}, {180.0, 0.5}};
  size_t i = 2;
  for (const auto& run : runs) {
    for (; i < angles.size() && angles[i] <= run.end * (1.0 + 1e-12); ++i)
      ASSERT_NEAR(angles[i] - angles[i - 1], run.step, 1e-9 * run.step) << "angle " << i;
    EXPECT_EQ(angles[i - 1], run.end);
  }
  // The cosines of the records: rising, distinct, from -1 to 1.
  const std::vector<double> cosines = DpwCosineGrid();
  EXPECT_EQ(cosines.front(), -1.0);
  EXPECT_EQ(cosines.back(), 1.0);
  for (size_t c = 1; c < cosines.size(); ++c) ASSERT_LT(cosines[c - 1], cosines[c]) << c;
}

// Two ELSEPA rows and an ENDF total elastic cross section below them.
TEST(BuilderElastic, EndfTotalsBelowFiftyElectronvoltsJoinTheElsepaValues) {
  ELSEPATOTALS totals;
  totals.energy = {50.0, 60.0};
  totals.electron = {2e-16, 1.8e-16};
  totals.positron = {1e-16, 0.9e-16};
  ENDFELEMENT endf;
  endf.elasticEnergy = {10.0, 20.0, 40.0, 80.0, 1e11};
  endf.elasticTotal = {5e8, 4e8, 3e8, 2e8, 1.0};
  const std::vector<CSPOINT> points = DpwTotalPoints(totals, endf);
  ASSERT_EQ(points.size(), 5u);
  // ENDF at 50 eV (lin-lin): 2.75e8 barn; ELSEPA there 2e8 and 1e8 barn.
  const double electronScale = 2e8 / 2.75e8, positronScale = 1e8 / 2.75e8;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(points[i].energy, endf.elasticEnergy[i]);
    EXPECT_NEAR(points[i].electron, endf.elasticTotal[i] * electronScale, 1e-6 * points[i].electron);
    EXPECT_NEAR(points[i].positron, endf.elasticTotal[i] * positronScale, 1e-6 * points[i].positron);
  }
  EXPECT_EQ(points[3].energy, 50.0);
  EXPECT_NEAR(points[3].electron, 2e8, 1e-6);
  EXPECT_NEAR(points[4].positron, 0.9e8, 1e-6);
}

// A PENELOPE-style table with the shells and rows given.
SHELLIONIZATION ShellTable(std::vector<int> shells, std::vector<double> binding, std::vector<double> energy,
                           std::vector<std::vector<double>> cs) {
  SHELLIONIZATION t;
  t.shell = std::move(shells);
  t.bindingEnergy = std::move(binding);
  t.energy = std::move(energy);
  t.cs = std::move(cs);
  return t;
}

TEST(BuilderDwba, ShellTablesFollowTheEndfSubshellsAndStartAtTheirThresholds) {
  // Shells K (1), L1 (2) and M1 (5); the ENDF file has K, L1, L2, L3 only,
  // and its L1 binding energy lies above the PENELOPE one.
  const SHELLIONIZATION electron =
      ShellTable({1, 2, 5}, {1000.0, 100.0, 10.0}, {50.0, 100.0, 100.0, 200.0, 1000.0, 2000.0, 4000.0},
                 {{0, 0, 0, 0, 0, 1e-22, 2e-22}, {0, 0, 0, 1e-21, 2e-21, 1.5e-21, 1e-21}, {1, 1, 1, 1, 1, 1, 1}});
  const SHELLIONIZATION positron =
      ShellTable({1, 2, 5}, {1000.0, 100.0, 10.0}, {100.0, 150.0, 1000.0, 3000.0},
                 {{0, 0, 0, 4e-22}, {0, 4e-22, 1e-21, 1e-21}, {1, 1, 1, 1}});
  ENDFELEMENT endf;
  endf.ionizationDesignator = {1, 2, 3, 4};
  endf.bindingEnergy = {0.0, 1000.0, 120.0, 90.0, 80.0};
  DWBAELEMENT element;
  std::string error;
  ASSERT_TRUE(DwbaShellTables(electron, positron, endf, &element, &error)) << error;
  ASSERT_EQ(element.shells.size(), 2u);  // M1 left out
  ASSERT_EQ(element.notes.size(), 2u);   // L1 binding energies, M1 missing

  const DWBASHELLTABLE& k = element.shells[0];
  EXPECT_EQ(k.subshell, 1);
  EXPECT_EQ(k.threshold, 1000.0);
  const std::vector<double> kEnergies = {1000.0, 2000.0, 3000.0, 4000.0};
  ASSERT_EQ(k.points.size(), kEnergies.size());
  for (size_t i = 0; i < kEnergies.size(); ++i) EXPECT_EQ(k.points[i].energy, kEnergies[i]);
  EXPECT_EQ(k.points[0].electron, 0.0);
  EXPECT_EQ(k.points[0].positron, 0.0);
  EXPECT_NEAR(k.points[1].electron, 1e2, 1e-10);  // 1e-22 cm^2 = 100 barn
  // Electrons at 3000 eV: log-log between 2000 and 4000 eV.
  EXPECT_NEAR(k.points[2].electron, 100.0 * std::pow(2.0, std::log(1.5) / std::log(2.0)), 1e-9);
  EXPECT_NEAR(k.points[2].positron, 400.0, 1e-10);
  // Positrons at 2000 eV: linear from 0 at the threshold to 400 barn at 3000 eV.
  EXPECT_NEAR(k.points[1].positron, 200.0, 1e-10);

  // L1 starts at the ENDF binding energy (120 eV); the PENELOPE rows at
  // 100 eV (twice) fall below it.
  const DWBASHELLTABLE& l1 = element.shells[1];
  EXPECT_EQ(l1.subshell, 2);
  EXPECT_EQ(l1.threshold, 120.0);
  ASSERT_GE(l1.points.size(), 2u);
  EXPECT_EQ(l1.points[0].energy, 120.0);
  EXPECT_EQ(l1.points[0].electron, 0.0);
  EXPECT_EQ(l1.points[1].energy, 150.0);
  for (size_t i = 1; i < l1.points.size(); ++i) EXPECT_LT(l1.points[i - 1].energy, l1.points[i].energy);
}

}  // namespace
