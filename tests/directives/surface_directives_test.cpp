// S<n>: planes, spheres, cylinders and cones, their entries and refusals,
// surfaces in the auxiliary system of a transformation, copies, coinciding
// surfaces and the take-over of a macrobody facet by a plain surface.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/directives/material_directives.h"
#include "tests/directives/geometry_test_support.h"

namespace {

TEST(SurfaceDirectives, PlanesOfFourSixAndNineEntries) {
  INPUTRUN run = RunLines({"S1 P 0 0 2 4", "S2 P 0 0 -2 4", "S3 p 1 2 3 0 2 0", "S4 P 0 0 0 0 1 0 1 0 0",
                           "S5 P 1 0 0 0 1 0 0 0 1", "s6 P 0 0 0 1 0 0 0 1 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::complexGeometry, 1);
  const SURFACE& z2 = PlainSurface(1);
  EXPECT_EQ(z2.type, kSurfacePlane);
  EXPECT_TRUE(Near(z2.axis, Init(0, 0, 1))) << Text(z2.axis);
  EXPECT_DOUBLE_EQ(z2.point.z, 2.0);
  EXPECT_DOUBLE_EQ(z2.offset, -2.0);
  EXPECT_EQ(z2.macrobody, -1);
  EXPECT_EQ(z2.referenceCount, 0u);
  const SURFACE& zm2 = PlainSurface(2);  // 0 0 -2 4: the plane z = -2, normal -z
  EXPECT_TRUE(Near(zm2.axis, Init(0, 0, -1))) << Text(zm2.axis);
  EXPECT_DOUBLE_EQ(zm2.point.z, -2.0);
  EXPECT_DOUBLE_EQ(zm2.offset, -2.0);
  const SURFACE& y = PlainSurface(3);
  EXPECT_TRUE(Near(y.axis, Init(0, 1, 0)));
  EXPECT_DOUBLE_EQ(y.offset, -2.0);
  // Through the origin with the computed normal (0, 0, -1): stored as +z.
  EXPECT_TRUE(Near(PlainSurface(4).axis, Init(0, 0, 1))) << Text(PlainSurface(4).axis);
  // x + y + z = 1: the origin on the negative side.
  const double third = 1.0 / std::sqrt(3.0);
  EXPECT_TRUE(Near(PlainSurface(5).axis, Init(third, third, third), 1e-15)) << Text(PlainSurface(5).axis);
  EXPECT_NEAR(PlainSurface(5).offset, -third, 1e-15);
  EXPECT_TRUE(Near(PlainSurface(6).axis, Init(0, 0, 1)));
}

TEST(SurfaceDirectives, SpheresCylindersAndCones) {
  INPUTRUN run = RunLines({"S1 S 1 2 3 4", "S2 CY 0 0 1 0 0 5 2.5", "S3 CO 0 0 0 0 3 0 45"});
  ASSERT_EQ(run.code, 0) << run.console;
  const SURFACE& s = PlainSurface(1);
  EXPECT_EQ(s.type, kSurfaceSphere);
  EXPECT_TRUE(Near(s.point, Init(1, 2, 3)));
  EXPECT_EQ(s.radius, 4.0);
  const SURFACE& cy = PlainSurface(2);
  EXPECT_EQ(cy.type, kSurfaceCylinder);
  EXPECT_TRUE(Near(cy.axis, Init(0, 0, 1)));
  EXPECT_EQ(cy.radius, 2.5);
  const SURFACE& co = PlainSurface(3);
  EXPECT_EQ(co.type, kSurfaceCone);
  EXPECT_TRUE(Near(co.axis, Init(0, 1, 0)));
  EXPECT_DOUBLE_EQ(co.halfAngle, std::atan(1.0));
  EXPECT_DOUBLE_EQ(co.tanHalfAngle, 1.0);
  EXPECT_DOUBLE_EQ(co.sinHalfAngle, std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(co.cosHalfAngle, std::sqrt(0.5));
}

// A quarter turn about z with a shift: X' = +y, Y' = -x, Z' = +z.
constexpr const char* kQuarterTurn = "TR7 1 2 3 0 1 0 -1 0 0";

TEST(SurfaceDirectives, TransformedSurfacesEqualTheirAnalyticForms) {
  INPUTRUN run = RunLines({kQuarterTurn, "S1 7 P 1 0 0 5", "S2 7 S 1 0 0 2", "S3 7 CY 0 0 0 1 0 0 2",
                           "S4 7 CO 0 0 1 0 1 0 30", "S5 7 P 0 0 0 1 0 0 0 1 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  // x' = 5 is the plane y = 7 with normal +y.
  const SURFACE& p = PlainSurface(1);
  EXPECT_TRUE(Near(p.axis, Init(0, 1, 0))) << Text(p.axis);
  EXPECT_NEAR(p.offset, -7.0, 1e-12);
  EXPECT_NEAR(DistanceToSurface(&p.point, &p), 0.0, 1e-12);
  EXPECT_TRUE(Near(PlainSurface(2).point, Init(1, 3, 3))) << Text(PlainSurface(2).point);
  const SURFACE& cy = PlainSurface(3);
  EXPECT_TRUE(Near(cy.point, Init(1, 2, 3)));
  EXPECT_TRUE(Near(cy.axis, Init(0, 1, 0))) << Text(cy.axis);
  const SURFACE& co = PlainSurface(4);
  EXPECT_TRUE(Near(co.point, Init(1, 2, 4))) << Text(co.point);
  EXPECT_TRUE(Near(co.axis, Init(-1, 0, 0))) << Text(co.axis);
  EXPECT_DOUBLE_EQ(co.halfAngle, 30.0 * std::atan(1.0) / 45.0);
  // The plane z' = 0 through the auxiliary origin: z = 3, normal +z, with
  // the orientation fixed in the auxiliary system.
  const SURFACE& z = PlainSurface(5);
  EXPECT_TRUE(Near(z.axis, Init(0, 0, 1))) << Text(z.axis);
  EXPECT_NEAR(z.offset, -3.0, 1e-12);
}

TEST(SurfaceDirectives, CopiesOfPlainSurfaces) {
  INPUTRUN run = RunLines({kQuarterTurn, "S1 CY 0 0 0 1 0 0 2", "S2 7 1", "S3 P 1 0 0 5", "S4 7 3"});
  ASSERT_EQ(run.code, 0) << run.console;
  const SURFACE& cy = PlainSurface(2);
  EXPECT_EQ(cy.type, kSurfaceCylinder);
  EXPECT_EQ(cy.macrobody, -1);
  EXPECT_TRUE(Near(cy.axis, Init(0, 1, 0)));
  EXPECT_TRUE(Near(cy.point, Init(1, 2, 3)));
  EXPECT_NEAR(PlainSurface(4).offset, -7.0, 1e-12);
}

TEST(SurfaceDirectives, CoincidingPlainSurfacesAreReportedAndKept) {
  INPUTRUN run = RunLines({"S1 S 0 0 0 1", "S2 S 0 0 0 1", "S3 P 0 0 1 1", "S4 P 0 0 -1 -1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "Warning: Surfaces 2 and 1 coincide.\nWarning: Surfaces 4 and 3 coincide.\n");
  EXPECT_EQ(directives::geometry.nSurfaces, 4);
}

TEST(SurfaceDirectives, APlaneTakesOverABoxFacetAndTheRegionsStay) {
  // The box 0..1 in every direction; facet 6 is the plane z = 0 with normal -z.
  const std::vector<std::string> box = {"S1 RPP 0 1 0 1 0 1", "C1 0 -1", "C2 0 -1.6 -1.5"};
  INPUTRUN before = RunLines(box);
  ASSERT_EQ(before.code, 0) << before.console;
  const VECTOR points[] = {Init(0.5, 0.5, 0.5), Init(0.5, 0.5, -0.5), Init(0.5, 0.5, 1.5), Init(2, 0.5, 0.5),
                           Init(0.5, 0.5, 0.99)};
  std::vector<int> sides1, sides2;
  for (VECTOR p : points) {
    sides1.push_back(CellSide(1, p));
    sides2.push_back(CellSide(2, p));
  }
  std::vector<std::string> lines = box;
  lines.push_back("S7 P 0 0 1 0");  // z = 0 with normal +z
  lines.push_back("C3 0 -1");       // the box named after the take-over
  INPUTRUN after = RunLines(lines);
  ASSERT_EQ(after.code, 0) << after.console;
  const SURFACE& taken = PlainSurface(7);
  EXPECT_EQ(&taken, &Facet(1, 5));  // no new surface: the facet itself
  EXPECT_EQ(taken.macrobody, -1);
  EXPECT_TRUE(Near(taken.axis, Init(0, 0, 1)));
  EXPECT_EQ(Body(1).facetSenses[5], 1);
  for (size_t i = 0; i < sizeof points / sizeof points[0]; ++i) {
    EXPECT_EQ(CellSide(1, points[i]), sides1[i]) << Text(points[i]);
    EXPECT_EQ(CellSide(2, points[i]), sides2[i]) << Text(points[i]);
    EXPECT_EQ(CellSide(3, points[i]), sides1[i]) << Text(points[i]);
  }
  EXPECT_EQ(CellOf(1).senses[5], 1);
  // The facet is named as the box's, followed by the plain surface's own name.
  char text[64];
  const CELL& c = CellOf(1);
  FormatSurfaceId(&directives::geometry.surf[c.surfaces[5]], c.senses[5], c.surfMacrobody[5], c.surfFacet[5],
                  directives::geometry.macrobodies.data(), text, sizeof text);
  EXPECT_STREQ(text, "-1.6 (+7)");
}

TEST(SurfaceDirectives, Refusals) {
  const char* const kConeBounds = "(it must be between 5.72957795130823e-11 and 89.9999999999427).\n";
  ExpectRefusals({
      {{"S1.5x P 0 0 1 0"},
       "Error in specification of the surface \"S1.5x\": The first keyword format must be \"S<n>\", where \"<n>\" is a "
       "positive integer number less than 2^31 = 2147483648.\n"},
      {{"S3000000000 P 0 0 1 0"},
       "Error in specification of the surface \"S3000000000\": The first keyword format must be \"S<n>\""},
      {{"MAT 29 1", "S1 P 0 0 1 0"},
       "Error: Keyword \"S<n>\" can be used only in complex geometry mode, but the previous directives imply simple "
       "geometry.\n"},
      {{"S1 P 0 0 1 0", "S1 S 0 0 0 1"}, "Error: Duplicate surface identifier \"S1\".\n"},
      {{"S1 RPP 0 1 0 1 0 1", "S1 S 0 0 0 1"}, "Error: Duplicate surface identifier \"S1\".\n"},
      {{"S1"}, "Error: Missing specification of a surface.\n"},
      {{"S1 0.4 P 0 0 1 0"},
       "Error in specification of surface \"S1\": Invalid identifier of coordinate transformation \"0.4\".\n"},
      {{"S1 2 P 0 0 1 0"}, "Error in specification of surface \"S1\": Unknown coordinate transformation \"2\".\n"},
      {{"TR1 0 0 0", "S1 1"}, "Error: Missing specification of a surface.\n"},
      {{"TR1 0 0 0", "S2 P 0 0 1 0", "S1 1 2 3"},
       "Error in specification of surface \"S1\": Extra entries after the identifier of the original surface 2.\n"},
      {{"TR1 0 0 0", "S1 1 0.2"},
       "Error in specification of surface \"S1\": Invalid identifier of the original surface \"0.2\".\n"},
      {{"TR1 0 0 0", "S1 1 7"},
       "Error in specification of surface \"S1\": Unknown identifier of the original surface 7.\n"},
      {{"TR1 0 0 0", "S2 S 0 0 0 1", "S1 1 MB -2"},
       "Error: An attempt to define general macrobody \"S1\" in an auxiliary coordinate system (this is allowed only "
       "for regular surfaces and standard macrobodies).\n"},
      {{"S1 Q 1 2"},
       "Error in specification of the surface \"S1\": the surface type must be \"P\", \"S\", \"CY\", \"CO\", \"MB\", "
       "\"RCC\", \"TRC\", \"BOX\", \"RPP\", \"RHP\", \"HEX\", \"WED\", \"ARB4\" or \"ARB\".\n"},
      {{"S1 P 0 0 x 0"}, "Error in specification of the plane \"S1\": incorrect number format \"x\".\n"},
      {{"S1 P 0 0 1 0 5"},
       "Error: Incorrect number of entries in the definition of the plane \"S1\" (it must be 4, 6 or 9).\n"},
      {{"S1 P 0 0 1"},
       "Error: Incorrect number of entries in the definition of the plane \"S1\" (it must be 4, 6 or 9).\n"},
      {{"S1 P 1 2 3 4 5 6 7 8 9 10"},
       "Error: The number of entries in the definition of the plane \"S1\" is greater than 9.\n"},
      {{"S1 P 0 0 0 1"},
       "Error in specification of the plane \"S1\": all components of the direction vector are zero.\n"},
      {{"S1 P 1 1 1 0 0 0"},
       "Error in specification of the plane \"S1\": all components of the direction vector are zero.\n"},
      {{"S1 P 0 0 0 0 0 0 1 0 0"},
       "Error: Distance between points No. 1 and No. 2 in the definition of the plane \"S1\" is less than 1e-12 cm.\n"},
      {{"S1 P 0 0 0 1 0 0 1 0 0"},
       "Error: Distance between points No. 2 and No. 3 in the definition of the plane \"S1\" is less than 1e-12 cm.\n"},
      {{"S1 P 0 0 0 1 0 0 2 0 0"}, "Error in specification of the plane \"S1\": the three points are collinear.\n"},
      {{"S1 S 0 0 0"}, "Error: The number of entries in the definition of the sphere \"S1\" is less than 4.\n"},
      {{"S1 S 0 0 0 0"}, "Error in specification of the sphere \"S1\": radius is not a positive number (0).\n"},
      {{"S1 S 0 0 0 1 2"}, "Error: The number of entries in the definition of the sphere \"S1\" is greater than 4.\n"},
      {{"S1 CY 0 0 0 0 0 1 -2"},
       "Error in specification of the cylinder \"S1\": radius is not a positive number (-2).\n"},
      {{"S1 CY 0 0 0 0 0 0 1"},
       "Error in specification of the cylinder \"S1\": all components of the direction vector are zero.\n"},
      {{"S1 CY 0 0 0 0 0 1"},
       "Error: The number of entries in the definition of the cylinder \"S1\" is less than 7.\n"},
      {{"S1 CO 0 0 0 0 0 1 90"},
       std::string("Error in specification of the cone \"S1\": incorrect angle 90 ") + kConeBounds},
      {{"S1 CO 0 0 0 0 0 1 0"},
       std::string("Error in specification of the cone \"S1\": incorrect angle 0 ") + kConeBounds},
      {{"S1 CO 0 0 0 0 0 0 45"},
       "Error in specification of the cone \"S1\": all components of the direction vector are zero.\n"},
      {{"S1 CO 0 0 0 0 0 1 45 1"},
       "Error: The number of entries in the definition of the cone \"S1\" is greater than 7.\n"},
  });
}

TEST(SurfaceDirectives, TheSurfaceTableHoldsTenThousand) {
  std::vector<std::string> lines;
  for (int i = 1; i <= kMaxSurfaces; ++i) lines.push_back("S" + std::to_string(i) + " P 0 0 1 " + std::to_string(i));
  INPUTRUN full = RunLines(lines);
  ASSERT_EQ(full.code, 0) << full.console;
  EXPECT_EQ(directives::geometry.nSurfaces, kMaxSurfaces);
  lines.push_back("S10001 S 0 0 0 1");
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of surfaces is greater than 10000.\n"));
}

}  // namespace
