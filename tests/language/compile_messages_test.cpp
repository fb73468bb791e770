// Every compile-time message of the statement and expression compiler,
// triggered by a small block, with its exact text and the source line it
// points to. Each block is compiled after the arrays a[3] and m[2, 3], the
// subroutine sub(loc(y), loc(v[])) and the program "bad", whose own
// compilation failed.
#include <gtest/gtest.h>

#include <string>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

struct MessageCase {
  const char* lines;  // the block; with a list, the text behind "SUBROUTINE p("
  bool parameterList;
  int kind;  // 2 syntax error, 1 syntax warning
  int line;
  const char* message;
};

// The diagnostic of the block compiled after the common set-up.
std::string DiagnosticOf(const MessageCase& c, LanguageSession& session) {
  EXPECT_EQ(session.DeclareArrays("double a[3]\ndouble m[2, 3]"), -1);
  session.AddProgram("sub", "loc(y), loc(v[])) y = v[1]", true);
  session.AddProgram("bad", "x = (");
  int k = session.AddProgram("p", c.lines, c.parameterList);
  const CProgramCode& code = session.Program(k).code;
  int recordedLine = c.kind == kDiagnosticSyntaxError ? code.syntaxErrorLine : code.warningLine;
  EXPECT_EQ(recordedLine, c.line) << c.lines;
  return session.Diagnostic(k);
}

void ExpectMessages(const std::vector<MessageCase>& cases) {
  for (const MessageCase& c : cases) {
    LanguageSession session;
    std::string expected = std::to_string(c.kind) + " " + std::to_string(c.line) + ": " + c.message;
    EXPECT_EQ(DiagnosticOf(c, session), expected) << c.lines;
  }
}

}  // namespace

TEST(CompileMessages, Statements) {
  ExpectMessages({
      {"// only a comment\n\n", false, 2, 0, "Error: the program code is empty."},
      {"x = 1\n}", false, 2, 1, "Error: mismatched braces."},
      {"for (i = 1; i < {3}; i = i + 1) x = 1", false, 2, 0,
       "Error: braces are not allowed inside the \"for\" loop header."},
      {"x = 0\nfor (i = 1; i < 3) x = i", false, 2, 1,
       "Incorrect format of the \"for\" loop header: the number of semicolons is not equal to 2."},
      {"for (i = 1; i < 3; i = i + 1; ) x = i", false, 2, 0,
       "Incorrect format of the \"for\" loop header: the number of semicolons is not equal to 2."},
      {"for (i = 1; i < 3; i = i + 1 x = i", false, 2, 0,
       "Incorrect format of the \"for\" loop header: mismatched parentheses."},
      {"for (;;) x = 1", false, 2, 0, "Incorrect format of the \"for\" loop header: the condition statement is empty."},
      {"x = 0\nfor (i = 1; i < 3; i = i + 1) if (i > 1) x = i", false, 2, 1,
       "If the first keyword inside the body of a \"for\" loop is \"if\", \"while\" or \"for\", then the entire body "
       "of the loop must be enclosed by braces."},
      {"x = 0\nfor (i = 1; i < 3; i = i + 1)\n  while (x < 1) x = 1", false, 2, 2,
       "If the first keyword inside the body of a \"for\" loop is \"if\", \"while\" or \"for\", then the entire body "
       "of the loop must be enclosed by braces."},
      {"x = 0\nif (x < 1) {\nfor (i = 1; i < 3; i = i + 1) }", false, 2, 2,
       "The header of a \"for\" loop cannot be followed by the right brace."},
      {"x = 1 {", false, 2, 0, "The left brace cannot be placed after a statement."},
      {"x = 1\n{", false, 2, 1, "The left brace cannot be placed after a statement."},
      {"x = 1\nif ( ) x = 2", false, 2, 1,
       "Error: \"if\", \"while\" or \"for\" operator condition statement is empty."},
      {"x = 1\nif (x > 0) {\n  x = 2\n} x = 3", false, 2, 3,
       "Error: each right brace must be the last character of a line."},
      {"x = 1\nwhile (x = 1) x = 2", false, 2, 1,
       "Error: \"if\", \"while\" or \"for\" operator condition statement cannot contain the assignment operator."},
      {"x = 1\nif (x > 0) {\n  x = 2", false, 2, 2,
       "Error: incorrect usage of keywords \"while\", \"for\" or \"if\" and \"else\"."},
      {"else x = 1", false, 2, 0, "Error: incorrect usage of keywords \"while\", \"for\" or \"if\" and \"else\"."},
      {"x = 1\nif (x > 0)\n}", false, 2, 2, "Error: mismatched braces."},
      {"x = 1\nif (x > 0) {\nif (x > 1) {\nx = 2\n}}", false, 2, 4,
       "Error: the right brace belonging to a higher-level \"if\", \"while\" or \"for\" operator must be on the next "
       "line."},
      {"x = ", false, 2, 0, "Error: empty string after the assignment operator."},
      {"x.y = 1", false, 2, 0, "Error: identifier \"x.y\" contains separators or special symbols."},
      {"x = 1\nx = bad()", false, 2, 1, "There are errors in program \"bad\"."},
      {"x = x + 1", false, 2, 0, "Error: uninitialized variable \"x\" used."},
      {"3x = 1", false, 2, 0, "Identifier cannot begin with a number."},
      {"sin = 1", false, 2, 0, "Error: the name \"sin\" is already used to identify a built-in function."},
      {"A = 1", false, 2, 0, "Error: the name \"A\" is already used to identify an array."},
  });
}

