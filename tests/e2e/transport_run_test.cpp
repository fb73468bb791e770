// Complete runs of the built Trenqual checked against physics and against
// each other: the uncollided fraction of 662 keV photons behind 1 cm of lead
// against exp(-n sigma x) from the program's own photon cross sections, runs
// with 1 and 8 workers that agree within statistics, the backscatter
// coefficient of 1 MeV electrons on thick aluminium with the default physics,
// 1 MeV electrons on a thin aluminium layer compared with golden files, and
// the lead slab as cells of the complex geometry against the layer, and plane
// tallies split by origin that add up to the tally of every origin.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/task.h"
#include "tests/e2e/e2e_support.h"
#include "tests/e2e/tally_files.h"
#include "tests/support/test_paths.h"
#include "tests/transport/photon_fixture.h"

namespace {

namespace fs = std::filesystem;

constexpr double kSourceEnergyEv = 662e3;
constexpr double kLeadThicknessCm = 1.0;
constexpr double kHistories = 20000.0;  // N of lead_uncollided.txt and lead_coherent.txt

// The layer's atomic concentration as the set-up reports it, 1/cm^3.
double ReportedConcentration(const std::string& outputText) {
  const std::string label = "Atomic concentration =";
  const size_t at = outputText.find(label);
  return at == std::string::npos ? 0.0 : std::atof(outputText.c_str() + at + label.size());
}

// A run of the input (without ".txt") with one stream per worker.
PROGRAMRUN RunLead(const std::string& input, const std::string& scratch, const std::string& tasks) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder(scratch));
  return RunProgram(program, input + ".txt",
                    {"in", input + ".txt", "dir", EndfFolder(), "tasks", tasks, "nStreams", tasks, "seed", "7"});
}

std::string LeadTally(const PROGRAMRUN& run, const std::string& input, const char* quantity) {
  return ResultFolder(run, input + ".txt") + "PTALLY1_" + quantity + ".txt";
}

// The photon transport's own total cross section of lead at 662 keV per atom
// (cm^2), with or without coherent scattering.
double LeadTotalCrossSection(bool coherent) {
  PHOTONPROBLEM p;
  if (!LoadPhotonElements(p, {82}, {1.0})) return 0.0;
  SetPhotonRun(p, kSourceEnergyEv, kLeadThicknessCm, 1.0, 1);
  core::hostConstants.coh = coherent ? 1 : 0;
  CTask& task = *p.task;
  task.kind = kPhoton;
  task.E = kSourceEnergyEv;
  task.cell = &p.cell;
  task.material = &p.material;
  task.Sigma_phot();
  return task.phot.sigma_tot;
}

// The share of source photons that collided in the layer, from the run's
// statistics report.
double CollidedShare(const std::string& outputText) {
  const std::string label = "Number of source particles absorbed or scattered =";
  const size_t at = outputText.find(label);
  return at == std::string::npos ? -1.0 : std::atof(outputText.c_str() + at + label.size()) / kHistories;
}

double BinomialSDev(double p) { return std::sqrt(p * (1.0 - p) / kHistories); }

// Without coherent scattering the first THETA bin of a pencil beam holds the
// uncollided photons, attenuated as the published total without coherent
// scattering.
TEST(TransportRun, UncollidedFractionBehindLeadIsExponential) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN run = RunLead("lead_uncollided", "e2e-uncollided", "8");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const double n = ReportedConcentration(ReadText(run.folder + "lead_uncollided_out.txt"));
  EXPECT_NEAR(n, 11.35 / 207.2 * 6.02214076e23, 1e-3 * n);  // density / molar mass
  const double sigma = LeadTotalCrossSection(false);
  // Published total attenuation of lead at 662 keV without coherent
  // scattering, mu/rho about 0.106 cm^2/g.
  EXPECT_NEAR(n * sigma / 11.35, 0.106, 0.003);

  const std::vector<TALLYBIN> theta = ReadTallyBins(LeadTally(run, "lead_uncollided", "THETA"));
  ASSERT_EQ(theta.size(), 1u);
  const double measured = theta[0].count / kHistories;
  const double expected = std::exp(-n * sigma * kLeadThicknessCm);
  EXPECT_NEAR(measured, expected, 3.0 * BinomialSDev(expected)) << "sigma " << sigma << " cm^2, n " << n;
  // Every uncollided photon keeps the source energy (the file holds keV).
  EXPECT_NEAR(theta[0].flux, theta[0].count * kSourceEnergyEv / 1e3, 1e-6 * theta[0].flux);
}

