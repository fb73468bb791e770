// Atomic relaxation after an inner-shell vacancy: the vacancies are filled one
// transition at a time from the ENDF/B atomic-relaxation data (radiative
// transitions emit a fluorescence photon, non-radiative ones an Auger electron
// and leave a second vacancy) until a vacancy without transition data is
// reached. The cascade is state 4 of the history loop (CTask::AtomicTransition).
#pragma once

#include <cstdint>

#include "core/elem.h"
#include "core/hostdevice.h"
#include "core/photon_state.h"

// The transition that fills a vacancy in subshell (designator) s for a draw r
// in (0, 1): the first whose cumulative probability reaches r; a draw above
// the last cumulative value takes the last transition. The cumulative values
// never fall, so the scan may start at the guide entry of the draw
// (core/elem.h), below which every cumulative value lies under r; it then
// crosses on average about one transition (an inner vacancy of a heavy atom
// has a hundred and more).
TQ_CPU_GPU inline int32_t SelectTransitionInRow(const double* cum, const int16_t* guide, int32_t n, double r) {
  const int32_t last = n - 1;
  if (last <= 0) return 0;
  const double x = r * n;
  int32_t g = x > 0.0 ? static_cast<int32_t>(x) : 0;
  if (g > last) g = last;
  int32_t j = guide[g];
  while (j < last && cum[j] < r) ++j;
  return j;
}

TQ_CPU_GPU inline int32_t SelectTransition(const Elem& el, int32_t s, double r) {
  const int32_t n = el.nTransitions[s];
  if (n <= 1) return 0;
  // A subshell with two or more transitions has both rows.
  return SelectTransitionInRow(el.transCum.table()[s].table(), el.transGuide.table()[s].table(), n, r);
}

// Position of the lowest set bit of x (x not 0).
TQ_CPU_GPU inline int32_t LowestSetBit(uint64_t x) {
#if defined(__CUDA_ARCH__)
  return __ffsll(static_cast<long long>(x)) - 1;
#else
  return __builtin_ctzll(x);
#endif
}

// Designator of the innermost vacancy (the smallest one held). A vacancy of
// a designator at or below 0 gives 0, one of kMaxDesignator or more (with
// nothing below it) gives kMaxDesignator, and so does no vacancy at all:
// every one of these ends the cascade.
TQ_CPU_GPU inline int32_t InnermostVacancy(const PHOTONSTATE& p) {
  if (p.vacancyMask != 0) return LowestSetBit(p.vacancyMask);
  return kMaxDesignator;
}

// Adds a vacancy of the given designator to those held (the count of
// vacancies is the caller's).
TQ_CPU_GPU inline void AddVacancy(PHOTONSTATE& p, int32_t designator) {
  if (designator >= kMaxDesignator) {
    ++p.vacanciesBeyond;
    return;
  }
  const int32_t d = designator > 0 ? designator : 0;
  ++p.vacancyCount[d];
  p.vacancyMask |= uint64_t{1} << d;
}

// Removes one vacancy of designator d (0 < d < kMaxDesignator, held).
TQ_CPU_GPU inline void RemoveVacancy(PHOTONSTATE& p, int32_t d) {
  if (--p.vacancyCount[d] == 0) p.vacancyMask &= ~(uint64_t{1} << d);
}

// A new vacancy; beyond kMaxVacancies it is dropped (its energy stays deposited).
TQ_CPU_GPU inline void PushVacancy(PHOTONSTATE& p, int32_t designator) {
  if (p.nVacancies >= kMaxVacancies) {
    ++p.droppedVacancies;
    return;
  }
  ++p.nVacancies;
  AddVacancy(p, designator);
}

// Drops every vacancy held (the end of a cascade).
TQ_CPU_GPU inline void ClearVacancies(PHOTONSTATE& p) {
  while (p.vacancyMask != 0) {
    const int32_t d = LowestSetBit(p.vacancyMask);
    p.vacancyCount[d] = 0;
    p.vacancyMask &= p.vacancyMask - 1;
  }
  p.vacanciesBeyond = 0;
  p.nVacancies = 0;
}

class CTask;
// Starts the cascade of a vacancy in subshell `designator` of element
// `element` (global index) and runs it (state 4). The step kind of the task
// (photon step or not) decides the origins and statistics rows. Returns what
// CTask::AtomicTransition returns.
int32_t StartRelaxation(CTask& task, int32_t element, int32_t designator);
