// The ENDF number reader, the TAB1 reader and the table tools.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "driver/data/endf_reader.h"
#include "tests/support/endf_fixture.h"
#include "tests/support/test_paths.h"

namespace {

TEST(ParseEndfNumber, AcceptsEveryFormOfValidFiles) {
  struct CASE {
    const char* text;
    double value;
  } cases[] = {
      {" 1.234567+6", 1.234567e6}, {"-2.5-3     ", -2.5e-3},   {"5.438673E-4", 5.438673e-4},
      {" 1.79389D-5", 1.79389e-5}, {" 29000.0000", 29000.0},   {" 274896030.", 274896030.0},
      {"           ", 0.0},         {"1.0000E+11 ", 1e11},       {" 1.51740E+9", 1.5174e9},
      {"-.980000000", -0.98},       {" 1.2345d+12", 1.2345e12},  {"  -7.1e-3  ", -7.1e-3},
  };
  for (const CASE& c : cases) {
    double v = -99.0;
    EXPECT_TRUE(ParseEndfNumber(c.text, 11, &v)) << c.text;
    EXPECT_DOUBLE_EQ(v, c.value) << c.text;
  }
  double v = 0.0;
  EXPECT_FALSE(ParseEndfNumber("  abc      ", 11, &v));
}

TEST(EndfFields, FieldsRunningIntoEachOtherAreConvertedOneByOne) {
  const char* line =
      "1.00395E+101.45909E-161.25893E+10 9.2577E-171.49624E+106.75343E-17820026534";
  std::string padded(line);
  padded.resize(80, ' ');
  EXPECT_DOUBLE_EQ(EndfField(padded.c_str(), 1), 1.00395e10);
  EXPECT_DOUBLE_EQ(EndfField(padded.c_str(), 2), 1.45909e-16);
  EXPECT_DOUBLE_EQ(EndfField(padded.c_str(), 6), 6.75343e-17);
  EXPECT_EQ(EndfLineCode(padded.c_str()), 26534);
}

// Writes the lines to a scratch file and opens it positioned after the header.
struct TABFILE {
  ENDFREADER reader;
  explicit TABFILE(const std::string& body) {
    const std::string name = MakeScratchFolder("endf_reader") + "tab.endf";
    EXPECT_TRUE(WriteTextFile(name, EndfHeader(600, 7) + body));
    EXPECT_TRUE(OpenEndfFile(name, &reader));
  }
  ~TABFILE() { CloseEndfFile(&reader); }
};

TEST(ReadEndfTab1, SevenPointsOnThreeLinesWithLinLinSlopes) {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < 7; ++i) pts.push_back({1.0 + i, 2.0 * i + 1.0});
  TABFILE f(EndfPairLines(pts, 600, 23, 526) + EndfLine({"next"}, 600, 23, 527));
  EXPECT_EQ(f.reader.generation, 7);
  double x[10], y[10], slope[10];
  int n = 7;
  ASSERT_EQ(ReadEndfTab1(&f.reader, x, y, slope, &n, nullptr, -1, nullptr), 0);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(x[6], 7.0);
  EXPECT_EQ(y[6], 13.0);
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(slope[i], 2.0);
  EXPECT_EQ(slope[6], 0.0);
  ASSERT_TRUE(ReadEndfLine(&f.reader));  // left behind the last data line
  EXPECT_EQ(EndfLineCode(f.reader.line), 23527);
}

TEST(BuildTab1, SlopeLawsByLogFrom) {
  const double xs[] = {1.0, 2.0, 4.0, 8.0}, ys[] = {1.0, 3.0, 5.0, 20.0};
  double x[4], y[4], slope[4];
  int n = 0;
  for (int logFrom : {-1, 0, 1}) {
    ASSERT_EQ(BuildTab1(xs, ys, 4, x, y, slope, &n, nullptr, logFrom, nullptr), 0);
    for (int i = 0; i < 3; ++i) {
      const double lin = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
      const double loglog = std::log(ys[i + 1] / ys[i]) / std::log(xs[i + 1] / xs[i]);
      EXPECT_DOUBLE_EQ(slope[i], (logFrom < 0 || i < logFrom) ? lin : loglog)
          << "logFrom " << logFrom << " interval " << i;
    }
    EXPECT_EQ(slope[3], 0.0);
  }
}

