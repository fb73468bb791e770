// The physics validation: the program's results beside published data, in
// one table on standard output and the same rows in validation.csv.
//   - uncollided narrow-beam photon transmission from runs of Trenqual against
//     exp(-mu/rho rho t) with NIST XCOM's mu/rho (coherent included);
//   - collision and radiative stopping powers and CSDA ranges from the
//     program's own sampled energy losses against ESTAR;
//   - elastic transport cross sections from the program's own sampled
//     deflections against ELSEPA (Dirac partial waves);
//   - the energy balance and backscattering of 1 MeV electrons stopped in
//     aluminium, from a run of Trenqual.
// Deviations are reported, not judged: the unit tests hold the program to them.
//
// Usage: tq_validate <output folder> [workers]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/elem.h"
#include "tests/support/reference_data.h"
#include "tests/support/test_paths.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/electron_measures.h"
#include "tests/validation/trenqual_runs.h"
#include "tests/validation/validation_table.h"

namespace {

constexpr double kMeV = 1e6;  // eV
constexpr int kSeed = 2024;

struct OPTIONS {
  std::string folder;  // output folder, with a trailing '/'
  int workers = 2;
  std::string program = TRENQUAL_PATH;
  std::string endf;
};

std::string Format(const char* format, double x) {
  char text[64];
  std::snprintf(text, sizeof text, format, x);
  return text;
}

std::string CaseOf(const std::string& element, double energyMeV, const std::string& more = "") {
  return element + " " + Format("%g", energyMeV) + " MeV" + (more.empty() ? "" : ", " + more);
}

// ---- Photon transmission -------------------------------------------------------

struct PHOTONELEMENT {
  int z;
  const char* symbol;
  double density;  // g/cm^3
};
const PHOTONELEMENT kPhotonElements[] = {
    {6, "C", 2.0}, {13, "Al", 2.699}, {29, "Cu", 8.96}, {47, "Ag", 10.5}, {82, "Pb", 11.35}};
const double kPhotonEnergiesMeV[] = {0.02, 0.05, 0.1, 0.3, 1.0, 3.0, 10.0};
constexpr double kPhotonHistories = 1e6;
constexpr double kAimedTransmission = 0.3;
// Half-angle of the narrow beam behind the layer, degrees: coherent and
// Compton scattering put practically nothing inside it.
constexpr double kNarrowBeamDegrees = 0.001;

// A pencil beam of photons of E (keV) on a layer of t cm; a plane tally
// behind it counts the photons within kNarrowBeamDegrees of the beam.
// Electrons end where they are made and photons below half the source
// energy are dropped: neither can reach the narrow beam.
std::string PhotonInput(const PHOTONELEMENT& el, double keV, const std::string& thickness) {
  std::string in;
  in += "MAT \"" + std::string(el.symbol) + "\" " + std::to_string(el.z) + " 1\n";
  in += "CONC -" + Format("%g", el.density) + "\n";
  in += "THICK " + thickness + "\n";
  in += "Surface 0 0 0 0 0 1\nBEAM 0 0 -1 0 0 1\nPART P\n";
  in += "N " + Format("%.0f", kPhotonHistories) + "\n";
  in += "E_UNIT keV\n";
  in += "CUT_E " + Format("%g", keV) + "\n";
  in += "CUT_P " + Format("%g", 0.5 * keV) + "\n";
  in += "BREMS_ANGULAR_DISTR 0\nION_DWBA 0\nELASTIC_DPW 0\n";
  in += "E " + Format("%g", 0.5 * keV) + " " + Format("%g", 1.001 * keV) + " 1\n";
  in += "THETA 0 " + Format("%g", kNarrowBeamDegrees) + " 1\n";
  in += "PTALLY1 0 0 " + thickness + " 0 0 1 THETA E\n";
  in += Format("%g", keV) + "\n";
  return in;
}

bool PhotonTransmission(const OPTIONS& o, std::vector<VALIDATIONROW>& rows) {
  std::vector<VALIDATIONROW> noCollision;
  for (const PHOTONELEMENT& el : kPhotonElements) {
    for (double E : kPhotonEnergiesMeV) {
      const double muRho = XcomMassAttenuation(el.symbol, E);
      if (!(muRho > 0.0)) {
        std::fprintf(stderr, "No XCOM attenuation of %s at %g MeV.\n", el.symbol, E);
        return false;
      }
      const std::string thickness = Format("%.6e", std::log(1.0 / kAimedTransmission) / (muRho * el.density));
      const double t = std::stod(thickness);
      const double reference = std::exp(-muRho * el.density * t);
      const std::string name = std::string("photons_") + el.symbol + "_" + Format("%g", E * 1e3) + "keV";
      const TRENQUALRUN run = RunTrenqual(o.program, o.folder + "runs/" + name, name,
                                          PhotonInput(el, E * 1e3, thickness), o.endf, o.workers, kSeed);
      const std::vector<TALLYBIN> theta = ReadTallyBins(run.TallyPath("PTALLY1_THETA.txt"));
      const double collided = NumberAfter(run.output, "Number of source particles absorbed or scattered =");
      if (run.exitCode != 0 || theta.size() != 1 || std::isnan(collided)) {
        std::fprintf(stderr, "The photon run %s failed (exit code %d); see %s.\n", name.c_str(), run.exitCode,
                     run.folder.c_str());
        return false;
      }
      const std::string caseName = CaseOf(el.symbol, E, Format("%.4g cm", t));
      const auto binomialPercent = [](double p) { return 100.0 * std::sqrt((1.0 - p) / (p * kPhotonHistories)); };
      const double narrow = theta[0].count / kPhotonHistories;
      rows.push_back({"photon transmission, narrow beam (tally)", caseName, narrow, reference,
                      binomialPercent(narrow), el.symbol, E});
      const double uncollided = 1.0 - collided / kPhotonHistories;
      noCollision.push_back({"photon transmission, no collision (run statistics)", caseName, uncollided, reference,
                             binomialPercent(uncollided), el.symbol, E});
    }
  }
  rows.insert(rows.end(), noCollision.begin(), noCollision.end());
  return true;
}

// ---- Stopping powers and CSDA ranges -------------------------------------------

struct STOPPINGELEMENT {
  int z;
  const char* symbol;
  const char* estarName;
};
const STOPPINGELEMENT kStoppingElements[] = {{6, "C", "C_amorphous"}, {13, "Al", "Al"}, {79, "Au", "Au"}};
const std::vector<double> kCollisionEnergiesMeV = {0.1, 0.3, 1.0, 3.0, 10.0};
const std::vector<double> kRadiativeEnergiesMeV = {0.03, 0.1, 0.3, 1.0, 3.0, 10.0};
constexpr double kHighestElectronEnergy = 10 * kMeV;
constexpr double kLowestElectronEnergy = 1e3;  // eV: ESTAR's ranges start here
constexpr double kAnyConcentration = 1e22;      // atoms/cm^3: nothing measured here depends on it
constexpr int kRangeNodesPerDecade = 12;
const double kOne[1] = {1.0};

bool SetElement(ELECTRONPROBLEM& p, int z, int smallAngleMode) {
  p.elasticSmallAngle = smallAngleMode;
  const int element[1] = {z};
  return SetElectronProblem(p, element, kOne, 1, kAnyConcentration, 1.0, kHighestElectronEnergy,
                            kLowestElectronEnergy, kLowestElectronEnergy, 0.0);
}

bool StoppingPowersAndRanges(std::vector<VALIDATIONROW>& rows) {
  std::vector<VALIDATIONROW> radiative, ranges;
  const STRATIFICATION strata;
  for (const STOPPINGELEMENT& el : kStoppingElements) {
    ELECTRONPROBLEM p;
    const std::vector<ESTARROW> estar = ReadEstar(el.estarName);
    if (!SetElement(p, el.z, 0) || estar.empty()) {
      std::fprintf(stderr, "The data of %s could not be read.\n", el.symbol);
      return false;
    }
    const double perGramMeV = AtomsPerGram(p.elements[0]) / kMeV;
    CRandGen rng;
    const auto add = [&](std::vector<VALIDATIONROW>& to, const char* quantity, double E, const ESTIMATE& s,
                         double reference) {
      to.push_back({quantity, CaseOf(el.symbol, E), s.value, reference, 100.0 * s.sdev / s.value, el.symbol, E});
    };
    for (double E : kCollisionEnergiesMeV) {
      const STOPPINGMEASURE m = MeasureStoppingPower(p, E * kMeV, strata, rng);
      add(rows, "collision stopping power (MeV cm2/g)", E,
          ESTIMATE{m.collision.value * perGramMeV, m.collision.sdev * perGramMeV},
          EstarRowAt(estar, E)->collision);
    }
    for (double E : kRadiativeEnergiesMeV) {
      const STOPPINGMEASURE m = MeasureStoppingPower(p, E * kMeV, strata, rng);
      add(radiative, "radiative stopping power (MeV cm2/g)", E,
          ESTIMATE{m.radiative.value * perGramMeV, m.radiative.sdev * perGramMeV},
          EstarRowAt(estar, E)->radiative);
    }
    std::vector<double> at;
    for (double E : kCollisionEnergiesMeV) at.push_back(E * kMeV);
    const std::vector<ESTIMATE> r =
        MeasureCsdaRanges(p, at, kHighestElectronEnergy, kRangeNodesPerDecade, strata, rng);
    for (size_t i = 0; i < r.size(); ++i)
      add(ranges, "CSDA range (g/cm2)", kCollisionEnergiesMeV[i], r[i],
          EstarRowAt(estar, kCollisionEnergiesMeV[i])->csdaRange);
  }
  rows.insert(rows.end(), radiative.begin(), radiative.end());
  rows.insert(rows.end(), ranges.begin(), ranges.end());
  return true;
}

// ---- Elastic transport cross sections -------------------------------------------

struct ELASTICELEMENT {
  int z;
  const char* symbol;
};
const ELASTICELEMENT kElasticElements[] = {{6, "C"}, {13, "Al"}, {29, "Cu"}, {79, "Au"}};
const double kElasticEnergiesMeV[] = {0.01, 0.1, 0.3, 1.0, 3.0, 10.0};

bool ElasticTransport(std::vector<VALIDATIONROW>& rows) {
  for (int mode : {2, 0}) {
    const std::string quantity =
        "elastic transport cross section (b), ELASTIC_SMALL_ANGLE " + std::to_string(mode);
    for (const ELASTICELEMENT& el : kElasticElements) {
      ELECTRONPROBLEM p;
      ELSEPATABLE elsepa;
      if (!SetElement(p, el.z, mode) || !ReadElsepaTable(el.z, &elsepa)) {
        std::fprintf(stderr, "The elastic data of %s could not be read.\n", el.symbol);
        return false;
      }
      CRandGen rng;
      for (double E : kElasticEnergiesMeV) {
        const ELASTICMEASURE m = MeasureElasticTransport(p, E * kMeV, COSINECOUNT{}, rng);
        rows.push_back({quantity, CaseOf(el.symbol, E), m.transportBarn.value, ElsepaTransportBarn(elsepa, E * kMeV),
                        100.0 * m.transportBarn.sdev / m.transportBarn.value, el.symbol, E});
      }
    }
  }
  return true;
}

// ---- Thick target -------------------------------------------------------------------

constexpr double kTargetHistories = 20000;
constexpr double kTargetEnergyMeV = 1.0;
// Published backscatter coefficient of 1 MeV electrons on thick aluminium at
// normal incidence: 0.08 - 0.12 (measurements compiled by Tabata and
// empirical fits); about 5 % of the energy comes back.
constexpr double kBackscatterLow = 0.08, kBackscatterHigh = 0.12;
constexpr double kBackscatteredEnergyShare = 0.05;

// 1 MeV electrons normally incident on 3 mm of aluminium (thicker than their
// range), with the default physics (partial-wave elastic data, DWBA
// ionization, bremsstrahlung angles) or with the ENDF/B elastic data alone.
// ETALLY1 counts the electrons leaving the entrance face; TALLY2 and TALLY3
// every particle leaving the entrance and the rear face.
std::string ThickTargetInput(bool defaultPhysics) {
  return "MAT \"aluminium\" 13 1\n"
         "CONC -2.699\n"
         "THICK 0.3\n"
         "Surface 0 0 0 0 0 1\n"
         "BEAM 0 0 -1 0 0 1\n"
         "PART E\n"
         "N " + Format("%.0f", kTargetHistories) + "\n"
         "CUT_E 0.01\n"
         "CUT_P 0.01\n" +
         std::string(defaultPhysics ? "" : "BREMS_ANGULAR_DISTR 0\nION_DWBA 0\nELASTIC_DPW 0\n") +
         "E 0 1.01 101\n"
         "ETALLY1 0 0 0 0 0 1 E\n"
         "TALLY2 0 0 0 0 0 1 E\n"
         "TALLY3 0 0 0.3 0 0 1 E\n"
         "1\n";
}

struct TALLYSUM {
  double count = 0.0;   // particles crossing
  double energy = 0.0;  // their energy, MeV
  double energySdev = 0.0;
};

// Crossings in either direction (a particle crossing an outer face leaves).
TALLYSUM SumOf(const std::vector<TALLYBIN>& bins) {
  TALLYSUM s;
  double var = 0.0;
  for (const TALLYBIN& b : bins) {
    s.count += std::fabs(b.count);
    s.energy += std::fabs(b.flux);
    var += std::pow(b.flux * b.relSDev, 2);
  }
  s.energySdev = std::sqrt(var);
  return s;
}

bool ThickTargetRun(const OPTIONS& o, bool defaultPhysics, std::vector<VALIDATIONROW>& rows) {
  const std::string name = defaultPhysics ? "thick_target_default" : "thick_target_endf_elastic";
  const TRENQUALRUN run = RunTrenqual(o.program, o.folder + "runs/" + name, name, ThickTargetInput(defaultPhysics),
                                      o.endf, o.workers, kSeed);
  const double absorbed = NumberAfter(run.output, "Absorbed energy =");
  const std::vector<TALLYBIN> back = ReadTallyBins(run.TallyPath("ETALLY1_E.txt"));
  const std::vector<TALLYBIN> front = ReadTallyBins(run.TallyPath("TALLY2_E.txt"));
  const std::vector<TALLYBIN> rear = ReadTallyBins(run.TallyPath("TALLY3_E.txt"));
  if (run.exitCode != 0 || std::isnan(absorbed) || back.empty() || front.empty() || rear.empty()) {
    std::fprintf(stderr, "The thick-target run failed (exit code %d); see %s.\n", run.exitCode, run.folder.c_str());
    return false;
  }
  const double source = kTargetHistories * kTargetEnergyMeV;
  const std::string caseName =
      std::string("1 MeV e- on 3 mm Al, 10 keV cutoffs, ") + (defaultPhysics ? "default physics" : "ELASTIC_DPW 0");
  const double balance = 100.0 * (absorbed + SumOf(front).energy + SumOf(rear).energy) / source;
  rows.push_back({"thick target: (absorbed + escaping) / source energy (%)", caseName, balance, 100.0, -1.0, "Al",
                  kTargetEnergyMeV});
  const TALLYSUM electrons = SumOf(back);
  const double eta = electrons.count / kTargetHistories;
  rows.push_back({"thick target: backscatter coefficient", caseName + " (published 0.08 - 0.12)", eta,
                  0.5 * (kBackscatterLow + kBackscatterHigh), 100.0 * std::sqrt((1.0 - eta) / (eta * kTargetHistories)),
                  "Al", kTargetEnergyMeV, kBackscatterLow, kBackscatterHigh});
  rows.push_back({"thick target: backscattered energy fraction", caseName + " (published about 0.05)",
                  electrons.energy / source, kBackscatteredEnergyShare,
                  100.0 * electrons.energySdev / electrons.energy, "Al", kTargetEnergyMeV});
  return true;
}

bool ThickTarget(const OPTIONS& o, std::vector<VALIDATIONROW>& rows) {
  return ThickTargetRun(o, true, rows) && ThickTargetRun(o, false, rows);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: tq_validate <output folder> [workers]\n");
    return 2;
  }
  OPTIONS o;
  o.folder = argv[1];
  if (o.folder.back() != '/') o.folder += '/';
  o.workers = argc == 3 ? std::atoi(argv[2]) : static_cast<int>(std::thread::hardware_concurrency());
  if (o.workers < 1) o.workers = 1;
  o.endf = EndfFolder();
  std::error_code ignored;
  std::filesystem::create_directories(o.folder, ignored);

