#include "driver/input/option_parsers.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/text.h"
#include "driver/build_variant.h"
#include "driver/input/options.h"
#include "driver/input/value_forms.h"
#include "platform/paths.h"

// ------------------------------------------------------------ CPU options

// Trenqual_CUDA may run on the devices alone (0 CPU threads) and takes more.
int ParseTasks(const char* value) {
  if (value == nullptr) {
    printf(gpuBuild ? "Error: Number of CPU threads is missing.\n" : "Error: Number of threads is missing.\n");
    return 1;
  }
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n)) {
    printf(gpuBuild ? "Error: Invalid number of CPU threads \"%s\".\n" : "Error: Invalid number of threads \"%s\".\n",
           value);
    return 1;
  }
  const int64_t low = gpuBuild ? 0 : 1;
  const int high = gpuBuild ? kMaxCpuThreadsGpuBuild : kMaxCpuThreads;
  if (n < low || n > high) {
    printf(gpuBuild ? "Error: Invalid number of CPU threads %lld (should be non-negative and less than %d).\n"
                    : "Error: Invalid number of threads %lld (should be greater than 0 and less than %d).\n",
           static_cast<long long>(n), high + 1);
    return 1;
  }
  runOptions.nThreads = static_cast<int32_t>(n);
  return 0;
}

int ParseEndfDir(const char* value) {
  if (value == nullptr || OnlyBlanks(value)) {
    printf("Error: ENDF directory name is missing.\n");
    return 1;
  }
  std::string folder = WithTrailingSeparator(TrimmedRight(SkipBlanks(value)));
  // A relative folder is taken from the program's own folder.
  endfFolder = IsAbsolutePath(folder) ? folder : exeFolder + folder;
  return 0;
}

int ParseN(const char* value) {
  if (value == nullptr) {
    printf("Error: The number of particles is missing.\n");
    return 1;
  }
  double v = 0.0;
  // Counts beyond the 64-bit range cannot be held and are refused as malformed.
  if (!ReadWholeNumber(value, &v) || v + 0.5 >= 9223372036854775807.0) {
    printf("Error: Invalid number of particles \"%s\".\n", value);
    return 1;
  }
  if (v + 0.5 < 1.0) {
    printf("Error: The number of particles is less than 1.\n");
    return 1;
  }
  runOptions.nParticles = static_cast<int64_t>(v + 0.5);
  return 0;
}

int ParseSeed(const char* value) {
  constexpr int kMaxSeed = 30081;  // the upper seed limit of the RANMAR generator
  if (value == nullptr) {
    printf("Error: Value of the seed of the random number generator is missing.\n");
    return 1;
  }
  int32_t seed = PlainInteger(value);
  if (seed < 0 || seed > kMaxSeed) {
    printf("Error: Illegal value of the seed of the random number generator \"%s\" (should be from 0 to %d inclusive).\n",
           value, kMaxSeed);
    return 1;
  }
  runOptions.seed = seed;
  return 0;
}

int ParseNStreams(const char* value) {
  if (value == nullptr) {
    printf("Error: The number of streams of random numbers is missing.\n");
    return 1;
  }
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n) || n < 1 || n > INT32_MAX) {
    printf("Error: Invalid number of streams of random numbers \"%s\".\n", value);
    return 1;
  }
  runOptions.nStreams = static_cast<int32_t>(n);
  return 0;
}

// ------------------------------------------------------------ log file

int OpenLogFile() {
  logFailed = true;
  if (EqualNoCase(logFileName, inputFileName)) {
    printf("Error: Log file name is the same as input file name (\"%s\").\n", inputFileName.c_str());
    return 0;
  }
  if (logFile != nullptr) fclose(logFile);
  logFile = fopen(logFileName.c_str(), "w");
  if (logFile == nullptr) {
    printf("Log file \"%s\" could not be opened for writing.\n", logFileName.c_str());
    return 0;
  }
  logFailed = false;
  fputs(pendingLogLine.c_str(), logFile);
  return 1;
}

