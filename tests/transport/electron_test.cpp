// Electron and positron transport with the real ENDF/B data of aluminium and
// water: sampled distributions against their densities and tables, the
// binary-collision kinematics, energy conservation per history, annihilation,
// the continuous-slowing-down range and the unbiasedness of forcing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/constants.h"
#include "core/element_table.h"
#include "core/task.h"
#include "tests/support/chisquare.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/transport_fixture.h"
#include "transport/bank.h"
#include "transport/cutoffs.h"
#include "transport/electron_flight.h"
#include "transport/electron_interactions.h"
#include "transport/electron_scoring.h"

namespace {

constexpr double kRestEn = 510998.95;
constexpr double kAlAtomsPerCm3 = 2.699 * 6.02214076e23 / 26.9815385;
const int kAl[1] = {13};
const double kOne[1] = {1.0};

// ---- Samplers --------------------------------------------------------------

// The colliding column: the first column whose cumulative value lies above
// the point, the last one when none does, for every column count and for
// points below, on and between the cumulative values (zero-width columns
// and a zero first column included), against a plain scan.
TEST(ElectronColumns, FirstColumnAboveMatchesAPlainScan) {
  const double values[] = {0.0, 1.0, 1.0, 2.5, 2.5, 2.5, 4.0, 7.0, 7.5, 9.0, 9.0, 12.0, 20.0};
  const int32_t count = static_cast<int32_t>(std::size(values));
  std::vector<const double*> sigma(count), slope(count);
  const double zero = 0.0;
  for (int32_t j = 0; j < count; ++j) {
    sigma[j] = &values[j];
    slope[j] = &zero;
  }
  const ELECTRONCOLUMNS c{sigma.data(), slope.data(), 0, 0.0};
  for (int32_t n = 1; n <= count; ++n) {
    for (double x = -0.5; x <= 21.0; x += 0.25) {
      int32_t expected = n - 1;
      for (int32_t j = 0; j < n; ++j) {
        if (x < values[j]) {
          expected = j;
          break;
        }
      }
      EXPECT_EQ(FirstColumnAbove(c, x, n), expected) << "n " << n << " x " << x;
    }
  }
}

TEST(ElectronSamplers, SmallAngleAndDipoleCosinesFollowTheirDensities) {
  CRandGen rng;
  for (double eta : {1e-7, 1e-6, 1e-5}) {
    const double kappa = eta * (1e6 * eta + 1.0);
    std::vector<double> mu;
    for (int i = 0; i < 200000; ++i) mu.push_back(SmallAngleCosine(rng.RandomUniform(), eta, kappa));
    const auto r = ChiSquareAgainstDensity(mu, [&](double m) { return SmallAngleCosineDensity(m, eta); },
                                           1.0 - kSmallAngleWidth, 1.0, 100);
    EXPECT_TRUE(ChiSquarePasses(r, 6)) << "eta " << eta << ": " << Describe(r);
  }
  for (double E : {1e3, 1e5, 1e6}) {
    const double beta = ElectronBeta(E, kRestEn);
    std::vector<double> mu;
    for (int i = 0; i < 200000; ++i) mu.push_back(DipoleBremsCosine(rng.random(), beta));
    const auto r = ChiSquareAgainstDensity(mu, [&](double m) { return DipoleBremsCosineDensity(m, beta); }, -1.0, 1.0,
                                           100);
    EXPECT_TRUE(ChiSquarePasses(r, 6)) << "E " << E << ": " << Describe(r);
  }
}

TEST(ElectronSamplers, IonizationKinematicsStayPhysical) {
  const double restEn2 = 2.0 * kRestEn;
  CRandGen rng;
  for (int i = 0; i < 100000; ++i) {
    const double E0 = 1e3 + 1e7 * rng.random();
    const double B = (i % 2 == 0 ? 0.0 : 1e3 * rng.random());
    const double T = (E0 - B) * rng.random();
    const double E1 = std::fmax(E0 - T - B, 0.0);
    const double mu1 = IonizationPrimaryCosine(E0, E1, restEn2);
    const double p1 = ElectronMomentum(E1, restEn2);
    const double pT = ElectronMomentum(T, restEn2);
    const double px = ElectronMomentum(E0 - B, restEn2);
    const double mu2 = KnockOnCosine(px, pT, p1);
    ASSERT_TRUE(mu1 >= 0.0 && mu1 <= 1.0) << E0 << " " << T;
    ASSERT_TRUE(mu2 >= -1.0 && mu2 <= 1.0) << E0 << " " << T;
    if (B == 0.0) {
      // A free electron: momentum along the flight and across it balance.
      EXPECT_NEAR(p1 * mu1 + pT * mu2, px, 1e-9 * px);
      EXPECT_NEAR(p1 * std::sqrt(1.0 - mu1 * mu1), pT * std::sqrt(std::fmax(0.0, 1.0 - mu2 * mu2)), 1e-6 * px);
    }
  }
  // A primary that stops goes nowhere; no NaN.
  EXPECT_EQ(IonizationPrimaryCosine(1e4, 0.0, restEn2), 0.0);
}

// ---- Real tables --------------------------------------------------------------

class AluminiumTables : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 1.0, 1e6, 1e4, 1e3, 0.0));
  }
  const Elem& al() const { return problem.elements[0]; }
  ELECTRONPROBLEM problem;
};

