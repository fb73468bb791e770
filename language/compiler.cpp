#include "language/compiler.h"

#include <cmath>
#include <cstring>
#include <new>

#include "language/messages.h"

Compiler* compiler = nullptr;
Compiler* activeCompiler = nullptr;

namespace {

const char* const kSystemVariableNames[kSystemVariableCount] = {
    "@0", "@1", "@2", "@3", "@4", "@5", "@6", "@7", "@8", "@9", "IER", "AbsErr", "nEval"};

// Names of the built-in codes 0..93; codes 0..13 are the operators' internal
// names and are never looked up as identifiers.
const char* const kBuiltinNames[kBuiltinCount] = {
    "Add", "Subtract", "Divide", "Multiply", "Power", "Equality", "GT", "LT", "GE", "LE",
    "EQ", "NE", "AND", "OR", "Dir", "Dir2", "Write", "Write2", "Print", "Print2",
    "System", "FopenW", "FopenR", "SetNumberFormat", "FcloseW", "FcloseR", "SkipLines", "Not", "exp", "ln",
    "lg", "sqrt", "sin", "cos", "tg", "arcsin", "arccos", "arctg", "arctg2", "sinh",
    "cosh", "tanh", "j0", "j1", "jn", "y0", "y1", "yn", "abs", "ldexp",
    "fmod", "ceil", "floor", "near", "srand", "srand2", "rand", "rand2", "time", "clock",
    "indirect", "memcpy", "erf", "erfc", "gamma", "lngamma", "gammp", "max", "min", "select",
    "loc", "Invert", "Size", "Size2", "Int", "Int2", "Inti", "Inti2", "Intw", "Intw2",
    "Sum", "Sum2", "Iter", "Root", "Root2", "Return", "Find", "Find2", "Hist", "Hist2",
    "ReadArray", "ReadArray2", "Sort", "Sort2"};

// Argument counts of the ordinary built-ins 0..69 (all numbers).
const uint8_t kOrdinaryArgumentCounts[kOrdinaryBuiltinCount] = {
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,  // operators
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1,              // Dir .. SetNumberFormat
    0, 0,                                      // FcloseW, FcloseR
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,        // SkipLines .. arctg
    2,                                         // arctg2
    1, 1, 1, 1, 1,                             // sinh .. j1
    2,                                         // jn
    1, 1,                                      // y0, y1
    2,                                         // yn
    1,                                         // abs
    2, 2,                                      // ldexp, fmod
    1, 1, 1, 1, 1,                             // ceil, floor, near, srand, srand2
    0,                                         // rand
    1,                                         // rand2
    0, 0,                                      // time, clock
    1,                                         // indirect
    3,                                         // memcpy
    1, 1, 1, 1,                                // erf, erfc, gamma, lngamma
    2, 2, 2,                                   // gammp, max, min
    3};                                        // select

struct SpecialBuiltin {
  int code;
  int count;
  uint8_t kinds[kMaxBuiltinArguments];
};

// Argument descriptors of the special built-ins 70..93.
const SpecialBuiltin kSpecialBuiltins[] = {
    {70, 1, {kArgNumber}},
    {71, 1, {kArgMatrix}},
    {72, 1, {kArgArray}},
    {73, 2, {kArgNumber, kArgNumber}},
    {74, 4, {}}, {75, 7, {}}, {76, 4, {}}, {77, 7, {}}, {78, 6, {}}, {79, 10, {}},
    {80, 4, {}}, {81, 5, {}}, {82, 4, {}}, {83, 4, {}},
    {84, 7, {0, 0, 0, 0, 0, 0, kArgOutputVariable}},
    {85, 1, {kArgNumber}},
    {86, 3, {kArgNumber, kArgArray, kArgNumber}},
    {87, 5, {kArgNumber, kArgArray, kArgNumber, kArgNumber, kArgNumber}},
    {88, 3, {kArgArray, kArgArray, kArgArray}},
    {89, 5, {kArgArray, kArgArray, kArgArray, kArgNumber, kArgNumber}},
    {90, 1, {kArgArray}},
    {91, 2, {kArgArray, kArgNumber}},
    {92, 1, {kArgArray}},
    {93, 2, {kArgArray, kArgArray}},
};

constexpr int kFirstRepeatedBuiltin = 74;  // Int .. Root2 evaluate a user expression repeatedly
constexpr int kLastRepeatedBuiltin = 84;

// Message numbers of the names of the kinds 1..5 of named objects.
constexpr int kKindNameMessages[kKindNameCount] = {2674, 2719, 2675, 2676, 2677};

// Bytes per element of the array element types double, float, int, uint,
// int2, uint2, int1, uint1.
constexpr int32_t kElementTypeSizes[] = {8, 4, 4, 4, 2, 2, 1, 1};

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

Compiler::Compiler() {
  activeCompiler = this;
  printFile = stdout;

  for (int kind = 0; kind < kKindNameCount; ++kind) {
    GetMessageText(kKindNameMessages[kind], kindNames[kind], sizeof kindNames[kind]);
  }
  StoreNames();
  StoreArgumentDescriptors();
  StoreSignatureBytes();

  std::memset(elementSizes, 0, sizeof elementSizes);
  std::memcpy(elementSizes, kElementTypeSizes, sizeof kElementTypeSizes);
  std::memset(systemValues, 0, sizeof systemValues);
  std::memset(globalValues, 0, sizeof globalValues);
  std::memset(globalParameterNames, 0, sizeof globalParameterNames);
  std::memset(message, 0, sizeof message);
  std::memset(composition, 0, sizeof composition);

  runControl = new (std::nothrow) RUNCONTROL{};
  uint64_t undefinedBits = 0xFFF8000000000000ull;
  std::memcpy(&undefined, &undefinedBits, sizeof undefined);
  std::strcpy(defaultNumberFormat, "%.14g");
  std::strcpy(numberFormat, defaultNumberFormat);
}

Compiler::~Compiler() {
  programs.clear();  // each record frees its instruction lists and value buffer
  delete runControl;
  delete[] newGlobalParameters;
  FreeCompilerWorkArrays();
  if (activeCompiler == this) activeCompiler = nullptr;
}

void Compiler::StoreNames() {
  for (int i = 0; i < kSystemVariableCount; ++i) {
    std::strcpy(systemVariableNames[i], kSystemVariableNames[i]);
  }
  for (int code = 0; code < kBuiltinCount; ++code) std::strcpy(builtinNames[code], kBuiltinNames[code]);
}

void Compiler::StoreArgumentDescriptors() {
  std::memset(argumentDescriptors, 0, sizeof argumentDescriptors);
  std::memset(repeatedEvaluation, 0, sizeof repeatedEvaluation);
  for (const SpecialBuiltin& builtin : kSpecialBuiltins) {
    ARGDESC& descriptor = argumentDescriptors[builtin.code];
    descriptor.count = builtin.count;
    std::memcpy(descriptor.kind, builtin.kinds, sizeof descriptor.kind);
  }
  for (int code = kFirstRepeatedBuiltin; code <= kLastRepeatedBuiltin; ++code) repeatedEvaluation[code] = 1;
}

void Compiler::StoreSignatureBytes() {
  const uint8_t numbers[kMaxBuiltinArguments] = {};
  for (int code = 0; code < kBuiltinCount; ++code) {
    uint8_t signature = code < kOrdinaryBuiltinCount
                            ? SignatureByteOf(kOrdinaryArgumentCounts[code], numbers)
                            : SignatureByteOf(argumentDescriptors[code].count, argumentDescriptors[code].kind);
    signatureBytes.SetAtGrow(code, &signature);
  }
}
