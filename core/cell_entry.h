// Cell-entry tallies: counts of particles that enter (or leave) a cell across
// chosen boundaries, binned in energy, and the registration that tells the
// scoring which tallies a crossing between two cells concerns.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/tally.h"

constexpr int kMaxCellEntryRanges = 100;   // energy ranges of one cell-entry tally

// Counting rule of a cell-entry tally (`entryType`).
enum CellEntryType : int8_t {
  kCountExits = -1,    // exits count +1, entries nothing
  kNetFlow = 0,        // entries +1, exits -1
  kCountEntries = 1,   // entries +1, exits nothing
  kCountBoth = 2,      // entries and exits +1
};

// One cell-entry tally (ECELL_ENTRY<n>, PCELL_ENTRY<n>, CELL_ENTRY<n>).
struct CELLENTRYTALLY {
  int32_t number;                           // n of the directive
  uint8_t orgEnabled[kOriginTypeCount];     // 1: particles of that origin are scored
  int8_t entryType;                         // CellEntryType
  int32_t nEnergyRanges;                    // energy ranges in use
  int32_t energyRange[kMaxCellEntryRanges]; // their indices in the E row of rangeData
  uint8_t eFlux;                            // also score the energy flux
  uint8_t writeDuringRun;                   // write the tally file during the run
  uint8_t runFlag;                          // used by the run monitor
  double runValue;                          // used by the run monitor
  double outputInterval;                    // seconds between writings during the run
};

static_assert(offsetof(CELLENTRYTALLY, number) == 0);
static_assert(offsetof(CELLENTRYTALLY, orgEnabled) == 4);
static_assert(offsetof(CELLENTRYTALLY, entryType) == 16);
static_assert(offsetof(CELLENTRYTALLY, nEnergyRanges) == 20);
static_assert(offsetof(CELLENTRYTALLY, energyRange) == 24);
static_assert(offsetof(CELLENTRYTALLY, eFlux) == 424);
static_assert(offsetof(CELLENTRYTALLY, runValue) == 432);
static_assert(offsetof(CELLENTRYTALLY, outputInterval) == 440);
static_assert(sizeof(CELLENTRYTALLY) == 448);

// The cell-entry registration of one cell (made from CELL::cellEntryCount):
// for each tally class (electrons, photons, all) and each entry slot s the
// tallies that a crossing through that slot concerns. Slot s = 1 + the
// SURFACE index of a bounding surface of the cell crossed; slot 0 is a
// crossing from or into a cell enclosed by this one. The per-slot arrays hold
// nEntrySlots entries and exist only for a class with tallies on the cell
// (hasCellEntry), so a cell without them costs nothing.
struct CELLENTRYSITE {
  uint8_t hasCellEntry[kTallyClassCount];          // the cell carries tallies of that class
  int32_t unionIndex;                              // union of the cell, -1 none
  int32_t enclosingCell;                           // cell that lists this one after '#', -1 none
  uint16_t nEntrySlots;                            // entries of each slot array: 2 + the highest bounding SURFACE index
  const uint16_t* cellEntryCount[kTallyClassCount];        // [nEntrySlots] tallies per slot
  const uint16_t* const* cellEntryList[kTallyClassCount];  // [nEntrySlots] their indices in the class
};

static_assert(offsetof(CELLENTRYSITE, hasCellEntry) == 0);
static_assert(offsetof(CELLENTRYSITE, unionIndex) == 4);
static_assert(offsetof(CELLENTRYSITE, enclosingCell) == 8);
static_assert(offsetof(CELLENTRYSITE, nEntrySlots) == 12);
static_assert(offsetof(CELLENTRYSITE, cellEntryCount) == 16);
static_assert(offsetof(CELLENTRYSITE, cellEntryList) == 40);
static_assert(sizeof(CELLENTRYSITE) == 64);
