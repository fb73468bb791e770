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
struct ELEMINDEX {
  int32_t indexType;           // as INDEXDATA
  int32_t exponent;            // k: the index has 2^k + 1 entries
  REL<int16_t> intervalIndex;  // the entries, two bytes each (null: narrow)
  double xStart;
  double tStart;
  double invStep;
  double xMax;
  int32_t indexOffset;
  REL<uint8_t> narrowIndex;  // the entries, one byte each (null: wide)
};

static_assert(offsetof(ELEMINDEX, intervalIndex) == 8);
static_assert(offsetof(ELEMINDEX, xStart) == 16);
static_assert(offsetof(ELEMINDEX, indexOffset) == 48);
static_assert(offsetof(ELEMINDEX, narrowIndex) == 56);
static_assert(sizeof(ELEMINDEX) == 64);

// Entry `bin` of an index.
TQ_CPU_GPU inline int32_t IndexEntry(const INDEXDATA& index, int32_t bin) { return index.intervalIndex[bin]; }
TQ_CPU_GPU inline int32_t IndexEntry(const ELEMINDEX& index, int32_t bin) {
  return index.narrowIndex.offset != 0 ? index.narrowIndex[bin] : index.intervalIndex[bin];
}
