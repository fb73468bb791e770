// A whole layer problem: a 2 mm aluminium layer hit by a 1 MeV electron
// beam, with an energy spectrum, two plane tallies and a pulse-height tally.
#include <gtest/gtest.h>

#include "driver/directives/material_directives.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/setup/input_checks.h"
#include "tests/directives/directive_test_support.h"

TEST(RealisticInput, AluminiumLayerUnderAnElectronBeam) {
  INPUTRUN run = RunInput(R"(// 2 mm aluminium, 1 MeV electrons at normal incidence
MAT "aluminium" 13 1
CONC 2.699
THICK 0.2
Surface 0 0 0 0 0 1
BEAM 0 0 -1 0 0 1
PART E
N 10000
CUT_E 0.001
E 0 1 100
THETA 0 90 18
R 0 1 20
ETALLY1 0 0 0 0 0 1 E THETA        // reflected and entering electrons
TALLY2 0 0 0.2 0 0 1 (E R) AVGERR 0.05
PULSE_HEIGHT 0 1 100 E_DEPOSITION 1
0.9 1.0
0 1
)");
  ASSERT_EQ(run.code, 0) << run.console;

  EXPECT_EQ(directives::complexGeometry, 0);
  ASSERT_EQ(directives::nMaterials, 1);
  EXPECT_EQ(directives::elementZ[0], 13);
  EXPECT_DOUBLE_EQ(directives::materials[0].fraction[0], 1.0);
  EXPECT_EQ(directives::layer.concentration, 2.699);
  EXPECT_EQ(directives::layer.w, 0.2);
  EXPECT_EQ(directives::layer.surface_C, 1.0);
  EXPECT_EQ(directives::source.part, kSourceElectron);
  EXPECT_EQ(directives::source.beam_C, 1.0);
  EXPECT_EQ(directives::source.beamOrigin.z, -1.0);

  ASSERT_EQ(directives::nPlaneTalliesTot[kElectronTallies], 1);
  ASSERT_EQ(directives::nPlaneTalliesTot[kAllParticleTallies], 1);
  const PLANETALLY& reflected = directives::tallyData[kElectronTallies][0];
  EXPECT_EQ(reflected.number, 1);
  EXPECT_EQ(reflected.n1D, 2);
  const PLANETALLY& transmitted = directives::tallyData[kAllParticleTallies][0];
  EXPECT_EQ(transmitted.n2D, 1);
  EXPECT_DOUBLE_EQ(transmitted.offset, -0.2);
  EXPECT_EQ(transmitted.nDirQuantities, 1);   // E, then R
  EXPECT_EQ(directives::tallyLayout[kAllParticleTallies].twoDimHalf[0], 2000);
  EXPECT_EQ(directives::nPlaneControlTallies[kAllParticleTallies], 1);
  EXPECT_TRUE(directives::targetErrorGiven);

  ASSERT_EQ(directives::nPulseHeight_tot, 1);
  EXPECT_EQ(directives::pulseHeightTally[0].bins, 100);
  EXPECT_EQ(directives::sourceSpectrum.count, 4);

  testing::internal::CaptureStdout();
  int code = CheckInputConsistency();
  if (code == 0) code = CheckAfterGeometrySetup();
  const std::string console = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, 0) << console;
  EXPECT_EQ(directives::sourceSpectrum.nEnerg, 2);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.highestSourceEnergy, 1e6);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.lowestSourceEnergy, 9e5);
  EXPECT_DOUBLE_EQ(directives::pulseHeightTally[0].upper, 1e6);
  EXPECT_DOUBLE_EQ(directives::pulseHeightTally[0].invWidth, 1e-4);
  EXPECT_DOUBLE_EQ(directives::rangeData[kQuantityE][0].upper, 1e6);
  EXPECT_DOUBLE_EQ(directives::transportOptions.cutE, 1000.0);
}
