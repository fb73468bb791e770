// The formal-parameter list of a SUBROUTINE: the kind byte of every kind of
// parameter, the normal form, the lines the list spans, the text that is
// left for the compiler, and every message with the line where it is found.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

class FormalParameters : public testing::Test {
 protected:
  // Adds program `name` with `lines` behind "SUBROUTINE name(" and parses its
  // list; returns the program's index, and the parser's result in *result.
  int Parse(const std::string& lines, const std::string& name = "p", int* result = nullptr) {
    int k = language->ProgramCount();
    language->programs.push_back(std::make_unique<PROGRAMRECORD>());
    std::snprintf(language->programs[k]->info.name, kProgramNameLength + 1, "%s", name.c_str());
    language->programTexts.Add(LanguageSession::BlockText(lines).c_str());
    int line = language->ParseProgram(k);
    if (result != nullptr) *result = line;
    return k;
  }
  void Renew() {
    language.reset();
    language = std::make_unique<Compiler>();
  }
  const PARAMLIST& List(int k) { return language->programs[k]->parameters; }
  const PROGRAMINFO& Info(int k) { return language->programs[k]->info; }

  std::unique_ptr<Compiler> language = std::make_unique<Compiler>();
};

}  // namespace

TEST_F(FormalParameters, KindBytesOfEveryKind) {
  int result = -1;
  Parse("x, loc(y), loc(a[,]), loc(f(u, loc(v[])))) a = 1", "p", &result);
  EXPECT_EQ(result, 0);
  const PARAMLIST& list = List(0);
  ASSERT_EQ(list.count, 4);
  const int kinds[] = {0, 1, 3, 22 + 1 * 1 + 3 * 5};
  for (int j = 0; j < 4; ++j) EXPECT_EQ(list.kind[j], kinds[j]) << j;
  EXPECT_STREQ(list.list.c_str(), "x, loc(y), loc(a[ , ]), loc(f(u, loc(v[])))");
  EXPECT_STREQ(language->programTexts.GetAt(0), " a = 1\r\n");
  EXPECT_EQ(language->SignatureByte(kBuiltinCount + 0), 255);  // four arguments
}

TEST_F(FormalParameters, FunctionSignatures) {
  struct Case {
    const char* lines;
    int kind;
  } cases[] = {
      {"loc(f()))", 22},
      {"loc(f(x)))", 23},
      {"loc(f(loc(y))))", 24},
      {"loc(f(loc(v[]))))", 25},
      {"loc(f(loc(m[ , ]))))", 26},
      {"loc(f(, x)))", 22 + 1 + 5},
      {"loc(f(x, )))", 22 + 1 + 5},
      {"loc(f(loc(m[,]), loc(v[]), z)))", 22 + 4 + 3 * 5 + 25},
      {"LOC ( g ( a , b , c ) ) )", 22 + 1 + 5 + 25},
  };
  for (const Case& c : cases) {
    Renew();
    int k = Parse(c.lines);
    ASSERT_EQ(Info(k).diagnosticKind, 0) << c.lines << ": " << Info(k).diagnostic;
    EXPECT_EQ(List(k).kind[0], c.kind) << c.lines;
  }
}

TEST_F(FormalParameters, EmptyListAndArrayDimensions) {
  Parse(") x = 1");
  EXPECT_EQ(Info(0).diagnosticKind, 0);
  EXPECT_EQ(List(0).count, 0);
  EXPECT_STREQ(List(0).list.c_str(), "");
  Parse("loc(m[,,,,,,,,,,,,,,,,,,,]))", "q");  // 19 commas: 20 dimensions
  EXPECT_EQ(Info(1).diagnosticKind, 0);
  EXPECT_EQ(List(1).kind[0], 21);
}

TEST_F(FormalParameters, AListOverSeveralLines) {
  int result = -1;
  Parse("x,\n  y, // the second\n  z) a = x + y + z", "p", &result);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(List(0).count, 3);
  EXPECT_STREQ(language->programTexts.GetAt(0), " a = x + y + z\r\n");
  EXPECT_STREQ(List(0).header.c_str(), "x\r\n, y // the second\r\n, z");
}

TEST_F(FormalParameters, NamesAreCutTo50Characters) {
  std::string name(60, 'n');
  Parse(name + ")");
  EXPECT_STREQ(List(0).list.c_str(), name.substr(0, 50).c_str());
}

