// The interpreter of compiled programs: one activation of a program (the
// program that a run starts, or a called SUBROUTINE or PROGRAM) runs its
// instruction list block by block (instructions.h gives the block contract);
// a repeated evaluation re-runs the instructions of its inline expression in
// range mode on the activation of its caller.
//
// Built-ins reach the running activation through their CALLFRAME and
// CALLSTATE and through currentProgram, the CProgramCode whose instruction
// they execute. Runtime errors are recorded in the programs' error records
// (SetArrayError, SetBuiltinError) and reported after the run.
//
// Variables belong to their program, not to an activation: when a program is
// entered again while it runs (recursion, direct or through other programs),
// the values and descriptors of the activation that is suspended are kept
// aside and put back when the inner activation ends, so that every activation
// sees its own variables. An output variable of a suspended activation that is
// passed on reaches it where it is kept.
#pragma once

#include <cstdint>

#include "language/arrays.h"
#include "language/program_code.h"
#include "language/root_finder.h"

class Compiler;
struct PROGRAMINFO;

constexpr int kMaxCallDepth = 1000;       // nested program calls of one run
constexpr int kMaxEvaluationLevels = 20;  // nested repeated evaluations of one activation

// Reference kinds, in the top three bits of a descriptor's kind word.
enum ReferenceKind : int {
  kReferenceNone = 0,
  kReferenceAddress = 1,  // the address of a variable
  kReferenceArray = 2,    // an array, a part of it or an element
  kReferenceBuiltin = 3,  // a built-in function
  kReferenceProgram = 4,  // a program
};

constexpr uint16_t kDescriptorLevelMask = 0x1FFF;
inline uint16_t DescriptorKindWord(int kind, int level) {
  return static_cast<uint16_t>((kind << 13) | (level & kDescriptorLevelMask));
}
inline int DescriptorKind(const VALUEDESCRIPTOR& descriptor) { return descriptor.kindWord >> 13; }
inline int DescriptorLevel(const VALUEDESCRIPTOR& descriptor) { return descriptor.kindWord & kDescriptorLevelMask; }

// How an activation ended, or how far a range went.
enum RunStatus : int {
  kRunFinished = 0,     // it ran to its end (or to a Return)
  kRunStopped = 1,      // a runtime error stopped it; the error is recorded
  kRunInterrupted = 2,  // the user interrupted the program (Esc, then Q)
};

// One activation's entry data.
struct CALLFRAME {
  int32_t program;           // index of the program; -1 for the program started by the run
  PROGRAMINFO* info;         // its diagnostic record
  CProgramCode* code;        // its compiled code
  CProgramCode* callerCode;  // the code of the calling activation (code itself for the started program)
  double argumentValues[kMaxFormalParameters];                // the value of each argument
  VALUEDESCRIPTOR argumentDescriptors[kMaxFormalParameters];  // for array and function arguments
};

// What a formal parameter of an activation is bound to.
struct BINDING {
  uint8_t kind;                 // ReferenceKind: none (a number), address (output variable), array, function
  uint16_t level;               // array: leading dimensions of the array that the reference has fixed
  uint16_t objectIndex;         // array index, built-in code or program index
  int32_t remainingDimensions;  // array: dimensions left to index
  int32_t extent;               // array: extent of the first remaining dimension from the offset on
  uintptr_t pointer;            // output variable: the caller's variable; array: the first referenced element
  int32_t offset;               // array: first referenced index of the first remaining dimension
};

// One activation's working state.
struct CALLSTATE {
  int32_t formalCount;   // formal parameters (0 for the started program)
  int32_t currentBlock;  // the block being executed
  BINDING bindings[kMaxFormalParameters];
  int32_t slotCount;                                  // the program's value slots
  int32_t endOfProgramCodes;                          // codes from 94 + formal count up to here are programs
  int32_t firstArrayCode;                             // codes from here on are arrays
  int32_t currentLevel;                               // repeated evaluation in progress (-1 none)
  int32_t deepestLevel;                               // deepest level entered so far (-1 none)
  int32_t zeroFinderLevel;                            // the level counter of Root and Root2 (-1 none)
  ZEROFINDERSTATE zeroFinders[kMaxEvaluationLevels];  // one root search per level
  // The array element that the assignment being executed stores into.
  int32_t designatedArray;  // array index (-1 none)
  void* designatedElement;
  int32_t designatedType;  // ArrayElementType
};

// An array reference resolved against the array table: the run of elements
// that a reference designates.
struct ARRAYREFERENCE {
  int32_t array;  // index in the Compiler's array table
  const ARRAYINFO* info;
  unsigned char* first;         // the first referenced element
  int32_t level;                // leading dimensions fixed by the reference
  int32_t offset;               // first referenced index of dimension `level`
  int32_t extent;               // elements of dimension `level` from the offset on
  int32_t remainingDimensions;  // dimensionCount - level
};

namespace language {
// The CProgramCode of the activation being executed.
extern CProgramCode* currentProgram;
}  // namespace language

// Records a runtime error of an array reference (kind 1) or of a built-in
// (kind 2, the built-in's code) at an instruction of frame's program, when its
// record holds no error yet; a called program's error goes to the calling
// activation's record as well. The caller stops the activation (a special
// built-in returns 1).
void SetArrayError(CALLFRAME* frame, int array, int instruction, Compiler* language, int code);
void SetBuiltinError(CALLFRAME* frame, int builtin, int instruction, Compiler* language, int code);

// The slot that receives the result of an instruction of code.
inline double& ResultOf(const CProgramCode& code, int instruction) {
  return code.values[code.resultSlots.Items<int32_t>()[instruction]];
}

// The descriptor that accompanies operand k of an instruction (a result of
// loc or of an address access); false when the operand is no value slot of
// the program.
bool OperandDescriptor(const CProgramCode& code, int instruction, int k, VALUEDESCRIPTOR* descriptor);

// Resolves operand k of an instruction as an array reference: its descriptor
// must name an array and the value its first element, within the array's
// elements. False when it does not.
bool ResolveArrayReference(const Compiler& language, const CProgramCode& code, int instruction, int k,
                           ARRAYREFERENCE* reference);

// Evaluates the inline expression of the repeated evaluation at `instruction`
// (its last operand names the expression's first instruction) once, on the
// caller's activation, leaving the value in *value (a Return inside the
// expression ends the evaluation with its value). Returns the RunStatus: a
// special built-in returns 1 for anything but kRunFinished, and the
// interpreter tells an error from the user's interrupt.
int EvaluateInlineExpression(CALLFRAME* frame, CALLSTATE* state, int instruction, double* value);
