// Photon transport against physics: uncollided transmission, interaction
// fractions, the angular distributions of coherent and incoherent scattering,
// Doppler broadening, photoelectron and pair energies, fluorescence lines,
// the relaxation stack and energy conservation per history.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "core/constants.h"
#include "core/element_table.h"
#include "driver/data/element_loader.h"
#include "tests/support/chisquare.h"
#include "tests/transport/photon_fixture.h"
#include "transport/photon_flight.h"
#include "transport/photon_interactions.h"
#include "transport/relaxation.h"
#include "transport/stats_scoring.h"

namespace {

constexpr double kLnZero = -745.0;

// A density normalised over [-1, 1] by Simpson's rule on a fine grid.
std::function<double(double)> Normalised(std::function<double(double)> f) {
  const int n = 200000;
  const double h = 2.0 / n;
  double sum = f(-1.0) + f(1.0);
  for (int i = 1; i < n; ++i) sum += (i % 2 == 1 ? 4.0 : 2.0) * f(-1.0 + i * h);
  const double norm = sum * h / 3.0;
  return [f, norm](double mu) { return f(mu) / norm; };
}

// A synthetic element whose form factor and scattering function are Z at
// every momentum transfer (no anomalous factors, one subshell of no binding).
ElemStaging* FlatFactorElement(int z) {
  ElemStaging* el = new ElemStaging[1]();
  el->Z = z;
  const double x[3] = {0.0, 1.0, 1e4};
  for (int i = 0; i < 3; ++i) {
    el->ffX[i] = el->sfX[i] = x[i];
    el->ff[i] = el->sf[i] = z;
    el->ffLnX[i] = el->sfLnX[i] = x[i] > 0.0 ? std::log(x[i]) : kLnZero;
    el->ffLnY[i] = el->sfLnY[i] = std::log(static_cast<double>(z));
  }
  el->ffN = el->sfN = 3;
  BuildFormFactorIntegrals(el);
  el->nSubshells = 1;
  el->subshellDesignator[0] = 1;
  el->cumOccupancy[0] = 1.0;
  return el;
}

std::vector<double> CoherentCosines(PHOTONPROBLEM& p, double E, int n) {
  const Constants& k = GetConstants();
  PHOTONELEMENTCACHE c;
  CoherentSetUp(p.elements[0], E, k.restEn, k.constFact_coh, c);
  CRandGen& rng = p.streams.generators[0];
  std::vector<double> mu;
  while (static_cast<int>(mu.size()) < n) {
    double m = 0.0, ratio = 0.0;
    if (CoherentTry(p.elements[0], c, rng, &m, &ratio)) mu.push_back(m);
  }
  return mu;
}

std::vector<double> IncoherentCosines(PHOTONPROBLEM& p, double E, int n) {
  const Constants& k = GetConstants();
  PHOTONELEMENTCACHE c;
  IncoherentSetUp(p.elements[0], E, k.restEn, k.constFact_coh, c);
  CRandGen& rng = p.streams.generators[0];
  std::vector<double> mu;
  while (static_cast<int>(mu.size()) < n) {
    double m = 0.0, eps = 0.0;
    if (IncoherentTry(p.elements[0], c, k.constFact_incoh, rng, &m, &eps)) mu.push_back(m);
  }
  return mu;
}

}  // namespace

// ---------------------------------------------------------------------------
// Flight and collision sampling with the real data
// ---------------------------------------------------------------------------

struct TRANSMISSIONCASE {
  std::vector<int> z;
  std::vector<double> fractions;
  double E;      // eV
  double w;      // cm
  double n;      // atoms / cm^3
};

TEST(PhotonFlight, UncollidedTransmissionIsExponential) {
  const TRANSMISSIONCASE cases[] = {
      {{82}, {1.0}, 662e3, 0.5, 3.30e22},
      {{29}, {1.0}, 60e3, 0.01, 8.49e22},
      {{1, 8}, {2.0, 1.0}, 100e3, 5.0, 1.0e23},
      {{6}, {1.0}, 20e6, 5.0, 1.1e23},
  };
  const int histories = 40000;
  for (const TRANSMISSIONCASE& t : cases) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, t.z, t.fractions));
    SetPhotonRun(p, t.E, t.w, t.n, histories);
    p.task->RunHistories();
    ASSERT_EQ(p.task->fatalError.load(), 0);
    const double interacted = static_cast<double>(p.task->stats->slot[statslot::nSourceInteracted].n);
    const double expectedT = std::exp(-t.n * MaterialSigmas(p, t.E).total * t.w);
    const CHISQUARERESULT r =
        ChiSquareTest({histories - interacted, interacted}, {histories * expectedT, histories * (1.0 - expectedT)});
    EXPECT_TRUE(ChiSquarePasses(r, 4)) << "Z " << t.z[0] << " E " << t.E << ": " << Describe(r);
  }
}

