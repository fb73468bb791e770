// The compiled program record: the slot count and value-buffer capacity that
// Reset gives, what Reset clears, the growth of the buffer while slots are
// added, and the deep copy (listings compare the instructions, operands shown
// by what they point at).
#include "language/program_code.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "language/compiler.h"
#include "language/program_listing.h"

namespace {

class ProgramCode : public testing::Test {
 protected:
  Compiler language;  // activeCompiler: Reset reads its counts

  // A record of three instructions over slots, a global and a system
  // variable, two blocks, and values in the slots.
  void Compile(CProgramCode& code) {
    language.nGlobalParameters = 2;
    code.Reset(1, 3);  // 13 + 1 + 2 + 3 = 19 slots
    double* v = code.values;
    int t = code.AddValueSlot();  // a temporary, slot 19
    double* sumOperands[] = {&v[13], &language.globalValues[1]};
    int32_t kinds[] = {0, 1};
    code.AppendInstruction(0, t, 2, 2, kinds, sumOperands);              // s19 = Add(s13, g1)
    double* compareOperands[] = {&v[t], &language.systemValues[10]};
    code.AppendInstruction(6, 16, 3, 2, kinds, compareOperands);        // s16 = GT(s19, IER)
    double* assignOperands[] = {&v[17], &v[t]};
    code.AppendInstruction(5, 17, 4, 2, kinds, assignOperands);         // s17 = Equality(s17, s19)
    code.targetFlags.Items<uint8_t>()[2] = 1;
    for (int b = 0; b < 2; ++b) {
      uint8_t conditional = b == 0;
      int32_t end = b == 0 ? 2 : 3, jump = 3, next = 1, loop = -1;
      code.blockConditional.SetAtGrow(b, &conditional);
      code.blockEnds.SetAtGrow(b, &end);
      code.jumpTargets.SetAtGrow(b, &jump);
      code.nextBlocks.SetAtGrow(b, &next);
      code.loopMarkers.SetAtGrow(b, &loop);
    }
    code.blockCount = 2;
    code.SizeValueBufferForRun();
    for (int s = 0; s < code.slotCount; ++s) code.values[s] = 100 + s;
    code.WriteDescriptor(13, {3, 0x4000, 7});
  }

  static constexpr const char* kListing =
      "0  line 2  s19 = Add(s13, g1)\n"
      "1  line 3  s16 = GT(s19, IER)\n"
      "2  line 4  s17 = Equality(s17, s19) target\n"
      "block 0  end 2  jump 3 in block 1  loop -1  conditional\n"
      "block 1  end 3  jump 3 in block 1  loop -1\n";
};

}  // namespace

// The slot count is 13 + formal + global parameters + own variables, and the
// buffer holds (slots / 100 + 1) * 100: always more than the slot count.
TEST_F(ProgramCode, ResetSizesSlotsAndBuffer) {
  struct Case {
    int globals, formal, own;
    int slots, capacity;
  } cases[] = {
      {0, 0, 0, 13, 100},    {0, 0, 74, 87, 100},   {0, 0, 86, 99, 100},    {0, 0, 87, 100, 200},
      {10, 2, 50, 75, 100},  {100, 20, 0, 133, 200}, {10000, 0, 0, 10013, 10100}, {0, -3, -1, 13, 100},
  };
  for (const Case& c : cases) {
    language.nGlobalParameters = c.globals;
    CProgramCode code;
    code.Reset(c.formal, c.own);
    EXPECT_EQ(code.slotCount, c.slots) << c.globals << " " << c.formal << " " << c.own;
    EXPECT_EQ(code.slotCountCopy, c.slots);
    EXPECT_EQ(code.valueCapacity, c.capacity);
    ASSERT_EQ(code.slotReadOnly.GetCount(), c.slots);
    int formal = c.formal > 0 ? c.formal : 0;
    for (int s = 0; s < c.slots; ++s) {
      ASSERT_EQ(code.slotReadOnly.Items<uint8_t>()[s], s < 13 + formal ? 1 : 0) << s;
    }
  }
}

TEST_F(ProgramCode, ResetSizesTheFlagsByTheCompilersCounts) {
  for (int p = 0; p < 3; ++p) language.programs.push_back(std::make_unique<PROGRAMRECORD>());
  language.nDeclaredArrays = 2;
  CProgramCode code;
  code.Reset(0, 0);
  EXPECT_EQ(code.programFlags.GetCount(), 3);
  EXPECT_EQ(code.arrayFlags.GetCount(), 2);
  EXPECT_EQ(code.arrayFlags2.GetCount(), 2);
}

