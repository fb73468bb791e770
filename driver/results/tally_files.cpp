// Tally result files: file machinery shared by the three writers, the sums
// over the records, the error figure and the three file layouts.
#include "driver/results/tally_files.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/physical_constants.h"
#include "core/tally_tables.h"
#include "platform/paths.h"

namespace {

const char* const kQuantityName[kQuantityCount] = {"E", "THETA", "MU", "R", "PHI", "X", "Y"};
const char* const kPlanePrefix[kTallyClassCount] = {"ETALLY", "PTALLY", "TALLY"};
const char* const kCellEntryPrefix[kTallyClassCount] = {"ECELL_ENTRY", "PCELL_ENTRY", "CELL_ENTRY"};
constexpr double kBinPositionZero = 1e-12;  // a bin edge this close to 0 (in bin widths) is printed as 0

// Writer kinds of the kept-file identity.
constexpr int kPulseHeightWriter = 0;
constexpr int kPlaneWriter = 1;      // + row
constexpr int kCellEntryWriter = 4;  // + row

// --- Writer state for the whole run ---
struct KEPTFILE {
  FILE* file = nullptr;
  std::string name;
  int kind = -1, tally = -1, fileNo = -1;
};
KEPTFILE kept;
bool folderMade = false;
uint8_t planeOpenFailed[kTallyClassCount][kMaxPlaneTalliesPerClass] = {};
std::vector<uint8_t> cellEntryOpenFailed[kTallyClassCount];
std::vector<uint8_t> pulseHeightOpenFailed;

uint8_t& FailureFlag(std::vector<uint8_t>& flags, int32_t tally) {
  if (flags.size() <= static_cast<size_t>(tally)) flags.resize(static_cast<size_t>(tally) + 1, 0);
  return flags[static_cast<size_t>(tally)];
}

std::string FolderPrefix(const char* folder) {
  std::string f = folder;
  while (!f.empty() && f.back() == '/') f.pop_back();
  return f + "/";
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// An open result file of one writer call.
struct RESULTFILE {
  FILE* file = nullptr;
  bool isKept = false;
  std::string name;
};

// A write or close that failed (a full disk, a file-size limit): the first
// is reported and the run ends with it.
bool writeFailed = false;

void ReportWriteFailure(const std::string& name) {
  if (!writeFailed) printf("Error: File \"%s\" could not be written.\n", name.c_str());
  writeFailed = true;
}

// Opens the file for writing: the kept file is truncated and rewritten in
// place; another file is opened "w" (the folder is made first). On failure
// the message is printed once per tally (*failed) and null returned.
RESULTFILE OpenResultFile(const std::string& name, int kind, int32_t tally, int fileNo, bool duringRun,
                          uint8_t* failed) {
  RESULTFILE out;
  if (kept.file != nullptr && kept.kind == kind && kept.tally == tally && kept.fileNo == fileNo) {
    kept.file = freopen(kept.name.c_str(), "w", kept.file);
    if (kept.file != nullptr) {
      out.file = kept.file;
      out.isKept = true;
    } else {
      kept = KEPTFILE{};
    }
  } else {
    if (!folderMade) {
      const std::string folder = name.substr(0, name.rfind('/') + 1);
      MakeFolder(folder);
    }
    out.file = fopen(name.c_str(), "w");
    if (out.file != nullptr && duringRun && kept.file == nullptr) {
      kept.file = out.file;
      kept.name = name;
      kept.kind = kind;
      kept.tally = tally;
      kept.fileNo = fileNo;
      out.isKept = true;
    }
  }
  if (out.file == nullptr) {
    if (*failed == 0) printf("Tally file %s could not be opened for writing.\n", name.c_str());
    *failed = 1;
    writeFailed |= !duringRun;  // during the run the next writing tries again
    return out;
  }
  *failed = 0;
  folderMade = true;
  out.name = name;
  return out;
}

// After a table: during the run the kept file is flushed and left open;
// every other file, and at the end of the run every file, is closed.
// The stream's error flag is sticky: checked here, it covers every write of
// the table.
void CloseResultFile(RESULTFILE& f, bool duringRun) {
  if (f.file == nullptr) return;
  bool ok = true;
  if (f.isKept && duringRun) {
    ok = fflush(f.file) == 0 && ferror(f.file) == 0;
  } else {
    ok = ferror(f.file) == 0;
    ok = fclose(f.file) == 0 && ok;
    if (f.isKept) kept = KEPTFILE{};
  }
  if (!ok) {
    if (!f.isKept || !duringRun) remove(f.name.c_str());  // no file rather than half of one
    ReportWriteFailure(f.name);
  }
  f.file = nullptr;
}

// --- Error figure ---
struct ERRORSUM {
  int32_t mode = kErrorAverage;
  double value = 0.0;
  int64_t taken = 0;
  double lastBin = 0.0;
};

void TakeBin(ERRORSUM& e, double r) {
  e.lastBin = r;
  if (r == 0.0) return;
  if (e.taken == 0) {
    e.value = r;
  } else if (e.mode == kErrorAverage) {
    e.value += r;
  } else if (e.mode == kErrorMinimum) {
    e.value = fmin(e.value, r);
  } else {
    e.value = fmax(e.value, r);
  }
  ++e.taken;
}

void StoreErrorFigure(const ERRORSUM& e, TALLYERRORFIGURE* out) {
  if (out == nullptr) return;
  double v = e.taken == 0 ? 0.0 : e.value;
  if (e.mode == kErrorAverage && e.taken > 1) v /= static_cast<double>(e.taken);
  out->value = v;
  out->lastBin = e.lastBin;
}

// --- Bin values ---
// Sums of one bin over the records: N (net count or weight), the energy F and
// the relative standard deviation.
struct BINSUM {
  int64_t n = 0;
  double W = 0.0;
  double F = 0.0;
  double rsd = 0.0;
};

// Upper edge of bin i, printed as exactly 0 when it is 0 within the tolerance.
double BinPosition(int32_t i, double lower, double invWidth, double factor) {
  if (fabs((i + 1) + lower * invWidth) <= kBinPositionZero) return 0.0;
  return (lower + (i + 1) / invWidth) * factor;
}

// A bin of a table with two halves (net count in counting mode, weight and
// squared weight in weighted mode); `arrays(record)` gives the record's
// count, weight and energy arrays of the table.
template <typename Arrays>
BINSUM TwoHalfBin(const TALLYFILECONTEXT& ctx, Arrays arrays, int64_t k, int64_t half) {
  BINSUM b;
  if (ctx.weighted) {
    double W2 = 0.0;
    for (int32_t r = 0; r < ctx.nRecords; ++r) {
      const double* w = arrays.weights(ctx.records[r]);
      const double* e = arrays.energies(ctx.records[r]);
      if (w != nullptr) {
        b.W += w[k];
        W2 += w[half + k];
      }
      if (e != nullptr) b.F += e[k];
    }
    b.rsd = b.W != 0.0 ? sqrt(W2) / fabs(b.W) : 0.0;
    return b;
  }
  int64_t all = 0;
  for (int32_t r = 0; r < ctx.nRecords; ++r) {
    const int64_t* c = arrays.counts(ctx.records[r]);
    const double* e = arrays.energies(ctx.records[r]);
    if (c != nullptr) {
      b.n += c[k] + c[half + k];
      all += llabs(c[k]) + llabs(c[half + k]);
    }
    if (e != nullptr) b.F += e[k] + e[half + k];
  }
  b.rsd = b.n != 0 ? sqrt(static_cast<double>(all)) / fabs(static_cast<double>(b.n)) : 0.0;
  return b;
}

// The table arrays of one plane-tally slot.
struct PLANEARRAYS {
  int row;
  int32_t slot;
  bool twoDim;
  const int64_t* counts(const CTask& t) const {
    int64_t** list = twoDim ? t.twoDimTallies[row] : t.oneDimTallies[row];
    return list != nullptr ? list[slot] : nullptr;
  }
  const double* weights(const CTask& t) const {
    double** list = twoDim ? t.twoDimTallies_wt[row] : t.oneDimTallies_wt[row];
    return list != nullptr ? list[slot] : nullptr;
  }
  const double* energies(const CTask& t) const {
    double** list = twoDim ? t.twoDimTallies_E[row] : t.oneDimTallies_E[row];
    return list != nullptr ? list[slot] : nullptr;
  }
};

// The arrays of one energy range of a cell-entry tally.
struct CELLENTRYARRAYS {
  int row;
  int32_t tally;
  int32_t range;
  const int64_t* counts(const CTask& t) const {
    return t.cellEntryHist[row] != nullptr ? t.cellEntryHist[row][tally][range] : nullptr;
  }
  const double* weights(const CTask& t) const {
    return t.cellEntryHist_wt[row] != nullptr ? t.cellEntryHist_wt[row][tally][range] : nullptr;
  }
  const double* energies(const CTask& t) const {
    return t.cellEntryHist_E[row] != nullptr ? t.cellEntryHist_E[row][tally][range] : nullptr;
  }
};

// Cell-entry bin: tallies that count entries or exits only keep one half.
BINSUM CellEntryBin(const TALLYFILECONTEXT& ctx, const CELLENTRYARRAYS& a, int8_t entryType, int32_t i, int32_t bins) {
  if (ctx.weighted || entryType == kNetFlow) return TwoHalfBin(ctx, a, i, bins);
  BINSUM b;
  for (int32_t r = 0; r < ctx.nRecords; ++r) {
    const int64_t* c = a.counts(ctx.records[r]);
    const double* e = a.energies(ctx.records[r]);
    if (c != nullptr) b.n += c[i];
    if (e != nullptr) b.F += e[i];
  }
  b.rsd = b.n != 0 ? 1.0 / sqrt(static_cast<double>(b.n)) : 0.0;
  return b;
}

// --- Line layouts ---
// The N column is an integer in counting mode without per-source scaling.
bool IntegerCounts(const TALLYFILECONTEXT& ctx) { return !ctx.weighted && ctx.perSource == 0; }

double Scaled(const TALLYFILECONTEXT& ctx, const BINSUM& b, double invN) {
  const double v = ctx.weighted ? b.W : static_cast<double>(b.n);
  return ctx.perSource != 0 ? v * invN : v;
}

double ScaledEnergy(const TALLYFILECONTEXT& ctx, const BINSUM& b, double invN) {
  return ctx.perSource != 0 ? b.F * ctx.energyFactor * invN : b.F * ctx.energyFactor;
}

void WriteHeader1D(FILE* f, const char* quantity, bool eFlux) {
  fprintf(f, eFlux ? "%s\tN\tE_flux\tRelSDev\n" : "%s\tN\tRelSDev\n", quantity);
}

void WriteLine1D(FILE* f, const TALLYFILECONTEXT& ctx, double position, const BINSUM& b, bool eFlux, double invN) {
  if (IntegerCounts(ctx)) {
    const long long n = static_cast<long long>(b.n);
    if (eFlux)
      fprintf(f, "%-.14g\t%lld\t%-.14e\t%-.4g\n", position, n, b.F * ctx.energyFactor, b.rsd);
    else
      fprintf(f, "%-.14g\t%lld\t%-.4g\n", position, n, b.rsd);
    return;
  }
  if (eFlux)
    fprintf(f, "%-.14g\t%-.14e\t%-.14e\t%-.4g\n", position, Scaled(ctx, b, invN), ScaledEnergy(ctx, b, invN), b.rsd);
  else
    fprintf(f, "%-.14g\t%-.14e\t%-.4g\n", position, Scaled(ctx, b, invN), b.rsd);
}

void WriteCell2D(FILE* f, const TALLYFILECONTEXT& ctx, const BINSUM& b, bool eFlux, double invN) {
  if (IntegerCounts(ctx)) {
    const long long n = static_cast<long long>(b.n);
    if (eFlux)
      fprintf(f, "\t%lld\t%-.14e\t%-.4g", n, b.F * ctx.energyFactor, b.rsd);
    else
      fprintf(f, "\t%lld\t%-.4g", n, b.rsd);
    return;
  }
  if (eFlux)
    fprintf(f, "\t%-.14e\t%-.14e\t%-.4g", Scaled(ctx, b, invN), ScaledEnergy(ctx, b, invN), b.rsd);
  else
    fprintf(f, "\t%-.14e\t%-.4g", Scaled(ctx, b, invN), b.rsd);
}

// --- Plane tallies ---
std::string PlaneBaseName(const TALLYFILECONTEXT& ctx, const PLANETALLY& t, int32_t row, int32_t plane) {
  std::string name = FolderPrefix(ctx.folder) + kPlanePrefix[row];
  if (t.number != 0) name += Format("%d", t.number);
  if (t.nParallel > 1) name += Format("_%d(%-g)", plane + 1, plane * t.spacing);
  return name;
}

// One 1-D table of one plane; f null evaluates only.
void PlaneTable1D(FILE* f, const TALLYFILECONTEXT& ctx, const TALLYTABLES& tt, const PLANETALLY& t, int row, int table,
                  int32_t plane, ERRORSUM& err, double invN) {
  const int q = t.oneDimDef[table].quantity;
  const TALLYRANGE& range = tt.rangeData[q][t.oneDimDef[table].range];
  const int32_t slot = t.oneDimSlot[table] + plane * t.n1D;
  const int64_t half = tt.oneDimHalf[row][t.oneDimSlot[table]];
  const bool eFlux = t.eFlux != 0;
  if (f != nullptr) WriteHeader1D(f, kQuantityName[q], eFlux);
  for (int32_t i = 0; i < range.bins; ++i) {
    const BINSUM b = TwoHalfBin(ctx, PLANEARRAYS{row, slot, false}, i, half);
    TakeBin(err, b.rsd);
    if (f != nullptr)
      WriteLine1D(f, ctx, BinPosition(i, range.lower, range.invWidth, ctx.displayFactor[q]), b, eFlux, invN);
  }
}

void PlaneTable2D(FILE* f, const TALLYFILECONTEXT& ctx, const TALLYTABLES& tt, const PLANETALLY& t, int row, int table,
                  int32_t plane, ERRORSUM& err, double invN) {
  const TALLYTABLE2D& def = t.twoDimDef[table];
  const TALLYRANGE& r1 = tt.rangeData[def.quantity1][def.range1];
  const TALLYRANGE& r2 = tt.rangeData[def.quantity2][def.range2];
  const int32_t slot = t.twoDimSlot[table] + plane * t.n2D;
  const int64_t half = tt.twoDimHalf[row][t.twoDimSlot[table]];
  const bool eFlux = t.eFlux != 0;
  if (f != nullptr) {
    fprintf(f, "%s", kQuantityName[def.quantity1]);
    for (int32_t i2 = 0; i2 < r2.bins; ++i2) {
      const double p = BinPosition(i2, r2.lower, r2.invWidth, ctx.displayFactor[def.quantity2]);
      if (eFlux)
        fprintf(f, "\tN_%-.14g\tF_%-.14g\tD_%-.14g", p, p, p);
      else
        fprintf(f, "\tN_%-.14g\tD_%-.14g", p, p);
    }
    fprintf(f, "\n");
  }
  for (int32_t i1 = 0; i1 < r1.bins; ++i1) {
    if (f != nullptr) fprintf(f, "%-.14g", BinPosition(i1, r1.lower, r1.invWidth, ctx.displayFactor[def.quantity1]));
    for (int32_t i2 = 0; i2 < r2.bins; ++i2) {
      const BINSUM b = TwoHalfBin(ctx, PLANEARRAYS{row, slot, true}, i1 + static_cast<int64_t>(r1.bins) * i2, half);
      TakeBin(err, b.rsd);
      if (f != nullptr) WriteCell2D(f, ctx, b, eFlux, invN);
    }
    if (f != nullptr) fprintf(f, "\n");
  }
}

}  // namespace

void WritePlaneTallies(const TALLYFILECONTEXT& ctx, int32_t tally, int32_t row, bool write, TALLYERRORFIGURE* error,
                       double invN) {
  const TALLYTABLES& tt = GetTallyTables();
  const PLANETALLY& t = tt.tallyData[row][tally];
  const bool duringRun = error != nullptr;
  const bool touchFiles = write || !duringRun;
  ERRORSUM err;
  err.mode = error != nullptr ? error->mode : kErrorAverage;
  int fileNo = 0;
  for (int32_t j = 0; j < t.nParallel; ++j) {
    const std::string base = PlaneBaseName(ctx, t, row, j);
    for (int k = 0; k < t.n1D + t.n2D; ++k, ++fileNo) {
      const bool twoDim = k >= t.n1D;
      const int table = twoDim ? k - t.n1D : k;
      RESULTFILE file;
      if (touchFiles) {
        const std::string name =
            twoDim ? base + Format("_%s_%s.txt",
                                   tt.rangeData[t.twoDimDef[table].quantity1][t.twoDimDef[table].range1].name,
                                   tt.rangeData[t.twoDimDef[table].quantity2][t.twoDimDef[table].range2].name)
                   : base + Format("_%s.txt", tt.rangeData[t.oneDimDef[table].quantity][t.oneDimDef[table].range].name);
        file = OpenResultFile(name, kPlaneWriter + row, tally, fileNo, duringRun, &planeOpenFailed[row][tally]);
        if (file.file == nullptr && !duringRun) continue;
      }
      if (twoDim)
        PlaneTable2D(file.file, ctx, tt, t, row, table, j, err, invN);
      else
        PlaneTable1D(file.file, ctx, tt, t, row, table, j, err, invN);
      CloseResultFile(file, duringRun);
    }
  }
  StoreErrorFigure(err, error);
}

void WriteCellEntryTallies(const TALLYFILECONTEXT& ctx, int32_t tally, int32_t row, bool write, TALLYERRORFIGURE* error,
                           double invN) {
  const TALLYTABLES& tt = GetTallyTables();
  const CELLENTRYTALLY& t = tt.cellEntryTally[row][tally];
  const bool duringRun = error != nullptr;
  const bool touchFiles = write || !duringRun;
  const bool eFlux = t.eFlux != 0;
  ERRORSUM err;
  err.mode = error != nullptr ? error->mode : kErrorAverage;
  for (int32_t r = 0; r < t.nEnergyRanges; ++r) {
    const TALLYRANGE& range = tt.rangeData[kQuantityE][t.energyRange[r]];
    RESULTFILE file;
    if (touchFiles) {
      const std::string name =
          FolderPrefix(ctx.folder) + Format("%s%d_%s.txt", kCellEntryPrefix[row], t.number, range.name);
      file = OpenResultFile(name, kCellEntryWriter + row, tally, r, duringRun,
                            &FailureFlag(cellEntryOpenFailed[row], tally));
      if (file.file == nullptr && !duringRun) continue;
    }
    if (file.file != nullptr) WriteHeader1D(file.file, kQuantityName[kQuantityE], eFlux);
    for (int32_t i = 0; i < range.bins; ++i) {
      const BINSUM b = CellEntryBin(ctx, CELLENTRYARRAYS{row, tally, r}, t.entryType, i, range.bins);
      TakeBin(err, b.rsd);
      if (file.file != nullptr) {
        WriteLine1D(file.file, ctx, BinPosition(i, range.lower, range.invWidth, ctx.displayFactor[kQuantityE]), b,
                    eFlux, invN);
      }
    }
    CloseResultFile(file, duringRun);
  }
  StoreErrorFigure(err, error);
}

namespace {

std::string PulseHeightName(const TALLYFILECONTEXT& ctx, const PULSEHEIGHTTALLY& ph) {
  const std::string folder = FolderPrefix(ctx.folder);
  if (ph.cell < 0) {
    return folder + (ctx.nWholeGeometryPulseHeight > 1 ? Format("PulseHeight%d.txt", ph.ordinal) : "PulseHeight.txt");
  }
  const int32_t id = ctx.cellId != nullptr ? ctx.cellId[ph.cell] : ph.cell + 1;
  const int32_t onCell = ctx.pulseHeightCountOfCell != nullptr ? ctx.pulseHeightCountOfCell[ph.cell] : 1;
  return folder + (onCell > 1 ? Format("PulseHeight_C%d_%d.txt", id, ph.ordinal) : Format("PulseHeight_C%d.txt", id));
}

// Mass (g) whose dose the tally reports: the whole geometry, or the cell when
// its volume is known; 0 = no dose column.
double PulseHeightMass(const TALLYFILECONTEXT& ctx, const PULSEHEIGHTTALLY& ph) {
  if (ph.cell < 0) return ctx.totalMass;
  if (ctx.cellVolume == nullptr || ctx.cellDensity == nullptr || !(ctx.cellVolume[ph.cell] > 0.0)) return 0.0;
  return ctx.cellDensity[ph.cell] * ctx.cellVolume[ph.cell];
}

void WritePulseHeightLine(FILE* f, const TALLYFILECONTEXT& ctx, bool eDeposition, double mass, double E, int64_t n,
                          double D, double rsd, double invN) {
  const bool perSource = ctx.perSource != 0;
  const double scale = perSource ? invN : 1.0;
  const double dose = mass > 0.0 ? D * scale * kJoulePerEV * 1000.0 / mass : 0.0;
  const double deposit = D * scale * ctx.energyFactor;
  if (!perSource) {
    const long long count = static_cast<long long>(n);
    if (eDeposition && mass > 0.0)
      fprintf(f, "%-.14g\t%lld\t%-.14e\t%-.14e\t%-.4g\n", E, count, deposit, dose, rsd);
    else if (eDeposition)
      fprintf(f, "%-.14g\t%lld\t%-.14e\t%-.4g\n", E, count, deposit, rsd);
    else
      fprintf(f, "%-.14g\t%lld\t%-.4g\n", E, count, rsd);
    return;
  }
  const double share = static_cast<double>(n) * invN;
  if (eDeposition && mass > 0.0)
    fprintf(f, "%-.14g\t%-.14e\t%-.14e\t%-.14e\t%-.4g\n", E, share, deposit, dose, rsd);
  else if (eDeposition)
    fprintf(f, "%-.14g\t%-.14e\t%-.14e\t%-.4g\n", E, share, deposit, rsd);
  else
    fprintf(f, "%-.14g\t%-.14e\t%-.4g\n", E, share, rsd);
}

}  // namespace

void WritePulseHeightTallies(const TALLYFILECONTEXT& ctx, int32_t tally, bool write, TALLYERRORFIGURE* error,
                             double invN) {
  const TALLYTABLES& tt = GetTallyTables();
  const PULSEHEIGHTTALLY& ph = tt.pulseHeightTally[tally];
  const bool duringRun = error != nullptr;
  const bool eDeposition = ph.eDeposition != 0;
  const double mass = PulseHeightMass(ctx, ph);
  RESULTFILE file;
  if (write || !duringRun) {
    file = OpenResultFile(PulseHeightName(ctx, ph), kPulseHeightWriter, tally, 0, duringRun,
                          &FailureFlag(pulseHeightOpenFailed, tally));
    if (file.file == nullptr && !duringRun) return;
  }
  if (file.file != nullptr) {
    if (eDeposition && mass > 0.0)
      fprintf(file.file, "E\tN\tE_absorbed\tdose\tRelSDev\n");
    else if (eDeposition)
      fprintf(file.file, "E\tN\tE_absorbed\tRelSDev\n");
    else
      fprintf(file.file, "E\tN\tRelSDev\n");
  }
  ERRORSUM err;
  err.mode = error != nullptr ? error->mode : kErrorAverage;
  for (int32_t i = 0; i < ph.bins; ++i) {
    int64_t n = 0;
    double D = 0.0;
    for (int32_t r = 0; r < ctx.nRecords; ++r) {
      const CTask& rec = ctx.records[r];
      if (rec.pulseHeightHist != nullptr) n += rec.pulseHeightHist[tally][i];
      if (rec.pulseHeightEnergy != nullptr && rec.pulseHeightEnergy[tally] != nullptr)
        D += rec.pulseHeightEnergy[tally][i];
    }
    const double rsd = n > 0 ? sqrt(fmax(0.0, 1.0 / static_cast<double>(n) - invN)) : 0.0;
    TakeBin(err, rsd);
    if (file.file != nullptr) {
      const double E = BinPosition(i, ph.lower, ph.invWidth, ctx.energyFactor);
      WritePulseHeightLine(file.file, ctx, eDeposition, mass, E, n, D, rsd, invN);
    }
  }
  CloseResultFile(file, duringRun);
  StoreErrorFigure(err, error);
}

bool TallyFileWriteFailed() { return writeFailed; }

Status CloseTallyFiles() {
  if (kept.file != nullptr && fclose(kept.file) != 0) ReportWriteFailure(kept.name);
  kept = KEPTFILE{};
  const bool failed = writeFailed;
  writeFailed = false;
  folderMade = false;
  for (auto& row : planeOpenFailed) {
    for (uint8_t& f : row) f = 0;
  }
  for (auto& v : cellEntryOpenFailed) v.clear();
  pulseHeightOpenFailed.clear();
  return failed ? kInputError : kOk;
}
