// The checks after the input: the first block, the unit conversion and the
// second block, with the device enumeration of Trenqual_CUDA on a machine
// without devices.
#include <gtest/gtest.h>

#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/setup/input_checks.h"
#include "tests/directives/directive_test_support.h"

namespace {

// A valid layer problem; extra lines come first.
std::vector<std::string> Layer(std::vector<std::string> extra, const char* energyMeV = "1") {
  std::vector<std::string> lines = {"MAT 13 1", "CONC 2.699", "THICK 0.2", "BEAM 0 0 -1 0 0 1", "N 1000", energyMeV};
  extra.insert(extra.end(), lines.begin(), lines.end());
  return extra;
}

struct CHECKRUN {
  int code;
  std::string console;
};

// The passes, then the first block and (when it passes) the second.
CHECKRUN RunChecks(const std::vector<std::string>& lines, const std::vector<std::string>& args = {}) {
  INPUTRUN run = RunLines(lines, args);
  EXPECT_EQ(run.code, 0) << run.console;
  testing::internal::CaptureStdout();
  int code = CheckInputConsistency();
  if (code == 0) code = CheckAfterGeometrySetup();
  fflush(stdout);
  return CHECKRUN{code, testing::internal::GetCapturedStdout()};
}

bool ChecksFailWith(const std::vector<std::string>& lines, const std::string& message,
                    const std::vector<std::string>& args = {}) {
  CHECKRUN run = RunChecks(lines, args);
  const bool ok = run.code == 1 && run.console.find(message) != std::string::npos;
  if (!ok) ADD_FAILURE() << message << " not in:\n" << run.console;
  return ok;
}

}  // namespace

TEST(InputChecks, ValidLayerProblemPasses) {
  CHECKRUN run = RunChecks(Layer({}));
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::sourceSpectrum.nEnerg, 1);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.energy[0], 1e6);  // MeV to eV
  EXPECT_EQ(input::runOptions.nStreams, 64);
  EXPECT_EQ(directives::transportOptions.elastic, 1);  // follows TRACKPOS
  EXPECT_EQ(directives::transportOptions.coh, 1);      // electrons with photon tracking
  EXPECT_EQ(directives::transportOptions.trackKnockOnElectrons, 1);
  EXPECT_EQ(directives::transportOptions.smoothCDF_elastic, 1);  // DPW elastic cross sections on
  EXPECT_EQ(directives::physicsModels.nonIsotropicBrems, 1);
  EXPECT_EQ(directives::physicsModels.usePPangularDistr, 0);  // 1 MeV is below the pair threshold
}

TEST(InputChecks, FirstBlockMessages) {
  ChecksFailWith({"CONC 1", "N 10", "1"}, "Error: Specification of the material is missing.\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "THICK 1", "1"}, "Error: The number of particles is zero.\n");
  ChecksFailWith({"MAT 13 1", "THICK 1", "N 10", "1"}, "Error: Concentration value is zero.\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "N 10", "1"}, "Error: Thickness value is zero.\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "N 10", "PART P", "TRACKPOS 0", "1"}, "Error: Thickness value is zero.\n");
  ChecksFailWith({"M1 13 1", "N 10", "TRACKPOS 0", "1"}, "Error: Option \"TRACKPOS 0\" is not allowed in complex geometry mode.\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "THICK 1", "N 10"}, "Error: The source energy spectrum is not defined.\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "THICK 1", "N 10", "1 2 0"},
                 "Error: Energy spectrum weight value corresponding to the last energy bin is missing.\n");
}

TEST(InputChecks, ZeroThicknessIsAcceptedForElectronsWithoutCoordinateTracking) {
  CHECKRUN run = RunChecks({"MAT 13 1", "CONC 1", "N 10", "TRACKPOS 0", "1"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::transportOptions.elastic, 0);
  EXPECT_EQ(directives::transportOptions.coh, 0);
}

TEST(InputChecks, ElasticPdfErrorFollowsTheDpwSwitch) {
  ASSERT_EQ(RunChecks(Layer({"ELASTIC_PDF_ERROR -0.05"})).code, 0);
  EXPECT_DOUBLE_EQ(directives::transportOptions.elasticPDFError, 0.05);
  ASSERT_EQ(RunChecks(Layer({"ELASTIC_PDF_ERROR -0.05", "ELASTIC_DPW 0"})).code, 0);
  EXPECT_EQ(directives::transportOptions.elasticPDFError, 0.0);
  EXPECT_EQ(directives::transportOptions.smoothCDF_elastic, 0);
}

TEST(InputChecks, EnergyRules) {
  ASSERT_EQ(RunChecks(Layer({"PART E+"}, "0.1")).code, 0);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.highestSourceEnergy, input::physicalConstants.restEn);
  ChecksFailWith(Layer({}, "2000"),
                 "When Dirac partial-wave elastic scattering cross sections are used, the maximum particle energy cannot exceed 1 GeV.\n");
  EXPECT_EQ(RunChecks(Layer({"ELASTIC 0"}, "2000")).code, 0);
  ChecksFailWith(Layer({"ELASTIC_DPW 0"}, "1e5"), "The maximum particle energy must be less than 100 GeV.\n");
  ChecksFailWith(Layer({"ELASTIC 1", "TRACKPOS 0"}), "When particle coordinate tracking is off, elastic scattering of electrons must also be off.\n");
  ChecksFailWith(Layer({"COH 1", "TRACKPOS 0", "ELASTIC 0"}),
                 "When particle coordinate tracking is off and source particles are not photons, coherent scattering of photons must also be off.\n");
}