TEST(BuildTab1, StepKeepsFirstPointAndNormalisesDensity) {
  // A step at x = 2: the second (2, 5) is dropped.
  const double xs[] = {0.0, 2.0, 2.0, 4.0}, ys[] = {1.0, 1.0, 5.0, 3.0};
  double x[4], y[4], slope[4], cum[4];
  int n = 0;
  ASSERT_EQ(BuildTab1(xs, ys, 4, x, y, slope, &n, cum, -1, nullptr), 0);
  ASSERT_EQ(n, 3);
  EXPECT_EQ(x[2], 4.0);
  // Trapezoid areas 2 and 4: total 6.
  EXPECT_EQ(cum[0], 0.0);
  EXPECT_DOUBLE_EQ(cum[1], 2.0 / 6.0);
  EXPECT_EQ(cum[2], 1.0);
  EXPECT_DOUBLE_EQ(y[0], 1.0 / 6.0);
  EXPECT_EQ(slope[0], 0.0);                       // flat interval stays 0
  EXPECT_DOUBLE_EQ(slope[1], 1.0 / (1.0 / 6.0));  // reciprocal of normalised slope
  EXPECT_EQ(slope[2], 0.0);
  double trapezoid = 0.0;
  for (int i = 1; i < n; ++i) trapezoid += 0.5 * (y[i] + y[i - 1]) * (x[i] - x[i - 1]);
  EXPECT_NEAR(trapezoid, 1.0, 1e-15);
}

TEST(BuildTab1, ReferenceGridMismatchReturnsOne) {
  const double xs[] = {1.0, 2.0, 3.0}, ys[] = {1.0, 1.0, 1.0};
  const double same[] = {1.0, 2.0, 3.0}, differs[] = {1.0, 2.0000001, 3.0};
  double x[3], y[3], slope[3];
  int n = 0;
  EXPECT_EQ(BuildTab1(xs, ys, 3, x, y, slope, &n, nullptr, -1, same), 0);
  EXPECT_EQ(BuildTab1(xs, ys, 3, x, y, slope, &n, nullptr, -1, differs), 1);
}

TEST(ReadEndfTab1, PrematureEndIsReported) {
  TABFILE f(EndfPairLines({{1, 1}, {2, 2}, {3, 3}}, 600, 23, 526));
  double x[10], y[10], slope[10];
  int n = 7;
  EXPECT_EQ(ReadEndfTab1(&f.reader, x, y, slope, &n, nullptr, -1, nullptr), 2);
}

TEST(FindEndfSection, FindsHeadAndControlOrReportsWrongFormat) {
  TABFILE f(EndfLine({"head"}, 600, 23, 501) + EndfLine({}, 600, 23, 0) +
            EndfLine({"head"}, 600, 23, 526) + EndfLine({"control"}, 600, 23, 526) +
            EndfLine({}, 600, 23, 0) + EndfLine({"head"}, 600, 26, 527));
  EXPECT_EQ(FindEndfSection(&f.reader, 23526, true), 0);
  EXPECT_EQ(std::string(f.reader.line, 7), "control");
  EXPECT_EQ(FindEndfSection(&f.reader, 26526, false), 1);
  EXPECT_EQ(f.reader.sectionCode, 26527);
}

