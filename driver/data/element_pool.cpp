#include "driver/data/element_pool.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "core/allocation.h"
#include "driver/data/fast_index.h"
#include "platform/memory.h"

namespace {

constexpr int64_t kTableAlignment = 8;  // doubles, offsets and index records start on 8 bytes

int64_t AlignUp(int64_t offset) { return (offset + kTableAlignment - 1) / kTableAlignment * kTableAlignment; }

// Lays the tables of one element out at the end of the pool's block. With a
// null block it only counts their bytes; with the block it copies them and
// links every reference. Tables are addressed by their offsets in the block.
class PACKER {
 public:
  PACKER(char* block, int64_t end) : block_(block), end_(end) {}
  int64_t End() const { return end_; }

  // Room for n values of T at the end of the block (padding zeroed); its offset.
  template <typename T>
  int64_t Take(int64_t n) {
    const int64_t at = AlignUp(end_);
    if (block_ != nullptr && at > end_) std::memset(block_ + end_, 0, static_cast<size_t>(at - end_));
    end_ = at + n * static_cast<int64_t>(sizeof(T));
    return at;
  }

  // Entry r of the array of T at offset `at`; null while counting or for no array.
  template <typename T>
  T* Entry(int64_t at, int64_t r) const {
    return block_ == nullptr || at < 0 ? nullptr : reinterpret_cast<T*>(block_ + at) + r;
  }

  // A copy of source[0..n-1]: its offset, or -1 for no table (a null source
  // or n <= 0). A source equal to `twin`, copied before at twinAt, is not
  // copied again: its table is shared.
  template <typename T>
  int64_t Copy(const T* source, int64_t n, const T* twin = nullptr, int64_t twinAt = -1) {
    if (source == nullptr || n <= 0) return -1;
    const size_t bytes = static_cast<size_t>(n) * sizeof(T);
    if (twin != nullptr && twinAt >= 0 && std::memcmp(source, twin, bytes) == 0) return twinAt;
    const int64_t at = Take<T>(n);
    if (block_ != nullptr) std::memcpy(block_ + at, source, bytes);
    return at;
  }

  // An array of n zeroed references or records; its offset (-1 for n <= 0).
  template <typename T>
  int64_t Zeroed(int64_t n) {
    if (n <= 0) return -1;
    const int64_t at = Take<T>(n);
    if (block_ != nullptr) std::memset(block_ + at, 0, static_cast<size_t>(n) * sizeof(T));
    return at;
  }

  // Points ref at the table at offset `at` (-1: no table); nothing while counting.
  template <typename T>
  void Link(REL<T>* ref, int64_t at) {
    if (block_ == nullptr || ref == nullptr) return;
    ref->Set(at < 0 ? nullptr : reinterpret_cast<const T*>(block_ + at));
  }