// Cumulative probability of a tabulated density (linear between points) at x.
double TableCdf(const double* x, const double* pdf, const double* cum, int n, double at) {
  if (at <= x[0]) return 0.0;
  if (at >= x[n - 1]) return 1.0;
  int i = 0;
  while (at >= x[i + 1]) ++i;
  const double slope = (pdf[i + 1] - pdf[i]) / (x[i + 1] - x[i]);
  const double t = at - x[i];
  return cum[i] + pdf[i] * t + 0.5 * slope * t * t;
}

// The intervals a worker remembers between collisions give exactly what the
// index lookups give, along a slowing-down walk that crosses grid points,
// lands on them and jumps back up (a knock-on), for the elastic, excitation
// and every subshell grid; two grids in one memory slot evict each other.
TEST_F(AluminiumTables, RememberedGridIntervalsGiveTheLookupsResults) {
  const Elem& el = al();
  const ELASTICSET set = ElectronElasticSet(el);
  GRIDSPOT spots[kGridSpots] = {};
  std::vector<double> energies;
  for (double E = 2e6; E > 1e3; E *= 0.93) energies.push_back(E);
  for (int e = 0; e < el.elasticNE; ++e) energies.push_back(el.elasticEnergy[e]);
  for (int e = 0; e < el.ionSpecNE[0]; ++e) energies.push_back(el.ionSpecEnergy[0][e]);
  energies.push_back(5e5);
  CRandGen rng;
  int step = 0;
  for (double E : energies) {
    ++step;
    const GRIDSPOT& elastic =
        SpotInterval(spots, GridSpotKey(0, kSpotElastic), E, el.elasticEnergy, el.elasticNE, el.elasticEnergyIndex);
    const ELASTICPOINT a = ElasticPointOn(set, elastic.i, LogGridFractionIn(E, elastic));
    const ELASTICPOINT b = ElasticPointAt(el, set, E);
    ASSERT_EQ(a.i, b.i) << E;
    ASSERT_EQ(a.w, b.w) << E;
    ASSERT_EQ(a.eta, b.eta) << E;
    const int16_t exc =
        SpotInterval(spots, GridSpotKey(0, kSpotExcitation), E, el.excLossEnergy.get(), el.excLossN, el.excLossIndex).i;
    ASSERT_EQ(exc, EnergyInterval(E, el.excLossEnergy.get(), el.excLossN, el.excLossIndex)) << E;
    for (int s = 0; s < el.nSubshells; ++s) {
      if (el.ionSpecNE[s] < 2) continue;
      // The same subshell of an element kGridSpots places further on (the
      // same slot) takes the slot at every other energy.
      const int element = (step + s) % 2 == 0 ? 0 : kGridSpots;
      const GRIDSPOT& spot = SpotInterval(spots, GridSpotKey(element, kSpotIonization + s), E, el.ionSpecEnergy[s],
                                          el.ionSpecNE[s], el.ionSpecEnergyIndex[s]);
      const double r = rng.random();
      ASSERT_EQ(SampleKnockOnEnergyOn(r, el, s, spot.i, LogGridFractionIn(E, spot), 1),
                SampleKnockOnEnergy(r, el, s, E, 1))
          << E << " subshell " << s;
    }
  }
}

