// The root, summation, iteration and integration built-ins: their
// algorithms over a callable, and the built-ins over compiled calls with the
// expression's value given by a callable in place of the interpreter.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "language/compiler.h"
#include "language/evaluation_builtins.h"
#include "language/interpreter.h"
#include "language/undefined_value.h"
#include "tests/language/language_test_support.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct SEARCH {
  int status;
  double b, c, x;
  int calls;
};

SEARCH Search(std::function<double(double)> f, double b, double c, double relerr = 1e-9, double abserr = 1e-100) {
  int calls = 0;
  auto counted = [&](double t) {
    ++calls;
    return f(t);
  };
  SEARCH s{0, b, c, 0.0, 0};
  s.status = SearchZero(counted, kZeroFinderTemplate, &s.b, &s.c, relerr, abserr, &s.x);
  s.calls = calls;
  return s;
}

}  // namespace

// Zeros of sign changes, a hit of f = 0, a pole, no sign change, and the
// 500 values with a function whose values are not numbers.
TEST(FindZero, StatusesOfTheSearch) {
  SEARCH dottie = Search([](double x) { return std::cos(x) - x; }, 0.0, 1.0);
  EXPECT_EQ(dottie.status, 1);
  EXPECT_NEAR(dottie.b, 0.7390851332151607, 1e-9);
  SEARCH cubeRoot = Search([](double x) { return x * x * x - 2.0; }, 0.0, 2.0, 1e-14);
  EXPECT_TRUE(cubeRoot.status == 1 || cubeRoot.status == 2);  // 2: x^3 - 2 is exactly 0 at b
  EXPECT_NEAR(cubeRoot.b, std::cbrt(2.0), 1e-13);
  EXPECT_LT(cubeRoot.calls, 20);
  SEARCH reversed = Search([](double x) { return x * x * x - 2.0; }, 2.0, 0.0, 1e-14);
  EXPECT_NEAR(reversed.b, std::cbrt(2.0), 1e-13);
  SEARCH hit = Search([](double x) { return x - 0.5; }, 0.0, 1.0);
  EXPECT_EQ(hit.status, 2);
  EXPECT_EQ(hit.b, 0.5);
  SEARCH pole = Search([](double x) { return 1.0 / (x - 0.3); }, 0.0, 1.0);
  EXPECT_EQ(pole.status, 3);
  EXPECT_NEAR(pole.b, 0.3, 1e-8);
  SEARCH noChange = Search([](double x) { return x * x + 1.0; }, -1.0, 2.0);
  EXPECT_EQ(noChange.status, 4);
  SEARCH exhausted = Search([](double) { return kNaN; }, 0.0, 1.0);
  EXPECT_EQ(exhausted.status, 5);
  EXPECT_EQ(exhausted.calls, 501);  // the midpoint and 500 values of the search
}

TEST(Summation, OverIntegers) {
  std::vector<double> seen;
  auto record = [&seen](double k) {
    seen.push_back(k);
    return k * k;
  };
  double value = 0.0, lastK = 0.0;
  EXPECT_EQ(SumOverIntegers(record, 3.0, 1.0, false, &value, &lastK), kSummationDone);
  EXPECT_EQ(seen, (std::vector<double>{3, 2, 1}));
  EXPECT_EQ(value, 14.0);
  EXPECT_EQ(lastK, 1.0);
  seen.clear();
  EXPECT_EQ(SumOverIntegers(record, -1.5, 1.5, false, &value, &lastK), kSummationDone);
  EXPECT_EQ(seen, (std::vector<double>{-2, -1, 0, 1, 2}));
  seen.clear();
  EXPECT_EQ(SumOverIntegers(record, 1.0, 1.0, true, &value, &lastK), kSummationDone);  // Iter: once
  EXPECT_EQ(seen, (std::vector<double>{1}));
  EXPECT_EQ(value, 1.0);
  seen.clear();
  EXPECT_EQ(SumOverIntegers(record, 1.0, 4.0, true, &value, &lastK), kSummationDone);  // Iter: the last value
  EXPECT_EQ(value, 16.0);
  // Bounds that are not finite, and a range whose steps would stop advancing.
  seen.clear();
  EXPECT_EQ(SumOverIntegers(record, 0.0, kInf, false, &value, &lastK), kSummationNotFinite);
  EXPECT_EQ(SumOverIntegers(record, kNaN, 3.0, false, &value, &lastK), kSummationNotFinite);
  EXPECT_EQ(SumOverIntegers(record, 0.0, 1e300, false, &value, &lastK), kSummationStalls);
  EXPECT_EQ(SumOverIntegers(record, -1e17, 0.0, true, &value, &lastK), kSummationStalls);
  EXPECT_TRUE(seen.empty());
}

