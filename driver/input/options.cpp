#include "driver/input/options.h"

namespace input {
RUNOPTIONS runOptions;
PHYSICALCONSTANTS physicalConstants;
COMMANDLINEGIVEN commandLineGiven;

std::string exeFolder;
std::string dataFolder;
std::string endfFolder;
std::string bremsTableFolder;
std::string inputFileName;
std::string outputFileName;
std::string altFileName;
std::string logFileName;
FILE* inputFile = nullptr;
FILE* logFile = nullptr;
bool logFailed = false;
std::string pendingLogLine;
}  // namespace input

void SetDefaultOptions() {
  input::runOptions = RUNOPTIONS{};
  input::commandLineGiven = COMMANDLINEGIVEN{};
  input::physicalConstants = ComputePhysicalConstants();
  input::inputFileName.clear();
  input::outputFileName.clear();
  input::altFileName.clear();
  input::logFileName.clear();
  input::logFailed = false;
  input::pendingLogLine.clear();
}
