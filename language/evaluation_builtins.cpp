#include "language/evaluation_builtins.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "language/compiler.h"
#include "language/integer_conversion.h"
#include "language/memory_access.h"
#include "language/undefined_value.h"

namespace {

constexpr int kMaxZeroFinderValues = 500;
constexpr double kLargestExactStep = 9007199254740992.0;  // 2^53: k + 1 is exact below it

// System variables written by the integration built-ins.
constexpr int kIerVariable = 10;
constexpr int kAbsErrVariable = 11;
constexpr int kNEvalVariable = 12;

// Defaults and limits.
constexpr double kDefaultEpsrel = 1e-5;
constexpr int kDefaultLimit = 200;
constexpr int kDefaultWeightedLimit = 400;
constexpr int kDefaultMaxp1 = 100;
constexpr int kMaxLimit = 1000000;
constexpr int kMaxWeightedLimit = 2000000;
constexpr int kMaxMaxp1 = 200000;
constexpr double kDefaultRootRelerr = 1e-9;
constexpr double kDefaultRootAbserr = 1e-100;

double Sign(double v) { return v >= 0.0 ? 1.0 : -1.0; }

// Argument j (1-based, in the user's order) of a repeated-evaluation call.
int OperandOfArgument(const SPECIALCALL& call, int j) { return call.OperandCount() - j; }
double Argument(const SPECIALCALL& call, int j) { return call.Value(OperandOfArgument(call, j)); }

int RoundedHalfUp(double x) {
  int32_t value = 0;
  IntegerPartOfHalfUp(x, &value);
  return value;
}

double RoundedAwayFromZero(double x) { return std::trunc(x >= 0.0 ? x + 0.5 : x - 0.5); }

void StoreIntegrationOutcome(Compiler& language, int ier, double abserr, int neval) {
  language.SystemVariable(kIerVariable) = ier;
  language.SystemVariable(kAbsErrVariable) = abserr;
  language.SystemVariable(kNEvalVariable) = neval;
}

// The driver's code as the built-in reports it: the program goes on.
SPECIALOUTCOME IntegrationOutcome(const SPECIALCALL& call, int ier, double result) {
  call.SetResult(ier == kIerInvalidOperation ? kUndefined : result);
  return ier == 0 ? kGoOn : BuiltinFailure(ier, true);
}

// Work arrays of at least one element each.
struct WORKSPACE {
  int* iwork = nullptr;
  double* work = nullptr;
  bool Allocate(int64_t ints, int64_t doubles) {
    iwork = new (std::nothrow) int[static_cast<size_t>(std::max<int64_t>(ints, 1))];
    work = new (std::nothrow) double[static_cast<size_t>(std::max<int64_t>(doubles, 1))];
    return iwork != nullptr && work != nullptr;
  }
  ~WORKSPACE() {
    delete[] iwork;
    delete[] work;
  }
};

}  // namespace

// ---------------------------------------------------------------- the zero finder

void FindZero(ZEROFINDERSTATE* s, int* status, double* b, const double* fx, double* x, double* c, const double* relerr,
              const double* abserr) {
  switch (*status >= 0 ? 0 : *status) {
    case 0:  // Start: f at c first.
      s->ER = d1mach(s->machIndex);
      s->RW = std::max(s->ER, *relerr);
      s->AW = std::max(0.0, *abserr);
      s->IC = 0;
      s->ACBS = std::fabs(*b - *c);
      s->A = *c;
      *x = *c;
      *status = -1;
      return;
    case -1:  // f(c) arrived: f at b next.
      s->FA = *fx;
      *x = *b;
      *status = -2;
      return;
    case -2:
      s->FB = *fx;
      s->KOUNT = 2;
      s->FC = s->FA;
      s->FX = std::max(std::fabs(s->FB), std::fabs(s->FC));
      break;
    default:  // -3: f at the new b.
      s->FB = *fx;
      if (s->FB == 0.0) {
        *status = 2;
        return;
      }
      ++s->KOUNT;
      if (Sign(s->FB) == Sign(s->FC)) {
        *c = s->A;
        s->FC = s->FA;
      }
      break;
  }

  // b is the end with the smaller |f|.
  if (std::fabs(s->FB) > std::fabs(s->FC)) {
    s->A = *b;
    s->FA = s->FB;
    *b = *c;
    s->FB = s->FC;
    *c = s->A;
    s->FC = s->FA;
  }
  s->CMB = 0.5 * (*c - *b);
  s->ACMB = std::fabs(s->CMB);
  s->TOL = s->RW * std::fabs(*b) + s->AW;

  // Converged, or out of values.
  if (s->ACMB <= s->TOL) {
    if (Sign(s->FB) == Sign(s->FC)) {
      *status = 4;
    } else {
      *status = std::fabs(s->FB) > s->FX ? 3 : 1;
    }
    return;
  }
  if (s->KOUNT >= kMaxZeroFinderValues) {
    *status = 5;
    return;
  }

  // The next b: a secant step, a tolerance step or a bisection.
  s->P = (*b - s->A) * s->FB;
  s->Q = s->FA - s->FB;
  if (s->P < 0.0) {
    s->P = -s->P;
    s->Q = -s->Q;
  }
  s->A = *b;
  s->FA = s->FB;
  ++s->IC;
  bool bisected = false;
  if (s->IC >= 4) {
    if (8.0 * s->ACMB >= s->ACBS) {
      *b = (*b + *c) * 0.5;  // the interval shrinks too slowly
      bisected = true;
    } else {
      s->IC = 0;
      s->ACBS = s->ACMB;
    }
  }
  if (!bisected) {
    if (s->P <= std::fabs(s->Q) * s->TOL) {
      *b += s->CMB >= 0.0 ? std::fabs(s->TOL) : -std::fabs(s->TOL);
    } else if (s->P >= s->CMB * s->Q) {
      *b = (*b + *c) * 0.5;
    } else {
      *b += s->P / s->Q;
    }
  }
  *x = *b;
  *status = -3;
}

