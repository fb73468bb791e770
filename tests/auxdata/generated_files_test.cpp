// The auxiliary data files that the build made, read back by the simulator's
// own readers: each equals its sources at their points, the DWBA K-shell
// cross sections agree with the ENDF ones, and the bremsstrahlung angular
// densities integrate to 1 and turn forward as the electron energy rises.
// The source tables are parsed here on their own, not by the builder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/physical_constants.h"
#include "driver/data/aux_electron_data.h"
#include "driver/data/aux_files.h"
#include "driver/data/element_loader.h"
#include "driver/data/endf_reader.h"
#include "driver/data/load_steps.h"
#include "tests/support/test_paths.h"

namespace {

constexpr double kReadBackTolerance = 1e-6;  // relative

// An ElemStaging of its own, zeroed, with the tables that loading allocates freed.
struct ELEMENTHOLDER {
  std::unique_ptr<ElemStaging> elem{new ElemStaging()};
  ELEMENTHOLDER() { Reset(0); }
  ~ELEMENTHOLDER() { FreeElementTables(elem.get()); }
  ElemStaging& Reset(int z) {
    FreeElementTables(elem.get());
    std::memset(static_cast<void*>(elem.get()), 0, sizeof(ElemStaging));
    elem->Z = z;
    return *elem;
  }
};

// The generated files and their sources, or a skip.
class GeneratedFiles : public testing::Test {
 protected:
  void SetUp() override {
    data_ = BuiltAuxDataFolder();
    penelope_ = PenelopeSourceFolder();
    if (data_.empty() || penelope_.empty())
      GTEST_SKIP() << "auxiliary data files not built (their sources were not found at configure time)";
    options_.endfFolder = EndfFolder();
    options_.dataFolder = data_;
    options_.elasticPdfError = 0.0;  // the partial-wave distributions as the file holds them
    testing::internal::CaptureStdout();
    const int code = OpenAuxiliaryDataFiles(options_, &files_);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0) << printed;
  }
  void TearDown() override { CloseAuxiliaryDataFiles(&files_); }

  // The element's electro-atomic ENDF data as the simulator reads them.
  void ReadEndf(ElemStaging* elem) {
    testing::internal::CaptureStdout();
    const int code = ReadElectroAtomicFile(options_, elem);
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0) << "Z=" << elem->Z << ": " << printed;
  }

  std::string data_, penelope_;
  ELEMENTLOADOPTIONS options_;
  AUXDATAFILES files_;
};

std::string SourceName(const std::string& folder, const char* format, int z) {
  char name[64];
  std::snprintf(name, sizeof name, format, z);
  return folder + name;
}

// Rows of numbers of a text file after `skipLines` lines.
std::vector<std::vector<double>> NumberRows(const std::string& path, int skipLines) {
  std::ifstream file(path);
  std::string line;
  std::vector<std::vector<double>> rows;
  for (int i = 0; i < skipLines; ++i) std::getline(file, line);
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::vector<double> row;
    for (double v = 0.0; fields >> v;) row.push_back(v);
    if (!row.empty()) rows.push_back(row);
  }
  return rows;
}

// Linear interpolation in a table of n rising x.
double LinearAt(const double* x, const double* y, int n, double at) {
  const int i = std::clamp(static_cast<int>(std::upper_bound(x, x + n, at) - x) - 1, 0, n - 2);
  return y[i] + (at - x[i]) / (x[i + 1] - x[i]) * (y[i + 1] - y[i]);
}

// The index of energy e in a grid that must hold it exactly, or -1.
int ExactIndex(const double* x, int n, double e) {
  const double* at = std::lower_bound(x, x + n, e);
  return at != x + n && *at == e ? static_cast<int>(at - x) : -1;
}

void ExpectRelative(double actual, double expected, const std::string& where) {
  EXPECT_NEAR(actual, expected, kReadBackTolerance * std::fabs(expected)) << where;
}

