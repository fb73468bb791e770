#include "language/compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

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
