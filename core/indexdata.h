// INDEXDATA: a fast interval index over an ascending grid of doubles. Built once
// per grid at set-up, read by every lookup on the host and on the devices: one
// multiplication, one table read and at most two comparisons find the interval
// of a value instead of a binary search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/relative.h"

// Index sizes 2^k + 1 for k = 0..20.
constexpr int kIndexExponentMax = 20;
constexpr int indexSize[kIndexExponentMax + 1] = {
    2,    3,    5,     9,     17,    33,     65,     129,    257,     513,    1025,
    2049, 4097, 8193, 16385, 32769, 65537, 131073, 262145, 524289, 1048577};

// The fields of an index. Its two tables are referenced through Table<T>:
// host pointers in INDEXDATA (the per-material indexes, the element loaders'
// staging record), block-relative references in ELEMINDEX (the indexes inside
// an element's pooled block, core/elem.h). Both have the same layout.
template <template <typename> class Table>
struct INDEXRECORD {
  // 0: none (binary search); 1, 2: linear mapping with 1 or 2 breakpoints;
  // -1, -2: logarithmic mapping; -3, -4: reverse logarithmic mapping
  // (x -> ln(xMax - x)). Requested type before the build, built type after.
  int32_t indexType;
  int32_t exponent;               // k: the index has 2^k + 1 entries
  Table<int16_t> intervalIndex;   // the 2^k + 1 interval indices (INDEXDATA: owned)
  double xStart;                  // first covered value of the mapped variable
  double tStart;                  // xStart, or ln xStart for logarithmic mappings
  double invStep;                 // bins per unit of the transformed variable
  double xMax;                    // last value of the whole grid
  int32_t indexOffset;            // added to every entry at the build
  Table<uint8_t> doubleStep;      // 2-breakpoint indexes: 1 where an entry skips a point
};

template <typename T>
using HOSTTABLE = T*;

using INDEXDATA = INDEXRECORD<HOSTTABLE>;
using ELEMINDEX = INDEXRECORD<REL>;

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
static_assert(offsetof(ELEMINDEX, intervalIndex) == 8);
static_assert(offsetof(ELEMINDEX, doubleStep) == 56);
static_assert(sizeof(ELEMINDEX) == 64);
