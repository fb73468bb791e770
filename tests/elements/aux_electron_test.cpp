// Auxiliary electron data of one element: bremsstrahlung angular tables in
// both formats, alternative excitation and ionization cross sections, DWBA
// ionization, partial-wave elastic data, EEDL totals, the small-angle
// elastic modes and the per-element cross-section files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/data/aux_electron_data.h"
#include "driver/data/element_loader.h"
#include "driver/data/load_steps.h"
#include "tests/support/aux_fixture.h"
#include "tests/support/brems_fixture.h"
#include "tests/support/test_paths.h"

namespace {

struct ELEMENTHOLDER {
  std::unique_ptr<ElemStaging> elem{new ElemStaging()};
  ~ELEMENTHOLDER() { FreeElementTables(elem.get()); }
  ElemStaging* operator->() { return elem.get(); }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void SetSection(ElemStaging* e, int k, const std::vector<double>& x, const std::vector<double>& y) {
  for (size_t i = 0; i < x.size(); ++i) {
    e->sectionEnergy[k][i] = x[i];
    e->sectionCs[k][i] = y[i];
  }
  e->sectionN[k] = static_cast<int16_t>(x.size());
  LinLinSlopes(e->sectionEnergy[k], e->sectionCs[k], e->sectionN[k], e->sectionSlope[k]);
}

double SectionAt(const ElemStaging& e, int k, double x) {
  for (int i = 0; i + 1 < e.sectionN[k]; ++i)
    if (x >= e.sectionEnergy[k][i] && x <= e.sectionEnergy[k][i + 1])
      return e.sectionCs[k][i] + (x - e.sectionEnergy[k][i]) * e.sectionSlope[k][i];
  return 0.0;
}

// ---- Bremsstrahlung angular distributions.

// Iron with two electron energies and three photon energies each.
void SetBremsSpectra(ElemStaging* e) {
  e->Z = 26;
  e->bremsSpecNE = 2;
  const double energies[2] = {1e4, 1e6};
  for (int i = 0; i < 2; ++i) {
    e->bremsSpecEnergy[i] = energies[i];
    e->bremsSpecN[i] = 3;
    for (int k = 0; k < 3; ++k) e->bremsSpecX[i][k] = energies[i] * k / 2.0;
  }
}

BREMS_ELEMENT_RECORD IronBremsRecord(int nMu) {
  return MakeBremsElementRecord({1e4, 1e6}, {{0, 5e3, 1e4}, {0, 5e5, 1e6}}, nMu);
}

struct BREMSRUN {
  int code = -1;
  std::string console;
  ELEMENTHOLDER elem;
};

// Reads the iron record from a binary file or a text table holding it.
void ReadBrems(const BREMS_ELEMENT_RECORD& record, bool binary, BREMSRUN* run,
               std::string* fileName) {
  const std::string folder = MakeScratchFolder("brems");
  ELEMENTLOADOPTIONS options;
  options.dataFolder = folder;
  options.bremsTableFolder = folder;
  options.bremsBinaryData = binary ? 1 : 0;
  options.ionDwba = options.elasticDpw = 0;
  AUXDATAFILES files;
  if (binary) {
    BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({}, 2, 2, 2);
    fixture.elements[25] = record;
    ASSERT_TRUE(WriteBremsAngularFile(folder + "Brems_angular_prob_dens.dat", fixture));
    ASSERT_EQ(OpenAuxiliaryDataFiles(options, &files), 0);
    *fileName = folder + "Brems_angular_prob_dens.dat";
  } else {
    *fileName = folder + BremsTableFileName(26);
    ASSERT_TRUE(WriteTextFile(*fileName, BremsAngularTextTable(record)));
  }
  SetBremsSpectra(run->elem.elem.get());
  testing::internal::CaptureStdout();
  run->code = ReadBremsAngularDistributions(options, &files, run->elem.elem.get());
  run->console = testing::internal::GetCapturedStdout();
  CloseAuxiliaryDataFiles(&files);
}

TEST(BremsAngular, BothFormatsGiveTheSameNormalisedTables) {
  const BREMS_ELEMENT_RECORD record = IronBremsRecord(5);
  BREMSRUN binary, text;
  std::string name;
  ReadBrems(record, true, &binary, &name);
  ReadBrems(record, false, &text, &name);
  ASSERT_EQ(binary.code, 0) << binary.console;
  ASSERT_EQ(text.code, 0) << text.console;
  const ElemStaging& b = *binary.elem.elem;
  const ElemStaging& t = *text.elem.elem;
  for (int e = 0; e < 2; ++e)
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(b.bremsAngN[e][k], 5);
      ASSERT_EQ(t.bremsAngN[e][k], 5);
      EXPECT_EQ(b.bremsAngCos[e][k][0], -1.0);
      EXPECT_EQ(b.bremsAngCum[e][k][0], 0.0);
      EXPECT_EQ(b.bremsAngCum[e][k][4], 1.0);
      EXPECT_EQ(b.bremsAngSlope[e][k][4], 0.0);
      double area = 0.0;
      for (int i = 1; i < 5; ++i) {
        area += 0.5 * (b.bremsAngPdf[e][k][i] + b.bremsAngPdf[e][k][i - 1]) *
                (b.bremsAngCos[e][k][i] - b.bremsAngCos[e][k][i - 1]);
        EXPECT_NEAR(t.bremsAngPdf[e][k][i], b.bremsAngPdf[e][k][i], 1e-14 * b.bremsAngPdf[e][k][i]);
      }
      EXPECT_NEAR(area, 1.0, 1e-14);
      EXPECT_EQ(b.bremsAngMedian[e][k], MedianInterval(b.bremsAngCum[e][k], 5));
    }
}

TEST(BremsAngular, RecordsThatDoNotMatchOrBreakARuleAreRejected) {
  struct CASE {
    const char* what;
    void (*change)(BREMS_ELEMENT_RECORD*);
    bool accepted;
  } cases[] = {
      {"second energy off by 2e-5", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[1].E *= 1 + 2e-5; }, false},
      {"second energy off by 0.9e-5", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[1].E *= 1 + 0.9e-5; }, true},
      {"photon energy off by 2e-5", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[0].photonBlocks[1].k *= 1 + 2e-5; }, false},
      {"one electron energy more", [](BREMS_ELEMENT_RECORD* r) { r->nE = 3; }, false},
      {"one photon energy less", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[1].nK = 2; }, false},
      {"a single cosine", [](BREMS_ELEMENT_RECORD* r) {
         auto& b = r->electronBlocks[0].photonBlocks[0];
         b.nMu = 1;
         b.points.resize(1);
       }, false},
      {"257 cosines", [](BREMS_ELEMENT_RECORD* r) {
         auto& b = r->electronBlocks[0].photonBlocks[0];
         b.nMu = 257;
         b.points.resize(257);
         for (int i = 0; i < 257; ++i) b.points[i] = {-1.0 + 2.0 * i / 256, 1.0};
       }, false},
      {"256 cosines", [](BREMS_ELEMENT_RECORD* r) {
         auto& b = r->electronBlocks[0].photonBlocks[0];
         b.nMu = 256;
         b.points.resize(256);
         for (int i = 0; i < 256; ++i) b.points[i] = {-1.0 + 2.0 * i / 255, 1.0};
       }, true},
      {"two equal cosines", [](BREMS_ELEMENT_RECORD* r) {
         auto& p = r->electronBlocks[1].photonBlocks[2].points;
         p[2].mu = p[1].mu;
       }, false},
      {"a zero density", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[1].photonBlocks[2].points[3].p = 0.0; }, false},
      {"a cosine above 1", [](BREMS_ELEMENT_RECORD* r) { r->electronBlocks[1].photonBlocks[2].points[4].mu = 1.0000001; }, false},
  };
  for (const CASE& c : cases) {
    for (bool binary : {true, false}) {
      BREMS_ELEMENT_RECORD record = IronBremsRecord(5);
      c.change(&record);
      BREMSRUN run;
      std::string name;
      ReadBrems(record, binary, &run, &name);
      EXPECT_EQ(run.code, c.accepted ? 0 : 1) << c.what << (binary ? " (binary)" : " (text)");
      EXPECT_EQ(run.console, c.accepted ? "" : "Error in file " + name + ".\n") << c.what;
    }
  }
}

