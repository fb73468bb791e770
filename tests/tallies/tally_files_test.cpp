// Tally result files: golden files for small hand-filled tallies, the kept
// file rewritten and truncated, open failures reported once, error figures.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/results/tally_files.h"
#include "platform/paths.h"
#include "tests/support/test_paths.h"
#include "tests/tallies/tally_fixture.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing " + path + ">";
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares a written file with its golden copy; with TQ_REGENERATE_GOLDEN set
// the golden copy is rewritten instead (review it in the diff).
void ExpectGolden(const std::string& folder, const std::string& name) {
  const std::string written = ReadFile(folder + name);
  const std::string golden = std::string(TALLY_GOLDEN_FOLDER) + name;
  if (std::getenv("TQ_REGENERATE_GOLDEN") != nullptr) {
    ASSERT_TRUE(WriteTextFile(golden, written));
    return;
  }
  EXPECT_EQ(written, ReadFile(golden)) << "golden " << golden;
}

// TALLY3: a stack of 2 planes 0.5 apart with a 1-D E table (3 bins) and a 2-D
// E x MU table (3 x 2); PTALLY (no number): a 1-D X table from -1 to 1.
struct FileFixture {
  TallyFixture f;
  FileFixture() {
    const int e = f.AddRange(kQuantityE, "E1", 0.0, 3e6, 3);
    const int mu = f.AddRange(kQuantityMu, "MU", -1.0, 1.0, 2);
    const int x = f.AddRange(kQuantityX, "X", -1.0, 1.0, 4);
    PLANETALLY& t = f.AddPlane(kAllParticleTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0), 2, 0.5);
    t.number = 3;
    f.Add1D(kAllParticleTallies, t, kQuantityE, e);
    f.Add2D(kAllParticleTallies, t, kQuantityE, e, kQuantityMu, mu);
    f.Finish(kAllParticleTallies, t);
    PLANETALLY& p = f.AddPlane(kPhotonTallies, Init(0, 0, 0), Init(0, 0, 1), Init(1, 0, 0));
    p.eFlux = 0;
    f.Add1D(kPhotonTallies, p, kQuantityX, x);
    f.Finish(kPhotonTallies, p);
    f.Install();
  }
};

// Fills the counting-mode arrays by hand: positive and negative crossings.
void FillCounts(CTask& t) {
  int64_t** one = t.oneDimTallies[2];
  double** oneE = t.oneDimTallies_E[2];
  // plane 1, E table: bin 0 three up, one down; bin 2 one up and one down (net 0).
  one[0][0] = 3; one[0][3 + 0] = -1; oneE[0][0] = 3 * 5e5; oneE[0][3] = -5e5;
  one[0][2] = 1; one[0][3 + 2] = -1; oneE[0][2] = 2.5e6; oneE[0][5] = -2.5e6;
  // plane 2, E table: bin 1 two up.
  one[1][1] = 2; oneE[1][1] = 3e6;
  // 2-D E x MU, plane 1: (E bin 1, MU bin 1) four crossings.
  t.twoDimTallies[2][0][1 + 3 * 1] = 4;
  t.twoDimTallies_E[2][0][1 + 3 * 1] = 6e6;
  // PTALLY X: bin 1 and 2 one each.
  t.oneDimTallies[1][0][1] = 1;
  t.oneDimTallies[1][0][2] = 1;
}

TALLYFILECONTEXT Context(const std::string& folder, const CTask& records, bool perSource) {
  TALLYFILECONTEXT ctx;
  ctx.folder = folder.c_str();
  ctx.displayFactor[kQuantityE] = 1e-6;  // MeV
  ctx.energyFactor = 1e-6;
  ctx.perSource = perSource ? 1 : 0;
  ctx.records = &records;
  ctx.nRecords = 1;
  return ctx;
}

