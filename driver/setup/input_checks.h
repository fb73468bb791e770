// The checks after the input: options against one another, the options left
// unset completed, the source spectrum finished, energies converted to eV
// and, in Trenqual_CUDA, the devices enumerated and chosen.
#pragma once

#include <cstdint>
#include <cstdio>

#include "driver/input/options.h"
#include "driver/status.h"

// The devices of the run (Trenqual_CUDA).
struct DEVICESELECTION {
  int32_t nFound = 0;                  // devices the runtime reports
  int32_t used[kMaxCudaDevices] = {};  // 0-based numbers of the used devices
  int32_t nUsed = 0;
  double ratio[kMaxCudaDevices] = {};  // r_CUDA ratio of each used device
  double ratioSum = 0.0;
  bool emulated[kMaxCudaDevices] = {};  // by device number
  bool allEmulated = false;
  double clockRateHz[kMaxCudaDevices] = {};  // by device number
  uint64_t globalMemory[kMaxCudaDevices] = {};  // bytes, by device number
};
namespace setup {
extern DEVICESELECTION deviceSelection;

extern FILE* altFile;                 // the alternative cross-sections file, open for reading
extern bool interactionForcing;       // some element has some process forced
extern double diffusionRatioSqrt;     // sqrt(DIFFUSION_TOTAL_TO_INELASTIC_RATIO_THR)
extern double diffusionRatioSqrtInv;  // its inverse
}  // namespace setup

// Directly after the second pass. Returns 0, or the exit code after the message.
Status CheckInputConsistency();

// After the geometry set-up: energies to eV, then the second block of checks
// and the device enumeration. Returns 0, or the exit code after the message.
Status CheckAfterGeometrySetup();

// Energies of the input (unit of E_UNIT) and angles (degrees) to eV and radians.
void ConvertInputUnits();

// The state before the passes.
void ResetInputChecks();
