#include "driver/run/run_summary.h"

#include <cinttypes>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/cell_union.h"
#include "core/constants.h"
#include "core/physical_constants.h"
#include "core/source.h"
#include "core/tally_tables.h"
#include "core/task.h"
#include "core/track_records.h"
#include "driver/build_variant.h"
#include "driver/device_results.h"
#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/source_directives.h"
#include "driver/directives/tally_directives.h"
#include "driver/input/input_passes.h"
#include "driver/input/input_reader.h"
#include "driver/input/options.h"
#include "driver/results/interaction_report.h"
#include "driver/results/tally_files.h"
#include "driver/results/tracks_file.h"
#include "driver/run/monitored_tallies.h"
#include "driver/run/result_totals.h"
#include "driver/run/run_loop.h"
#include "driver/run/run_monitor.h"
#include "driver/run/run_state.h"
#include "driver/run/work_division.h"
#include "driver/setup/geometry_reports.h"
#include "platform/paths.h"

namespace {

// --- Summary ----------------------------------------------------------------------

void BlankProgressLine() { printf("%s\n", std::string(static_cast<size_t>(run::lastLineLength), ' ').c_str()); }

// The summary line of Trenqual_CUDA: the largest bank is per source particle
// unless the devices bank in one ring (heap_CUDA 2), where the CPU's is given
// beside the CPU threads; a device whose ring overflowed is reported.
std::string GpuSummaryLine(const RESULTTOTALS& r) {
  const bool ring = r.deviceWork && input::runOptions.heap_CUDA >= 2;
  const bool cpuForm = ring && run::nCpuTasks > 0;
  const char* bankWords = ring ? " " : " per one source particle ";
  char line[512];
  if (r.lostParticles == 0) {
    if (cpuForm) {
      snprintf(line, sizeof(line),
               "Elapsed time = %-.3f s, number of source particles = %" PRIu64
               ", maximum number of banked particles per one source particle on the CPU = %d",
               run::runElapsedTime, r.allHistories, r.maxBankedCpu);
    } else {
      snprintf(line, sizeof(line),
               "Elapsed time = %-.3f s, number of source particles = %" PRIu64
               ", maximum number of banked particles%s= %d",
               run::runElapsedTime, r.allHistories, bankWords, r.maxBanked);
    }
  } else if (cpuForm) {
    snprintf(line, sizeof(line),
             "Elapsed time = %-.3f s, number of source particles: %" PRIu64 " entered, %" PRIu64
             " lost. Maximum number of banked particles per one source particle on the CPU = %d",
             run::runElapsedTime, r.allHistories, r.lostParticles, r.maxBankedCpu);
  } else {
    snprintf(line, sizeof(line),
             "Elapsed time = %-.3f s, number of source particles: %" PRIu64 " entered, %" PRIu64
             " lost. Maximum number of banked particles%s= %d",
             run::runElapsedTime, r.allHistories, r.lostParticles, bankWords, r.maxBanked);
  }
  std::string text = line;
  if (run::bufferOverflow.load(std::memory_order_acquire) != 0) {
    text += ". CUDA device banked particles buffer overflow has occurred.";
  }
  return text;
}

void WriteSummaryLine() {
  const RESULTTOTALS& r = run::resultTotals;
  if (gpuBuild) {
    const std::string line = GpuSummaryLine(r);
    printf("%s\n", line.c_str());
    if (input::outputFile != nullptr) fprintf(input::outputFile, "\n%s\n", line.c_str());
    return;
  }
  char line[512];
  if (r.lostParticles == 0) {
    snprintf(line, sizeof(line),
             "Elapsed time = %-.3f s, number of source particles = %" PRIu64
             ", maximum number of banked particles = %d",
             run::runElapsedTime, r.allHistories, r.maxBanked);
  } else {
    snprintf(line, sizeof(line),
             "Elapsed time = %-.3f s, number of source particles: %" PRIu64 " entered, %" PRIu64
             " lost. Maximum number of banked particles = %d",
             run::runElapsedTime, r.allHistories, r.lostParticles, r.maxBanked);
  }
  printf("%s\n\n", line);
  if (input::outputFile != nullptr) fprintf(input::outputFile, "\n%s", line);
}

// Trenqual_CUDA with device work: the CPU's share of the histories beside
// the CPU threads, then the statistics of every device.
void WriteCpuShare() {
  const std::string line = CpuShareText(run::resultTotals);
  if (line.empty()) return;
  printf("%s\n", line.c_str());
  if (input::outputFile != nullptr) fprintf(input::outputFile, "%s\n", line.c_str());
}

void WriteDeviceStatistics() {
  const std::string text = DeviceSummaryText(run::resultTotals, run::runElapsedTime);
  if (text.empty()) return;
  printf("%s", text.c_str());
  if (input::outputFile != nullptr) fprintf(input::outputFile, "%s", text.c_str());
}

// Cell crossings whose neighbour slot could not be resolved were not scored
// in the cell-entry tallies; the run says how many.
void WriteUnresolvedEntries() {
  const uint64_t n = run::resultTotals.unresolvedCellEntries;
  if (n == 0) return;
  char line[256];
  snprintf(line, sizeof(line),
           "Warning: %" PRIu64
           " cell boundary crossings could not be assigned to a neighbouring cell and were not "
           "scored in the cell-entry tallies.",
           n);
  printf("%s\n\n", line);
  if (input::outputFile != nullptr) fprintf(input::outputFile, "\n%s", line);
}

void WriteSourceExtent() {
  const Constants& k = core::hostConstants;
  const RESULTTOTALS& r = run::resultTotals;
  if (input::outputFile == nullptr || k.sourcePositionType != kCellSource) return;
  const int32_t id = k.cell != nullptr && k.sourceCell >= 0 ? k.cell[k.sourceCell].number : 0;
  // Trenqual_CUDA's summary line ends its own line.
  fprintf(input::outputFile,
          "%sMinimum and maximum coordinates of randomly generated source points inside %s No. %d:\n",
          gpuBuild ? "\n" : "\n\n", "cell", id);
  fprintf(input::outputFile, "%15s %15s   %15s %15s   %15s %15s\n", "source_xMin  ", "source_xMax  ", "source_yMin  ",
          "source_yMax  ", "source_zMin  ", "source_zMax  ");
  fprintf(input::outputFile, "%15.7e %15.7e   %15.7e %15.7e   %15.7e %15.7e\n", r.sourceMin.x, r.sourceMax.x,
          r.sourceMin.y, r.sourceMax.y, r.sourceMin.z, r.sourceMax.z);
}

// --- Cell activity ------------------------------------------------------------------

// A count, or with weights the weight sum rounded; and the mean of an energy
// sum over it (0 without events).
struct ACTIVITY {
  long long count;
  double mean;
};

ACTIVITY ActivityOf(const INTERACTIONSTATS& s, int countSlot, int weightSlot, int energySlot, bool weighted,
                    double energyFactor) {
  const double energy = s.slot[energySlot].e * energyFactor;
  if (weighted) {
    const double w = s.slot[weightSlot].e;
    return ACTIVITY{static_cast<long long>(w + 0.5), w > 0.0 ? energy / w : 0.0};
  }
  const uint64_t n = s.slot[countSlot].n;
  return ACTIVITY{static_cast<long long>(n), n > 0 ? energy / static_cast<double>(n) : 0.0};
}

void WriteActivityRow(FILE* out, const INTERACTIONSTATS& s, const int (&slots)[9], bool weighted, double f) {
  for (int i = 0; i < 3; ++i) {
    const ACTIVITY a = ActivityOf(s, slots[3 * i], slots[3 * i + 1], slots[3 * i + 2], weighted, f);
    fprintf(out, "      %16lld   %-16.9e", a.count, a.mean);
  }
}

void WriteCellLabel(FILE* out, int row, int32_t c) {
  const Constants& k = core::hostConstants;
  fprintf(out, "%5d ", row);
  const int32_t u = k.cell[c].unionIndex;
  if (u >= 0) {
    fprintf(out, "%15s", ("Union" + std::to_string(u + 1)).c_str());
  } else {
    fprintf(out, "%15d", k.cell[c].number);
  }
}

bool StandsForItself(int32_t c) {
  const Constants& k = core::hostConstants;
  const int32_t u = k.cell[c].unionIndex;
  if (u < 0) return true;
  for (int32_t d = 0; d < c; ++d) {
    if (k.cell[d].unionIndex == u) return false;
  }
  return true;
}

// Absorbed dose, Gy, of an energy in eV deposited in a mass of density
// g/cm^3 and volume cm^3 (1000 g per kg).
double AbsorbedDose(double absorbedEV, double density, double volume) {
  return absorbedEV * kJoulePerEV * 1000.0 / (volume * density);
}

// --- Result files ---------------------------------------------------------------------

// The union records of the report: per union its first cell (the lowest
// index, where the run's totals fold its members) and its identifier.
struct UNIONTABLES {
  std::vector<int32_t> firstCell, id;
};

void FillUnionTables(const Constants& k, int32_t nCells, UNIONTABLES& u) {
  const int32_t n = k.unionData != nullptr ? k.nUnions : 0;
  u.firstCell.assign(static_cast<size_t>(n), -1);
  u.id.assign(static_cast<size_t>(n), 0);
  for (int32_t i = 0; i < n; ++i) u.id[static_cast<size_t>(i)] = k.unionData[i].identifier;
  for (int32_t c = 0; c < nCells; ++c) {
    const int32_t x = k.cell[c].unionIndex;
    if (x >= 0 && x < n && u.firstCell[static_cast<size_t>(x)] < 0) u.firstCell[static_cast<size_t>(x)] = c;
  }
}

STATSREPORTCONTEXT MakeReportContext(std::vector<int32_t>& ids, std::vector<int32_t>& unions) {
  const Constants& k = core::hostConstants;
  STATSREPORTCONTEXT ctx;
  ctx.complexGeometry = k.complexGeometry != 0;
  ctx.trackPos = k.trackPos != 0;
  ctx.photonSource = k.part == kPhoton;
  ctx.weights = k.interactionForcing != 0;
  ctx.gpuBuild = gpuBuild;
  ctx.energyFactor = k.energyFactor;
  ctx.energyUnit = directives::physicsModels.energyUnit == kUnitMeV   ? "MeV"
                   : directives::physicsModels.energyUnit == kUnitKeV ? "keV"
                                                                      : "eV";
  ctx.restEnergy = k.restEn;
  const int32_t n = k.cell != nullptr ? k.nCells : 0;
  ids.resize(static_cast<size_t>(n));
  unions.resize(static_cast<size_t>(n));
  for (int32_t c = 0; c < n; ++c) {
    ids[static_cast<size_t>(c)] = k.cell[c].number;
    unions[static_cast<size_t>(c)] = k.cell[c].unionIndex;
  }
  ctx.nCells = n;
  ctx.cellId = ids.data();
  ctx.cellUnion = unions.data();
  static UNIONTABLES unionTables;  // lives with the report that reads it
  FillUnionTables(k, n, unionTables);
  if (!unionTables.firstCell.empty()) {
    ctx.unionFirstCell = unionTables.firstCell.data();
    ctx.unionId = unionTables.id.data();
  } else {
    ctx.cellUnion = nullptr;  // no union records: no cell is a later member
  }
  return ctx;
}

bool AnyTallies() {
  const TALLYTABLES& tt = GetTallyTables();
  int32_t n = tt.nPulseHeight_tot;
  for (int k = 0; k < kTallyClassCount; ++k) n += tt.nPlaneTalliesTot[k] + tt.nCellEntryTallies[k];
  return n > 0;
}

Status WriteFinalTallies() {
  const TALLYTABLES& tt = GetTallyTables();
  const RESULTTOTALS& r = run::resultTotals;
  if (r.target == nullptr) return CloseTallyFiles();
  const TALLYFILECONTEXT ctx = MakeTallyFileContext(r.target, 1);
  for (int32_t i = 0; i < tt.nPulseHeight_tot; ++i) WritePulseHeightTallies(ctx, i, false, nullptr, r.invHistories);
  for (int k = 0; k < kTallyClassCount; ++k) {
    for (int32_t i = 0; i < tt.nPlaneTalliesTot[k]; ++i) WritePlaneTallies(ctx, i, k, false, nullptr, r.invHistories);
    for (int32_t i = 0; i < tt.nCellEntryTallies[k]; ++i) {
      WriteCellEntryTallies(ctx, i, k, false, nullptr, r.invHistories);
    }
  }
  return CloseTallyFiles();
}

std::string ResultFilePath(const char* suffix) {
  std::string folder, name, extension;
  SplitPath(input::outputFileName, &folder, &name, &extension);
  return input::filesFolder + "/" + name + suffix;
}

// Closes a file written through the run; its sticky error flag covers every
// write. False after the message naming the file.
bool CloseChecked(FILE*& file, const std::string& name) {
  if (file == nullptr) return true;
  bool ok = ferror(file) == 0;
  ok = fclose(file) == 0 && ok;
  file = nullptr;
  if (!ok) printf("Error: File \"%s\" could not be written.\n", name.c_str());
  return ok;
}

Status CloseOutputAndLog() {
  const bool output = CloseChecked(input::outputFile, input::outputFileName);
  const bool log = CloseChecked(input::logFile, input::logFileName);
  return output && log ? kOk : kInputError;
}

int FillResultFolder(bool perCell, const STATSREPORTCONTEXT& report) {
  const RESULTTOTALS& r = run::resultTotals;
  const bool tracks = core::trackOptions.NTRACKS > 0;
  const bool log = input::runOptions.writeLog != 0 && FileExists(input::logFileName);
  if (!AnyTallies() && !perCell && !tracks && !log) return 0;
  MakeFolder(input::filesFolder);
  int code = CopyIntoResultFolder(input::outputFileName, input::filesFolder, "Output");
  if (log && CopyIntoResultFolder(input::logFileName, input::filesFolder, "Log") != 0) code = 1;
  if (perCell) {
    const std::string path = ResultFilePath("_cellInteractionStats.txt");
    if (WriteCellInteractionStats(path.c_str(), r.stats, r.cellStats.data(), r.invHistories, report) != 0) code = 1;
  }
  if (WriteFinalTallies() != kOk) code = 1;
  if (tracks) {
    const std::string path = ResultFilePath("_tracks.txt");
    if (WriteTracksFile(path.c_str(), core::tasks + run::firstCpuTask, core::nThreads - run::firstCpuTask,
                        core::trackOptions.NTRACKS) != 0) {
      code = 1;
    }
  }
  return code;
}

}  // namespace