TEST_F(AluminiumTables, ElasticCosinesMatchTheTablesAtGridEnergies) {
  const Elem& el = al();
  const ELASTICSET set = ElectronElasticSet(el);
  CRandGen rng;
  // A dense interval (8 keV) and the lower end of the wide 10 - 21.25 MeV one.
  for (int e : {5, 10}) {
    ASSERT_LT(e + 1, el.elasticNE);
    const double E = el.elasticEnergy[e];
    std::vector<double> mu;
    for (int i = 0; i < 200000; ++i) mu.push_back(SampleElasticCosine(rng.random(), el, set, E, 1));
    const auto cdf = [&](double x) {
      return TableCdf(el.elasticCos[e], el.elasticPdf[e], el.elasticCum[e], el.elasticN[e], x);
    };
    const auto r = ChiSquareAgainstCdf(mu, cdf, -1.0, 1.0, 200);
    EXPECT_TRUE(ChiSquarePasses(r, 2)) << "grid " << e << ": " << Describe(r);
  }
}

TEST(ElasticWentzel, MapCarriesOneScreenedRutherfordLawOntoAnother) {
  CRandGen rng;
  for (const auto& [eta0, eta] : {std::pair{1e-3, 2e-5}, std::pair{5e-5, 3e-4}, std::pair{0.3, 0.01}}) {
    std::vector<double> lnT;
    for (int i = 0; i < 100000; ++i)
      lnT.push_back(std::log(WentzelMap(WentzelQuantile(rng.random(), eta0), eta0, eta)));
    const auto cdf = [&](double lt) { return WentzelCdf(std::exp(lt), eta); };
    const auto r = ChiSquareAgainstCdf(lnT, cdf, std::log(eta * 1e-4), std::log(2.0), 100);
    EXPECT_TRUE(ChiSquarePasses(r, 3)) << eta0 << " -> " << eta << ": " << Describe(r);
  }
  // The mean of the law, against the integral of t p(t) in ln t.
  for (double eta : {1e-6, 1e-3, 0.5}) {
    double mean = 0.0;
    const int n = 200000;
    const double lo = std::log(eta * 1e-6), hi = std::log(2.0);
    for (int i = 0; i < n; ++i) {
      const double t = std::exp(lo + (hi - lo) * (i + 0.5) / n);
      mean += t * t * eta * (eta + 2.0) / (2.0 * (t + eta) * (t + eta)) * (hi - lo) / n;
    }
    EXPECT_NEAR(WentzelMeanT(eta) / mean, 1.0, 1e-4) << eta;
  }
}

TEST_F(AluminiumTables, BremsstrahlungPhotonEnergiesMatchTheSpectra) {
  const Elem& el = al();
  CRandGen rng;
  for (int e : {3, 5}) {
    ASSERT_LT(e + 1, el.bremsSpecNE);
    const double E = el.bremsSpecEnergy[e];
    std::vector<double> lnK;
    for (int i = 0; i < 200000; ++i) lnK.push_back(std::log(SampleBremsPhotonEnergy(rng.random(), el, E, 1).k));
    const int n = el.bremsSpecN[e];
    const auto cdf = [&](double lk) {
      return TableCdf(el.bremsSpecX[e], el.bremsSpecPdf[e], el.bremsSpecCum[e], n, std::exp(lk));
    };
    const auto r = ChiSquareAgainstCdf(lnK, cdf, std::log(el.bremsSpecX[e][0]), std::log(el.bremsSpecX[e][n - 1]), 100);
    EXPECT_TRUE(ChiSquarePasses(r, 2)) << "E " << E << ": " << Describe(r);
  }
}

