#include "language/interpreter.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/allocation.h"
#include "core/programinfo.h"
#include "language/compiler.h"
#include "language/integer_conversion.h"
#include "language/memory_access.h"
#include "language/undefined_value.h"

namespace language {
CProgramCode* currentProgram = nullptr;
}  // namespace language

namespace {

constexpr int kAssignment = 5;                          // "Equality": the assignment operator
constexpr int kNoError = -2;                            // errorProgram of a record without an error
constexpr int kFirstFunctionKind = 22;                  // kind bytes from here on are formal functions
constexpr int kFirstProgramNumber = kBuiltinCount + 1;  // loc of program p gives p + 95
constexpr int kMaxObjectIndex = 0xFFFF;                 // object indices are 16-bit in a descriptor

// What executing one instruction leads to.
enum Step { kNext, kReturned, kStop, kInterrupt };

bool HasError(const CProgramCode& code) { return code.errorProgram != kNoError; }

bool InterruptRequested(const Compiler& language) {
  RUNCONTROL& run = *language.runControl;
  if (run.stepBudget > 0 && --run.stepsLeft < 0) return true;  // the budget is spent
  return run.interruptRequest.load(std::memory_order_acquire) != 0;
}

// ---------------------------------------------------------------- error records

// The error of one record handed to another that has none yet.
void CopyError(const CProgramCode& from, CProgramCode* to) {
  if (to == nullptr || to == &from || HasError(*to) || !HasError(from)) return;
  to->errorKind = from.errorKind;
  to->errorCode = from.errorCode;
  to->errorArray = from.errorArray;
  to->errorBuiltin = from.errorBuiltin;
  to->errorProgram = from.errorProgram;
}

void RecordError(CALLFRAME* frame, int instruction, int kind, int code, int arrayNumber, int builtinNumber) {
  CProgramCode& record = *frame->code;
  if (HasError(record)) return;
  record.errorKind = kind;
  record.errorCode = code;
  record.errorArray = arrayNumber;
  record.errorBuiltin = builtinNumber;
  record.errorProgram = frame->program;
  record.errorLine = record.SourceLineOf(instruction);
  record.currentInstruction = -1;
  if (frame->program >= 0) CopyError(record, frame->callerCode);
}

// ---------------------------------------------------------------- values and elements

double AddressValue(const void* address) { return static_cast<double>(reinterpret_cast<uintptr_t>(address)); }

// An element of type T at an address that may not be aligned for T.
template <typename T>
double LoadElement(const void* element) {
  T v;
  std::memcpy(&v, element, sizeof v);
  return static_cast<double>(v);
}

double ReadElement(int type, const void* element) {
  switch (type) {
    case kElementDouble:
      return LoadElement<double>(element);
    case kElementFloat:
      return LoadElement<float>(element);
    case kElementInt:
      return LoadElement<int32_t>(element);
    case kElementUInt:
      return LoadElement<uint32_t>(element);
    case kElementInt2:
      return LoadElement<int16_t>(element);
    case kElementUInt2:
      return LoadElement<uint16_t>(element);
    case kElementInt1:
      return static_cast<const int8_t*>(element)[0];
    case kElementUInt1:
      return static_cast<const uint8_t*>(element)[0];
    default:
      return kUndefined;
  }
}

// The reference that a whole user array is.
ARRAYREFERENCE WholeArray(const Compiler& language, int array) {
  const ARRAYINFO& info = language.arrays[array];
  return {array, &info, static_cast<unsigned char*>(info.data), 0, 0, info.dimensions[0], info.dimensionCount};
}

// A binding's array as a reference.
ARRAYREFERENCE BoundArray(const Compiler& language, const BINDING& binding) {
  const ARRAYINFO& info = language.arrays[binding.objectIndex];
  return {binding.objectIndex,
          &info,
          reinterpret_cast<unsigned char*>(binding.pointer),
          binding.level,
          binding.offset,
          binding.extent,
          binding.remainingDimensions};
}

// Checks a reference made of a descriptor and an address: the descriptor names
// an array, and the address is the first element of the sub-block that the
// descriptor's level and offset designate. Returns 0 or the array error code.
int CheckArrayReference(const Compiler& language, const VALUEDESCRIPTOR& descriptor, double value,
                        ARRAYREFERENCE* reference) {
  if (DescriptorKind(descriptor) != kReferenceArray || descriptor.objectIndex >= language.ArrayCount()) return 1;
  const ARRAYINFO& info = language.arrays[descriptor.objectIndex];
  if (info.data == nullptr) return 2;
  const int level = DescriptorLevel(descriptor);
  const int size = language.elementSizes[info.elementType];
  if (level >= info.dimensionCount || descriptor.offset < 0 || descriptor.offset >= info.dimensions[level]) return 1;
  uintptr_t address = 0;
  const uintptr_t data = reinterpret_cast<uintptr_t>(info.data);
  if (!AddressFromValue(value, &address) || address < data || size <= 0) return 1;
  const uintptr_t bytes = address - data;
  if (bytes >= static_cast<uintptr_t>(info.byteSize) || bytes % static_cast<uintptr_t>(size) != 0) return 1;
  const uintptr_t element = bytes / static_cast<uintptr_t>(size);
  const uintptr_t stride = static_cast<uintptr_t>(info.strides[level]);
  if (element % stride != 0 || (element / stride) % static_cast<uintptr_t>(info.dimensions[level]) !=
                                   static_cast<uintptr_t>(descriptor.offset)) {
    return 1;
  }
  *reference = {descriptor.objectIndex,
                &info,
                reinterpret_cast<unsigned char*>(address),
                level,
                descriptor.offset,
                info.dimensions[level] - descriptor.offset,
                info.dimensionCount - level};
  return 0;
}

// True for the built-ins that may stand behind a formal function: the
// ordinary ones without string constants and the special ones that take
// their arguments as they come (not loc, not the repeated evaluations, not
// Return).
bool MayBeCalledThroughAFormal(int code) {
  if (code >= 24 && code < kOrdinaryBuiltinCount) return true;
  if (code == kLocBuiltin || code == kReturnBuiltin) return false;
  return code > kLocBuiltin && code < kBuiltinCount && !(code >= kFirstRepeatedBuiltin && code <= kLastRepeatedBuiltin);
}

// ---------------------------------------------------------------- one activation

class Activation {
 public:
  Activation(Compiler& language, CALLFRAME* frame, CALLSTATE* state)
      : language_(language), frame_(frame), state_(state), code_(*frame->code) {}

