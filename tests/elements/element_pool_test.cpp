// The pooled element array: every table of a loaded element reads the same
// through its packed record as in the staging record the loaders filled, at
// the capacities too; a byte copy of the pool at another address (what a
// device receives) reads and samples the same; and the capacity messages
// still stop a pooled load.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "driver/data/aux_electron_data.h"
#include "driver/data/aux_files.h"
#include "driver/data/element_loader.h"
#include "driver/data/element_pool.h"
#include "driver/data/fast_index.h"
#include "tests/support/endf_fixture.h"
#include "tests/support/test_paths.h"
#include "transport/electron_interactions.h"
#include "transport/photon_flight.h"
#include "transport/photon_interactions.h"
#include "transport/relaxation.h"

namespace {

// Compares tables of a staging record with those of a packed record and
// reports the first few that differ (byte for byte, so that NaNs compare too).
class TABLECHECK {
 public:
  explicit TABLECHECK(int z) : z_(z) {}
  ~TABLECHECK() {
    if (differ_ > 0) ADD_FAILURE() << "Z=" << z_ << ": " << differ_ << " tables differ, first: " << first_;
  }
  int64_t Compared() const { return compared_; }

  // n values; a table of no values must be null in the pool.
  template <typename T>
  void Same(const std::string& what, const T* staged, const T* packed, int64_t n) {
    ++compared_;
    const bool same = n <= 0 ? packed == nullptr
                             : staged != nullptr && packed != nullptr &&
                                   std::memcmp(staged, packed, static_cast<size_t>(n) * sizeof(T)) == 0;
    if (same) return;
    if (differ_++ == 0) first_ = what + " (" + std::to_string(n) + " values)";
  }
  template <typename A>
  void SameArray(const std::string& what, const A& staged, const A& packed) {
    Same(what, reinterpret_cast<const char*>(&staged), reinterpret_cast<const char*>(&packed), sizeof(A));
  }
  template <typename T>
  void SameValue(const std::string& what, T staged, T packed) {
    Same(what, &staged, &packed, 1);
  }

