#include "driver/input/option_parsers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/build_variant.h"
#include "driver/input/option_rules.h"
#include "driver/input/options.h"
#include "driver/input/value_forms.h"
#include "platform/paths.h"

// ------------------------------------------------------------ CPU options

namespace {

// Trenqual_CUDA may run on the devices alone (0 CPU threads) and takes more.
const OPTIONRULE kTasksRule = {[](double n) { return n >= 1 && n <= kMaxCpuThreads; },
                               "Error: Number of threads is missing.\n",
                               "Error: Invalid number of threads \"%s\".\n",
                               "Error: Invalid number of threads %lld (should be greater than 0 and less than %d).\n",
                               kRangeLongAndLimit,
                               kMaxCpuThreads + 1};
const OPTIONRULE kTasksRuleGpuBuild = {
    [](double n) { return n >= 0 && n <= kMaxCpuThreadsGpuBuild; },
    "Error: Number of CPU threads is missing.\n",
    "Error: Invalid number of CPU threads \"%s\".\n",
    "Error: Invalid number of CPU threads %lld (should be non-negative and less than %d).\n",
    kRangeLongAndLimit,
    kMaxCpuThreadsGpuBuild + 1};

const OPTIONRULE kNStreamsRule = {[](double n) { return n >= 1 && n <= INT32_MAX; },
                                  "Error: The number of streams of random numbers is missing.\n",
                                  "Error: Invalid number of streams of random numbers \"%s\".\n"};

}  // namespace

Status ParseTasks(const char* value) {
  return ReadIntegerOption(value, gpuBuild ? kTasksRuleGpuBuild : kTasksRule, &input::runOptions.nThreads);
}

Status ParseEndfDir(const char* value) {
  if (value == nullptr || OnlyBlanks(value)) {
    printf("Error: ENDF directory name is missing.\n");
    return kInputError;
  }
  std::string folder = WithTrailingSeparator(TrimmedRight(SkipBlanks(value)));
  // A relative folder is taken from the program's own folder.
  input::endfFolder = IsAbsolutePath(folder) ? folder : input::exeFolder + folder;
  return kOk;
}

Status ParseN(const char* value) {
  if (value == nullptr) {
    printf("Error: The number of particles is missing.\n");
    return kInputError;
  }
  double v = 0.0;
  // Counts beyond the 64-bit range cannot be held and are refused as malformed.
  if (!ReadWholeNumber(value, &v) || v + 0.5 >= 9223372036854775807.0) {
    printf("Error: Invalid number of particles \"%s\".\n", value);
    return kInputError;
  }
  if (v + 0.5 < 1.0) {
    printf("Error: The number of particles is less than 1.\n");
    return kInputError;
  }
  // A fraction of a history is no count ("2.5" would silently run 3).
  if (v != std::floor(v)) {
    printf("Error: Invalid number of particles \"%s\".\n", value);
    return kInputError;
  }
  input::runOptions.nParticles = static_cast<int64_t>(v + 0.5);
  return kOk;
}

Status ParseSeed(const char* value) {
  constexpr int kMaxSeed = 30081;  // the upper seed limit of the RANMAR generator
  if (value == nullptr) {
    printf("Error: Value of the seed of the random number generator is missing.\n");
    return kInputError;
  }
  int32_t seed = PlainInteger(value);
  if (seed < 0 || seed > kMaxSeed) {
    printf(
        "Error: Illegal value of the seed of the random number generator \"%s\" (should be from 0 to %d inclusive).\n",
        value, kMaxSeed);
    return kInputError;
  }
  input::runOptions.seed = seed;
  return kOk;
}

Status ParseNStreams(const char* value) { return ReadIntegerOption(value, kNStreamsRule, &input::runOptions.nStreams); }

// ------------------------------------------------------------ log file

Status CheckWritableTarget(const std::string& name, const char* kind) {
  if (!AbsentOrRegularFile(name)) {
    printf("Error: %s file \"%s\" is not a regular file (a device, pipe or folder cannot hold it).\n", kind,
           name.c_str());
    return kInputError;
  }
  std::string folder;
  SplitPath(name, &folder, nullptr, nullptr);
  if (IsDeviceFolder(folder)) {
    printf("Error: %s file \"%s\" is in a folder of devices, where no result folder is made.\n", kind, name.c_str());
    return kInputError;
  }
  return kOk;
}

Status CheckOpenedTarget(FILE** stream, const std::string& name, const char* kind) {
  if (IsRegularStream(*stream)) return kOk;
  fclose(*stream);
  *stream = nullptr;
  printf("Error: %s file \"%s\" is not a regular file (a device, pipe or folder cannot hold it).\n", kind,
         name.c_str());
  return kInputError;
}

