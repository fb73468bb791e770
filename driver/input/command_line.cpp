#include "driver/input/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/text.h"
#include "driver/build_variant.h"
#include "driver/directives/run_directives.h"
#include "driver/input/option_parsers.h"
#include "driver/input/options.h"
#include "driver/input/value_forms.h"
#include "language/compiler.h"
#include "platform/paths.h"

bool FindFileOnPath(const std::string& name, std::string* path) {
  *path = name;
  if (IsAbsolutePath(name)) return true;
  if (name.find(kPathSeparator) != std::string::npos) {
    std::string full = CurrentFolder() + name;
    if (!FileExists(full)) return false;
    *path = full;
    return true;
  }
  const char* searchPath = std::getenv("PATH");
  if (searchPath == nullptr) return false;
  std::string folders = searchPath;
  size_t start = 0;
  while (start <= folders.size() && !folders.empty()) {
    size_t end = folders.find(kSearchPathSeparator, start);
    if (end == std::string::npos) end = folders.size();
    std::string folder = folders.substr(start, end - start);
    // An empty entry of PATH stands for the current folder.
    std::string candidate = JoinPath(folder.empty() ? CurrentFolder() : folder, name);
    if (FileExists(candidate)) {
      *path = candidate;
      return true;
    }
    start = end + 1;
  }
  return false;
}

void FindProgramFolders(const char* programName) {
  std::string folder;
  if (!ExecutableFolderFromSystem(&folder)) {
    std::string path;
    if (programName != nullptr && FindFileOnPath(programName, &path)) {
      SplitPath(path, &folder, nullptr, nullptr);
    }
  }
  input::exeFolder = folder;
  input::dataFolder = input::exeFolder + "Data/";
  input::endfFolder = input::exeFolder + "ENDF/";
  input::bremsTableFolder = input::exeFolder + "Brems_angular_prob_dens/";
}

namespace {

constexpr int kMinArguments = 3;  // program name, in, file
constexpr int kMaxArguments = 91;
constexpr int kMaxRecordedName = 50;

// Command-line keywords, in the order in which a token is tested against them;
// the _CUDA keywords (from kRandCuda on) are those of Trenqual_CUDA only.
enum Keyword {
  kIn,
  kInEq,
  kOut,
  kOutEq,
  kAlt,
  kLog,
  kTasks,
  kDir,
  kN,
  kSeed,
  kNStreams,
  kOutputCs,
  kWriteLog,
  kCheck,
  kE,
  kRandCuda,
  kSeedCuda,
  kThreadsCuda,
  kTasksCuda,
  kTimeCuda,
  kBlockSizeCuda,
  kRatioCuda,
  kFirstCuda,
  kLastCuda,
  kUseCuda,
  kSkipCuda,
  kRCuda,
  kEmCuda,
  kEmfirstCuda,
  kEmlastCuda,
  kEmulateCuda,
  kStreamsCuda,
  kAvgBankedCuda,
  kMaxBankedRatioCuda,
  kStatsCuda,
  kHeapCuda,
  kBalanceCuda,
  kBankModeThrCuda,
  kKeywordCount
};

// The keywords this program accepts.
int KeywordCountOfBuild() { return gpuBuild ? kKeywordCount : kRandCuda; }

const char* const kKeywordNames[kKeywordCount] = {
    "in",
    "in=",
    "out",
    "out=",
    "alt",
    "log",
    "tasks",
    "dir",
    "N",
    "seed",
    "nStreams",
    "output_cs",
    "writeLog",
    "check",
    "E",
    "rand_CUDA",
    "seed_CUDA",
    "threads_CUDA",
    "tasks_CUDA",
    "time_CUDA",
    "blockSize_CUDA",
    "ratio_CUDA",
    "first_CUDA",
    "last_CUDA",
    "use_CUDA",
    "skip_CUDA",
    "r_CUDA",
    "em_CUDA",
    "emfirst_CUDA",
    "emlast_CUDA",
    "emulate_CUDA",
    "streams_CUDA",
    "avgBanked_CUDA",
    "maxBankedRatio_CUDA",
    "stats_CUDA",
    "heap_CUDA",
    "balance_CUDA",
    "bankModeThr_CUDA",
};

// in= and out= share the given-state of in and out.
int StateSlot(int keyword) {
  if (keyword == kInEq) return kIn;
  if (keyword == kOutEq) return kOut;
  return keyword;
}

struct SCAN {
  // Given-state per keyword: 0 not given, -1 waiting for its value, 1 done;
  // for the device lists the number of devices read.
  int given[kKeywordCount] = {};
  bool systemVariableGiven[kCommandLineVariables] = {};
  int waitingKeyword = -1;
  int waitingVariable = -1;
  std::vector<std::string> names;  // keyword tokens met so far, for the duplicate test
};

bool MatchesKeyword(const char* token, const char* keyword) {
  size_t length = std::strlen(keyword);
  return EqualNoCaseN(token, keyword, length) && OnlyBlanks(token + length);
}

void RecordName(SCAN& scan, const char* token) { scan.names.push_back(std::string(token).substr(0, kMaxRecordedName)); }

// A token "@d" (d = 0..9) that was not given before names a system variable.
int SystemVariableIndex(const SCAN& scan, const char* token) {
  if (token[0] != '@' || token[1] == '\0' || IsBlank(token[1])) return -1;
  int64_t d = 0;
  if (!ReadWholeInteger(token + 1, &d) || d < 0 || d > 9 || scan.systemVariableGiven[d]) return -1;
  return static_cast<int>(d);
}

bool ReadSwitch(const char* value, int low, int high, int32_t* option) {
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n) || n < low || n > high) return false;
  *option = static_cast<int32_t>(n);
  return true;
}

