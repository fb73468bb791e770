#include "driver/directives/source_directives.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "core/physical_constants.h"
#include "core/text.h"
#include "driver/directives/geometry_tables.h"
#include "driver/directives/material_directives.h"
#include "driver/directives/value_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/value_forms.h"
#include "geometry/frames.h"

namespace directives {
SOURCEDESCRIPTION source = DefaultSource();
LAYERGEOMETRY layer = {0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0};
PHYSICSMODELOPTIONS physicsModels;
}  // namespace directives

namespace {

constexpr double kDegree = 3.141592653589793 / 180.0;
constexpr double kNoUpperLimit = std::numeric_limits<double>::infinity();

// ---- Switches and thresholds: one value each --------------------------------

#define TQ_SWITCH(keyword, target, missing)                                                                     \
  {                                                                                                             \
    keyword, kPlainIntegerForm, &directives::physicsModels.target, nullptr, 0, 0, false, false, false, nullptr, \
        missing, nullptr, kTokenArgument                                                                        \
  }
#define TQ_THRESHOLD(keyword, target, missing, illegal)                                                               \
  {                                                                                                                   \
    keyword, kLenientNumberForm, nullptr, &directives::physicsModels.target, 0.0, kNoUpperLimit, false, false, false, \
        &directives::physicsModels.target##Given, missing, illegal, kTokenArgument                                    \
  }

const VALUEDIRECTIVE physicsSwitches[] = {
    TQ_SWITCH("INCOH_SUBTRACT_BINDING_E", incoh_SubtractBindingEnergy,
              "Error: The value of the option for applying the binding energy correction to the Compton recoil "
              "electron energy is missing.\n"),
    TQ_SWITCH("BREMS_ANGULAR_DISTR", nonIsotropicBrems,
              "Error: Non-isotropic bremsstrahlung option value is missing.\n"),
    TQ_SWITCH("BREMS_BINARY_DATA", bremsBinaryData,
              "Error: Binary data for bremsstrahlung angular distribution option value is missing.\n"),
    TQ_SWITCH("ION_DWBA", ionDWBA,
              "Error: Distorted-wave Born approximation (DWBA) electron-impact ionization cross sections option value "
              "is missing.\n"),
    TQ_SWITCH("ELASTIC_DPW", useDPWelasticScatteringCrossSections,
              "Error: Dirac partial-wave (DPW) elastic scattering cross sections option value is missing.\n"),
    TQ_SWITCH("BREMS_POSITRON_CORRECTION", positronBremsCorrection,
              "Error: Positron bremsstrahlung correction option value is missing.\n"),
    TQ_SWITCH("PE_ANGULAR_DISTR", nonIsotropicPE,
              "Error: Non-isotropic photoelectron emission option value is missing.\n"),
    // A table of fewer than 3 points has no interior point to normalise.
    {"PE_ANGULAR_DISTR_N", kPlainIntegerForm, &directives::physicsModels.pe_angularDistr_nPoints, nullptr, 3.0,
     2147483647.0, false, false, false, nullptr,
     "Error: The number of points in photoelectron angular distribution tables is missing.\n",
     "Error: Illegal value \"%s\" of the number of points in photoelectron angular distribution tables (it must be at "
     "least 3).\n",
     kTokenArgument},
    TQ_SWITCH("PP_ANGULAR_DISTR", usePPangularDistr,
              "Error: Pair production angular distribution option value is missing.\n"),
    TQ_SWITCH("PP_ENERGY_DISTR", nonUniformPPenergy,
              "Error: The value of the option for non-uniform positron energy distribution during pair production is "
              "missing.\n"),
    TQ_SWITCH("INCOH_DOPPLER", dopplerBroadening,
              "Error: The value of the option for Doppler broadening of incoherently scattered photon energy "
              "distribution is missing.\n"),
    TQ_SWITCH("E_CONTIGUOUS", eContiguous, "Error: Contiguous energy values option is missing.\n"),
    TQ_THRESHOLD("BREMS_ANGULAR_DISTR_LOW_EN", brems_lowEnThr,
                 "Error: The low-energy threshold value of the bremsstrahlung angular distribution table is missing.\n",
                 "Error: Illegal low-energy threshold value of the bremsstrahlung angular distribution table (should "
                 "be non-negative).\n"),
    TQ_THRESHOLD(
        "BREMS_ANGULAR_DISTR_HIGH_EN", brems_highEnThr,
        "Error: The high-energy threshold value of the bremsstrahlung angular distribution table is missing.\n",
        "Error: Illegal high-energy threshold value of the bremsstrahlung angular distribution table (should be "
        "non-negative).\n"),
    TQ_THRESHOLD(
        "PE_ANGULAR_DISTR_THR", pe_angularDistrThr,
        "Error: The threshold energy value of the photoelectron angular distribution is missing.\n",
        "Error: Illegal threshold energy value of the photoelectron angular distribution (should be non-negative).\n"),
};
#undef TQ_SWITCH
#undef TQ_THRESHOLD
constexpr int kSwitchCount = static_cast<int>(sizeof(physicsSwitches) / sizeof(physicsSwitches[0]));

// ---- Reading vectors ----------------------------------------------------------

enum VectorRead { kVectorRead, kVectorShort, kVectorInvalid };

// Reads count numbers (whole tokens); on a bad token *badToken points at it.
VectorRead ReadNumbers(double* values, int count, const char** badToken) {
  for (int i = 0; i < count; ++i) {
    const char* token = TakeWord();
    if (token == nullptr) return kVectorShort;
    if (!ReadWholeNumber(token, &values[i])) {
      *badToken = token;
      return kVectorInvalid;
    }
  }
  return kVectorRead;
}

// Reads count numbers, printing shortMessage or invalidMessage ("%s") on failure.
bool ReadNumbersOrReport(double* values, int count, const char* shortMessage, const char* invalidMessage) {
  const char* bad = nullptr;
  switch (ReadNumbers(values, count, &bad)) {
    case kVectorRead:
      return true;
    case kVectorShort:
      printf("%s", shortMessage);
      return false;
    case kVectorInvalid:
      printf(invalidMessage, bad);
      return false;
  }
  return false;
}

// Unit vector along (a, b, c); false when all three are zero.
bool UnitVector(const double* abc, VECTOR* unit) {
  const VECTOR v = Init(abc[0], abc[1], abc[2]);
  const double norm = Norm(v);
  if (norm == 0.0) return false;
  *unit = v / norm;
  return true;
}

// ---- PART, THICK, CONC, Surface, BEAM -----------------------------------------

bool HandlePart(const char*) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Particle type specification is missing.\n");
    return false;
  }
  static const char* const kKinds[] = {"E", "P", "E+"};
  for (uint8_t kind = 0; kind < 3; ++kind) {
    if (EqualNoCase(token, kKinds[kind])) {
      directives::source.part = kind;
      return true;
    }
  }
  printf("Error: Particle type specification is incorrect (should be \"E\", \"P\" or \"E+\").\n");
  return false;
}

