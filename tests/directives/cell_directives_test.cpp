// C<n> and UNION<n>: materials, bounding surfaces and their senses, redundant
// half-spaces, inner cells, per-cell items, copies and their chains, the cell
// table's growth and capacity, and unions with their rules; every refusal
// with its message.
#include <gtest/gtest.h>

#include "driver/directives/material_directives.h"
#include "driver/directives/source_directives.h"
#include "geometry/analysis_messages.h"
#include "tests/directives/geometry_test_support.h"

namespace {

// Two unit spheres far apart and a large sphere around both.
const std::vector<std::string> kSpheres = {"S1 S 0 0 0 1", "S2 S 5 0 0 1", "S3 S 0 0 0 20"};

std::vector<std::string> With(std::vector<std::string> lines, const std::vector<std::string>& more) {
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

TEST(CellDirectives, AVoidCellWithANameAndASphericalShell) {
  INPUTRUN run = RunLines({"S1 S 0 0 0 2", "S2 S 0 0 0 1", "C3 0 \"vacuum of the shell\" -1 2"});
  ASSERT_EQ(run.code, 0) << run.console;
  const CELL& c = CellOf(3);
  EXPECT_EQ(c.material, -1);
  EXPECT_EQ(c.materialWritten, -1);
  EXPECT_EQ(c.concentration, 0.0);
  ASSERT_EQ(c.nSurf, 2);
  EXPECT_EQ(c.surfaces[0], FindPlainSurface(1));
  EXPECT_EQ(c.senses[0], -1);
  EXPECT_EQ(c.senses[1], 1);
  EXPECT_EQ(c.unionIndex, -1);
  EXPECT_EQ(c.enclosingCell, -1);
  EXPECT_EQ(c.copiedFrom, -1);
  EXPECT_EQ(c.pulseHeight, 0);
  EXPECT_EQ(c.pulseHeightSlot, -1);
  EXPECT_EQ(c.CUT_E, -1.0);
  EXPECT_EQ(c.CUT_P, -1.0);
  EXPECT_EQ(c.FORCE, -1);
  EXPECT_EQ(c.hasCellEntry[0] + c.hasCellEntry[1] + c.hasCellEntry[2], 0);
  EXPECT_EQ(c.interiorPointKind, kPointInterior);
  for (int k = 0; k < c.nSurf; ++k) {
    EXPECT_GT(c.senses[k] * DistanceToSurface(&c.interiorPoint, &directives::geometry.surf[c.surfaces[k]]), 0.0) << k;
  }
  EXPECT_EQ(CellSide(3, Init(1.5, 0, 0)), 1);
  EXPECT_EQ(CellSide(3, Init(2.5, 0, 0)), -1);
  EXPECT_EQ(CellSide(3, Init(0.5, 0, 0)), -1);
  EXPECT_EQ(directives::geometry.givenCellVolume[0], -1.0);
  EXPECT_EQ(directives::geometry.analysisStatus[0], 0);
  EXPECT_EQ(directives::geometry.maxCellSurfaces, 2);
  EXPECT_EQ(directives::geometry.surfacePairBuffer.size(), 3u);
}

TEST(CellDirectives, MaterialsAsWrittenAndInUse) {
  INPUTRUN run = RunLines({"M1 29 1", "M2 29 2", "S1 S 0 0 0 1", "C1 2 8.5e22 -1", "C2 -4 \"air\" 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(CellOf(1).materialWritten, 1);  // M2, the same composition as M1
  EXPECT_EQ(CellOf(1).material, 0);
  EXPECT_EQ(CellOf(1).concentration, 8.5e22);
  EXPECT_EQ(CellOf(2).material, -5);
  EXPECT_EQ(CellOf(2).materialWritten, -5);
}

TEST(CellDirectives, NestedHalfSpacesKeepTheInnerOneSilently) {
  INPUTRUN run = RunLines({"S1 S 0 0 0 1", "S2 S 0 0 0 2", "S3 P 0 0 1 0", "C1 0 -2 -1 -3"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  const CELL& c = CellOf(1);
  ASSERT_EQ(c.nSurf, 2);
  EXPECT_EQ(c.surfaces[0], FindPlainSurface(1));
  EXPECT_EQ(c.surfaces[1], FindPlainSurface(3));
  EXPECT_EQ(c.surfMacrobody[1], 0);
  EXPECT_EQ(directives::geometry.maxCellSurfaces, 3);  // counted before the redundant one went
}

TEST(CellDirectives, MacrobodiesFacetsAndBracketsInACell) {
  INPUTRUN run = RunLines({"S1 RPP 0 2 0 2 0 2", "S2 P 0 0 1 1", "C1 0 -1", "C2 0 -1.[1 2 3 4 6] -2", "C3 0 -1.5"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(CellOf(1).nSurf, 6);
  EXPECT_EQ(CellOf(1).surfMacrobody[0], -1);
  EXPECT_EQ(CellOf(1).surfFacet[5], 6);
  EXPECT_EQ(CellSide(2, Init(1, 1, 0.5)), 1);
  EXPECT_EQ(CellSide(2, Init(1, 1, 1.5)), -1);
  EXPECT_EQ(CellOf(2).surfFacet[0], -1);
  EXPECT_EQ(CellSide(3, Init(7, 7, 1)), 1);  // below the top face only
  EXPECT_EQ(CellSide(3, Init(7, 7, 3)), -1);
}

TEST(CellDirectives, InnerCellsAndTheirEnclosingCell) {
  INPUTRUN run = RunLines(With(kSpheres, {"C1 0 -1", "C2 0 -2", "C3 0 -3 #1 #2", "C4 0 3"}));
  ASSERT_EQ(run.code, 0) << run.console;
  const CELL& outer = CellOf(3);
  ASSERT_EQ(outer.innerCellCount, 2);
  EXPECT_EQ(outer.innerCells[0], FindCell(1));
  EXPECT_EQ(outer.innerCells[1], FindCell(2));
  EXPECT_EQ(CellOf(1).enclosingCell, FindCell(3));
  EXPECT_EQ(CellOf(2).enclosingCell, FindCell(3));
  EXPECT_EQ(CellOf(3).enclosingCell, -1);
}

TEST(CellDirectives, PerCellItems) {
  INPUTRUN run = RunLines({"S1 S 0 0 0 1", "C1 0 -1 CUT_E 0.01 cut_p 0.002 VOL 4.18879 FORCE 1", "C2 0 1 force 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(CellOf(1).CUT_E, 0.01);  // the input unit until the unit conversion
  EXPECT_EQ(CellOf(1).CUT_P, 0.002);
  EXPECT_EQ(CellOf(1).FORCE, 1);
  EXPECT_EQ(directives::geometry.givenCellVolume[static_cast<size_t>(FindCell(1))], 4.18879);
  EXPECT_EQ(CellOf(2).FORCE, 0);
  EXPECT_EQ(directives::geometry.givenCellVolume[static_cast<size_t>(FindCell(2))], -1.0);
}

TEST(CellDirectives, TransformedCopiesChainToTheFirstCell) {
  // TR1 shifts by 10 along x; TR2 turns a quarter about z (x' = +y, y' = -x).
  INPUTRUN run = RunLines({"TR1 10 0 0", "TR2 0 0 0 0 1 0 -1 0 0", "S1 S 0 0 0 1", "S2 P 0 0 1 0", "S3 P 0 1 0 0",
                           "S4 P 1 0 0 0", "S9 S 10 0 -0.5 0.25", "C1 0 -1 -2", "C5 0 -9", "C2 0 TR1 1 #5",
                           "C3 0 TR1 2 CUT_E 1", "C4 0 TR2 1", "C6 0 -1 -3", "C7 0 TR2 6"});
  ASSERT_EQ(run.code, 0) << run.console;
  const int32_t first = FindCell(1);
  EXPECT_EQ(CellOf(1).copiedFrom, -1);
  EXPECT_EQ(CellOf(2).copiedFrom, first);
  EXPECT_EQ(CellOf(3).copiedFrom, first);  // a copy of a copy
  EXPECT_EQ(CellOf(4).copiedFrom, first);
  EXPECT_EQ(CellOf(5).enclosingCell, FindCell(2));
  EXPECT_EQ(CellOf(3).CUT_E, 1.0);
  // The moved sphere is a new surface of identifier 0; the plane z = 0 moves
  // onto itself and is shared.
  EXPECT_EQ(directives::geometry.surf[CellOf(2).surfaces[0]].identifier, 0);
  EXPECT_EQ(CellOf(2).surfaces[1], FindPlainSurface(2));
  EXPECT_EQ(CellOf(2).surfMacrobody[0], 0);
  EXPECT_EQ(CellSide(2, Init(10, 0, -0.5)), 1);
  EXPECT_EQ(CellSide(2, Init(10, 0, 0.5)), -1);
  EXPECT_EQ(CellSide(3, Init(20, 0, -0.5)), 1);
  EXPECT_EQ(CellSide(3, Init(10, 0, -0.5)), -1);
  // Turned about z, C1 is itself: the same surfaces.
  EXPECT_EQ(CellOf(4).surfaces[0], FindPlainSurface(1));
  EXPECT_EQ(CellOf(4).surfaces[1], FindPlainSurface(2));
  // y < 0 turns into x > 0: the plane y = 0 (normal +y) becomes x = 0 with
  // normal -x, which is S4 of normal +x, so the sense turns with it.
  EXPECT_EQ(CellOf(7).copiedFrom, FindCell(6));
  EXPECT_EQ(CellOf(7).surfaces[1], FindPlainSurface(4));
  EXPECT_EQ(CellOf(7).senses[1], 1);
  EXPECT_EQ(CellSide(7, Init(0.5, 0, 0)), 1);
  EXPECT_EQ(CellSide(7, Init(-0.5, 0, 0)), -1);
}

TEST(CellDirectives, TheCellTableGrowsByTwentyRecords) {
  std::vector<std::string> lines = {"S1 S 0 0 0 1"};
  const size_t expected[] = {20, 20, 40, 40, 60};
  const int counts[] = {1, 20, 21, 40, 41};
  int defined = 0;
  for (int k = 0; k < 5; ++k) {
    while (defined < counts[k]) lines.push_back("C" + std::to_string(++defined) + " 0 -1");
    INPUTRUN run = RunLines(lines);
    ASSERT_EQ(run.code, 0) << run.console;
    EXPECT_EQ(directives::geometry.nCells, counts[k]);
    EXPECT_EQ(directives::geometry.cell.size(), expected[k]) << counts[k] << " cells";
    if (directives::geometry.cell.size() > static_cast<size_t>(counts[k])) {
      EXPECT_EQ(directives::geometry.cell[static_cast<size_t>(counts[k])].nSurf, 0);  // not yet filled: empty
    }
  }
}

TEST(CellDirectives, TheCellTableHoldsFiveThousand) {
  std::vector<std::string> lines = {"S1 S 0 0 0 1"};
  for (int i = 1; i <= kMaxCells; ++i) lines.push_back("C" + std::to_string(i) + " 0 -1");
  INPUTRUN full = RunLines(lines);
  ASSERT_EQ(full.code, 0) << full.console.substr(0, 200);
  EXPECT_EQ(directives::geometry.nCells, kMaxCells);
  lines.push_back("C5001 0 -1");
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of cells is greater than 5000.\n"));
}

TEST(CellDirectives, Refusals) {
  const std::vector<std::string> s1 = {"S1 S 0 0 0 1"};
  const std::vector<std::string> copy = {"TR1 0 0 0", "S1 S 0 0 0 1", "C1 0 -1"};
  ExpectRefusals({
      {{"C1.5x 0 -1"},
       "Error in specification of the cell \"C1.5x\" (the first keyword format must be \"C<n>\", where \"<n>\" is a "
       "positive integer number less than 2^31 = 2147483648.\n"},
      {{"MAT 29 1", "C1 0 -1"},
       "Error: Keyword \"C<n>\" can be used only in complex geometry mode, but the previous directives imply simple "
       "geometry.\n"},
      {With(s1, {"C1 0 -1", "C1 0 1"}), "Error: Duplicate cell identifier \"C1\".\n"},
      {{"C1"}, "Error: Missing specification of a cell.\n"},
      {{"C1 x -1"}, "Error: Invalid material identifier \"x\" in the definition of a cell.\n"},
      {{"C1 5 1 -1"}, "Error: Undefined material identifier \"5\".\n"},
      {{"M1 29 1", "C1 1"}, "Error: Missing concentration value in the definition of a cell.\n"},
      {{"M1 29 1", "C1 1 y -1"}, "Error: Invalid concentration value \"y\" in the definition of a cell.\n"},
      {{"M1 29 1", "C1 1 0 -1"}, "Error: Zero concentration value in the definition of a cell.\n"},
      {{"C1 0 \"air -1"}, "Error: Missing closing quote in the name of a material.\n"},
      {With(s1, {"C1 0"}), "Error: There are no bounding surfaces listed in the definition of cell 1.\n"},
      {With(s1, {"C1 0 \"air\""}), "Error: There are no bounding surfaces listed in the definition of cell 1.\n"},
      {With(s1, {"C1 0 CUT_E 1 VOL 2"}), "Error: There are no bounding surfaces listed in the definition of cell 1.\n"},
      {With(s1, {"C1 0 TR0.2 1"}),
       "Error: Invalid identifier of coordinate transformation \"TR0.2\" in the definition of a cell.\n"},
      {With(s1, {"C1 0 TR5 1"}), "Error: Unknown coordinate transformation \"TR5\" in the definition of a cell.\n"},
      {With(copy, {"C2 0 TR1 1 TR1 1"}),
       "Error: Multiple coordinate transformations of the original cell specified in the definition of a cell.\n"},
      {With(copy, {"C2 0 -1 TR1 1"}),
       "Error: A coordinate transformation of the original cell cannot be specified in the definition of a cell after "
       "specifying the bounding surfaces.\n"},
      {With(copy, {"C2 0 TR1"}),
       "Error: Missing identifier of the original cell after \"TR1\" in the definition of a cell.\n"},
      {With(copy, {"C2 0 TR1 x"}),
       "Error: Invalid identifier of the original cell \"x\" after \"TR1\" in the definition of a cell.\n"},
      {With(copy, {"C2 0 TR1 9"}),
       "Error: Unknown identifier of the original cell \"9\" after \"TR1\" in the definition of a cell.\n"},
      {With(copy, {"C2 0 TR1 1 -1"}),
       "Error: Bounding surfaces cannot be specified in the definition of a cell after specifying the coordinate "
       "transformation of the original cell.\n"},
      {With(s1, {"C1 0 -1 #x"}), "Error in specification of a cell \"x\" after the complement operator \"#\".\n"},
      {With(s1, {"C1 0 -1 #0"}), "Error in specification of a cell \"0\" after the complement operator \"#\".\n"},
      {With(s1, {"C1 0 -1 #7"}),
       "Error: The cell identifier \"7\" after the complement operator \"#\" is undefined.\n"},
      {With(kSpheres, {"C1 0 -1", "C2 0 -3 #1", "C3 0 -3 #1"}),
       "Error: Cell 1 cannot be inside cell 3, because it is inside cell 2.\n"},
      {With(kSpheres, {"C1 0 -1", "C2 0 -2", "UNION1 0 1 2", "C3 0 -3 #1"}),
       "Error: Cell 1 cannot be specified after the complement operator, because it is a part of a union of cells.\n"},
      {With(s1, {"C1 0 -1 CUT_E"}), "Error: Missing value of the cutoff energy in the definition of a cell.\n"},
      {With(s1, {"C1 0 -1 CUT_P 0"}),
       "Error: Illegal value \"0\" of the cutoff energy in the definition of a cell (it must be a positive number).\n"},
      {With(s1, {"C1 0 -1 VOL"}), "Error: Missing value of the cell volume in the definition of a cell.\n"},
      {With(s1, {"C1 0 -1 VOL -1"}),
       "Error: Illegal value \"-1\" of the cell volume in the definition of a cell (it must be a positive number).\n"},
      {With(s1, {"C1 0 -1 FORCE"}), "Error: Missing value of the option to apply interaction forcing in a cell.\n"},
      {With(s1, {"C1 0 -1 FORCE 2"}),
       "Error: Illegal value \"2\" of the option to apply interaction forcing in a cell (it must be 0 or 1).\n"},
      {With(s1, {"C1 0 -1 CUT_E 1 CUT_E 2"}), "Error: Invalid surface identifier \"CUT_E\".\n"},
      {With(s1, {"C1 0 -2"}), "Error: Undefined surface identifier \"2\".\n"},
      {With(kSpheres, {"C1 0 -1 -2"}),
       "Geometry error in the definition of cell 1: Regions -1 and -2 do not intersect.\n"},
      {With(s1, {"C1 0 -1 1"}), "Geometry error in the definition of cell 1: Regions -1 and +1 do not intersect.\n"},
      {{"S1 P 1 0 0 0", "S2 P 0 1 0 0", "S3 P 1 1 0 1", "C1 0 -1 -2 3"},
       "Geometry error: The volume of cell 1 is zero.\n"},
  });
}

TEST(UnionDirectives, MembersShareMaterialCutoffsVolumeAndForcing) {
  INPUTRUN run = RunLines(With(kSpheres, {"M1 29 1", "C1 0 -1 CUT_E 0.5", "C2 0 -2 FORCE 1", "C3 0 -3 #1 #2",
                                          "UNION4 1 8.5e22 1 2 CUT_P 0.01 VOL 8.3"}));
  ASSERT_EQ(run.code, 0) << run.console;
  ASSERT_EQ(directives::geometry.nUnions, 1);
  const CELLUNION& u = directives::geometry.unionData[0];
  EXPECT_EQ(u.identifier, 4);
  ASSERT_EQ(u.nCells, 2);
  EXPECT_EQ(u.cells[0], FindCell(1));
  EXPECT_EQ(u.cells[1], FindCell(2));
  for (int id : {1, 2}) {
    const CELL& c = CellOf(id);
    EXPECT_EQ(c.unionIndex, 0);
    EXPECT_EQ(c.material, 0);
    EXPECT_EQ(c.materialWritten, 0);
    EXPECT_EQ(c.concentration, 8.5e22);
    EXPECT_EQ(c.CUT_E, -1.0);  // the union gave none
    EXPECT_EQ(c.CUT_P, 0.01);
    EXPECT_EQ(c.FORCE, -1);
  }
  EXPECT_EQ(directives::geometry.givenCellVolume[static_cast<size_t>(FindCell(1))], 8.3);
  EXPECT_EQ(directives::geometry.givenCellVolume[static_cast<size_t>(FindCell(2))], -1.0);
}

TEST(UnionDirectives, MembersInsideCellsOfOneUnion) {
  // C1 inside C4, C2 inside C5, and C4, C5 form a union: C1 and C2 may too.
  INPUTRUN run = RunLines({"S1 S 0 0 0 1", "S2 S 5 0 0 1", "S3 S 0 0 0 2", "S4 S 5 0 0 2", "C1 0 -1", "C2 0 -2",
                           "C4 0 -3 #1", "C5 0 -4 #2", "UNION1 0 4 5", "UNION2 0 1 2"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::geometry.nUnions, 2);
  INPUTRUN apart = RunLines({"S1 S 0 0 0 1", "S2 S 5 0 0 1", "S3 S 0 0 0 2", "S4 S 5 0 0 2", "C1 0 -1", "C2 0 -2",
                             "C4 0 -3 #1", "C5 0 -4 #2", "UNION2 0 1 2"});
  EXPECT_TRUE(FailsWith(apart,
                        "Geometry error: Cells 1 and 2 cannot be parts of the same union of cells, because their depth "
                        "levels are different, or because they are inside different cells, which are not themselves "
                        "parts of a union of cells.\n"))
      << apart.console;
}

TEST(UnionDirectives, Refusals) {
  const std::vector<std::string> two = With(kSpheres, {"C1 0 -1", "C2 0 -2"});
  ExpectRefusals({
      {{"UNION1.5x 0 1 2"},
       "Error in specification of the union \"UNION1.5x\" (the first keyword format must be \"UNION<n>\", where "
       "\"<n>\" is a positive integer number less than 2^31 = 2147483648.\n"},
      {{"MAT 29 1", "UNION1 0 1 2"},
       "Error: Keyword \"UNION\" can be used only in complex geometry mode, but the previous directives imply simple "
       "geometry.\n"},
      {{"UNION1"}, "Error: Missing specification of a union of cells.\n"},
      {{"UNION1 x"}, "Error: Invalid material identifier \"x\" in the definition of a union of cells.\n"},
      {{"UNION1 7 1"}, "Error: Undefined material identifier \"7\".\n"},
      {{"M1 29 1", "UNION1 1"}, "Error: Missing concentration value in the definition of a union of cells.\n"},
      {{"M1 29 1", "UNION1 1 z 1 2"},
       "Error: Invalid concentration value \"z\" in the definition of a union of cells.\n"},
      {{"M1 29 1", "UNION1 1 0 1 2"}, "Error: Zero concentration value in the definition of a union of cells.\n"},
      {{"UNION1 0 \"air"}, "Error: Missing closing quote in the name of a material.\n"},
      {{"UNION1 0"}, "Error: There are no cells listed in the definition of a union of cells.\n"},
      {With(two, {"UNION1 0 CUT_E 1 VOL 3"}),
       "Error: There are no cells listed in the definition of the union of cells \"UNION1\".\n"},
      {With(two, {"UNION1 0 1 x"}), "Error: Invalid cell identifier \"x\".\n"},
      {With(two, {"UNION1 0 1 9"}), "Error: Undefined cell identifier \"9\".\n"},
      {With(two, {"SOURCE_POSITION 3 2", "UNION1 0 1 2"}),
       "Error: Cell 2, which is used in the definition of a union, was previously defined as a source cell (the source "
       "cell that is a union of cells must be defined after the union, and its definition must specify only the first "
       "cell of the union).\n"},
      {With(two, {"UNION1 0 1 1"}), "Error: Cell 1 is already included in another union of cells.\n"},
      {With(two, {"UNION1 0 1 2", "UNION2 0 2 1"}), "Error: Cell 2 is already included in another union of cells.\n"},
      {With(two, {"UNION1 0 1 2", "UNION1 0 1 2"}), "Error: Duplicate union identifier \"UNION1\".\n"},
      {With(two, {"C3 0 -3 #1", "UNION1 0 1 2"}),
       "Geometry error: Cells 1 and 2 cannot be parts of the same union of cells, because their depth levels are "
       "different, or because they are inside different cells, which are not themselves parts of a union of cells.\n"},
      {With(two, {"E 0 1 10", "CELL_ENTRY1 2 1 E", "UNION1 0 1 2"}),
       "Error: Cell 2, which is used in the definition of a union, was previously specified in the definition of a "
       "cell-entry tally (the cell-entry tally for a cell that is a part of a union must be defined after the union, "
       "and can be defined only for the first cell of the union).\n"},
      {With(two, {"PULSE_HEIGHT C2 0 1 10", "UNION1 0 1 2"}),
       "Error: Cell 2, which is used in the definition of a union, was previously specified in the definition of a "
       "pulse-height tally (the pulse-height tally for a cell that is a part of a union must be defined after the "
       "union, and can be defined only for the first cell of the union).\n"},
      {With(two, {"UNION1 0 1"}), "Error: Only one cell is listed in the definition of a union of cells.\n"},
      {With(two, {"UNION1 0 1 2 CUT_E"}),
       "Error: Missing value of the cutoff energy in the definition of a union of cells.\n"},
      {With(two, {"UNION1 0 1 2 CUT_P x"}),
       "Error: Illegal value \"x\" of the cutoff energy in the definition of a union of cells (it must be a positive "
       "number).\n"},
      {With(two, {"UNION1 0 1 2 VOL"}),
       "Error: Missing value of the cell volume in the definition of a union of cells.\n"},
      {With(two, {"UNION1 0 1 2 VOL 0"}),
       "Error: Illegal value \"0\" of the cell volume in the definition of a union of cells (it must be a positive "
       "number).\n"},
      {With(two, {"UNION1 0 1 2 FORCE"}),
       "Error: Missing value of the option to apply interaction forcing in a union of cells.\n"},
      {With(two, {"UNION1 0 1 2 FORCE 3"}),
       "Error: Illegal value \"3\" of the option to apply interaction forcing in a union of cells (it must be 0 or "
       "1).\n"},
      {With(two, {"UNION1 0 1 2 FORCE 1 FORCE 1"}), "Error: Invalid cell identifier \"FORCE\".\n"},
  });
}

}  // namespace