 private:
  int z_;
  int64_t compared_ = 0;
  int differ_ = 0;
  std::string first_;
};

std::string Row(const char* name, int i) { return std::string(name) + "[" + std::to_string(i) + "]"; }
std::string Row(const char* name, int i, int j) { return Row(name, i) + "[" + std::to_string(j) + "]"; }

void SameIndex(TABLECHECK& check, const std::string& what, const INDEXDATA& staged, const ELEMINDEX& packed) {
  check.SameValue(what + ".indexType", staged.indexType, packed.indexType);
  check.SameValue(what + ".exponent", staged.exponent, packed.exponent);
  check.SameValue(what + ".xStart", staged.xStart, packed.xStart);
  check.SameValue(what + ".tStart", staged.tStart, packed.tStart);
  check.SameValue(what + ".invStep", staged.invStep, packed.invStep);
  check.SameValue(what + ".xMax", staged.xMax, packed.xMax);
  check.SameValue(what + ".indexOffset", staged.indexOffset, packed.indexOffset);
  const int32_t n = staged.indexType != 0 ? indexSize[staged.exponent] : 0;
  std::vector<int16_t> entries(n);
  for (int32_t j = 0; j < n; ++j) entries[j] = static_cast<int16_t>(IndexEntry(packed, j));
  check.Same(what + " entries", staged.intervalIndex, entries.data(), n);
  // Two levels where they serve, else one table of entries, of one or two
  // bytes as their values need.
  check.SameValue(what + " coarseShift", TwoLevelIndex(staged).shift, packed.coarseShift);
  const bool narrow = packed.coarseShift == 0 && n > 0 && *std::min_element(entries.begin(), entries.end()) >= 0 &&
                      *std::max_element(entries.begin(), entries.end()) <= 255;
  check.SameValue(what + " narrow", narrow, packed.coarseShift == 0 && packed.narrowIndex.get() != nullptr);
  check.SameValue(what + " wide", n > 0 && !narrow, packed.intervalIndex.get() != nullptr);
  // The flags that stay behind follow from the entries.
  if (staged.doubleStep != nullptr) {
    std::vector<uint8_t> flags(n, 0);
    for (int32_t j = 1; j < n; ++j) flags[j] = entries[j] - entries[j - 1] == 2 ? 1 : 0;
    check.Same(what + " doubleStep", staged.doubleStep + 1, flags.data() + 1, n - 1);
  }
}

// Every field and table of the element, walked by the record's own counts.
void ExpectSameElement(const ElemStaging& s, const Elem& r) {
  TABLECHECK check(s.Z);
  // Scalars and small arrays.
  check.SameValue("Z", s.Z, r.Z);
  check.SameValue("nSections", s.nSections, r.nSections);
  check.SameValue("nSubshells", s.nSubshells, r.nSubshells);
  check.SameValue("smallAngleStart", s.smallAngleStart, r.smallAngleStart);
  check.SameArray("ionSpecEnergy", s.ionSpecEnergy, r.ionSpecEnergy);
  check.SameArray("bremsSpecEnergy", s.bremsSpecEnergy, r.bremsSpecEnergy);
  check.SameArray("elasticEnergy", s.elasticEnergy, r.elasticEnergy);
  check.SameArray("elasticN", s.elasticN, r.elasticN);
  check.SameArray("elasticMedian", s.elasticMedian, r.elasticMedian);
  check.SameArray("bremsSpecMeanK", s.bremsSpecMeanK, r.bremsSpecMeanK);
  check.SameArray("bremsSpecMeanRatio", s.bremsSpecMeanRatio, r.bremsSpecMeanRatio);
  check.SameArray("elasticModelEta0", s.elasticModelEta0, r.elasticModelEta0);
  check.SameArray("sectionN", s.sectionN, r.sectionN);
  check.SameArray("ionSpecNE", s.ionSpecNE, r.ionSpecNE);
  check.SameArray("ionSpecN", s.ionSpecN, r.ionSpecN);
  check.SameArray("ionSpecMedian", s.ionSpecMedian, r.ionSpecMedian);
  check.SameArray("bremsSpecN", s.bremsSpecN, r.bremsSpecN);
  check.SameArray("bremsSpecMedian", s.bremsSpecMedian, r.bremsSpecMedian);
  check.SameArray("ionDesignator", s.ionDesignator, r.ionDesignator);
  check.SameArray("bindingEnergy", s.bindingEnergy, r.bindingEnergy);
  check.SameArray("subshellDesignator", s.subshellDesignator, r.subshellDesignator);
  check.SameArray("occupancy", s.occupancy, r.occupancy);
  check.SameArray("profileIndex", s.profileIndex, r.profileIndex);
  check.SameArray("nTransitions", s.nTransitions, r.nTransitions);
  check.SameArray("cumOccupancy", s.cumOccupancy, r.cumOccupancy);
  check.SameArray("pePar", s.pePar, r.pePar);
  check.SameArray("photoionN", s.photoionN, r.photoionN);
  check.SameArray("elasticNPositron", s.elasticNPositron, r.elasticNPositron);
  check.SameArray("elasticMedianPositron", s.elasticMedianPositron, r.elasticMedianPositron);
  const int16_t staged[] = {s.excLossN, s.bremsSpecNE, s.elasticNE, s.bremsLossN, s.cohN, s.incohN,
                            s.ffN,      s.sfN,         s.anomImagN, s.anomRealN,  s.ppN};
  const int16_t packed[] = {r.excLossN, r.bremsSpecNE, r.elasticNE, r.bremsLossN, r.cohN, r.incohN,
                            r.ffN,      r.sfN,         r.anomImagN, r.anomRealN,  r.ppN};
  check.SameArray("counts", staged, packed);
  const double constants[] = {s.screeningEta0, s.screeningCoulomb, s.atomicMass, s.partialConc};
  const double packedConstants[] = {r.screeningEta0, r.screeningCoulomb, r.atomicMass, r.partialConc};
  check.SameArray("element constants", constants, packedConstants);

  // Electro-atomic tables.
  for (int k = 0; k < s.nSections; ++k) {
    check.Same(Row("sectionEnergy", k), s.sectionEnergy[k], r.sectionEnergy[k].get(), s.sectionN[k]);
    check.Same(Row("sectionCs", k), s.sectionCs[k], r.sectionCs[k].get(), s.sectionN[k]);
    check.Same(Row("sectionSlope", k), s.sectionSlope[k], r.sectionSlope[k].get(), s.sectionN[k]);
    check.Same(Row("sectionCsPositron", k), s.sectionCsPositron[k], r.sectionCsPositron[k].get(), s.sectionN[k]);
    check.Same(Row("sectionSlopePositron", k), s.sectionSlopePositron[k], r.sectionSlopePositron[k].get(),
               s.sectionN[k]);
  }
  const int share = s.sectionN[0] < kMaxSmallAnglePoints ? s.sectionN[0] : kMaxSmallAnglePoints;
  check.Same("smallAngleShare", s.smallAngleShare, r.smallAngleShare.get(), share);
  check.Same("smallAngleShareSlope", s.smallAngleShareSlope, r.smallAngleShareSlope.get(), share);
  check.Same("excLossEnergy", s.excLossEnergy, r.excLossEnergy.get(), s.excLossN);
  check.Same("excLoss", s.excLoss, r.excLoss.get(), s.excLossN);
  check.Same("excLossSlope", s.excLossSlope, r.excLossSlope.get(), s.excLossN);
  check.Same("bremsLossEnergy", s.bremsLossEnergy, r.bremsLossEnergy.get(), s.bremsLossN);
  check.Same("bremsLoss", s.bremsLoss, r.bremsLoss.get(), s.bremsLossN);
  check.Same("bremsLossSlope", s.bremsLossSlope, r.bremsLossSlope.get(), s.bremsLossN);
  for (int k = 0; k < s.nSubshells; ++k) {
    for (int e = 0; e < s.ionSpecNE[k]; ++e) {
      const int n = s.ionSpecN[k][e];
      check.Same(Row("ionSpecX", k, e), s.ionSpecX[k][e], r.ionSpecX[k][e].get(), n);
      check.Same(Row("ionSpecPdf", k, e), s.ionSpecPdf[k][e], r.ionSpecPdf[k][e].get(), n);
      check.Same(Row("ionSpecCum", k, e), s.ionSpecCum[k][e], r.ionSpecCum[k][e].get(), n);
      check.Same(Row("ionSpecSlope", k, e), s.ionSpecSlope[k][e], r.ionSpecSlope[k][e].get(), n);
    }
  }
  for (int e = 0; e < s.bremsSpecNE; ++e) {
    const int n = s.bremsSpecN[e];
    check.Same(Row("bremsSpecX", e), s.bremsSpecX[e], r.bremsSpecX[e].get(), n);
    check.Same(Row("bremsSpecPdf", e), s.bremsSpecPdf[e], r.bremsSpecPdf[e].get(), n);
    check.Same(Row("bremsSpecCum", e), s.bremsSpecCum[e], r.bremsSpecCum[e].get(), n);
    check.Same(Row("bremsSpecSlope", e), s.bremsSpecSlope[e], r.bremsSpecSlope[e].get(), n);
  }
  for (int e = 0; e < s.elasticNE; ++e) {
    const int n = s.elasticN[e], np = s.elasticNPositron[e];
    check.Same(Row("elasticCos", e), s.elasticCos[e], r.elasticCos[e].get(), n);
    check.Same(Row("elasticPdf", e), s.elasticPdf[e], r.elasticPdf[e].get(), n);
    check.Same(Row("elasticCum", e), s.elasticCum[e], r.elasticCum[e].get(), n);
    check.Same(Row("elasticSlope", e), s.elasticSlope[e], r.elasticSlope[e].get(), n);
    check.Same(Row("elasticCosPositron", e), s.elasticCosPositron[e], r.elasticCosPositron[e].get(), np);
    check.Same(Row("elasticPdfPositron", e), s.elasticPdfPositron[e], r.elasticPdfPositron[e].get(), np);
    check.Same(Row("elasticCumPositron", e), s.elasticCumPositron[e], r.elasticCumPositron[e].get(), np);
    check.Same(Row("elasticSlopePositron", e), s.elasticSlopePositron[e], r.elasticSlopePositron[e].get(), np);
  }
  // The wide-interval model is read only where eta0 is set.
  for (int set = 0; set < 2; ++set) {
    for (int e = 0; e < s.elasticNE; ++e) {
      if (s.elasticModelEta0[set][e] == 0.0) continue;
      check.Same(Row("elasticModelLnEta", set, e), s.elasticModelLnEta[set][e], r.elasticModelLnEta[set][e],
                 kElasticModelPoints);
    }
  }

  // Bremsstrahlung photon angles.
  check.SameValue("bremsAngular present", s.bremsAngN != nullptr, r.bremsAngN.get() != nullptr);
  if (s.bremsAngN != nullptr) {
    for (int e = 0; e < s.bremsSpecNE; ++e) {
      check.Same(Row("bremsAngN", e), s.bremsAngN[e], r.bremsAngN[e].get(), s.bremsSpecN[e]);
      check.Same(Row("bremsAngMedian", e), s.bremsAngMedian[e], r.bremsAngMedian[e].get(), s.bremsSpecN[e]);
      for (int k = 0; k < s.bremsSpecN[e]; ++k) {
        const int n = s.bremsAngN[e][k];
        check.Same(Row("bremsAngCos", e, k), s.bremsAngCos[e][k], r.bremsAngCos[e][k].get(), n);
        check.Same(Row("bremsAngPdf", e, k), s.bremsAngPdf[e][k], r.bremsAngPdf[e][k].get(), n);
        check.Same(Row("bremsAngCum", e, k), s.bremsAngCum[e][k], r.bremsAngCum[e][k].get(), n);
        check.Same(Row("bremsAngSlope", e, k), s.bremsAngSlope[e][k], r.bremsAngSlope[e][k].get(), n);
      }
    }
  }

  // Relaxation.
  for (int d = 0; d < kMaxDesignator; ++d) {
    const int n = s.nTransitions[d];
    check.Same(Row("transEnergy", d), s.transEnergy[d], r.transEnergy[d].get(), n);
    check.Same(Row("transProb", d), s.transProb[d], r.transProb[d].get(), n);
    check.Same(Row("transCum", d), s.transCum[d], r.transCum[d].get(), n);
    check.Same(Row("transFill", d), s.transFill[d], r.transFill[d].get(), n);
    check.Same(Row("transEmit", d), s.transEmit[d], r.transEmit[d].get(), n);
  }

  // Photo-atomic tables.
  for (int k = 0; k < s.nSubshells; ++k) {
    const int n = s.photoionN[k];
    check.Same(Row("photoionEnergy", k), s.photoionEnergy[k], r.photoionEnergy[k].get(), n);
    check.Same(Row("photoionCs", k), s.photoionCs[k], r.photoionCs[k].get(), n);
    check.Same(Row("photoionLnEnergy", k), s.photoionLnEnergy[k], r.photoionLnEnergy[k].get(), n);
    check.Same(Row("photoionLnCs", k), s.photoionLnCs[k], r.photoionLnCs[k].get(), n);
    check.Same(Row("photoionSlope", k), s.photoionSlope[k], r.photoionSlope[k].get(), n);
  }
  const struct {
    const char* name;
    const double* staged;
    const REL<double>& packed;
    int n;
  } tables[] = {
      {"cohEnergy", s.cohEnergy, r.cohEnergy, s.cohN},
      {"cohCs", s.cohCs, r.cohCs, s.cohN},
      {"cohLnEnergy", s.cohLnEnergy, r.cohLnEnergy, s.cohN},
      {"cohLnCs", s.cohLnCs, r.cohLnCs, s.cohN},
      {"cohSlope", s.cohSlope, r.cohSlope, s.cohN},
      {"incohEnergy", s.incohEnergy, r.incohEnergy, s.incohN},
      {"incohCs", s.incohCs, r.incohCs, s.incohN},
      {"incohLnEnergy", s.incohLnEnergy, r.incohLnEnergy, s.incohN},
      {"incohLnCs", s.incohLnCs, r.incohLnCs, s.incohN},
      {"incohSlope", s.incohSlope, r.incohSlope, s.incohN},
      {"ffX", s.ffX, r.ffX, s.ffN},
      {"ff", s.ff, r.ff, s.ffN},
      {"ffLnX", s.ffLnX, r.ffLnX, s.ffN},
      {"ffLnY", s.ffLnY, r.ffLnY, s.ffN},
      {"ffSlope", s.ffSlope, r.ffSlope, s.ffN},
      {"ffIntF2", s.ffIntF2, r.ffIntF2, s.ffN},
      {"ffIntF", s.ffIntF, r.ffIntF, s.ffN},
      {"sfX", s.sfX, r.sfX, s.sfN},
      {"sf", s.sf, r.sf, s.sfN},
      {"sfLnX", s.sfLnX, r.sfLnX, s.sfN},
      {"sfLnY", s.sfLnY, r.sfLnY, s.sfN},
      {"sfSlope", s.sfSlope, r.sfSlope, s.sfN},
      {"anomImagX", s.anomImagX, r.anomImagX, s.anomImagN},
      {"anomImag", s.anomImag, r.anomImag, s.anomImagN},
      {"anomImagSlope", s.anomImagSlope, r.anomImagSlope, s.anomImagN},
      {"anomRealX", s.anomRealX, r.anomRealX, s.anomRealN},
      {"anomReal", s.anomReal, r.anomReal, s.anomRealN},
      {"anomRealSlope", s.anomRealSlope, r.anomRealSlope, s.anomRealN},
      {"ppEnergy", s.ppEnergy, r.ppEnergy, s.ppN},
      {"ppCs", s.ppCs, r.ppCs, s.ppN},
      {"ppLnEnergy", s.ppLnEnergy, r.ppLnEnergy, s.ppN},
      {"ppLnCs", s.ppLnCs, r.ppLnCs, s.ppN},
      {"ppSlope", s.ppSlope, r.ppSlope, s.ppN},
  };
  for (const auto& t : tables) check.Same(t.name, t.staged, t.packed.get(), t.n);

  // Sampling tables built at load time.
  check.SameValue("peAngular present", s.peAngCos != nullptr, r.peAngCos.get() != nullptr);
  if (s.peAngCos != nullptr) {
    check.SameValue("peAngN", s.peAngN, r.peAngN);
    for (int k = 0; k < s.nSubshells; ++k) {
      check.Same(Row("peAngMedian", k), s.peAngMedian[k], r.peAngMedian[k].get(), s.photoionN[k]);
      for (int i = 0; i < s.photoionN[k]; ++i) {
        const int n = s.peAngCos[k][i] != nullptr ? s.peAngN : 0;
        check.Same(Row("peAngCos", k, i), s.peAngCos[k][i], r.peAngCos[k][i], n);
        check.Same(Row("peAngPdf", k, i), s.peAngPdf[k][i], r.peAngPdf[k][i], n);
        check.Same(Row("peAngCum", k, i), s.peAngCum[k][i], r.peAngCum[k][i], n);
        check.Same(Row("peAngSlope", k, i), s.peAngSlope[k][i], r.peAngSlope[k][i], n);
      }
    }
  }
  check.SameValue("ppSpec present", s.ppSpecX != nullptr, r.ppSpecX.get() != nullptr);
  if (s.ppSpecX != nullptr) {
    for (int j = 0; j < kPairEnergies; ++j) {
      const int n = s.ppSpecX[j] != nullptr ? s.ppSpecN[j] : 0;
      check.SameValue(Row("ppSpecN", j), s.ppSpecN[j], r.ppSpecN[j]);
      check.SameValue(Row("ppSpecMedian", j), s.ppSpecMedian[j], r.ppSpecMedian[j]);
      check.Same(Row("ppSpecX", j), s.ppSpecX[j], r.ppSpecX[j].get(), n);
      check.Same(Row("ppSpecPdf", j), s.ppSpecPdf[j], r.ppSpecPdf[j].get(), n);
      check.Same(Row("ppSpecCum", j), s.ppSpecCum[j], r.ppSpecCum[j].get(), n);
      check.Same(Row("ppSpecSlope", j), s.ppSpecSlope[j], r.ppSpecSlope[j].get(), n);
    }
  }
  check.SameValue("profiles present", s.profileQ != nullptr, r.profileQ.get() != nullptr);
  if (s.profileQ != nullptr) {
    check.SameValue("nProfiles", s.nProfiles, r.nProfiles);
    check.Same("profileQ", s.profileQ, r.profileQ.get(), kComptonMomenta);
    check.Same("profileMedian", s.profileMedian, r.profileMedian.get(), s.nProfiles);
    for (int k = 0; k < s.nProfiles; ++k) {
      check.Same(Row("profileJ", k), s.profileJ[k], r.profileJ[k].get(), kComptonMomenta);
      check.Same(Row("profileCum", k), s.profileCum[k], r.profileCum[k].get(), kComptonMomenta);
      check.Same(Row("profileSlope", k), s.profileSlope[k], r.profileSlope[k].get(), kComptonMomenta);
    }
  }

  // Fast indexes.
  SameIndex(check, "excLossIndex", s.excLossIndex, r.excLossIndex);
  SameIndex(check, "elasticEnergyIndex", s.elasticEnergyIndex, r.elasticEnergyIndex);
  for (int k = 0; k < s.nSubshells; ++k) {
    SameIndex(check, Row("ionSpecEnergyIndex", k), s.ionSpecEnergyIndex[k], r.ionSpecEnergyIndex[k]);
    for (int e = 0; e < s.ionSpecNE[k]; ++e)
      SameIndex(check, Row("ionSpecCumIndex", k, e), s.ionSpecCumIndex[k][e], r.ionSpecCumIndex[k][e]);
  }
  for (int e = 0; e < s.elasticNE; ++e)
    SameIndex(check, Row("elasticCumIndex", e), s.elasticCumIndex[e], r.elasticCumIndex[e]);
  EXPECT_GT(check.Compared(), 100);
}

// Staging records that free their tables, the pool they are packed into,
// and the pool that LoadElements builds from the same data (its indexes
// built after packing, from the pooled grids).
struct LOADEDSET {
  std::vector<std::unique_ptr<ElemStaging>> staged;
  ELEMENTPOOL pool;
  ELEMENTPOOL loaded;
  ~LOADEDSET() {
    for (auto& s : staged) FreeElementTables(s.get());
    FreeElementPool(&pool);
    FreeElementPool(&loaded);
  }
  void Pack() {
    StartElementPool(static_cast<int>(staged.size()), &pool);
    for (size_t i = 0; i < staged.size(); ++i) {
      const int64_t before = pool.bytes;
      AddElementToPool(*staged[i], static_cast<int>(i), &pool);
      // The table bytes counted beforehand are what the element took.
      EXPECT_LE(pool.bytes - before - PackedTableBytes(*staged[i]), 7) << "element " << i;
    }
  }
};

// Elements with the default physics of a run when the auxiliary data files
// were built (partial-wave elastic, DWBA ionization, bremsstrahlung angles,
// Compton profiles, photoelectron and pair tables), else from the ENDF files
// and the Compton profiles only.
bool LoadSet(const std::vector<int>& zs, LOADEDSET* set) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = EndfFolder();
  options.minEnergy = 1e4;
  options.maxEnergy = 1e6;
  const std::string built = BuiltAuxDataFolder();
  const int count = static_cast<int>(zs.size());
  AUXELECTRONDATA aux, again;
  AUXELECTRONDATA* auxData = nullptr;
  if (!built.empty()) {
    options.dataFolder = built;
    for (AUXELECTRONDATA* a : {&aux, &again}) {
      if (OpenAuxiliaryDataFiles(options, &a->files) != 0) return false;
      if (ReadAltCrossSectionsInfo(nullptr, "", zs.data(), count, nullptr, &a->alt) != 0) return false;
    }
    auxData = &aux;
  } else {
    options.dataFolder = SharedDataFolder() + "aux/";
    options.elasticDpw = 0;
  }
  bool ok = true;
  testing::internal::CaptureStdout();
  for (int i = 0; i < count && ok; ++i) {
    set->staged.emplace_back(new ElemStaging());
    ok = LoadElement(zs[i], options, auxData, i, set->staged.back().get()) == 0;
  }
  if (ok) ok = LoadElements(zs.data(), count, options, auxData != nullptr ? &again : nullptr, &set->loaded) == 0;
  testing::internal::GetCapturedStdout();
  CloseAuxiliaryDataFiles(&aux.files);
  CloseAuxiliaryDataFiles(&again.files);
  if (ok) set->Pack();
  return ok;
}

