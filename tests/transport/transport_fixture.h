// A small problem for the history-loop tests: one layer (0 <= z <= 1 cm), a
// source described in the Constants record, the run's streams dealt to workers
// as the driver deals them, and a stand-in step that records what it sees.
#pragma once

#include <cstdint>
#include <vector>

#include "core/constants.h"
#include "core/randgen.h"
#include "core/stream_control.h"
#include "core/task.h"

// Fills the host Constants with a 1 MeV photon point source at (0, 0, -1)
// aimed along +z at a layer 1 cm thick whose front face is z = 0.
void SetSimpleProblem();

// Gives k the source frames of a pencil beam along +z: identity direction and
// position frames, a cone of zero opening, geometry precisions of 1e-12 and no
// entry surface.
void SetPencilBeamFrames(Constants& k);

// The run's streams: nStreams generators seeded with `seed`, stream s starting
// at source particle s and advancing by nStreams, N histories in all.
struct STREAMTABLES {
  std::vector<STREAMCONTROL> control;
  std::vector<CRandGen> generators;
};
void DealStreams(STREAMTABLES& tables, int32_t nStreams, uint64_t N, int32_t seed);

// Gives worker t of nWorkers its streams t, t + nWorkers, ... and resets its
// loop fields as the driver does before a run.
void GiveStreams(CTask& task, int32_t t, int32_t nWorkers, int32_t nStreams);

// One step of a stand-in particle: what the step saw.
struct STEPRECORD {
  int32_t stream;
  uint64_t particle;  // source-particle number of the history
  double E;
  uint8_t kind;
  uint8_t org;
  VECTOR pos;
  VECTOR dir;
  double xi;          // one draw of the step's generator
};