  int RunWhole();
  int RunRange(int first, int last);

 private:
  Step Execute(int i);
  Step Assign(int i);
  Step AfterValue(int i);
  Step Special(int i, int builtin);
  Step Repeated(int i, int builtin);
  Step Loc(int i);
  Step FormalCall(int i, int j);
  Step ArrayAccess(int i, const ARRAYREFERENCE& reference);
  Step CallProgram(int i, int program);
  Step Stop(int i, int kind, int code, int arrayNumber, int builtinNumber);
  Step BuiltinFailed(int i, int builtin);
  void RefreshOutputVariables();
  int StartBlockOfRange(int first, int last) const;

  int32_t Opcode(int i) const { return code_.opcodes.Items<int32_t>()[i]; }
  double& Result(int i) const { return ResultOf(code_, i); }
  int ResultSlot(int i) const { return code_.resultSlots.Items<int32_t>()[i]; }

  Compiler& language_;
  CALLFRAME* frame_;
  CALLSTATE* state_;
  CProgramCode& code_;
  double lastValue_ = 0;
};

Step Activation::Stop(int i, int kind, int code, int arrayNumber, int builtinNumber) {
  RecordError(frame_, i, kind, code, arrayNumber, builtinNumber);
  return kStop;
}

// A special built-in returned 1: the user's interrupt, or an error that it
// recorded; one that it did not record is recorded without a detail.
Step Activation::BuiltinFailed(int i, int builtin) {
  if (InterruptRequested(language_)) return kInterrupt;
  if (!HasError(code_)) SetBuiltinError(frame_, builtin, i, &language_, 0);
  return kStop;
}

// Output variables of this activation that a call or a built-in may have set
// through their addresses are read again.
void Activation::RefreshOutputVariables() {
  for (int j = 0; j < state_->formalCount; ++j) {
    const BINDING& binding = state_->bindings[j];
    if (binding.kind != kReferenceAddress) continue;
    std::memcpy(&code_.values[kSystemSlotCount + j], reinterpret_cast<const void*>(binding.pointer), sizeof(double));
  }
}

Step Activation::Execute(int i) {
  const int c = Opcode(i);
  if (c < kOrdinaryBuiltinCount) {
    if (c == kAssignment) return Assign(i);
    Result(i) = language_.ordinaryBuiltins[c](code_.Operands(i));
    return AfterValue(i);
  }
  if (c < kBuiltinCount) return Special(i, c);
  const CODELAYOUT layout = code_.Layout();
  if (layout.IsFormal(c)) return FormalCall(i, c - kFirstIdentifierCode);
  if (layout.IsProgram(c)) return CallProgram(i, c - layout.ProgramCode(0));
  const int array = c - layout.ArrayCode(0);
  if (array >= language_.ArrayCount()) return Stop(i, kArrayReferenceError, 1, array + 1, 0);
  return ArrayAccess(i, WholeArray(language_, array));
}

// The value goes to the variable of the first operand, through to the
// caller's variable when that is an output variable of this activation.
Step Activation::Assign(int i) {
  double** operands = code_.Operands(i);
  const double value = *operands[1];
  Result(i) = value;
  double* target = operands[0];
  *target = value;
  const uintptr_t formals = reinterpret_cast<uintptr_t>(code_.values + kSystemSlotCount);
  const uintptr_t place = reinterpret_cast<uintptr_t>(target);
  if (place >= formals && place < formals + sizeof(double) * static_cast<uintptr_t>(state_->formalCount)) {
    const BINDING& binding = state_->bindings[(place - formals) / sizeof(double)];
    if (binding.kind == kReferenceAddress) std::memcpy(reinterpret_cast<void*>(binding.pointer), &value, sizeof value);
  }
  return AfterValue(i);
}

// An instruction marked to store goes on into the designated array element.
Step Activation::AfterValue(int i) {
  if (!code_.storeFlags.Items<uint8_t>()[i] || code_.targetFlags.Items<uint8_t>()[i]) return kNext;
  const int array = state_->designatedArray;
  if (array < 0 || array >= language_.ArrayCount() || state_->designatedElement == nullptr) {
    return Stop(i, kArrayReferenceError, 3, array + 1, 0);
  }
  StoreElement(state_->designatedType, state_->designatedElement, Result(i));
  return kNext;
}

Step Activation::Special(int i, int builtin) {
  if (builtin == kLocBuiltin) return Loc(i);
  if (builtin == kReturnBuiltin) {
    lastValue_ = *code_.Operands(i)[0];
    Result(i) = lastValue_;
    return kReturned;
  }
  if (builtin >= kFirstRepeatedBuiltin && builtin <= kLastRepeatedBuiltin) return Repeated(i, builtin);
  SpecialBuiltin routine = language_.specialBuiltins[builtin];
  if (routine == nullptr || routine(builtin, frame_, state_, i) != 0) return BuiltinFailed(i, builtin);
  language::currentProgram = &code_;
  RefreshOutputVariables();
  return kNext;
}

// A repeated evaluation enters the next evaluation level of the activation.
Step Activation::Repeated(int i, int builtin) {
  if (state_->currentLevel >= kMaxEvaluationLevels - 1) return Stop(i, kEvaluationNestingError, 0, 0, 0);
  const int level = ++state_->currentLevel;
  if (level > state_->deepestLevel) state_->deepestLevel = level;
  SpecialBuiltin routine = language_.specialBuiltins[builtin];
  int failed = routine == nullptr ? 1 : routine(builtin, frame_, state_, i);
  state_->currentLevel = level - 1;
  language::currentProgram = &code_;
  if (failed != 0) return BuiltinFailed(i, builtin);
  RefreshOutputVariables();
  return kNext;
}

// loc: operand 0 says what operand 1 is (LocMode); the result is an address
// or a function number, with the descriptor of the reference.
Step Activation::Loc(int i) {
  double** operands = code_.Operands(i);
  int32_t mode = 0;
  IntegerPartRoundedAway(*operands[0], &mode);
  VALUEDESCRIPTOR descriptor{};
  double result = 0;
  int32_t index = -1;
  IntegerPart(*operands[1], &index);
  switch (mode) {
    case kLocVariableMode:
      result = AddressValue(operands[1]);
      descriptor.kindWord = DescriptorKindWord(kReferenceAddress, 0);
      break;
    case kLocReferenceMode:
      result = *operands[1];
      if (!OperandDescriptor(code_, i, 1, &descriptor)) descriptor = {};
      break;
    case kLocFormalMode: {
      if (index < 0 || index >= state_->formalCount) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      const BINDING& binding = state_->bindings[index];
      descriptor.objectIndex = binding.objectIndex;
      descriptor.kindWord = DescriptorKindWord(binding.kind, binding.kind == kReferenceArray ? binding.level : 0);
      descriptor.offset = binding.kind == kReferenceArray ? binding.offset : 0;
      if (binding.kind == kReferenceAddress || binding.kind == kReferenceArray) {
        result = static_cast<double>(binding.pointer);
      } else if (binding.kind == kReferenceBuiltin) {
        result = binding.objectIndex + 1;
      } else if (binding.kind == kReferenceProgram) {
        result = binding.objectIndex + kFirstProgramNumber;
      } else {
        return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      }
      break;
    }
    case kLocArrayMode:
      if (index < 0 || index >= language_.ArrayCount()) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      result = AddressValue(language_.arrays[index].data);
      descriptor = {static_cast<uint16_t>(index), DescriptorKindWord(kReferenceArray, 0), 0};
      break;
    case kLocBuiltinMode:
      if (index < 0 || index >= kBuiltinCount) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      result = index + 1;
      descriptor = {static_cast<uint16_t>(index), DescriptorKindWord(kReferenceBuiltin, 0), 0};
      break;
    case kLocProgramMode:
      if (index < 0 || index >= language_.ProgramCount() || index > kMaxObjectIndex) {
        return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      }
      result = index + kFirstProgramNumber;
      descriptor = {static_cast<uint16_t>(index), DescriptorKindWord(kReferenceProgram, 0), 0};
      break;
    default:
      return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
  }
  Result(i) = result;
  code_.WriteDescriptor(ResultSlot(i), descriptor);
  return kNext;
}

// A formal parameter used as a callee: the bound built-in or program, or an
// access to the bound array.
Step Activation::FormalCall(int i, int j) {
  if (j >= state_->formalCount) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
  const BINDING& binding = state_->bindings[j];
  switch (binding.kind) {
    case kReferenceArray:
      return ArrayAccess(i, BoundArray(language_, binding));
    case kReferenceProgram:
      return CallProgram(i, binding.objectIndex);
    case kReferenceBuiltin: {
      const int builtin = binding.objectIndex;
      if (builtin < kOrdinaryBuiltinCount) {
        Result(i) = language_.ordinaryBuiltins[builtin](code_.Operands(i));
        return kNext;
      }
      return Special(i, builtin);
    }
    default:
      return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
  }
}

// An array access: the indices, then the mode (negative: read the element;
// n >= 0: the address of what n indices reach, with its descriptor).
Step Activation::ArrayAccess(int i, const ARRAYREFERENCE& reference) {
  const int arrayNumber = reference.array + 1;
  if (reference.first == nullptr) return Stop(i, kArrayReferenceError, 2, arrayNumber, 0);
  double** operands = code_.Operands(i);
  const int indices = code_.OperandCount(i) - 1;
  const bool read = *operands[indices] < 0.0;
  if (indices < 1 || indices > reference.remainingDimensions || (read && indices != reference.remainingDimensions)) {
    return Stop(i, kArrayReferenceError, 1, arrayNumber, 0);
  }
  const ARRAYINFO& info = *reference.info;
  const double shift = language_.index_base == 0 ? 0.5 : -0.5;
  int64_t element = 0;
  int32_t lastIndex = 0;
  for (int k = 0; k < indices; ++k) {
    const int dimension = reference.level + k;
    const int32_t extent = k == 0 ? reference.extent : info.dimensions[dimension];
    const double x = *operands[k] + shift;
    if (!(x >= 0.0) || x >= extent) return Stop(i, kArrayReferenceError, 1, arrayNumber, 0);
    lastIndex = static_cast<int32_t>(x);
    element += static_cast<int64_t>(lastIndex) * info.strides[dimension];
  }
  unsigned char* address = reference.first + element * language_.elementSizes[info.elementType];
  if (read) {
    Result(i) = ReadElement(info.elementType, address);
  } else {
    Result(i) = AddressValue(address);
    const int level = reference.level + indices - 1;
    const int32_t offset = indices == 1 ? reference.offset + lastIndex : lastIndex;
    code_.WriteDescriptor(ResultSlot(i),
                          {static_cast<uint16_t>(reference.array), DescriptorKindWord(kReferenceArray, level), offset});
  }
  if (code_.targetFlags.Items<uint8_t>()[i]) {
    state_->designatedArray = reference.array;
    state_->designatedElement = address;
    state_->designatedType = info.elementType;
  }
  return kNext;
}

// ---------------------------------------------------------------- calls

// The saved values of an activation that a nested one of the same program
// suspends, registered as language memory while they are kept aside.
class SuspendedSlots {
 public:
  SuspendedSlots(Compiler& language, CProgramCode& code) : language_(language), code_(code) {
    if (code.nestingCount <= 0 || code.values == nullptr) return;
    slots_ = 2 * static_cast<size_t>(code.slotCount);  // values and descriptors
    if (slots_ > static_cast<size_t>(code.valueCapacity)) slots_ = static_cast<size_t>(code.valueCapacity);
    copy_.reset(new (std::nothrow) double[slots_]);
    if (!copy_) AllocationFailed("values of a suspended activation", slots_ * sizeof(double));
    std::memcpy(copy_.get(), code.values, slots_ * sizeof(double));
    language.suspendedSlots.push_back({copy_.get(), code.slotCount});
  }
  SuspendedSlots(const SuspendedSlots&) = delete;
  SuspendedSlots& operator=(const SuspendedSlots&) = delete;
  ~SuspendedSlots() {
    if (!copy_) return;
    std::memcpy(code_.values, copy_.get(), slots_ * sizeof(double));
    language_.suspendedSlots.pop_back();
  }
  // An address in the program's value slots, moved to where the suspended
  // activation's value is kept.
  uintptr_t Moved(uintptr_t address) const {
    if (!copy_) return address;
    const uintptr_t begin = reinterpret_cast<uintptr_t>(code_.values);
    const uintptr_t end = begin + static_cast<uintptr_t>(code_.slotCount) * sizeof(double);
    if (address < begin || address >= end) return address;
    return reinterpret_cast<uintptr_t>(copy_.get()) + (address - begin);
  }

