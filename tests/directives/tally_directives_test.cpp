// Binning ranges, plane tallies and their class layout, the tally switches,
// CheckTallyLimits and the two bin rules.
#include <gtest/gtest.h>

#include "core/tally.h"
#include "driver/directives/tally_directives.h"
#include "driver/results/tally_limits.h"
#include "tests/directives/directive_test_support.h"

TEST(TallyDirectives, RangesAndOneDimTable) {
  INPUTRUN run = RunLines({"E 0 1e6 100", "theta15 0 90 9", "ETALLY 0 0 0 0 0 2 E THETA15"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_STREQ(directives::rangeData[kQuantityTheta][0].name, "THETA15");
  EXPECT_DOUBLE_EQ(directives::rangeData[kQuantityE][0].invWidth, 1e-4);
  ASSERT_EQ(directives::nPlaneTalliesTot[kElectronTallies], 1);
  const PLANETALLY& t = directives::tallyData[kElectronTallies][0];
  EXPECT_EQ(t.normal.z, 1.0);
  EXPECT_EQ(t.axisX.x, 1.0);
  EXPECT_EQ(t.n1D, 2);
  EXPECT_EQ(t.nQuantities, 2);
  EXPECT_EQ(t.nDirQuantities, 2);   // no position quantity
  EXPECT_EQ(directives::tallyLayout[kElectronTallies].oneDimHalf, (std::vector<int32_t>{100, 9}));
  EXPECT_EQ(t.eFlux, 1);
  EXPECT_EQ(t.writeDuringRun, 1);
}

TEST(TallyDirectives, NegativeNormalAlongXAndStackedPlanes) {
  INPUTRUN run = RunLines({"E 0 1e6 100", "R 0 1 10", "TALLY5 0 0 0 -3 0 0 10 0.5 E (R E) ORG -0 E_FLUX 0 LIM MU 0 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  const PLANETALLY& t = directives::tallyData[kAllParticleTallies][0];
  EXPECT_EQ(t.number, 5);
  EXPECT_EQ(t.normal.x, -1.0);
  EXPECT_EQ(t.axisX.y, -1.0);
  EXPECT_EQ(t.nParallel, 10);
  EXPECT_DOUBLE_EQ(t.extent, 4.5);
  EXPECT_EQ(t.orgEnabled[0], 0);
  EXPECT_EQ(t.orgEnabled[1], 1);
  EXPECT_EQ(t.eFlux, 0);
  EXPECT_EQ(t.limOn[kQuantityMu], 1);
  EXPECT_EQ(t.nQuantities, 3);      // E, MU, R
  EXPECT_EQ(t.nDirQuantities, 2);
  EXPECT_EQ(t.quantity[2], kQuantityR);
  const TALLYLAYOUT& layout = directives::tallyLayout[kAllParticleTallies];
  EXPECT_EQ(layout.oneDimHalf.size(), 10u);
  EXPECT_EQ(layout.twoDimHalf.size(), 10u);
  EXPECT_EQ(layout.twoDimHalf[9], 1000);
  EXPECT_EQ(layout.binTotal, 10 * (100 + 1000));
  EXPECT_EQ(t.twoDimDef[0].quantity1, kQuantityR);
}

TEST(TallyDirectives, TwoDimTablesAndParentheses) {
  EXPECT_EQ(RunLines({"E 0 1 10", "THETA 0 90 9", "MU 0 1 10", "PTALLY 0 0 0 0 0 1 (E THETA) ( E MU ) (THETA E )"}).code, 0);
  EXPECT_EQ(directives::tallyData[kPhotonTallies][0].n2D, 3);
  EXPECT_EQ(RunLines({"E 0 1 10", "PTALLY 0 0 0 0 0 1 ORG 1,2 E"}).code, 0);
  EXPECT_EQ(directives::tallyData[kPhotonTallies][0].orgEnabled[0], 0);
  EXPECT_EQ(directives::tallyData[kPhotonTallies][0].orgEnabled[2], 1);
}

TEST(TallyDirectives, TheBinBudgetOfAClass) {
  // 1000 stacked planes of a 10000-bin table is exactly 10^7 bins; one more bin is over.
  EXPECT_EQ(RunLines({"E 0 1 10000", "ETALLY 0 0 0 0 0 1 1000 1 E"}).code, 0);
  EXPECT_TRUE(FailsWith(RunLines({"E 0 1 10000", "E2 0 1 1", "ETALLY 0 0 0 0 0 1 1000 1 E", "ETALLY2 0 0 0 0 0 1 E2"}),
                        "Error: The number of bins summed over all electron tallies is greater than 10000000.\n"));
}

TEST(TallyDirectives, Refusals) {
  struct CASE {
    std::vector<std::string> lines;
    const char* message;
  };
  const CASE cases[] = {
      {{"E01 0 1 10"}, "Error in specification of the energy range \"E01\" (the first keyword format must be either \"E\" or \"E<n>\", where \"<n>\" is a positive integer number less than 2^31 = 2147483648.\n"},
      {{"E2 0 1e6 100", "e2 0 2e6 10"}, "Error: Duplicate specification of the energy range \"E2\".\n"},
      {{"E 1 1 10"}, "Error in values of limits of the energy range \"E\" (the first limit must be less than the second one, and the second limit must be positive).\n"},
      {{"E 0 1"}, "Error: Number of entries in specification of the energy range \"E\" is less than 3.\n"},
      {{"R 0 1 1.5"}, "Error: Invalid number \"1.5\" in specification of the radial range \"R\".\n"},
      {{"X 0 1 10001"}, "Error: Invalid number of the X range \"X\" bins (that number must be greater than 0 and less than 10001).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E5"}, "Error: Unknown range name \"E5\" in specification of tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 1001 1 E"}, "Error: Illegal value 1001 of the number of stacked planes in specification of tallies \"TALLY\" (it must be from 1 to 1000).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 2 E"}, "Error: Invalid number \"E\" in specification of the interplane distance used for tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 2 -1 E"}, "Error: Illegal value -1 of the distance between stacked planes in specification of tallies \"TALLY\" (it must be positive).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 0 E"}, "Error in values of components of the normal vector of the plane used for tallies \"TALLY\" (at least one of them must be non-zero).\n"},
      {{"TALLY 0 0 0 0 0 1"}, "Error: Number of entries in specification of tallies \"TALLY\" is too small.\n"},
      {{"TALLY 0 0 0 0 0 1 LIM E 0 1"}, "Error: There are no tallies specified in \"TALLY\".\n"},
      {{"E 0 1 10", "THETA 0 90 9", "MU 0 1 10", "TALLY 0 0 0 0 0 1 (THETA MU)"}, "Error in specification of a 2D tally in \"TALLY\": both variables are of the same type.\n"},
      {{"E 0 1 10", "E2 0 1 10", "TALLY 0 0 0 0 0 1 (E E2)"}, "Error in specification of a 2D tally in \"TALLY\": both variables are of the same type.\n"},
      {{"E 0 1 10", "R 0 1 10", "TALLY 0 0 0 0 0 1 (E R E"}, "Error: Incorrect usage of parentheses in specification of a two-dimensional tally in \"TALLY\".\n"},
      {{"E 0 1 10", "R 0 1 10", "TALLY 0 0 0 0 0 1 (E R"}, "Error: Number of entries in specification of tallies \"TALLY\" is too small.\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E ORG 1,,2"}, "Error: Illegal definition of the set of particle origin types \"1,,2\" in specification of tallies \"TALLY\" (the values of origin types must be comma-delimited integer numbers from 0 to 11, optionally with the minus sign before the first number).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E ORG 12"}, "Error: Illegal definition of the set of particle origin types \"12\" in specification of tallies \"TALLY\" (the values of origin types must be comma-delimited integer numbers from 0 to 11, optionally with the minus sign before the first number).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E LIM THETA 0 90 LIM MU 0 1"}, "Error: Duplicate bounds of MU in specification of tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E LIM PHI -200 100"}, "Error in values of limits of PHI.\n[The first limit must be less than the second one"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E LIM Q 0 1"}, "Error: Incorrect symbol of the limited quantity \"Q\" in specification of tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E LIM E 0"}, "Error: Specification of the limits in \"TALLY\" is incomplete.\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E AVGERR 0.1 MINERR 0.1"}, "Error: Duplicate specification of the relative standard deviation in \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E INTERVAL 0.5"}, "Error: Illegal value \"0.5\" of the time interval of writing the tally data to a file during the simulation in specification of tallies \"TALLY\" (it cannot be less than 1 s).\n"},
      {{"E 0 1 10", "TALLY 0 0 0 0 0 1 E", "TALLY 1 1 1 0 0 1 E"}, "Error: duplicate specification of the tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY0 0 0 0 0 0 1 E"}, "Error: Invalid number or input directive \"TALLY0\".\n"},
      {{"E 0 1 10", "TALLY3x 0 0 0 0 0 1 E"}, "Error in specification of the tallies \"TALLY3x\" (the first keyword format must be one of the following:"},
      {{"E 0 1 10", "TALLY S 0"}, "Error: A plane identifier is not appended to 'S' in specification of the tallies \"TALLY\".\n"},
      {{"E 0 1 10", "TALLY -s2x E"}, "Error: Invalid surface identifier \"2x\" appended to 's' in specification of the tallies \"TALLY\".\n"},
      {{"TALLIES_PER_SOURCE"}, "Error: Value of the switch specifying whether tallies should be per source particle is missing.\n"},
      {{"TALLIES_E_FLUX"}, "Error: Value of the switch specifying whether the files with the surface-crossing tally data should include the energy flux tally data is missing.\n"},
  };
  for (const CASE& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_TRUE(FailsWith(run, c.message)) << c.lines.back() << "\n" << run.console;
  }
}

