// The ENDF/B-VII path of the element loader on a small hand-written element
// (classic numbers, INT 5 photon tables, two-range tables, elastic data in
// MF 26 / MT 526), and every message of a broken file with its exit code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "core/elem.h"
#include "driver/data/element_loader.h"
#include "tests/support/endf_fixture.h"
#include "tests/support/test_paths.h"

namespace {

struct LOADED {
  int code = 0;
  std::string printed;        // console output but the warnings on wide elastic grids
  std::string gridWarnings;   // those warnings
  std::string folder;
  std::unique_ptr<ElemStaging> elem{new ElemStaging()};
  ~LOADED() { FreeElementTables(elem.get()); }
};

ELEMENTLOADOPTIONS ViiOptions(const std::string& folder) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = folder;
  options.elasticDpw = 0;    // the ENDF elastic data with the last-cosine check
  options.incohDoppler = 0;  // no Compton profiles
  return options;
}

void Load(const ENDFVIIELEMENT& files, LOADED* out) {
  out->folder = MakeScratchFolder("endf_vii");
  ASSERT_TRUE(WriteEndfViiElement(out->folder, files));
  testing::internal::CaptureStdout();
  out->code = LoadElement(3, ViiOptions(out->folder), out->elem.get());
  const std::string console = testing::internal::GetCapturedStdout();
  // The fixture tabulates its elastic distributions at two energies only.
  size_t start = 0;
  while (start < console.size()) {
    const size_t end = std::min(console.find('\n', start), console.size() - 1);
    const std::string line = console.substr(start, end + 1 - start);
    (line.rfind("Warning: The elastic angular distributions of", 0) == 0 ? out->gridWarnings : out->printed) += line;
    start = end + 1;
  }
}

// Removes `count` lines of section (mf, mt) from line `row` on (1 = head).
void DropLines(std::string& text, int mf, int mt, int row, int count) {
  char tag[8];
  std::snprintf(tag, sizeof tag, "%2d%3d", mf, mt);
  size_t start = 0;
  int seen = 0;
  while (start < text.size() && count > 0) {
    const size_t end = text.find('\n', start);
    if (text.compare(start + 70, 5, tag) == 0 && ++seen >= row) {
      text.erase(start, end + 1 - start);
      --count;
      continue;
    }
    start = end + 1;
  }
}

TEST(EndfVii, SmallElementLoadsWithTheSeventhGenerationRules) {
  LOADED l;
  Load(MakeEndfViiElement(), &l);
  ASSERT_EQ(l.code, 0) << l.printed;
  EXPECT_NE(l.gridWarnings.find("of Li (Z = 3) are tabulated at 10 eV and 1e+11 eV"), std::string::npos)
      << l.gridWarnings;
  const ElemStaging& e = *l.elem;
  // Electro-atomic: MT 526 is the elastic section; classic numbers read.
  EXPECT_EQ(e.nSections, 5);
  EXPECT_EQ(e.nSubshells, 2);
  EXPECT_EQ(e.sectionN[0], 5);
  EXPECT_DOUBLE_EQ(e.sectionCs[0][0], 1e6);
  EXPECT_DOUBLE_EQ(e.sectionEnergy[3][0], kViiBindingK);
  EXPECT_EQ(e.ionDesignator[0], 1);
  EXPECT_EQ(e.ionDesignator[1], 2);
  ASSERT_EQ(e.elasticNE, 2);
  for (int i = 0; i < e.elasticNE; ++i) {
    // Small-angle mode 0 continues each distribution to cosine 1.
    EXPECT_EQ(e.elasticCos[i][e.elasticN[i] - 1], 1.0);
    EXPECT_EQ(e.elasticCum[i][e.elasticN[i] - 1], 1.0);
  }
  EXPECT_EQ(e.excLossN, 5);
  EXPECT_EQ(e.ionSpecNE[0], 2);
  EXPECT_EQ(e.ionSpecCum[1][1][e.ionSpecN[1][1] - 1], 1.0);
  // Photo-atomic: INT 5 tables keep their points (no lin-lin refinement) and
  // get log-log exponents; two-range tables are lin-lin on the first interval.
  EXPECT_EQ(e.cohN, 8);
  EXPECT_NEAR(e.cohSlope[0], -1.5, 1e-6);
  ASSERT_EQ(e.ppN, 4);
  EXPECT_NEAR(e.ppSlope[0], 1e-4 / (1.5e6 - 1.022e6), 1e-15);
  EXPECT_NEAR(e.ppSlope[1], std::log(1e-2 / 1e-4) / std::log(1e7 / 1.5e6), 1e-6);
  EXPECT_NEAR(e.ffSlope[0], 0.0, 1e-12);
  EXPECT_NEAR(e.ffSlope[1], std::log(1.0 / 3.0) / std::log(1.0 / 1e-3), 1e-6);
  EXPECT_EQ(e.photoionN[0], 6);
  EXPECT_DOUBLE_EQ(e.photoionEnergy[1][0], kViiBindingL1);
  EXPECT_EQ(e.anomRealN, 2);
  // Relaxation: tabulated transition energies kept, probabilities normalised.
  EXPECT_EQ(e.subshellDesignator[0], 1);
  EXPECT_DOUBLE_EQ(e.bindingEnergy[1], kViiBindingK);
  ASSERT_EQ(e.nTransitions[1], 2);
  EXPECT_NEAR(e.transEnergy[1][0], kViiBindingK - kViiBindingL1, 1e-9);
  EXPECT_NEAR(e.transProb[1][0], kViiKRadiativeProb, 1e-12);
  EXPECT_EQ(e.transCum[1][1], 1.0);
  EXPECT_EQ(e.nTransitions[2], 0);
  EXPECT_EQ(e.cumOccupancy[1], 1.0);
}