Status OpenLogFile() {
  input::logFailed = true;
  if (EqualNoCase(input::logFileName, input::inputFileName)) {
    printf("Error: Log file name is the same as input file name (\"%s\").\n", input::inputFileName.c_str());
    return kInputError;
  }
  if (input::logFile != nullptr) fclose(input::logFile);
  input::logFile = nullptr;
  if (CheckWritableTarget(input::logFileName, "Log") != kOk) return kInputError;
  input::logFile = fopen(input::logFileName.c_str(), "w");
  if (input::logFile == nullptr) {
    printf("Log file \"%s\" could not be opened for writing.\n", input::logFileName.c_str());
    return kInputError;
  }
  if (CheckOpenedTarget(&input::logFile, input::logFileName, "Log") != kOk) return kInputError;
  input::logFailed = false;
  fputs(input::pendingLogLine.c_str(), input::logFile);
  return kOk;
}

Status ParseLogFile(const char* value, const char* line) {
  std::string name;
  if (value != nullptr) {
    name = value;
  } else if (line != nullptr) {
    const char* text = SkipBlanks(line);
    if (!EqualNoCaseN(text, "LOG", 3) || !(IsBlank(text[3]) || text[3] == '\0' || text[3] == '\n')) {
      return kOk;  // no LOG directive
    }
    name = SkipBlanks(text + 3);
  }
  size_t newline = name.find('\n');
  if (newline != std::string::npos) name.erase(newline);
  if (name.empty()) {
    printf("Error: Log file name is missing.\n");
    input::logFailed = true;
    return kInputError;
  }
  if (!input::commandLineGiven.log) input::logFileName = TrimmedRight(SkipBlanks(name.c_str()));
  return OpenLogFile();
}

// ------------------------------------------------------------ GPU options