int ParseLogFile(const char* value, const char* line) {
  std::string name;
  if (value != nullptr) {
    name = value;
  } else if (line != nullptr) {
    const char* text = SkipBlanks(line);
    if (!EqualNoCaseN(text, "LOG", 3) || !(IsBlank(text[3]) || text[3] == '\0' || text[3] == '\n')) {
      return 0;  // no LOG directive
    }
    name = SkipBlanks(text + 3);
  }
  size_t newline = name.find('\n');
  if (newline != std::string::npos) name.erase(newline);
  if (name.empty()) {
    printf("Error: Log file name is missing.\n");
    logFailed = true;
    return 1;
  }
  if (!commandLineGiven.log) logFileName = TrimmedRight(SkipBlanks(name.c_str()));
  return OpenLogFile() ? 0 : 1;
}

// ------------------------------------------------------------ GPU options

namespace {

// An integer option whose one message covers a bad form and a bad range.
bool ReadIntegerInRange(const char* value, int64_t low, int64_t high, int64_t* n) {
  return ReadWholeInteger(value, n) && *n >= low && *n <= high;
}

// An integer option with one message for a missing value and one for a bad
// form or range; stores n + storedOffset.
int ParseIntegerOption(const char* value, const char* missing, const char* badValue, int64_t low, int64_t high,
                       int32_t* option, int64_t storedOffset = 0) {
  if (value == nullptr) {
    printf("%s", missing);
    return 1;
  }
  int64_t n = 0;
  if (!ReadIntegerInRange(value, low, high, &n)) {
    printf(badValue, value);
    return 1;
  }
  *option = static_cast<int32_t>(n + storedOffset);
  return 0;
}

bool ReadNumberInRange(const char* value, double low, double high, double* v) {
  return ReadWholeNumber(value, v) && *v >= low && *v <= high;
}

bool IsPowerOfTwo(int64_t n) {
  return n >= 1 && std::fabs(std::log2(static_cast<double>(n)) - std::nearbyint(std::log2(static_cast<double>(n)))) <= 1e-6;
}

// GPU task and thread counts share their form and range rules.
int ParseDeviceCount(const char* value, const char* missing, const char* badForm, const char* badRange,
                     int32_t* option) {
  constexpr int kMaxPerDevice = 65536;
  if (value == nullptr) {
    printf("%s", missing);
    return 1;
  }
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n)) {
    printf(badForm, value);
    return 1;
  }
  if (n < 0 || n > kMaxPerDevice) {
    printf(badRange, static_cast<int>(n), kMaxPerDevice + 1);
    return 1;
  }
  *option = static_cast<int32_t>(n);
  return 0;
}

}  // namespace

int ParseRandCuda(const char* value) {
  if (value == nullptr) {
    printf("Error: Specification of the random number generator type for CUDA devices is missing.\n");
    return 1;
  }
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n)) {
    printf("Error: Invalid CUDA random number generator type \"%s\" (should be 1 or 2).\n", value);
    return 1;
  }
  if (n < 1 || n > 2) {
    printf("Error: Illegal random number generator type for CUDA devices (should be 1 or 2).\n");
    return 1;
  }
  if (n == 2) {
    printf("Warning: CUDA random number generator type 2 cannot be used with the 32-bit version of Trenqual_CUDA. CUDA random number generator type set to 1.\n");
    n = 1;
  }
  runOptions.rand_CUDA = static_cast<int32_t>(n);
  return 0;
}

int ParseSeedCuda(const char* value) {
  constexpr double kTwoTo64 = 18446744073709551616.0;
  if (value == nullptr) {
    printf("Error: Value of the seed of the CUDA random number generator is missing.\n");
    return 1;
  }
  double v = 0.0;
  if (!ReadWholeNumber(value, &v)) {
    printf("Error: Invalid value of the seed of the CUDA random number generator \"%s\".\n", value);
    return 1;
  }
  // The rounded seed must stay below 2^64 as well as the value.
  if (v < 0.5 || v >= kTwoTo64 || v + 0.5 >= kTwoTo64) {
    printf("Error: Illegal value of the seed of the CUDA random number generator (should be positive and less than 18446744073709551616).\n");
    return 1;
  }
  runOptions.seed_CUDA = static_cast<uint64_t>(v + 0.5);
  return 0;
}

