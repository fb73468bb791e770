// The per-material electron cross-section tables that the set-up builds into
// each MATERIAL record (fields nElectronEntries .. forcedEntry, core/material.h),
// and how the transport reads them.
//
// One entry per (element, section) of the material: the non-elastic sections
// (1 bremsstrahlung, 2 excitation, 3.. subshell ionization) of every element
// first, element after element, then the elastic entries (section 0) of all
// elements. Row k of electronSigma holds the cumulative macroscopic-per-atom
// cross section of entries 0..k on the material grid electronEnergy (cm^2 per
// atom of the material), so the row of the last non-elastic entry is the
// inelastic total and the last row the total. When the material has positron
// rows (Constants::useDifferentCSforPositrons), rows E..2E-1 are the positron
// table in the same order. electronSigmaSlope holds the slope (per eV) of each
// interval of the same row, the last entry 0.
#pragma once

#include <cstdint>

#include "core/hostdevice.h"
#include "core/material.h"
#include "core/physical_constants.h"

// Largest material grid: its interval index is 16 bits wide.
constexpr int32_t kMaxElectronEnergies = 32767;

// Forced-process kind of electron section s: 0 elastic, 1 bremsstrahlung,
// 2 excitation, 3 K shell, 4 L shells (sections 4..6), 5 M shells (7..11);
// -1 for the outer shells, which are never forced.
TQ_CPU_GPU inline int32_t ForcedProcessOfSection(int32_t s) {
  if (s <= 3) return s;
  if (s <= 6) return 4;
  if (s <= 11) return 5;
  return -1;
}

// Row of entry k of the electron (positron false) or positron table.
TQ_CPU_GPU inline const double* ElectronSigmaRow(const MATERIAL& m, int32_t k, bool positron) {
  return m.electronSigma[positron ? m.nElectronEntries + k : k];
}
TQ_CPU_GPU inline const double* ElectronSigmaSlopeRow(const MATERIAL& m, int32_t k, bool positron) {
  return m.electronSigmaSlope[positron ? m.nElectronEntries + k : k];
}

// Cumulative cross section of entries 0..k at energy E in grid interval i
// (electronEnergy[i] <= E < electronEnergy[i+1]), cm^2.
TQ_CPU_GPU inline double ElectronSigmaAt(const MATERIAL& m, int32_t k, bool positron, int32_t i, double E) {
  return ElectronSigmaRow(m, k, positron)[i] +
         (E - m.electronEnergy[i]) * ElectronSigmaSlopeRow(m, k, positron)[i];
}