void WriteCellActivity(FILE* out) {
  const Constants& k = core::hostConstants;
  const RESULTTOTALS& r = run::resultTotals;
  const bool weighted = k.interactionForcing != 0;
  const double f = k.energyFactor;
  static const int kPhotonSlots[9] = {47, 88, 132, 48, 89, 133, 152, 153, 154};
  static const int kElectronSlots[9] = {49, 90, 134, 50, 91, 135, 158, 159, 160};
  fprintf(out, "%sPhoton activity in each cell\n\n", gpuBuild ? "\n\n" : "\n\n\n");
  fprintf(out, "%5s %15s      %16s   %16s      %16s   %16s      %16s   %16s\n", " ", "Cell ID", "entry",
          "average energy ", "escape", "average energy ", "collisions", "avg. energy loss");
  int row = 0;
  for (int32_t c = 0; c < k.nCells; ++c) {
    if (!StandsForItself(c)) continue;
    WriteCellLabel(out, ++row, c);
    WriteActivityRow(out, r.cellStats[static_cast<size_t>(c)], kPhotonSlots, weighted, f);
    fprintf(out, "\n");
  }
  fprintf(out, "\n\nElectron activity in each cell\n\n");
  fprintf(out, "%5s %15s      %16s   %16s      %16s   %16s      %16s   %16s     %16s   %18s\n", " ", "Cell ID", "entry",
          "average energy ", "escape", "average energy ", "collisions", "avg. energy loss", "absorbed energy",
          "absorbed dose (Gy)");
  row = 0;
  for (int32_t c = 0; c < k.nCells; ++c) {
    if (!StandsForItself(c)) continue;
    const INTERACTIONSTATS& s = r.cellStats[static_cast<size_t>(c)];
    WriteCellLabel(out, ++row, c);
    WriteActivityRow(out, s, kElectronSlots, weighted, f);
    const double absorbed = s.slot[statslot::eAbsorbed].e;
    fprintf(out, "      %-16.9e", absorbed * f);
    // A union's row holds the sums of all its members and its whole volume.
    const double volume = CellOrUnionVolume(c);
    const double density = k.cell[c].density;
    if (volume > 0.0 && density > 0.0) {
      fprintf(out, "   %-18.9e\n", AbsorbedDose(absorbed, density, volume));
    } else {
      fprintf(out, "   %-18s\n", "       --");
    }
  }
}