TEST(PhotonFlight, InteractionFractionsFollowTheCrossSections) {
  const TRANSMISSIONCASE cases[] = {
      {{1, 8}, {2.0, 1.0}, 100e3, 1.0, 1e23},
      {{82}, {1.0}, 5e6, 1.0, 3.3e22},
      {{29}, {1.0}, 30e3, 1.0, 8.49e22},
  };
  for (const TRANSMISSIONCASE& t : cases) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, t.z, t.fractions));
    SetPhotonRun(p, t.E, t.w, t.n, 1);
    CTask& task = *p.task;
    task.rng = &p.streams.generators[0];
    task.cell = &p.cell;
    task.material = &p.material;
    task.kind = kPhoton;
    task.E = t.E;
    const int n = 200000;
    std::vector<double> observed(4, 0.0), expected(4, 0.0);
    for (int i = 0; i < n; ++i) {
      task.Sigma_phot();
      task.SampleCollisionType_phot();
      observed[task.phot.interaction] += 1.0;
    }
    const PHOTONSIGMAS s = MaterialSigmas(p, t.E);
    EXPECT_NEAR(task.phot.sigma_tot, s.total, 1e-12 * s.total);
    for (int i = 0; i < 4; ++i) expected[i] = n * s.part[i] / s.total;
    const CHISQUARERESULT r = ChiSquareTest(observed, expected);
    EXPECT_TRUE(ChiSquarePasses(r, 3)) << "Z " << t.z[0] << " E " << t.E << ": " << Describe(r);
  }
}

// Energies that recur between others (a source energy, fluorescence lines)
// come back from the kept lookups, also after many other energies have
// passed through their sets: every value the collision sampling reads
// (the totals, each element's parts and subshell sums, the subshell
// intervals that place the photoelectron) is the one a fresh lookup gives.
TEST(PhotonFlight, RecurringEnergiesGiveTheValuesOfAFreshLookup) {
  const TRANSMISSIONCASE cases[] = {
      {{82}, {1.0}, 662e3, 1.0, 3.3e22},
      {{1, 8}, {2.0, 1.0}, 662e3, 1.0, 1e23},
  };
  std::vector<double> energies = {662e3, 75e3, 662e3, 300e3, 88e3, 662e3, 75e3, 75e3, 20e3, 300e3, 662e3, 662e3};
  // Scattered energies, each once, between the recurring ones.
  for (int i = 0; i < 300; ++i) {
    energies.push_back(15e3 + 2113.7 * i);
    energies.push_back(i % 3 == 0 ? 662e3 : (i % 3 == 1 ? 75e3 : 88e3));
  }
  for (const TRANSMISSIONCASE& t : cases) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, t.z, t.fractions));
    SetPhotonRun(p, t.E, t.w, t.n, 1);
    CTask& task = *p.task;
    task.cell = &p.cell;
    task.material = &p.material;
    task.kind = kPhoton;
    auto fresh = std::make_unique<CTask>(false);
    fresh->cell = &p.cell;
    fresh->material = &p.material;
    fresh->kind = kPhoton;
    for (double E : energies) {
      task.E = E;
      task.Sigma_phot();
      fresh->phot = PHOTONSTATE{};
      fresh->E = E;
      fresh->Sigma_phot();
      EXPECT_EQ(task.phot.sigma_tot, fresh->phot.sigma_tot) << "E " << E;
      EXPECT_EQ(task.phot.sigma_scat, fresh->phot.sigma_scat) << "E " << E;
      for (int32_t j = 0; j < p.material.nElements; ++j) {
        const int32_t e = p.material.element[j];
        const PHOTONELEMENTCACHE& a = task.phot.elements[e];
        const PHOTONELEMENTCACHE& b = fresh->phot.elements[e];
        EXPECT_EQ(a.sigma_coh, b.sigma_coh);
        EXPECT_EQ(a.sigma_incoh, b.sigma_incoh);
        EXPECT_EQ(a.total, b.total);
        EXPECT_EQ(a.cumulative, b.cumulative);
        const Elem& el = GetElem(e);
        for (int32_t s = 0; s < el.nSubshells; ++s) {
          EXPECT_EQ(a.shellCumulative[s], b.shellCumulative[s]) << "E " << E << " subshell " << s;
          const double lnE = std::log(E);
          const int16_t n = el.photoionN[s];
          if (n >= 2 && lnE >= el.photoionLnEnergy[s][0] && lnE < el.photoionLnEnergy[s][n - 1]) {
            EXPECT_EQ(a.hintShell[s], b.hintShell[s]) << "E " << E << " subshell " << s;
          }
        }
      }
    }
  }
}