int SearchZero(FUNCTIONREF f, const ZEROFINDERSTATE& start, double* b, double* c, double relerr, double abserr,
               double* x, const bool* stop) {
  ZEROFINDERSTATE state = start;
  int status = 0;
  *x = (*b + *c) * 0.5;
  do {
    double fx = f(*x);
    if (stop != nullptr && *stop) return kSearchStopped;
    FindZero(&state, &status, b, &fx, x, c, &relerr, &abserr);
  } while (status < 0);
  return status;
}

// ---------------------------------------------------------------- summation and iteration

SummationStatus SumOverIntegers(FUNCTIONREF f, double from, double to, bool lastOnly, double* value, double* lastK,
                                const bool* stop) {
  *value = lastOnly ? kUndefined : 0.0;
  if (!std::isfinite(from) || !std::isfinite(to)) return kSummationNotFinite;
  double first = RoundedAwayFromZero(from);
  double last = RoundedAwayFromZero(to);
  // Beyond 2^53 the next k would not differ from k.
  if (std::max(std::fabs(first), std::fabs(last)) > kLargestExactStep) return kSummationStalls;
  double step = first <= last ? 1.0 : -1.0;
  double sum = 0.0;
  for (double k = first;; k += step) {
    double v = f(k);
    if (stop != nullptr && *stop) return kSummationStopped;
    if (lastOnly) {
      sum = v;
    } else {
      sum += v;
    }
    *lastK = k;
    if (k == last) break;
  }
  *value = sum;
  return kSummationDone;
}

SummationStatus SumWithStep(FUNCTIONREF f, double from, double to, double step, double* value, const bool* stop) {
  *value = 0.0;
  double h = std::fabs(step);
  if (h == 0.0) return kSummationZeroStep;
  if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(h)) return kSummationNotFinite;
  // Where |x| is largest on the way the steps are smallest against x: if
  // they vanish there, x stops before it reaches the bound.
  double widest = std::fabs(from) > std::fabs(to) ? from : to;
  if (widest + h == widest || widest - h == widest) return kSummationStalls;
  double sum = 0.0;
  double x = from;
  if (from <= to) {
    do {
      sum += f(x);
      if (stop != nullptr && *stop) return kSummationStopped;
      double next = x + h;
      if (next == x) return kSummationStalls;
      x = next;
    } while (x <= to);
  } else {
    do {
      sum += f(x);
      if (stop != nullptr && *stop) return kSummationStopped;
      double next = x - h;
      if (next == x) return kSummationStalls;
      x = next;
    } while (x >= to);
  }
  *value = sum;
  return kSummationDone;
}

// ---------------------------------------------------------------- the built-ins over one call