  // The stages of the validation, each with its progress line and time.
  struct STAGE {
    const char* what;
    bool (*run)(const OPTIONS&, std::vector<VALIDATIONROW>&);
  };
  const STAGE stages[] = {
      {"photon transmission (runs of Trenqual)", PhotonTransmission},
      {"stopping powers and CSDA ranges (sampled losses)",
       [](const OPTIONS&, std::vector<VALIDATIONROW>& r) { return StoppingPowersAndRanges(r); }},
      {"elastic transport cross sections (sampled deflections)",
       [](const OPTIONS&, std::vector<VALIDATIONROW>& r) { return ElasticTransport(r); }},
      {"thick-target energy balance and backscattering (a run of Trenqual)", ThickTarget},
  };
  std::vector<VALIDATIONROW> rows;
  for (const STAGE& stage : stages) {
    std::fprintf(stderr, "Validating %s ...", stage.what);
    const auto start = std::chrono::steady_clock::now();
    if (!stage.run(o, rows)) return 1;
    std::fprintf(stderr, " %.0f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }

  PrintValidationTable(rows, stdout);
  const std::string csv = o.folder + "validation.csv";
  if (!WriteValidationCsv(rows, csv)) {
    std::fprintf(stderr, "Error: %s could not be written.\n", csv.c_str());
    return 1;
  }
  std::printf("\nRows written to %s\n", csv.c_str());
  return 0;
}
