// A complex-geometry run whose absorbed dose is known: 100 keV electrons start
// at the centre of an aluminium sphere of radius 0.25 cm (their CSDA range is
// 0.007 cm) inside a void box, and stop in it. The sphere keeps the whole
// source energy but what its bremsstrahlung photons carry out, at most the
// radiation yield (ESTAR), so its dose is N E0 / (rho 4/3 pi r^3) within the
// standard deviation of the estimated volume and that yield. The cell activity
// table of the output file, the sphere's pulse-height file and the whole
// geometry's (the void box has no mass) must all give it; the set-up table's
// total mass is the sum of rho V over the cells. Golden files guard the
// formats.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/e2e_support.h"
#include "tests/support/reference_data.h"
#include "tests/support/test_paths.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kJoulePerEV = 1.602176462e-19;  // the program's elementary charge
constexpr double kRadiusCm = 0.25;
constexpr double kDensity = 2.699;         // g/cm^3
constexpr double kSourceEnergyEV = 100e3;  // the input's energy line, keV
constexpr double kHistories = 400.0;       // N of the input
constexpr double kKeV = 1e3;               // eV per keV (E_UNIT keV)

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// The lines that follow the line holding title, up to the next empty line
// (the table's header first).
std::vector<std::string> TableAfter(const std::string& text, const std::string& title) {
  std::vector<std::string> rows;
  size_t at = text.find(title);
  if (at == std::string::npos) return rows;
  std::istringstream lines(text.substr(at));
  std::string line;
  std::getline(lines, line);  // the title
  std::getline(lines, line);  // the empty line under it
  while (std::getline(lines, line) && !line.empty()) rows.push_back(line);
  return rows;
}

// Columns of a tab-separated result file, the header line left out.
std::vector<std::vector<double>> Columns(const std::string& text) {
  std::vector<std::vector<double>> rows;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::vector<double> row;
    for (const std::string& w : Words(line)) row.push_back(std::stod(w));
    rows.push_back(row);
  }
  return rows;
}

std::string HeaderOf(const std::string& text) { return text.substr(0, text.find('\n')); }

