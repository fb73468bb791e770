// TR<n> and *TR<n>: translations, rotations from components, from azimuth and
// elevation, built Y' axes, primary transformations, the orthogonality
// warning and every refusal.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/directives/material_directives.h"
#include "tests/directives/geometry_test_support.h"

namespace {

const TRANSFORM& Transform(int32_t id) {
  const int32_t i = FindTransform(id);
  EXPECT_GE(i, 0) << "no TR" << id;
  return directives::geometry.transforms[static_cast<size_t>(i < 0 ? 0 : i)];
}

// Column j of the rotation: the auxiliary axis j in the main system.
VECTOR Column(const TRANSFORM& t, int j) { return Init(t.M[j], t.M[3 + j], t.M[6 + j]); }

void ExpectAxes(int32_t id, VECTOR x, VECTOR y, VECTOR z, double tol = 1e-12) {
  const TRANSFORM& t = Transform(id);
  EXPECT_TRUE(Near(Column(t, 0), x, tol)) << "TR" << id << " X' " << Text(Column(t, 0));
  EXPECT_TRUE(Near(Column(t, 1), y, tol)) << "TR" << id << " Y' " << Text(Column(t, 1));
  EXPECT_TRUE(Near(Column(t, 2), z, tol)) << "TR" << id << " Z' " << Text(Column(t, 2));
}

TEST(TransformDirectives, RotationsOfEveryForm) {
  const double h = std::sqrt(0.5);
  INPUTRUN run = RunLines({
      "TR1 1 2 3",                     // identity
      "TR2 0 0 0 90 0",                // X' along +y by azimuth: Y' built (+z)
      "TR3 0 0 0 1 1 0",               // X' by components: Y' built
      "TR4 0 0 0 0 0 90 0",            // X' = +x, Y' = +y by azimuth and elevation
      "TR5 0 0 0 0 0 0 0 1",           // X' = +x, Y' = +z by components
      "TR6 0 0 0 0 1 0 -1 0 0",        // a quarter turn about z
      "*TR7 0 0 0 0 90 90",            // angles 0, 90, 90: the identity
      "*TR8 0 0 0 90 0 90 180 90 90",  // X' = +y, Y' = -x
      "TR9 0 0 0 0 0 1",               // X' = +z: Y' built (+y)
      "TR10 0 0 0 0 -90",              // X' = -z by elevation
  });
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console, "");
  const TRANSFORM& t1 = Transform(1);
  EXPECT_TRUE(Near(t1.t, Init(1, 2, 3)));
  ExpectAxes(1, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1));
  ExpectAxes(2, Init(0, 1, 0), Init(0, 0, 1), Init(1, 0, 0));
  ExpectAxes(3, Init(h, h, 0), Init(h, -h, 0), Init(0, 0, -1));
  ExpectAxes(4, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1));
  ExpectAxes(5, Init(1, 0, 0), Init(0, 0, 1), Init(0, -1, 0));
  ExpectAxes(6, Init(0, 1, 0), Init(-1, 0, 0), Init(0, 0, 1));
  ExpectAxes(7, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1));
  ExpectAxes(8, Init(0, 1, 0), Init(-1, 0, 0), Init(0, 0, 1));
  ExpectAxes(9, Init(0, 0, 1), Init(0, 1, 0), Init(-1, 0, 0));
  ExpectAxes(10, Init(0, 0, -1), Init(0, 1, 0), Init(1, 0, 0));
  EXPECT_EQ(directives::complexGeometry, 1);
}

