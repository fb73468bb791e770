// Pulse-height tallies: ranges, options, the control list and the refusals.
#include <gtest/gtest.h>

#include "driver/directives/pulse_height_directives.h"
#include "driver/directives/tally_directives.h"
#include "tests/directives/directive_test_support.h"

TEST(PulseHeightDirectives, WholeGeometryTallies) {
  INPUTRUN run = RunLines({"E5 0 2e6 200", "PULSE_HEIGHT 0 1e6 100", "PULSE_HEIGHT e5 E_DEPOSITION 0 INTERVAL 1 OUTPUT 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  ASSERT_EQ(directives::nPulseHeight_tot, 2);
  const PULSEHEIGHTTALLY& a = directives::pulseHeightTally[0];
  EXPECT_EQ(a.cell, -1);
  EXPECT_EQ(a.ordinal, 1);
  EXPECT_EQ(a.bins, 100);
  EXPECT_DOUBLE_EQ(a.invWidth, 1e-4);
  EXPECT_EQ(a.eDeposition, 1);
  EXPECT_EQ(a.writeDuringRun, 1);   // tally-output mode 2 by default
  EXPECT_EQ(a.interval, 60.0);
  const PULSEHEIGHTTALLY& b = directives::pulseHeightTally[1];
  EXPECT_EQ(b.ordinal, 2);
  EXPECT_EQ(b.upper, 2e6);
  EXPECT_EQ(b.bins, 200);
  EXPECT_EQ(b.eDeposition, 0);
  EXPECT_EQ(b.interval, 1.0);
  EXPECT_TRUE(directives::pulseHeightTalliesPresent);
}

TEST(PulseHeightDirectives, TargetErrorWritesDuringTheRunOnlyInControlMode) {
  INPUTRUN run = RunLines({"TALLIES_OUTPUT 1", "PULSE_HEIGHT 0 1 10 AVGERR 0.01", "PULSE_HEIGHT 0 1 10"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::pulseHeightTally[0].writeDuringRun, 1);
  EXPECT_EQ(directives::pulseHeightTally[1].writeDuringRun, 0);
  ASSERT_EQ(directives::pulseHeightControlTallies.size(), 1u);
  EXPECT_EQ(directives::pulseHeightControlTallies[0].targetKind, kAvgErr);
  EXPECT_EQ(directives::pulseHeightControlTallies[0].target, 0.01);
  EXPECT_EQ(directives::nControlTallies, 1);
  EXPECT_TRUE(directives::targetErrorGiven);
}

TEST(PulseHeightDirectives, Refusals) {
  struct CASE {
    std::string line;
    const char* message;
  };
  const CASE cases[] = {
      {"PULSE_HEIGHT", "Error: Definition of a pulse-height tally energy range is missing.\n"},
      {"PULSE_HEIGHT 1e6 0 100", "Error in values of energy limits of the pulse-height tally (the first limit must be less than the second one, and the second limit must be positive).\n"},
      {"PULSE_HEIGHT -2 -1 10", "Error in values of energy limits of the pulse-height tally (the first limit must be less than the second one, and the second limit must be positive).\n"},
      {"PULSE_HEIGHT 0 1 10001", "Error: Invalid number of the pulse-height tally bins (that number must be greater than 0 and less than 10001).\n"},
      {"PULSE_HEIGHT 0 1", "Error: Number of entries in specification of the pulse-height tally energy range is too small.\n"},
      {"PULSE_HEIGHT 0 1x 10", "Error: Invalid number \"1x\" in specification of the pulse-height tally energy range.\n"},
      {"PULSE_HEIGHT E7", "Error: \"E7\" is not a valid specification of an energyy value or an energy range in the definition of a pulse-height tally.\n"},
      {"PULSE_HEIGHT 0 1 10 AVGERR 0.05 MAXERR 0.1", "Error: Duplicate specification of the relative standard deviation in specification of a pulse-height tally.\n"},
      {"PULSE_HEIGHT 0 1 10 AVGERR 1", "Error: Illegal value of the relative standard deviation \"1\" in specification of a pulse-height tally (it must be greater than 0 and less than 1).\n"},
      {"PULSE_HEIGHT 0 1 10 INTERVAL 0.5", "Error: Illegal value \"0.5\" of the time interval of writing the pulse-height tally data to a file during the simulation (it cannot be less than 1 s).\n"},
      {"PULSE_HEIGHT 0 1 10 AVGERR", "Error: Value of the relative standard deviation is missing in specification of a pulse-height tally.\n"},
      {"PULSE_HEIGHT 0 1 10 OUTPUT 2", "Error: Illegal value \"2\" of the option to write the pulse-height tally data to a file during the simulation (it must be 0 or 1).\n"},
      {"PULSE_HEIGHT 0 1 10 E_DEPOSITION", "Error: Value of the option to calculate the energy-deposition tally is missing in specification of a pulse-height tally.\n"},
      {"PULSE_HEIGHT 0 1 10 BINS 5", "Error: Invalid entry No. 4 (\"BINS\") in specification of a pulse-height tally.\n"},
      {"PULSE_HEIGHT Cx 0 1 10", "Error: Invalid specification of a cell \"Cx\" in the definition of a pulse-height tally.\n"},
      {"PULSE_HEIGHT C5 0 1 10", "Error: Undefined cell identifier \"5\" in the definition of a pulse-height tally.\n"},
  };
  for (const CASE& c : cases) {
    INPUTRUN run = RunLines({c.line});
    EXPECT_TRUE(FailsWith(run, c.message)) << c.line << "\n" << run.console;
  }
  EXPECT_EQ(RunLines({"PULSE_HEIGHT 0 1 10 INTERVAL 1"}).code, 0);
}