TEST(CompileMessages, ExpressionsAndOperators) {
  ExpectMessages({
      {"x = 1\n*x", false, 2, 1, "Error: the expression begins with an arithmetic or logical operator symbol."},
      {"-x = 1", false, 2, 0, "Error: the expression begins with an arithmetic or logical operator symbol."},
      {") + 1", false, 2, 0, "Error: the expression begins with a parenthesis."},
      {"(x) = 1", false, 2, 0, "Error: the expression begins with a parenthesis."},
      {", x", false, 2, 0, "Error: the expression begins with the comma."},
      {"x = 1 +", false, 2, 0, "Error: the expression ends with an arithmetic or logical operator symbol."},
      {"x = max(1, 2),", false, 2, 0, "Error: the expression ends with the comma."},
      {"x = (1 + 2", false, 2, 0, "Error: mismatched parentheses."},
      {"x = 1 + 2)", false, 2, 0, "Error: mismatched parentheses."},
      {"x = 1, 2", false, 2, 0,
       "Incorrect usage of the comma (the comma can only be used to separate function arguments or array indices)."},
      {"x = max(1, , 2)", false, 2, 0, "Incorrect usage of parentheses or of the comma."},
      {"x = (1)(2)", false, 2, 0, "Error: the right parenthesis precedes the left parenthesis."},
      {"x y = 1", false, 2, 0, "Error: illegal character sequence before the assignment operator."},
      {"x = foo(1)", false, 2, 0, "Unknown function \"foo\"."},
      {"x = 2(3)", false, 2, 0, "Incorrect usage of parentheses."},
      {"x = y = 3", false, 2, 0, "Error: two assignment operators found in a single statement."},
      {"\"s\" = 1", false, 2, 0, "Error: a variable name missing before the assignment operator."},
      {"x + 1 = 2", false, 2, 0, "Error: no arithmetic operators may be used before the assignment operator."},
      {"x = !1", false, 2, 0, "Error: incorrect usage of the character '!'."},
      {"x = sin + 1", false, 2, 0, "Error: missing left parenthesis after the function name \"sin\"."},
      {"3 = x", false, 2, 0, "Error: numerical constants cannot appear before the assignment operator."},
      {"x = (1) 2", false, 2, 0, "Error: the right parenthesis precedes a numerical constant."},
      {"x = (1)[2]", false, 2, 0, "Incorrect syntax."},
      {"x = 1 + * 2", false, 2, 0,
       "Error: an illegal sequence of two binary operators, or an operator and a separator, or two separators found."},
      {"x = (1) sin(2)", false, 2, 0, "Error: the right parenthesis precedes a function name."},
      {"y = 1\nx = (1) y", false, 2, 1, "Error: the right parenthesis cannot be followed by \"y\"."},
      {"x = 5 % 3", false, 2, 0, "Unknown separator '%'."},
      {"x = 1.5.2", false, 2, 0, "Error: misplaced separator '.'."},
      {"x = \"a\"", false, 2, 0, "Error: misplaced separator '\"'."},
      {"x = 2abc", false, 2, 0, "Unknown identifier \"2abc\"."},
      {"x = foo + 1", false, 2, 0, "Unknown identifier \"foo\"."},
      {"x = nan + 1", false, 2, 0, "Unknown identifier \"nan\"."},
      {"x = 0x10", false, 2, 0, "Unknown identifier \"0x10\"."},
      {"x = ()", false, 2, 0, "Missing operands or function arguments."},
      {"IER = 1", false, 2, 0,
       "Error: the identifier \"IER\" may not appear on the left-hand side of an assignment statement."},
      {"q) q = 1", true, 2, 0,
       "Error: in this program, the identifier \"q\" cannot appear on the left-hand side of an assignment statement."},
      {"Print(\"abc)", false, 2, 0, "Error: Missing closing double quote"},
      {"Print(\"a // b\")", false, 2, 0, "Error: Missing closing double quote"},
      {"x = Print(\"a\") + Dir(\"b\")", false, 2, 0,
       "Error: Functions Dir, Dir2, Write, Write2, Print, Print2, System, FopenW, FopenR and SetNumberFormat cannot be "
       "specified more than once in a single statement."},
  });
}

