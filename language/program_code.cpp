#include "language/program_code.h"

#include <cstdlib>
#include <cstring>

#include "core/allocation.h"
#include "language/compiler.h"

namespace language {
CDynArray postfixCodes{4};
CDynArray postfixKinds{4};
CDynArray postfixValues{8};
CDynArray operatorCodes{4};
CDynArray operatorKinds{4};
CDynArray operatorValues{8};
}  // namespace language

void FreeCompilerWorkArrays() {
  for (CDynArray* work : {&language::postfixCodes, &language::postfixKinds, &language::postfixValues,
                          &language::operatorCodes, &language::operatorKinds, &language::operatorValues}) {
    work->Clear();
  }
}

namespace {

// Appends one element to a growable array.
template <typename T>
void Append(CDynArray& array, T value) {
  array.SetAtGrow(array.GetCount(), &value);
}

// Sizes an array to n zero elements.
void SizeZeroed(CDynArray& array, int n) {
  array.Clear();
  if (n <= 0) return;
  const uint64_t zero = 0;  // wide enough for every element size used here
  array.SetAtGrow(n - 1, &zero);
}

// Makes `to` an exact copy of `from` (the same element size).
void CopyArray(CDynArray& to, const CDynArray& from) {
  to.Clear();
  int n = from.GetCount();
  if (n == 0 || to.ElementSize() != from.ElementSize()) return;
  to.SetAtGrow(n - 1, from.ElementAt(n - 1));
  std::memcpy(to.ElementAt(0), from.ElementAt(0), static_cast<size_t>(from.ByteSize()));
}

template <typename T>
T* DuplicateList(const T* list, int n) {
  if (list == nullptr || n <= 0) return nullptr;
  T* copy = static_cast<T*>(CheckedMalloc(sizeof(T) * static_cast<size_t>(n), "operand list"));
  std::memcpy(copy, list, sizeof(T) * static_cast<size_t>(n));
  return copy;
}

// The pointer p moved from a buffer at oldBase to one at newBase when it
// points into the old one (of oldSlots doubles). Compared as integers: p
// mostly points elsewhere (global values, other records).
double* Rebased(double* p, const double* oldBase, int oldSlots, double* newBase) {
  uintptr_t address = reinterpret_cast<uintptr_t>(p);
  uintptr_t first = reinterpret_cast<uintptr_t>(oldBase);
  if (oldBase == nullptr || address < first || address >= first + sizeof(double) * static_cast<size_t>(oldSlots)) {
    return p;
  }
  return newBase + (address - first) / sizeof(double);
}

// Instructions whose operand lists and counts both exist.
int ListedInstructions(const CDynArray& lists, const CDynArray& counts) {
  return lists.GetCount() < counts.GetCount() ? lists.GetCount() : counts.GetCount();
}

}  // namespace

CProgramCode::CProgramCode() = default;

CProgramCode::CProgramCode(const CProgramCode& other) { CopyFrom(other); }

CProgramCode& CProgramCode::operator=(const CProgramCode& other) {
  if (this != &other) CopyFrom(other);
  return *this;
}

CProgramCode::~CProgramCode() {
  FreeOperandLists();
  FreeValueBuffer();
}

