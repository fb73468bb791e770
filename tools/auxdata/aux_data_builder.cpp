#include "tools/auxdata/aux_data_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>

#include "core/elements.h"
#include "core/physical_constants.h"
#include "tools/auxdata/binary_layout.h"
#include "tools/auxdata/licence_notice.h"
#include "tools/auxdata/numerics.h"

namespace {

// Names of the inner shells of the PENELOPE tables, by shell number.
const char* const kShellName[17] = {"",   "K",  "L1", "L2", "L3", "M1", "M2", "M3", "M4",
                                    "M5", "N1", "N2", "N3", "N4", "N5", "N6", "N7"};

// The trailer of the files derived from the PENELOPE tables: the licence
// notice behind the last record, where no reader looks.
std::string LicenceTrailer(const char* what) {
  return std::string("\n") + what +
         " built from the PENELOPE-2018 database tables (F. Salvat, NEA/MBDAV/R(2019)1).\n\n" +
         kPenelopeLicenceNotice;
}

std::string Describe(const char* format, double a, double b) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// The cross sections of one particle on and above a shell's threshold: the
// threshold with 0 first, then the table's energies above it, repeated
// energies dropped; cm^2 to barn.
void ShellColumn(const SHELLIONIZATION& table, size_t listed, double threshold, std::vector<double>* energy,
                 std::vector<double>* cs) {
  energy->assign(1, threshold);
  cs->assign(1, 0.0);
  for (size_t i = 0; i < table.energy.size(); ++i) {
    const double e = table.energy[i];
    if (e <= energy->back()) continue;
    energy->push_back(e);
    cs->push_back(table.cs[listed][i] * kBarnPerSquareCentimetre);
  }
}

// The value of a column at energy e: its own value at its own energies,
// log-log interpolation between them.
double ColumnAt(const std::vector<double>& energy, const std::vector<double>& cs, double e) {
  const auto at = std::lower_bound(energy.begin(), energy.end(), e);
  if (at != energy.end() && *at == e) return cs[at - energy.begin()];
  return LogLogAt(energy, cs, e);
}

bool FileFits(const std::string& bytes) {
  return bytes.size() < static_cast<size_t>(std::numeric_limits<int32_t>::max());
}

// ---- The files one by one.

struct BUILDSTEP {
  explicit BUILDSTEP(const char* fileName) : name(fileName) {}
  const char* name;
  bool ok = true;
  std::string error;
  std::string summary;
};

void Report(const BUILDSTEP& step) {
  if (step.ok) std::printf("%s: %s\n", step.name, step.summary.c_str());
  else std::printf("%s not made: %s\n", step.name, step.error.c_str());
}

bool Write(const std::string& folder, BUILDSTEP* step, const std::string& bytes, const std::string& summary) {
  if (!FileFits(bytes)) {
    step->error = "larger than its 32-bit offsets can address";
    return step->ok = false;
  }
  if (!WriteFileWhole(folder + step->name, bytes)) {
    step->error = "cannot be written in " + folder;
    return step->ok = false;
  }
  char size[64];
  std::snprintf(size, sizeof size, " (%.1f MB)", bytes.size() / 1e6);
  step->summary = summary + size;
  return true;
}

void BuildElasticFiles(const AUXSOURCEFOLDERS& sources, const std::vector<ENDFELEMENT>& endf,
                       const std::string& folder, BUILDSTEP* totalStep, BUILDSTEP* angularStep) {
  std::vector<std::string> totalRecords, angularRecords;
  for (int z = 1; z <= kPenelopeElements; ++z) {
    ELSEPATOTALS totals;
    ELSEPADIFFERENTIAL electron, positron;
    std::string error, record;
    if (!ReadElsepaTotals(sources.penelope, z, &totals, &error) ||
        !ReadElsepaDifferential(sources.penelope, z, false, &electron, &error) ||
        !ReadElsepaDifferential(sources.penelope, z, true, &positron, &error) ||
        !DpwAngularRecord(electron, positron, &record, &error)) {
      totalStep->ok = angularStep->ok = false;
      totalStep->error = angularStep->error = error;
      return;
    }
    angularRecords.push_back(record);
    const std::vector<CSPOINT> points = DpwTotalPoints(totals, endf[z - 1]);
    record.clear();
    AppendRaw(&record, static_cast<int32_t>(points.size()));
    for (const CSPOINT& p : points) {
      AppendRaw(&record, p.energy);
      AppendRaw(&record, p.electron);
      AppendRaw(&record, p.positron);
    }
    totalRecords.push_back(record);
  }
  // Fermium has no partial-wave tables: it takes einsteinium's.
  totalRecords.push_back(totalRecords.back());
  angularRecords.push_back(angularRecords.back());

  const std::string trailer = LicenceTrailer("Partial-wave (ELSEPA) elastic scattering data");
  Write(folder, totalStep, FileWithOffsetTable("", totalRecords, trailer),
        "total elastic cross sections of Z = 1-100 (Z = 100 as Z = 99)");
  std::string header;
  const std::vector<double> cosines = DpwCosineGrid();
  AppendRaw(&header, static_cast<int16_t>(cosines.size()));
  for (double c : cosines) AppendRaw(&header, c);
  Write(folder, angularStep, FileWithOffsetTable(header, angularRecords, trailer),
        "angular distributions of Z = 1-100 on 606 cosines (Z = 100 as Z = 99)");
}

void BuildDwbaFile(const AUXSOURCEFOLDERS& sources, const std::vector<ENDFELEMENT>& endf, const std::string& folder,
                   BUILDSTEP* step) {
  std::vector<std::string> records, notes;
  int tables = 0;
  for (int z = 1; z <= kPenelopeElements; ++z) {
    SHELLIONIZATION electron, positron;
    DWBAELEMENT element;
    std::string error;
    if (!ReadShellIonization(sources.penelope, z, false, &electron, &error) ||
        !ReadShellIonization(sources.penelope, z, true, &positron, &error) ||
        !DwbaShellTables(electron, positron, endf[z - 1], &element, &error)) {
      step->ok = false;
      step->error = error;
      return;
    }
    std::string record;
    AppendRaw(&record, static_cast<int32_t>(element.shells.size()));
    for (const DWBASHELLTABLE& shell : element.shells) {
      AppendRaw(&record, shell.subshell);
      AppendRaw(&record, static_cast<int32_t>(shell.points.size()));
      for (const CSPOINT& p : shell.points) {
        AppendRaw(&record, p.energy);
        AppendRaw(&record, p.electron);
        AppendRaw(&record, p.positron);
      }
    }
    records.push_back(record);
    tables += static_cast<int>(element.shells.size());
    for (const std::string& note : element.notes)
      notes.push_back(std::string(elementSymbol[z]) + " (Z = " + std::to_string(z) + ") " + note);
  }
  if (Write(folder, step,
            FileWithOffsetTable("", records, LicenceTrailer("DWBA inner-shell ionization cross sections")),
            "subshell cross sections of Z = 1-99, " + std::to_string(tables) + " tables")) {
    for (const std::string& note : notes) step->summary += "\n  " + note;
  }
}

void BuildBremsFile(const AUXSOURCEFOLDERS& sources, const std::vector<ENDFELEMENT>& endf, const std::string& folder,
                    BUILDSTEP* step) {
  BREMSANGULARFIT fit;
  if (!ReadBremsAngularFit(sources.penelope, &fit, &step->error)) {
    step->ok = false;
    return;
  }
  const BREMSFITMODEL model = MakeBremsFitModel(fit);
  std::vector<std::string> records;
  BREMSANGULARSTATS stats;
  for (const ENDFELEMENT& element : endf) {
    std::string record;
    if (!BremsAngularRecord(model, element, &record, &stats, &step->error)) {
      step->ok = false;
      return;
    }
    records.push_back(record);
  }
  char summary[256];
  std::snprintf(summary, sizeof summary,
                "%ld distributions of Z = 1-100, %.1f points on average, at most %d, L1 error at most %.2g",
                stats.tables, static_cast<double>(stats.points) / stats.tables, stats.mostPoints,
                stats.worstL1Error);
  Write(folder, step,
        FileWithOffsetTable("", records, LicenceTrailer("Bremsstrahlung angular distributions (up to 1 MeV)")),
        summary);
}

void BuildEedlFile(const std::vector<ENDFELEMENT>& endf, const std::string& folder, BUILDSTEP* step) {
  std::string text =
      "# Total elastic cross sections of electrons, ENDF/B-VIII.1 (EEDL) MF 23 MT 526:\n"
      "# per element a line \"Z = <z>\", then energy (eV) and cross section (barn).\n\n";
  for (const ENDFELEMENT& element : endf) text += EedlElasticBlock(element);
  Write(folder, step, text, "total elastic cross sections of Z = 1-100");
}

}  // namespace