TEST(CleanPoints, RunsShrinkToTheirEnds) {
  struct CASE {
    std::vector<double> y;
    std::vector<double> keptX;
  } cases[] = {
      {{1, 2, 2, 2, 3}, {0, 1, 3, 4}},
      {{1, 2, 3, 4}, {0, 1, 2, 3}},
      {{5, 5, 5, 5}, {0, 3}},
      {{1, 2, 2, 3, 3, 3, 3}, {0, 1, 2, 3, 6}},
  };
  for (const CASE& c : cases) {
    std::vector<double> x(c.y.size()), y = c.y;
    for (size_t i = 0; i < x.size(); ++i) x[i] = double(i);
    int16_t n = static_cast<int16_t>(x.size());
    CleanPoints(x.data(), y.data(), &n);
    ASSERT_EQ(size_t(n), c.keptX.size());
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(x[i], c.keptX[i]);
      EXPECT_EQ(y[i], c.y[size_t(c.keptX[i])]);
    }
  }
}

// A normalised density from raw values on x = 0, 1, 2, ...
struct DENSITY {
  std::vector<double> x, y, cum, slope;
  int16_t n;
  explicit DENSITY(const std::vector<double>& values)
      : x(values.size()), y(values), cum(values.size()), slope(values.size()),
        n(int16_t(values.size())) {
    for (size_t i = 0; i < x.size(); ++i) x[i] = double(i);
    NormaliseDensity(x.data(), y.data(), cum.data(), slope.data(), n);
  }
};

TEST(ThinTable, LinearStretchLosesInnerPointsAndStaysNormalised) {
  // Linear from 0 to 8, then a kink: points 1..7 are on one chord.
  DENSITY d({1, 2, 3, 4, 5, 6, 7, 8, 9, 1, 9});
  int16_t median = -1;
  ThinTable(d.x.data(), d.y.data(), d.cum.data(), d.slope.data(), &d.n, &median, 0.99, 1e-6, 0.0);
  ASSERT_EQ(d.n, 4);
  EXPECT_EQ(d.x[1], 8.0);
  EXPECT_EQ(d.x[2], 9.0);
  EXPECT_EQ(d.cum[0], 0.0);
  EXPECT_EQ(d.cum[3], 1.0);
  EXPECT_EQ(median, MedianInterval(d.cum.data(), d.n));
  EXPECT_LT(d.cum[median], 0.5);
  EXPECT_GE(d.cum[median + 1], 0.5);
}

TEST(ThinTable, TableWithoutRemovablePointsIsUntouched) {
  DENSITY d({1, 5, 1, 5, 1});
  const DENSITY before = d;
  int16_t median = -7;
  ThinTable(d.x.data(), d.y.data(), d.cum.data(), d.slope.data(), &d.n, &median, 0.5, 1e-6, 0.0);
  EXPECT_EQ(d.n, before.n);
  EXPECT_EQ(d.y, before.y);
  EXPECT_EQ(d.slope, before.slope);
  EXPECT_EQ(median, -7);
}

TEST(ThinTable, CutoffLumpsTheStartIntoOneFlatInterval) {
  DENSITY d({1, 3, 2, 4, 1, 5, 2});
  const double lumpedCum = d.cum[2];  // cutoff between cum[1] and cum[2]
  const double lumpedX = d.x[2];
  int16_t median = -1;
  ThinTable(d.x.data(), d.y.data(), d.cum.data(), d.slope.data(), &d.n, &median, 0.01, 1e-9,
            0.5 * (d.cum[1] + d.cum[2]));
  EXPECT_EQ(d.x[1], lumpedX);
  EXPECT_EQ(d.slope[0], 0.0);
  // Mean density of the lumped part, times the new normalisation.
  const double norm = d.cum[1] / lumpedCum;
  EXPECT_NEAR(d.y[0], lumpedCum / lumpedX * norm, 1e-14);
  EXPECT_EQ(d.cum[d.n - 1], 1.0);
}

TEST(ErrorReporters, PrintExactMessagesAndReturnOne) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(EndfFormatError(26527), 1);
  EXPECT_EQ(FileError("a/b.dat"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Wrong format of the ENDF input file (code = 26527).\nError in file a/b.dat.\n");
}

}  // namespace
