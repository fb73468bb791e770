// Every instruction of a compiled program, with its operands.
//
// An instruction is an opcode, a result slot, a list of operands (each a
// pointer to a double and an OperandKind), a source line and two flags of
// array stores (the parallel arrays of CProgramCode). The opcode is a built-in code (the
// one table of the 94 built-ins, builtin_table.h) or an identifier code of
// 94 and up. Every instruction leaves its value in its result slot; the last
// value of a program is the value of the last instruction it executed.
//
//   opcode                         operands                        result
//   0..4, 6..13 operators          left, right                     the operation
//   5 Equality (assignment)        the variable (kOperandVariable), the value
//                                                                  the variable's slot; the value is also
//                                                                  stored through the first operand, and with
//                                                                  the store flag into the designated element
//   14..23 text built-ins          index of the first string constant, count n
//                                  of numbers (both kOperandConstant), n numbers
//   24..69 ordinary built-ins      their arguments
//   70 loc                         a LocMode (kOperandConstant), the argument:
//                                    kLocVariable   the variable (kOperandVariable): its address
//                                    kLocReference  a value that carries a reference (kOperandReference)
//                                    kLocFormal     the formal parameter's number (kOperandConstant)
//                                    kLocArray, kLocBuiltin, kLocProgram
//                                                   the array, built-in or program index (kOperandConstant)
//                                                                  an address or a function number, with a
//                                                                  reference descriptor (kOperandReference)
//   71..73, 85..93 special         their arguments; an array argument is the result of a loc
//                                  (kOperandReference), Root2's output variable too
//   74..84 repeated evaluation     the arguments in reverse order: operand 0 the last argument, ...,
//                                  operand n-2 the variable (kOperandVariable, written by the built-in),
//                                  operand n-1 kOperandExpression: a slot that holds the index of the
//                                  first instruction of the inline expression. The expression runs from
//                                  there to the instruction before the call, and its first instruction
//                                  begins a block; in straight-line order the block in front of it jumps
//                                  to the call, so the expression runs only when the built-in evaluates
//                                  it (range mode).
//   85 Return                      the value
//   94 + j, formal parameter j     array access on the bound array (operands as below), or a call of the
//                                  bound function (operands as for a program call)
//   program codes                  a program call: one operand per formal parameter: a number; an output
//                                  variable's address (a loc result); an array or function reference (a
//                                  loc result, kOperandReference)
//   array codes                    array access: the indices, then an ArrayAccessMode (kOperandConstant)
//
// Identifier codes: 94 + j for formal parameter j (j < the formal count of
// the program), then 94 + formal count + p for program p (p < the program
// count when the program was compiled), then the arrays: 94 + formal count
// + program count + a. Both counts are recorded in the
// CProgramCode; programs added later do not move the codes of a compiled one.
//
// Control flow. Instructions fall into blocks that follow one another: block
// b holds the instructions from the end of block b - 1 to its own end. At the
// end of block b: a conditional block (its last instruction computes a
// condition) whose value is not 0 goes on into block b + 1 at the same
// instruction; any other block end goes on at its jump target, in its next
// block (a target at the very end of that block is at once the end of that
// block). The activation ends when the instruction index reaches the
// instruction count; the last block's jump target is the instruction count
// and its next block is itself. A loop marker that is not negative marks a
// block whose end returns to a loop's condition.
#pragma once

#include <cstdint>

#include "language/builtin_table.h"

constexpr int kFirstIdentifierCode = kBuiltinCount;  // 94: the first formal parameter's code
constexpr int kLocBuiltin = 70;

// What an operand points at.
enum OperandKind : int32_t {
  kOperandValue = 0,       // a value: a slot of the program, a global parameter or a system variable
  kOperandVariable = 1,    // a variable that the instruction writes or whose address it takes
  kOperandConstant = 2,    // a read-only slot that holds a constant
  kOperandReference = 3,   // a result slot that carries a reference descriptor (array, function, address)
  kOperandExpression = 4,  // a read-only slot: the first instruction of an inline expression
};

// Operand 0 of loc: what its argument is.
enum LocMode : int32_t {
  kLocReferenceMode = -1,  // a value that already carries a reference
  kLocFormalMode = 0,      // a formal parameter of the running program (its number)
  kLocVariableMode = 1,    // a variable: its address
  kLocArrayMode = 2,       // a user array (its index)
  kLocBuiltinMode = 3,     // a built-in function (its code)
  kLocProgramMode = 4,     // a program (its index)
};

// The last operand of an array access: -1 reads the element; n >= 0 gives
// the address of the element (or sub-array) that n indices reach, with a
// reference descriptor in the result slot.
constexpr double kReadElement = -1.0;

// The place of a code among the identifier codes of a program.
struct CODELAYOUT {
  int32_t formalCount;       // formal parameters of the program
  int32_t programCodeCount;  // programs counted in its codes

  int FormalCode(int j) const { return kFirstIdentifierCode + j; }
  int ProgramCode(int p) const { return kFirstIdentifierCode + formalCount + p; }
  int ArrayCode(int a) const { return kFirstIdentifierCode + formalCount + programCodeCount + a; }
  bool IsFormal(int code) const { return code >= kFirstIdentifierCode && code < ProgramCode(0); }
  bool IsProgram(int code) const { return code >= ProgramCode(0) && code < ArrayCode(0); }
  bool IsArray(int code) const { return code >= ArrayCode(0); }
};
