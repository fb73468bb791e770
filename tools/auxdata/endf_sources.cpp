#include "tools/auxdata/endf_sources.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/elements.h"

namespace {

constexpr int kFieldWidth = 11;

// The lines of an ENDF-6 file, each padded to 80 columns.
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  std::ifstream file(path);
  if (!file) return false;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 80) line.resize(80, ' ');
    lines->push_back(line);
  }
  return true;
}

int LineMf(const std::string& line) { return std::atoi(line.substr(70, 2).c_str()); }
int LineMt(const std::string& line) { return std::atoi(line.substr(72, 3).c_str()); }

// The lines of section (MF, MT), head line first.
std::vector<std::string> Section(const std::vector<std::string>& file, int mf, int mt) {
  std::vector<std::string> lines;
  for (const std::string& line : file) {
    if (LineMf(line) == mf && LineMt(line) == mt) lines.push_back(line);
    else if (!lines.empty()) break;
  }
  return lines;
}

// The MT numbers of the sections of file MF in file order.
std::vector<int> SectionNumbers(const std::vector<std::string>& file, int mf) {
  std::vector<int> numbers;
  for (const std::string& line : file) {
    const int mt = LineMt(line);
    if (LineMf(line) == mf && mt != 0 && (numbers.empty() || numbers.back() != mt)) numbers.push_back(mt);
  }
  return numbers;
}

double Field(const std::string& line, int field, bool* ok) {
  double value = 0.0;
  if (!ParseEndfField(line.c_str() + (field - 1) * kFieldWidth, kFieldWidth, &value)) *ok = false;
  return value;
}

int IntField(const std::string& line, int field) {
  return std::atoi(line.substr((field - 1) * kFieldWidth, kFieldWidth).c_str());
}

// n (x, y) pairs from the lines starting at *next, three pairs a line.
bool ReadPairs(const std::vector<std::string>& lines, size_t* next, int n, std::vector<double>* x,
               std::vector<double>* y) {
  bool ok = true;
  for (int k = 0; k < n && ok; ++k) {
    if (*next >= lines.size()) return false;
    const int pair = k % 3;
    x->push_back(Field(lines[*next], 2 * pair + 1, &ok));
    y->push_back(Field(lines[*next], 2 * pair + 2, &ok));
    if (pair == 2 || k == n - 1) ++*next;
  }
  return ok;
}

bool Fail(std::string* error, const std::string& path, const char* what) {
  *error = path + ": " + what;
  return false;
}

bool ReadElasticTotal(const std::vector<std::string>& file, const std::string& path, ENDFELEMENT* element,
                      std::string* error) {
  // Head, control line, interpolation line (NBT = NP, INT = 2), pairs.
  const std::vector<std::string> lines = Section(file, 23, 526);
  if (lines.size() < 4) return Fail(error, path, "MF 23 MT 526 missing");
  const int np = IntField(lines[2], 1);
  if (IntField(lines[2], 2) != 2) return Fail(error, path, "MF 23 MT 526 not lin-lin");
  size_t next = 3;
  if (!ReadPairs(lines, &next, np, &element->elasticEnergy, &element->elasticTotal))
    return Fail(error, path, "MF 23 MT 526 cut short");
  return true;
}

bool ReadBremsGrid(const std::vector<std::string>& file, const std::string& path, ENDFELEMENT* element,
                   std::string* error) {
  // The sixth line of the section carries the number of incident energies.
  const std::vector<std::string> lines = Section(file, 26, 527);
  if (lines.size() < 7) return Fail(error, path, "MF 26 MT 527 missing");
  const int ne = IntField(lines[5], 1);
  size_t next = 6;
  for (int e = 0; e < ne; ++e) {
    if (next >= lines.size()) return Fail(error, path, "MF 26 MT 527 cut short");
    bool ok = true;
    const double energy = Field(lines[next], 2, &ok);
    const int np = IntField(lines[next], 6);
    ++next;
    std::vector<double> k, p;
    if (!ok || np < 2 || !ReadPairs(lines, &next, np, &k, &p)) return Fail(error, path, "MF 26 MT 527 spectrum broken");
    std::vector<double> kept;
    for (double value : k)
      if (kept.empty() || value != kept.back()) kept.push_back(value);
    element->bremsEnergy.push_back(energy);
    element->bremsPhotonEnergy.push_back(kept);
  }
  return true;
}

bool ReadBindingEnergies(const std::vector<std::string>& file, const std::string& path, ENDFELEMENT* element,
                         std::string* error) {
  const std::vector<std::string> lines = Section(file, 28, 533);
  if (lines.empty()) return Fail(error, path, "MF 28 MT 533 missing");
  // Head [ZA AWR 0 0 NSS 0]; per subshell [SUBI 0 0 0 NW NTR], [EBI ELN ...]
  // and NTR transition lines.
  const int nss = IntField(lines[0], 5);
  size_t next = 1;
  for (int s = 0; s < nss; ++s) {
    if (next + 1 >= lines.size()) return Fail(error, path, "MF 28 MT 533 cut short");
    bool ok = true;
    const int designator = static_cast<int>(std::lround(Field(lines[next], 1, &ok)));
    const int transitions = IntField(lines[next], 6);
    const double binding = Field(lines[next + 1], 1, &ok);
    if (!ok || designator < 1 || designator > 99 || transitions < 0) return Fail(error, path, "MF 28 subshell broken");
    if (static_cast<int>(element->bindingEnergy.size()) <= designator) element->bindingEnergy.resize(designator + 1, 0.0);
    element->bindingEnergy[designator] = binding;
    next += 2 + transitions;
  }
  return true;
}

}  // namespace

bool ParseEndfField(const char* text, int width, double* value) {
  // Non-blank characters, with "e" put before the exponent sign of the
  // letter-less form.
  char buffer[48];
  int m = 0;
  for (int i = 0; i < width && text[i] != '\0'; ++i) {
    char c = text[i];
    if (c == ' ') continue;
    if (m >= 40) return false;
    if (c == 'd' || c == 'D' || c == 'E') c = 'e';
    if ((c == '+' || c == '-') && m > 0 && buffer[m - 1] != 'e') buffer[m++] = 'e';
    buffer[m++] = c;
  }
  if (m == 0) {
    *value = 0.0;
    return true;
  }
  buffer[m] = '\0';
  char* end = nullptr;
  *value = std::strtod(buffer, &end);
  return end == buffer + m && std::isfinite(*value);
}

bool ReadEndfElement(const std::string& endfFolder, int z, ENDFELEMENT* element, std::string* error) {
  *element = ENDFELEMENT();
  element->z = z;
  char name[256];
  std::snprintf(name, sizeof name, "%selectrons/e-%03d_%s_000.endf", endfFolder.c_str(), z, elementSymbol[z]);
  const std::string electrons = name;
  std::snprintf(name, sizeof name, "%satomic_relax/atom-%03d_%s_000.endf", endfFolder.c_str(), z, elementSymbol[z]);
  const std::string relaxation = name;
  std::vector<std::string> electronLines, relaxationLines;
  if (!ReadLines(electrons, &electronLines)) return Fail(error, electrons, "cannot be read");
  if (!ReadLines(relaxation, &relaxationLines)) return Fail(error, relaxation, "cannot be read");
  for (int mt : SectionNumbers(electronLines, 23))
    if (mt >= 534) element->ionizationDesignator.push_back(mt - 533);
  return ReadElasticTotal(electronLines, electrons, element, error) &&
         ReadBremsGrid(electronLines, electrons, element, error) &&
         ReadBindingEnergies(relaxationLines, relaxation, element, error);
}
