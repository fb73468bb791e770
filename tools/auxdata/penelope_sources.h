// Readers of the PENELOPE-2018 database tables that the auxiliary data are
// built from (formats in the sources' PROVENANCE.md). Energies in eV, cross
// sections in cm^2 (cm^2/sr for differential ones) as the tables hold them.
// Every reader returns false and sets *error to a one-line description when
// a file is missing or breaks its format.
#pragma once

#include <string>
#include <vector>

// Elements with ELSEPA and DWBA tables: Z = 1 .. 99.
constexpr int kPenelopeElements = 99;

// pdeelZZ.p08: total elastic cross sections sigma0 of electrons and positrons.
struct ELSEPATOTALS {
  std::vector<double> energy;    // 111 energies, 50 eV .. 1 GeV
  std::vector<double> electron;  // sigma0(e-), cm^2
  std::vector<double> positron;  // sigma0(e+), cm^2
};
bool ReadElsepaTotals(const std::string& folder, int z, ELSEPATOTALS* totals, std::string* error);

// The fixed polar-angle grid of the differential tables, degrees, rising
// from 0 to 180 (606 angles).
constexpr int kElsepaAngles = 606;
std::vector<double> ElsepaAngleGridDegrees();

// eeldxZZZ.p08 or peldxZZZ.p08: dsigma/dOmega at each energy on the angle grid.
struct ELSEPADIFFERENTIAL {
  std::vector<double> energy;             // 96 energies, 50 eV .. 100 MeV
  std::vector<double> sigma0;             // total elastic cross section, cm^2
  std::vector<std::vector<double>> dcs;   // [energy][angle], cm^2/sr, angles rising
};
// positron selects peldx (charge +1) instead of eeldx (charge -1).
bool ReadElsepaDifferential(const std::string& folder, int z, bool positron,
                            ELSEPADIFFERENTIAL* table, std::string* error);

// pdesiZZ.p14 or pdpsiZZ.p14: inner-shell impact ionisation cross sections.
struct SHELLIONIZATION {
  std::vector<int> shell;                  // 1..16 = K, L1..L3, M1..M5, N1..N7
  std::vector<double> bindingEnergy;       // eV, per listed shell
  std::vector<double> energy;              // rising; an energy may appear twice
  std::vector<std::vector<double>> cs;     // [listed shell][energy], cm^2
};
bool ReadShellIonization(const std::string& folder, int z, bool positron, SHELLIONIZATION* table,
                         std::string* error);

// pdbrang.p18: parameters A and B of the bremsstrahlung angular distribution
// fitted at 13 elements x 7 electron energies x 10 reduced photon energies.
struct BREMSANGULARFIT {
  std::vector<double> z;       // 13 atomic numbers, rising
  std::vector<double> energy;  // 7 electron kinetic energies, eV, rising
  std::vector<double> kappa;   // 10 reduced photon energies K = k/E, rising
  // [element][energy][kappa]
  std::vector<std::vector<std::vector<double>>> a, b;
};
bool ReadBremsAngularFit(const std::string& folder, BREMSANGULARFIT* fit, std::string* error);

// The file name of a table, for messages: folder + name.
std::string PenelopeFileName(const std::string& folder, const char* format, int z);
