// Instruction listings of small programs, compared with listings written by
// hand. Slots: 0..12 system variables, then the formal and global parameters,
// then every new variable, constant and intermediate result in the order the
// compiler meets them. Constants show as their values, "i<n>" is the first
// instruction of an inline expression.
#include <gtest/gtest.h>

#include <string>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

class ProgramListings : public testing::Test {
 protected:
  // Compiles one PROGRAM block and returns its listing; a diagnostic fails the test.
  std::string Compile(const std::string& lines) {
    int k = session.AddProgram("prog", lines);
    EXPECT_EQ(session.Program(k).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(k);
    return session.Listing(k);
  }

  LanguageSession session;
};

}  // namespace

// "^" before "*" before "+", left to right within one priority; a leading
// sign subtracts from 0 after the power is taken; a sign behind "*" or "^"
// wraps its operand; "--" subtracts 0 first.
TEST_F(ProgramListings, ArithmeticPrecedenceAndUnarySigns) {
  EXPECT_EQ(Compile("x = 2 + 3 * 4 ^ 2\n"
                    "y = -x ^ 2\n"
                    "z = 2 * -x\n"
                    "w = 10 - 4 - 3\n"
                    "v = 2 ^ -x\n"
                    "u = x--w"),
            "0  line 0  s18 = Power(4, 2)\n"
            "1  line 0  s19 = Multiply(3, s18)\n"
            "2  line 0  s20 = Add(2, s19)\n"
            "3  line 0  s13 = Equality(s13, s20)\n"
            "4  line 1  s24 = Power(s13, 2)\n"
            "5  line 1  s25 = Subtract(0, s24)\n"
            "6  line 1  s21 = Equality(s21, s25)\n"
            "7  line 2  s29 = Subtract(0, s13)\n"
            "8  line 2  s30 = Multiply(2, s29)\n"
            "9  line 2  s26 = Equality(s26, s30)\n"
            "10  line 3  s34 = Subtract(10, 4)\n"
            "11  line 3  s36 = Subtract(s34, 3)\n"
            "12  line 3  s31 = Equality(s31, s36)\n"
            "13  line 4  s40 = Subtract(0, s13)\n"
            "14  line 4  s41 = Power(2, s40)\n"
            "15  line 4  s37 = Equality(s37, s41)\n"
            "16  line 5  s44 = Subtract(s13, 0)\n"
            "17  line 5  s45 = Subtract(s44, s31)\n"
            "18  line 5  s42 = Equality(s42, s45)\n"
            "block 0  end 19  jump 19 in block 0  loop -1\n");
}

// Comparisons bind tighter than "&", which binds tighter than "|"; calls
// nest; a bare variable as a statement becomes 0 + x.
TEST_F(ProgramListings, LogicAndNestedCalls) {
  EXPECT_EQ(Compile("x = 0.5\n"
                    "c = 1 < 2 & 3 > x | 0\n"
                    "d = max(sin(x), 2 * cos(x)) <> 1\n"
                    "x"),
            "0  line 0  s13 = Equality(s13, 0.5)\n"
            "1  line 1  s18 = LT(1, 2)\n"
            "2  line 1  s20 = GT(3, s13)\n"
            "3  line 1  s21 = AND(s18, s20)\n"
            "4  line 1  s23 = OR(s21, 0)\n"
            "5  line 1  s15 = Equality(s15, s23)\n"
            "6  line 2  s25 = sin(s13)\n"
            "7  line 2  s27 = cos(s13)\n"
            "8  line 2  s28 = Multiply(2, s27)\n"
            "9  line 2  s29 = max(s25, s28)\n"
            "10  line 2  s31 = NE(s29, 1)\n"
            "11  line 2  s24 = Equality(s24, s31)\n"
            "12  line 3  s33 = Add(0, s13)\n"
            "block 0  end 13  jump 13 in block 0  loop -1\n");
}

