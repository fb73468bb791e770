// The floating-point environment of the calling thread: the status flags, the
// rounding mode and the exception masks of the x87 and SSE units, as <cfenv>
// keeps them. The language's integration routines save it on entry, run with
// every exception masked and the status cleared, test the status for an
// invalid operation after each evaluation of the integrand, and restore the
// caller's environment on every return.
#pragma once

#include <cfenv>

// A saved environment (flags, rounding, masks).
struct FLOATINGPOINTENV {
  std::fenv_t environment;
};

// The calling thread's environment as it stands.
FLOATINGPOINTENV SaveFloatingPointEnvironment();
// Puts a saved environment back: flags, rounding and masks as they were saved.
void RestoreFloatingPointEnvironment(const FLOATINGPOINTENV& saved);
// Clears the five status flags (invalid, division by zero, overflow,
// underflow, inexact).
void ClearFloatingPointStatus();
// True when an invalid operation has raised its flag since the last clear.
bool InvalidOperationRaised();
// Raises the invalid-operation flag (a routine that finds a value that is not
// a number marks it as the operation that made it would have).
void RaiseInvalidOperation();
// The status flags that are raised (FE_* bits).
int RaisedFloatingPointFlags();
// The exceptions whose traps are enabled (FE_* bits).
int EnabledFloatingPointTraps();

// Saves the environment, clears the status and masks every exception (no
// operation traps inside the scope); the destructor restores the saved
// environment, so that flags raised inside the scope do not reach the caller.
class FloatingPointScope {
 public:
  FloatingPointScope();
  ~FloatingPointScope();
  FloatingPointScope(const FloatingPointScope&) = delete;
  FloatingPointScope& operator=(const FloatingPointScope&) = delete;

 private:
  FLOATINGPOINTENV saved_;
};
