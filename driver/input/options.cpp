#include "driver/input/options.h"

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

void SetDefaultOptions() {
  runOptions = RUNOPTIONS{};
  commandLineGiven = COMMANDLINEGIVEN{};
  physicalConstants = ComputePhysicalConstants();
  inputFileName.clear();
  outputFileName.clear();
  altFileName.clear();
  logFileName.clear();
  logFailed = false;
  pendingLogLine.clear();
}