bool HandleThick(const char*) {
  if (!RequireSimpleGeometry("THICK")) return false;
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Thickness value is missing.\n");
    return false;
  }
  // Read leniently (the leading number), but a thickness that is negative or
  // not a finite number cannot describe a layer.
  const double w = LenientNumber(token);
  if (!(std::isfinite(w) && w >= 0.0)) {
    printf("Error: Invalid thickness value \"%s\" (should be a non-negative number).\n", token);
    return false;
  }
  directives::layer.w = w;
  return true;
}

bool HandleConc(const char*) {
  if (!RequireSimpleGeometry("CONC")) return false;
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Concentration value is missing.\n");
    return false;
  }
  directives::layer.concentration = LenientNumber(token);
  if (!std::isfinite(directives::layer.concentration)) {
    printf("Error: Invalid concentration value \"%s\".\n", token);
    return false;
  }
  if (directives::layer.concentration == 0.0) {
    printf("Error: Concentration value is zero.\n");
    return false;
  }
  return true;
}

bool HandleSurface(const char*) {
  if (!RequireSimpleGeometry("Surface")) return false;
  double v[6];
  if (!ReadNumbersOrReport(
          v, 6, "Error: Number of entries in specification of the front surface of the layer is less than 6.\n",
          "Error: Invalid number \"%s\" in specification of the front surface of the layer.\n")) {
    return false;
  }
  double a = v[3], b = v[4], c = v[5];
  if (a == 0.0 && b == 0.0) {
    if (c == 0.0) {
      printf(
          "Error in values of components of the normal vector of the front surface of the layer (at least one of them "
          "must be non-zero).\n");
      return false;
    }
    c = c > 0.0 ? 1.0 : -1.0;
  } else {
    const double norm = std::sqrt(a * a + b * b + c * c);
    a /= norm;
    b /= norm;
    c /= norm;
  }
  directives::layer.surface_A = a;
  directives::layer.surface_B = b;
  directives::layer.surface_C = c;
  directives::layer.surface_Z = v[2];
  directives::layer.surface_D = -(a * v[0] + b * v[1] + c * v[2]);
  return true;
}

