// Fixture writers for the auxiliary electron data files in the program's
// formats: the DWBA ionization file "IonDWBA.dat", the partial-wave elastic
// files "ElasticDPW_totalCS.dat" and "ElasticDPW_angularDistr.dat", the EEDL
// total elastic cross sections "EEDL_elastic.dat", and the alternative
// excitation and ionization cross-section files. Binary writers return the
// bytes (little-endian), so a test can cut or patch them before writing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// One point of a cross-section record: energy (eV), electron and positron
// cross sections (barn).
struct CSPOINT3 {
  double energy = 0.0;
  double electron = 0.0;
  double positron = 0.0;
};

// One subshell table of a DWBA record.
struct DWBATABLE {
  int32_t subshell = 1;          // 1-based, file order of the ENDF subshells
  int32_t declaredCount = -1;    // point count written; -1: points.size()
  std::vector<CSPOINT3> points;
};

// "IonDWBA.dat": 99 offsets, then the records of Z = 1..99 (an element not in
// the map gets a record without tables).
std::string IonDwbaFileBytes(const std::map<int, std::vector<DWBATABLE>>& records);

// "ElasticDPW_totalCS.dat": 100 offsets, then per element a count and the
// points (elements not in the map get two points at 10 eV and 1e11 eV).
std::string DpwTotalFileBytes(const std::map<int, std::vector<CSPOINT3>>& records);

// One point of a partial-wave angular distribution: index into the common
// cosine grid and the electron and positron densities.
struct DPWPOINT {
  int16_t cosineIndex = 0;
  float electron = 0.0f;
  float positron = 0.0f;
};

struct DPWDISTRIBUTION {
  double energy = 0.0;  // eV
  std::vector<DPWPOINT> points;
};

// "ElasticDPW_angularDistr.dat": the cosine count (int16) and grid, 100
// offsets, then per element the distributions (elements not in the map get
// two flat distributions over the whole grid).
std::string DpwAngularFileBytes(const std::vector<double>& cosines,
                                const std::map<int, std::vector<DPWDISTRIBUTION>>& records);

// "EEDL_elastic.dat": per element a line "Z = <z>" and lines "energy total".
std::string EedlElasticText(const std::map<int, std::vector<std::pair<double, double>>>& blocks);

// An excitation level of an alternative excitation file: energy loss (eV)
// and (energy in eV, cross section in m^2) points.
struct ALTLEVEL {
  double energyLoss = 0.0;
  std::vector<std::pair<double, double>> points;
};

// An alternative excitation file: "EXCITATION" blocks with the energy loss on
// the second line after the head and the data between delimiter lines.
std::string AltExcitationText(const std::vector<ALTLEVEL>& levels);

// An alternative ionization file: blocks of (eV, m^2) data between delimiter lines.
std::string AltIonizationText(const std::vector<std::vector<std::pair<double, double>>>& blocks);

// The delimiter line of the data blocks.
extern const char* const kAltDataDelimiter;