// ---- Whole histories ---------------------------------------------------------------

// What the stand-in step sees of the particles that leave the layer and of
// the annihilation photons.
struct LEDGER {
  double escaped = 0.0;         // energy carried out of the layer, eV (rest energy of escaping positrons included)
  double path = 0.0;            // path length of the source electron, cm
  int annihilationPhotons = 0;
  int backToBackPairs = 0;
  VECTOR lastAnnihilationDir{};
  int forcedSteps = 0;
  std::vector<double> fluorescence;  // energies of the x-rays of electron-made vacancies, eV
  int augerSteps = 0;                // steps of Auger electrons of electron-made vacancies
} ledger;

// Electrons and positrons take their real step; a photon leaves the layer at
// once (its energy is counted as escaped).
int32_t LedgerStep(CTask& t) {
  if (IsPhoton(t.kind)) {
    if (t.org == kOriginAnnihilation) {
      EXPECT_DOUBLE_EQ(t.E, kRestEn);
      if (++ledger.annihilationPhotons % 2 == 0) {
        const VECTOR sum = t.pc.dir + ledger.lastAnnihilationDir;
        if (std::sqrt(Dot(sum, sum)) < 1e-9 * kRestEn) ++ledger.backToBackPairs;
      }
      ledger.lastAnnihilationDir = t.pc.dir;
    }
    if (t.org == kOriginFluorElectronVacancy) ledger.fluorescence.push_back(t.E);
    ledger.escaped += t.E * t.weight;
    t.ReadBankedParticle();
    return kStepGoesOn;
  }
  const uint8_t kind = t.kind;
  const uint8_t org = t.org;
  const double E = t.E;
  const double w = t.weight;
  const VECTOR start = t.pc.pos;
  if (t.iForced > 0) ++ledger.forcedSteps;
  if (org == kOriginAugerElectronVacancy) ++ledger.augerSteps;
  const int32_t result = t.ElectronStep();
  if (org == kOriginSource) ledger.path += std::sqrt(Dot(t.pc.pos - start, t.pc.pos - start));
  if (t.escaped != 0) ledger.escaped += (kind == kPositron ? E + 2.0 * kRestEn : E) * w;
  return result;
}

class LayerHistories : public ::testing::Test {
 protected:
  void Run(uint64_t histories, int32_t seed) {
    ledger = LEDGER{};
    DealStreams(tables, 1, histories, seed);
    task.reset(new CTask());
    GiveStreams(*task, 0, 1, 1);
    task->stepOverride = LedgerStep;
    task->RunHistories();
    ASSERT_EQ(task->fatalError.load(), 0);
  }
  double Stat(int slot) const { return task->stats->slot[slot].e; }
  // Everything deposited: the finished histories' sum and the open history's.
  double Deposit() const { return Stat(statslot::eAbsorbed) + Stat(statslot::eHistoryDeposit); }
  uint64_t Count(int slot) const { return task->stats->slot[slot].n; }
  ELECTRONPROBLEM problem;
  STREAMTABLES tables;
  std::unique_ptr<CTask> task;
};

TEST_F(LayerHistories, EnergyIsConservedForElectronAndPositronSources) {
  for (uint8_t part : {kElectron, kPositron}) {
    ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 0.05, 1e6, 1e4, 1e3, 0.0));
    core::hostConstants.part = part;
    const uint64_t n = 300;
    Run(n, 17);
    const double perParticle = part == kPositron ? 1e6 + 2.0 * kRestEn : 1e6;
    const double source = perParticle * static_cast<double>(n);
    const double deposit = Deposit();
    EXPECT_NEAR(deposit + ledger.escaped, source, 1e-9 * source) << "kind " << int(part);
    EXPECT_EQ(Count(statslot::nHistoriesDone), n);
    // Every process happened.
    for (int slot : {43, 44, 45, 26, 10}) EXPECT_GT(Count(slot), 0u) << "slot " << slot;
    if (part == kPositron) {
      EXPECT_GT(Count(18), 0u);
      EXPECT_EQ(ledger.annihilationPhotons, 2 * static_cast<int>(Count(18)));
      EXPECT_EQ(ledger.backToBackPairs, static_cast<int>(Count(18)));
    }
  }
}

