// The compiled form of one program block (PROGRAM, SUBROUTINE or PARAMETERS)
// and the per-program tables that the Compiler keeps for it.
//
// An instruction is one entry of a set of parallel arrays: its opcode (a
// built-in code 0..93, or an identifier code from 94 on: a formal parameter,
// a program, an array), its result slot, its operands (pointers to values:
// slots of this program, global-parameter or system-variable values of the
// Compiler) with their kinds, its source line and two flags of array stores.
// Blocks group instructions for the control flow: each block has an end, a
// jump target, the block to continue in and a loop marker.
//
// The value buffer holds the program's value slots, and, once the program is
// compiled, one 8-byte descriptor per slot behind them (the descriptor of
// slot s lies slotCount entries behind its value). The record owns its
// operand lists and its value buffer: a copy duplicates both, and operand
// pointers into the buffer follow it when it moves (growth, copy).
#pragma once

#include <cstdint>
#include <vector>

#include "core/containers.h"
#include "core/programinfo.h"
#include "language/instructions.h"

constexpr int kSystemSlotCount = 13;       // slots 0..12: "@0".."@9", IER, AbsErr, nEval
constexpr int kValueGrowthStep = 100;      // slots added at a time
constexpr int kMaxFormalParameters = 20;

// The reference that an array or function argument carries in the
// descriptor of its value slot.
struct VALUEDESCRIPTOR {
  uint16_t objectIndex;  // array, built-in or program index
  uint16_t kindWord;     // reference kind in the top 3 bits, dimension index in the low 13
  int32_t offset;        // first referenced element within the next dimension
};
static_assert(sizeof(VALUEDESCRIPTOR) == sizeof(double));

// Error kinds of a program's error record.
enum ProgramErrorKind : int32_t {
  kNoProgramError = 0,
  kArrayReferenceError = 1,
  kBuiltinError = 2,
  kCallDepthError = 4,          // nesting of program calls exceeded
  kEvaluationNestingError = 6,  // nesting of repeated evaluations exceeded
};

// The scalar members of a compiled program, copied as they stand.
struct PROGRAMCODEHEADER {
  int32_t slotCount = 0;           // value slots: 13 + formal + global parameters + own variables, then one per added slot
  int32_t instructionCount = 0;
  int32_t compiling = 0;           // 1 while the program compiler works on the block
  int32_t compilerCounters[8] = {};// the program compiler's counters
  int32_t errorKind = kNoProgramError;
  double timeLimit = 2.0;          // seconds of running time before the reader's warning
  int32_t compilerFields[9] = {};  // the program compiler's work fields
  uint8_t parameterUsed[kMaxFormalParameters] = {};  // 1 for each formal parameter a statement uses
  int16_t compilerShortField = 0;
  int32_t compilerIntField = 0;
  int32_t nestingCount = 0;        // activations of this program now running
  int32_t syntaxErrorLine = -1;    // source line of the syntax error that stopped the compilation
  int32_t errorCode = 0;           // the recorder's code (array error code or built-in sub-code)
  int32_t errorArray = 0;          // kind 1: array index + 1; 0 none
  int32_t errorProgram = -2;       // -2 none; -1 the program started by the run; else the program's index
  int32_t errorBuiltin = 0;        // kind 2: built-in code + 1; 0 none
  int32_t errorLine = -1;          // source line of the failing instruction
  int32_t warningLine = -1;        // source line of the last syntax warning
  int32_t currentInstruction = -1; // -1 when no activation is in progress or it finished
  int32_t interruptedAt = -1;      // where an earlier activation stopped without finishing
  int16_t blockCount = 0;
  int32_t compilerState = 0;       // 0 when the run driver adds the program
  int32_t valueCapacity = 0;       // slots (doubles) the value buffer holds
  int32_t growthStep = kValueGrowthStep;
  int32_t slotCountCopy = 0;       // the slot count, kept beside the buffer
  int32_t bufferCounters[2] = {};  // 0 after Reset
  int32_t compiledFormalCount = 0;   // formal parameters, as compiled (the first program code follows them)
  int32_t compiledProgramCount = 0;  // programs counted in the identifier codes when the program was compiled
};

class CProgramCode : public PROGRAMCODEHEADER {
 public:
  CProgramCode();
  CProgramCode(const CProgramCode& other);
  // Deep copy: arrays, operand lists and value buffer are duplicated, and
  // operand pointers into the source's buffer point into the copy's.
  CProgramCode& operator=(const CProgramCode& other);
  ~CProgramCode();