TEST(EndfVii, TransitionEnergyWithinOnePartIn1e5Passes) {
  ENDFVIIELEMENT files = MakeEndfViiElement();
  const double tabulated = (kViiBindingK - kViiBindingL1) * (1.0 + 0.8e-5);
  ASSERT_TRUE(SetEndfField(files.relaxation, 28, 533, 4, 3, EndfNumberField(tabulated)));
  LOADED l;
  Load(files, &l);
  EXPECT_EQ(l.code, 0) << l.printed;
}

const char* const kLinLin =
    "\nWrong interpolation law (only lin-lin interpolation is implemented for all electron interactions).\n";
const char* const kOneRange =
    "\nWrong number of interpolation ranges (only one interpolation range is implemented for all tables except "
    "scattering form factors and pair production cross sections).\n";

std::string WrongFormat(int code) {
  return "Wrong format of the ENDF input file (code = " + std::to_string(code) + ").\n";
}

std::string TwoRangeMessage(int which, const std::string& table) {
  if (which == 0)
    return "\nWrong interpolation law in the first interpolation range specified for the " + table +
           " table (should be lin-lin).\n";
  if (which == 1)
    return "\nWrong interpolation law in the second interpolation range specified for the " + table +
           " table (should be log-log).\n";
  return "\nWrong number of interpolation ranges (only two interpolation ranges are implemented for the " + table +
         " table).\n";
}

struct BROKENCASE {
  const char* what;
  std::function<void(ENDFVIIELEMENT&)> breakIt;
  std::string message;  // exact console output; empty: the missing-file message
};

