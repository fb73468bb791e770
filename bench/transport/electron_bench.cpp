// Electron histories per second on one worker with the real ENDF/B data:
// 1 MeV electrons on 1 cm of aluminium and 10 MeV electrons in a thick water
// layer, cutoffs 10 keV (electrons) and 1 keV (photons), every electron
// process on, knock-ons and bremsstrahlung photons banked. Photons leave the
// layer at once (their transport is measured by the photon benchmarks).
#include <benchmark/benchmark.h>

#include <memory>

#include "core/constants.h"
#include "core/task.h"
#include "tests/transport/electron_fixture.h"
#include "tests/transport/transport_fixture.h"

namespace {

int32_t ElectronsOnly(CTask& t) {
  if (IsPhoton(t.kind)) {
    t.ReadBankedParticle();
    return kStepGoesOn;
  }
  return t.ElectronStep();
}

void RunElectronHistories(benchmark::State& state, const int* z, const double* fractions, int n, double atoms, double w,
                          double E0, double zStart) {
  ELECTRONPROBLEM problem;
  if (!SetElectronProblem(problem, z, fractions, n, atoms, w, E0, 1e4, 1e3, zStart)) {
    state.SkipWithError("element data could not be loaded (set TQ_SHARED_DATA)");
    return;
  }
  core::hostConstants.diffusion_totalToInelasticRatio_thr = static_cast<double>(state.range(0));
  STREAMTABLES tables;
  const uint64_t batch = 200;
  uint64_t histories = 0;
  for (auto _ : state) {
    DealStreams(tables, 1, batch, static_cast<int32_t>(histories % 30000));
    auto task = std::make_unique<CTask>();
    GiveStreams(*task, 0, 1, 1);
    task->stepOverride = ElectronsOnly;
    task->RunHistories();
    histories += batch;
  }
  state.counters["histories/s"] = benchmark::Counter(static_cast<double>(histories), benchmark::Counter::kIsRate);
}

void BM_OneMeVElectronsOnAluminium(benchmark::State& state) {
  const int z[1] = {13};
  const double f[1] = {1.0};
  RunElectronHistories(state, z, f, 1, 2.699 * 6.02214076e23 / 26.9815385, 1.0, 1e6, 0.0);
}

void BM_TenMeVElectronsInWater(benchmark::State& state) {
  const int z[2] = {1, 8};
  const double f[2] = {2.0 / 3.0, 1.0 / 3.0};
  RunElectronHistories(state, z, f, 2, 3.0 * 6.02214076e23 / 18.015, 20.0, 1e7, 10.0);
}

// Argument: the diffusion threshold sigma_tot / sigma_inel (1e18: no diffusion).
BENCHMARK(BM_OneMeVElectronsOnAluminium)->Arg(1000000000000000000)->Arg(100)->Arg(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenMeVElectronsInWater)->Arg(1000000000000000000)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
