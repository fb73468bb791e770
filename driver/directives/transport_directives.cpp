#include "driver/directives/transport_directives.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "core/text.h"
#include "driver/directives/value_directives.h"
#include "driver/input/input_reader.h"
#include "driver/input/value_forms.h"

TRANSPORTOPTIONS::TRANSPORTOPTIONS() {
  for (auto& row : forceByZ) {
    for (int32_t& v : row) v = -1;
  }
}

namespace directives {
TRANSPORTOPTIONS transportOptions;
}  // namespace directives

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kIntMax = 2147483647.0;
TRANSPORTOPTIONS& opt = directives::transportOptions;

// A value directive with no check of its value.
#define TQ_ANY(keyword, target, missing)                                                                    \
  {                                                                                                         \
    keyword, kPlainIntegerForm, &opt.target, nullptr, 0, 0, false, false, false, nullptr, missing, nullptr, \
        kTokenArgument                                                                                      \
  }
#define TQ_SWITCH_ANY(keyword, target, missing)                                                            \
  {                                                                                                        \
    keyword, kPlainIntegerForm, &opt.target, nullptr, 0, 0, false, false, true, nullptr, missing, nullptr, \
        kTokenArgument                                                                                     \
  }
// Integer options in [low, high].
#define TQ_INT(keyword, form, target, low, high, missing, illegal, arg) \
  { keyword, form, &opt.target, nullptr, low, high, false, false, false, nullptr, missing, illegal, arg }
// Real options with open or closed limits.
#define TQ_REAL(keyword, form, target, low, lowOpen, high, highOpen, given, missing, illegal, arg) \
  { keyword, form, nullptr, &opt.target, low, high, lowOpen, highOpen, false, given, missing, illegal, arg }
#define TQ_INDEXTYPE(keyword, target, low, missing, illegal) \
  TQ_INT(keyword, kPlainIntegerForm, target.type, low, 2, missing, illegal, kTokenArgument)
#define TQ_INDEXEXP(keyword, target, missing, illegal) \
  TQ_INT(keyword, kPlainIntegerForm, target.exponent, 0, 20, missing, illegal, kTokenAndIndexLimit)

