#include "driver/setup/material_table_builder.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/element_table.h"
#include "core/elements.h"
#include "core/material_tables.h"
#include "core/physical_constants.h"
#include "driver/data/fast_index.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/input/options.h"
#include "driver/progress_line.h"
#include "platform/clock.h"

namespace setup {
uint8_t use_electron_logE = 0;
int32_t useDifferentCSforPositrons = 0;
int32_t maxElectronEntries = 0;
int32_t maxElectronEnergies = 0;
}  // namespace setup

namespace {

const char* const kCrossSectionFolderName = "Cross sections/";

// ---- One material's table ---------------------------------------------------------

// An (element, section) entry with its range of grid points and its cursor
// in the merge.
struct ENTRY {
  int element;  // global element index
  int section;
  const Elem* elem;
  double weight;  // atom fraction x 1e-24: barn to cm^2 per atom of the material
  int lo, hi;     // the entry's points are grid[lo] .. grid[hi + 1]
  int cursor;     // last point taken into the material grid; lo - 1 before the first
  bool hasPoints;
  bool supplied;  // the point just appended is one of the entry's own
};

// The entry's points reach from the last grid point at or below Emin to one
// or two points beyond Emax; an elastic entry without elastic scattering and
// an entry that ends below Emin have none.
ENTRY MakeEntry(const MATERIALTABLEOPTIONS& options, const Elem* elems, const MATERIAL& m, int g, int s) {
  ENTRY entry{};
  entry.element = g;
  entry.section = s;
  entry.elem = &elems[g];
  entry.weight = m.fraction[g] * kBarn;
  const int n = entry.elem->sectionN[s];
  const double* grid = entry.elem->sectionEnergy[s];
  entry.hasPoints = n >= 2 && !(s == 0 && options.elastic == 0) && options.minEnergy < grid[n - 1];
  if (!entry.hasPoints) {
    entry.cursor = 0;
    entry.lo = 0;
    entry.hi = -1;
    return entry;
  }
  int lo = SearchFromHint(options.minEnergy, grid, static_cast<int16_t>(n), 1);
  int hi = SearchFromHint(options.maxEnergy, grid, static_cast<int16_t>(n), static_cast<int16_t>(lo));
  if (lo < 0) lo = 0;
  if (hi < 0) hi = 0;
  if (hi < n - 2) ++hi;
  // The last point of the entry is grid[hi + 1]: never past the grid's end.
  if (hi > n - 2) hi = n - 2;
  entry.lo = lo;
  entry.hi = hi;
  entry.cursor = lo - 1;
  return entry;
}

// Non-elastic sections first, element after element, then the elastic
// entries of all elements.
std::vector<ENTRY> MakeEntries(const MATERIALTABLEOPTIONS& options, const Elem* elems, const MATERIAL& m) {
  std::vector<ENTRY> entries;
  for (int i = 0; i < m.nElements; ++i) {
    const int g = m.element[i];
    for (int s = 1; s < elems[g].nSections; ++s) entries.push_back(MakeEntry(options, elems, m, g, s));
  }
  for (int i = 0; i < m.nElements; ++i) entries.push_back(MakeEntry(options, elems, m, m.element[i], 0));
  return entries;
}

bool IsForced(const MATERIALTABLEOPTIONS& options, const ENTRY& entry) {
  const int process = ForcedProcessOfSection(entry.section);
  return entry.hasPoints && process >= 0 && options.forced[entry.element][process];
}

// The entry's cross section (barn) at E, the material grid's newest point.
double EntryValue(const ENTRY& entry, bool positron, double E) {
  const int s = entry.section;
  const Elem& el = *entry.elem;
  const double* cs = positron ? el.sectionCsPositron[s] : el.sectionCs[s];
  if (entry.supplied) return cs[entry.cursor];
  if (entry.cursor < entry.lo || entry.cursor > entry.hi) return 0.0;
  const double* slope = positron ? el.sectionSlopePositron[s] : el.sectionSlope[s];
  return cs[entry.cursor] + (E - el.sectionEnergy[s][entry.cursor]) * slope[entry.cursor];
}

bool Active(const ENTRY& entry) { return entry.hasPoints && entry.cursor <= entry.hi; }

// One point of the merged grid: its energy and the cumulative value of every
// row there (the electron rows, then the positron rows).
struct COLUMN {
  double energy;
  std::vector<double> sums;
};

// Merges the entries' point lists into one ascending grid (equal energies of
// several entries become one point), one point at a time, and ends after
// the first point above Emax: the table keeps exactly one point above Emax.
class MERGE {
 public:
  MERGE(const MATERIALTABLEOPTIONS& options, std::vector<ENTRY>& entries) : options_(options), entries_(entries) {}