TEST(TallyFiles, PlaneTallyGoldenFiles) {
  FileFixture fx;
  TallyTask w;
  FillCounts(w.task);
  const std::string folder = MakeScratchFolder("plane_golden") + "Files_run";
  TALLYFILECONTEXT ctx = Context(folder, w.task, false);
  WritePlaneTallies(ctx, 0, kAllParticleTallies, false, nullptr, 0.1);
  WritePlaneTallies(ctx, 0, kPhotonTallies, false, nullptr, 0.1);
  CloseTallyFiles();
  for (const char* name : {"TALLY3_1(0)_E1.txt", "TALLY3_2(0.5)_E1.txt", "TALLY3_1(0)_E1_MU.txt", "TALLY3_2(0.5)_E1_MU.txt",
                           "PTALLY_X.txt"}) {
    ExpectGolden(folder + "/", name);
  }
  // The net-zero bin prints N = 0 and RelSDev 0; X = 0 is printed as exactly 0.
  EXPECT_NE(ReadFile(folder + "/TALLY3_1(0)_E1.txt").find("3\t0\t0.00000000000000e+00\t0\n"), std::string::npos);
  EXPECT_NE(ReadFile(folder + "/PTALLY_X.txt").find("\n0\t1\t1\n"), std::string::npos);
}

TEST(TallyFiles, PerSourceAndWeightedLines) {
  FileFixture fx;
  TallyTask w(true);
  w.task.oneDimTallies_wt[1][0][1] = 0.5;
  w.task.oneDimTallies_wt[1][0][4 + 1] = 0.25;
  const std::string folder = MakeScratchFolder("plane_weighted");
  TALLYFILECONTEXT ctx = Context(folder, w.task, true);
  ctx.weighted = true;
  WritePlaneTallies(ctx, 0, kPhotonTallies, false, nullptr, 0.5);
  CloseTallyFiles();
  EXPECT_EQ(ReadFile(folder + "PTALLY_X.txt"),
            "X\tN\tRelSDev\n-0.5\t0.00000000000000e+00\t0\n0\t2.50000000000000e-01\t1\n"
            "0.5\t0.00000000000000e+00\t0\n1\t0.00000000000000e+00\t0\n");
}

// A file rewritten during the run keeps only its new content, and the error
// figure follows its mode.
TEST(TallyFiles, KeptFileIsTruncatedOnRewriteAndErrorFigures) {
  FileFixture fx;
  TallyTask w;
  FillCounts(w.task);
  const std::string folder = MakeScratchFolder("kept_file");
  TALLYFILECONTEXT ctx = Context(folder, w.task, false);
  TALLYERRORFIGURE err;
  err.mode = kErrorMaximum;
  WritePlaneTallies(ctx, 0, kPhotonTallies, true, &err, 1.0);
  const std::string first = ReadFile(folder + "PTALLY_X.txt");
  EXPECT_DOUBLE_EQ(err.value, 1.0);
  // Fewer digits now: the file must not keep the tail of the longer text.
  w.task.oneDimTallies[1][0][1] = 0;
  w.task.oneDimTallies[1][0][2] = 0;
  err.mode = kErrorAverage;
  WritePlaneTallies(ctx, 0, kPhotonTallies, true, &err, 1.0);
  EXPECT_EQ(ReadFile(folder + "PTALLY_X.txt"), "X\tN\tRelSDev\n-0.5\t0\t0\n0\t0\t0\n0.5\t0\t0\n1\t0\t0\n");
  EXPECT_EQ(err.value, 0.0);
  EXPECT_NE(first.size(), 0u);
  // Error figures over the TALLY3 bins with crossings: sqrt(4)/2 (three up,
  // one down), sqrt(2)/2, and 0.5 (four up); the net-zero bin is left out.
  err.mode = kErrorMinimum;
  WritePlaneTallies(ctx, 0, kAllParticleTallies, false, &err, 1.0);
  EXPECT_DOUBLE_EQ(err.value, 0.5);
  err.mode = kErrorAverage;
  WritePlaneTallies(ctx, 0, kAllParticleTallies, false, &err, 1.0);
  const double bin0 = std::sqrt(4.0) / 2.0;  // three up, one down
  const double avg = (bin0 + 1.0 / std::sqrt(2.0) + 0.5) / 3.0;
  EXPECT_NEAR(err.value, avg, 1e-15);
  EXPECT_FALSE(FileExists(folder + "TALLY3_1(0)_E1.txt")) << "an evaluation writes no file";
  CloseTallyFiles();
}