// One search of the union of the subshell grids places the energy on every
// subshell's grid: each subshell sum is the one of a search per subshell,
// across the edges, below the lowest grid point and above the highest.
TEST(PhotonFlight, TheUnionGridGivesTheSumsOfOneSearchPerSubshell) {
  for (int z : {82, 8, 1}) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, {z}, {1.0}));
    SetPhotonRun(p, 1e5, 1.0, 1e22, 1);
    const Elem& el = p.elements[0];
    ASSERT_GE(el.photoionUnionN, 2) << "Z " << z;
    PHOTONELEMENTCACHE c;
    std::vector<int16_t> hints(static_cast<size_t>(el.nSubshells), 0);
    for (double E = 0.5; E < 2e11; E *= 1.0137) {
      const double lnE = std::log(E);
      PhotonElementCrossSections(el, E, lnE, true, 1.022e6, c);
      double total = c.sigma_coh + c.sigma_incoh;
      for (int32_t s = 0; s < el.nSubshells; ++s) {
        total += LogLogOrZero(lnE, el.photoionLnEnergy[s], el.photoionLnCs[s], el.photoionSlope[s], el.photoionN[s],
                              hints[static_cast<size_t>(s)]);
        ASSERT_EQ(c.shellCumulative[s], total) << "Z " << z << " E " << E << " subshell " << s;
        const int16_t n = el.photoionN[s];
        if (n >= 2 && lnE >= el.photoionLnEnergy[s][0] && lnE < el.photoionLnEnergy[s][n - 1]) {
          ASSERT_EQ(c.hintShell[s], hints[static_cast<size_t>(s)]) << "Z " << z << " E " << E << " subshell " << s;
        }
      }
    }
  }
}

// The bucket search of a grid finds the interval of the halving search over
// the whole grid at every grid point, just beside it on either side and
// between points: the union photoionization grid, the coherent and
// incoherent ln E grids and the ln x grid of S(x) (which starts at ln 0).
TEST(PhotonFlight, TheBucketSearchFindsTheIntervalOfTheHalvingSearch) {
  for (int z : {82, 8, 1}) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, {z}, {1.0}));
    const Elem& el = p.elements[0];
    const struct {
      const char* name;
      const double* g;
      int32_t n;
      const GRIDBUCKETS& buckets;
    } grids[] = {
        {"union", el.photoionUnionLnEnergy, el.photoionUnionN, el.photoionUnionBuckets},
        {"coherent", el.cohLnEnergy, el.cohN, el.cohBuckets},
        {"incoherent", el.incohLnEnergy, el.incohN, el.incohBuckets},
        {"S(x)", el.sfLnX, el.sfN, el.sfBuckets},
    };
    for (const auto& grid : grids) {
      ASSERT_GT(grid.buckets.count, 0) << "Z " << z << " " << grid.name;
      const int16_t n = static_cast<int16_t>(grid.n);
      for (int32_t j = 0; j < n; ++j) {
        const double x = grid.g[j];
        const double next = j + 1 < n ? grid.g[j + 1] : x;
        for (double v : {x, std::nextafter(x, -HUGE_VAL), std::nextafter(x, HUGE_VAL), 0.5 * (x + next)}) {
          if (!(v >= grid.g[0] && v < grid.g[n - 1])) continue;
          ASSERT_EQ(FindInBuckets(v, grid.g, n, grid.buckets, 0), SearchFrom(v, grid.g, n, static_cast<int16_t>(n / 2)))
              << "Z " << z << " " << grid.name << " point " << j << " x " << v;
        }
      }
    }
  }
}

// The range of the form factor and of the scattering function up to xMax,
// read at the ends of the part of a table whose values never rise (never
// fall), or at the point of the element's running ranges, is the range of
// the scan over its points.
TEST(PhotonInteractions, TheRangeOfAnOrderedTableIsTheRangeOfItsScan) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82, 8}, {0.5, 0.5}));
  for (const Elem* el : {&p.elements[0], &p.elements[1]}) {
    const struct {
      const double* x;
      const double* y;
      int16_t n;
      const double* runLow;
      const double* runHigh;
    } tables[] = {{el->ffX, el->ff, el->ffN, el->ffRunLow, el->ffRunHigh},
                  {el->sfX, el->sf, el->sfN, el->sfRunLow, el->sfRunHigh}};
    for (const auto& t : tables) {
      TABLEORDER order;
      for (double xMax = 1e-4; xMax < 1e9; xMax *= 1.21) {
        for (double at : {xMax, t.x[std::min<int>(t.n - 1, static_cast<int>(std::log(xMax + 2.0) * 20))]}) {
          double low = 0, high = 0, scanLow = 0, scanHigh = 0;
          TableRange(t.x, t.y, t.n, at, order, &low, &high);
          TableRange(t.x, t.y, t.n, at, &scanLow, &scanHigh);
          ASSERT_EQ(low, scanLow) << "Z " << el->Z << " xMax " << at;
          ASSERT_EQ(high, scanHigh) << "Z " << el->Z << " xMax " << at;
          TABLEORDER unused;
          ASSERT_NE(t.runLow, nullptr);
          RangeUpTo(t.x, t.y, t.n, at, t.runLow, t.runHigh, unused, &low, &high);
          ASSERT_EQ(low, scanLow) << "Z " << el->Z << " xMax " << at;
          ASSERT_EQ(high, scanHigh) << "Z " << el->Z << " xMax " << at;
        }
      }
      EXPECT_GE(order.from, 0);
    }
  }
}

