// MATERIAL: one material of the problem, its elements with their normalised
// fractions, its interaction-forcing switch, and the electron cross-section
// table that the set-up builds for it. The element list elementZ maps a global
// element index to its atomic number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/indexdata.h"

constexpr int kMaxElements = 100;         // elements in one material and in the whole problem
constexpr int kMaxForcedEntries = 4000;   // forced (element, section) entries of one material
constexpr int kMaxMaterials = 32767;      // materials are numbered by 16-bit indices
constexpr int kMaterialGrowth = 20;       // the material array grows by this many records

struct MATERIAL {
  int32_t number;                    // n of M<n>; 0 for the material of MAT
  int32_t nElements;                 // 1..100, or -1 - k: same composition as record k
  int32_t element[kMaxElements];     // global element index of each element, in input order
  double fraction[kMaxElements];     // by global element index: > 0 atom, < 0 mass fraction; |sum| = 1
  double meanAtomicMass;             // atom-fraction weighted atomic weight (set-up)

  // Electron cross-section table of the material (set-up; zero until built).
  int32_t nElectronEntries;          // E: (element, section) entries
  int32_t nElectronEnergies;         // M: points of the energy grid
  uint8_t* entryElement;             // [E] global element index of each entry
  uint8_t* entrySection;             // [E] section number of each entry
  double* electronEnergy;            // [M] energy grid, eV, ascending
  double** electronSigma;            // [E or 2E] rows [M]: cumulative cross section
  double** electronSigmaSlope;       // slopes of the electronSigma rows
  double** elasticSmallAngleShare;   // [nElem_tot] rows [M] or null
  double** elasticSmallAngleShareSlope;
  INDEXDATA electronIndex;           // fast index of electronEnergy
  int32_t nForcedEntries;            // entries whose process is forced
  int32_t forcedEntry[kMaxForcedEntries];
  int8_t forcing;                    // interaction forcing: 0, 1, or -1 when not given
};

// The device copies of the materials (their tables with device addresses) keep
// this layout in both compilers.
static_assert(offsetof(MATERIAL, number) == 0);
static_assert(offsetof(MATERIAL, nElements) == 4);
static_assert(offsetof(MATERIAL, element) == 8);
static_assert(offsetof(MATERIAL, fraction) == 408);
static_assert(offsetof(MATERIAL, meanAtomicMass) == 1208);
static_assert(offsetof(MATERIAL, nElectronEntries) == 1216);
static_assert(offsetof(MATERIAL, nElectronEnergies) == 1220);
static_assert(offsetof(MATERIAL, entryElement) == 1224);
static_assert(offsetof(MATERIAL, entrySection) == 1232);
static_assert(offsetof(MATERIAL, electronEnergy) == 1240);
static_assert(offsetof(MATERIAL, electronSigma) == 1248);
static_assert(offsetof(MATERIAL, electronSigmaSlope) == 1256);
static_assert(offsetof(MATERIAL, elasticSmallAngleShare) == 1264);
static_assert(offsetof(MATERIAL, elasticSmallAngleShareSlope) == 1272);
static_assert(offsetof(MATERIAL, electronIndex) == 1280);
static_assert(offsetof(MATERIAL, nForcedEntries) == 1344);
static_assert(offsetof(MATERIAL, forcedEntry) == 1348);
static_assert(offsetof(MATERIAL, forcing) == 17348);
static_assert(sizeof(MATERIAL) == 17352);

// The record of a material whose element count holds a link.
inline bool IsLinkedMaterial(const MATERIAL& m) { return m.nElements < 0; }
inline int LinkedMaterialIndex(const MATERIAL& m) { return -1 - m.nElements; }