Status CopyIntoResultFolder(const std::string& name, const std::string& folder, const char* kind) {
  FILE* in = fopen(name.c_str(), "rb");
  if (in == nullptr || !IsRegularStream(in)) {
    if (in != nullptr) fclose(in);
    printf("%s file \"%s\" could not be opened for reading and will not be copied to folder \"%s\"\n", kind,
           name.c_str(), folder.c_str());
    return kInputError;
  }
  // Copied block by block: the memory used stays one block, whatever the size.
  static char block[65536];
  size_t n = fread(block, 1, sizeof(block), in);
  if (n == 0) {
    fclose(in);
    return kOk;  // an empty file is not copied
  }
  std::string sourceFolder, base, extension;
  SplitPath(name, &sourceFolder, &base, &extension);
  const std::string copy = folder + "/" + base + extension;
  FILE* out = fopen(copy.c_str(), "wb");
  if (out == nullptr) {
    fclose(in);
    printf("File \"%s\" could not be opened for writing.\n", copy.c_str());
    return kInputError;
  }
  bool written = true;
  for (; n > 0 && written; n = fread(block, 1, sizeof(block), in)) written = fwrite(block, 1, n, out) == n;
  const bool read = ferror(in) == 0;
  fclose(in);
  if (fclose(out) != 0 || !written || !read) {
    remove(copy.c_str());  // no copy rather than half of one
    printf("Error: File \"%s\" could not be written.\n", copy.c_str());
    return kInputError;
  }
  return kOk;
}

Status WriteRunSummary() {
  const Constants& k = core::hostConstants;
  RESULTTOTALS& r = run::resultTotals;
  BlankProgressLine();
  WriteSummaryLine();
  WriteUnresolvedEntries();
  WriteCpuShare();
  WriteSourceExtent();
  WriteDeviceStatistics();
  bool perCell = k.outputCellInteractionStats != 0 && !r.cellStats.empty();
  if (perCell && input::outputFile != nullptr) WriteCellActivity(input::outputFile);
  if (r.nStatsObjects < 2) perCell = false;
  std::vector<int32_t> ids, unions;
  const STATSREPORTCONTEXT report = MakeReportContext(ids, unions);
  if (input::outputFile != nullptr) {
    PrintInteractionStats(input::outputFile, r.stats, perCell ? r.cellStats.data() : nullptr, r.invHistories, -1, -1,
                          true, report);
  }
  // An output file that could not be written whole ends the run here.
  if (Status s = CloseOutputAndLog()) return s;
  return FillResultFolder(perCell, report);
}