TEST_F(GeneratedFiles, ElasticTotalsAreTheElsepaValuesJoinedToEndfBelowFiftyElectronvolts) {
  ELEMENTHOLDER holder;
  for (int z = 1; z <= 100; ++z) {
    ElemStaging& elem = holder.Reset(z);
    ASSERT_EQ(ReadDpwElastic(options_, &files_, &elem), 0) << "Z=" << z;
    // Rows "E sigma0- sigma1- sigma2- sigma0+ sigma1+ sigma2+" after the Z line;
    // fermium takes einsteinium's.
    const auto rows = NumberRows(SourceName(penelope_, "pdeel%02d.p08", std::min(z, 99)), 1);
    ASSERT_EQ(rows.size(), 111u);
    const int n = elem.sectionN[0];
    const double* e = elem.sectionEnergy[0];
    for (const auto& row : rows) {
      const int i = ExactIndex(e, n, row[0]);
      ASSERT_GE(i, 0) << "Z=" << z << " E=" << row[0];
      ExpectRelative(elem.sectionCs[0][i], row[1] / kBarn, "electron Z=" + std::to_string(z));
      ExpectRelative(elem.sectionCsPositron[0][i], row[4] / kBarn, "positron Z=" + std::to_string(z));
    }
    // Below 50 eV: the ENDF total elastic cross section of the element (of
    // einsteinium for fermium), one scale factor per particle, continuous at
    // 50 eV.
    std::vector<double> endfE, endfCs;
    ASSERT_EQ(ReadEedlElastic(data_, std::min(z, 99), &endfE, &endfCs), 0);
    const int join = ExactIndex(e, n, 50.0);
    ASSERT_GT(join, 0) << "Z=" << z;
    EXPECT_EQ(e[0], 10.0);
    const double endfAtJoin = LinearAt(endfE.data(), endfCs.data(), static_cast<int>(endfE.size()), 50.0);
    for (int i = 0; i < join; ++i) {
      const double endfHere = LinearAt(endfE.data(), endfCs.data(), static_cast<int>(endfE.size()), e[i]);
      ExpectRelative(elem.sectionCs[0][i], endfHere / endfAtJoin * elem.sectionCs[0][join], "below 50 eV");
      ExpectRelative(elem.sectionCsPositron[0][i], endfHere / endfAtJoin * elem.sectionCsPositron[0][join],
                     "below 50 eV");
    }
  }
}

// p(mu) = 2 pi dsigma/dOmega / sigma0 at the 606 angles, read back through
// the reader's normalisation (its lin-lin integral of the file's points).
TEST_F(GeneratedFiles, ElasticAngularDistributionsAreTheElsepaDensities) {
  ELEMENTHOLDER holder;
  for (int z = 1; z <= 100; ++z) {
    ElemStaging& elem = holder.Reset(z);
    ASSERT_EQ(ReadDpwElastic(options_, &files_, &elem), 0) << "Z=" << z;
    ASSERT_EQ(elem.elasticNE, 96);
    for (const bool positron : {false, true}) {
      // 96 blocks: a head line "charge Z E sigma0 sigma1 sigma2", then 606 values.
      std::ifstream file(SourceName(penelope_, positron ? "peldx%03d.p08" : "eeldx%03d.p08", std::min(z, 99)));
      for (int e = 0; e < 96; ++e) {
        double head[6], dcs[606];
        for (double& h : head) file >> h;
        for (double& d : dcs) file >> d;
        ASSERT_TRUE(file) << "Z=" << z;
        ASSERT_EQ(elem.elasticEnergy[e], head[2]);
        // Source densities on rising cosines, and their lin-lin integral.
        std::vector<double> mu(606), p(606);
        for (int i = 0; i < 606; ++i) {
          mu[i] = files_.dpwCosines[i];
          p[i] = 2.0 * kPi * dcs[605 - i] / head[3];
        }
        double integral = 0.0;
        for (int i = 1; i < 606; ++i) integral += (mu[i] - mu[i - 1]) * (p[i] + p[i - 1]) / 2.0;
        const double* cos = positron ? elem.elasticCosPositron[e] : elem.elasticCos[e];
        const double* pdf = positron ? elem.elasticPdfPositron[e] : elem.elasticPdf[e];
        const int n = positron ? elem.elasticNPositron[e] : elem.elasticN[e];
        for (int i = 0; i < 606; ++i)
          ASSERT_NEAR(LinearAt(cos, pdf, n, mu[i]) * integral, p[i], kReadBackTolerance * p[i])
              << "Z=" << z << (positron ? " e+" : " e-") << " E=" << head[2] << " mu=" << mu[i];
      }
    }
  }
}