Status OpenInputFile(const char* name) {
  input::inputFileName = name;
  if (input::inputFile != nullptr) fclose(input::inputFile);
  // The input is read twice (rewound for the second pass) and line by line
  // to its end: a device or pipe (/dev/zero, /dev/stdin) cannot serve.
  bool notRegular = false;
  input::inputFile = OpenRegularFileForReading(name, "r", &notRegular);
  if (input::inputFile == nullptr && notRegular) {
    printf("Error: Input file \"%s\" is not a regular file.\n", name);
    return kInputError;
  }
  if (input::inputFile == nullptr) {
    printf("Input file \"%s\" could not be opened for reading.\n", name);
    return kInputError;
  }
  return kOk;
}

// The emulation keywords exclude one another.
Status CheckEmulationGroup(const SCAN& scan, int keyword) {
  bool emulateOn = scan.given[kEmulateCuda] != 0 && input::runOptions.emulate_CUDA != 0;
  bool rangeGiven = scan.given[kEmfirstCuda] != 0 || scan.given[kEmlastCuda] != 0;
  bool listRead = scan.given[kEmCuda] > 0;
  switch (keyword) {
    case kEmCuda:
      if (emulateOn || rangeGiven) {
        printf(
            "The command-line keyword \"em_CUDA\" cannot be used together with \"emulate_CUDA\", \"emfirst_CUDA\" or "
            "\"emlast_CUDA\".\n");
        return kInputError;
      }
      return kOk;
    case kEmfirstCuda:
      if (listRead || scan.given[kEmulateCuda] != 0) {
        printf(
            "The command-line keyword \"emfirst_CUDA\" cannot be used together with \"em_CUDA\" or "
            "\"emulate_CUDA\".\n");
        return kInputError;
      }
      return kOk;
    case kEmlastCuda:
      if (listRead || scan.given[kEmulateCuda] != 0) {
        printf(
            "The command-line keyword \"emlast_CUDA\" cannot be used together with \"em_CUDA\" or \"emulate_CUDA\".\n");
        return kInputError;
      }
      return kOk;
    case kEmulateCuda:
      if (listRead || rangeGiven) {
        printf(
            "The command-line keyword \"emulate_CUDA\" cannot be used together with \"em_CUDA\", \"emfirst_CUDA\" or "
            "\"emlast_CUDA\".\n");
        return kInputError;
      }
      return kOk;
    default:
      return kOk;
  }
}

// A device list keyword; its given-state becomes the number of devices read.
Status ReadDeviceListValue(SCAN& scan, int keyword, const char* value, int32_t* devices, int32_t* count,
                           const char* description) {
  Status status = ParseDeviceList(value, devices, count, description);
  scan.given[keyword] = *count;
  return status;
}

Status ReadEmulatedDevice(const char* value, const char* message, int32_t* option) {
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n) || n > kMaxCudaDevices || n < INT32_MIN + 1) {
    printf(message, value);
    return kInputError;
  }
  *option = static_cast<int32_t>(n - 1);
  return kOk;
}

