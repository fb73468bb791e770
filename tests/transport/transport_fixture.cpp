#include "tests/transport/transport_fixture.h"

#include <cstring>

namespace {
double singleEnergy[1] = {1.0e6};
}

void SetSimpleProblem() {
  std::memset(&core::hostConstants, 0, sizeof(core::hostConstants));
  Constants& k = core::hostConstants;
  k.pi = 3.141592653589793;
  k.restEn = 510998.95;
  k.trackPos = 1;
  k.part = kPhoton;
  k.nEnerg = 1;
  k.E_source = singleEnergy;
  k.cumulativeWeight[0] = 0.0;
  k.cumulativeWeight[1] = 1.0;
  k.w = 1.0;
  k.surface_C = 1.0;
  k.beam_C = 1.0;
  k.entry_Z = 0.0;
  k.sourcePositionType = 1;
  k.sourceDirectionType = 1;
  k.sourceCenter[2] = -1.0;
  SetPencilBeamFrames(k);
}

void SetPencilBeamFrames(Constants& k) {
  k.sourceConeCos = 1.0;
  for (int i = 0; i < 3; ++i) {
    k.Q_source_direction[4 * i] = 1.0;
    k.Q_source_position[4 * i] = 1.0;
  }
  k.anglePrecision = 1e-12;
  k.distancePrecision = 1e-12;
  k.entrySurface = -1;
}

void DealStreams(STREAMTABLES& tables, int32_t nStreams, uint64_t N, int32_t seed) {
  tables.control.assign(nStreams, STREAMCONTROL{-1, -1, 0});
  tables.generators.assign(nStreams, CRandGen());
  for (int32_t s = 0; s < nStreams; ++s) {
    tables.control[s].nextParticle = static_cast<uint64_t>(s);
    SeedStream(tables.generators[s], s, seed);
  }
  core::runStreams.streamControl = tables.control.data();
  core::runStreams.randGens = tables.generators.data();
  core::runStreams.nStreams_tot = nStreams;
  core::runStreams.cpuParticleShare.store(N);
  core::runStreams.cpuStride = static_cast<uint64_t>(nStreams);
  core::hostConstants.nStreams_tot = nStreams;
}

void GiveStreams(CTask& task, int32_t t, int32_t nWorkers, int32_t nStreams) {
  std::vector<int32_t> list;
  for (int32_t s = t; s < nStreams; s += nWorkers) {
    list.push_back(s);
    core::runStreams.streamControl[s].task = t;
  }
  task.SetStreamList(list.data(), static_cast<int32_t>(list.size()));
  task.threadNo = t;
  task.nBanked = -1;
  task.maxBanked = -1;
  task.state = kStateHistoryEnded;
}
