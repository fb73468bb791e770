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

// The step of a draw 0 <= r < 2 on the grid of the transition draws
// (core/elem.h, kRelaxDrawBits): floor(r 2^kRelaxDrawBits), the last step
// for r >= 1. It does not depend on the row, so it is found off the chain
// of the cascade's passes (each pass's row is the last one's outcome).
TQ_CPU_GPU inline int32_t TransitionDrawStep(double r) {
  constexpr double kSteps = static_cast<double>(1 << kRelaxDrawBits);
  const double x = r * kSteps;
  return x < kSteps ? static_cast<int32_t>(x) : (1 << kRelaxDrawBits) - 1;
}

// The transition of a row (core/elem.h, RELAXROW) that fills a vacancy for
// a draw 0 <= r < 2 (step: its TransitionDrawStep): the first whose
// cumulative probability reaches r; a draw above the last cumulative value
// takes the last transition. The draw's guide cell holds the designators
// of the transition, or of one of two told apart by the cell's threshold
// without a branch (the vacancies, on which the next pass waits, follow from
// the cell alone; the energy is read from the row's record); a cell of more
// transitions names the first one that the draw can select, and the row's
// thresholds are searched from there. A row with transitions only.
TQ_CPU_GPU inline RELAXTRANSITION SampleTransitionInRow(const RELAXROW& row, double r, int32_t step) {
  const RELAXCELL& cell = row.cells.table()[step >> row.cellShift];
  const RELAXTRANSITION* const transitions = row.transitions.table();
  if (cell.threshold < 0.0) {
    const double* const thresholds = row.thresholds.table();
    int32_t j = cell.first;
    while (thresholds[j] < r) ++j;
    return transitions[j];
  }
  const int32_t k = cell.threshold < r ? 1 : 0;
  return RELAXTRANSITION{transitions[cell.first + k].energy, cell.fill[k], cell.emit[k], 0};
}

// The transition that fills a vacancy in subshell (designator) s, which has
// transitions, for a draw 0 <= r < 2.
TQ_CPU_GPU inline RELAXTRANSITION SampleTransition(const Elem& el, int32_t s, double r) {
  return SampleTransitionInRow(el.relaxRows.table()[s], r, TransitionDrawStep(r));
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

// The vacancies of a cascade as its passes change them: the counts per
// designator (kept in the record), the mask of the designators held, the
// number held (at most kMaxVacancies), those of a designator from
// kMaxDesignator on and those lost to a full stack. The cascade keeps the
// set in locals through its passes (the stores of the statistics would
// otherwise make every pass read the record again) and stores it at the end.
struct VACANCYSET {
  uint8_t* count;
  uint64_t mask;
  int32_t held;
  int32_t beyond;
  uint64_t dropped;
};

TQ_CPU_GPU inline VACANCYSET VacanciesOf(PHOTONSTATE& p) {
  return VACANCYSET{p.vacancyCount, p.vacancyMask, p.nVacancies, p.vacanciesBeyond, p.droppedVacancies};
}

TQ_CPU_GPU inline void StoreVacancies(PHOTONSTATE& p, const VACANCYSET& v) {
  p.vacancyMask = v.mask;
  p.nVacancies = v.held;
  p.vacanciesBeyond = v.beyond;
  p.droppedVacancies = v.dropped;
}

// Adds a vacancy of a designator at least 0 to those held (the number held
// is the caller's). The fill designators of the relaxation rows are at least
// 0 already (core/elem.h, RELAXTRANSITION).
TQ_CPU_GPU inline void AddVacancy(VACANCYSET& v, int32_t designator) {
  if (designator >= kMaxDesignator) {
    ++v.beyond;
    return;
  }
  ++v.count[designator];
  v.mask |= uint64_t{1} << designator;
}

// Removes one vacancy of designator d (0 <= d < kMaxDesignator, held).
TQ_CPU_GPU inline void RemoveVacancy(VACANCYSET& v, int32_t d) {
  if (--v.count[d] == 0) v.mask &= ~(uint64_t{1} << d);
}

// A new vacancy (one of a designator at or below 0 counts as 0); beyond
// kMaxVacancies it is dropped (its energy stays deposited).
TQ_CPU_GPU inline void PushVacancy(VACANCYSET& v, int32_t designator) {
  if (v.held >= kMaxVacancies) {
    ++v.dropped;
    return;
  }
  ++v.held;
  AddVacancy(v, designator > 0 ? designator : 0);
}

TQ_CPU_GPU inline void PushVacancy(PHOTONSTATE& p, int32_t designator) {
  VACANCYSET v = VacanciesOf(p);
  PushVacancy(v, designator);
  StoreVacancies(p, v);
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