TEST(CompileMessages, ArraysCallsAndArguments) {
  ExpectMessages({
      {"x = a[1)", false, 2, 0, "Error: mismatched parentheses or brackets."},
      {"x = a[1", false, 2, 0, "Error: mismatched brackets."},
      {"x = 1]", false, 2, 0, "Error: mismatched brackets."},
      {"x = a + 1", false, 2, 0, "Error: missing left bracket after the array name \"a\"."},
      {"x = b[1]", false, 2, 0, "Unknown array \"b\"."},
      {"b[1] = 2", false, 2, 0, "Unknown array \"b\"."},
      {"x = (1) a[1]", false, 2, 0, "Error: the right parenthesis precedes an array name."},
      {"x = loc(3)", false, 2, 0, "Error: a constant is used as an argument of function \"loc\"."},
      {"q) x = loc(q)", true, 2, 0, "Error: the read-only variable \"q\" is used as an argument of function \"loc\"."},
      {"y = 1\nx = loc(y + 1)", false, 2, 1, "Error: an expression is used as an argument of function \"loc\"."},
      {"x = loc(loc)", false, 2, 0,
       "Error: location of the built-in function \"loc\" cannot be used as an argument of another function."},
      {"x = loc(IER)", false, 2, 0, "Error: the system variable \"IER\" is used as an argument of function \"loc\"."},
      {"x = loc(sin(1))", false, 2, 0,
       "Error: the first character after function name \"sin\", which is used as argument of \"loc\", is not the right "
       "parenthesis."},
      {"x = loc(zz)", false, 2, 0, "Unknown identifier \"zz\"."},
      {"y = 1\nsub(y, 1)", false, 2, 1, "Error: wrong argument type (subroutine \"sub\", argument No. 2)."},
      {"y = 1\nsub(y, m)", false, 2, 1, "Error: wrong argument type (subroutine \"sub\", argument No. 2)."},
      {"x = Size(3)", false, 2, 0, "Error: wrong argument type (built-in function \"Size\", argument No. 1)."},
      {"x = Invert(a)", false, 2, 0, "Error: wrong argument type (built-in function \"Invert\", argument No. 1)."},
      {"x = sin(a)", false, 2, 0, "Error: wrong argument type (built-in function \"sin\", argument No. 1)."},
      {"loc(f(loc(v[])))) x = f(1)", true, 2, 0, "Error: wrong argument type (function \"f\", argument No. 1)."},
      {"x = max(1)", false, 2, 0, "Error: a call to function \"max\" has too few arguments."},
      {"x = sin(1, 2)", false, 2, 0, "Error: a call to function \"sin\" has too many arguments."},
      {"Print()", false, 2, 0, "Error: a call to function \"Print\" has too few arguments."},
      {"x = m[1]", false, 2, 0, "Error: a reference to array \"m\" has too few indices."},
      {"x = m[1, 2, 3]", false, 2, 0, "Error: a reference to array \"m\" has too many indices."},
      {"a(1) = 2", false, 2, 0, "The identifier \"a\" of an array is used incorrectly."},
      {"x = a(1)", false, 2, 0, "The identifier \"a\" of an array is used incorrectly."},
      {"sin(1) = 2", false, 2, 0,
       "Error: the identifier \"sin\" of a built-in function cannot appear before the assignment operator."},
      {"loc(f(u))) f = 1", true, 2, 0,
       "Error: \"f\" is a function identifier (a formal parameter) and it cannot appear before the assignment "
       "operator."},
      {"sub(1) = 2", false, 2, 0,
       "Error: the identifier \"sub\" of a program cannot appear before the assignment operator."},
      {"sub(IER, a)", false, 2, 0, "Error: the system variable \"IER\" is used as argument No. 1 of function \"sub\"."},
      {"q) sub(q, a)", true, 2, 0, "Error: a read-only variable is used as argument No. 1 of function \"sub\"."},
      {"sub(3, a)", false, 2, 0, "Error: a constant is used as argument No. 1 of function \"sub\"."},
      {"y = 1\nsub(y + 1, a)", false, 2, 1, "Error: an expression is used as argument No. 1 of function \"sub\"."},
      {"k = 1\ns = Sum(k, k + 1, 1, 3)", false, 2, 1,
       "Error: an expression is used as argument No. 2 of function \"Sum\"."},
      {"k = 1\ns = Sum(k ^ 2, 3, 1, 3)", false, 2, 1,
       "Error: a constant is used as argument No. 2 of function \"Sum\"."},
  });
}

