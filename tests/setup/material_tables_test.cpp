// The per-material electron tables on small synthetic elements: the merge of
// the entries' grids, the entry order and the cumulative rows, the upper
// trim, the thinning to SIGMA_ERR, the positron rows with the bremsstrahlung
// ratio, the small-angle shares and the forced entries.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "core/material_tables.h"
#include "driver/data/element_pool.h"
#include "driver/setup/material_table_builder.h"

namespace {

struct SECTION {
  std::vector<double> energy;
  std::vector<double> cs;  // barn
};

// Sets section s of an element with lin-lin slopes; positron rows copy it.
void SetSection(ElemStaging* el, int s, const SECTION& section) {
  const int n = static_cast<int>(section.energy.size());
  el->sectionN[s] = static_cast<int16_t>(n);
  for (int i = 0; i < n; ++i) {
    el->sectionEnergy[s][i] = section.energy[i];
    el->sectionCs[s][i] = el->sectionCsPositron[s][i] = section.cs[i];
  }
  for (int i = 0; i + 1 < n; ++i) {
    el->sectionSlope[s][i] = (section.cs[i + 1] - section.cs[i]) / (section.energy[i + 1] - section.energy[i]);
    el->sectionSlopePositron[s][i] = el->sectionSlope[s][i];
  }
  if (el->nSections < s + 1) el->nSections = s + 1;
}

struct PROBLEM {
  std::unique_ptr<ElemStaging[]> elems{new ElemStaging[2]()};
  ELEMENTPOOL pool;  // the elements as the set-up packs them
  MATERIAL material{};
  MATERIALTABLEOPTIONS options;
  PROBLEM() {
    options.minEnergy = 10.0;
    options.maxEnergy = 1000.0;
    options.sigmaErr = 0.0;
    options.index = {0, 0};
    options.nElements = 2;
  }
  // A material of the given elements (global indices) with atom fractions.
  void Compose(std::vector<std::pair<int, double>> parts) {
    material.nElements = static_cast<int32_t>(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) {
      material.element[i] = parts[i].first;
      material.fraction[parts[i].first] = parts[i].second;
    }
  }
  void Build() {
    StartElementPool(2, &pool);
    for (int g = 0; g < 2; ++g) AddElementToPool(elems[g], g, &pool);
    ASSERT_EQ(BuildMaterialTable(options, pool.elements, &material), 0);
  }
  ~PROBLEM() {
    FreeMaterialTable(&material);
    FreeElementPool(&pool);
  }
  std::vector<double> Grid() const {
    return {material.electronEnergy, material.electronEnergy + material.nElectronEnergies};
  }
  // The own value (barn per atom of the element) of entry k at point m.
  double Own(int k, int m, double fraction, bool positron = false) const {
    const double* row = ElectronSigmaRow(material, k, positron);
    const double before = k == 0 ? 0.0 : ElectronSigmaRow(material, k - 1, positron)[m];
    return (row[m] - before) / (fraction * 1e-24);
  }
};

TEST(MaterialTable, EntriesMergeIntoOneGridWithCumulativeRows) {
  PROBLEM p;
  // Element 0: elastic, bremsstrahlung, excitation, a K shell whose threshold lies above Emax.
  SetSection(&p.elems[0], 0, {{1, 100, 1e4}, {10, 5, 1}});
  SetSection(&p.elems[0], 1, {{1, 100, 1e4}, {2, 2, 2}});
  SetSection(&p.elems[0], 2, {{1, 50, 1e4}, {3, 6, 3}});
  SetSection(&p.elems[0], 3, {{2000, 5000, 1e4}, {0, 4, 4}});
  // Element 1: elastic and bremsstrahlung sharing the energy 100 eV with element 0.
  SetSection(&p.elems[1], 0, {{1, 100, 1e4}, {20, 10, 2}});
  SetSection(&p.elems[1], 1, {{1, 30, 100, 1e4}, {1, 1, 1, 1}});
  p.Compose({{0, 0.25}, {1, 0.75}});
  p.options.forced[0][kForceBrems] = true;
  p.options.forced[0][kForceIonK] = true;  // the K shell has points above Emax: forced
  p.options.forced[0][kForceExc] = false;
  p.options.forced[1][kForceElastic] = true;
  p.Build();

  // Non-elastic entries element after element, then the elastic ones.
  const MATERIAL& m = p.material;
  ASSERT_EQ(m.nElectronEntries, 6);
  const int element[6] = {0, 0, 0, 1, 0, 1}, section[6] = {1, 2, 3, 1, 0, 0};
  for (int k = 0; k < 6; ++k) {
    EXPECT_EQ(m.entryElement[k], element[k]);
    EXPECT_EQ(m.entrySection[k], section[k]);
  }
  ASSERT_EQ(m.nForcedEntries, 3);
  EXPECT_EQ(m.forcedEntry[0], 0);
  EXPECT_EQ(m.forcedEntry[1], 2);
  EXPECT_EQ(m.forcedEntry[2], 5);

  // The common point 100 eV appears once; the grid ends at the one point above Emax.
  EXPECT_EQ(p.Grid(), (std::vector<double>{1, 30, 50, 100, 2000}));
  // Own values: tabulated at own points, interpolated between them.
  EXPECT_DOUBLE_EQ(p.Own(0, 3, 0.25), 2.0);
  EXPECT_DOUBLE_EQ(p.Own(1, 2, 0.25), 6.0);
  EXPECT_NEAR(p.Own(1, 1, 0.25), 3.0 + 3.0 * 29.0 / 49.0, 1e-12);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.Own(2, i, 0.25), 0.0);  // K shell above Emax
  EXPECT_DOUBLE_EQ(p.Own(4, 3, 0.25), 5.0);
  EXPECT_DOUBLE_EQ(p.Own(5, 3, 0.75), 10.0);
  EXPECT_NEAR(p.Own(5, 1, 0.75), 20.0 - 10.0 * 29.0 / 99.0, 1e-12);
  // The last row is the total; slopes join neighbours, the last one 0.
  const double* total = m.electronSigma[5];
  const double* slope = m.electronSigmaSlope[5];
  for (int i = 0; i + 1 < 5; ++i)
    EXPECT_NEAR(slope[i], (total[i + 1] - total[i]) / (m.electronEnergy[i + 1] - m.electronEnergy[i]), 1e-30);
  EXPECT_EQ(slope[4], 0.0);
}