TEST_F(FormalParameters, ClashesWithGlobalObjectsAreListed) {
  std::snprintf(language->globalParameterNames[0].name, 64, "x");
  language->nGlobalParameters = 1;
  const int32_t one[1] = {1};
  language->AddArray("v", kElementDouble, 1, one);
  Parse(") a = 1", "other");
  int k = Parse("x, loc(v[]), Other)");
  EXPECT_EQ(Info(k).diagnosticKind, kDiagnosticSyntaxError);
  EXPECT_STREQ(Info(k).diagnostic,
               "Error: the formal parameter names coincide with the names of the following global objects:"
               "\r\nglobal parameter \"x\", \r\narray \"v\", \r\nsubroutine \"other\".\n");
  EXPECT_EQ(List(k).count, 0);  // the record stays as it was
}

// Every message, with the line reached.
TEST_F(FormalParameters, Messages) {
  struct Case {
    const char* lines;
    int line;
    const char* message;
  } cases[] = {
      {"a, A)", 0, "Error: duplicate name \"A\" found in the list of formal parameters."},
      {"x,\n p)", 1, "Error: the name of a formal parameter coincides with the subroutine name."},
      {"sqrt)", 0, "Error: the name \"sqrt\" is already used to identify a built-in function."},
      {"IER)", 0, "Error: the name \"IER\" is already used to identify a system variable."},
      {"a,,b)", 0, "Parameter name cannot be empty."},
      {", a)", 0, "Parameter name cannot be empty."},
      {"loc(y),,b)", 0, "Parameter name cannot be empty."},
      {"a.b)", 0, "Parameter name cannot contain separators or special symbols."},
      {"1a)", 0, "Parameter name cannot begin with a number."},
      {"loc(y\n)", 0, "Syntax error in specification of an address of a variable, array or function."},
      {"loc(a[x]))", 0,
       "Syntax error in specification of the number of array dimensions: only commas, spaces and tabs are allowed "
       "between brackets '[' and ']'."},
      {"loc(m[,,,,,,,,,,,,,,,,,,,,]))", 0, "Error: number of array dimensions is greater than 20."},
      {"loc(a[] x))", 0,
       "Syntax error in specification of an address of an array: missing right parenthesis after the right bracket "
       "']'."},
      {"loc(a[,\n)", 0, "Syntax error in specification of the number of array dimensions: missing right bracket ']'."},
      {"loc(f(x) y))", 0, "Syntax error in specification of a function in the list of formal parameters."},
      {"loc(f(x\n))", 0, "Syntax error in specification of a function in the list of formal parameters."},
      {"loc(f(a.b)))", 0,
       "Syntax error in specification of a function in the list of formal parameters. Identifier cannot contain "
       "separators or special symbols."},
      {"loc(f(1a)))", 0,
       "Syntax error in specification of a function in the list of formal parameters. Identifier cannot begin with a "
       "number."},
      {"loc(f(SIN)))", 0,
       "Syntax error in specification of a function in the list of formal parameters. Error: the name \"sin\" is "
       "already used to identify a built-in function."},
      {"loc(f(a, g(b))))", 0,
       "In specification of arguments of a function, which is a formal parameter of another function, each left "
       "parenthesis '(' must be preceded by the identifier \"loc\"."},
      {"loc(f(loc(m[,,]))))", 0,
       "Arrays that are arguments of a function, which is itself a formal parameter, can have only one or two "
       "dimensions."},
      {"loc(f(loc(v[] x))))", 0,
       "The right bracket ']' used in specification of an array that is a formal parameter of a function must be "
       "followed by the right parenthesis ')'."},
      {"loc(f(a, b, c, d)))", 0,
       "A function that is used as a formal parameter of another function cannot have more than 3 arguments."},
      {"loc(f(x)\n)", 0, "Error: mismatched parentheses."},
      {"x, y\nz", 1, "The right parenthesis indicating the end of the list of formal parameters is absent."},
      {"a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16, a17, a18, a19, a20, a21)", 0,
       "Error: the number of formal parameters is greater than 20."},
  };
  for (const Case& c : cases) {
    Renew();
    int result = -1;
    int k = Parse(c.lines, "p", &result);
    EXPECT_EQ(result, c.line) << c.lines;
    EXPECT_EQ(Info(k).diagnosticKind, kDiagnosticSyntaxError) << c.lines;
    EXPECT_EQ(Info(k).diagnosticLine, c.line) << c.lines;
    EXPECT_EQ(language->programs[k]->code.syntaxErrorLine, c.line) << c.lines;
    EXPECT_STREQ(Info(k).diagnostic, c.message) << c.lines;
    EXPECT_EQ(List(k).count, 0) << c.lines;
  }
}
