// The ARRAYS block: shapes, strides, initial values and their conversion to
// the element types, the index base, and every message with the line where
// it is found.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "language/arrays.h"
#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

template <typename T>
T Element(const ARRAYINFO& array, int i) {
  T value;
  std::memcpy(&value, static_cast<const char*>(array.data) + i * sizeof(T), sizeof value);
  return value;
}

}  // namespace

TEST(ArraysBlock, ShapeStridesAndZeroedElements) {
  LanguageSession session;
  ASSERT_EQ(session.DeclareArrays("double a[3, 4]"), -1);
  const ARRAYINFO& a = session.language->arrays[0];
  EXPECT_STREQ(a.name, "a");
  EXPECT_EQ(a.dimensionCount, 2);
  EXPECT_EQ(a.dimensions[0], 3);
  EXPECT_EQ(a.dimensions[1], 4);
  EXPECT_EQ(a.strides[0], 4);
  EXPECT_EQ(a.strides[1], 1);
  EXPECT_EQ(a.elementCount, 12);
  EXPECT_EQ(a.byteSize, 96);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(Element<double>(a, i), 0.0);
  EXPECT_EQ(session.language->nDeclaredArrays, 1);
  EXPECT_EQ(session.language->index_base, 1);
}

TEST(ArraysBlock, InitialValuesInMemoryOrderOverSeveralLines) {
  LanguageSession session;
  ASSERT_EQ(session.DeclareArrays("int m[2 3] = {1, 2, 3, 4}\n"
                                  "double a[2] = {1,  // the list goes on\n"
                                  "  2} , b[3]\n"
                                  "float f[3] = {,1.5,,} double2[1] = { }"),
            -1);
  const std::vector<ARRAYINFO>& arrays = session.language->arrays;
  ASSERT_EQ(arrays.size(), 5u);
  const int expected[] = {1, 2, 3, 4, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(Element<int32_t>(arrays[0], i), expected[i]) << i;
  EXPECT_EQ(Element<double>(arrays[1], 0), 1.0);
  EXPECT_EQ(Element<double>(arrays[1], 1), 2.0);
  EXPECT_STREQ(arrays[2].name, "b");
  EXPECT_EQ(arrays[2].elementCount, 3);
  EXPECT_EQ(Element<float>(arrays[3], 0), 1.5f);  // positions without a number store nothing
  EXPECT_EQ(Element<float>(arrays[3], 1), 0.0f);
  EXPECT_STREQ(arrays[4].name, "double2");
  EXPECT_EQ(arrays[4].elementType, kElementFloat);
}

TEST(ArraysBlock, ConversionsToTheElementTypes) {
  LanguageSession session;
  ASSERT_EQ(session.DeclareArrays("uint1 b[2] = {300, -1.7}\n"
                                  "int2 c[2] = {70000, -2.9}\n"
                                  "uint u[2] = {-1, 4294967296.5}\n"
                                  "int i[2] = {1e20, -1e20}\n"
                                  "float f[2] = {0.1, 1e300}\n"
                                  "int1 s[2] = {200, -129}\n"
                                  "uint2 w[1] = {-1}"),
            -1);
  const std::vector<ARRAYINFO>& a = session.language->arrays;
  EXPECT_EQ(Element<uint8_t>(a[0], 0), 44);
  EXPECT_EQ(Element<uint8_t>(a[0], 1), 255);
  EXPECT_EQ(Element<int16_t>(a[1], 0), 4464);
  EXPECT_EQ(Element<int16_t>(a[1], 1), -2);
  EXPECT_EQ(Element<uint32_t>(a[2], 0), 4294967295u);
  EXPECT_EQ(Element<uint32_t>(a[2], 1), 0u);
  EXPECT_EQ(Element<int32_t>(a[3], 0), INT32_MAX);  // saturated, never undefined
  EXPECT_EQ(Element<int32_t>(a[3], 1), INT32_MIN);
  EXPECT_EQ(Element<float>(a[4], 0), 0.1f);
  EXPECT_TRUE(std::isinf(Element<float>(a[4], 1)));
  EXPECT_EQ(Element<int8_t>(a[5], 0), -56);
  EXPECT_EQ(Element<int8_t>(a[5], 1), 127);
  EXPECT_EQ(Element<uint16_t>(a[6], 0), 65535);
}

TEST(ArraysBlock, IndexBase) {
  LanguageSession zero;
  ASSERT_EQ(zero.DeclareArrays("  INDEX_BASE 0 // first\ndouble a[1]"), -1);
  EXPECT_EQ(zero.language->index_base, 0);
  LanguageSession one;
  ASSERT_EQ(one.DeclareArrays("index_base\t1\ndouble a[1]"), -1);
  EXPECT_EQ(one.language->index_base, 1);
}

TEST(ArraysBlock, SizeLimits) {
  const int32_t twentyDimensions[20] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
  EXPECT_EQ(ArrayMemorySize(8, 20, twentyDimensions).bytes, 8.0 * 1048576);
  const int32_t largest[1] = {2147483647};
  EXPECT_EQ(ArrayMemorySize(1, 1, largest).bytes, 2147483647.0);  // uint1 x[2147483647] is within 2 GB
  const int32_t huge[2] = {2000000000, 2000000000};
  EXPECT_EQ(ArrayMemorySize(8, 2, huge).elements, 4e18);  // formed in double precision

  LanguageSession session;
  EXPECT_EQ(session.DeclareArrays("uint1 d[2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2]"), -1);
  EXPECT_EQ(session.language->arrays[0].dimensionCount, 20);
}

TEST(ArraysBlock, TheArrayTableHoldsAtMost8191Arrays) {
  LanguageSession session;
  const int32_t one[1] = {1};
  for (int i = 0; i < kMaxArrays; ++i) {
    ASSERT_EQ(session.language->AddArray(("a" + std::to_string(i)).c_str(), kElementUInt1, 1, one), kArrayAdded);
  }
  std::string message;
  EXPECT_EQ(session.DeclareArrays("\nuint1 last[1]", &message), 1);
  EXPECT_EQ(message, "******** Error: the number of arrays is greater than 8191. ********");
}

// Every message, with the line (counted from 0) where it is found.
TEST(ArraysBlock, Messages) {
  struct Case {
    const char* block;
    int line;
    const char* message;
  } cases[] = {
      {"INDEX_BASE 0\ndouble a[3]\nINDEX_BASE 1", 2,
       "******** The keyword \"INDEX_BASE\" must be the first keyword after the \"ARRAYS\" directive. ********"},
      {"INDEX_BASE 2", 0, "******** The keyword \"INDEX_BASE\" must be followed by 0 or 1. ********"},
      {"INDEX_BASE 0x", 0, "******** The keyword \"INDEX_BASE\" must be followed by 0 or 1. ********"},
      {"INDEX_BASE", 0, "******** The keyword \"INDEX_BASE\" must be followed by 0 or 1. ********"},
      {"INDEX_BASE 1 x", 0,
       "******** Error: the remainder of the line after the directive \"INDEX_BASE 1\" is not empty. ********"},
      {"\nmatrix a[3]", 1,
       "******** Incorrect format of the definition of an array: a new line must start with a keyword, unless it is "
       "inside the list of array initializers. ********"},
      {"double a [3]", 0, "******** Incorrect format of the definition of an array. ********"},
      {"double a", 0, "******** Incorrect format of the definition of an array. ********"},
      {"double 3a[2]", 0, "******** Array name cannot begin with a number. ********"},
      {"double a.b[2]", 0, "******** Array name cannot contain separators or special symbols. ********"},
      {"double sin[2]", 0,
       "******** Error: the name \"sin\" is already used to identify a built-in function. ********"},
      {"double IER[2]", 0, "******** Error: the name \"IER\" is already used to identify a system variable. ********"},
      {"double a[2]\nfloat A[3]", 1, "******** Error: the name \"A\" is already used to identify an array. ********"},
      {"double a[3", 0, "******** Missing right bracket in the definition of array \"a\". ********"},
      {"double a[3,", 0, "******** Missing right bracket in the definition of array \"a\". ********"},
      {"double a[0]", 0, "******** Invalid value of a dimension of array \"a\". ********"},
      {"double a[-5]", 0, "******** Invalid value of a dimension of array \"a\". ********"},
      {"double a[3000000000]", 0, "******** Invalid value of a dimension of array \"a\". ********"},
      {"double a[3x]", 0, "******** Invalid value of a dimension of array \"a\". ********"},
      {"double a[2,]", 0, "******** Invalid value of a dimension of array \"a\". ********"},
      {"uint1 d[1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1]", 0,
       "******** Array \"d\" has too many dimensions. ********"},
      {"double big[50000, 50000]", 0,
       "******** Array \"big\" would require 18.626 GB of memory. Array size cannot exceed 2 GB. ********"},
      {"double a[2] = 1", 0,
       "******** Error: The equality sign in the \"ARRAYS\" block must be followed by the left brace. ********"},
      {"double a[2] = {1, x}", 0, "******** Invalid value of an array \"a\" element. ********"},
      {"double a[2] = {1, nan}", 0, "******** Invalid value of an array \"a\" element. ********"},
      {"double a[2] = {inf}", 0, "******** Invalid value of an array \"a\" element. ********"},
      {"double a[2] = {0x10}", 0, "******** Invalid value of an array \"a\" element. ********"},
      {"float f[2] = {1, 2, 3}", 0, "******** Too many initializers of array \"f\". ********"},
      {"double a[2] = {1,\n2", 2, "******** Error: the list of initializers of array \"a\" is not closed. ********"},
      {"// only a comment\n\n", 3, "******** Error: there are no arrays defined. ********"},
  };
  for (const Case& c : cases) {
    LanguageSession session;
    std::string message;
    EXPECT_EQ(session.DeclareArrays(c.block, &message), c.line) << c.block;
    EXPECT_EQ(message, c.message) << c.block;
  }
}

TEST(ArraysBlock, ANameLongerThanTheFieldIsRefused) {
  LanguageSession session;
  std::string message;
  std::string name(kArrayNameLength + 1, 'n');
  EXPECT_EQ(session.DeclareArrays("double " + name + "[1]", &message), 0);
  EXPECT_EQ(message, "******** Error: the name of array \"" + name.substr(0, 50) +
                         "\" is longer than 1000 characters. ********");
  EXPECT_EQ(session.language->ArrayCount(), 0);
}

// Arrays declared before a fault stay declared.
TEST(ArraysBlock, ArraysBeforeAFaultStay) {
  LanguageSession session;
  EXPECT_EQ(session.DeclareArrays("double a[2], b[2]\nint c[0]"), 1);
  EXPECT_EQ(session.language->ArrayCount(), 2);
}