 private:
  char* block_;
  int64_t end_;
};

// A table of n values.
template <typename T>
void Table(PACKER& p, REL<T>* ref, const T* source, int64_t n) {
  p.Link(ref, p.Copy(source, n));
}

// A table of rows: the row references, then every row with its own length;
// a row of no values (or a null row) stays null.
template <typename T, typename Row, typename Length>
int64_t Rows(PACKER& p, REL<REL<T>>* ref, int64_t nRows, Row row, Length length) {
  const int64_t refs = p.Zeroed<REL<T>>(nRows);
  p.Link(ref, refs);
  for (int64_t k = 0; k < nRows; ++k) p.Link(p.Entry<REL<T>>(refs, k), p.Copy<T>(row(k), length(k)));
  return refs;
}

// Rows of doubles, each row offset kept in `at` for the twin rows of another table.
template <typename Row, typename Length>
void RowsKept(PACKER& p, REL<REL<double>>* ref, int nRows, Row row, Length length, int64_t* at) {
  const int64_t refs = p.Zeroed<REL<double>>(nRows);
  p.Link(ref, refs);
  for (int k = 0; k < nRows; ++k) {
    at[k] = p.Copy(row(k), length(k));
    p.Link(p.Entry<REL<double>>(refs, k), at[k]);
  }
}

// An equal row copied before (its source and offset), which a row may share.
struct TWIN {
  const double* source = nullptr;
  int64_t at = -1;
};

// Rows of doubles that share a row with its twin when the two are equal.
template <typename Row, typename Length, typename Twin>
void RowsWithTwins(PACKER& p, REL<REL<double>>* ref, int nRows, Row row, Length length, Twin twin) {
  const int64_t refs = p.Zeroed<REL<double>>(nRows);
  p.Link(ref, refs);
  for (int k = 0; k < nRows; ++k) {
    const TWIN t = twin(k);
    p.Link(p.Entry<REL<double>>(refs, k), p.Copy(row(k), length(k), t.source, t.at));
  }
}

// The entries of an index (none when it was not built), and whether they
// all fit one byte: a negative or wide entry sets a bit above the lowest
// eight of its 16, which the entries are read for four at a time.
int64_t IndexEntries(const INDEXDATA& index, bool* narrow) {
  const int64_t n = index.indexType != 0 && index.intervalIndex != nullptr ? indexSize[index.exponent] : 0;
  uint64_t bits = 0;
  int64_t j = 0;
  for (; j + 4 <= n; j += 4) {
    uint64_t four;
    std::memcpy(&four, index.intervalIndex + j, sizeof four);
    bits |= four;
  }
  for (; j < n; ++j) bits |= static_cast<uint16_t>(index.intervalIndex[j]);
  *narrow = (bits & 0xFF00FF00FF00FF00u) == 0;
  return n;
}

// The low bytes of n 16-bit entries.
void NarrowEntries(const int16_t* entries, int64_t n, uint8_t* to) {
  static_assert(std::endian::native == std::endian::little);  // the low byte of an entry comes first
  int64_t j = 0;
  for (; j + 4 <= n; j += 4) {
    uint64_t four;
    std::memcpy(&four, entries + j, sizeof four);
    const uint32_t bytes = static_cast<uint32_t>((four & 0xFFu) | ((four >> 8) & 0xFF00u) | ((four >> 16) & 0xFF0000u) |
                                                 ((four >> 24) & 0xFF000000u));
    std::memcpy(to + j, &bytes, sizeof bytes);
  }
  for (; j < n; ++j) to[j] = static_cast<uint8_t>(entries[j]);
}

// One fast index: its scalars into the record, its entries to the block, in
// one byte each when they all fit (the doubleStep flags stay behind).
void Index(PACKER& p, ELEMINDEX* to, const INDEXDATA& from, int64_t n, bool narrow) {
  if (to != nullptr) {
    to->indexType = from.indexType;
    to->exponent = from.exponent;
    to->xStart = from.xStart;
    to->tStart = from.tStart;
    to->invStep = from.invStep;
    to->xMax = from.xMax;
    to->indexOffset = from.indexOffset;
    to->coarseShift = 0;
  }
  if (n > 0 && narrow) {
    const int64_t at = p.Take<uint8_t>(n);
    uint8_t* entries = p.Entry<uint8_t>(at, 0);
    if (entries != nullptr) NarrowEntries(from.intervalIndex, n, entries);
    p.Link(to != nullptr ? &to->narrowIndex : nullptr, at);
  } else {
    p.Link(to != nullptr ? &to->intervalIndex : nullptr, p.Copy(from.intervalIndex, n));
  }
}

// A large index in two levels (core/indexdata.h): the coarse entries, then
// the first bins on a 4-byte boundary.
void TwoLevelIndexTables(PACKER& p, ELEMINDEX* to, const INDEXDATA& from, const TWOLEVELINDEX& t) {
  Index(p, to, from, 0, false);
  const int32_t firstBinOffset = TwoLevelFirstBinOffset(from.exponent, t.shift);
  const int64_t bytes = firstBinOffset + static_cast<int64_t>(t.firstBin.size() * sizeof(int32_t));
  const int64_t at = p.Take<char>(bytes);
  char* table = p.Entry<char>(at, 0);
  if (table != nullptr) {
    std::memset(table, 0, static_cast<size_t>(bytes));
    std::memcpy(table, t.coarse.data(), t.coarse.size() * sizeof(int16_t));
    std::memcpy(table + firstBinOffset, t.firstBin.data(), t.firstBin.size() * sizeof(int32_t));
  }
  if (to != nullptr) to->coarseShift = t.shift;
  p.Link(to != nullptr ? &to->intervalIndex : nullptr, at);
  p.Link(to != nullptr ? &to->firstBin : nullptr, at + firstBinOffset);
}

void Index(PACKER& p, ELEMINDEX* to, const INDEXDATA& from) {
  const TWOLEVELINDEX twoLevel = TwoLevelIndex(from);
  if (twoLevel.shift > 0) {
    TwoLevelIndexTables(p, to, from, twoLevel);
    return;
  }
  bool narrow = false;
  const int64_t n = IndexEntries(from, &narrow);
  Index(p, to, from, n, narrow);
}

template <typename A>
void CopyArray(A& to, const A& from) {
  std::memcpy(&to, &from, sizeof(A));
}

// The scalars and small fixed arrays of the staging record.
void CopyRecordFields(const ElemStaging& s, Elem& r) {
  r.Z = s.Z;
  r.smallAngleStart = s.smallAngleStart;
  CopyArray(r.ionSpecEnergy, s.ionSpecEnergy);
  CopyArray(r.bremsSpecEnergy, s.bremsSpecEnergy);
  CopyArray(r.elasticEnergy, s.elasticEnergy);
  CopyArray(r.elasticN, s.elasticN);
  CopyArray(r.elasticMedian, s.elasticMedian);
  CopyArray(r.bremsSpecMeanK, s.bremsSpecMeanK);
  CopyArray(r.bremsSpecMeanRatio, s.bremsSpecMeanRatio);
  CopyArray(r.elasticModelEta0, s.elasticModelEta0);
  CopyArray(r.sectionN, s.sectionN);
  r.excLossN = s.excLossN;
  CopyArray(r.ionSpecNE, s.ionSpecNE);
  r.bremsSpecNE = s.bremsSpecNE;
  r.elasticNE = s.elasticNE;
  CopyArray(r.ionSpecN, s.ionSpecN);
  CopyArray(r.bremsSpecN, s.bremsSpecN);
  CopyArray(r.ionSpecMedian, s.ionSpecMedian);
  CopyArray(r.bremsSpecMedian, s.bremsSpecMedian);
  r.bremsLossN = s.bremsLossN;
  r.nSections = s.nSections;
  r.nSubshells = s.nSubshells;
  CopyArray(r.ionDesignator, s.ionDesignator);
  r.screeningEta0 = s.screeningEta0;
  r.screeningCoulomb = s.screeningCoulomb;
  CopyArray(r.bindingEnergy, s.bindingEnergy);
  CopyArray(r.subshellDesignator, s.subshellDesignator);
  CopyArray(r.occupancy, s.occupancy);
  CopyArray(r.profileIndex, s.profileIndex);
  CopyArray(r.nTransitions, s.nTransitions);
  r.atomicMass = s.atomicMass;
  r.partialConc = s.partialConc;
  CopyArray(r.cumOccupancy, s.cumOccupancy);
  int16_t first = 0;  // the guide by occupation (core/elem.h)
  for (int g = 0; g < kOccupancyGuide; ++g) {
    const double lowest = (static_cast<double>(g) / kOccupancyGuide) * (1.0 - 1e-12);
    while (first < s.nSubshells - 1 && s.cumOccupancy[first] < lowest) ++first;
    r.occupancyGuide[g] = first;
  }
  CopyArray(r.pePar, s.pePar);
  CopyArray(r.photoionN, s.photoionN);
  r.cohN = s.cohN;
  r.incohN = s.incohN;
  r.ffN = s.ffN;
  r.sfN = s.sfN;
  r.anomImagN = s.anomImagN;
  r.anomRealN = s.anomRealN;
  r.ppN = s.ppN;
  r.peAngN = s.peAngCos != nullptr ? s.peAngN : int16_t{0};
  for (int j = 0; j < kPairEnergies; ++j) {
    r.ppSpecN[j] = s.ppSpecN != nullptr ? s.ppSpecN[j] : int16_t{0};
    r.ppSpecMedian[j] = s.ppSpecMedian != nullptr ? s.ppSpecMedian[j] : int16_t{0};
  }
  r.nProfiles = s.profileQ != nullptr ? s.nProfiles : int16_t{0};
  CopyArray(r.elasticNPositron, s.elasticNPositron);
  CopyArray(r.elasticMedianPositron, s.elasticMedianPositron);
}

// Electro-atomic sections, spectra and elastic distributions with their
// positron twins.
void PackElectronTables(const ElemStaging& s, Elem& r, PACKER& p) {
  const auto sectionLength = [&](int64_t k) { return s.sectionN[k]; };
  int64_t csAt[kMaxSections] = {}, slopeAt[kMaxSections] = {};
  Rows<double>(
      p, &r.sectionEnergy, s.nSections, [&](int64_t k) { return s.sectionEnergy[k]; }, sectionLength);
  RowsKept(
      p, &r.sectionCs, s.nSections, [&](int k) { return s.sectionCs[k]; }, sectionLength, csAt);
  RowsKept(
      p, &r.sectionSlope, s.nSections, [&](int k) { return s.sectionSlope[k]; }, sectionLength, slopeAt);
  const int64_t shareLength = s.sectionN[0] < kMaxSmallAnglePoints ? s.sectionN[0] : kMaxSmallAnglePoints;
  Table(p, &r.smallAngleShare, s.smallAngleShare, shareLength);
  Table(p, &r.smallAngleShareSlope, s.smallAngleShareSlope, shareLength);
  Table(p, &r.excLossEnergy, s.excLossEnergy, s.excLossN);
  Table(p, &r.excLoss, s.excLoss, s.excLossN);
  Table(p, &r.excLossSlope, s.excLossSlope, s.excLossN);
  Table(p, &r.bremsLossEnergy, s.bremsLossEnergy, s.bremsLossN);
  Table(p, &r.bremsLoss, s.bremsLoss, s.bremsLossN);
  Table(p, &r.bremsLossSlope, s.bremsLossSlope, s.bremsLossN);

  // Secondary-electron spectra: per subshell, per incident energy.
  const auto spectra = [&](REL<REL<REL<double>>>* ref, const double(*table)[kMaxSpectrumEnergies][kMaxSpectrumPoints]) {
    const int64_t refs = p.Zeroed<REL<REL<double>>>(s.nSubshells);
    p.Link(ref, refs);
    for (int k = 0; k < s.nSubshells; ++k) {
      Rows<double>(
          p, p.Entry<REL<REL<double>>>(refs, k), s.ionSpecNE[k], [&](int64_t e) { return table[k][e]; },
          [&](int64_t e) { return s.ionSpecN[k][e]; });
    }
  };
  spectra(&r.ionSpecX, s.ionSpecX);
  spectra(&r.ionSpecPdf, s.ionSpecPdf);
  spectra(&r.ionSpecCum, s.ionSpecCum);
  spectra(&r.ionSpecSlope, s.ionSpecSlope);
  const auto bremsLength = [&](int64_t e) { return s.bremsSpecN[e]; };
  Rows<double>(
      p, &r.bremsSpecX, s.bremsSpecNE, [&](int64_t e) { return s.bremsSpecX[e]; }, bremsLength);
  Rows<double>(
      p, &r.bremsSpecPdf, s.bremsSpecNE, [&](int64_t e) { return s.bremsSpecPdf[e]; }, bremsLength);
  Rows<double>(
      p, &r.bremsSpecCum, s.bremsSpecNE, [&](int64_t e) { return s.bremsSpecCum[e]; }, bremsLength);
  Rows<double>(
      p, &r.bremsSpecSlope, s.bremsSpecNE, [&](int64_t e) { return s.bremsSpecSlope[e]; }, bremsLength);

  // Elastic angular distributions and the wide-interval model (its ln eta
  // rows only for a set that has a wide interval).
  const auto elasticLength = [&](int64_t e) { return s.elasticN[e]; };
  Rows<double>(
      p, &r.elasticCos, s.elasticNE, [&](int64_t e) { return s.elasticCos[e]; }, elasticLength);
  Rows<double>(
      p, &r.elasticPdf, s.elasticNE, [&](int64_t e) { return s.elasticPdf[e]; }, elasticLength);
  Rows<double>(
      p, &r.elasticCum, s.elasticNE, [&](int64_t e) { return s.elasticCum[e]; }, elasticLength);
  Rows<double>(
      p, &r.elasticSlope, s.elasticNE, [&](int64_t e) { return s.elasticSlope[e]; }, elasticLength);
  for (int set = 0; set < 2; ++set) {
    bool wide = false;
    for (int e = 0; e < s.elasticNE; ++e) wide = wide || s.elasticModelEta0[set][e] != 0.0;
    Table(p, &r.elasticModelLnEta[set], wide ? s.elasticModelLnEta[set] : nullptr, s.elasticNE);
  }

  // Positrons: a cross-section row that copies the electron row is shared.
  RowsWithTwins(
      p, &r.sectionCsPositron, s.nSections, [&](int k) { return s.sectionCsPositron[k]; }, sectionLength,
      [&](int k) {
        return TWIN{s.sectionCs[k], csAt[k]};
      });
  RowsWithTwins(
      p, &r.sectionSlopePositron, s.nSections, [&](int k) { return s.sectionSlopePositron[k]; }, sectionLength,
      [&](int k) {
        return TWIN{s.sectionSlope[k], slopeAt[k]};
      });
  const auto positronLength = [&](int64_t e) { return s.elasticNPositron[e]; };
  Rows<double>(
      p, &r.elasticCosPositron, s.elasticNE, [&](int64_t e) { return s.elasticCosPositron[e]; }, positronLength);
  Rows<double>(
      p, &r.elasticPdfPositron, s.elasticNE, [&](int64_t e) { return s.elasticPdfPositron[e]; }, positronLength);
  Rows<double>(
      p, &r.elasticCumPositron, s.elasticNE, [&](int64_t e) { return s.elasticCumPositron[e]; }, positronLength);
  Rows<double>(
      p, &r.elasticSlopePositron, s.elasticNE, [&](int64_t e) { return s.elasticSlopePositron[e]; }, positronLength);
}

// Bremsstrahlung photon angular distributions: per electron energy e, per
// photon energy k of spectrum e.
void PackBremsAngular(const ElemStaging& s, Elem& r, PACKER& p) {
  if (s.bremsAngN == nullptr) return;
  const int ne = s.bremsSpecNE;
  const auto cosines = [&](REL<REL<REL<double>>>* ref, double*** table) {
    const int64_t refs = p.Zeroed<REL<REL<double>>>(ne);
    p.Link(ref, refs);
    for (int e = 0; e < ne; ++e) {
      Rows<double>(
          p, p.Entry<REL<REL<double>>>(refs, e), s.bremsSpecN[e],
          [&](int64_t k) { return table[e] != nullptr ? table[e][k] : nullptr; },
          [&](int64_t k) { return s.bremsAngN[e] != nullptr ? s.bremsAngN[e][k] : 0; });
    }
  };
  cosines(&r.bremsAngCos, s.bremsAngCos);
  cosines(&r.bremsAngPdf, s.bremsAngPdf);
  cosines(&r.bremsAngCum, s.bremsAngCum);
  cosines(&r.bremsAngSlope, s.bremsAngSlope);
  const auto photons = [&](int64_t e) { return s.bremsSpecN[e]; };
  Rows<int32_t>(
      p, &r.bremsAngN, ne, [&](int64_t e) { return s.bremsAngN[e]; }, photons);
  Rows<int16_t>(
      p, &r.bremsAngMedian, ne, [&](int64_t e) { return s.bremsAngMedian[e]; }, photons);
}

// Guide cells per transition of a relaxation row, at least (core/elem.h,
// RELAXCELL; a row has a power of two of them): narrower cells can select
// fewer transitions each, so fewer draws search the row, but every cell of
// a row is read as often as any other.
constexpr int kRelaxCellsPerTransition = 4;

// The power of two of guide cells of a row of n transitions, as its bits.
int RelaxCellBits(int n) {
  int bits = 0;
  while ((1 << bits) < kRelaxCellsPerTransition * n && bits < kRelaxDrawBits) ++bits;
  return bits;
}

// The sampling thresholds of n transitions of cumulative probabilities cum:
// cum itself, the last one infinite (core/elem.h, RELAXROW).
std::vector<double> TransitionThresholds(const double* cum, int n) {
  std::vector<double> thresholds(cum, cum + n);
  thresholds.back() = std::numeric_limits<double>::infinity();
  return thresholds;
}

// The guide cells over the thresholds of n transitions: cell g covers the
// draws from g / m to (g + 1) / m (widened by a relative 1e-12 both ways, so
// that every draw r with floor(r m) = g lies inside), and can select the
// transitions from the first whose threshold reaches its lower edge to the
// first whose threshold reaches its upper edge.
std::vector<RELAXCELL> TransitionCells(const std::vector<double>& thresholds,
                                       const std::vector<RELAXTRANSITION>& transitions, int m) {
  std::vector<RELAXCELL> cells(static_cast<size_t>(m));
  int first = 0;
  for (int g = 0; g < m; ++g) {
    const double lower = (static_cast<double>(g) / m) * (1.0 - 1e-12);
    const double upper = (static_cast<double>(g + 1) / m) * (1.0 + 1e-12);
    while (thresholds[static_cast<size_t>(first)] < lower) ++first;
    int last = first;
    while (thresholds[static_cast<size_t>(last)] < upper) ++last;
    RELAXCELL& cell = cells[static_cast<size_t>(g)];
    if (last == first) {
      cell.threshold = std::numeric_limits<double>::infinity();
    } else if (last == first + 1) {
      cell.threshold = thresholds[static_cast<size_t>(first)];
    } else {
      cell.threshold = -1.0;
    }
    cell.first = static_cast<int16_t>(first);
    for (int k = 0; k < 2; ++k) {
      const RELAXTRANSITION& t = transitions[static_cast<size_t>(std::min(first + k, last))];
      cell.fill[k] = static_cast<int8_t>(t.fill);
      cell.emit[k] = static_cast<int8_t>(t.emit);
    }
    cell.unused = 0;
  }
  return cells;
}

// The sampling rows of the transitions (core/elem.h, RELAXROW).
void PackRelaxationRows(const ElemStaging& s, Elem& r, PACKER& p) {
  const int64_t rows = p.Zeroed<RELAXROW>(kMaxDesignator);
  p.Link(&r.relaxRows, rows);
  for (int d = 0; d < kMaxDesignator; ++d) {
    RELAXROW* row = p.Entry<RELAXROW>(rows, d);
    const int n = s.nTransitions[d];
    if (d == 0 || n < 1) {
      if (row != nullptr) row->cellShift = -1;
      continue;
    }
    std::vector<RELAXTRANSITION> transitions(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) {
      const int16_t fill = std::clamp<int16_t>(s.transFill[d][j], 0, kMaxDesignator);
      const int16_t emit = std::clamp<int16_t>(s.transEmit[d][j], -1, kMaxDesignator);
      transitions[static_cast<size_t>(j)] = RELAXTRANSITION{s.transEnergy[d][j], fill, emit, 0};
    }
    const int bits = RelaxCellBits(n);
    const std::vector<double> thresholds = TransitionThresholds(s.transCum[d], n);
    const std::vector<RELAXCELL> cells = TransitionCells(thresholds, transitions, 1 << bits);
    const int64_t transitionsAt = p.Copy(transitions.data(), n);
    const int64_t thresholdsAt = p.Copy(thresholds.data(), static_cast<int64_t>(thresholds.size()));
    const int64_t cellsAt = p.Copy(cells.data(), static_cast<int64_t>(cells.size()));
    if (row == nullptr) continue;
    p.Link(&row->transitions, transitionsAt);
    p.Link(&row->thresholds, thresholdsAt);
    p.Link(&row->cells, cellsAt);
    row->cellShift = kRelaxDrawBits - bits;
  }
}

// Relaxation transitions by designator.
void PackRelaxation(const ElemStaging& s, Elem& r, PACKER& p) {
  const auto transitions = [&](int64_t d) { return s.nTransitions[d]; };
  Rows<double>(
      p, &r.transEnergy, kMaxDesignator, [&](int64_t d) { return s.transEnergy[d]; }, transitions);
  Rows<double>(
      p, &r.transProb, kMaxDesignator, [&](int64_t d) { return s.transProb[d]; }, transitions);
  Rows<double>(
      p, &r.transCum, kMaxDesignator, [&](int64_t d) { return s.transCum[d]; }, transitions);
  Rows<int16_t>(
      p, &r.transFill, kMaxDesignator, [&](int64_t d) { return s.transFill[d]; }, transitions);
  Rows<int16_t>(
      p, &r.transEmit, kMaxDesignator, [&](int64_t d) { return s.transEmit[d]; }, transitions);
  PackRelaxationRows(s, r, p);
}

// The running smallest and largest of y[0..i] for every i (core/elem.h),
// with the comparisons of the scan they replace.
void RunningRange(PACKER& p, REL<double>* low, REL<double>* high, const double* y, int n) {
  if (y == nullptr || n <= 0) return;
  std::vector<double> lows(static_cast<size_t>(n)), highs(static_cast<size_t>(n));
  lows[0] = highs[0] = y[0];
  for (int i = 1; i < n; ++i) {
    lows[static_cast<size_t>(i)] = y[i] < lows[static_cast<size_t>(i - 1)] ? y[i] : lows[static_cast<size_t>(i - 1)];
    highs[static_cast<size_t>(i)] = y[i] > highs[static_cast<size_t>(i - 1)] ? y[i] : highs[static_cast<size_t>(i - 1)];
  }
  Table(p, low, lows.data(), n);
  Table(p, high, highs.data(), n);
}

// Buckets over a grid of n ascending values (core/indexdata.h), one per
// point, from its point `from` (or the first finite one after it) to its
// last: a table searched on ln x only above its first interval (linear
// there, its ln x perhaps near ln 0) starts them at point 1. None for a grid
// too short, too long for 16-bit counts, or of no finite width.
void GridBuckets(PACKER& p, GRIDBUCKETS* to, const double* g, int64_t n, int64_t from) {
  to->first.Set(nullptr);
  to->start = 0.0;
  to->scale = 0.0;
  to->count = 0;
  to->unused = 0;
  if (g == nullptr || n < 2 || n > INT16_MAX) return;
  int64_t j = from;
  while (j < n && !std::isfinite(g[j])) ++j;
  if (j >= n - 1 || !(g[n - 1] > g[j]) || !std::isfinite(g[n - 1])) return;
  const double scale = static_cast<double>(n) / (g[n - 1] - g[j]);
  if (!std::isfinite(scale)) return;
  to->start = g[j];
  to->scale = scale;
  to->count = static_cast<int32_t>(n);
  // Points per bucket, then the running count of the points below each one.
  std::vector<int16_t> first(static_cast<size_t>(n + 1), 0);
  for (int64_t k = 0; k < n; ++k) ++first[static_cast<size_t>(GridBucket(*to, g[k]) + 1)];
  for (int64_t b = 0; b < n; ++b) first[static_cast<size_t>(b + 1)] += first[static_cast<size_t>(b)];
  Table(p, &to->first, first.data(), n + 1);
}

// Photo-atomic tables and the sampling tables built from them.
void PackPhotonTables(const ElemStaging& s, Elem& r, PACKER& p) {
  const auto photoionLength = [&](int64_t k) { return s.photoionN[k]; };
  Rows<double>(
      p, &r.photoionEnergy, s.nSubshells, [&](int64_t k) { return s.photoionEnergy[k]; }, photoionLength);
  Rows<double>(
      p, &r.photoionCs, s.nSubshells, [&](int64_t k) { return s.photoionCs[k]; }, photoionLength);
  Rows<double>(
      p, &r.photoionLnEnergy, s.nSubshells, [&](int64_t k) { return s.photoionLnEnergy[k]; }, photoionLength);
  Rows<double>(
      p, &r.photoionLnCs, s.nSubshells, [&](int64_t k) { return s.photoionLnCs[k]; }, photoionLength);
  Rows<double>(
      p, &r.photoionSlope, s.nSubshells, [&](int64_t k) { return s.photoionSlope[k]; }, photoionLength);
  Table(p, &r.cohEnergy, s.cohEnergy, s.cohN);
  Table(p, &r.cohCs, s.cohCs, s.cohN);
  Table(p, &r.cohLnEnergy, s.cohLnEnergy, s.cohN);
  Table(p, &r.cohLnCs, s.cohLnCs, s.cohN);
  Table(p, &r.cohSlope, s.cohSlope, s.cohN);
  Table(p, &r.incohEnergy, s.incohEnergy, s.incohN);
  Table(p, &r.incohCs, s.incohCs, s.incohN);
  Table(p, &r.incohLnEnergy, s.incohLnEnergy, s.incohN);
  Table(p, &r.incohLnCs, s.incohLnCs, s.incohN);
  Table(p, &r.incohSlope, s.incohSlope, s.incohN);
  Table(p, &r.ffX, s.ffX, s.ffN);
  Table(p, &r.ff, s.ff, s.ffN);
  Table(p, &r.ffLnX, s.ffLnX, s.ffN);
  Table(p, &r.ffLnY, s.ffLnY, s.ffN);
  Table(p, &r.ffSlope, s.ffSlope, s.ffN);
  Table(p, &r.ffIntF2, s.ffIntF2, s.ffN);
  Table(p, &r.ffIntF, s.ffIntF, s.ffN);
  Table(p, &r.sfX, s.sfX, s.sfN);
  Table(p, &r.sf, s.sf, s.sfN);
  RunningRange(p, &r.ffRunLow, &r.ffRunHigh, s.ff, s.ffN);
  RunningRange(p, &r.sfRunLow, &r.sfRunHigh, s.sf, s.sfN);
  Table(p, &r.sfLnX, s.sfLnX, s.sfN);
  Table(p, &r.sfLnY, s.sfLnY, s.sfN);
  Table(p, &r.sfSlope, s.sfSlope, s.sfN);
  GridBuckets(p, &r.cohBuckets, s.cohLnEnergy, s.cohN, 0);
  GridBuckets(p, &r.incohBuckets, s.incohLnEnergy, s.incohN, 0);
  GridBuckets(p, &r.sfBuckets, s.sfLnX, s.sfN, 1);
  Table(p, &r.anomImagX, s.anomImagX, s.anomImagN);
  Table(p, &r.anomImag, s.anomImag, s.anomImagN);
  Table(p, &r.anomImagSlope, s.anomImagSlope, s.anomImagN);
  Table(p, &r.anomRealX, s.anomRealX, s.anomRealN);
  Table(p, &r.anomReal, s.anomReal, s.anomRealN);
  Table(p, &r.anomRealSlope, s.anomRealSlope, s.anomRealN);
  Table(p, &r.ppEnergy, s.ppEnergy, s.ppN);
  Table(p, &r.ppCs, s.ppCs, s.ppN);
  Table(p, &r.ppLnEnergy, s.ppLnEnergy, s.ppN);
  Table(p, &r.ppLnCs, s.ppLnCs, s.ppN);
  Table(p, &r.ppSlope, s.ppSlope, s.ppN);

  // Photoelectron tables: the built rows of a subshell (0 up to the first
  // null one) one after another, stored once when they are all the same (the
  // cosines).
  if (s.peAngCos != nullptr) {
    const int64_t n = s.peAngN;
    const auto tables = [&](REL<RELROWS<double>>* ref, double*** table) {
      const int64_t refs = p.Zeroed<RELROWS<double>>(s.nSubshells);
      p.Link(ref, refs);
      for (int k = 0; k < s.nSubshells; ++k) {
        int32_t rows = 0;
        while (table[k] != nullptr && rows < s.photoionN[k] && table[k][rows] != nullptr) ++rows;
        if (rows == 0) continue;
        bool same = true;
        for (int32_t i = 1; i < rows && same; ++i)
          same = std::memcmp(table[k][i], table[k][0], static_cast<size_t>(n) * sizeof(double)) == 0;
        const int64_t stored = same ? 1 : rows;
        const int64_t at = p.Take<double>(stored * n);
        for (int64_t i = 0; i < stored; ++i) {
          double* to = p.Entry<double>(at, i * n);
          if (to != nullptr) std::memcpy(to, table[k][i], static_cast<size_t>(n) * sizeof(double));
        }
        RELROWS<double>* rowsRef = p.Entry<RELROWS<double>>(refs, k);
        if (rowsRef != nullptr) {
          rowsRef->rows = rows;
          rowsRef->stride = same ? 0 : static_cast<int32_t>(n);
        }
        p.Link(rowsRef != nullptr ? &rowsRef->data : nullptr, at);
      }
    };
    tables(&r.peAngCos, s.peAngCos);
    tables(&r.peAngPdf, s.peAngPdf);
    tables(&r.peAngCum, s.peAngCum);
    tables(&r.peAngSlope, s.peAngSlope);
    Rows<int16_t>(
        p, &r.peAngMedian, s.nSubshells, [&](int64_t k) { return s.peAngMedian[k]; },
        [&](int64_t k) { return s.peAngMedian[k] != nullptr ? s.photoionN[k] : 0; });
  }

  // Pair-production energy sharing.
  if (s.ppSpecX != nullptr) {
    const auto pairLength = [&](int64_t j) { return s.ppSpecN[j]; };
    Rows<double>(
        p, &r.ppSpecX, kPairEnergies, [&](int64_t j) { return s.ppSpecX[j]; }, pairLength);
    Rows<double>(
        p, &r.ppSpecPdf, kPairEnergies, [&](int64_t j) { return s.ppSpecPdf[j]; }, pairLength);
    Rows<double>(
        p, &r.ppSpecCum, kPairEnergies, [&](int64_t j) { return s.ppSpecCum[j]; }, pairLength);
    Rows<double>(
        p, &r.ppSpecSlope, kPairEnergies, [&](int64_t j) { return s.ppSpecSlope[j]; }, pairLength);
  }

  // Compton profiles.
  if (s.profileQ != nullptr) {
    const auto momenta = [](int64_t) { return kComptonMomenta; };
    Table(p, &r.profileQ, s.profileQ, kComptonMomenta);
    Rows<double>(
        p, &r.profileJ, s.nProfiles, [&](int64_t k) { return s.profileJ[k]; }, momenta);
    Rows<double>(
        p, &r.profileCum, s.nProfiles, [&](int64_t k) { return s.profileCum[k]; }, momenta);
    Rows<double>(
        p, &r.profileSlope, s.nProfiles, [&](int64_t k) { return s.profileSlope[k]; }, momenta);
    Table(p, &r.profileMedian, s.profileMedian, s.nProfiles);
  }
}

// The union of the subshell photoionization grids with each subshell's
// interval per union point (core/elem.h). An interval holds the energies
// from its point up to the next point of its own grid, so on a union
// interval it is the last point of the subshell's grid at or below the
// union point; the subshell's table covers the union interval when its first
// point lies at or below the union point and its last point above it.
void PackPhotoionUnion(const ElemStaging& s, Elem& r, PACKER& p) {
  std::vector<double> grid;
  for (int k = 0; k < s.nSubshells; ++k)
    grid.insert(grid.end(), s.photoionLnEnergy[k], s.photoionLnEnergy[k] + s.photoionN[k]);
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  const int64_t n = static_cast<int64_t>(grid.size());
  r.photoionUnionN = 0;
  if (s.nSubshells <= 0 || n < 2 || n > INT16_MAX) return;
  r.photoionUnionN = static_cast<int32_t>(n);
  Table(p, &r.photoionUnionLnEnergy, grid.data(), n);
  GridBuckets(p, &r.photoionUnionBuckets, grid.data(), n, 0);
  std::vector<int16_t> intervals(static_cast<size_t>(n * s.nSubshells), -1);
  for (int k = 0; k < s.nSubshells; ++k) {
    const double* g = s.photoionLnEnergy[k];
    const int m = s.photoionN[k];
    if (m < 2) continue;
    int i = 0;  // the last point of g at or below grid[u]
    for (int64_t u = 0; u < n; ++u) {
      if (grid[u] < g[0] || grid[u] >= g[m - 1]) continue;
      while (i + 1 < m && g[i + 1] <= grid[u]) ++i;
      intervals[static_cast<size_t>(u * s.nSubshells + k)] = static_cast<int16_t>(i);
    }
  }
  Table(p, &r.photoionUnionInterval, intervals.data(), n * s.nSubshells);
}

// The fast indexes and their tables.
void PackIndexes(const ElemStaging& s, Elem& r, PACKER& p) {
  Index(p, &r.excLossIndex, s.excLossIndex);
  const int64_t energyIndexes = p.Zeroed<ELEMINDEX>(s.nSubshells);
  p.Link(&r.ionSpecEnergyIndex, energyIndexes);
  for (int k = 0; k < s.nSubshells; ++k) Index(p, p.Entry<ELEMINDEX>(energyIndexes, k), s.ionSpecEnergyIndex[k]);
  const int64_t cumRefs = p.Zeroed<REL<ELEMINDEX>>(s.nSubshells);
  p.Link(&r.ionSpecCumIndex, cumRefs);
  for (int k = 0; k < s.nSubshells; ++k) {
    const int64_t indexes = p.Zeroed<ELEMINDEX>(s.ionSpecNE[k]);
    p.Link(p.Entry<REL<ELEMINDEX>>(cumRefs, k), indexes);
    for (int e = 0; e < s.ionSpecNE[k]; ++e) Index(p, p.Entry<ELEMINDEX>(indexes, e), s.ionSpecCumIndex[k][e]);
  }
  Index(p, &r.elasticEnergyIndex, s.elasticEnergyIndex);
  const int64_t elasticIndexes = p.Zeroed<ELEMINDEX>(s.elasticNE);
  p.Link(&r.elasticCumIndex, elasticIndexes);
  for (int e = 0; e < s.elasticNE; ++e) Index(p, p.Entry<ELEMINDEX>(elasticIndexes, e), s.elasticCumIndex[e]);
}

// The whole element: the record's own fields, then every table.
void PackElement(const ElemStaging& s, Elem& r, PACKER& p) {
  CopyRecordFields(s, r);
  PackElectronTables(s, r, p);
  PackBremsAngular(s, r, p);
  PackRelaxation(s, r, p);
  PackPhotonTables(s, r, p);
  PackPhotoionUnion(s, r, p);
  PackIndexes(s, r, p);
}

// Room for `bytes` in the block. The block lies on pages of its own, which
// grow by half their size at least; growing moves pages, it copies nothing,
// and pages not yet written take no memory.
void Reserve(int64_t bytes, ELEMENTPOOL* pool) {
  if (bytes <= pool->capacity) return;
  int64_t capacity = pool->capacity + pool->capacity / 2;
  if (capacity < bytes) capacity = bytes;
  void* block = pool->elements == nullptr
                    ? AllocateZeroedPages(static_cast<size_t>(capacity))
                    : ResizePages(pool->elements, static_cast<size_t>(pool->capacity), static_cast<size_t>(capacity));
  if (block == nullptr) AllocationFailed("element data", static_cast<size_t>(capacity));
  pool->elements = static_cast<Elem*>(block);
  pool->capacity = capacity;
}

}  // namespace

