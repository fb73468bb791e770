// Running the built programs in a scratch folder and comparing their files
// with golden copies.
#pragma once

#include <string>
#include <vector>

struct PROGRAMRUN {
  int exitCode;
  std::string console;  // standard output
  std::string folder;   // the scratch folder the program ran in
};

// Copies the named input from tests/e2e/inputs/ into a fresh scratch folder and
// runs the program there with the arguments (each quoted for the shell).
PROGRAMRUN RunProgram(const std::string& program, const std::string& inputName,
                      const std::vector<std::string>& args);

// RunProgram with the input file taken from any path (an example, say).
PROGRAMRUN RunProgramOn(const std::string& program, const std::string& inputPath, const std::string& inputName,
                        const std::vector<std::string>& args);

// Keys typed on the program's terminal once a cue has appeared in its output.
struct TYPEDKEYS {
  std::string cue;
  std::string keys;
};

// Runs the program as RunProgram does, but with a pseudo-terminal as its
// standard input and output, typing each entry's keys after its cue appeared
// (in order). The console is the terminal's output without carriage returns;
// a program still running after timeoutSeconds is killed (exit code -1).
PROGRAMRUN RunProgramOnTerminal(const std::string& program, const std::string& inputName,
                                const std::vector<std::string>& args, const std::vector<TYPEDKEYS>& typed,
                                int timeoutSeconds);

// The arguments of a Trenqual_CUDA run of input with the ENDF folder, seed 5,
// `workers` CPU workers, `streams` streams and devices 1 .. nDevices of 8
// tasks of 8 threads in blocks of 8; the run's own arguments follow them.
std::vector<std::string> DeviceRunArgs(const std::string& input, int workers, int streams, int nDevices);

// The whole file at path ("" when it cannot be read).
std::string ReadText(const std::string& path);

// Installs a copy of the built Trenqual in folder with "Data/ComptonProfiles.dat"
// beside it; returns the program's path.
std::string InstallProgram(const std::string& folder);

// InstallProgram with the auxiliary data files that the build made linked
// into "Data/" (the bremsstrahlung text tables in
// "Data/Brems_angular_prob_dens/"); "" when they were not built.
std::string InstallProgramWithAuxData(const std::string& folder);

// Why a run with the default physics is skipped.
inline constexpr const char* kAuxDataMissing =
    "auxiliary data files not built (their sources were not found): the default physics cannot run";

// The text with lines that change from run to run masked: the program path in
// the echoed command line, times and dates.
std::string MaskVolatileLines(const std::string& text);

// The text with the program's path in the echoed command line masked (and
// nothing else).
std::string MaskProgramPath(const std::string& text);

// The text without the progress lines (ended by carriage returns), which
// depend on the speed of the machine.
std::string WithoutProgressLines(const std::string& text);

// The text with the ENDF folder replaced by "<endf>/" and its volatile lines
// masked.
std::string MaskEndfFolder(std::string text);

// Compares text with golden file tests/e2e/golden/<name> (writes it instead
// when TQ_REGENERATE_GOLDEN is set); returns an empty string when equal, else
// a description of the first difference.
std::string CompareWithGolden(const std::string& text, const std::string& goldenName);
