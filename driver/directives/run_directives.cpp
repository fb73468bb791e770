#include "driver/directives/run_directives.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "driver/build_variant.h"
#include "driver/directives/directive_keywords.h"
#include "driver/input/input_reader.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/value_forms.h"

namespace directives {
TALLYOUTPUTOPTIONS tallyOutputOptions;
SPECTRUM sourceSpectrum;
}  // namespace directives

namespace {

// A line that is accepted without reading the rest of its values.
void AcceptSkippingRest() {
  SkipRestOfLine();
  input::lineDone = true;
}

// ---------------------------------------------------------------- value directives

using ValueParser = Status (*)(const char*);

struct VALUEDIRECTIVE {
  const char* keyword;
  ValueParser parser;
  bool COMMANDLINEGIVEN::*given;
  bool restOfLine;  // the value is the rest of the line (device lists)
};

Status ParseUseCuda(const char* value) {
  return ParseDeviceList(value, input::runOptions.use_CUDA, &input::runOptions.nUse_CUDA,
                         "the used CUDA devices in the input file");
}
Status ParseSkipCuda(const char* value) {
  return ParseDeviceList(value, input::runOptions.skip_CUDA, &input::runOptions.nSkip_CUDA,
                         "the skipped CUDA devices in the input file");
}
Status ParseRCuda(const char* value) {
  return ParseRatioList(value, input::runOptions.r_CUDA, &input::runOptions.nR_CUDA,
                        "CUDA device ratios in the input file");
}

// The directives of both programs first, then those of Trenqual_CUDA only
// (from kFirstGpuValueDirective on).

const VALUEDIRECTIVE kValueDirectives[] = {
    {"TASKS", ParseTasks, &COMMANDLINEGIVEN::tasks, false},
    {"N", ParseN, &COMMANDLINEGIVEN::N, false},
    {"SEED", ParseSeed, &COMMANDLINEGIVEN::seed, false},
    {"NSTREAMS", ParseNStreams, &COMMANDLINEGIVEN::nStreams, false},
    {"RAND_CUDA", ParseRandCuda, &COMMANDLINEGIVEN::rand_CUDA, false},
    {"SEED_CUDA", ParseSeedCuda, &COMMANDLINEGIVEN::seed_CUDA, false},
    {"TASKS_CUDA", ParseTasksCuda, &COMMANDLINEGIVEN::tasks_CUDA, false},
    {"THREADS_CUDA", ParseThreadsCuda, &COMMANDLINEGIVEN::threads_CUDA, false},
    {"TIME_CUDA", ParseTimeCuda, &COMMANDLINEGIVEN::time_CUDA, false},
    {"BLOCKSIZE_CUDA", ParseBlockSizeCuda, &COMMANDLINEGIVEN::blockSize_CUDA, false},
    {"RATIO_CUDA", ParseRatioCuda, &COMMANDLINEGIVEN::ratio_CUDA, false},
    {"FIRST_CUDA", ParseFirstCuda, &COMMANDLINEGIVEN::first_CUDA, false},
    {"LAST_CUDA", ParseLastCuda, &COMMANDLINEGIVEN::last_CUDA, false},
    {"USE_CUDA", ParseUseCuda, &COMMANDLINEGIVEN::use_CUDA, true},
    {"SKIP_CUDA", ParseSkipCuda, &COMMANDLINEGIVEN::skip_CUDA, true},
    {"R_CUDA", ParseRCuda, &COMMANDLINEGIVEN::r_CUDA, true},
    {"STREAMS_CUDA", ParseStreamsCuda, &COMMANDLINEGIVEN::streams_CUDA, false},
    {"AVGBANKED_CUDA", ParseAvgBankedCuda, &COMMANDLINEGIVEN::avgBanked_CUDA, false},
    {"MAXBANKEDRATIO_CUDA", ParseMaxBankedRatioCuda, &COMMANDLINEGIVEN::maxBankedRatio_CUDA, false},
    {"STATS_CUDA", ParseStatsCuda, &COMMANDLINEGIVEN::stats_CUDA, false},
    {"HEAP_CUDA", ParseHeapCuda, &COMMANDLINEGIVEN::heap_CUDA, false},
    {"BALANCE_CUDA", ParseBalanceCuda, &COMMANDLINEGIVEN::balance_CUDA, false},
    {"BANKMODETHR_CUDA", ParseBankModeThrCuda, &COMMANDLINEGIVEN::bankModeThr_CUDA, false},
};
constexpr int kValueDirectiveCount = static_cast<int>(sizeof kValueDirectives / sizeof kValueDirectives[0]);
constexpr int kFirstGpuValueDirective = 4;

// The value directives this program accepts.
int ValueDirectiveCountOfBuild() { return gpuBuild ? kValueDirectiveCount : kFirstGpuValueDirective; }

// Keyword indices of this module.
enum RunKeyword {
  kTalliesOutputKeyword = kRunKeywordBase + kValueDirectiveCount,
  kTalliesOutputIntervalKeyword,
  kOutKeyword,
  kLogKeyword,
  kAltKeyword,
};

// Skipped in the first pass; in the second the command line wins, else the
// value goes to the option's parser.
void HandleValueDirective(int index) {
  const VALUEDIRECTIVE& directive = kValueDirectives[index];
  input::lastKeyword = kRunKeywordBase + index;
  if (input::inputPass == 0) {
    AcceptSkippingRest();
    return;
  }
  if (input::commandLineGiven.*directive.given) {
    PrintOverrideNotice(directive.keyword);
    AcceptSkippingRest();
    return;
  }
  const char* value = directive.restOfLine ? RestOfLine() : NextWord();
  input::lineDone = directive.parser(value) == 0;
  if (!input::lineDone) return;
  // The device range options keep the mark that tells the checks they were set.
  if (directive.given == &COMMANDLINEGIVEN::first_CUDA || directive.given == &COMMANDLINEGIVEN::last_CUDA) {
    input::commandLineGiven.*directive.given = true;
  }
  SkipRestOfLine();
}

// ---------------------------------------------------------------- tally output

// Both tally-output options are read in both passes, stored in the first and
// checked again in the second, which alone prints the message.
bool TallyOutputValueAccepted(const char* value, bool valid, const char* badValueMessage) {
  if (value != nullptr && valid) {
    AcceptSkippingRest();
    return true;
  }
  if (input::inputPass == 1) {
    printf("%s",
           value == nullptr
               ? "Error: The value of the option to update the tally data files during the simulation is missing.\n"
               : badValueMessage);
  }
  return false;
}

void HandleTalliesOutput() {
  input::lastKeyword = kTalliesOutputKeyword;
  const char* value = NextWord();
  int mode = value ? std::atoi(value) : -1;
  bool accepted = TallyOutputValueAccepted(
      value, mode >= 0 && mode <= 2,
      "Error: Incorrect value of the option to update the tally data files during the simulation (it must be 0 - no "
      "output, 1 - output the control tallies only, or 2 - output all tallies).\n");
  if (accepted && input::inputPass == 0) directives::tallyOutputOptions.mode = mode;
}

void HandleTalliesOutputInterval() {
  input::lastKeyword = kTalliesOutputIntervalKeyword;
  const char* value = NextWord();
  double interval = value ? std::atof(value) : 0.0;
  bool accepted = TallyOutputValueAccepted(
      value, interval >= 1.0,
      "Error: Incorrect value of the tally data update interval (it cannot be less than 1 s).\n");
  if (accepted && input::inputPass == 0) directives::tallyOutputOptions.interval = interval;
}

// ---------------------------------------------------------------- file names

std::string TrimmedName(const char* text) { return TrimmedRight(SkipBlanks(text)); }

void HandleOut() {
  input::lastKeyword = kOutKeyword;
  if (input::commandLineGiven.out) {
    if (input::inputPass == 1) PrintOverrideNotice("OUT");
    AcceptSkippingRest();
    return;
  }
  const char* rest = RestOfLine();
  std::string name = rest ? TrimmedName(rest) : "";
  if (name.empty()) {
    printf("Error: Output file name is missing.\n");
    input::inputExitCode = 1;
    return;
  }
  input::outputFileName = name;
  input::lineDone = true;
}

void HandleLog() {
  input::lastKeyword = kLogKeyword;
  bool first = input::directiveCount == 1;
  if (input::inputPass == 0) {
    if (input::runOptions.writeLog && first) {
      const char* rest = RestOfLine();
      if (ParseLogFile(rest ? rest : "", nullptr) != 0) {
        input::inputExitCode = 1;
        return;
      }
    } else {
      SkipRestOfLine();
    }
    input::lineDone = true;
    return;
  }
  if (!first) {
    printf(
        "Error: If the input file contains the log file name, then the \"LOG\" keyword must be the first keyword in "
        "the input file.\n");
    input::inputExitCode = 1;
    return;
  }
  if (input::commandLineGiven.log) {
    PrintOverrideNotice("LOG");
    AcceptSkippingRest();
    return;
  }
  const char* rest = RestOfLine();
  if (rest == nullptr || TrimmedName(rest).empty()) {
    printf("Error: Log file name is missing.\n");
    input::inputExitCode = 1;
    return;
  }
  input::lineDone = true;
}

void HandleAlt() {
  input::lastKeyword = kAltKeyword;
  if (input::inputPass == 0) {
    AcceptSkippingRest();
    return;
  }
  if (input::commandLineGiven.alt) {
    PrintOverrideNotice("ALT");
    AcceptSkippingRest();
    return;
  }
  const char* rest = RestOfLine();
  std::string name = rest ? TrimmedName(rest) : "";
  if (name.empty()) {
    printf("Error: Alternative cross sections information file name is missing.\n");
    return;
  }
  input::altFileName = name;
  input::lineDone = true;
}

// The directives with handlers of their own.
struct OTHERDIRECTIVE {
  const char* keyword;
  void (*handler)();
};
const OTHERDIRECTIVE kOtherDirectives[] = {{"TALLIES_OUTPUT", HandleTalliesOutput},
                                           {"TALLIES_OUTPUT_INTERVAL", HandleTalliesOutputInterval},
                                           {"OUT", HandleOut},
                                           {"LOG", HandleLog},
                                           {"ALT", HandleAlt}};

}  // namespace

