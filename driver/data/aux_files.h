// The auxiliary data files that the chosen physics models need (opened and
// their offset tables checked once, before the elements load) and the
// alternative cross-sections information file with its per-element settings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/data/load_options.h"

constexpr int kDwbaElements = 99;              // IonDWBA.dat holds Z = 1..99
constexpr int kMaxDpwCosines = 1000;           // common cosine grid of the partial-wave file
constexpr int kMaxAdditionalEnergies = 1000;   // extra energies of the information file

// The open binary files with their record offset tables (entry Z-1 is the
// byte offset of element Z's record).
struct AUXDATAFILES {
  FILE* brems = nullptr;  // "Brems_angular_prob_dens.dat"
  std::string bremsName;
  int32_t bremsOffsets[100] = {};
  FILE* dwba = nullptr;  // "IonDWBA.dat"
  std::string dwbaName;
  int32_t dwbaOffsets[kDwbaElements] = {};
  FILE* dpwTotal = nullptr;  // "ElasticDPW_totalCS.dat"
  std::string dpwTotalName;
  int32_t dpwTotalOffsets[100] = {};
  FILE* dpwAngular = nullptr;  // "ElasticDPW_angularDistr.dat"
  std::string dpwAngularName;
  int32_t dpwAngularOffsets[100] = {};
  std::vector<double> dpwCosines;  // the cosine grid shared by all elements
};

// Alternative excitation and ionization cross sections of one element.
struct ALTCSSETTINGS {
  bool excFileGiven = false;
  std::string excFileName;  // EXC_FN
  bool ionFileGiven = false;
  std::string ionFileName;   // ION_FN
  double excInterpEnd = 0.0;  // EXC_INTERP_END, eV
  double ionInterpEnd = 0.0;  // ION_INTERP_END, eV
  int excInterpRule = 5;      // EXC_INTERP_RULE
  int ionInterpRule = 5;      // ION_INTERP_RULE
  bool excCoefsGiven = false;
  double excInterpCoefs[4] = {};  // EXC_INTERP_COEFS c0..c3
  bool ionCoefsGiven = false;
  double ionInterpCoefs[4] = {};  // ION_INTERP_COEFS c0..c3
};

// What the information file gives: settings per element of the problem (in
// the order of its element list) and the additional grid energies (eV).
struct ALTCSINFO {
  std::string fileName;  // the information file, empty when none was given
  std::vector<ALTCSSETTINGS> elements;
  std::vector<double> additionalEnergies;
};

// Everything the per-element loading takes from the auxiliary sources.
struct AUXELECTRONDATA {
  AUXDATAFILES files;
  ALTCSINFO alt;
};

// Opens the binary files that the options ask for and checks their offset
// tables. Prints the exact message and returns 1 on failure, else 0.
int OpenAuxiliaryDataFiles(const ELEMENTLOADOPTIONS& options, AUXDATAFILES* files);
void CloseAuxiliaryDataFiles(AUXDATAFILES* files);

// Sets the defaults for the `count` elements of the problem and reads the
// information file `altFile` (may be null: defaults only), echoing it into
// `outputFile` (may be null). Prints the exact message and returns 1 on an
// error, else 0. The stream is closed.
int ReadAltCrossSectionsInfo(FILE* altFile, const std::string& altName, const int* atomicNumbers,
                             int count, FILE* outputFile, ALTCSINFO* info);

// Prints "File %s could not be opened for reading.\n" and returns 1.
int AuxFileMissing(const std::string& name);
