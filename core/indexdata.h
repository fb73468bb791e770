// INDEXDATA: a fast interval index over an ascending grid of doubles. Built once
// per grid at set-up, read by every lookup on the host and on the devices: one
// multiplication, one table read and at most two comparisons find the interval
// of a value instead of a binary search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/hostdevice.h"
#include "core/relative.h"

// Index sizes 2^k + 1 for k = 0..20.
constexpr int kIndexExponentMax = 20;
constexpr int indexSize[kIndexExponentMax + 1] = {
    2,    3,    5,     9,     17,    33,     65,     129,    257,     513,    1025,
    2049, 4097, 8193, 16385, 32769, 65537, 131073, 262145, 524289, 1048577};

struct INDEXDATA {
  // 0: none (binary search); 1, 2: linear mapping with 1 or 2 breakpoints;
  // -1, -2: logarithmic mapping; -3, -4: reverse logarithmic mapping
  // (x -> ln(xMax - x)). Requested type before the build, built type after.
  int32_t indexType;
  int32_t exponent;           // k: the index has 2^k + 1 entries
  int16_t* intervalIndex;     // the 2^k + 1 interval indices (owned)
  double xStart;              // first covered value of the mapped variable
  double tStart;              // xStart, or ln xStart for logarithmic mappings
  double invStep;             // bins per unit of the transformed variable
  double xMax;                // last value of the whole grid
  int32_t indexOffset;        // added to every entry at the build
  uint8_t* doubleStep;        // 2-breakpoint indexes: 1 where an entry skips a point
};

// The host and the device compilers must agree on this layout.
static_assert(offsetof(INDEXDATA, indexType) == 0);
static_assert(offsetof(INDEXDATA, exponent) == 4);
static_assert(offsetof(INDEXDATA, intervalIndex) == 8);
static_assert(offsetof(INDEXDATA, xStart) == 16);
static_assert(offsetof(INDEXDATA, tStart) == 24);
static_assert(offsetof(INDEXDATA, invStep) == 32);
static_assert(offsetof(INDEXDATA, xMax) == 40);
static_assert(offsetof(INDEXDATA, indexOffset) == 48);
static_assert(offsetof(INDEXDATA, doubleStep) == 56);
static_assert(sizeof(INDEXDATA) == 64);

// The index of a grid inside an element's pooled block (core/elem.h): the
// fields of INDEXDATA, with the entries in the block. Entries that all lie in
// 0..255 (grids of up to 256 points) take one byte each (narrowIndex), others
// two (intervalIndex); one of the two references is null. The doubleStep
// flags are not kept: no lookup reads them, and flag j is 1 exactly where
// entry j exceeds entry j - 1 by two.
//
// A large index is kept in two levels instead (coarseShift s > 0): entries
// never fall from one bin to the next, so the table of 2^k + 1 entries is
// the entry of every 2^s-th bin (the coarse entries, two bytes each, in
// intervalIndex) and, after them on a 4-byte boundary, the first bin of each
// entry value from the smallest to the largest (four bytes each, firstBin)
// with an end mark above every bin. The entry of a bin is its coarse entry
// raised while the next value's first bin is not above the bin: the same
// entries as the one table, a few kilobytes instead of up to 512 KB (a
// cumulative table of 606 points at k = 18), so that random probabilities
// read from the cache.
struct ELEMINDEX {
  int32_t indexType;           // as INDEXDATA
  int32_t exponent;            // k: the index has 2^k + 1 entries
  REL<int16_t> intervalIndex;  // the entries, two bytes each (null: narrow); two levels: the coarse entries
  double xStart;
  double tStart;
  double invStep;
  double xMax;
  int32_t indexOffset;
  int32_t coarseShift;         // s > 0: two levels, a coarse entry every 2^s bins; 0: one table
  union {                      // which one, coarseShift tells
    REL<uint8_t> narrowIndex;  // one table: the entries, one byte each (null: wide)
    REL<int32_t> firstBin;     // two levels: the first bins, after the coarse entries
  };
};

static_assert(offsetof(ELEMINDEX, intervalIndex) == 8);
static_assert(offsetof(ELEMINDEX, xStart) == 16);
static_assert(offsetof(ELEMINDEX, indexOffset) == 48);
static_assert(offsetof(ELEMINDEX, coarseShift) == 52);
static_assert(offsetof(ELEMINDEX, narrowIndex) == 56);
static_assert(sizeof(ELEMINDEX) == 64);

// Coarse entries of a two-level index with exponent k and shift s: 2^(k - s) + 1.
TQ_CPU_GPU inline int32_t TwoLevelCoarseCount(int32_t exponent, int32_t shift) {
  return (int32_t{1} << (exponent - shift)) + 1;
}

// Bytes from the coarse entries of a two-level index to its first bins.
TQ_CPU_GPU inline int32_t TwoLevelFirstBinOffset(int32_t exponent, int32_t shift) {
  // Unsigned: the count is positive, and a rounding down to a multiple of 4
  // is then a mask.
  return static_cast<int32_t>((2u * static_cast<uint32_t>(TwoLevelCoarseCount(exponent, shift)) + 3u) & ~3u);
}

// Entry `bin` of an index.
TQ_CPU_GPU inline int32_t IndexEntry(const INDEXDATA& index, int32_t bin) { return index.intervalIndex[bin]; }
TQ_CPU_GPU inline int32_t IndexEntry(const ELEMINDEX& index, int32_t bin) {
  if (index.coarseShift > 0) {
    const int16_t* coarse = index.intervalIndex.table();
    const int32_t* firstBin = index.firstBin.table();
    int32_t q = coarse[bin >> index.coarseShift] - coarse[0];
    while (firstBin[q + 1] <= bin) ++q;
    return coarse[0] + q;
  }
  return index.narrowIndex.offset != 0 ? index.narrowIndex[bin] : index.intervalIndex[bin];
}

// Buckets of equal width over an ascending grid of n points, for a search that
// reads the grid only between two bucket entries: entry b is the number of
// grid points whose bucket (GridBucket) lies below b, so a value of bucket b
// lies on an interval from first[b] - 1 to first[b + 1] - 1. Built at set-up
// over a grid that the buckets' own block holds (an element's pooled block).
struct GRIDBUCKETS {
  REL<int16_t> first;  // [count + 1] points below each bucket
  double start;        // the grid's first point
  double scale;        // buckets per unit of the grid's variable
  int32_t count;       // buckets; 0: none (the grid is searched by halving)
  int32_t unused;      // 0
};

static_assert(offsetof(GRIDBUCKETS, first) == 0);
static_assert(offsetof(GRIDBUCKETS, start) == 8);
static_assert(offsetof(GRIDBUCKETS, count) == 24);
static_assert(sizeof(GRIDBUCKETS) == 32);

// Bucket of x, 0 .. count - 1 (values beyond the grid, or not a number, go to
// the end buckets). Non-decreasing in x, as the set-up's counts rely on.
TQ_CPU_GPU inline int32_t GridBucket(const GRIDBUCKETS& buckets, double x) {
  const double t = (x - buckets.start) * buckets.scale;
  if (!(t >= 0.0)) return 0;
  if (t >= static_cast<double>(buckets.count)) return buckets.count - 1;
  return static_cast<int32_t>(t);
}