bool HandleBeam(const char*) {
  if (directives::source.positionGiven || directives::source.directionGiven) {
    printf(
        "Error: Keyword \"BEAM\" cannot be used after specifying the initial position or the direction of the source "
        "particles.\n");
    return false;
  }
  double v[6];
  if (!ReadNumbersOrReport(v, 6, "Error: Number of entries in specification of the incident beam is less than 6.\n",
                           "Error: Invalid number \"%s\" in specification of the incident beam.\n")) {
    return false;
  }
  VECTOR direction;
  if (!UnitVector(v + 3, &direction)) {
    printf(
        "Error in values of components of the direction vector of the incident beam (at least one of them must be "
        "non-zero).\n");
    return false;
  }
  directives::source.beamOrigin = Init(v[0], v[1], v[2]);
  directives::source.sourceCenter = directives::source.beamOrigin;
  directives::source.beam_A = direction.x;
  directives::source.beam_B = direction.y;
  directives::source.beam_C = direction.z;
  directives::source.sourcePositionType = kPointSource;
  directives::source.sourceDirectionType = kParallelBeam;
  directives::source.positionGiven = true;
  directives::source.directionGiven = true;
  return true;
}

// ---- SOURCE_POSITION -------------------------------------------------------------

constexpr const char* kPositionTypeText =
    "(it should be 1 for a point source, 2 for a rotationally symmetric distribution on a plane, or 3 for a uniform "
    "distribution inside an arbitrary cell with finite dimensions).\n";

// A non-negative length of the plane source (whole number).
bool ReadPlaneSourceLength(const char* missing, const char* invalid, double* value) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("%s", missing);
    return false;
  }
  if (!ReadWholeNumber(token, value) || *value < 0.0) {
    printf(invalid, token);
    return false;
  }
  return true;
}

