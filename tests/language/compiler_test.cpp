#include "language/compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "language/messages.h"

TEST(Compiler, NameTables) {
  Compiler language;
  const char* system[] = {"@0", "@9", "IER", "AbsErr", "nEval"};
  int index[] = {0, 9, 10, 11, 12};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(language.systemVariableNames[index[i]], system[i]);
  EXPECT_STREQ(language.builtinNames[0], "Add");
  EXPECT_STREQ(language.builtinNames[14], "Dir");
  EXPECT_STREQ(language.builtinNames[69], "select");
  EXPECT_STREQ(language.builtinNames[84], "Root2");
  EXPECT_STREQ(language.builtinNames[93], "Sort2");
  const char* kinds[] = {"global parameter", "local parameter", "subroutine", "DLL function", "array"};
  for (int k = 0; k < kKindNameCount; ++k) EXPECT_STREQ(language.kindNames[k], kinds[k]);
  const int sizes[] = {8, 4, 4, 4, 2, 2, 1, 1, 0};
  for (int t = 0; t < 9; ++t) EXPECT_EQ(language.elementSizes[t], sizes[t]) << t;
}

TEST(Compiler, ArgumentDescriptorsAndSignatures) {
  Compiler language;
  EXPECT_EQ(language.argumentDescriptors[84].count, 7);
  EXPECT_EQ(language.argumentDescriptors[84].kind[6], kArgOutputVariable);
  EXPECT_EQ(language.argumentDescriptors[71].kind[0], kArgMatrix);
  for (int code = 70; code < kBuiltinCount; ++code) {
    EXPECT_EQ(language.repeatedEvaluation[code], code >= 74 && code <= 84) << code;
  }
  ASSERT_EQ(language.signatureBytes.GetCount(), kBuiltinCount);
  EXPECT_EQ(language.SignatureByte(24), 0);        // FcloseW: no argument
  EXPECT_EQ(language.SignatureByte(28), 1);        // exp(number)
  EXPECT_EQ(language.SignatureByte(0), 1 + 5);     // Add(number, number)
  EXPECT_EQ(language.SignatureByte(61), 1 + 5 + 25);  // memcpy: three numbers
  EXPECT_EQ(language.SignatureByte(72), 3);        // Size(array)
  EXPECT_EQ(language.SignatureByte(86), 1 + 3 * 5 + 25);  // Find(number, array, number)
  EXPECT_EQ(language.SignatureByte(74), 255);      // four or more arguments
}

TEST(Messages, LookupByNumber) {
  char text[2000];
  GetMessageText(2288, text, sizeof text);
  EXPECT_STREQ(text, "Identifier cannot be empty.");
  GetMessageText(2235, text, sizeof text);
  EXPECT_STREQ(text, "Error: the name \"%s\" is already used to identify a program.");
  GetMessageText(1, text, sizeof text);
  EXPECT_STREQ(text, "");
  GetMessageText(2288, text, 6);  // never past the destination
  EXPECT_STREQ(text, "Ident");
}

// The routine tables come from the one built-in table: every ordinary code
// has its routine, every special code but Return has one.
TEST(Compiler, RoutineTables) {
  Compiler language;
  for (int code = 0; code < kOrdinaryBuiltinCount; ++code) {
    EXPECT_NE(language.ordinaryBuiltins[code], nullptr) << code;
    EXPECT_EQ(language.ordinaryBuiltins[code], language::kBuiltins[code].ordinary) << code;
    EXPECT_STREQ(language.builtinNames[code], language::kBuiltins[code].name);
  }
  for (int code = kOrdinaryBuiltinCount; code < kBuiltinCount; ++code) {
    EXPECT_EQ(language::kBuiltins[code].ordinary, nullptr) << code;
    EXPECT_EQ(language.specialBuiltins[code], language::kBuiltins[code].special) << code;
    // loc and Return are executed by the interpreter itself.
    EXPECT_EQ(language.specialBuiltins[code] == nullptr, code == kLocBuiltin || code == kReturnBuiltin) << code;
    EXPECT_EQ(language.argumentDescriptors[code].count, language::kBuiltins[code].argumentCount) << code;
  }
  EXPECT_EQ(language::returnFunctionIndex, 85);
  EXPECT_STREQ(language.builtinNames[language::returnFunctionIndex], "Return");
}