TEST(MaterialTable, ElasticOffLeavesZeroElasticEntries) {
  PROBLEM p;
  SetSection(&p.elems[0], 0, {{1, 1e4}, {10, 1}});
  SetSection(&p.elems[0], 1, {{1, 1e4}, {2, 2}});
  p.Compose({{0, 1.0}});
  p.options.elastic = 0;
  p.Build();
  ASSERT_EQ(p.material.nElectronEntries, 2);
  for (int i = 0; i < p.material.nElectronEnergies; ++i) EXPECT_EQ(p.Own(1, i, 1.0), 0.0);
  EXPECT_DOUBLE_EQ(p.Own(0, 0, 1.0), 2.0);
}

// One element, one section, three points: the middle point goes only when
// the chord reproduces it within SIGMA_ERR.
TEST(MaterialTable, ThinningKeepsTheEndsAndDropsWhatTheChordReproduces) {
  struct CASE {
    double middle;
    double sigmaErr;
    size_t points;
  };
  for (const CASE& c : {CASE{2.0, 0.001, 2}, CASE{2.001, 0.001, 2}, CASE{2.01, 0.001, 3}, CASE{2.0, 0.0, 3}}) {
    PROBLEM p;
    p.options.minEnergy = 1.0;
    p.options.maxEnergy = 1e4;
    SetSection(&p.elems[0], 1, {{1, 2, 3}, {1, c.middle, 3}});
    p.elems[0].sectionN[0] = 0;
    p.Compose({{0, 1.0}});
    p.options.sigmaErr = c.sigmaErr;
    p.Build();
    EXPECT_EQ(p.Grid().size(), c.points) << c.middle << " " << c.sigmaErr;
    EXPECT_EQ(p.Grid().front(), 1.0);
    EXPECT_EQ(p.Grid().back(), 3.0);
  }
}

TEST(MaterialTable, ThinnedTableReproducesTheFullOneWithinSigmaErr) {
  PROBLEM p;
  SECTION curve;
  for (int i = 0; i <= 200; ++i) {
    const double e = std::pow(10.0, 0.02 * i);  // 1 eV .. 10 keV
    curve.energy.push_back(e);
    curve.cs.push_back(1e3 / std::sqrt(e) + std::log(e));
  }
  SetSection(&p.elems[0], 1, curve);
  p.elems[0].sectionN[0] = 0;
  p.Compose({{0, 1.0}});
  p.options.maxEnergy = 1e4;
  p.options.sigmaErr = 0.001;
  p.Build();
  const int n = p.material.nElectronEnergies;
  EXPECT_LT(n, 150);
  for (size_t j = 0; j < curve.energy.size(); ++j) {
    const double e = curve.energy[j];
    if (e < p.options.minEnergy) continue;
    int i = 0;
    while (i + 2 < n && p.material.electronEnergy[i + 1] <= e) ++i;
    const double value = ElectronSigmaAt(p.material, 0, false, i, e) / 1e-24;
    EXPECT_NEAR(value / curve.cs[j], 1.0, 0.001 * 1.0000001) << e;
  }
}

