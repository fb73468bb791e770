// Photon transport problems for the tests and benchmarks: elements loaded from
// the ENDF/B library through the element loader (or synthetic records), one
// material in the simple geometry's layer, the photon options of a run and a
// worker record with its streams.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/cell.h"
#include "core/elem.h"
#include "core/material.h"
#include "core/task.h"
#include "driver/data/element_pool.h"
#include "tests/transport/transport_fixture.h"

struct PHOTONPROBLEM {
  ELEMENTPOOL pool;          // the element array
  Elem* elements = nullptr;  // pool.elements
  int32_t nElements = 0;
  MATERIAL material{};
  CELL cell{};
  STREAMTABLES streams;
  std::unique_ptr<CTask> task;
  double sourceEnergy[1] = {0.0};
  ~PHOTONPROBLEM();
};

// Loads the elements Z (atom fractions `fractions`) from the ENDF/B library
// with the Compton profiles; false when loading fails.
bool LoadPhotonElements(PHOTONPROBLEM& problem, const std::vector<int>& z, const std::vector<double>& fractions);

// Takes over synthetic element records (zero-filled staging records from
// new[], filled by the caller): packs them as the element array, each with the
// given atom fraction, and deletes them.
void UseSyntheticElements(PHOTONPROBLEM& problem, ElemStaging* elements, const std::vector<double>& fractions);

// The photon options of a run with every model on (coherent scattering,
// Doppler broadening, photoelectron angles, pair-production sharing and
// angles, x-rays followed) for the given elements, without touching the rest
// of the host Constants.
void SetPhotonOptions(const Elem* elements, int32_t nElements);

// The photon options of a run with every model on, a photon source of energy
// E (eV) entering a layer of thickness w (cm) with `concentration` atoms per
// cm^3 along +z, cutoffs of 1 keV, N histories on one stream; builds the task.
void SetPhotonRun(PHOTONPROBLEM& problem, double E, double w, double concentration, uint64_t N);

// Cross sections per atom of the problem's material at E from the photon
// transport's own tables, cm^2: the total and one part per interaction
// (indexed by PhotonInteraction), coherent scattering included.
struct PHOTONSIGMAS {
  double total = 0.0;
  double part[4] = {};
};
PHOTONSIGMAS MaterialSigmas(const PHOTONPROBLEM& problem, double E);

// Runs one whole history on the task as the history loop does. Returns false
// on a fatal error or a stop.
bool RunOneHistory(CTask& task);