  // The next point with its cumulative values; false after the last one.
  bool Next(COLUMN* column) {
    if (ended_) return false;
    double next = std::numeric_limits<double>::infinity();
    bool any = false;
    for (const ENTRY& entry : entries_) {
      if (!Active(entry)) continue;
      const double point = entry.elem->sectionEnergy[entry.section][entry.cursor + 1];
      if (point < next) next = point;
      any = true;
    }
    if (!any) {
      ended_ = true;
      return false;
    }
    for (ENTRY& entry : entries_) {
      entry.supplied = Active(entry) && entry.elem->sectionEnergy[entry.section][entry.cursor + 1] == next;
      if (entry.supplied) ++entry.cursor;
    }
    const size_t count = entries_.size();
    column->energy = next;
    column->sums.resize(options_.positronRows ? 2 * count : count);
    double electronSum = 0.0, positronSum = 0.0;
    for (size_t k = 0; k < count; ++k) {
      const ENTRY& entry = entries_[k];
      electronSum += entry.weight * EntryValue(entry, false, next);
      column->sums[k] = electronSum;
      if (!options_.positronRows) continue;
      double positron = EntryValue(entry, true, next);
      if (entry.section == 1 && options_.positronBremsCorrection != 0) {
        const double z = entry.elem->Z;
        positron *= PositronBremsRatio(next / (z * z));
      }
      positronSum += entry.weight * positron;
      column->sums[count + k] = positronSum;
    }
    ended_ = options_.maxEnergy < next;
    return true;
  }

 private:
  const MATERIALTABLEOPTIONS& options_;
  std::vector<ENTRY>& entries_;
  bool ended_ = false;
};

// ---- Thinning ------------------------------------------------------------------------

// The thinning to SIGMA_ERR, on the merged points as the merge delivers them:
// a greedy pass from the first point, in which the chord from a kept point
// reaches as far as it reproduces every point it spans, and the last point it
// could reach is kept and starts the next chord. First and last points always
// stay; SIGMA_ERR 0 keeps every point. Only the points from the start of the
// current chord to its far end are held, never the whole merged table.
class THINNING {
 public:
  THINNING(MERGE& merge, size_t entries, double sigmaErr) : merge_(merge), entries_(entries), sigmaErr_(sigmaErr) {}

  // Appends the kept points to grid and rows.
  void Run(std::vector<double>* grid, std::vector<std::vector<double>>* rows) {
    if (!Have(0)) return;
    Keep(0, grid, rows);
    size_t a = 0;
    if (sigmaErr_ == 0.0) {
      for (; Have(a + 1); ++a) Keep(a + 1, grid, rows);
      return;
    }
    while (Have(a + 2)) {
      size_t b = a + 2;
      while (Have(b) && ChordHolds(a, b)) ++b;
      if (!Have(b)) break;  // the chord reaches the last point
      Keep(b - 1, grid, rows);
      a = b - 1;
    }
    // The last point.
    size_t last = a;
    while (Have(last + 1)) ++last;
    if (last != a) Keep(last, grid, rows);
  }

 private:
  // Point k of the merged grid is held: false when the grid ends before it.
  bool Have(size_t k) {
    while (base_ + window_.size() <= k) {
      COLUMN column;
      if (!merge_.Next(&column)) return false;
      window_.push_back(std::move(column));
    }
    return true;
  }

  const COLUMN& At(size_t k) const { return window_[k - base_]; }

  // Point k is kept; the points before it are no longer needed.
  void Keep(size_t k, std::vector<double>* grid, std::vector<std::vector<double>>* rows) {
    const COLUMN& column = At(k);
    grid->push_back(column.energy);
    for (size_t r = 0; r < rows->size(); ++r) (*rows)[r].push_back(column.sums[r]);
    while (base_ < k) {
      window_.pop_front();
      ++base_;
    }
  }

