#include "tools/auxdata/penelope_sources.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// The whole file as text; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  *text = buffer.str();
  return true;
}

// Numbers of a text in order, read with strtod from a cursor.
struct NUMBERCURSOR {
  const char* at;
  bool Next(double* value) {
    char* end = nullptr;
    *value = std::strtod(at, &end);
    if (end == at) return false;
    at = end;
    return std::isfinite(*value);
  }
};

bool Fail(std::string* error, const std::string& path, const char* what) {
  *error = path + ": " + what;
  return false;
}

}  // namespace

std::string PenelopeFileName(const std::string& folder, const char* format, int z) {
  char name[64];
  std::snprintf(name, sizeof name, format, z);
  return folder + name;
}

bool ReadElsepaTotals(const std::string& folder, int z, ELSEPATOTALS* totals, std::string* error) {
  const std::string path = PenelopeFileName(folder, "pdeel%02d.p08", z);
  std::string text;
  if (!ReadWholeFile(path, &text)) return Fail(error, path, "cannot be read");
  NUMBERCURSOR cursor{text.c_str()};
  double fileZ = 0.0;
  if (!cursor.Next(&fileZ) || fileZ != z) return Fail(error, path, "atomic number missing or wrong");
  *totals = ELSEPATOTALS();
  double row[7];
  for (;;) {
    int read = 0;
    while (read < 7 && cursor.Next(&row[read])) ++read;
    if (read == 0) break;
    if (read != 7) return Fail(error, path, "incomplete row");
    if (!totals->energy.empty() && row[0] <= totals->energy.back())
      return Fail(error, path, "energies not rising");
    totals->energy.push_back(row[0]);
    totals->electron.push_back(row[1]);
    totals->positron.push_back(row[4]);
  }
  if (totals->energy.size() != 111) return Fail(error, path, "not 111 energies");
  return true;
}

std::vector<double> ElsepaAngleGridDegrees() {
  // 0, 1e-4 degree, then runs of equal steps; each run ends at its limit.
  struct RUN {
    double step, end;
  };
  const RUN runs[] = {{2.5e-5, 1e-3}, {2.5e-4, 1e-2}, {2.5e-3, 0.1}, {0.025, 1.0},
                      {0.1, 10.0},    {0.25, 25.0},   {0.5, 180.0}};
  std::vector<double> angles = {0.0, 1e-4};
  for (const RUN& run : runs) {
    const double start = angles.back();
    const int steps = static_cast<int>(std::lround((run.end - start) / run.step));
    for (int i = 1; i <= steps; ++i) angles.push_back(i == steps ? run.end : start + i * run.step);
  }
  return angles;
}

bool ReadElsepaDifferential(const std::string& folder, int z, bool positron,
                            ELSEPADIFFERENTIAL* table, std::string* error) {
  const std::string path = PenelopeFileName(folder, positron ? "peldx%03d.p08" : "eeldx%03d.p08", z);
  std::string text;
  if (!ReadWholeFile(path, &text)) return Fail(error, path, "cannot be read");
  NUMBERCURSOR cursor{text.c_str()};
  *table = ELSEPADIFFERENTIAL();
  double head[6];
  for (;;) {
    int read = 0;
    while (read < 6 && cursor.Next(&head[read])) ++read;
    if (read == 0) break;
    if (read != 6 || head[0] != (positron ? 1.0 : -1.0) || head[1] != z)
      return Fail(error, path, "energy head line wrong");
    if (!table->energy.empty() && head[2] <= table->energy.back())
      return Fail(error, path, "energies not rising");
    std::vector<double> dcs(kElsepaAngles);
    for (double& value : dcs)
      if (!cursor.Next(&value) || value < 0.0) return Fail(error, path, "differential cross section missing");
    table->energy.push_back(head[2]);
    table->sigma0.push_back(head[3]);
    table->dcs.push_back(std::move(dcs));
  }
  if (table->energy.size() != 96) return Fail(error, path, "not 96 energies");
  return true;
}