namespace {

bool AnyValue(double) { return true; }

constexpr double kTwoTo64 = 18446744073709551616.0;

const OPTIONRULE kRandCudaRule = {
    [](double n) { return n >= 1 && n <= 2; },
    "Error: Specification of the random number generator type for CUDA devices is missing.\n",
    "Error: Invalid CUDA random number generator type \"%s\" (should be 1 or 2).\n",
    "Error: Illegal random number generator type for CUDA devices (should be 1 or 2).\n"};
// The rounded seed must stay below 2^64 as well as the value.
const OPTIONRULE kSeedCudaRule = {[](double v) { return !(v < 0.5 || v >= kTwoTo64 || v + 0.5 >= kTwoTo64); },
                                  "Error: Value of the seed of the CUDA random number generator is missing.\n",
                                  "Error: Invalid value of the seed of the CUDA random number generator \"%s\".\n",
                                  "Error: Illegal value of the seed of the CUDA random number generator (should be "
                                  "positive and less than 18446744073709551616).\n"};
// GPU task and thread counts per device share their form and range rules.
constexpr int kMaxPerDevice = 65536;
bool IsCountPerDevice(double n) { return n >= 0 && n <= kMaxPerDevice; }
const OPTIONRULE kTasksCudaRule = {IsCountPerDevice,
                                   "Error: Number of GPU tasks per device is missing.\n",
                                   "Error: Invalid number of GPU tasks \"%s\".\n",
                                   "Error: Invalid number of GPU tasks %d (should be non-negative and less than %d).\n",
                                   kRangeIntAndLimit,
                                   kMaxPerDevice + 1};
const OPTIONRULE kThreadsCudaRule = {
    IsCountPerDevice,
    "Error: Number of GPU threads per device is missing.\n",
    "Error: Invalid number of GPU threads \"%s\".\n",
    "Error: Invalid number of GPU threads %d (should be non-negative and less than %d).\n",
    kRangeIntAndLimit,
    kMaxPerDevice + 1};
const OPTIONRULE kTimeCudaRule = {
    [](double v) { return v > 0.0; }, "Error: CUDA kernel execution time (in milliseconds) is missing.\n",
    "Error: Invalid CUDA kernel duration \"%s\".\n",
    "Error: Invalid CUDA kernel duration (in milliseconds) %g (should be greater than 0).\n", kRangeNumber};
// The block size has two range rules of its own (ParseBlockSizeCuda).
const OPTIONRULE kBlockSizeCudaRule = {AnyValue, "Error: number of CUDA threads in one block is missing.\n",
                                       "Error: Invalid block size for CUDA kernel execution \"%s\".\n"};
const OPTIONRULE kRatioCudaRule = {
    [](double v) { return v > 0.0 && v < 1.0; },
    "Error: Fraction of particle histories assigned to CUDA devices is missing.\n",
    "Error: Invalid GPU/total workload ratio \"%s\".\n",
    "Error: Invalid GPU/total workload ratio %g (should be greater than 0 and less than 1).\n", kRangeNumber};
// Device numbers count from 1; the range is tested against the present
// devices after the input.
bool IsDeviceNumber(double n) { return n >= INT32_MIN + 1 && n <= kMaxCudaDevices; }
const OPTIONRULE kFirstCudaRule = {IsDeviceNumber, "Error: Sequence number of the first used CUDA device is missing.\n",
                                   "Error: Invalid number of the first used CUDA device \"%s\".\n"};
const OPTIONRULE kLastCudaRule = {IsDeviceNumber,
                                  "Error: Error: Sequence number of the last used CUDA device is missing.\n",
                                  "Error: Invalid number of the last used CUDA device \"%s\".\n"};
const OPTIONRULE kStreamsCudaRule = {[](double n) { return n >= 1 && n <= INT32_MAX; },
                                     "Error: Number of random number streams per one CUDA task is missing.\n",
                                     "Error: Invalid number of streams of random numbers per one task \"%s\".\n"};
// A count of at least 1, or a fraction of device memory strictly between -1 and 0.
const OPTIONRULE kAvgBankedCudaRule = {
    [](double v) { return v >= 1.0 || (v > -1.0 && v < 0.0); },
    "Error: Average number of banked particles per one CUDA task is missing\n   (note: a negative number would mean "
    "the fraction of the global memory allocated for all banked particles on each CUDA device).\n",
    "Error: Invalid value of the average number of banked particles per one CUDA task \"%s\"\n  (note: a negative "
    "number would mean the fraction of the global memory allocated for all banked particles on each CUDA device).\n"};
const OPTIONRULE kMaxBankedRatioCudaRule = {
    [](double v) { return !(v < 1.0); },
    "Error: Value of the ratio of the maximum and average numbers of banked particles per one CUDA task is missing.\n",
    "Error: Invalid value of the ratio of the maximum and average numbers of banked particles per one CUDA task "
    "\"%s\".\n"};
const OPTIONRULE kStatsCudaRule = {[](double n) { return n >= 0 && n <= 3; },
                                   "Error: Value of the CUDA statistics output option is missing.\n",
                                   "Error: Invalid CUDA statistice option value \"%s\" (should be from 0 to 3).\n"};
const OPTIONRULE kHeapCudaRule = {[](double n) { return n >= 0 && n <= 2; },
                                  "Error: Error: Value of the CUDA heap option is missing.\n",
                                  "Error: Invalid CUDA heap option value \"%s\" (should be 0, 1 or 2).\n"};
const OPTIONRULE kBalanceCudaRule = {
    [](double n) { return n >= 0 && n <= 1; }, "Error: Value of the CUDA workload balancing option is missing.\n",
    "Error: Invalid CUDA workload balancing option value \"%s\" (should be 0 or 1).\n"};
const OPTIONRULE kBankModeThrCudaRule = {
    [](double v) { return v >= 0.0 && v <= 1.0; },
    "Error: Value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron banking "
    "mode is missing.\n",
    "Error: Invalid value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron "
    "banking mode \"%s\" (should be between 0 and 1).\n"};

bool IsPowerOfTwo(int64_t n) {
  return n >= 1 &&
         std::fabs(std::log2(static_cast<double>(n)) - std::nearbyint(std::log2(static_cast<double>(n)))) <= 1e-6;
}

}  // namespace

Status ParseRandCuda(const char* value) {
  int64_t n = 0;
  if (Status status = ReadIntegerOption(value, kRandCudaRule, &n)) return status;
  if (n == 2) {
    printf(
        "Warning: CUDA random number generator type 2 cannot be used with the 32-bit version of Trenqual_CUDA. CUDA "
        "random number generator type set to 1.\n");
    n = 1;
  }
  input::runOptions.rand_CUDA = static_cast<int32_t>(n);
  return kOk;
}

Status ParseSeedCuda(const char* value) {
  double v = 0.0;
  if (Status status = ReadNumberOption(value, kSeedCudaRule, &v)) return status;
  input::runOptions.seed_CUDA = static_cast<uint64_t>(v + 0.5);
  return kOk;
}

Status ParseTasksCuda(const char* value) {
  return ReadIntegerOption(value, kTasksCudaRule, &input::runOptions.tasks_CUDA);
}

Status ParseThreadsCuda(const char* value) {
  return ReadIntegerOption(value, kThreadsCudaRule, &input::runOptions.threads_CUDA);
}

Status ParseTimeCuda(const char* value) { return ReadNumberOption(value, kTimeCudaRule, &input::runOptions.time_CUDA); }

