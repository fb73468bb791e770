// The set-up after the input on whole problems: the source checks of the
// layer, the auxiliary files that the default physics needs, and complete
// set-ups on ENDF/B data with the layer report, the material tables checked
// against the element cross sections and the cross-section files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/material_tables.h"
#include "driver/data/load_steps.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/directives/transport_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/setup/input_checks.h"
#include "driver/setup/material_table_builder.h"
#include "driver/setup/setup.h"
#include "driver/setup/setup_reports.h"
#include "tests/driver/input_test_support.h"
#include "tests/support/aux_fixture.h"
#include "tests/support/brems_fixture.h"
#include "tests/support/test_paths.h"

namespace {

// Physics that needs no auxiliary file but the Compton profiles.
const char* const kNoAuxFiles = "BREMS_ANGULAR_DISTR 0\nION_DWBA 0\nELASTIC_DPW 0\n";

// The GPU build warns about its generator type before the checks; the
// messages under test follow it.
std::string WithoutGeneratorWarning(std::string console) {
  const std::string warning = "Warning: CUDA random number generator type 2 cannot be used";
  const size_t at = console.find(warning);
  if (at != std::string::npos) console.erase(at, console.find('\n', at) + 1 - at);
  return console;
}

struct SETUPRUN {
  int code = -1;
  std::string console;
  std::string outputText;
  std::string folder;
};

// A data folder holding the real Compton-profile table.
std::string DataFolderWithComptonProfiles() {
  const std::string folder = MakeScratchFolder("setup_data");
  std::ifstream in(SharedDataFolder() + "aux/ComptonProfiles.dat", std::ios::binary);
  std::ofstream out(folder + "ComptonProfiles.dat", std::ios::binary);
  out << in.rdbuf();
  return folder;
}

// Synthetic auxiliary files for carbon in the data folder: the binary
// bremsstrahlung file matching carbon's photon spectra, a DWBA record, and
// partial-wave files of two points and two distributions.
void WriteCarbonAuxiliaryFiles(const std::string& folder) {
  std::unique_ptr<ElemStaging> spectra(new ElemStaging());
  spectra->Z = 6;
  ELEMENTLOADOPTIONS plain;
  plain.endfFolder = EndfFolder();
  plain.dataFolder = folder;
  plain.elasticDpw = 0;
  ASSERT_EQ(ReadElectroAtomicFile(plain, spectra.get()), 0);
  std::vector<double> energies;
  std::vector<std::vector<double>> photons;
  for (int e = 0; e < spectra->bremsSpecNE; ++e) {
    energies.push_back(spectra->bremsSpecEnergy[e]);
    photons.emplace_back(spectra->bremsSpecX[e], spectra->bremsSpecX[e] + spectra->bremsSpecN[e]);
  }
  FreeElementTables(spectra.get());
  BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({}, 2, 2, 2);
  fixture.elements[5] = MakeBremsElementRecord(energies, photons, 9);
  ASSERT_TRUE(WriteBremsAngularFile(folder + "Brems_angular_prob_dens.dat", fixture));
  ASSERT_TRUE(WriteTextFile(folder + "IonDWBA.dat",
                            IonDwbaFileBytes({{6, {{1, -1, {{300, 1e4, 2e4}, {1e4, 2e5, 3e5}, {1e11, 1e5, 1e5}}}}}})));
  ASSERT_TRUE(WriteTextFile(folder + "ElasticDPW_totalCS.dat", DpwTotalFileBytes({})));
  ASSERT_TRUE(WriteTextFile(folder + "ElasticDPW_angularDistr.dat", DpwAngularFileBytes({-1.0, 0.0, 1.0}, {})));
}

// Reads the input, then runs the whole set-up on the ENDF/B library with the
// output file open as the run leaves it.
SETUPRUN RunWholeSetUp(const std::string& input, std::vector<std::string> args = {},
                       bool carbonAuxiliaryFiles = false) {
  args.insert(args.end(), {"dir", EndfFolder()});
  INPUTRUN read = RunInput(input, args);
  SETUPRUN run;
  run.folder = read.folder;
  if (read.code != 0) {
    run.code = read.code;
    run.console = read.console;
    return run;
  }
  input::dataFolder = DataFolderWithComptonProfiles();
  if (carbonAuxiliaryFiles) WriteCarbonAuxiliaryFiles(input::dataFolder);
  input::outputFile = std::fopen(input::outputFileName.c_str(), "a");
  testing::internal::CaptureStdout();
  run.code = RunSetUp();
  run.console = WithoutGeneratorWarning(testing::internal::GetCapturedStdout());
  std::fclose(input::outputFile);
  input::outputFile = nullptr;
  run.outputText = ReadWholeFile(input::outputFileName);
  return run;
}

struct SETUPTEST : testing::Test {
  void TearDown() override { ReleaseSetUp(); }
};

// The checks after the input and the source checks, without element data.
int SourceChecks(const std::string& input, std::string* console) {
  INPUTRUN read = RunInput(input);
  EXPECT_EQ(read.code, 0) << read.console;
  testing::internal::CaptureStdout();
  int code = CheckInputConsistency();
  if (code == 0) code = CheckAfterGeometrySetup();
  if (code == 0) code = CheckSourceAgainstLayer();
  *console = WithoutGeneratorWarning(testing::internal::GetCapturedStdout());
  return code;
}

std::string Layer(const std::string& beam, const std::string& extra = "") {
  return "MAT \"m\" 13 1\nCONC 6e22\nTHICK 0.2\nSurface 0 0 0 0 0 1\nBEAM " + beam + "\nN 1000\n" + extra;
}

// ---- Source checks ---------------------------------------------------------------------------

TEST(SourceChecks, BeamEntersTheLayerOrStops) {
  struct CASE {
    const char* beam;
    const char* part;
    double entryZ;  // NAN: "does not hit"
  };
  const CASE cases[] = {
      {"0 0 -1 0 0 1", "E", 0.0},       // in front, towards the layer
      {"0 0 0.1 0 0 -1", "E", 0.1},     // inside: enters where it starts
      {"0 0 0 0 0 1", "E", 0.0},        // on the front plane, inwards
      {"0 0 0 0 0 -1", "E", NAN},       // on the front plane, outwards
      {"0 0 0.2 0 0 1", "P", NAN},      // on the back plane, outwards
      {"0 0 2 0 0 -1", "E", 0.2},       // behind, back towards the layer
      {"0 0 -1 0 0 -1", "E", NAN},      // in front, away
      {"0 0 -1 1 0 1", "E", 0.0},       // oblique
  };
  for (const CASE& c : cases) {
    std::string console;
    const int code = SourceChecks(Layer(c.beam, std::string("PART ") + c.part + "\n1\n"), &console);
    if (std::isnan(c.entryZ)) {
      EXPECT_EQ(code, 1) << c.beam;
      EXPECT_EQ(console, "Error: The incident beam does not hit the layer.\n") << c.beam;
      continue;
    }
    ASSERT_EQ(code, 0) << c.beam << console;
    EXPECT_DOUBLE_EQ(setup::sourceEntry.entry_Z, c.entryZ) << c.beam;
  }
  std::string console;
  ASSERT_EQ(SourceChecks(Layer("0 0 -1 1 0 1", "1\n"), &console), 0);
  EXPECT_DOUBLE_EQ(setup::sourceEntry.entry_X, 1.0);
  EXPECT_NEAR(setup::sourceEntry.incidentDotProduct, std::sqrt(0.5), 1e-15);
}

TEST(SourceChecks, SpectrumIsCutAtTheCutoff) {
  const std::string spectrum = "0.0005 0.001 0.002 0.003\n0 1 1 1\n";
  struct CASE {
    const char* cut;
    int64_t histories;  // 0: error
    std::vector<double> energies;
    std::vector<double> cumulative;
  };
  const CASE cases[] = {
      {"0.001", 667, {1000, 2000, 3000}, {0, 0.5, 1}},               // at a point: no split
      {"0.0015", 500, {1500, 2000, 3000}, {0, 1.0 / 3, 1}},          // a bin split
      {"0.0005", 1000, {500, 1000, 2000, 3000}, {0, 1.0 / 3, 2.0 / 3, 1}},  // nothing below
      {"0.003", 0, {}, {}},                                          // all below
  };
  for (const CASE& c : cases) {
    std::string console;
    const int code = SourceChecks(Layer("0 0 -1 0 0 1", std::string("CUT_E ") + c.cut + "\n" + spectrum), &console);
    if (c.histories == 0) {
      EXPECT_EQ(code, 1);
      EXPECT_EQ(console, "Error: source energy is below cutoff energy.\n");
      continue;
    }
    ASSERT_EQ(code, 0) << c.cut << console;
    EXPECT_EQ(input::runOptions.nParticles, c.histories) << c.cut;
    ASSERT_EQ(directives::sourceSpectrum.nEnerg, static_cast<int>(c.energies.size())) << c.cut;
    for (size_t i = 0; i < c.energies.size(); ++i) {
      EXPECT_NEAR(directives::sourceSpectrum.energy[i], c.energies[i], 1e-9) << c.cut;
      EXPECT_NEAR(directives::sourceSpectrum.cumulativeWeight[i], c.cumulative[i], 1e-12) << c.cut;
    }
    if (c.histories != 1000) {
      EXPECT_EQ(console, "A part of the source energy spectrum is below the cutoff energy.\n\tThe number of source "
                         "particles has been adjusted accordingly. The new number of particles is " +
                             std::to_string(c.histories) + ".\n");
    }
  }
  // Fewer than half a history left.
  std::string console;
  EXPECT_EQ(SourceChecks("MAT \"m\" 13 1\nCONC 6e22\nTHICK 0.2\nN 1\nCUT_E 0.0024\n" + spectrum, &console), 1);
  EXPECT_EQ(console, "Error: source energy is below cutoff energy.\n");
}

TEST(SourceChecks, PositronRowsWhenPositronsCanExistAndAModelNeedsThem) {
  struct CASE {
    const char* extra;
    int rows;
  };
  const CASE cases[] = {
      {"PART E\n1\n", 0},                 // 1 MeV electrons make no pairs
      {"PART E\n2\n", 1},                 // 2 MeV electrons can
      {"PART E+\n0.1\n", 1},              // a positron source
      {"PART E+\n0.1\nBREMS_POSITRON_CORRECTION 0\nION_DWBA 0\nELASTIC_DPW 0\n", 0},
      {"PART E\n2\nBREMS_POSITRON_CORRECTION 0\nION_DWBA 0\n", 1},
  };
  for (const CASE& c : cases) {
    std::string console;
    ASSERT_EQ(SourceChecks(Layer("0 0 -1 0 0 1", c.extra), &console), 0) << c.extra << console;
    EXPECT_EQ(setup::useDifferentCSforPositrons, c.rows) << c.extra;
  }
}

TEST(SourceChecks, WithoutCoordinateTrackingThePositionTalliesGo) {
  std::string console;
  ASSERT_EQ(SourceChecks(Layer("0 0 -1 0 0 1", "TRACKPOS 0\nELASTIC 0\nCOH 0\n1\nE 0 1 10\nTALLY1 0 0 0.1 0 0 1 E\n"
                                                "PULSE_HEIGHT 0 1 10\n"),
                         &console),
            0)
      << console;
  EXPECT_EQ(directives::nPlaneTalliesTot[2], 0);
  EXPECT_EQ(directives::nControlTallies, 0);
}

// ---- Whole set-ups ---------------------------------------------------------------------------

using WholeSetUp = SETUPTEST;

TEST_F(WholeSetUp, EachMissingAuxiliaryFileIsNamed) {
  struct CASE {
    const char* physics;
    const char* file;
  };
  const CASE cases[] = {
      {"", "Brems_angular_prob_dens.dat"},
      {"BREMS_ANGULAR_DISTR 0\n", "IonDWBA.dat"},
      {"BREMS_ANGULAR_DISTR 0\nION_DWBA 0\n", "ElasticDPW_totalCS.dat"},
  };
  for (const CASE& c : cases) {
    SETUPRUN run = RunWholeSetUp(Layer("0 0 -1 0 0 1", std::string(c.physics) + "1\n"));
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.console, "File " + input::dataFolder + c.file + " could not be opened for reading.\n");
    ReleaseSetUp();
  }
}

