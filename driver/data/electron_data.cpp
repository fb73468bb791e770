// Electro-atomic data of one element (ENDF-6 MF 23 cross sections, MF 26
// distributions) in the ENDF/B-VII and ENDF/B-VIII layouts.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/elements.h"
#include "driver/data/fast_index.h"
#include "driver/data/load_steps.h"

namespace {

const char* const kLinLinMessage =
    "\nWrong interpolation law (only lin-lin interpolation is implemented for all electron "
    "interactions).\n";
const char* const kOneRangeMessage =
    "\nWrong number of interpolation ranges (only one interpolation range is implemented for all "
    "tables except scattering form factors and pair production cross sections).\n";

// MT of the first subshell section (K shell, designator 1).
constexpr int kFirstSubshellMt = 534;

// Largest cosine of the large-angle elastic distributions.
constexpr double kLastElasticCosine = 0.999999;

// Cross sections (MF 23): elastic (large angle), bremsstrahlung, excitation
// and the first subshell in this order, then every further MF 23 section.
int ReadCrossSections(ENDFREADER* reader, ElemStaging* elem) {
  // ENDF/B-VIII gives the large-angle elastic cross section in MT 525 (MT 526
  // is the total elastic one); ENDF/B-VII gives it in MT 526.
  const int elasticCode = reader->generation >= 8 ? 23525 : 23526;
  const int firstCodes[4] = {elasticCode, 23527, 23528, 23534};
  int taken = 0;
  reader->sectionCode = 0;
  while (ReadEndfLine(reader)) {
    const int code = EndfLineCode(reader->line);
    if (code == 0) continue;
    reader->sectionCode = code;
    if (code >= 25600) break;
    if (taken < 4 && code != firstCodes[taken]) continue;
    if (taken == kMaxSections) return EndfFormatError(code);
    int np = 0;
    if (SkipEndfLines(reader, 2) != 0) return EndfFormatError(code);
    if (CheckOneRangeLine(*reader, 2, kMaxSectionPointsRead, kLinLinMessage, &np) != 0) return 1;
    int n = np;
    if (ReadEndfTab1(reader, elem->sectionEnergy[taken], elem->sectionCs[taken],
                     elem->sectionSlope[taken], &n, nullptr, -1, nullptr) != 0 || n < 2)
      return EndfFormatError(code);
    elem->sectionN[taken] = static_cast<int16_t>(n);
    // Subshell ionization MT 534.. names the subshell: designator MT - 533.
    if (taken >= 3) elem->ionDesignator[taken - 3] = static_cast<int16_t>(code % 1000 - kFirstSubshellMt + 1);
    ++taken;
  }
  if (reader->sectionCode / 1000 != 26 || taken < 4) return EndfFormatError(reader->sectionCode);
  elem->nSections = taken;
  elem->nSubshells = taken - 3;
  return 0;
}

// Reads the (NE, law 2, 0) line `linesToSkip` lines after the head line.
int ReadEnergyCountLine(ENDFREADER* reader, int linesToSkip, int maxEnergies, int* ne) {
  if (SkipEndfLines(reader, linesToSkip) != 0) return EndfFormatError(reader->sectionCode);
  *ne = EndfIntField(reader->line, 1);
  if (*ne < 1 || *ne > maxEnergies || EndfIntField(reader->line, 2) != 2 ||
      EndfIntField(reader->line, 3) != 0)
    return EndfFormatError(reader->sectionCode);
  return 0;
}

// The control line of one distribution: its point count and incident energy.
int ReadDistributionHead(ENDFREADER* reader, int maxPoints, int* np, double* energy) {
  if (!ReadEndfLine(reader)) return EndfFormatError(reader->sectionCode);
  *np = EndfIntField(reader->line, 6);
  *energy = EndfField(reader->line, 2);
  if (*np < 2 || *np > maxPoints) return EndfFormatError(reader->sectionCode);
  return 0;
}

// Extends an elastic distribution from its last cosine to 1 by continuing the
// last interval's density linearly, and renormalises.
int ExtendElasticToForward(ElemStaging* elem, int e, bool* negativeWarned) {
  int16_t& n = elem->elasticN[e];
  if (n >= kMaxElasticPoints) return 1;
  double* x = elem->elasticCos[e];
  double* y = elem->elasticPdf[e];
  double* cum = elem->elasticCum[e];
  double* slope = elem->elasticSlope[e];
  const int last = n - 1;
  const double linearSlope = slope[last - 1] != 0.0 ? 1.0 / slope[last - 1] : 0.0;
  const double yForward = y[last] + (1.0 - x[last]) * linearSlope;
  x[n] = 1.0;
  y[n] = yForward;
  slope[last] = slope[last - 1];
  slope[n] = 0.0;
  cum[n] = 1.0 + (1.0 - x[last]) * (y[last] + yForward) * 0.5;
  const double total = cum[n];
  for (int i = 0; i <= n; ++i) {
    y[i] /= total;
    cum[i] /= total;
    slope[i] *= total;
  }
  cum[n] = 1.0;
  ++n;
  if (yForward < 0.0 && !*negativeWarned) {
    std::printf("Warning: The probability density function of the cosine of the elastic "
                "scattering angle for %s (Z = %d) at E = %g eV is negative at small angles.\n",
                elementSymbol[elem->Z], elem->Z, elem->elasticEnergy[e]);
    *negativeWarned = true;
  }
  return 0;
}

int ReadElasticDistributions(ENDFREADER* reader, const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  // ENDF/B-VIII: MT 525 with the (NE, 2, 0) line as the 6th line of the
  // section; ENDF/B-VII: MT 526 with it as the 5th.
  const bool viii = reader->generation >= 8;
  // The cross-section reading stopped on the head line of the first MF 26
  // section, normally this one.
  const int code = viii ? 26525 : 26526;
  if (reader->sectionCode != code && FindEndfSection(reader, code, false) != 0)
    return EndfFormatError(reader->sectionCode);
  int ne = 0;
  if (ReadEnergyCountLine(reader, viii ? 5 : 4, kMaxElasticEnergies, &ne) != 0) return 1;
  elem->elasticNE = static_cast<int16_t>(ne);
  static bool negativeWarned = false;  // the warning is printed once per run
  const bool checkLastCosine = options.elastic != 0 && options.elasticDpw == 0;
  for (int e = 0; e < ne; ++e) {
    int np = 0;
    if (ReadDistributionHead(reader, kMaxElasticPoints, &np, &elem->elasticEnergy[e]) != 0)
      return 1;
    double* x = elem->elasticCos[e];
    double* y = elem->elasticPdf[e];
    int n = np;
    if (ReadEndfTab1(reader, x, y, elem->elasticSlope[e], &n, nullptr, -1, nullptr) != 0)
      return EndfFormatError(reader->sectionCode);
    // Runs of equal densities first, then the cumulative integral and slopes
    // of the cleaned table.
    int16_t count = static_cast<int16_t>(n);
    CleanPoints(x, y, &count);
    if (count < 2) return EndfFormatError(reader->sectionCode);
    NormaliseDensity(x, y, elem->elasticCum[e], elem->elasticSlope[e], count);
    int16_t median = 0;
    if (options.elasticPdfError > 0.0)
      ThinTable(x, y, elem->elasticCum[e], elem->elasticSlope[e], &count, &median,
                options.elasticCdfStep, options.elasticPdfError, options.elasticCdfCutoff);
    elem->elasticN[e] = count;
    if (checkLastCosine) {
      if (std::fabs(x[count - 1] / kLastElasticCosine - 1.0) > 1e-12) {
        std::printf("\nError: The last value of the scattering angle cosine for %s (Z = %d) at "
                    "E = %g eV is not equal to 0.999999.\n",
                    elementSymbol[elem->Z], elem->Z, elem->elasticEnergy[e]);
        return 1;
      }
      if (options.elasticSmallAngle == 0 && ExtendElasticToForward(elem, e, &negativeWarned) != 0)
        return EndfFormatError(reader->sectionCode);
    }
    elem->elasticMedian[e] = MedianInterval(elem->elasticCum[e], elem->elasticN[e]);
  }
  // The wide intervals are fitted to the ENDF cross section before the
  // small-angle modes turn section 0 into the total elastic cross section.
  if (checkLastCosine) BuildElasticInterpolation(options, 0, true, true, elem);
  if (checkLastCosine && options.elasticSmallAngle >= 1 && options.elasticSmallAngle <= 3)
    return CompleteSmallAngleElastic(options, viii ? 23525 : 23526, elem);
  return 0;
}

// Mean reduced photon energy of each spectrum (lin-lin density, exactly) and
// its ratio to the mean energy-transfer table at the spectrum's energy.
void StoreBremsSpectrumMeans(ElemStaging* elem) {
  for (int e = 0; e < elem->bremsSpecNE; ++e) {
    const double* x = elem->bremsSpecX[e];
    const double* p = elem->bremsSpecPdf[e];
    double sum = 0.0, norm = 0.0;
    for (int i = 0; i + 1 < elem->bremsSpecN[e]; ++i) {
      const double h = x[i + 1] - x[i];
      sum += h / 6.0 * (p[i] * (2.0 * x[i] + x[i + 1]) + p[i + 1] * (x[i] + 2.0 * x[i + 1]));
      norm += 0.5 * h * (p[i] + p[i + 1]);
    }
    const double E = elem->bremsSpecEnergy[e];
    const double meanK = norm > 0.0 && E > 0.0 ? sum / norm / E : 0.0;
    elem->bremsSpecMeanK[e] = meanK;
    uint16_t hint = 0;
    const double loss = elem->bremsLossN >= 2 && E >= elem->bremsLossEnergy[0] &&
                                E <= elem->bremsLossEnergy[elem->bremsLossN - 1]
                            ? InterpolateFromHint(E, elem->bremsLossEnergy, elem->bremsLoss, elem->bremsLossN, &hint)
                            : 0.0;
    elem->bremsSpecMeanRatio[e] = loss > 0.0 && meanK > 0.0 ? meanK * E / loss : 1.0;
  }
}

int ReadBremsstrahlung(ENDFREADER* reader, ElemStaging* elem) {
  if (FindEndfSection(reader, 26527, false) != 0) return EndfFormatError(reader->sectionCode);
  int ne = 0;
  if (ReadEnergyCountLine(reader, 5, kMaxSpectrumEnergies, &ne) != 0) return 1;
  elem->bremsSpecNE = static_cast<int16_t>(ne);
  for (int e = 0; e < ne; ++e) {
    int np = 0;
    if (ReadDistributionHead(reader, kMaxSpectrumPoints, &np, &elem->bremsSpecEnergy[e]) != 0)
      return 1;
    int n = np;
    if (ReadEndfTab1(reader, elem->bremsSpecX[e], elem->bremsSpecPdf[e], elem->bremsSpecSlope[e],
                     &n, elem->bremsSpecCum[e], -1, nullptr) != 0 || n < 2)
      return EndfFormatError(reader->sectionCode);
    elem->bremsSpecN[e] = static_cast<int16_t>(n);
    elem->bremsSpecMedian[e] = MedianInterval(elem->bremsSpecCum[e], n);
  }
  // Second subsection: the mean energy transfer against incident energy.
  if (SkipEndfLines(reader, 5) != 0) return EndfFormatError(reader->sectionCode);
  int np = 0;
  if (CheckOneRangeLine(*reader, 2, kMaxLossPoints, kLinLinMessage, &np) != 0) return 1;
  int n = np;
  if (ReadEndfTab1(reader, elem->bremsLossEnergy, elem->bremsLoss, elem->bremsLossSlope, &n,
                   nullptr, -1, nullptr) != 0)
    return EndfFormatError(reader->sectionCode);
  elem->bremsLossN = static_cast<int16_t>(n);
  StoreBremsSpectrumMeans(elem);
  return 0;
}

int ReadExcitationLoss(ENDFREADER* reader, ElemStaging* elem) {
  if (FindEndfSection(reader, 26528, false) != 0) return EndfFormatError(reader->sectionCode);
  if (SkipEndfLines(reader, 5) != 0) return EndfFormatError(reader->sectionCode);
  int np = 0;
  if (CheckOneRangeLine(*reader, 2, kMaxSectionPointsRead, kLinLinMessage, &np) != 0) return 1;
  // The loss table lies on the grid of the excitation cross section.
  if (np > elem->sectionN[2]) return EndfFormatError(reader->sectionCode);
  int n = np;
  if (ReadEndfTab1(reader, elem->excLossEnergy, elem->excLoss, elem->excLossSlope, &n, nullptr, -1,
                   elem->sectionEnergy[2]) != 0)
    return EndfFormatError(reader->sectionCode);
  elem->excLossN = static_cast<int16_t>(n);
  return 0;
}

}  // namespace

