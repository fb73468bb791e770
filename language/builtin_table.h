// The 94 built-in codes of the language in one table indexed by the code:
// name, arguments and the routine that runs them. Codes 0..13 are the
// operators, 14..69 the ordinary built-ins (numbers in, a number out), 70..93
// the special built-ins that read their operands from the call instruction.
// Every other table of the Compiler that concerns built-ins is filled from
// this one.
#pragma once

#include <cstdint>

struct CALLFRAME;  // one activation's entry data (the interpreter's)
struct CALLSTATE;  // one activation's working state (the interpreter's)

constexpr int kBuiltinCount = 94;
constexpr int kOrdinaryBuiltinCount = 70;   // codes 0..69 take numbers only
constexpr int kFirstIdentifierBuiltin = 14; // codes 0..13 are operators, never looked up as names
constexpr int kFirstRepeatedBuiltin = 74;   // Int .. Root2 evaluate a user expression repeatedly
constexpr int kLastRepeatedBuiltin = 84;
constexpr int kReturnBuiltin = 85;          // "Return": handled by the interpreter, no routine
constexpr int kMaxBuiltinArguments = 20;

// Argument kinds of a special built-in (codes 70..93).
enum ArgumentKind : uint8_t { kArgNumber = 0, kArgOutputVariable = 1, kArgArray = 2, kArgMatrix = 3 };

// An ordinary built-in: takes pointers to its argument values, returns the result.
using OrdinaryBuiltin = double (*)(double** args);
// A special built-in: reads its operands through the call instruction, writes
// its own result slot; returns 0 to go on, 1 to stop the program after
// recording an error.
using SpecialBuiltin = int (*)(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);

struct BUILTININFO {
  int16_t code;
  const char* name;
  uint8_t argumentCount;                      // the number the compiler demands
  uint8_t argumentKinds[kMaxBuiltinArguments];// ArgumentKind of each (codes 70..93)
  bool repeats;                               // evaluates an expression repeatedly
  OrdinaryBuiltin ordinary;                   // codes 0..69
  SpecialBuiltin special;                     // codes 70..93; none for Return
};

namespace language {
extern const BUILTININFO kBuiltins[kBuiltinCount];

// The code of "Return", which the interpreter treats itself.
extern int returnFunctionIndex;
}  // namespace language
