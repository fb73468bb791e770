#include "driver/directives/tally_directives.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/run_directives.h"
#include "driver/directives/value_directives.h"
#include "driver/directives/word_list.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"
#include "driver/results/tally_limits.h"

namespace directives {
TALLYRANGE rangeData[kQuantityCount][kMaxRangesPerQuantity];
int32_t nRanges[kQuantityCount];
PLANETALLY tallyData[kTallyClassCount][kMaxPlaneTalliesPerClass];
int32_t nPlaneTalliesTot[kTallyClassCount];
TALLYLAYOUT tallyLayout[kTallyClassCount];
CONTROLTALLY planeControlTallies[kTallyClassCount][kMaxPlaneTalliesPerClass];
int32_t nPlaneControlTallies[kTallyClassCount];
int32_t nControlTallies = 0;
bool targetErrorGiven = false;
TALLYOPTIONS tallyOptions;

const char* const kQuantityKeyword[kQuantityCount] = {"E", "THETA", "MU", "R", "PHI", "X", "Y"};
const char* const kQuantityWord[kQuantityCount] = {"energy range",    "theta range", "cos(theta) range", "radial range",
                                                   "azimuthal range", "X range",     "Y range"};
}  // namespace directives

namespace {

const char* const kClassPrefix[kTallyClassCount] = {"ETALLY", "PTALLY", "TALLY"};

// ---- Binning ranges ----------------------------------------------------------------

// The stored name of a range keyword: the keyword as written, or the quantity
// keyword followed by its number; false when the number is not canonical.
bool RangeName(const char* word, int q, std::string* name) {
  const size_t length = std::strlen(directives::kQuantityKeyword[q]);
  if (word[length] == '\0') {
    *name = word;
    return true;
  }
  int32_t n = 0;
  if (!ReadKeywordNumber(word + length, &n)) return false;
  *name = std::string(directives::kQuantityKeyword[q]) + std::to_string(n);
  return EqualNoCase(*name, word);
}

bool SameRangeName(const char* a, const char* b) { return EqualNoCase(std::string(a), std::string(b)); }

// Reads the three values of a range: lower, upper (numbers) and bins (integer).
bool ReadRangeValues(const std::string& description, double* lower, double* upper, int64_t* bins) {
  for (int i = 0; i < 3; ++i) {
    const char* token = TakeWord();
    if (token == nullptr) {
      printf("Error: Number of entries in specification of %s is less than 3.\n", description.c_str());
      return false;
    }
    const bool formed = i < 2 ? ReadWholeNumber(token, i == 0 ? lower : upper) : ReadWholeInteger(token, bins);
    if (!formed) {
      printf("Error: Invalid number \"%s\" in specification of %s.\n", token, description.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

Status ParseBinningKeyword(const char* word, int q) {
  ForgetLookAhead();
  std::string name;
  if (!RangeName(word, q, &name) || name.size() >= kRangeNameSize) {
    printf(
        "Error in specification of the %s \"%s\" (the first keyword format must be either \"%s\" or \"%s<n>\", where "
        "\"<n>\" is a positive integer number less than 2^31 = 2147483648.\n",
        directives::kQuantityWord[q], word, directives::kQuantityKeyword[q], directives::kQuantityKeyword[q]);
    return kInputError;
  }
  const std::string description = std::string("the ") + directives::kQuantityWord[q] + " \"" + name + "\"";
  for (int i = 0; i < directives::nRanges[q]; ++i) {
    if (SameRangeName(directives::rangeData[q][i].name, name.c_str())) {
      printf("Error: Duplicate specification of %s.\n", description.c_str());
      return kInputError;
    }
  }
  double lower = 0.0, upper = 0.0;
  int64_t bins = 0;
  if (!ReadRangeValues(description, &lower, &upper, &bins)) return kInputError;
  if (CheckTallyLimits(q, lower, upper, description.c_str()) != 0) return kInputError;
  if (bins < 1 || bins > kMaxRangeBins) {
    printf("Error: Invalid number of %s bins (that number must be greater than 0 and less than %d).\n",
           description.c_str(), kMaxRangeBins + 1);
    return kInputError;
  }
  if (directives::nRanges[q] >= kMaxRangesPerQuantity) {
    printf("Error: The number of %ss is greater than %d.\n", directives::kQuantityWord[q], kMaxRangesPerQuantity);
    return kInputError;
  }
  TALLYRANGE& range = directives::rangeData[q][directives::nRanges[q]++];
  range = TALLYRANGE{};
  std::strncpy(range.name, name.c_str(), kRangeNameSize - 1);
  range.bins = static_cast<int32_t>(bins);
  range.lower = lower;
  range.upper = upper;
  range.invWidth = static_cast<double>(bins) / (upper - lower);
  return kOk;
}

bool ParseOriginList(const char* value, uint8_t* orgEnabled) {
  const char* p = value;
  const bool exclude = *p == '-';
  if (exclude) ++p;
  bool listed[kOriginTypeCount] = {};
  for (;;) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    int v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p)) && v < kOriginTypeCount) v = 10 * v + (*p++ - '0');
    if (v >= kOriginTypeCount || std::isdigit(static_cast<unsigned char>(*p))) return false;
    listed[v] = true;
    if (*p == '\0') break;
    if (*p++ != ',') return false;
  }
  for (int i = 0; i < kOriginTypeCount; ++i) orgEnabled[i] = static_cast<uint8_t>(listed[i] != exclude);
  return true;
}

const TALLYRANGE* FindRange(const char* name, int* quantity, int* index) {
  for (int q = 0; q < kQuantityCount; ++q) {
    for (int i = 0; i < directives::nRanges[q]; ++i) {
      if (SameRangeName(directives::rangeData[q][i].name, name)) {
        *quantity = q;
        *index = i;
        return &directives::rangeData[q][i];
      }
    }
  }
  return nullptr;
}

namespace {

// ---- Plane tallies -----------------------------------------------------------------

// Items of a plane-tally line that take a value, in the order of their
// incomplete-line messages.
enum PlaneItem { kItemLim, kItemError, kItemOutput, kItemInterval, kItemOrg, kItemEFlux, kItemCount };

// One plane-tally line being read.
struct PLANETALLYINPUT {
  int tallyClass = 0;
  std::string name;  // ETALLY5, TALLY ...
  PLANETALLY rec{};
  WORDLIST words;
  size_t pos = 0;  // next word
  bool given[kItemCount] = {};
  int targetKind = kNoTarget;
  double target = 0.0;
  int outputValue = -1;  // OUTPUT value, -1 not given
  bool usesQuantity[kQuantityCount] = {};
};

const char* Next(PLANETALLYINPUT* t) { return t->pos < t->words.size() ? t->words[t->pos++].c_str() : nullptr; }
bool AtEnd(const PLANETALLYINPUT& t) { return t.pos >= t.words.size(); }

bool PrintTooSmall(const PLANETALLYINPUT& t) {
  printf("Error: Number of entries in specification of tallies \"%s\" is too small.\n", t.name.c_str());
  return false;
}

bool ReadTallyNumber(const char* word, int prefixLength, PLANETALLYINPUT* t) {
  int32_t number = 0;
  if (word[prefixLength] != '\0' && !ReadKeywordNumber(word + prefixLength, &number)) {
    printf(
        "Error in specification of the tallies \"%s\" (the first keyword format must be one of the following: "
        "\"TALLY\", \"TALLY<n>\", \"ETALLY\", \"ETALLY<n>\", \"PTALLY\" or \"PTALLY<n>\", where \"<n>\" is a positive "
        "integer number less than 2^31 = 2147483648.\n",
        word);
    return false;
  }
  t->rec.number = number;
  t->name = kClassPrefix[t->tallyClass];
  if (number != 0) t->name += std::to_string(number);
  for (int i = 0; i < directives::nPlaneTalliesTot[t->tallyClass]; ++i) {
    if (directives::tallyData[t->tallyClass][i].number == number) {
      printf("Error: duplicate specification of the tallies \"%s\".\n", t->name.c_str());
      return false;
    }
  }
  if (directives::nPlaneTalliesTot[t->tallyClass] >= kMaxPlaneTalliesPerClass) {
    static const char* const kClassWords[kTallyClassCount] = {"electron", "photon", "mixed (electron-photon)"};
    printf("Error: The number of %s plane tallies is greater than %d.\n", kClassWords[t->tallyClass],
           kMaxPlaneTalliesPerClass);
    return false;
  }
  return true;
}

// The point and normal of the plane S<id>: a plain surface that is a plane.
bool CopyPlaneSurface(const char* idText, int32_t id, char letter, PLANETALLYINPUT* t) {
  const int32_t s = FindPlainSurface(id);
  if (s < 0 && FindMacrobody(id) < 0) {
    printf("Error: Undefined surface identifier \"%s\" appended to '%c' in specification of the tallies \"%s\".\n",
           idText, letter, t->name.c_str());
    return false;
  }
  if (s < 0 || directives::geometry.surf[static_cast<size_t>(s)].type != kSurfacePlane) {
    printf("Error: Surface No. %d indicated after '%c' in specification of the tallies \"%s\" is not a plane.\n", id,
           letter, t->name.c_str());
    return false;
  }
  t->rec.refPoint = directives::geometry.surf[static_cast<size_t>(s)].point;
  t->rec.normal = directives::geometry.surf[static_cast<size_t>(s)].axis;
  return true;
}

bool ReadSurfacePlane(const char* token, PLANETALLYINPUT* t) {
  const bool reversed = token[0] == '-';
  const char letter = token[reversed ? 1 : 0];
  const char* idText = token + (reversed ? 2 : 1);
  if (*idText == '\0') {
    printf("Error: A plane identifier is not appended to '%c' in specification of the tallies \"%s\".\n", letter,
           t->name.c_str());
    return false;
  }
  int64_t id = 0;
  if (!ReadWholeInteger(idText, &id) || id < 1 || id > INT32_MAX) {
    printf("Error: Invalid surface identifier \"%s\" appended to '%c' in specification of the tallies \"%s\".\n",
           idText, letter, t->name.c_str());
    return false;
  }
  if (!CopyPlaneSurface(idText, static_cast<int32_t>(id), letter, t)) return false;
  if (reversed) t->rec.normal = -t->rec.normal;
  return true;
}

bool ReadNumericPlane(const char* first, PLANETALLYINPUT* t) {
  double v[6];
  const char* token = first;
  for (int i = 0; i < 6; ++i) {
    if (token == nullptr) {
      PrintTooSmall(*t);
      return false;
    }
    if (!ReadExactNumber(token, &v[i])) {
      printf("Error: Invalid number \"%s\" in specification of the plane used for tallies \"%s\".\n", token,
             t->name.c_str());
      return false;
    }
    if (i < 5) token = Next(t);
  }
  t->rec.refPoint = Init(v[0], v[1], v[2]);
  t->rec.normal = Init(v[3], v[4], v[5]);
  return true;
}

bool IsSurfaceToken(const char* token) {
  const char* p = token[0] == '-' ? token + 1 : token;
  return *p == 'S' || *p == 's';
}

// Unit normal and in-plane axis: the axis is the frame vector u of the normal.
bool SetNormalAndAxis(PLANETALLYINPUT* t) {
  VECTOR& n = t->rec.normal;
  if (n.y == 0.0 && n.z == 0.0) {
    if (n.x == 0.0) {
      printf(
          "Error in values of components of the normal vector of the plane used for tallies \"%s\" (at least one of "
          "them must be non-zero).\n",
          t->name.c_str());
      return false;
    }
    const double sign = n.x > 0.0 ? 1.0 : -1.0;
    n = Init(sign, 0.0, 0.0);
    t->rec.axisX = Init(0.0, sign, 0.0);
  } else {
    n /= Norm(n);
    if (n.x == 0.0) {
      t->rec.axisX = Init(1.0, 0.0, 0.0);
    } else {
      VECTOR axis = Init(n.x - 1.0 / n.x, n.y, n.z);
      t->rec.axisX = axis / Norm(axis);
    }
  }
  t->rec.offset = -Dot(n, t->rec.refPoint);
  return true;
}

bool ReadPlane(PLANETALLYINPUT* t) {
  const char* token = Next(t);
  if (token == nullptr) {
    return PrintTooSmall(*t);
  }
  const bool ok = IsSurfaceToken(token) ? ReadSurfacePlane(token, t) : ReadNumericPlane(token, t);
  if (!ok || !SetNormalAndAxis(t)) return false;
  if (AtEnd(*t)) {
    return PrintTooSmall(*t);
  }
  return true;
}

// Stacked planes: a plane count and the interplane distance, when the next
// word is an integer.
bool ReadStack(PLANETALLYINPUT* t) {
  t->rec.nParallel = 1;
  t->rec.spacing = 0.0;
  int64_t count = 0;
  if (!ReadWholeInteger(t->words[t->pos].c_str(), &count)) return true;
  ++t->pos;
  if (count < 1 || count > kMaxStackedPlanes) {
    const long long shown = count < INT_MIN ? INT_MIN : count > INT_MAX ? INT_MAX : count;
    printf(
        "Error: Illegal value %d of the number of stacked planes in specification of tallies \"%s\" (it must be from 1 "
        "to %d).\n",
        static_cast<int>(shown), t->name.c_str(), kMaxStackedPlanes);
    return false;
  }
  const char* token = Next(t);
  if (token == nullptr) {
    return PrintTooSmall(*t);
  }
  double spacing = 0.0;
  if (!ReadExactNumber(token, &spacing)) {
    printf("Error: Invalid number \"%s\" in specification of the interplane distance used for tallies \"%s\".\n", token,
           t->name.c_str());
    return false;
  }
  if (!(spacing > 0.0)) {
    printf(
        "Error: Illegal value %g of the distance between stacked planes in specification of tallies \"%s\" (it must be "
        "positive).\n",
        spacing, t->name.c_str());
    return false;
  }
  if (AtEnd(*t)) {
    return PrintTooSmall(*t);
  }
  t->rec.nParallel = static_cast<int32_t>(count);
  t->rec.spacing = spacing;
  return true;
}

// ---- Items -------------------------------------------------------------------------

int QuantityOfKeyword(const char* word) {
  for (int q = 0; q < kQuantityCount; ++q) {
    if (EqualNoCase(word, directives::kQuantityKeyword[q])) return q;
  }
  return -1;
}

bool ReadLim(PLANETALLYINPUT* t, const char** values) {
  const int q = QuantityOfKeyword(values[0]);
  if (q < 0) {
    printf("Error: Incorrect symbol of the limited quantity \"%s\" in specification of tallies \"%s\".\n", values[0],
           t->name.c_str());
    return false;
  }
  const bool thetaWithMu =
      (q == kQuantityTheta && t->rec.limOn[kQuantityMu]) || (q == kQuantityMu && t->rec.limOn[kQuantityTheta]);
  if (t->rec.limOn[q] || thetaWithMu) {
    printf("Error: Duplicate bounds of %s in specification of tallies \"%s\".\n", directives::kQuantityKeyword[q],
           t->name.c_str());
    return false;
  }
  double bound[2];
  for (int i = 0; i < 2; ++i) {
    if (!ReadExactNumber(values[1 + i], &bound[i])) {
      printf("Error: Illegal %s bound \"%s\" of %s in specification of tallies \"%s\".\n", i == 0 ? "lower" : "upper",
             values[1 + i], directives::kQuantityKeyword[q], t->name.c_str());
      return false;
    }
  }
  if (CheckTallyLimits(q, bound[0], bound[1], directives::kQuantityKeyword[q]) != 0) return false;
  t->rec.limLow[q] = bound[0];
  t->rec.limHigh[q] = bound[1];
  t->rec.limOn[q] = 1;
  t->usesQuantity[q] = true;
  return true;
}

bool ReadTargetError(PLANETALLYINPUT* t, int kind, const char* value) {
  double v = 0.0;
  if (!ReadExactNumber(value, &v) || !(v > 0.0 && v < 1.0)) {
    printf(
        "Error: Illegal value of the relative standard deviation \"%s\" in specification of tallies \"%s\" (it must be "
        "greater than 0 and less than 1).\n",
        value, t->name.c_str());
    return false;
  }
  t->targetKind = kind;
  t->target = v;
  directives::targetErrorGiven = true;
  return true;
}

// 0 or 1, whole token.
bool ReadZeroOrOne(const char* value, int* result) {
  int64_t v = 0;
  if (!ReadWholeInteger(value, &v) || (v != 0 && v != 1)) return false;
  *result = static_cast<int>(v);
  return true;
}

bool ReadOriginList(PLANETALLYINPUT* t, const char* value) {
  if (ParseOriginList(value, t->rec.orgEnabled)) return true;
  printf(
      "Error: Illegal definition of the set of particle origin types \"%s\" in specification of tallies \"%s\" (the "
      "values of origin types must be comma-delimited integer numbers from 0 to %d, optionally with the minus sign "
      "before the first number).\n",
      value, t->name.c_str(), kOriginTypeCount - 1);
  return false;
}

// The value item waiting at keyword, read from values; false after its message.
bool ReadValueItem(PLANETALLYINPUT* t, int item, int errorKind, const char** values) {
  const char* value = values[0];
  int v = 0;
  switch (item) {
    case kItemLim:
      return ReadLim(t, values);
    case kItemError:
      return ReadTargetError(t, errorKind, value);
    case kItemOutput:
      if (!ReadZeroOrOne(value, &v)) {
        printf(
            "Error: Illegal value \"%s\" of the option to write the tally data to a file during the simulation in "
            "specification of tallies \"%s\" (it must be 0 or 1).\n",
            value, t->name.c_str());
        return false;
      }
      t->outputValue = v;
      return true;
    case kItemInterval: {
      double seconds = 0.0;
      if (!ReadExactNumber(value, &seconds) || !(seconds >= 1.0)) {
        printf(
            "Error: Illegal value \"%s\" of the time interval of writing the tally data to a file during the "
            "simulation in specification of tallies \"%s\" (it cannot be less than 1 s).\n",
            value, t->name.c_str());
        return false;
      }
      t->rec.outputInterval = seconds;
      return true;
    }
    case kItemOrg:
      return ReadOriginList(t, value);
    case kItemEFlux:
      if (!ReadZeroOrOne(value, &v)) {
        printf(
            "Error: Illegal value of the option to calculate the energy flux tally \"%s\" in specification of tallies "
            "\"%s\" (it must be 0 or 1).\n",
            value, t->name.c_str());
        return false;
      }
      t->rec.eFlux = static_cast<uint8_t>(v);
      return true;
  }
  return false;
}

bool PrintIncomplete(const PLANETALLYINPUT& t, int item) {
  static const char* const kIncomplete[kItemCount] = {
      "Error: Specification of the limits in \"%s\" is incomplete.\n",
      "Error: Specification of the relative standard deviation in \"%s\" is incomplete.\n",
      "Error: Value of the option to write the tally data to a file during the simulation is missing in \"%s\".\n",
      ("Error: Value of the time interval of writing the tally data to a file during the simulation is missing in "
       "\"%s\".\n"),
      "Error: Specification of the particle types to be included in the set of plane tallies \"%s\" is incomplete.\n",
      "Error: Specification of the option to calculate the energy flux tally in \"%s\" is incomplete.\n"};
  printf(kIncomplete[item], t.name.c_str());
  return false;
}

bool PrintDuplicateItem(const PLANETALLYINPUT& t, int item) {
  static const char* const kDuplicate[kItemCount] = {
      nullptr,
      "Error: Duplicate specification of the relative standard deviation in \"%s\".\n",
      "Error: Duplicate specification of the option to write the tally data to a file during the simulation in "
      "\"%s\".\n",
      "Error: Duplicate specification of the time interval of writing the tally data to a file during the simulation "
      "in \"%s\".\n",
      "Error: Duplicate specification of the particle origin type in \"%s\".\n",
      "Error: Duplicate specification of the option to calculate the energy flux tally in \"%s\".\n"};
  printf(kDuplicate[item], t.name.c_str());
  return false;
}

// The value item named by word: its PlaneItem, or -1; *errorKind for AVGERR & co.
int ValueItemOf(const char* word, int* errorKind) {
  static const char* const kErrorWords[3] = {"AVGERR", "MINERR", "MAXERR"};
  for (int k = 0; k < 3; ++k) {
    if (EqualNoCase(word, kErrorWords[k])) {
      *errorKind = k;
      return kItemError;
    }
  }
  static const char* const kItemWords[kItemCount] = {"LIM", nullptr, "OUTPUT", "INTERVAL", "ORG", "E_FLUX"};
  for (int item = 0; item < kItemCount; ++item) {
    if (kItemWords[item] != nullptr && EqualNoCase(word, kItemWords[item])) return item;
  }
  return -1;
}

// ---- Tables ------------------------------------------------------------------------

// Adds range (q, r) to the set's range list of q when new.
void UseRange(PLANETALLYINPUT* t, int q, int r) {
  t->usesQuantity[q] = true;
  for (int i = 0; i < t->rec.nRangesOf[q]; ++i) {
    if (t->rec.rangeIndex[q][i] == r) return;
  }
  t->rec.rangeIndex[q][t->rec.nRangesOf[q]++] = static_cast<int16_t>(r);
}

bool LookUpRange(const PLANETALLYINPUT& t, const char* name, int* q, int* r) {
  if (FindRange(name, q, r) != nullptr) return true;
  printf("Error: Unknown range name \"%s\" in specification of tallies \"%s\".\n", name, t.name.c_str());
  return false;
}

bool AddBinsToClassTotal(const PLANETALLYINPUT& t, int64_t bins) {
  TALLYLAYOUT& layout = directives::tallyLayout[t.tallyClass];
  layout.binTotal += bins * t.rec.nParallel;
  if (layout.binTotal <= kMaxBinsPerClass) return true;
  printf(t.tallyClass == kElectronTallies
             ? "Error: The number of bins summed over all electron tallies is greater than %d.\n"
             : "Error: The number of bins summed over all photon tallies is greater than %d.\n",
         static_cast<int>(kMaxBinsPerClass));
  return false;
}

bool AddOneDimTable(PLANETALLYINPUT* t, const char* name) {
  if (t->rec.n1D >= kMaxTablesPerKind) {
    printf("Error: Number of 1D tallies in \"%s\" is greater than %d.\n", t->name.c_str(), kMaxTablesPerKind);
    return false;
  }
  int q = 0, r = 0;
  if (!LookUpRange(*t, name, &q, &r)) return false;
  UseRange(t, q, r);
  const int32_t bins = directives::rangeData[q][r].bins;
  if (!AddBinsToClassTotal(*t, bins)) return false;
  TALLYLAYOUT& layout = directives::tallyLayout[t->tallyClass];
  t->rec.oneDimDef[t->rec.n1D] = TALLYTABLE1D{static_cast<int16_t>(q), static_cast<int16_t>(r)};
  t->rec.oneDimSlot[t->rec.n1D] = static_cast<int32_t>(layout.oneDimHalf.size());
  layout.oneDimHalf.push_back(bins);
  ++t->rec.n1D;
  return true;
}

bool AddTwoDimTable(PLANETALLYINPUT* t, const char* name1, const char* name2) {
  if (t->rec.n2D >= kMaxTablesPerKind) {
    printf("Error: Number of 2D tallies in \"%s\" is greater than %d.\n", t->name.c_str(), kMaxTablesPerKind);
    return false;
  }
  int q1 = 0, r1 = 0, q2 = 0, r2 = 0;
  if (!LookUpRange(*t, name1, &q1, &r1) || !LookUpRange(*t, name2, &q2, &r2)) return false;
  const bool thetaAndMu = (q1 == kQuantityTheta && q2 == kQuantityMu) || (q1 == kQuantityMu && q2 == kQuantityTheta);
  if (q1 == q2 || thetaAndMu) {
    printf("Error in specification of a 2D tally in \"%s\": both variables are of the same type.\n", t->name.c_str());
    return false;
  }
  UseRange(t, q1, r1);
  UseRange(t, q2, r2);
  const int32_t bins = directives::rangeData[q1][r1].bins * directives::rangeData[q2][r2].bins;
  if (!AddBinsToClassTotal(*t, bins)) return false;
  TALLYLAYOUT& layout = directives::tallyLayout[t->tallyClass];
  t->rec.twoDimDef[t->rec.n2D] = TALLYTABLE2D{static_cast<int16_t>(q1), static_cast<int16_t>(r1),
                                              static_cast<int16_t>(q2), static_cast<int16_t>(r2)};
  t->rec.twoDimSlot[t->rec.n2D] = static_cast<int32_t>(layout.twoDimHalf.size());
  layout.twoDimHalf.push_back(bins);
  ++t->rec.n2D;
  return true;
}

bool PrintParenthesesError(const PLANETALLYINPUT& t) {
  printf("Error: Incorrect usage of parentheses in specification of a two-dimensional tally in \"%s\".\n",
         t.name.c_str());
  return false;
}

// A 2-D table "(A B)", "( A B )" or "(A B )"; first is the word holding '('.
// Text after the closing parenthesis is put back as the next item.
bool ReadTwoDimTable(PLANETALLYINPUT* t, const char* first) {
  std::string name1 = first + 1;
  if (name1.empty()) {
    const char* w = Next(t);
    if (w == nullptr) return PrintTooSmall(*t);
    name1 = w;
  }
  if (name1.find(')') != std::string::npos) return PrintParenthesesError(*t);
  const char* w = Next(t);
  if (w == nullptr) return PrintTooSmall(*t);
  std::string name2 = w;
  size_t close = name2.find(')');
  std::string after;
  if (close == std::string::npos) {
    const char* closing = Next(t);
    if (closing == nullptr) return PrintTooSmall(*t);
    if (closing[0] != ')') return PrintParenthesesError(*t);
    after = closing + 1;
  } else {
    after = name2.substr(close + 1);
    name2.resize(close);
  }
  if (!after.empty()) t->words.insert(t->words.begin() + static_cast<std::ptrdiff_t>(t->pos), after);
  return AddTwoDimTable(t, name1.c_str(), name2.c_str());
}

// ---- The items loop and the finish ------------------------------------------------

bool ReadItems(PLANETALLYINPUT* t) {
  while (!AtEnd(*t)) {
    const char* word = Next(t);
    int errorKind = 0;
    const int item = ValueItemOf(word, &errorKind);
    if (item < 0) {
      const bool ok = word[0] == '(' ? ReadTwoDimTable(t, word) : AddOneDimTable(t, word);
      if (!ok) return false;
      continue;
    }
    if (item != kItemLim && t->given[item]) return PrintDuplicateItem(*t, item);
    t->given[item] = true;
    const int valueCount = item == kItemLim ? 3 : 1;
    const char* values[3] = {};
    std::string copies[3];
    for (int i = 0; i < valueCount; ++i) {
      const char* v = Next(t);
      if (v == nullptr) return PrintIncomplete(*t, item);
      copies[i] = v;
      values[i] = copies[i].c_str();
    }
    if (!ReadValueItem(t, item, errorKind, values)) return false;
  }
  if (t->rec.n1D == 0 && t->rec.n2D == 0) {
    printf("Error: There are no tallies specified in \"%s\".\n", t->name.c_str());
    return false;
  }
  return true;
}

// Quantity list (ascending codes, direction quantities first by their codes),
// stacked-plane copies of the layout, energy-flux flags, control list.
void FinishPlaneTally(PLANETALLYINPUT* t) {
  PLANETALLY& rec = t->rec;
  rec.nQuantities = 0;
  rec.nDirQuantities = -1;
  for (int q = 0; q < kQuantityCount; ++q) {
    if (!t->usesQuantity[q]) continue;
    if (q >= kFirstPositionQuantity && rec.nDirQuantities < 0) rec.nDirQuantities = rec.nQuantities;
    rec.quantity[rec.nQuantities++] = static_cast<int16_t>(q);
  }
  if (rec.nDirQuantities < 0) rec.nDirQuantities = rec.nQuantities;
  rec.extent = (rec.nParallel - 1) * rec.spacing;

  TALLYLAYOUT& layout = directives::tallyLayout[t->tallyClass];
  for (int j = 1; j < rec.nParallel; ++j) {
    for (int i = 0; i < rec.n1D; ++i)
      layout.oneDimHalf.push_back(layout.oneDimHalf[static_cast<size_t>(rec.oneDimSlot[i])]);
    for (int i = 0; i < rec.n2D; ++i)
      layout.twoDimHalf.push_back(layout.twoDimHalf[static_cast<size_t>(rec.twoDimSlot[i])]);
  }
  layout.oneDimEFlux.resize(layout.oneDimHalf.size(), rec.eFlux);
  layout.twoDimEFlux.resize(layout.twoDimHalf.size(), rec.eFlux);

  if (t->outputValue >= 0) {
    rec.writeDuringRun = static_cast<uint8_t>(t->outputValue);
  } else if (t->targetKind != kNoTarget && directives::tallyOutputOptions.mode == 1) {
    rec.writeDuringRun = 1;
  }
  const int index = directives::nPlaneTalliesTot[t->tallyClass];
  if (t->targetKind != kNoTarget || rec.writeDuringRun) {
    directives::planeControlTallies[t->tallyClass][directives::nPlaneControlTallies[t->tallyClass]++] =
        CONTROLTALLY{index, t->targetKind, t->target};
    ++directives::nControlTallies;
  }
  directives::tallyData[t->tallyClass][index] = rec;
  ++directives::nPlaneTalliesTot[t->tallyClass];
}

void SetPlaneTallyDefaults(PLANETALLY* rec) {
  rec->eFlux = static_cast<uint8_t>(directives::tallyOptions.eFlux != 0);
  rec->writeDuringRun = static_cast<uint8_t>(directives::tallyOutputOptions.mode == 2);
  rec->outputInterval = directives::tallyOutputOptions.interval;
  for (uint8_t& on : rec->orgEnabled) on = 1;
}

bool DefinePlaneTally(const char* word, int tallyClass, int prefixLength) {
  PLANETALLYINPUT t;
  t.tallyClass = tallyClass;
  if (!ReadTallyNumber(word, prefixLength, &t)) return false;
  t.words = SplitWords(RestOfLine());
  if (!ReadPlane(&t) || !ReadStack(&t)) return false;
  SetPlaneTallyDefaults(&t.rec);
  if (!ReadItems(&t)) return false;
  FinishPlaneTally(&t);
  return true;
}

// TALLY, ETALLY or PTALLY, alone or followed by text with a positive leading integer.
bool IsPlaneTallyKeyword(const char* word, int* tallyClass, int* prefixLength) {
  for (int c = 0; c < kTallyClassCount; ++c) {
    const size_t n = std::strlen(kClassPrefix[c]);
    if (EqualNoCaseN(word, kClassPrefix[c], n) && (word[n] == '\0' || PlainInteger(word + n) > 0)) {
      *tallyClass = c;
      *prefixLength = static_cast<int>(n);
      return true;
    }
  }
  return false;
}

// ---- Tally switches -----------------------------------------------------------------

bool HandlePerSource(const char*) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Value of the switch specifying whether tallies should be per source particle is missing.\n");
    return false;
  }
  directives::tallyOptions.perSource = PlainInteger(token);
  return true;
}