Status ParseBlockSizeCuda(const char* value) {
  constexpr int kMaxBlockSize = 1024;
  int64_t n = 0;
  if (Status status = ReadIntegerOption(value, kBlockSizeCudaRule, &n)) return status;
  if (n > kMaxBlockSize) {
    printf("Error: Number of threads per block is greater than %d.\n", kMaxBlockSize);
    return kInputError;
  }
  if (!IsPowerOfTwo(n)) {
    printf("Error: The block size for CUDA kernel execution (%d) is not a power of 2.\n", static_cast<int>(n));
    return kInputError;
  }
  input::runOptions.blockSize_CUDA = static_cast<int32_t>(n);
  return kOk;
}

Status ParseRatioCuda(const char* value) {
  return ReadNumberOption(value, kRatioCudaRule, &input::runOptions.ratio_CUDA);
}

Status ParseFirstCuda(const char* value) {
  return ReadIntegerOption(value, kFirstCudaRule, &input::runOptions.first_CUDA, -1);
}

Status ParseLastCuda(const char* value) {
  return ReadIntegerOption(value, kLastCudaRule, &input::runOptions.last_CUDA, -1);
}

Status ParseStreamsCuda(const char* value) {
  return ReadIntegerOption(value, kStreamsCudaRule, &input::runOptions.streams_CUDA);
}

Status ParseAvgBankedCuda(const char* value) {
  return ReadNumberOption(value, kAvgBankedCudaRule, &input::runOptions.avgBanked_CUDA);
}

Status ParseMaxBankedRatioCuda(const char* value) {
  return ReadNumberOption(value, kMaxBankedRatioCudaRule, &input::runOptions.maxBankedRatio_CUDA);
}

Status ParseStatsCuda(const char* value) {
  Status status = ReadIntegerOption(value, kStatsCudaRule, &input::runOptions.stats_CUDA);
  if (status == kOk && input::runOptions.stats_CUDA >= 2) input::runOptions.deviceStatsMonitor = true;
  return status;
}

Status ParseHeapCuda(const char* value) {
  return ReadIntegerOption(value, kHeapCudaRule, &input::runOptions.heap_CUDA);
}

Status ParseBalanceCuda(const char* value) {
  return ReadIntegerOption(value, kBalanceCudaRule, &input::runOptions.balance_CUDA);
}

Status ParseBankModeThrCuda(const char* value) {
  return ReadNumberOption(value, kBankModeThrCudaRule, &input::runOptions.bankModeThr_CUDA);
}

namespace {

// Splits a list at commas, blanks and tabs; at most kMaxCudaDevices items.
int SplitListItems(const char* value, std::string items[kMaxCudaDevices]) {
  std::string text = value;
  int n = 0;
  size_t position = 0;
  while (n < kMaxCudaDevices) {
    position = text.find_first_not_of(", \t", position);
    if (position == std::string::npos) break;
    size_t end = text.find_first_of(", \t", position);
    items[n++] = text.substr(position, end == std::string::npos ? std::string::npos : end - position);
    position = end;
  }
  return n;
}

// A list option: the missing message, then every item read by
// readItem(index, item); badList (one %s the description, one %s the value,
// an optional %d the largest device number) when an item fails or there is
// none. *count: the items read, 0 on failure.
template <typename ReadItem>
Status ReadList(const char* value, const char* description, const char* badList, int32_t* count, ReadItem readItem) {
  *count = 0;
  if (value == nullptr) {
    printf("Error: List of %s is missing.\n", description);
    return kInputError;
  }
  std::string items[kMaxCudaDevices];
  const int n = SplitListItems(value, items);
  bool valid = n > 0;
  for (int i = 0; valid && i < n; ++i) valid = readItem(i, items[i].c_str());
  if (!valid) {
    printf(badList, description, value, kMaxCudaDevices);
    return kInputError;
  }
  *count = n;
  return kOk;
}

}  // namespace

Status ParseDeviceList(const char* value, int32_t* devices, int32_t* count, const char* description) {
  return ReadList(
      value, description,
      "Error: Invalid list of %s \"%s\" (device numbers must all be different, comma-delimited and from 1 to %d).\n",
      count, [devices](int i, const char* item) {
        int64_t device = 0;
        // Items hold no blanks, so a whole integer here has nothing after it.
        bool valid = ReadWholeInteger(item, &device) && device >= 1 && device <= kMaxCudaDevices;
        for (int j = 0; valid && j < i; ++j) valid = devices[j] != device;
        if (valid) devices[i] = static_cast<int32_t>(device);
        return valid;
      });
}

Status ParseRatioList(const char* value, double* ratios, int32_t* count, const char* description) {
  return ReadList(value, description,
                  "Error: Invalid list of %s \"%s\" (ratios must be comma-delimited and non-negative).\n", count,
                  [ratios](int i, const char* item) { return ReadExactNumber(item, &ratios[i]) && ratios[i] >= 0.0; });
}
