#include "gpu/device_upload.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <utility>

#include "core/cell_entry.h"
#include "core/cell_union.h"
#include "core/material.h"
#include "core/pulse_height.h"
#include "core/tally.h"
#include "core/voxel.h"
#include "gpu/cuda_runtime_wrappers.h"
#include "gpu/setup_kernels.h"

namespace {

// Copies of the host's lasting tables on the current device, each made once:
// two records that point at one host table point at one device copy.
class DEVICECOPIER {
 public:
  // A copy of host[0..n-1] (null for no table).
  template <typename T>
  T* Table(const T* host, int64_t n) {
    if (host == nullptr || n <= 0) return nullptr;
    const auto key = std::make_pair(static_cast<const void*>(host), static_cast<int64_t>(n * sizeof(T)));
    if (auto it = copies_.find(key); it != copies_.end()) return static_cast<T*>(it->second);
    T* device = DeviceCopyOf(host, n);
    copies_[key] = device;
    return device;
  }

  // A table of nRows rows: every row copied (row r has length(r) values; a
  // null or empty row stays null), then the table of the rows' device
  // addresses.
  template <typename T, typename Length>
  T** Rows(const T* const* host, int64_t nRows, Length length) {
    if (host == nullptr || nRows <= 0) return nullptr;
    const auto key = std::make_pair(static_cast<const void*>(host), static_cast<int64_t>(-nRows));
    if (auto it = copies_.find(key); it != copies_.end()) return static_cast<T**>(it->second);
    std::vector<T*> rows(static_cast<size_t>(nRows), nullptr);
    for (int64_t r = 0; r < nRows; ++r) rows[static_cast<size_t>(r)] = Table(host[r], length(r));
    T** device = DeviceCopyOf(rows.data(), nRows);
    copies_[key] = device;
    return device;
  }

 private:
  std::map<std::pair<const void*, int64_t>, void*> copies_;
};

// Lists laid out one after another in one block of device memory, each
// given the device address it has once the block is copied. A voxel grid has
// many short lists; packing them spares a device allocation (and its 256-byte
// rounding) per list. The same packing runs twice: once on a block at address
// 0 to learn its size, then on the block allocated.
class DEVICEPACK {
 public:
  explicit DEVICEPACK(uintptr_t deviceBase) : base_(deviceBase) {}

  // A copy of host[0..n-1] (null for no list).
  template <typename T>
  T* Put(const T* host, int64_t n) {
    if (host == nullptr || n <= 0) return nullptr;
    const size_t bytes = static_cast<size_t>(n) * sizeof(T);
    const size_t offset = (bytes_.size() + kAlignment - 1) / kAlignment * kAlignment;
    bytes_.resize(offset + bytes);
    std::memcpy(bytes_.data() + offset, host, bytes);
    return reinterpret_cast<T*>(base_ + offset);
  }

  // A table of nRows rows, row r of length(r) values (a null or empty row
  // stays null): the rows first, then the table of their addresses.
  template <typename T, typename Length>
  T** PutRows(const T* const* host, int64_t nRows, Length length) {
    if (host == nullptr || nRows <= 0) return nullptr;
    std::vector<T*> rows(static_cast<size_t>(nRows), nullptr);
    for (int64_t r = 0; r < nRows; ++r) rows[static_cast<size_t>(r)] = Put(host[r], length(r));
    return Put(rows.data(), nRows);
  }

  const std::vector<char>& Bytes() const { return bytes_; }

