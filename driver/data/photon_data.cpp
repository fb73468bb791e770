// Photo-atomic data of one element (ENDF-6 MF 23 cross sections, MF 27 form
// factors, scattering function and anomalous scattering factors) in the
// ENDF/B-VII and ENDF/B-VIII layouts.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/data/element_loader.h"
#include "driver/data/load_steps.h"
#include "transport/photon_interactions.h"

namespace {

// Stored in the logarithm columns for a value of 0: below ln of the smallest
// positive double, so that exp() of it gives 0 again.
constexpr double kLnOfZero = -745.0;

// Largest relative difference allowed between log-log interpolation of the
// coherent table and the file's lin-lin law.
constexpr double kLogLogTolerance = 1e-3;

struct TWORANGEMESSAGES {
  const char* firstRange;
  const char* secondRange;
  const char* rangeCount;
};

const TWORANGEMESSAGES kPairMessages = {
    "\nWrong interpolation law in the first interpolation range specified for the pair "
    "production cross sections table (should be lin-lin).\n",
    "\nWrong interpolation law in the second interpolation range specified for the pair "
    "production cross sections table (should be log-log).\n",
    "\nWrong number of interpolation ranges (only two interpolation ranges are implemented for "
    "the pair production cross sections table).\n"};
const TWORANGEMESSAGES kFormFactorMessages = {
    "\nWrong interpolation law in the first interpolation range specified for the coherent "
    "scattering form factors table (should be lin-lin).\n",
    "\nWrong interpolation law in the second interpolation range specified for the coherent "
    "scattering form factors table (should be log-log).\n",
    "\nWrong number of interpolation ranges (only two interpolation ranges are implemented for "
    "the coherent scattering form factors table).\n"};
const TWORANGEMESSAGES kScatteringFunctionMessages = {
    "\nWrong interpolation law in the first interpolation range specified for the incoherent "
    "scattering form factor table (should be lin-lin).\n",
    "\nWrong interpolation law in the second interpolation range specified for the incoherent "
    "scattering form factor table (should be log-log).\n",
    "\nWrong number of interpolation ranges (only two interpolation ranges are implemented for "
    "the incoherent scattering form factor table).\n"};

// ENDF/B-VIII gives every photon table as one lin-lin range.
bool IsOneLinLinRange(const ENDFREADER& reader) {
  return reader.generation >= 8 && EndfIntField(reader.line, 2) == 2 &&
         EndfIntField(reader.line, 3) == 0;
}

// Interpolation line of a one-range log-log table (one lin-lin range in
// ENDF/B-VIII files).
int CheckLogLogLine(const ENDFREADER& reader, int maxPoints, const char* lawMessage, int* np) {
  return CheckOneRangeLine(reader, IsOneLinLinRange(reader) ? 2 : 5, maxPoints, lawMessage, np);
}

// Interpolation line of a table that is lin-lin on its first interval and
// log-log after (one lin-lin range in ENDF/B-VIII files).
int CheckTwoRangeLine(const ENDFREADER& reader, int maxPoints, const TWORANGEMESSAGES& messages,
                      int* np) {
  if (IsOneLinLinRange(reader)) {
    *np = EndfIntField(reader.line, 1);
  } else {
    if (EndfIntField(reader.line, 1) != 2 || EndfIntField(reader.line, 2) != 2) {
      std::printf("%s", messages.firstRange);
      return 1;
    }
    if (EndfIntField(reader.line, 4) != 5) {
      std::printf("%s", messages.secondRange);
      return 1;
    }
    if (EndfIntField(reader.line, 5) != 0) {
      std::printf("%s", messages.rangeCount);
      return 1;
    }
    *np = EndfIntField(reader.line, 3);
  }
  if (*np < 2 || *np > maxPoints) return EndfFormatError(reader.sectionCode);
  return 0;
}

double LnOrFloor(double v) { return v > 0.0 ? std::log(v) : kLnOfZero; }

void FillLogarithms(const double* x, const double* y, int n, double* lnX, double* lnY) {
  for (int i = 0; i < n; ++i) {
    lnX[i] = LnOrFloor(x[i]);
    lnY[i] = LnOrFloor(y[i]);
  }
}

// Largest relative difference between log-log and lin-lin interpolation
// inside one interval, sampled at points spaced evenly in ln x.
double LogLogDeviation(double x0, double y0, double x1, double y1) {
  const double exponent = std::log(y1 / y0) / std::log(x1 / x0);
  double largest = 0.0;
  for (int k = 1; k < 8; ++k) {
    const double x = x0 * std::pow(x1 / x0, k / 8.0);
    const double linear = y0 + (y1 - y0) * (x - x0) / (x1 - x0);
    const double logLog = y0 * std::pow(x / x0, exponent);
    largest = std::fmax(largest, std::fabs(logLog / linear - 1.0));
  }
  return largest;
}

void SubdivideForLogLog(double x0, double y0, double x1, double y1, int depth,
                        std::vector<double>* xs, std::vector<double>* ys) {
  if (depth > 30 || !(x0 > 0.0) || !(x1 > x0) || !(y0 > 0.0) || !(y1 > 0.0)) return;
  if (LogLogDeviation(x0, y0, x1, y1) <= kLogLogTolerance) return;
  const double xm = std::sqrt(x0 * x1);
  const double ym = y0 + (y1 - y0) * (xm - x0) / (x1 - x0);
  SubdivideForLogLog(x0, y0, xm, ym, depth + 1, xs, ys);
  xs->push_back(xm);
  ys->push_back(ym);
  SubdivideForLogLog(xm, ym, x1, y1, depth + 1, xs, ys);
}

// Inserts lin-lin interpolated points until log-log interpolation between
// neighbours reproduces the file's lin-lin law within kLogLogTolerance.
void RefineForLogLog(std::vector<double>* xs, std::vector<double>* ys) {
  std::vector<double> x, y;
  for (size_t i = 0; i < xs->size(); ++i) {
    if (i > 0) SubdivideForLogLog((*xs)[i - 1], (*ys)[i - 1], (*xs)[i], (*ys)[i], 0, &x, &y);
    x.push_back((*xs)[i]);
    y.push_back((*ys)[i]);
  }
  xs->swap(x);
  ys->swap(y);
}

struct PHOTONTABLE {
  double* x;
  double* y;
  double* lnX;
  double* lnY;
  double* slope;
  int16_t* n;
  int capacity;
};

// Reads the points of a table whose interpolation line has been checked,
// applies the generation's clean-up and stores it with slopes by logFrom.
enum class Cleanup { kNone, kRefineCoherent, kDropLeadingZero };

int ReadPhotonPoints(ENDFREADER* reader, int np, int logFrom, Cleanup cleanup,
                     const PHOTONTABLE& table) {
  std::vector<double> xs(np), ys(np);
  if (ReadEndfPairs(reader, np, xs.data(), ys.data()) != 0)
    return EndfFormatError(reader->sectionCode);
  if (reader->generation >= 8 && cleanup == Cleanup::kRefineCoherent) RefineForLogLog(&xs, &ys);
  if (reader->generation >= 8 && cleanup == Cleanup::kDropLeadingZero) {
    // The table starts with (Eb, 0), (Eb, sigma_edge): start at the edge.
    size_t skip = 0;
    while (skip + 1 < ys.size() && ys[skip] == 0.0) ++skip;
    xs.erase(xs.begin(), xs.begin() + long(skip));
    ys.erase(ys.begin(), ys.begin() + long(skip));
  }
  if (int(xs.size()) > table.capacity) return EndfFormatError(reader->sectionCode);
  int n = 0;
  BuildTab1(xs.data(), ys.data(), int(xs.size()), table.x, table.y, table.slope, &n, nullptr,
            logFrom, nullptr);
  if (n < 2) return EndfFormatError(reader->sectionCode);
  *table.n = static_cast<int16_t>(n);
  if (table.lnX) FillLogarithms(table.x, table.y, n, table.lnX, table.lnY);
  return 0;
}

// Finds a section with its control line and reads its interpolation line.
// A preceding reading may have stopped on the section's head line already.
int OpenSection(ENDFREADER* reader, int code) {
  const bool atHead = reader->sectionCode == code && EndfLineCode(reader->line) == code;
  const bool found = atHead ? ReadEndfLine(reader) && EndfLineCode(reader->line) == code
                            : FindEndfSection(reader, code, true) == 0;
  if (!found || !ReadEndfLine(reader)) return EndfFormatError(reader->sectionCode);
  return 0;
}

int ReadLogLogTable(ENDFREADER* reader, int code, const char* lawMessage, Cleanup cleanup,
                    const PHOTONTABLE& table) {
  if (OpenSection(reader, code) != 0) return 1;
  int np = 0;
  if (CheckLogLogLine(*reader, table.capacity, lawMessage, &np) != 0) return 1;
  return ReadPhotonPoints(reader, np, 0, cleanup, table);
}

int ReadTwoRangeTable(ENDFREADER* reader, int code, const TWORANGEMESSAGES& messages,
                      const PHOTONTABLE& table) {
  if (OpenSection(reader, code) != 0) return 1;
  int np = 0;
  if (CheckTwoRangeLine(*reader, table.capacity, messages, &np) != 0) return 1;
  return ReadPhotonPoints(reader, np, 1, Cleanup::kNone, table);
}

int ReadAnomalousTable(ENDFREADER* reader, int code, const PHOTONTABLE& table) {
  if (OpenSection(reader, code) != 0) return 1;
  int np = 0;
  if (CheckOneRangeLine(*reader, 2, table.capacity,
                        "\nWrong interpolation law (only lin-lin interpolation is implemented for "
                        "anomalous form factors).\n",
                        &np) != 0)
    return 1;
  return ReadPhotonPoints(reader, np, -1, Cleanup::kNone, table);
}

int ReadPhotoionization(ENDFREADER* reader, const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  const char* const lawMessage =
      "\nWrong interpolation law (only log-log interpolation is implemented for photoionization).\n";
  if (OpenSection(reader, 23534) != 0) return 1;
  int s = 0;
  while (true) {
    if (s >= elem->nSubshells) return EndfFormatError(reader->sectionCode);
    const PHOTONTABLE table{elem->photoionEnergy[s], elem->photoionCs[s],
                            elem->photoionLnEnergy[s], elem->photoionLnCs[s],
                            elem->photoionSlope[s], &elem->photoionN[s], kMaxPhotoionPoints};
    int np = 0;
    if (CheckLogLogLine(*reader, kMaxPhotoionPoints, lawMessage, &np) != 0) return 1;
    if (ReadPhotonPoints(reader, np, 0, Cleanup::kDropLeadingZero, table) != 0) return 1;
    if (options.peAngularDistr != 0) BuildPhotoelectronTables(options, s, elem);
    ++s;
    // The next section's head line.
    int code = 0;
    while (code == 0 && ReadEndfLine(reader)) code = EndfLineCode(reader->line);
    reader->sectionCode = code;
    if (code == 0 || code >= 23600) break;
    if (!ReadEndfLine(reader) || EndfLineCode(reader->line) != code || !ReadEndfLine(reader))
      return EndfFormatError(reader->sectionCode);
  }
  if (s != elem->nSubshells || reader->sectionCode / 1000 != 27)
    return EndfFormatError(reader->sectionCode);
  return 0;
}

int ReadPhotonSections(ENDFREADER* reader, const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  if (ReadLogLogTable(reader, 23502,
                      "\nWrong interpolation law (only log-log interpolation is implemented for "
                      "coherent scattering).\n",
                      Cleanup::kRefineCoherent,
                      {elem->cohEnergy, elem->cohCs, elem->cohLnEnergy, elem->cohLnCs,
                       elem->cohSlope, &elem->cohN, kMaxCoherentPoints}) != 0)
    return 1;
  if (ReadLogLogTable(reader, 23504,
                      "\nWrong interpolation law (only log-log interpolation is implemented for "
                      "incoherent scattering).\n",
                      Cleanup::kNone,
                      {elem->incohEnergy, elem->incohCs, elem->incohLnEnergy, elem->incohLnCs,
                       elem->incohSlope, &elem->incohN, kMaxPhotonPoints}) != 0)
    return 1;
  if (ReadTwoRangeTable(reader, 23516, kPairMessages,
                        {elem->ppEnergy, elem->ppCs, elem->ppLnEnergy, elem->ppLnCs, elem->ppSlope,
                         &elem->ppN, kMaxPhotonPoints}) != 0)
    return 1;
  if (options.ppEnergyDistr != 0) BuildPairProductionTables(options, elem);
  if (ReadPhotoionization(reader, options, elem) != 0) return 1;
  if (ReadTwoRangeTable(reader, 27502, kFormFactorMessages,
                        {elem->ffX, elem->ff, elem->ffLnX, elem->ffLnY, elem->ffSlope, &elem->ffN,
                         kMaxFormFactorPoints}) != 0)
    return 1;
  BuildFormFactorIntegrals(elem);
  if (ReadTwoRangeTable(reader, 27504, kScatteringFunctionMessages,
                        {elem->sfX, elem->sf, elem->sfLnX, elem->sfLnY, elem->sfSlope, &elem->sfN,
                         kMaxPhotonPoints}) != 0)
    return 1;
  if (ReadAnomalousTable(reader, 27505,
                         {elem->anomImagX, elem->anomImag, nullptr, nullptr, elem->anomImagSlope,
                          &elem->anomImagN, kMaxPhotonPoints}) != 0)
    return 1;
  return ReadAnomalousTable(reader, 27506,
                            {elem->anomRealX, elem->anomReal, nullptr, nullptr,
                             elem->anomRealSlope, &elem->anomRealN, kMaxPhotonPoints});
}

}  // namespace

