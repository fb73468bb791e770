// The end of an electron or positron: at the cell's energy cutoff (a
// positron annihilates there into two photons of m c^2 each), or on leaving
// the geometry; and the bookkeeping of the deposited energy that the
// electron steps apply (CTask::UpdateAbsorbedEnergy). The CTask methods are
// defined in cutoffs.cpp; the directions of the annihilation pair here, and
// the annihilation at rest that the cutoff and pair production share.
#pragma once

#include <cstdint>

#include "core/randgen.h"
#include "core/vector.h"
#include "transport/directions.h"

// Directions of the two photons of an annihilation at rest: isotropic, back
// to back, each of length m c^2 (eV).
struct ANNIHILATIONPAIR {
  VECTOR first;
  VECTOR second;
};

TQ_CPU_GPU inline ANNIHILATIONPAIR AnnihilationDirections(CRandGen& rng, double restEn) {
  const VECTOR d = Isotropic(rng, restEn);
  return ANNIHILATIONPAIR{d, -d};
}

class CTask;
// A positron of kinetic energy T (eV) at rest where the task's particle is
// annihilates with an atomic electron: counted as "p-annihilation" when
// countPositron is set (a positron that was followed); when the cell's photon
// cutoff is below m c^2 the two photons are created, banked when secondary
// photons are followed (their 2 m c^2 leaving the deposit) and counted;
// otherwise 2 m c^2 stays deposited. Returns kBankFull (fatal) or 0.
int32_t AnnihilateAtRest(CTask& task, double T, bool countPositron);