TEST(Summation, WithStep) {
  std::vector<double> seen;
  auto record = [&seen](double x) {
    seen.push_back(x);
    return x;
  };
  double value = 0.0;
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, 0.25, &value), kSummationDone);
  EXPECT_EQ(seen, (std::vector<double>{0, 0.25, 0.5, 0.75, 1}));
  EXPECT_EQ(value, 2.5);
  seen.clear();
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, -0.25, &value), kSummationDone);
  EXPECT_EQ(seen.size(), 5u);
  seen.clear();
  EXPECT_EQ(SumWithStep(record, 1.0, 0.0, 0.25, &value), kSummationDone);
  EXPECT_EQ(seen, (std::vector<double>{1, 0.75, 0.5, 0.25, 0}));
  seen.clear();
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, 0.0, &value), kSummationZeroStep);
  EXPECT_EQ(SumWithStep(record, 1e300, 1e300, 1.0, &value), kSummationStalls);
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, 1e-300, &value), kSummationStalls);
  EXPECT_EQ(SumWithStep(record, 0.0, kInf, 1.0, &value), kSummationNotFinite);
  EXPECT_EQ(SumWithStep(record, -kInf, 0.0, 1.0, &value), kSummationNotFinite);
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, kNaN, &value), kSummationNotFinite);
  EXPECT_EQ(SumWithStep(record, 0.0, 1.0, kInf, &value), kSummationNotFinite);
  EXPECT_TRUE(seen.empty());
}

namespace {

// A compiled program with repeated-evaluation calls, run in place of the
// interpreter for programs without blocks: instructions run one after the
// other, an inline expression is skipped until its call evaluates it, and
// the call's body gets a callable that sets the variable and runs the
// expression's instructions (or, given `expression`, computes the value from
// the abscissa in C++).
class EvaluationBuiltins : public testing::Test {
 protected:
  LanguageSession session;
  int program = -1;
  int evaluations = 0;
  int stopped = 0;
  std::function<double(double)> expression_;
  std::map<int, int> skips_;  // first instruction of an inline expression -> its call
  CALLFRAME frame_{};         // the activation that the built-ins record their errors in
  CALLSTATE state_{};
  static constexpr int kDeclared = 4;  // "x = 0", "k = 0", "j = 0", "y = 0" before the statements

  double Run(const std::string& lines, std::function<double(double)> expression = nullptr) {
    program = session.AddProgram("p" + std::to_string(session.language->ProgramCount()),
                                 "x = 0\nk = 0\nj = 0\ny = 0\n" + lines);
    EXPECT_EQ(session.Program(program).info.diagnosticKind, kDiagnosticPlain) << session.Diagnostic(program);
    CProgramCode& code = session.Program(program).code;
    language::currentProgram = &code;
    frame_ = session.StartedFrame(program);
    state_ = session.FreshState(program);
    evaluations = 0;
    stopped = 0;
    expression_ = expression;
    skips_.clear();
    for (int i = 0; i < code.instructionCount; ++i) {
      int opcode = code.opcodes.Items<int32_t>()[i];
      if (opcode >= kFirstRepeatedBuiltin && opcode <= kLastRepeatedBuiltin) {
        skips_[static_cast<int>(*code.Operands(i)[code.OperandCount(i) - 1])] = i;
      }
    }
    double value = RunRange(0, code.instructionCount - 1);
    return stopped ? session.language->runControl->lastResult : value;
  }