TEST(TallyDirectives, TheHundredAndFirstRangeOfAQuantityFails) {
  std::vector<std::string> lines;
  for (int n = 1; n <= 101; ++n) lines.push_back("X" + std::to_string(n) + " 0 1 1");
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of X ranges is greater than 100.\n"));
  EXPECT_EQ(directives::nRanges[kQuantityX], 100);
}

TEST(TallyDirectives, EnergyFluxSwitchHoldsForTalliesAboveIt) {
  ASSERT_EQ(RunLines({"E 0 1 10", "TALLY 0 0 0 0 0 1 E", "TALLIES_E_FLUX 0"}).code, 0);
  EXPECT_EQ(directives::tallyData[kAllParticleTallies][0].eFlux, 0);
}

TEST(TallyLimits, AcceptedAndRefusedLimits) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(CheckTallyLimits(kQuantityTheta, 10, 190, "t"), 1);
  EXPECT_EQ(CheckTallyLimits(kQuantityMu, -0.5, 1.5, "m"), 1);
  EXPECT_EQ(CheckTallyLimits(kQuantityPhi, -200, 100, "p"), 1);
  EXPECT_EQ(CheckTallyLimits(kQuantityPhi, 90, 360, "p"), 0);
  EXPECT_EQ(CheckTallyLimits(kQuantityPhi, -180, 180, "p"), 0);
  EXPECT_EQ(CheckTallyLimits(kQuantityX, -5, -4, "x"), 0);
  EXPECT_EQ(CheckTallyLimits(kQuantityE, 0, 0, "e"), 1);
  EXPECT_EQ(CheckTallyLimits(kQuantityE, std::nan(""), 1, "e"), 1);
  testing::internal::GetCapturedStdout();
}

TEST(TallyBins, PlaneTalliesCountTheLowerLimitInTheFirstBin) {
  // Range 0..10 in 10 bins: bins are (k, k+1].
  const struct {
    double value;
    int topClosed;
    int plane;
  } cases[] = {{0.0, -1, 0}, {0.5, 0, 0}, {1.0, 0, 0}, {1.5, 1, 1}, {10.0, 9, 9}, {10.5, -1, -1}, {-0.1, -1, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(TopClosedBin(c.value, 0.0, 1.0, 10), c.topClosed) << c.value;
    EXPECT_EQ(PlaneTallyBin(c.value, 0.0, 1.0, 10), c.plane) << c.value;
  }
}
