// Published reference data for the physics tests and the validation program,
// read from the shared data folder: ELSEPA elastic cross sections of electrons
// (Dirac partial waves, PENELOPE-2018 pdeelZZ.p08), NIST XCOM photon mass
// attenuation coefficients and ESTAR electron stopping powers and CSDA ranges
// (reference/*.csv).
#pragma once

#include <string>
#include <vector>

// Log-log interpolation of y(x) on an ascending grid (x, y > 0); the end
// values are extrapolated along the end intervals.
double LogLogInterpolate(const std::vector<double>& x, const std::vector<double>& y, double at);

// ELSEPA cross sections of electrons of one element: energies (eV), total
// elastic and first transport cross sections (cm^2).
struct ELSEPATABLE {
  std::vector<double> energy;
  std::vector<double> total;
  std::vector<double> transport1;
};

// Reads pdeelZZ.p08 of element z (1..99); false when the file is missing or
// not as described in its provenance note.
bool ReadElsepaTable(int z, ELSEPATABLE* table);

// First transport cross section of the table at E (eV), in barn (log-log in E).
double ElsepaTransportBarn(const ELSEPATABLE& table, double E);

// One ESTAR row: stopping powers in MeV cm^2/g, CSDA range in g/cm^2,
// radiation yield.
struct ESTARROW {
  double energyMeV = 0.0;
  double collision = 0.0;
  double radiative = 0.0;
  double total = 0.0;
  double csdaRange = 0.0;
  double radiationYield = 0.0;  // share of the energy emitted as bremsstrahlung while slowing down
  double densityEffectDelta = 0.0;
};

// The ESTAR rows of a material ("Al", "Au", "C", ...), energies rising; empty
// when the file or the material is missing.
std::vector<ESTARROW> ReadEstar(const std::string& material);

// The row at energyMeV (a tabulated energy, relative tolerance 1e-9); null
// when there is none.
const ESTARROW* EstarRowAt(const std::vector<ESTARROW>& rows, double energyMeV);

// XCOM mass attenuation coefficient mu/rho (cm^2/g, coherent scattering
// included) of an element symbol at energyMeV, log-log between the tabulated
// energies and never across an absorption edge (an edge appears as two rows at
// one energy; at the edge energy itself the row above the edge is taken).
// Negative when the material is missing or the energy is outside the table.
double XcomMassAttenuation(const std::string& material, double energyMeV);
