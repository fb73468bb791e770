// The driver's return convention for functions that can fail.
//
// A status function returns a Status: kOk (0) when it succeeded and the run
// goes on; otherwise the exit code that the failure calls for, kInputError
// (1) for input, data and count errors or kDeviceError (2) for device errors,
// after the message has been printed (by the function, or by its caller
// where the function's comment says so). A caller hands a non-zero status up
// unchanged, `if (Status s = Step()) return s;`, until main ends the run with
// it; the one exit is there.
//
// Nothing else means success: a function that answers a question (a file
// found, a word that is a keyword) or that leaves the failure to its caller
// without a code of its own (an allocation) returns bool, true for yes or
// done; counts and values that a status function produces go out through
// pointer arguments, never as the return value.
#pragma once

using Status = int;

inline constexpr Status kOk = 0;
inline constexpr Status kInputError = 1;   // input, data and count errors: exit code 1
inline constexpr Status kDeviceError = 2;  // device errors: exit code 2