bool HandleRunDirective(const char* word) {
  for (int i = 0; i < ValueDirectiveCountOfBuild(); ++i) {
    if (EqualNoCase(word, kValueDirectives[i].keyword)) {
      HandleValueDirective(i);
      return true;
    }
  }
  for (const OTHERDIRECTIVE& other : kOtherDirectives) {
    if (EqualNoCase(word, other.keyword)) {
      other.handler();
      return true;
    }
  }
  return false;
}

void ListRunDirectives(KEYWORDNAMES* names) {
  for (int i = 0; i < kValueDirectiveCount; ++i) {
    names->push_back({kValueDirectives[i].keyword, i >= kFirstGpuValueDirective});
  }
  for (const OTHERDIRECTIVE& other : kOtherDirectives) AddKeywordName(names, other.keyword);
}

// ---------------------------------------------------------------- spectrum

namespace {

constexpr const char* kSpectrumSeparators = " &\t\n";

// A spectrum number: consumed whole (a trailing '&' allowed), not negative.
bool ReadSpectrumNumber(const char* token, double* value) {
  char* end = nullptr;
  *value = DecimalNumber(token, &end);
  if (end == token || !std::isfinite(*value) || *value < 0.0) return false;
  return *end == '\0' || (*end == '&' && end[1] == '\0');
}

std::string WithoutContinuation(const char* token) {
  std::string text = token;
  if (!text.empty() && text.back() == '&') text.pop_back();
  return text;
}

// Stores one number of the spectrum (second pass); false after an error.
bool StoreSpectrumNumber(double value) {
  SPECTRUM& spectrum = directives::sourceSpectrum;
  if (spectrum.fromCommandLine) {
    if (!spectrum.overrideNoticePrinted) {
      printf(
          "Definition of the source energy spectrum in the input file overridden by the corresponding command-line "
          "argument.\n");
      spectrum.overrideNoticePrinted = true;
    }
    return true;
  }
  if (spectrum.count >= kMaxSpectrumNumbers) {
    printf("Error: Number of energy values exceeds %d.\n", kMaxEnergies);
    return false;
  }
  spectrum.numbers[spectrum.count++] = value;
  return true;
}

}  // namespace