const std::vector<int> kElements = {1, 6, 26, 82};

TEST(ElementPool, EveryPackedTableEqualsTheStagedOne) {
  LOADEDSET set;
  ASSERT_TRUE(LoadSet(kElements, &set));
  for (size_t i = 0; i < kElements.size(); ++i) {
    ExpectSameElement(*set.staged[i], set.pool.elements[i]);
    ExpectSameElement(*set.staged[i], set.loaded.elements[i]);
  }
  // The pool is sized to its data: well below one fixed-capacity record per element.
  EXPECT_LT(set.pool.bytes, static_cast<int64_t>(kElements.size() * sizeof(ElemStaging)));
}

// Draws of the transport's samplers and cross sections on element g of an
// element array, at a fixed set of probabilities and energies.
std::vector<double> Draws(const Elem* elements, int g) {
  const Elem& el = elements[g];
  std::vector<double> v;
  const double energies[] = {1.2e4, 5e4, 3.1e5, 9.9e5};
  for (int k = 0; k < 64; ++k) {
    const double r = (k + 0.5) / 64.0;
    for (double E : energies) {
      v.push_back(SampleElasticCosine(r, el, ElectronElasticSet(el), E, 1));
      if (el.elasticNPositron[0] > 0) v.push_back(SampleElasticCosine(r, el, PositronElasticSet(el), E, 1));
      for (int s = 0; s < el.nSubshells; ++s) {
        if (el.ionSpecNE[s] >= 2) v.push_back(SampleKnockOnEnergy(r, el, s, E, 1));
      }
      const BREMSSAMPLE b = SampleBremsPhotonEnergy(r, el, E, 1);
      v.push_back(b.k);
      if (el.bremsAngCos != nullptr) v.push_back(SampleBremsTableCosine(1.0 - r, el, b, 1));
      const int16_t i = EnergyInterval(E, el.excLossEnergy, el.excLossN, el.excLossIndex);
      v.push_back(el.excLoss[i] + (E - el.excLossEnergy[i]) * el.excLossSlope[i]);
      PHOTONELEMENTCACHE c{};
      v.push_back(PhotonElementCrossSections(el, E, std::log(E), true, 1.022e6, c));
      int16_t hint = 0;
      v.push_back(FormFactor(el, r * 10.0, hint));
    }
    for (int p = 0; p < el.nProfiles; ++p) v.push_back(ProfileMomentum(el, p, r, 1));
    for (int d = 0; d < kMaxDesignator; ++d) {
      if (el.nTransitions[d] <= 0) continue;
      const RELAXTRANSITION t = SampleTransition(el, d, r);
      v.insert(v.end(), {t.energy, static_cast<double>(t.fill), static_cast<double>(t.emit)});
    }
    if (el.peAngCos != nullptr && el.peAngCos[0][0] != nullptr) {
      int16_t interval = 0;
      v.push_back(ValueFromProb(r, el.peAngCos[0][0], el.peAngPdf[0][0], el.peAngCum[0][0], el.peAngSlope[0][0],
                                el.peAngN, el.peAngMedian[0][0], 1, interval));
    }
    if (el.ppSpecX != nullptr && el.ppSpecX[1] != nullptr) {
      int16_t interval = 0;
      v.push_back(ValueFromProb(r, el.ppSpecX[1], el.ppSpecPdf[1], el.ppSpecCum[1], el.ppSpecSlope[1], el.ppSpecN[1],
                                el.ppSpecMedian[1], 1, interval));
    }
  }
  return v;
}