const VALUEDIRECTIVE transportValues[] = {
    TQ_REAL("CUT_E", kWholeNumberForm, cutE, 0.0, true, kInf, false, &opt.cutEGiven,
            "Error: Electron cutoff energy value is missing.\n",
            "Error: Illegal value \"%s\" of the electron low-energy cutoff (it must be a positive number).\n",
            kTokenArgument),
    TQ_REAL("CUT_P", kLenientNumberForm, cutP, 0.0, true, kInf, false, &opt.cutPGiven,
            "Error: Photon cutoff energy value is missing.\n",
            "Error: Illegal value \"%s\" of the photon low-energy cutoff (it must be a positive number).\n",
            kTokenArgument),
    TQ_REAL("FORCE_WT", kLenientNumberForm, force_wt, 0.0, true, 0.1, false, nullptr,
            "Error: Forcing weight value is missing.\n",
            "Error: Illegal value \"%s\" of the forcing weight (it must be between 0 and 0.1).\n", kTokenArgument),
    TQ_REAL("SIGMA_ERR", kLenientNumberForm, sigmaErr, 0.0, false, 0.1, false, nullptr,
            "Error: The value of the maximum acceptable relative error of the electron cross sections is missing.\n",
            "Error: Illegal value \"%s\" of the maximum acceptable relative error of the electron cross sections (it "
            "must be from 0 to 0.1).\n",
            kTokenArgument),
    TQ_REAL(
        "COH_THR", kLenientNumberForm, coh_thr, 0.0, false, 0.001, false, nullptr,
        "Error: Coherent scattering angular sampling threshold value is missing.\n",
        "Error: Illegal coherent scattering angular sampling threshold value %-.14g (should be between 0 and 0.001).\n",
        kValueArgument),
    TQ_INT("SMOOTH_CDF_ELASTIC", kWholeIntegerForm, smoothCDF_elastic, -1, 1,
           "Error: Value of the switch specifying whether the cumulative angular distribution functions of elastic "
           "scattering should have the continuous first derivative is missing.\n",
           "Error: Illegal value \"%s\" of the switch specifying whether the cumulative angular distribution functions "
           "of elastic scattering should have the continuous first derivative.\n",
           kTokenArgument),
    TQ_INT("SMOOTH_CDF_INELASTIC", kWholeIntegerForm, smoothCDF_inelastic, 0, 1,
           "Error: Value of the switch specifying whether the cumulative distribution functions (excluding the angular "
           "distribution of elastic scattering) should have the continuous first derivative is missing.\n",
           "Error: Illegal value \"%s\" of the switch specifying whether the cumulative distribution functions "
           "(excluding the angular distribution of elastic scattering) should have the continuous first derivative.\n",
           kTokenArgument),
    TQ_REAL("DIFFUSION_TOTAL_TO_INELASTIC_RATIO_THR", kLenientNumberForm, diffusion_totalToInelasticRatio_thr, 10.0,
            false, 1e18, false, nullptr,
            "Error: Threshold value of the total-to-inelastic cross section ratio (corresponding to transition from "
            "single-event to diffusion model of elastic scattering) is missing.\n",
            "Error: Illegal value %-.14g of the total-to-inelastic cross section ratio threshold (should be between 10 "
            "and 1e18).\n",
            kValueArgument),
    TQ_REAL("DIFFUSION_DIST_TO_RMSPATH_RATIO_THR", kLenientNumberForm, diffusion_distToRMSpathRatio_thr, 2.0, false,
            10.0, false, nullptr,
            "Error: Threshold value of the ratio between the distance to the nearest interface and root-mean-square "
            "displacement of an electron (corresponding to transition from a single diffusion step to a number of "
            "shorter diffusion steps) is missing.\n",
            "Error: Illegal value %-.14g of the distance-to-r.m.s.displacement ratio threshold (should be between 2 "
            "and 10).\n",
            kValueArgument),
    TQ_ANY("COH", coh, "Error: Coherent scattering simulation switch value is missing.\n"),
    TQ_ANY("ELASTIC", elastic, "Error: Elastic scattering simulation switch value is missing.\n"),
    TQ_SWITCH_ANY("FORCE_MATERIALS", forceMaterials,
                  "Error: Value of the switch specifying whether the interaction forcing should be applied to "
                  "materials by default is missing.\n"),

    TQ_ANY("OUTPUT_INDEX_ARRAY_INFO", outputIndexArrayInfo,
           "Error: Index array information output option is missing.\n"),
    TQ_INDEXTYPE("SIGMA_E_INDEXTYPE", sigmaE, -2,
                 "Error: Electron cross section energy index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the electron cross section energy index array type (it must be less "
                 "than 3 and greater than -3).\n"),
    TQ_INDEXEXP("SIGMA_E_INDEXEXPONENT", sigmaE,
                "Error: Electron cross section energy index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the electron cross section energy index array size exponent (it must "
                "be less than %d and greater than -1).\n"),
    TQ_INDEXTYPE("ELASTIC_E_INDEXTYPE", elasticE, -2,
                 "Error: Electron elastic scattering energy index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the electron elastic scattering energy index array type (it must be "
                 "less than 3 and greater than -3).\n"),
    TQ_INDEXEXP("ELASTIC_E_INDEXEXPONENT", elasticE,
                "Error: Electron elastic scattering energy index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the electron elastic scattering energy index array size exponent (it "
                "must be less than %d and greater than -1).\n"),
    TQ_INDEXTYPE("ELASTIC_CDF_INDEXTYPE", elasticCDF, -2,
                 "Error: Electron elastic scattering angular CDF index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the electron elastic scattering angular CDF index array type (it must "
                 "be less than 3 and greater than -3).\n"),
    TQ_INDEXEXP("ELASTIC_CDF_INDEXEXPONENT", elasticCDF,
                "Error: Electron elastic scattering angular CDF index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the electron elastic scattering angular CDF index array size exponent "
                "(it must be less than %d and greater than -1).\n"),
    TQ_SWITCH_ANY("ELASTIC_CDF_EXCLUDEFIRST", elasticCDFExcludeFirst,
                  "Error: Value of the option to exclude the first interval in the electron elastic scattering angular "
                  "CDF table is missing.\n"),
    TQ_REAL("ELASTIC_CDF_CUTOFF", kLenientNumberForm, elasticCDFCutoff, 0.0, false, 1.0, false, nullptr,
            "Error: Electron elastic scattering angular CDF cutoff value is missing.\n",
            "Error: Illegal value \"%s\" of the electron elastic scattering angular CDF cutoff (it cannot be negative "
            "or greater than 1).\n",
            kTokenArgument),
    TQ_REAL("ELASTIC_CDF_STEP", kLenientNumberForm, elasticCDFStep, 0.0, true, 1.0, true, nullptr,
            "Error: Electron elastic scattering angular CDF step size value is missing.\n",
            "Error: Illegal value \"%s\" of the electron elastic scattering angular CDF step size (it must be positive "
            "and less than 1).\n",
            kTokenArgument),
    TQ_REAL(
        "ELASTIC_PDF_ERROR", kLenientNumberForm, elasticPDFError, -1.0, false, 1.0, false, nullptr,
        "Error: The value of the maximum relative error of the electron elastic scattering angular PDF is missing.\n",
        "Error: Illegal value \"%s\" of the maximum relative error of the electron elastic scattering angular PDF (it "
        "must be between -1 and 1).\n",
        kTokenArgument),
    TQ_INDEXTYPE("EXC_E_INDEXTYPE", excE, -2,
                 "Error: Atomic excitation by electron impact energy index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the atomic excitation by electron impact energy index array type (it "
                 "must be less than 3 and greater than -3).\n"),
    TQ_INDEXEXP("EXC_E_INDEXEXPONENT", excE,
                "Error: Atomic excitation by electron impact energy index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the atomic excitation by electron impact energy index array size "
                "exponent (it must be less than %d and greater than -1).\n"),
    TQ_INDEXTYPE("ION_E_INDEXTYPE", ionE, -2,
                 "Error: Impact ionization primary energy index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the impact ionization primary energy index array type (it must be "
                 "less than 3 and greater than -3).\n"),
    TQ_INDEXEXP("ION_E_INDEXEXPONENT", ionE,
                "Error: Impact ionization primary energy index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the impact ionization primary energy index array size exponent (it "
                "must be less than %d and greater than -1).\n"),
    TQ_INDEXTYPE("ION_SEC_E_CDF_INDEXTYPE", ionSecECDF, -4,
                 "Error: Knock-on electron energy CDF index array type value is missing.\n",
                 "Error: Illegal value \"%s\" of the knock-on electron energy CDF index array type (it must be less "
                 "than 3 and greater than -5).\n"),
    TQ_INDEXEXP("ION_SEC_E_CDF_INDEXEXPONENT", ionSecECDF,
                "Error: Knock-on electron energy CDF index array size exponent value is missing.\n",
                "Error: Illegal value \"%s\" of the knock-on electron energy CDF index array size exponent (it must be "
                "less than %d and greater than -1).\n"),
    TQ_SWITCH_ANY("ION_SEC_E_CDF_EXCLUDEFIRST", ionSecECDFExcludeFirst,
                  "Error: Value of the option to exclude the first interval in the knock-on electron energy CDF table "
                  "is missing.\n"),

    TQ_INT("NTRACKS", kWholeIntegerForm, nTracks, 0, kIntMax,
           "Error: The number of particle tracks whose data must be written to a file is missing.\n",
           "Error: Illegal value \"%s\" of the number of particle tracks whose data must be written to a file.\n",
           kTokenArgument),
    TQ_SWITCH_ANY("SKIP_TRACKS_WITHOUT_COLLISIONS", skipTracksWithoutCollisions,
                  "Error: The value of the option to exclude the source particles that did not interact with any "
                  "material from the set of the stored particle tracks is missing.\n"),
    TQ_INT("MAXGEN_TRACKS", kWholeIntegerForm, maxGenTracks, -1, kIntMax,
           "Error: The maximum secondary particle generation number is missing.\n",
           "Error: Illegal value \"%s\" of the maximum secondary particle generation number.\n", kTokenArgument),
    TQ_INT("CHUNKSIZE_TRACKS", kWholeIntegerForm, chunkSizeTracks, 10, 1000000,
           "Error: The number of vertices in a track dataset increment is missing.\n",
           "Error: Illegal value \"%s\" of the number of vertices in a track dataset increment (\"chunk\"). It must be "
           "from %d to %d.\n",
           kTokenAndChunkLimits),
    TQ_ANY("TRACKPOS", trackPos, "Error: Particle position tracking option is missing.\n"),
    TQ_ANY("TRACK_P", trackSecondaryPhotons, "Error: Secondary photon tracking option is missing.\n"),
    TQ_ANY("TRACK_E", trackSecondaryElectrons, "Error: Secondary electron tracking option is missing.\n"),
    TQ_ANY("TRACK_P_E", trackPhotonProducedElectrons, "Error: Photon-produced electron tracking option is missing.\n"),
    TQ_ANY("TRACK_K", trackKnockOnElectrons, "Error: Knock-on electron tracking option is missing.\n"),
    TQ_ANY("TRACK_B", trackBremsPhotons, "Error: Bremsstrahlung photon tracking option is missing.\n"),
    TQ_ANY("TRACK_X", trackXrayPhotons, "Error: X-ray photon tracking option is missing.\n"),
};
#undef TQ_ANY
#undef TQ_SWITCH_ANY
#undef TQ_INT
#undef TQ_REAL
#undef TQ_INDEXTYPE
#undef TQ_INDEXEXP
constexpr int kValueCount = static_cast<int>(sizeof(transportValues) / sizeof(transportValues[0]));