TEST_F(LayerHistories, IonizationVacanciesRelaxAndEnergyIsConserved) {
  // Copper with cutoffs of 1 keV: K, L and M vacancies of the primaries and
  // of the followed knock-ons emit x-rays and Auger electrons above them.
  const int cu[1] = {29};
  const double cuAtomsPerCm3 = 8.96 * 6.02214076e23 / 63.546;
  const double E0 = 1e5;
  ASSERT_TRUE(SetElectronProblem(problem, cu, kOne, 1, cuAtomsPerCm3, 2e-3, E0, 1e3, 1e3, 0.0));
  const uint64_t n = 100;
  Run(n, 41);
  const double source = E0 * static_cast<double>(n);
  EXPECT_NEAR(Deposit() + ledger.escaped, source, 1e-9 * source);
  EXPECT_GT(Count(statslot::nKnockOnAbove), 0u);
  EXPECT_GT(Count(statslot::nElectronAugerAbove), 0u);
  EXPECT_GT(ledger.augerSteps, 0);
  // Every x-ray above the cutoff was banked and has the energy of a radiative
  // transition of copper.
  EXPECT_GT(ledger.fluorescence.size(), 0u);
  EXPECT_EQ(ledger.fluorescence.size(), Count(statslot::nXrayPhotonsAbove));
  const Elem& el = problem.elements[0];
  std::vector<double> lines;
  for (int d = 0; d < kMaxDesignator; ++d)
    for (int j = 0; j < el.nTransitions[d]; ++j)
      if (el.transEmit[d][j] == 0) lines.push_back(el.transEnergy[d][j]);
  for (double e : ledger.fluorescence)
    EXPECT_NE(std::find(lines.begin(), lines.end(), e), lines.end()) << "x-ray of " << e << " eV";
  // The electro-atomic energy loss of ionization holds the relaxation data's
  // binding energy of the vacancy.
  for (int s = 0; s < el.nSubshells; ++s)
    EXPECT_EQ(IonizationBindingEnergy(el, s), el.bindingEnergy[el.subshellDesignator[s]]);
}

// Momentum balance of a binary collision: the knock-on and the primary leave
// in one plane with the primary's old direction, on opposite sides of it.
TEST_F(LayerHistories, KnockOnAndPrimaryLeaveOnOppositeSidesOfTheOldDirection) {
  ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 1.0, 1e6, 1e4, 1e7, 0.0));
  Run(1, 7);  // a worker record with its bank, statistics and stream
  CTask& t = *task;
  int checked = 0;
  for (int i = 0; i < 20000 && checked < 50; ++i) {
    t.nBanked = 0;
    t.E = 1e6;
    t.kind = kElectron;
    t.org = kOriginSource;
    t.momentum = ElectronMomentum(t.E, 2.0 * kRestEn);
    t.invMomentum = 1.0 / t.momentum;
    const VECTOR d0{0.6, 0.0, 0.8};
    t.pc.dir = d0 * t.momentum;
    t.collisionElement = 0;
    t.collisionType = 3;  // the K shell: hard knock-ons are frequent
    t.Electroionization();
    if (t.org != kOriginKnockOn || t.nBanked != 1) continue;  // no knock-on above the cutoff
    const VECTOR d1 = t.bank.pc[0].dir, d2 = t.pc.dir;
    const VECTOR n1 = Cross(d0, d1), n2 = Cross(d0, d2);
    const double l1 = std::sqrt(Dot(n1, n1)), l2 = std::sqrt(Dot(n2, n2));
    EXPECT_NEAR(Dot(n1, d2) / (l1 * std::sqrt(Dot(d2, d2))), 0.0, 1e-9);  // one plane
    EXPECT_NEAR(Dot(n1, n2) / (l1 * l2), -1.0, 1e-9);                     // opposite azimuths
    ++checked;
  }
  EXPECT_EQ(checked, 50);
}

