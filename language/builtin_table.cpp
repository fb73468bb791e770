#include "language/builtin_table.h"

#include "language/array_builtins.h"
#include "language/evaluation_builtins.h"
#include "language/math_builtins.h"
#include "language/output_builtins.h"

namespace language {
int returnFunctionIndex = kReturnBuiltin;
}  // namespace language

namespace {

constexpr uint8_t N = kArgNumber;
constexpr uint8_t O = kArgOutputVariable;
constexpr uint8_t A = kArgArray;
constexpr uint8_t M = kArgMatrix;

}  // namespace

namespace language {
// clang-format off
constexpr BUILTININFO kBuiltins[kBuiltinCount] = {
    // code name               args kinds                 repeats ordinary routine          special routine
    {0,  "Add",              2, {},                     false, BuiltinAdd,              nullptr},
    {1,  "Subtract",         2, {},                     false, BuiltinSubtract,         nullptr},
    {2,  "Divide",           2, {},                     false, BuiltinDivide,           nullptr},
    {3,  "Multiply",         2, {},                     false, BuiltinMultiply,         nullptr},
    {4,  "Power",            2, {},                     false, BuiltinPower,            nullptr},
    {5,  "Equality",         2, {},                     false, BuiltinEquality,         nullptr},
    {6,  "GT",               2, {},                     false, BuiltinGT,               nullptr},
    {7,  "LT",               2, {},                     false, BuiltinLT,               nullptr},
    {8,  "GE",               2, {},                     false, BuiltinGE,               nullptr},
    {9,  "LE",               2, {},                     false, BuiltinLE,               nullptr},
    {10, "EQ",               2, {},                     false, BuiltinEQ,               nullptr},
    {11, "NE",               2, {},                     false, BuiltinNE,               nullptr},
    {12, "AND",              2, {},                     false, BuiltinAND,              nullptr},
    {13, "OR",               2, {},                     false, BuiltinOR,               nullptr},
    {14, "Dir",              1, {},                     false, BuiltinDir,              nullptr},
    {15, "Dir2",             1, {},                     false, BuiltinDir2,             nullptr},
    {16, "Write",            1, {},                     false, BuiltinWrite,            nullptr},
    {17, "Write2",           1, {},                     false, BuiltinWrite2,           nullptr},
    {18, "Print",            1, {},                     false, BuiltinPrint,            nullptr},
    {19, "Print2",           1, {},                     false, BuiltinPrint2,           nullptr},
    {20, "System",           1, {},                     false, BuiltinSystem,           nullptr},
    {21, "FopenW",           1, {},                     false, BuiltinFopenW,           nullptr},
    {22, "FopenR",           1, {},                     false, BuiltinFopenR,           nullptr},
    {23, "SetNumberFormat",  1, {},                     false, BuiltinSetNumberFormat,  nullptr},
    {24, "FcloseW",          0, {},                     false, BuiltinFcloseW,          nullptr},
    {25, "FcloseR",          0, {},                     false, BuiltinFcloseR,          nullptr},
    {26, "SkipLines",        1, {},                     false, BuiltinSkipLines,        nullptr},
    {27, "Not",              1, {},                     false, BuiltinNot,              nullptr},
    {28, "exp",              1, {},                     false, BuiltinExp,              nullptr},
    {29, "ln",               1, {},                     false, BuiltinLn,               nullptr},
    {30, "lg",               1, {},                     false, BuiltinLg,               nullptr},
    {31, "sqrt",             1, {},                     false, BuiltinSqrt,             nullptr},
    {32, "sin",              1, {},                     false, BuiltinSin,              nullptr},
    {33, "cos",              1, {},                     false, BuiltinCos,              nullptr},
    {34, "tg",               1, {},                     false, BuiltinTg,               nullptr},
    {35, "arcsin",           1, {},                     false, BuiltinArcsin,           nullptr},
    {36, "arccos",           1, {},                     false, BuiltinArccos,           nullptr},
    {37, "arctg",            1, {},                     false, BuiltinArctg,            nullptr},
    {38, "arctg2",           2, {},                     false, BuiltinArctg2,           nullptr},
    {39, "sinh",             1, {},                     false, BuiltinSinh,             nullptr},
    {40, "cosh",             1, {},                     false, BuiltinCosh,             nullptr},
    {41, "tanh",             1, {},                     false, BuiltinTanh,             nullptr},
    {42, "j0",               1, {},                     false, BuiltinJ0,               nullptr},
    {43, "j1",               1, {},                     false, BuiltinJ1,               nullptr},
    {44, "jn",               2, {},                     false, BuiltinJn,               nullptr},
    {45, "y0",               1, {},                     false, BuiltinY0,               nullptr},
    {46, "y1",               1, {},                     false, BuiltinY1,               nullptr},
    {47, "yn",               2, {},                     false, BuiltinYn,               nullptr},
    {48, "abs",              1, {},                     false, BuiltinAbs,              nullptr},
    {49, "ldexp",            2, {},                     false, BuiltinLdexp,            nullptr},
    {50, "fmod",             2, {},                     false, BuiltinFmod,             nullptr},
    {51, "ceil",             1, {},                     false, BuiltinCeil,             nullptr},
    {52, "floor",            1, {},                     false, BuiltinFloor,            nullptr},
    {53, "near",             1, {},                     false, BuiltinNear,             nullptr},
    {54, "srand",            1, {},                     false, BuiltinSrand,            nullptr},
    {55, "srand2",           1, {},                     false, BuiltinSrand2,           nullptr},
    {56, "rand",             0, {},                     false, BuiltinRand,             nullptr},
    {57, "rand2",            1, {},                     false, BuiltinRand2,            nullptr},
    {58, "time",             0, {},                     false, BuiltinTime,             nullptr},
    {59, "clock",            0, {},                     false, BuiltinClock,            nullptr},
    {60, "indirect",         1, {},                     false, BuiltinIndirect,         nullptr},
    {61, "memcpy",           3, {},                     false, BuiltinMemcpy,           nullptr},
    {62, "erf",              1, {},                     false, BuiltinErf,              nullptr},
    {63, "erfc",             1, {},                     false, BuiltinErfc,             nullptr},
    {64, "gamma",            1, {},                     false, BuiltinGamma,            nullptr},
    {65, "lngamma",          1, {},                     false, BuiltinLnGamma,          nullptr},
    {66, "gammp",            2, {},                     false, BuiltinGammp,            nullptr},
    {67, "max",              2, {},                     false, BuiltinMax,              nullptr},
    {68, "min",              2, {},                     false, BuiltinMin,              nullptr},
    {69, "select",           3, {},                     false, BuiltinSelect,           nullptr},
    {70, "loc",              1, {N},                    false, nullptr, nullptr},
    {71, "Invert",           1, {M},                    false, nullptr, BuiltinInvert},
    {72, "Size",             1, {A},                    false, nullptr, BuiltinSize},
    {73, "Size2",            2, {N, N},                 false, nullptr, BuiltinSize2},
    {74, "Int",              4, {},                     true,  nullptr, BuiltinInt},
    {75, "Int2",             7, {},                     true,  nullptr, BuiltinInt},
    {76, "Inti",             4, {},                     true,  nullptr, BuiltinInt},
    {77, "Inti2",            7, {},                     true,  nullptr, BuiltinInt},
    {78, "Intw",             6, {},                     true,  nullptr, BuiltinIntw},
    {79, "Intw2",           10, {},                     true,  nullptr, BuiltinIntw},
    {80, "Sum",              4, {},                     true,  nullptr, BuiltinSum},
    {81, "Sum2",             5, {},                     true,  nullptr, BuiltinSum},
    {82, "Iter",             4, {},                     true,  nullptr, BuiltinSum},
    {83, "Root",             4, {},                     true,  nullptr, BuiltinRoot},
    {84, "Root2",            7, {N, N, N, N, N, N, O},  true,  nullptr, BuiltinRoot},
    {85, "Return",           1, {N},                    false, nullptr, nullptr},
    {86, "Find",             3, {N, A, N},              false, nullptr, BuiltinFind},
    {87, "Find2",            5, {N, A, N, N, N},        false, nullptr, BuiltinFind},
    {88, "Hist",             3, {A, A, A},              false, nullptr, BuiltinHist},
    {89, "Hist2",            5, {A, A, A, N, N},        false, nullptr, BuiltinHist},
    {90, "ReadArray",        1, {A},                    false, nullptr, BuiltinReadArray},
    {91, "ReadArray2",       2, {A, N},                 false, nullptr, BuiltinReadArray},
    {92, "Sort",             1, {A},                    false, nullptr, BuiltinSort},
    {93, "Sort2",            2, {A, A},                 false, nullptr, BuiltinSort2},
};
}  // namespace language
// clang-format on

// Every entry stands at its own code, only 74..84 evaluate repeatedly, and no
// entry asks for more arguments than a descriptor holds. (That every code has
// its routine is checked by the tests: sanitizer builds cannot compare
// function addresses at compile time.)
constexpr bool TableIsConsistent() {
  for (int code = 0; code < kBuiltinCount; ++code) {
    const BUILTININFO& entry = language::kBuiltins[code];
    bool repeats = code >= kFirstRepeatedBuiltin && code <= kLastRepeatedBuiltin;
    if (entry.code != code || entry.repeats != repeats || entry.argumentCount > kMaxBuiltinArguments) return false;
  }
  return true;
}
static_assert(TableIsConsistent());