std::vector<CSPOINT> DpwTotalPoints(const ELSEPATOTALS& totals, const ENDFELEMENT& endf) {
  std::vector<CSPOINT> points;
  const double join = totals.energy.front();
  const double endfAtJoin = LinearAt(endf.elasticEnergy, endf.elasticTotal, join);
  const double electronScale = totals.electron.front() * kBarnPerSquareCentimetre / endfAtJoin;
  const double positronScale = totals.positron.front() * kBarnPerSquareCentimetre / endfAtJoin;
  for (size_t i = 0; i < endf.elasticEnergy.size() && endf.elasticEnergy[i] < join; ++i) {
    const double cs = endf.elasticTotal[i];
    points.push_back({endf.elasticEnergy[i], cs * electronScale, cs * positronScale});
  }
  for (size_t i = 0; i < totals.energy.size(); ++i)
    points.push_back({totals.energy[i], totals.electron[i] * kBarnPerSquareCentimetre,
                      totals.positron[i] * kBarnPerSquareCentimetre});
  return points;
}

std::vector<double> DpwCosineGrid() {
  const std::vector<double> angles = ElsepaAngleGridDegrees();
  std::vector<double> cosines;
  for (size_t i = angles.size(); i-- > 0;) cosines.push_back(std::cos(angles[i] * kPi / 180.0));
  return cosines;
}

