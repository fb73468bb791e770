#include "driver/directives/precision_directives.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "core/text.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

namespace directives {
GEOMETRYSETUPOPTIONS geometrySetup;
PLANESET xSet[kMaxPlaneSetsPerAxis], ySet[kMaxPlaneSetsPerAxis], zSet[kMaxPlaneSetsPerAxis];
int32_t nXsets = 1, nYsets = 1, nZsets = 1;
}  // namespace directives

namespace {

// How a value is read.
enum GeometryValueForm : int8_t {
  kLenientForm,  // atof: trailing text ignored
  kIntegerForm,  // base-10 integer, whole token
  kCountForm,    // number, whole token, rounded half up after the range test
  kPlainForm,    // atoi: every value accepted
};

// One directive of a single value: its form, the accepted range, where the
// value goes and the two messages.
struct GEOMETRYVALUERULE {
  const char* keyword;
  GeometryValueForm form;
  double low, high;  // accepted: low <= v (or low < v when lowOpen), v <= high (or v < high when highOpen)
  bool lowOpen, highOpen;
  bool complexOnly;  // fixes the complex geometry; refused in simple geometry
  bool firstPass;    // stored in the first pass and only checked again in the second
  void (*store)(double value);
  const char* missing;
  const char* illegal;  // the value token, then for NTHREADS_GEOM the limit
};

constexpr double kNoUpperLimit = std::numeric_limits<double>::infinity();
constexpr double kCountHigh = 4294967295.5;
constexpr double kCount64High = 9223372036854775808.0;  // 2^63

const GEOMETRYVALUERULE kValueRules[] = {
    {"DISTANCE_PRECISION", kLenientForm, 0.0, kNoUpperLimit, true, true, true, true,
     [](double v) { directives::geometryPrecision.distancePrecision = v; },
     "Error: Distance precision value is missing.\n",
     "Error: Illegal value \"%s\" of the distance precision (it must be positive).\n"},
    {"ANGLE_PRECISION", kLenientForm, 0.0, 1e-5, true, true, true, true,
     [](double v) { directives::geometryPrecision.anglePrecision = v; }, "Error: Angle precision value is missing.\n",
     "Error: Illegal value \"%s\" of the angle precision (it must be positive and less than 1e-5).\n"},
    {"MAXDISTANCE_RATIO", kLenientForm, 1e6, 1e24, false, false, true, true,
     [](double v) { directives::geometryPrecision.maxDistanceRatio = v; },
     "Error: The value of the ratio of the maximum distance and the distance precision is missing.\n",
     "Error: Illegal value \"%s\" of the ratio of the maximum distance and the distance precision (it must be between "
     "1e6 and 1e24).\n"},
    {"CHECK_FOR_INTERSECTIONS", kIntegerForm, 0.0, 3.0, false, false, false, false,
     [](double v) { directives::geometrySetup.checkForIntersections = static_cast<int32_t>(v); },
     "Error: Value of the option for checking of cell intersections is missing.\n",
     "Error: Illegal value \"%s\" of the option for checking of cell intersections (it must be 0, 1, 2 or 3).\n"},
    {"RAND_BLOCK_SIZE", kCountForm, 99.5, kCountHigh, false, true, true, false,
     [](double v) {
       directives::geometrySetup.randBlockSize = static_cast<uint32_t>(RoundCount(v));
       directives::geometrySetup.randBlockSizeGiven = true;
     },
     "Error: The size of a \"block\" of random points for determining the cell volumes is missing.\n",
     "Error: Illegal value \"%s\" of the size of a \"block\" of random points for determining the cell volumes (it "
     "must be at least 100 and less than 2^32 = 4294967296).\n"},
    {"N_RAND_CELL_VOLUME", kCountForm, 99.5, kCountHigh, false, true, true, false,
     [](double v) {
       directives::geometrySetup.nRandCellVolume = static_cast<uint32_t>(RoundCount(v));
       directives::geometrySetup.nRandCellVolumeGiven = true;
     },
     "Error: Number of random points for determining the cell volume is missing.\n",
     "Error: Illegal number \"%s\" of random points for determining the cell volume (it must be at least 100 and less "
     "than 2^32 = 4294967296).\n"},
    {"N_RAND_SOURCE_VOLUME", kCountForm, 9999.5, kCountHigh, false, true, true, false,
     [](double v) {
       directives::geometrySetup.nRandSourceVolume = static_cast<uint32_t>(RoundCount(v));
       directives::geometrySetup.nRandSourceVolumeGiven = true;
     },
     "Error: Number of random points for determining the source volume is missing.\n",
     "Error: Illegal number \"%s\" of random points for determining the source volume (it must be at least 10000 and "
     "less than 2^32 = 4294967296).\n"},
    {"N_RAND_TOTAL_VOLUME", kCountForm, 9999.5, kCount64High, false, true, true, false,
     [](double v) {
       directives::geometrySetup.nRandTotalVolume = RoundCount(v);
       directives::geometrySetup.nRandTotalVolumeGiven = true;
     },
     "Error: Total number of random points for determining the cell volumes is missing.\n",
     "Error: Illegal total number \"%s\" of random points for determining the cell volumes (it must be at least 10000 "
     "and less than 2^63).\n"},
    {"NTHREADS_GEOM", kCountForm, 0.5, kMaxGeometryThreads + 0.5, false, true, true, false,
     [](double v) { directives::geometrySetup.nThreadsGeom = static_cast<int32_t>(RoundCount(v)); },
     "Error: The number of threads for defining the voxel data and calculation of cell volumes is missing.\n",
     "Error: Illegal value \"%s\" of the number of threads for defining the voxel data and calculation of cell volumes "
     "(it must be at least 1 and less than %d).\n"},
    {"OUTPUT_CELL_INTERACTION_STATS", kPlainForm, 0.0, kNoUpperLimit, false, true, true, false,
     [](double v) { directives::geometrySetup.outputCellInteractionStats = v != 0.0 ? 1 : 0; },
     "Error: Cell interaction data output switch value is missing.\n", nullptr},
    {"USE_FREE_MOTION_RADIUS", kIntegerForm, 0.0, 2.0, false, false, true, false,
     [](double v) {
       directives::geometrySetup.useFreeMotionRadius = v != 0.0 ? 1 : 0;
       directives::geometrySetup.storeFreeMotionRadius = v == 2.0 ? 1 : 0;
     },
     "Error: Value of the switch controlling usage of the free-motion radius is missing.\n",
     "Error: Illegal value \"%s\" of the option to use the free-motion radius (should be 0 for not using, 1 for using "
     "but not storing in the banked particles buffer, or 2 for storing).\n"},
};
constexpr int kValueRuleCount = static_cast<int>(sizeof kValueRules / sizeof kValueRules[0]);

bool ReadValue(GeometryValueForm form, const char* token, double* v) {
  int64_t n = 0;
  switch (form) {
    case kLenientForm:
      *v = LenientNumber(token);
      return true;
    case kIntegerForm:
      if (!ReadWholeInteger(token, &n)) return false;
      *v = static_cast<double>(n);
      return true;
    case kCountForm:
      return ReadWholeNumber(token, v);
    case kPlainForm:
      *v = PlainInteger(token);
      return true;
  }
  return false;
}

bool Accepted(const GEOMETRYVALUERULE& r, double v) {
  if (r.illegal == nullptr) return true;
  const bool aboveLow = r.lowOpen ? v > r.low : v >= r.low;
  const bool belowHigh = r.highOpen ? v < r.high : v <= r.high;
  return aboveLow && belowHigh;
}

// Reads and tests the value of the line; prints the messages when report.
bool ReadRuleValue(const GEOMETRYVALUERULE& r, bool report, double* v) {
  const char* token = NextWord();
  if (token == nullptr) {
    if (report) printf("%s", r.missing);
    return false;
  }
  if (ReadValue(r.form, token, v) && Accepted(r, *v)) return true;
  if (report) printf(r.illegal, token, kMaxGeometryThreads + 1);
  return false;
}

// One line of a value directive. The tolerances are stored in the first pass
// (a bad value ends that pass silently, the second reports it); everything
// else is read in the second pass only.
bool HandleValueLine(const GEOMETRYVALUERULE& r) {
  double v = 0.0;
  if (input::inputPass == 0) {
    if (!r.firstPass) {
      SkipRestOfLine();
      return true;
    }
    const bool ok = ReadRuleValue(r, false, &v);
    if (ok) r.store(v);
    SkipRestOfLine();
    return ok;
  }
  if (!ReadRuleValue(r, true, &v)) return false;
  if (!r.firstPass) r.store(v);
  return !r.complexOnly || RequireComplexGeometry(r.keyword);
}

// ---- COORD_X, COORD_Y, COORD_Z ---------------------------------------------------

struct AXISSETS {
  char letter;
  PLANESET* sets;
  int32_t* count;
};

bool ReadPlaneSets(const AXISSETS& axis) {
  if (directives::complexGeometry == 0) {
    printf(
        "Error: Keywords \"COORD_X\", \"COORD_Y\" and \"COORD_Z\" can be used only in complex geometry mode, but the "
        "previous directives imply simple geometry.\n");
    return false;
  }
  directives::complexGeometry = directives::complexGeometry < 0 ? 1 : directives::complexGeometry;
  const char* token = NextWord();
  if (token == nullptr) {
    printf("Error: Missing specification of a %c coordinate plane set.\n", axis.letter);
    return false;
  }
  // The words alternate: the start of a set, then its number of planes.
  bool startPending = false;
  for (; token != nullptr; token = NextWord()) {
    double v = 0.0;
    if (startPending) {
      if (!ReadWholeNumber(token, &v) || !(v > 0.5 && v < kMaxPlanesPerSet)) {
        printf("Error: Invalid number of coordinate planes \"%s\".\n", token);
        return false;
      }
      axis.sets[(*axis.count)++].nPlanes = static_cast<int32_t>(RoundCount(v));
      startPending = false;
      continue;
    }
    if (!ReadWholeNumber(token, &v)) {
      printf("Error: Invalid starting coordinate value \"%s\".\n", token);
      return false;
    }
    if (*axis.count >= kMaxPlaneSetsPerAxis) {
      printf("Error: Number of %c coordinate plane sets is greater than %d.\n", axis.letter, kMaxPlaneSetsPerAxis);
      return false;
    }
    axis.sets[*axis.count] = PLANESET{v, 0.0, 0, 1};
    startPending = true;
  }
  if (startPending) ++*axis.count;  // a start alone: one plane
  return true;
}

const char* const kCoordKeywords[3] = {"COORD_X", "COORD_Y", "COORD_Z"};

int AxisOf(const char* word) {
  for (int a = 0; a < 3; ++a) {
    if (EqualNoCase(word, kCoordKeywords[a])) return a;
  }
  return -1;
}

}  // namespace