// The condition ends a conditional block; the if body's block jumps over
// the else body; the while body's block returns to the condition.
TEST_F(ProgramListings, IfElseAndWhile) {
  EXPECT_EQ(Compile("x = 1\n"
                    "if (x > 0) {\n"
                    "  y = 1\n"
                    "}\n"
                    "else {\n"
                    "  y = 2\n"
                    "}\n"
                    "while (x < 3)\n"
                    "  x = x + 1"),
            "0  line 0  s13 = Equality(s13, 1)\n"
            "1  line 1  s16 = GT(s13, 0)\n"
            "2  line 2  s17 = Equality(s17, 1)\n"
            "3  line 5  s17 = Equality(s17, 2)\n"
            "4  line 7  s21 = LT(s13, 3)\n"
            "5  line 8  s23 = Add(s13, 1)\n"
            "6  line 8  s13 = Equality(s13, s23)\n"
            "block 0  end 2  jump 3 in block 2  loop -1  conditional\n"
            "block 1  end 3  jump 4 in block 3  loop -1\n"
            "block 2  end 4  jump 4 in block 3  loop -1\n"
            "block 3  end 5  jump 7 in block 5  loop -1  conditional\n"
            "block 4  end 7  jump 4 in block 3  loop 3\n"
            "block 5  end 7  jump 7 in block 5  loop -1\n");
}

// A for loop is its initial statement, a loop on its condition and a body
// that ends with its step (on the header's line); an empty step adds nothing.
TEST_F(ProgramListings, ForLoops) {
  EXPECT_EQ(Compile("s = 0\n"
                    "for (i = 1; i <= 3; i = i + 1) s = s + i\n"
                    "for (k = 3; k > 0; ) {\n"
                    "  s = s - k\n"
                    "  k = k - 1\n"
                    "}"),
            "0  line 0  s13 = Equality(s13, 0)\n"
            "1  line 1  s15 = Equality(s15, 1)\n"
            "2  line 1  s18 = LE(s15, 3)\n"
            "3  line 1  s19 = Add(s13, s15)\n"
            "4  line 1  s13 = Equality(s13, s19)\n"
            "5  line 1  s21 = Add(s15, 1)\n"
            "6  line 1  s15 = Equality(s15, s21)\n"
            "7  line 2  s22 = Equality(s22, 3)\n"
            "8  line 2  s25 = GT(s22, 0)\n"
            "9  line 3  s26 = Subtract(s13, s22)\n"
            "10  line 3  s13 = Equality(s13, s26)\n"
            "11  line 4  s28 = Subtract(s22, 1)\n"
            "12  line 4  s22 = Equality(s22, s28)\n"
            "block 0  end 3  jump 7 in block 2  loop -1  conditional\n"
            "block 1  end 7  jump 2 in block 0  loop 0\n"
            "block 2  end 9  jump 13 in block 4  loop -1  conditional\n"
            "block 3  end 13  jump 8 in block 2  loop 2\n"
            "block 4  end 13  jump 13 in block 4  loop -1\n");
}

// An array access takes its indices and a mode (-1 reads the element); the
// element an assignment stores into is designated by the access (target)
// and stored by the assignment (store). The index base is the interpreter's:
// the code is the same for INDEX_BASE 0 and 1.
TEST_F(ProgramListings, ArraysWithEitherIndexBase) {
  const char* const kListing =
      "0  line 0  s16 = m[1, 2, -1] target\n"
      "1  line 0  s16 = Equality(s16, 5) store\n"
      "2  line 1  s21 = v[1, -1]\n"
      "3  line 1  s24 = m[s21, 0, -1]\n"
      "4  line 1  s26 = Add(s24, 1)\n"
      "5  line 1  s18 = Equality(s18, s26)\n"
      "block 0  end 6  jump 6 in block 0  loop -1\n";
  for (int base : {0, 1}) {
    LanguageSession arrays;
    ASSERT_EQ(arrays.DeclareArrays("INDEX_BASE " + std::to_string(base) + "\ndouble m[2, 3]\nint v[4]"), -1);
    EXPECT_EQ(arrays.language->index_base, base);
    int k = arrays.AddProgram("prog", "m[1, 2] = 5\nx = m[v[1], 0] + 1");
    EXPECT_EQ(arrays.Listing(k), kListing) << "INDEX_BASE " << base;
    // Array codes follow the one program: m is 94 + 0 + 1, v the next.
    const CProgramCode& code = arrays.Program(k).code;
    EXPECT_EQ(code.opcodes.Items<int32_t>()[0], 95);
    EXPECT_EQ(code.opcodes.Items<int32_t>()[2], 96);
  }
}