TEST_F(LayerHistories, PositronStoppingBelowAPhotonCutoffOfRestEnergyKeepsItsRestEnergy) {
  ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 1.0, 1e5, 1e4, kRestEn, 0.5));
  core::hostConstants.part = kPositron;
  core::hostConstants.trackBremsPhotons = 0;
  Run(50, 3);
  EXPECT_EQ(ledger.annihilationPhotons, 0);
  EXPECT_EQ(Count(18), 50u);
  EXPECT_NEAR(Deposit(), 50 * (1e5 + 2.0 * kRestEn), 1e-3);
}

// Mean of a sampler over its probability r in (0, 1): trapezoids on a grid
// that is uniform in r and, for the rare hard losses that carry much of a
// mean, logarithmic towards both ends.
double MeanOverProbability(const std::function<double(double)>& quantile) {
  std::vector<double> r;
  for (int i = 0; i <= 2000; ++i) r.push_back(i / 2000.0);
  for (int i = 0; i <= 300; ++i) {
    const double d = std::pow(10.0, -3.0 - 9.0 * i / 300);
    r.push_back(d);
    r.push_back(1.0 - d);
  }
  std::sort(r.begin(), r.end());
  const auto at = [&](double x) { return quantile(std::fmin(std::fmax(x, 1e-15), 1.0 - 1e-15)); };
  double mean = 0.0, previous = at(r[0]);
  for (size_t i = 1; i < r.size(); ++i) {
    const double value = at(r[i]);
    mean += 0.5 * (value + previous) * (r[i] - r[i - 1]);
    previous = value;
  }
  return mean;
}

// Stopping power of the material at E (eV per cm per atom/cm^3) that the
// transport's own samplers give: each inelastic section times the mean energy
// loss its sampler draws (photon energy, excitation loss, knock-on energy plus
// the binding energy).
double StoppingPowerPerAtom(const Elem& el, double E) {
  const auto section = [&](int s) {
    const int n = el.sectionN[s];
    if (E < el.sectionEnergy[s][0] || E > el.sectionEnergy[s][n - 1]) return 0.0;
    int i = 0;
    while (i + 2 < n && E >= el.sectionEnergy[s][i + 1]) ++i;
    return 1e-24 * (el.sectionCs[s][i] + (E - el.sectionEnergy[s][i]) * el.sectionSlope[s][i]);
  };
  double s = section(1) * MeanOverProbability([&](double r) { return SampleBremsPhotonEnergy(r, el, E, 1).k; });
  int16_t hint = 0;
  s += section(2) * Interp(E, el.excLossEnergy, el.excLoss, el.excLossSlope, el.excLossN, hint);
  for (int sub = 0; sub < el.nSubshells; ++sub) {
    const double B = IonizationBindingEnergy(el, sub);
    if (E <= B) continue;
    const double tMean = MeanOverProbability([&](double r) { return std::fmin(SampleKnockOnEnergy(r, el, sub, E, 1), E - B); });
    s += section(3 + sub) * (tMean + B);
  }
  return s;
}

