// The built-ins that evaluate an expression of the user's program many
// times: "Int", "Int2", "Inti", "Inti2" (74..77), "Intw", "Intw2" (78, 79),
// "Sum" (80), "Sum2" (81), "Iter" (82), "Root" (83) and "Root2" (84).
//
// Their operands stand in reverse order: operand 0 is the last argument,
// operand n-2 the variable (which the built-in sets to each abscissa or
// index) and operand n-1 the first instruction of the inline expression.
// The algorithms are plain functions over a callable that evaluates the
// expression at t (sets the variable to t and runs the expression); the
// registered routines hand them the callable that runs the expression in the
// interpreter.
#pragma once

#include <cstdint>

#include "language/adaptive_integration.h"
#include "language/builtin_table.h"
#include "language/evaluating_call.h"
#include "language/root_finder.h"

// ---------------------------------------------------------------- algorithms

// One step of the reverse-communication zero search of Shampine and Watts
// (SLATEC's DFZERO, without an initial guess) for a sign change of f in
// [b, c]. A status >= 0 starts a search; on return a negative status asks
// for f at *x, to be passed in *fx with the same status; a positive status
// ends it: 1 b is a zero within the tolerance (relerr |b| + abserr), 2
// f(b) = 0 was hit, 3 b is likely a pole (|f(b)| grew above both starting
// values), 4 no sign change (no odd-order zero), 5 500 values were used.
void FindZero(ZEROFINDERSTATE* state, int* status, double* b, const double* fx, double* x, double* c,
              const double* relerr, const double* abserr);

// A whole root search: f at the midpoint first (not used by the search),
// then the values FindZero asks for. Returns the final status; b, c and x
// hold the search's last values. A search whose *stop turns true after an
// evaluation ends there with status kSearchStopped.
constexpr int kSearchStopped = -100;
int SearchZero(FUNCTIONREF f, const ZEROFINDERSTATE& start, double* b, double* c, double relerr, double abserr,
               double* x, const bool* stop = nullptr);

// How a summation or iteration ended.
enum SummationStatus : int {
  kSummationDone = 0,
  kSummationZeroStep = 1,   // Sum2 with a step of 0
  kSummationStalls = 2,     // the variable stops advancing (x + step == x)
  kSummationNotFinite = 3,  // a bound or the step is not a finite number
  kSummationStopped = 4,    // *stop turned true after an evaluation
};

// Sum (lastOnly false) or Iter (lastOnly true) over k = from, from +- 1, ...,
// to, each bound rounded half away from zero. *value is the sum or the last
// value; *lastK the last k evaluated.
SummationStatus SumOverIntegers(FUNCTIONREF f, double from, double to, bool lastOnly, double* value, double* lastK,
                                const bool* stop = nullptr);
// Sum2: x = from, from + h, ... while x <= to (from <= to), or from, from - h,
// ... while x >= to, h = |step|, x carried by repeated addition.
SummationStatus SumWithStep(FUNCTIONREF f, double from, double to, double step, double* value,
                            const bool* stop = nullptr);

// ---------------------------------------------------------------- the built-ins over one call

// Sub-codes of the integration built-ins beyond the driver's codes 1..6 and 10.
constexpr int kIntegralLimitTooLarge = 7;
constexpr int kIntegralMomentsTooLarge = 8;
constexpr int kIntegralNoMemory = 9;

// valueAt(t) sets the call's variable to t and evaluates the expression; an
// evaluation that the program cannot finish (a runtime error in the
// expression, the user's interrupt) sets *stop, after which valueAt gives
// NaN without evaluating and the built-in ends at once (an integration at
// the NaN, with code 10).
SPECIALOUTCOME RunIntegral(const SPECIALCALL& call, int code, FUNCTIONREF valueAt);          // 74..77
SPECIALOUTCOME RunWeightedIntegral(const SPECIALCALL& call, int code, FUNCTIONREF valueAt);  // 78, 79
SPECIALOUTCOME RunSummation(const SPECIALCALL& call, int code, FUNCTIONREF valueAt,
                            const bool* stop = nullptr);                                                     // 80..82
SPECIALOUTCOME RunRoot(const SPECIALCALL& call, int code, FUNCTIONREF valueAt, const bool* stop = nullptr);  // 83, 84

// The registered routines.
int BuiltinInt(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinIntw(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinSum(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);   // Sum, Sum2, Iter
int BuiltinRoot(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);  // Root, Root2