int ParseTasksCuda(const char* value) {
  return ParseDeviceCount(value, "Error: Number of GPU tasks per device is missing.\n",
                          "Error: Invalid number of GPU tasks \"%s\".\n",
                          "Error: Invalid number of GPU tasks %d (should be non-negative and less than %d).\n",
                          &runOptions.tasks_CUDA);
}

int ParseThreadsCuda(const char* value) {
  return ParseDeviceCount(value, "Error: Number of GPU threads per device is missing.\n",
                          "Error: Invalid number of GPU threads \"%s\".\n",
                          "Error: Invalid number of GPU threads %d (should be non-negative and less than %d).\n",
                          &runOptions.threads_CUDA);
}

int ParseTimeCuda(const char* value) {
  if (value == nullptr) {
    printf("Error: CUDA kernel execution time (in milliseconds) is missing.\n");
    return 1;
  }
  double v = 0.0;
  if (!ReadWholeNumber(value, &v)) {
    printf("Error: Invalid CUDA kernel duration \"%s\".\n", value);
    return 1;
  }
  if (!(v > 0.0)) {
    printf("Error: Invalid CUDA kernel duration (in milliseconds) %g (should be greater than 0).\n", v);
    return 1;
  }
  runOptions.time_CUDA = v;
  return 0;
}

int ParseBlockSizeCuda(const char* value) {
  constexpr int kMaxBlockSize = 1024;
  if (value == nullptr) {
    printf("Error: number of CUDA threads in one block is missing.\n");
    return 1;
  }
  int64_t n = 0;
  if (!ReadWholeInteger(value, &n)) {
    printf("Error: Invalid block size for CUDA kernel execution \"%s\".\n", value);
    return 1;
  }
  if (n > kMaxBlockSize) {
    printf("Error: Number of threads per block is greater than %d.\n", kMaxBlockSize);
    return 2;
  }
  if (!IsPowerOfTwo(n)) {
    printf("Error: The block size for CUDA kernel execution (%d) is not a power of 2.\n", static_cast<int>(n));
    return 1;
  }
  runOptions.blockSize_CUDA = static_cast<int32_t>(n);
  return 0;
}

int ParseRatioCuda(const char* value) {
  if (value == nullptr) {
    printf("Error: Fraction of particle histories assigned to CUDA devices is missing.\n");
    return 1;
  }
  double v = 0.0;
  if (!ReadWholeNumber(value, &v)) {
    printf("Error: Invalid GPU/total workload ratio \"%s\".\n", value);
    return 1;
  }
  if (!(v > 0.0 && v < 1.0)) {
    printf("Error: Invalid GPU/total workload ratio %g (should be greater than 0 and less than 1).\n", v);
    return 1;
  }
  runOptions.ratio_CUDA = v;
  return 0;
}

int ParseFirstCuda(const char* value) {
  // Device numbers count from 1; the range is tested against the present
  // devices after the input.
  return ParseIntegerOption(value, "Error: Sequence number of the first used CUDA device is missing.\n",
                            "Error: Invalid number of the first used CUDA device \"%s\".\n", INT32_MIN + 1,
                            kMaxCudaDevices, &runOptions.first_CUDA, -1);
}

int ParseLastCuda(const char* value) {
  return ParseIntegerOption(value, "Error: Error: Sequence number of the last used CUDA device is missing.\n",
                            "Error: Invalid number of the last used CUDA device \"%s\".\n", INT32_MIN + 1,
                            kMaxCudaDevices, &runOptions.last_CUDA, -1);
}

int ParseStreamsCuda(const char* value) {
  return ParseIntegerOption(value, "Error: Number of random number streams per one CUDA task is missing.\n",
                            "Error: Invalid number of streams of random numbers per one task \"%s\".\n", 1,
                            INT32_MAX, &runOptions.streams_CUDA);
}

