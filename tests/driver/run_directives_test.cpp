#include "driver/directives/run_directives.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/input/options.h"
#include "tests/driver/input_test_support.h"

namespace {

struct FINISHED {
  int code;
  std::string console;
};

// Reads the input, then finishes its spectrum.
FINISHED Finish(const std::string& input, int eContiguous = 1, const std::vector<std::string>& args = {}) {
  INPUTRUN run = RunInput(input, args);
  EXPECT_EQ(run.code, 0) << run.console;
  testing::internal::CaptureStdout();
  int code = FinishSpectrum(eContiguous);
  return {code, run.console + testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST(Spectrum, TwoEnergiesOverTwoLines) {
  FINISHED done = Finish("1e5 2e5\n0 1\n");
  ASSERT_EQ(done.code, 0) << done.console;
  const SPECTRUM& s = directives::sourceSpectrum;
  ASSERT_EQ(s.nEnerg, 2);
  EXPECT_EQ(s.energy[0], 1e5);
  EXPECT_EQ(s.energy[1], 2e5);
  EXPECT_EQ(s.weight[0], 0.0);
  EXPECT_EQ(s.weight[1], 1.0);
  EXPECT_EQ(s.cumulativeWeight[0], 0.0);
  EXPECT_EQ(s.cumulativeWeight[1], 1.0);
  EXPECT_EQ(s.lowestSourceEnergy, 1e5);
  EXPECT_EQ(s.highestSourceEnergy, 2e5);
}

TEST(Spectrum, NormalisedCumulativeWeights) {
  FINISHED done = Finish("0 1 2 3 4\n0 0 1 3 0\n");
  ASSERT_EQ(done.code, 0) << done.console;
  const SPECTRUM& s = directives::sourceSpectrum;
  const double cumulative[] = {0, 0, 0.25, 1, 1};
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(s.cumulativeWeight[i], cumulative[i]) << i;
  EXPECT_EQ(s.cumulativeWeight[4], 1.0);
  EXPECT_EQ(s.lowestSourceEnergy, 1.0);   // lower edge of the first bin with weight
  EXPECT_EQ(s.highestSourceEnergy, 3.0);  // upper edge of the last bin with weight
}

TEST(Spectrum, MonoenergeticAndPairs) {
  FINISHED mono = Finish("1e6\n");
  ASSERT_EQ(mono.code, 0);
  EXPECT_EQ(directives::sourceSpectrum.nEnerg, 1);
  EXPECT_EQ(directives::sourceSpectrum.cumulativeWeight[0], 1.0);
  EXPECT_EQ(directives::sourceSpectrum.highestSourceEnergy, 1e6);

  FINISHED pairs = Finish("1e5 0 2e5 1\n3e5 3\n", 0);
  ASSERT_EQ(pairs.code, 0) << pairs.console;
  EXPECT_EQ(directives::sourceSpectrum.nEnerg, 3);
  EXPECT_EQ(directives::sourceSpectrum.energy[2], 3e5);
  EXPECT_DOUBLE_EQ(directives::sourceSpectrum.weight[2], 0.75);
}

TEST(Spectrum, Errors) {
  struct Case {
    std::string input;
    int eContiguous;
    std::string message;
  } cases[] = {
      {"N 1\n", 1, "Error: The source energy spectrum is not defined.\n"},
      {"1e5 2e5 0\n", 1, "Error: Energy spectrum weight value corresponding to the last energy bin is missing.\n"},
      {"1e5 2e5 1.5e5 0 1 1\n", 1, "Error: Energy values are not strictly increasing (150000 <= 200000).\n"},
      {"1e5 0 2e5 1 1.5e5 1\n", 0, "Error: Energy values are not strictly increasing (150000 <= 200000).\n"},
      {"1e5 2e5 0 0\n", 1, "Error: Energy spectrum is zero.\n"},
      {"1e5 2e5 1 1\n", 1, "Error: The weight value corresponding to the first energy value is non-zero.\n"},
  };
  for (const Case& c : cases) {
    FINISHED done = Finish(c.input, c.eContiguous);
    EXPECT_EQ(done.code, 1) << c.input;
    EXPECT_EQ(done.console, c.message) << c.input;
  }
}

TEST(Spectrum, BadNumbersAndCapacity) {
  INPUTRUN negative = RunInput("1e5 -2\n");
  EXPECT_EQ(negative.code, 1);
  EXPECT_EQ(negative.console, "Error: Invalid number or input directive \"-2\".\n");
  INPUTRUN continued = RunInput("1e5 2x&\n");
  EXPECT_EQ(continued.console, "Error: Invalid number or input directive \"2x\".\n");
  INPUTRUN hexadecimal = RunInput("1e5 0x1p17\n");
  EXPECT_EQ(hexadecimal.console, "Error: Invalid number or input directive \"0x1p17\".\n");

  std::string full;
  for (int i = 0; i < 20000; ++i) full += (i % 10 == 9) ? "1\n" : "1 ";
  EXPECT_EQ(RunInput(full).code, 0);
  INPUTRUN over = RunInput(full + "1\n");
  EXPECT_EQ(over.code, 1);
  EXPECT_EQ(over.console, "Error: Number of energy values exceeds 10000.\n");
}

TEST(Spectrum, CommandLineEnergyOverridesTheInput) {
  FINISHED done = Finish("1e5 2e5\n0 1\n", 1, {"E", "662000"});
  ASSERT_EQ(done.code, 0);
  EXPECT_EQ(done.console,
            "Definition of the source energy spectrum in the input file overridden by the corresponding command-line argument.\n");
  EXPECT_EQ(directives::sourceSpectrum.nEnerg, 1);
  EXPECT_EQ(directives::sourceSpectrum.energy[0], 662000.0);
}
