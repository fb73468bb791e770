#include "language/compiler.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "language/interpreter.h"
#include "language/messages.h"
#include "language/undefined_value.h"

namespace language {
Compiler* compiler = nullptr;
Compiler* activeCompiler = nullptr;
}  // namespace language

namespace {

const char* const kSystemVariableNames[kSystemVariableCount] = {
    "@0", "@1", "@2", "@3", "@4", "@5", "@6", "@7", "@8", "@9", "IER", "AbsErr", "nEval"};

// Message numbers of the names of the kinds 1..5 of named objects.
constexpr int kKindNameMessages[kKindNameCount] = {2674, 2719, 2675, 2676, 2677};

// Bytes per element of the array element types double, float, int, uint,
// int2, uint2, int1, uint1.
constexpr int32_t kElementTypeSizes[kElementTypeCount] = {8, 4, 4, 4, 2, 2, 1, 1};

constexpr SortComparator kSortComparators[kElementTypeCount] = {
    CompareDouble, CompareFloat, CompareInt, CompareUInt, CompareInt2, CompareUInt2, CompareInt1, CompareUInt1};

}  // namespace

uint8_t SignatureByteOf(int nArguments, const uint8_t* kinds) {
  if (nArguments == 0) return 0;
  if (nArguments >= 4) return 255;
  unsigned sum = 0;
  unsigned power = 1;
  for (int i = 0; i < nArguments; ++i) {
    unsigned kind = kinds[i] < 4 ? kinds[i] : 4;
    sum += (kind + 1) * power;
    power *= 5;
  }
  return static_cast<uint8_t>(sum % 256);
}

Compiler::Compiler() : zeroFinderTemplate(kZeroFinderTemplate) {
  language::activeCompiler = this;
  printFile = stdout;

  for (int kind = 0; kind < kKindNameCount; ++kind) {
    GetMessageText(kKindNameMessages[kind], kindNames[kind], sizeof kindNames[kind]);
  }
  StoreBuiltinTables();
  InstallSpecialBuiltins();
  StoreSignatureBytes();

  std::memset(elementSizes, 0, sizeof elementSizes);
  std::memcpy(elementSizes, kElementTypeSizes, sizeof kElementTypeSizes);
  std::memset(systemValues, 0, sizeof systemValues);
  std::memset(globalValues, 0, sizeof globalValues);
  std::memset(globalParameterNames, 0, sizeof globalParameterNames);
  std::memset(message, 0, sizeof message);
  std::memset(composition, 0, sizeof composition);

  runControl = new (std::nothrow) RUNCONTROL{};
  undefined = kUndefined;
  std::strcpy(defaultNumberFormat, "%.14g");
  std::strcpy(numberFormat, defaultNumberFormat);
  randomGenerator.RandomInitialise(CRandGen::kDefaultIJ, CRandGen::kDefaultKL);
  std::memcpy(sortComparators, kSortComparators, sizeof sortComparators);
}

Compiler::~Compiler() {
  programs.clear();  // each record frees its instruction lists and value buffer
  FreeArrays();
  delete runControl;
  delete[] newGlobalParameters;
  FreeCompilerWorkArrays();
  if (language::activeCompiler == this) {
    language::activeCompiler = nullptr;
    language::currentProgram = nullptr;  // it was one of this object's programs
  }
}

void Compiler::FreeArrays() {
  for (ARRAYINFO& array : arrays) {
    delete[] static_cast<unsigned char*>(array.data);
    array.data = nullptr;
  }
  arrays.clear();
}

// Names, ordinary routines, argument descriptors and repeated-evaluation
// flags, all from the one built-in table.
void Compiler::StoreBuiltinTables() {
  for (int i = 0; i < kSystemVariableCount; ++i) std::strcpy(systemVariableNames[i], kSystemVariableNames[i]);
  std::memset(argumentDescriptors, 0, sizeof argumentDescriptors);
  std::memset(repeatedEvaluation, 0, sizeof repeatedEvaluation);
  for (int code = 0; code < kBuiltinCount; ++code) {
    const BUILTININFO& builtin = language::kBuiltins[code];
    std::strcpy(builtinNames[code], builtin.name);
    if (code < kOrdinaryBuiltinCount) {
      ordinaryBuiltins[code] = builtin.ordinary;
      continue;
    }
    argumentDescriptors[code].count = builtin.argumentCount;
    std::memcpy(argumentDescriptors[code].kind, builtin.argumentKinds, sizeof argumentDescriptors[code].kind);
    repeatedEvaluation[code] = builtin.repeats ? 1 : 0;
  }
}

void Compiler::InstallSpecialBuiltins() {
  for (int code = 0; code < kBuiltinCount; ++code) {
    specialBuiltins[code] = code < kOrdinaryBuiltinCount ? nullptr : language::kBuiltins[code].special;
  }
  language::returnFunctionIndex = kReturnBuiltin;
}

// Built-ins 0..69 count all their arguments as numbers; 70..93 use their
// descriptors.
void Compiler::StoreSignatureBytes() {
  const uint8_t numbers[kMaxBuiltinArguments] = {};
  for (int code = 0; code < kBuiltinCount; ++code) {
    uint8_t signature = code < kOrdinaryBuiltinCount
                            ? SignatureByteOf(language::kBuiltins[code].argumentCount, numbers)
                            : SignatureByteOf(argumentDescriptors[code].count, argumentDescriptors[code].kind);
    signatureBytes.SetAtGrow(code, &signature);
  }
}

void Compiler::StoreProgramSignature(int program) {
  const PARAMLIST& parameters = programs[program]->parameters;
  uint8_t signature = SignatureByteOf(parameters.count, parameters.kind);
  signatureBytes.SetAtGrow(kBuiltinCount + program, &signature);
}

void Compiler::AddNewGlobalParameter(const char* name) {
  GLOBALPARAM* grown = new GLOBALPARAM[static_cast<size_t>(nNewGlobalParameters) + 1]();
  for (int i = 0; i < nNewGlobalParameters; ++i) grown[i] = newGlobalParameters[i];
  std::snprintf(grown[nNewGlobalParameters].name, sizeof grown[nNewGlobalParameters].name, "%s", name);
  delete[] newGlobalParameters;
  newGlobalParameters = grown;
  ++nNewGlobalParameters;
}

void Compiler::ClearNewGlobalParameters() {
  delete[] newGlobalParameters;
  newGlobalParameters = nullptr;
  nNewGlobalParameters = 0;
}
