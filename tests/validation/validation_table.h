// The rows of the physics validation: one program value beside its published
// reference, printed as one table and written as CSV.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct VALIDATIONROW {
  std::string quantity;       // what is compared, with its unit
  std::string caseName;       // the element, energy and set-up
  double value = 0.0;         // the program's value
  double reference = 0.0;     // the published value
  double statPercent = -1.0;  // statistical standard deviation of the value, per cent of it; negative: none
  // For the plots: the element symbol and the energy (MeV, 0 when none).
  std::string element;
  double energyMeV = 0.0;
  // The published range where the reference is its middle (0, 0: none).
  double referenceLow = 0.0, referenceHigh = 0.0;

  double DeviationPercent() const { return 100.0 * (value / reference - 1.0); }
};

// Prints the rows as one table with the columns quantity, case, program
// value, reference, deviation (%) and statistical error (%).
void PrintValidationTable(const std::vector<VALIDATIONROW>& rows, FILE* out);

// Writes the same rows as CSV (the table's columns, then element, energy and
// the published range for the plots); false when the file cannot be written.
bool WriteValidationCsv(const std::vector<VALIDATIONROW>& rows, const std::string& path);
