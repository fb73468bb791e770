#include "language/program_listing.h"

#include <charconv>
#include <cstdint>
#include <cstdio>

#include "language/compiler.h"

namespace {

// Index of p in a table of n doubles starting at base, or -1.
long IndexIn(const double* p, const double* base, long n) {
  uintptr_t address = reinterpret_cast<uintptr_t>(p);
  uintptr_t first = reinterpret_cast<uintptr_t>(base);
  if (base == nullptr || address < first || address >= first + sizeof(double) * static_cast<size_t>(n)) return -1;
  if ((address - first) % sizeof(double) != 0) return -1;
  return static_cast<long>((address - first) / sizeof(double));
}

std::string ConstantText(double value) {
  char text[64];
  std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string OperandText(const double* p, int32_t kind, const CProgramCode& code, const Compiler& language) {
  char text[32];
  long k;
  if (kind == kOperandConstant) return ConstantText(*p);
  if (kind == kOperandExpression) return "i" + ConstantText(*p);
  if ((k = IndexIn(p, code.values, code.slotCount < code.valueCapacity ? code.slotCount : code.valueCapacity)) >= 0) {
    std::snprintf(text, sizeof text, "s%ld", k);
  } else if ((k = IndexIn(p, language.globalValues, language.nGlobalParameters)) >= 0) {
    std::snprintf(text, sizeof text, "g%ld", k);
  } else if ((k = IndexIn(p, language.systemValues, kSystemVariableCount)) >= 0) {
    return language.systemVariableNames[k];
  } else {
    return "?";
  }
  return text;
}

std::string OpcodeText(int opcode, const CProgramCode& code, const Compiler& language) {
  if (opcode >= 0 && opcode < kBuiltinCount) return language.builtinNames[opcode];
  CODELAYOUT layout = code.Layout();
  if (layout.IsFormal(opcode)) return "param" + std::to_string(opcode - kFirstIdentifierCode);
  if (layout.IsProgram(opcode) && opcode - layout.ProgramCode(0) < language.ProgramCount()) {
    return language.programs[opcode - layout.ProgramCode(0)]->info.name;
  }
  if (layout.IsArray(opcode) && opcode - layout.ArrayCode(0) < language.ArrayCount()) {
    return language.arrays[opcode - layout.ArrayCode(0)].name;
  }
  return "#" + std::to_string(opcode);
}

std::string InstructionLine(int i, const CProgramCode& code, const Compiler& language) {
  int opcode = code.opcodes.Items<int32_t>()[i];
  bool array = opcode >= kBuiltinCount && code.Layout().IsArray(opcode) &&
               opcode - code.Layout().ArrayCode(0) < language.ArrayCount();
  std::string line = std::to_string(i) + "  line " + std::to_string(code.SourceLineOf(i)) + "  s" +
                     std::to_string(code.resultSlots.Items<int32_t>()[i]) + " = " + OpcodeText(opcode, code, language) +
                     (array ? "[" : "(");
  double** operands = i < code.operandLists.GetCount() ? code.Operands(i) : nullptr;
  int32_t* kinds = i < code.operandKindLists.GetCount() ? code.OperandKinds(i) : nullptr;
  for (int k = 0; operands != nullptr && k < code.OperandCount(i); ++k) {
    if (k > 0) line += ", ";
    line += OperandText(operands[k], kinds != nullptr ? kinds[k] : kOperandValue, code, language);
  }
  line += array ? "]" : ")";
  if (code.targetFlags.Items<uint8_t>()[i]) line += " target";
  if (code.storeFlags.Items<uint8_t>()[i]) line += " store";
  return line + "\n";
}

std::string BlockLine(int b, const CProgramCode& code) {
  auto at = [b](const CDynArray& array) { return std::to_string(array.Items<int32_t>()[b]); };
  std::string line = "block " + std::to_string(b) + "  end " + at(code.blockEnds) + "  jump " +
                     at(code.jumpTargets) + " in block " + at(code.nextBlocks) + "  loop " + at(code.loopMarkers);
  if (code.blockConditional.Items<uint8_t>()[b]) line += "  conditional";
  return line + "\n";
}

}  // namespace

std::string ProgramListing(const CProgramCode& code, const Compiler& language) {
  std::string listing;
  int instructions = code.instructionCount;
  for (const CDynArray* array : {&code.resultSlots, &code.opcodes, &code.operandCounts, &code.sourceLines,
                                 &code.targetFlags, &code.storeFlags}) {
    if (array->GetCount() < instructions) instructions = array->GetCount();
  }
  for (int i = 0; i < instructions; ++i) listing += InstructionLine(i, code, language);
  int blocks = code.blockCount;
  for (const CDynArray* array : {&code.blockConditional, &code.blockEnds, &code.jumpTargets, &code.nextBlocks,
                                 &code.loopMarkers}) {
    if (array->GetCount() < blocks) blocks = array->GetCount();
  }
  for (int b = 0; b < blocks; ++b) listing += BlockLine(b, code);
  return listing;
}