// Hands the value token to its keyword's handling; 0 when accepted.
Status ReadKeywordValue(SCAN& scan, int keyword, const char* value) {
  COMMANDLINEGIVEN& given = input::commandLineGiven;
  switch (keyword) {
    case kIn:
    case kInEq:
      return OpenInputFile(value);
    case kOut:
    case kOutEq:
      input::outputFileName = value;
      given.out = true;
      return kOk;
    case kAlt:
      input::altFileName = value;
      given.alt = true;
      return kOk;
    case kLog:
      input::logFileName = value;
      given.log = true;
      return kOk;
    case kTasks:
      return (given.tasks = ParseTasks(value) == 0) ? kOk : kInputError;
    case kDir:
      return (given.dir = ParseEndfDir(value) == 0) ? kOk : kInputError;
    case kN:
      return (given.N = ParseN(value) == 0) ? kOk : kInputError;
    case kSeed:
      return (given.seed = ParseSeed(value) == 0) ? kOk : kInputError;
    case kNStreams:
      return (given.nStreams = ParseNStreams(value) == 0) ? kOk : kInputError;
    case kOutputCs:
      if (ReadSwitch(value, 0, 1, &input::runOptions.output_cs)) return kOk;
      printf("Invalid value of the option for cross section output \"%s\" (should be 0 or 1).\n", value);
      return kInputError;
    case kWriteLog:
      if (ReadSwitch(value, 0, 1, &input::runOptions.writeLog)) return kOk;
      printf(
          "Invalid value of the option for logging the programmatically generated input directives (should be 1 or "
          "0).\n");
      return kInputError;
    case kCheck:
      if (ReadSwitch(value, -1, 1, &input::runOptions.check)) return kOk;
      printf("Invalid value of the option for checking of file with input directives \"%s\" (should be 1, 0 or -1).\n",
             value);
      return kInputError;
    case kE:
      if (ReadExactNumber(value, &input::runOptions.sourceEnergy) && input::runOptions.sourceEnergy >= 0.0) {
        input::runOptions.sourceEnergyGiven = given.E = true;
        SetCommandLineEnergy(input::runOptions.sourceEnergy);
        return kOk;
      }
      printf("Error: Invalid energy value \"%s\".\n", value);
      return kInputError;
    case kRandCuda:
      return (given.rand_CUDA = ParseRandCuda(value) == 0) ? kOk : kInputError;
    case kSeedCuda:
      return (given.seed_CUDA = ParseSeedCuda(value) == 0) ? kOk : kInputError;
    case kThreadsCuda:
      return (given.threads_CUDA = ParseThreadsCuda(value) == 0) ? kOk : kInputError;
    case kTasksCuda:
      return (given.tasks_CUDA = ParseTasksCuda(value) == 0) ? kOk : kInputError;
    case kTimeCuda:
      return (given.time_CUDA = ParseTimeCuda(value) == 0) ? kOk : kInputError;
    case kBlockSizeCuda:
      return (given.blockSize_CUDA = ParseBlockSizeCuda(value) == 0) ? kOk : kInputError;
    case kRatioCuda:
      return (given.ratio_CUDA = ParseRatioCuda(value) == 0) ? kOk : kInputError;
    case kFirstCuda:
      return (given.first_CUDA = ParseFirstCuda(value) == 0) ? kOk : kInputError;
    case kLastCuda:
      return (given.last_CUDA = ParseLastCuda(value) == 0) ? kOk : kInputError;
    case kUseCuda:
      given.use_CUDA = true;
      return ReadDeviceListValue(scan, keyword, value, input::runOptions.use_CUDA, &input::runOptions.nUse_CUDA,
                                 "the used CUDA devices on the command line");
    case kSkipCuda:
      given.skip_CUDA = true;
      return ReadDeviceListValue(scan, keyword, value, input::runOptions.skip_CUDA, &input::runOptions.nSkip_CUDA,
                                 "the skipped CUDA devices on the command line");
    case kEmCuda:
      return ReadDeviceListValue(scan, keyword, value, input::runOptions.em_CUDA, &input::runOptions.nEm_CUDA,
                                 "the emulated CUDA devices on the command line");
    case kRCuda:
      given.r_CUDA = true;
      return ParseRatioList(value, input::runOptions.r_CUDA, &input::runOptions.nR_CUDA,
                            "CUDA device ratios on the command line");
    case kEmfirstCuda:
      return ReadEmulatedDevice(value, "Invalid number of the first emulated CUDA device \"%s\".\n",
                                &input::runOptions.emfirst_CUDA);
    case kEmlastCuda:
      return ReadEmulatedDevice(value, "Invalid number of the last emulated CUDA device \"%s\".\n",
                                &input::runOptions.emlast_CUDA);
    case kEmulateCuda:
      if (ReadSwitch(value, 0, 1, &input::runOptions.emulate_CUDA)) return kOk;
      printf("Invalid value of the option for emulation of all CUDA devices \"%s\" (should be 0 or 1).\n", value);
      return kInputError;
    case kStreamsCuda:
      return (given.streams_CUDA = ParseStreamsCuda(value) == 0) ? kOk : kInputError;
    case kAvgBankedCuda:
      return (given.avgBanked_CUDA = ParseAvgBankedCuda(value) == 0) ? kOk : kInputError;
    case kMaxBankedRatioCuda:
      return (given.maxBankedRatio_CUDA = ParseMaxBankedRatioCuda(value) == 0) ? kOk : kInputError;
    case kStatsCuda:
      return (given.stats_CUDA = ParseStatsCuda(value) == 0) ? kOk : kInputError;
    case kHeapCuda:
      return (given.heap_CUDA = ParseHeapCuda(value) == 0) ? kOk : kInputError;
    case kBalanceCuda:
      return (given.balance_CUDA = ParseBalanceCuda(value) == 0) ? kOk : kInputError;
    case kBankModeThrCuda:
      return (given.bankModeThr_CUDA = ParseBankModeThrCuda(value) == kOk) ? kOk : kInputError;
    default:
      return kInputError;
  }
}