SPECIALOUTCOME RunIntegral(const SPECIALCALL& call, int code, FUNCTIONREF valueAt) {
  Compiler& language = *call.language;
  bool explicitTolerances = code == 75 || code == 77;
  double epsabs = explicitTolerances ? Argument(call, 5) : 0.0;
  double epsrel = explicitTolerances ? Argument(call, 6) : kDefaultEpsrel;
  int limit = explicitTolerances ? RoundedHalfUp(Argument(call, 7)) : kDefaultLimit;
  if (limit > kMaxLimit) return BuiltinFailure(kIntegralLimitTooLarge);

  WORKSPACE workspace;
  int64_t lenw = 4 * static_cast<int64_t>(limit);
  if (!workspace.Allocate(limit, lenw)) return BuiltinFailure(kIntegralNoMemory);
  int lenwArgument = static_cast<int>(std::max<int64_t>(lenw, 0));
  double result = 0.0, abserr = 0.0;
  int neval = 0, ier = 0, last = 0;
  if (code == 74 || code == 75) {
    dqags(valueAt, Argument(call, 3), Argument(call, 4), epsabs, epsrel, &result, &abserr, &neval, &ier, limit,
          lenwArgument, &last, workspace.iwork, workspace.work);
  } else {
    // The range: 1 (bound, +inf), -1 (-inf, bound), 2 the whole line.
    double range = Argument(call, 4);
    int inf;
    if (range >= 0.0 || std::isnan(range)) {
      inf = RoundedHalfUp(range);
      inf = inf == 0 ? 1 : std::min(inf, 2);
    } else {
      int32_t rounded = 0;
      IntegerPart(range - 0.5, &rounded);
      inf = rounded == 0 || rounded == -1 ? -1 : 2;
    }
    dqagi(valueAt, Argument(call, 3), inf, epsabs, epsrel, &result, &abserr, &neval, &ier, limit, lenwArgument, &last,
          workspace.iwork, workspace.work);
  }
  StoreIntegrationOutcome(language, ier, abserr, neval);
  return IntegrationOutcome(call, ier, result);
}

SPECIALOUTCOME RunWeightedIntegral(const SPECIALCALL& call, int code, FUNCTIONREF valueAt) {
  Compiler& language = *call.language;
  bool explicitTolerances = code == 79;
  double epsabs = explicitTolerances ? Argument(call, 7) : 0.0;
  double epsrel = explicitTolerances ? Argument(call, 8) : kDefaultEpsrel;
  int limit = explicitTolerances ? RoundedHalfUp(Argument(call, 9)) : kDefaultWeightedLimit;
  int maxp1 = explicitTolerances ? RoundedHalfUp(Argument(call, 10)) : kDefaultMaxp1;
  if (limit > kMaxWeightedLimit) return BuiltinFailure(kIntegralLimitTooLarge);
  if (maxp1 > kMaxMaxp1) return BuiltinFailure(kIntegralMomentsTooLarge);

  int weight = std::clamp(RoundedHalfUp(Argument(call, 6)), 1, 2);
  double omega = Argument(call, 5);
  if (omega == 0.0 && weight == 2) {  // the sine weight vanishes: nothing to evaluate
    StoreIntegrationOutcome(language, 0, 0.0, 1);
    call.SetResult(0.0);
    return kGoOn;
  }
  WORKSPACE workspace;
  int64_t lenw = 2 * static_cast<int64_t>(limit) + 25 * static_cast<int64_t>(maxp1);
  if (!workspace.Allocate(limit, lenw)) return BuiltinFailure(kIntegralNoMemory);
  double result = 0.0, abserr = 0.0;
  int neval = 0, ier = 0, last = 0;
  dqawo(valueAt, Argument(call, 3), Argument(call, 4), omega, weight, epsabs, epsrel, &result, &abserr, &neval, &ier,
        limit, maxp1, static_cast<int>(std::max<int64_t>(lenw, 0)), &last, workspace.iwork, workspace.work);
  StoreIntegrationOutcome(language, ier, abserr, neval);
  return IntegrationOutcome(call, ier, result);
}

SPECIALOUTCOME RunSummation(const SPECIALCALL& call, int code, FUNCTIONREF valueAt, const bool* stop) {
  double value = 0.0;
  SummationStatus status;
  if (code == 81) {
    status = SumWithStep(valueAt, Argument(call, 3), Argument(call, 4), Argument(call, 5), &value, stop);
  } else {
    double lastK = 0.0;
    status = SumOverIntegers(valueAt, Argument(call, 3), Argument(call, 4), code == 82, &value, &lastK, stop);
  }
  if (status == kSummationStopped) {
    call.SetResult(kUndefined);
    return {1, kNoProgramError, 0, 0};  // the evaluation's own error, or the interrupt, stands
  }
  if (status != kSummationDone) {
    call.SetResult(kUndefined);
    return BuiltinFailure(status);
  }
  call.SetResult(value);
  return kGoOn;
}

