// Source, layer and physics-model directives.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/directives/source_directives.h"
#include "driver/input/options.h"
#include "tests/directives/directive_test_support.h"

TEST(SourceDirectives, ParticleKindsWithoutRegardToCase) {
  const struct {
    const char* value;
    uint8_t kind;
  } cases[] = {{"e", kSourceElectron}, {"P", kSourcePhoton}, {"e+", kSourcePositron}};
  for (const auto& c : cases) {
    ASSERT_EQ(RunLines({std::string("PART ") + c.value}).code, 0) << c.value;
    EXPECT_EQ(directives::source.part, c.kind) << c.value;
  }
}

TEST(SourceDirectives, FrontSurfaceNormalAndOffset) {
  ASSERT_EQ(RunLines({"Surface 0 0 0 0 0 -5"}).code, 0);
  EXPECT_EQ(directives::layer.surface_C, -1.0);
  EXPECT_EQ(directives::layer.surface_D, 0.0);
  ASSERT_EQ(RunLines({"Surface 1 2 3 0 3 4"}).code, 0);
  EXPECT_DOUBLE_EQ(directives::layer.surface_B, 0.6);
  EXPECT_DOUBLE_EQ(directives::layer.surface_C, 0.8);
  EXPECT_DOUBLE_EQ(directives::layer.surface_D, -(0.6 * 2 + 0.8 * 3));
  EXPECT_EQ(directives::layer.surface_Z, 3.0);
}

TEST(SourceDirectives, BeamMakesAPointSourceWithAParallelBeam) {
  ASSERT_EQ(RunLines({"BEAM 0 0 -1 0 0 2", "THICK 0.2", "CONC 2.699"}).code, 0);
  EXPECT_EQ(directives::source.beam_C, 1.0);
  EXPECT_EQ(directives::source.beamOrigin.z, -1.0);
  EXPECT_EQ(directives::source.sourcePositionType, kPointSource);
  EXPECT_EQ(directives::source.sourceDirectionType, kParallelBeam);
  EXPECT_EQ(directives::layer.w, 0.2);
  EXPECT_EQ(directives::layer.concentration, 2.699);
}

TEST(SourceDirectives, ComplexSourcePositionAndCone) {
  ASSERT_EQ(RunLines({"SOURCE_POSITION 2 0 0 0 0 0 1 0 0"}).code, 0);
  EXPECT_EQ(directives::source.sourcePositionType, kPointSource);  // no radius and no width: a point
  ASSERT_EQ(RunLines({"SOURCE_POSITION 2 1 2 3 0 0 2 0.5 0"}).code, 0);
  EXPECT_EQ(directives::source.sourcePositionType, kPlaneSource);
  EXPECT_EQ(directives::source.sourceNormal.z, 1.0);
  EXPECT_EQ(directives::source.Q_source_position[8], 1.0);  // the frame's third column is the normal
  ASSERT_EQ(RunLines({"SOURCE_DIRECTION 2 0 0 1 90"}).code, 0);
  EXPECT_NEAR(directives::source.sourceConeCos, 0.0, 1e-16);
  EXPECT_EQ(directives::source.sourceDirectionType, kConeBeam);
  ASSERT_EQ(RunLines({"SOURCE_DIRECTION 3"}).code, 0);
  EXPECT_EQ(directives::source.sourceDirectionType, kIsotropic);
}

TEST(SourceDirectives, EnergyUnitAndSwitches) {
  ASSERT_EQ(RunLines({"E_UNIT kev", "PE_ANGULAR_DISTR_N 3", "BREMS_ANGULAR_DISTR_LOW_EN 5x", "ION_DWBA 0",
                      "ELASTIC_SMALL_ANGLE 3"})
                .code,
            0);
  EXPECT_EQ(directives::physicsModels.energyUnit, kUnitKeV);
  EXPECT_EQ(directives::physicsModels.energyFactor, 0.001);
  EXPECT_EQ(directives::physicsModels.pe_angularDistr_nPoints, 3);
  EXPECT_EQ(directives::physicsModels.brems_lowEnThr, 5.0);
  EXPECT_TRUE(directives::physicsModels.brems_lowEnThrGiven);
  EXPECT_FALSE(directives::physicsModels.brems_highEnThrGiven);
  EXPECT_EQ(directives::physicsModels.ionDWBA, 0);
  EXPECT_EQ(directives::physicsModels.elasticSmallAngle, 3);
}

