#include "platform/floating_point.h"

FLOATINGPOINTENV SaveFloatingPointEnvironment() {
  FLOATINGPOINTENV saved;
  std::fegetenv(&saved.environment);
  return saved;
}

void RestoreFloatingPointEnvironment(const FLOATINGPOINTENV& saved) { std::fesetenv(&saved.environment); }

void ClearFloatingPointStatus() { std::feclearexcept(FE_ALL_EXCEPT); }

bool InvalidOperationRaised() { return std::fetestexcept(FE_INVALID) != 0; }

void RaiseInvalidOperation() { std::feraiseexcept(FE_INVALID); }

int RaisedFloatingPointFlags() { return std::fetestexcept(FE_ALL_EXCEPT); }

int EnabledFloatingPointTraps() { return fegetexcept(); }

// feholdexcept saves the environment, clears the flags and installs the
// non-stop mode (every exception masked) in one step.
FloatingPointScope::FloatingPointScope() { std::feholdexcept(&saved_.environment); }

FloatingPointScope::~FloatingPointScope() { RestoreFloatingPointEnvironment(saved_); }
