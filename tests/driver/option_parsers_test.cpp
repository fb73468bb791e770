#include "driver/input/option_parsers.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/input/options.h"
#include "tests/driver/driver_test_support.h"
#include "tests/support/test_paths.h"

namespace {

struct ParserCase {
  int (*parser)(const char*);
  const char* value;  // null: the value is missing
  int code;
  const char* output;
};

void ExpectParser(const ParserCase& c) {
  CONSOLERUN run = RunParser(c.parser, c.value);
  const char* shown = c.value ? c.value : "(null)";
  EXPECT_EQ(run.code, c.code) << shown;
  EXPECT_EQ(run.output, c.output) << shown;
}

}  // namespace

TEST(OptionParsers, CpuOptions) {
  const ParserCase cases[] = {
#if TQ_GPU_BUILD
    {ParseTasks, nullptr, 1, "Error: Number of CPU threads is missing.\n"},
    {ParseTasks, "4x", 1, "Error: Invalid number of CPU threads \"4x\".\n"},
    {ParseTasks, "-1", 1, "Error: Invalid number of CPU threads -1 (should be non-negative and less than 65537).\n"},
    {ParseTasks, "0", 0, ""},
    {ParseTasks, "65536", 0, ""},
    {ParseTasks, "65537", 1,
     "Error: Invalid number of CPU threads 65537 (should be non-negative and less than 65537).\n"},
#else
    {ParseTasks, nullptr, 1, "Error: Number of threads is missing.\n"},
    {ParseTasks, "4x", 1, "Error: Invalid number of threads \"4x\".\n"},
    {ParseTasks, "", 1, "Error: Invalid number of threads \"\".\n"},
    {ParseTasks, "0", 1, "Error: Invalid number of threads 0 (should be greater than 0 and less than 2049).\n"},
    {ParseTasks, "1", 0, ""},
    {ParseTasks, "2048 \t", 0, ""},
    {ParseTasks, "2049", 1, "Error: Invalid number of threads 2049 (should be greater than 0 and less than 2049).\n"},
#endif
    {ParseN, nullptr, 1, "Error: The number of particles is missing.\n"},
    {ParseN, "10 x", 1, "Error: Invalid number of particles \"10 x\".\n"},
    {ParseN, "0.4", 1, "Error: The number of particles is less than 1.\n"},
    {ParseN, "-5", 1, "Error: The number of particles is less than 1.\n"},
    {ParseN, "1.5", 1, "Error: Invalid number of particles \"1.5\".\n"},
    {ParseN, "2.5", 1, "Error: Invalid number of particles \"2.5\".\n"},
    {ParseN, "1e6", 0, ""},
    {ParseN, "1e30", 1, "Error: Invalid number of particles \"1e30\".\n"},
    {ParseN, "inf", 1, "Error: Invalid number of particles \"inf\".\n"},
    {ParseN, "0x10", 1, "Error: Invalid number of particles \"0x10\".\n"},
    {ParseSeed, nullptr, 1, "Error: Value of the seed of the random number generator is missing.\n"},
    {ParseSeed, "x", 0, ""},
    {ParseSeed, "30081", 0, ""},
    {ParseSeed, "30082", 1,
     "Error: Illegal value of the seed of the random number generator \"30082\" (should be from 0 to 30081 "
     "inclusive).\n"},
    {ParseSeed, "-1", 1,
     "Error: Illegal value of the seed of the random number generator \"-1\" (should be from 0 to 30081 inclusive).\n"},
    {ParseNStreams, nullptr, 1, "Error: The number of streams of random numbers is missing.\n"},
    {ParseNStreams, "0", 1, "Error: Invalid number of streams of random numbers \"0\".\n"},
    {ParseNStreams, "3y", 1, "Error: Invalid number of streams of random numbers \"3y\".\n"},
    {ParseNStreams, "3", 0, ""},
    {ParseEndfDir, nullptr, 1, "Error: ENDF directory name is missing.\n"},
    {ParseEndfDir, " \t", 1, "Error: ENDF directory name is missing.\n"},
  };
  for (const ParserCase& c : cases) ExpectParser(c);
}

