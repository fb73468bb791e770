// Small programs compiled and run on the user-program thread as a run starts
// them: most check their own results and return 1; the others return a value
// or write directive lines. Runtime errors are shown by the diagnostic that
// the reader composes from the error record: "<kind> <line>: <text>".
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "language/compiler.h"
#include "language/interpreter.h"
#include "tests/language/language_test_support.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct SUBROUTINEDEF {
  const char* name;
  const char* text;  // behind "SUBROUTINE name(": the formal parameters, ")" and the statements
};

struct RUNCASE {
  const char* what;
  const char* arrays;  // lines of the ARRAYS block, or null
  std::vector<SUBROUTINEDEF> subroutines;
  std::string program;
  double value;  // the result of the run (NaN: undefined)
  const char* diagnostic = "0 -1: ";
  std::vector<std::string> lines = {};
};

// A stand-in for the summation built-in: Sum(expression, variable, from, to)
// evaluates its inline expression for variable = from, from + 1, ..., to.
// Operands come in reverse order: to, from, the variable, the expression.
int TestSum(int /*code*/, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  CProgramCode& code = *frame->code;
  double** operands = code.Operands(instruction);
  double sum = 0;
  for (double v = *operands[1]; v <= *operands[0]; v += 1) {
    *operands[2] = v;
    double value = 0;
    if (EvaluateInlineExpression(frame, state, instruction, &value) != kRunFinished) return 1;
    sum += value;
  }
  ResultOf(code, instruction) = sum;
  return 0;
}

// Size2 that always fails with its sub-code 1.
int FailingSize2(int code, CALLFRAME* frame, CALLSTATE* /*state*/, int instruction) {
  SetBuiltinError(frame, code, instruction, language::activeCompiler, 1);
  return 1;
}

// Size2 that returns the floating-point status flags of its thread.
int FloatingPointStatus(int /*code*/, CALLFRAME* frame, CALLSTATE* /*state*/, int instruction) {
  ResultOf(*frame->code, instruction) = std::fetestexcept(FE_ALL_EXCEPT);
  return 0;
}

// Adds the blocks of a case to a fresh session; false (with a failure) when
// one of them does not compile.
bool Prepare(LanguageSession& session, const RUNCASE& c, int* program) {
  session.language->specialBuiltins[80] = TestSum;
  session.language->specialBuiltins[73] = FailingSize2;
  if (c.arrays != nullptr) {
    std::string message;
    EXPECT_EQ(session.DeclareArrays(c.arrays, &message), -1) << c.what << ": " << message;
  }
  for (const SUBROUTINEDEF& s : c.subroutines) {
    int k = session.AddProgram(s.name, s.text, true);
    if (session.Program(k).info.diagnosticKind >= kDiagnosticSyntaxError) {
      ADD_FAILURE() << c.what << ": " << session.Diagnostic(k);
      return false;
    }
  }
  *program = session.AddProgram("main", c.program);
  if (session.Program(*program).info.diagnosticKind >= kDiagnosticSyntaxError) {
    ADD_FAILURE() << c.what << ": " << session.Diagnostic(*program);
    return false;
  }
  return true;
}

void RunCases(const std::vector<RUNCASE>& cases) {
  for (const RUNCASE& c : cases) {
    LanguageSession session;
    int k = 0;
    if (!Prepare(session, c, &k)) continue;
    PROGRAMRUN run = session.Run(k);
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(run.value)) << c.what << ": " << run.value;
    } else {
      EXPECT_EQ(run.value, c.value) << c.what;
    }
    // A clean run leaves the compile-time diagnostic (a warning, say) alone.
    if (std::string(c.diagnostic) != "0 -1: " || session.Program(k).info.diagnosticKind == kDiagnosticRuntimeError) {
      EXPECT_EQ(run.diagnostic, c.diagnostic) << c.what;
    }
    EXPECT_EQ(run.lines, c.lines) << c.what;
    EXPECT_EQ(session.Program(k).code.nestingCount, 0) << c.what;
  }
}

const SUBROUTINEDEF kSum = {"addUp", "n) if (n <= 1) Return(1)\nReturn(n + addUp(n - 1))"};
const SUBROUTINEDEF kFib = {"fib", "n) if (n < 2) Return(n)\nReturn(fib(n - 1) + fib(n - 2))"};
const SUBROUTINEDEF kFact = {"fact",
                             "n, loc(r)) t = 0\nif (n <= 1) {\n  r = 1\n}\nelse {\n  fact(n - 1, t)\n  r = n * t\n}"};