  // The entry's own cross section: its cumulative value minus the one before.
  double Own(size_t r, size_t k) const {
    const std::vector<double>& sums = At(k).sums;
    const bool first = r == 0 || r == entries_;
    return first ? sums[r] : sums[r] - sums[r - 1];
  }

  // Every point strictly between a and b is reproduced by the chord from a to b.
  bool ChordHolds(size_t a, size_t b) const {
    const size_t rows = At(a).sums.size();
    for (size_t m = a + 1; m < b; ++m) {
      const double t = (At(m).energy - At(a).energy) / (At(b).energy - At(a).energy);
      for (size_t r = 0; r < rows; ++r) {
        const double v = Own(r, m);
        const double va = Own(r, a);
        const double w = va + (Own(r, b) - va) * t;
        if (w == v) continue;
        if (v == 0.0 || std::fabs(w / v - 1.0) > sigmaErr_) return false;
      }
    }
    return true;
  }

  MERGE& merge_;
  size_t entries_;  // E: rows E.. are the positron table
  double sigmaErr_;
  std::deque<COLUMN> window_;  // the held points
  size_t base_ = 0;            // merged index of window_[0]
};

// ---- Storing ---------------------------------------------------------------------------

// Slopes between neighbours of a row on the grid, the last one 0. Coinciding
// grid points (a step of the data) get slope 0.
double* SlopesOf(const double* grid, const double* values, int n) {
  double* slope = new double[n];
  for (int m = 0; m + 1 < n; ++m) {
    const double dx = grid[m + 1] - grid[m];
    slope[m] = dx > 0.0 ? (values[m + 1] - values[m]) / dx : 0.0;
  }
  if (n > 0) slope[n - 1] = 0.0;
  return slope;
}

double* CopyOf(const std::vector<double>& values) {
  double* copy = new double[values.size()];
  std::memcpy(copy, values.data(), values.size() * sizeof(double));
  return copy;
}

// The rows are released as they are stored, so that a large table is not
// held twice.
void StoreRows(const std::vector<double>& grid, std::vector<std::vector<double>>& rows, MATERIAL* m) {
  const int n = static_cast<int>(grid.size());
  m->nElectronEnergies = n;
  m->electronEnergy = CopyOf(grid);
  // One null pointer past the last row lets the rows be released without
  // knowing whether positron rows were built.
  m->electronSigma = new double*[rows.size() + 1]();
  m->electronSigmaSlope = new double*[rows.size() + 1]();
  for (size_t r = 0; r < rows.size(); ++r) {
    m->electronSigma[r] = CopyOf(rows[r]);
    m->electronSigmaSlope[r] = SlopesOf(m->electronEnergy, m->electronSigma[r], n);
    std::vector<double>().swap(rows[r]);
  }
}

// The small-angle share of each element's elastic scattering on the material
// grid, interpolated on the grid of the element's section 0. Points below that
// grid take its first interval.
void StoreSmallAngleShares(const MATERIALTABLEOPTIONS& options, const Elem* elems, MATERIAL* m) {
  const int n = m->nElectronEnergies;
  m->elasticSmallAngleShare = new double*[options.nElements]();
  m->elasticSmallAngleShareSlope = new double*[options.nElements]();
  for (int i = 0; i < m->nElements; ++i) {
    const int g = m->element[i];
    const Elem& el = elems[g];
    const int16_t points = el.sectionN[0];
    double* share = new double[n];
    int hint = 0;
    for (int k = 0; k < n; ++k) {
      hint = SearchFromHint(m->electronEnergy[k], el.sectionEnergy[0], points, static_cast<int16_t>(hint));
      if (hint < 0) hint = 0;
      if (hint > points - 1) hint = points - 1;
      share[k] =
          el.smallAngleShare[hint] + (m->electronEnergy[k] - el.sectionEnergy[0][hint]) * el.smallAngleShareSlope[hint];
    }
    m->elasticSmallAngleShare[g] = share;
    m->elasticSmallAngleShareSlope[g] = SlopesOf(m->electronEnergy, share, n);
  }
}

void StoreEntries(const MATERIALTABLEOPTIONS& options, const std::vector<ENTRY>& entries, MATERIAL* m) {
  const int count = static_cast<int>(entries.size());
  m->nElectronEntries = count;
  m->entryElement = new uint8_t[count];
  m->entrySection = new uint8_t[count];
  m->nForcedEntries = 0;
  for (int k = 0; k < count; ++k) {
    m->entryElement[k] = static_cast<uint8_t>(entries[k].element);
    m->entrySection[k] = static_cast<uint8_t>(entries[k].section);
    if (IsForced(options, entries[k]) && m->nForcedEntries < kMaxForcedEntries) m->forcedEntry[m->nForcedEntries++] = k;
  }
}

// ---- The phase over all materials ---------------------------------------------------

void ShowMaterialProgress(PROGRESSLINE* progress, const MATERIAL& m) {
  char text[128];
  if (directives::complexGeometry > 0) {
    std::snprintf(text, sizeof text, "Creating the electron cross section table for material No. %d...", m.number);
  } else {
    std::snprintf(text, sizeof text, "Creating the electron cross section table...");
  }
  progress->Show(text);
}

// A cell takes its own forcing flag, else its material's, else FORCE_MATERIALS.
void ResolveCellForcing(CELL* cells, int32_t nCells) {
  for (int32_t c = 0; c < nCells; ++c) {
    CELL& cell = cells[c];
    if (cell.material < 0) {
      cell.FORCE = 0;
    } else if (cell.FORCE < 0) {
      const int8_t own = directives::materials[cell.material].forcing;
      cell.FORCE = static_cast<int8_t>(own >= 0 ? own : directives::transportOptions.forceMaterials);
    }
  }
}

// ---- Cross-section files ---------------------------------------------------------------

int EntryOf(const MATERIAL& m, int g, int s) {
  for (int k = 0; k < m.nElectronEntries; ++k) {
    if (m.entryElement[k] == g && m.entrySection[k] == s) return k;
  }
  return -1;
}

// The element's own cross section of entry k at grid point i, barn.
double OwnBarn(const MATERIAL& m, int k, int i, double weight) {
  if (k < 0) return 0.0;
  const double own = k == 0 ? m.electronSigma[0][i] : m.electronSigma[k][i] - m.electronSigma[k - 1][i];
  return own / weight;
}

// The material with the most grid points among those that hold element g.
int MaterialForElement(int g) {
  int best = -1;
  for (int i = 0; i < directives::nMaterials; ++i) {
    const MATERIAL& m = directives::materials[i];
    if (IsLinkedMaterial(m) || m.fraction[g] == 0.0) continue;
    if (best < 0 || m.nElectronEnergies > directives::materials[best].nElectronEnergies) best = i;
  }
  return best;
}

// Rows from the last point at or below Emin through the first at or above Emax.
void RowRange(const MATERIAL& m, double minEnergy, double maxEnergy, int* first, int* last) {
  const int n = m.nElectronEnergies;
  *first = 0;
  while (*first + 1 < n && m.electronEnergy[*first + 1] <= minEnergy) ++*first;
  if (n == 0 || m.electronEnergy[0] > maxEnergy || (n > 0 && minEnergy > m.electronEnergy[n - 1])) {
    *first = 0;
    *last = -1;
    return;
  }
  *last = *first;
  while (*last + 1 < n && m.electronEnergy[*last] < maxEnergy) ++*last;
}

int WriteSigmaFile(const MATERIALTABLEOPTIONS& options, int g) {
  const int mi = MaterialForElement(g);
  if (mi < 0) return 0;
  const MATERIAL& m = directives::materials[mi];
  const int z = core::elementArray[g].Z;
  char name[1024];
  std::snprintf(name, sizeof name, "%s%02d-%s/%s_sigma.txt", kCrossSectionFolderName, z, elementSymbol[z],
                elementSymbol[z]);
  FILE* file = std::fopen(name, "w");
  if (file == nullptr) {
    std::printf("File %s could not be opened for writing.\n", name);
    return 1;
  }
  const bool shareColumn = options.smallAngleShares != 0 && m.elasticSmallAngleShare != nullptr;
  std::fprintf(file, "%13s\t%13s", "E", "elast");
  if (shareColumn) std::fprintf(file, "\t%13s", "cos<0.999999");
  std::fprintf(file, "\t%13s\t%13s\t%13s\t%13s\t%13s\n", "brems", "exc", "ionTot", "inel", "total");
  const double weight = m.fraction[g] * kBarn;
  const int nSections = core::elementArray[g].nSections;
  std::vector<int> entry(nSections);
  for (int s = 0; s < nSections; ++s) entry[s] = EntryOf(m, g, s);
  int first = 0, last = -1;
  RowRange(m, options.minEnergy, options.maxEnergy, &first, &last);
  for (int i = first; i <= last; ++i) {
    const double elast = OwnBarn(m, entry[0], i, weight);
    const double brems = OwnBarn(m, entry[1], i, weight);
    const double exc = OwnBarn(m, entry[2], i, weight);
    double ionTot = 0.0;
    for (int s = 3; s < nSections; ++s) ionTot += OwnBarn(m, entry[s], i, weight);
    const double inel = brems + exc + ionTot;
    std::fprintf(file, "%13.6e\t%13.6e", m.electronEnergy[i], elast);
    if (shareColumn) std::fprintf(file, "\t%13.6e", (1.0 - m.elasticSmallAngleShare[g][i]) * elast);
    std::fprintf(file, "\t%13.6e\t%13.6e\t%13.6e\t%13.6e\t%13.6e\n", brems, exc, ionTot, inel, inel + elast);
  }
  std::fclose(file);
  return 0;
}

// ---- Index report ------------------------------------------------------------------------

const char* MappingName(int type) {
  switch (type) {
    case 1:
      return "linear mapping, 1 breakpoint";
    case 2:
      return "linear mapping, 2 breakpoints";
    case -1:
      return "logarithmic mapping, 1 breakpoint";
    case -2:
      return "logarithmic mapping, 2 breakpoints";
    case -3:
      return "reverse logarithmic mapping, 1 breakpoint";
    case -4:
      return "reverse logarithmic mapping, 2 breakpoints";
    default:
      return "";
  }
}

constexpr int kReportTypes[6] = {1, 2, -1, -2, -3, -4};

// Index arrays of one family, counted by built type.
struct INDEXCENSUS {
  int total = 0;
  int count[6] = {};
  int maxExponent[6] = {};
  template <typename Index>
  void Add(const Index& index) {
    ++total;
    for (int t = 0; t < 6; ++t) {
      if (index.indexType != kReportTypes[t]) continue;
      ++count[t];
      if (index.exponent > maxExponent[t]) maxExponent[t] = index.exponent;
    }
  }
};

const char* Tables(int n) { return n == 1 ? "table" : "tables"; }

void PrintCensus(const char* family, const INDEXCENSUS& census) {
  int indexed = 0, types = 0, only = 0;
  for (int t = 0; t < 6; ++t) {
    indexed += census.count[t];
    if (census.count[t] > 0) ++types, only = t;
  }
  if (indexed == 0) {
    std::printf("\n%s arrays will not be used (binary search will be performed).\n", family);
    return;
  }
  std::printf("\n%s arrays:", family);
  if (types == 1 && indexed == census.total) {
    const int e = census.maxExponent[only];
    std::printf(" %d %s with %s (N = 2^%d + 1 = %d).\n", indexed, Tables(indexed), MappingName(kReportTypes[only]), e,
                (1 << e) + 1);
    return;
  }
  bool firstLine = true;
  for (int t = 0; t < 6; ++t) {
    if (census.count[t] == 0) continue;
    const int e = census.maxExponent[t];
    std::printf("%s\n        %5d %s with %s (N = 2^%d + 1 = %d)", firstLine ? "" : ";", census.count[t],
                Tables(census.count[t]), MappingName(kReportTypes[t]), e, (1 << e) + 1);
    firstLine = false;
  }
  const int without = census.total - indexed;
  if (without > 0) std::printf(";\n        %5d %s without mapping (binary search)", without, Tables(without));
  std::printf(".\n");
}

// First and last index of a grid's points in the problem's energy range: the
// last at or below Emin through the first above Emax.
void EnergyRange(const double* grid, int n, double minEnergy, double maxEnergy, int* first, int* last) {
  *first = 0;
  while (*first + 1 < n && grid[*first + 1] <= minEnergy) ++*first;
  *last = *first;
  while (*last + 1 < n && grid[*last] <= maxEnergy) ++*last;
}

void PrintMaterialIndexes() {
  std::printf("\n");
  for (int i = 0; i < directives::nMaterials; ++i) {
    const MATERIAL& m = directives::materials[i];
    const INDEXDATA& index = m.electronIndex;
    if (index.indexType != 0) {
      std::printf(" Material No. %d index array: %s (N = 2^%d + 1 = %d).\n", m.number, MappingName(index.indexType),
                  index.exponent, (1 << index.exponent) + 1);
    } else if (directives::transportOptions.sigmaE.type != 0) {
      std::printf(" Material No. %d index array will not be used (binary search will be performed).\n", m.number);
    }
  }
}

void PrintElementIndexes(const MATERIALTABLEOPTIONS& options) {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const double lo = options.minEnergy, hi = options.maxEnergy;
  INDEXCENSUS elasticE, elasticCdf, positronCdf, exc, ionE, knockOn;
  for (int g = 0; g < directives::nElem_tot; ++g) {
    const Elem& el = core::elementArray[g];
    elasticE.Add(el.elasticEnergyIndex);
    int first = 0, last = -1;
    EnergyRange(el.elasticEnergy, el.elasticNE, lo, hi, &first, &last);
    for (int e = first; e <= last && el.elasticNE > 0; ++e) {
      elasticCdf.Add(el.elasticCumIndex[e]);
      positronCdf.Add(INDEXDATA{});  // positron distributions are searched without an index
    }
    exc.Add(el.excLossIndex);
    for (int s = 0; s < el.nSubshells; ++s) {
      ionE.Add(el.ionSpecEnergyIndex[s]);
      EnergyRange(el.ionSpecEnergy[s], el.ionSpecNE[s], lo, hi, &first, &last);
      for (int e = first; e <= last && el.ionSpecNE[s] > 0; ++e) knockOn.Add(el.ionSpecCumIndex[s][e]);
    }
  }
  if (options.elastic != 0) {
    if (t.elasticE.type != 0) PrintCensus("Electron elastic scattering energy index", elasticE);
    if (t.elasticCDF.type != 0) PrintCensus("Electron elastic scattering angular CDF index", elasticCdf);
    if (t.elasticCDF.type != 0 && options.positronRows &&
        directives::physicsModels.useDPWelasticScatteringCrossSections)
      PrintCensus("Positron elastic scattering angular CDF index", positronCdf);
  }
  if (t.excE.type != 0) PrintCensus("Excitation energy loss energy index", exc);
  if (t.ionE.type != 0) PrintCensus("Electron-impact ionization primary energy index", ionE);
  if (t.ionSecECDF.type != 0) PrintCensus("Knock-on electron energy CDF index", knockOn);
}

}  // namespace