 private:
  static constexpr size_t kAlignment = 8;  // the widest value of the lists
  uintptr_t base_;
  std::vector<char> bytes_;
};

// --- Complex geometry --------------------------------------------------------------

// Device addresses of the voxels, voxel2index and the unions.
struct GEOMETRYADDRESSES {
  VOXEL* voxels = nullptr;
  int* const* const* voxel2index = nullptr;
  CELLUNION* unions = nullptr;
};

// A voxel's lists: the surfaces; the cells on either side of each surface
// (voxels that several cells reach into); the cells with their surfaces and
// senses; the per-cell bit sets.
VOXEL PackVoxel(VOXEL v, DEVICEPACK& pack) {
  const int64_t n = v.nSurf;
  const int64_t m = v.nCells;
  const auto counted = [](const uint16_t* counts) {
    return [counts](int64_t i) { return static_cast<int64_t>(counts[i]); };
  };
  const auto words = [&v](int64_t) { return static_cast<int64_t>(v.nMaskWords); };
  v.surfaces = pack.Put(v.surfaces, n);
  if (v.nNegCells != nullptr) v.negCells = pack.PutRows<uint16_t>(v.negCells, n, counted(v.nNegCells));
  if (v.nPosCells != nullptr) v.posCells = pack.PutRows<uint16_t>(v.posCells, n, counted(v.nPosCells));
  v.nNegCells = pack.Put(v.nNegCells, n);
  v.nPosCells = pack.Put(v.nPosCells, n);
  v.cells = pack.Put(v.cells, m);
  if (v.nCellSurf != nullptr) {
    v.cellSurf = pack.PutRows<uint16_t>(v.cellSurf, m, counted(v.nCellSurf));
    v.cellSense = pack.PutRows<int8_t>(v.cellSense, m, counted(v.nCellSurf));
  }
  v.nCellSurf = pack.Put(v.nCellSurf, m);
  v.surfMask = pack.PutRows<uint16_t>(v.surfMask, m, words);
  v.posMask = pack.PutRows<uint16_t>(v.posMask, m, words);
  return v;
}

GEOMETRYADDRESSES PackGeometry(const Constants& h, DEVICEPACK& pack) {
  GEOMETRYADDRESSES d;
  if (h.voxels2 != nullptr && h.nVoxels2 > 0) {
    std::vector<VOXEL> voxels(h.voxels2, h.voxels2 + h.nVoxels2);
    for (VOXEL& v : voxels) v = PackVoxel(v, pack);
    d.voxels = pack.Put(voxels.data(), h.nVoxels2);
  }
  if (h.voxel2index != nullptr) {
    // [x slab] -> [y slab] -> row of the z slabs' voxel indices.
    const int64_t nx = h.nXplanesTot + 1, ny = h.nYplanesTot + 1, nz = h.nZplanesTot + 1;
    std::vector<int* const*> planes(static_cast<size_t>(nx));
    std::vector<int*> rows(static_cast<size_t>(ny));
    for (int64_t x = 0; x < nx; ++x) {
      for (int64_t y = 0; y < ny; ++y) rows[static_cast<size_t>(y)] = pack.Put(h.voxel2index[x][y], nz);
      planes[static_cast<size_t>(x)] = pack.Put(rows.data(), ny);
    }
    d.voxel2index = pack.Put(planes.data(), nx);
  }
  if (h.unionData != nullptr && h.nUnions > 0) {
    std::vector<CELLUNION> unions(h.unionData, h.unionData + h.nUnions);
    for (CELLUNION& u : unions) u.cells = pack.Put(u.cells, u.nCells);
    d.unions = pack.Put(unions.data(), h.nUnions);
  }
  return d;
}

// The voxels, voxel2index and the unions in one block on the current device.
GEOMETRYADDRESSES UploadGeometry(const Constants& h) {
  DEVICEPACK sizing(0);
  PackGeometry(h, sizing);
  const size_t bytes = sizing.Bytes().size();
  if (bytes == 0) return GEOMETRYADDRESSES{};
  char* block = static_cast<char*>(DeviceAllocate(bytes));
  DEVICEPACK pack(reinterpret_cast<uintptr_t>(block));
  const GEOMETRYADDRESSES d = PackGeometry(h, pack);
  DeviceUpload(block, pack.Bytes().data(), bytes);
  return d;
}

// --- Cells and materials -----------------------------------------------------------

// The cells with their lists on the device: the bounding surfaces and senses,
// the inner cells and the cell-entry lists. The naming lists of macrobodies
// and facets serve the host's messages only and stay behind.
CELL* UploadCells(const CELL* cells, int32_t n, DEVICECOPIER& c) {
  if (cells == nullptr || n <= 0) return nullptr;
  std::vector<CELL> copy(cells, cells + n);
  for (CELL& cell : copy) {
    cell.surfaces = c.Table(cell.surfaces, cell.nSurf);
    cell.senses = c.Table(cell.senses, cell.nSurf);
    cell.innerCells = c.Table(cell.innerCells, cell.innerCellCount);
    // A row holds the cell's nEntrySlots slots.
    for (int row = 0; row < kCellEntryRows; ++row) {
      const uint16_t* counts = cell.cellEntryCount[row];
      if (counts == nullptr) continue;
      cell.cellEntryList[row] = c.Rows(static_cast<const uint16_t* const*>(cell.cellEntryList[row]), cell.nEntrySlots,
                                       [&](int64_t s) { return static_cast<int64_t>(counts[s]); });
      cell.cellEntryCount[row] = c.Table(counts, cell.nEntrySlots);
    }
    cell.surfMacrobody = nullptr;
    cell.surfFacet = nullptr;
  }
  return DeviceCopyOf(copy.data(), n);
}

// Rows of a material's electron table: up to the null pointer that ends them.
int64_t RowCount(const double* const* rows) {
  int64_t n = 0;
  while (rows != nullptr && rows[n] != nullptr) ++n;
  return n;
}

// The materials with their electron tables (the positron rows included when
// they exist) and the fast index of their energy grids.
MATERIAL* UploadMaterials(const MATERIAL* materials, int32_t n, int32_t nElements, DEVICECOPIER& c) {
  if (materials == nullptr || n <= 0) return nullptr;
  std::vector<MATERIAL> copy(materials, materials + n);
  for (MATERIAL& m : copy) {
    const int64_t entries = m.nElectronEntries;
    const int64_t energies = m.nElectronEnergies;
    const auto gridLength = [&](int64_t) { return energies; };
    m.entryElement = c.Table(m.entryElement, entries);
    m.entrySection = c.Table(m.entrySection, entries);
    m.electronEnergy = c.Table(m.electronEnergy, energies);
    // The row tables keep the null pointer past their last row.
    const int64_t rows = RowCount(m.electronSigma);
    m.electronSigma = c.Rows(static_cast<const double* const*>(m.electronSigma), rows + 1, gridLength);
    m.electronSigmaSlope = c.Rows(static_cast<const double* const*>(m.electronSigmaSlope), rows + 1, gridLength);
    m.elasticSmallAngleShare =
        c.Rows(static_cast<const double* const*>(m.elasticSmallAngleShare), nElements, gridLength);
    m.elasticSmallAngleShareSlope =
        c.Rows(static_cast<const double* const*>(m.elasticSmallAngleShareSlope), nElements, gridLength);
    INDEXDATA& index = m.electronIndex;
    const int64_t indexEntries = index.indexType != 0 ? indexSize[index.exponent] : 0;
    index.intervalIndex = c.Table(index.intervalIndex, indexEntries);
    index.doubleStep = c.Table(index.doubleStep, indexEntries);
  }
  return DeviceCopyOf(copy.data(), n);
}

// Interaction forcing: per material a zeroed flag for each forced entry (none
// for a material without forced entries), and the table of their addresses.
int32_t** UploadForcingFlags(const MATERIAL* materials, int32_t n) {
  if (materials == nullptr || n <= 0) return nullptr;
  std::vector<int32_t*> flags(static_cast<size_t>(n), nullptr);
  for (int32_t m = 0; m < n; ++m) {
    const size_t bytes = static_cast<size_t>(materials[m].nForcedEntries) * sizeof(int32_t);
    flags[static_cast<size_t>(m)] = static_cast<int32_t*>(DeviceAllocateZeroed(bytes));
  }
  return DeviceCopyOf(flags.data(), n);
}

// --- Tally definitions -------------------------------------------------------------

// The cell-entry registration of every cell, with its per-slot lists.
const CELLENTRYSITE* UploadCellEntrySites(const CELLENTRYSITE* sites, int32_t nCells, DEVICECOPIER& c) {
  if (sites == nullptr || nCells <= 0) return nullptr;
  std::vector<CELLENTRYSITE> copy(sites, sites + nCells);
  for (CELLENTRYSITE& site : copy) {
    const int64_t slots = site.nEntrySlots;
    for (int k = 0; k < kTallyClassCount; ++k) {
      const uint16_t* counts = site.cellEntryCount[k];
      if (counts == nullptr) continue;
      site.cellEntryList[k] =
          c.Rows(site.cellEntryList[k], slots, [&](int64_t s) { return static_cast<int64_t>(counts[s]); });
      site.cellEntryCount[k] = c.Table(counts, slots);
    }
  }
  return DeviceCopyOf(copy.data(), nCells);
}

TALLYTABLES UploadTallyTables(const TALLYTABLES& h, DEVICECOPIER& c) {
  TALLYTABLES d = h;
  if (h.rangeData != nullptr) {
    const TALLYRANGE* ranges = c.Table(&h.rangeData[0][0], kQuantityCount * kMaxRangesPerQuantity);
    d.rangeData = reinterpret_cast<const TALLYRANGE(*)[kMaxRangesPerQuantity]>(ranges);
  }
  if (h.tallyData != nullptr) {
    const PLANETALLY* tallies = c.Table(&h.tallyData[0][0], kTallyClassCount * kMaxPlaneTalliesPerClass);
    d.tallyData = reinterpret_cast<const PLANETALLY(*)[kMaxPlaneTalliesPerClass]>(tallies);
  }
  for (int k = 0; k < kTallyClassCount; ++k) {
    d.oneDimHalf[k] = c.Table(h.oneDimHalf[k], h.nOneDimSlots[k]);
    d.twoDimHalf[k] = c.Table(h.twoDimHalf[k], h.nTwoDimSlots[k]);
    d.cellEntryTally[k] = c.Table(h.cellEntryTally[k], h.nCellEntryTallies[k]);
  }
  d.cellEntrySites = UploadCellEntrySites(h.cellEntrySites, h.nCells, c);
  d.pulseHeightTally = c.Table(h.pulseHeightTally, h.nPulseHeight_tot);
  d.cellsPulseHeight = c.Table(h.cellsPulseHeight, h.nCellsPulseHeight);
  d.pulseHeightSlotOfCell = c.Table(h.pulseHeightSlotOfCell, h.nCells);
  return d;
}

// --- Tally score arrays ------------------------------------------------------------

// Zeroed arrays of lengths[i] values (none where the length is 0), their
// device addresses in `arrays` and the device table of those addresses.
template <typename T>
T** ZeroedArrays(const std::vector<int64_t>& lengths, std::vector<T*>* arrays) {
  arrays->assign(lengths.size(), nullptr);
  for (size_t i = 0; i < lengths.size(); ++i) {
    (*arrays)[i] = static_cast<T*>(DeviceAllocateZeroed(static_cast<size_t>(lengths[i]) * sizeof(T)));
  }
  return DeviceCopyOf(arrays->data(), static_cast<int64_t>(arrays->size()));
}

// The 1-D or 2-D tables of one class: two halves of half[s] values per slot,
// counts or (weighted) weight sums, and energy sums where the tally keeps them.
template <typename Counts, typename Weights, typename Energies>
void UploadTableScores(const TALLYTABLES& tt, int k, bool twoDim, bool weighted, Counts counts, Weights weights,
                       Energies energies) {
  const int32_t nSlots = twoDim ? tt.nTwoDimSlots[k] : tt.nOneDimSlots[k];
  const int32_t* half = twoDim ? tt.twoDimHalf[k] : tt.oneDimHalf[k];
  if (nSlots == 0) return;
  std::vector<uint8_t> eFlux(static_cast<size_t>(nSlots), 0);
  MarkEnergyFluxSlots(tt, k, twoDim, eFlux.data());
  std::vector<int64_t> lengths(static_cast<size_t>(nSlots)), energyLengths(static_cast<size_t>(nSlots));
  for (int32_t s = 0; s < nSlots; ++s) {
    lengths[static_cast<size_t>(s)] = 2 * static_cast<int64_t>(half[s]);
    energyLengths[static_cast<size_t>(s)] = eFlux[static_cast<size_t>(s)] != 0 ? lengths[static_cast<size_t>(s)] : 0;
  }
  if (weighted) {
    *weights.device = ZeroedArrays(lengths, weights.host);
  } else {
    *counts.device = ZeroedArrays(lengths, counts.host);
  }
  *energies.device = ZeroedArrays(energyLengths, energies.host);
}

// One kind of score array: where its device table goes and its host mirror.
template <typename T>
struct SCORES {
  T*** device;
  std::vector<T*>* host;
};

template <typename T>
T*** CellEntryArrays(const TALLYTABLES& tt, int k, bool energies, std::vector<std::vector<T*>>* host) {
  const int32_t n = tt.nCellEntryTallies[k];
  host->assign(static_cast<size_t>(n), {});
  std::vector<T**> tables(static_cast<size_t>(n), nullptr);
  for (int32_t t = 0; t < n; ++t) {
    const CELLENTRYTALLY& tally = tt.cellEntryTally[k][t];
    if (energies && tally.eFlux == 0) continue;  // no energy table: the device never reads the entry
    std::vector<int64_t> lengths(static_cast<size_t>(tally.nEnergyRanges));
    for (int32_t r = 0; r < tally.nEnergyRanges; ++r) {
      lengths[static_cast<size_t>(r)] = 2 * static_cast<int64_t>(tt.rangeData[kQuantityE][tally.energyRange[r]].bins);
    }
    tables[static_cast<size_t>(t)] = ZeroedArrays(lengths, &(*host)[static_cast<size_t>(t)]);
  }
  return DeviceCopyOf(tables.data(), n);
}

void UploadScores(const TALLYTABLES& tt, bool weighted, DEVICETALLIES* d) {
  for (int k = 0; k < kTallyClassCount; ++k) {
    UploadTableScores(tt, k, false, weighted, SCORES<int64_t>{&d->oneDimTallies[k], &d->oneDimCounts[k]},
                      SCORES<double>{&d->oneDimTallies_wt[k], &d->oneDimWeights[k]},
                      SCORES<double>{&d->oneDimTallies_E[k], &d->oneDimEnergies[k]});
    UploadTableScores(tt, k, true, weighted, SCORES<int64_t>{&d->twoDimTallies[k], &d->twoDimCounts[k]},
                      SCORES<double>{&d->twoDimTallies_wt[k], &d->twoDimWeights[k]},
                      SCORES<double>{&d->twoDimTallies_E[k], &d->twoDimEnergies[k]});
    if (tt.nCellEntryTallies[k] == 0) continue;
    if (weighted) {
      d->cellEntryHist_wt[k] = CellEntryArrays(tt, k, false, &d->cellEntryWeights[k]);
    } else {
      d->cellEntryHist[k] = CellEntryArrays(tt, k, false, &d->cellEntryCounts[k]);
    }
    d->cellEntryHist_E[k] = CellEntryArrays(tt, k, true, &d->cellEntryEnergies[k]);
  }
  const int32_t n = tt.nPulseHeight_tot;
  if (n == 0) return;
  std::vector<int64_t> bins(static_cast<size_t>(n)), energyBins(static_cast<size_t>(n));
  for (int32_t t = 0; t < n; ++t) {
    const PULSEHEIGHTTALLY& ph = tt.pulseHeightTally[t];
    bins[static_cast<size_t>(t)] = ph.bins;
    energyBins[static_cast<size_t>(t)] = ph.eDeposition != 0 ? ph.bins : 0;
  }
  d->pulseHeightHist = ZeroedArrays(bins, &d->pulseHeightCounts);
  d->pulseHeightEnergy = ZeroedArrays(energyBins, &d->pulseHeightEnergies);
}

// --- Elements ----------------------------------------------------------------------

// Each element checked on the device; -1, or the first element whose record
// or tables the device does not find in its block.
int32_t CheckElements(const HOSTPROBLEM& host, const Elem* elements) {
  const std::vector<int64_t> offsets = ElementReferenceOffsets();
  const int64_t* deviceOffsets = DeviceCopyOf(offsets.data(), static_cast<int64_t>(offsets.size()));
  auto* results = static_cast<ELEMENTCHECK*>(DeviceAllocate(host.nElements * sizeof(ELEMENTCHECK)));
  for (int32_t i = 0; i < host.nElements; ++i) {
    CopyElementDataToDevice(COPYELEMENTDATAKERNEL{elements, host.elementBytes, host.nElements, deviceOffsets,
                                                  static_cast<int32_t>(offsets.size()), i, results});
  }
  std::vector<ELEMENTCHECK> found(static_cast<size_t>(host.nElements));
  DeviceDownload(found.data(), results, found.size() * sizeof(ELEMENTCHECK));
  DeviceRelease(results);
  DeviceRelease(const_cast<int64_t*>(deviceOffsets));
  for (int32_t i = 0; i < host.nElements; ++i) {
    const ELEMENTCHECK& f = found[static_cast<size_t>(i)];
    if (f.Z != host.elements[i].Z || f.badReferences != 0) return i;
  }
  return -1;
}

}  // namespace