// ---- SMOOTH_CDF and NCOLLISIONS_TRACK -------------------------------------------

bool HandleSmoothCdf(const char*) {
  int32_t v = 0;
  const VALUEDIRECTIVE d = {"SMOOTH_CDF",
                            kWholeIntegerForm,
                            &v,
                            nullptr,
                            -1,
                            1,
                            false,
                            false,
                            false,
                            nullptr,
                            "Error: Value of the switch specifying whether the cumulative distribution functions "
                            "should have the continuous first derivative is missing.\n",
                            "Error: Illegal value \"%s\" of the switch specifying whether the cumulative distribution "
                            "functions should have the continuous first derivative.\n",
                            kTokenArgument};
  if (!ReadValueDirective(d)) return false;
  opt.smoothCDF_elastic = v;
  opt.smoothCDF_inelastic = v < 0 ? -v : v;
  return true;
}

// The stored limit is the given maximum rounded half up, plus 2.
bool HandleCollisionsPerTrack(const char*) {
  const char* token = TakeWord();
  if (token == nullptr) {
    printf("Error: The maximum number of collisions in a stored particle track is missing.\n");
    return false;
  }
  double v = 0.0;
  if (!ReadWholeNumber(token, &v) || !(v + 2.5 >= 2.0 && v + 2.5 < kIntMax + 1.0)) {
    printf("Error: Illegal value \"%s\" of the maximum number of collisions in a stored particle track.\n", token);
    return false;
  }
  opt.nCollisionsTrack = static_cast<int32_t>(v + 2.5);
  return true;
}

