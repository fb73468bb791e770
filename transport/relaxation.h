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
// never fall, so halving finds the transition that a scan would (an inner
// vacancy of a heavy atom has a hundred and more transitions).
TQ_CPU_GPU inline int32_t SelectTransition(const Elem& el, int32_t s, double r) {
  const double* cum = el.transCum[s];
  int32_t lo = 0;
  int32_t hi = el.nTransitions[s] - 1;  // the transition lies in [lo, hi]
  while (lo < hi) {
    const int32_t mid = (lo + hi) / 2;
    if (cum[mid] < r) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The stack entry with the smallest designator (the first one on ties).
TQ_CPU_GPU inline int32_t InnermostVacancy(const PHOTONSTATE& p) {
  int32_t best = 0;
  for (int32_t v = 1; v < p.nVacancies; ++v)
    if (p.vacancy[v] < p.vacancy[best]) best = v;
  return best;
}

// Pushes a vacancy; a full stack drops it (its energy stays deposited).
TQ_CPU_GPU inline void PushVacancy(PHOTONSTATE& p, int32_t designator) {
  if (p.nVacancies >= kMaxVacancies) {
    ++p.droppedVacancies;
    return;
  }
  p.vacancy[p.nVacancies++] = static_cast<int16_t>(designator);
}

class CTask;
// Starts the cascade of a vacancy in subshell `designator` of element
// `element` (global index) and runs it (state 4). The step kind of the task
// (photon step or not) decides the origins and statistics rows. Returns what
// CTask::AtomicTransition returns.
int32_t StartRelaxation(CTask& task, int32_t element, int32_t designator);
