// What the auxiliary-data builder takes from the ENDF/B-VIII.1 files of one
// element: the electro-atomic total elastic cross section (MF 23, MT 526),
// the subshells with ionization cross sections (MF 23, MT 534 and up), the
// incident and photon energies of the bremsstrahlung spectra (MF 26, MT 527)
// and the subshell binding energies of the relaxation file (MF 28, MT 533).
#pragma once

#include <string>
#include <vector>

struct ENDFELEMENT {
  int z = 0;
  // Total elastic cross section: energies (eV) and barns, lin-lin.
  std::vector<double> elasticEnergy, elasticTotal;
  // Subshell designators of the ionization sections in file order
  // (MT - 533: 1 = K, 2 = L1, ... 16 = N7, ...).
  std::vector<int> ionizationDesignator;
  // Bremsstrahlung spectra: incident energies (eV) and at each the photon
  // energies (eV) as the simulator keeps them (the second point of a step
  // dropped).
  std::vector<double> bremsEnergy;
  std::vector<std::vector<double>> bremsPhotonEnergy;
  // Binding energy (eV) per relaxation designator (index = designator; 0 when
  // the subshell is not listed).
  std::vector<double> bindingEnergy;
};

// Reads electrons/e-ZZZ_Sy_000.endf and atomic_relax/atom-ZZZ_Sy_000.endf in
// the ENDF folder (with trailing '/'). False with a one-line description in
// *error when a file is missing or a section is broken.
bool ReadEndfElement(const std::string& endfFolder, int z, ENDFELEMENT* element, std::string* error);

// One number of an ENDF-6 field: "1.234567+6", "-2.5-3", "1.5E+9",
// "1.79389D-5", "29000.0000"; a blank field is 0. False when malformed.
bool ParseEndfField(const char* text, int width, double* value);