struct SPECIALKEYWORD {
  const char* keyword;
  bool (*handler)(const char* word);
};
const SPECIALKEYWORD specialKeywords[] = {{"SMOOTH_CDF", HandleSmoothCdf},
                                          {"NCOLLISIONS_TRACK", HandleCollisionsPerTrack}};
constexpr int kSpecialCount = 2;

// ---- Forcing by process and element --------------------------------------------

const char* const kForcingKeywords[kForcedProcessCount] = {"FORCE_ELASTIC", "FORCE_BREMS", "FORCE_EXC",
                                                           "FORCE_ION_K",   "FORCE_ION_L", "FORCE_ION_M"};
const char* const kForcingMissing[3] = {"Error: Elastic scattering forcing switch value is missing after \"%s\".\n",
                                        "Error: Bremsstrahlung forcing switch value is missing after \"%s\".\n",
                                        "Error: Excitation forcing switch value is missing after \"%s\".\n"};
constexpr size_t kIonPrefixLength = 10;  // "FORCE_ION_"

// The recognised forcing keyword of a line.
struct FORCINGWORD {
  int process = -1;             // ForcedProcess, -1: not a forcing keyword
  const char* zText = nullptr;  // text of the element form after the keyword, null for the plain form
};

FORCINGWORD RecogniseForcing(const char* word) {
  FORCINGWORD f;
  const size_t length = std::strlen(word);
  for (int p = kForceElastic; p <= kForceExc; ++p) {
    const size_t n = std::strlen(kForcingKeywords[p]);
    if (!EqualNoCaseN(word, kForcingKeywords[p], n)) continue;
    if (length == n || PlainInteger(word + n) > 0) {
      f.process = p;
      f.zText = length == n ? nullptr : word + n;
    }
    return f;
  }
  if (length <= kIonPrefixLength || !EqualNoCaseN(word, "FORCE_ION_", kIonPrefixLength)) return f;
  const char shell = ToUpper(word[kIonPrefixLength]);
  if (shell != 'K' && shell != 'L' && shell != 'M') return f;
  const size_t n = kIonPrefixLength + 1;
  if (length == n || PlainInteger(word + n) > 0) {
    f.process = kForceIonK + (shell == 'K' ? 0 : shell == 'L' ? 1 : 2);
    f.zText = length == n ? nullptr : word + n;
  }
  return f;
}