TEST(BremsAngular, MissingTextTableIsNamed) {
  ELEMENTHOLDER elem;
  SetBremsSpectra(elem.elem.get());
  ELEMENTLOADOPTIONS options;
  options.bremsBinaryData = 0;
  options.bremsTableFolder = MakeScratchFolder("brems_missing");
  AUXDATAFILES files;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadBremsAngularDistributions(options, &files, elem.elem.get()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nFile " + options.bremsTableFolder + "026-Fe_brems_angular_prob_dens.txt could not be "
            "opened for reading.\n");
}

// ---- Alternative excitation cross sections.

// Iron with the excitation cross section (and its energy-loss table) on
// 10 .. 1e4 eV and two subshells.
void SetExcitation(ElemStaging* e) {
  e->Z = 26;
  e->nSections = 5;
  e->nSubshells = 2;
  const std::vector<double> grid = {10, 20, 50, 100, 1000, 1e4};
  SetSection(e, 2, grid, {1, 2, 3, 4, 5, 6});
  for (size_t i = 0; i < grid.size(); ++i) {
    e->excLossEnergy[i] = grid[i];
    e->excLoss[i] = 15.0;
  }
  e->excLossN = static_cast<int16_t>(grid.size());
}

struct ALTFILE {
  std::string folder = MakeScratchFolder("altcs");
  std::string Write(const std::string& name, const std::string& text) {
    EXPECT_TRUE(WriteTextFile(folder + name, text));
    return folder + name;
  }
};