bool ReadPlaneSource() {
  if (!LineHasMoreWords()) {
    printf("Error: Missing specification of the source surface normal.\n");
    return false;
  }
  double n[3];
  if (!ReadNumbersOrReport(
          n, 3, "Error: At least one of the three components of the source surface normal has not been specified.\n",
          "Error: \"%s\" is not a valid value of a component of a source surface normal.\n")) {
    return false;
  }
  if (!UnitVector(n, &directives::source.sourceNormal)) {
    printf(
        "Error in values of components of the source surface normal vector (at least one of them must be non-zero).\n");
    return false;
  }
  if (!ReadPlaneSourceLength(
          "Error: Missing value of the radius of the area with constant surface density of the source.\n",
          "Error: \"%s\" is not a valid value of the radius of the area with constant surface density of the source.\n",
          &directives::source.sourceConstantDensityRadius) ||
      !ReadPlaneSourceLength("Error: Missing value of the source Gaussian RMS width.\n",
                             "Error: \"%s\" is not a valid value of the source Gaussian RMS width.\n",
                             &directives::source.sourceRMSwidth)) {
    return false;
  }
  if (directives::source.sourceConstantDensityRadius == 0.0 && directives::source.sourceRMSwidth == 0.0) {
    directives::source.sourcePositionType = kPointSource;  // a plane source of no extent is a point
  } else {
    MakeFrame(directives::source.Q_source_position, directives::source.sourceNormal,
              directives::geometryPrecision.anglePrecision);
  }
  return true;
}

// The source cell: a defined cell, the first cell of its union when it has one.
bool FindSourceCell(const char* token, int32_t identifier) {
  const int32_t index = FindCell(identifier);
  if (index < 0) {
    printf("Error: Undefined cell identifier \"%s\" in the definition of the source cell.\n", token);
    return false;
  }
  const int32_t u = directives::geometry.cell[static_cast<size_t>(index)].unionIndex;
  if (u >= 0 && directives::geometry.unionCells[static_cast<size_t>(u)][0] != index) {
    printf(
        "Error: A cell that is a part of a union can be defined as a source cell only if it the first cell of the "
        "union.\n");
    return false;
  }
  directives::source.sourceCell = index;
  return true;
}

bool ReadCellSource() {
  const char* token = TakeWord();
  int64_t id = 0;
  if (!ReadWholeInteger(token, &id) || id < 1 || id > INT32_MAX) {
    printf("Error: \"%s\" is not a valid identifier of the source cell.\n", token);
    return false;
  }
  return FindSourceCell(token, static_cast<int32_t>(id));
}

bool HandleSourcePosition(const char*) {
  if (!RequireComplexGeometry("SOURCE_POSITION")) return false;
  if (directives::source.positionGiven) {
    printf("Error: Keyword \"SOURCE_POSITION\" cannot be used after specifying the position of the source.\n");
    return false;
  }
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Missing specification of the source position type %s", kPositionTypeText);
    return false;
  }
  int64_t type = 0;
  if (!ReadWholeInteger(token, &type) || type < kPointSource || type > kCellSource) {
    printf("Error: Invalid specification of the source position type \"%s\" %s", token, kPositionTypeText);
    return false;
  }
  directives::source.sourcePositionType = static_cast<int32_t>(type);
  if (!LineHasMoreWords()) {
    printf("Error: Missing specification of the source position.\n");
    return false;
  }
  if (type == kCellSource) {
    if (!ReadCellSource()) return false;
  } else {
    double c[3];
    if (!ReadNumbersOrReport(c, 3,
                             "Error: At least one of the three source center coordinates has not been specified.\n",
                             "Error: \"%s\" is not a valid value of a source coordinate.\n")) {
      return false;
    }
    directives::source.sourceCenter = Init(c[0], c[1], c[2]);
    if (type == kPlaneSource && !ReadPlaneSource()) return false;
    if (directives::source.sourcePositionType == kPointSource)
      directives::source.beamOrigin = directives::source.sourceCenter;
  }
  directives::source.positionGiven = true;
  return true;
}

// ---- SOURCE_DIRECTION ------------------------------------------------------------

constexpr const char* kDirectionTypeText =
    "(it should be 1 for a parallel beam, 2 for a uniform distribution inside a cone, or 3 for the isotropic "
    "distribution).\n";