TEST(TallyFiles, OpenFailureIsReportedOncePerTally) {
  FileFixture fx;
  TallyTask w;
  const std::string blocker = MakeScratchFolder("open_failure") + "not_a_folder";
  ASSERT_TRUE(WriteTextFile(blocker, "x"));
  const std::string folder = blocker + "/Files";
  TALLYFILECONTEXT ctx = Context(folder, w.task, false);
  TALLYERRORFIGURE err;
  testing::internal::CaptureStdout();
  WritePlaneTallies(ctx, 0, kPhotonTallies, true, &err, 1.0);
  WritePlaneTallies(ctx, 0, kPhotonTallies, true, &err, 1.0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "Tally file " + blocker + "/Files/PTALLY_X.txt could not be opened for writing.\n");
  CloseTallyFiles();
}

// Cell-entry files (net flow and entries only) and pulse-height files with
// and without a dose column.
TEST(TallyFiles, CellEntryAndPulseHeightGoldenFiles) {
  TallyFixture f;
  const int e = f.AddRange(kQuantityE, "E2", -1.0, 1.0, 2);
  for (int8_t type : {kNetFlow, kCountEntries}) {
    CELLENTRYTALLY t{};
    t.number = type == kNetFlow ? 7 : 8;
    t.entryType = type;
    t.nEnergyRanges = 1;
    t.energyRange[0] = e;
    t.eFlux = type == kNetFlow ? 1 : 0;
    f.cellEntry[kElectronTallies].push_back(t);
  }
  for (int cell : {-1, 4, 4}) {
    PULSEHEIGHTTALLY ph{};
    ph.cell = cell;
    ph.ordinal = cell < 0 ? 1 : static_cast<int32_t>(f.pulseHeight.size());
    ph.bins = 3;
    ph.lower = 0.0;
    ph.upper = 3e6;
    ph.invWidth = 1e-6;
    ph.eDeposition = 1;
    f.pulseHeight.push_back(ph);
  }
  f.Install();
  TallyTask w;
  int64_t* net = w.task.cellEntryHist[0][0][0];
  net[0] = 5; net[2 + 0] = -2; net[1] = 1; net[2 + 1] = -1;
  w.task.cellEntryHist_E[0][0][0][0] = 4.0;
  w.task.cellEntryHist_E[0][0][0][2] = -1.0;
  w.task.cellEntryHist[0][1][0][1] = 4;
  for (int t = 0; t < 3; ++t) {
    w.task.pulseHeightHist[t][0] = 10;
    w.task.pulseHeightHist[t][2] = 1;
    w.task.pulseHeightEnergy[t][0] = 5e6;
    w.task.pulseHeightEnergy[t][2] = 2.5e6;
  }
  const int32_t cellId[5] = {1, 2, 3, 4, 5};
  const double density[5] = {1, 1, 1, 1, 2.0};
  const double volume[5] = {-1, -1, -1, -1, -1};
  const int32_t phCount[5] = {0, 0, 0, 0, 2};
  const std::string folder = MakeScratchFolder("cell_ph_golden");
  TALLYFILECONTEXT ctx = Context(folder, w.task, false);
  ctx.cellId = cellId;
  ctx.cellDensity = density;
  ctx.cellVolume = volume;
  ctx.pulseHeightCountOfCell = phCount;
  ctx.nWholeGeometryPulseHeight = 1;
  ctx.totalMass = 2.0;
  WriteCellEntryTallies(ctx, 0, 0, false, nullptr, 0.05);
  WriteCellEntryTallies(ctx, 1, 0, false, nullptr, 0.05);
  for (int t = 0; t < 3; ++t) WritePulseHeightTallies(ctx, t, false, nullptr, 0.05);
  CloseTallyFiles();
  for (const char* name : {"ECELL_ENTRY7_E2.txt", "ECELL_ENTRY8_E2.txt", "PulseHeight.txt", "PulseHeight_C5_1.txt",
                           "PulseHeight_C5_2.txt"}) {
    ExpectGolden(folder, name);
  }
  // RelSDev = sqrt(1/n - 1/N): 10 of 20 histories give sqrt(0.05).
  EXPECT_NE(ReadFile(folder + "PulseHeight.txt").find("\t0.2236\n"), std::string::npos);
}

}  // namespace