void CProgramCode::CopyFrom(const CProgramCode& other) {
  FreeOperandLists();
  FreeValueBuffer();
  static_cast<PROGRAMCODEHEADER&>(*this) = other;
  CDynArray* mine[] = {&programFlags, &arrayFlags,  &arrayFlags2, &slotReadOnly, &blockConditional, &targetFlags,
                       &storeFlags,   &resultSlots, &opcodes,     &operandCounts, &sourceLines,     &blockEnds,
                       &jumpTargets,  &nextBlocks,  &loopMarkers, &operandKindLists, &operandLists};
  const CDynArray* theirs[] = {&other.programFlags, &other.arrayFlags,  &other.arrayFlags2, &other.slotReadOnly,
                               &other.blockConditional, &other.targetFlags, &other.storeFlags, &other.resultSlots,
                               &other.opcodes,      &other.operandCounts, &other.sourceLines, &other.blockEnds,
                               &other.jumpTargets,  &other.nextBlocks,  &other.loopMarkers, &other.operandKindLists,
                               &other.operandLists};
  for (size_t a = 0; a < sizeof mine / sizeof mine[0]; ++a) CopyArray(*mine[a], *theirs[a]);

  if (other.values != nullptr && other.valueCapacity > 0) {
    size_t bytes = sizeof(double) * static_cast<size_t>(other.valueCapacity);
    values = static_cast<double*>(CheckedMalloc(bytes, "value buffer"));
    std::memcpy(values, other.values, bytes);
  } else {
    valueCapacity = 0;
  }
  // The lists were copied as pointers: give this record lists of its own.
  for (int i = 0; i < operandKindLists.GetCount(); ++i) {
    int n = i < operandCounts.GetCount() ? OperandCount(i) : 0;
    operandKindLists.Items<int32_t*>()[i] = DuplicateList(other.OperandKinds(i), n);
  }
  for (int i = 0; i < operandLists.GetCount(); ++i) {
    int n = i < operandCounts.GetCount() ? OperandCount(i) : 0;
    double** operands = DuplicateList(other.Operands(i), n);
    for (int k = 0; operands != nullptr && k < n; ++k) {
      operands[k] = Rebased(operands[k], other.values, other.valueCapacity, values);
    }
    operandLists.Items<double**>()[i] = operands;
  }
}

void CProgramCode::FreeOperandLists() {
  for (int i = 0; i < operandLists.GetCount(); ++i) {
    std::free(operandLists.Items<double**>()[i]);
    operandLists.Items<double**>()[i] = nullptr;
  }
  for (int i = 0; i < operandKindLists.GetCount(); ++i) {
    std::free(operandKindLists.Items<int32_t*>()[i]);
    operandKindLists.Items<int32_t*>()[i] = nullptr;
  }
}

void CProgramCode::FreeValueBuffer() {
  std::free(values);
  values = nullptr;
  valueCapacity = 0;
}

void CProgramCode::ClearErrorState() {
  errorKind = kNoProgramError;
  errorCode = 0;
  errorProgram = -2;
  errorArray = 0;
  errorBuiltin = 0;
  nestingCount = 0;
  currentInstruction = -1;
  interruptedAt = -1;
  errorLine = -1;
}

void CProgramCode::Reset(int formalCount, int ownCount) {
  // The error record.
  ClearErrorState();

  // The slots: system variables, formal parameters, global parameters, own variables.
  formalCount = formalCount < 0 ? 0 : formalCount;
  ownCount = ownCount < 0 ? 0 : ownCount;
  const Compiler* language = language::activeCompiler;
  int globals = language != nullptr ? language->nGlobalParameters : 0;
  slotCount = globals + formalCount + kSystemSlotCount + ownCount;
  slotCountCopy = slotCount;

  // The per-program, per-array and per-slot flags; system variables and
  // formal parameters may not be assigned.
  SizeZeroed(programFlags, language != nullptr ? language->ProgramCount() : 0);
  SizeZeroed(arrayFlags, language != nullptr ? language->nDeclaredArrays : 0);
  SizeZeroed(arrayFlags2, language != nullptr ? language->nDeclaredArrays : 0);
  SizeZeroed(slotReadOnly, slotCount);
  for (int s = 0; s < kSystemSlotCount + formalCount; ++s) slotReadOnly.Items<uint8_t>()[s] = 1;

  // The instructions and blocks.
  FreeOperandLists();
  for (CDynArray* array : {&blockConditional, &targetFlags, &storeFlags, &resultSlots, &opcodes, &operandCounts,
                           &sourceLines, &blockEnds, &jumpTargets, &nextBlocks, &loopMarkers, &operandKindLists,
                           &operandLists}) {
    array->Clear();
  }

  // A fresh value buffer, always larger than the slot count.
  FreeValueBuffer();
  ResizeValueBuffer((slotCount / growthStep + 1) * growthStep);
  bufferCounters[0] = bufferCounters[1] = 0;

  // The compiler's state.
  instructionCount = 0;
  std::memset(compilerCounters, 0, sizeof compilerCounters);
  std::memset(compilerFields, 0, sizeof compilerFields);
  std::memset(parameterUsed, 0, sizeof parameterUsed);
  compilerShortField = 0;
  compilerIntField = 0;
  syntaxErrorLine = -1;
  warningLine = -1;
  blockCount = 0;
}