TEST_F(WholeSetUp, DefaultPhysicsCompletesWithTheAuxiliaryFiles) {
  SETUPRUN run = RunWholeSetUp("MAT \"c\" 6 1\nCONC 1e23\nTHICK 0.2\nBEAM 0 0 -1 0 0 1\nN 1000\nPART E+\n1\n", {}, true);
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(setup::useDifferentCSforPositrons, 1);
  const MATERIAL& m = directives::materials[0];
  ASSERT_GT(m.nElectronEnergies, 2);
  // The positron rows carry the DWBA ionization of the first subshell.
  const int k = 2;  // entries: bremsstrahlung, excitation, subshell 1, ...
  ASSERT_EQ(m.entrySection[k], 3);
  const double* electron = ElectronSigmaRow(m, k, false);
  const double* positron = ElectronSigmaRow(m, k, true);
  bool differ = false;
  for (int i = 0; i < m.nElectronEnergies; ++i) differ = differ || electron[i] != positron[i];
  EXPECT_TRUE(differ);
  EXPECT_NE(core::elementArray[0].bremsAngN, nullptr);
}

// The own cross section (barn) of element g, section s, by the element's table.
double ElementValue(const Elem& el, int s, double e) {
  const int n = el.sectionN[s];
  if (n < 2 || e < el.sectionEnergy[s][0] || e > el.sectionEnergy[s][n - 1]) return 0.0;
  int i = 0;
  while (i + 2 < n && el.sectionEnergy[s][i + 1] <= e) ++i;
  return el.sectionCs[s][i] + (e - el.sectionEnergy[s][i]) * el.sectionSlope[s][i];
}