TEST_F(LayerHistories, MeanPathOfOneMeVElectronsInAluminiumIsTheCsdaRange) {
  const double cut = 1e4;
  ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 10.0, 1e6, cut, 1e3, 5.0));
  core::hostConstants.trackKnockOnElectrons = 0;
  core::hostConstants.trackBremsPhotons = 0;
  // CSDA range from E0 down to the cutoff, trapezoid rule in ln E.
  double range = 0.0;
  const int steps = 200;
  const double a = std::log(cut), b = std::log(1e6);
  for (int i = 0; i <= steps; ++i) {
    const double E = std::exp(a + (b - a) * i / steps);
    const double integrand = E / (kAlAtomsPerCm3 * StoppingPowerPerAtom(problem.elements[0], E));
    range += (i == 0 || i == steps ? 0.5 : 1.0) * integrand * (b - a) / steps;
  }
  const uint64_t n = 200;
  Run(n, 29);
  const double meanPath = ledger.path / static_cast<double>(n);
  printf("CSDA range of 1 MeV electrons in Al down to 10 keV: %.5f cm; mean simulated path: %.5f cm (ratio %.4f)\n",
         range, meanPath, meanPath / range);
  EXPECT_NEAR(meanPath / range, 1.0, 0.03);
}

TEST_F(LayerHistories, ForcedBremsstrahlungIsUnbiased) {
  // Analogue: bremsstrahlung events per source electron in a thin layer.
  ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 0.01, 1e6, 1e5, 1e3, 0.0));
  core::hostConstants.trackKnockOnElectrons = 0;
  core::hostConstants.trackBremsPhotons = 0;
  const uint64_t n = 4000;
  Run(n, 5);
  const double analogue = static_cast<double>(Count(26)) / n;

  // Forced: the same problem with bremsstrahlung forced; weights in use.
  core::hostConstants.interactionForcing = 1;
  core::hostConstants.force_wt = 0.1;
  problem.cell.FORCE = 1;
  problem.material.nForcedEntries = 1;
  problem.material.forcedEntry[0] = 0;  // the bremsstrahlung column of aluminium
  ASSERT_EQ(problem.material.entrySection[0], 1);
  Run(n, 6);
  const double forced = task->stats->slot[26 + statslot::kWeightSlotOffset].e / n;
  EXPECT_GT(ledger.forcedSteps, 100);
  // Analogue events are Poisson; 4 standard deviations of the analogue mean.
  const double sd = std::sqrt(analogue / n);
  printf("bremsstrahlung events per electron: analogue %.5f, forced %.5f (sd %.5f)\n", analogue, forced, sd);
  EXPECT_NEAR(forced, analogue, 4.0 * sd);
}

}  // namespace

namespace {

// A fixed-seed run of real electron steps (photons leave at once): the
// statistics it leaves, recorded from the transport as it stood before the
// per-collision lookups were cached (the path's last bits since the inline
// exponential). Any change of the random-number sequence or of the physics
// changes these figures.
TEST_F(LayerHistories, FixedSeedRunKeepsItsStatistics) {
  ASSERT_TRUE(SetElectronProblem(problem, kAl, kOne, 1, kAlAtomsPerCm3, 1.0, 1e6, 1e4, 1e3, 0.0));
  Run(20, 12345);
  const uint64_t counts[] = {Count(statslot::nElastic), Count(statslot::nExcitation),
                             Count(statslot::nElectroionization), Count(statslot::nBremsPhotons),
                             Count(statslot::nKnockOnAbove), Count(statslot::nElectronEscapes)};
  const double energies[] = {Stat(statslot::eAbsorbed), Stat(statslot::eBremsLoss), Stat(statslot::eKnockOn),
                             ledger.escaped, ledger.path};
  const uint64_t expectedCounts[] = {316569, 211876, 126400, 10, 103, 3};
  const double expectedEnergies[] = {0x1.213f1d82f7004p+24, 0x1.32d1023176f89p+14, 0x1.86ba0d4855443p+23,
                                     0x1.fdbc4fa11ff7dp+19, 0x1.12509eff5293ap+2};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(counts[i], expectedCounts[i]) << "count " << i;
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(energies[i], expectedEnergies[i]) << "energy " << i << " " << std::hexfloat << energies[i];
  // The stream stands where it stood: the same number of draws was taken.
  EXPECT_EQ(tables.generators[0].random(), 0x1.e093p-6);
}

}  // namespace