  // Prepares the record for compiling a block with formalCount formal
  // parameters and ownCount own variables, with the global-parameter, program
  // and declared-array counts of activeCompiler.
  void Reset(int formalCount, int ownCount);
  // Clears the error record (no error, nothing running).
  void ClearErrorState();

  // Appends one instruction; its operand kinds and pointers are copied into
  // lists that the record owns. Returns the instruction's index.
  int AppendInstruction(int opcode, int resultSlot, int sourceLine, int operandCount, const int32_t* kinds,
                        double* const* operands);
  // Adds a value slot (zero) and returns its index; the buffer grows by the
  // growth step whenever the slot count reaches its capacity.
  int AddValueSlot();
  // Sizes the buffer for running: the values and one descriptor per slot
  // (twice the slot count), the descriptors zero.
  void SizeValueBufferForRun();

  int OperandCount(int instruction) const { return operandCounts.Items<int32_t>()[instruction]; }
  double** Operands(int instruction) const { return operandLists.Items<double**>()[instruction]; }
  int32_t* OperandKinds(int instruction) const { return operandKindLists.Items<int32_t*>()[instruction]; }
  // Source line of an instruction; -1 outside the list.
  int SourceLineOf(int instruction) const;

  // The identifier codes of the compiled program (instructions.h).
  CODELAYOUT Layout() const { return {compiledFormalCount, compiledProgramCount}; }

  // The descriptor of a value slot; false when the buffer holds none for it.
  bool ReadDescriptor(int slot, VALUEDESCRIPTOR* descriptor) const;
  bool WriteDescriptor(int slot, const VALUEDESCRIPTOR& descriptor);

  // The 17 instruction and block arrays.
  CDynArray programFlags{1};      // per program of the Compiler: set by the program compiler
  CDynArray arrayFlags{1};        // per declared array: set by the program compiler
  CDynArray arrayFlags2{1};       // per declared array: a second flag, likewise
  CDynArray slotReadOnly{1};      // per value slot: 1 for a slot no statement may assign
  CDynArray blockConditional{1};  // per block: 1 when its last instruction computes a condition
  CDynArray targetFlags{1};       // per instruction: its array access designates a later store's element
  CDynArray storeFlags{1};        // per instruction: its result is stored into the designated element
  CDynArray resultSlots{4};       // per instruction: the slot that receives the result
  CDynArray opcodes{4};           // per instruction
  CDynArray operandCounts{4};     // per instruction
  CDynArray sourceLines{4};       // per instruction: source-line index
  CDynArray blockEnds{4};         // per block: first instruction after the block
  CDynArray jumpTargets{4};       // per block: instruction to continue at when the block is left by a jump
  CDynArray nextBlocks{4};        // per block: block to continue in after that jump
  CDynArray loopMarkers{4};       // per block: negative unless the block ends a loop
  CDynArray operandKindLists{static_cast<int>(sizeof(int32_t*))};  // per instruction: its operand kinds
  CDynArray operandLists{static_cast<int>(sizeof(double**))};      // per instruction: its operand pointers

  double* values = nullptr;       // the value buffer (valueCapacity doubles)

 private:
  void CopyFrom(const CProgramCode& other);
  void FreeOperandLists();
  // Moves the buffer to one of newCapacity slots: contents kept, new slots
  // zero, operand pointers into the old buffer carried over.
  void ResizeValueBuffer(int newCapacity);
  void FreeValueBuffer();
};

// The formal-parameter list of one program, as the program parser leaves it.
struct PARAMLIST {
  int32_t count = 0;                          // number of formal parameters
  uint8_t kind[kMaxFormalParameters] = {};    // kind byte of each: 0 value, 1 output variable, 2..21 array, 22.. function
  CStr header;                                // the list as written, in normal form with comments
  CStr list;                                  // the parameters in normal form, joined by ", "
};

// The records that the Compiler keeps per program block.
struct PROGRAMRECORD {
  PROGRAMINFO info{};
  CProgramCode code;
  PARAMLIST parameters;
  CStrArray outputLines;              // lines the program wrote in directive mode
  CDynArray outputLineSources{4};     // source line of the instruction that wrote each line
  std::vector<int64_t> linePositions; // input-file position of each source line
  int64_t startPosition = 0;          // where the block text begins
  int64_t endPosition = 0;            // where its END line begins
};

namespace language {
// The work arrays of the program compiler: the postfix queue and the operator
// stack of one expression. They live for the whole run; the Compiler's
// destructor frees their blocks.
extern CDynArray postfixCodes;
extern CDynArray postfixKinds;
extern CDynArray postfixValues;
extern CDynArray operatorCodes;
extern CDynArray operatorKinds;
extern CDynArray operatorValues;
}  // namespace language
void FreeCompilerWorkArrays();