double PositronBremsRatio(double t) {
  if (t <= 0.1) return 0.02;
  if (t >= 500000.0) return 1.0;
  const double x = std::log(t) - 5.87522;
  if (x < 0.0) return 0.606133 + x * (0.140534 + x * (0.0102012 + x * 0.000217602));
  return 0.606133 + x * (0.140534 + x * (-0.0163087 + x * 0.000609304));
}

Status BuildMaterialTable(const MATERIALTABLEOPTIONS& options, const Elem* elems, MATERIAL* m) {
  std::vector<ENTRY> entries = MakeEntries(options, elems, *m);
  const size_t count = entries.size();
  std::vector<double> grid;
  std::vector<std::vector<double>> rows(options.positronRows ? 2 * count : count);
  MERGE merge(options, entries);
  THINNING(merge, count, options.sigmaErr).Run(&grid, &rows);
  if (grid.size() > static_cast<size_t>(kMaxElectronEnergies)) return kInputError;

  StoreEntries(options, entries, m);
  StoreRows(grid, rows, m);
  m->electronIndex = INDEXDATA{};
  m->electronIndex.indexType = options.index.type;
  m->electronIndex.exponent = options.index.exponent;
  if (!grid.empty())
    BuildFastIndex(m->electronEnergy, m->nElectronEnergies, &m->electronIndex, grid.front(), grid.back(), false);
  if (m->electronIndex.indexType < 0) setup::use_electron_logE = 1;
  if (options.smallAngleShares != 0) StoreSmallAngleShares(options, elems, m);
  return kOk;
}