bool ReadConeAngle() {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Missing specification of the source cone angle.\n");
    return false;
  }
  double degrees = 0.0;
  const bool formed = ReadWholeNumber(token, &degrees);
  const double angle = degrees * kDegree;
  if (!formed || !(angle > 0.0 && angle < kPi)) {
    printf("Error: \"%s\" is not a valid value of the source cone angle (it must be between 0 and 180 degrees).\n",
           token);
    return false;
  }
  directives::source.sourceConeCos = std::cos(angle);
  MakeFrame(directives::source.Q_source_direction,
            Init(directives::source.beam_A, directives::source.beam_B, directives::source.beam_C),
            directives::geometryPrecision.anglePrecision);
  return true;
}

bool HandleSourceDirection(const char*) {
  if (!RequireComplexGeometry("SOURCE_DIRECTION")) return false;
  if (directives::source.directionGiven) {
    printf(
        "Error: Keyword \"SOURCE_DIRECTION\" cannot be used after specifying the direction of the source particles.\n");
    return false;
  }
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Missing specification of the source direction type %s", kDirectionTypeText);
    return false;
  }
  int64_t type = 0;
  if (!ReadWholeInteger(token, &type) || type < kParallelBeam || type > kIsotropic) {
    printf("Error: Invalid specification of the source direction type \"%s\" %s", token, kDirectionTypeText);
    return false;
  }
  directives::source.sourceDirectionType = static_cast<int32_t>(type);
  if (type != kIsotropic) {
    if (!LineHasMoreWords()) {
      printf("Error: Missing specification of the source direction vector.\n");
      return false;
    }
    double d[3];
    if (!ReadNumbersOrReport(
            d, 3, "Error: At least one of three components of the source direction vector has not been specified.\n",
            "Error: \"%s\" is not a valid value of a component of the source direction vector.\n")) {
      return false;
    }
    VECTOR axis;
    if (!UnitVector(d, &axis)) {
      printf(
          "Error in values of components of the direction vector of the incident beam (at least one of them must be "
          "non-zero).\n");
      return false;
    }
    directives::source.beam_A = axis.x;
    directives::source.beam_B = axis.y;
    directives::source.beam_C = axis.z;
    if (type == kConeBeam && !ReadConeAngle()) return false;
  }
  directives::source.directionGiven = true;
  return true;
}

// ---- Folders, ELASTIC_SMALL_ANGLE, E_UNIT ------------------------------------------

bool HandleDir(const char*) {
  if (input::commandLineGiven.dir) {
    PrintOverrideNotice("DIR");
    SkipRestOfLine();
    return true;
  }
  return ParseEndfDir(RestOfLine()) == 0;
}

bool HandleBremsDir(const char*) {
  const char* rest = RestOfLine();
  std::string folder = TrimmedRight(rest != nullptr ? SkipBlanks(rest) : "");
  if (folder.empty()) {
    printf("Error: The name of the folder with bremsstrahlung angular distribution data is missing.\n");
    return false;
  }
  if (folder.back() != '/') folder.push_back('/');
  if (folder.front() != '/') folder = input::exeFolder + folder;  // relative to the executable's folder
  input::bremsTableFolder = folder;
  return true;
}

void PrintSmallAngleMethods() {
  printf(
      "     0 - the ENDF/B elastic scattering cross sections are assumed to correspond to the entire range of the "
      "cosine (from -1 to 1), and the small-angle PDF (corresponding to cos > 0.999999) is linearly extrapolated from "
      "larger angles;\n\n");
  printf(
      "     1 - the same interpretation of the ENDF/B cross sections as in the case \"0\", but small-angle scattering "
      "(cos > 0.999999) is simulated using the analytical PDF derived from multiple-scattering theories and normalized "
      "on the basis of the continuity of the angular PDF;\n\n");
  printf(
      "     2 - the ENDF/B cross sections are assumed to correspond to the cosine values from -1 to 0.999999, and the "
      "probability of small-angle scattering is calculated by the same method as in \"1\";\n\n");
  printf(
      "     3 - the large-angle cross sections are taken from the ENDF/B library (as in \"2\"), and the small-angle "
      "cross sections are calculated as the difference of the original EEDL cross sections and the ENDF/B cross "
      "sections. In this case, the small-angle (analytical) PDF is normalized using the known small-angle cross "
      "sections (instead of the continuity condition used in \"1\" and \"2\").\n");
}