// Sums nested `levels` deep around the expression 1.
std::string NestedSums(int levels) {
  std::string text = "k = 0\nx = ";
  for (int level = 0; level < levels; ++level) text += "Sum(";
  text += "1";
  for (int level = 0; level < levels; ++level) text += ", k, 1, 1)";
  return text + "\nReturn(x)";
}

}  // namespace

TEST(Interpreter, ArithmeticAndControlFlow) {
  RunCases({
      {"priorities",
       nullptr,
       {},
       "x = 2 + 3 * 4 ^ 2\ny = 2 ^ 3 ^ 2\nz = 10 - 4 - 3\nReturn(x == 50 & y == 64 & z == 3)",
       1},
      {"signs", nullptr, {}, "a = -2 ^ 2\nb = 2 * -3\nc = 7\nd = 2\ne = c--d\nReturn(a == -4 & b == -6 & e == 5)", 1},
      {"logic", nullptr, {}, "Return((1 < 2 & 3 > 2 | 0) + (1 <> 2) * 10 + (2 != 2) * 100)", 11},
      {"functions", nullptr, {}, "Return(abs(sqrt(16) + max(2, 3) - 7) < 1e-12 & floor(-0.5) == -1)", 1},
      {"while", nullptr, {}, "s = 0\ni = 0\nwhile (i < 10) {\n  i = i + 1\n  s = s + i\n}\nReturn(s == 55)", 1},
      {"for with if and else",
       nullptr,
       {},
       "n = 0\nfor (i = 1; i <= 20; i = i + 1) {\n  if (fmod(i, 2) == 0) {\n    n = n + i\n  }\n  else {\n"
       "    n = n - 1\n  }\n}\nReturn(n)",
       100},
      {"Return leaves nested loops",
       nullptr,
       {},
       "for (i = 1; i <= 10; i = i + 1) {\n  for (j = 1; j <= 10; j = j + 1) {\n    if (i * j == 42) Return(10 * i + "
       "j)\n"
       "  }\n}\nReturn(0)",
       67},
      {"the last value without Return", nullptr, {}, "x = 3\ny = x * 2", 6},
      {"a loop that never runs", nullptr, {}, "x = 5\nwhile (x < 0) x = x + 1\nx", 5},
      {"a NaN condition holds", nullptr, {}, "y = 0\nif (0 / 0) y = 1\nReturn(y)", 1},
  });
}

// Recursion keeps each activation's variables and intermediate results; the
// 1000th nested call is allowed, the 1001st stops with the call-depth error
// while the callers go on with an undefined result.
TEST(Interpreter, RecursionToDepth1000) {
  RunCases({
      {"sum 1..1000 by recursion", nullptr, {kSum}, "Return(addUp(1000))", 500500},
      {"intermediate results survive nested calls", nullptr, {kFib}, "Return(fib(20))", 6765},
      {"output variables of suspended activations", nullptr, {kFact}, "f = 0\nfact(10, f)\nReturn(f == 3628800)", 1},
      {"depth 1001",
       nullptr,
       {kSum},
       "y = 2\nx = addUp(1001)\nReturn(x)",
       kNaN,
       "3 1: Runtime error: subroutine call depth (nesting level) exceeds 1000. Stack overflow is possible."},
      {"the caller goes on",
       nullptr,
       {kSum},
       "x = addUp(1001)\nReturn(7)",
       7,
       "3 0: Runtime error: subroutine call depth (nesting level) exceeds 1000. Stack overflow is possible."},
  });
}

TEST(Interpreter, OutputVariables) {
  RunCases({
      {"assigned in the caller at once",
       nullptr,
       {{"inc", "loc(x)) x = x + 1"}},
       "a = 1\ninc(a)\ninc(a)\nReturn(a)",
       3},
      {"passed on to another program",
       nullptr,
       {{"inner", "loc(y)) y = y * 2"}, {"outer", "loc(x)) inner(x)\nx = x + 1"}},
       "a = 5\nouter(a)\nReturn(a)",
       11},
      {"a value parameter is a copy",
       nullptr,
       {{"set", "v, loc(w)) w = v + 1"}},
       "a = 1\nb = 0\nset(a, b)\nReturn(10 * a + b)",
       12},
  });
}

