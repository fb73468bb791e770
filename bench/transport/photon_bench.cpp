// Photon histories per second on one worker: 662 keV photons in 1 cm of lead
// and 100 keV photons in 10 cm of water (simple geometry, every photon model
// on, secondary photons and fluorescence followed, electrons deposited where
// they are made, 10 keV cutoffs).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/constants.h"
#include "core/element_table.h"
#include "core/material.h"
#include "core/physical_constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "driver/data/element_loader.h"
#include "tests/transport/photon_fixture.h"
#include "transport/photon_flight.h"

namespace {

struct PROBLEM {
  ELEMENTPOOL pool;
  MATERIAL material{};
  CELL cell{};
  double energy[1] = {0.0};
  std::vector<STREAMCONTROL> control;
  std::vector<CRandGen> generators;
  ~PROBLEM() {
    if (elementArray == pool.elements) elementArray = nullptr;
    FreeElementPool(&pool);
  }
};

bool SetUp(PROBLEM& p, const std::vector<int>& z, const std::vector<double>& atoms, double E, double w,
           double concentration, uint64_t N) {
  ELEMENTLOADOPTIONS options;
  options.endfFolder = std::string(TQ_SHARED_DATA) + "endf/";
  options.dataFolder = std::string(TQ_SHARED_DATA) + "aux/";
  options.elasticDpw = 0;
  options.maxEnergy = E;
  double sum = 0.0;
  for (double a : atoms) sum += a;
  p.material.nElements = static_cast<int32_t>(z.size());
  if (LoadElements(z.data(), p.material.nElements, options, &p.pool) != 0) return false;
  for (size_t i = 0; i < z.size(); ++i) {
    p.material.element[i] = static_cast<int32_t>(i);
    p.material.fraction[i] = atoms[i] / sum;
  }
  elementArray = p.pool.elements;

  std::memset(&hostConstants, 0, sizeof(hostConstants));
  // The photon models and constants the tests use, with the default
  // coherent sampling threshold.
  SetPhotonOptions(p.pool.elements, p.material.nElements);
  Constants& k = hostConstants;
  k.part = kPhoton;
  k.nEnerg = 1;
  p.energy[0] = E;
  k.E_source = p.energy;
  k.cumulativeWeight[1] = 1.0;
  k.w = w;
  k.concentration = concentration;
  k.surface_C = 1.0;
  k.beam_C = 1.0;
  k.sourcePositionType = 1;
  k.sourceDirectionType = 1;
  k.entrySurface = -1;
  k.distancePrecision = 1e-12;
  k.anglePrecision = 1e-12;
  p.cell.concentration = concentration;
  p.cell.CUT_E = 10e3;
  p.cell.CUT_P = 10e3;
  p.cell.unionIndex = -1;
  k.cell = &p.cell;
  k.material = &p.material;

  p.control.assign(1, STREAMCONTROL{0, -1, 0});
  p.generators.assign(1, CRandGen());
  runStreams.streamControl = p.control.data();
  runStreams.randGens = p.generators.data();
  runStreams.nStreams_tot = 1;
  runStreams.cpuParticleShare.store(N);
  runStreams.cpuStride = 1;
  k.nStreams_tot = 1;
  return true;
}

void RunPhotonHistories(benchmark::State& state, const std::vector<int>& z, const std::vector<double>& atoms, double E,
                        double w, double concentration) {
  constexpr uint64_t kHistories = 20000;
  PROBLEM p;
  if (!SetUp(p, z, atoms, E, w, concentration, UINT64_MAX / 2)) {
    state.SkipWithError("elements could not be loaded");
    return;
  }
  CTask task(true);
  const int32_t stream = 0;
  task.SetStreamList(&stream, 1);
  for (auto _ : state) {
    runStreams.cpuParticleShare.store(p.control[0].nextParticle + kHistories);
    task.state = kStateHistoryEnded;
    task.nBanked = -1;
    task.RunHistories();
    task.SetStreamList(&stream, 1);
    p.control[0].task = 0;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kHistories));
}

// 662 keV (137Cs) photons on 1 cm of lead (11.35 g/cm^3).
void BM_Lead662keV(benchmark::State& state) { RunPhotonHistories(state, {82}, {1.0}, 662e3, 1.0, 3.299e22); }
// 100 keV photons on 10 cm of water (H2O, 1 g/cm^3: 3.343e22 molecules/cm^3, 3 atoms each).
void BM_Water100keV(benchmark::State& state) {
  RunPhotonHistories(state, {1, 8}, {2.0, 1.0}, 100e3, 10.0, 1.0029e23);
}

BENCHMARK(BM_Lead662keV)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Water100keV)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
