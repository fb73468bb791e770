// Set-up tools for ascending grids: the interval search from a remembered
// index, linear interpolation with it, and the builder of the fast interval
// index (INDEXDATA) that the transport lookups read.
#pragma once

#include <cstdint>
#include <vector>

#include "core/indexdata.h"

// The index i of the interval that holds x, from -1 to n-1:
// grid[i] <= x < grid[i+1], with grid[-1] = -inf and grid[n] = +inf. The scan
// starts at hint (n/2 when the hint lies outside 0..n-1). A value equal to a
// grid point yields that point's index; a NaN returns the hint.
int SearchFromHint(double x, const double* grid, int16_t n, int16_t hint);

// Linear interpolation of values over grid at x; 0 outside [grid[0],
// grid[n-1]]. The hint is the interval found last and is updated.
double InterpolateFromHint(double x, const double* grid, const double* values, int16_t n,
                           uint16_t* hint);

// Builds the fast index of the part of grid[0..n-1] that covers [xLow, xHigh].
// The caller presets index->indexType (requested type) and index->exponent
// (largest exponent); afterwards they hold the built type and exponent, or
// indexType 0 when no index could be built (lookups then use a binary
// search). excludeFirst starts the mapping at the second covered point.
// Allocates intervalIndex (and doubleStep for 2-breakpoint indexes) with new[];
// FreeFastIndex releases them.
void BuildFastIndex(const double* grid, int n, INDEXDATA* index, double xLow, double xHigh,
                    bool excludeFirst);

// Releases the tables of an index and resets it to "no index".
void FreeFastIndex(INDEXDATA* index);

// The two-level form of a built index's entries (ELEMINDEX, core/indexdata.h):
// the shift s, the 2^(k - s) + 1 coarse entries and the first bin of every
// entry value from the smallest to the largest, with the end mark. The shift
// is 0 (keep the one table) when there is no index, when an entry falls from
// one bin to the next, or when the coarse entries would not be at least four
// times fewer than the entries. The coarse entries number about four per
// entry value, so that a bin's entry is its coarse entry or a step or two
// above it.
struct TWOLEVELINDEX {
  int32_t shift = 0;
  std::vector<int16_t> coarse;
  std::vector<int32_t> firstBin;
};
TWOLEVELINDEX TwoLevelIndex(const INDEXDATA& index);