TEST(AltExcitation, LevelsReplaceTheCrossSectionAndExtendTheGridBelow) {
  ALTFILE f;
  ALTCSSETTINGS settings;
  settings.excFileGiven = true;
  // Cross sections in m^2: 1e-24 m^2 = 1e4 barn.
  settings.excFileName = f.Write("exc.txt", AltExcitationText({{10.0, {{8, 0}, {20, 1e-24}}},
                                                                {20.0, {{9, 1e-24}, {100, 2e-24}}}}));
  settings.excInterpEnd = 5000;
  settings.excInterpRule = 1;  // c0 + c1 E
  settings.excCoefsGiven = true;
  settings.excInterpCoefs[0] = 5;
  settings.excInterpCoefs[1] = 0.001;
  ELEMENTHOLDER elem;
  SetExcitation(elem.elem.get());
  ASSERT_EQ(ApplyAltExcitation(settings, elem.elem.get()), 0);
  const ElemStaging& e = *elem.elem;
  // 8 and 9 eV are put in front of both grids.
  ASSERT_EQ(e.sectionN[2], 8);
  ASSERT_EQ(e.excLossN, 8);
  EXPECT_EQ(e.sectionEnergy[2][0], 8.0);
  EXPECT_EQ(e.excLossEnergy[1], 9.0);
  const double level1At9 = 1e4 / 12.0, level2At9 = 1e4;
  EXPECT_DOUBLE_EQ(e.sectionCs[2][1], level1At9 + level2At9);
  EXPECT_DOUBLE_EQ(e.excLoss[1], (10 * level1At9 + 20 * level2At9) / (level1At9 + level2At9));
  EXPECT_EQ(e.excLoss[0], 0.0);  // no cross section at 8 eV
  EXPECT_EQ(e.excLoss[2], 15.0);  // the ENDF losses stay
  // Grid points up to 100 eV: the sum of the levels reaching them.
  EXPECT_DOUBLE_EQ(e.sectionCs[2][3], 1e4 + 1e4 + 1e4 * 11 / 91);  // 20 eV
  EXPECT_DOUBLE_EQ(e.sectionCs[2][5], 2e4);                        // 100 eV: level 2 only
  EXPECT_DOUBLE_EQ(e.sectionCs[2][6], 5 + 0.001 * 1000);           // the rule up to 5000 eV
  EXPECT_EQ(e.sectionCs[2][7], 6.0);                                // beyond it: ENDF
  EXPECT_DOUBLE_EQ(e.sectionSlope[2][6], (6.0 - 6.0) / 9000.0);
  EXPECT_EQ(e.sectionSlope[2][7], 0.0);
}