void HandleSpectrumLine(const char* word) {
  input::lastKeyword = -1;
  const char* token = word;
  while (token != nullptr) {
    double value = 0.0;
    if (!ReadSpectrumNumber(token, &value)) {
      if (input::inputPass == 1)
        printf("Error: Invalid number or input directive \"%s\".\n", WithoutContinuation(token).c_str());
      return;
    }
    if (input::inputPass == 1 && !StoreSpectrumNumber(value)) {
      input::inputExitCode = 1;
      return;
    }
    token = ReadInputLine(input::inputFile, input::outputFile, nullptr, kSpectrumSeparators);
  }
  input::lineDone = true;
}

void SetCommandLineEnergy(double energy) {
  directives::sourceSpectrum.numbers[0] = energy;
  directives::sourceSpectrum.count = 1;
  directives::sourceSpectrum.fromCommandLine = true;
}

void ResetRunDirectives() {
  directives::tallyOutputOptions = TALLYOUTPUTOPTIONS{};
  directives::sourceSpectrum.count = 0;
  directives::sourceSpectrum.fromCommandLine = false;
  directives::sourceSpectrum.overrideNoticePrinted = false;
  directives::sourceSpectrum.nEnerg = 0;
  directives::sourceSpectrum.energy = directives::sourceSpectrum.weight = nullptr;
}