TEST(PhotonFlight, PairProductionOnlyAboveTwiceTheRestEnergy) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 1e6, 1.0, 3.3e22, 1);
  const double restEn2 = 2.0 * GetConstants().restEn;
  int16_t hint = 0;
  EXPECT_EQ(PairCrossSection(p.elements[0], restEn2, restEn2, hint), 0.0);
  const double justAbove = PairCrossSection(p.elements[0], restEn2 * (1.0 + 1e-9), restEn2, hint);
  EXPECT_GE(justAbove, 0.0);
  EXPECT_LT(justAbove, 1e-6);
  EXPECT_GT(PairCrossSection(p.elements[0], 5e6, restEn2, hint), 1.0);
}

// ---------------------------------------------------------------------------
// Angular distributions
// ---------------------------------------------------------------------------

TEST(PhotonAngles, FlatFormFactorGivesThomson) {
  PHOTONPROBLEM p;
  UseSyntheticElements(p, FlatFactorElement(26), {1.0});
  SetPhotonRun(p, 100e3, 1.0, 1e22, 1);
  const CHISQUARERESULT r = ChiSquareAgainstDensity(CoherentCosines(p, 100e3, 200000),
                                                    [](double mu) { return 0.375 * (1.0 + mu * mu); }, -1.0, 1.0, 50);
  EXPECT_TRUE(ChiSquarePasses(r)) << Describe(r);
}

TEST(PhotonAngles, FlatScatteringFunctionGivesKleinNishina) {
  for (double E : {20e3, 511e3, 5e6}) {
    PHOTONPROBLEM p;
    UseSyntheticElements(p, FlatFactorElement(26), {1.0});
    SetPhotonRun(p, E, 1.0, 1e22, 1);
    const double kk = E / GetConstants().restEn;
    const auto density = Normalised([kk](double mu) {
      const double eps = 1.0 / (1.0 + kk * (1.0 - mu));
      return eps * eps * (eps + 1.0 / eps - (1.0 - mu * mu));
    });
    const CHISQUARERESULT r = ChiSquareAgainstDensity(IncoherentCosines(p, E, 200000), density, -1.0, 1.0, 50);
    EXPECT_TRUE(ChiSquarePasses(r, 3)) << "E " << E << ": " << Describe(r);
  }
}

TEST(PhotonAngles, LeadAt100keVFollowsTheTabulatedFactors) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 100e3, 1.0, 3.3e22, 1);
  const Constants& k = GetConstants();
  const Elem& el = p.elements[0];

  PHOTONELEMENTCACHE coh;
  CoherentSetUp(el, 100e3, k.restEn, k.constFact_coh, coh);
  const auto cohDensity = Normalised([&](double mu) { return CoherentCosineDensity(el, coh, mu); });
  const CHISQUARERESULT rc = ChiSquareAgainstDensity(CoherentCosines(p, 100e3, 200000), cohDensity, -1.0, 1.0, 200);
  EXPECT_TRUE(ChiSquarePasses(rc, 2)) << "coherent: " << Describe(rc);

  PHOTONELEMENTCACHE inc;
  IncoherentSetUp(el, 100e3, k.restEn, k.constFact_coh, inc);
  const auto incDensity =
      Normalised([&](double mu) { return IncoherentCosineDensity(el, inc, k.constFact_incoh, mu); });
  const CHISQUARERESULT ri = ChiSquareAgainstDensity(IncoherentCosines(p, 100e3, 200000), incDensity, -1.0, 1.0, 100);
  EXPECT_TRUE(ChiSquarePasses(ri, 2)) << "incoherent: " << Describe(ri);
}

// ---------------------------------------------------------------------------
// Doppler broadening
// ---------------------------------------------------------------------------

