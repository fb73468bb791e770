#include "driver/data/element_loader.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/allocation.h"
#include "driver/data/aux_electron_data.h"
#include "driver/data/fast_index.h"
#include "driver/data/load_steps.h"
#include "driver/progress_line.h"
#include "platform/memory.h"

namespace {

// A staging record on fresh zero pages: of its fixed capacities only the
// pages that the elements write take memory.
ElemStaging* NewStaging() {
  void* pages = AllocateZeroedPages(sizeof(ElemStaging));
  if (pages == nullptr) AllocationFailed("element data", sizeof(ElemStaging));
  return new (pages) ElemStaging;
}

void ReleaseStaging(ElemStaging* staging) {
  FreeElementTables(staging);
  ReleasePages(staging, sizeof(ElemStaging));
}

// The tables of a family whose grid energies lie in the problem's energy
// range [emin, emax]: from the last grid energy at or below emin through the
// first above emax (last < first for an empty grid). The transport samples
// no other table of the family; the index report counts the same tables.
void ProblemEnergyRange(const double* grid, int n, double emin, double emax, int* first, int* last) {
  *first = 0;
  while (*first + 1 < n && grid[*first + 1] <= emin) ++*first;
  *last = n > 0 ? *first : -1;
  while (*last + 1 < n && grid[*last] <= emax) ++*last;
}

// One fast index of an element: where it lies and how it is requested.
struct INDEXREQUEST {
  INDEXSLOT slot;
  int type;          // requested type
  int exponent;      // requested (largest) exponent
  double low, high;  // the covered range of the grid
  bool excludeFirst;
};

// The fast indexes of an element (staging or pooled record), in build
// order: the energy grids, and the cumulative tables that the problem's
// energies reach (the others are searched by halving, which finds the same
// intervals); the elastic ones only when elastic scattering is simulated.
template <typename Record>
std::vector<INDEXREQUEST> IndexRequests(const ELEMENTLOADOPTIONS& options, const Record& el) {
  const double emin = options.minEnergy, emax = options.maxEnergy;
  std::vector<INDEXREQUEST> requests;
  requests.push_back(
      {{INDEXFAMILY::kExcLoss, 0, 0}, options.excEIndexType, options.excEIndexExponent, emin, emax, false});
  int first = 0, last = -1;
  for (int s = 0; s < el.nSubshells; ++s) {
    requests.push_back(
        {{INDEXFAMILY::kIonEnergy, s, 0}, options.ionEIndexType, options.ionEIndexExponent, emin, emax, false});
    ProblemEnergyRange(el.ionSpecEnergy[s], el.ionSpecNE[s], emin, emax, &first, &last);
    for (int e = first; e <= last; ++e)
      requests.push_back({{INDEXFAMILY::kIonCum, s, e},
                          options.ionSecECdfIndexType,
                          options.ionSecECdfIndexExponent,
                          0.0,
                          1.0,
                          options.ionSecECdfExcludeFirst});
  }
  if (options.elastic == 0) return requests;
  requests.push_back({{INDEXFAMILY::kElasticEnergy, 0, 0},
                      options.elasticEIndexType,
                      options.elasticEIndexExponent,
                      emin,
                      emax,
                      false});
  ProblemEnergyRange(el.elasticEnergy, el.elasticNE, emin, emax, &first, &last);
  for (int e = first; e <= last; ++e)
    requests.push_back({{INDEXFAMILY::kElasticCum, 0, e},
                        options.elasticCdfIndexType,
                        options.elasticCdfIndexExponent,
                        0.0,
                        1.0,
                        options.elasticCdfExcludeFirst});
  return requests;
}

// The grid of the index at `slot` and its point count.
template <typename Record>
const double* IndexGrid(const Record& el, const INDEXSLOT& slot, int* n) {
  switch (slot.family) {
    case INDEXFAMILY::kExcLoss:
      *n = el.excLossN;
      return el.excLossEnergy;
    case INDEXFAMILY::kIonEnergy:
      *n = el.ionSpecNE[slot.s];
      return el.ionSpecEnergy[slot.s];
    case INDEXFAMILY::kIonCum:
      *n = el.ionSpecN[slot.s][slot.e];
      return el.ionSpecCum[slot.s][slot.e];
    case INDEXFAMILY::kElasticEnergy:
      *n = el.elasticNE;
      return el.elasticEnergy;
    case INDEXFAMILY::kElasticCum:
      break;
  }
  *n = el.elasticN[slot.e];
  return el.elasticCum[slot.e];
}

// The staging record's index at `slot`.
INDEXDATA& StagingIndex(ElemStaging* elem, const INDEXSLOT& slot) {
  switch (slot.family) {
    case INDEXFAMILY::kExcLoss:
      return elem->excLossIndex;
    case INDEXFAMILY::kIonEnergy:
      return elem->ionSpecEnergyIndex[slot.s];
    case INDEXFAMILY::kIonCum:
      return elem->ionSpecCumIndex[slot.s][slot.e];
    case INDEXFAMILY::kElasticEnergy:
      return elem->elasticEnergyIndex;
    case INDEXFAMILY::kElasticCum:
      break;
  }
  return elem->elasticCumIndex[slot.e];
}

void BuildIndex(const double* grid, int n, const INDEXREQUEST& request, INDEXDATA* index) {
  index->indexType = request.type;
  index->exponent = request.exponent;
  BuildFastIndex(grid, n, index, request.low, request.high, request.excludeFirst);
}

// The indexes of pooled record i, built one at a time from its pooled grids
// and added to the pool, so that no more than one index table is held
// outside it.
void BuildPooledIndexes(const ELEMENTLOADOPTIONS& options, int i, ELEMENTPOOL* pool) {
  for (const INDEXREQUEST& request : IndexRequests(options, pool->elements[i])) {
    INDEXDATA index{};
    int n = 0;
    const double* grid = IndexGrid(pool->elements[i], request.slot, &n);
    BuildIndex(grid, n, request, &index);
    AddIndexToPool(index, i, request.slot, pool);  // the block may move: grid is not read after
    FreeFastIndex(&index);
  }
}

// Loading as LoadElement does, without the fast indexes.
int LoadElementTables(int z, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex,
                      ElemStaging* elem) {
  elem->Z = z;
  // Element constants of the screened Rutherford small-angle elastic model.
  const PHYSICALCONSTANTS& k = options.constants;
  elem->screeningEta0 = 0.5 * std::pow(k.fineStr * k.restEn / 0.885, 2) * std::pow(static_cast<double>(z), 2.0 / 3.0);
  elem->screeningCoulomb = 3.76 * std::pow(k.fineStr * z, 2);
  // Electro-atomic file with the auxiliary data between its sections.
  ENDFREADER reader;
  if (OpenElectroAtomicFile(options, *elem, &reader) != 0) return 1;
  int code = ReadElectroAtomicSections(&reader, options, elem);
  if (code == 0 && aux) code = LoadAuxiliaryElectronData(options, aux, elementIndex, elem);
  if (code == 0 && !aux) CopyPositronRows(elem);
  if (code == 0 && options.outputCs != 0) code = WriteElementCrossSectionFiles(options, *elem);
  if (code == 0) code = ReadIonizationSpectra(&reader, elem);
  CloseEndfFile(&reader);
  if (code != 0) return 1;
  if (aux && options.bremsAngularDistr > 0 && ReadBremsAngularDistributions(options, &aux->files, elem) != 0) return 1;
  // Relaxation, Compton profiles and photo-atomic data.
  if (ReadRelaxationFile(options, elem) != 0) return 1;
  if (options.incohDoppler != 0 && ReadComptonProfiles(options, elem) != 0) return 1;
  if (options.peAngularDistr != 0) ComputePhotoelectronParameters(elem);
  return ReadPhotoAtomicFile(options, elem);
}

template <typename T>
void DeleteRows(T** rows, int count) {
  if (!rows) return;
  for (int i = 0; i < count; ++i) delete[] rows[i];
  delete[] rows;
}

void FreeBremsAngular(ElemStaging* elem) {
  if (!elem->bremsAngN) return;
  for (int e = 0; e < elem->bremsSpecNE; ++e) {
    const int nk = elem->bremsSpecN[e];
    DeleteRows(elem->bremsAngCos[e], nk);
    DeleteRows(elem->bremsAngPdf[e], nk);
    DeleteRows(elem->bremsAngCum[e], nk);
    DeleteRows(elem->bremsAngSlope[e], nk);
  }
  DeleteRows(elem->bremsAngCos, 0);
  DeleteRows(elem->bremsAngPdf, 0);
  DeleteRows(elem->bremsAngCum, 0);
  DeleteRows(elem->bremsAngSlope, 0);
  DeleteRows(elem->bremsAngN, elem->bremsSpecNE);
  DeleteRows(elem->bremsAngMedian, elem->bremsSpecNE);
  elem->bremsAngCos = elem->bremsAngPdf = elem->bremsAngCum = elem->bremsAngSlope = nullptr;
  elem->bremsAngN = nullptr;
  elem->bremsAngMedian = nullptr;
}

}  // namespace