TEST(InputChecks, TrackingSwitches) {
  EXPECT_EQ(RunChecks(Layer({"TRACK_E 0"})).code, 0);
  EXPECT_EQ(directives::transportOptions.trackKnockOnElectrons, 0);
  ChecksFailWith(Layer({"TRACK_E 0", "TRACK_K 1"}), "When secondary electron tracking is off, knock-on electron tracking must also be off.\n");
  ChecksFailWith(Layer({"TRACK_E 0", "TRACK_P_E 1"}),
                 "When secondary electron tracking is off, photon-produced electron tracking must also be off.\n");
  ChecksFailWith(Layer({"TRACK_P 0", "TRACK_X 1"}), "When secondary photon tracking is off, X-ray photon tracking must also be off.\n");
  ChecksFailWith(Layer({"FORCE_EXC13 1", "TRACK_E 0"}), "When interaction forcing is on, secondary electron tracking must also be on.\n");
  CHECKRUN run = RunChecks(Layer({"NTRACKS 5", "FORCE_BREMS 1"}));
  EXPECT_EQ(run.code, 0);
  EXPECT_NE(run.console.find("Warning: Particle tracks cannot be calculated when interaction forcing is used.\n"), std::string::npos);
  EXPECT_EQ(directives::transportOptions.nTracks, 0);
}

TEST(InputChecks, UnitConversionOfTalliesAndCutoffs) {
  CHECKRUN run = RunChecks(Layer({"E_UNIT keV", "CUT_E 1", "E 0 1000 10", "THETA 0 90 9", "TALLY 0 0 0 0 0 1 E LIM THETA 0 45",
                                  "PULSE_HEIGHT 0 500 10"}));
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_DOUBLE_EQ(directives::transportOptions.cutE, 1000.0);
  EXPECT_EQ(directives::transportOptions.cutP, 10.0);  // default, already in eV
  EXPECT_DOUBLE_EQ(directives::rangeData[kQuantityE][0].upper, 1e6);
  EXPECT_DOUBLE_EQ(directives::rangeData[kQuantityE][0].invWidth, 1e-5);
  EXPECT_DOUBLE_EQ(directives::rangeData[kQuantityTheta][0].upper, 3.141592653589793 / 2);
  EXPECT_DOUBLE_EQ(directives::tallyData[kAllParticleTallies][0].limHigh[kQuantityTheta], 3.141592653589793 / 4);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.energy[0], 1000.0);  // "1" keV
}

#if !TQ_GPU_BUILD
TEST(InputChecks, StreamRulesOfTheCpuBuild) {
  ChecksFailWith(Layer({"TASKS 4", "NSTREAMS 2"}), "Error: Number of threads exceeds the number of streams of random numbers (4 > 2).\n");
  ChecksFailWith({"MAT 13 1", "CONC 1", "THICK 1", "N 100000", "NSTREAMS 70000", "1"},
                 "Error: The number of streams of random numbers cannot be greater than 65536.\n");
  CHECKRUN run = RunChecks({"MAT 13 1", "CONC 1", "THICK 1", "N 3", "TASKS 8", "1"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(input::runOptions.nThreads, 3);
  EXPECT_EQ(input::runOptions.nStreams, 3);
}
#else
TEST(InputChecks, NoDeviceIsReportedCleanly) {
  CHECKRUN run = RunChecks(Layer({}), {"tasks_CUDA", "1", "first_CUDA", "1", "last_CUDA", "1"});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.console.find("No CUDA devices found.\n"), std::string::npos) << run.console;
  EXPECT_NE(run.console.find("Since no CUDA devices were found, the range of emulated CUDA devices must coincide with the range of all used CUDA devices.\n"),
            std::string::npos);
  EXPECT_NE(run.console.find("Warning: CUDA random number generator type 2 cannot be used"), std::string::npos);
}

TEST(InputChecks, AllEmulatedDevicesWithoutHardware) {
  CHECKRUN run = RunChecks(Layer({}), {"tasks_CUDA", "1", "emulate_CUDA", "1", "first_CUDA", "1", "last_CUDA", "2"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_TRUE(setup::deviceSelection.allEmulated);
  EXPECT_EQ(setup::deviceSelection.nUsed, 2);
  EXPECT_EQ(input::runOptions.balance_CUDA, 0);
}

TEST(InputChecks, ThreadsMustBeAMultipleOfTheBlockSize) {
  ChecksFailWith(Layer({}), "Error: The number of GPU threads (100) is not a multiple of the block size for CUDA kernel execution (8).\n",
                 {"threads_CUDA", "100"});
}
#endif
