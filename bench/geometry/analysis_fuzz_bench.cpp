// The fuzz run of the set-up analysis: 10^5 seeded cases of random, often
// degenerate surfaces, curves and regions; every case must end (no hang) with
// finite, in-range results. The cases run on every core (the analysis keeps
// its scratch per call); reports the wall time and the counts.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "tests/geometry/geometry_analysis_fuzz.h"

namespace {

constexpr uint64_t kFuzzSeed = 20240607;
constexpr int64_t kFuzzCases = 100000;

void BM_AnalysisFuzz(benchmark::State& state) {
  const int workers = std::max(1u, std::thread::hardware_concurrency());
  std::vector<geometry_fuzz::FuzzTally> tallies(workers);
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
      threads.emplace_back([w, workers, &tallies] {
        for (int64_t i = w; i < kFuzzCases; i += workers) geometry_fuzz::RunCase(kFuzzSeed, i, tallies[w]);
      });
    for (std::thread& t : threads) t.join();
  }
  geometry_fuzz::FuzzTally tally;
  for (const auto& t : tallies) {
    tally.cases += t.cases;
    tally.curves += t.curves;
    tally.roots += t.roots;
    tally.interior += t.interior;
    tally.failures += t.failures;
  }
  state.counters["workers"] = workers;
  state.counters["cases"] = static_cast<double>(tally.cases);
  state.counters["curves"] = static_cast<double>(tally.curves);
  state.counters["roots"] = static_cast<double>(tally.roots);
  state.counters["interior"] = static_cast<double>(tally.interior);
  state.counters["failures"] = static_cast<double>(tally.failures);
  if (tally.failures != 0) state.SkipWithError("fuzz cases with NaN or out-of-range results");
}
BENCHMARK(BM_AnalysisFuzz)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
