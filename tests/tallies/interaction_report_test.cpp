// Interaction-statistics report: the total slots, the golden overall and
// per-cell blocks, and the failure of the per-cell file.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "driver/results/interaction_report.h"
#include "tests/support/test_paths.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void ExpectGolden(const std::string& text, const std::string& name) {
  const std::string golden = std::string(TALLY_GOLDEN_FOLDER) + name;
  if (std::getenv("TQ_REGENERATE_GOLDEN") != nullptr) {
    ASSERT_TRUE(WriteTextFile(golden, text));
    return;
  }
  EXPECT_EQ(text, ReadFile(golden)) << "golden " << golden;
}

// A photon run: 10 source photons of 1 MeV, 2 Compton scatterings, 1 pair
// production, 1 annihilation, 3 escapes.
INTERACTIONSTATS PhotonRun() {
  INTERACTIONSTATS r{};
  STATSLOT* s = r.slot;
  s[4].n = 10; s[1].e = 1e7; s[2].e = 4e6; s[5].n = 3;
  s[15].n = 2; s[24].n = 2; s[97].e = 6e5; s[104].e = 6e5; s[123].e = 6e5;
  s[16].n = 2; s[25].n = 2; s[98].e = 9.78e5; s[105].e = 9.78e5; s[125].e = 1e6;
  s[18].n = 1; s[41].n = 2; s[120].e = 1.022e6;
  s[48].n = 3; s[133].e = 2.5e6;
  s[17].n = 3; s[127].e = 1e5;
  return r;
}

TEST(InteractionReport, TotalSlots) {
  STATSREPORTCONTEXT ctx;
  ctx.restEnergy = 511000.0;
  INTERACTIONSTATS r = PhotonRun();
  CompleteInteractionTotals(r, false, ctx);
  const STATSLOT* s = r.slot;
  EXPECT_EQ(s[137].n, 4u);                   // 2 recoil + 2 pair particles
  EXPECT_EQ(s[139].n, 10u + 2u);              // source + two annihilation photons
  EXPECT_DOUBLE_EQ(s[147].e, 1e7 + 2 * 511000.0);
  EXPECT_EQ(s[140].n, 10u + 2u);
  EXPECT_EQ(s[149].n, 3u + 1u);               // escapes + one pair event
  EXPECT_DOUBLE_EQ(s[151].e, 2.5e6 + 6e5 + 1e6);
  EXPECT_EQ(s[152].n, 1u + 2u);
  EXPECT_EQ(s[155].n, 3u + 1u);
}

TEST(InteractionReport, SimpleGeometryPhotonBlockGolden) {
  STATSREPORTCONTEXT ctx;
  ctx.photonSource = true;
  ctx.energyFactor = 1e-3;
  ctx.energyUnit = "keV";
  ctx.restEnergy = 511000.0;
  INTERACTIONSTATS r = PhotonRun();
  CompleteInteractionTotals(r, false, ctx);
  const std::string path = MakeScratchFolder("report") + "out.txt";
  FILE* f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  testing::internal::CaptureStdout();
  PrintInteractionStats(f, r, nullptr, 0.1, -1, -1, true, ctx);
  const std::string console = testing::internal::GetCapturedStdout();
  fclose(f);
  const std::string file = ReadFile(path);
  EXPECT_EQ(file, "\n" + console) << "the file copy starts with a line break";
  EXPECT_EQ(console.rfind("Number of source particles absorbed or scattered = 3 (30 %)\nAbsorbed energy = 4000 keV (40 %)\n", 0),
            0u);
  ExpectGolden(file, "report_simple_photon.txt");
}

// Per-cell blocks: a union's later member gets no block; the per-cell file
// holds cell 1, the union and cell 4 in order.
TEST(InteractionReport, PerCellFileGoldenAndFailure) {
  STATSREPORTCONTEXT ctx;
  ctx.complexGeometry = true;
  ctx.nCells = 4;
  const int32_t ids[4] = {1, 2, 3, 4};
  const int32_t unionOf[4] = {-1, 0, 0, -1};
  const int32_t first[1] = {1};
  const int32_t unionIds[1] = {9};
  ctx.cellId = ids;
  ctx.cellUnion = unionOf;
  ctx.unionFirstCell = first;
  ctx.unionId = unionIds;
  INTERACTIONSTATS overall = PhotonRun();
  INTERACTIONSTATS cells[4] = {};
  cells[0].slot[47].n = 5; cells[0].slot[132].e = 5e6; cells[0].slot[48].n = 5; cells[0].slot[133].e = 5e6;
  cells[1].slot[49].n = 2; cells[1].slot[134].e = 1e5; cells[1].slot[2].e = 1e5; cells[1].slot[10].n = 1;
  for (INTERACTIONSTATS& c : cells) CompleteInteractionTotals(c, true, ctx);
  const std::string folder = MakeScratchFolder("cell_stats");
  ASSERT_EQ(WriteCellInteractionStats((folder + "run_cellInteractionStats.txt").c_str(), overall, cells, 0.1, ctx), 0);
  const std::string text = ReadFile(folder + "run_cellInteractionStats.txt");
  EXPECT_NE(text.find("(1) Interaction statistics for cell No. 1\n"), std::string::npos);
  EXPECT_NE(text.find("(2) Interaction statistics for union of cells No. 9\n"), std::string::npos);
  EXPECT_NE(text.find("(3) Interaction statistics for cell No. 4\n"), std::string::npos);
  EXPECT_EQ(text.find("cell No. 3"), std::string::npos);
  ExpectGolden(text, "report_cells.txt");

  const std::string bad = folder + "missing/x.txt";
  testing::internal::CaptureStdout();
  EXPECT_EQ(WriteCellInteractionStats(bad.c_str(), overall, cells, 0.1, ctx), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "File \"" + bad + "\" could not be opened for writing.\n");
}

}  // namespace