// The source table of one particle: binding energies per shell and rows
// "E sigma_1 .. sigma_NS".
struct SHELLSOURCE {
  std::vector<int> shell;
  std::vector<double> binding;
  std::vector<std::vector<double>> rows;
};

SHELLSOURCE ShellSource(const std::string& path) {
  SHELLSOURCE s;
  std::ifstream file(path);
  std::string line, word;
  std::getline(file, line);
  std::getline(file, line);
  std::istringstream shells(line);
  shells >> word >> word;
  for (int v = 0; shells >> v;) s.shell.push_back(v);
  std::getline(file, line);
  std::istringstream binding(line);
  binding >> word >> word >> word;
  for (double v = 0.0; binding >> v;) s.binding.push_back(v);
  s.rows = NumberRows(path, 3);
  return s;
}

TEST_F(GeneratedFiles, DwbaCrossSectionsAreTheSourceValuesFromEachThreshold) {
  ELEMENTHOLDER holder;
  int tables = 0;
  for (int z = 1; z <= 99; ++z) {
    ElemStaging& elem = holder.Reset(z);
    ReadEndf(&elem);
    if (HasFatalFailure()) return;
    // The ENDF binding energy: the first energy of each subshell section.
    std::vector<double> endfBinding(elem.nSubshells);
    for (int s = 0; s < elem.nSubshells; ++s) endfBinding[s] = elem.sectionEnergy[s + 3][0];
    ASSERT_EQ(ReadDwbaIonization(&files_, &elem), 0) << "Z=" << z;
    const SHELLSOURCE sources[2] = {ShellSource(SourceName(penelope_, "pdesi%02d.p14", z)),
                                    ShellSource(SourceName(penelope_, "pdpsi%02d.p14", z))};
    for (size_t listed = 0; listed < sources[0].shell.size(); ++listed) {
      // PENELOPE shell i is ENDF subshell designator i.
      int s = 0;
      while (s < elem.nSubshells && elem.ionDesignator[s] != sources[0].shell[listed]) ++s;
      ASSERT_LT(s, elem.nSubshells) << "Z=" << z << " shell " << sources[0].shell[listed];
      ++tables;
      const int k = s + 3, n = elem.sectionN[k];
      const double* grid = elem.sectionEnergy[k];
      const double threshold = std::max(sources[0].binding[listed], endfBinding[s]);
      EXPECT_EQ(grid[0], threshold) << "Z=" << z << " shell " << sources[0].shell[listed];
      EXPECT_EQ(elem.sectionCs[k][0], 0.0);
      EXPECT_EQ(elem.sectionCsPositron[k][0], 0.0);
      for (int particle = 0; particle < 2; ++particle) {
        const double* cs = particle == 0 ? elem.sectionCs[k] : elem.sectionCsPositron[k];
        for (const auto& row : sources[particle].rows) {
          if (row[0] <= threshold) continue;
          const int i = ExactIndex(grid, n, row[0]);
          ASSERT_GE(i, 0) << "Z=" << z << " E=" << row[0];
          ExpectRelative(cs[i], row[1 + listed] / kBarn, "Z=" + std::to_string(z) + " E=" + std::to_string(row[0]));
        }
      }
    }
  }
  EXPECT_GT(tables, 1000);
}

