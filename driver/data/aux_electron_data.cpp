#include "driver/data/aux_electron_data.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/elements.h"
#include "driver/data/endf_reader.h"
#include "driver/data/fast_index.h"
#include "driver/data/load_steps.h"
#include "driver/data/raw_readers.h"
#include "platform/paths.h"

namespace {

// Square metres to barns.
constexpr double kBarnPerSquareMetre = 1e28;
// Agreement demanded between the energies of the angular tables and those of
// the bremsstrahlung spectra.
constexpr double kBremsEnergyTolerance = 1e-5;
// The line that opens and closes the data of a block in the cross-section files.
const char* const kDataDelimiter = "-----------------------------";

int FileMissingWithNewline(const std::string& name) {
  std::printf("\nFile %s could not be opened for reading.\n", name.c_str());
  return 1;
}

bool CloseTo(double value, double reference, double relative) {
  return std::fabs(value - reference) <= relative * std::fabs(reference);
}

// A token that is a decimal number in whole.
bool CompleteNumber(const char* token, double* value) {
  char* end = nullptr;
  *value = std::strtod(token, &end);
  return end != token && *end == '\0' && std::isfinite(*value);
}

bool CompleteInteger(const char* token, int32_t* value) {
  char* end = nullptr;
  const long v = std::strtol(token, &end, 10);
  if (end == token || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while ((i = line.find_first_not_of(" \t\r", i)) != std::string::npos) {
    size_t j = line.find_first_of(" \t\r", i);
    if (j == std::string::npos) j = line.size();
    tokens.push_back(line.substr(i, j - i));
    i = j;
  }
  return tokens;
}

// Linear interpolation with 0 outside the table.
double LinearAt(const std::vector<double>& x, const std::vector<double>& y, int n, double at) {
  uint16_t hint = 0;
  return InterpolateFromHint(at, x.data(), y.data(), static_cast<int16_t>(n), &hint);
}

double SectionAt(const ElemStaging& elem, int k, double at) {
  uint16_t hint = 0;
  return InterpolateFromHint(at, elem.sectionEnergy[k], elem.sectionCs[k], elem.sectionN[k], &hint);
}

// The cross section of an interpolation rule: p = c0 + c1 x + c2 x^2 + c3 x^3
// with x = E (rules up to 2 and rule 4) or ln E (rule 3 and rules above 4);
// p itself for rules below 4, exp(p) from rule 4 on.
double InterpolationRule(int rule, const double* c, double energy) {
  const double x = (rule <= 2 || rule == 4) ? energy : std::log(energy);
  const double p = c[0] + x * (c[1] + x * (c[2] + x * c[3]));
  return rule < 4 ? p : std::exp(p);
}

// ---- Bremsstrahlung angular distributions.

// Values of the binary record or of the text table, read in the same order.
struct BREMSVALUES {
  FILE* file = nullptr;
  bool binary = false;
  char line[kNonBlankLineBuffer] = {};
  char* cursor = nullptr;  // next unread character of the text line
};

// The next blank- or tab-delimited token of the text table.
bool NextToken(BREMSVALUES* values, char** token) {
  for (;;) {
    if (values->cursor) {
      values->cursor += std::strspn(values->cursor, " \t");
      if (*values->cursor != '\0') {
        *token = values->cursor;
        values->cursor += std::strcspn(values->cursor, " \t");
        if (*values->cursor != '\0') *values->cursor++ = '\0';
        return true;
      }
    }
    if (!ReadNonBlankLine(values->file, values->line)) return false;
    values->cursor = values->line;
  }
}

bool NextInt(BREMSVALUES* values, int32_t* value) {
  if (values->binary) return ReadInt(values->file, value) == 1;
  char* token = nullptr;
  return NextToken(values, &token) && CompleteInteger(token, value);
}

bool NextDouble(BREMSVALUES* values, double* value) {
  if (values->binary) return ReadDouble(values->file, value) == 1 && std::isfinite(*value);
  char* token = nullptr;
  return NextToken(values, &token) && CompleteNumber(token, value);
}

void AllocateBremsAngular(ElemStaging* elem) {
  const int ne = elem->bremsSpecNE;
  elem->bremsAngCos = new double**[ne]();
  elem->bremsAngPdf = new double**[ne]();
  elem->bremsAngCum = new double**[ne]();
  elem->bremsAngSlope = new double**[ne]();
  elem->bremsAngN = new int32_t*[ne]();
  elem->bremsAngMedian = new int16_t*[ne]();
  for (int e = 0; e < ne; ++e) {
    const int nk = elem->bremsSpecN[e];
    elem->bremsAngCos[e] = new double*[nk]();
    elem->bremsAngPdf[e] = new double*[nk]();
    elem->bremsAngCum[e] = new double*[nk]();
    elem->bremsAngSlope[e] = new double*[nk]();
    elem->bremsAngN[e] = new int32_t[nk]();
    elem->bremsAngMedian[e] = new int16_t[nk]();
  }
}

// One angular table: nMu (cosine, density) points, cosines rising within
// [-1, 1], densities positive; stored in the five-part sampling form.
bool ReadAngularTable(BREMSVALUES* values, int e, int k, ElemStaging* elem) {
  int32_t nMu = 0;
  if (!NextInt(values, &nMu) || nMu < 2 || nMu > kMaxBremsAngularPoints) return false;
  double* mu = elem->bremsAngCos[e][k] = new double[nMu];
  double* pdf = elem->bremsAngPdf[e][k] = new double[nMu];
  double* cum = elem->bremsAngCum[e][k] = new double[nMu];
  double* slope = elem->bremsAngSlope[e][k] = new double[nMu];
  double previous = -1.0000000001;
  for (int i = 0; i < nMu; ++i) {
    if (!NextDouble(values, &mu[i]) || !NextDouble(values, &pdf[i])) return false;
    if (!(mu[i] >= -1.0 && mu[i] <= 1.0 && mu[i] > previous && pdf[i] > 0.0)) return false;
    previous = mu[i];
  }
  NormaliseDensity(mu, pdf, cum, slope, nMu);
  elem->bremsAngN[e][k] = nMu;
  elem->bremsAngMedian[e][k] = MedianInterval(cum, nMu);
  return true;
}

// The element's record, checked against its bremsstrahlung photon spectra.
bool ReadBremsRecord(BREMSVALUES* values, ElemStaging* elem) {
  int32_t ne = 0;
  if (!NextInt(values, &ne) || ne != elem->bremsSpecNE) return false;
  for (int e = 0; e < ne; ++e) {
    double energy = 0.0;
    int32_t nk = 0;
    if (!NextDouble(values, &energy) || !CloseTo(energy, elem->bremsSpecEnergy[e], kBremsEnergyTolerance))
      return false;
    if (!NextInt(values, &nk) || nk != elem->bremsSpecN[e]) return false;
    for (int k = 0; k < nk; ++k) {
      double photon = 0.0;
      if (!NextDouble(values, &photon) || !CloseTo(photon, elem->bremsSpecX[e][k], kBremsEnergyTolerance))
        return false;
      if (!ReadAngularTable(values, e, k, elem)) return false;
    }
  }
  return true;
}

// ---- Alternative cross-section files.

// One table of energies (eV) and cross sections (barn).
struct CSTABLE {
  std::vector<double> energy, cs;
  double energyLoss = 0.0;  // excitation levels: energy lost, eV
};

int InvalidNumericValue(const std::string& name) {
  std::printf("Invalid numeric value found in file %s.\n", name.c_str());
  return 1;
}

// A data line of a block: energy (eV) and cross section (m^2, stored in barn).
int AppendDataLine(const std::vector<std::string>& tokens, const std::string& name,
                   CSTABLE* table) {
  double energy = 0.0, cs = 0.0;
  if (tokens.size() < 2 || !CompleteNumber(tokens[0].c_str(), &energy) ||
      !CompleteNumber(tokens[1].c_str(), &cs))
    return InvalidNumericValue(name);
  if (table->energy.size() == table->energy.capacity()) {
    // Tables grow in steps of 100 entries.
    table->energy.reserve(table->energy.size() + 100);
    table->cs.reserve(table->cs.size() + 100);
  }
  table->energy.push_back(energy);
  table->cs.push_back(cs * kBarnPerSquareMetre);
  return 0;
}

bool IsKeyword(const std::string& token, const char* word) {
  if (token.size() != std::strlen(word)) return false;
  for (size_t i = 0; i < token.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(token[i])) != word[i]) return false;
  return true;
}

// The excitation levels of a file: "EXCITATION" opens a level, the first
// token of the second line after it is the energy loss, and the data lie
// between two delimiter lines.
int ReadExcitationLevels(const std::string& name, std::vector<CSTABLE>* levels) {
  FILE* file = OpenRegularFileForReading(name, "r");
  if (!file) return FileMissingWithNewline(name);
  std::string line;
  int linesAfterHead = -1;  // lines since the level's head line; -1: no level open
  bool inData = false;
  int code = 0;
  while (code == 0 && ReadTextLine(file, &line)) {
    const std::vector<std::string> tokens = Tokens(line);
    if (linesAfterHead >= 0) ++linesAfterHead;
    if (tokens.empty()) continue;
    if (IsKeyword(tokens[0], "EXCITATION")) {
      levels->push_back(CSTABLE());
      linesAfterHead = 0;
      inData = false;
    } else if (linesAfterHead == 2 && !inData) {
      if (!CompleteNumber(tokens[0].c_str(), &levels->back().energyLoss))
        code = InvalidNumericValue(name);
    } else if (tokens[0] == kDataDelimiter && linesAfterHead > 0) {
      inData = !inData;
      if (!inData) linesAfterHead = -1;  // the level is complete
    } else if (inData) {
      code = AppendDataLine(tokens, name, &levels->back());
    }
  }
  std::fclose(file);
  if (code == 0 && !levels->empty() && levels->back().energy.empty()) levels->pop_back();
  return code;
}

// The blocks of an ionization file: the data between pairs of delimiter
// lines; a block still open at the end of the file is dropped.
int ReadIonizationBlocks(const std::string& name, std::vector<CSTABLE>* blocks) {
  FILE* file = OpenRegularFileForReading(name, "r");
  if (!file) return FileMissingWithNewline(name);
  std::string line;
  bool open = false;
  int code = 0;
  while (code == 0 && ReadTextLine(file, &line)) {
    const std::vector<std::string> tokens = Tokens(line);
    if (tokens.empty()) continue;
    if (tokens[0] == kDataDelimiter) {
      if (!open) blocks->push_back(CSTABLE());
      open = !open;
    } else if (open) {
      code = AppendDataLine(tokens, name, &blocks->back());
    }
  }
  std::fclose(file);
  if (open) blocks->pop_back();
  return code;
}

// Level energies below the first grid energy: prepended to the excitation
// cross section and the energy-loss table.
int PrependLowLevelEnergies(const std::vector<CSTABLE>& levels, const std::string& name, ElemStaging* elem) {
  const double first = elem->sectionEnergy[2][0];
  std::vector<double> low;
  for (const CSTABLE& level : levels)
    for (double e : level.energy)
      if (e < first) low.push_back(e);
  std::sort(low.begin(), low.end());
  low.erase(std::unique(low.begin(), low.end()), low.end());
  if (low.empty()) return 0;
  const int m = static_cast<int>(low.size());
  if (elem->sectionN[2] + m > kMaxSectionPoints || elem->excLossN + m > kMaxSectionPoints) {
    std::printf("\nError: Number of energy values below %g eV in file %s is too large.\n", first,
                name.c_str());
    return 1;
  }
  const int n = elem->sectionN[2], nLoss = elem->excLossN;
  std::memmove(elem->sectionEnergy[2] + m, elem->sectionEnergy[2], n * sizeof(double));
  std::memmove(elem->sectionCs[2] + m, elem->sectionCs[2], n * sizeof(double));
  std::memmove(elem->excLossEnergy + m, elem->excLossEnergy, nLoss * sizeof(double));
  std::memmove(elem->excLoss + m, elem->excLoss, nLoss * sizeof(double));
  for (int i = 0; i < m; ++i) {
    // Cross section: the sum of the levels; energy loss: their weighted mean.
    double sum = 0.0, weightedLoss = 0.0;
    for (const CSTABLE& level : levels) {
      const double cs = LinearAt(level.energy, level.cs, static_cast<int>(level.energy.size()), low[i]);
      sum += cs;
      weightedLoss += cs * level.energyLoss;
    }
    elem->sectionEnergy[2][i] = elem->excLossEnergy[i] = low[i];
    elem->sectionCs[2][i] = sum;
    elem->excLoss[i] = sum > 0.0 ? weightedLoss / sum : 0.0;
  }
  elem->sectionN[2] = static_cast<int16_t>(n + m);
  elem->excLossN = static_cast<int16_t>(nLoss + m);
  return 0;
}

// The ratio r[k][i] of the alternative total to the ENDF total at the points
// of subshell section k up to the last grid energy that the data reach;
// last[k] is the index of the last point so treated (-1 when none).
void IonizationRatios(const ElemStaging& elem, const std::vector<double>& grid, const std::vector<double>& sum, int m,
                      std::vector<std::vector<double>>* ratios, std::vector<int>* last) {
  for (int k = 3; k < elem.nSections; ++k) {
    std::vector<double>& r = (*ratios)[k];
    int& b = (*last)[k];
    b = -1;
    for (int i = 0; i < elem.sectionN[k] && elem.sectionEnergy[k][i] <= grid[m - 1]; ++i) {
      const double e = elem.sectionEnergy[k][i];
      double total = 0.0;
      for (int j = 3; j < elem.nSections; ++j) total += SectionAt(elem, j, e);
      const double alt = LinearAt(grid, sum, m, e);
      r[i] = (alt != 0.0 && total != 0.0) ? alt / total : 0.0;
      b = i;
    }
  }
}

// The subshell cross sections as read, for totals that the changes of the
// sections do not disturb.
struct SUBSHELLSNAPSHOT {
  std::vector<std::vector<double>> x, y;
  double TotalAt(double at) const {
    double total = 0.0;
    for (size_t k = 0; k < x.size(); ++k)
      total += LinearAt(x[k], y[k], static_cast<int>(x[k].size()), at);
    return total;
  }
};

SUBSHELLSNAPSHOT TakeSnapshot(const ElemStaging& elem) {
  SUBSHELLSNAPSHOT snapshot;
  for (int k = 3; k < elem.nSections; ++k) {
    snapshot.x.emplace_back(elem.sectionEnergy[k], elem.sectionEnergy[k] + elem.sectionN[k]);
    snapshot.y.emplace_back(elem.sectionCs[k], elem.sectionCs[k] + elem.sectionN[k]);
  }
  return snapshot;
}

// Beyond the alternative data and below ION_INTERP_END the total follows the
// interpolation rule, divided over the subshells as the ENDF data divide it
// (ratios against the ENDF total, so that the subshells add up to the rule).
int ExtendIonizationByRule(const ALTCSSETTINGS& settings, const SUBSHELLSNAPSHOT& endf, int k, int last,
                           ElemStaging* elem) {
  if (!(elem->sectionEnergy[k][last] < settings.ionInterpEnd)) return 0;
  if (!settings.ionCoefsGiven) {
    std::printf("\nError: Interpolation coefficients for ionization cross section of %s (Z = %d) "
                "are missing.\n",
                elementSymbol[elem->Z], elem->Z);
    return 1;
  }
  for (int i = last + 1; i < elem->sectionN[k] && elem->sectionEnergy[k][i] < settings.ionInterpEnd; ++i) {
    const double e = elem->sectionEnergy[k][i];
    const double total = endf.TotalAt(e);
    const double rule = InterpolationRule(settings.ionInterpRule, settings.ionInterpCoefs, e);
    elem->sectionCs[k][i] *= (rule != 0.0 && total != 0.0) ? rule / total : 0.0;
  }
  return 0;
}

// Inserts the additional energies into every subshell section with the
// alternative total divided over the subshells.
int InsertAdditionalEnergies(const std::vector<double>& energies, const std::vector<double>& grid,
                             const std::vector<double>& sum, int m, const std::vector<int>& last, ElemStaging* elem) {
  for (double a : energies)
    for (int k = 3; k < elem->nSections; ++k)
      if (last[k] >= 0 && a > elem->sectionEnergy[k][last[k]]) {
        std::printf("\nError: The additional energy %g eV exceeds the energy endpoint of the "
                    "replaced ionization cross sections (%g eV).\n",
                    a, elem->sectionEnergy[k][last[k]]);
        return 1;
      }
  std::vector<double> v(elem->nSections);
  for (double a : energies) {
    double total = 0.0;
    for (int k = 3; k < elem->nSections; ++k) total += v[k] = SectionAt(*elem, k, a);
    const double alt = LinearAt(grid, sum, m, a);
    for (int k = 3; k < elem->nSections; ++k) {
      const double value = (alt != 0.0 && total != 0.0) ? v[k] * alt / total : 0.0;
      double* x = elem->sectionEnergy[k];
      double* y = elem->sectionCs[k];
      int n = elem->sectionN[k];
      int at = 0;  // first point not below a
      while (at < n && x[at] < a) ++at;
      if (at < n && x[at] == a) {
        y[at] = value;
        continue;
      }
      if (n >= kMaxSectionPoints) {
        std::printf("\nError: Number of cross sections for subshell No. %d of %s (Z = %d) exceeds "
                    "%d.\n",
                    k - 2, elementSymbol[elem->Z], elem->Z, kMaxSectionPoints);
        return 1;
      }
      std::memmove(x + at + 1, x + at, (n - at) * sizeof(double));
      std::memmove(y + at + 1, y + at, (n - at) * sizeof(double));
      x[at] = a;
      y[at] = value;
      elem->sectionN[k] = static_cast<int16_t>(n + 1);
    }
  }
  return 0;
}

// ---- Binary records of the DWBA and partial-wave files.

bool SeekRecord(FILE* file, int32_t offset) { return std::fseek(file, offset, SEEK_SET) == 0; }

// n triples (energy, electron and positron cross section) into row k.
bool ReadCrossSectionTriples(FILE* file, int n, int k, ElemStaging* elem) {
  for (int i = 0; i < n; ++i) {
    if (ReadDouble(file, &elem->sectionEnergy[k][i]) != 1 ||
        ReadDouble(file, &elem->sectionCs[k][i]) != 1 ||
        ReadDouble(file, &elem->sectionCsPositron[k][i]) != 1)
      return false;
  }
  elem->sectionN[k] = static_cast<int16_t>(n);
  LinLinSlopes(elem->sectionEnergy[k], elem->sectionCs[k], n, elem->sectionSlope[k]);
  LinLinSlopes(elem->sectionEnergy[k], elem->sectionCsPositron[k], n, elem->sectionSlopePositron[k]);
  return true;
}

// Clean-up, cumulative integral, thinning and median of one partial-wave
// distribution, as for the ENDF distributions.
bool FinishDistribution(const ELEMENTLOADOPTIONS& options, double* x, double* y, double* cum,
                        double* slope, int16_t* n, int16_t* median) {
  CleanPoints(x, y, n);
  if (*n < 2) return false;
  NormaliseDensity(x, y, cum, slope, *n);
  if (options.elasticPdfError > 0.0)
    ThinTable(x, y, cum, slope, n, median, options.elasticCdfStep, options.elasticPdfError,
              options.elasticCdfCutoff);
  *median = MedianInterval(cum, *n);
  return true;
}

bool ReadDpwDistributions(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files, ElemStaging* elem) {
  FILE* file = files->dpwAngular;
  int32_t ne = 0;
  if (!SeekRecord(file, files->dpwAngularOffsets[elem->Z - 1]) || ReadInt(file, &ne) != 1 ||
      ne < 2 || ne > kMaxElasticEnergies)
    return false;
  const int nCosines = static_cast<int>(files->dpwCosines.size());
  for (int e = 0; e < ne; ++e) {
    int32_t np = 0;
    if (ReadDouble(file, &elem->elasticEnergy[e]) != 1 || ReadInt(file, &np) != 1 || np < 2 ||
        np > kMaxElasticPoints)
      return false;
    for (int i = 0; i < np; ++i) {
      int16_t index = 0;
      float electron = 0.0f, positron = 0.0f;
      if (ReadShort(file, &index) != 1 || index < 0 || index >= nCosines ||
          std::fread(&electron, sizeof electron, 1, file) != 1 ||
          std::fread(&positron, sizeof positron, 1, file) != 1)
        return false;
      elem->elasticCos[e][i] = elem->elasticCosPositron[e][i] = files->dpwCosines[index];
      elem->elasticPdf[e][i] = electron;
      elem->elasticPdfPositron[e][i] = positron;
    }
    elem->elasticN[e] = elem->elasticNPositron[e] = static_cast<int16_t>(np);
    if (!FinishDistribution(options, elem->elasticCos[e], elem->elasticPdf[e], elem->elasticCum[e],
                            elem->elasticSlope[e], &elem->elasticN[e], &elem->elasticMedian[e]) ||
        !FinishDistribution(options, elem->elasticCosPositron[e], elem->elasticPdfPositron[e],
                            elem->elasticCumPositron[e], elem->elasticSlopePositron[e],
                            &elem->elasticNPositron[e], &elem->elasticMedianPositron[e]))
      return false;
  }
  elem->elasticNE = static_cast<int16_t>(ne);
  return true;
}

// ---- EEDL elastic file.

// The atomic number of a block head line "Z = <z>", or 0 for any other line.
int BlockHeadZ(const std::vector<std::string>& tokens) {
  if (tokens.size() != 3 || tokens[0] != "Z" || tokens[1] != "=") return 0;
  int32_t z = 0;
  return CompleteInteger(tokens[2].c_str(), &z) && z > 0 ? z : -1;
}

int EedlFormatError(const std::string& name) {
  std::printf("File %s has incorrect format.\n", name.c_str());
  return 1;
}

int ReadEedlBlock(FILE* file, const std::string& name, int z, std::vector<double>* energies,
                  std::vector<double>* totals) {
  std::string line;
  while (ReadTextLine(file, &line)) {
    const std::vector<std::string> tokens = Tokens(line);
    if (tokens.empty()) continue;
    if (BlockHeadZ(tokens) != 0) break;
    if (static_cast<int>(energies->size()) == kMaxSmallAnglePoints) {
      std::printf("Error: The number of data points for %s (Z = %d) in file %s is greater than %d.\n",
                  elementSymbol[z], z, name.c_str(), kMaxSmallAnglePoints);
      return 1;
    }
    double energy = 0.0, total = 0.0;
    if (tokens.size() != 2 || !CompleteNumber(tokens[0].c_str(), &energy) ||
        !CompleteNumber(tokens[1].c_str(), &total) || energy < 9.9999999999 ||
        energy > 100000000001.0 || (!energies->empty() && energy <= energies->back()) ||
        total < 0.0)
      return EedlFormatError(name);
    energies->push_back(energy);
    totals->push_back(total);
  }
  if (energies->size() < 2 || !CloseTo(energies->front(), 10.0, 1e-12) ||
      !CloseTo(energies->back(), 1e11, 1e-12))
    return EedlFormatError(name);
  return 0;
}

}  // namespace