bool DpwAngularRecord(const ELSEPADIFFERENTIAL& electron, const ELSEPADIFFERENTIAL& positron,
                      std::string* record, std::string* error) {
  if (electron.energy != positron.energy) {
    *error = "electron and positron differential cross sections on different energies";
    return false;
  }
  record->clear();
  AppendRaw(record, static_cast<int32_t>(electron.energy.size()));
  for (size_t e = 0; e < electron.energy.size(); ++e) {
    const std::vector<double>& de = electron.dcs[e];
    const std::vector<double>& dp = positron.dcs[e];
    AppendRaw(record, electron.energy[e]);
    AppendRaw(record, static_cast<int32_t>(de.size()));
    // Cosines rising: angles falling.
    for (size_t i = 0; i < de.size(); ++i) {
      const size_t angle = de.size() - 1 - i;
      AppendRaw(record, static_cast<int16_t>(i));
      AppendRaw(record, static_cast<float>(2.0 * kPi * de[angle] / electron.sigma0[e]));
      AppendRaw(record, static_cast<float>(2.0 * kPi * dp[angle] / positron.sigma0[e]));
    }
  }
  return true;
}

bool DwbaShellTables(const SHELLIONIZATION& electron, const SHELLIONIZATION& positron,
                     const ENDFELEMENT& endf, DWBAELEMENT* element, std::string* error) {
  *element = DWBAELEMENT();
  if (electron.shell != positron.shell || electron.bindingEnergy != positron.bindingEnergy) {
    *error = "electron and positron tables list different shells";
    return false;
  }
  for (size_t listed = 0; listed < electron.shell.size(); ++listed) {
    const int designator = electron.shell[listed];
    const std::vector<int>& subshells = endf.ionizationDesignator;
    const auto place = std::find(subshells.begin(), subshells.end(), designator);
    if (place == subshells.end()) {
      element->notes.push_back(std::string(kShellName[designator]) + ": no ENDF section, left out");
      continue;
    }
    // The threshold: the larger binding energy, so that the table never
    // reaches below the ENDF binding energy that the energy loss uses.
    const double penelopeBinding = electron.bindingEnergy[listed];
    const double endfBinding =
        designator < static_cast<int>(endf.bindingEnergy.size()) ? endf.bindingEnergy[designator] : 0.0;
    DWBASHELLTABLE table;
    table.designator = designator;
    table.subshell = static_cast<int32_t>(place - subshells.begin()) + 1;
    table.threshold = std::max(penelopeBinding, endfBinding);
    if (endfBinding != penelopeBinding)
      element->notes.push_back(std::string(kShellName[designator]) +
                               Describe(": binding energy %g eV, ENDF relaxation file %g eV", penelopeBinding,
                                        endfBinding));

    std::vector<double> eEnergy, eCs, pEnergy, pCs;
    ShellColumn(electron, listed, table.threshold, &eEnergy, &eCs);
    ShellColumn(positron, listed, table.threshold, &pEnergy, &pCs);
    std::vector<double> grid;
    std::set_union(eEnergy.begin(), eEnergy.end(), pEnergy.begin(), pEnergy.end(), std::back_inserter(grid));
    std::vector<double> eColumn, pColumn;
    for (double e : grid) {
      eColumn.push_back(ColumnAt(eEnergy, eCs, e));
      pColumn.push_back(ColumnAt(pEnergy, pCs, e));
    }
    std::vector<size_t> kept(grid.size());
    for (size_t i = 0; i < kept.size(); ++i) kept[i] = i;
    if (grid.size() > static_cast<size_t>(kSectionRowLimit)) {
      kept = ThinLinLinTable(grid, {eColumn, pColumn}, kDwbaThinningTolerance);
      element->notes.push_back(std::string(kShellName[designator]) + ": thinned from " +
                               std::to_string(grid.size()) + " to " + std::to_string(kept.size()) + " points");
      if (kept.size() > static_cast<size_t>(kSectionRowLimit)) {
        *error = std::string("DWBA table of shell ") + kShellName[designator] + " longer than " +
                 std::to_string(kSectionRowLimit) + " points after thinning";
        return false;
      }
    }
    for (size_t i : kept) table.points.push_back({grid[i], eColumn[i], pColumn[i]});
    element->shells.push_back(std::move(table));
  }
  return true;
}

