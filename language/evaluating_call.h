// One call of a special built-in (codes 70..93) as its routine sees it: the
// Compiler, the running program, the call instruction with its operands and
// result slot, and the interpreter's records of the activation, which the
// routine only hands back. A routine returns a SPECIALOUTCOME; the
// interpreter records its error (the first of a run) and goes on or stops.
#pragma once

#include <cstdint>

#include "language/builtin_table.h"
#include "language/interpreter.h"
#include "language/program_code.h"

class Compiler;
struct ARRAYINFO;

struct SPECIALCALL {
  Compiler* language = nullptr;
  CProgramCode* code = nullptr;  // the running activation's program
  int instruction = -1;          // the call instruction
  CALLFRAME* frame = nullptr;    // the interpreter's activation (not read here)
  CALLSTATE* state = nullptr;

  int OperandCount() const { return code->OperandCount(instruction); }
  double* Operand(int k) const { return code->Operands(instruction)[k]; }
  double Value(int k) const { return *Operand(k); }
  int32_t OperandKind(int k) const { return code->OperandKinds(instruction)[k]; }
  // The value slot that operand k points at; -1 when it points elsewhere (a
  // global parameter, a system variable).
  int SlotOf(int k) const;
  // The reference descriptor of the slot that operand k points at; false when
  // there is none.
  bool Reference(int k, VALUEDESCRIPTOR* descriptor) const;
  // The result slot of the call.
  double* Result() const;
  void SetResult(double value) const { *Result() = value; }
  // Gives the result slot a reference descriptor.
  void SetResultReference(const VALUEDESCRIPTOR& descriptor) const;
};

// What a routine asks of the interpreter when it returns.
struct SPECIALOUTCOME {
  int32_t stop = 0;                     // 1: the program stops
  int32_t errorKind = kNoProgramError;  // kArrayReferenceError or kBuiltinError to record
  int32_t arrayIndex = 0;               // the array of an array error
  int32_t subCode = 0;                  // the built-in's sub-code, or the array error's code
};

constexpr SPECIALOUTCOME kGoOn{};
// A built-in error with its sub-code; the program stops unless goOn.
SPECIALOUTCOME BuiltinFailure(int subCode, bool goOn = false);
// An array error (1 index out of bounds, 2 not allocated, 3 read-only); the program stops.
SPECIALOUTCOME ArrayFailure(int arrayIndex, int subCode);

// Array error codes.
enum ArrayErrorCode : int32_t {
  kArrayIndexOutOfBounds = 1,
  kArrayNotAllocated = 2,
  kArrayReadOnly = 3,
};

// An array argument as the routines use it: one run of elements along the
// last dimension, from the referenced element on.
struct ARRAYARGUMENT {
  int index = -1;                    // in the Compiler's table; at or beyond its count: a built-in array
  const ARRAYINFO* array = nullptr;  // null for a built-in array
  int level = 0;                     // leading dimensions fixed by indices
  int offset = 0;                    // first referenced element within the next dimension
  unsigned char* data = nullptr;     // the referenced element; null for address 0
  int extent = 0;                    // ArrayExtent: the last dimension's extent minus the offset,
                                     // no more than the elements left in the array's block
  bool outside = false;              // the address lies outside the array's block
};
// Reads array argument k (the value is the data address, the slot's
// descriptor names the array). False when the operand carries no array
// reference.
bool ReadArrayArgument(const SPECIALCALL& call, int k, ARRAYARGUMENT* argument);
// Elements of the array's block from `data` on (0 when data lies outside it).
int64_t ElementsLeft(const ARRAYINFO& array, const unsigned char* data, int elementSize);

// ---------------------------------------------------------------- the interpreter's side
// Defined with the interpreter's records (activation_link.cpp).

// The call that the interpreter hands to a special routine.
SPECIALCALL SpecialCallOf(CALLFRAME* frame, CALLSTATE* state, int instruction);
// Records the outcome's error as the interpreter records errors (only the
// first of a run), and, for an error after which the program goes on,
// gives the running activation back its current instruction. Returns the
// routine's value: 0 go on, 1 stop.
int FinishSpecialCall(const SPECIALCALL& call, int code, const SPECIALOUTCOME& outcome);