SPECIALOUTCOME RunRoot(const SPECIALCALL& call, int code, FUNCTIONREF valueAt, const bool* stop) {
  Compiler& language = *call.language;
  double b = Argument(call, 3);
  double c = Argument(call, 4);
  double relerr = code == 84 ? Argument(call, 5) : kDefaultRootRelerr;
  double abserr = code == 84 ? Argument(call, 6) : kDefaultRootAbserr;
  double x = 0.0;
  int status = SearchZero(valueAt, language.zeroFinderTemplate, &b, &c, relerr, abserr, &x, stop);
  if (status == kSearchStopped) {
    call.SetResult(kUndefined);
    return {1, kNoProgramError, 0, 0};  // the evaluation's own error, or the interrupt, stands
  }

  if (code == 83) {
    // The final interval and abscissa, written back where the arguments are
    // variables; a compiled constant keeps its value for the next execution,
    // and a system variable is not an argument's storage.
    auto writeBack = [&call, &language](int j, double value) {
      int k = OperandOfArgument(call, j);
      double* target = call.Operand(k);
      bool systemVariable = target >= language.systemValues && target < language.systemValues + kSystemVariableCount;
      if (call.OperandKind(k) != kOperandConstant && call.OperandKind(k) != kOperandExpression && !systemVariable) {
        *target = value;
      }
    };
    writeBack(4, c);
    writeBack(3, b);
    writeBack(2, x);
  } else {
    // The code goes to the output variable, whose address the argument holds.
    double code1 = status - 1;
    uintptr_t address = 0;
    if (AddressFromValue(Argument(call, 7), &address) && LanguageMemoryContains(language, address, sizeof code1)) {
      std::memcpy(reinterpret_cast<void*>(address), &code1, sizeof code1);
    }
  }
  call.SetResult(b);
  int subCode = status - 1;
  return subCode >= 2 && subCode <= 4 ? BuiltinFailure(subCode, true) : kGoOn;
}

// ---------------------------------------------------------------- the registered routines

namespace {

// The expression evaluated at t by the interpreter in range mode on the
// calling activation. An evaluation that does not finish (a runtime error
// in the expression, recorded there, or the user's interrupt) stops the
// built-in: later calls give NaN without evaluating.
class INLINEEXPRESSION {
 public:
  explicit INLINEEXPRESSION(const SPECIALCALL& call)
      : call_(call), variable_(call.Operand(OperandOfArgument(call, 2))) {}
  double operator()(double t) {
    if (stopped_) return kUndefined;
    *variable_ = t;
    double value = kUndefined;
    if (EvaluateInlineExpression(call_.frame, call_.state, call_.instruction, &value) != kRunFinished) {
      stopped_ = true;
      return kUndefined;
    }
    return value;
  }
  const bool* Stopped() const { return &stopped_; }

 private:
  const SPECIALCALL& call_;
  double* variable_;
  bool stopped_ = false;
};

// Runs a repeated-evaluation built-in; a stopped evaluation stops the program
// with the error (or interrupt) of the evaluation, not one of the built-in's.
template <typename Body>
int RunRepeated(int code, CALLFRAME* frame, CALLSTATE* state, int instruction, Body body) {
  SPECIALCALL call = SpecialCallOf(frame, state, instruction);
  INLINEEXPRESSION expression(call);
  SPECIALOUTCOME outcome = body(call, code, FUNCTIONREF(expression), expression.Stopped());
  language::currentProgram = call.code;
  if (*expression.Stopped()) return 1;
  return FinishSpecialCall(call, code, outcome);
}

}  // namespace

int BuiltinInt(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  return RunRepeated(code, frame, state, instruction, [](const SPECIALCALL& call, int c, FUNCTIONREF f, const bool*) {
    return RunIntegral(call, c, f);
  });
}

int BuiltinIntw(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  return RunRepeated(code, frame, state, instruction, [](const SPECIALCALL& call, int c, FUNCTIONREF f, const bool*) {
    return RunWeightedIntegral(call, c, f);
  });
}

int BuiltinSum(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  return RunRepeated(code, frame, state, instruction, RunSummation);
}

int BuiltinRoot(int code, CALLFRAME* frame, CALLSTATE* state, int instruction) {
  return RunRepeated(code, frame, state, instruction, RunRoot);
}