namespace {

// Cumulative of the half-profile of a shell (piecewise-linear density, as the
// sampler inverts it exactly) at |p_z| = q.
double HalfProfileCdf(const Elem& el, int profile, double q) {
  const double* x = el.profileQ;
  const double* pdf = el.profileJ[profile];
  const double* cum = el.profileCum[profile];
  if (q >= x[kComptonMomenta - 1]) return 1.0;
  int i = 0;
  while (i < kComptonMomenta - 2 && q >= x[i + 1]) ++i;
  const double d = q - x[i];
  return cum[i] + pdf[i] * d + 0.5 * (pdf[i + 1] - pdf[i]) / (x[i + 1] - x[i]) * d * d;
}

double ProfileCdf(const Elem& el, int profile, double pz) {
  const double half = HalfProfileCdf(el, profile, std::fabs(pz));
  return pz < 0.0 ? 0.5 - 0.5 * half : 0.5 + 0.5 * half;
}

}  // namespace

TEST(PhotonDoppler, CopperAt60keVFollowsTheComptonProfiles) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {29}, {1.0}));
  const double E = 60e3, mu = 0.0;
  SetPhotonRun(p, E, 1.0, 8.49e22, 1);
  core::hostConstants.trackXrayPhotons = 0;
  const Constants& k = GetConstants();
  const Elem& el = p.elements[0];
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.material = &p.material;
  task.nBanked = 0;
  task.stepKind = kPhoton;
  PHOTONELEMENTCACHE& c = task.phot.elements[0];
  IncoherentSetUp(el, E, k.restEn, k.constFact_coh, c);

  std::vector<double> scattered;
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    task.E = E;
    task.kind = kPhoton;
    task.pc.dir = Init(0.0, 0.0, E);
    task.phot.E0 = E;
    task.phot.element = 0;
    task.phot.mu = mu;
    task.phot.eps = 1.0 / (1.0 + c.k * (1.0 - mu));
    task.phot.dopplerFirst = FirstShellBoundBelow(el, E);
    for (int s = 0; s < el.nSubshells; ++s) task.phot.pzMaxKnown[s] = 0;
    task.phot.tries = 0;
    task.state = kStateDopplerLoop;
    ASSERT_EQ(task.DopplerRejectionLoop(), kStepInteraction);
    scattered.push_back(E - task.phot.T);
  }
  // The distribution of E' implied by the profiles: shells weighted by their
  // occupation, each profile cut at the largest p_z of the shell.
  auto weightedCdf = [&](double Eprime) {
    const double pz = DopplerMomentum(E, Eprime, mu, k.restEn, k.fineStr_inv);
    double sum = 0.0, norm = 0.0;
    for (int s = 0; s < el.nSubshells; ++s) {
      const int d = el.subshellDesignator[s];
      const double w = el.cumOccupancy[s] - (s > 0 ? el.cumOccupancy[s - 1] : 0.0);
      if (w <= 0.0 || el.bindingEnergy[d] >= E) continue;
      const int profile = el.profileIndex[d] - 1;
      const double pzMax = DopplerPzMax(c.k, (E - el.bindingEnergy[d]) / k.restEn, mu, k.fineStr_inv);
      sum += w * ProfileCdf(el, profile, std::fmin(pz, pzMax));
      norm += w * ProfileCdf(el, profile, pzMax);
    }
    return sum / norm;
  };
  const double compton = E / (1.0 + c.k * (1.0 - mu));
  const CHISQUARERESULT r = ChiSquareAgainstCdf(scattered, weightedCdf, compton - 4000.0, compton + 4000.0, 80);
  EXPECT_TRUE(ChiSquarePasses(r)) << Describe(r);
}

// ---------------------------------------------------------------------------
// Photoelectric absorption, pair production and relaxation
// ---------------------------------------------------------------------------

// The struck subshell is the first from `first` on whose cumulative
// occupation reaches the rescaled draw, whatever guide entry the search
// starts from: lead and copper, every first subshell, draws on the cumulative
// values, beside them and on the edges of the guide entries, against a scan.
TEST(PhotonDoppler, SubshellIsTheFirstWhoseOccupationReachesTheDraw) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82, 29}, {0.5, 0.5}));
  for (int e = 0; e < 2; ++e) {
    const Elem& el = p.elements[e];
    ASSERT_GT(el.nSubshells, 5);
    std::vector<double> draws = {0.0, 1e-300, 1.0};
    for (int32_t i = 0; i < el.nSubshells; ++i)
      for (double c : {el.cumOccupancy[i], std::nextafter(el.cumOccupancy[i], 0.0)}) draws.push_back(c);
    for (int g = 0; g <= kOccupancyGuide; ++g) {
      const double edge = static_cast<double>(g) / kOccupancyGuide;
      draws.insert(draws.end(), {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 2.0)});
    }
    for (int32_t first = 0; first < el.nSubshells; ++first) {
      const double c0 = first > 0 ? el.cumOccupancy[first - 1] : 0.0;
      std::vector<double> rs = draws;
      // Draws whose rescaled share lands on a cumulative value or a guide edge.
      for (double u : draws)
        if (first > 0 && u > c0) rs.push_back((u - c0) / (1.0 - c0));
      for (double r : rs) {
        if (r > 1.0) continue;
        const double u = first > 0 ? c0 + r * (1.0 - c0) : r;
        int32_t expected = first;
        while (expected < el.nSubshells - 1 && u > el.cumOccupancy[expected]) ++expected;
        EXPECT_EQ(ShellFromOccupation(el, first, r), expected) << "Z " << el.Z << " first " << first << " r " << r;
      }
    }
  }
}