 private:
  Compiler& language_;
  CProgramCode& code_;
  std::unique_ptr<double[]> copy_;
  size_t slots_ = 0;
};

Step Activation::CallProgram(int i, int program) {
  if (program < 0 || program >= language_.ProgramCount()) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
  PROGRAMRECORD& callee = *language_.programs[program];
  const PARAMLIST& parameters = callee.parameters;
  double** operands = code_.Operands(i);
  if (code_.OperandCount(i) != parameters.count) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);

  // The frame: argument values, and the checked references of the array and
  // function arguments.
  CALLFRAME frame{};
  frame.program = program;
  frame.info = &callee.info;
  frame.code = &callee.code;
  frame.callerCode = &code_;
  for (int j = 0; j < parameters.count; ++j) {
    const uint8_t kind = parameters.kind[j];
    frame.argumentValues[j] = *operands[j];
    if (kind == 0) continue;
    if (kind == 1) {
      uintptr_t address = 0;
      if (!AddressFromValue(frame.argumentValues[j], &address) ||
          !LanguageMemoryContains(language_, address, sizeof(double))) {
        return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
      }
      continue;
    }
    VALUEDESCRIPTOR descriptor{};
    if (!OperandDescriptor(code_, i, j, &descriptor)) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
    if (kind < kFirstFunctionKind) {
      ARRAYREFERENCE reference{};
      int fault = CheckArrayReference(language_, descriptor, frame.argumentValues[j], &reference);
      if (fault == 0 && reference.remainingDimensions != kind - 1) fault = 1;
      if (fault != 0) return Stop(i, kArrayReferenceError, fault, descriptor.objectIndex + 1, 0);
    } else {
      const int signature = kind - kFirstFunctionKind;
      const int object = descriptor.objectIndex;
      const int referenceKind = DescriptorKind(descriptor);
      bool matches = false;
      if (referenceKind == kReferenceBuiltin) {
        matches =
            object < kBuiltinCount && MayBeCalledThroughAFormal(object) && language_.SignatureByte(object) == signature;
      } else if (referenceKind == kReferenceProgram && object < language_.ProgramCount()) {
        const PARAMLIST& its = language_.programs[object]->parameters;
        matches = SignatureByteOf(its.count, its.kind) == signature;
      }
      if (!matches) return Stop(i, kBuiltinError, 0, 0, kLocBuiltin + 1);
    }
    frame.argumentDescriptors[j] = descriptor;
  }