bool ReadShellIonization(const std::string& folder, int z, bool positron, SHELLIONIZATION* table,
                         std::string* error) {
  const std::string path = PenelopeFileName(folder, positron ? "pdpsi%02d.p14" : "pdesi%02d.p14", z);
  std::ifstream file(path);
  if (!file) return Fail(error, path, "cannot be read");
  *table = SHELLIONIZATION();
  // "# IZ, NGE, NS: Z NGE NS", "# Shell: ...", "# Eion (eV) ...".
  std::string line;
  int fileZ = 0, nge = 0, ns = 0;
  if (!std::getline(file, line) || std::sscanf(line.c_str(), "# IZ, NGE, NS: %d %d %d", &fileZ, &nge, &ns) != 3 ||
      fileZ != z || nge < 2 || ns < 1)
    return Fail(error, path, "first header line wrong");
  std::string label;
  if (!std::getline(file, line)) return Fail(error, path, "shell line missing");
  std::istringstream shells(line);
  shells >> label >> label;  // "#", "Shell:"
  for (int i = 0, s = 0; i < ns; ++i) {
    if (!(shells >> s) || s < 1 || s > 16) return Fail(error, path, "shell number wrong");
    table->shell.push_back(s);
  }
  if (!std::getline(file, line)) return Fail(error, path, "binding-energy line missing");
  std::istringstream energies(line);
  energies >> label >> label >> label;  // "#", "Eion", "(eV)"
  for (int i = 0; i < ns; ++i) {
    double e = 0.0;
    if (!(energies >> e) || !(e > 0.0)) return Fail(error, path, "binding energy wrong");
    table->bindingEnergy.push_back(e);
  }
  table->cs.assign(ns, std::vector<double>());
  for (int row = 0; row < nge; ++row) {
    double e = 0.0;
    if (!(file >> e) || (!table->energy.empty() && e < table->energy.back()))
      return Fail(error, path, "energy missing or falling");
    table->energy.push_back(e);
    for (int s = 0; s < ns; ++s) {
      double cs = 0.0;
      if (!(file >> cs) || cs < 0.0) return Fail(error, path, "cross section missing");
      table->cs[s].push_back(cs);
    }
  }
  return true;
}

bool ReadBremsAngularFit(const std::string& folder, BREMSANGULARFIT* fit, std::string* error) {
  const std::string path = folder + "pdbrang.p18";
  std::ifstream file(path);
  if (!file) return Fail(error, path, "cannot be read");
  std::string line;
  std::getline(file, line);  // column heads
  constexpr int kElements = 13, kEnergies = 7, kKappas = 10;
  *fit = BREMSANGULARFIT();
  fit->z.assign(kElements, 0.0);
  fit->energy.assign(kEnergies, 0.0);
  fit->kappa.assign(kKappas, 0.0);
  fit->a.assign(kElements, std::vector<std::vector<double>>(kEnergies, std::vector<double>(kKappas, 0.0)));
  fit->b = fit->a;
  for (int row = 0; row < kElements * kEnergies * kKappas; ++row) {
    int iz = 0, ie = 0, ik = 0;
    double z = 0.0, e = 0.0, kappa = 0.0, a = 0.0, b = 0.0, err = 0.0;
    if (!(file >> iz >> ie >> ik >> z >> e >> kappa >> a >> b >> err) || iz < 1 || iz > kElements ||
        ie < 1 || ie > kEnergies || ik < 1 || ik > kKappas)
      return Fail(error, path, "row missing or out of range");
    if (!(a > 0.0 && a < 2.0 && b >= 0.0 && b < 1.0)) return Fail(error, path, "parameter out of range");
    fit->z[iz - 1] = z;
    fit->energy[ie - 1] = e;
    fit->kappa[ik - 1] = kappa;
    fit->a[iz - 1][ie - 1][ik - 1] = a;
    fit->b[iz - 1][ie - 1][ik - 1] = b;
  }
  for (const std::vector<double>* grid : {&fit->z, &fit->energy, &fit->kappa})
    for (size_t i = 1; i < grid->size(); ++i)
      if (!((*grid)[i] > (*grid)[i - 1])) return Fail(error, path, "grid not rising");
  return true;
}