TEST(PhotonInteractions, PhotoelectronTakesTheEnergyAboveTheBinding) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 150e3, 1.0, 3.3e22, 1);
  core::hostConstants.trackPhotonProducedElectrons = 1;
  CTask& task = *p.task;
  const Elem& el = p.elements[0];
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.material = &p.material;
  task.stepKind = kPhoton;
  for (int shell : {0, 1, 3}) {
    task.nBanked = 0;
    task.E = 150e3;
    task.kind = kPhoton;
    task.pc.dir = Init(0.0, 0.0, task.E);
    task.Sigma_phot();
    task.phot.element = 0;
    task.phot.shell = shell;
    task.phot.electronFlag = 0;
    ASSERT_EQ(task.PhotoelectricAbsorption(), kStepInteraction);
    const double T = 150e3 - el.bindingEnergy[el.subshellDesignator[shell]];
    EXPECT_EQ(task.kind, kElectron);
    EXPECT_EQ(task.org, kOriginPhotoelectron);
    EXPECT_DOUBLE_EQ(task.E, T);
    EXPECT_NEAR(std::sqrt(Dot(task.pc.dir, task.pc.dir)), std::sqrt(T * (T + 2.0 * GetConstants().restEn)), 1e-6 * T);
  }
}

TEST(PhotonInteractions, PairParticlesShareTheKineticEnergy) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 5e6, 1.0, 3.3e22, 1);
  core::hostConstants.trackPhotonProducedElectrons = 1;
  p.cell.CUT_E = 0.0;
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.material = &p.material;
  const double restEn2 = 2.0 * GetConstants().restEn;
  for (double E : {1.5e6, 5e6, 15e6}) {
    task.nBanked = 0;
    task.E = E;
    task.kind = kPhoton;
    task.pc.dir = Init(0.0, E, 0.0);
    task.phot.element = 0;
    ASSERT_EQ(task.PairProduction(), kStepInteraction);
    ASSERT_EQ(task.nBanked, 1);
    EXPECT_EQ(task.kind, kElectron);
    EXPECT_EQ(task.bank.p[0], kPositron);
    EXPECT_NEAR(task.E + task.bank.en[0], E - restEn2, 1e-9 * E);
  }
}

TEST(PhotonInteractions, PairPositronBelowTheCutoffAnnihilatesAtOnce) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  SetPhotonRun(p, 3e6, 1.0, 3.3e22, 1);
  core::hostConstants.trackPhotonProducedElectrons = 1;
  p.cell.CUT_E = 1e7;  // both pair particles below the cutoff
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.material = &p.material;
  task.curStats = task.stats;
  task.nBanked = 0;
  task.E = 3e6;
  task.kind = kPhoton;
  task.pc.dir = Init(0.0, 0.0, 3e6);
  task.phot.element = 0;
  ASSERT_EQ(task.PairProduction(), kStepInteraction);
  const Constants& k = GetConstants();
  ASSERT_EQ(task.nBanked, 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(task.bank.p[i], kPhoton);
    EXPECT_EQ(task.bank.org[i], kOriginAnnihilation);
    EXPECT_DOUBLE_EQ(task.bank.en[i], k.restEn);
  }
  const VECTOR sum = task.bank.pc[0].dir + task.bank.pc[1].dir;
  EXPECT_LT(std::sqrt(Dot(sum, sum)), 1e-9);
  EXPECT_EQ(task.stats->slot[statslot::nAnnihilation].n, 1u);
  EXPECT_EQ(task.stats->slot[statslot::nAnnihilationPhotonsAbove].n, 2u);
  EXPECT_NEAR(task.stats->slot[statslot::eHistoryDeposit].e, 3e6 - 2.0 * k.restEn, 1e-6);
}