void FreeMaterialTable(MATERIAL* m) {
  for (int r = 0; m->electronSigma != nullptr && m->electronSigma[r] != nullptr; ++r) {
    delete[] m->electronSigma[r];
    delete[] m->electronSigmaSlope[r];
  }
  delete[] m->electronSigma;
  delete[] m->electronSigmaSlope;
  if (m->elasticSmallAngleShare != nullptr) {
    for (int i = 0; i < m->nElements; ++i) {
      delete[] m->elasticSmallAngleShare[m->element[i]];
      delete[] m->elasticSmallAngleShareSlope[m->element[i]];
    }
  }
  delete[] m->elasticSmallAngleShare;
  delete[] m->elasticSmallAngleShareSlope;
  delete[] m->entryElement;
  delete[] m->entrySection;
  delete[] m->electronEnergy;
  FreeFastIndex(&m->electronIndex);
  m->nElectronEntries = m->nElectronEnergies = m->nForcedEntries = 0;
  m->entryElement = m->entrySection = nullptr;
  m->electronEnergy = nullptr;
  m->electronSigma = m->electronSigmaSlope = nullptr;
  m->elasticSmallAngleShare = m->elasticSmallAngleShareSlope = nullptr;
}

MATERIALTABLEOPTIONS MaterialTableOptionsOfRun() {
  const TRANSPORTOPTIONS& t = directives::transportOptions;
  const PHYSICSMODELOPTIONS& p = directives::physicsModels;
  MATERIALTABLEOPTIONS options;
  options.minEnergy = t.cutE;
  options.maxEnergy = directives::sourceSpectrum.highestSourceEnergy;
  options.elastic = t.elastic;
  options.smallAngleShares = p.useDPWelasticScatteringCrossSections == 0 && t.elastic != 0 && p.elasticSmallAngle != 0;
  options.positronRows = setup::useDifferentCSforPositrons;
  options.positronBremsCorrection = p.positronBremsCorrection;
  options.sigmaErr = t.sigmaErr;
  options.index = t.sigmaE;
  options.nElements = directives::nElem_tot;
  for (int g = 0; g < directives::nElem_tot; ++g) {
    for (int process = 0; process < kForcedProcessCount; ++process)
      options.forced[g][process] = ForcingSwitch(process, directives::elementZ[g]) != 0;
  }
  return options;
}