  // The depth of nested calls is limited.
  CProgramCode& calleeCode = callee.code;
  if (language_.callDepth >= kMaxCallDepth) {
    if (!HasError(calleeCode)) {
      calleeCode.errorKind = kCallDepthError;
      calleeCode.errorCode = 0;
      calleeCode.errorArray = 0;
      calleeCode.errorBuiltin = 0;
      calleeCode.errorProgram = program;
      calleeCode.errorLine = calleeCode.SourceLineOf(0);
    }
    CopyError(calleeCode, &code_);
    if (code_.errorLine < 0) code_.errorLine = code_.SourceLineOf(i);
    code_.currentInstruction = -1;
    return kStop;
  }

  // The call; a nested activation of a running program keeps the suspended
  // one's values aside.
  int status;
  {
    SuspendedSlots suspended(language_, calleeCode);
    for (int j = 0; j < parameters.count; ++j) {
      if (parameters.kind[j] != 1) continue;
      uintptr_t address = 0;
      AddressFromValue(frame.argumentValues[j], &address);
      frame.argumentValues[j] = static_cast<double>(suspended.Moved(address));
    }
    ++language_.callDepth;
    status = language_.Run(&frame, nullptr, -1, -1);
    --language_.callDepth;
    language::currentProgram = &code_;
  }
  if (status == kRunInterrupted) return kInterrupt;
  Result(i) = status == kRunFinished ? language_.runControl->lastResult : language_.undefined;