int ReadIonizationSpectra(ENDFREADER* reader, ElemStaging* elem) {
  if (FindEndfSection(reader, 26534, false) != 0) return EndfFormatError(reader->sectionCode);
  int s = 0;
  while (reader->sectionCode != 0 && reader->sectionCode < 26600) {
    if (s >= elem->nSubshells) return EndfFormatError(reader->sectionCode);
    int ne = 0;
    if (ReadEnergyCountLine(reader, 5, kMaxSpectrumEnergies, &ne) != 0) return 1;
    elem->ionSpecNE[s] = static_cast<int16_t>(ne);
    for (int e = 0; e < ne; ++e) {
      int np = 0;
      if (ReadDistributionHead(reader, kMaxSpectrumPoints, &np, &elem->ionSpecEnergy[s][e]) != 0)
        return 1;
      int n = np;
      if (ReadEndfTab1(reader, elem->ionSpecX[s][e], elem->ionSpecPdf[s][e],
                       elem->ionSpecSlope[s][e], &n, elem->ionSpecCum[s][e], -1, nullptr) != 0 ||
          n < 2)
        return EndfFormatError(reader->sectionCode);
      elem->ionSpecN[s][e] = static_cast<int16_t>(n);
      elem->ionSpecMedian[s][e] = MedianInterval(elem->ionSpecCum[s][e], n);
    }
    ++s;
    // On to the head line of the next section.
    reader->sectionCode = 0;
    while (reader->sectionCode == 0 && ReadEndfLine(reader))
      reader->sectionCode = EndfLineCode(reader->line);
  }
  if (s != elem->nSubshells) return EndfFormatError(reader->sectionCode);
  return 0;
}