std::vector<int64_t> ElementReferenceOffsets() {
#define TQ_REF(field) static_cast<int64_t>(offsetof(Elem, field))
  std::vector<int64_t> o = {
      TQ_REF(sectionEnergy),
      TQ_REF(sectionCs),
      TQ_REF(sectionSlope),
      TQ_REF(smallAngleShare),
      TQ_REF(smallAngleShareSlope),
      TQ_REF(excLossEnergy),
      TQ_REF(excLoss),
      TQ_REF(excLossSlope),
      TQ_REF(bremsLossEnergy),
      TQ_REF(bremsLoss),
      TQ_REF(bremsLossSlope),
      TQ_REF(ionSpecX),
      TQ_REF(ionSpecPdf),
      TQ_REF(ionSpecCum),
      TQ_REF(ionSpecSlope),
      TQ_REF(bremsSpecX),
      TQ_REF(bremsSpecPdf),
      TQ_REF(bremsSpecCum),
      TQ_REF(bremsSpecSlope),
      TQ_REF(elasticCos),
      TQ_REF(elasticPdf),
      TQ_REF(elasticCum),
      TQ_REF(elasticSlope),
      TQ_REF(elasticModelLnEta[0]),
      TQ_REF(elasticModelLnEta[1]),
      TQ_REF(bremsAngCos),
      TQ_REF(bremsAngPdf),
      TQ_REF(bremsAngCum),
      TQ_REF(bremsAngSlope),
      TQ_REF(bremsAngN),
      TQ_REF(bremsAngMedian),
      TQ_REF(transEnergy),
      TQ_REF(transProb),
      TQ_REF(transCum),
      TQ_REF(transFill),
      TQ_REF(transEmit),
      TQ_REF(photoionEnergy),
      TQ_REF(photoionCs),
      TQ_REF(photoionLnEnergy),
      TQ_REF(photoionLnCs),
      TQ_REF(photoionSlope),
      TQ_REF(cohEnergy),
      TQ_REF(cohCs),
      TQ_REF(cohLnEnergy),
      TQ_REF(cohLnCs),
      TQ_REF(cohSlope),
      TQ_REF(incohEnergy),
      TQ_REF(incohCs),
      TQ_REF(incohLnEnergy),
      TQ_REF(incohLnCs),
      TQ_REF(incohSlope),
      TQ_REF(ffX),
      TQ_REF(ff),
      TQ_REF(ffLnX),
      TQ_REF(ffLnY),
      TQ_REF(ffSlope),
      TQ_REF(ffIntF2),
      TQ_REF(ffIntF),
      TQ_REF(sfX),
      TQ_REF(sf),
      TQ_REF(sfLnX),
      TQ_REF(sfLnY),
      TQ_REF(sfSlope),
      TQ_REF(anomImagX),
      TQ_REF(anomImag),
      TQ_REF(anomImagSlope),
      TQ_REF(anomRealX),
      TQ_REF(anomReal),
      TQ_REF(anomRealSlope),
      TQ_REF(ppEnergy),
      TQ_REF(ppCs),
      TQ_REF(ppLnEnergy),
      TQ_REF(ppLnCs),
      TQ_REF(ppSlope),
      TQ_REF(peAngCos),
      TQ_REF(peAngPdf),
      TQ_REF(peAngCum),
      TQ_REF(peAngSlope),
      TQ_REF(peAngMedian),
      TQ_REF(ppSpecX),
      TQ_REF(ppSpecPdf),
      TQ_REF(ppSpecCum),
      TQ_REF(ppSpecSlope),
      TQ_REF(profileQ),
      TQ_REF(profileJ),
      TQ_REF(profileCum),
      TQ_REF(profileSlope),
      TQ_REF(profileMedian),
      TQ_REF(sectionCsPositron),
      TQ_REF(sectionSlopePositron),
      TQ_REF(elasticCosPositron),
      TQ_REF(elasticPdfPositron),
      TQ_REF(elasticCumPositron),
      TQ_REF(elasticSlopePositron),
      TQ_REF(excLossIndex.intervalIndex),
      TQ_REF(excLossIndex.narrowIndex),
      TQ_REF(ionSpecEnergyIndex),
      TQ_REF(ionSpecCumIndex),
      TQ_REF(elasticEnergyIndex.intervalIndex),
      TQ_REF(elasticEnergyIndex.narrowIndex),
      TQ_REF(elasticCumIndex),
      TQ_REF(photoionUnionLnEnergy),
      TQ_REF(photoionUnionInterval),
      TQ_REF(relaxRows),
      TQ_REF(ffRunLow),
      TQ_REF(ffRunHigh),
      TQ_REF(sfRunLow),
      TQ_REF(sfRunHigh),
      TQ_REF(photoionUnionBuckets.first),
      TQ_REF(cohBuckets.first),
      TQ_REF(incohBuckets.first),
      TQ_REF(sfBuckets.first),
  };
#undef TQ_REF
  return o;
}