void LinLinSlopes(const double* x, const double* y, int n, double* slope) {
  for (int i = 0; i + 1 < n; ++i) slope[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
  if (n > 0) slope[n - 1] = 0.0;
}

int ReadBremsAngularDistributions(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files, ElemStaging* elem) {
  BREMSVALUES values;
  std::string name;
  if (options.bremsBinaryData != 0) {
    name = files->bremsName;
    values.file = files->brems;
    values.binary = true;
    if (!values.file) return FileError(name.c_str());
    if (!SeekRecord(values.file, files->bremsOffsets[elem->Z - 1])) return FileError(name.c_str());
  } else {
    char path[2048];
    std::snprintf(path, sizeof path, "%s%03d-%s_brems_angular_prob_dens.txt",
                  options.bremsTableFolder.c_str(), elem->Z, elementSymbol[elem->Z]);
    name = path;
    values.file = OpenRegularFileForReading(path, "r");
    if (!values.file) return FileMissingWithNewline(name);
  }
  AllocateBremsAngular(elem);
  const bool ok = ReadBremsRecord(&values, elem);
  if (!values.binary) std::fclose(values.file);
  return ok ? 0 : FileError(name.c_str());
}

int ApplyAltExcitation(const ALTCSSETTINGS& settings, ElemStaging* elem) {
  std::vector<CSTABLE> levels;
  if (ReadExcitationLevels(settings.excFileName, &levels) != 0) return 1;
  if (levels.empty()) return 0;
  // The sum of the levels replaces the ENDF cross section up to the end of
  // the longest-reaching level.
  double dataEnd = 0.0;
  for (const CSTABLE& level : levels) dataEnd = std::max(dataEnd, level.energy.back());
  double* grid = elem->sectionEnergy[2];
  double* cs = elem->sectionCs[2];
  for (int i = 0; i < elem->sectionN[2] && grid[i] <= dataEnd; ++i) {
    double sum = 0.0;
    for (const CSTABLE& level : levels)
      if (grid[i] <= level.energy.back())
        sum += LinearAt(level.energy, level.cs, static_cast<int>(level.energy.size()), grid[i]);
    cs[i] = sum;
  }
  if (PrependLowLevelEnergies(levels, settings.excFileName, elem) != 0) return 1;
  if (dataEnd < settings.excInterpEnd) {
    if (!settings.excCoefsGiven) {
      std::printf("\nError: Interpolation coefficients for excitation cross section of %s (Z = %d) "
                  "are missing.\n",
                  elementSymbol[elem->Z], elem->Z);
      return 1;
    }
    for (int i = 0; i < elem->sectionN[2]; ++i)
      if (grid[i] > dataEnd && grid[i] < settings.excInterpEnd)
        cs[i] = InterpolationRule(settings.excInterpRule, settings.excInterpCoefs, grid[i]);
  }
  LinLinSlopes(grid, cs, elem->sectionN[2], elem->sectionSlope[2]);
  LinLinSlopes(elem->excLossEnergy, elem->excLoss, elem->excLossN, elem->excLossSlope);
  return 0;
}

int ApplyAltIonization(const ELEMENTLOADOPTIONS& options, const ALTCSSETTINGS& settings,
                       const std::vector<double>& additionalEnergies, ElemStaging* elem) {
  if (options.ionDwba == 1) {
    std::printf("\nError: When DWBA ionization cross sections are used (ION_DWBA = 1), usage of "
                "files with alternative ionization cross sections is not allowed.\n");
    return 1;
  }
  std::vector<CSTABLE> blocks;
  if (ReadIonizationBlocks(settings.ionFileName, &blocks) != 0) return 1;
  // The blocks summed on the excitation grid G, as far as each reaches.
  const int nGrid = elem->sectionN[2];
  const std::vector<double> grid(elem->sectionEnergy[2], elem->sectionEnergy[2] + nGrid);
  std::vector<double> sum(nGrid, 0.0);
  int m = 0;
  for (const CSTABLE& block : blocks) {
    const int n = static_cast<int>(block.energy.size());
    int i = 0;
    for (; i < nGrid && grid[i] <= block.energy.back(); ++i)
      sum[i] += LinearAt(block.energy, block.cs, n, grid[i]);
    m = std::max(m, i);
  }
  if (m == 0) {
    std::printf("\nError: The alternative ionization cross sections in file %s do not reach the "
                "first energy of the excitation cross section grid (%g eV).\n",
                settings.ionFileName.c_str(), grid.empty() ? 0.0 : grid[0]);
    return 1;
  }
  std::vector<std::vector<double>> ratios(elem->nSections,
                                          std::vector<double>(kMaxSectionPoints, 0.0));
  std::vector<int> last(elem->nSections, -1);
  IonizationRatios(*elem, grid, sum, m, &ratios, &last);
  const SUBSHELLSNAPSHOT endf = TakeSnapshot(*elem);
  for (int k = 3; k < elem->nSections; ++k) {
    if (last[k] < 0) continue;
    for (int i = 0; i <= last[k]; ++i) elem->sectionCs[k][i] *= ratios[k][i];
    if (ExtendIonizationByRule(settings, endf, k, last[k], elem) != 0) return 1;
  }
  if (InsertAdditionalEnergies(additionalEnergies, grid, sum, m, last, elem) != 0) return 1;
  for (int k = 3; k < elem->nSections; ++k)
    LinLinSlopes(elem->sectionEnergy[k], elem->sectionCs[k], elem->sectionN[k], elem->sectionSlope[k]);
  return 0;
}

void CopyPositronRows(ElemStaging* elem) {
  for (int k = 0; k < elem->nSections; ++k) {
    std::memcpy(elem->sectionCsPositron[k], elem->sectionCs[k], elem->sectionN[k] * sizeof(double));
    std::memcpy(elem->sectionSlopePositron[k], elem->sectionSlope[k],
                elem->sectionN[k] * sizeof(double));
  }
}

int ReadDwbaIonization(AUXDATAFILES* files, ElemStaging* elem) {
  if (elem->Z > kDwbaElements) return 0;
  FILE* file = files->dwba;
  const char* name = files->dwbaName.c_str();
  int32_t tables = 0;
  if (!file || !SeekRecord(file, files->dwbaOffsets[elem->Z - 1]) || ReadInt(file, &tables) != 1 ||
      tables < 0 || tables > elem->nSubshells)
    return FileError(name);
  for (int t = 0; t < tables; ++t) {
    int32_t subshell = 0, n = 0;
    if (ReadInt(file, &subshell) != 1 || ReadInt(file, &n) != 1) return FileError(name);
    // Subshell numbers count from 1 in the file order of the ENDF subshells.
    if (subshell < 1 || subshell > elem->nSubshells || n < 2 || n > kMaxSectionPoints)
      return FileError(name);
    if (!ReadCrossSectionTriples(file, n, subshell + 2, elem)) return FileError(name);
  }
  return 0;
}

int ReadDpwElastic(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files, ElemStaging* elem) {
  FILE* file = files->dpwTotal;
  int32_t n = 0;
  if (!file || !SeekRecord(file, files->dpwTotalOffsets[elem->Z - 1]) || ReadInt(file, &n) != 1 ||
      n < 2 || n > kMaxSectionPointsRead || !ReadCrossSectionTriples(file, n, 0, elem))
    return FileError(files->dpwTotalName.c_str());
  if (!files->dpwAngular || !ReadDpwDistributions(options, files, elem))
    return FileError(files->dpwAngularName.c_str());
  return 0;
}

int ReadEedlElastic(const std::string& dataFolder, int z, std::vector<double>* energies,
                    std::vector<double>* totals) {
  const std::string name = dataFolder + "EEDL_elastic.dat";
  FILE* file = OpenRegularFileForReading(name, "r");
  if (!file) return AuxFileMissing(name);
  std::string line;
  bool found = false;
  while (!found && ReadTextLine(file, &line)) found = BlockHeadZ(Tokens(line)) == z;
  int code = 0;
  if (!found) {
    std::printf("Error: The data for %s (Z = %d) not found in file %s.\n", elementSymbol[z], z,
                name.c_str());
    code = 1;
  } else {
    code = ReadEedlBlock(file, name, z, energies, totals);
  }
  std::fclose(file);
  return code;
}

int LoadAuxiliaryElectronData(const ELEMENTLOADOPTIONS& options, AUXELECTRONDATA* aux, int elementIndex,
                              ElemStaging* elem) {
  const ALTCSINFO& alt = aux->alt;
  if (elementIndex >= 0 && elementIndex < static_cast<int>(alt.elements.size())) {
    const ALTCSSETTINGS& settings = alt.elements[elementIndex];
    if (settings.excFileGiven && ApplyAltExcitation(settings, elem) != 0) return 1;
    if (settings.ionFileGiven &&
        ApplyAltIonization(options, settings, alt.additionalEnergies, elem) != 0)
      return 1;
  }
  CopyPositronRows(elem);
  if (options.ionDwba != 0 && ReadDwbaIonization(&aux->files, elem) != 0) return 1;
  if (options.elasticDpw != 0) {
    if (ReadDpwElastic(options, &aux->files, elem) != 0) return 1;
    BuildElasticInterpolation(options, 0, false, true, elem);
    BuildElasticInterpolation(options, 1, false, false, elem);
  }
  return 0;
}

int WriteElementCrossSectionFiles(const ELEMENTLOADOPTIONS& options, const ElemStaging& elem) {
  char folder[2048];
  std::snprintf(folder, sizeof folder, "%s%02d-%s/", options.crossSectionFolder.c_str(), elem.Z,
                elementSymbol[elem.Z]);
  MakeFolder(folder);  // an existing folder is fine; a missing one shows below
  char name[2200];
  std::snprintf(name, sizeof name, "%s%s_exc_E_loss.txt", folder, elementSymbol[elem.Z]);
  FILE* file = std::fopen(name, "w");
  if (!file) {
    std::printf("\nFile %s could not be opened for writing.\n", name);
    return 1;
  }
  std::fprintf(file, "%13s\t%13s\n", "E", "E_loss");
  for (int i = 0; i < elem.excLossN; ++i)
    std::fprintf(file, "%13.6e\t%13.6e\n", elem.excLossEnergy[i], elem.excLoss[i]);
  std::fclose(file);
  for (int s = 1; s <= elem.nSubshells; ++s) {
    std::snprintf(name, sizeof name, "%s%s_ionization_%d.txt", folder, elementSymbol[elem.Z], s);
    file = std::fopen(name, "w");
    if (!file) {
      std::printf("\nFile %s could not be opened for writing.\n", name);
      return 1;
    }
    char column[32];
    std::snprintf(column, sizeof column, "sigma_%d", s);
    std::fprintf(file, "%13s\t%13s\n", "E", column);
    for (int i = 0; i < elem.sectionN[s + 2]; ++i)
      std::fprintf(file, "%13.6e\t%13.6e\n", elem.sectionEnergy[s + 2][i], elem.sectionCs[s + 2][i]);
    std::fclose(file);
  }
  return 0;
}
