// CELLUNION: a group of cells treated as one. The first member stands for the
// union wherever a single cell is named (source cell, tallies, volume); every
// member carries the union's index in CELL::unionIndex.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxUnions = 5000;  // records of the union table

struct CELLUNION {
  int32_t identifier;  // n of UNION<n>
  uint16_t nCells;     // members, at least 2 once defined
  int16_t* cells;      // [nCells] CELL indices in the order written
};

static_assert(offsetof(CELLUNION, identifier) == 0);
static_assert(offsetof(CELLUNION, nCells) == 4);
static_assert(offsetof(CELLUNION, cells) == 8);
static_assert(sizeof(CELLUNION) == 16);