bool HandleElasticSmallAngle(const char*) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf(
        "Error: The method of calculating the small-angle elastic scattering cross section (corresponding to the "
        "scattering cosine from 0.999999 to 1) is not specified. It must be 0, 1, 2 or 3:\n\n");
    PrintSmallAngleMethods();
    return false;
  }
  int64_t method = 0;
  if (!ReadWholeInteger(token, &method) || method < 0 || method > 3) {
    printf(
        "Error: Invalid specification \"%s\" of the method of calculating the small-angle elastic scattering cross "
        "sections (corresponding to the scattering cosine from 0.999999 to 1). It must be 0, 1, 2 or 3:\n\n",
        token);
    PrintSmallAngleMethods();
    return false;
  }
  directives::physicsModels.elasticSmallAngle = static_cast<int32_t>(method);
  return true;
}

bool HandleEnergyUnit(const char*) {
  static const char* const kUnits[] = {"MeV", "keV", "eV"};
  static const double kFactors[] = {1e-6, 0.001, 1.0};
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: Specification of the unit of energy is missing.\n");
    return false;
  }
  for (int unit = 0; unit < 3; ++unit) {
    if (EqualNoCase(token, kUnits[unit])) {
      directives::physicsModels.energyUnit = unit;
      directives::physicsModels.energyFactor = kFactors[unit];
      return true;
    }
  }
  printf("Error: Incorrect specification of the unit of energy (should be \"%s\", \"%s\" or \"%s\").\n", kUnits[0],
         kUnits[1], kUnits[2]);
  return false;
}

// ---- The keyword table ----------------------------------------------------------

struct SOURCEKEYWORD {
  const char* keyword;
  bool (*handler)(const char* word);
};

const SOURCEKEYWORD sourceKeywords[] = {
    {"PART", HandlePart},
    {"THICK", HandleThick},
    {"CONC", HandleConc},
    {"Surface", HandleSurface},
    {"BEAM", HandleBeam},
    {"SOURCE_POSITION", HandleSourcePosition},
    {"SOURCE_DIRECTION", HandleSourceDirection},
    {"DIR", HandleDir},
    {"BREMS_ANGULAR_DISTR_DIR", HandleBremsDir},
    {"ELASTIC_SMALL_ANGLE", HandleElasticSmallAngle},
    {"E_UNIT", HandleEnergyUnit},
};
constexpr int kSourceKeywordCount = static_cast<int>(sizeof(sourceKeywords) / sizeof(sourceKeywords[0]));

int switchIndex = -1;  // the physics switch of the current line
bool HandleSwitch(const char*) { return ReadValueDirective(physicsSwitches[switchIndex]); }

}  // namespace

bool HandleSourceDirective(const char* word) {
  for (int i = 0; i < kSourceKeywordCount; ++i) {
    if (EqualNoCase(word, sourceKeywords[i].keyword)) {
      return RunDirectiveLine(kSourceKeywordBase + i, sourceKeywords[i].handler, word);
    }
  }
  switchIndex = FindValueDirective(physicsSwitches, kSwitchCount, word);
  if (switchIndex < 0) return false;
  return RunDirectiveLine(kSourceKeywordBase + kSourceKeywordCount + switchIndex, HandleSwitch, word);
}

void ListSourceDirectives(KEYWORDNAMES* names) {
  for (const SOURCEKEYWORD& k : sourceKeywords) AddKeywordName(names, k.keyword);
  for (const VALUEDIRECTIVE& d : physicsSwitches) AddKeywordName(names, d.keyword);
}

void ResetSourceDirectives() {
  directives::source = DefaultSource();
  directives::layer = LAYERGEOMETRY{0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0};
  directives::physicsModels = PHYSICSMODELOPTIONS{};
}