int32_t UploadProblem(const HOSTPROBLEM& host, DEVICEPROBLEM* device) {
  DEVICECOPIER c;
  const Constants& h = *host.constants;
  Constants& k = device->constants;
  k = h;
  // The source spectrum.
  k.E_source = c.Table(h.E_source, h.nEnerg);
  k.weight = c.Table(h.weight, h.nEnerg);
  k.cumulativeWeight.values = c.Table(h.cumulativeWeight.Table(), h.nEnerg);
  // The volume source's voxels.
  k.source_partialVoxels = c.Table(h.source_partialVoxels, h.source_nPartialVoxels);
  k.source_completeVoxels = c.Table(h.source_completeVoxels, h.source_nCompleteVoxels);
  const int64_t volumeSums = h.source_nPartialVoxels + h.source_nCompleteVoxels + 1;
  k.source_voxelVolumeSum = c.Table(h.source_voxelVolumeSum, h.source_voxelVolumeSum != nullptr ? volumeSums : 0);
  // The complex geometry's tables: the plane sets and coordinates, the
  // surfaces, and the voxels, voxel2index and unions with their lists.
  k.xSet = c.Table(h.xSet, h.nXsets);
  k.ySet = c.Table(h.ySet, h.nYsets);
  k.zSet = c.Table(h.zSet, h.nZsets);
  k.xCoord = c.Table(h.xCoord, h.nXplanesTot);
  k.yCoord = c.Table(h.yCoord, h.nYplanesTot);
  k.zCoord = c.Table(h.zCoord, h.nZplanesTot);
  k.surf = c.Table(h.surf, h.nSurfaces);
  const GEOMETRYADDRESSES grid = UploadGeometry(h);
  k.voxels2 = grid.voxels;
  k.voxel2index = grid.voxel2index;
  k.unionData = grid.unions;
  // Cells, materials, tallies.
  k.cell = UploadCells(h.cell, h.nCells, c);
  k.material = UploadMaterials(h.material, h.nMaterials, host.nElements, c);
  k.warnForced = host.weighted ? UploadForcingFlags(h.material, h.nMaterials) : nullptr;
  device->tallyTables = UploadTallyTables(*host.tallyTables, c);
  UploadScores(*host.tallyTables, host.weighted, &device->tallies);
  // The element block, one byte copy.
  device->elements =
      reinterpret_cast<Elem*>(DeviceCopyOf(reinterpret_cast<const char*>(host.elements), host.elementBytes));
  k.device = host.device;
  // The records into the device globals.
  Constants* constantsBuffer = DeviceCopyOf(&k, 1);
  TALLYTABLES* tallyBuffer = DeviceCopyOf(&device->tallyTables, 1);
  CopyConstantsToDevice(constantsBuffer, tallyBuffer, device->elements);
  DeviceRelease(constantsBuffer);
  DeviceRelease(tallyBuffer);
  return CheckElements(host, device->elements);
}
