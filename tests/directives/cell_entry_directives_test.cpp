// ECELL_ENTRY, PCELL_ENTRY and CELL_ENTRY: the record, the surfaces through
// which entries count (all, named, excluded, the inner cells), unions and
// copies of cells, the control list, and every refusal.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/directives/cell_entry_directives.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/tally_directives.h"
#include "tests/directives/geometry_test_support.h"

namespace {

// A unit sphere C1 inside the box C2; two spheres C3, C4 apart, and C5, a
// copy of C3 moved by TR1; energy ranges E and E2.
const std::vector<std::string> kWorld = {"TR1 0 40 0",    "S1 S 0 0 0 1",  "S2 RPP -5 5 -5 5 -5 5",
                                         "S3 S 20 0 0 1", "S4 S 30 0 0 1", "S5 P 1 0 0 20",
                                         "C1 0 -1",       "C2 0 -2 #1",    "C3 0 -3 -5",
                                         "C4 0 -4",       "C5 0 TR1 3",    "E 0 1 10",
                                         "E2 0 2 5"};

std::vector<std::string> World(const std::vector<std::string>& more) {
  std::vector<std::string> lines = kWorld;
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

// The tallies registered with cell id for class row at the slot of SURFACE
// index s (s = -1: the slot of the inner cells).
std::vector<uint16_t> Registered(int32_t id, int row, int32_t s) {
  const CELL& c = CellOf(id);
  const int slot = s + 1;
  if (c.cellEntryCount[row] == nullptr || slot >= c.nEntrySlots) return {};
  return std::vector<uint16_t>(c.cellEntryList[row][slot], c.cellEntryList[row][slot] + c.cellEntryCount[row][slot]);
}

// How many slots of the cell hold tally t of class row.
int SlotsWith(int32_t id, int row, uint16_t t) {
  const CELL& c = CellOf(id);
  int n = 0;
  for (int slot = 0; c.cellEntryCount[row] != nullptr && slot < c.nEntrySlots; ++slot) {
    const uint16_t* list = c.cellEntryList[row][slot];
    n += static_cast<int>(std::count(list, list + c.cellEntryCount[row][slot], t));
  }
  return n;
}

const std::vector<uint16_t> kFirst = {0};

TEST(CellEntryDirectives, ATallyWithoutSurfacesCountsEveryBoundaryAndTheInnerCells) {
  INPUTRUN run = RunLines(World({"ECELL_ENTRY7 2 1 E e2"}));
  ASSERT_EQ(run.code, 0) << run.console;
  ASSERT_EQ(directives::nCellEntryTallies[kElectronTallies], 1);
  const CELLENTRYTALLY& t = directives::cellEntryTally[kElectronTallies][0];
  EXPECT_EQ(t.number, 7);
  EXPECT_EQ(t.entryType, kCountEntries);
  ASSERT_EQ(t.nEnergyRanges, 2);
  EXPECT_EQ(t.energyRange[1], 1);
  EXPECT_EQ(t.eFlux, 1);
  EXPECT_EQ(t.writeDuringRun, 1);  // tally-output mode 2 by default
  EXPECT_EQ(t.outputInterval, 60.0);
  for (uint8_t on : t.orgEnabled) EXPECT_EQ(on, 1);
  const CELL& box = CellOf(2);
  EXPECT_EQ(box.hasCellEntry[kElectronTallies], 1);
  EXPECT_EQ(box.hasCellEntry[kPhotonTallies], 0);
  EXPECT_EQ(box.cellEntryCount[kPhotonTallies], nullptr);
  uint16_t highest = 0;
  for (int k = 0; k < box.nSurf; ++k) highest = std::max(highest, box.surfaces[k]);
  EXPECT_EQ(box.nEntrySlots, highest + 2);
  for (int k = 0; k < box.nSurf; ++k) EXPECT_EQ(Registered(2, kElectronTallies, box.surfaces[k]), kFirst);
  EXPECT_EQ(Registered(2, kElectronTallies, -1), kFirst);
  EXPECT_EQ(SlotsWith(2, kElectronTallies, 0), 7);
  EXPECT_EQ(CellOf(1).hasCellEntry[kElectronTallies], 0);
}

TEST(CellEntryDirectives, NamedExcludedAndInnerSurfaces) {
  INPUTRUN run = RunLines(
      World({"CELL_ENTRY1 2 0 2.1 E", "CELL_ENTRY2 2 2 -2.1 E", "CELL_ENTRY3 2 -1 -2.1 0 E", "CELL_ENTRY4 2 1 0 E",
             "CELL_ENTRY5 2 1 2 E", "CELL_ENTRY8 2 1 2.[1 2] 0 E", "CELL_ENTRY9 3 1 5 E"}));
  ASSERT_EQ(run.code, 0) << run.console;
  const int row = kAllParticleTallies;
  ASSERT_EQ(directives::nCellEntryTallies[row], 7);
  const int32_t x5 = Body(2).facetSurfaces[0];  // facet 1 of the box: x = 5
  EXPECT_EQ(SlotsWith(2, row, 0), 1);           // CELL_ENTRY1: that facet only
  EXPECT_EQ(Registered(2, row, x5).front(), 0);
  EXPECT_EQ(SlotsWith(2, row, 1), 6);  // CELL_ENTRY2: the five other facets and the inner cells
  EXPECT_EQ(SlotsWith(2, row, 2), 5);  // CELL_ENTRY3: the five other facets
  EXPECT_EQ(SlotsWith(2, row, 3), 1);  // CELL_ENTRY4: the inner cells only
  EXPECT_EQ(Registered(2, row, -1), (std::vector<uint16_t>{1, 3, 5}));
  EXPECT_EQ(SlotsWith(2, row, 4), 6);  // CELL_ENTRY5: the box's facets, not the inner cells
  EXPECT_EQ(SlotsWith(2, row, 5), 3);  // CELL_ENTRY8: two facets and the inner cells
  EXPECT_EQ(directives::cellEntryTally[row][2].entryType, kCountExits);
  EXPECT_EQ(directives::cellEntryTally[row][1].entryType, kCountBoth);
  EXPECT_EQ(Registered(3, row, FindPlainSurface(5)), (std::vector<uint16_t>{6}));
  EXPECT_EQ(SlotsWith(3, row, 6), 1);
}

TEST(CellEntryDirectives, UnionsCoverEveryMemberAndCopiesAreNamedByTheirOriginal) {
  INPUTRUN run = RunLines(World({"UNION1 0 3 4", "PCELL_ENTRY1 3 1 E", "PCELL_ENTRY2 3 1 4 E", "PCELL_ENTRY3 5 1 -5 E",
                                 "PCELL_ENTRY4 3 1 4/4 E"}));
  ASSERT_EQ(run.code, 0) << run.console;
  const int row = kPhotonTallies;
  EXPECT_EQ(SlotsWith(3, row, 0), 2);
  EXPECT_EQ(SlotsWith(4, row, 0), 1);
  EXPECT_EQ(SlotsWith(3, row, 1), 0);
  EXPECT_EQ(Registered(4, row, FindPlainSurface(4)), (std::vector<uint16_t>{0, 1, 3}));
  EXPECT_EQ(CellOf(3).hasCellEntry[row], 1);
  EXPECT_EQ(CellOf(4).hasCellEntry[row], 1);
  // C5 is C3 moved: "-5" names C3's plane, whose moved copy bounds C5.
  const CELL& copy = CellOf(5);
  ASSERT_EQ(copy.nSurf, 2);
  EXPECT_EQ(Registered(5, row, copy.surfaces[0]), (std::vector<uint16_t>{2}));
  EXPECT_EQ(Registered(5, row, copy.surfaces[1]), std::vector<uint16_t>{});
}

TEST(CellEntryDirectives, ItemsAndTheControlList) {
  INPUTRUN run = RunLines(World({"TALLIES_OUTPUT 1", "TALLIES_E_FLUX 0", "ECELL_ENTRY1 2 0 E AVGERR 0.05 ORG 0,7",
                                 "ECELL_ENTRY2 2 0 E OUTPUT 1 INTERVAL 5 E_FLUX 1", "ECELL_ENTRY3 2 0 ORG -3 E"}));
  ASSERT_EQ(run.code, 0) << run.console;
  const std::vector<CELLENTRYTALLY>& t = directives::cellEntryTally[kElectronTallies];
  EXPECT_EQ(t[0].eFlux, 0);
  EXPECT_EQ(t[0].writeDuringRun, 1);  // a target error in tally-output mode 1
  EXPECT_EQ(t[0].orgEnabled[7], 1);
  EXPECT_EQ(t[0].orgEnabled[1], 0);
  EXPECT_EQ(t[1].eFlux, 1);
  EXPECT_EQ(t[1].outputInterval, 5.0);
  EXPECT_EQ(t[2].writeDuringRun, 0);
  EXPECT_EQ(t[2].orgEnabled[3], 0);
  EXPECT_EQ(t[2].orgEnabled[4], 1);
  ASSERT_EQ(directives::cellEntryControlTallies[kElectronTallies].size(), 2u);
  EXPECT_EQ(directives::cellEntryControlTallies[kElectronTallies][0].targetKind, kAvgErr);
  EXPECT_EQ(directives::cellEntryControlTallies[kElectronTallies][0].target, 0.05);
  EXPECT_EQ(directives::cellEntryControlTallies[kElectronTallies][1].index, 1);
  EXPECT_EQ(directives::cellEntryControlTallies[kElectronTallies][1].targetKind, kNoTarget);
  EXPECT_EQ(directives::nControlTallies, 2);
  EXPECT_TRUE(directives::targetErrorGiven);
}

TEST(CellEntryDirectives, AHundredEnergyRangesAtMost) {
  std::string ranges;
  for (int i = 0; i < kMaxCellEntryRanges; ++i) ranges += " E";
  EXPECT_EQ(RunLines(World({"CELL_ENTRY1 2 0" + ranges})).code, 0);
  EXPECT_EQ(directives::cellEntryTally[kAllParticleTallies][0].nEnergyRanges, kMaxCellEntryRanges);
  EXPECT_TRUE(FailsWith(RunLines(World({"CELL_ENTRY1 2 0" + ranges + " E2"})),
                        "Error: The number of energy ranges in the definition of the cell-entry tally \"CELL_ENTRY1\" "
                        "is greater than 100.\n"));
}

TEST(CellEntryDirectives, Refusals) {
  const std::string format =
      "\": the first keyword format must be \"CELL_ENTRY<n>\", \"ECELL_ENTRY<n>\" or \"PCELL_ENTRY<n>\", where \"<n>\" "
      "is a positive integer number.\n";
  const std::string notBounding =
      " used in the definition of a cell-entry tally is not one of the bounding surfaces of cell No. 2 (if it is "
      "included in the original definition of the cell, then it was removed during the initial geometry check, because "
      "it is outside the cell).\n";
  ExpectRefusals({
      {World({"CELL_ENTRY E"}), "Error in specification of the cell-entry tally \"CELL_ENTRY" + format},
      {World({"ECELL_ENTRY0 2 0 E"}), "Error in specification of the cell-entry tally \"ECELL_ENTRY0" + format},
      {World({"pcell_entry1x 2 0 E"}), "Error in specification of the cell-entry tally \"pcell_entry1x" + format},
      {{"MAT 29 1", "E 0 1 10", "CELL_ENTRY1 1 0 E"},
       "Error: Keyword \"CELL_ENTRY<n>\", \"ECELL_ENTRY<n>\" or \"PCELL_ENTRY<n>\" can be used only in complex "
       "geometry mode, but the previous directives imply simple geometry.\n"},
      {World({"CELL_ENTRY1 2 0 E", "cell_entry1 1 0 E"}),
       "Error: Duplicate cell-entry tally identifier \"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1"}), "Error: Definition of a cell-entry tally is missing.\n"},
      {World({"CELL_ENTRY1 x 0 E"}),
       "Error: Invalid specification of a cell \"x\" in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 9 0 E"}),
       "Error: Undefined cell identifier \"9\" in the definition of a cell-entry tally.\n"},
      {World({"UNION1 0 3 4", "CELL_ENTRY1 4 0 E"}),
       "Error: Cell-entry tallies for unions must include the identifier of the first cell of the union.\n"},
      {World({"CELL_ENTRY1 2"}), "Error: The type of a cell-entry tally is missing.\n"},
      {World({"CELL_ENTRY1 2 3 E"}),
       "Error: Invalid specification of the type of a cell-entry tally (it must be from -1 to 2).\n"},
      {World({"CELL_ENTRY1 2 x E"}),
       "Error: Invalid specification of the type of a cell-entry tally (it must be from -1 to 2).\n"},
      {World({"CELL_ENTRY1 2 0"}),
       "Error: There are no energy ranges listed in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 2 0 2.1"}),
       "Error: There are no energy ranges listed in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 2 0 E7"}),
       "Error: \"E7\" is not a valid specification of a surface or an energy range in the definition of a cell-entry "
       "tally.\n"},
      {World({"CELL_ENTRY1 2 0 E AVGERR 0.1 MINERR 0.1"}),
       "Error: Duplicate specification of the relative standard deviation in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 2 0 E MAXERR 1"}),
       "Error: Illegal value of the relative standard deviation \"1\" in the definition of a cell-entry tally (it must "
       "be greater than 0 and less than 1).\n"},
      {World({"CELL_ENTRY1 2 0 E OUTPUT 0 OUTPUT 1"}),
       "Error: Duplicate specification of the option to write the cell-entry tally data to a file during the "
       "simulation.\n"},
      {World({"CELL_ENTRY1 2 0 E OUTPUT 2"}),
       "Error: Illegal value \"2\" of the option to write the cell-entry tally data to a file during the simulation "
       "(it "
       "must be 0 or 1).\n"},
      {World({"CELL_ENTRY1 2 0 E INTERVAL 2 INTERVAL 3"}),
       "Error: Duplicate specification of the time interval of writing the cell-entry tally data to a file during the "
       "simulation.\n"},
      {World({"CELL_ENTRY1 2 0 E INTERVAL 0.5"}),
       "Error: Illegal value \"0.5\" of the time interval of writing the cell-entry tally data to a file during the "
       "simulation (it cannot be less than 1 s).\n"},
      {World({"CELL_ENTRY1 2 0 E ORG 1 ORG 2"}),
       "Error: Duplicate specification of the particle origin type in \"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1 2 0 E ORG 1,,2"}),
       "Error: Illegal definition of the set of particle origin types \"1,,2\" in the definition of a cell-entry tally "
       "(the values of origin types must be comma-delimited integer numbers from 0 to 11, optionally with the minus "
       "sign before the first number).\n"},
      {World({"CELL_ENTRY1 2 0 E E_FLUX 1 E_FLUX 1"}),
       "Error: Duplicate specification of the option to calculate the energy flux tally in \"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1 2 0 E E_FLUX 5"}),
       "Error: Illegal value of the option to calculate the energy flux tally \"5\" in \"CELL_ENTRY1\" (it must be 0 "
       "or "
       "1).\n"},
      {World({"CELL_ENTRY1 2 0 E AVGERR"}),
       "Error: Value of the relative standard deviation is missing in specification of the cell-entry tally "
       "\"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1 2 0 E OUTPUT"}),
       "Error: Value of the option to write the tally data to a file during the simulation is missing in specification "
       "of the cell-entry tally \"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1 2 0 E INTERVAL"}),
       "Error: Value of the time interval of writing the tally data to a file during the simulation is missing in "
       "specification of the cell-entry tally \"CELL_ENTRY1\".\n"},
      {World({"CELL_ENTRY1 2 0 E ORG"}),
       "Error: Specification of the particle types to be included in the cell-entry tally \"CELL_ENTRY1\" is "
       "incomplete.\n"},
      {World({"CELL_ENTRY1 2 0 E E_FLUX"}),
       "Error: Specification of the option to calculate the energy flux tally in \"CELL_ENTRY1\" is incomplete.\n"},
      {World({"CELL_ENTRY1 2 0 E 2.1 -2.2"}),
       "Error: Negative surface identifiers are mixed with positive ones in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 2 0 E 3"}), "Error: Surface +3" + notBounding},
      {World({"CELL_ENTRY1 2 0 E -1"}), "Error: Surface -1" + notBounding},
      {World({"CELL_ENTRY1 2 0 E 5"}), "Error: Surface +5" + notBounding},
      {World({"UNION1 0 3 4", "CELL_ENTRY1 3 0 E 1"}),
       "Error: Surface +1 used in the definition of a cell-entry tally is not one of the bounding surfaces of union of "
       "cells No. 1 (if it is included in the original definition of one of the cells composing the union, then it was "
       "removed during the initial geometry check, because it is outside the cell).\n"},
      {World({"S9 RCC 0 0 10 0 0 1 1", "CELL_ENTRY1 2 0 E 9"}),
       "Error: Neither of the surfaces included in macrobody \"S9\" used in the definition of a cell-entry tally is "
       "among the bounding surfaces of cell No. 2 (if they are included in the original definition of the cell, then "
       "they were removed during the initial geometry check, because they are outside the cell).\n"},
      {World({"UNION1 0 3 4", "CELL_ENTRY1 3 0 E 2"}),
       "Error: Neither of the surfaces included in macrobody \"S2\" used in the definition of a cell-entry tally is "
       "among the bounding surfaces of the cells composing union of cells No. 1 (if they are included in the original "
       "definition of the union, then they were removed during the initial geometry check, because they are outside "
       "the cells composing the union).\n"},
      {World({"CELL_ENTRY1 2 0 E -2"}),
       "Error: All surfaces of cell No. 2 are excluded in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 4 0 E -4"}),
       "Error: All surfaces of cell No. 4 are excluded in the definition of a cell-entry tally.\n"},
      {World({"UNION1 0 3 4", "CELL_ENTRY1 3 0 E -3 -4 -5"}),
       "Error: All surfaces of union of cells No. 1 are excluded in the definition of a cell-entry tally.\n"},
      {World({"CELL_ENTRY1 4 0 E 0"}),
       "Error: Definition of the cell-entry tally for cell No. 4 includes the inner-surface specifier \"0\", although "
       "that cell does not contain any other cells.\n"},
      {World({"UNION1 0 3 4", "CELL_ENTRY1 3 0 0 E"}),
       "Error: Definition of the cell-entry tally for union of cells No. 1 includes the inner-surface specifier \"0\", "
       "although that union of cells does not contain any other cells.\n"},
      {World({"CELL_ENTRY1 2 0 E 4/4"}),
       "Error: Cell 4 named in the definition of the cell-entry tally \"CELL_ENTRY1\" is not a cell that the tally "
       "covers.\n"},
      {World({"CELL_ENTRY1 2 0 E 2.[1"}), "Error: Missing closing bracket.\n"},
      {World({"CELL_ENTRY1 2 0 E 9"}), "Error: Undefined surface identifier \"9\".\n"},
  });
}

}  // namespace
