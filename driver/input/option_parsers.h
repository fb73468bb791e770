// One parser per run option: it turns the value text into the option's
// setting, tests the range and prints the error message. The same parser
// serves the command-line keyword and the input directive of the option.
// A null value text means the value is missing. Results: 0 success, non-zero
// failure (the caller ends the run with exit code 1).
#pragma once

#include <cstdint>

int ParseTasks(const char* value);
int ParseEndfDir(const char* value);
int ParseN(const char* value);
int ParseSeed(const char* value);
int ParseNStreams(const char* value);

// Opens the log file named by logFileName; 1 on success, 0 on failure.
int OpenLogFile();
// The LOG directive (value null: the name comes from the line that begins
// with LOG) and the first output line of a user program. 0 success or "no LOG
// directive", 1 failure.
int ParseLogFile(const char* value, const char* line);

// The _CUDA options of Trenqual_CUDA.
int ParseRandCuda(const char* value);
int ParseSeedCuda(const char* value);
int ParseTasksCuda(const char* value);
int ParseThreadsCuda(const char* value);
int ParseTimeCuda(const char* value);
int ParseBlockSizeCuda(const char* value);  // 1 bad form or not a power of 2, 2 above 1024
int ParseRatioCuda(const char* value);
int ParseFirstCuda(const char* value);
int ParseLastCuda(const char* value);
int ParseStreamsCuda(const char* value);
int ParseAvgBankedCuda(const char* value);
int ParseMaxBankedRatioCuda(const char* value);
int ParseStatsCuda(const char* value);
int ParseHeapCuda(const char* value);
int ParseBalanceCuda(const char* value);
// Returns the accepted ratio, or -1.0 on failure.
double ParseBankModeThrCuda(const char* value);
// Device numbers 1..32, all different, split at commas, blanks and tabs; at
// most 32 are read. Returns the count, 0 on failure.
int ParseDeviceList(const char* value, int32_t* devices, const char* description);
// Non-negative ratios; returns the count, 0 on failure.
int ParseRatioList(const char* value, double* ratios, const char* description);
