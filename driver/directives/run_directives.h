// Directives of the run options (threads, histories, seeds, streams, the GPU
// options of Trenqual_CUDA), of the output, log and alternative cross-section
// file names, of the tally output, and the source energy spectrum, written as
// lines of bare numbers.
#pragma once

#include <cstdint>

#include "driver/input/keyword_names.h"
#include "driver/status.h"

constexpr int kMaxSpectrumNumbers = 20000;  // energies and weights as read
constexpr int kMaxEnergies = 10000;

// Defaults that the tally directives inherit.
struct TALLYOUTPUTOPTIONS {
  int32_t mode = 2;        // 0 no files during the run, 1 control tallies only, 2 all tallies
  double interval = 60.0;  // seconds between updates, at least 1
};
namespace directives {
extern TALLYOUTPUTOPTIONS tallyOutputOptions;
}  // namespace directives

// The source energy spectrum: the numbers as read, then, after finishing, the
// energies E[0..nEnerg-1] (first half) and the bin weights W (second half).
struct SPECTRUM {
  double numbers[kMaxSpectrumNumbers];
  int32_t count = 0;
  bool fromCommandLine = false;  // E on the command line replaces the input's spectrum
  bool overrideNoticePrinted = false;
  int32_t nEnerg = 0;
  double* energy = nullptr;  // E[i], input energy unit
  double* weight = nullptr;  // W[i]: weight of the bin E[i-1]..E[i]; W[0] = 0
  double cumulativeWeight[kMaxEnergies];
  double highestSourceEnergy = 0.0;
  double lowestSourceEnergy = 0.0;
};
namespace directives {
extern SPECTRUM sourceSpectrum;
}  // namespace directives

// The run, GPU and file-name directives; true when `word` is one of them.
bool HandleRunDirective(const char* word);

// Appends the keywords of the run, GPU and file-name directives (the _CUDA
// directives marked as Trenqual_CUDA's).
void ListRunDirectives(KEYWORDNAMES* names);

// A line of spectrum numbers (any line whose first word is no keyword).
void HandleSpectrumLine(const char* word);

// The single source energy of E on the command line.
void SetCommandLineEnergy(double energy);

// Turns the spectrum numbers into the energy grid, the normalised weights and
// their cumulative sums. eContiguous: energies first, then weights (else
// pairs of energy and weight). Returns 0, or 1 after printing the error.
Status FinishSpectrum(int eContiguous);

// Clears the spectrum and the tally-output defaults.
void ResetRunDirectives();