bool HandlePrecisionDirective(const char* word) {
  const int axis = AxisOf(word);
  if (axis >= 0) {
    input::lastKeyword = -1;
    if (input::inputPass == 0) {
      SkipRestOfLine();
      input::lineDone = true;
      return true;
    }
    const AXISSETS sets[3] = {{'X', directives::xSet, &directives::nXsets},
                              {'Y', directives::ySet, &directives::nYsets},
                              {'Z', directives::zSet, &directives::nZsets}};
    input::lineDone = ReadPlaneSets(sets[axis]);
    return true;
  }
  for (int i = 0; i < kValueRuleCount; ++i) {
    if (!EqualNoCase(word, kValueRules[i].keyword)) continue;
    input::lastKeyword = kPrecisionKeywordBase + i;
    input::lineDone = HandleValueLine(kValueRules[i]);
    return true;
  }
  return false;
}

void ListPrecisionDirectives(KEYWORDNAMES* names) {
  for (const GEOMETRYVALUERULE& r : kValueRules) AddKeywordName(names, r.keyword);
  for (const char* keyword : kCoordKeywords) AddKeywordName(names, keyword);
}

void ResetPrecisionDirectives() {
  directives::geometrySetup = GEOMETRYSETUPOPTIONS{};
  std::memset(directives::xSet, 0, sizeof directives::xSet);
  std::memset(directives::ySet, 0, sizeof directives::ySet);
  std::memset(directives::zSet, 0, sizeof directives::zSet);
  directives::nXsets = directives::nYsets = directives::nZsets = 1;
}