TEST(SourceDirectives, BremsTableFolderRelativeToTheProgram) {
  ASSERT_EQ(RunLines({"BREMS_ANGULAR_DISTR_DIR  tables  "}).code, 0);
  EXPECT_EQ(input::bremsTableFolder, input::exeFolder + "tables/");
  ASSERT_EQ(RunLines({"BREMS_ANGULAR_DISTR_DIR /data/brems/"}).code, 0);
  EXPECT_EQ(input::bremsTableFolder, "/data/brems/");
}

TEST(SourceDirectives, RefusalsAndMissingValues) {
  struct CASE {
    std::vector<std::string> lines;
    const char* message;
  };
  const CASE cases[] = {
      {{"PART"}, "Error: Particle type specification is missing.\n"},
      {{"PART X"}, "Error: Particle type specification is incorrect (should be \"E\", \"P\" or \"E+\").\n"},
      {{"THICK"}, "Error: Thickness value is missing.\n"},
      {{"THICK -0.2"}, "Error: Invalid thickness value \"-0.2\" (should be a non-negative number).\n"},
      {{"THICK nan"}, "Error: Invalid thickness value \"nan\" (should be a non-negative number).\n"},
      {{"THICK -INF"}, "Error: Invalid thickness value \"-INF\" (should be a non-negative number).\n"},
      {{"THICK 1e999"}, "Error: Invalid thickness value \"1e999\" (should be a non-negative number).\n"},
      {{"CONC NaN"}, "Error: Invalid concentration value \"NaN\".\n"},
      {{"CONC 0"}, "Error: Concentration value is zero.\n"},
      {{"M1 6 1", "THICK 1"},
       "Error: Keyword \"THICK\" can be used only in simple geometry mode, but the previous directives imply complex "
       "geometry.\n"},
      {{"M1 6 1", "Surface 0 0 0 0 0 1"},
       "Error: Keyword \"Surface\" can be used only in simple geometry mode, but the previous directives imply complex "
       "geometry.\n"},
      {{"MAT 6 1", "SOURCE_POSITION 1 0 0 0"},
       "Error: Keyword \"SOURCE_POSITION\" can be used only in complex geometry mode, but the previous directives "
       "imply simple geometry.\n"},
      {{"Surface 0 0 1 0 0 0"},
       "Error in values of components of the normal vector of the front surface of the layer (at least one of them "
       "must be non-zero).\n"},
      {{"Surface 0 0 1 0 0"},
       "Error: Number of entries in specification of the front surface of the layer is less than 6.\n"},
      {{"Surface 0 0 1x 0 0 1"}, "Error: Invalid number \"1x\" in specification of the front surface of the layer.\n"},
      {{"BEAM 0 0 0 0 0 0"},
       "Error in values of components of the direction vector of the incident beam (at least one of them must be "
       "non-zero).\n"},
      {{"BEAM 0 0 0 0 0"}, "Error: Number of entries in specification of the incident beam is less than 6.\n"},
      {{"BEAM 0 0 -1 0 0 2", "SOURCE_DIRECTION 1 0 0 1"},
       "Error: Keyword \"SOURCE_DIRECTION\" cannot be used after specifying the direction of the source particles.\n"},
      {{"SOURCE_DIRECTION 3", "BEAM 0 0 -1 0 0 2"},
       "Error: Keyword \"BEAM\" cannot be used after specifying the initial position or the direction of the source "
       "particles.\n"},
      {{"SOURCE_POSITION 1 0 0"},
       "Error: At least one of the three source center coordinates has not been specified.\n"},
      {{"SOURCE_POSITION 1"}, "Error: Missing specification of the source position.\n"},
      {{"SOURCE_POSITION 4 0 0 0"},
       "Error: Invalid specification of the source position type \"4\" (it should be 1 for a point source, 2 for a "
       "rotationally symmetric distribution on a plane, or 3 for a uniform distribution inside an arbitrary cell with "
       "finite dimensions).\n"},
      {{"SOURCE_POSITION 2 0 0 0 0 0 1 -1 0"},
       "Error: \"-1\" is not a valid value of the radius of the area with constant surface density of the source.\n"},
      {{"SOURCE_POSITION 2 0 0 0 0 0 1 0"}, "Error: Missing value of the source Gaussian RMS width.\n"},
      {{"SOURCE_POSITION 2 0 0 0"}, "Error: Missing specification of the source surface normal.\n"},
      {{"SOURCE_POSITION 3 x"}, "Error: \"x\" is not a valid identifier of the source cell.\n"},
      {{"SOURCE_POSITION 3 7"}, "Error: Undefined cell identifier \"7\" in the definition of the source cell.\n"},
      {{"SOURCE_DIRECTION 2 0 0 1 180"},
       "Error: \"180\" is not a valid value of the source cone angle (it must be between 0 and 180 degrees).\n"},
      {{"SOURCE_DIRECTION 2 0 0 1 0"},
       "Error: \"0\" is not a valid value of the source cone angle (it must be between 0 and 180 degrees).\n"},
      {{"SOURCE_DIRECTION 2 0 0 1"}, "Error: Missing specification of the source cone angle.\n"},
      {{"SOURCE_DIRECTION 1"}, "Error: Missing specification of the source direction vector.\n"},
      {{"SOURCE_DIRECTION 1 0 0 0"},
       "Error in values of components of the direction vector of the incident beam (at least one of them must be "
       "non-zero).\n"},
      {{"E_UNIT"}, "Error: Specification of the unit of energy is missing.\n"},
      {{"E_UNIT GeV"},
       "Error: Incorrect specification of the unit of energy (should be \"MeV\", \"keV\" or \"eV\").\n"},
      {{"ION_DWBA"},
       "Error: Distorted-wave Born approximation (DWBA) electron-impact ionization cross sections option value is "
       "missing.\n"},
      {{"ELASTIC_DPW"}, "Error: Dirac partial-wave (DPW) elastic scattering cross sections option value is missing.\n"},
      {{"PE_ANGULAR_DISTR_N"},
       "Error: The number of points in photoelectron angular distribution tables is missing.\n"},
      {{"PE_ANGULAR_DISTR_N 2"},
       "Error: Illegal value \"2\" of the number of points in photoelectron angular distribution tables (it must be at "
       "least 3).\n"},
      {{"PE_ANGULAR_DISTR_THR -1"},
       "Error: Illegal threshold energy value of the photoelectron angular distribution (should be non-negative).\n"},
      {{"BREMS_ANGULAR_DISTR_DIR"},
       "Error: The name of the folder with bremsstrahlung angular distribution data is missing.\n"},
      {{"E_CONTIGUOUS"}, "Error: Contiguous energy values option is missing.\n"},
  };
  for (const CASE& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_TRUE(FailsWith(run, c.message)) << c.lines.back() << "\n" << run.console;
  }
}

TEST(SourceDirectives, SmallAngleMethodMessageListsTheFourMethods) {
  INPUTRUN run = RunLines({"ELASTIC_SMALL_ANGLE 4"});
  EXPECT_TRUE(FailsWith(run, "Error: Invalid specification \"4\" of the method of calculating the small-angle elastic scattering cross sections (corresponding to the scattering cosine from 0.999999 to 1). It must be 0, 1, 2 or 3:\n\n     0 - the ENDF/B"));
  EXPECT_NE(run.console.find("     3 - the large-angle cross sections"), std::string::npos);
}

TEST(SourceDirectives, DirGivenOnTheCommandLineWins) {
  INPUTRUN run = RunLines({"DIR /nowhere/at/all"}, {"dir", "$DIR"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_NE(run.console.find("Keyword \"DIR\" in the input file overridden by the corresponding command-line argument.\n"),
            std::string::npos);
}