void CProgramCode::ResizeValueBuffer(int newCapacity) {
  double* grown = nullptr;
  if (newCapacity > 0) {
    grown = static_cast<double*>(CheckedMalloc(sizeof(double) * static_cast<size_t>(newCapacity), "value buffer"));
    std::memset(grown, 0, sizeof(double) * static_cast<size_t>(newCapacity));
    int kept = valueCapacity < newCapacity ? valueCapacity : newCapacity;
    if (kept > 0) std::memcpy(grown, values, sizeof(double) * static_cast<size_t>(kept));
  }
  for (int i = 0; i < ListedInstructions(operandLists, operandCounts); ++i) {
    double** operands = Operands(i);
    for (int k = 0; operands != nullptr && k < OperandCount(i); ++k) {
      operands[k] = Rebased(operands[k], values, valueCapacity, grown);
    }
  }
  std::free(values);
  values = grown;
  valueCapacity = newCapacity > 0 ? newCapacity : 0;
}

int CProgramCode::AppendInstruction(int opcode, int resultSlot, int sourceLine, int operandCount,
                                    const int32_t* kinds, double* const* operands) {
  operandCount = operandCount < 0 ? 0 : operandCount;
  Append<uint8_t>(targetFlags, 0);
  Append<uint8_t>(storeFlags, 0);
  Append<int32_t>(resultSlots, resultSlot);
  Append<int32_t>(opcodes, opcode);
  Append<int32_t>(operandCounts, operandCount);
  Append<int32_t>(sourceLines, sourceLine);
  Append<int32_t*>(operandKindLists, DuplicateList(kinds, operandCount));
  Append<double**>(operandLists, DuplicateList(operands, operandCount));
  return instructionCount++;
}

int CProgramCode::AddValueSlot() {
  int slot = slotCount++;
  slotCountCopy = slotCount;
  if (slotCount >= valueCapacity) ResizeValueBuffer((slotCount / growthStep + 1) * growthStep);
  Append<uint8_t>(slotReadOnly, 0);
  return slot;
}

void CProgramCode::SizeValueBufferForRun() {
  ResizeValueBuffer(2 * slotCount);
  if (slotCount > 0) std::memset(values + slotCount, 0, sizeof(double) * static_cast<size_t>(slotCount));
}

int CProgramCode::SourceLineOf(int instruction) const {
  if (instruction < 0 || instruction >= sourceLines.GetCount()) return -1;
  return sourceLines.Items<int32_t>()[instruction];
}

bool CProgramCode::ReadDescriptor(int slot, VALUEDESCRIPTOR* descriptor) const {
  if (slot < 0 || slot >= slotCount || slotCount + slot >= valueCapacity) return false;
  std::memcpy(descriptor, values + slotCount + slot, sizeof *descriptor);
  return true;
}

bool CProgramCode::WriteDescriptor(int slot, const VALUEDESCRIPTOR& descriptor) {
  if (slot < 0 || slot >= slotCount || slotCount + slot >= valueCapacity) return false;
  std::memcpy(values + slotCount + slot, &descriptor, sizeof descriptor);
  return true;
}