// With coherent scattering the transport's collided share follows the total
// cross section, coherent included, and so does the narrow beam behind the
// layer: every coherent event deflects its photon out of the first THETA bin.
TEST(TransportRun, CollidedShareInLeadFollowsTheTotalCrossSection) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN run = RunLead("lead_coherent", "e2e-coherent", "8");
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string output = ReadText(run.folder + "lead_coherent_out.txt");
  const double n = ReportedConcentration(output);
  const double sigma = LeadTotalCrossSection(true);
  EXPECT_NEAR(n * sigma / 11.35, 0.110, 0.003);  // published mu/rho, coherent included
  const double uncollided = std::exp(-n * sigma * kLeadThicknessCm);
  EXPECT_NEAR(1.0 - CollidedShare(output), uncollided, 3.0 * BinomialSDev(uncollided));
  const std::vector<TALLYBIN> theta = ReadTallyBins(LeadTally(run, "lead_coherent", "THETA"));
  ASSERT_EQ(theta.size(), 1u);
  EXPECT_NEAR(theta[0].count / kHistories, uncollided, 3.0 * BinomialSDev(uncollided));
}

TEST(TransportRun, OneAndEightWorkersAgreeWithinStatistics) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN one = RunLead("lead_coherent", "e2e-coherent-1", "1");
  const PROGRAMRUN eight = RunLead("lead_coherent", "e2e-coherent-8", "8");
  ASSERT_EQ(one.exitCode, 0) << one.console;
  ASSERT_EQ(eight.exitCode, 0) << eight.console;
  const std::vector<TALLYBIN> a = ReadTallyBins(LeadTally(one, "lead_coherent", "E"));
  const std::vector<TALLYBIN> b = ReadTallyBins(LeadTally(eight, "lead_coherent", "E"));
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty());
  double sumA = 0.0, sumB = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double sdev = std::hypot(a[i].flux * a[i].relSDev, b[i].flux * b[i].relSDev);
    EXPECT_LE(std::fabs(a[i].flux - b[i].flux), 4.0 * sdev) << "bin " << i;
    sumA += a[i].flux;
    sumB += b[i].flux;
  }
  EXPECT_GT(sumA, 0.0);
  // One stream against eight: different histories, not copies.
  EXPECT_NE(sumA, sumB);
}

// The same slab as three cells of the complex geometry, run with another
// seed: every bin of the tally behind it agrees with the simple layer's within
// 4 standard deviations.
TEST(TransportRun, SlabOfCellsAgreesWithTheLayerWithinStatistics) {
  if (BuiltAuxDataFolder().empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN layer = RunLead("lead_coherent", "e2e-cells-layer", "2");
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-cells"));
  const PROGRAMRUN cells =
      RunProgram(program, "lead_cells.txt",
                 {"in", "lead_cells.txt", "dir", EndfFolder(), "tasks", "2", "nStreams", "2", "seed", "8"});
  ASSERT_EQ(layer.exitCode, 0) << layer.console;
  ASSERT_EQ(cells.exitCode, 0) << cells.console;
  const std::vector<TALLYBIN> a = ReadTallyBins(LeadTally(layer, "lead_coherent", "E"));
  const std::vector<TALLYBIN> b = ReadTallyBins(LeadTally(cells, "lead_cells", "E"));
  ASSERT_EQ(a.size(), b.size());
  ASSERT_FALSE(a.empty());
  double countA = 0.0, countB = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double sdev = std::hypot(a[i].flux * a[i].relSDev, b[i].flux * b[i].relSDev);
    EXPECT_LE(std::fabs(a[i].flux - b[i].flux), 4.0 * sdev + 1e-12) << "bin " << i;
    countA += a[i].count;
    countB += b[i].count;
  }
  EXPECT_GT(countA, 1000.0);
  EXPECT_LE(std::fabs(countA - countB), 4.0 * std::sqrt(countA + countB));
}