  // An error in the called program is the caller's too; the caller goes on.
  if (HasError(calleeCode)) {
    CopyError(calleeCode, &code_);
    if (code_.errorLine < 0) code_.errorLine = code_.SourceLineOf(i);
    if (frame_->program >= 0) CopyError(code_, frame_->callerCode);
  }
  RefreshOutputVariables();
  return AfterValue(i);
}

// ---------------------------------------------------------------- the loops

int Activation::RunWhole() {
  const int32_t* ends = code_.blockEnds.Items<int32_t>();
  const int32_t* targets = code_.jumpTargets.Items<int32_t>();
  const int32_t* nexts = code_.nextBlocks.Items<int32_t>();
  const uint8_t* conditional = code_.blockConditional.Items<uint8_t>();
  const int blocks = code_.blockCount;
  const int count = code_.instructionCount;
  lastValue_ = code_.values[0];
  int b = 0;
  int i = 0;
  Step step = kNext;
  while (step == kNext) {
    if (InterruptRequested(language_)) {
      step = kInterrupt;
      break;
    }
    if ((i >= count || b >= blocks) && b >= blocks - 1) break;
    state_->currentBlock = b;
    const int end = ends[b];
    while (i < end) {
      if (InterruptRequested(language_)) {
        step = kInterrupt;
        break;
      }
      code_.currentInstruction = i;
      step = Execute(i);
      if (step != kNext) break;
      lastValue_ = Result(i);
      ++i;
    }
    if (step != kNext) break;
    if (language_.writeFlushRequested.load(std::memory_order_relaxed) &&
        language_.writeFlushRequested.exchange(0, std::memory_order_acq_rel) && language_.writeFile != nullptr) {
      std::fflush(language_.writeFile);
    }
    // The end of block b: a condition that holds goes on into the next block;
    // every other end jumps.
    if (conditional[b] && i > 0 && Result(i - 1) != 0.0) {
      ++b;
      continue;
    }
    const int target = targets[b];
    const int next = nexts[b];
    if (target < 0 || target > count || next < 0 || next >= blocks) break;  // no such place: the end
    i = target;
    b = next;
  }
  if (step == kInterrupt) {
    // The instruction where it stopped stays the current one (the first one
    // when it stopped before it), so that the interrupt is reported there.
    if (code_.currentInstruction < 0 && count > 0) code_.currentInstruction = 0;
    language_.runControl->lastResult = language_.undefined;
    return kRunInterrupted;
  }
  if (step == kStop) {
    code_.currentInstruction = -1;
    language_.runControl->lastResult = language_.undefined;
    return kRunStopped;
  }
  code_.currentInstruction = -1;
  language_.runControl->lastResult = lastValue_;
  return kRunFinished;
}