TEST(Interpreter, ArraysAndIndexBases) {
  RunCases({
      {"index base 1",
       "double v[5]",
       {},
       "for (i = 1; i <= 5; i = i + 1) v[i] = i * i\ns = 0\nfor (i = 1; i <= 5; i = i + 1) s = s + v[i]\nReturn(s)",
       55},
      {"index base 0",
       "INDEX_BASE 0\ndouble v[5]",
       {},
       "for (i = 0; i < 5; i = i + 1) v[i] = i\ns = 0\nfor (i = 0; i < 5; i = i + 1) s = s + v[i]\nReturn(s)",
       10},
      {"indices are rounded",
       "double v[3]",
       {},
       "v[1] = 10\nv[2] = 20\nv[3] = 30\nReturn(v[1.4] + v[1.6] * 100)",
       2010},
      {"index base 0 rounds too",
       "INDEX_BASE 0\ndouble v[2]",
       {},
       "v[0] = 4\nv[1] = 5\nReturn(v[-0.4] + v[0.6] * 10)",
       54},
      {"element types",
       "int a[2]\nuint1 b[1]\nfloat f[1]\nint2 s[1]",
       {},
       "a[1] = 2.7\na[2] = -2.7\nb[1] = -1\nf[1] = 0.1\ns[1] = 70000\n"
       "Return(a[1] == 2 & a[2] == -2 & b[1] == 255 & f[1] != 0.1 & abs(f[1] - 0.1) < 1e-7 & s[1] == 4464)",
       1},
      {"two dimensions",
       "double m[3, 4]",
       {},
       "for (i = 1; i <= 3; i = i + 1) {\n  for (j = 1; j <= 4; j = j + 1) m[i, j] = 10 * i + j\n}\n"
       "Return(m[2, 3] + m[3, 4] * 100)",
       3423},
      {"an array argument",
       "double w[4]",
       {{"total", "loc(v[]), n) s = 0\nfor (i = 1; i <= n; i = i + 1) s = s + v[i]\nReturn(s)"}},
       "for (i = 1; i <= 4; i = i + 1) w[i] = i\nReturn(total(w, 4))",
       10},
      {"a two-dimensional argument written",
       "double a[2, 3]",
       {{"fill", "loc(m[,])) for (i = 1; i <= 2; i = i + 1) {\n  for (j = 1; j <= 3; j = j + 1) m[i, j] = i * j\n}"}},
       "fill(a)\nReturn(a[2, 3] + 10 * a[1, 2])",
       26},
      {"an array passed on",
       "double w[3]",
       {{"second", "loc(v[])) Return(v[2])"}, {"first", "loc(u[])) Return(second(u))"}},
       "w[2] = 8\nReturn(first(w))",
       8},
      {"loc of a variable", nullptr, {}, "x = 7\np = loc(x)\nReturn(indirect(p))", 7},
      {"loc of an element", "double v[3]", {}, "v[2] = 5\nReturn(indirect(loc(v[2])))", 5},
      {"a function argument",
       nullptr,
       {{"apply", "loc(f(u)), x) Return(f(x))"}, {"twice", "t) Return(2 * t)"}},
       "Return(apply(loc(twice), 4) + 100 * apply(loc(sqrt), 9))",
       308},
  });
}

// The record of every kind of runtime error, as the diagnostic shows it.
TEST(Interpreter, RuntimeErrorsAndTheirRecords) {
  RunCases({
      {"an index beyond the array",
       "double v[3]",
       {},
       "x = 1\nReturn(v[4])",
       kNaN,
       "3 1: Runtime error when referencing array \"v\" (index is out of bounds)."},
      {"index 0 with index base 1",
       "double v[3]",
       {},
       "y = v[0]\nReturn(2)",
       kNaN,
       "3 0: Runtime error when referencing array \"v\" (index is out of bounds)."},
      {"a NaN index",
       "double v[3]",
       {},
       "y = v[0 / 0]",
       kNaN,
       "3 0: Runtime error when referencing array \"v\" (index is out of bounds)."},
      {"in a subroutine; the caller goes on",
       "double v[3]",
       {{"get", "k) Return(v[k])"}},
       "y = get(5)\nReturn(2)",
       2,
       "3 0: Runtime error in program \"get\" referencing array \"v\" (index is out of bounds)."},
      {"a built-in",
       nullptr,
       {},
       "x = 1\ny = Size2(x, 2)",
       kNaN,
       "3 1: Runtime error when executing the built-in function \"Size2\" (first argument is not an array address)."},
      {"a built-in in a subroutine",
       nullptr,
       {{"s", "a) Return(Size2(a, 1))"}},
       "x = s(1)\nReturn(x)",
       kNaN,
       "3 0: Runtime error in subroutine \"s\" when executing the built-in function \"Size2\" (first argument is not "
       "an array address)."},
      {"the first error counts",
       "double v[3]",
       {},
       "y = v[5]\nz = Size2(1, 1)",
       kNaN,
       "3 0: Runtime error when referencing array \"v\" (index is out of bounds)."},
  });
}

