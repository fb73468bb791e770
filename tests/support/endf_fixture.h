// Writers of small ENDF-6 fixtures in the classic (ENDF/B-VII) style: the
// letter-less exponent, 80-column lines with MAT, MF, MT and a sequence number.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One number in the classic 11-column form, e.g. " 1.234567+6".
std::string EndfNumberField(double value);

// An 11-column integer field.
std::string EndfIntegerField(long value);

// A line of six fields with MAT, MF and MT in columns 67-75 and a sequence
// number in 76-80; empty fields are blank.
std::string EndfLine(const std::vector<std::string>& fields, int mat, int mf, int mt);

// The lines of (x, y) pairs, three to a line.
std::string EndfPairLines(const std::vector<std::pair<double, double>>& points, int mat, int mf,
                          int mt);

// The four header lines of a file of generation nver (7 or 8), MF 1 / MT 451.
std::string EndfHeader(int mat, int nver);

// The three ENDF/B-VII style files of one small synthetic element (lithium,
// Z = 3, MAT 300): two subshells K and L1 (MT 534, 535; designators 1, 2),
// classic numbers, log-log photon tables (INT 5), two-range pair-production,
// form-factor and scattering-function tables, elastic data in MF 26 / MT 526.
// Tests break single fields with SetEndfField and write the files with
// WriteEndfViiElement.
struct ENDFVIIELEMENT {
  std::string electrons;   // electrons/e-003_Li_000.endf
  std::string photons;     // photoat/photoat-003_Li_000.endf
  std::string relaxation;  // atomic_relax/atom-003_Li_000.endf
};

constexpr double kViiBindingK = 64.4;    // eV
constexpr double kViiBindingL1 = 5.34;   // eV
constexpr double kViiKRadiativeProb = 0.25;  // share of the K-L1 radiative transition

ENDFVIIELEMENT MakeEndfViiElement();

// Replaces field `field` (1..6) of line `row` (1 = the head line) of section
// (mf, mt) with `value`, right-aligned in its 11 columns. False when the line
// does not exist.
bool SetEndfField(std::string& text, int mf, int mt, int row, int field, const std::string& value);

// Writes the files that are not empty under folder (with trailing '/') in the
// library's sub-folders; false on failure.
bool WriteEndfViiElement(const std::string& folder, const ENDFVIIELEMENT& files);