// A token in the keyword state: a system variable, a keyword, or an error.
Status ReadKeywordToken(SCAN& scan, const char* token) {
  int variable = SystemVariableIndex(scan, token);
  if (variable >= 0) {
    RecordName(scan, token);
    scan.waitingVariable = variable;
    return kOk;
  }
  for (int keyword = 0; keyword < KeywordCountOfBuild(); ++keyword) {
    int slot = StateSlot(keyword);
    if (scan.given[slot] != 0 || !MatchesKeyword(token, kKeywordNames[keyword])) continue;
    if (CheckEmulationGroup(scan, keyword) != 0) return kInputError;
    RecordName(scan, token);
    scan.given[slot] = -1;
    scan.waitingKeyword = keyword;
    return kOk;
  }
  std::string trimmed = TrimmedRight(token);
  for (const std::string& name : scan.names) {
    if (EqualNoCase(TrimmedRight(name), trimmed)) {
      printf("Duplicate command-line keyword \"%s\".\n", token);
      return kInputError;
    }
  }
  printf("Invalid command-line keyword \"%s\".\n", token);
  return kInputError;
}

Status ReadValueToken(SCAN& scan, const char* token) {
  if (scan.waitingVariable >= 0) {
    double value = 0.0;
    if (!ReadWholeNumber(token, &value)) {
      printf("Invalid value of a system variable \"%s\" (should be a number).\n", token);
      return kInputError;
    }
    language::compiler->SystemVariable(scan.waitingVariable) = value;
    scan.systemVariableGiven[scan.waitingVariable] = true;
    scan.waitingVariable = -1;
    return kOk;
  }
  int keyword = scan.waitingKeyword;
  int slot = StateSlot(keyword);
  scan.waitingKeyword = -1;
  scan.given[slot] = 1;  // a device list overwrites this with its count
  return ReadKeywordValue(scan, keyword, token);
}

}  // namespace

Status ParseCommandLine(int argc, const char* const* argv) {
  if (argc < kMinArguments) {
    printf("Some command-line arguments are missing.\n");
    return kInputError;
  }
  if (argc > kMaxArguments) {
    printf("The number of command-line arguments is too large.\n");
    return kInputError;
  }
  SCAN scan;
  for (int i = 1; i < argc; ++i) {
    const char* token = SkipBlanks(argv[i]);
    bool expectingValue = scan.waitingKeyword >= 0 || scan.waitingVariable >= 0;
    int result = expectingValue ? ReadValueToken(scan, token) : ReadKeywordToken(scan, token);
    if (result != 0) return kInputError;
  }
  if (scan.waitingKeyword >= 0 || scan.waitingVariable >= 0) {
    printf("Some command-line arguments are missing.\n");
    return kInputError;
  }
  if (scan.given[kIn] == 0) {
    printf("Input file name is missing.\n");
    return kInputError;
  }
  return kOk;
}

KEYWORDNAMES CommandLineKeywordNames() {
  KEYWORDNAMES names;
  for (int keyword = 0; keyword < kKeywordCount; ++keyword) {
    names.push_back({kKeywordNames[keyword], keyword >= kRandCuda});
  }
  AddKeywordName(&names, "@<d>");
  return names;
}