// Preparing a compiled record again frees its operand lists (LeakSanitizer
// would see them otherwise), empties the instruction and block arrays,
// clears the error record and keeps the time limit.
TEST_F(ProgramCode, ResetClearsACompiledRecord) {
  CProgramCode code;
  Compile(code);
  code.errorKind = kBuiltinError;
  code.errorProgram = 1;
  code.errorBuiltin = 75;
  code.currentInstruction = 2;
  code.interruptedAt = 1;
  code.syntaxErrorLine = 4;
  code.warningLine = 3;
  code.compilerCounters[2] = 9;
  code.parameterUsed[0] = 1;
  code.Reset(0, 0);
  EXPECT_EQ(code.instructionCount, 0);
  EXPECT_EQ(code.blockCount, 0);
  for (const CDynArray* array : {&code.blockConditional, &code.targetFlags, &code.storeFlags, &code.resultSlots,
                                 &code.opcodes, &code.operandCounts, &code.sourceLines, &code.blockEnds,
                                 &code.jumpTargets, &code.nextBlocks, &code.loopMarkers, &code.operandKindLists,
                                 &code.operandLists}) {
    EXPECT_EQ(array->GetCount(), 0);
  }
  EXPECT_EQ(code.errorKind, kNoProgramError);
  EXPECT_EQ(code.errorProgram, -2);
  EXPECT_EQ(code.errorBuiltin, 0);
  EXPECT_EQ(code.currentInstruction, -1);
  EXPECT_EQ(code.interruptedAt, -1);
  EXPECT_EQ(code.syntaxErrorLine, -1);
  EXPECT_EQ(code.warningLine, -1);
  EXPECT_EQ(code.compilerCounters[2], 0);
  EXPECT_EQ(code.parameterUsed[0], 0);
  EXPECT_EQ(code.timeLimit, 2.0);
  EXPECT_EQ(code.slotCount, 15);  // two global parameters are declared now
  EXPECT_EQ(code.valueCapacity, 100);
  EXPECT_EQ(ProgramListing(code, language), "");
}

// Adding slots grows the buffer by whole steps whenever the slot count
// reaches the capacity; values and the operand pointers into the buffer
// move with it.
TEST_F(ProgramCode, AddedSlotsGrowTheBuffer) {
  CProgramCode code;
  code.Reset(0, 0);
  double* operands[] = {&code.values[5], &code.values[12]};
  int32_t kinds[] = {0, 0};
  code.AppendInstruction(3, 0, 1, 2, kinds, operands);
  code.values[12] = 42;
  const std::string listing = ProgramListing(code, language);
  for (int slot = 13; slot < 250; ++slot) {
    ASSERT_EQ(code.AddValueSlot(), slot);
    ASSERT_GT(code.valueCapacity, code.slotCount);
    ASSERT_EQ(code.valueCapacity, (code.slotCount / 100 + 1) * 100);
    code.values[slot] = slot;
  }
  EXPECT_EQ(code.slotCount, 250);
  EXPECT_EQ(code.valueCapacity, 300);
  EXPECT_EQ(code.slotReadOnly.GetCount(), 250);
  EXPECT_EQ(code.values[12], 42);
  EXPECT_EQ(code.values[200], 200);
  EXPECT_EQ(code.Operands(0)[1], &code.values[12]);
  EXPECT_EQ(ProgramListing(code, language), listing);

  code.SizeValueBufferForRun();
  EXPECT_EQ(code.valueCapacity, 500);
  EXPECT_EQ(code.values[249], 249);
  VALUEDESCRIPTOR descriptor{1, 2, 3};
  ASSERT_TRUE(code.ReadDescriptor(249, &descriptor));
  EXPECT_EQ(descriptor.objectIndex, 0);  // the descriptors start zero
  EXPECT_TRUE(code.WriteDescriptor(249, {5, 0x8001, -1}));
  ASSERT_TRUE(code.ReadDescriptor(249, &descriptor));
  EXPECT_EQ(descriptor.objectIndex, 5);
  EXPECT_EQ(descriptor.kindWord, 0x8001);
  EXPECT_EQ(descriptor.offset, -1);
  EXPECT_EQ(code.values[249], 249);      // beside its value, not on it
  EXPECT_FALSE(code.ReadDescriptor(250, &descriptor));
  EXPECT_FALSE(code.WriteDescriptor(-1, descriptor));
}