// loc of an element (an address access, then loc -1), of a variable (1), of
// a whole array (2, its index), of a built-in (3, its code); an array
// argument is passed as loc of the array.
TEST_F(ProgramListings, LocAndArrayArguments) {
  ASSERT_EQ(session.DeclareArrays("double m[2, 3]\ndouble v[4]"), -1);
  std::string listing = Compile(
      "x = 1\n"
      "p = loc(m[1, 2])\n"
      "q = loc(x) + loc(m) + loc(sin)\n"
      "n = Size(v)");
  EXPECT_EQ(listing,
            "0  line 0  s13 = Equality(s13, 1)\n"
            "1  line 1  s20 = m[1, 2, 2]\n"
            "2  line 1  s21 = loc(-1, s20)\n"
            "3  line 1  s15 = Equality(s15, s21)\n"
            "4  line 2  s24 = loc(1, s13)\n"
            "5  line 2  s27 = loc(2, 0)\n"
            "6  line 2  s28 = Add(s24, s27)\n"
            "7  line 2  s31 = loc(3, 32)\n"
            "8  line 2  s32 = Add(s28, s31)\n"
            "9  line 2  s22 = Equality(s22, s32)\n"
            "10  line 3  s36 = loc(2, 1)\n"
            "11  line 3  s37 = Size(s36)\n"
            "12  line 3  s33 = Equality(s33, s37)\n"
            "block 0  end 13  jump 13 in block 0  loop -1\n");
  const CProgramCode& code = session.Program(0).code;
  EXPECT_EQ(code.OperandKinds(4)[0], kOperandConstant);
  EXPECT_EQ(code.OperandKinds(4)[1], kOperandVariable);
  EXPECT_EQ(code.OperandKinds(2)[1], kOperandReference);
  EXPECT_EQ(code.OperandKinds(11)[0], kOperandReference);
}

