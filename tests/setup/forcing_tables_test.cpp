// The interaction-forcing tables of the Constants record, as the driver fills
// them and the electron transport reads them.
#include <gtest/gtest.h>

#include "core/constants.h"
#include "driver/setup/constants_fill.h"
#include "transport/electron_step.h"

namespace {

// The forcing tables of the Constants record: the names of the exclusion
// warning, and groups that the exclusion loop can step over, each a run of
// consecutive section types as long as its size (L1-L3, M1-M5 together).
TEST(ForcingTables, EachGroupIsARunOfConsecutiveSectionTypesWithItsName) {
  Constants k{};
  FillForcingTables(k);
  const char* const names[kForcedGroups] = {
      "Elastic scattering",        "Bremsstrahlung",           "Excitation", "K-shell impact ionization",
      "L-shell impact ionization", "M-shell impact ionization"};
  int type = 0;
  for (int g = 0; g < kForcedGroups; ++g) {
    EXPECT_STREQ(electron_step::ForcedGroupName(k, g), names[g]);
    ASSERT_GE(k.nForced0[g], 1);
    for (int i = 0; i < k.nForced0[g]; ++i, ++type) {
      ASSERT_LT(type, kElectronSectionTypes);
      EXPECT_EQ(electron_step::ForcedGroup(k, type), g) << type;
      EXPECT_EQ(electron_step::ForcedGroupSize(k, type), k.nForced0[g]) << type;
    }
  }
  EXPECT_EQ(type, kElectronSectionTypes);
  // A type outside the table counts as a K shell, alone.
  for (int outside : {-1, kElectronSectionTypes}) {
    EXPECT_EQ(electron_step::ForcedGroup(k, outside), 3);
    EXPECT_EQ(electron_step::ForcedGroupSize(k, outside), 1);
  }
}

}  // namespace
