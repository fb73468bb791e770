#include "tests/support/reference_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/support/test_paths.h"

namespace {

constexpr double kBarnPerCm2 = 1e24;
constexpr int kElsepaEnergies = 111;  // rows of every pdeelZZ.p08, 50 eV .. 1 GeV

// Splits a CSV line at commas.
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, ',')) fields.push_back(field);
  return fields;
}

// The data rows of a reference CSV file (comment lines and the header left out).
std::vector<std::vector<std::string>> CsvRows(const std::string& name) {
  std::ifstream file(SharedDataFolder() + "reference/" + name);
  std::vector<std::vector<std::string>> rows;
  std::string line;
  bool header = true;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (header) {
      header = false;
      continue;
    }
    rows.push_back(Fields(line));
  }
  return rows;
}

bool SameEnergy(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::fabs(b); }

}  // namespace

double LogLogInterpolate(const std::vector<double>& x, const std::vector<double>& y, double at) {
  const size_t n = x.size();
  if (n == 0) return 0.0;
  if (n == 1) return y[0];
  size_t i = static_cast<size_t>(std::upper_bound(x.begin(), x.end(), at) - x.begin());
  i = std::clamp<size_t>(i, 1, n - 1) - 1;
  const double t = std::log(at / x[i]) / std::log(x[i + 1] / x[i]);
  return std::exp(std::log(y[i]) + t * std::log(y[i + 1] / y[i]));
}

bool ReadElsepaTable(int z, ELSEPATABLE* table) {
  char name[32];
  std::snprintf(name, sizeof name, "pdeel%02d.p08", z);
  std::ifstream file(SharedDataFolder() + "sources/penelope-2018/" + name);
  int fileZ = 0;
  if (!(file >> fileZ) || fileZ != z) return false;
  *table = ELSEPATABLE{};
  double E, s0, s1, s2, p0, p1, p2;
  while (file >> E >> s0 >> s1 >> s2 >> p0 >> p1 >> p2) {
    if (!table->energy.empty() && !(E > table->energy.back())) return false;
    table->energy.push_back(E);
    table->total.push_back(s0);
    table->transport1.push_back(s1);
  }
  return static_cast<int>(table->energy.size()) == kElsepaEnergies;
}

double ElsepaTransportBarn(const ELSEPATABLE& table, double E) {
  return kBarnPerCm2 * LogLogInterpolate(table.energy, table.transport1, E);
}

std::vector<ESTARROW> ReadEstar(const std::string& material) {
  std::vector<ESTARROW> rows;
  for (const std::vector<std::string>& f : CsvRows("electron_estar_csda_range.csv")) {
    if (f.size() < 8 || f[0] != material) continue;
    ESTARROW r;
    r.energyMeV = std::stod(f[1]);
    r.collision = std::stod(f[2]);
    r.radiative = std::stod(f[3]);
    r.total = std::stod(f[4]);
    r.csdaRange = std::stod(f[5]);
    r.radiationYield = std::stod(f[6]);
    r.densityEffectDelta = std::stod(f[7]);
    rows.push_back(r);
  }
  return rows;
}

const ESTARROW* EstarRowAt(const std::vector<ESTARROW>& rows, double energyMeV) {
  for (const ESTARROW& r : rows)
    if (SameEnergy(r.energyMeV, energyMeV)) return &r;
  return nullptr;
}

double XcomMassAttenuation(const std::string& material, double energyMeV) {
  std::vector<double> e, mu;
  for (const std::vector<std::string>& f : CsvRows("photon_mass_attenuation_nist.csv")) {
    if (f.size() < 4 || f[0] != material) continue;
    e.push_back(std::stod(f[2]));
    mu.push_back(std::stod(f[3]));
  }
  const size_t n = e.size();
  if (n < 2 || energyMeV < e.front() || energyMeV > e.back()) return -1.0;
  // The last row at or below the energy (above the edge at an edge energy),
  // and the interval that starts there unless it is an edge.
  size_t i = 0;
  while (i + 1 < n && e[i + 1] <= energyMeV) ++i;
  if (SameEnergy(e[i], energyMeV) || i + 1 == n) return mu[i];
  const double t = std::log(energyMeV / e[i]) / std::log(e[i + 1] / e[i]);
  return std::exp(std::log(mu[i]) + t * std::log(mu[i + 1] / mu[i]));
}