// The transition of a vacancy is the first whose cumulative probability
// reaches the draw (the last one above every value): every subshell of lead,
// draws on the cumulative values, between them, beyond them and on the edges
// of the guide cells, against a scan of the table.
TEST(PhotonRelaxation, TransitionIsTheFirstWhoseCumulativeValueReachesTheDraw) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {82}, {1.0}));
  const Elem& el = p.elements[0];
  int checked = 0;
  int searchedCells = 0;  // cells of more than two transitions, whose draws search the row
  for (int32_t d = 0; d < kMaxDesignator; ++d) {
    const int32_t n = el.nTransitions[d];
    if (n <= 0) continue;
    const RELAXROW& row = el.relaxRows[d];
    const int32_t cells = 1 << (kRelaxDrawBits - row.cellShift);
    for (int32_t g = 0; g < cells; ++g) searchedCells += row.cells[g].threshold < 0.0 ? 1 : 0;
    std::vector<double> draws = {0.0, 1e-300, 1.0, 1.5};
    for (int32_t j = 0; j < n; ++j) {
      draws.push_back(el.transCum[d][j]);
      draws.push_back(std::nextafter(el.transCum[d][j], 0.0));
      if (j > 0) draws.push_back(0.5 * (el.transCum[d][j - 1] + el.transCum[d][j]));
    }
    for (int32_t g = 0; g <= cells; ++g) {
      const double edge = static_cast<double>(g) / cells;
      draws.insert(draws.end(), {edge, std::nextafter(edge, 0.0), std::nextafter(edge, 2.0)});
    }
    for (double r : draws) {
      int32_t expected = 0;
      while (expected < n - 1 && el.transCum[d][expected] < r) ++expected;
      const RELAXTRANSITION t = SampleTransition(el, d, r);
      EXPECT_EQ(t.energy, el.transEnergy[d][expected]) << "designator " << d << " r " << r;
      EXPECT_EQ(t.fill, el.transFill[d][expected]) << "designator " << d << " r " << r;
      EXPECT_EQ(t.emit, el.transEmit[d][expected]) << "designator " << d << " r " << r;
    }
    ++checked;
  }
  EXPECT_GT(checked, 10);
  EXPECT_GT(searchedCells, 0);
}

TEST(PhotonRelaxation, CopperKLinesAppearWithTheirBranchingRatios) {
  PHOTONPROBLEM p;
  ASSERT_TRUE(LoadPhotonElements(p, {29}, {1.0}));
  SetPhotonRun(p, 20e3, 1.0, 8.49e22, 1);
  p.cell.CUT_P = 0.0;
  CTask& task = *p.task;
  const Elem& el = p.elements[0];
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.curStats = task.stats;
  task.stepKind = kPhoton;
  // Energies of the radiative K transitions, merged where equal.
  std::map<double, double> lineProbability;
  for (int j = 0; j < el.nTransitions[1]; ++j)
    if (el.transEmit[1][j] == 0) lineProbability[el.transEnergy[1][j]] += el.transProb[1][j];
  ASSERT_GE(lineProbability.size(), 2u);
  std::map<double, double> counts;
  const int n = 100000;
  for (int i = 0; i < n; ++i) {
    task.nBanked = 0;
    task.phot.electronFlag = 0;
    ASSERT_EQ(StartRelaxation(task, 0, 1), kStepInteraction);
    for (int b = 0; b < task.nBanked; ++b) {
      ASSERT_EQ(task.bank.org[b], kOriginFluorPhotonVacancy);
      counts[task.bank.en[b]] += 1.0;
    }
  }
  std::vector<double> observed, expected;
  double other = n;
  for (const auto& [energy, prob] : lineProbability) {
    observed.push_back(counts[energy]);
    expected.push_back(n * prob);
    other -= n * prob;
  }
  double otherObserved = n;
  for (double o : observed) otherObserved -= o;
  observed.push_back(otherObserved);
  expected.push_back(other);
  const CHISQUARERESULT r = ChiSquareTest(observed, expected);
  EXPECT_TRUE(ChiSquarePasses(r)) << Describe(r);
  // Every photon energy is one of copper's transition energies.
  for (const auto& [energy, count] : counts) {
    bool known = false;
    for (int s = 0; s < kMaxDesignator && !known; ++s)
      for (int j = 0; j < el.nTransitions[s] && !known; ++j) known = el.transEnergy[s][j] == energy;
    EXPECT_TRUE(known) << energy;
  }
}

