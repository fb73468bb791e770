// The operators (codes 0..13) and the mathematical built-ins (codes 27..69) of
// the language, each of the ordinary built-in form: pointers to the argument
// values in, the result out. None reports an error or stops the program:
// domain and range problems give IEEE results (a NaN, an infinity), and a few
// functions give the undefined value (the Compiler's quiet NaN) as noted.
// Also the eight comparators by which the sorting built-ins order array
// elements.
#pragma once

#include <cstdint>

// Operators; a is args[0], b args[1].
double BuiltinAdd(double** args);       // a + b
double BuiltinSubtract(double** args);  // a - b
double BuiltinDivide(double** args);    // a / b
double BuiltinMultiply(double** args);  // a * b
double BuiltinPower(double** args);     // pow(a, b)
double BuiltinEquality(double** args);  // b: the assignment, stored by the interpreter
double BuiltinGT(double** args);        // comparisons give 0 when a NaN is involved ...
double BuiltinLT(double** args);
double BuiltinGE(double** args);
double BuiltinLE(double** args);
double BuiltinEQ(double** args);
double BuiltinNE(double** args);        // ... except NE, which gives 1
double BuiltinAND(double** args);       // logic: only an exact 0 is false, a NaN is true
double BuiltinOR(double** args);

// Functions; x, y, z are args[0], args[1], args[2].
double BuiltinNot(double** args);
double BuiltinExp(double** args);
double BuiltinLn(double** args);
double BuiltinLg(double** args);
double BuiltinSqrt(double** args);
double BuiltinSin(double** args);
double BuiltinCos(double** args);
double BuiltinTg(double** args);
double BuiltinArcsin(double** args);
double BuiltinArccos(double** args);
double BuiltinArctg(double** args);
double BuiltinArctg2(double** args);   // atan2(x, y): ordinate x, abscissa y
double BuiltinSinh(double** args);
double BuiltinCosh(double** args);
double BuiltinTanh(double** args);
double BuiltinJ0(double** args);
double BuiltinJ1(double** args);
double BuiltinJn(double** args);       // J_n(y), n = x rounded half away from zero
double BuiltinY0(double** args);
double BuiltinY1(double** args);
double BuiltinYn(double** args);       // Y_n(y), n as for jn
double BuiltinAbs(double** args);
double BuiltinLdexp(double** args);    // x * 2^n, n = y rounded as for jn
double BuiltinFmod(double** args);
double BuiltinCeil(double** args);
double BuiltinFloor(double** args);
double BuiltinNear(double** args);     // nearest integer, halves away from zero
double BuiltinSrand(double** args);    // seeds rand with the integer part of x; 0
double BuiltinSrand2(double** args);   // seeds the Compiler's RANMAR generator; 0
double BuiltinRand(double** args);     // 0..32767 from the thread's own generator
double BuiltinRand2(double** args);    // x >= 0.5: standard normal, else uniform in (0, 1)
double BuiltinTime(double** args);     // seconds since 1970-01-01 00:00 UTC
double BuiltinClock(double** args);    // milliseconds since the process started
double BuiltinIndirect(double** args); // the double at address x; undefined outside the language's memory
double BuiltinMemcpy(double** args);   // copies z bytes from address y to address x; 0, or -1 refused
double BuiltinErf(double** args);      // undefined for a NaN or an infinity
double BuiltinErfc(double** args);     // likewise
double BuiltinGamma(double** args);
double BuiltinLnGamma(double** args);
double BuiltinGammp(double** args);    // regularised lower incomplete gamma P(x, y)
double BuiltinMax(double** args);      // y when y > x or the pair is unordered, else x
double BuiltinMin(double** args);      // y when y <= x or the pair is unordered, else x
double BuiltinSelect(double** args);   // y when x != 0, else z

// Seeds and draws of the generator behind srand and rand: a generator of our
// own whose state belongs to the calling thread, so that the user program's
// seed is not disturbed by (and does not disturb) any other thread.
void SeedUserRand(uint32_t seed);
int32_t UserRand();                    // 0..32767
constexpr int32_t kUserRandMax = 32767;

// qsort comparators of the array element types, ascending. For the floating
// types a NaN sorts after every number and equal to another NaN, so that the
// order stays consistent (qsort requires it).
int CompareDouble(const void* a, const void* b);
int CompareFloat(const void* a, const void* b);
int CompareInt(const void* a, const void* b);
int CompareUInt(const void* a, const void* b);
int CompareInt2(const void* a, const void* b);
int CompareUInt2(const void* a, const void* b);
int CompareInt1(const void* a, const void* b);
int CompareUInt1(const void* a, const void* b);

using SortComparator = int (*)(const void*, const void*);
