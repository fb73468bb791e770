// Compton profiles J(q) of the atomic shells (Biggs, Mendelsohn and Mann,
// At. Data Nucl. Data Tables 16 (1975) 201) from "ComptonProfiles.dat", matched
// to the element's ENDF subshells, and the Slater screening parameters of the
// photoelectron angular distribution.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/data/load_steps.h"
#include "driver/data/raw_readers.h"
#include "platform/paths.h"

namespace {

constexpr int kLinesPerElement = 36;

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) tokens.push_back(line.substr(i, j - i));
    i = j;
  }
  return tokens;
}

bool WholeInteger(const std::string& token, long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtol(token.c_str(), &end, 10);
  return errno == 0 && end != token.c_str() && *end == '\0';
}

bool CompleteNumber(const std::string& token, double* value) {
  char* end = nullptr;
  *value = std::strtod(token.c_str(), &end);
  return end != token.c_str() && *end == '\0' && std::isfinite(*value);
}

// Assigns a profile shell to every occupied subshell; false when the shell
// electrons cannot be matched to the subshell occupancies.
bool MatchProfiles(const std::vector<int>& shellElectrons, ElemStaging* elem) {
  std::vector<int> occupied;  // designators of the occupied subshells, file order
  for (int s = 0; s < elem->nSubshells; ++s) {
    const int d = elem->subshellDesignator[s];
    if (elem->occupancy[d] > 0) occupied.push_back(d);
  }
  const int nOcc = static_cast<int>(occupied.size());
  const int nProfiles = static_cast<int>(shellElectrons.size());
  const bool iridium = elem->Z == 77 && nProfiles == nOcc + 1;
  const bool berkelium = elem->Z == 97 && nProfiles == nOcc - 1;
  if (nProfiles == nOcc || iridium || berkelium) {
    for (int k = 0; k < nOcc && k < nProfiles; ++k)
      elem->profileIndex[occupied[k]] = static_cast<int16_t>(k + 1);
  } else if (nProfiles < nOcc) {
    // A profile shell may hold the electrons of two consecutive subshells.
    int k = 0;
    for (int p = 0; p < nProfiles; ++p) {
      if (k >= nOcc) return false;
      const int electrons = shellElectrons[p];
      if (electrons == elem->occupancy[occupied[k]]) {
        elem->profileIndex[occupied[k++]] = static_cast<int16_t>(p + 1);
      } else if (electrons > elem->occupancy[occupied[k]] && k + 1 < nOcc &&
                 elem->occupancy[occupied[k]] + elem->occupancy[occupied[k + 1]] == electrons) {
        elem->profileIndex[occupied[k++]] = static_cast<int16_t>(p + 1);
        elem->profileIndex[occupied[k++]] = static_cast<int16_t>(p + 1);
      } else {
        return false;
      }
    }
    // Every subshell must have a profile (berkelium's last one is set below).
    if (k < nOcc - (elem->Z == 97 ? 1 : 0)) return false;
  } else {
    return false;
  }
  if (elem->Z == 97 && nOcc >= 2)
    elem->profileIndex[occupied[nOcc - 1]] = elem->profileIndex[occupied[nOcc - 2]];
  return true;
}

void AllocateProfiles(int nProfiles, ElemStaging* elem) {
  elem->nProfiles = static_cast<int16_t>(nProfiles);
  elem->profileQ = new double[kComptonMomenta];
  elem->profileJ = new double*[nProfiles];
  elem->profileCum = new double*[nProfiles];
  elem->profileSlope = new double*[nProfiles];
  elem->profileMedian = new int16_t[nProfiles];
  for (int p = 0; p < nProfiles; ++p) {
    elem->profileJ[p] = new double[kComptonMomenta];
    elem->profileCum[p] = new double[kComptonMomenta];
    elem->profileSlope[p] = new double[kComptonMomenta];
  }
}

int InvalidValue(const std::string& name) {
  std::printf("Invalid numeric value found in file %s.\n", name.c_str());
  return 1;
}