TEST(MaterialTable, PositronBremsstrahlungRowsCarryTheRatio) {
  EXPECT_EQ(PositronBremsRatio(0.1), 0.02);
  EXPECT_EQ(PositronBremsRatio(500000.0), 1.0);
  const double t0 = std::exp(5.87522);  // the two cubics meet here
  EXPECT_NEAR(PositronBremsRatio(t0 * (1 - 1e-12)), PositronBremsRatio(t0), 1e-9);
  EXPECT_NEAR(PositronBremsRatio(t0), 0.606133, 1e-12);

  PROBLEM p;
  const double z = 10.0;
  p.elems[0].Z = 10;
  // t = E / Z^2 = 0.1 eV at E = 10 eV, 500 keV at 50 MeV.
  SetSection(&p.elems[0], 1, {{10, 5e7, 6e7}, {4, 4, 4}});
  p.elems[0].sectionN[0] = 0;
  p.Compose({{0, 1.0}});
  p.options.maxEnergy = 5.5e7;
  p.options.positronRows = 1;
  p.Build();
  ASSERT_EQ(p.Grid(), (std::vector<double>{10, 5e7, 6e7}));
  EXPECT_NEAR(p.Own(0, 0, 1.0, true), 0.02 * 4, 1e-12);
  EXPECT_NEAR(p.Own(0, 1, 1.0, true), 4.0, 1e-12);
  EXPECT_NEAR(p.Own(0, 2, 1.0, true), 4.0, 1e-12);
  EXPECT_EQ(p.elems[0].Z * p.elems[0].Z, z * z);
  p.options.positronBremsCorrection = 0;
  FreeMaterialTable(&p.material);
  p.Build();
  EXPECT_NEAR(p.Own(0, 0, 1.0, true), 4.0, 1e-12);
}

TEST(MaterialTable, SmallAngleShareBelowTheElasticGridTakesItsFirstInterval) {
  PROBLEM p;
  p.options.minEnergy = 1.0;
  SetSection(&p.elems[0], 0, {{5, 100, 1e4}, {10, 5, 1}});
  SetSection(&p.elems[0], 1, {{1, 100, 1e4}, {2, 2, 2}});
  p.elems[0].smallAngleShare[0] = 0.5;
  p.elems[0].smallAngleShare[1] = 0.8;
  p.elems[0].smallAngleShare[2] = 0.9;
  p.elems[0].smallAngleShareSlope[0] = 0.3 / 95.0;
  p.elems[0].smallAngleShareSlope[1] = 0.1 / 9900.0;
  p.Compose({{0, 1.0}});
  p.options.smallAngleShares = 1;
  p.Build();
  ASSERT_EQ(p.Grid(), (std::vector<double>{1, 5, 100, 1e4}));
  const double* share = p.material.elasticSmallAngleShare[0];
  ASSERT_NE(share, nullptr);
  EXPECT_EQ(p.material.elasticSmallAngleShare[1], nullptr);
  EXPECT_NEAR(share[0], 0.5 - 4 * 0.3 / 95.0, 1e-15);
  EXPECT_NEAR(share[1], 0.5, 1e-15);
  EXPECT_NEAR(share[2], 0.8, 1e-15);
  EXPECT_EQ(p.material.elasticSmallAngleShareSlope[0][3], 0.0);
}

TEST(MaterialTable, FastIndexFollowsTheRequestAndMarksLogarithmicLookups) {
  PROBLEM p;
  SetSection(&p.elems[0], 1, {{1, 10, 100, 1e4}, {1, 2, 3, 4}});
  p.elems[0].sectionN[0] = 0;
  p.Compose({{0, 1.0}});
  p.options.index = {-2, 10};
  setup::use_electron_logE = 0;
  p.Build();
  EXPECT_NE(p.material.electronIndex.indexType, 0);
  EXPECT_EQ(setup::use_electron_logE, p.material.electronIndex.indexType < 0 ? 1 : 0);
  FreeMaterialTable(&p.material);
  p.options.index = {0, 10};
  p.Build();
  EXPECT_EQ(p.material.electronIndex.indexType, 0);  // binary search requested
  setup::use_electron_logE = 0;
}

}  // namespace
