// Overhead of the history loop per history with a stand-in step (no physics):
// source sampling, locating in the layer, the bank and the end of history with
// its stream rotation.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/task.h"
#include "transport/bank.h"
#include "transport/history.h"

namespace {

constexpr int kStreams = 16;
double spectrumEnergy[4] = {1e5, 3e5, 1e6, 3e6};

// A 1 cm layer hit by a photon source of the given position and direction kinds.
void SetProblem(int32_t positionType, int32_t directionType) {
  std::memset(&core::hostConstants, 0, sizeof(core::hostConstants));
  Constants& k = core::hostConstants;
  k.restEn = 510998.95;
  k.trackPos = 1;
  k.part = kPhoton;
  k.nEnerg = 4;
  k.E_source = spectrumEnergy;
  const double cumulative[4] = {0.0, 0.2, 0.7, 1.0};
  for (int i = 0; i < 4; ++i) k.cumulativeWeight[i] = cumulative[i];
  k.w = 1.0;
  k.surface_C = 1.0;
  k.beam_C = 1.0;
  k.sourcePositionType = positionType;
  k.sourceDirectionType = directionType;
  k.sourceCenter[2] = -1.0;
  k.sourceConeCos = 0.8;
  k.sourceConstantDensityRadius = 0.5;
  k.sourceRMSwidth = 0.05;
  for (int i = 0; i < 3; ++i) {
    k.Q_source_direction[4 * i] = 1.0;
    k.Q_source_position[4 * i] = 1.0;
  }
}

int nSecondaries = 0;

// Banks nSecondaries particles from the source particle, then ends each
// particle after one step.
int32_t StandInStep(CTask& t) {
  if (t.org == kOriginSource) {
    for (int i = 0; i < nSecondaries; ++i) PushParticle(t, 0.5 * t.E, kElectron, kOriginCompton, t.pc.dir, 1.0, 0);
  }
  return t.ReadBankedParticle() == 0 ? kStepGoesOn : kStepFatal;
}

// Runs state.range(0) ... histories per batch; reports histories per second.
void RunBatches(benchmark::State& state, int32_t positionType, int32_t directionType) {
  SetProblem(positionType, directionType);
  nSecondaries = static_cast<int>(state.range(0));
  constexpr uint64_t kBatch = 100000;
  std::vector<STREAMCONTROL> control(kStreams);
  std::vector<CRandGen> generators(kStreams);
  for (int s = 0; s < kStreams; ++s) SeedStream(generators[s], s, 1);
  core::runStreams.streamControl = control.data();
  core::runStreams.randGens = generators.data();
  core::runStreams.nStreams_tot = kStreams;
  core::runStreams.cpuStride = kStreams;
  core::runStreams.cpuParticleShare.store(kBatch);
  CTask task;
  task.stepOverride = StandInStep;
  std::vector<int32_t> list(kStreams);
  for (int s = 0; s < kStreams; ++s) list[s] = s;
  for (auto _ : state) {
    for (int s = 0; s < kStreams; ++s) control[s] = STREAMCONTROL{0, -1, static_cast<uint64_t>(s)};
    task.SetStreamList(list.data(), kStreams);
    task.state = kStateHistoryEnded;
    task.RunHistories();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBatch));
}

void BM_HistoryLoopFixedPointSource(benchmark::State& state) { RunBatches(state, 1, 1); }
void BM_HistoryLoopBeamCone(benchmark::State& state) { RunBatches(state, 2, 2); }
void BM_HistoryLoopPointIsotropic(benchmark::State& state) { RunBatches(state, 1, 3); }

}  // namespace

BENCHMARK(BM_HistoryLoopFixedPointSource)->Arg(0)->Arg(4);
BENCHMARK(BM_HistoryLoopBeamCone)->Arg(0)->Arg(4);
BENCHMARK(BM_HistoryLoopPointIsotropic)->Arg(0);
BENCHMARK_MAIN();
