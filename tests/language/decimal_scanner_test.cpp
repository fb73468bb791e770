// The one decimal scanner of the language, and the number-format check that
// rests on it: what is a number and what is not (inf, nan and hexadecimal
// floats never are), and which formats SetNumberFormat accepts.
#include "language/decimal_scanner.h"

#include <gtest/gtest.h>

#include <cmath>

#include "language/number_format.h"

TEST(DecimalScanner, LengthsOfNumbersInProgramText) {
  struct Case {
    const char* text;
    size_t length;
  } cases[] = {
      {"12", 2},       {"1.5", 3},   {"5.", 2},  {".5", 2}, {"1e5", 3},   {"1E-5", 4}, {"2.5e+3x", 6},
      {"2e", 1},       {"2e+", 1},   {"2ex", 1}, {".", 0},  {"e5", 0},    {"inf", 0},  {"nan", 0},
      {"infinity", 0}, {"0x1p3", 1}, {"-1", 0},  {" 1", 0}, {"1.2.3", 3},
  };
  for (const Case& c : cases) EXPECT_EQ(ScanDecimal(c.text, kBareDecimal), c.length) << c.text;
}

TEST(DecimalScanner, SignsAndBlanksWhereTheFormAllowsThem) {
  EXPECT_EQ(ScanDecimal("  -1.5e2,", kSignedDecimal), 8u);
  EXPECT_EQ(ScanDecimal("+3", kSignedDecimal), 2u);
  EXPECT_EQ(ScanDecimal("-", kSignedDecimal), 0u);
  EXPECT_EQ(ScanDecimal("-nan", kSignedDecimal), 0u);
  EXPECT_EQ(ScanDecimal("\t-inf", kSignedDecimal), 0u);
}

TEST(DecimalScanner, Values) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {{"0.1", 0.1}, {"-2.5e-3", -2.5e-3}, {"1e999", HUGE_VAL}, {"1e-999", 0.0}, {"5.", 5.0}, {".25", 0.25}};
  for (const Case& c : cases) {
    double value = 0;
    size_t length = 0;
    ASSERT_TRUE(ReadDecimal(c.text, kSignedDecimal, &value, &length)) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
  }
  double value = 7;
  size_t length = 0;
  EXPECT_FALSE(ReadDecimal("nan", kSignedDecimal, &value, &length));
  EXPECT_EQ(value, 7);
}

TEST(DecimalScanner, Integers) {
  int64_t value = 0;
  size_t length = 0;
  ASSERT_TRUE(ReadDecimalInteger("-5]", {false, true}, &value, &length));
  EXPECT_EQ(value, -5);
  EXPECT_EQ(length, 2u);
  ASSERT_TRUE(ReadDecimalInteger("99999999999999999999999", {false, true}, &value, &length));
  EXPECT_EQ(value, INT64_MAX);
  EXPECT_FALSE(ReadDecimalInteger("x1", {false, true}, &value, &length));
}

TEST(NumberFormat, AcceptedAndRefusedFormats) {
  struct Case {
    const char* format;
    bool accepted;
  } cases[] = {
      {"%10.3f", true},  {"x = %-12.5e units", true},
      {"%%%5.2g", true}, {"%5.g", true},
      {"%g", true},      {"%1e5g", true},
      {"%+g", false},    {"% g", false},
      {"%#g", false},    {"%d", false},
      {"%5.2lf", false}, {"%g %g", false},
      {"%g%", false},    {"", false},
      {"text", false},   {"%nang", false},
      {"%infg", false},  {"%0x1p3g", false},
      {"%-nan", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckNumberFormat(c.format, nullptr), c.accepted) << c.format;
}

TEST(NumberFormat, PiecesAroundTheConversion) {
  NUMBERFORMATPARTS parts;
  ASSERT_TRUE(CheckNumberFormat("100%% of %-12.5e units%%", &parts));
  EXPECT_EQ(parts.before, "100% of ");
  EXPECT_EQ(parts.conversion, "%-12.5e");
  EXPECT_EQ(parts.after, " units%");
  ASSERT_TRUE(CheckNumberFormat("%5.2e3", &parts));
  EXPECT_EQ(parts.conversion, "%5.2e");
  EXPECT_EQ(parts.after, "3");
}