void BuildElementIndexes(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  for (const INDEXREQUEST& request : IndexRequests(options, *elem)) {
    int n = 0;
    const double* grid = IndexGrid(*elem, request.slot, &n);
    BuildIndex(grid, n, request, &StagingIndex(elem, request.slot));
  }
}

int LoadElement(int z, const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  return LoadElement(z, options, nullptr, -1, elem);
}

int LoadElement(int z, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex, ElemStaging* elem) {
  if (LoadElementTables(z, options, aux, elementIndex, elem) != 0) return 1;
  BuildElementIndexes(options, elem);
  return 0;
}

int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options, ELEMENTPOOL* pool) {
  return LoadElements(atomicNumbers, count, options, nullptr, pool);
}

int LoadElements(const int* atomicNumbers, int count, const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux,
                 ELEMENTPOOL* pool) {
  StartElementPool(count, pool);
  ElemStaging* staging = NewStaging();
  PROGRESSLINE progress;
  int code = 0;
  for (int i = 0; i < count && code == 0; ++i) {
    const int z = atomicNumbers[i];
    char text[128];
    std::snprintf(text, sizeof text, "Reading the cross section data for %s (Z = %d)...", elementSymbol[z], z);
    progress.Show(text);
    // The element's tables are packed and its host tables released before
    // its indexes are built.
    code = LoadElementTables(z, options, aux, i, staging);
    if (code == 0) AddElementToPool(*staging, i, pool);
    if (code == 0 && i + 1 < count) {
      ClearElementStaging(staging);
    } else {
      FreeElementTables(staging);
    }
    if (code == 0) BuildPooledIndexes(options, i, pool);
  }
  ReleaseStaging(staging);
  if (code != 0) return 1;
  TrimElementPool(pool);
  progress.Blank();
  return 0;
}