// Near threshold the distorted-wave and the EEDL cross sections may part;
// well above it both follow the Bethe asymptote of the same K shell.
TEST_F(GeneratedFiles, DwbaKShellAgreesWithEndfAtTenAndHundredTimesTheThreshold) {
  const struct {
    int z;
    double ratio10, ratio100;  // DWBA / ENDF found when the files were first built
  } cases[] = {{29, 1.049, 0.925}, {79, 0.885, 0.910}};
  ELEMENTHOLDER endfHolder, dwbaHolder;
  for (const auto& c : cases) {
    ElemStaging& endf = endfHolder.Reset(c.z);
    ReadEndf(&endf);
    ElemStaging& dwba = dwbaHolder.Reset(c.z);
    ReadEndf(&dwba);
    if (HasFatalFailure()) return;
    ASSERT_EQ(ReadDwbaIonization(&files_, &dwba), 0);
    ASSERT_EQ(endf.ionDesignator[0], 1);  // K
    const double threshold = endf.sectionEnergy[3][0];
    for (double multiple : {10.0, 100.0}) {
      const double e = multiple * threshold;
      const double ratio = LinearAt(dwba.sectionEnergy[3], dwba.sectionCs[3], dwba.sectionN[3], e) /
                           LinearAt(endf.sectionEnergy[3], endf.sectionCs[3], endf.sectionN[3], e);
      EXPECT_NEAR(ratio, 1.0, 0.15) << "Z=" << c.z << " at " << multiple << " x threshold";
      EXPECT_NEAR(ratio, multiple == 10.0 ? c.ratio10 : c.ratio100, 0.005) << "Z=" << c.z;
    }
  }
}

TEST_F(GeneratedFiles, EedlElasticIsTheEndfTotalElasticCrossSection) {
  for (int z = 1; z <= 100; ++z) {
    std::vector<double> energies, totals;
    ASSERT_EQ(ReadEedlElastic(data_, z, &energies, &totals), 0) << "Z=" << z;
    // MF 23 MT 526 as the simulator's ENDF reader takes a section.
    char name[256];
    std::snprintf(name, sizeof name, "%selectrons/e-%03d_%s_000.endf", EndfFolder().c_str(), z, elementSymbol[z]);
    ENDFREADER reader;
    ASSERT_TRUE(OpenEndfFile(name, &reader));
    ASSERT_EQ(FindEndfSection(&reader, 23526, false), 0);
    ASSERT_EQ(SkipEndfLines(&reader, 2), 0);
    const int np = EndfIntField(reader.line, 1);
    std::vector<double> x(np), y(np);
    ASSERT_EQ(ReadEndfPairs(&reader, np, x.data(), y.data()), 0);
    CloseEndfFile(&reader);
    ASSERT_EQ(energies.size(), x.size()) << "Z=" << z;
    for (int i = 0; i < np; ++i) {
      EXPECT_EQ(energies[i], x[i]);
      ExpectRelative(totals[i], y[i], "Z=" + std::to_string(z));
    }
  }
}

// The element's angular tables read from the binary file or from the text
// tables that Sarvetto split from it.
void ReadBremsTables(ELEMENTLOADOPTIONS options, AUXDATAFILES* files, bool binary, ElemStaging* elem) {
  options.bremsBinaryData = binary ? 1 : 0;
  testing::internal::CaptureStdout();
  const int code = ReadBremsAngularDistributions(options, files, elem);
  const std::string printed = testing::internal::GetCapturedStdout();
  ASSERT_EQ(code, 0) << "Z=" << elem->Z << ": " << printed;
}

TEST_F(GeneratedFiles, BremsstrahlungTablesMatchTheEndfSpectraInBothForms) {
  options_.bremsTableFolder = data_ + "Brems_angular_prob_dens/";
  ELEMENTHOLDER binaryHolder, textHolder;
  for (int z = 1; z <= 100; ++z) {
    ElemStaging& binary = binaryHolder.Reset(z);
    ReadEndf(&binary);
    ReadBremsTables(options_, &files_, true, &binary);
    if (HasFatalFailure()) return;
    if (z % 11 != 2 && z != 100) continue;  // the text tables of every eleventh element
    ElemStaging& text = textHolder.Reset(z);
    ReadEndf(&text);
    ReadBremsTables(options_, &files_, false, &text);
    if (HasFatalFailure()) return;
    for (int e = 0; e < binary.bremsSpecNE; ++e)
      for (int k = 0; k < binary.bremsSpecN[e]; ++k) {
        ASSERT_EQ(binary.bremsAngN[e][k], text.bremsAngN[e][k]);
        for (int i = 0; i < binary.bremsAngN[e][k]; ++i) {
          ASSERT_NEAR(text.bremsAngCos[e][k][i], binary.bremsAngCos[e][k][i], 1e-15) << "Z=" << z;
          ASSERT_NEAR(text.bremsAngPdf[e][k][i], binary.bremsAngPdf[e][k][i], 1e-14 * binary.bremsAngPdf[e][k][i]);
        }
      }
  }
}