TEST(DoseRun, AbsorbedDoseOfASphereThatStopsEveryElectron) {
  const std::string program = InstallProgramWithAuxData(MakeScratchFolder("e2e-dose"));
  if (program.empty()) GTEST_SKIP() << kAuxDataMissing;
  const std::vector<ESTARROW> estar = ReadEstar("Al");
  const ESTARROW* row100keV = EstarRowAt(estar, 0.1);
  ASSERT_NE(row100keV, nullptr) << "ESTAR reference data missing";
  ASSERT_LT(row100keV->csdaRange / kDensity, 0.05 * kRadiusCm);  // no electron reaches the surface

  const PROGRAMRUN run =
      RunProgram(program, "aluminium_sphere_dose.txt",
                 {"in", "aluminium_sphere_dose.txt", "dir", EndfFolder(), "tasks", "2", "nStreams", "4", "seed", "5"});
  ASSERT_EQ(run.exitCode, 0) << run.console;
  const std::string output = MaskEndfFolder(ReadText(run.folder + "aluminium_sphere_dose_out.txt"));
  EXPECT_EQ(CompareWithGolden(output, "aluminium_sphere_dose_out.txt"), "");
  const std::string files = run.folder + "Files_aluminium_sphere_dose_out.txt/";
  const std::string sphereFile = ReadText(files + "PulseHeight_C1.txt");
  const std::string wholeFile = ReadText(files + "PulseHeight.txt");
  EXPECT_EQ(CompareWithGolden(sphereFile, "aluminium_sphere_dose_files/PulseHeight_C1.txt"), "");
  EXPECT_EQ(CompareWithGolden(wholeFile, "aluminium_sphere_dose_files/PulseHeight.txt"), "");

  // Set-up table: the sphere's estimated volume against 4/3 pi r^3, and the
  // total mass against the sum of rho V of the rows.
  const std::vector<std::string> cells = TableAfter(output, "Cell materials, volumes and masses");
  ASSERT_EQ(cells.size(), 4u) << output;  // header, the sphere, the box, the total
  const std::vector<std::string> sphere = Words(cells[1]), box = Words(cells[2]), total = Words(cells[3]);
  ASSERT_EQ(sphere.size(), 11u);
  ASSERT_EQ(box.size(), 11u);
  ASSERT_EQ(total.size(), 9u);
  const double exactVolume = 4.0 / 3.0 * kPi * std::pow(kRadiusCm, 3);
  const double volume = std::stod(sphere[5]), volumeSigma = std::stod(sphere[6]);
  EXPECT_GT(volumeSigma, 0.0);
  EXPECT_LT(std::fabs(volume - exactVolume), 4.0 * volumeSigma) << volume << " " << exactVolume;
  const double massSum = std::stod(sphere[4]) * volume + std::stod(box[4]) * std::stod(box[5]);
  EXPECT_NEAR(std::stod(total[6]), massSum, 1e-6 * massSum);
  EXPECT_NEAR(std::stod(sphere[8]), kDensity * volume, 1e-6 * kDensity * volume);

  // The sphere's deposits, history by history, from its pulse-height file:
  // their sum and the standard deviation of their mean.
  const std::vector<std::vector<double>> sphereRows = Columns(sphereFile);
  ASSERT_EQ(HeaderOf(sphereFile), "E\tN\tE_absorbed\tdose\tRelSDev");
  double n = 0.0, deposit = 0.0, dose = 0.0;
  for (const std::vector<double>& r : sphereRows) {
    ASSERT_EQ(r.size(), 5u);
    n += r[1];
    deposit += r[2] * kKeV;
    dose += r[3];
  }
  ASSERT_GT(n, 0.0);
  double spread = 0.0;  // sum of n (bin mean - mean)^2
  for (const std::vector<double>& r : sphereRows) {
    if (r[1] > 0.0) spread += r[1] * std::pow(r[2] * kKeV / r[1] - deposit / n, 2);
  }
  const double depositRelSigma = std::sqrt(spread / (n * (n - 1.0))) / (deposit / n);

  // Physics: N E0 (1 - yield) <= deposit <= N E0, spread by the volume's and
  // the deposit's standard deviations, over the sphere's exact mass.
  const double doseOfAllEnergy = kHistories * kSourceEnergyEV * kJoulePerEV * 1000.0 / (kDensity * exactVolume);
  const double relSigma = std::hypot(volumeSigma / volume, depositRelSigma);
  EXPECT_GE(dose, doseOfAllEnergy * (1.0 - row100keV->radiationYield - 3.0 * relSigma)) << dose;
  EXPECT_LE(dose, doseOfAllEnergy * (1.0 + 3.0 * relSigma)) << dose;
  // The dose column is the deposit over the cell's estimated mass.
  EXPECT_NEAR(dose, deposit * kJoulePerEV * 1000.0 / (kDensity * volume), 1e-9 * dose);

  // The whole geometry weighs what the sphere weighs: the same doses.
  ASSERT_EQ(HeaderOf(wholeFile), "E\tN\tE_absorbed\tdose\tRelSDev");
  double wholeDose = 0.0;
  for (const std::vector<double>& r : Columns(wholeFile)) wholeDose += r[3];
  EXPECT_NEAR(wholeDose, dose, 1e-9 * dose);

  // Cell activity: the absorbed energy and dose of the sphere; the void box
  // has no dose.
  const std::vector<std::string> activity = TableAfter(output, "Electron activity in each cell");
  ASSERT_EQ(activity.size(), 3u) << output;
  const std::vector<std::string> sphereActivity = Words(activity[1]), boxActivity = Words(activity[2]);
  ASSERT_EQ(sphereActivity.size(), 10u);
  ASSERT_EQ(boxActivity.size(), 10u);
  EXPECT_NEAR(std::stod(sphereActivity[8]) * kKeV, deposit, 1e-8 * deposit);
  EXPECT_NEAR(std::stod(sphereActivity[9]), dose, 1e-8 * dose);
  EXPECT_EQ(boxActivity[9], "--");
}

}  // namespace
