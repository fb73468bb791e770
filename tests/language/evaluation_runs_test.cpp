// The integration, summation, iteration and root built-ins in programs run
// by the interpreter on the user-program thread, as a run starts them: their
// expressions are compiled code evaluated in range mode, they nest, and a
// runtime error or the user's interrupt inside an expression stops them.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "language/compiler.h"
#include "tests/language/language_test_support.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kNoDiagnostic = "0 -1: ";

struct EVALCASE {
  const char* what;
  const char* arrays;      // lines of the ARRAYS block, or null
  std::string program;     // returns its result
  double value;            // NaN: undefined
  double tolerance;        // of the value
  const char* diagnostic;  // after the run
  std::vector<std::string> lines = {};
};

// Sums nested `levels` deep around the expression k.
std::string NestedSums(int levels) {
  std::string text = "k = 0\nx = ";
  for (int level = 0; level < levels; ++level) text += "Sum(";
  text += "k";
  for (int level = 0; level < levels; ++level) text += ", k, 1, 1)";
  return text + "\nReturn(x)";
}

void RunCases(const std::vector<EVALCASE>& cases) {
  for (const EVALCASE& c : cases) {
    LanguageSession session;
    if (c.arrays != nullptr) {
      ASSERT_EQ(session.DeclareArrays(c.arrays), -1) << c.what;
    }
    int k = session.AddProgram("main", c.program);
    ASSERT_LT(session.Program(k).info.diagnosticKind, kDiagnosticSyntaxError)
        << c.what << ": " << session.Diagnostic(k);
    PROGRAMRUN run = session.Run(k);
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(run.value)) << c.what << ": " << run.value;
    } else {
      EXPECT_NEAR(run.value, c.value, c.tolerance) << c.what;
    }
    EXPECT_EQ(run.diagnostic, c.diagnostic) << c.what;
    EXPECT_EQ(run.lines, c.lines) << c.what;
    EXPECT_EQ(session.Program(k).code.nestingCount, 0) << c.what;
  }
}

const double kE = std::numbers::e;
const double kPi = std::numbers::pi;

}  // namespace

TEST(EvaluationRuns, IntegralsSumsAndRootsOfCompiledExpressions) {
  RunCases({
      {"Int", nullptr, "t = 0\nReturn(Int(exp(-t), t, 0, 1))", 1 - 1 / kE, 1e-14, kNoDiagnostic},
      {"the system variables", nullptr,
       "t = 0\ny = Int(sqrt(t), t, 0, 1)\nReturn(IER * 1000 + (abs(y - 2 / 3) < AbsErr) * 100 + (AbsErr < 1e-6) * 10 + "
       "(fmod(nEval, 42) == 21))",
       111, 0, kNoDiagnostic},
      {"Inti over (0, inf)", nullptr, "t = 0\nReturn(Inti(exp(-t * t), t, 0, 1))", std::sqrt(kPi) / 2, 1e-10,
       kNoDiagnostic},
      {"Intw: exp(-t) sin(3t) over (0, 10)", nullptr, "t = 0\nReturn(Intw(exp(-t), t, 0, 10, 3, 2))",
       (3 - std::exp(-10.0) * (std::sin(30.0) + 3 * std::cos(30.0))) / 10, 1e-10, kNoDiagnostic},
      {"Sum", nullptr, "k = 0\nReturn(Sum(1 / k ^ 2, k, 1, 100000))", kPi * kPi / 6 - 1e-5, 1e-9, kNoDiagnostic},
      {"Sum2 with a step", nullptr, "x = 0\nReturn(Sum2(x, x, 0, 1, 0.25))", 2.5, 0, kNoDiagnostic},
      {"Iter: the last value", nullptr, "k = 0\nReturn(Iter(k * k, k, 1, 4))", 16, 0, kNoDiagnostic},
      {"Root", nullptr, "x = 0\nReturn(Root(cos(x) - x, x, 0, 1))", 0.7390851332151607, 1e-9, kNoDiagnostic},
      {"an integral inside a root: the median of exp(-t)", nullptr,
       "t = 0\ne = 0\nReturn(Root(Int(exp(-t), t, 0, e) - 0.5, e, 0, 10))", std::numbers::ln2, 1e-9, kNoDiagnostic},
      {"nested integrals", nullptr, "x = 0\ny = 0\nReturn(Int(Int(x * y, y, 0, 1), x, 0, 2))", 1, 1e-12, kNoDiagnostic},
      {"a call in the expression, a sum inside a loop", nullptr,
       "k = 0\ns = 0\nfor (n = 1; n <= 3; n = n + 1) s = s + Sum(k * n, k, 1, n)\nReturn(s)", 1 + 6 + 18, 0,
       kNoDiagnostic},
      {"20 nested Sums", nullptr, NestedSums(20), 1, 0, kNoDiagnostic},
      {"21 nested Sums", nullptr, NestedSums(21), kNaN, 0,
       "3 1: Runtime error: number of nested calls to built-in integration, summation or iteration functions exceeds "
       "20."},
  });
}

