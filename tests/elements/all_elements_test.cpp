// Every element Z = 1..100 of the ENDF/B-VIII.1 library loads, and its record
// keeps the invariants that the transport relies on.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <tuple>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/data/element_loader.h"
#include "driver/data/endf_reader.h"
#include "tests/support/test_paths.h"

namespace {

// A data folder with a copy of the Compton-profile table.
std::string DataFolderWithProfiles() {
  const std::string folder = MakeScratchFolder("elements_data");
  std::ifstream in(SharedDataFolder() + "aux/ComptonProfiles.dat", std::ios::binary);
  std::ofstream out(folder + "ComptonProfiles.dat", std::ios::binary);
  out << in.rdbuf();
  return folder;
}

ELEMENTLOADOPTIONS RealDataOptions() {
  static const std::string dataFolder = DataFolderWithProfiles();
  ELEMENTLOADOPTIONS options;
  options.endfFolder = EndfFolder();
  options.dataFolder = dataFolder;
  options.elasticDpw = 0;  // ENDF elastic data with the forward extension
  options.maxEnergy = 1e9;
  return options;
}

struct ELEMENTHOLDER {
  std::unique_ptr<ElemStaging> elem{new ElemStaging()};
  ~ELEMENTHOLDER() { FreeElementTables(elem.get()); }
};

void ExpectAscending(const double* x, int n, const char* what, int z) {
  for (int i = 1; i < n; ++i) ASSERT_LT(x[i - 1], x[i]) << what << " Z=" << z << " i=" << i;
}

void ExpectDensity(const double* x, const double* cum, int n, int cap, const char* what, int z) {
  ASSERT_GE(n, 2) << what << " Z=" << z;
  ASSERT_LE(n, cap) << what << " Z=" << z;
  ExpectAscending(x, n, what, z);
  EXPECT_EQ(cum[0], 0.0) << what << " Z=" << z;
  EXPECT_EQ(cum[n - 1], 1.0) << what << " Z=" << z;
  for (int i = 1; i < n; ++i) ASSERT_GE(cum[i], cum[i - 1]) << what << " Z=" << z;
}

void ExpectFinite(const double* v, size_t count, const char* what, int z) {
  for (size_t i = 0; i < count; ++i)
    ASSERT_TRUE(std::isfinite(v[i])) << what << " Z=" << z << " entry " << i;
}

#define EXPECT_FIELD_FINITE(e, field) \
  ExpectFinite(reinterpret_cast<const double*>(&(e).field), sizeof((e).field) / sizeof(double), \
               #field, (e).Z)

void CheckElement(const ElemStaging& e, const ELEMENTLOADOPTIONS& options) {
  const int z = e.Z;
  // Electro-atomic tables.
  ASSERT_GE(e.nSubshells, 1);
  for (int s = 0; s < e.nSections; ++s) ExpectAscending(e.sectionEnergy[s], e.sectionN[s], "section", z);
  for (int i = 0; i < e.elasticNE; ++i) {
    ExpectDensity(e.elasticCos[i], e.elasticCum[i], e.elasticN[i], kMaxElasticPoints, "elastic", z);
    EXPECT_EQ(e.elasticCos[i][e.elasticN[i] - 1], 1.0);
  }
  for (int i = 0; i < e.bremsSpecNE; ++i)
    ExpectDensity(e.bremsSpecX[i], e.bremsSpecCum[i], e.bremsSpecN[i], kMaxSpectrumPoints, "brems", z);
  for (int s = 0; s < e.nSubshells; ++s)
    for (int i = 0; i < e.ionSpecNE[s]; ++i)
      ExpectDensity(e.ionSpecX[s][i], e.ionSpecCum[s][i], e.ionSpecN[s][i], kMaxSpectrumPoints,
                    "ionization spectrum", z);
  ExpectAscending(e.excLossEnergy, e.excLossN, "excitation loss", z);

  // Relaxation and photoionization agree on the subshells and their edges.
  for (int s = 0; s < e.nSubshells; ++s) {
    const int d = e.subshellDesignator[s];
    ASSERT_GE(e.photoionN[s], 2);
    ExpectAscending(e.photoionEnergy[s], e.photoionN[s], "photoionization", z);
    EXPECT_GT(e.photoionCs[s][0], 0.0) << "Z=" << z << " subshell " << s;
    EXPECT_NEAR(e.photoionEnergy[s][0] / e.bindingEnergy[d], 1.0, 1e-6) << "Z=" << z << " s=" << s;
    EXPECT_GE(e.sectionEnergy[3 + s][0], e.bindingEnergy[d] * (1.0 - 1e-6)) << "Z=" << z << " s=" << s;
    // The electro-atomic subshell s leaves its vacancy in the same subshell.
    EXPECT_EQ(e.ionDesignator[s], d) << "Z=" << z << " s=" << s;
    if (e.nTransitions[d] > 0) {
      EXPECT_EQ(e.transCum[d][e.nTransitions[d] - 1], 1.0);
    }
    if (e.occupancy[d] > 0) {
      EXPECT_GE(e.profileIndex[d], 1) << "Z=" << z << " s=" << s;
      EXPECT_LE(e.profileIndex[d], e.nProfiles) << "Z=" << z << " s=" << s;
    }
    EXPECT_GT(e.pePar[d], 0.0);
  }
  EXPECT_EQ(e.cumOccupancy[e.nSubshells - 1], 1.0);
  for (const auto& [x, n, what] : std::vector<std::tuple<const double*, int, const char*>>{
           {e.cohEnergy, e.cohN, "coherent"}, {e.incohEnergy, e.incohN, "incoherent"},
           {e.ppEnergy, e.ppN, "pair"}, {e.ffX, e.ffN, "form factor"},
           {e.sfX, e.sfN, "scattering function"}, {e.anomImagX, e.anomImagN, "anomalous"},
           {e.anomRealX, e.anomRealN, "anomalous"}}) {
    ASSERT_GE(n, 2) << what;
    ExpectAscending(x, n, what, z);
  }

  // Sampling tables.
  EXPECT_EQ(e.ffIntF2[0], 0.0);
  EXPECT_EQ(e.ffIntF[0], 0.0);
  for (int i = 1; i < e.ffN; ++i) {
    ASSERT_GE(e.ffIntF2[i], e.ffIntF2[i - 1]) << "form-factor integral Z=" << z << " i=" << i;
    ASSERT_GE(e.ffIntF[i], e.ffIntF[i - 1]) << "form-factor integral Z=" << z << " i=" << i;
  }
  for (int p = 0; p < e.nProfiles; ++p)
    ExpectDensity(e.profileQ, e.profileCum[p], kComptonMomenta, kComptonMomenta, "profile", z);
  for (int j = 0; j < elementdata::n_pp_Eprim; ++j) {
    ExpectDensity(e.ppSpecX[j], e.ppSpecCum[j], e.ppSpecN[j], kPairTablePoints, "pair share", z);
    EXPECT_EQ(e.ppSpecX[j][0], 0.0);
    EXPECT_EQ(e.ppSpecX[j][e.ppSpecN[j] - 1], 0.5);
    ExpectFinite(e.ppSpecPdf[j], e.ppSpecN[j], "ppSpecPdf", z);
    ExpectFinite(e.ppSpecSlope[j], e.ppSpecN[j], "ppSpecSlope", z);
  }
  for (int s = 0; s < e.nSubshells; ++s)
    for (int i = 0; i < e.photoionN[s] && e.peAngCos[s][i]; ++i) {
      ExpectDensity(e.peAngCos[s][i], e.peAngCum[s][i], options.peAngularDistrN,
                    options.peAngularDistrN, "photoelectron", z);
      ExpectFinite(e.peAngPdf[s][i], options.peAngularDistrN, "peAngPdf", z);
      ExpectFinite(e.peAngSlope[s][i], options.peAngularDistrN, "peAngSlope", z);
    }

  // No NaN or infinity anywhere in the record's tables.
  EXPECT_FIELD_FINITE(e, sectionEnergy);
  EXPECT_FIELD_FINITE(e, sectionCs);
  EXPECT_FIELD_FINITE(e, sectionSlope);
  EXPECT_FIELD_FINITE(e, excLoss);
  EXPECT_FIELD_FINITE(e, excLossSlope);
  EXPECT_FIELD_FINITE(e, bremsLoss);
  EXPECT_FIELD_FINITE(e, bremsLossSlope);
  EXPECT_FIELD_FINITE(e, ionSpecPdf);
  EXPECT_FIELD_FINITE(e, ionSpecSlope);
  EXPECT_FIELD_FINITE(e, bremsSpecPdf);
  EXPECT_FIELD_FINITE(e, bremsSpecSlope);
  EXPECT_FIELD_FINITE(e, elasticPdf);
  EXPECT_FIELD_FINITE(e, elasticSlope);
  EXPECT_FIELD_FINITE(e, transEnergy);
  EXPECT_FIELD_FINITE(e, transProb);
  EXPECT_FIELD_FINITE(e, photoionLnEnergy);
  EXPECT_FIELD_FINITE(e, photoionLnCs);
  EXPECT_FIELD_FINITE(e, photoionSlope);
  EXPECT_FIELD_FINITE(e, pePar);
  EXPECT_FIELD_FINITE(e, cohLnCs);
  EXPECT_FIELD_FINITE(e, cohSlope);
  EXPECT_FIELD_FINITE(e, incohLnCs);
  EXPECT_FIELD_FINITE(e, incohSlope);
  EXPECT_FIELD_FINITE(e, ffLnX);
  EXPECT_FIELD_FINITE(e, ffLnY);
  EXPECT_FIELD_FINITE(e, ffSlope);
  EXPECT_FIELD_FINITE(e, ffIntF2);
  EXPECT_FIELD_FINITE(e, ffIntF);
  EXPECT_FIELD_FINITE(e, sfLnX);
  EXPECT_FIELD_FINITE(e, sfLnY);
  EXPECT_FIELD_FINITE(e, sfSlope);
  EXPECT_FIELD_FINITE(e, anomImagSlope);
  EXPECT_FIELD_FINITE(e, anomRealSlope);
  EXPECT_FIELD_FINITE(e, ppLnEnergy);
  EXPECT_FIELD_FINITE(e, ppLnCs);
  EXPECT_FIELD_FINITE(e, ppSlope);
  EXPECT_TRUE(std::isfinite(e.atomicMass) && e.atomicMass > 0.0);
}

TEST(AllElements, EveryElementOfTheLibraryLoadsWithSoundTables) {
  const ELEMENTLOADOPTIONS options = RealDataOptions();
  ELEMENTHOLDER holder;
  for (int z = 1; z <= 100; ++z) {
    FreeElementTables(holder.elem.get());
    std::memset(static_cast<void*>(holder.elem.get()), 0, sizeof(ElemStaging));
    testing::internal::CaptureStdout();
    const int code = LoadElement(z, options, holder.elem.get());
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(code, 0) << "Z=" << z << ": " << printed;
    CheckElement(*holder.elem, options);
    if (testing::Test::HasFatalFailure()) return;
  }
}

// ---- Photon total cross section against the file's own lin-lin law.

// The (x, y) points of section (mf, mt) of a file, read with a parser of its own.
std::vector<std::pair<double, double>> FilePoints(const std::string& name, int mf, int mt) {
  std::ifstream in(name);
  std::string line;
  std::vector<std::pair<double, double>> points;
  int row = 0;
  while (std::getline(in, line)) {
    line.resize(80, ' ');
    if (std::stoi(line.substr(70, 2)) != mf || std::stoi(line.substr(72, 3)) != mt) continue;
    if (++row <= 3) continue;  // head, control, interpolation lines
    for (int p = 0; p < 3; ++p) {
      double x = 0, y = 0;
      if (line.substr(p * 22, 22).find_first_not_of(' ') == std::string::npos) break;
      ParseEndfNumber(line.c_str() + p * 22, 11, &x);
      ParseEndfNumber(line.c_str() + p * 22 + 11, 11, &y);
      points.push_back({x, y});
    }
  }
  return points;
}

double LinLin(const std::vector<std::pair<double, double>>& pts, double x) {
  for (size_t i = 1; i < pts.size(); ++i)
    if (pts[i].first >= x && pts[i - 1].first <= x && pts[i].first > pts[i - 1].first)
      return pts[i - 1].second + (pts[i].second - pts[i - 1].second) * (x - pts[i - 1].first) /
                                     (pts[i].first - pts[i - 1].first);
  return 0.0;
}

double LogLog(const double* x, const double* y, const double* slope, int n, double e) {
  if (e < x[0] || e > x[n - 1]) return 0.0;
  int i = 0;
  while (i < n - 2 && x[i + 1] <= e) ++i;
  return y[i] * std::pow(e / x[i], slope[i]);
}

TEST(AllElements, PhotonTotalCrossSectionMatchesTheFile) {
  const ELEMENTLOADOPTIONS options = RealDataOptions();
  const struct {
    int z;
    const char* file;
    double energy;
  } cases[] = {{82, "photoat/photoat-082_Pb_000.endf", 662e3},
               {6, "photoat/photoat-006_C_000.endf", 100e3}};
  for (const auto& c : cases) {
    ELEMENTHOLDER holder;
    ElemStaging& e = *holder.elem;
    ASSERT_EQ(LoadElement(c.z, options, &e), 0);
    double loaded = LogLog(e.cohEnergy, e.cohCs, e.cohSlope, e.cohN, c.energy) +
                    LogLog(e.incohEnergy, e.incohCs, e.incohSlope, e.incohN, c.energy);
    for (int s = 0; s < e.nSubshells; ++s)
      loaded += LogLog(e.photoionEnergy[s], e.photoionCs[s], e.photoionSlope[s], e.photoionN[s],
                       c.energy);
    const std::string name = EndfFolder() + c.file;
    double byHand = LinLin(FilePoints(name, 23, 502), c.energy) +
                    LinLin(FilePoints(name, 23, 504), c.energy);
    for (int mt = 534; mt < 600; ++mt) byHand += LinLin(FilePoints(name, 23, mt), c.energy);
    EXPECT_NEAR(loaded / byHand, 1.0, 0.01) << "Z=" << c.z;
  }
}

}  // namespace
