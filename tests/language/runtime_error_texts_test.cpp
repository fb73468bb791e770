// The texts of runtime errors: the headers (in the running program or in
// another one), the detail of every built-in and sub-code, and the order in
// which ComposeRuntimeError picks them from a program's error record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "language/compiler.h"

namespace {

// Programs "main" (0) and "sub" (1); arrays "grid" (1) and "counts" (2).
class RuntimeErrorTexts : public testing::Test {
 protected:
  Compiler language;

  void SetUp() override {
    for (const char* name : {"main", "sub"}) {
      language.programs.push_back(std::make_unique<PROGRAMRECORD>());
      std::snprintf(language.programs.back()->info.name, sizeof language.programs.back()->info.name, "%s", name);
    }
    const int32_t two[] = {2};
    for (const char* name : {"grid", "counts"}) ASSERT_EQ(language.AddArray(name, kElementDouble, 1, two), kArrayAdded);
  }

  std::string ArrayText(int errorProgram, int running, int array, int subCode) {
    char text[2001];
    language.ArrayErrorText(errorProgram, running, array, subCode, text);
    return text;
  }

  std::string BuiltinText(int code, int errorProgram, int running, int subCode) {
    char text[2001];
    language.BuiltinErrorText(code + 1, text, errorProgram, running, subCode);
    return text;
  }
};

}  // namespace

TEST_F(RuntimeErrorTexts, ArrayErrors) {
  struct Case {
    int errorProgram, running, array, subCode;
    const char* text;
  } cases[] = {
      {-1, 0, 1, 1, "Runtime error when referencing array \"grid\" (index is out of bounds)."},
      {0, 0, 2, 2, "Runtime error when referencing array \"counts\" (array is not allocated)."},
      {-1, -1, 1, 3, "Runtime error when referencing array \"grid\" (an attempt to modify a read-only array)."},
      {1, 0, 1, 1, "Runtime error in program \"sub\" referencing array \"grid\" (index is out of bounds)."},
      {1, 0, 2, 7, "Runtime error in program \"sub\" referencing array \"counts\" "},  // no detail: ends in the blank
      {0, 1, 1, 0, "Runtime error in program \"main\" referencing array \"grid\" "},
      {-1, 0, 9, 1, "Runtime error when referencing array \"\" (index is out of bounds)."},  // no such array
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ArrayText(c.errorProgram, c.running, c.array, c.subCode), c.text)
        << c.errorProgram << " " << c.running << " " << c.array << " " << c.subCode;
  }
}

TEST_F(RuntimeErrorTexts, BuiltinDetails) {
  const std::string intHeader = "Runtime error when executing the built-in function \"";
  struct Case {
    int code, subCode;
    const char* detail;  // behind the header and one blank
  } cases[] = {
      {71, 1, "(matrix elements are not 8-byte floating-point numbers)."},
      {71, 2, "(matrix is not square)."},
      {71, 3, "(insufficient memory for work arrays)."},
      {71, 4, ""},
      {73, 1, "(first argument is not an array address)."},
      {74, 1, "(error code 1: maximum number of subdivisions has been achieved)."},
      {75, 2, "(error code 2: the occurrence of roundoff error is detected)."},
      {76, 3, "(error code 3: extremely bad integrand behavior)."},
      {77, 4, "(error code 4: the algorithm does not converge)."},
      {78, 5, "(error code 5: the integral is probably divergent)."},
      {79, 6, "(error code 6: the input is invalid)."},
      {75, 7, "(the specified maximum number of subintervals is too large)."},
      {79, 8, "(the specified maximum number of Chebyshev moments is too large)."},
      {74, 9, "(insufficient memory for work arrays)."},
      {77, 10, "(floating-point exception)."},
      {74, 11, ""},
      {80, 1, ""},  // Sum has no sub-codes
      {81, 1, "(last argument is equal to zero)."},
      {83, 1, "(error code 1: a value B is found such that F(B) = 0. The interval [B,C] may not satisfy the stopping criterion)."},
      {84, 2, "(error code 2: |F(B)| exceeds the input values |F(B)|, |F(C)|. It is likely that B is close to a pole of f)."},
      {83, 3, "(error code 3: no odd order root was found in the interval)."},
      {84, 4, "(error code 4: number of function evaluations exceeds 500)."},
      {86, 1, "(array elements are not floating-point numbers)."},
      {87, 1, "(array elements are not floating-point numbers)."},
      {88, 1, "(elements of array No. 1 are not floating-point numbers)."},
      {89, 2, "(elements of array No. 2 are not floating-point numbers)."},
      {88, 3, "(elements of array No. 3 are not 64-bit floating point numbers or 32-bit integer numbers)."},
      {89, 4, "(elements of array No. 2 are not sorted in ascending order)."},
      {90, 1, "(there is no file open for reading)."},
      {91, 1, "(there is no file open for reading)."},
      {92, 1, ""},
      {93, 1, "(the data type of array No. 2 must be 4-byte signed integer)."},
      {93, 2, "(the number of elements in array No. 2 is less than the number of elements in array No. 1)."},
  };
  for (const Case& c : cases) {
    std::string expected = intHeader + language.builtinNames[c.code] + "\" " + c.detail;
    EXPECT_EQ(BuiltinText(c.code, -1, 0, c.subCode), expected) << c.code << " " << c.subCode;
  }
  EXPECT_EQ(BuiltinText(81, 1, 0, 1),
            "Runtime error in subroutine \"sub\" when executing the built-in function \"Sum2\" (last argument is equal to zero).");
  EXPECT_EQ(BuiltinText(81, 1, 1, 1),
            "Runtime error when executing the built-in function \"Sum2\" (last argument is equal to zero).");
}