int ParseAvgBankedCuda(const char* value) {
  double v = 0.0;
  if (value == nullptr) {
    printf("Error: Average number of banked particles per one CUDA task is missing\n   (note: a negative number would mean the fraction of the global memory allocated for all banked particles on each CUDA device).\n");
    return 1;
  }
  // A count of at least 1, or a fraction of device memory strictly between -1 and 0.
  if (!ReadWholeNumber(value, &v) || !(v >= 1.0 || (v > -1.0 && v < 0.0))) {
    printf("Error: Invalid value of the average number of banked particles per one CUDA task \"%s\"\n  (note: a negative number would mean the fraction of the global memory allocated for all banked particles on each CUDA device).\n",
           value);
    return 1;
  }
  runOptions.avgBanked_CUDA = v;
  return 0;
}

int ParseMaxBankedRatioCuda(const char* value) {
  double v = 0.0;
  if (value == nullptr) {
    printf("Error: Value of the ratio of the maximum and average numbers of banked particles per one CUDA task is missing.\n");
    return 1;
  }
  if (!ReadWholeNumber(value, &v) || v < 1.0) {
    printf("Error: Invalid value of the ratio of the maximum and average numbers of banked particles per one CUDA task \"%s\".\n",
           value);
    return 1;
  }
  runOptions.maxBankedRatio_CUDA = v;
  return 0;
}

int ParseStatsCuda(const char* value) {
  int code = ParseIntegerOption(value, "Error: Value of the CUDA statistics output option is missing.\n",
                                "Error: Invalid CUDA statistice option value \"%s\" (should be from 0 to 3).\n", 0, 3,
                                &runOptions.stats_CUDA);
  if (code == 0 && runOptions.stats_CUDA >= 2) runOptions.deviceStatsMonitor = true;
  return code;
}

int ParseHeapCuda(const char* value) {
  return ParseIntegerOption(value, "Error: Error: Value of the CUDA heap option is missing.\n",
                            "Error: Invalid CUDA heap option value \"%s\" (should be 0, 1 or 2).\n", 0, 2,
                            &runOptions.heap_CUDA);
}

int ParseBalanceCuda(const char* value) {
  return ParseIntegerOption(value, "Error: Value of the CUDA workload balancing option is missing.\n",
                            "Error: Invalid CUDA workload balancing option value \"%s\" (should be 0 or 1).\n", 0, 1,
                            &runOptions.balance_CUDA);
}

double ParseBankModeThrCuda(const char* value) {
  double v = 0.0;
  if (value == nullptr) {
    printf("Error: Value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron banking mode is missing.\n");
    return -1.0;
  }
  if (!ReadNumberInRange(value, 0.0, 1.0, &v)) {
    printf("Error: Invalid value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron banking mode \"%s\" (should be between 0 and 1).\n",
           value);
    return -1.0;
  }
  runOptions.bankModeThr_CUDA = v;
  return v;
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

}  // namespace

int ParseDeviceList(const char* value, int32_t* devices, const char* description) {
  if (value == nullptr) {
    printf("Error: List of %s is missing.\n", description);
    return 0;
  }
  std::string items[kMaxCudaDevices];
  int n = SplitListItems(value, items);
  bool valid = n > 0;
  for (int i = 0; valid && i < n; ++i) {
    int64_t device = 0;
    // Items hold no blanks, so a whole integer here has nothing after it.
    valid = ReadWholeInteger(items[i].c_str(), &device) && device >= 1 && device <= kMaxCudaDevices;
    for (int j = 0; valid && j < i; ++j) valid = devices[j] != device;
    if (valid) devices[i] = static_cast<int32_t>(device);
  }
  if (!valid) {
    printf("Error: Invalid list of %s \"%s\" (device numbers must all be different, comma-delimited and from 1 to %d).\n",
           description, value, kMaxCudaDevices);
    return 0;
  }
  return n;
}

int ParseRatioList(const char* value, double* ratios, const char* description) {
  if (value == nullptr) {
    printf("Error: List of %s is missing.\n", description);
    return 0;
  }
  std::string items[kMaxCudaDevices];
  int n = SplitListItems(value, items);
  bool valid = n > 0;
  for (int i = 0; valid && i < n; ++i) {
    valid = ReadExactNumber(items[i].c_str(), &ratios[i]) && ratios[i] >= 0.0;
  }
  if (!valid) {
    printf("Error: Invalid list of %s \"%s\" (ratios must be comma-delimited and non-negative).\n", description,
           value);
    return 0;
  }
  return n;
}