// Repeated evaluations run their inline expressions in range mode, nested,
// with calls and array accesses inside; a 21st nested level is an error.
TEST(Interpreter, RepeatedEvaluationsInRangeMode) {
  RunCases({
      {"nested sums", nullptr, {}, "k = 0\nj = 0\nReturn(Sum(k * Sum(j, j, 1, k), k, 1, 3))", 25},
      {"a call in the expression", nullptr, {{"sq", "x) Return(x * x)"}}, "k = 0\nReturn(Sum(sq(k), k, 1, 4))", 30},
      {"array elements",
       "double v[4]",
       {},
       "k = 0\nfor (i = 1; i <= 4; i = i + 1) v[i] = i\nReturn(Sum(v[k], k, 1, 4))",
       10},
      {"behind an if block", nullptr, {}, "j = 0\nx = 1\nif (x > 0) {\n  y = 2\n}\nz = Sum(j, j, 1, 3)\nReturn(z)", 6},
      {"an expression with other arguments computed",
       nullptr,
       {},
       "k = 0\nj = 0\nn = 2\nReturn(Sum(k + Sum(2 * j, j, 1, n + 1), k, 1, n))",
       27},
      {"20 nested levels", nullptr, {}, NestedSums(20), 1},
      {"21 nested levels",
       nullptr,
       {},
       NestedSums(21),
       kNaN,
       "3 1: Runtime error: number of nested calls to built-in integration, summation or iteration functions exceeds "
       "20."},
      {"an error inside the expression",
       "double v[2]",
       {},
       "k = 0\nx = Sum(v[k], k, 1, 3)",
       kNaN,
       "3 1: Runtime error when referencing array \"v\" (index is out of bounds)."},
  });
}

TEST(Interpreter, DirectiveLines) {
  RunCases({
      {"a loop of spectrum lines",
       nullptr,
       {},
       "for (i = 0; i < 3; i = i + 1) Dir(i * 0.5, \" \", i)\nReturn(0)",
       0,
       "0 -1: ",
       {"0 0", "0.5 1", "1 2"}},
      {"Dir2 then Dir, and a last line without a newline",
       nullptr,
       {},
       "Dir2(\"a\")\nDir(\"b\")\nDir2(\"c\")",
       0,
       "0 -1: ",
       {"ab", "c"}},
      {"number formats",
       nullptr,
       {},
       "SetNumberFormat(\"%.3f\")\nDir(\"x \", 1 / 3)\nSetNumberFormat(\"\")\nDir(\"y \", 1 / 3)\nReturn(0)",
       0,
       "0 -1: ",
       {"x 0.333", "y 0.33333333333333"}},
      {"lines written in a subroutine",
       nullptr,
       {{"line", "e) Dir(e, \" 1\")"}},
       "line(2)\nline(3)\nReturn(0)",
       0,
       "0 -1: ",
       {"2 1", "3 1"}},
  });
}

// Array error codes 2 and 3 cannot come from compiled code: the record is
// shown with an array taken away and a store whose target was not designated
// (so that no array is named).
TEST(Interpreter, ArrayErrorsOfMissingDataAndStoreTargets) {
  {
    LanguageSession session;
    ASSERT_EQ(session.DeclareArrays("double v[3]"), -1);
    int k = session.AddProgram("main", "x = 1\nReturn(v[1])");
    void* data = session.language->arrays[0].data;
    session.language->arrays[0].data = nullptr;
    PROGRAMRUN run = session.Run(k);
    session.language->arrays[0].data = data;
    EXPECT_TRUE(std::isnan(run.value));
    EXPECT_EQ(run.diagnostic, "3 1: Runtime error when referencing array \"v\" (array is not allocated).");
  }
  {
    LanguageSession session;
    ASSERT_EQ(session.DeclareArrays("double v[3]"), -1);
    int k = session.AddProgram("main", "v[1] = 5");
    CProgramCode& code = session.Program(k).code;
    ASSERT_EQ(code.targetFlags.Items<uint8_t>()[0], 1);
    code.targetFlags.Items<uint8_t>()[0] = 0;
    PROGRAMRUN run = session.Run(k);
    EXPECT_EQ(run.diagnostic,
              "3 0: Runtime error when referencing array \"\" (an attempt to modify a read-only array).");
    const CProgramCode& record = session.Program(k).code;
    EXPECT_EQ(record.errorKind, kArrayReferenceError);
    EXPECT_EQ(record.errorCode, 3);
    EXPECT_EQ(record.errorProgram, -1);
    EXPECT_EQ(record.errorLine, 0);
  }
}