// The binary file parsed here: every (E, k) density, as written (before the
// reader normalises it), integrates to 1 by the trapezoid rule within the
// L1 error allowed for its points.
TEST_F(GeneratedFiles, BremsstrahlungDensitiesIntegrateToOne) {
  std::ifstream file(data_ + "Brems_angular_prob_dens.dat", std::ios::binary);
  auto read = [&file](auto* value) { return static_cast<bool>(file.read(reinterpret_cast<char*>(value), sizeof *value)); };
  int32_t offsets[100];
  for (int32_t& offset : offsets) ASSERT_TRUE(read(&offset));
  long tables = 0;
  double worst = 0.0;
  for (int z = 1; z <= 100; ++z) {
    file.seekg(offsets[z - 1]);
    int32_t ne = 0;
    ASSERT_TRUE(read(&ne));
    for (int e = 0; e < ne; ++e) {
      double energy = 0.0;
      int32_t nk = 0;
      ASSERT_TRUE(read(&energy) && read(&nk));
      for (int k = 0; k < nk; ++k) {
        double photon = 0.0;
        int32_t n = 0;
        ASSERT_TRUE(read(&photon) && read(&n));
        ASSERT_GE(n, 2);
        ASSERT_LE(n, kMaxBremsAngularPoints);
        double mu0 = 0.0, p0 = 0.0, integral = 0.0;
        for (int i = 0; i < n; ++i) {
          double mu = 0.0, p = 0.0;
          ASSERT_TRUE(read(&mu) && read(&p));
          ASSERT_GT(p, 0.0);
          if (i == 0) {
            ASSERT_EQ(mu, -1.0);
          }
          if (i > 0) integral += (mu - mu0) * (p + p0) / 2.0;
          mu0 = mu;
          p0 = p;
        }
        ASSERT_EQ(mu0, 1.0);
        EXPECT_NEAR(integral, 1.0, 1e-3) << "Z=" << z << " E=" << energy << " k=" << photon;
        worst = std::max(worst, std::fabs(integral - 1.0));
        ++tables;
      }
    }
  }
  EXPECT_GT(tables, 40000);
  RecordProperty("worst_integral_deviation", std::to_string(worst));
}

// Photons of faster electrons are emitted further forward: the mean cosine,
// averaged over each spectrum's photon energies, rises with E.
TEST_F(GeneratedFiles, BremsstrahlungMeanCosineRisesWithTheElectronEnergy) {
  ELEMENTHOLDER holder;
  for (int z : {13, 79}) {
    ElemStaging& elem = holder.Reset(z);
    ReadEndf(&elem);
    ReadBremsTables(options_, &files_, true, &elem);
    if (HasFatalFailure()) return;
    double previous = -1.0;
    for (int e = 0; e < elem.bremsSpecNE; ++e) {
      double sum = 0.0;
      for (int k = 0; k < elem.bremsSpecN[e]; ++k) {
        const double* mu = elem.bremsAngCos[e][k];
        const double* p = elem.bremsAngPdf[e][k];
        double moment = 0.0;
        for (int i = 1; i < elem.bremsAngN[e][k]; ++i)
          moment += (mu[i] - mu[i - 1]) * (mu[i] * p[i] + mu[i - 1] * p[i - 1]) / 2.0;
        sum += moment;
      }
      const double mean = sum / elem.bremsSpecN[e];
      EXPECT_GT(mean, previous) << "Z=" << z << " E=" << elem.bremsSpecEnergy[e];
      EXPECT_LT(mean, 1.0);
      previous = mean;
    }
    EXPECT_GT(previous, 0.99) << "Z=" << z << ": the highest energy emits forward";
  }
}

}  // namespace
