// Loading real elements with the auxiliary sources: the small-angle elastic
// modes on ENDF/B-VIII.1 data, and a whole element with synthetic auxiliary
// files, its bremsstrahlung tables read from the binary file and from the
// text tables that Sarvetto writes from it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
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
};

ELEMENTLOADOPTIONS CarbonOptions(int smallAngle) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = EndfFolder();
  options.elasticDpw = 0;
  options.elasticSmallAngle = smallAngle;
  options.bremsAngularDistr = options.ionDwba = 0;
  return options;
}

// The large-angle elastic cross section of carbon as the file gives it.
void ReadElastic(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  elem->Z = 6;
  elem->screeningEta0 = 0.5 * std::pow(options.constants.fineStr * options.constants.restEn / 0.885, 2) *
                        std::pow(6.0, 2.0 / 3.0);
  elem->screeningCoulomb = 3.76 * std::pow(options.constants.fineStr * 6, 2);
  ASSERT_EQ(ReadElectroAtomicFile(options, elem), 0);
}

double At(const double* x, const double* y, int n, double at) {
  for (int i = 0; i + 1 < n; ++i)
    if (at >= x[i] && at <= x[i + 1]) return y[i] + (at - x[i]) / (x[i + 1] - x[i]) * (y[i + 1] - y[i]);
  return 0.0;
}

TEST(SmallAngleModes, CompleteTheElasticCrossSectionOfCarbon) {
  ELEMENTHOLDER plain;
  ReadElastic(CarbonOptions(1), plain.elem.get());  // mode 1 keeps the cross sections
  ELEMENTHOLDER reference;
  {
    ELEMENTLOADOPTIONS options = CarbonOptions(0);
    options.elastic = 0;  // no small-angle treatment: the file's section 0
    ReadElastic(options, reference.elem.get());
  }
  const ElemStaging& ref = *reference.elem;
  const ElemStaging& m1 = *plain.elem;
  // Mode 1: the joined grid holds the file's grid; the values are the file's
  // at its energies; the share lies in [0, 1).
  ASSERT_GE(m1.sectionN[0], ref.sectionN[0]);
  for (int i = 0; i < ref.sectionN[0]; ++i)
    EXPECT_NEAR(At(m1.sectionEnergy[0], m1.sectionCs[0], m1.sectionN[0], ref.sectionEnergy[0][i]),
                ref.sectionCs[0][i], 1e-9 * ref.sectionCs[0][i]);
  for (int i = 0; i < m1.sectionN[0]; ++i) {
    EXPECT_GE(m1.smallAngleShare[i], 0.0);
    EXPECT_LT(m1.smallAngleShare[i], 1.0);
    if (i > 0) {
      ASSERT_LT(m1.sectionEnergy[0][i - 1], m1.sectionEnergy[0][i]);
    }
  }
  EXPECT_EQ(m1.sectionSlope[0][m1.sectionN[0] - 1], 0.0);
  // Mode 2: above the start the total, and the share is 1 - large / total.
  ELEMENTHOLDER second;
  ReadElastic(CarbonOptions(2), second.elem.get());
  const ElemStaging& m2 = *second.elem;
  EXPECT_GE(m2.smallAngleStart, ref.sectionEnergy[0][0]);
  int above = 0;
  for (int i = 0; i < m2.sectionN[0]; ++i) {
    const double e = m2.sectionEnergy[0][i];
    const double large = At(ref.sectionEnergy[0], ref.sectionCs[0], ref.sectionN[0], e);
    if (e <= m2.smallAngleStart) {
      EXPECT_EQ(m2.smallAngleShare[i], 0.0);
      continue;
    }
    ++above;
    EXPECT_NEAR(m2.smallAngleShare[i], 1.0 - large / m2.sectionCs[0][i], 1e-12);
  }
  EXPECT_GT(above, 10);
}

TEST(SmallAngleModes, EedlTotalsInModeThree) {
  ELEMENTHOLDER reference;
  {
    ELEMENTLOADOPTIONS options = CarbonOptions(0);
    options.elastic = 0;
    ReadElastic(options, reference.elem.get());
  }
  const ElemStaging& ref = *reference.elem;
  // Totals 25 % above the large-angle cross section on its own grid.
  std::vector<std::pair<double, double>> totals;
  for (int i = 0; i < ref.sectionN[0]; ++i)
    totals.push_back({ref.sectionEnergy[0][i], 1.25 * ref.sectionCs[0][i]});
  ELEMENTLOADOPTIONS options = CarbonOptions(3);
  options.dataFolder = MakeScratchFolder("eedl_mode3");
  ASSERT_TRUE(WriteTextFile(options.dataFolder + "EEDL_elastic.dat", EedlElasticText({{6, totals}})));
  ELEMENTHOLDER third;
  ReadElastic(options, third.elem.get());
  const ElemStaging& m3 = *third.elem;
  EXPECT_EQ(m3.smallAngleStart, ref.sectionEnergy[0][0]);
  EXPECT_EQ(m3.smallAngleShare[0], 0.0);
  ASSERT_EQ(m3.sectionN[0], ref.sectionN[0]);
  for (int i = 1; i < m3.sectionN[0]; ++i)
    EXPECT_NEAR(m3.smallAngleShare[i], 0.2, 1e-12) << m3.sectionEnergy[0][i];
  // Without the file the run stops with its name.
  options.dataFolder = MakeScratchFolder("eedl_missing");
  ELEMENTHOLDER missing;
  missing.elem->Z = 6;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ReadElectroAtomicFile(options, missing.elem.get()), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "File " + options.dataFolder + "EEDL_elastic.dat could not be opened for reading.\n");
}