void FreeElementTables(ElemStaging* elem) {
  FreeBremsAngular(elem);
  FreeFastIndex(&elem->excLossIndex);
  FreeFastIndex(&elem->elasticEnergyIndex);
  for (INDEXDATA& index : elem->ionSpecEnergyIndex) FreeFastIndex(&index);
  for (auto& row : elem->ionSpecCumIndex)
    for (INDEXDATA& index : row) FreeFastIndex(&index);
  for (INDEXDATA& index : elem->elasticCumIndex) FreeFastIndex(&index);
  if (elem->peAngCos) {
    for (int s = 0; s < elem->nSubshells; ++s) {
      DeleteRows(elem->peAngCos[s], elem->photoionN[s]);
      DeleteRows(elem->peAngPdf[s], elem->photoionN[s]);
      DeleteRows(elem->peAngCum[s], elem->photoionN[s]);
      DeleteRows(elem->peAngSlope[s], elem->photoionN[s]);
      delete[] elem->peAngMedian[s];
    }
    delete[] elem->peAngCos;
    delete[] elem->peAngPdf;
    delete[] elem->peAngCum;
    delete[] elem->peAngSlope;
    delete[] elem->peAngMedian;
  }
  DeleteRows(elem->ppSpecX, kPairEnergies);
  DeleteRows(elem->ppSpecPdf, kPairEnergies);
  DeleteRows(elem->ppSpecCum, kPairEnergies);
  DeleteRows(elem->ppSpecSlope, kPairEnergies);
  delete[] elem->ppSpecN;
  delete[] elem->ppSpecMedian;
  delete[] elem->profileQ;
  DeleteRows(elem->profileJ, elem->nProfiles);
  DeleteRows(elem->profileCum, elem->nProfiles);
  DeleteRows(elem->profileSlope, elem->nProfiles);
  delete[] elem->profileMedian;
  elem->peAngCos = elem->peAngPdf = elem->peAngCum = elem->peAngSlope = nullptr;
  elem->peAngMedian = nullptr;
  elem->ppSpecX = elem->ppSpecPdf = elem->ppSpecCum = elem->ppSpecSlope = nullptr;
  elem->ppSpecN = elem->ppSpecMedian = nullptr;
  elem->profileQ = nullptr;
  elem->profileJ = elem->profileCum = elem->profileSlope = nullptr;
  elem->profileMedian = nullptr;
}

void ClearElementStaging(ElemStaging* elem) {
  constexpr size_t kChunk = 4096;  // bytes: one page on the hosts we run on
  static const unsigned char zeros[kChunk] = {};
  FreeElementTables(elem);
  unsigned char* bytes = reinterpret_cast<unsigned char*>(elem);
  for (size_t at = 0; at < sizeof(ElemStaging); at += kChunk) {
    const size_t n = sizeof(ElemStaging) - at < kChunk ? sizeof(ElemStaging) - at : kChunk;
    if (std::memcmp(bytes + at, zeros, n) != 0) std::memset(bytes + at, 0, n);
  }
}

double MeanAtomicMass(double* fractions, const double* atomicMasses, int count) {
  if (count > 0 && fractions[0] < 0.0) {
    // Mass fractions become atom fractions: |f_i| / A_i, normalised.
    double sum = 0.0;
    for (int i = 0; i < count; ++i) sum += std::fabs(fractions[i]) / atomicMasses[i];
    for (int i = 0; i < count; ++i) fractions[i] = std::fabs(fractions[i]) / atomicMasses[i] / sum;
  }
  double mean = 0.0;
  for (int i = 0; i < count; ++i) mean += fractions[i] * atomicMasses[i];
  return 1000.0 * mean;
}