// A Root whose interval is given by constants starts from them every time;
// one given by variables leaves the final interval in them.
TEST(EvaluationRuns, RootLeavesItsConstantsAlone) {
  RunCases({
      {"constants", nullptr, "x = 0\ns = 0\nfor (i = 1; i <= 3; i = i + 1) s = s + Root(x * x - 2, x, 0, 2)\nReturn(s)",
       3 * std::sqrt(2.0), 1e-8, kNoDiagnostic},
      {"variables", nullptr,
       "x = 0\nb = 0\nc = 2\ny = Root(x * x - 2, x, b, c)\nReturn((b == y) + 10 * (abs(c - y) < 1e-6))", 11, 0,
       kNoDiagnostic},
  });
}

// Failures: a built-in's own error is reported after the run (and the
// program goes on where the built-in's error code says so); an error inside the expression
// stops the program at once, with that error.
TEST(EvaluationRuns, ErrorsOfTheBuiltinsAndOfTheirExpressions) {
  RunCases({
      {"no sign change: recorded, the program goes on",
       nullptr,
       "x = 0\ny = Root(x * x + 1, x, -1, 2)\nDir(\"N 1\")\nReturn(7)",
       7,
       0,
       "3 1: Runtime error when executing the built-in function \"Root\" (error code 3: no odd order root was found "
       "in the interval).",
       {"N 1"}},
      {"an integral that does not converge goes on", nullptr,
       "t = 0\ny = Int2(sqrt(t), t, 0, 1, 0, 1e-12, 1)\nReturn(IER + 10 * (abs(y - 2 / 3) < 1e-2))", 11, 0,
       "3 1: Runtime error when executing the built-in function \"Int2\" (error code 1: maximum number of "
       "subdivisions has been achieved)."},
      {"a NaN integrand: code 10 and the undefined value, the program goes on", nullptr,
       "t = 0\ny = Int(sqrt(t - 2), t, 0, 1)\nReturn(IER * (y != y))", 10, 0,
       "3 1: Runtime error when executing the built-in function \"Int\" (floating-point exception)."},
      {"Sum to an infinite bound stops", nullptr, "k = 0\ny = Sum(k, k, 1, 1 / 0)\nReturn(1)", kNaN, 0,
       "3 1: Runtime error when executing the built-in function \"Sum\" (a bound or the step is not a finite "
       "number)."},
      {"Sum2 whose steps do not advance x stops", nullptr, "x = 0\ny = Sum2(x, x, 1e20, 2e20, 1)\nReturn(1)", kNaN, 0,
       "3 1: Runtime error when executing the built-in function \"Sum2\" (the variable stops advancing: adding the "
       "step leaves it unchanged)."},
      {"Sum2 with step 0", nullptr, "x = 0\ny = Sum2(x, x, 0, 1, 0)", kNaN, 0,
       "3 1: Runtime error when executing the built-in function \"Sum2\" (last argument is equal to zero)."},
      {"an array error inside a sum stops the program", "double v[3]",
       "k = 0\ny = Sum(v[k], k, 1, 1000000000)\nDir(\"N 1\")\nReturn(1)", kNaN, 0,
       "3 1: Runtime error when referencing array \"v\" (index is out of bounds)."},
      {"inside an integral", "double v[3]", "t = 0\ny = Int(v[t * 10], t, 0, 1)\nDir(\"N 1\")", kNaN, 0,
       "3 1: Runtime error when referencing array \"v\" (index is out of bounds)."},
      {"inside a root", "double v[3]", "x = 0\ny = Root(v[x], x, 0, 100)\nDir(\"N 1\")", kNaN, 0,
       "3 1: Runtime error when referencing array \"v\" (index is out of bounds)."},
  });
}

// After an integration the program's own arithmetic runs as before: a NaN
// compared, divided and passed on (the integration left no trap unmasked).
TEST(EvaluationRuns, TheProgramsArithmeticIsUnchangedAfterAnIntegration) {
  RunCases({{"a NaN after an integral", nullptr,
             "t = 0\ny = Int(t, t, 0, 1)\nz = 0 / 0\nReturn((z < 1) + (z == z) + 10 * (abs(y - 0.5) < 1e-15) + 100 * "
             "(1 / 0 > 1))",
             110, 0, kNoDiagnostic}});
}

// Esc then Q during a sum of a billion terms: the program stops at once.
TEST(EvaluationRuns, AnInterruptStopsARepeatedEvaluation) {
  LanguageSession session;
  int k = session.AddProgram("long", "k = 0\ny = Sum(sqrt(k), k, 1, 1e15)\nDir(\"N 1\")");
  Compiler& language = *session.language;
  int turns = 0;
  PROGRAMRUN run = session.Run(k, [&] {
    if (++turns == 100) language.runControl->interruptRequest.store(1, std::memory_order_release);
  });
  EXPECT_TRUE(std::isnan(run.value));
  EXPECT_TRUE(run.lines.empty());
  EXPECT_NE(run.diagnostic.find("Execution of the program was interrupted by the user"), std::string::npos)
      << run.diagnostic;
}