TEST_F(WholeSetUp, WaterLayerWithMassFractions) {
  SETUPRUN run = RunWholeSetUp(std::string(kNoAuxFiles) + "MAT \"water\" 1 -0.111894 8 -0.888106\nCONC -1\nTHICK 0.1\n"
                                                  "BEAM 0 0 -1 0 0 1\nN 100\nCUT_E 0.001\n1\n");
  ASSERT_EQ(run.code, 0) << run.console;
  // Water: 3 atoms per molecule of 18.015 g/mol.
  const double expected = 3.0 * 6.02214e23 / 18.0153;
  EXPECT_NEAR(directives::layer.concentration / expected, 1.0, 1e-3);
  EXPECT_NEAR(directives::materials[0].fraction[0], 2.0 / 3.0, 1e-4);
  char lines[128];
  std::snprintf(lines, sizeof lines, "\nAtomic concentration = %15.7e 1/cm^3\nDensity = %15.7e g/cm^3\n\n",
                directives::layer.concentration, 1.0);
  EXPECT_NE(run.outputText.find(lines), std::string::npos) << run.outputText;
  const MATERIAL& m = directives::materials[0];
  char summary[128];
  std::snprintf(summary, sizeof summary, "\nElectron cross section table contains data for %d energy values.\n",
                m.nElectronEnergies);
  EXPECT_NE(run.console.find(summary), std::string::npos) << run.console;

  // The Constants record points at the tables of the set-up.
  EXPECT_EQ(core::hostConstants.material, directives::materials.data());
  EXPECT_EQ(core::hostConstants.density, 1.0);
  EXPECT_EQ(core::hostConstants.nElem_tot, 2);
  EXPECT_EQ(core::hostConstants.trackPos, 1);
  EXPECT_EQ(core::hostConstants.entry_Z, 0.0);

  // Every entry's own cross section at random energies against its element.
  std::mt19937_64 random(20240611);
  std::uniform_real_distribution<double> logEnergy(std::log(1000.0), std::log(1e6));
  const double sigmaErr = directives::transportOptions.sigmaErr;
  for (int trial = 0; trial < 2000; ++trial) {
    const double e = std::exp(logEnergy(random));
    int i = 0;
    while (i + 2 < m.nElectronEnergies && m.electronEnergy[i + 1] <= e) ++i;
    double previous = 0.0;
    for (int k = 0; k < m.nElectronEntries; ++k) {
      const double cumulative = ElectronSigmaAt(m, k, false, i, e);
      const int g = m.entryElement[k];
      const double reference = m.fraction[g] * 1e-24 * ElementValue(core::elementArray[g], m.entrySection[k], e);
      const double own = cumulative - previous;
      previous = cumulative;
      if (reference == 0.0) {
        EXPECT_LE(std::fabs(own), 1e-30) << e << " entry " << k;
      } else {
        EXPECT_LT(std::fabs(own / reference - 1.0), sigmaErr * (1.0 + 1e-6)) << e << " entry " << k;
      }
    }
  }
}

