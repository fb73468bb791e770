// The auxiliary data files of the simulator, built from the PENELOPE-2018
// tables and ENDF/B-VIII.1:
//   ElasticDPW_totalCS.dat, ElasticDPW_angularDistr.dat  partial-wave elastic scattering
//   IonDWBA.dat                                          DWBA inner-shell ionization
//   Brems_angular_prob_dens.dat                          bremsstrahlung photon angles
//   EEDL_elastic.dat                                     EEDL total elastic cross sections
// Each file's record layout is the one its reader in driver/data expects.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/auxdata/brems_angular_model.h"
#include "tools/auxdata/endf_sources.h"
#include "tools/auxdata/penelope_sources.h"

// Elements of the simulator: Z = 1 .. 100.
constexpr int kAuxElements = 100;
// Cross-section points of one section of the simulator's element record.
constexpr int kSectionRowLimit = 2000;
// Relative lin-lin error allowed when a DWBA table must be thinned to fit.
constexpr double kDwbaThinningTolerance = 1e-3;
// Square centimetres to barns.
constexpr double kBarnPerSquareCentimetre = 1e24;

// One point of a cross-section record: energy (eV), electron and positron
// cross sections (barn).
struct CSPOINT {
  double energy = 0.0;
  double electron = 0.0;
  double positron = 0.0;
};

// ---- Partial-wave elastic scattering.

// The total elastic cross sections of an element: the ELSEPA rows (50 eV to
// 1 GeV) behind the ENDF total elastic cross section below 50 eV, which is
// scaled (separately for electrons and positrons) to join the ELSEPA value
// at 50 eV.
std::vector<CSPOINT> DpwTotalPoints(const ELSEPATOTALS& totals, const ENDFELEMENT& endf);

// The common cosine grid: the cosines of the ELSEPA angle grid, rising.
std::vector<double> DpwCosineGrid();

// The angular record of an element: per ELSEPA energy every cosine of the
// grid with the densities p(mu) = 2 pi (dsigma/dOmega) / sigma0 of electrons
// and positrons (32-bit floats). False with a description when the two
// tables do not share their energies.
bool DpwAngularRecord(const ELSEPADIFFERENTIAL& electron, const ELSEPADIFFERENTIAL& positron,
                      std::string* record, std::string* error);

// ---- DWBA inner-shell ionization.

struct DWBASHELLTABLE {
  int32_t subshell = 0;      // 1-based place of the subshell in the ENDF section list
  int designator = 0;        // ENDF subshell designator (1 K, 2 L1, ... 16 N7)
  double threshold = 0.0;    // eV: the first point, cross sections 0 there
  std::vector<CSPOINT> points;
};

struct DWBAELEMENT {
  std::vector<DWBASHELLTABLE> shells;
  // Remarks for the build report: binding energies that differ from the
  // ENDF relaxation file, shells the ENDF file lacks, thinned tables.
  std::vector<std::string> notes;
};

// The subshell tables of an element. Shell i of the PENELOPE tables is ENDF
// subshell designator i; shells the ENDF electro-atomic file has no section
// for are left out. Each table starts at the shell's threshold (the larger of
// the PENELOPE and ENDF binding energies) with 0, runs on the union of the
// electron and positron energies above it (repeated energies dropped), the
// other particle's cross section interpolated log-log, and is thinned to
// kSectionRowLimit points when longer.
bool DwbaShellTables(const SHELLIONIZATION& electron, const SHELLIONIZATION& positron,
                     const ENDFELEMENT& endf, DWBAELEMENT* element, std::string* error);

// ---- Bremsstrahlung angular distributions.

struct BREMSANGULARSTATS {
  long tables = 0;       // (E, k) distributions
  long points = 0;       // angular points in all
  int mostPoints = 0;    // in one distribution
  double worstL1Error = 0.0;
};

// The record of an element on its ENDF bremsstrahlung (E, k) grid. False with
// a description when a density is not positive or a photon energy lies above
// its electron energy.
bool BremsAngularRecord(const BREMSFITMODEL& model, const ENDFELEMENT& endf, std::string* record,
                        BREMSANGULARSTATS* stats, std::string* error);

// ---- EEDL total elastic cross sections.

// The block of one element: "Z = <z>" and one line "energy total" (eV, barn)
// per point.
std::string EedlElasticBlock(const ENDFELEMENT& endf);

// ---- The whole build.

struct AUXSOURCEFOLDERS {
  std::string penelope;  // PENELOPE-2018 tables, trailing '/'
  std::string endf;      // ENDF/B-VIII.1 library, trailing '/'
};

// The licence notice of the sources, written beside the files.
inline constexpr const char* kNoticeFileName = "PENELOPE_NOTICE.txt";

// Builds the five files and the notice into outputFolder (trailing '/'), printing one line
// per file and the notes of the sources. Returns 0 when all were written,
// else 1 after printing what failed; a file is never left half-written.
int BuildAuxiliaryDataFiles(const AUXSOURCEFOLDERS& sources, const std::string& outputFolder);