// What a device receives: the pool copied byte for byte to another address
// (here 8 bytes off a 16-byte boundary), the original released. The copy
// reads every table the same and samples the same values.
TEST(ElementPool, ByteCopyAtAnotherAddressReadsAndSamplesTheSame) {
  LOADEDSET set;
  ASSERT_TRUE(LoadSet(kElements, &set));
  std::vector<std::vector<double>> before;
  for (size_t g = 0; g < kElements.size(); ++g) before.push_back(Draws(set.pool.elements, static_cast<int>(g)));

  const int64_t bytes = set.pool.bytes;
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(bytes) + 16]);
  char* copy = buffer.get() + 8;
  std::memcpy(copy, set.pool.elements, static_cast<size_t>(bytes));
  FreeElementPool(&set.pool);  // no reference may lead back into the released block
  const Elem* elements = reinterpret_cast<const Elem*>(copy);

  for (size_t g = 0; g < kElements.size(); ++g) {
    ExpectSameElement(*set.staged[g], elements[g]);
    const std::vector<double> after = Draws(elements, static_cast<int>(g));
    ASSERT_EQ(after.size(), before[g].size());
    EXPECT_EQ(std::memcmp(after.data(), before[g].data(), after.size() * sizeof(double)), 0) << "Z=" << kElements[g];
  }
}