  // Runs instructions first..last; the value of the last one run.
  double RunRange(int first, int last) {
    CProgramCode& code = session.Program(program).code;
    Compiler& language = *session.language;
    double value = 0.0;
    for (int i = first; i <= last && !stopped; ++i) {
      auto skip = skips_.find(i);
      if (skip != skips_.end() && i != first) i = skip->second;  // over an inline expression to its call
      int opcode = code.opcodes.Items<int32_t>()[i];
      double* result = code.values + code.resultSlots.Items<int32_t>()[i];
      if (opcode >= kFirstRepeatedBuiltin && opcode <= kLastRepeatedBuiltin) {
        SPECIALCALL call{&language, &code, i, &frame_, &state_};
        double* variable = call.Operand(call.OperandCount() - 2);
        int expressionStart = static_cast<int>(call.Value(call.OperandCount() - 1));
        auto valueAt = [&, variable, expressionStart, i](double t) {
          ++evaluations;
          *variable = t;
          return expression_ ? expression_(t) : RunRange(expressionStart, i - 1);
        };
        SPECIALOUTCOME outcome = opcode <= 77   ? RunIntegral(call, opcode, valueAt)
                                 : opcode <= 79 ? RunWeightedIntegral(call, opcode, valueAt)
                                 : opcode <= 82 ? RunSummation(call, opcode, valueAt)
                                                : RunRoot(call, opcode, valueAt);
        if (FinishSpecialCall(call, opcode, outcome) != 0) stopped = 1;
      } else if (opcode < kOrdinaryBuiltinCount) {
        *result = language.ordinaryBuiltins[opcode](code.Operands(i));
      } else if (opcode == kLocBuiltin) {  // the interpreter's loc of a variable: its address
        *result = static_cast<double>(reinterpret_cast<uintptr_t>(code.Operands(i)[1]));
      } else if (opcode < kBuiltinCount) {
        if (language.specialBuiltins[opcode](opcode, &frame_, &state_, i) != 0) stopped = 1;
      } else {
        ADD_FAILURE() << "instruction " << i << " is not run here";
      }
      value = *result;
    }
    return value;
  }
  double System(int index) { return session.language->SystemVariable(index); }
  std::string ErrorText() {
    CProgramCode& code = session.Program(program).code;
    char text[kDiagnosticLength + 1] = "";
    if (code.errorBuiltin != 0) {
      session.language->BuiltinErrorText(code.errorBuiltin, text, code.errorProgram, -1, code.errorCode);
    }
    return text;
  }
  // The variable assigned by the program's statement i (counted after the declarations).
  double Slot(int statement) {
    CProgramCode& code = session.Program(program).code;
    return code.values[code.resultSlots.Items<int32_t>()[statement + kDeclared]];
  }
};

constexpr int kIER = 10, kAbsErr = 11, kNEval = 12;

}  // namespace