bool BremsAngularRecord(const BREMSFITMODEL& model, const ENDFELEMENT& endf, std::string* record,
                        BREMSANGULARSTATS* stats, std::string* error) {
  record->clear();
  AppendRaw(record, static_cast<int32_t>(endf.bremsEnergy.size()));
  for (size_t e = 0; e < endf.bremsEnergy.size(); ++e) {
    const double energy = endf.bremsEnergy[e];
    const std::vector<double>& photons = endf.bremsPhotonEnergy[e];
    AppendRaw(record, energy);
    AppendRaw(record, static_cast<int32_t>(photons.size()));
    for (double k : photons) {
      if (k > energy || k < 0.0) {
        *error = std::string(elementSymbol[endf.z]) + Describe(": photon energy %g eV outside [0, %g eV]", k, energy);
        return false;
      }
      const ANGULARTABLE table = BremsAngularTable(model, endf.z, energy, k);
      AppendRaw(record, k);
      AppendRaw(record, static_cast<int32_t>(table.mu.size()));
      for (size_t i = 0; i < table.mu.size(); ++i) {
        if (!(table.density[i] > 0.0) || !std::isfinite(table.density[i])) {
          *error = std::string(elementSymbol[endf.z]) +
                   Describe(": angular density not positive at E = %g eV, k = %g eV", energy, k);
          return false;
        }
        AppendRaw(record, table.mu[i]);
        AppendRaw(record, table.density[i]);
      }
      ++stats->tables;
      stats->points += static_cast<long>(table.mu.size());
      stats->mostPoints = std::max(stats->mostPoints, static_cast<int>(table.mu.size()));
      stats->worstL1Error = std::max(stats->worstL1Error, table.l1Error);
    }
  }
  return true;
}

std::string EedlElasticBlock(const ENDFELEMENT& endf) {
  std::string block = "Z = " + std::to_string(endf.z) + "\n";
  char line[64];
  for (size_t i = 0; i < endf.elasticEnergy.size(); ++i) {
    std::snprintf(line, sizeof line, "%.15e %.15e\n", endf.elasticEnergy[i], endf.elasticTotal[i]);
    block += line;
  }
  return block + "\n";
}

int BuildAuxiliaryDataFiles(const AUXSOURCEFOLDERS& sources, const std::string& outputFolder) {
  std::vector<ENDFELEMENT> endf(kAuxElements);
  for (int z = 1; z <= kAuxElements; ++z) {
    std::string error;
    if (!ReadEndfElement(sources.endf, z, &endf[z - 1], &error)) {
      std::printf("No auxiliary data file made: %s\n", error.c_str());
      return 1;
    }
  }
  const std::string notice =
      "ElasticDPW_totalCS.dat, ElasticDPW_angularDistr.dat, IonDWBA.dat, Brems_angular_prob_dens.dat and\n"
      "the tables of Brems_angular_prob_dens/ are built from the PENELOPE-2018 database tables\n"
      "(F. Salvat, PENELOPE-2018: A Code System for Monte Carlo Simulation of Electron and\n"
      "Photon Transport, OECD/NEA Data Bank, NEA/MBDAV/R(2019)1), which carry this notice:\n\n" +
      std::string(kPenelopeLicenceNotice);
  if (!WriteFileWhole(outputFolder + kNoticeFileName, notice)) {
    std::printf("No auxiliary data file made: %s%s cannot be written\n", outputFolder.c_str(), kNoticeFileName);
    return 1;
  }
  BUILDSTEP total("ElasticDPW_totalCS.dat"), angular("ElasticDPW_angularDistr.dat"), dwba("IonDWBA.dat"),
      brems("Brems_angular_prob_dens.dat"), eedl("EEDL_elastic.dat");
  BuildElasticFiles(sources, endf, outputFolder, &total, &angular);
  BuildDwbaFile(sources, endf, outputFolder, &dwba);
  BuildBremsFile(sources, endf, outputFolder, &brems);
  BuildEedlFile(endf, outputFolder, &eedl);
  int code = 0;
  for (const BUILDSTEP* step : {&total, &angular, &dwba, &brems, &eedl}) {
    Report(*step);
    if (!step->ok) code = 1;
  }
  return code;
}