// The block in which a range starts: behind the block that jumps over the
// inline expression beginning at `first` to its call (last + 1); for any
// other range, the block that holds `first`.
int Activation::StartBlockOfRange(int first, int last) const {
  const int32_t* ends = code_.blockEnds.Items<int32_t>();
  const int32_t* targets = code_.jumpTargets.Items<int32_t>();
  const int blocks = code_.blockCount;
  int low = 0;
  int high = blocks;
  while (low < high) {  // the first block that ends at or after `first`
    int mid = (low + high) / 2;
    if (ends[mid] < first) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  for (int b = low; b < blocks && ends[b] == first; ++b) {
    if (targets[b] == last + 1) return b + 1;
  }
  while (low < blocks && ends[low] <= first) ++low;
  return low;
}

int Activation::RunRange(int first, int last) {
  const int32_t* ends = code_.blockEnds.Items<int32_t>();
  const int32_t* targets = code_.jumpTargets.Items<int32_t>();
  const int32_t* nexts = code_.nextBlocks.Items<int32_t>();
  const int blocks = code_.blockCount;
  if (last >= code_.instructionCount) last = code_.instructionCount - 1;
  lastValue_ = language_.undefined;
  int b = first >= 0 ? StartBlockOfRange(first, last) : blocks;
  int i = first;
  Step step = kNext;
  while (i <= last) {
    if (b < blocks && i >= ends[b]) {
      // A block end inside the range jumps on, always forward.
      const int target = targets[b];
      const int next = nexts[b];
      if (target < i || (target == i && next <= b) || next < 0 || next > blocks) break;
      i = target;
      b = next;
      continue;
    }
    if (InterruptRequested(language_)) {
      step = kInterrupt;
      break;
    }
    code_.currentInstruction = i;
    step = Execute(i);
    if (step == kReturned) {
      step = kNext;
      break;
    }
    if (step != kNext) break;
    lastValue_ = Result(i);
    ++i;
  }
  if (step == kInterrupt) {
    language_.runControl->lastResult = language_.undefined;
    return kRunInterrupted;
  }
  if (step == kStop) {
    code_.currentInstruction = -1;
    language_.runControl->lastResult = language_.undefined;
    return kRunStopped;
  }
  code_.currentInstruction = last + 1;
  language_.runControl->lastResult = lastValue_;
  return kRunFinished;
}

// ---------------------------------------------------------------- activations

// A fresh state, with the formal parameters of a called program bound to the
// frame's (checked) arguments.
void BindFormalParameters(Compiler& language, CALLFRAME& frame, CALLSTATE& state) {
  CProgramCode& code = *frame.code;
  const CODELAYOUT layout = code.Layout();
  state.currentBlock = 0;
  state.slotCount = code.slotCount;
  state.endOfProgramCodes = layout.ArrayCode(0) - language.nExternalFunctions;
  state.firstArrayCode = layout.ArrayCode(0);
  state.currentLevel = -1;
  state.deepestLevel = -1;
  state.zeroFinderLevel = -1;
  state.designatedArray = -1;
  state.designatedElement = nullptr;
  state.formalCount = 0;
  if (frame.program < 0) return;
  const PARAMLIST& parameters = language.programs[frame.program]->parameters;
  state.formalCount = parameters.count;
  for (int j = 0; j < parameters.count; ++j) {
    const uint8_t kind = parameters.kind[j];
    BINDING& binding = state.bindings[j];
    binding = {};
    double& slot = code.values[kSystemSlotCount + j];
    slot = frame.argumentValues[j];
    if (kind == 0) continue;
    uintptr_t address = 0;
    AddressFromValue(frame.argumentValues[j], &address);
    binding.pointer = address;
    if (kind == 1) {
      binding.kind = kReferenceAddress;
      std::memcpy(&slot, reinterpret_cast<const void*>(address), sizeof slot);
      continue;
    }
    const VALUEDESCRIPTOR& descriptor = frame.argumentDescriptors[j];
    binding.kind = static_cast<uint8_t>(DescriptorKind(descriptor));
    binding.objectIndex = descriptor.objectIndex;
    if (binding.kind == kReferenceArray) {
      const ARRAYINFO& info = language.arrays[descriptor.objectIndex];
      binding.level = static_cast<uint16_t>(DescriptorLevel(descriptor));
      binding.offset = descriptor.offset;
      binding.extent = info.dimensions[binding.level] - descriptor.offset;
      binding.remainingDimensions = info.dimensionCount - binding.level;
    }
    code.WriteDescriptor(kSystemSlotCount + j, descriptor);
  }
}

}  // namespace