int ReadProfilesFrom(FILE* file, const std::string& name, ElemStaging* elem) {
  std::string line;
  for (int i = 0; i < kLinesPerElement * elem->Z - 6; ++i) {
    if (!ReadTextLine(file, &line)) return InvalidValue(name);
  }
  if (!ReadTextLine(file, &line)) return InvalidValue(name);
  const std::vector<std::string> occupancyTokens = Tokens(line);
  std::vector<int> shellElectrons;
  for (size_t t = 1; t < occupancyTokens.size(); ++t) {
    long electrons = 0;
    if (!WholeInteger(occupancyTokens[t], &electrons) || electrons < 1 || electrons > elem->Z)
      return InvalidValue(name);
    shellElectrons.push_back(static_cast<int>(electrons));
  }
  if (shellElectrons.empty() || shellElectrons.size() > size_t(kMaxDesignator))
    return InvalidValue(name);
  if (!MatchProfiles(shellElectrons, elem)) {
    std::printf("Subshell occupancies specified in file %s are incompatible with ENDF data.\n",
                name.c_str());
    return 1;
  }

  const int nProfiles = static_cast<int>(shellElectrons.size());
  AllocateProfiles(nProfiles, elem);
  for (int i = 0; i < 2; ++i) {
    if (!ReadTextLine(file, &line)) return InvalidValue(name);
  }
  for (int row = 0; row < kComptonMomenta; ++row) {
    if (!ReadTextLine(file, &line)) return InvalidValue(name);
    const std::vector<std::string> tokens = Tokens(line);
    double q = 0.0;
    if (tokens.size() < size_t(2 + nProfiles) || !CompleteNumber(tokens[1], &q) || q < 0.0 ||
        (row > 0 && !(q > elem->profileQ[row - 1])))
      return InvalidValue(name);
    elem->profileQ[row] = q;
    for (int p = 0; p < nProfiles; ++p) {
      double j = 0.0;
      if (!CompleteNumber(tokens[2 + p], &j) || !(j > 0.0)) return InvalidValue(name);
      elem->profileJ[p][row] = j;
    }
  }
  for (int p = 0; p < nProfiles; ++p) {
    NormaliseDensity(elem->profileQ, elem->profileJ[p], elem->profileCum[p], elem->profileSlope[p],
                     kComptonMomenta);
    elem->profileMedian[p] = MedianInterval(elem->profileCum[p], kComptonMomenta);
  }
  return 0;
}

// Slater's groups of ENDF subshell designators: (1s) (2s,2p) (3s,3p) (3d)
// (4s,4p) (4d) (4f) (5s,5p) (5d) (5f) (6s,6p) (6d) (7s,7p); 0 for none.
constexpr int kSlaterGroup[kMaxDesignator] = {0, 1,  2,  2,  2,  3,  3,  3,  4,  4,
                                              5, 5,  5,  6,  6,  7,  7,  8,  8,  8,
                                              9, 9,  10, 10, 0,  0,  11, 11, 11, 12,
                                              12, 0, 0,  0,  0,  0,  0,  13, 0,  0};
constexpr int kGroups = 13;
constexpr int kPrincipal[kGroups + 1] = {0, 1, 2, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 7};
constexpr double kEffectivePrincipal[kGroups + 1] = {0,   1.0, 2.0, 3.0, 3.0, 3.7, 3.7,
                                                     3.7, 4.0, 4.0, 4.0, 4.2, 4.2, 4.2};
constexpr bool kSpGroup[kGroups + 1] = {false, true, true,  true,  false, true, false,
                                        false, true, false, false, true,  false, true};
constexpr double kBohrRadiusAngstrom = 0.52917721092;

}  // namespace

// The Slater group of a designator; a designator without a group of its own
// takes that of the nearest designator that has one.
int SlaterGroupOf(int designator) {
  if (designator < 0 || designator >= kMaxDesignator) return kGroups;
  for (int distance = 0; distance < kMaxDesignator; ++distance) {
    if (designator - distance > 0 && kSlaterGroup[designator - distance] != 0)
      return kSlaterGroup[designator - distance];
    if (designator + distance < kMaxDesignator && kSlaterGroup[designator + distance] != 0)
      return kSlaterGroup[designator + distance];
  }
  return 1;
}

int ReadComptonProfiles(const ELEMENTLOADOPTIONS& options, ElemStaging* elem) {
  const std::string name = options.dataFolder + "ComptonProfiles.dat";
  FILE* file = OpenRegularFileForReading(name, "r");
  if (!file) {
    std::printf("\nFile %s could not be opened for reading.\n", name.c_str());
    return 1;
  }
  const int code = ReadProfilesFrom(file, name, elem);
  std::fclose(file);
  return code;
}

void ComputePhotoelectronParameters(ElemStaging* elem) {
  // Electrons per group.
  double electrons[kGroups + 1] = {};
  for (int s = 0; s < elem->nSubshells; ++s) {
    const int d = elem->subshellDesignator[s];
    electrons[SlaterGroupOf(d)] += elem->occupancy[d];
  }
  // Slater's screening rules and the parameter 1/r^2 with r = n* a0 / Z_eff.
  double parameter[kGroups + 1] = {};
  for (int g = 1; g <= kGroups; ++g) {
    if (electrons[g] == 0.0) continue;
    double screening = (g == 1 ? 0.3 : 0.35) * (electrons[g] - 1.0);
    for (int lower = 1; lower < g; ++lower) {
      if (!kSpGroup[g] || kPrincipal[lower] < kPrincipal[g] - 1)
        screening += electrons[lower];
      else if (kPrincipal[lower] == kPrincipal[g] - 1)
        screening += 0.85 * electrons[lower];
    }
    const double zEffective = elem->Z - screening;
    const double r = kEffectivePrincipal[g] * kBohrRadiusAngstrom / zEffective;
    parameter[g] = 1.0 / (r * r);
  }
  for (int s = 0; s < elem->nSubshells; ++s) {
    const int d = elem->subshellDesignator[s];
    elem->pePar[d] = parameter[SlaterGroupOf(d)];
  }
}