void PrintForcingMissing(int process, const char* word) {
  if (process <= kForceExc) {
    printf(kForcingMissing[process], word);
  } else {
    printf("Error: %c shell electroionization switch value is missing after \"%s\".\n", "KLM"[process - kForceIonK],
           word);
  }
}

// The duplicate-keyword message for the element forms, which share no keyword index.
void PrintDuplicateKeyword(const char* word) {
  std::string upper(word);
  for (char& ch : upper) ch = ToUpper(ch);
  printf("Error: Keyword \"%s\" is used more than once in the input file.\n", upper.c_str());
}

FORCINGWORD currentForcing;

bool HandleForcing(const char* word) {
  const FORCINGWORD f = currentForcing;
  int64_t z = 0;
  if (f.zText != nullptr && (!ReadWholeInteger(f.zText, &z) || z < 1 || z > kMaxZ)) {
    printf("Error in the element number in \"%s\".\n", word);
    return false;
  }
  const char* token = TakeWord();
  if (token == nullptr) {
    PrintForcingMissing(f.process, word);
    return false;
  }
  if (f.zText == nullptr) {
    opt.forceDefault[f.process] = PlainInteger(token);
    return true;
  }
  if (opt.forceByZGiven[f.process][z]) {
    PrintDuplicateKeyword(word);
    return false;
  }
  opt.forceByZ[f.process][z] = PlainInteger(token);
  opt.forceByZGiven[f.process][z] = true;
  return true;
}

int valueIndex = -1;  // the value directive of the current line
bool HandleValue(const char*) { return ReadValueDirective(transportValues[valueIndex]); }

}  // namespace

bool HandleTransportDirective(const char* word) {
  valueIndex = FindValueDirective(transportValues, kValueCount, word);
  if (valueIndex >= 0) return RunDirectiveLine(kTransportKeywordBase + valueIndex, HandleValue, word);
  for (int i = 0; i < kSpecialCount; ++i) {
    if (EqualNoCase(word, specialKeywords[i].keyword)) {
      return RunDirectiveLine(kTransportKeywordBase + kValueCount + i, specialKeywords[i].handler, word);
    }
  }
  currentForcing = RecogniseForcing(word);
  if (currentForcing.process < 0) return false;
  // The element forms are checked for duplicates by element, not by keyword index.
  const int keywordIndex = currentForcing.zText == nullptr
                               ? kTransportKeywordBase + kValueCount + kSpecialCount + currentForcing.process
                               : -1;
  return RunDirectiveLine(keywordIndex, HandleForcing, word);
}

void ListTransportDirectives(KEYWORDNAMES* names) {
  for (const VALUEDIRECTIVE& d : transportValues) AddKeywordName(names, d.keyword);
  for (const SPECIALKEYWORD& k : specialKeywords) AddKeywordName(names, k.keyword);
  for (const char* forcing : kForcingKeywords) AddKeywordName(names, forcing);
  for (const char* forcing : kForcingKeywords) AddKeywordName(names, std::string(forcing) + "<Z>");
}

void ResetTransportDirectives() { directives::transportOptions = TRANSPORTOPTIONS{}; }

int32_t ForcingSwitch(int p, int z) {
  const int32_t own = directives::transportOptions.forceByZ[p][z];
  return own >= 0 ? own : directives::transportOptions.forceDefault[p];
}