TEST_F(EvaluationBuiltins, IntegralsSetTheSystemVariables) {
  double v = Run("r = Int(x * x, x, 0, 1)", [](double x) { return x * x; });
  EXPECT_NEAR(v, 1.0 / 3.0, 1e-15);
  EXPECT_EQ(System(kIER), 0.0);
  EXPECT_EQ(System(kNEval), 21.0);
  EXPECT_EQ(evaluations, 21);
  EXPECT_LT(System(kAbsErr), 1e-14);
  // From 1 to 0: the other sign, a and b not swapped.
  EXPECT_NEAR(Run("r = Int(x * x, x, 1, 0)", [](double x) { return x * x; }), -1.0 / 3.0, 1e-15);
  EXPECT_NEAR(Run("r = Int2(ln(x), x, 0, 1, 0, 1e-10, 1000000)", [](double x) { return std::log(x); }), -1.0, 1e-10);
  EXPECT_EQ(stopped, 0);
  Run("r = Int2(x, x, 0, 1, 0, 1e-10, 1000001)", [](double x) { return x; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(evaluations, 0);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Int2\" (the specified maximum number of subintervals "
            "is too large).");
}

// Inti's range argument: 0 and up to 1.49 (bound, +inf), negative down to
// -1.49 (-inf, bound), 2, -2 and beyond the whole line.
TEST_F(EvaluationBuiltins, InfiniteRanges) {
  auto f = [](double x) { return std::exp(-x * x) * (x > 0.0 ? 2.0 : 1.0); };
  const double half = std::sqrt(std::numbers::pi) / 2.0;
  struct CASE {
    const char* range;
    double exact;
  } cases[] = {{"0", 2 * half}, {"1", 2 * half},  {"-0.2", half},  {"-1", half},
               {"2", 3 * half}, {"-2", 3 * half}, {"7", 3 * half}, {"-7", 3 * half}};
  for (const CASE& c : cases) {
    double v = Run(std::string("r = Inti(exp(-x * x), x, 0, ") + c.range + ")", f);
    EXPECT_NEAR(v, c.exact, 1e-6) << c.range;
    EXPECT_EQ(System(kIER), 0.0) << c.range;
    EXPECT_EQ(static_cast<int>(System(kNEval)) % (c.exact == 3 * half ? 60 : 30), c.exact == 3 * half ? 30 : 15)
        << c.range;  // 30 last - 15, doubled over the whole line
  }
}

TEST_F(EvaluationBuiltins, WeightedIntegrals) {
  // omega 0 with the sine weight: 0 at once, one evaluation counted, none made.
  EXPECT_EQ(Run("r = Intw(x, x, 0, 1, 0, 2)", [](double x) { return x; }), 0.0);
  EXPECT_EQ(evaluations, 0);
  EXPECT_EQ(System(kNEval), 1.0);
  EXPECT_EQ(System(kIER), 0.0);
  // A weight of 0.2 is the cosine.
  double v = Run("r = Intw(x * x, x, 0, 1, 10, 0.2)", [](double x) { return x * x; });
  double w = 10.0;
  EXPECT_NEAR(v, std::sin(w) / w + 2 * std::cos(w) / (w * w) - 2 * std::sin(w) / (w * w * w), 1e-7);
  Run("r = Intw2(x, x, 0, 1, 3, 1, 0, 1e-5, 2000001, 100)", [](double x) { return x; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Intw2\" (the specified maximum number of "
            "subintervals is too large).");
  Run("r = Intw2(x, x, 0, 1, 3, 1, 0, 1e-5, 400, 200001)", [](double x) { return x; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Intw2\" (the specified maximum number of Chebyshev "
            "moments is too large).");
}

// A failed integration records the driver's code and the program goes on;
// a NaN integrand gives code 10 and the undefined value.
TEST_F(EvaluationBuiltins, FailedIntegrationsGoOn) {
  double v = Run("r = Int2(1 / sqrt(x), x, 0, 1, 0, 1e-12, 2)\ns = r + 1", [](double x) { return 1 / std::sqrt(x); });
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(System(kIER), 1.0);
  EXPECT_EQ(System(kNEval), 63.0);
  EXPECT_GT(System(kAbsErr), 0.0);
  EXPECT_GT(v, 2.0);  // the best estimate, plus 1
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Int2\" (error code 1: maximum number of subdivisions "
            "has been achieved).");
  EXPECT_EQ(session.Program(program).code.nestingCount, 0);  // going on undid the recording
  v = Run("r = Int(x, x, 0, 1)\ns = r + 1", [](double) { return kNaN; });
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(System(kIER), 10.0);
  EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(ErrorText(), "Runtime error when executing the built-in function \"Int\" (floating-point exception).");
  Run("r = Int2(x, x, 0, 1, 0, 0, 100)", [](double x) { return x; });
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(System(kIER), 6.0);
  EXPECT_EQ(System(kNEval), 0.0);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Int2\" (error code 6: the input is invalid).");
}

TEST_F(EvaluationBuiltins, SumsAndIterations) {
  EXPECT_EQ(Run("r = Sum(k * k, k, 1, 3)", [](double k) { return k * k; }), 14.0);
  EXPECT_EQ(Run("r = Iter(k * k, k, 1, 3)", [](double k) { return k * k; }), 9.0);
  EXPECT_EQ(Run("r = Sum2(x, x, 0, 1, 0.25)", [](double x) { return x; }), 2.5);
  EXPECT_EQ(evaluations, 5);
  Run("r = Sum2(x, x, 0, 1, 0)", [](double x) { return x; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Sum2\" (last argument is equal to zero).");
  Run("r = Sum2(x, x, 1e300, 2e300, 1)", [](double x) { return x; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Sum2\" (the variable stops advancing: adding the "
            "step leaves it unchanged).");
  Run("r = Sum(k, k, 1, 1 / 0)", [](double k) { return k; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Sum\" (a bound or the step is not a finite number).");
  Run("r = Iter(k, k, 0, 1e300)", [](double k) { return k; });
  EXPECT_EQ(stopped, 1);
  EXPECT_EQ(evaluations, 0);
}

// Root writes the final interval back into variables, never into compiled
// constants; a search without a sign change records 2883 and goes on.
TEST_F(EvaluationBuiltins, RootsAndTheirArguments) {
  auto cube = [](double x) { return x * x * x - 2.0; };
  double r = Run("b = 0\nc = 2\nr = Root(x * x * x - 2, x, b, c)", cube);
  EXPECT_NEAR(r, std::cbrt(2.0), 1e-8);
  EXPECT_NEAR(Slot(0), std::cbrt(2.0), 1e-8);  // b
  EXPECT_NE(Slot(1), 2.0);                     // c moved too
  // With constants: the constants keep 0 and 2, so a second run starts alike.
  r = Run("r = Root(x * x * x - 2, x, 0, 2)", cube);
  int first = evaluations;
  double again = Run("r = Root(x * x * x - 2, x, 0, 2)", cube);
  EXPECT_EQ(r, again);
  EXPECT_EQ(evaluations, first);
  const CProgramCode& code = session.Program(program).code;
  int call = -1;
  for (int i = 0; i < code.instructionCount; ++i) {
    if (code.opcodes.Items<int32_t>()[i] == 83) call = i;
  }
  ASSERT_GE(call, 0);
  EXPECT_EQ(*code.Operands(call)[0], 2.0);
  EXPECT_EQ(*code.Operands(call)[1], 0.0);

  // A system variable as an end of the interval keeps its value.
  session.language->SystemVariable(0) = 0.0;
  r = Run("r = Root(x * x * x - 2, x, @0, 2)", cube);
  EXPECT_NEAR(r, std::cbrt(2.0), 1e-8);
  EXPECT_EQ(session.language->SystemVariable(0), 0.0);

  Run("r = Root(x * x + 1, x, -1, 2)\ns = 5", [](double x) { return x * x + 1; });
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(ErrorText(),
            "Runtime error when executing the built-in function \"Root\" (error code 3: no odd order root was found in "
            "the interval).");
}

// Root2 reports the search's code in its output variable: 1 when a value of
// exactly 0 was hit, which is no error.
TEST_F(EvaluationBuiltins, Root2ReportsThroughItsOutputVariable) {
  double r = Run("e = 7\nr = Root2(x - 0.5, x, 0, 1, 1e-9, 1e-100, e)", [](double x) { return x - 0.5; });
  EXPECT_EQ(stopped, 0);
  EXPECT_EQ(r, 0.5);
  EXPECT_EQ(Slot(0), 1.0);
  EXPECT_EQ(ErrorText(), "");
  Run("e = 7\nr = Root2(x * x + 1, x, -1, 2, 1e-9, 1e-100, e)", [](double x) { return x * x + 1; });
  EXPECT_EQ(Slot(0), 3.0);
}

// The compiled expressions themselves, run for each abscissa: integrals,
// nested sums and integrals, a root; an expression that computes the square
// root of a negative number ends its integration with code 10, and an inner
// integration that does so hands the outer one the undefined value.
TEST_F(EvaluationBuiltins, CompiledExpressions) {
  EXPECT_NEAR(Run("r = Int(exp(-x * x), x, 0, 1)"), std::sqrt(std::numbers::pi) / 2.0 * std::erf(1.0), 1e-15);
  EXPECT_EQ(System(kNEval), 21.0);
  EXPECT_EQ(Run("r = Sum(k * Sum(j, j, 1, k), k, 1, 3)"), 25.0);
  EXPECT_NEAR(Run("r = Int(Int(x * y, y, 0, 1), x, 0, 2)"), 1.0, 1e-14);
  EXPECT_NEAR(Run("r = Root(cos(x) - x, x, 0, 1)"), 0.7390851332151607, 1e-9);
  EXPECT_NEAR(Run("r = Inti(1 / (1 + x * x), x, 0, 2)"), std::numbers::pi, 1e-5);
  EXPECT_NEAR(Run("r = Intw(exp(-x), x, 0, 10, 50, 1)"),
              (std::exp(-10.0) * (50.0 * std::sin(500.0) - std::cos(500.0)) + 1.0) / 2501.0, 1e-9);

  double v = Run("r = Int(sqrt(x - 2), x, 0, 1)\ns = r + 3");
  EXPECT_EQ(stopped, 0);  // the program goes on with the undefined value
  EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(System(kIER), 10.0);
  v = Run("r = Int(Int(sqrt(y - x), y, 0, 1), x, 0, 1)");
  EXPECT_EQ(System(kIER), 10.0);
  EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(ErrorText(), "Runtime error when executing the built-in function \"Int\" (floating-point exception).");
}
