// The value forms of the directives: whole integer, whole number, lenient
// number (trailing text ignored) and keyword numbers (rounded half up).
#include <gtest/gtest.h>

#include "driver/input/value_forms.h"

TEST(KeywordNumber, ReadsPositiveNumbersRoundedHalfUp) {
  struct CASE {
    const char* text;
    bool ok;
    int32_t number;
  };
  const CASE cases[] = {
      {"1", true, 1},          {"1.6", true, 2},      {"2.5", true, 3},       {"0.6", true, 1},
      {"0.5", false, 0},       {"0.4", false, 0},     {"-3", false, 0},       {"3x", false, 0},
      {"3 ", false, 0},        {"", false, 0},        {"2147483647", true, 2147483647},
      {"2147483647.5", false, 0}, {"nan", false, 0}, {"1e3", true, 1000},
  };
  for (const CASE& c : cases) {
    int32_t n = 0;
    EXPECT_EQ(ReadKeywordNumber(c.text, &n), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(n, c.number) << c.text;
    }
  }
}

TEST(LenientNumber, IgnoresTrailingTextAndGivesZeroForNoNumber) {
  EXPECT_DOUBLE_EQ(LenientNumber("10x"), 10.0);
  EXPECT_DOUBLE_EQ(LenientNumber("1e-9abc"), 1e-9);
  EXPECT_DOUBLE_EQ(LenientNumber("abc"), 0.0);
  EXPECT_DOUBLE_EQ(LenientNumber("-2.5"), -2.5);
  // Input numbers are decimal: a hexadecimal form is its leading zero.
  EXPECT_DOUBLE_EQ(LenientNumber("0x10"), 0.0);
  EXPECT_DOUBLE_EQ(LenientNumber(" -0X1p3"), 0.0);
}

TEST(RoundCount, AddsOneHalfAndTruncates) {
  EXPECT_EQ(RoundCount(97.5), 98);
  EXPECT_EQ(RoundCount(97.49), 97);
  EXPECT_EQ(RoundCount(0.0), 0);
}