// TALLIES_E_FLUX and TALLIES_E_DEPOSITION: stored in the first pass, so that
// every tally of the file sees them; the second pass only reports a missing value.
bool HandleDefaultSwitch(int keyword, int32_t* target, const char* missing) {
  input::lastKeyword = keyword;
  const char* token = NextWord();
  if (token == nullptr) {
    if (input::inputPass == 1) printf("%s", missing);
    input::lineDone = false;
    return true;
  }
  if (input::inputPass == 0) *target = PlainInteger(token) != 0 ? 1 : 0;
  SkipRestOfLine();
  input::lineDone = true;
  return true;
}

// The tally switches, in the order of their keyword indices.
const char* const kTallySwitches[] = {"TALLIES_PER_SOURCE", "TALLIES_E_FLUX", "TALLIES_E_DEPOSITION"};

}  // namespace

bool HandleTallyDirective(const char* word) {
  if (EqualNoCase(word, kTallySwitches[0])) return RunDirectiveLine(kTalliesPerSourceKeyword, HandlePerSource, word);
  if (EqualNoCase(word, kTallySwitches[1])) {
    return HandleDefaultSwitch(kTalliesEFluxKeyword, &directives::tallyOptions.eFlux,
                               "Error: Value of the switch specifying whether the files with the surface-crossing "
                               "tally data should include the energy flux tally data is missing.\n");
  }
  if (EqualNoCase(word, kTallySwitches[2])) {
    return HandleDefaultSwitch(kTalliesEDepositionKeyword, &directives::tallyOptions.eDeposition,
                               "Error: Value of the switch specifying whether the files with the pulse-height tally "
                               "data should include the energy-deposition tally data is missing.\n");
  }
  int tallyClass = 0, prefixLength = 0;
  if (!IsPlaneTallyKeyword(word, &tallyClass, &prefixLength)) return false;
  input::lastKeyword = -1;
  if (input::inputPass == 0) {
    SkipRestOfLine();
    input::lineDone = true;
    return true;
  }
  input::lineDone = DefinePlaneTally(word, tallyClass, prefixLength);
  return true;
}