Status BuildMaterialTables(CELL* cells, int32_t nCells) {
  const MATERIALTABLEOPTIONS options = MaterialTableOptionsOfRun();
  PROGRESSLINE progress;
  setup::maxElectronEntries = setup::maxElectronEnergies = 0;
  for (int i = 0; i < directives::nMaterials; ++i) {
    MATERIAL& m = directives::materials[i];
    if (IsLinkedMaterial(m)) continue;
    ShowMaterialProgress(&progress, m);
    if (BuildMaterialTable(options, core::elementArray, &m) != 0) {
      progress.Blank();
      std::printf("Error: The electron cross section table of material No. %d needs more than %d energy values.\n",
                  m.number, kMaxElectronEnergies);
      return kInputError;
    }
    if (m.nElectronEntries > setup::maxElectronEntries) setup::maxElectronEntries = m.nElectronEntries;
    if (m.nElectronEnergies > setup::maxElectronEnergies) setup::maxElectronEnergies = m.nElectronEnergies;
  }
  progress.Blank();
  ResolveCellForcing(cells, nCells);
  if (input::runOptions.output_cs == 1) {
    for (int g = 0; g < directives::nElem_tot; ++g) {
      if (WriteSigmaFile(options, g) != 0) return kInputError;
    }
  }
  std::printf("\nElectron cross section table contains data for %d energy values.", setup::maxElectronEnergies);
  if (directives::transportOptions.outputIndexArrayInfo != 0) {
    PrintMaterialIndexes();
    PrintElementIndexes(options);
  }
  std::printf("\n");
  std::fflush(stdout);
  return kOk;
}