TEST(EndfVii, EveryBrokenRuleStopsWithItsMessageAndCodeOne) {
  const auto field = [](std::string ENDFVIIELEMENT::*file, int mf, int mt, int row, int f, std::string v) {
    return [=](ENDFVIIELEMENT& x) { ASSERT_TRUE(SetEndfField(x.*file, mf, mt, row, f, v)); };
  };
  const auto el = &ENDFVIIELEMENT::electrons;
  const auto ph = &ENDFVIIELEMENT::photons;
  const auto rx = &ENDFVIIELEMENT::relaxation;
  const std::string ff = "coherent scattering form factors";
  const std::string sf = "incoherent scattering form factor";
  const std::string pp = "pair production cross sections";
  const BROKENCASE cases[] = {
      // Electro-atomic file.
      {"brems cross section log-log", field(el, 23, 527, 3, 2, "5"), kLinLin},
      {"brems cross section two ranges", field(el, 23, 527, 3, 3, "3"), kOneRange},
      {"section of 1001 points", field(el, 23, 528, 3, 1, "1001"), WrongFormat(23528)},
      {"elastic count line law", field(el, 26, 526, 5, 2, "3"), WrongFormat(26526)},
      {"elastic 101 energies", field(el, 26, 526, 5, 1, "101"), WrongFormat(26526)},
      {"last elastic cosine 0.99999", field(el, 26, 526, 8, 1, EndfNumberField(0.99999)),
       "\nError: The last value of the scattering angle cosine for Li (Z = 3) at E = 10 eV is not equal to "
       "0.999999.\n"},
      {"excitation loss off the grid", field(el, 26, 528, 7, 3, EndfNumberField(1001.0)), WrongFormat(26528)},
      {"excitation loss log-log", field(el, 26, 528, 6, 2, "5"), kLinLin},
      {"knock-on spectrum of 161 points", field(el, 26, 534, 7, 6, "161"), WrongFormat(26534)},
      {"brems spectra of 11 energies", field(el, 26, 527, 6, 1, "11"), WrongFormat(26527)},
      // Relaxation file.
      // The subshell count is checked at the end line, whose code is 0.
      {"relaxation with a subshell fewer", [](ENDFVIIELEMENT& x) { DropLines(x.relaxation, 28, 533, 6, 2); },
       WrongFormat(0)},
      {"designator of 40", field(rx, 28, 533, 6, 1, EndfNumberField(40.0)), WrongFormat(28533)},
      {"ionized subshell unknown to relaxation", field(rx, 28, 533, 6, 1, EndfNumberField(3.0)),
       WrongFormat(28533)},
      {"transition energy off by 2e-5",
       field(rx, 28, 533, 4, 3, EndfNumberField((kViiBindingK - kViiBindingL1) * (1.0 + 2e-5))),
       "\nIncorrect transition energy found.\n"},
      // Photo-atomic file.
      {"coherent lin-lin", field(ph, 23, 502, 3, 2, "2"),
       "\nWrong interpolation law (only log-log interpolation is implemented for coherent scattering).\n"},
      {"coherent two ranges", field(ph, 23, 502, 3, 3, "4"), kOneRange},
      {"coherent of 3001 points", field(ph, 23, 502, 3, 1, "3001"), WrongFormat(23502)},
      {"incoherent lin-lin", field(ph, 23, 504, 3, 2, "2"),
       "\nWrong interpolation law (only log-log interpolation is implemented for incoherent scattering).\n"},
      {"incoherent of 1001 points", field(ph, 23, 504, 3, 1, "1001"), WrongFormat(23504)},
      {"photoionization lin-lin", field(ph, 23, 535, 3, 2, "2"),
       "\nWrong interpolation law (only log-log interpolation is implemented for photoionization).\n"},
      {"photoionization section missing", [](ENDFVIIELEMENT& x) { DropLines(x.photons, 23, 535, 1, 6); },
       WrongFormat(27502)},
      {"pair first range to point 3", field(ph, 23, 516, 3, 1, "3"), TwoRangeMessage(0, pp)},
      {"pair first range log-log", field(ph, 23, 516, 3, 2, "5"), TwoRangeMessage(0, pp)},
      {"pair second range lin-lin", field(ph, 23, 516, 3, 4, "2"), TwoRangeMessage(1, pp)},
      {"pair third range", field(ph, 23, 516, 3, 5, "4"), TwoRangeMessage(2, pp)},
      {"form factor first range", field(ph, 27, 502, 3, 1, "3"), TwoRangeMessage(0, ff)},
      {"form factor second range", field(ph, 27, 502, 3, 4, "2"), TwoRangeMessage(1, ff)},
      {"form factor third range", field(ph, 27, 502, 3, 5, "4"), TwoRangeMessage(2, ff)},
      {"scattering function first range", field(ph, 27, 504, 3, 2, "5"), TwoRangeMessage(0, sf)},
      {"scattering function second range", field(ph, 27, 504, 3, 4, "2"), TwoRangeMessage(1, sf)},
      {"scattering function third range", field(ph, 27, 504, 3, 5, "4"), TwoRangeMessage(2, sf)},
      {"anomalous factor log-log", field(ph, 27, 505, 3, 2, "5"),
       "\nWrong interpolation law (only lin-lin interpolation is implemented for anomalous form factors).\n"},
      {"anomalous factor two ranges", field(ph, 27, 506, 3, 3, "1"), kOneRange},
  };
  for (const BROKENCASE& c : cases) {
    ENDFVIIELEMENT files = MakeEndfViiElement();
    c.breakIt(files);
    LOADED l;
    Load(files, &l);
    EXPECT_EQ(l.code, 1) << c.what;
    EXPECT_EQ(l.printed, c.message) << c.what;
  }
}

TEST(EndfVii, EachMissingFileIsNamed) {
  for (const char* which : {"electrons/e-003_Li_000.endf", "photoat/photoat-003_Li_000.endf",
                            "atomic_relax/atom-003_Li_000.endf"}) {
    ENDFVIIELEMENT files = MakeEndfViiElement();
    if (which[0] == 'e') files.electrons.clear();
    if (which[0] == 'p') files.photons.clear();
    if (which[0] == 'a') files.relaxation.clear();
    LOADED l;
    Load(files, &l);
    EXPECT_EQ(l.code, 1) << which;
    EXPECT_EQ(l.printed, "\nFile " + l.folder + which +
                             " could not be opened for reading (see the Trenqual user manual for the links to the "
                             "ZIP files with the complete set of ENDF/B electroatomic, photoatomic and atomic "
                             "relaxation data).\n");
  }
}

}  // namespace
