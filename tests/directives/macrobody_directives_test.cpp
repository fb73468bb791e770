// Standard macrobodies (their facets, points inside and outside, the checks of
// every kind), general macrobodies MB (redundant items, refusals), copies of
// macrobodies and the capacity of the macrobody table.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/directives/geometry_test_support.h"

namespace {

// One body: its directive, its facet count, points inside it and points
// outside it.
struct BODYCASE {
  std::string line;
  int facets;
  std::vector<VECTOR> inside;
  std::vector<VECTOR> outside;
};

TEST(MacrobodyDirectives, EveryKindHasItsFacetsWithTheBodyOnTheirNegativeSides) {
  const double c30 = std::sqrt(3.0) / 2.0;
  const BODYCASE cases[] = {
      {"S1 RCC 0 0 0 0 0 3 1",
       3,
       {Init(0, 0, 1), Init(0.9, 0, 2.9)},
       {Init(1.1, 0, 1), Init(0, 0, 3.1), Init(0, 0, -0.1)}},
      {"S1 TRC 0 0 0 0 0 2 2 1",
       3,
       {Init(0, 0, 1), Init(1.4, 0, 1)},
       {Init(1.6, 0, 1), Init(0, 0, 2.1), Init(0, 0, -0.1)}},
      {"S1 TRC 0 0 0 0 0 2 1 2",
       3,
       {Init(0, 0, 1), Init(0, 1.4, 1)},
       {Init(0, 1.6, 1), Init(0, 0, 2.1), Init(1.1, 0, 0.1)}},
      {"S1 BOX 0 0 0 1 0 0 0 2 0 0 0 3",
       6,
       {Init(0.5, 1, 1.5)},
       {Init(1.1, 1, 1), Init(0.5, -0.1, 1), Init(0.5, 1, 3.1)}},
      {"S1 BOX 0 0 0 1 0 0 0 0 3 0 2 0",
       6,
       {Init(0.5, 1, 1.5)},
       {Init(-0.1, 1, 1), Init(0.5, 2.1, 1), Init(0.5, 1, 3.1)}},
      {"S1 BOX 0 0 0 1 1 0 -1 1 0 0 0 1", 6, {Init(0, 1, 0.5)}, {Init(1, 0, 0.5), Init(0, 2.1, 0.5)}},
      {"S1 RPP 0 1 -2 2 5 6", 6, {Init(0.5, 0, 5.5)}, {Init(1.5, 0, 5.5), Init(0.5, 2.5, 5.5), Init(0.5, 0, 4.5)}},
      {"S1 RPP 1 0 2 -2 6 5", 6, {Init(0.5, 0, 5.5)}, {Init(-0.5, 0, 5.5), Init(0.5, -2.5, 5.5), Init(0.5, 0, 6.5)}},
      {"S1 RHP 0 0 0 0 0 2 1 0 0",
       8,
       {Init(0, 0, 1), Init(0.9, 0, 1), Init(1.1 * c30, 0.55, 1)},
       {Init(1.05, 0, 1), Init(0, 0, 2.1), Init(0, 0, -0.1), Init(0, 1.16, 1)}},
      {"S1 HEX 0 0 0 0 0 2 0 1 0", 8, {Init(0, 0.9, 1)}, {Init(0, 1.05, 1)}},
      {"S1 WED 0 0 0 1 0 0 0 1 0 0 0 1",
       5,
       {Init(0.2, 0.2, 0.5)},
       {Init(0.6, 0.6, 0.5), Init(-0.1, 0.2, 0.5), Init(0.2, -0.1, 0.5), Init(0.2, 0.2, 1.1), Init(0.2, 0.2, -0.1)}},
      {"S1 ARB4 0 0 0 1 0 0 0 1 0 0 0 1",
       4,
       {Init(0.1, 0.1, 0.1)},
       {Init(0.5, 0.5, 0.5), Init(-0.1, 0.1, 0.1), Init(0.1, 0.1, -0.1)}},
      {"S1 ARB 0 0 0 1 0 0 1 1 0 0 1 0 0 0 1 1 0 1 1 1 1 0 1 1 1234 5678 1265 2376 3487 4158",
       6,
       {Init(0.5, 0.5, 0.5)},
       {Init(1.5, 0.5, 0.5), Init(0.5, -0.5, 0.5), Init(0.5, 0.5, 1.5)}},
      {"S1 ARB 0 0 0 1 0 0 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 1230 1240 1340 2340 0 0",
       4,
       {Init(0.1, 0.1, 0.1)},
       {Init(0.5, 0.5, 0.5), Init(0.1, 0.1, -0.1)}},
  };
  for (const BODYCASE& c : cases) {
    INPUTRUN run = RunLines({c.line});
    ASSERT_EQ(run.code, 0) << c.line << "\n" << run.console;
    const MACROBODY& body = Body(1);
    EXPECT_EQ(body.nFacets, c.facets) << c.line;
    EXPECT_EQ(body.copiedFrom, -1);
    for (int k = 0; k < body.nFacets; ++k) {
      EXPECT_EQ(body.facetSenses[k], -1) << c.line;
      EXPECT_EQ(Facet(1, k).identifier, k + 1) << c.line;
      EXPECT_EQ(Facet(1, k).macrobody, 0) << c.line;
      EXPECT_EQ(Facet(1, k).referenceCount, 1u) << c.line;
    }
    for (VECTOR p : c.inside) EXPECT_EQ(BodySide(1, p), 1) << c.line << " " << Text(p);
    for (VECTOR p : c.outside) EXPECT_EQ(BodySide(1, p), -1) << c.line << " " << Text(p);
  }
}

TEST(MacrobodyDirectives, FacetsOfAnRccAndAHexagonalPrism) {
  ASSERT_EQ(RunLines({"S1 RCC 1 2 3 0 0 4 2", "S2 RHP 0 0 0 0 0 2 1 0 0"}).code, 0);
  const SURFACE& side = Facet(1, 0);
  EXPECT_EQ(side.type, kSurfaceCylinder);
  EXPECT_TRUE(Near(side.axis, Init(0, 0, 1)));
  EXPECT_EQ(side.radius, 2.0);
  EXPECT_TRUE(Near(Facet(1, 1).axis, Init(0, 0, 1)));
  EXPECT_DOUBLE_EQ(Facet(1, 1).offset, -7.0);
  EXPECT_TRUE(Near(Facet(1, 2).axis, Init(0, 0, -1)));
  EXPECT_DOUBLE_EQ(Facet(1, 2).offset, 3.0);
  // Facet 8 of the prism is the side the entries give: x = 1, normal +x.
  EXPECT_TRUE(Near(Facet(2, 7).axis, Init(1, 0, 0), 1e-15)) << Text(Facet(2, 7).axis);
  EXPECT_NEAR(Facet(2, 7).offset, -1.0, 1e-15);
}

TEST(MacrobodyDirectives, FacetsMatchEarlierSurfacesAndPlanesOfOppositeNormalTakeSensePlusOne) {
  INPUTRUN run = RunLines({"S1 P 0 0 1 1", "S2 P 1 0 0 0", "S3 RPP 0 1 0 1 0 1", "S4 RPP 1 2 0 1 0 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  // S3's top (z = 1, +z) is S1; its face x = 0 (normal -x) is S2 of normal +x.
  EXPECT_EQ(Body(3).facetSurfaces[4], FindPlainSurface(1));
  EXPECT_EQ(Body(3).facetSenses[4], -1);
  EXPECT_EQ(Body(3).facetSurfaces[1], FindPlainSurface(2));
  EXPECT_EQ(Body(3).facetSenses[1], 1);
  EXPECT_EQ(PlainSurface(2).referenceCount, 1u);
  // S4 shares x = 1 with S3 (S3's normal +x, S4's -x).
  EXPECT_EQ(Body(4).facetSurfaces[1], Body(3).facetSurfaces[0]);
  EXPECT_EQ(Body(4).facetSenses[1], 1);
  EXPECT_EQ(Facet(3, 0).referenceCount, 2u);
  EXPECT_EQ(BodySide(4, Init(1.5, 0.5, 0.5)), 1);
  EXPECT_EQ(BodySide(4, Init(0.5, 0.5, 0.5)), -1);
}

TEST(MacrobodyDirectives, AnRccOfExistingSurfacesRepeatsAnEarlierBody) {
  INPUTRUN run = RunLines({"S1 RCC 0 0 0 0 0 1 1", "S2 RCC 0 0 0 0 0 1 1", "S3 RPP 0 1 0 1 0 1", "S4 RPP 0 1 0 1 0 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "Warning: Surfaces 2 and 1 coincide.\n");
  EXPECT_EQ(directives::geometry.nMacrobodies, 4);
  EXPECT_EQ(directives::geometry.nSurfaces, 7);  // the box shares the two end planes of the cylinders
}

TEST(MacrobodyDirectives, TransformedBodiesAndCopies) {
  INPUTRUN run =
      RunLines({"TR7 1 2 3 0 1 0 -1 0 0", "S1 7 RCC 0 0 0 2 0 0 1", "S2 RPP 0 1 0 1 0 1", "S3 7 2", "S4 7 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  // RCC along x' from the auxiliary origin: along +y from (1, 2, 3).
  EXPECT_TRUE(Near(Facet(1, 0).axis, Init(0, 1, 0))) << Text(Facet(1, 0).axis);
  EXPECT_TRUE(Near(Facet(1, 0).point, Init(1, 2, 3)));
  EXPECT_EQ(BodySide(1, Init(1, 3, 3)), 1);
  EXPECT_EQ(BodySide(1, Init(1, 5, 3)), -1);
  // The box turned: x' in [0, 1] is y - 2 in [0, 1], y' in [0, 1] is 1 - x in [0, 1].
  EXPECT_EQ(Body(3).kind, kMacrobodyRPP);
  EXPECT_EQ(Body(3).copiedFrom, -1);
  EXPECT_EQ(BodySide(3, Init(0.5, 2.5, 3.5)), 1);
  EXPECT_EQ(BodySide(3, Init(1.5, 2.5, 3.5)), -1);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(Body(3).facetSenses[k], -1);
  // A copy of the transformed RCC: moved twice.
  EXPECT_TRUE(Near(Facet(4, 0).axis, Init(-1, 0, 0), 1e-15)) << Text(Facet(4, 0).axis);
  EXPECT_EQ(BodySide(4, Init(-1.5, 3, 6)), 1);
}

TEST(MacrobodyDirectives, GeneralMacrobodies) {
  // S5: inside the sphere S1 and the cylinder of the RCC S3, above its base
  // and below the plane S4. S6: S5 below z = 0.5, which makes S4 redundant.
  INPUTRUN run = RunLines(
      {"S1 S 0 0 0 2", "S3 RCC 0 0 0 0 0 5 1", "S4 P 0 0 1 1", "S5 MB -1 -3.[1 3] -4", "S7 P 0 0 1 0.5", "S6 MB 5 -7"});
  ASSERT_EQ(run.code, 0) << run.console;
  const MACROBODY& mb = Body(5);
  EXPECT_EQ(mb.kind, kMacrobodyGeneral);
  EXPECT_EQ(mb.copiedFrom, -1);
  ASSERT_EQ(mb.nFacets, 4);
  EXPECT_EQ(mb.surfMacrobody[1], -1);  // "-3.[1": facet 1 of macrobody index 0 with the minus sign
  EXPECT_EQ(mb.surfFacet[1], -1);
  EXPECT_EQ(mb.surfFacet[2], -3);
  EXPECT_EQ(BodySide(5, Init(0, 0, 0.5)), 1);
  EXPECT_EQ(BodySide(5, Init(0, 0, 1.5)), -1);
  EXPECT_EQ(BodySide(5, Init(0, 0, -0.5)), -1);
  EXPECT_EQ(BodySide(5, Init(1.5, 0, 0.5)), -1);
  EXPECT_EQ(PlainSurface(1).referenceCount, 2u);  // S5, and S6 through S5
  EXPECT_EQ(Facet(3, 0).referenceCount, 3u);      // the RCC, S5 and S6
  EXPECT_EQ(PlainSurface(4).referenceCount, 1u);  // S5; S6 dropped it
  const MACROBODY& lower = Body(6);
  ASSERT_EQ(lower.nFacets, 4);
  EXPECT_EQ(lower.surfMacrobody[0], 2);  // items of S5 (index 1), named whole
  EXPECT_EQ(lower.surfFacet[0], 1);
  EXPECT_EQ(BodySide(6, Init(0, 0, 0.25)), 1);
  EXPECT_EQ(BodySide(6, Init(0, 0, 0.75)), -1);
  EXPECT_EQ(run.console, "Warning: Region +5.4 (-4) was removed from the definition of general macrobody \"S6\".\n");
}

TEST(MacrobodyDirectives, RedundantItemsOfAGeneralMacrobodyAreReported) {
  const struct {
    std::vector<std::string> lines;
    std::string warning;
  } cases[] = {
      {{"S1 S 0 0 0 1", "S2 S 0 0 0 2", "S3 MB -1 -2"},
       "Warning: Region -2 was removed from the definition of general macrobody \"S3\".\n"},
      {{"S1 S 0 0 0 1", "S2 S 0 0 0 2", "S3 S 0 0 0 3", "S4 MB -3 -2 -1"},
       "Warning: Regions -3 and -2 were removed from the definition of general macrobody \"S4\".\n"},
      {{"S1 S 0 0 0 1", "S2 S 0 0 0 2", "S3 S 0 0 0 3", "S4 S 0 0 0 4", "S5 MB -4 -3 -2 -1"},
       "Warning: 3 regions (-4, -3, ...) were removed from the definition of general macrobody \"S5\".\n"},
  };
  for (const auto& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_EQ(run.code, 0) << run.console;
    EXPECT_EQ(run.console, c.warning);
  }
  EXPECT_EQ(Body(5).nFacets, 1);  // one sphere is a region of its own
}

TEST(MacrobodyDirectives, CopiesOfGeneralMacrobodiesChainToTheFirst) {
  INPUTRUN run = RunLines({"TR1 10 0 0", "S1 S 0 0 0 2", "S2 P 0 0 1 0", "S3 MB -1 -2", "S4 1 3", "S5 1 4"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(Body(4).copiedFrom, FindMacrobody(3));
  EXPECT_EQ(Body(5).copiedFrom, FindMacrobody(3));
  EXPECT_EQ(BodySide(4, Init(10, 0, -1)), 1);
  EXPECT_EQ(BodySide(4, Init(10, 0, 1)), -1);
  EXPECT_EQ(BodySide(5, Init(20, 0, -1)), 1);
  // The plane z = 0 moves onto itself: the copies use S2.
  EXPECT_EQ(Body(4).facetSurfaces[1], FindPlainSurface(2));
  EXPECT_EQ(directives::geometry.surf[Body(4).facetSurfaces[0]].identifier, 0);
}

TEST(MacrobodyDirectives, Refusals) {
  const char* const kConeBounds = "(it must be between 5.72957795130823e-11 and 89.9999999999427).\n";
  const char* const kArbRule =
      " (entries No. 25 - 30 that are not zero must be integers in the range from 1230 to 8765, with all digits "
      "different and less than 9 and the first three digits non-zero).\n";
  const std::string cube = "S1 ARB 0 0 0 1 0 0 1 1 0 0 1 0 0 0 1 1 0 1 1 1 1 0 1 1 ";
  const std::string tetra = "S1 ARB 0 0 0 1 0 0 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 ";
  ExpectRefusals({
      {{"S1 RCC 0 0 0 0 0 0 1"},
       "Error in specification of the right circular cylinder \"S1\": the norm of the height vector is less than 1e-12 "
       "cm.\n"},
      {{"S1 RCC 0 0 0 0 0 1 0"},
       "Error in specification of the right circular cylinder \"S1\": radius is not a positive number (0).\n"},
      {{"S1 RCC 0 0 0 0 0 1"},
       "Error: The number of entries in the definition of the right circular cylinder \"S1\" is less than 7.\n"},
      {{"S1 TRC 0 0 0 0 0 1 1 0"},
       "Error in specification of the truncated right-angle cone \"S1\": radius is not a positive number (0).\n"},
      {{"S1 TRC 0 0 0 0 0 1 1 1"},
       "Error in specification of the truncated right-angle cone \"S1\": radii of both bases are equal.\n"},
      {{"S1 TRC 0 0 0 0 0 0 1 2"},
       "Error in specification of the truncated right-angle cone \"S1\": the norm of the height vector is less than "
       "1e-12 cm.\n"},
      {{"S1 TRC 0 0 0 0 0 1e12 1 1.5"},
       std::string(
           "Error in specification of the truncated right-angle cone \"S1\": incorrect cone angle 2.86479e-11 ") +
           kConeBounds},
      {{"S1 TRC 0 0 0 0 0 1.1e-12 1 1001"},
       std::string("Error in specification of the truncated right-angle cone \"S1\": incorrect cone angle 90 ") +
           kConeBounds},
      {{"S1 BOX 0 0 0 1 0 0 0 0 0 0 0 1"},
       "Error in specification of the box \"S1\": the norm of the edge vector No. 2 is less than 1e-12 cm.\n"},
      {{"S1 BOX 0 0 0 1 0 0 0 1 0 0 2 0"},
       "Error in specification of the box \"S1\": edges No. 2 and No. 3 are collinear.\n"},
      {{"S1 BOX 0 0 0 1 0 0 0 1 0 1 1 0"}, "Error in specification of the box \"S1\": all three edges are coplanar.\n"},
      {{"S1 RPP 0 1 0 0 0 1"}, "Error: The size of the rectangular parallelepiped \"S1\" is less than 1e-12 cm.\n"},
      {{"S1 RPP 0 1 0 1 0"},
       "Error: The number of entries in the definition of the rectangular parallelepiped \"S1\" is less than 6.\n"},
      {{"S1 RHP 0 0 0 0 0 2 0 0 0"},
       "Error in specification of the right hexagonal prism \"S1\": Distance from the symmetry axis to the side is "
       "less "
       "than 1e-12 cm.\n"},
      {{"S1 HEX 0 0 0 0 0 2 1 0 1"},
       "Error: Vectors defined by the second and third triplets of entries in specification of right hexagonal prism "
       "\"S1\" are not orthogonal.\n"},
      {{"S1 RHP 0 0 0 0 0 0 1 0 0"},
       "Error in specification of the right hexagonal prism \"S1\": the norm of the height vector is less than 1e-12 "
       "cm.\n"},
      {{"S1 WED 0 0 0 1 0 0 0 1 0 0 0 0"},
       "Error in specification of the wedge \"S1\": the norm of the edge vector No. 3 is less than 1e-12 cm.\n"},
      {{"S1 WED 0 0 0 1 0 0 2 0 0 0 0 1"},
       "Error in specification of the wedge \"S1\": edges No. 1 and No. 2 are collinear.\n"},
      {{"S1 WED 0 0 0 1 0 0 0 1 0 -3 0 0"},
       "Error in specification of the wedge \"S1\": edges No. 1 and No. 3 are collinear.\n"},
      {{"S1 WED 0 0 0 1 0 0 0 1 0 1 1 0"},
       "Error in specification of the wedge \"S1\": all three edges are coplanar.\n"},
      {{"S1 ARB4 0 0 0 0 0 0 0 1 0 0 0 1"},
       "Error in specification of the four-sided polyhedron \"S1\": the norm of the edge vector No. 1 is less than "
       "1e-12 cm.\n"},
      {{"S1 ARB4 0 0 0 1 0 0 0 1 0 1 1 0"},
       "Error in specification of the four-sided polyhedron \"S1\": all vertices belong to the same plane.\n"},
      {{cube + "1234 5678 1265 2376 3487 9123"},
       std::string("Error in specification of the polyhedron \"S1\": invalid entry 9123") + kArbRule},
      {{cube + "1234 5678 1265 2376 3487 1204"},
       std::string("Error in specification of the polyhedron \"S1\": invalid entry 1204") + kArbRule},
      {{cube + "1234 5678 1265 2376 3487 1294"},
       std::string("Error in specification of the polyhedron \"S1\": invalid entry 1294") + kArbRule},
      {{cube + "1234 5678 1265 2376 3487 1123"},
       std::string("Error in specification of the polyhedron \"S1\": invalid entry 1123") + kArbRule},
      {{cube + "1234 5678 1265 0 0 0"},
       "Error in specification of the polyhedron \"S1\": the number of planes is less than 4.\n"},
      {{"S1 ARB 0 0 0 0 0 0 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 1230 1240 1340 2340 0 0"},
       "Error in specification of the polyhedron \"S1\": the distance between vertices No. 1 and 2 is less than 1e-12 "
       "cm.\n"},
      {{"S1 ARB 0 0 0 1 0 0 2 0 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 1230 1240 1340 2340 0 0"},
       "Error in specification of the polyhedron \"S1\": the three corners described by the entry \"1230\" are "
       "collinear.\n"},
      {{tetra + "1230 1240 1340 2340 1320 0"},
       "Error in specification of the polyhedron \"S1\": some of the planes coincide.\n"},
      {{tetra + "1230 1240 2340 0 0 0"},
       "Error in specification of the polyhedron \"S1\": the number of planes is less than 4.\n"},
      {{"S1 ARB 0 0 0 1 0 0 0 1 0 0 0 1 1 1 1 0 0 0 0 0 0 0 0 0 1230 1240 1340 2340 1250 0"},
       "Error in specification of the polyhedron \"S1\": vertex No. 5 (1, 1, 1) belongs to less than 3 planes.\n"},
      // A triangle with two apexes on the same side of it: the faces of the
      // lower apex have the upper one outside.
      {{"S1 ARB 0 0 0 1 0 0 0 1 0 0.25 0.25 2 0.25 0.25 1 0 0 0 0 0 0 0 0 0 1240 2340 3140 1250 2350 3150"},
       "Error in specification of the polyhedron \"S1\": the vertices that do not belong to plane No. 4 are not all on "
       "the same side of it.\n"},
      {{"S1 MB -2"}, "Error: Undefined surface identifier \"2\".\n"},
      {{"S2 S 0 0 0 1", "S1 MB -2"},
       "Error: The number of surfaces specified in the definition of general macrobody \"S1\" is less than 2.\n"},
      {{"S2 S 0 0 0 1", "S3 S 5 0 0 1", "S1 MB -2 -3"},
       "Geometry error in the definition of general macrobody 1: Regions -2 and -3 do not intersect.\n"},
      {{"S2 P 0 0 1 0", "S3 P 0 0 1 0", "S1 MB -2 3"},
       "Geometry error in the definition of general macrobody 1: Regions -2 and +3 do not intersect.\n"},
      {{"S2 RPP 0 1 0 1 0 1", "S1 MB 2 -2"},
       "Error: The identifier of a standard macrobody has been specified in the definition of macrobody 1 without the "
       "minus sign.\n"},
      {{"S2 S 0 0 0 1", "S3 P 0 0 1 0", "S4 MB -2 -3", "S1 MB -4"},
       "Error: The identifier of a general macrobody has been specified in the definition of macrobody 1 with the "
       "minus "
       "sign.\n"},
      {{"S2 RPP 0 1 0 1 0 1", "S1 MB -2.[1 2"}, "Error: Missing closing bracket.\n"},
      {{"S2 RPP 0 1 0 1 0 1", "S1 MB -2.7"}, "Error: Macrobody 2 has less than 7 facets.\n"},
  });
}

TEST(MacrobodyDirectives, ARepeatedArbFaceCornerOffItsPlaneIsAWarning) {
  // The fourth corner of the face 1234 lies off the plane of 1, 2, 3.
  INPUTRUN run = RunLines({"S1 ARB 0 0 0 1 0 0 0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 1234 1240 1340 2340 0 0"});
  EXPECT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console,
            "Warning: In specification of the polyhedron \"S1\", the entry \"1234\" is inconsistent (corner No. 4 does "
            "not lie in the plane containing corners No. 1, 2 and 3).\n");
}

TEST(MacrobodyDirectives, TheMacrobodyTableHoldsTenThousand) {
  std::vector<std::string> lines;
  for (int i = 1; i <= kMaxMacrobodies; ++i) lines.push_back("S" + std::to_string(i) + " RPP 0 1 0 1 0 1");
  INPUTRUN full = RunLines(lines);
  ASSERT_EQ(full.code, 0) << full.console.substr(0, 200);
  EXPECT_EQ(directives::geometry.nMacrobodies, kMaxMacrobodies);
  EXPECT_EQ(directives::geometry.nSurfaces, 6);
  lines.push_back("S10001 RPP 0 1 0 1 0 1");
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of macrobodies is greater than 10000.\n"));
  lines.back() = "S10001 MB -1 -2";
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of macrobodies is greater than 10000.\n"));
}

}  // namespace