TEST(AltExcitation, MissingCoefficientsAndTooManyLowEnergiesStop) {
  ALTFILE f;
  ALTCSSETTINGS settings;
  settings.excFileGiven = true;
  settings.excFileName = f.Write("exc.txt", AltExcitationText({{10.0, {{5, 0}, {9, 1e-24}, {20, 1e-24}}}}));
  settings.excInterpEnd = 5000;
  ELEMENTHOLDER elem;
  SetExcitation(elem.elem.get());
  testing::internal::CaptureStdout();
  EXPECT_EQ(ApplyAltExcitation(settings, elem.elem.get()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nError: Interpolation coefficients for excitation cross section of Fe (Z = 26) are "
            "missing.\n");
  ELEMENTHOLDER full;
  SetExcitation(full.elem.get());
  full->sectionN[2] = 1999;
  for (int i = 0; i < 1999; ++i) full->sectionEnergy[2][i] = 10.0 + i;
  settings.excInterpEnd = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ApplyAltExcitation(settings, full.elem.get()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nError: Number of energy values below 10 eV in file " + settings.excFileName +
                " is too large.\n");
}

// ---- Alternative ionization cross sections.

void SetIonization(ElemStaging* e) {
  SetExcitation(e);
  const std::vector<double> grid = {10, 100, 1000, 1e4, 1e5};
  SetSection(e, 3, grid, {1, 2, 3, 4, 5});
  SetSection(e, 4, {50, 100, 1000, 1e4, 1e5}, {0, 1, 1, 1, 1});
}

double SubshellTotal(const ElemStaging& e, double x) { return SectionAt(e, 3, x) + SectionAt(e, 4, x); }

TEST(AltIonization, SubshellsShareTheAlternativeTotal) {
  ALTFILE f;
  ALTCSSETTINGS settings;
  settings.ionFileGiven = true;
  // 6 barn at 10 eV to 8 barn at 1000 eV, and a block left open at the end.
  settings.ionFileName = f.Write("ion.txt", AltIonizationText({{{10, 6e-28}, {1000, 8e-28}}}) +
                                                std::string(kAltDataDelimiter) + "\n1 1\n");
  settings.ionInterpEnd = 5e4;
  settings.ionInterpRule = 2;
  settings.ionCoefsGiven = true;
  settings.ionInterpCoefs[0] = 7.0;
  ELEMENTLOADOPTIONS options;
  options.ionDwba = 0;
  ELEMENTHOLDER elem;
  SetIonization(elem.elem.get());
  ASSERT_EQ(ApplyAltIonization(options, settings, {500.0}, elem.elem.get()), 0);
  const ElemStaging& e = *elem.elem;
  auto alt = [](double x) { return 6.0 + 2.0 * (x - 10.0) / 990.0; };
  for (double x : {10.0, 100.0, 500.0, 1000.0}) EXPECT_NEAR(SubshellTotal(e, x), alt(x), 1e-12) << x;
  EXPECT_NEAR(SubshellTotal(e, 1e4), 7.0, 1e-12);  // the rule up to ION_INTERP_END
  EXPECT_EQ(e.sectionCs[3][5], 5.0);               // beyond it the ENDF values
  // 500 eV was inserted into both subshells.
  ASSERT_EQ(e.sectionN[3], 6);
  ASSERT_EQ(e.sectionN[4], 6);
  EXPECT_EQ(e.sectionEnergy[3][2], 500.0);
  EXPECT_EQ(e.sectionEnergy[4][1], 100.0);
  EXPECT_EQ(e.sectionEnergy[4][2], 500.0);
  EXPECT_EQ(e.sectionSlope[3][5], 0.0);
}

TEST(AltIonization, EveryMessage) {
  ALTFILE f;
  const std::string good = f.Write("ion.txt", AltIonizationText({{{10, 6e-28}, {1000, 8e-28}}}));
  const std::string below = f.Write("below.txt", AltIonizationText({{{1, 6e-28}, {5, 8e-28}}}));
  const std::string bad = f.Write("bad.txt", AltIonizationText({{{10, 6e-28}}}) + kAltDataDelimiter +
                                                 "\n20 x\n" + kAltDataDelimiter + "\n");
  struct CASE {
    std::string file;
    int dwba;
    double interpEnd;
    std::vector<double> additional;
    bool fullSubshell;
    std::string message;
  } cases[] = {
      {good, 1, 0, {}, false,
       "\nError: When DWBA ionization cross sections are used (ION_DWBA = 1), usage of files with "
       "alternative ionization cross sections is not allowed.\n"},
      {f.folder + "none.txt", 0, 0, {}, false,
       "\nFile " + f.folder + "none.txt could not be opened for reading.\n"},
      {good, 0, 5e4, {}, false,
       "\nError: Interpolation coefficients for ionization cross section of Fe (Z = 26) are "
       "missing.\n"},
      {good, 0, 0, {2000}, false,
       "\nError: The additional energy 2000 eV exceeds the energy endpoint of the replaced "
       "ionization cross sections (1000 eV).\n"},
      {good, 0, 0, {501}, true,
       "\nError: Number of cross sections for subshell No. 1 of Fe (Z = 26) exceeds 2000.\n"},
      {below, 0, 0, {}, false,
       "\nError: The alternative ionization cross sections in file " + below +
           " do not reach the first energy of the excitation cross section grid (10 eV).\n"},
      {bad, 0, 0, {}, false, "Invalid numeric value found in file " + bad + ".\n"},
  };
  for (const CASE& c : cases) {
    ALTCSSETTINGS settings;
    settings.ionFileGiven = true;
    settings.ionFileName = c.file;
    settings.ionInterpEnd = c.interpEnd;
    ELEMENTLOADOPTIONS options;
    options.ionDwba = c.dwba;
    ELEMENTHOLDER elem;
    SetIonization(elem.elem.get());
    if (c.fullSubshell) {
      std::vector<double> x(kMaxSectionPoints), y(kMaxSectionPoints, 1.0);
      for (int i = 0; i < kMaxSectionPoints; ++i) x[i] = 10.0 + 2.0 * i;
      x[kMaxSectionPoints - 1] = 1e5;
      SetSection(elem.elem.get(), 3, x, y);
    }
    testing::internal::CaptureStdout();
    EXPECT_EQ(ApplyAltIonization(options, settings, c.additional, elem.elem.get()), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.message);
  }
}

// ---- DWBA ionization and partial-wave elastic data.

struct BINARYAUX {
  std::string folder = MakeScratchFolder("binaux");
  ELEMENTLOADOPTIONS options;
  AUXDATAFILES files;
  BINARYAUX() {
    options.dataFolder = folder;
    options.bremsAngularDistr = 0;
    options.elasticPdfError = 0.0;  // keep every point of the distributions
  }
  ~BINARYAUX() { CloseAuxiliaryDataFiles(&files); }
  int Open(const std::string& dwba, const std::string& total, const std::string& angular) {
    EXPECT_TRUE(WriteTextFile(folder + "IonDWBA.dat", dwba));
    EXPECT_TRUE(WriteTextFile(folder + "ElasticDPW_totalCS.dat", total));
    EXPECT_TRUE(WriteTextFile(folder + "ElasticDPW_angularDistr.dat", angular));
    return OpenAuxiliaryDataFiles(options, &files);
  }
};

const std::vector<double> kCosines = {-1.0, 0.0, 0.5, 0.999999};

TEST(DwbaAndPartialWave, RecordsReplaceTheirSectionsAndFillThePositronRows) {
  BINARYAUX aux;
  const std::vector<CSPOINT3> dwba = {{20, 1, 2}, {200, 3, 5}, {2000, 2, 4}};
  const std::vector<CSPOINT3> total = {{10, 9, 8}, {1e5, 7, 6}, {1e11, 5, 4}};
  DPWDISTRIBUTION d1{10.0, {{0, 1.0f, 2.0f}, {1, 1.0f, 2.0f}, {3, 3.0f, 1.0f}}};
  DPWDISTRIBUTION d2{1e11, {{0, 0.5f, 0.5f}, {2, 1.0f, 1.0f}, {3, 4.0f, 4.0f}}};
  ASSERT_EQ(aux.Open(IonDwbaFileBytes({{26, {{2, -1, dwba}}}}), DpwTotalFileBytes({{26, total}}),
                     DpwAngularFileBytes(kCosines, {{26, {d1, d2}}})),
            0);
  ELEMENTHOLDER elem;
  SetIonization(elem.elem.get());
  SetSection(elem.elem.get(), 0, {10, 1e11}, {1, 1});
  CopyPositronRows(elem.elem.get());
  ASSERT_EQ(ReadDwbaIonization(&aux.files, elem.elem.get()), 0);
  ASSERT_EQ(ReadDpwElastic(aux.options, &aux.files, elem.elem.get()), 0);
  const ElemStaging& e = *elem.elem;
  ASSERT_EQ(e.sectionN[4], 3);  // subshell 2
  EXPECT_EQ(e.sectionEnergy[4][1], 200.0);
  EXPECT_EQ(e.sectionCs[4][1], 3.0);
  EXPECT_EQ(e.sectionCsPositron[4][1], 5.0);
  EXPECT_DOUBLE_EQ(e.sectionSlopePositron[4][0], 3.0 / 180.0);
  EXPECT_EQ(e.sectionCsPositron[3][1], 2.0);  // subshell 1 keeps the electron values
  ASSERT_EQ(e.sectionN[0], 3);
  EXPECT_EQ(e.sectionCsPositron[0][2], 4.0);
  ASSERT_EQ(e.elasticNE, 2);
  EXPECT_EQ(e.elasticEnergy[1], 1e11);
  ASSERT_EQ(e.elasticN[0], 3);
  EXPECT_EQ(e.elasticCos[0][2], 0.999999);
  EXPECT_EQ(e.elasticCum[0][2], 1.0);
  // Positrons: density 2, 2, 1 against electrons 1, 1, 3.
  EXPECT_GT(e.elasticPdfPositron[0][0], e.elasticPdf[0][0]);
  EXPECT_EQ(e.elasticCumPositron[0][2], 1.0);
  EXPECT_EQ(e.elasticNPositron[1], 3);
}

TEST(DwbaAndPartialWave, BrokenRecordsAreErrorsInTheirFile) {
  const std::vector<CSPOINT3> three = {{20, 1, 2}, {200, 3, 5}, {2000, 2, 4}};
  const DPWDISTRIBUTION ok{10.0, {{0, 1.0f, 1.0f}, {3, 1.0f, 1.0f}}};
  DPWDISTRIBUTION outside = ok;
  outside.points[1].cosineIndex = 4;
  struct CASE {
    std::string dwba, total, angular;
    const char* file;
  } cases[] = {
      {IonDwbaFileBytes({{26, {{3, -1, three}}}}), DpwTotalFileBytes({}), DpwAngularFileBytes(kCosines, {}), "IonDWBA.dat"},
      {IonDwbaFileBytes({{26, {{0, -1, three}}}}), DpwTotalFileBytes({}), DpwAngularFileBytes(kCosines, {}), "IonDWBA.dat"},
      {IonDwbaFileBytes({{26, {{1, 1, {three[0]}}}}}), DpwTotalFileBytes({}), DpwAngularFileBytes(kCosines, {}), "IonDWBA.dat"},
      {IonDwbaFileBytes({{26, {{1, 4, three}}}}).substr(0, 396 + 4 * 25 + 4 + 8 + 3 * 24), DpwTotalFileBytes({}),
       DpwAngularFileBytes(kCosines, {}), "IonDWBA.dat"},
      {IonDwbaFileBytes({}), DpwTotalFileBytes({{26, {three[0]}}}), DpwAngularFileBytes(kCosines, {}), "ElasticDPW_totalCS.dat"},
      {IonDwbaFileBytes({}), DpwTotalFileBytes({}), DpwAngularFileBytes(kCosines, {{26, {ok}}}), "ElasticDPW_angularDistr.dat"},
      {IonDwbaFileBytes({}), DpwTotalFileBytes({}), DpwAngularFileBytes(kCosines, {{26, {ok, outside}}}), "ElasticDPW_angularDistr.dat"},
  };
  for (const CASE& c : cases) {
    BINARYAUX aux;
    ASSERT_EQ(aux.Open(c.dwba, c.total, c.angular), 0);
    ELEMENTHOLDER elem;
    SetIonization(elem.elem.get());
    testing::internal::CaptureStdout();
    int code = ReadDwbaIonization(&aux.files, elem.elem.get());
    if (code == 0) code = ReadDpwElastic(aux.options, &aux.files, elem.elem.get());
    EXPECT_EQ(code, 1) << c.file;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error in file " + aux.folder + c.file + ".\n");
  }
}

// ---- EEDL total elastic cross sections.

TEST(EedlElastic, BlockOfTheElementIsReadAndChecked) {
  const std::vector<std::pair<double, double>> good = {{10, 1e9}, {1e3, 1e8}, {1e11, 1e5}};
  auto run = [](const std::string& text, int z, std::vector<double>* e, std::string* console) {
    const std::string folder = MakeScratchFolder("eedl");
    EXPECT_TRUE(WriteTextFile(folder + "EEDL_elastic.dat", text));
    std::vector<double> totals;
    testing::internal::CaptureStdout();
    const int code = ReadEedlElastic(folder, z, e, &totals);
    *console = testing::internal::GetCapturedStdout();
    return std::make_pair(code, folder + "EEDL_elastic.dat");
  };
  std::vector<double> energies;
  std::string console;
  auto [code, name] = run(EedlElasticText({{6, {{10, 1}, {1e11, 1}}}, {26, good}, {29, good}}), 26,
                          &energies, &console);
  EXPECT_EQ(code, 0) << console;
  EXPECT_EQ(energies, (std::vector<double>{10, 1e3, 1e11}));
  std::tie(code, name) = run(EedlElasticText({{6, good}}), 26, &energies, &console);
  EXPECT_EQ(console, "Error: The data for Fe (Z = 26) not found in file " + name + ".\n");
  std::vector<std::pair<double, double>> many;
  for (int i = 0; i <= 1000; ++i) many.push_back({10.0 * std::pow(1e10, i / 1000.0), 1.0});
  energies.clear();
  std::tie(code, name) = run(EedlElasticText({{26, many}}), 26, &energies, &console);
  EXPECT_EQ(console, "Error: The number of data points for Fe (Z = 26) in file " + name +
                         " is greater than 1000.\n");
  const std::vector<std::vector<std::pair<double, double>>> wrong = {
      {{11, 1}, {1e11, 1}},          {{10, 1}, {1e10, 1}},        {{10, 1}},
      {{10, 1}, {10, 1}, {1e11, 1}}, {{10, -1}, {1e11, 1}},       {{9.9, 1}, {10, 1}, {1e11, 1}},
      {{10, 1}, {1e11, 1}, {1.1e11, 1}},
  };
  for (const auto& block : wrong) {
    energies.clear();
    std::tie(code, name) = run(EedlElasticText({{26, block}}), 26, &energies, &console);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(console, "File " + name + " has incorrect format.\n");
  }
  energies.clear();
  std::tie(code, name) = run("Z = 26\n10 1 extra\n1e11 1\n", 26, &energies, &console);
  EXPECT_EQ(console, "File " + name + " has incorrect format.\n");
}

// ---- Cross-section files.

TEST(CrossSectionFiles, OneEnergyLossFileAndOneFilePerSubshell) {
  ELEMENTHOLDER elem;
  SetIonization(elem.elem.get());
  elem->nSections = 6;
  elem->nSubshells = 3;
  SetSection(elem.elem.get(), 5, {100, 200}, {0.5, 0.25});
  ELEMENTLOADOPTIONS options;
  options.crossSectionFolder = MakeScratchFolder("csfiles");
  ASSERT_EQ(WriteElementCrossSectionFiles(options, *elem.elem), 0);
  const std::string folder = options.crossSectionFolder + "26-Fe/";
  const std::string loss = ReadAll(folder + "Fe_exc_E_loss.txt");
  EXPECT_EQ(loss.substr(0, 28), "            E\t       E_loss\n");
  EXPECT_EQ(std::count(loss.begin(), loss.end(), '\n'), 7);
  EXPECT_EQ(ReadAll(folder + "Fe_ionization_3.txt"),
            "            E\t      sigma_3\n 1.000000e+02\t 5.000000e-01\n 2.000000e+02\t 2.500000e-01\n");
  for (int s = 1; s <= 3; ++s)
    EXPECT_FALSE(ReadAll(folder + "Fe_ionization_" + std::to_string(s) + ".txt").empty()) << s;
  EXPECT_TRUE(ReadAll(folder + "Fe_ionization_4.txt").empty());
  // A folder that cannot be made: the first file is reported.
  options.crossSectionFolder = folder + "Fe_exc_E_loss.txt/";
  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteElementCrossSectionFiles(options, *elem.elem), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\nFile " + options.crossSectionFolder + "26-Fe/Fe_exc_E_loss.txt could not be opened "
            "for writing.\n");
}

}  // namespace
