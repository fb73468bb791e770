// PULSEHEIGHTTALLY: a histogram, per source history, of the energy deposited
// in the whole geometry or in one cell (with the other cells of its union).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kMaxPulseHeightBins = 10000;

struct PULSEHEIGHTTALLY {
  int32_t cell;             // index of the tallied cell, -1 for the whole geometry
  int32_t ordinal;          // 1-based number among the tallies of the same cell (or whole geometry)
  int32_t bins;             // energy bins, 1..10000
  double lower;             // lower energy limit (input unit, eV after set-up)
  double upper;             // upper energy limit
  double invWidth;          // bins per unit energy: bins / (upper - lower)
  uint8_t eDeposition;      // also compute the energy-deposition tally
  uint8_t writeDuringRun;   // write the tally file during the run
  uint8_t status;           // run state, 0 when defined
  double accumulator;       // run state, 0 when defined
  double interval;          // seconds between writings during the run
};

static_assert(offsetof(PULSEHEIGHTTALLY, cell) == 0);
static_assert(offsetof(PULSEHEIGHTTALLY, ordinal) == 4);
static_assert(offsetof(PULSEHEIGHTTALLY, bins) == 8);
static_assert(offsetof(PULSEHEIGHTTALLY, lower) == 16);
static_assert(offsetof(PULSEHEIGHTTALLY, upper) == 24);
static_assert(offsetof(PULSEHEIGHTTALLY, invWidth) == 32);
static_assert(offsetof(PULSEHEIGHTTALLY, eDeposition) == 40);
static_assert(offsetof(PULSEHEIGHTTALLY, writeDuringRun) == 41);
static_assert(offsetof(PULSEHEIGHTTALLY, status) == 42);
static_assert(offsetof(PULSEHEIGHTTALLY, accumulator) == 48);
static_assert(offsetof(PULSEHEIGHTTALLY, interval) == 56);
static_assert(sizeof(PULSEHEIGHTTALLY) == 64);