// The copy has the same capacities, contents and listing, its operands
// point into its own buffer, and the two records change independently.
TEST_F(ProgramCode, CopyIsDeep) {
  CProgramCode source;
  Compile(source);
  ASSERT_EQ(ProgramListing(source, language), kListing);

  CProgramCode copy(source);
  EXPECT_EQ(ProgramListing(copy, language), kListing);
  EXPECT_EQ(copy.slotCount, source.slotCount);
  EXPECT_EQ(copy.valueCapacity, source.valueCapacity);
  EXPECT_EQ(copy.growthStep, 100);
  EXPECT_NE(copy.values, source.values);
  for (int s = 0; s < source.valueCapacity; ++s) ASSERT_EQ(copy.values[s], source.values[s]) << s;
  VALUEDESCRIPTOR descriptor;
  ASSERT_TRUE(copy.ReadDescriptor(13, &descriptor));
  EXPECT_EQ(descriptor.offset, 7);
  EXPECT_EQ(copy.Operands(0)[0], &copy.values[13]);
  EXPECT_EQ(copy.Operands(0)[1], &language.globalValues[1]);  // not the record's: kept
  EXPECT_NE(copy.Operands(0), source.Operands(0));
  EXPECT_NE(copy.OperandKinds(0), source.OperandKinds(0));
  EXPECT_EQ(copy.OperandKinds(0)[1], 1);

  copy.values[13] = -1;
  copy.opcodes.Items<int32_t>()[0] = 1;
  copy.Operands(1)[1] = &copy.values[14];
  int32_t eleven = 11;
  copy.sourceLines.SetAtGrow(3, &eleven);
  EXPECT_EQ(ProgramListing(source, language), kListing);
  EXPECT_EQ(source.values[13], 113);
  EXPECT_EQ(source.sourceLines.GetCount(), 3);
}

TEST_F(ProgramCode, AssignmentReplacesAndSelfAssignmentKeeps) {
  CProgramCode source;
  Compile(source);
  CProgramCode target;
  Compile(target);
  target.AppendInstruction(27, 20, 9, 0, nullptr, nullptr);
  target = source;  // the target's own lists and buffer are freed
  EXPECT_EQ(ProgramListing(target, language), kListing);
  EXPECT_EQ(target.instructionCount, 3);

  CProgramCode& alias = target;
  target = alias;
  EXPECT_EQ(ProgramListing(target, language), kListing);
  EXPECT_EQ(target.Operands(2)[0], &target.values[17]);

  CProgramCode empty;
  target = empty;
  EXPECT_EQ(target.values, nullptr);
  EXPECT_EQ(target.valueCapacity, 0);
  EXPECT_EQ(ProgramListing(target, language), "");
  EXPECT_EQ(target.timeLimit, 2.0);
}

TEST_F(ProgramCode, FreshRecordAndParameterList) {
  CProgramCode code;
  EXPECT_EQ(code.timeLimit, 2.0);
  EXPECT_EQ(code.values, nullptr);
  EXPECT_EQ(code.valueCapacity, 0);
  EXPECT_EQ(code.growthStep, 100);
  EXPECT_EQ(code.errorProgram, -2);
  EXPECT_EQ(code.SourceLineOf(0), -1);
  const CDynArray* bytes[] = {&code.programFlags, &code.arrayFlags, &code.arrayFlags2, &code.slotReadOnly,
                              &code.blockConditional, &code.targetFlags, &code.storeFlags};
  for (const CDynArray* array : bytes) EXPECT_EQ(array->ElementSize(), 1);
  EXPECT_EQ(code.opcodes.ElementSize(), 4);
  EXPECT_EQ(code.operandLists.ElementSize(), static_cast<int>(sizeof(void*)));  // addresses are pointer-sized
  EXPECT_EQ(code.operandKindLists.ElementSize(), static_cast<int>(sizeof(void*)));

  PARAMLIST parameters;
  EXPECT_EQ(parameters.count, 0);
  EXPECT_EQ(parameters.kind[19], 0);
  EXPECT_STREQ(parameters.header.c_str(), "");
  EXPECT_STREQ(parameters.list.c_str(), "");
}

// The program compiler's six work arrays: their element sizes, and the
// Compiler frees their blocks when it goes.
TEST(CompilerWorkArrays, SizesAndRelease) {
  const CDynArray* arrays[] = {&language::postfixCodes,  &language::postfixKinds,  &language::postfixValues,
                               &language::operatorCodes, &language::operatorKinds, &language::operatorValues};
  const int sizes[] = {4, 4, 8, 4, 4, 8};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(arrays[i]->ElementSize(), sizes[i]) << i;
  {
    Compiler language;
    double value = 1.5;
    language::postfixValues.SetAtGrow(3, &value);
    int32_t code = 7;
    language::operatorCodes.SetAtGrow(0, &code);
  }
  for (const CDynArray* array : arrays) {
    EXPECT_EQ(array->GetCount(), 0);
    EXPECT_EQ(array->ByteSize(), 0);
  }
  EXPECT_EQ(language::postfixValues.ElementSize(), 8);
}