// A subroutine with every kind of formal parameter, and the calls that pass
// a number, an output variable (loc 1 of the variable), an array (loc 2) and
// a function: a program (loc 4) or a built-in (loc 3) of the same signature.
TEST_F(ProgramListings, SubroutineCallsWithEveryParameterKind) {
  int sub = session.AddProgram("sub", "x, loc(y), loc(v[]), loc(f(u))) y = x + v[1] + f(x)", true);
  ASSERT_EQ(session.Program(sub).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(sub);
  const PARAMLIST& parameters = session.Program(sub).parameters;
  ASSERT_EQ(parameters.count, 4);
  EXPECT_EQ(parameters.kind[0], 0);
  EXPECT_EQ(parameters.kind[1], 1);
  EXPECT_EQ(parameters.kind[2], 2);
  EXPECT_EQ(parameters.kind[3], 23);
  EXPECT_EQ(session.Listing(sub),
            "0  line 0  s19 = param2(1, -1)\n"
            "1  line 0  s20 = Add(s13, s19)\n"
            "2  line 0  s21 = param3(s13)\n"
            "3  line 0  s22 = Add(s20, s21)\n"
            "4  line 0  s14 = Equality(s14, s22)\n"
            "block 0  end 5  jump 5 in block 0  loop -1\n");

  int g = session.AddProgram("g", "t) Return(2 * t)", true);
  ASSERT_EQ(session.Program(g).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(g);
  ASSERT_EQ(session.DeclareArrays("double w[3]"), -1);
  EXPECT_EQ(Compile("r = 0\n"
                    "sub(2, r, w, loc(g))\n"
                    "sub(r, r, w, loc(sqrt))"),
            "0  line 0  s13 = Equality(s13, 0)\n"
            "1  line 1  s17 = loc(1, s13)\n"
            "2  line 1  s20 = loc(2, 0)\n"
            "3  line 1  s23 = loc(4, 1)\n"
            "4  line 1  s24 = sub(2, s17, s20, s23)\n"
            "5  line 2  s26 = loc(1, s13)\n"
            "6  line 2  s29 = loc(2, 0)\n"
            "7  line 2  s32 = loc(3, 31)\n"
            "8  line 2  s33 = sub(s13, s26, s29, s32)\n"
            "block 0  end 9  jump 9 in block 0  loop -1\n");
}

// A repeated evaluation gets its other arguments first, then its inline
// expression behind a block that jumps to the call, then the call with its
// operands in reverse order; a nested one likewise. A bare variable as the
// expression becomes 0 + j.
TEST_F(ProgramListings, RepeatedEvaluationsWithInlineExpressions) {
  std::string listing = Compile(
      "k = 0\n"
      "j = 0\n"
      "t = 1 + Sum(k * Sum(j, j, 1, k), k, 1, 3)");
  EXPECT_EQ(listing,
            "0  line 0  s13 = Equality(s13, 0)\n"
            "1  line 1  s15 = Equality(s15, 0)\n"
            "2  line 2  s23 = Add(0, s15)\n"
            "3  line 2  s25 = Sum(s13, 1, s15, i2)\n"
            "4  line 2  s26 = Multiply(s13, s25)\n"
            "5  line 2  s28 = Sum(3, 1, s13, i2)\n"
            "6  line 2  s29 = Add(1, s28)\n"
            "7  line 2  s17 = Equality(s17, s29)\n"
            "block 0  end 2  jump 5 in block 2  loop -1\n"
            "block 1  end 2  jump 3 in block 2  loop -1\n"
            "block 2  end 8  jump 8 in block 2  loop -1\n");
  const CProgramCode& code = session.Program(0).code;
  const int32_t kinds[] = {kOperandValue, kOperandConstant, kOperandVariable, kOperandExpression};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(code.OperandKinds(3)[k], kinds[k]) << k;
}

// A text built-in gets the index of its first string constant and the count
// of its numbers; adjacent literals are joined and "" stands for a quote.
TEST_F(ProgramListings, TextBuiltinsAndStringConstants) {
  EXPECT_EQ(Compile("x = 2\n"
                    "Print(\"x = \", x, \" and \"\"q\"\"\", \"!\")"),
            "0  line 0  s13 = Equality(s13, 2)\n"
            "1  line 1  s17 = Print(0, 1, s13)\n"
            "block 0  end 2  jump 2 in block 0  loop -1\n");
  const CStrArray& strings = session.language->stringConstants;
  ASSERT_EQ(strings.GetCount(), 2);
  EXPECT_STREQ(strings.GetAt(0), "x = ");
  EXPECT_STREQ(strings.GetAt(1), " and \"q\"!");
}

// The PARAMETERS block declares its globals in the first compilation and
// assigns them in the second; programs read them and the system variables
// where the Compiler keeps them.
TEST_F(ProgramListings, GlobalParametersAndSystemVariables) {
  int parameters = session.AddParameters("a = 2\nb = a * 3");
  ASSERT_EQ(session.Program(parameters).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(parameters);
  ASSERT_EQ(session.language->nGlobalParameters, 2);
  EXPECT_STREQ(session.language->globalParameterNames[1].name, "b");
  EXPECT_EQ(session.Listing(parameters),
            "0  line 0  s13 = Equality(g0, 2)\n"
            "1  line 1  s17 = Multiply(g0, 3)\n"
            "2  line 1  s14 = Equality(g1, s17)\n"
            "block 0  end 3  jump 3 in block 0  loop -1\n");
  EXPECT_EQ(Compile("y = b + IER"),
            "0  line 0  s16 = Add(g1, IER)\n"
            "1  line 0  s15 = Equality(s15, s16)\n"
            "block 0  end 2  jump 2 in block 0  loop -1\n");
}