// Every table filled to its capacity, with arbitrary bytes (NaNs included),
// packs whole: the capacities bound the pooled tables as they bound the
// staging record's.
TEST(ElementPool, TablesAtTheirCapacitiesPackWhole) {
  LOADEDSET set;
  set.staged.emplace_back(new ElemStaging());
  ElemStaging& s = *set.staged.back();
  std::mt19937_64 bytes(20241210u);
  uint64_t* words = reinterpret_cast<uint64_t*>(&s);
  for (size_t i = 0; i < sizeof(ElemStaging) / sizeof(uint64_t); ++i) words[i] = bytes();
  // Counts at their capacities, host tables and indexes to be allocated below.
  s.Z = 92;
  s.nSections = kMaxSections;
  s.nSubshells = kMaxIonSubshells;
  for (int16_t& n : s.sectionN) n = kMaxSectionPoints;
  s.excLossN = kMaxSectionPoints;
  s.bremsLossN = kMaxLossPoints;
  s.bremsSpecNE = kMaxSpectrumEnergies;
  s.elasticNE = kMaxElasticEnergies;
  for (int16_t& n : s.ionSpecNE) n = kMaxSpectrumEnergies;
  for (auto& row : s.ionSpecN)
    for (int16_t& n : row) n = kMaxSpectrumPoints;
  for (int16_t& n : s.bremsSpecN) n = kMaxSpectrumPoints;
  for (int16_t& n : s.elasticN) n = kMaxElasticPoints;
  for (int16_t& n : s.elasticNPositron) n = kMaxElasticPoints;
  for (int16_t& n : s.nTransitions) n = kMaxTransitions;
  for (int16_t& n : s.photoionN) n = kMaxPhotoionPoints;
  s.cohN = kMaxCoherentPoints;
  s.ffN = kMaxFormFactorPoints;
  s.incohN = s.sfN = s.anomImagN = s.anomRealN = s.ppN = kMaxPhotonPoints;
  s.excLossIndex = s.elasticEnergyIndex = INDEXDATA{};
  for (INDEXDATA& index : s.ionSpecEnergyIndex) index = INDEXDATA{};
  for (auto& row : s.ionSpecCumIndex)
    for (INDEXDATA& index : row) index = INDEXDATA{};
  for (INDEXDATA& index : s.elasticCumIndex) index = INDEXDATA{};
  // Two indexes of the largest exponent: entries up to 999 with the flags of
  // a 2-breakpoint index, and entries that fit one byte.
  INDEXDATA& big = s.elasticCumIndex[kMaxElasticEnergies - 1];
  INDEXDATA& narrow = s.elasticCumIndex[0];
  big.indexType = 2;
  narrow.indexType = 1;
  big.exponent = narrow.exponent = kIndexExponentMax;
  big.intervalIndex = new int16_t[indexSize[kIndexExponentMax]];
  big.doubleStep = new uint8_t[indexSize[kIndexExponentMax]];
  narrow.intervalIndex = new int16_t[indexSize[kIndexExponentMax]];
  for (int j = 0; j < indexSize[kIndexExponentMax]; ++j) {
    big.intervalIndex[j] = static_cast<int16_t>(j * 3 / 2 % 1000);
    big.doubleStep[j] = j > 0 && big.intervalIndex[j] - big.intervalIndex[j - 1] == 2 ? 1 : 0;
    narrow.intervalIndex[j] = static_cast<int16_t>(j % 256);
  }
  // Host tables at their capacities.
  s.bremsAngCos = s.bremsAngPdf = s.bremsAngCum = s.bremsAngSlope = nullptr;
  s.bremsAngN = nullptr;
  s.bremsAngMedian = nullptr;
  s.peAngCos = s.peAngPdf = s.peAngCum = s.peAngSlope = nullptr;
  s.peAngMedian = nullptr;
  s.ppSpecX = s.ppSpecPdf = s.ppSpecCum = s.ppSpecSlope = nullptr;
  s.ppSpecN = s.ppSpecMedian = nullptr;
  s.profileQ = nullptr;
  s.profileJ = s.profileCum = s.profileSlope = nullptr;
  s.profileMedian = nullptr;
  const auto values = [&](int n) {
    double* v = new double[n];
    for (int i = 0; i < n; ++i) v[i] = static_cast<double>(bytes() >> 11);
    return v;
  };
  s.bremsAngCos = new double**[kMaxSpectrumEnergies];
  s.bremsAngPdf = new double**[kMaxSpectrumEnergies];
  s.bremsAngCum = new double**[kMaxSpectrumEnergies];
  s.bremsAngSlope = new double**[kMaxSpectrumEnergies];
  s.bremsAngN = new int32_t*[kMaxSpectrumEnergies];
  s.bremsAngMedian = new int16_t*[kMaxSpectrumEnergies];
  for (int e = 0; e < kMaxSpectrumEnergies; ++e) {
    s.bremsAngCos[e] = new double*[kMaxSpectrumPoints];
    s.bremsAngPdf[e] = new double*[kMaxSpectrumPoints];
    s.bremsAngCum[e] = new double*[kMaxSpectrumPoints];
    s.bremsAngSlope[e] = new double*[kMaxSpectrumPoints];
    s.bremsAngN[e] = new int32_t[kMaxSpectrumPoints];
    s.bremsAngMedian[e] = new int16_t[kMaxSpectrumPoints]();
    for (int k = 0; k < kMaxSpectrumPoints; ++k) {
      s.bremsAngN[e][k] = kMaxBremsAngularPoints;
      s.bremsAngCos[e][k] = values(kMaxBremsAngularPoints);
      s.bremsAngPdf[e][k] = values(kMaxBremsAngularPoints);
      s.bremsAngCum[e][k] = values(kMaxBremsAngularPoints);
      s.bremsAngSlope[e][k] = values(kMaxBremsAngularPoints);
    }
  }
  s.nProfiles = kMaxDesignator;
  s.profileQ = values(kComptonMomenta);
  s.profileJ = new double*[kMaxDesignator];
  s.profileCum = new double*[kMaxDesignator];
  s.profileSlope = new double*[kMaxDesignator];
  s.profileMedian = new int16_t[kMaxDesignator]();
  for (int p = 0; p < kMaxDesignator; ++p) {
    s.profileJ[p] = values(kComptonMomenta);
    s.profileCum[p] = values(kComptonMomenta);
    s.profileSlope[p] = values(kComptonMomenta);
  }
  s.ppSpecX = new double*[kPairEnergies];
  s.ppSpecPdf = new double*[kPairEnergies];
  s.ppSpecCum = new double*[kPairEnergies];
  s.ppSpecSlope = new double*[kPairEnergies];
  s.ppSpecN = new int16_t[kPairEnergies];
  s.ppSpecMedian = new int16_t[kPairEnergies]();
  for (int j = 0; j < kPairEnergies; ++j) {
    s.ppSpecN[j] = kPairTablePoints;
    s.ppSpecX[j] = values(kPairTablePoints);
    s.ppSpecPdf[j] = values(kPairTablePoints);
    s.ppSpecCum[j] = values(kPairTablePoints);
    s.ppSpecSlope[j] = values(kPairTablePoints);
  }
  // Photoelectron tables of the last subshell only (the others have none).
  s.peAngN = 21;
  s.peAngCos = new double**[kMaxIonSubshells]();
  s.peAngPdf = new double**[kMaxIonSubshells]();
  s.peAngCum = new double**[kMaxIonSubshells]();
  s.peAngSlope = new double**[kMaxIonSubshells]();
  s.peAngMedian = new int16_t*[kMaxIonSubshells]();
  const int last = kMaxIonSubshells - 1;
  s.peAngCos[last] = new double*[kMaxPhotoionPoints];
  s.peAngPdf[last] = new double*[kMaxPhotoionPoints];
  s.peAngCum[last] = new double*[kMaxPhotoionPoints];
  s.peAngSlope[last] = new double*[kMaxPhotoionPoints];
  s.peAngMedian[last] = new int16_t[kMaxPhotoionPoints]();
  for (int i = 0; i < kMaxPhotoionPoints; ++i) {
    s.peAngCos[last][i] = values(s.peAngN);
    s.peAngPdf[last][i] = values(s.peAngN);
    s.peAngCum[last][i] = values(s.peAngN);
    s.peAngSlope[last][i] = values(s.peAngN);
  }
  for (int k = 0; k < last; ++k) s.photoionN[k] = 0;

  set.Pack();
  ExpectSameElement(s, set.pool.elements[0]);
  const Elem& r = set.pool.elements[0];
  EXPECT_EQ(r.sectionEnergy[kMaxSections - 1][kMaxSectionPoints - 1],
            s.sectionEnergy[kMaxSections - 1][kMaxSectionPoints - 1]);
  EXPECT_EQ(r.elasticCum[kMaxElasticEnergies - 1][kMaxElasticPoints - 1],
            s.elasticCum[kMaxElasticEnergies - 1][kMaxElasticPoints - 1]);
  EXPECT_EQ(IndexEntry(r.elasticCumIndex[kMaxElasticEnergies - 1], indexSize[kIndexExponentMax] - 1),
            big.intervalIndex[indexSize[kIndexExponentMax] - 1]);
}

