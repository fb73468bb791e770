// Sort2's paired quicksort on a million sorted, reverse-sorted, equal and
// random keys, and the three integration drivers on one integral each.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "language/adaptive_integration.h"
#include "language/array_builtins.h"
#include "language/arrays.h"

namespace {

constexpr int kKeys = 1000000;

std::vector<double> Keys(int order) {
  std::vector<double> keys(kKeys);
  std::mt19937 random(5);
  for (int i = 0; i < kKeys; ++i) {
    switch (order) {
      case 0:
        keys[static_cast<size_t>(i)] = i;
        break;
      case 1:
        keys[static_cast<size_t>(i)] = kKeys - i;
        break;
      case 2:
        keys[static_cast<size_t>(i)] = 1.0;
        break;
      default:
        keys[static_cast<size_t>(i)] = static_cast<double>(random());
        break;
    }
  }
  return keys;
}

// Argument: 0 sorted, 1 reverse-sorted, 2 equal, 3 random keys.
void BM_SortPairedMillion(benchmark::State& state) {
  const std::vector<double> original = Keys(static_cast<int>(state.range(0)));
  std::vector<double> keys;
  std::vector<int> positions(kKeys);
  for (auto _ : state) {
    state.PauseTiming();
    keys = original;
    state.ResumeTiming();
    benchmark::DoNotOptimize(SortPaired(kKeys, positions.data(), kElementDouble, keys.data(), 1));
  }
}
BENCHMARK(BM_SortPairedMillion)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond);

void BM_Dqags(benchmark::State& state) {
  std::vector<int> iwork(200);
  std::vector<double> work(800);
  for (auto _ : state) {
    double result, abserr;
    int neval, ier, last;
    dqags([](double x) { return std::log(x) / std::sqrt(x); }, 0.0, 1.0, 0.0, 1e-10, &result, &abserr, &neval, &ier,
          200, 800, &last, iwork.data(), work.data());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_Dqags);

void BM_Dqawo(benchmark::State& state) {
  std::vector<int> iwork(400);
  std::vector<double> work(3300);
  for (auto _ : state) {
    double result, abserr;
    int neval, ier, last;
    dqawo([](double x) { return x > 0.0 ? std::log(x) : 0.0; }, 0.0, 1.0, 10.0 * std::numbers::pi, 2, 0.0, 1e-10,
          &result, &abserr, &neval, &ier, 400, 100, 3300, &last, iwork.data(), work.data());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_Dqawo);

}  // namespace

BENCHMARK_MAIN();