// A data folder with synthetic auxiliary files for carbon, the binary
// bremsstrahlung file matching carbon's photon spectra.
struct CARBONAUX {
  std::string folder = MakeScratchFolder("carbon_aux");
  ELEMENTLOADOPTIONS options;
  CARBONAUX() {
    std::ifstream in(SharedDataFolder() + "aux/ComptonProfiles.dat", std::ios::binary);
    std::ofstream out(folder + "ComptonProfiles.dat", std::ios::binary);
    out << in.rdbuf();
    options.endfFolder = EndfFolder();
    options.dataFolder = folder;
    options.crossSectionFolder = folder;  // made by the run before loading
    options.outputCs = 1;
    ELEMENTHOLDER spectra;  // carbon's bremsstrahlung spectra
    spectra.elem->Z = 6;
    ELEMENTLOADOPTIONS plain = options;
    plain.elasticDpw = 0;
    EXPECT_EQ(ReadElectroAtomicFile(plain, spectra.elem.get()), 0);
    std::vector<double> energies;
    std::vector<std::vector<double>> photons;
    for (int e = 0; e < spectra.elem->bremsSpecNE; ++e) {
      energies.push_back(spectra.elem->bremsSpecEnergy[e]);
      photons.emplace_back(spectra.elem->bremsSpecX[e],
                           spectra.elem->bremsSpecX[e] + spectra.elem->bremsSpecN[e]);
    }
    BREMS_ANGULAR_FIXTURE fixture = MakeBremsAngularFixture({}, 2, 2, 2);
    fixture.elements[5] = MakeBremsElementRecord(energies, photons, 9);
    EXPECT_TRUE(WriteBremsAngularFile(folder + "Brems_angular_prob_dens.dat", fixture));
    EXPECT_TRUE(WriteTextFile(folder + "IonDWBA.dat",
                              IonDwbaFileBytes({{6, {{1, -1, {{300, 1e4, 2e4}, {1e4, 2e5, 3e5}, {1e11, 1e5, 1e5}}}}}})));
    EXPECT_TRUE(WriteTextFile(folder + "ElasticDPW_totalCS.dat", DpwTotalFileBytes({})));
    EXPECT_TRUE(WriteTextFile(folder + "ElasticDPW_angularDistr.dat",
                              DpwAngularFileBytes({-1.0, 0.0, 1.0}, {})));
  }
  int Load(AUXELECTRONDATA* aux, ElemStaging* elem, std::string* console) {
    const int z = 6;
    testing::internal::CaptureStdout();
    int code = OpenAuxiliaryDataFiles(options, &aux->files);
    if (code == 0) code = ReadAltCrossSectionsInfo(nullptr, "", &z, 1, nullptr, &aux->alt);
    if (code == 0) code = LoadElement(z, options, aux, 0, elem);
    *console = testing::internal::GetCapturedStdout();
    CloseAuxiliaryDataFiles(&aux->files);
    return code;
  }
};

TEST(AuxiliaryLoading, CarbonWithSyntheticFilesAndTheSplitterRoundTrip) {
  CARBONAUX setup;
  AUXELECTRONDATA aux;
  ELEMENTHOLDER binary;
  std::string console;
  ASSERT_EQ(setup.Load(&aux, binary.elem.get(), &console), 0) << console;
  const ElemStaging& b = *binary.elem;
  // Partial-wave data replaced the elastic data, DWBA the first subshell.
  EXPECT_EQ(b.sectionN[0], 2);
  EXPECT_EQ(b.elasticNE, 2);
  EXPECT_EQ(b.sectionN[3], 3);
  EXPECT_EQ(b.sectionCsPositron[3][1], 3e5);
  EXPECT_EQ(b.sectionCsPositron[1][0], b.sectionCs[1][0]);  // bremsstrahlung: electron values
  ASSERT_NE(b.bremsAngN, nullptr);
  EXPECT_EQ(b.bremsAngN[0][0], 9);
  // The cross-section files of the element.
  std::ifstream loss(setup.folder + "06-C/C_exc_E_loss.txt");
  EXPECT_TRUE(loss.good());
  std::ifstream ion(setup.folder + "06-C/C_ionization_" +
                    std::to_string(b.nSubshells) + ".txt");
  EXPECT_TRUE(ion.good());

  // Sarvetto writes the text tables from the same binary file.
  const std::string command = "cd '" + setup.folder + "' && '" SARVETTO_PATH "' > sarvetto.log";
  ASSERT_EQ(std::system(command.c_str()), 0);
  setup.options.bremsBinaryData = 0;
  setup.options.bremsTableFolder = setup.folder + "Brems_angular_prob_dens/";
  ELEMENTHOLDER text;
  AUXELECTRONDATA auxText;
  ASSERT_EQ(setup.Load(&auxText, text.elem.get(), &console), 0) << console;
  const ElemStaging& t = *text.elem;
  for (int e = 0; e < b.bremsSpecNE; ++e)
    for (int k = 0; k < b.bremsSpecN[e]; ++k) {
      ASSERT_EQ(t.bremsAngN[e][k], b.bremsAngN[e][k]);
      for (int i = 0; i < b.bremsAngN[e][k]; ++i) {
        EXPECT_NEAR(t.bremsAngCos[e][k][i], b.bremsAngCos[e][k][i], 1e-15);
        EXPECT_NEAR(t.bremsAngCum[e][k][i], b.bremsAngCum[e][k][i], 1e-14);
        EXPECT_NEAR(t.bremsAngPdf[e][k][i], b.bremsAngPdf[e][k][i], 1e-14 * b.bremsAngPdf[e][k][i]);
      }
    }
}

}  // namespace