TEST(TransformDirectives, APrimaryTransformationComposes) {
  INPUTRUN run = RunLines({"TR1 1 2 3 0 1 0 -1 0 0", "TR2 tr1 5 0 0 0 1 0 -1 0 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  // The translation (5, 0, 0) in TR1's system is (0, 5, 0) + (1, 2, 3); two quarter turns make a half turn.
  EXPECT_TRUE(Near(Transform(2).t, Init(1, 7, 3))) << Text(Transform(2).t);
  ExpectAxes(2, Init(-1, 0, 0), Init(0, -1, 0), Init(0, 0, 1));
}

TEST(TransformDirectives, AxesThatAreNotOrthogonalAreMadeSoWithAWarning) {
  INPUTRUN run = RunLines({"TR3 0 0 0 1 0 0 1 1 0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(run.console,
            "Warning: the unit vectors of the coordinate transformation \"TR3\" are not orthogonal. The Y' unit vector "
            "will be rotated so that it is orthogonal to the X' unit vector.\n");
  ExpectAxes(3, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1), 1e-15);
}

TEST(TransformDirectives, AngleLimitsAreIncluded) {
  INPUTRUN run = RunLines({"TR1 0 0 0 720 0", "TR2 0 0 0 -720 -90", "TR3 0 0 0 0 90", "*TR4 0 0 0 -720 90",
                           "*TR5 0 0 0 0 0 450 0", "TR6 0 0 0 0 0 810 0"});
  EXPECT_EQ(run.code, 0) << run.console;
  ExpectAxes(3, Init(0, 0, 1), Init(0, 1, 0), Init(-1, 0, 0));
  ExpectAxes(5, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1));
  ExpectAxes(6, Init(1, 0, 0), Init(0, 1, 0), Init(0, 0, 1));  // Y's azimuth is tested only with the star
}

TEST(TransformDirectives, Refusals) {
  const std::string prefix = "Error in specification of the coordinate transformation \"TR1\": ";
  ExpectRefusals({
      {{"TR1.5x 0 0 0"},
       "Error in specification of the coordinate transformation \"TR1.5x\": the first keyword format must be "
       "\"TR<n>\", where \"<n>\" is a positive integer number less than 2^31 = 2147483648.\n"},
      {{"*TR4000000000 0 0 0"}, "Error in specification of the coordinate transformation \"*TR4000000000\""},
      {{"MAT 29 1", "TR1 0 0 0"},
       "Error: Keyword \"TR<n>\" can be used only in complex geometry mode, but the previous directives imply simple "
       "geometry.\n"},
      {{"MAT 29 1", "*TR1 0 0 0"}, "Error: Keyword \"TR<n>\" can be used only in complex geometry mode"},
      {{"TR1 0 0 0", "*TR1 0 0 0"}, "Error: Duplicate coordinate transformation identifier \"TR1\".\n"},
      {{"TR1"}, "Error: Missing specification of a coordinate transformation.\n"},
      {{"TR2 0 0 0", "TR1 TR2"}, "Error: Missing specification of a coordinate transformation.\n"},
      {{"TR1 TR2x 0 0 0"},
       prefix + "the identifier of the primary coordinate transformation must be \"TR<n>\", where \"<n>\" is a "
                "positive integer number less than 2^31 = 2147483648.\n"},
      {{"TR1 TR2 0 0 0"},
       "Error: Unknown identifier of the primary coordinate transformation \"TR2\" in the definition of the "
       "coordinate transformation \"TR1\".\n"},
      {{"TR1 0 0 x"}, prefix + "incorrect number format \"x\".\n"},
      {{"TR1 0 0 0 0"}, prefix + "incorrect number of numerical entries (it must be 3, 5, 6, 7, 8 or 9).\n"},
      {{"TR1 0 0"}, prefix + "incorrect number of numerical entries (it must be 3, 5, 6, 7, 8 or 9).\n"},
      {{"TR1 0 0 0 1 0 0 0 1 0 0"},
       prefix + "incorrect number of numerical entries (it must be 3, 5, 6, 7, 8 or 9).\n"},
      {{"TR1 0 0 0 720.5 0"}, prefix + "invalid azimuth angle 720.5 (it must be between -720 and +720 degrees).\n"},
      {{"TR1 0 0 0 0 90.5"}, prefix + "invalid elevation angle 90.5 (it must be between -90 and 90 degrees).\n"},
      {{"TR1 0 0 0 0 0 90 -91"}, prefix + "invalid elevation angle -91 (it must be between -90 and 90 degrees).\n"},
      {{"*TR1 0 0 0 0 0 900 0"}, prefix + "invalid angle 900 (it must be between -720 and +720 degrees).\n"},
      {{"*TR1 0 0 0 0 90 -800"}, prefix + "invalid angle -800 (it must be between -720 and +720 degrees).\n"},
      {{"TR1 0 0 0 0 0 0"}, prefix + "the norm of unit vector No. 1 is less than 1e-12.\n"},
      {{"TR1 0 0 0 1 0 0 0 0 0"}, prefix + "the norm of unit vector No. 2 is less than 1e-12.\n"},
      {{"*TR1 0 0 0 0 90 45"}, prefix + "the norm of unit vector No. 1 is not equal to 1.\n"},
      {{"*TR1 0 0 0 0 90 90 0 0 90"}, prefix + "the norm of unit vector No. 2 is not equal to 1.\n"},
      {{"TR1 0 0 0 1 0 0 2 0 0"}, prefix + "the unit vectors of the auxiliary coordinate system are collinear.\n"},
      {{"TR1 0 0 0 0 0 180 0"}, prefix + "the unit vectors of the auxiliary coordinate system are collinear.\n"},
  });
}

TEST(TransformDirectives, TheTableHoldsTenThousand) {
  std::vector<std::string> lines;
  for (int i = 1; i <= kMaxTransforms; ++i) lines.push_back("TR" + std::to_string(i) + " 0 0 " + std::to_string(i));
  INPUTRUN full = RunLines(lines);
  ASSERT_EQ(full.code, 0) << full.console.substr(0, 200);
  EXPECT_EQ(directives::geometry.nTransforms, kMaxTransforms);
  lines.push_back("TR10001 0 0 0");
  EXPECT_TRUE(FailsWith(RunLines(lines), "Error: The number of coordinate transformations is greater than 10000.\n"));
}

}  // namespace
