// The array and utility built-ins: "Invert" (71), "Size" (72),
// "Size2" (73), "Find" (86), "Find2" (87), "Hist" (88), "Hist2" (89),
// "ReadArray" (90), "ReadArray2" (91), "Sort" (92) and "Sort2" (93).
//
// Each reads its arguments through the operands of its call instruction
// (operand k is argument k + 1; an array argument is the result of a loc: the
// data address as a number with a reference descriptor in its slot), writes
// its result slot and tells the interpreter whether to go on. An array
// argument is one run of elements along its last dimension from the
// referenced element on (ArrayExtent): a whole array of several dimensions
// shows its first row. Counts and indices are the argument plus 0.5,
// truncated; indices are given and returned in the language's index base.
#pragma once

#include <cstdint>

#include "language/builtin_table.h"
#include "language/evaluating_call.h"

// The registered routines (the special built-in calling convention).
int BuiltinInvert(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinSize(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinSize2(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinFind(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);       // Find and Find2
int BuiltinHist(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);       // Hist and Hist2
int BuiltinReadArray(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);  // ReadArray, ReadArray2
int BuiltinSort(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);
int BuiltinSort2(int code, CALLFRAME* frame, CALLSTATE* state, int instruction);

// Their bodies over one call.
SPECIALOUTCOME RunInvert(const SPECIALCALL& call);
SPECIALOUTCOME RunSize(const SPECIALCALL& call);
SPECIALOUTCOME RunSize2(const SPECIALCALL& call);
SPECIALOUTCOME RunFind(const SPECIALCALL& call, int code);
SPECIALOUTCOME RunHist(const SPECIALCALL& call, int code);
SPECIALOUTCOME RunReadArray(const SPECIALCALL& call, int code);
SPECIALOUTCOME RunSort(const SPECIALCALL& call);
SPECIALOUTCOME RunSort2(const SPECIALCALL& call);

// Sub-codes of the built-in errors beyond the numbered details.
constexpr int kReadArrayNotANumber = 2;  // ReadArray: a token of the file is not a number

// Inverts the n x n matrix a in place by Gauss-Jordan elimination with full
// pivoting (the scheme of MINV, IBM Scientific Subroutine Package) and gives
// its determinant; a zero pivot gives the determinant 0 and leaves the
// matrix partly transformed. l and m are work arrays of n ints. The inverse
// is the inverse whether a is stored by rows or by columns.
void MatrixInvert(int n, double* a, double* determinant, int* l, int* m);

// Position j of x in the ascending a[0..n-1] with a[j] <= x < a[j+1]: -1
// below the table, n - 1 at or above its end. n >= threshold bisects from the
// hint, otherwise the search scans from the hint (outside 0..n-1: n / 2).
int LocateSortedDouble(int n, int hint, double x, int threshold, const double* a);
int LocateSortedFloat(int n, int hint, double x, int threshold, const float* a);

// Sorts the n elements of `data` (element type `type`) ascending, and sets
// positions[i] to the place before the sort of the element now at i (plus
// base). Not stable. Returns the deepest nesting of the partitioning (at
// most log2(n) + 1).
int SortPaired(int n, int* positions, int type, void* data, int base);
