// One parser per run option: it turns the value text into the option's
// setting, tests the range and prints the error message. The same parser
// serves the command-line keyword and the input directive of the option.
// A null value text means the value is missing. Each returns a Status
// (driver/status.h): kOk, or kInputError after the message.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/status.h"

Status ParseTasks(const char* value);
Status ParseEndfDir(const char* value);
Status ParseN(const char* value);
Status ParseSeed(const char* value);
Status ParseNStreams(const char* value);

// The output and log files are copied into the result folder made beside
// them: a target that is no regular file (a device such as /dev/stdout or
// /dev/full, a pipe, a folder) or that lies in a device folder is refused
// with the message; kind is "Output" or "Log".
Status CheckWritableTarget(const std::string& name, const char* kind);

// After opening: the stream must be a regular file (the name may have
// changed since the check); else the stream is closed, the message printed.
Status CheckOpenedTarget(FILE** stream, const std::string& name, const char* kind);

// Opens the log file named by logFileName.
Status OpenLogFile();
// The LOG directive (value null: the name comes from the line that begins
// with LOG) and the first output line of a user program. kOk also when the
// line is no LOG directive.
Status ParseLogFile(const char* value, const char* line);

// The _CUDA options of Trenqual_CUDA.
Status ParseRandCuda(const char* value);
Status ParseSeedCuda(const char* value);
Status ParseTasksCuda(const char* value);
Status ParseThreadsCuda(const char* value);
Status ParseTimeCuda(const char* value);
Status ParseBlockSizeCuda(const char* value);  // a power of 2 up to 1024
Status ParseRatioCuda(const char* value);
Status ParseFirstCuda(const char* value);
Status ParseLastCuda(const char* value);
Status ParseStreamsCuda(const char* value);
Status ParseAvgBankedCuda(const char* value);
Status ParseMaxBankedRatioCuda(const char* value);
Status ParseStatsCuda(const char* value);
Status ParseHeapCuda(const char* value);
Status ParseBalanceCuda(const char* value);
Status ParseBankModeThrCuda(const char* value);
// Device numbers 1..32, all different, split at commas, blanks and tabs; at
// most 32 are read. *count: the devices read (0 on failure).
Status ParseDeviceList(const char* value, int32_t* devices, int32_t* count, const char* description);
// Non-negative ratios; *count: the ratios read (0 on failure).
Status ParseRatioList(const char* value, double* ratios, int32_t* count, const char* description);