TEST(PhotonRelaxation, FullVacancyStackDropsFurtherVacancies) {
  // Every vacancy of subshells 1..8 is filled from the next subshell with an
  // Auger electron from it too: the vacancies double at each level. The
  // cumulative probability stops at 0.5, so half of the draws lie above it.
  ElemStaging* el = new ElemStaging[1]();
  el->Z = 50;
  for (int s = 1; s <= 8; ++s) {
    el->nTransitions[s] = 1;
    el->transFill[s][0] = static_cast<int16_t>(s + 1);
    el->transEmit[s][0] = static_cast<int16_t>(s + 1);
    el->transEnergy[s][0] = 100.0;
    el->transCum[s][0] = 0.5;
  }
  PHOTONPROBLEM p;
  UseSyntheticElements(p, el, {1.0});
  SetPhotonRun(p, 20e3, 1.0, 1e22, 1);
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.curStats = task.stats;
  task.stepKind = kPhoton;
  task.nBanked = 0;
  ASSERT_EQ(StartRelaxation(task, 0, 1), kStepInteraction);
  EXPECT_GT(task.phot.droppedVacancies, 0u);
  EXPECT_EQ(task.phot.nVacancies, 0);
  EXPECT_EQ(task.state, kStateFollow);
  EXPECT_GT(task.stats->slot[statslot::nAuger].n, 99u);
}

TEST(PhotonInteractions, IncoherentLoopGivesUpOnAVanishingScatteringFunction) {
  ElemStaging* el = FlatFactorElement(26);
  el->sf[0] = el->sf[1] = el->sf[2] = 0.0;
  el->sfLnY[0] = el->sfLnY[1] = el->sfLnY[2] = kLnZero;
  PHOTONPROBLEM p;
  UseSyntheticElements(p, el, {1.0});
  SetPhotonRun(p, 100e3, 1.0, 1e22, 1);
  core::hostConstants.dopplerBroadening = 0;
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.cell = &p.cell;
  task.material = &p.material;
  task.curStats = task.stats;
  task.stepKind = kPhoton;
  task.nBanked = 0;
  task.E = 100e3;
  task.kind = kPhoton;
  task.pc.dir = Init(0.0, 0.0, 100e3);
  task.phot.element = 0;
  task.phot.E0 = 100e3;
  ASSERT_EQ(task.IncoherentScattering0(), kStepInteraction);
  EXPECT_EQ(task.phot.tries, kRejectionTryLimit);
  EXPECT_EQ(task.stats->slot[statslot::nCompton].n, 1u);
  EXPECT_NEAR(task.E, 100e3 * task.phot.eps, 1e-6);
}

TEST(PhotonInteractions, StopRequestSuspendsAndResumesTheCoherentLoop) {
  PHOTONPROBLEM p;
  UseSyntheticElements(p, FlatFactorElement(26), {1.0});
  SetPhotonRun(p, 100e3, 1.0, 1e22, 1);
  CTask& task = *p.task;
  task.rng = &p.streams.generators[0];
  task.curStats = task.stats;
  task.E = 100e3;
  task.pc.dir = Init(0.0, 0.0, 100e3);
  task.phot.element = 0;
  task.stopRequest.store(1);
  int32_t result = kStepSuspended;
  int suspensions = 0;
  result = task.CoherentScattering0();
  while (result == kStepSuspended) {
    ++suspensions;
    EXPECT_EQ(task.state, kStateCoherentLoop);
    result = task.ResumeInterruptedStep();
  }
  EXPECT_EQ(result, kStepInteraction);
  EXPECT_EQ(task.state, kStateFollow);
  EXPECT_EQ(task.stats->slot[statslot::nCoherent].n, 1u);
  EXPECT_NEAR(std::sqrt(Dot(task.pc.dir, task.pc.dir)), 100e3, 1e-6);
  (void)suspensions;
}

// ---------------------------------------------------------------------------
// Whole histories
// ---------------------------------------------------------------------------

TEST(PhotonHistories, EnergyIsConservedPerHistory) {
  struct CASE {
    int z;
    double E, w, n;
  } cases[] = {{82, 662e3, 1.0, 3.3e22}, {29, 100e3, 0.1, 8.49e22}, {82, 8e6, 2.0, 3.3e22}};
  for (const CASE& t : cases) {
    PHOTONPROBLEM p;
    ASSERT_TRUE(LoadPhotonElements(p, {t.z}, {1.0}));
    SetPhotonRun(p, t.E, t.w, t.n, 2000);
    p.cell.CUT_P = 10e3;
    CTask& task = *p.task;
    STATSLOT* s = task.stats->slot;
    for (int h = 0; h < 2000; ++h) {
      const double dep0 = s[statslot::eHistoryDeposit].e, esc0 = s[statslot::ePhotonEscapes].e,
                   cut0 = s[statslot::ePhotonCutoff].e;
      ASSERT_TRUE(RunOneHistory(task));
      const double dep = s[statslot::eHistoryDeposit].e - dep0, esc = s[statslot::ePhotonEscapes].e - esc0,
                   cut = s[statslot::ePhotonCutoff].e - cut0;
      ASSERT_NEAR(dep + esc + cut, t.E, 1e-7 * t.E) << "Z " << t.z << " history " << h;
      ASSERT_GE(dep, -1e-7 * t.E);
    }
  }
}
