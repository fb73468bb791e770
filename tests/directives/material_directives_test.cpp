// Materials and the geometry mode: keyword recognition, fractions and their
// normalisation, the identical-composition link, and every refusal.
#include <gtest/gtest.h>

#include "driver/directives/material_directives.h"
#include "tests/directives/directive_test_support.h"

TEST(MaterialDirectives, LayerMaterialStoresNormalisedAtomFractions) {
  INPUTRUN run = RunLines({"MAT 1 2 8 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::complexGeometry, 0);
  ASSERT_EQ(directives::nMaterials, 1);
  EXPECT_EQ(directives::nElem_tot, 2);
  EXPECT_EQ(directives::elementZ[0], 1);
  EXPECT_EQ(directives::elementZ[1], 8);
  EXPECT_EQ(directives::materials[0].nElements, 2);
  EXPECT_DOUBLE_EQ(directives::materials[0].fraction[0], 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(directives::materials[0].fraction[1], 1.0 / 3.0);
  EXPECT_EQ(directives::materials[0].forcing, -1);
}

TEST(MaterialDirectives, MassFractionsKeepTheirSign) {
  INPUTRUN run = RunLines({"MAT 1 -0.111 8 -0.889"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_DOUBLE_EQ(directives::materials[0].fraction[0], -0.111);
  EXPECT_DOUBLE_EQ(directives::materials[0].fraction[1], -0.889);
}

TEST(MaterialDirectives, NumberedMaterialsWithNameForcingAndRounding) {
  INPUTRUN run = RunLines({"M5 \"pure lead\" 82 1", "M1.6 6 1 FORCE 1"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::complexGeometry, 1);
  ASSERT_EQ(directives::nMaterials, 2);
  EXPECT_EQ(directives::materials[0].number, 5);
  EXPECT_EQ(directives::elementZ[directives::materials[0].element[0]], 82);
  EXPECT_EQ(directives::materials[1].number, 2);
  EXPECT_EQ(directives::materials[1].forcing, 1);
  EXPECT_EQ(directives::nElem_tot, 2);
}

TEST(MaterialDirectives, SameCompositionLinksToTheEarlierRecord) {
  INPUTRUN run = RunLines({"M1 1 2 8 1", "M2 8 0.5 1 1.0"});
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_NE(run.console.find("Warning: Material 2 has the same composition as material 1.\n"), std::string::npos);
  ASSERT_EQ(directives::nMaterials, 2);
  EXPECT_TRUE(IsLinkedMaterial(directives::materials[1]));
  EXPECT_EQ(LinkedMaterialIndex(directives::materials[1]), 0);
}

TEST(MaterialDirectives, TheMaterialArrayGrowsByTwenty) {
  std::vector<std::string> lines;
  for (int n = 1; n <= 21; ++n) lines.push_back("M" + std::to_string(n) + " " + std::to_string(n) + " 1");
  INPUTRUN run = RunLines(lines);
  ASSERT_EQ(run.code, 0) << run.console;
  EXPECT_EQ(directives::nMaterials, 21);
  EXPECT_EQ(directives::materials.size(), 40u);
  EXPECT_EQ(directives::materials[20].number, 21);
}

TEST(MaterialDirectives, GeometryModeSwitch) {
  EXPECT_EQ(RunLines({"COMPLEX_GEOMETRY -2"}).code, 0);
  EXPECT_EQ(directives::complexGeometry, 2);
  EXPECT_TRUE(FailsWith(RunLines({"M1 6 1", "COMPLEX_GEOMETRY 0"}),
                        "Error: Setting the simple geometry option is not allowed here, because the previous directives imply complex geometry.\n"));
  EXPECT_TRUE(FailsWith(RunLines({"MAT 6 1", "COMPLEX_GEOMETRY 1"}),
                        "Error: Setting the complex geometry option is not allowed here, because the previous directives imply simple geometry.\n"));
  EXPECT_TRUE(FailsWith(RunLines({"COMPLEX_GEOMETRY"}), "Error: Value of the \"complex geometry\" switch is missing.\n"));
}

TEST(MaterialDirectives, RefusalsNameTheOffendingValue) {
  std::string hundredOne = "M1";
  for (int z = 1; z <= 100; ++z) hundredOne += " " + std::to_string(z) + " 1";
  hundredOne += " 1 1";
  struct CASE {
    std::vector<std::string> lines;
    const char* message;
  };
  const CASE cases[] = {
      {{"M3x 6 1"}, "Error in specification of the material \"M3x\" (the first keyword format must be \"M<n>\", where \"<n>\" is a positive integer number less than 2^31 = 2147483648.\n"},
      {{"M0.4 6 1"}, "Error: Invalid number or input directive \"M0.4\".\n"},
      {{"MAT 6 1", "M1 6 1"}, "Error: Keyword \"M<n>\" can be used only in complex geometry mode, but the previous directives imply simple geometry.\n"},
      {{"M1 6 1", "MAT 6 1"}, "Error: Keyword \"MAT\" can be used only in simple geometry mode, but the previous directives imply complex geometry.\n"},
      {{"M1 6 1", "M1 8 1"}, "Error: Duplicate material identifier \"M1\".\n"},
      {{"M5 \"lead 82 1"}, "Error: Missing closing quote in the name of a material.\n"},
      {{"MAT"}, "Error: Missing specification of the material.\n"},
      {{"MAT \"water\""}, "Error: Missing specification of the material.\n"},
      {{"MAT FORCE 1"}, "Error: Missing specification of the material.\n"},
      {{"MAT 1 2 8 -1"}, "Error: Positive fractions are mixed with negative ones.\n"},
      {{"MAT 0 1"}, "Error: Illegal atomic number \"0\".\n"},
      {{"MAT 101 1"}, "Error: Illegal atomic number \"101\".\n"},
      {{"MAT 6x 1"}, "Error: Illegal atomic number \"6x\".\n"},
      {{"MAT 6 1 6 2"}, "Error: Duplicate atomic number 6.\n"},
      {{"MAT 6"}, "Error: Element fraction is missing.\n"},
      {{"MAT 6 0"}, "Error: Illegal element fraction \"0\".\n"},
      {{"M1 6 FORCE 1"}, "Error: Illegal element fraction \"FORCE\".\n"},
      {{"M1 6 1 FORCE"}, "Error: Value of the option to apply interaction forcing is missing in the definition of a material.\n"},
      {{"M1 FORCE 0 6 1 FORCE 1"}, "Error: Duplicate specification of the option to apply interaction forcing in a material.\n"},
      {{"MAT 6 1 FORCE 2"}, "Error: Illegal value \"2\" of the option to apply interaction forcing in the material (it must be 0 or 1).\n"},
      {{hundredOne}, "Error: Number of chemical elements exceeds 100.\n"},
  };
  for (const CASE& c : cases) {
    INPUTRUN run = RunLines(c.lines);
    EXPECT_TRUE(FailsWith(run, c.message)) << c.lines.back() << "\n" << run.console;
  }
}

TEST(MaterialDirectives, AllHundredElementsFitTheElementList) {
  std::vector<std::string> lines;
  for (int z = 1; z <= 100; ++z) lines.push_back("M" + std::to_string(z) + " " + std::to_string(z) + " 1");
  ASSERT_EQ(RunLines(lines).code, 0);
  EXPECT_EQ(directives::nElem_tot, 100);
  lines.push_back("M101 1 1 2 1");   // elements already listed: accepted
  ASSERT_EQ(RunLines(lines).code, 0);
}
