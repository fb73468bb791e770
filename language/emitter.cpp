#include "language/emitter.h"

#include "language/compiler.h"
#include "language/program_code.h"

ProgramEmitter::ProgramEmitter(Compiler& language, CProgramCode& code) : language_(language), code_(code) {}

int ProgramEmitter::NewTemporary() { return code_.AddValueSlot(); }

OPERAND ProgramEmitter::Constant(double value, int32_t kind) {
  int slot = code_.AddValueSlot();
  code_.values[slot] = value;
  code_.slotReadOnly.Items<uint8_t>()[slot] = 1;
  return {OPERAND::kSlot, slot, kind, false};
}

int ProgramEmitter::NewVariable() {
  int slot = code_.AddValueSlot();
  code_.values[slot] = language_.undefined;
  return slot;
}

double* ProgramEmitter::Address(const OPERAND& operand) const {
  switch (operand.place) {
    case OPERAND::kGlobal:
      return &language_.globalValues[operand.index];
    case OPERAND::kSystem:
      return &language_.systemValues[operand.index];
    case OPERAND::kSlot:
      break;
  }
  return &code_.values[operand.index];
}

int ProgramEmitter::Emit(int opcode, int resultSlot, const std::vector<OPERAND>& operands, int line) {
  std::vector<int32_t> kinds;
  std::vector<double*> pointers;
  for (const OPERAND& operand : operands) {
    kinds.push_back(operand.kind);
    pointers.push_back(Address(operand));
  }
  return code_.AppendInstruction(opcode, resultSlot, line, static_cast<int>(operands.size()), kinds.data(),
                                 pointers.data());
}

void ProgramEmitter::MarkTarget(int instruction) { code_.targetFlags.Items<uint8_t>()[instruction] = 1; }

void ProgramEmitter::MarkStore(int instruction) { code_.storeFlags.Items<uint8_t>()[instruction] = 1; }

int ProgramEmitter::InstructionCount() const { return code_.instructionCount; }

int ProgramEmitter::EndBlock(bool conditional) {
  if (blocks_ >= kMaxBlocks) return -1;
  int b = blocks_++;
  uint8_t flag = conditional ? 1 : 0;
  int32_t end = code_.instructionCount;
  int32_t next = b + 1;
  int32_t noLoop = -1;
  code_.blockConditional.SetAtGrow(b, &flag);
  code_.blockEnds.SetAtGrow(b, &end);
  code_.jumpTargets.SetAtGrow(b, &end);
  code_.nextBlocks.SetAtGrow(b, &next);
  code_.loopMarkers.SetAtGrow(b, &noLoop);
  code_.blockCount = static_cast<int16_t>(blocks_);
  return b;
}

void ProgramEmitter::SetJump(int block, int target, int nextBlock) {
  code_.jumpTargets.Items<int32_t>()[block] = target;
  code_.nextBlocks.Items<int32_t>()[block] = nextBlock;
}

void ProgramEmitter::SetLoopMarker(int block, int marker) { code_.loopMarkers.Items<int32_t>()[block] = marker; }

bool ProgramEmitter::Finish() {
  int last = EndBlock(false);
  if (last < 0) return false;
  SetJump(last, code_.instructionCount, last);
  return true;
}