// A table one past its capacity still stops a pooled load with its message
// and exit code 1; what was pooled before is released with the pool.
TEST(ElementPool, CapacityMessagesStopAPooledLoad) {
  const struct {
    const char* what;
    int mf, mt, row, field;
    const char* value;
    const char* message;
  } cases[] = {
      {"section of 1001 points", 23, 528, 3, 1, "1001", "Wrong format of the ENDF input file (code = 23528).\n"},
      {"elastic 101 energies", 26, 526, 5, 1, "101", "Wrong format of the ENDF input file (code = 26526).\n"},
      {"knock-on spectrum of 161 points", 26, 534, 7, 6, "161",
       "Wrong format of the ENDF input file (code = 26534).\n"},
  };
  for (const auto& c : cases) {
    ENDFVIIELEMENT files = MakeEndfViiElement();
    ASSERT_TRUE(SetEndfField(files.electrons, c.mf, c.mt, c.row, c.field, c.value)) << c.what;
    const std::string folder = MakeScratchFolder("element_pool");
    ASSERT_TRUE(WriteEndfViiElement(folder, files));
    ELEMENTLOADOPTIONS options;
    options.endfFolder = folder;
    options.elasticDpw = 0;
    options.incohDoppler = 0;
    const int zs[] = {3, 3};
    ELEMENTPOOL pool;
    testing::internal::CaptureStdout();
    const int code = LoadElements(zs, 2, options, &pool);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 1) << c.what;
    EXPECT_NE(printed.find(c.message), std::string::npos) << c.what << ": " << printed;
    EXPECT_EQ(pool.count, 2) << c.what;
    FreeElementPool(&pool);
    EXPECT_EQ(pool.elements, nullptr);
  }
}

}  // namespace