void ListTallyDirectives(KEYWORDNAMES* names) {
  for (const char* tallySwitch : kTallySwitches) AddKeywordName(names, tallySwitch);
  for (const char* prefix : kClassPrefix) AddKeywordName(names, std::string(prefix) + "[<n>]");
}

void ConvertTallyQuantityUnit(int q, double factor) {
  for (int i = 0; i < directives::nRanges[q]; ++i) {
    TALLYRANGE& r = directives::rangeData[q][i];
    r.lower /= factor;
    r.upper /= factor;
    r.invWidth = r.bins / (r.upper - r.lower);
  }
  for (int c = 0; c < kTallyClassCount; ++c) {
    for (int i = 0; i < directives::nPlaneTalliesTot[c]; ++i) {
      PLANETALLY& rec = directives::tallyData[c][i];
      rec.limLow[q] /= factor;
      rec.limHigh[q] /= factor;
    }
  }
}

void ResetTallyDirectives() {
  std::memset(directives::rangeData, 0, sizeof(directives::rangeData));
  std::memset(directives::nRanges, 0, sizeof(directives::nRanges));
  std::memset(directives::tallyData, 0, sizeof(directives::tallyData));
  std::memset(directives::nPlaneTalliesTot, 0, sizeof(directives::nPlaneTalliesTot));
  for (TALLYLAYOUT& layout : directives::tallyLayout) layout = TALLYLAYOUT{};
  std::memset(directives::planeControlTallies, 0, sizeof(directives::planeControlTallies));
  std::memset(directives::nPlaneControlTallies, 0, sizeof(directives::nPlaneControlTallies));
  directives::nControlTallies = 0;
  directives::targetErrorGiven = false;
  directives::tallyOptions = TALLYOPTIONS{};
}