// Measured backscatter coefficients of 1 MeV electrons on aluminium lie near
// 0.1; the partial-wave elastic cross sections of the default physics must
// give 0.07 to 0.12 (the run is seeded: its result is fixed).
TEST(TransportRun, BackscatterCoefficientOfAluminiumAtOneMeVWithTheDefaultPhysics) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-backscatter"));
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN run = RunProgram(program, "aluminium_backscatter.txt",
                                    {"in", "aluminium_backscatter.txt", "dir", EndfFolder(), "tasks", "2",
                                     "nStreams", "2", "seed", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::vector<TALLYBIN> back =
      ReadTallyBins(run.folder + "Files_aluminium_backscatter_out.txt/ETALLY1_THETA.txt");
  ASSERT_EQ(back.size(), 1u);
  const double eta = back[0].count / 10000.0;  // N of the input
  RecordProperty("backscatter_coefficient", std::to_string(eta));
  EXPECT_GE(eta, 0.07);
  EXPECT_LE(eta, 0.12);
}

// A knock-on electron that takes over the primary's record starts where the
// primary was: a tally scoring knock-ons only must not count the primary's
// earlier crossings as the knock-on's. Every crossing belongs to exactly one
// of the knock-on tally and the tally of all other origins, so on each of the
// ten planes their net counts add up to the unrestricted tally's, bin by bin.
TEST(TransportRun, PlaneTalliesSplitByOriginAddUpToTheUnrestrictedTally) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-knock-on-origins"));
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  const std::string input = "aluminium_knock_on_origins.txt";
  const PROGRAMRUN run =
      RunProgram(program, input, {"in", input, "dir", EndfFolder(), "tasks", "2", "nStreams", "2", "seed", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string folder = ResultFolder(run, input);
  double crossingsAll = 0.0;
  for (int plane = 1; plane <= 10; ++plane) {
    char depth[16];
    std::snprintf(depth, sizeof depth, "%g", 0.01 * (plane - 1));
    auto bins = [&](int tally) {
      return ReadTallyBins(folder + "ETALLY" + std::to_string(tally) + "_" + std::to_string(plane) + "(" + depth +
                           ")_E.txt");
    };
    const std::vector<TALLYBIN> knockOn = bins(1), others = bins(2), all = bins(3);
    ASSERT_EQ(all.size(), 20u) << "plane " << plane;
    ASSERT_EQ(knockOn.size(), all.size());
    ASSERT_EQ(others.size(), all.size());
    for (size_t b = 0; b < all.size(); ++b) {
      EXPECT_EQ(knockOn[b].count + others[b].count, all[b].count) << "plane " << plane << " bin " << b;
    }
    crossingsAll += TotalCount(all);
  }
  EXPECT_GT(crossingsAll, 1000.0);  // most of the 300 electrons cross most planes
}

TEST(TransportRun, ElectronsOnAluminiumMatchTheGoldenFiles) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-aluminium-electrons"));
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  const PROGRAMRUN run = RunProgram(program, "aluminium_electrons.txt",
                                    {"in", "aluminium_electrons.txt", "dir", EndfFolder(), "tasks", "2", "nStreams",
                                     "2", "seed", "3"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  EXPECT_EQ(CompareWithGolden(MaskVolatileLines(WithoutProgressLines(run.console)),
                              "aluminium_electrons_console.txt"),
            "");
  const std::string folder = run.folder + "Files_aluminium_electrons_out.txt/";
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    files[name] = ReadText(e.path().string());
  }
  const char* const expected[] = {"ETALLY1_E.txt", "ETALLY1_THETA.txt", "TALLY2_E_THETA.txt",
                                  "aluminium_electrons_out.txt"};
  EXPECT_EQ(files.size(), std::size(expected));
  for (const char* name : expected) {
    ASSERT_TRUE(files.count(name) != 0) << name;
    const bool output = std::string(name) == "aluminium_electrons_out.txt";
    EXPECT_EQ(CompareWithGolden(output ? MaskEndfFolder(files.at(name)) : files.at(name),
                                std::string("aluminium_electrons_files/") + name),
              "")
        << name;
  }
}

}  // namespace