int CheckOneRangeLine(const ENDFREADER& reader, int law, int maxPoints, const char* lawMessage,
                      int* np) {
  if (EndfIntField(reader.line, 2) != law) {
    std::printf("%s", lawMessage);
    return 1;
  }
  if (EndfIntField(reader.line, 3) != 0) {
    std::printf("%s", kOneRangeMessage);
    return 1;
  }
  *np = EndfIntField(reader.line, 1);
  if (*np < 1 || *np > maxPoints) return EndfFormatError(reader.sectionCode);
  return 0;
}

int EndfFileMissing(const std::string& name) {
  std::printf("\nFile %s could not be opened for reading (see the Trenqual user manual for the "
              "links to the ZIP files with the complete set of ENDF/B electroatomic, photoatomic "
              "and atomic relaxation data).\n",
              name.c_str());
  return 1;
}

int OpenElementEndfFile(const ELEMENTLOADOPTIONS& options, const char* sublibrary,
                        const char* prefix, int z, ENDFREADER* reader) {
  char name[1024];
  std::snprintf(name, sizeof name, "%s%s/%s-%03d_%s_000.endf", options.endfFolder.c_str(),
                sublibrary, prefix, z, elementSymbol[z]);
  if (!OpenEndfFile(name, reader)) return EndfFileMissing(name);
  return 0;
}

int OpenElectroAtomicFile(const ELEMENTLOADOPTIONS& options, const ElemStaging& elem, ENDFREADER* reader) {
  return OpenElementEndfFile(options, "electrons", "e", elem.Z, reader);
}

int ReadElectroAtomicSections(ENDFREADER* reader, const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  int code = ReadCrossSections(reader, elem);
  if (code == 0) code = ReadElasticDistributions(reader, options, elem);
  if (code == 0) code = ReadBremsstrahlung(reader, elem);
  if (code == 0) code = ReadExcitationLoss(reader, elem);
  return code;
}

int ReadElectroAtomicFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  ENDFREADER reader;
  if (OpenElectroAtomicFile(options, *elem, &reader) != 0) return 1;
  int code = ReadElectroAtomicSections(&reader, options, elem);
  if (code == 0) code = ReadIonizationSpectra(&reader, elem);
  CloseEndfFile(&reader);
  return code;
}
