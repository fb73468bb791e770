// The builder through which the program compiler writes a CProgramCode:
// value slots (variables, constants, intermediate results), instructions with
// their operands, and the blocks of the control flow. A block is closed where
// a condition ends or a body closes; its jump is set when it is closed (to
// fall through to the next block) and patched later when it must go
// elsewhere (past a body, back to a loop's condition, over an inline
// expression).
#pragma once

#include <cstdint>
#include <vector>

#include "language/instructions.h"

class Compiler;
class CProgramCode;

// Where an operand's value lives, before it is turned into a pointer.
struct OPERAND {
  enum Place : uint8_t { kSlot, kGlobal, kSystem };
  Place place = kSlot;
  int32_t index = 0;             // slot of the program, global parameter or system variable
  int32_t kind = kOperandValue;  // OperandKind
  bool designated = false;       // the result of an array access that designates a store target
};

constexpr int kMaxBlocks = INT16_MAX;  // the record counts its blocks in 16 bits

class ProgramEmitter {
 public:
  ProgramEmitter(Compiler& language, CProgramCode& code);

  // A new slot for an intermediate result.
  int NewTemporary();
  // A new read-only slot that holds a constant, as an operand.
  OPERAND Constant(double value, int32_t kind = kOperandConstant);
  // A new slot for a variable; it holds the undefined value until assigned.
  int NewVariable();

  // Appends an instruction; returns its index.
  int Emit(int opcode, int resultSlot, const std::vector<OPERAND>& operands, int line);
  void MarkTarget(int instruction);
  void MarkStore(int instruction);
  int InstructionCount() const;

  // The block that the next instruction falls into.
  int OpenBlock() const { return blocks_; }
  // Closes the open block after the last instruction; it falls through to the
  // next block. Returns its index, or -1 when the record cannot hold another.
  int EndBlock(bool conditional);
  void SetJump(int block, int target, int nextBlock);
  void SetLoopMarker(int block, int marker);
  // Closes the last block: its jump goes to the end and it is its own next
  // block. False when the record cannot hold it.
  bool Finish();

 private:
  double* Address(const OPERAND& operand) const;

  Compiler& language_;
  CProgramCode& code_;
  int blocks_ = 0;  // blocks closed so far
};