void SetArrayError(CALLFRAME* frame, int array, int instruction, Compiler* /*language*/, int code) {
  RecordError(frame, instruction, kArrayReferenceError, code, array + 1, 0);
}

void SetBuiltinError(CALLFRAME* frame, int builtin, int instruction, Compiler* /*language*/, int code) {
  RecordError(frame, instruction, kBuiltinError, code, 0, builtin + 1);
}

bool OperandDescriptor(const CProgramCode& code, int instruction, int k, VALUEDESCRIPTOR* descriptor) {
  if (instruction < 0 || instruction >= code.instructionCount || k < 0 || k >= code.OperandCount(instruction)) {
    return false;
  }
  const double* operand = code.Operands(instruction)[k];
  if (code.values == nullptr || operand < code.values || operand >= code.values + code.slotCount) return false;
  return code.ReadDescriptor(static_cast<int>(operand - code.values), descriptor);
}

bool ResolveArrayReference(const Compiler& language, const CProgramCode& code, int instruction, int k,
                           ARRAYREFERENCE* reference) {
  VALUEDESCRIPTOR descriptor{};
  if (!OperandDescriptor(code, instruction, k, &descriptor)) return false;
  return CheckArrayReference(language, descriptor, *code.Operands(instruction)[k], reference) == 0;
}

