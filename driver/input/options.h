// Run-wide settings: folders and file names, and the run options that the
// command line and the input file set (the command line wins).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "core/physical_constants.h"

constexpr int kMaxCudaDevices = 32;
constexpr int kMaxCpuThreads = 2048;           // Trenqual
constexpr int kMaxCpuThreadsGpuBuild = 65536;  // Trenqual_CUDA (0 allowed: devices only)

// The options that the command line can set, with their defaults.
struct RUNOPTIONS {
  int32_t nThreads = 1;            // CPU worker threads (tasks / TASKS)
  int64_t nParticles = 0;          // source particles (N); 0 = not given
  int32_t seed = 123;              // CPU random-number seed (seed / SEED)
  int32_t nStreams = -1;           // random-number streams; -1 = not given
  int32_t output_cs = 0;           // write the cross-section files
  int32_t writeLog = 0;            // log the directives that user programs generate
  int32_t check = 1;               // 1 run, 0 read and echo the input only, -1 set up only
  bool sourceEnergyGiven = false;  // E given on the command line
  double sourceEnergy = 0.0;       // the single source energy of E, eV

  // GPU build only.
  int32_t rand_CUDA = 2;  // device generator type
  uint64_t seed_CUDA = 123;
  int32_t threads_CUDA = 960;    // GPU threads per device
  int32_t tasks_CUDA = 0;        // GPU tasks per device; 0 = no GPU work
  double time_CUDA = 100.0;      // kernel time slice, ms
  int32_t blockSize_CUDA = 8;    // CUDA threads per block
  double ratio_CUDA = 0.5;       // fraction of histories on the devices
  int32_t first_CUDA = 0;        // first used device, 0-based
  int32_t last_CUDA = -1;        // last used device, 0-based; -1 = the last present
  int32_t streams_CUDA = 1;      // random-number streams per GPU task
  double avgBanked_CUDA = -0.2;  // < 0: fraction of device memory for banked particles
  double maxBankedRatio_CUDA = 3.0;
  int32_t stats_CUDA = 0;
  int32_t heap_CUDA = -1;  // -1 = settled after the input
  int32_t balance_CUDA = 1;
  double bankModeThr_CUDA = 0.8;
  int32_t emulate_CUDA = 0;
  int32_t emfirst_CUDA = -1;  // 0-based; -1 = not given
  int32_t emlast_CUDA = -1;
  int32_t use_CUDA[kMaxCudaDevices] = {};  // 1-based device numbers
  int32_t nUse_CUDA = 0;
  int32_t skip_CUDA[kMaxCudaDevices] = {};
  int32_t nSkip_CUDA = 0;
  int32_t em_CUDA[kMaxCudaDevices] = {};
  int32_t nEm_CUDA = 0;
  double r_CUDA[kMaxCudaDevices] = {};
  int32_t nR_CUDA = 0;
  bool deviceStatsMonitor = false;  // the run monitor writes device statistics
};

namespace input {
extern RUNOPTIONS runOptions;
extern PHYSICALCONSTANTS physicalConstants;

extern std::string exeFolder;         // folder of the executable, ending in '/', or empty
extern std::string dataFolder;        // exeFolder + "Data/"
extern std::string endfFolder;        // ENDF/B library folder (dir / DIR)
extern std::string bremsTableFolder;  // per-element bremsstrahlung text tables
extern std::string inputFileName;
extern std::string outputFileName;  // empty: derived from the input name
extern std::string altFileName;     // alternative cross-sections information file
extern std::string logFileName;
extern FILE* inputFile;  // open from the moment its name is read
extern FILE* logFile;
extern bool logFailed;              // the log file could not be opened
extern std::string pendingLogLine;  // first user-program line produced before the log existed
}  // namespace input

// Command-line given-states of the options that input directives can also set,
// so that a directive can tell that the command line wins.
struct COMMANDLINEGIVEN {
  bool out, alt, log, tasks, dir, N, seed, nStreams, E;
  bool rand_CUDA, seed_CUDA, threads_CUDA, tasks_CUDA, time_CUDA, blockSize_CUDA, ratio_CUDA, first_CUDA, last_CUDA,
      use_CUDA, skip_CUDA, r_CUDA, streams_CUDA, avgBanked_CUDA, maxBankedRatio_CUDA, stats_CUDA, heap_CUDA,
      balance_CUDA, bankModeThr_CUDA;
};
namespace input {
extern COMMANDLINEGIVEN commandLineGiven;
}  // namespace input

// Restores every setting above to its start-up default (folders excepted).
void SetDefaultOptions();
