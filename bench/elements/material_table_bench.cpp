// Set-up time of the per-material electron cross-section table (merge of
// every (element, section) grid, cumulative rows, positron rows, thinning to
// SIGMA_ERR and the fast index) for a five- and a ten-element material, the
// elements loaded once from the ENDF/B-VIII.1 library.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/data/element_loader.h"
#include "driver/setup/material_table_builder.h"

namespace {

struct LOADEDMATERIAL {
  ELEMENTPOOL pool;
  MATERIAL material{};
  MATERIALTABLEOPTIONS options;
  bool loaded = false;

  explicit LOADEDMATERIAL(const std::vector<int>& zs) {
    ELEMENTLOADOPTIONS load;
    load.endfFolder = std::string(TQ_SHARED_DATA) + "endf/";
    load.dataFolder = std::string(TQ_SHARED_DATA) + "aux/";
    load.elasticDpw = 0;
    const int count = static_cast<int>(zs.size());
    loaded = LoadElements(zs.data(), count, load, &pool) == 0;
    material.nElements = count;
    for (int i = 0; i < count; ++i) {
      material.element[i] = i;
      material.fraction[i] = 1.0 / count;
    }
    options.minEnergy = 1000.0;
    options.maxEnergy = 1e7;
    options.positronRows = 1;
    options.nElements = count;
  }
  ~LOADEDMATERIAL() { FreeElementPool(&pool); }
};

void BuildTable(benchmark::State& state, const std::vector<int>& zs) {
  LOADEDMATERIAL setup(zs);
  if (!setup.loaded) state.SkipWithError("load failed");
  for (auto _ : state) {
    BuildMaterialTable(setup.options, setup.pool.elements, &setup.material);
    state.counters["points"] = setup.material.nElectronEnergies;
    state.counters["entries"] = setup.material.nElectronEntries;
    FreeMaterialTable(&setup.material);
  }
}

void BM_MaterialTableFiveElements(benchmark::State& state) { BuildTable(state, {1, 6, 8, 26, 82}); }
BENCHMARK(BM_MaterialTableFiveElements)->Unit(benchmark::kMillisecond);

void BM_MaterialTableTenElements(benchmark::State& state) { BuildTable(state, {1, 6, 7, 8, 11, 14, 20, 26, 29, 82}); }
BENCHMARK(BM_MaterialTableTenElements)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