TEST_F(WholeSetUp, CrossSectionFilesHoldTheElementTables) {
  SETUPRUN run = RunWholeSetUp(std::string(kNoAuxFiles) + "MAT \"m\" 6 1 29 1\nCONC 1e22\nTHICK 0.1\nBEAM 0 0 -1 0 0 1\nN 100\n"
                                                  "CUT_E 0.01\n0.5\n",
                       {"output_cs", "1"});
  ASSERT_EQ(run.code, 0) << run.console;
  for (const char* name : {"Cross sections/06-C/C_sigma.txt", "Cross sections/29-Cu/Cu_sigma.txt"}) {
    std::ifstream file(name);
    ASSERT_TRUE(file.good()) << name;
    std::string header;
    std::getline(file, header);
    EXPECT_EQ(header, "            E\t        elast\t        brems\t          exc\t       ionTot\t         inel\t        total");
    double e, elast, brems, exc, ion, inel, total;
    int rows = 0;
    double firstE = 0.0, lastE = 0.0;
    while (file >> e >> elast >> brems >> exc >> ion >> inel >> total) {
      if (rows++ == 0) firstE = e;
      lastE = e;
      EXPECT_NEAR(inel, brems + exc + ion, 1e-5 * inel) << name << " " << e;
      EXPECT_NEAR(total, inel + elast, 1e-5 * total) << name << " " << e;
      EXPECT_GT(elast, 0.0);
    }
    EXPECT_GT(rows, 10) << name;
    EXPECT_LE(firstE, 1e4);  // from the last point at or below Emin
    EXPECT_GE(lastE, 5e5);   // through the first at or above Emax
    // The element files of the loader sit beside it.
    std::string folder = name;
    folder.resize(folder.rfind('/') + 1);
    EXPECT_TRUE(std::ifstream(folder + (name[15] == '0' ? "C" : "Cu") + "_exc_E_loss.txt").good()) << folder;
  }
}

}  // namespace