// An array error comes before a built-in error, then the call depth, the
// nesting of repeated evaluations, and last an unfinished run without a
// record; the line is the error line, else the source line of the
// instruction where the run stopped.
TEST_F(RuntimeErrorTexts, ComposeRuntimeErrorPrecedence) {
  PROGRAMINFO info{};
  CProgramCode code;
  for (int line : {4, 5, 6}) code.AppendInstruction(0, 0, line, 0, nullptr, nullptr);
  auto compose = [&](auto setUp) {
    code.ClearErrorState();
    info.diagnosticKind = kDiagnosticPlain;
    info.diagnostic[0] = '\0';
    setUp();
    language.ComposeRuntimeError(&info, &code, 0);
    return std::string(info.diagnostic);
  };

  EXPECT_EQ(compose([&] {
              code.errorKind = kArrayReferenceError;
              code.errorArray = 2;
              code.errorBuiltin = 82;
              code.errorCode = 1;
              code.errorProgram = -1;
              code.errorLine = 9;
            }),
            "Runtime error when referencing array \"counts\" (index is out of bounds).");
  EXPECT_EQ(info.diagnosticKind, kDiagnosticRuntimeError);
  EXPECT_EQ(info.diagnosticLine, 9);

  EXPECT_EQ(compose([&] {
              code.errorKind = kBuiltinError;
              code.errorBuiltin = 82;
              code.errorCode = 1;
              code.errorProgram = 1;
              code.errorLine = 3;
            }),
            "Runtime error in subroutine \"sub\" when executing the built-in function \"Sum2\" (last argument is equal to zero).");

  EXPECT_EQ(compose([&] { code.errorKind = kCallDepthError; }),
            "Runtime error: subroutine call depth (nesting level) exceeds 1000. Stack overflow is possible.");
  EXPECT_EQ(compose([&] { code.errorKind = kEvaluationNestingError; }),
            "Runtime error: number of nested calls to built-in integration, summation or iteration functions exceeds 20.");

  EXPECT_EQ(compose([&] { code.interruptedAt = 1; }),
            "Execution of the program was interrupted by the user, or an unspecified runtime error occurred.");
  EXPECT_EQ(info.diagnosticLine, 5);
  compose([&] { code.currentInstruction = 2; });
  EXPECT_EQ(info.diagnosticLine, 6);
  compose([&] { code.currentInstruction = 7; });  // beyond the list: no line
  EXPECT_EQ(info.diagnosticLine, -1);

  compose([&] { code.warningLine = 2; });
  EXPECT_EQ(info.diagnosticKind, kDiagnosticSyntaxWarning);
  EXPECT_EQ(info.diagnosticLine, 2);
}