// A function passed to a formal function must have the signature that the
// formal parameter declares; text built-ins, loc and Return are never passed.
TEST(CompileMessages, FunctionArguments) {
  struct Case {
    const char* lines;
    const char* diagnostic;
  } cases[] = {
      {"x = apply(loc(sqrt)) + apply(loc(apply2)) + apply(loc(f2))", "0 -1: "},
      {"x = apply(loc(max))", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
      {"x = apply(loc(Dir))", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
      {"x = apply(loc(Return))", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
      {"x = apply(loc(apply))", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
      {"x = apply(3)", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
      {"x = apply(sqrt)", "2 0: Error: wrong argument type (subroutine \"apply\", argument No. 1)."},
  };
  for (const Case& c : cases) {
    LanguageSession session;
    session.AddProgram("apply", "loc(f(u))) Return(f(2))", true);
    session.AddProgram("apply2", "t) Return(t)", true);
    int k = session.AddProgram("user", std::string("loc(f2(w))) ") + c.lines, true);
    EXPECT_EQ(session.Diagnostic(k), c.diagnostic) << c.lines;
  }
}

TEST(CompileMessages, Warnings) {
  ExpectMessages({
      {"q, r) y = q", true, 1, 0, "Warning: formal parameter \"r\" is not used."},
      {"x = 1\nif (x > 0) y = 2", false, 1, 1,
       "Warning: the result may be undefined (some \"if\", \"else\", \"while\" or \"for\" blocks are empty, or some "
       "\"else\" blocks are missing)."},
      {"x = 1\nwhile (x > 2) {\n}", false, 1, 2,
       "Warning: the result may be undefined (some \"if\", \"else\", \"while\" or \"for\" blocks are empty, or some "
       "\"else\" blocks are missing)."},
      {"x = 1\nif (x > 0) {\n  y = 2\n}\nelse {\n  y = 3\n}\nz = y", false, 1, 7,
       "Warning: variable \"y\" may be used before its value is set (see previous \"if\", \"while\" or \"for\" "
       "operators)."},
  });
}

// Blocks that compile without a diagnostic: keywords in any case, the
// operators "<>" and "!=", a variable read in the block that assigned it.
TEST(CompileMessages, BlocksWithoutDiagnostic) {
  const char* blocks[] = {
      "x = 1 <> 2\ny = 1 != 2\nIF (x == y) {\n  z = 1\n}\nElse {\n  z = 2\n}",
      "s = 0\nFOR (i = 1; i <= 3; i = i + 1) s = s + i\nWhile (s > 0) s = s - 1",
      "x = 1\nif (x > 0) {\n  y = 2\n  z = y\n}\nelse {\n  z = 0\n}",
      "X = 1\nx = X + x; y = SIN(x)",
      "x = 1\nif (x > 0)\n  if (x > 1) y = 1\n  else y = 2\nelse y = 3",
      "x = 1\nif (x > 0) while (x < 3) {\n  x = x + 1\n}\nelse x = 0",
  };
  for (const char* lines : blocks) {
    LanguageSession session;
    int k = session.AddProgram("p", lines);
    EXPECT_EQ(session.Diagnostic(k), "0 -1: ") << lines;
  }
}

// The PARAMETERS block: its new variables become global parameters; a name
// longer than the 63 characters a global's name holds is refused; the 10001st
// global parameter stops the compilation.
TEST(CompileMessages, ParametersBlock) {
  LanguageSession session;
  std::string longName(64, 'g');
  int k = session.AddParameters("a = 1\n" + longName + " = 2");
  EXPECT_EQ(session.Diagnostic(k), "2 1: Error: the name of global parameter \"" + longName.substr(0, 50) +
                                       "\" is longer than 63 characters.");
  LanguageSession fits;
  k = fits.AddParameters(std::string(63, 'g') + " = 2");
  EXPECT_EQ(fits.Diagnostic(k), "0 -1: ");
  EXPECT_EQ(fits.language->nGlobalParameters, 1);

  LanguageSession full;
  full.language->nGlobalParameters = kMaxGlobalParameters - 1;
  for (int g = 0; g < kMaxGlobalParameters - 1; ++g) {
    std::snprintf(full.language->globalParameterNames[g].name, 64, "g%d", g);
  }
  k = full.AddParameters("a = 1\nb = 2");
  EXPECT_EQ(full.Diagnostic(k), "2 1: Error: the number of global parameters is greater than 10000.\n");
}