void BuildFormFactorIntegrals(ElemStaging* elem) {
  const int n = elem->ffN;
  if (n < 1) return;
  elem->ffIntF2[0] = elem->ffIntF[0] = 0.0;
  for (int j = 0; j + 1 < n; ++j) {
    // The whole interval in its own coordinate: x_(j+1) - x_0 on the linear
    // first one, ln(u_(j+1) / u_j) = 2 ln(x_(j+1) / x_j) beyond.
    const double end = j == 0 ? elem->ffX[1] - elem->ffX[0]
                              : 2.0 * std::log(elem->ffX[j + 1] / elem->ffX[j]);
    double F = 0.0, intF2 = 0.0, intF = 0.0;
    FormFactorOnInterval(*elem, j, end, &F, &intF2, &intF);
    elem->ffIntF2[j + 1] = elem->ffIntF2[j] + intF2;
    elem->ffIntF[j + 1] = elem->ffIntF[j] + intF;
  }
}

int ReadPhotoAtomicFile(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  ENDFREADER reader;
  if (OpenElementEndfFile(options, "photoat", "photoat", elem->Z, &reader) != 0) return 1;
  // Host tables of the photoelectron distributions, one entry per subshell.
  const int subshells = elem->nSubshells;
  elem->peAngCos = new double**[subshells]();
  elem->peAngPdf = new double**[subshells]();
  elem->peAngCum = new double**[subshells]();
  elem->peAngSlope = new double**[subshells]();
  elem->peAngMedian = new int16_t*[subshells]();
  elem->peAngN = static_cast<int16_t>(options.peAngularDistrN);
  const int code = ReadPhotonSections(&reader, options, elem);
  CloseEndfFile(&reader);
  return code;
}