// The error record itself: kind, code, array or built-in, program and line,
// copied up to the program that the run started.
TEST(Interpreter, ErrorRecordsReachTheStartedProgram) {
  LanguageSession session;
  ASSERT_EQ(session.DeclareArrays("double v[3]"), -1);
  session.language->specialBuiltins[73] = FailingSize2;
  int inner = session.AddProgram("inner", "k) Return(v[k])", true);
  int outer = session.AddProgram("outer", "k) y = 1\nReturn(inner(k))", true);
  int k = session.AddProgram("main", "a = 0\nb = outer(9)\nReturn(b)");
  PROGRAMRUN run = session.Run(k);
  const CProgramCode& started = session.Program(k).code;
  EXPECT_EQ(started.errorKind, kArrayReferenceError);
  EXPECT_EQ(started.errorCode, 1);
  EXPECT_EQ(started.errorArray, 1);
  EXPECT_EQ(started.errorProgram, inner);
  EXPECT_EQ(started.errorLine, 1);  // the call of outer
  EXPECT_EQ(session.Program(outer).code.errorLine, 1);
  EXPECT_EQ(session.Program(inner).code.errorLine, 0);
  EXPECT_EQ(run.diagnostic,
            "3 1: Runtime error in program \"inner\" referencing array \"v\" (index is out of bounds).");
}

// Esc then Q: the reader's interrupt request stops the program before its
// next instruction, also while it waits for the reader to take a line.
TEST(Interpreter, AnInterruptEndsTheThread) {
  for (const char* program : {"x = 0\nwhile (1) {\n  x = x + 1\n}", "while (1) {\n  Dir(\"N 1\")\n}"}) {
    LanguageSession session;
    int k = session.AddProgram("spin", program);
    Compiler& language = *session.language;
    int turns = 0;
    PROGRAMRUN run = session.Run(k, [&] {
      if (++turns == 200) language.runControl->interruptRequest.store(1, std::memory_order_release);
      if (turns > 200) language.lineReady.store(0);  // the reader takes no more lines
    });
    EXPECT_TRUE(std::isnan(run.value));
    EXPECT_EQ(run.diagnostic.substr(0, 2), "3 ") << program;
    EXPECT_NE(run.diagnostic.find(": Execution of the program was interrupted by the user, or an unspecified runtime "
                                  "error occurred."),
              std::string::npos)
        << run.diagnostic;
    EXPECT_EQ(session.Program(k).code.nestingCount, 0);
  }
}

// Constants beyond the range of an int are compiled as any other (their value
// was once converted to an operand's place code as well).
TEST(Interpreter, ConstantsBeyondTheIntegerRange) {
  LanguageSession session;
  int k = session.AddProgram("big", "x = 10333333333333333333333333\ny = -1e300\nReturn(x + y * 0)");
  EXPECT_EQ(session.Run(k).value, 1.0333333333333333e25);
}

// A step budget ends a program that would run forever as an interrupt does,
// in every run afresh; a program within its budget runs to its end.
TEST(Interpreter, AStepBudgetEndsARunawayProgram) {
  LanguageSession session;
  int spin = session.AddProgram("spin", "x = 0\nwhile (1) {\n  x = x + 1\n}");
  int quick = session.AddProgram("quick", "Return(2)");
  session.language->runControl->stepBudget = 100000;
  for (int pass = 0; pass < 2; ++pass) {
    PROGRAMRUN run = session.Run(spin);
    EXPECT_TRUE(std::isnan(run.value));
    EXPECT_NE(run.diagnostic.find(": Execution of the program was interrupted by the user"), std::string::npos)
        << run.diagnostic;
  }
  EXPECT_EQ(session.Run(quick).value, 2.0);
}

// The program thread starts from a clear floating-point status, whatever the
// starting thread's flags.
TEST(Interpreter, TheFloatingPointStatusIsClearedAtTheStart) {
  LanguageSession session;
  int k = session.AddProgram("main", "Return(Size2(0, 0))");
  session.language->specialBuiltins[73] = FloatingPointStatus;
  std::feraiseexcept(FE_INVALID | FE_DIVBYZERO);
  PROGRAMRUN run = session.Run(k);
  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_EQ(run.value, 0);
}

TEST(Interpreter, SystemVariablesFromTheCommandLine) {
  LanguageSession session;
  session.language->SystemVariable(0) = 12;
  int k = session.AddProgram("main", "Dir(\"N \", @0 * 2)\nReturn(@1)");
  PROGRAMRUN run = session.Run(k);
  EXPECT_EQ(run.lines, std::vector<std::string>{"N 24"});
  EXPECT_EQ(run.value, 0);
}