int EvaluateInlineExpression(CALLFRAME* frame, CALLSTATE* state, int instruction, double* value) {
  Compiler& language = *language::activeCompiler;
  const CProgramCode& code = *frame->code;
  const int n = code.OperandCount(instruction);
  int32_t first = -1;
  if (n < 1 || code.OperandKinds(instruction)[n - 1] != kOperandExpression ||
      !IntegerPart(*code.Operands(instruction)[n - 1], &first) || first < 0 || first >= instruction) {
    *value = language.undefined;
    return kRunStopped;
  }
  int status = language.Run(frame, state, first, instruction - 1);
  *value = language.runControl->lastResult;
  return status;
}

int Compiler::Run(CALLFRAME* frame, CALLSTATE* state, int first, int last) {
  if (first >= 0) {
    language::currentProgram = frame->code;
    return Activation(*this, frame, state).RunRange(first, last);
  }

  // The program named by the run-control record, when no frame is given.
  std::unique_ptr<CALLFRAME> ownFrame;
  if (frame == nullptr) {
    ownFrame.reset(new (std::nothrow) CALLFRAME{});
    if (!ownFrame) AllocationFailed("call frame", sizeof(CALLFRAME));
    frame = ownFrame.get();
    frame->program = runControl->program;
    frame->info = runControl->info;
    frame->code = runControl->code;
    frame->callerCode = runControl->code;
  }
  CProgramCode& code = *frame->code;
  language::currentProgram = &code;

  // An earlier activation that did not finish is reported where it stopped.
  if (++code.nestingCount == 1 && code.currentInstruction >= 0 && !HasError(code)) {
    code.errorProgram = -1;
    code.interruptedAt = code.currentInstruction;
  }
  std::unique_ptr<CALLSTATE> ownState;
  if (state == nullptr) {
    ownState.reset(new (std::nothrow) CALLSTATE());
    if (!ownState) AllocationFailed("call state", sizeof(CALLSTATE));
    state = ownState.get();
    BindFormalParameters(*this, *frame, *state);
  }
  int status = Activation(*this, frame, state).RunWhole();
  --code.nestingCount;
  return status;
}
