// Set-up time of the element data: one element (lead) and a ten-element
// material, from the ENDF/B-VIII.1 library.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "driver/data/element_loader.h"

namespace {

ELEMENTLOADOPTIONS BenchOptions() {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = std::string(TQ_SHARED_DATA) + "endf/";
  options.dataFolder = std::string(TQ_SHARED_DATA) + "aux/";
  return options;
}

void LoadSet(benchmark::State& state, const int* zs, int count) {
  const ELEMENTLOADOPTIONS options = BenchOptions();
  ELEMENTPOOL pool;  // one block, reused by every load
  for (auto _ : state) {
    if (LoadElements(zs, count, options, &pool) != 0) state.SkipWithError("load failed");
    state.counters["MB"] = static_cast<double>(pool.bytes) * 1e-6;
  }
  FreeElementPool(&pool);
  state.SetItemsProcessed(state.iterations() * count);
}

void BM_LoadLead(benchmark::State& state) {
  const int zs[] = {82};
  LoadSet(state, zs, 1);
}
BENCHMARK(BM_LoadLead)->Unit(benchmark::kMillisecond);

void BM_LoadFiveElements(benchmark::State& state) {
  const int zs[] = {1, 6, 8, 26, 82};
  LoadSet(state, zs, 5);
}
BENCHMARK(BM_LoadFiveElements)->Unit(benchmark::kMillisecond);

void BM_LoadTenElements(benchmark::State& state) {
  const int zs[] = {1, 6, 7, 8, 11, 14, 20, 26, 29, 82};
  LoadSet(state, zs, 10);
}
BENCHMARK(BM_LoadTenElements)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
