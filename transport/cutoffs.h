// The end of an electron or positron: at the cell's energy cutoff (a
// positron annihilates there into two photons of m c^2 each), or on leaving
// the geometry; and the bookkeeping of the deposited energy that the
// electron steps apply (CTask::UpdateAbsorbedEnergy). The CTask methods are
// defined in cutoffs.cpp; the directions of the annihilation pair here.
#pragma once

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