TEST(Compiler, RandomGeneratorAndRootFinderTemplate) {
  Compiler language;
  EXPECT_EQ(language.randomGenerator.initialised, 1);
  EXPECT_EQ(language.randomGenerator.ij, 1802);
  EXPECT_EQ(language.randomGenerator.kl, 9373);
  const ZEROFINDERSTATE& start = language.zeroFinderTemplate;
  EXPECT_EQ(start.machIndex, 4);
  EXPECT_EQ(start.one, 1.0);
  const double fields[] = {start.A, start.P, start.Q, start.ER, start.AW, start.FA, start.FB, start.FC,
                           start.RW, start.FX, start.CMB, start.TOL, start.ACMB, start.ACBS};
  for (double field : fields) EXPECT_EQ(field, 0.0);
  EXPECT_EQ(start.IC, 0);
  EXPECT_EQ(start.KOUNT, 0);
}

// An array: row-major strides, element count, bytes, a zero-filled block;
// shapes out of range and blocks beyond 2147483647 bytes are refused before
// anything is allocated, and the table holds at most 8191 arrays.
TEST(Compiler, ArrayTable) {
  Compiler language;
  const int32_t threeByFour[] = {3, 4};
  ASSERT_EQ(language.AddArray("a", kElementDouble, 2, threeByFour), kArrayAdded);
  const ARRAYINFO& a = language.arrays[0];
  EXPECT_STREQ(a.name, "a");
  EXPECT_EQ(a.dimensionCount, 2);
  EXPECT_EQ(a.dimensions[0], 3);
  EXPECT_EQ(a.dimensions[1], 4);
  EXPECT_EQ(a.strides[0], 4);
  EXPECT_EQ(a.strides[1], 1);
  EXPECT_EQ(a.elementCount, 12);
  EXPECT_EQ(a.byteSize, 96);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<const double*>(a.data)[i], 0.0);
  const int32_t shape[] = {2, 3, 5};
  ASSERT_EQ(language.AddArray("c", kElementInt2, 3, shape), kArrayAdded);
  EXPECT_EQ(language.arrays[1].strides[0], 15);
  EXPECT_EQ(language.arrays[1].strides[1], 5);
  EXPECT_EQ(language.arrays[1].byteSize, 60);
  EXPECT_EQ(language.ArrayCount(), 2);
  EXPECT_EQ(language.nDeclaredArrays, 2);

  struct Case {
    int type, dimensions;
    std::vector<int32_t> shape;
    ArrayAddResult result;
  } cases[] = {
      {kElementDouble, 2, {50000, 50000}, kArrayTooLarge},
      {kElementInt2, 1, {1073741824}, kArrayTooLarge},   // 2^31 bytes, one too many
      {kElementDouble, 20, std::vector<int32_t>(20, 2000000000), kArrayTooLarge},
      {kElementDouble, 0, {1}, kArrayBadShape},
      {kElementDouble, 21, std::vector<int32_t>(21, 1), kArrayBadShape},
      {kElementDouble, 1, {0}, kArrayBadShape},
      {kElementDouble, 1, {-5}, kArrayBadShape},
      {kElementDouble, 1, {2000000001}, kArrayBadShape},
      {8, 1, {1}, kArrayBadShape},
      {-1, 1, {1}, kArrayBadShape},
  };
  for (const Case& c : cases) EXPECT_EQ(language.AddArray("x", c.type, c.dimensions, c.shape.data()), c.result);
  EXPECT_EQ(language.ArrayCount(), 2);

  const std::vector<int32_t> twenty(20, 1);
  EXPECT_EQ(language.AddArray("t", kElementUInt1, 20, twenty.data()), kArrayAdded);
  const int32_t one[] = {1};
  while (language.ArrayCount() < 8191) ASSERT_EQ(language.AddArray("n", kElementUInt1, 1, one), kArrayAdded);
  EXPECT_EQ(language.AddArray("n", kElementUInt1, 1, one), kArrayTableFull);
}