void StartElementPool(int count, ELEMENTPOOL* pool) {
  if (count <= 0) {
    FreeElementPool(pool);
    return;
  }
  const int64_t bytes = static_cast<int64_t>(count) * static_cast<int64_t>(sizeof(Elem));
  Reserve(bytes, pool);
  std::memset(static_cast<void*>(pool->elements), 0, static_cast<size_t>(bytes));
  pool->count = count;
  pool->bytes = bytes;
}

int64_t PackedTableBytes(const ElemStaging& staging) {
  const std::unique_ptr<Elem> scratch(new Elem());
  PACKER counter(nullptr, 0);
  PackElement(staging, *scratch, counter);
  return counter.End();
}

void AddElementToPool(const ElemStaging& staging, int i, ELEMENTPOOL* pool) {
  const int64_t start = AlignUp(pool->bytes);
  Reserve(start + PackedTableBytes(staging), pool);
  char* block = reinterpret_cast<char*>(pool->elements);
  if (start > pool->bytes) std::memset(block + pool->bytes, 0, static_cast<size_t>(start - pool->bytes));
  PACKER writer(block, start);
  PackElement(staging, pool->elements[i], writer);
  pool->bytes = writer.End();
}

ELEMINDEX& PooledIndex(Elem& record, const INDEXSLOT& slot) {
  switch (slot.family) {
    case INDEXFAMILY::kExcLoss:
      return record.excLossIndex;
    case INDEXFAMILY::kIonEnergy:
      return record.ionSpecEnergyIndex[slot.s];
    case INDEXFAMILY::kIonCum:
      return record.ionSpecCumIndex[slot.s][slot.e];
    case INDEXFAMILY::kElasticEnergy:
      return record.elasticEnergyIndex;
    case INDEXFAMILY::kElasticCum:
      break;
  }
  return record.elasticCumIndex[slot.e];
}

void AddIndexToPool(const INDEXDATA& index, int i, const INDEXSLOT& slot, ELEMENTPOOL* pool) {
  const int64_t start = AlignUp(pool->bytes);
  PACKER counter(nullptr, start);
  Index(counter, nullptr, index);
  Reserve(counter.End(), pool);
  char* block = reinterpret_cast<char*>(pool->elements);
  if (start > pool->bytes) std::memset(block + pool->bytes, 0, static_cast<size_t>(start - pool->bytes));
  PACKER writer(block, start);
  Index(writer, &PooledIndex(pool->elements[i], slot), index);
  pool->bytes = writer.End();
}

void TrimElementPool(ELEMENTPOOL* pool) {
  if (pool->elements == nullptr || pool->capacity == pool->bytes) return;
  void* block = ResizePages(pool->elements, static_cast<size_t>(pool->capacity), static_cast<size_t>(pool->bytes));
  if (block == nullptr) return;  // the block keeps its room
  pool->elements = static_cast<Elem*>(block);
  pool->capacity = pool->bytes;
}

void FreeElementPool(ELEMENTPOOL* pool) {
  ReleasePages(pool->elements, static_cast<size_t>(pool->capacity));
  *pool = ELEMENTPOOL{};
}