TEST(OptionParsers, StoredValues) {
  RunParser(ParseN, "2e0");
  EXPECT_EQ(input::runOptions.nParticles, 2);
  RunParser(ParseSeed, "x");
  EXPECT_EQ(input::runOptions.seed, 0);
  RunParser(ParseSeed, "17abc");
  EXPECT_EQ(input::runOptions.seed, 17);
}

TEST(OptionParsers, EndfFolder) {
  input::exeFolder = "/opt/trenqual/";
  struct {
    const char* value;
    const char* folder;
  } cases[] = {
      {"data", "/opt/trenqual/data/"},
      {"  lib/endf \t", "/opt/trenqual/lib/endf/"},
      {"/srv/endf", "/srv/endf/"},
      {"/srv/endf/", "/srv/endf/"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(RunParser(ParseEndfDir, c.value).code, 0);
    EXPECT_EQ(input::endfFolder, c.folder) << c.value;
  }
}

TEST(OptionParsers, LogFile) {
  std::string folder = MakeScratchFolder("log-file");
  input::inputFileName = folder + "Input.txt";

  input::logFileName = folder + "INPUT.TXT";
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenLogFile(), kInputError);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Log file name is the same as input file name (\"" + input::inputFileName + "\").\n");
  EXPECT_TRUE(input::logFailed);

  input::logFileName = folder + "no-such-folder/log.txt";
  testing::internal::CaptureStdout();
  EXPECT_EQ(OpenLogFile(), kInputError);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Log file \"" + input::logFileName + "\" could not be opened for writing.\n");

  input::commandLineGiven.log = false;
  input::pendingLogLine = "TASKS 4\n";
  testing::internal::CaptureStdout();
  EXPECT_EQ(ParseLogFile(nullptr, ("  log   " + folder + "run.log  \n").c_str()), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(input::logFileName, folder + "run.log");
  EXPECT_FALSE(input::logFailed);
  fclose(input::logFile);
  input::logFile = nullptr;
  FILE* written = fopen(input::logFileName.c_str(), "r");
  ASSERT_NE(written, nullptr);
  char line[64] = {};
  EXPECT_NE(fgets(line, sizeof line, written), nullptr);
  EXPECT_STREQ(line, "TASKS 4\n");
  fclose(written);

  EXPECT_EQ(ParseLogFile(nullptr, "LOGFILE x"), 0);  // not a LOG directive: nothing done
  testing::internal::CaptureStdout();
  EXPECT_EQ(ParseLogFile(nullptr, "LOG"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Log file name is missing.\n");

  input::commandLineGiven.log = true;  // the command-line name wins over the directive's
  input::logFileName = folder + "cmd.log";
  EXPECT_EQ(ParseLogFile(nullptr, ("LOG " + folder + "other.log").c_str()), 0);
  EXPECT_EQ(input::logFileName, folder + "cmd.log");
  fclose(input::logFile);
  input::logFile = nullptr;
}

#if TQ_GPU_BUILD
namespace {
int BankModeThr(const char* value) { return ParseBankModeThrCuda(value); }
}  // namespace

TEST(OptionParsers, GpuOptions) {
  const ParserCase cases[] = {
      {ParseRandCuda, nullptr, 1,
       "Error: Specification of the random number generator type for CUDA devices is missing.\n"},
      {ParseRandCuda, "a", 1, "Error: Invalid CUDA random number generator type \"a\" (should be 1 or 2).\n"},
      {ParseRandCuda, "3", 1, "Error: Illegal random number generator type for CUDA devices (should be 1 or 2).\n"},
      {ParseRandCuda, "1", 0, ""},
      {ParseRandCuda, "2", 0,
       "Warning: CUDA random number generator type 2 cannot be used with the 32-bit version of Trenqual_CUDA. CUDA "
       "random number generator type set to 1.\n"},
      {ParseSeedCuda, nullptr, 1, "Error: Value of the seed of the CUDA random number generator is missing.\n"},
      {ParseSeedCuda, "1z", 1, "Error: Invalid value of the seed of the CUDA random number generator \"1z\".\n"},
      {ParseSeedCuda, "0.4", 1,
       "Error: Illegal value of the seed of the CUDA random number generator (should be positive and less than "
       "18446744073709551616).\n"},
      {ParseSeedCuda, "1e20", 1,
       "Error: Illegal value of the seed of the CUDA random number generator (should be positive and less than "
       "18446744073709551616).\n"},
      {ParseSeedCuda, "0.5", 0, ""},
      {ParseTasksCuda, nullptr, 1, "Error: Number of GPU tasks per device is missing.\n"},
      {ParseTasksCuda, "q", 1, "Error: Invalid number of GPU tasks \"q\".\n"},
      {ParseTasksCuda, "-1", 1,
       "Error: Invalid number of GPU tasks -1 (should be non-negative and less than 65537).\n"},
      {ParseTasksCuda, "65536", 0, ""},
      {ParseThreadsCuda, nullptr, 1, "Error: Number of GPU threads per device is missing.\n"},
      {ParseThreadsCuda, "1.5", 1, "Error: Invalid number of GPU threads \"1.5\".\n"},
      {ParseThreadsCuda, "70000", 1,
       "Error: Invalid number of GPU threads 70000 (should be non-negative and less than 65537).\n"},
      {ParseTimeCuda, nullptr, 1, "Error: CUDA kernel execution time (in milliseconds) is missing.\n"},
      {ParseTimeCuda, "t", 1, "Error: Invalid CUDA kernel duration \"t\".\n"},
      {ParseTimeCuda, "0", 1, "Error: Invalid CUDA kernel duration (in milliseconds) 0 (should be greater than 0).\n"},
      {ParseTimeCuda, "0.5", 0, ""},
      {ParseBlockSizeCuda, nullptr, 1, "Error: number of CUDA threads in one block is missing.\n"},
      {ParseBlockSizeCuda, "8x", 1, "Error: Invalid block size for CUDA kernel execution \"8x\".\n"},
      {ParseBlockSizeCuda, "0", 1, "Error: The block size for CUDA kernel execution (0) is not a power of 2.\n"},
      {ParseBlockSizeCuda, "6", 1, "Error: The block size for CUDA kernel execution (6) is not a power of 2.\n"},
      {ParseBlockSizeCuda, "2048", 1, "Error: Number of threads per block is greater than 1024.\n"},
      {ParseBlockSizeCuda, "1", 0, ""},
      {ParseBlockSizeCuda, "2", 0, ""},
      {ParseBlockSizeCuda, "512", 0, ""},
      {ParseBlockSizeCuda, "1024", 0, ""},
      {ParseRatioCuda, nullptr, 1, "Error: Fraction of particle histories assigned to CUDA devices is missing.\n"},
      {ParseRatioCuda, "r", 1, "Error: Invalid GPU/total workload ratio \"r\".\n"},
      {ParseRatioCuda, "0", 1,
       "Error: Invalid GPU/total workload ratio 0 (should be greater than 0 and less than 1).\n"},
      {ParseRatioCuda, "1", 1,
       "Error: Invalid GPU/total workload ratio 1 (should be greater than 0 and less than 1).\n"},
      {ParseRatioCuda, "0.999", 0, ""},
      {ParseFirstCuda, nullptr, 1, "Error: Sequence number of the first used CUDA device is missing.\n"},
      {ParseFirstCuda, "33", 1, "Error: Invalid number of the first used CUDA device \"33\".\n"},
      {ParseFirstCuda, "0", 0, ""},
      {ParseLastCuda, nullptr, 1, "Error: Error: Sequence number of the last used CUDA device is missing.\n"},
      {ParseLastCuda, "x", 1, "Error: Invalid number of the last used CUDA device \"x\".\n"},
      {ParseLastCuda, "32", 0, ""},
      {ParseStreamsCuda, nullptr, 1, "Error: Number of random number streams per one CUDA task is missing.\n"},
      {ParseStreamsCuda, "0", 1, "Error: Invalid number of streams of random numbers per one task \"0\".\n"},
      {ParseAvgBankedCuda, "0.5", 1,
       "Error: Invalid value of the average number of banked particles per one CUDA task \"0.5\"\n  (note: a negative "
       "number would mean the fraction of the global memory allocated for all banked particles on each CUDA "
       "device).\n"},
      {ParseAvgBankedCuda, "-1", 1,
       "Error: Invalid value of the average number of banked particles per one CUDA task \"-1\"\n  (note: a negative "
       "number would mean the fraction of the global memory allocated for all banked particles on each CUDA "
       "device).\n"},
      {ParseAvgBankedCuda, "1", 0, ""},
      {ParseAvgBankedCuda, "-0.5", 0, ""},
      {ParseAvgBankedCuda, nullptr, 1,
       "Error: Average number of banked particles per one CUDA task is missing\n   (note: a negative number would mean "
       "the fraction of the global memory allocated for all banked particles on each CUDA device).\n"},
      {ParseMaxBankedRatioCuda, "0.9", 1,
       "Error: Invalid value of the ratio of the maximum and average numbers of banked particles per one CUDA task "
       "\"0.9\".\n"},
      {ParseMaxBankedRatioCuda, "1", 0, ""},
      {ParseStatsCuda, "4", 1, "Error: Invalid CUDA statistice option value \"4\" (should be from 0 to 3).\n"},
      {ParseStatsCuda, nullptr, 1, "Error: Value of the CUDA statistics output option is missing.\n"},
      {ParseHeapCuda, nullptr, 1, "Error: Error: Value of the CUDA heap option is missing.\n"},
      {ParseHeapCuda, "-1", 1, "Error: Invalid CUDA heap option value \"-1\" (should be 0, 1 or 2).\n"},
      {ParseHeapCuda, "2", 0, ""},
      {ParseBalanceCuda, nullptr, 1, "Error: Value of the CUDA workload balancing option is missing.\n"},
      {ParseBalanceCuda, "2", 1, "Error: Invalid CUDA workload balancing option value \"2\" (should be 0 or 1).\n"},
      {ParseBalanceCuda, "0", 0, ""},
      {BankModeThr, "0", 0, ""},
      {BankModeThr, "1", 0, ""},
      {BankModeThr, nullptr, 1,
       "Error: Value of the CUDA banked particles buffer fill ratio corresponding to the change of the electron "
       "banking mode is missing.\n"},
  };
  for (const ParserCase& c : cases) ExpectParser(c);
}

TEST(OptionParsers, GpuStoredValues) {
  RunParser(ParseRandCuda, "2");
  EXPECT_EQ(input::runOptions.rand_CUDA, 1);
  RunParser(ParseFirstCuda, "0");
  EXPECT_EQ(input::runOptions.first_CUDA, -1);
  RunParser(ParseStatsCuda, "2");
  EXPECT_TRUE(input::runOptions.deviceStatsMonitor);
  RunParser(ParseSeedCuda, "1e19");
  EXPECT_EQ(input::runOptions.seed_CUDA, 10000000000000000000ull);
}

TEST(OptionParsers, DeviceAndRatioLists) {
  int32_t devices[kMaxCudaDevices];
  double ratios[kMaxCudaDevices];
  int32_t count = -1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ParseDeviceList("1 2\t3", devices, &count, "d"), kOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(devices[2], 3);
  EXPECT_EQ(ParseDeviceList("1,2,2", devices, &count, "d"), kInputError);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(ParseDeviceList("33", devices, &count, "d"), kInputError);
  EXPECT_EQ(ParseDeviceList(", ,", devices, &count, "d"), kInputError);
  EXPECT_EQ(ParseDeviceList(nullptr, devices, &count, "d"), kInputError);
  std::string forty;
  for (int i = 1; i <= 40; ++i) forty += std::to_string(i <= 32 ? i : 99) + ",";
  EXPECT_EQ(ParseDeviceList(forty.c_str(), devices, &count, "d"), kOk);
  EXPECT_EQ(count, 32);  // items past 32 are ignored
  EXPECT_EQ(ParseRatioList("0.5, 1.5,0", ratios, &count, "r"), kOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ratios[1], 1.5);
  EXPECT_EQ(ParseRatioList("0.5x", ratios, &count, "r"), kInputError);
  EXPECT_EQ(count, 0);
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_NE(output.find("Error: List of d is missing.\n"), std::string::npos);
}
#endif