Status FinishSpectrum(int eContiguous) {
  SPECTRUM& spectrum = directives::sourceSpectrum;
  double* numbers = spectrum.numbers;
  if (spectrum.count == 0) {
    printf("Error: The source energy spectrum is not defined.\n");
    return kInputError;
  }
  if (spectrum.count == 1) {
    spectrum.nEnerg = 1;
    spectrum.energy = numbers;
    spectrum.weight = numbers + 1;
    spectrum.weight[0] = 1.0;
    spectrum.cumulativeWeight[0] = 1.0;
    spectrum.highestSourceEnergy = spectrum.lowestSourceEnergy = numbers[0];
    return kOk;
  }
  if (spectrum.count % 2 != 0) {
    printf("Error: Energy spectrum weight value corresponding to the last energy bin is missing.\n");
    return kInputError;
  }
  int n = spectrum.count / 2;
  if (!eContiguous) {
    // Pairs of energy and weight become the energies followed by the weights.
    std::vector<double> pairs(numbers, numbers + spectrum.count);
    for (int i = 0; i < n; ++i) {
      numbers[i] = pairs[2 * i];
      numbers[n + i] = pairs[2 * i + 1];
    }
  }
  double* energy = numbers;
  double* weight = numbers + n;
  double* cumulative = spectrum.cumulativeWeight;
  double sum = 0.0;
  cumulative[0] = 0.0;
  for (int i = 1; i < n; ++i) {
    if (!(energy[i] > energy[i - 1])) {
      printf("Error: Energy values are not strictly increasing (%-.14g <= %-.14g).\n", energy[i], energy[i - 1]);
      return kInputError;
    }
    sum += weight[i];
    cumulative[i] = sum;
  }
  if (weight[0] != 0.0) {
    printf("Error: The weight value corresponding to the first energy value is non-zero.\n");
    return kInputError;
  }
  if (sum == 0.0) {
    printf("Error: Energy spectrum is zero.\n");
    return kInputError;
  }
  bool lowestFound = false;
  for (int i = 0; i < n; ++i) {
    if (weight[i] > 0.0) {
      spectrum.highestSourceEnergy = energy[i];
      if (!lowestFound) spectrum.lowestSourceEnergy = energy[i - 1];
      lowestFound = true;
    }
    weight[i] /= sum;
    cumulative[i] /= sum;
  }
  cumulative[n - 1] = 1.0;
  spectrum.nEnerg = n;
  spectrum.energy = energy;
  spectrum.weight = weight;
  return kOk;
}
