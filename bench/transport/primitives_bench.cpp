// Cost per call of the primitives that every transport step uses: a RANMAR
// draw, interval searches with and without the fast index, inverse-cumulative
// sampling and an isotropic direction.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/indexdata.h"
#include "core/randgen.h"
#include "driver/data/fast_index.h"
#include "transport/directions.h"
#include "transport/lookup.h"

namespace {

constexpr int kGridPoints = 2000;  // a typical energy grid, 10 eV to 100 GeV
constexpr int kQueries = 4096;     // precomputed queries, so that the draw is not timed

std::vector<double> EnergyGrid() {
  std::vector<double> g(kGridPoints);
  for (int k = 0; k < kGridPoints; ++k) g[k] = 10.0 * std::pow(1e10, static_cast<double>(k) / (kGridPoints - 1));
  return g;
}

std::vector<double> RandomEnergies(const std::vector<double>& g) {
  CRandGen rng;
  rng.RandomInitialise(11, 22);
  std::vector<double> x(kQueries);
  for (double& e : x) e = g.front() * std::pow(g.back() / g.front(), rng.random());
  return x;
}

void BM_RanmarDraw(benchmark::State& state) {
  CRandGen rng;
  rng.RandomInitialise(1802, 9373);
  for (auto _ : state) benchmark::DoNotOptimize(rng.random());
}
BENCHMARK(BM_RanmarDraw);

void BM_RanmarGaussian(benchmark::State& state) {
  CRandGen rng;
  rng.RandomInitialise(1802, 9373);
  for (auto _ : state) benchmark::DoNotOptimize(rng.RandomGaussian(0.0, 1.0));
}
BENCHMARK(BM_RanmarGaussian);

// Binary search from the middle of the grid on unrelated energies.
void BM_FindBinary(benchmark::State& state) {
  const std::vector<double> g = EnergyGrid();
  const std::vector<double> x = RandomEnergies(g);
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Find(x[k], g.data(), kGridPoints, -1));
    k = (k + 1) & (kQueries - 1);
  }
}
BENCHMARK(BM_FindBinary);

// The same search started from the last interval, as along a slowing track.
void BM_FindWithHint(benchmark::State& state) {
  const std::vector<double> g = EnergyGrid();
  std::vector<double> x(kQueries);
  for (int k = 0; k < kQueries; ++k) x[k] = 1e9 * std::pow(0.9995, k);  // slowly falling energy
  int16_t hint = 0;
  size_t k = 0;
  for (auto _ : state) {
    hint = Find(x[k], g.data(), kGridPoints, hint);
    benchmark::DoNotOptimize(hint);
    k = (k + 1) & (kQueries - 1);
  }
}
BENCHMARK(BM_FindWithHint);

void BM_FindIndexed(benchmark::State& state) {
  const std::vector<double> g = EnergyGrid();
  const std::vector<double> x = RandomEnergies(g);
  INDEXDATA index{};
  index.indexType = static_cast<int32_t>(state.range(0));
  index.exponent = kIndexExponentMax;
  BuildFastIndex(g.data(), kGridPoints, &index, g.front(), g.back(), false);
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindIndexed(x[k], g.data(), kGridPoints, index, 0));
    k = (k + 1) & (kQueries - 1);
  }
  state.SetLabel("built type " + std::to_string(index.indexType) + ", 2^" + std::to_string(index.exponent) + "+1 entries");
  FreeFastIndex(&index);
}
BENCHMARK(BM_FindIndexed)->Arg(-1)->Arg(-2);

// Sampling table of a 1/x^2 knock-on spectrum on 200 points.
struct KNOCKONTABLE {
  std::vector<double> x, p, C, s;
  KNOCKONTABLE() : x(200), p(200), C(200), s(200) {
    for (int k = 0; k < 200; ++k) {
      x[k] = 1e3 * std::pow(1e3, k / 199.0);
      p[k] = 1.0 / (x[k] * x[k]);
    }
    for (int k = 0; k + 1 < 200; ++k) {
      C[k + 1] = C[k] + 0.5 * (p[k] + p[k + 1]) * (x[k + 1] - x[k]);
      s[k] = (x[k + 1] - x[k]) / (p[k + 1] - p[k]);
    }
    const double total = C[199];
    for (int k = 0; k < 200; ++k) {
      p[k] /= total;
      s[k] *= total;
      C[k] /= total;
    }
  }
};

void BM_ValueFromProb(benchmark::State& state) {
  const KNOCKONTABLE t;
  CRandGen rng;
  rng.RandomInitialise(3, 4);
  std::vector<double> u(kQueries);
  for (double& v : u) v = rng.random();
  size_t k = 0;
  int16_t interval;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ValueFromProb(u[k], t.x.data(), t.p.data(), t.C.data(), t.s.data(), 200, 100, 1, interval));
    k = (k + 1) & (kQueries - 1);
  }
}
BENCHMARK(BM_ValueFromProb);

void BM_ValueFromProbIndexed(benchmark::State& state) {
  const KNOCKONTABLE t;
  INDEXDATA index{};
  index.indexType = -3;
  index.exponent = 10;
  BuildFastIndex(t.C.data(), 200, &index, 0.0, 1.0, false);
  CRandGen rng;
  rng.RandomInitialise(3, 4);
  std::vector<double> u(kQueries);
  for (double& v : u) v = rng.random();
  size_t k = 0;
  int16_t interval;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ValueFromProbIndexed(u[k], t.x.data(), t.p.data(), t.C.data(), t.s.data(), &index, 200, 100, 1, interval));
    k = (k + 1) & (kQueries - 1);
  }
  state.SetLabel("built type " + std::to_string(index.indexType));
  FreeFastIndex(&index);
}
BENCHMARK(BM_ValueFromProbIndexed);

void BM_IsotropicDirection(benchmark::State& state) {
  CRandGen rng;
  rng.RandomInitialise(5, 6);
  for (auto _ : state) benchmark::DoNotOptimize(Isotropic(rng, 1.0));
}
BENCHMARK(BM_IsotropicDirection);

void BM_NonIsotropicTurn(benchmark::State& state) {
  VECTOR d = Init(0.3, 0.4, std::sqrt(0.75));
  double mu = 0.1;
  for (auto _ : state) {
    d = NonIsotropic(d, 1.0, 1.0 / Norm(d), mu, 2.0);
    mu = -mu;
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_NonIsotropicTurn);

}  // namespace

BENCHMARK_MAIN();
